#include "compute/statistics.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <system_error>
#include <thread>

#include "platform/local_time.h"

namespace trakvio {
namespace {

constexpr double kDegToRad = 0.017453292519943295;
constexpr double kEquatorialRadiusKm = 6378.137;
constexpr double kPolarRadiusKm = 6356.752314245;

// Points fetched ahead of the one at hand in the passes over the whole array.
// A large store lives in memory rather than in the cache, and the passes are
// bound by its latency; about 2 KB ahead keeps the loads in flight.
constexpr int32_t kPrefetchAhead = 32;

// Points the arrays really hold, whatever pointCount claims.
int32_t UsablePointCount(const TrackStore& store) {
    int64_t n = std::min<int64_t>(LoadPointCount(store), static_cast<int64_t>(store.points.size()));
    return static_cast<int32_t>(std::max<int64_t>(n, 0));
}

// Tracks whose record and end index both exist.
int32_t UsableTrackCount(const TrackStore& store) {
    int64_t n = std::min<int64_t>(store.trackCount, static_cast<int64_t>(store.tracks.size()));
    n = std::min<int64_t>(n, static_cast<int64_t>(store.trackEnd.size()));
    return static_cast<int32_t>(std::max<int64_t>(n, 0));
}

// Speed in km/h from older to newer, in single precision; 0 for equal times.
float PairSpeed(const LogPoint& older, const LogPoint& newer) {
    if (newer.time == older.time) return 0.0f;
    // The difference is taken modulo 2^64 so that absurd times cannot overflow.
    int64_t seconds = static_cast<int64_t>(static_cast<uint64_t>(newer.time) - static_cast<uint64_t>(older.time));
    return (newer.distance - older.distance) / static_cast<float>(seconds) * 3600.0f;
}

// Record of a track without enabled points: no bounds, no distance, empty
// texts, both times those of the point at the track's end.
void ClearTrackFigures(TrackRecord& record, int64_t time) {
    record.minLat = record.maxLat = record.heightKm = 0;
    record.minLon = record.maxLon = record.widthKm = 0;
    record.distanceKm = 0;
    record.firstPoint = record.lastPoint = -1;
    record.startTime = record.endTime = time;
    std::memset(record.startText, 0, sizeof record.startText);
    std::memset(record.endText, 0, sizeof record.endText);
}

// Gives each enabled point of one track, in order, the speed over the pair
// (the enabled point window places back, or the track's first point while
// fewer lie behind), and the first point the speed of the one after it. This
// keeps the leading and trailing ends window enabled intervals apart once the
// window is full, and measures from the start until then.
class SpeedWalk {
  public:
    SpeedWalk(LogPoint* points, int32_t first, int32_t window)
        : points_(points), first_(first), trail_(first), window_(window) {}

    // i: the next enabled point after the previous one; its distance is set.
    void Next(int32_t i) {
        if (++seen_ > window_) {
            // Ends at i at the latest, which is enabled.
            do {
                ++trail_;
            } while (points_[trail_].enabled == 0);
        }
        points_[i].speed = PairSpeed(points_[trail_], points_[i]);
        if (seen_ == 1) second_ = i;
    }

    // A track of one enabled point shows its logged speed.
    void Finish() {
        LogPoint& first = points_[first_];
        first.speed = second_ >= 0 ? points_[second_].speed : first.loggedSpeed;
    }

