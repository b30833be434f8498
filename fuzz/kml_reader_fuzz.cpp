// Feeds arbitrary bytes to the KML reader over a small store that already
// holds a track, then runs the statistics over the result. The store must
// stay consistent: every point in a closed track, one name per track before
// the end marker, and the earlier track untouched, colour included.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "compute/statistics.h"
#include "fuzz_support.h"
#include "readers/kml_reader.h"

using namespace trakvio;

using fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TrackStore& store = fuzz::SmallStore(64, 6);
    int32_t next = fuzz::StartWithOneTrack(store);
    store.tracks[0].color = 0x123456;

    std::vector<char> text(data, data + size);
    text.push_back(0);
    ReadKmlBuffer(store, text.data(), size, next, 1672531200, 5);

    Check(store.pointCount <= store.maxlogpoints && store.trackCount <= store.maxtracks);
    Check(store.trackCount >= 1 && store.trackEnd[0] == 1 && store.tracks[0].color == 0x123456);
    Check(PointsInClosedTracks(store) == store.pointCount);
    for (int t = 1; t < store.trackCount; ++t) {
        Check(store.trackEnd[t] >= store.trackEnd[t - 1]);
        Check(store.tracks[t].lineWidth > 0 && store.tracks[t].color <= 0xFFFFFF);
    }
    Check(StoredNameCount(store) == store.trackCount);
    Check(TrackName(store, 0) == u"first");

    RecomputeStatistics(store, 0);
    FitZoom(store);
    return 0;
}
