// Feeds arbitrary bytes to the GPX reader over a small store that already
// holds a track, then runs the statistics and colours over the result. The
// store must stay consistent: every point in a closed track and on the
// globe, one name per track before the end marker, and the earlier track
// untouched.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "compute/default_colors.h"
#include "compute/statistics.h"
#include "fuzz_support.h"
#include "readers/gpx_reader.h"

using namespace trakvio;

using fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TrackStore& store = fuzz::SmallStore(64, 6);
    store.readGpxRoutes = size > 0 && (data[0] & 1);
    int32_t next = fuzz::StartWithOneTrack(store);

    std::vector<char> text(data, data + size);
    text.push_back(0);
    ReadGpxBuffer(store, text.data(), size, next);

    Check(store.pointCount <= store.maxlogpoints && store.trackCount <= store.maxtracks);
    Check(store.trackCount >= 1 && store.trackEnd[0] == 1);
    Check(PointsInClosedTracks(store) == store.pointCount);
    for (int t = 1; t < store.trackCount; ++t) Check(store.trackEnd[t] >= store.trackEnd[t - 1]);
    Check(StoredNameCount(store) == store.trackCount);
    Check(TrackName(store, 0) == u"first");
    for (int32_t i = 0; i < store.pointCount; ++i) {
        Check(IsPlaceablePosition(store.points[i].latitude, store.points[i].longitude));
    }

    RecomputeStatistics(store, 0);
    AssignDefaultColors(store);
    FitZoom(store);
    return 0;
}
