#include "compute/track_edit.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <numeric>
#include <vector>

#include "compute/statistics.h"
#include "platform/messages.h"

namespace trakvio {
namespace {

constexpr const char* kSplitTitle = "トラック分割";

// Any non-zero selected mark counts as selected.
bool IsSelected(const LogPoint& p) { return p.selected != 0; }

// Position of the NUL that ends the name starting at pos, looked for before
// limit (the end marker); -1 when the name runs into the marker, so that a
// damaged buffer is never read or written past it.
int32_t NameNul(const TrackStore& store, int32_t pos, int32_t limit) {
    for (int32_t i = pos; i < limit; ++i) {
        if (store.trackNames[i] == 0) return i;
    }
    return -1;
}

// Start and NUL of the name of track t; false when the buffer holds fewer
// than t + 1 complete names.
bool FindName(const TrackStore& store, int32_t t, int32_t& start, int32_t& nul) {
    const int32_t marker = NamesEndPosition(store);
    int32_t pos = 0;
    for (int32_t k = 0;; ++k) {
        int32_t end = NameNul(store, pos, marker);
        if (end < 0) return false;
        if (k == t) {
            start = pos;
            nul = end;
            return true;
        }
        pos = end + 1;
    }
}

void WarnSplit(const char* text) {
    ShowMessage(text, kSplitTitle, MessageButtons::kOk, kAnswerOk, MessageIcon::kWarning);
}

// Whether a track begins at or before the earliest start among the tracks of
// the file before it (for the first file: before the first track's start).
// The tracks of one file are a run of consecutive tracks with one fileIndex.
bool FilesOutOfOrder(const TrackStore& store, int32_t trackCount) {
    if (trackCount == 0) return false;
    const TrackRecord* tracks = store.tracks.data();
    int64_t reference = tracks[0].startTime;
    int64_t runMin = reference;
    bool firstFile = true;
    for (int32_t t = 0; t < trackCount; ++t) {
        int64_t start = tracks[t].startTime;
        if (t > 0 && tracks[t].fileIndex != tracks[t - 1].fileIndex) {
            reference = runMin;
            runMin = start;
            firstFile = false;
        } else {
            runMin = std::min(runMin, start);
        }
        if (firstFile ? start < reference : start <= reference) return true;
    }
    return false;
}

// Uninitialised storage for points, which are trivially copyable.
class PointBuffer {
  public:
    explicit PointBuffer(size_t n) : n_(n), data_(n > 0 ? std::allocator<LogPoint>().allocate(n) : nullptr) {}
    ~PointBuffer() {
        if (data_ != nullptr) std::allocator<LogPoint>().deallocate(data_, n_);
    }
    PointBuffer(const PointBuffer&) = delete;
    PointBuffer& operator=(const PointBuffer&) = delete;
    LogPoint* data() { return data_; }

