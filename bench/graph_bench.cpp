// Graph drawing to SVG over a million points in ten tracks (a day of
// one-second fixes each), at the default 600 DPI of a 500 x 260 window. The
// document goes to a file in the temporary folder, so the write is counted.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <filesystem>

#include "compute/statistics.h"
#include "config/settings.h"
#include "graph/graph_svg.h"
#include "store/track_store.h"

namespace trakvio {
namespace {

constexpr int32_t kPoints = 1000000;
constexpr int32_t kTracks = 10;

void FillMillion(TrackStore& store) {
    CreateTrackStore(store, kPoints, kTracks);
    const int64_t start = 1700000000;
    for (int32_t i = 0; i < kPoints; ++i) {
        const double a = i * 1e-4;
        AppendPoint(store, 35.0 + 0.01 * std::sin(a), 139.0 + 0.01 * std::cos(a * 0.7),
                    static_cast<float>(500 + 300 * std::sin(a * 0.05)), static_cast<float>(4 + (i % 7)),
                    start + i + (i / (kPoints / kTracks)) * 3600, 1);
        if ((i + 1) % (kPoints / kTracks) == 0) {
            CloseTrack(store);
            store.tracks[static_cast<size_t>(store.trackCount - 1)].lineWidth = 3;
            store.tracks[static_cast<size_t>(store.trackCount - 1)].color = 0x3060C0;
        }
    }
    RecomputeStatistics(store, 0);
}

void BM_DrawGraphSvgMillionPoints(benchmark::State& state) {
    static TrackStore store;
    if (store.pointCount == 0) FillMillion(store);
    GraphSettings graph;
    graph.xItem = static_cast<int32_t>(state.range(0));
    const std::filesystem::path path = std::filesystem::temp_directory_path() / "trakvio_graph_bench.svg";
    for (auto _ : state) {
        std::FILE* file = std::fopen(path.c_str(), "wb");
        if (file == nullptr) {
            state.SkipWithError("cannot open the output file");
            break;
        }
        benchmark::DoNotOptimize(WriteGraphSvg(file, store, graph, 3125, 1625, 600, SvgForm::kPlain));
        std::fclose(file);
    }
    state.SetItemsProcessed(state.iterations() * kPoints);
    state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(path));
    std::filesystem::remove(path);
}
BENCHMARK(BM_DrawGraphSvgMillionPoints)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace trakvio
