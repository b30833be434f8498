#include "compute/standstill.h"

#include <cmath>

#include "compute/track_edit.h"

namespace trakvio {
namespace {

// Latitude and longitude bounds of a growing cluster.
class Box {
  public:
    explicit Box(const LogPoint& p) { Start(p); }

    void Start(const LogPoint& p) {
        minLat_ = maxLat_ = p.latitude;
        minLon_ = maxLon_ = p.longitude;
    }

    // Widens the box by p; true when a span then exceeds its limit.
    bool Widen(const LogPoint& p, double dLat, double dLon) {
        minLat_ = p.latitude < minLat_ ? p.latitude : minLat_;
        maxLat_ = p.latitude > maxLat_ ? p.latitude : maxLat_;
        minLon_ = p.longitude < minLon_ ? p.longitude : minLon_;
        maxLon_ = p.longitude > maxLon_ ? p.longitude : maxLon_;
        return maxLat_ - minLat_ > dLat || maxLon_ - minLon_ > dLon;
    }

  private:
    double minLat_, maxLat_, minLon_, maxLon_;
};

// Sums over the points of one cluster of the batch collapse.
class Cluster {
  public:
    void Start(const LogPoint& p) {
        first_ = p;
        count_ = 1;
        latitude_ = p.latitude;
        longitude_ = p.longitude;
        altitude_ = p.altitude;
        geoidAltitude_ = p.geoidAltitude;
        loggedSpeed_ = p.loggedSpeed;
        seconds_ = 0;
    }

    void Add(const LogPoint& p) {
        ++count_;
        latitude_ += p.latitude;
        longitude_ += p.longitude;
        altitude_ += p.altitude;
        geoidAltitude_ += p.geoidAltitude;
        loggedSpeed_ += p.loggedSpeed;
        // 128 bits: the sum of any number of 64-bit differences cannot overflow.
        seconds_ += static_cast<__int128>(p.time) - first_.time;
    }

    // Writes the cluster to out: a single point as it was; several as their
    // means, with out's other fields left as they are. out may be the slot
    // the cluster started in, which is why the first point is kept by value.
    void WriteTo(LogPoint& out) const {
        if (count_ == 1) {
            out = first_;
            return;
        }
        out.latitude = latitude_ / count_;
        out.longitude = longitude_ / count_;
        out.altitude = altitude_ / static_cast<float>(count_);
        out.geoidAltitude = geoidAltitude_ / static_cast<float>(count_);
        out.loggedSpeed = loggedSpeed_ / static_cast<float>(count_);
        // The mean of 64-bit times lies between them, so the sum fits back.
        out.time = static_cast<int64_t>(first_.time + seconds_ / count_);
    }

