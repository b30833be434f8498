// Feeds arbitrary bytes to the KML reader over a small store that already
// holds a track, then runs the statistics over the result. The store must
// stay consistent: every point in a closed track, one name per track before
// the end marker, and the earlier track untouched, colour included. The
// bytes are also read as one coordinate list in every way the tuple reading
// offers (threads, the usual shapes read from byte masks, a small capacity),
// and each must give exactly the points of the general reading.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "compute/statistics.h"
#include "fuzz_support.h"
#include "readers/kml_reader.h"
#include "readers/kml_tuples.h"

using namespace trakvio;

using fuzz::Check;

namespace {

void CheckTupleReadings(const char* text, size_t size) {
    static std::vector<LogPoint> expected(64), actual(64);
    for (int64_t room : {int64_t{3}, int64_t{64}}) {
        TupleRunResult reference =
            ReadTupleRun(text, text + size, expected.data(), room, 100, 5, {1, size_t{1} << 40, false});
        const TupleRunOptions others[] = {{1, size_t{1} << 40, true}, {2, 1, true}};
        for (const TupleRunOptions& options : others) {
            TupleRunResult result = ReadTupleRun(text, text + size, actual.data(), room, 100, 5, options);
            Check(result.points == reference.points && result.full == reference.full);
            for (int64_t i = 0; i < result.points; ++i) {
                const LogPoint& a = actual[static_cast<size_t>(i)];
                const LogPoint& b = expected[static_cast<size_t>(i)];
                Check(std::memcmp(&a.latitude, &b.latitude, sizeof a.latitude) == 0 &&
                      std::memcmp(&a.longitude, &b.longitude, sizeof a.longitude) == 0 &&
                      std::memcmp(&a.altitude, &b.altitude, sizeof a.altitude) == 0 && a.time == b.time);
            }
        }
    }
}

}  // namespace

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

    CheckTupleReadings(text.data(), size);
    return 0;
}
