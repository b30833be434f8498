#include "compute/statistics.h"

namespace trakvio {

void DegreeLengths(double, double& kmPerDegLat, double& kmPerDegLon) { kmPerDegLat = kmPerDegLon = 0; }
void RecomputeStatistics(TrackStore&, int) {}
void ComputeSpeeds(TrackStore&, int) {}
void FitZoom(TrackStore&) {}

}  // namespace trakvio
