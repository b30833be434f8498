// The graph window over a million-point GPX log: a whole redraw (back buffer,
// drawing, title, the paint of the window) and one hover step (the nearest
// point, both crosses, the paint). The log comes from the shared generator
// (gen_gpx.py 1000000), written once into the temporary folder;
// TRAKVIO_BENCH_GRAPH_GPX names another file instead.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "app/app_state.h"
#include "app/shell.h"
#include "archive/load_front_end.h"
#include "bench_support.h"
#include "graph/graph_window.h"

namespace trakvio {
namespace {

namespace fs = std::filesystem;

constexpr int kPoints = 1000000;

void Generate(const fs::path& path) {
    const fs::path tool = fs::path(TRAKVIO_SOURCE_DIR) / ".." / "shared" / "tools" / "bench-gen" / "gen_gpx.py";
    const std::string command =
        "python3 '" + tool.string() + "' " + std::to_string(kPoints) + " '" + path.string() + "'";
    if (std::system(command.c_str()) != 0) fs::remove(path);
}

class NullShell : public Shell {
  public:
    void SetStatusPart(int, std::string_view) override {}
    void ShowPointInfo(int index) override { benchmark::DoNotOptimize(index); }
    void RefreshAfterLoad() override {}
    void RefreshAfterEdit() override {}
    void RefreshTrackList() override {}
    void RedrawMap() override {}
    void RedrawGraph() override {}
    void SetMapHoverPoint(int index) override { benchmark::DoNotOptimize(index); }
    void SetGraphHoverPoint(int) override {}
    int PickTracks(std::string_view) override { return -1; }
};

// One application, store and shown window for all benchmarks.
struct Fixture {
    std::unique_ptr<QApplication> app;
    AppState state;
    NullShell shell;
    std::unique_ptr<GraphWindow> window;
    bool ok = false;

    Fixture() {
        if (QApplication::instance() == nullptr) {
            if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
            static int argc = 1;
            static char name[] = "desktop_graph_bench";
            static char* argv[] = {name, nullptr};
            app = std::make_unique<QApplication>(argc, argv);
        }
        const fs::path path = bench::InputFile("TRAKVIO_BENCH_GRAPH_GPX", "trakvio-graph-bench-1000000.gpx", Generate);
        if (CreateTrackStore(state.store, kPoints + 100000, 100) != 0) return;
        if (LoadLogFile(state.store, state.settings, path) != kLoadDone) return;
        state.settings.gpsLogDataFile = path;
        window = std::make_unique<GraphWindow>(state, shell);
        window->show();
        QApplication::processEvents();
        ok = state.store.pointCount >= kPoints;
    }
};

Fixture& Shared() {
    static Fixture fixture;
    return fixture;
}

void BM_GraphWindowRedraw(benchmark::State& state) {
    Fixture& f = Shared();
    if (!f.ok) {
        state.SkipWithError("the million-point log could not be generated or loaded");
        return;
    }
    f.state.settings.graph.xItem = static_cast<int32_t>(state.range(0));
    for (auto _ : state) {
        f.window->Redraw();
        f.window->Canvas()->repaint();
    }
    state.counters["points"] = f.state.store.pointCount;
    state.SetItemsProcessed(state.iterations() * f.state.store.pointCount);
}
BENCHMARK(BM_GraphWindowRedraw)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond);

void BM_GraphWindowHoverStep(benchmark::State& state) {
    Fixture& f = Shared();
    if (!f.ok) {
        state.SkipWithError("the million-point log could not be generated or loaded");
        return;
    }
    f.state.settings.graph.xItem = 1;
    f.window->Redraw();
    const GraphPlotRect plot = f.window->PlotRect();
    const int y = (plot.top + plot.bottom) / 2;
    int x = plot.left;
    for (auto _ : state) {
        f.window->HoverAt(x, y);
        f.window->Canvas()->repaint();
        x = x >= plot.right ? plot.left : x + 7;
    }
}
BENCHMARK(BM_GraphWindowHoverStep)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace trakvio
