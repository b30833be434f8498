// The window's work on each new-fixes notice of a live capture: a capture at
// 10 fixes a second for 10 minutes ends as one track of 6,000 points, and
// each notice recomputes the statistics without the overall figures and
// rebuilds the track list rows. Budget: 5 ms per notice.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>

#include "app/track_list_rows.h"
#include "compute/statistics.h"
#include "store/track_store.h"

namespace trakvio {
namespace {

constexpr int32_t kFixes = 6000;  // 10 a second for 10 minutes

// A drive of 6,000 fixes a tenth of a second apart, as the capture leaves
// the store: one track ending at the last point.
void FillCapture(TrackStore& store) {
    CreateTrackStore(store, 30000, 100);
    int64_t time = 1714550400;
    for (int32_t i = 0; i < kFixes; ++i) {
        const double lat = 35.68 + 0.00002 * i;
        const double lon = 139.76 + 0.00001 * i + 0.0001 * std::sin(i / 50.0);
        AppendPoint(store, lat, lon, 40.0f, 36.0f, time + i / 10, 1);
    }
    store.trackCount = 1;
    store.trackEnd[0] = store.pointCount - 1;
    RecomputeStatistics(store, 0);  // the first notice's full pass
}

void BM_NewFixesRefresh(benchmark::State& state) {
    TrackStore store;
    FillCapture(store);
    for (auto _ : state) {
        RecomputeStatistics(store, 1);
        TrackListTable table = BuildTrackListTable(store);
        benchmark::DoNotOptimize(table);
    }
    state.counters["points"] = kFixes;
}
BENCHMARK(BM_NewFixesRefresh)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace trakvio