  private:
    LogPoint first_;
    int32_t count_ = 0;
    double latitude_ = 0, longitude_ = 0;
    float altitude_ = 0, geoidAltitude_ = 0, loggedSpeed_ = 0;
    __int128 seconds_ = 0;
};

// Moves every enabled point of the tracks down over the deleted ones and sets
// each track's end to its last kept point. Returns the number kept.
int32_t Compact(TrackStore& store, int32_t& selected) {
    const int32_t n = HeldPointCount(store);
    const int32_t trackCount = HeldTrackCount(store);
    LogPoint* points = store.points.data();
    int32_t kept = 0;
    selected = 0;
    for (int32_t t = 0, begin = 0; t < trackCount; ++t) {
        const int32_t end = ClampedTrackEnd(store, t, begin, n);
        for (int32_t i = begin; i <= end; ++i) {
            if (points[i].enabled == 0) continue;
            if (kept != i) points[kept] = points[i];
            selected += points[kept].selected != 0 ? 1 : 0;
            ++kept;
        }
        store.trackEnd[t] = kept - 1;
        begin = end + 1;
    }
    return kept;
}

// Replaces each cluster of every track by one point. The store is compacted,
// so the tracks' spans are exact and end at or before pointCount - 1.
int32_t Collapse(TrackStore& store, double dLat, double dLon, int32_t& selected) {
    const int32_t trackCount = HeldTrackCount(store);
    LogPoint* points = store.points.data();
    int32_t out = 0;
    selected = 0;
    auto write = [&](const Cluster& cluster) {
        cluster.WriteTo(points[out]);
        selected += points[out].selected != 0 ? 1 : 0;
        ++out;
    };
    for (int32_t t = 0, begin = 0; t < trackCount; ++t) {
        const int32_t end = store.trackEnd[t];
        if (end >= begin) {
            Cluster cluster;
            cluster.Start(points[begin]);
            Box box(points[begin]);
            for (int32_t j = begin + 1; j <= end; ++j) {
                if (box.Widen(points[j], dLat, dLon)) {
                    write(cluster);
                    cluster.Start(points[j]);
                    box.Start(points[j]);
                } else {
                    cluster.Add(points[j]);
                }
            }
            write(cluster);
        }
        store.trackEnd[t] = out - 1;
        begin = end + 1;
    }
    return out;
}

}  // namespace

bool StandstillLimits(const TrackStore& store, double standstillMeters, double& dLat, double& dLon) {
    dLat = dLon = 0;
    if (!(standstillMeters > 0) || !(store.kmPerDegLat > 0) || !(store.kmPerDegLon > 0)) return false;
    dLat = standstillMeters * 0.001 / store.kmPerDegLat;
    dLon = standstillMeters * 0.001 / store.kmPerDegLon;
    return std::isfinite(dLat) && std::isfinite(dLon);
}

int32_t DeleteStandstillPoints(TrackStore& store, double standstillMeters) {
    double dLat = 0, dLon = 0;
    if (!StandstillLimits(store, standstillMeters, dLat, dLon)) return 0;
    const int32_t n = HeldPointCount(store);
    const int32_t trackCount = HeldTrackCount(store);
    LogPoint* points = store.points.data();
    int32_t deleted = 0;
    auto remove = [&deleted](LogPoint& p) {
        if (p.enabled == 0) return;
        p.enabled = 0;
        ++deleted;
    };

    for (int32_t t = 0, begin = 0; t < trackCount; ++t) {
        // The scan runs over [begin, end): the track's last point never joins
        // a cluster, so a stay at the end of a track is left alone.
        const int32_t end = ClampedTrackEnd(store, t, begin, n);
        int32_t anchor = begin;
        begin = end + 1;
        while (anchor < end && points[anchor].enabled == 0) ++anchor;
        if (anchor >= end) continue;

        bool opening = true;  // the anchor is the track's first enabled point
        int32_t lastInBox = anchor;
        Box box(points[anchor]);
        for (int32_t i = anchor + 1; i < end; ++i) {
            if (points[i].enabled == 0) continue;
            if (!box.Widen(points[i], dLat, dLon)) {
                lastInBox = i;
                continue;
            }
            // i left the box: the stay anchor..lastInBox keeps its two ends,
            // and at the start of the track only its last point.
            if (lastInBox > anchor) {
                for (int32_t j = anchor + 1; j < lastInBox; ++j) remove(points[j]);
                if (opening) remove(points[anchor]);
            }
            opening = false;
            anchor = lastInBox = i;
            box.Start(points[i]);
        }
    }

    for (int32_t i = 0; i < n; ++i) points[i].selected = 0;
    store.selectedCount = 0;
    return deleted;
}

int32_t CompactAndCollapseStandstills(TrackStore& store, double standstillMeters) {
    int32_t selected = 0;
    int32_t count = Compact(store, selected);
    double dLat = 0, dLon = 0;
    if (StandstillLimits(store, standstillMeters, dLat, dLon)) count = Collapse(store, dLat, dLon, selected);
    store.pointCount = count;
    store.selectedCount = selected;
    return count;
}

}  // namespace trakvio