  private:
    LogPoint* points_;
    int32_t first_;
    int32_t trail_;
    int32_t window_;
    int32_t seen_ = 0;
    int32_t second_ = -1;
};

// Kilometres from one position to the next with the scale factors of the
// recomputation. Every distance goes through here, so that the sums taken
// on another thread are bit for bit those of the track pass.
inline double StepKm(double fromLat, double fromLon, double toLat, double toLon, double kmPerDegLat,
                     double kmPerDegLon) {
    double north = (toLat - fromLat) * kmPerDegLat;
    double east = (toLon - fromLon) * kmPerDegLon;
    return std::sqrt(north * north + east * east);
}

// Figures of the track over points first..last (inclusive, inside the array),
// continuing the store's cumulative distance. Points before the first enabled
// one keep their distance; every later point gets the cumulative distance.
// The speeds of the enabled points are set in the same pass, while the points
// are still in the cache; they depend only on this track's distances and
// times, which are final by the time a point is reached.
void TrackFigures(LogPoint* points, int32_t first, int32_t last, double kmPerDegLat, double kmPerDegLon, int32_t window,
                  double& cumulative, TrackRecord& record) {
    int32_t s = first;
    while (s <= last && points[s].enabled == 0) ++s;
    if (s > last) {
        ClearTrackFigures(record, last >= 0 ? points[last].time : 0);
        return;
    }

    const LogPoint& start = points[s];
    double minLat = start.latitude, maxLat = start.latitude;
    double minLon = start.longitude, maxLon = start.longitude;
    int64_t startTime = start.time, endTime = start.time;
    double trackDistance = 0;
    double previousLat = start.latitude, previousLon = start.longitude;
    int32_t lastEnabled = s;
    points[s].distance = static_cast<float>(cumulative);
    SpeedWalk speeds(points, s, window);

    for (int32_t i = s + 1; i <= last; ++i) {
        __builtin_prefetch(&points[std::min(i + kPrefetchAhead, last)], 1);
        LogPoint& p = points[i];
        if (p.enabled == 0) {
            p.distance = static_cast<float>(cumulative);
            continue;
        }
        if (p.time > endTime) {
            endTime = p.time;
        } else if (p.time < startTime) {
            startTime = p.time;
        }
        if (p.latitude > maxLat) {
            maxLat = p.latitude;
        } else if (p.latitude < minLat) {
            minLat = p.latitude;
        }
        if (p.longitude > maxLon) {
            maxLon = p.longitude;
        } else if (p.longitude < minLon) {
            minLon = p.longitude;
        }
        double step = StepKm(previousLat, previousLon, p.latitude, p.longitude, kmPerDegLat, kmPerDegLon);
        trackDistance += step;
        cumulative += step;
        p.distance = static_cast<float>(cumulative);
        speeds.Next(i);
        previousLat = p.latitude;
        previousLon = p.longitude;
        lastEnabled = i;
    }
    speeds.Finish();

    record.firstPoint = s;
    record.lastPoint = lastEnabled;
    FormatLocalTime(points[s].time, record.startText);
    FormatLocalTime(points[lastEnabled].time, record.endText);
    record.minLat = minLat;
    record.maxLat = maxLat;
    record.heightKm = (maxLat - minLat) * kmPerDegLat;
    record.minLon = minLon;
    record.maxLon = maxLon;
    record.widthKm = (maxLon - minLon) * kmPerDegLon;
    record.distanceKm = trackDistance;
    record.startTime = startTime;
    record.endTime = endTime;
}

}  // namespace

void DegreeLengths(double latitudeDeg, double& kmPerDegLat, double& kmPerDegLon) {
    const double a = kEquatorialRadiusKm;
    const double e2 = 1.0 - (kPolarRadiusKm * kPolarRadiusKm) / (a * a);
    const double phi = latitudeDeg * kDegToRad;
    const double sinPhi = std::sin(phi);
    const double w = std::sqrt(1.0 - e2 * sinPhi * sinPhi);
    kmPerDegLat = kDegToRad * a * (1.0 - e2) / (w * w * w);
    kmPerDegLon = kDegToRad * a / w * std::cos(phi);
}

namespace {

// The end index of track t, inside the points the array holds (-1 when it
// holds none).
int32_t ClampedEnd(const TrackStore& store, int32_t t, int32_t pointCount) {
    return std::clamp(store.trackEnd[t], int32_t{-1}, pointCount - 1);
}

// The cumulative distance the track pass leaves behind the track over
// first..last, reading the points only.
double CumulativeAfter(const LogPoint* points, int32_t first, int32_t last, double kmPerDegLat, double kmPerDegLon,
                       double cumulative) {
    int32_t s = first;
    while (s <= last && points[s].enabled == 0) ++s;
    if (s > last) return cumulative;
    double previousLat = points[s].latitude, previousLon = points[s].longitude;
    for (int32_t i = s + 1; i <= last; ++i) {
        __builtin_prefetch(&points[std::min(i + kPrefetchAhead, last)]);
        const LogPoint& p = points[i];
        if (p.enabled == 0) continue;
        cumulative += StepKm(previousLat, previousLon, p.latitude, p.longitude, kmPerDegLat, kmPerDegLon);
        previousLat = p.latitude;
        previousLon = p.longitude;
    }
    return cumulative;
}

// Stores smaller than this take one thread: starting another costs more
// than it saves.
constexpr int32_t kParallelPoints = 1 << 17;
// Share of the points the calling thread takes when a second one helps: the
// second first reads the calling thread's part to sum its distances.
constexpr double kCallingThreadShare = 0.69;

// Per-track figures and speeds; the cumulative distance runs on across
// tracks. End indices are clamped to the points the array holds, and a track
// never reaches back into an earlier one, so each point belongs to at most
// one track and the tracks cover the points from 0 on without a gap.
//
// A large store with several tracks is shared with a second thread: it takes
// the tracks from split on, after summing the distances of the tracks before
// them (reading is cheaper than the pass, so this thread keeps the larger
// part). The sums are the track pass's own, so nothing depends on the split.
void AllTrackFigures(TrackStore& store, int32_t pointCount, double kmPerDegLat, double kmPerDegLon, int workers) {
    LogPoint* points = store.points.data();
    const int32_t trackCount = UsableTrackCount(store);
    const int32_t window = std::max(store.speedWindow, 1);
    auto lastOf = [&](int32_t t) { return ClampedEnd(store, t, pointCount); };

    int32_t split = trackCount;
    if (pointCount >= kParallelPoints && trackCount >= 2) {
        if (workers <= 0) workers = std::thread::hardware_concurrency() >= 2 ? 2 : 1;
        int32_t covered = -1;
        for (int32_t t = 0; t < trackCount; ++t) covered = std::max(covered, lastOf(t));
        int32_t end = -1;
        for (int32_t t = 0; workers >= 2 && t + 1 < trackCount; ++t) {
            end = std::max(end, lastOf(t));
            if (end + 1 >= static_cast<int32_t>((covered + 1) * kCallingThreadShare)) {
                split = t + 1;
                break;
            }
        }
    }

    auto figures = [&](int32_t from, int32_t to, int32_t previousEnd, double cumulative) {
        for (int32_t t = from; t < to; ++t) {
            int32_t last = lastOf(t);
            TrackFigures(points, previousEnd + 1, last, kmPerDegLat, kmPerDegLon, window, cumulative, store.tracks[t]);
            previousEnd = std::max(previousEnd, last);
        }
    };
    auto laterTracks = [&] {
        double cumulative = 0;
        int32_t previousEnd = -1;
        for (int32_t t = 0; t < split; ++t) {
            int32_t last = lastOf(t);
            cumulative = CumulativeAfter(points, previousEnd + 1, last, kmPerDegLat, kmPerDegLon, cumulative);
            previousEnd = std::max(previousEnd, last);
        }
        figures(split, trackCount, previousEnd, cumulative);
    };
    std::thread worker;
    if (split < trackCount) {
        try {
            worker = std::thread(laterTracks);
        } catch (const std::system_error&) {
            laterTracks();
        }
    }
    figures(0, split, -1, 0);
    if (worker.joinable()) worker.join();
}

// The last index the tracks cover, -1 when they cover none.
int32_t LastTrackedPoint(const TrackStore& store, int32_t pointCount) {
    int32_t end = -1;
    for (int32_t t = 0; t < UsableTrackCount(store); ++t) end = std::max(end, ClampedEnd(store, t, pointCount));
    return end;
}

void OverallFigures(TrackStore& store, double kmPerDegLat, double kmPerDegLon) {
    const int32_t trackCount = UsableTrackCount(store);
    double south = 90, north = -90, west = 180, east = -180;
    double totalDistance = 0;
    // Durations add up modulo 2^32, done in unsigned arithmetic so that a
    // wrap is defined.
    uint64_t totalDuration = 0;
    for (int32_t t = 0; t < trackCount; ++t) {
        const TrackRecord& record = store.tracks[t];
        if (record.firstPoint < 0) continue;
        south = std::min(south, record.minLat);
        north = std::max(north, record.maxLat);
        west = std::min(west, record.minLon);
        east = std::max(east, record.maxLon);
        totalDistance += record.distanceKm;
        totalDuration += static_cast<uint64_t>(record.endTime) - static_cast<uint64_t>(record.startTime);
    }
    store.allMinLat = south;
    store.allMaxLat = north;
    store.allMinLon = west;
    store.allMaxLon = east;
    store.kmPerDegLat = kmPerDegLat;
    store.kmPerDegLon = kmPerDegLon;
    store.totalDistanceKm = totalDistance;
    store.totalDuration = static_cast<int32_t>(static_cast<uint32_t>(totalDuration));
}

// The track pass with the scale factors of an expected latitude range, the
// whole-store figures gathered from the track records and the points behind
// the last track. False, with the store's whole-store figures untouched,
// when the range of the points is not the expected one.
bool FiguresWithExpectedRange(TrackStore& store, int32_t pointCount, int32_t firstEnabled,
                              const LatitudeRange& expected, int workers, double& kmPerDegLat, double& kmPerDegLon) {
    DegreeLengths((expected.max + expected.min) / 2, kmPerDegLat, kmPerDegLon);
    AllTrackFigures(store, pointCount, kmPerDegLat, kmPerDegLon, workers);

    const LogPoint* points = store.points.data();
    int32_t lastEnabled = firstEnabled;
    int64_t earliest = points[firstEnabled].time, latest = earliest;
    double minLat = points[firstEnabled].latitude, maxLat = minLat;
    for (int32_t t = 0; t < UsableTrackCount(store); ++t) {
        const TrackRecord& record = store.tracks[t];
        if (record.firstPoint < 0) continue;
        // A latitude that is not a number is placed by the order of the
        // points; only the pass over all of them handles it as it should.
        if (std::isnan(record.minLat) || std::isnan(record.maxLat)) return false;
        lastEnabled = record.lastPoint;
        earliest = std::min(earliest, record.startTime);
        latest = std::max(latest, record.endTime);
        minLat = std::min(minLat, record.minLat);
        maxLat = std::max(maxLat, record.maxLat);
    }
    for (int32_t i = LastTrackedPoint(store, pointCount) + 1; i < pointCount; ++i) {
        const LogPoint& p = points[i];
        if (p.enabled == 0) continue;
        if (std::isnan(p.latitude)) return false;
        lastEnabled = std::max(lastEnabled, i);
        earliest = std::min(earliest, p.time);
        latest = std::max(latest, p.time);
        minLat = std::min(minLat, p.latitude);
        maxLat = std::max(maxLat, p.latitude);
    }
    if (std::isnan(minLat) || minLat != expected.min || maxLat != expected.max) return false;
    store.firstEnabledPoint = firstEnabled;
    store.lastEnabledPoint = lastEnabled;
    store.earliestTime = earliest;
    store.latestTime = latest;
    return true;
}

}  // namespace

void RecomputeStatistics(TrackStore& store, int keepOverall, const LatitudeRange* expected, int workers) {
    const int32_t pointCount = UsablePointCount(store);
    LogPoint* points = store.points.data();

    // Global point indices, time span and latitude range over the enabled
    // points; a store without any keeps every other figure as it was.
    int32_t firstEnabled = 0;
    while (firstEnabled < pointCount && points[firstEnabled].enabled == 0) ++firstEnabled;
    if (firstEnabled == pointCount) {
        store.firstEnabledPoint = 0;
        store.lastEnabledPoint = 0;
        return;
    }

    double kmPerDegLat = 0, kmPerDegLon = 0;
    if (!expected ||
        !FiguresWithExpectedRange(store, pointCount, firstEnabled, *expected, workers, kmPerDegLat, kmPerDegLon)) {
        int32_t lastEnabled = firstEnabled;
        int64_t earliest = points[firstEnabled].time, latest = earliest;
        double minLat = points[firstEnabled].latitude, maxLat = minLat;
        for (int32_t i = firstEnabled + 1; i < pointCount; ++i) {
            __builtin_prefetch(&points[std::min(i + kPrefetchAhead, pointCount - 1)]);
            const LogPoint& p = points[i];
            if (p.enabled == 0) continue;
            lastEnabled = i;
            if (p.latitude > maxLat) {
                maxLat = p.latitude;
            } else if (p.latitude < minLat) {
                minLat = p.latitude;
            }
            if (p.time < earliest) {
                earliest = p.time;
            } else if (p.time > latest) {
                latest = p.time;
            }
        }
        store.firstEnabledPoint = firstEnabled;
        store.lastEnabledPoint = lastEnabled;
        store.earliestTime = earliest;
        store.latestTime = latest;

        // One pair of scale factors for every distance of this recomputation.
        DegreeLengths((maxLat + minLat) / 2, kmPerDegLat, kmPerDegLon);
        AllTrackFigures(store, pointCount, kmPerDegLat, kmPerDegLon, workers);
    }

    if (keepOverall != 0) return;
    OverallFigures(store, kmPerDegLat, kmPerDegLon);
}

void ComputeSpeeds(TrackStore& store, int window) {
    const int32_t pointCount = UsablePointCount(store);
    const int32_t trackCount = UsableTrackCount(store);
    LogPoint* points = store.points.data();
    for (int32_t t = 0; t < trackCount; ++t) {
        const TrackRecord& record = store.tracks[t];
        int32_t s = record.firstPoint;
        int32_t e = std::min(record.lastPoint, pointCount - 1);
        if (s < 0 || s > e) continue;
        SpeedWalk speeds(points, s, std::max(window, 1));
        for (int32_t i = s + 1; i <= e; ++i) {
            __builtin_prefetch(&points[std::min(i + kPrefetchAhead, e)], 1);
            if (points[i].enabled != 0) speeds.Next(i);
        }
        speeds.Finish();
    }
}

void FitZoom(TrackStore& store) {
    double height = (store.allMaxLat - store.allMinLat) * store.kmPerDegLat;
    double width = (store.allMaxLon - store.allMinLon) * store.kmPerDegLon;
    int32_t zoom = 20;
    double heightLimit = 0.08, widthLimit = 0.175;
    // Ends for any input: the limits reach infinity after about a thousand
    // doublings, and NaN compares false.
    while (height > heightLimit || width > widthLimit) {
        heightLimit *= 2;
        widthLimit *= 2;
        --zoom;
    }
    store.initialZoom = zoom;
}

}  // namespace trakvio
