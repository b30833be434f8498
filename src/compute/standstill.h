// Standstill passes: thinning the clusters of points a logger records while it
// stands still. A cluster is a run of points that fits in a box of the
// standstill distance (in metres, turned into degrees with the store's
// kmPerDegLat and kmPerDegLon, so the statistics must be current). The
// interactive pass only marks points deleted; the batch pass rewrites the
// store, dropping deleted points and replacing each cluster by one mean point.
// Both stay inside the arrays whatever the counters and end indices claim.
#pragma once

#include <cstdint>

#include "store/track_store.h"

namespace trakvio {

// The standstill distance as degree limits of latitude and longitude. False
// when there is no standstill processing: a distance not greater than 0, or
// scale factors that are not positive (statistics never computed), which
// would make every box unbounded.
bool StandstillLimits(const TrackStore& store, double standstillMeters, double& dLat, double& dLon);

// Delete standstill points (command 1109). In each track, from its first
// enabled point on, a cluster grows over the enabled points until one leaves
// the box; the cluster then keeps only its two ends (the point where it began
// and its last enabled point), and the track's opening cluster loses its
// first point as well, so the track begins where the movement begins. A
// cluster that lasts to the track's end is left alone. Clears the selection.
// Returns the number of points marked deleted; without standstill processing
// nothing changes and 0 is returned. The caller recomputes the statistics.
int32_t DeleteStandstillPoints(TrackStore& store, double standstillMeters);

// Batch compaction: drops every deleted point, moving the rest down in order
// (a track that loses all its points keeps an empty range); then, with
// standstill processing, replaces each cluster of a track by one point with
// the mean position, altitudes, logged speed and time of its points. Sets
// pointCount and selectedCount and returns the new point count. The caller
// recomputes the statistics.
int32_t CompactAndCollapseStandstills(TrackStore& store, double standstillMeters);

}  // namespace trakvio
