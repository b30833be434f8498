// Statistics over the track store: degree lengths on the WGS 84 ellipsoid,
// per-track bounds, distances and time spans, the cumulative distance and the
// windowed speed of every point, the whole-store figures and the zoom level
// that fits them. Distances are planar, with one pair of scale factors taken
// at the middle latitude of all enabled points. No allocation.
#pragma once

#include "store/track_store.h"

namespace trakvio {

// Kilometres per degree of latitude and of longitude at latitudeDeg.
void DegreeLengths(double latitudeDeg, double& kmPerDegLat, double& kmPerDegLon);

// The lowest and highest latitude of a store's enabled points.
struct LatitudeRange {
    double min = 0, max = 0;
};

// Recomputes every derived figure of the store. keepOverall = 0 is the full
// mode; non-zero leaves the overall bounds, the stored scale factors and the
// totals as they were. A store without enabled points changes only
// firstEnabledPoint and lastEnabledPoint (both 0).
//
// A caller that knows the latitude range of the enabled points (a reader
// that has just filled an empty store) may give it: the scale factors are
// then taken from it and the figures come from one pass over the points
// instead of two. The range is checked against the points; when it was
// wrong, everything is computed again without it, so the figures never
// depend on it.
//
// workers: threads to use; 0 lets a large store of several tracks be shared
// with a second thread where the machine has one. The figures are the same
// bit for bit either way.
void RecomputeStatistics(TrackStore& store, int keepOverall, const LatitudeRange* expected = nullptr, int workers = 0);

// Recomputes speed of every enabled point from distance and time over window
// enabled points.
void ComputeSpeeds(TrackStore& store, int window);

// Sets initialZoom from the overall bounds.
void FitZoom(TrackStore& store);

}  // namespace trakvio
