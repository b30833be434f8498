// Track store: every point, track record, track name and loaded-file entry the
// program holds. Capacities are fixed when the store is created; loading never
// allocates per point or per track. Readers append points and close tracks
// through the helpers here, which refuse to write past a capacity, and the
// names buffer always ends in one 0x001A end marker behind exactly trackCount
// NUL-terminated names.
#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace trakvio {

// Source kinds, as stored in loadKind and fileKinds.
inline constexpr int kKindArchive = 1;
inline constexpr int kKindGpx = 2;
inline constexpr int kKindNmea = 3;
inline constexpr int kKindMtkBinary = 4;
inline constexpr int kKindItm = 5;
inline constexpr int kKindKml = 6;
inline constexpr int kKindCsvText = 7;
inline constexpr int kKindGoGoHike = 8;
inline constexpr int kKindMtkDownload = 10;
inline constexpr int kKindMtkDownloadSave = 11;
// Set in a fileKinds entry when the file was registered without being read.
inline constexpr uint16_t kKindNotRead = 0x8000;

inline constexpr int32_t kDefaultMaxLogPoints = 30000;
inline constexpr int32_t kDefaultMaxTracks = 100;
inline constexpr int kTrackNamesCapacity = 4096;
inline constexpr char16_t kNamesEndMarker = 0x001A;

struct LogPoint {
    double latitude = 0;     // degrees, north positive (WGS 84)
    double longitude = 0;    // degrees, east positive
    float altitude = 0;      // metres, as the reader delivered it
    float geoidAltitude = 0; // altitude minus the geoid undulation; set by the loader
    float loggedSpeed = 0;   // km/h as logged; 0 where the format has none
    float distance = 0;      // km from the first enabled point of the store
    float speed = 0;         // km/h over speedWindow enabled points
    int64_t time = 0;        // seconds since 1970-01-01 00:00:00 UTC
    int32_t mapX = 0, mapY = 0;
    int32_t graphX = 0, graphY = 0;
    int32_t enabled = 0;  // 1: part of its track; 0: deleted or logged without a fix
    int32_t selected = 0; // 0 or -1 (selected in the map window)
};

// Memory for large arrays that comes zeroed from the system, so that an
// element nobody has written costs nothing: the kernel's shared zero page
// serves reads until a page is first written. Large blocks are mapped
// directly (and, from a few megabytes on, asked for large pages, which cut
// the page faults of filling them); small ones come from calloc.
void* AllocateZeroed(size_t bytes);
void FreeZeroed(void* block, size_t bytes);

// A vector allocator whose value-initialisation is the zeroed memory itself:
// a vector of an aggregate whose members all start at zero (LogPoint) is
// created in no time, however large. Only memory it has just allocated is
// zero, so such a vector is grown by assigning a new one of the final size,
// never by resizing it in place after it has shrunk.
template <typename T>
struct ZeroedAllocator {
    using value_type = T;
    ZeroedAllocator() = default;
    template <typename U>
    ZeroedAllocator(const ZeroedAllocator<U>&) noexcept {}

    T* allocate(size_t n) {
        if (n > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
        return static_cast<T*>(AllocateZeroed(n * sizeof(T)));
    }
    void deallocate(T* p, size_t n) noexcept { FreeZeroed(p, n * sizeof(T)); }

    // Value-initialisation: the zero bytes already are the value.
    template <typename U>
    void construct(U*) noexcept {}
    template <typename U, typename... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }

    template <typename U>
    bool operator==(const ZeroedAllocator<U>&) const noexcept {
        return true;
    }
};

// The point array of a store, and a workspace that can change places with it.
using PointArray = std::vector<LogPoint, ZeroedAllocator<LogPoint>>;

struct TrackRecord {
    double minLat = 0, maxLat = 0, heightKm = 0;
    double minLon = 0, maxLon = 0, widthKm = 0;
    double distanceKm = 0;
    int32_t firstPoint = -1, lastPoint = -1;  // first and last enabled point, -1 when none
    int64_t startTime = 0, endTime = 0;       // earliest and latest time of enabled points
    char startText[20] = {};                  // local "%Y-%m-%d %H:%M:%S" of firstPoint
    char endText[20] = {};                    // the same of lastPoint
    int32_t lineWidth = 0;                    // pixels at 96 dpi
    uint32_t color = 0;                       // 0xRRGGBB
    int32_t fileIndex = 0;                    // entry of loadedFiles the track came from
    int32_t checked = 0;                      // ticked in the track list
};

struct TrackStore {
    // Capacities, fixed at creation.
    int32_t maxlogpoints = 0;
    int32_t maxtracks = 0;

    PointArray points;                  // maxlogpoints entries, never resized after creation
    std::vector<TrackRecord> tracks;    // maxtracks entries
    std::vector<int32_t> trackEnd;      // maxtracks entries: last point index of each track
    std::array<char16_t, kTrackNamesCapacity> trackNames{};
    std::vector<std::filesystem::path> loadedFiles;  // one per fileCount, in load order
    std::vector<uint16_t> fileKinds;                 // one per fileCount

    int32_t pointCount = 0;
    int32_t trackCount = 0;
    int32_t fileCount = 0;
    int32_t selectedCount = 0;
    int16_t loadKind = 0;

    // Figures over the whole store.
    int32_t firstEnabledPoint = 0, lastEnabledPoint = 0;
    int64_t earliestTime = 0, latestTime = 0;
    double allMinLat = 0, allMaxLat = 0, allMinLon = 0, allMaxLon = 0;
    double kmPerDegLat = 0, kmPerDegLon = 0;
    double totalDistanceKm = 0;
    int32_t totalDuration = 0;
    int32_t initialZoom = 0;

