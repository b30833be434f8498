// Feeds arbitrary bytes to the CSV text log reader over a small store that already
// holds a track, as the loader does: the reader appends behind it and the
// new points are closed into one track. Nothing may be written past the
// point capacity, the earlier track stays as it was, and every new point
// lies on the globe.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "compute/statistics.h"
#include "fuzz_support.h"
#include "readers/csv_text_reader.h"

using namespace trakvio;

using fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TrackStore& store = fuzz::SmallStore(32, 4);
    fuzz::StartWithOneTrack(store);

    std::vector<char> text(data, data + size);
    text.push_back(0);
    int result = ReadCsvTextBuffer(store, text.data(), size);

    Check(result == kReaderDone || result == kReaderCut);
    Check(store.pointCount <= store.maxlogpoints);
    Check(result == kReaderDone || store.pointCount == store.maxlogpoints);
    Check(store.points[0].latitude == 35 && store.points[1].time == 1010 && store.trackEnd[0] == 1);
    for (int32_t i = 2; i < store.pointCount; ++i) {
        const LogPoint& p = store.points[i];
        Check(std::fabs(p.latitude) <= 90 && std::fabs(p.longitude) <= 180);
        Check(p.enabled == 0 || p.enabled == 1);
    }
    CloseTrack(store);
    RecomputeStatistics(store, 0);
    FitZoom(store);
    return 0;
}
