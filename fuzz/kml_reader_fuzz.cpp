// Feeds arbitrary bytes to the KML reader over a small store that already
// holds a track, then runs the statistics over the result. The store must
// stay consistent: every point in a closed track, one name per track before
// the end marker, and the earlier track untouched, colour included.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "compute/statistics.h"
#include "readers/kml_reader.h"

using namespace trakvio;

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

TrackStore& Store() {
    static TrackStore store = [] {
        TrackStore s;
        CreateTrackStore(s, 64, 6);
        return s;
    }();
    return store;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TrackStore& store = Store();
    ClearTrackStore(store);
    AppendPoint(store, 35, 139, 10, 0, 1000, 1);
    AppendPoint(store, 35.001, 139.001, 11, 0, 1010, 1);
    CloseTrack(store);
    store.tracks[0].color = 0x123456;
    int32_t next = WriteTrackName(store, 0, u"first");

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
    int names = 0;
    int32_t pos = 0;
    while (pos < kTrackNamesCapacity && store.trackNames[pos] != kNamesEndMarker) {
        if (store.trackNames[pos] == 0) ++names;
        ++pos;
    }
    Check(pos < kTrackNamesCapacity && names == store.trackCount);
    Check(TrackName(store, 0) == u"first");

    RecomputeStatistics(store, 0);
    FitZoom(store);
    return 0;
}