  private:
    size_t n_;
    LogPoint* data_;
};

}  // namespace

int32_t HeldPointCount(const TrackStore& store) {
    int64_t n = std::min<int64_t>(LoadPointCount(store), static_cast<int64_t>(store.points.size()));
    return static_cast<int32_t>(std::max<int64_t>(n, 0));
}

int32_t HeldTrackCount(const TrackStore& store) {
    int64_t n = std::min<int64_t>(store.trackCount, static_cast<int64_t>(store.tracks.size()));
    n = std::min<int64_t>(n, static_cast<int64_t>(store.trackEnd.size()));
    return static_cast<int32_t>(std::max<int64_t>(n, 0));
}

int DeleteSelectedPoints(TrackStore& store) {
    if (store.selectedCount < 1) return kEditNothingToDo;
    const int32_t n = HeldPointCount(store);
    for (int32_t i = 0; i < n; ++i) {
        LogPoint& p = store.points[i];
        if (IsSelected(p)) {
            p.enabled = 0;
            p.selected = 0;
        }
    }
    store.selectedCount = 0;
    return kEditDone;
}

int SplitTrack(TrackStore& store, int32_t s) {
    const int32_t n = HeldPointCount(store);
    const int32_t trackCount = HeldTrackCount(store);
    if (s < 0 || s >= n) return kEditNothingToDo;

    // The first track whose end is at or after s; spans never overlap, so s
    // lies inside it.
    int32_t t = 0;
    for (int32_t begin = 0; t < trackCount; ++t) {
        int32_t end = ClampedTrackEnd(store, t, begin, n);
        if (end >= s) break;
        begin = end + 1;
    }
    if (t == trackCount) return kEditNothingToDo;

    const int64_t slots = std::min(store.tracks.size(), store.trackEnd.size());
    if (trackCount >= store.maxtracks || trackCount >= slots) {
        WarnSplit("トラック数が上限に達しています");
        return kEditRefused;
    }
    // The names from the start of name t through the end marker move up by
    // the length of name t with its NUL, so that name t stands twice.
    int32_t nameStart = 0, nameNul = 0;
    const bool hasName = FindName(store, t, nameStart, nameNul);
    const int32_t shift = nameNul - nameStart + 1;
    const int32_t marker = NamesEndPosition(store);
    if (hasName && marker + shift >= kTrackNamesCapacity) {
        WarnSplit("トラック名の領域が不足しています");
        return kEditRefused;
    }

    for (int32_t k = trackCount; k > t; --k) {
        store.trackEnd[k] = store.trackEnd[k - 1];
        store.tracks[k] = store.tracks[k - 1];
    }
    store.trackEnd[t] = s;
    if (hasName) {
        auto& names = store.trackNames;
        std::copy_backward(names.begin() + nameStart, names.begin() + marker + 1, names.begin() + marker + 1 + shift);
    }
    store.trackCount = trackCount + 1;
    return kEditDone;
}

int SplitTrackAtSelection(TrackStore& store) {
    if (store.selectedCount > 1) {
        WarnSplit("２点以上選択されています");
        return kEditRefused;
    }
    if (store.selectedCount < 1) return kEditNothingToDo;
    const int32_t n = HeldPointCount(store);
    int32_t s = 0;
    while (s < n && !IsSelected(store.points[s])) ++s;
    if (s == n) return kEditNothingToDo;
    int result = SplitTrack(store, s);
    if (result == kEditDone) {
        store.points[s].selected = 0;
        store.selectedCount = 0;
    }
    return result;
}

int JoinCheckedTracks(TrackStore& store) {
    const int32_t trackCount = HeldTrackCount(store);
    if (trackCount < 2) return kEditNothingToDo;
    bool neighbours = false;
    for (int32_t t = 1; t < trackCount; ++t) {
        neighbours = neighbours || (store.tracks[t].checked != 0 && store.tracks[t - 1].checked != 0);
    }
    // Two ticked neighbours also mean at least two ticked tracks.
    if (!neighbours) return kEditNothingToDo;

    // Records move down over the merged ones; the names stay where they are,
    // and the NUL between two merged names becomes '_'.
    const int32_t marker = NamesEndPosition(store);
    int32_t namePos = 0;       // start of the name of track t
    int32_t previousNul = -1;  // NUL ending the name of track t - 1, -1 when it has none
    bool previousChecked = false;
    int32_t kept = 0;
    for (int32_t t = 0; t < trackCount; ++t) {
        const bool checked = store.tracks[t].checked != 0;
        if (t > 0 && checked && previousChecked) {
            store.trackEnd[kept - 1] = store.trackEnd[t];
            if (previousNul >= 0) store.trackNames[previousNul] = u'_';
        } else {
            if (kept != t) {
                store.tracks[kept] = store.tracks[t];
                store.trackEnd[kept] = store.trackEnd[t];
            }
            ++kept;
        }
        previousNul = namePos < marker ? NameNul(store, namePos, marker) : -1;
        namePos = previousNul < 0 ? marker : previousNul + 1;
        previousChecked = checked;
    }
    store.trackCount = kept;
    return kEditDone;
}

int RestoreSelectedRange(TrackStore& store) {
    if (store.selectedCount < 2) return kEditNothingToDo;
    const int32_t n = HeldPointCount(store);
    int32_t low = 0;
    while (low < n && !IsSelected(store.points[low])) ++low;
    if (low == n) return kEditNothingToDo;
    int32_t high = n - 1;
    while (!IsSelected(store.points[high])) --high;
    for (int32_t i = low; i <= high; ++i) store.points[i].enabled = 1;
    return kEditDone;
}

void RestoreAllPoints(TrackStore& store) {
    const int32_t n = HeldPointCount(store);
    for (int32_t i = 0; i < n; ++i) store.points[i].enabled = 1;
}

int SetTrackPointsEnabled(TrackStore& store, int enabled) {
    const int32_t n = HeldPointCount(store);
    const int32_t trackCount = HeldTrackCount(store);
    const int32_t mark = enabled != 0 ? 1 : 0;
    bool any = false;
    for (int32_t t = 0, begin = 0; t < trackCount; ++t) {
        int32_t end = ClampedTrackEnd(store, t, begin, n);
        if (store.tracks[t].checked != 0) {
            any = true;
            for (int32_t i = begin; i <= end; ++i) store.points[i].enabled = mark;
        }
        begin = end + 1;
    }
    return any ? kEditDone : kEditNothingToDo;
}

int ClearSelection(TrackStore& store) {
    if (store.selectedCount == 0) return kEditNothingToDo;
    const int32_t n = HeldPointCount(store);
    for (int32_t i = 0; i < n; ++i) store.points[i].selected = 0;
    store.selectedCount = 0;
    return kEditDone;
}

int CheckTimeOrder(const TrackStore& store) {
    const int32_t n = HeldPointCount(store);
    const int32_t trackCount = HeldTrackCount(store);
    const LogPoint* points = store.points.data();
    const TrackRecord* tracks = store.tracks.data();
    int result = 0;
    for (int32_t t = 0, begin = 0; t < trackCount; ++t) {
        const int32_t end = ClampedTrackEnd(store, t, begin, n);
        if ((result & kTimeOrderPointsBit) == 0) {
            for (int32_t i = begin + 1; i <= end; ++i) {
                if (points[i].time <= points[i - 1].time) {
                    result |= kTimeOrderPointsBit;
                    break;
                }
            }
        }
        if (t > 0 && tracks[t].fileIndex == tracks[t - 1].fileIndex &&
            (end < begin || tracks[t].startTime <= tracks[t - 1].endTime)) {
            result |= kTimeOrderTracksBit;
        }
        begin = end + 1;
    }
    if (FilesOutOfOrder(store, trackCount)) result |= kTimeOrderFilesBit;
    return result;
}

int SortFilesByTime(TrackStore& store, std::vector<LogPoint>* workspace) {
    const int32_t n = HeldPointCount(store);
    const int32_t trackCount = HeldTrackCount(store);
    const int32_t fileCount = static_cast<int32_t>(
        std::clamp<int64_t>(std::min<int64_t>({store.fileCount, static_cast<int64_t>(store.loadedFiles.size()),
                                               static_cast<int64_t>(store.fileKinds.size())}),
                            0, INT32_MAX));
    if (trackCount == 0 || fileCount < 2) return kEditNothingToDo;
    for (int32_t t = 0; t < trackCount; ++t) {
        int32_t f = store.tracks[t].fileIndex;
        if (f < 0 || f >= fileCount) return kEditBadFileIndex;
    }
    if (!FilesOutOfOrder(store, trackCount)) return kEditNothingToDo;

    try {
        // Key of a file: the earliest start of its tracks; a file without
        // tracks sorts last. A stable sort keeps equal keys in load order.
        std::vector<int64_t> keys(fileCount, 0x7FFFFFFF);
        std::vector<char> hasTracks(fileCount, 0);
        std::vector<int32_t> tracksOfFile(fileCount, 0);
        for (int32_t t = 0; t < trackCount; ++t) {
            const TrackRecord& record = store.tracks[t];
            int32_t f = record.fileIndex;
            keys[f] = hasTracks[f] != 0 ? std::min(keys[f], record.startTime) : record.startTime;
            hasTracks[f] = 1;
            ++tracksOfFile[f];
        }
        std::vector<int32_t> order(fileCount);
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(), [&keys](int32_t a, int32_t b) { return keys[a] < keys[b]; });
        std::vector<int32_t> newPosition(fileCount);
        for (int32_t i = 0; i < fileCount; ++i) newPosition[order[i]] = i;

        // New track order: by the new file position, old order within a file.
        std::vector<int32_t> slot(fileCount + 1, 0);
        for (int32_t i = 0; i < fileCount; ++i) slot[i + 1] = slot[i] + tracksOfFile[order[i]];
        std::vector<int32_t> trackOrder(trackCount);
        for (int32_t t = 0; t < trackCount; ++t) trackOrder[slot[newPosition[store.tracks[t].fileIndex]]++] = t;

        // Old spans and names.
        std::vector<int32_t> begins(trackCount), ends(trackCount), nameStarts(trackCount), nameLengths(trackCount);
        const int32_t marker = NamesEndPosition(store);
        for (int32_t t = 0, begin = 0, namePos = 0; t < trackCount; ++t) {
            begins[t] = begin;
            ends[t] = ClampedTrackEnd(store, t, begin, n);
            begin = ends[t] + 1;
            int32_t nul = namePos < marker ? NameNul(store, namePos, marker) : -1;
            nameStarts[t] = namePos;
            nameLengths[t] = nul < 0 ? 0 : nul - namePos;
            namePos = nul < 0 ? marker : nul + 1;
        }
        const int32_t pointsInTracks = ends[trackCount - 1] + 1;

        // The points are rebuilt in a scratch array. A caller's workspace
        // keeps its pages from one sort to the next and, as large as the
        // point array, simply changes places with it afterwards; otherwise
        // storage is taken for this sort alone and copied back.
        PointBuffer owned(workspace == nullptr ? static_cast<size_t>(pointsInTracks) : 0);
        if (workspace != nullptr && workspace->size() != store.points.size()) workspace->resize(store.points.size());
        LogPoint* points = workspace != nullptr ? workspace->data() : owned.data();
        std::vector<TrackRecord> tracks(trackCount);
        std::vector<int32_t> trackEnd(trackCount);
        std::array<char16_t, kTrackNamesCapacity> names;
        std::vector<std::filesystem::path> loadedFiles(fileCount);
        std::vector<uint16_t> fileKinds(fileCount);

        for (int32_t i = 0; i < fileCount; ++i) {
            loadedFiles[i] = std::move(store.loadedFiles[order[i]]);
            fileKinds[i] = store.fileKinds[order[i]];
        }
        int32_t next = 0, namePos = 0;
        for (int32_t k = 0; k < trackCount; ++k) {
            const int32_t t = trackOrder[k];
            tracks[k] = store.tracks[t];
            tracks[k].fileIndex = newPosition[store.tracks[t].fileIndex];
            const int32_t length = ends[t] - begins[t] + 1;
            if (length > 0) std::memcpy(points + next, store.points.data() + begins[t], sizeof(LogPoint) * length);
            next += length;
            trackEnd[k] = next - 1;
            // The names that were there fit again; only a damaged buffer can
            // have them cut. room leaves space for the NUL and the end marker.
            const int32_t room = kTrackNamesCapacity - 2 - namePos;
            if (room >= 0) {
                const int32_t nameLength = std::min(nameLengths[t], room);
                std::copy_n(store.trackNames.begin() + nameStarts[t], nameLength, names.begin() + namePos);
                namePos += nameLength;
                names[namePos++] = 0;
            }
        }
        names[namePos] = kNamesEndMarker;

        // Nothing can fail from here on.
        if (workspace != nullptr) {
            // Points held behind the last track stay where they are.
            if (n > pointsInTracks) {
                std::memcpy(points + pointsInTracks, store.points.data() + pointsInTracks,
                            sizeof(LogPoint) * static_cast<size_t>(n - pointsInTracks));
            }
            store.points.swap(*workspace);
        } else if (pointsInTracks > 0) {
            std::memcpy(store.points.data(), points, sizeof(LogPoint) * pointsInTracks);
        }
        std::copy(tracks.begin(), tracks.end(), store.tracks.begin());
        std::copy(trackEnd.begin(), trackEnd.end(), store.trackEnd.begin());
        store.trackNames = names;
        std::move(loadedFiles.begin(), loadedFiles.end(), store.loadedFiles.begin());
        std::copy(fileKinds.begin(), fileKinds.end(), store.fileKinds.begin());
    } catch (const std::bad_alloc&) {
        return kEditNoMemory;
    }
    RecomputeStatistics(store, 0);
    return kEditDone;
}

}  // namespace trakvio
