#include "store/track_store.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "platform/local_time.h"

namespace trakvio {

namespace {

// From here on a block gets its own mapping; below, calloc serves.
constexpr size_t kMappedBytes = size_t{1} << 20;
// From here on the mapping asks for large pages.
constexpr size_t kLargePageBytes = size_t{4} << 20;

}  // namespace

void* AllocateZeroed(size_t bytes) {
    if (bytes < kMappedBytes) {
        void* block = std::calloc(bytes == 0 ? 1 : bytes, 1);
        if (block == nullptr) throw std::bad_alloc();
        return block;
    }
    void* block = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
    // Only advice: where large pages are not to be had, small ones serve.
    if (bytes >= kLargePageBytes) madvise(block, bytes, MADV_HUGEPAGE);
#endif
    return block;
}

void FreeZeroed(void* block, size_t bytes) {
    if (block == nullptr) return;
    if (bytes < kMappedBytes) {
        std::free(block);
    } else {
        munmap(block, bytes);
    }
}

int CreateTrackStore(TrackStore& store, int32_t maxlogpoints, int32_t maxtracks) {
    store.points = PointArray();
    store.tracks.clear();
    store.trackEnd.clear();
    store.maxlogpoints = 0;
    store.maxtracks = 0;
    if (maxlogpoints <= 0 || maxtracks <= 0) {
        ClearTrackStore(store);
        return 1;
    }
    try {
        // Fresh zeroed memory: no point is written before a reader appends it.
        store.points = PointArray(static_cast<size_t>(maxlogpoints));
        store.tracks.resize(static_cast<size_t>(maxtracks));
        store.trackEnd.resize(static_cast<size_t>(maxtracks));
        store.loadedFiles.reserve(256);
        store.fileKinds.reserve(256);
    } catch (const std::bad_alloc&) {
        store.points = {};
        store.tracks = {};
        store.trackEnd = {};
        ClearTrackStore(store);
        return 1;
    }
    store.maxlogpoints = maxlogpoints;
    store.maxtracks = maxtracks;
    ClearTrackStore(store);
    return 0;
}

void ClearTrackStore(TrackStore& store) {
    store.trackNames[0] = kNamesEndMarker;
    store.pointCount = 0;
    store.trackCount = 0;
    store.fileCount = 0;
    store.selectedCount = 0;
    store.loadedFiles.clear();
    store.fileKinds.clear();
}

bool CloseTrack(TrackStore& store) {
    if (store.trackCount >= store.maxtracks) return false;
    store.trackEnd[store.trackCount] = store.pointCount - 1;
    store.tracks[store.trackCount].fileIndex = store.fileCount;
    ++store.trackCount;
    return true;
}

int32_t StoredNameCount(const TrackStore& store) {
    int32_t names = 0;
    for (char16_t unit : store.trackNames) {
        if (unit == kNamesEndMarker) return names;
        if (unit == 0) ++names;
    }
    return -1;
}

int32_t NamesEndPosition(const TrackStore& store) {
    const auto& names = store.trackNames;
    for (int32_t i = 0; i < kTrackNamesCapacity; ++i) {
        if (names[i] == kNamesEndMarker) return i;
    }
    // No marker: place the end behind the last NUL so that writers stay inside.
    for (int32_t i = kTrackNamesCapacity - 1; i >= 0; --i) {
        if (names[i] == 0) return std::min(i + 1, kTrackNamesCapacity - 1);
    }
    return 0;
}

namespace {

// The part of name that can be stored: up to a NUL (which would end it early)
// and cut to room units, never inside a surrogate pair.
size_t StorableLength(std::u16string_view name, size_t room) {
    size_t n = std::min(name.find(u'\0'), name.size());
    if (n > room) {
        n = room;
        if (n > 0 && name[n - 1] >= 0xD800 && name[n - 1] <= 0xDBFF) --n;
    }
    return n;
}

// Copies a name; an end-marker code unit inside it would end the names
// buffer early and becomes U+FFFD.
void CopyName(std::u16string_view name, size_t n, char16_t* out) {
    for (size_t i = 0; i < n; ++i) out[i] = name[i] == kNamesEndMarker ? u'\uFFFD' : name[i];
}

}  // namespace

int32_t WriteTrackName(TrackStore& store, int32_t pos, std::u16string_view name) {
    int32_t room = TrackNameRoom(pos);
    if (pos < 0 || room < 0) return -1;
    size_t n = StorableLength(name, static_cast<size_t>(room));
    CopyName(name, n, store.trackNames.data() + pos);
    store.trackNames[pos + n] = 0;
    store.trackNames[pos + n + 1] = kNamesEndMarker;
    return pos + static_cast<int32_t>(n) + 1;
}

// Position of the name of track t, or -1.
static int32_t NamePosition(const TrackStore& store, int t) {
    if (t < 0 || t >= store.trackCount) return -1;
    int32_t pos = 0;
    for (int i = 0; i < t; ++i) {
        while (pos < kTrackNamesCapacity && store.trackNames[pos] != 0) ++pos;
        ++pos;
        if (pos >= kTrackNamesCapacity) return -1;
    }
    return pos;
}

std::u16string_view TrackName(const TrackStore& store, int t) {
    int32_t pos = NamePosition(store, t);
    if (pos < 0) return {};
    int32_t end = pos;
    while (end < kTrackNamesCapacity && store.trackNames[end] != 0 && store.trackNames[end] != kNamesEndMarker) ++end;
    return std::u16string_view(store.trackNames.data() + pos, static_cast<size_t>(end - pos));
}

int RenameTrack(TrackStore& store, int t, std::u16string_view name) {
    int32_t pos = NamePosition(store, t);
    if (pos < 0) return 1;
    auto& names = store.trackNames;
    int32_t oldEnd = pos;
    while (oldEnd < kTrackNamesCapacity && names[oldEnd] != 0) ++oldEnd;  // at the NUL
    int32_t marker = NamesEndPosition(store);
    if (marker < oldEnd) marker = std::min(oldEnd + 1, kTrackNamesCapacity - 1);
    // Tail: the NUL of this name up to and including the end marker.
    int32_t tailLength = marker - oldEnd + 1;
    int32_t room = kTrackNamesCapacity - pos - tailLength;
    size_t n = StorableLength(name, static_cast<size_t>(std::max(room, 0)));
    int32_t newEnd = pos + static_cast<int32_t>(n);
    // Move the tail (overlapping copy) so that it starts at newEnd.
    if (newEnd < oldEnd) {
        std::copy(names.begin() + oldEnd, names.begin() + oldEnd + tailLength, names.begin() + newEnd);
    } else if (newEnd > oldEnd) {
        std::copy_backward(names.begin() + oldEnd, names.begin() + oldEnd + tailLength,
                           names.begin() + newEnd + tailLength);
    }
    CopyName(name, n, names.data() + pos);
    return 0;
}

int32_t WriteOpenTrackDefaultName(TrackStore& store, int32_t pos) {
    const int32_t first = PointsInClosedTracks(store);
    char startText[20] = {};
    if (store.pointCount > first) FormatLocalTime(store.points[first].time, startText);
    return WriteTrackName(store, pos, DefaultTrackName(startText, store.trackCount));
}

std::u16string DefaultTrackName(const char (&startText)[20], int t) {
    char buffer[40];
    if (startText[0] == 0) {
        std::snprintf(buffer, sizeof buffer, "trc%03d", t + 1);
    } else {
        const char* s = startText;  // "YYYY-MM-DD HH:MM:SS"
        std::snprintf(buffer, sizeof buffer, "%.4s%.2s%.2s_%.2s%.2s_trc%03d", s, s + 5, s + 8, s + 11, s + 14, t + 1);
    }
    return std::u16string(buffer, buffer + std::char_traits<char>::length(buffer));
}

void EnterLoadedFile(TrackStore& store, const std::filesystem::path& path, uint16_t kind) {
    store.loadedFiles.push_back(path);
    store.fileKinds.push_back(kind);
    ++store.fileCount;
}

}  // namespace trakvio