    // Settings kept with the store; they survive a clear.
    int32_t speedWindow = 20;
    int32_t readGpxRoutes = 1;
    int32_t tracklinewidthdefault = 3;
    uint32_t tracklinecolordefault = 0xFF0000;
};

// pointCount as the thread that appends points last published it. A live
// capture appends on its own thread and publishes the new count with a
// release store after the points it covers; code that may run meanwhile reads
// the count here (acquire load) and then only the points below it.
inline int32_t LoadPointCount(const TrackStore& store) {
    // A load through atomic_ref never writes, so the const_cast is safe.
    return std::atomic_ref<int32_t>(const_cast<int32_t&>(store.pointCount)).load(std::memory_order_acquire);
}

// Allocates the arrays for the given capacities and clears the store.
// Returns 0 when done, 1 when a capacity is not positive or memory is short
// (the store is then left without arrays).
int CreateTrackStore(TrackStore& store, int32_t maxlogpoints, int32_t maxtracks);

// Empties the store: no points, tracks or files; trackNames holds only the end
// marker. Capacities and the settings kept with the store stay.
void ClearTrackStore(TrackStore& store);

// Whether a position can be stored: a finite latitude within +-90 degrees and
// longitude within +-180 (NaN fails every comparison). Readers skip points
// that fail it, so no figure or output ever meets a position off the globe.
inline bool IsPlaceablePosition(double latitude, double longitude) {
    return latitude >= -90.0 && latitude <= 90.0 && longitude >= -180.0 && longitude <= 180.0;
}

// Appends one point; returns false (and writes nothing) at the point capacity.
// geoidAltitude starts equal to altitude, as it stays while no geoid model is
// loaded.
inline bool AppendPoint(TrackStore& store, double latitude, double longitude, float altitude, float loggedSpeed,
                        int64_t time, int32_t enabled) {
    if (store.pointCount >= store.maxlogpoints) return false;
    LogPoint& p = store.points[store.pointCount];
    p.latitude = latitude;
    p.longitude = longitude;
    p.altitude = altitude;
    p.geoidAltitude = altitude;  // uncorrected until the loader applies a geoid model
    p.loggedSpeed = loggedSpeed;
    p.time = time;
    p.enabled = enabled;
    ++store.pointCount;
    return true;
}

// Closes a track over the points appended since the last closed track:
// trackEnd = pointCount - 1, fileIndex = fileCount (the index the file being
// read will receive). Returns false at the track capacity. Names are the
// caller's business (see WriteTrackName).
bool CloseTrack(TrackStore& store);

// Points and tracks the arrays really hold, whatever pointCount and
// trackCount claim (a track needs both its record and its end index).
inline int32_t HeldPointCount(const TrackStore& store) {
    const int64_t n = std::min<int64_t>(LoadPointCount(store), static_cast<int64_t>(store.points.size()));
    return static_cast<int32_t>(std::max<int64_t>(n, 0));
}
inline int32_t HeldTrackCount(const TrackStore& store) {
    int64_t n = std::min<int64_t>(store.trackCount, static_cast<int64_t>(store.tracks.size()));
    n = std::min<int64_t>(n, static_cast<int64_t>(store.trackEnd.size()));
    return static_cast<int32_t>(std::max<int64_t>(n, 0));
}

// First and last point index of track t (the last is trackEnd[t]; an empty
// track has last = first - 1).
inline int32_t TrackFirstIndex(const TrackStore& store, int t) { return t == 0 ? 0 : store.trackEnd[t - 1] + 1; }
inline int32_t TrackLastIndex(const TrackStore& store, int t) { return store.trackEnd[t]; }
// Index one past the last point of the last closed track.
inline int32_t PointsInClosedTracks(const TrackStore& store) {
    return store.trackCount == 0 ? 0 : store.trackEnd[store.trackCount - 1] + 1;
}

// Names stored before the end marker; -1 when the marker is missing.
int32_t StoredNameCount(const TrackStore& store);

// Position of the end marker in trackNames (the end of the stored names).
// Returns the position of the trackCount-th NUL's follower when the marker is
// missing, so a damaged buffer never sends a writer past its end.
int32_t NamesEndPosition(const TrackStore& store);

// Code units a name written at pos may occupy, leaving room for its NUL and
// the end marker behind it; negative when not even an empty name fits.
inline int32_t TrackNameRoom(int32_t pos) { return kTrackNamesCapacity - pos - 2; }

// Writes name (cut to the room left) with its NUL at pos and the end marker
// behind it. Returns the position after the NUL, or -1 (nothing written) when
// not even an empty name fits.
int32_t WriteTrackName(TrackStore& store, int32_t pos, std::u16string_view name);

// The name of track t (empty when t is out of range).
std::u16string_view TrackName(const TrackStore& store, int t);

// Replaces the name of track t, moving the later names and the end marker.
// A name longer than the buffer allows is cut. Returns 0 when done, 1 when t
// is not a track.
int RenameTrack(TrackStore& store, int t, std::u16string_view name);

// Default name of track t (counted over the whole store) from its start text:
// "YYYYMMDD_HHMM_trcNNN" with NNN = t + 1; "trcNNN" when the text is empty.
std::u16string DefaultTrackName(const char (&startText)[20], int t);

// Writes at pos the default name of the track being read (the points behind
// the last closed track), from the local time of its first point. Returns as
// WriteTrackName.
int32_t WriteOpenTrackDefaultName(TrackStore& store, int32_t pos);

// Adds a file to the loaded-file list with its kind entry.
void EnterLoadedFile(TrackStore& store, const std::filesystem::path& path, uint16_t kind);

}  // namespace trakvio
