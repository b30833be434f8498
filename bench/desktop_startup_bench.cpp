// Start-up of the desktop program: from nothing to the first painted main
// window with an empty store, and a command-line load of a 1,000,000-point
// GPX to the painted window with the track list refreshed. Each is measured
// inside this process (configuration, store, windows, load, first paint) and
// as a whole run of the trakvio binary in screenshot mode (process start and
// the PNG files included). The GPX comes from the shared benchmark generator
// (TRAKVIO_BENCH_GEN_GPX names it; TRAKVIO_BENCH_GPX names a file to load
// instead).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/desktop_startup.h"
#include "app/main_window.h"
#include "bench_support.h"
#include "map/map_window.h"

namespace {

namespace fs = std::filesystem;

constexpr int kPoints = 1000000;

// The benchmark's own per-user folder and configuration, so that nothing of
// the user's is read or written.
const fs::path& Scratch() {
    static const fs::path folder = [] {
        fs::path f = fs::temp_directory_path() / "trakvio-desktop-bench";
        fs::create_directories(f / "data");
        setenv("XDG_DATA_HOME", (f / "data").c_str(), 1);
        // The empty start uses the capacities of the shipped template; the
        // large load a store that holds it.
        std::ofstream(f / "empty.ini") << "maxlogpoints=100000\nmaxtracks=200\nshowtrklistwindow=Show\n";
        std::ofstream(f / "bench.ini") << "maxlogpoints=1100000\nmaxtracks=100\nshowtrklistwindow=Show\n";
        return f;
    }();
    return folder;
}

QApplication& App() {
    static int argc = 1;
    static char name[] = "trakvio_bench";
    static char* argv[] = {name, nullptr};
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QApplication* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (!app) app = new QApplication(argc, argv);
    return *app;
}

fs::path GeneratorScript() {
    if (const char* named = std::getenv("TRAKVIO_BENCH_GEN_GPX")) return named;
    for (fs::path candidate : {fs::path(TRAKVIO_SOURCE_DIR) / "../shared/tools/bench-gen/gen_gpx.py",
                               fs::path("/work/shared/tools/bench-gen/gen_gpx.py")}) {
        if (fs::exists(candidate)) return candidate;
    }
    return {};
}

const fs::path& BenchGpx() {
    static const fs::path path =
        trakvio::bench::InputFile("TRAKVIO_BENCH_GPX", "trakvio-desktop-bench-1000000.gpx", [](const fs::path& out) {
            const fs::path script = GeneratorScript();
            if (script.empty()) return;
            const std::string command =
                "python3 '" + script.string() + "' " + std::to_string(kPoints) + " '" + out.string() + "'";
            if (std::system(command.c_str()) != 0) fs::remove(out);
        });
    return path;
}

// Counts paint events of one widget.
class PaintWatch : public QObject {
  public:
    bool painted = false;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) painted = true;
        return false;
    }
};

// Starts the program in this process: configuration, store, windows; loads
// the path when given; returns once the map has been painted.
void StartAndPaint(const fs::path& path) {
    QApplication& app = App();
    trakvio::DesktopOptions options;
    options.hasIni = true;
    options.ini = Scratch() / (path.empty() ? "empty.ini" : "bench.ini");
    trakvio::AppState state;
    fs::path configPath;
    trakvio::SetUpDesktopState(options, state, configPath);
    trakvio::MainWindowOptions windowOptions;
    windowOptions.clientWidth = 1000;
    windowOptions.clientHeight = 600;
    trakvio::MainWindow window(state, windowOptions);
    PaintWatch watch;
    window.mapWindow()->installEventFilter(&watch);
    window.ShowAtStart();
    if (!path.empty()) window.OpenFromCommandLine(path);
    while (!watch.painted || !window.mapWindow()->isIdle()) app.processEvents(QEventLoop::AllEvents, 10);
    window.mapWindow()->removeEventFilter(&watch);
    window.close();
}

void BM_DesktopStartupEmpty(benchmark::State& state) {
    Scratch();
    for (auto _ : state) StartAndPaint({});
}
BENCHMARK(BM_DesktopStartupEmpty)->Unit(benchmark::kMillisecond)->MinTime(1.0);

void BM_DesktopStartupGpx1M(benchmark::State& state) {
    Scratch();
    const fs::path& gpx = BenchGpx();
    if (!fs::exists(gpx)) {
        state.SkipWithError("no GPX generator (set TRAKVIO_BENCH_GEN_GPX or TRAKVIO_BENCH_GPX)");
        return;
    }
    for (auto _ : state) StartAndPaint(gpx);
}
BENCHMARK(BM_DesktopStartupGpx1M)->Unit(benchmark::kMillisecond)->MinTime(3.0);

// The whole program as a user starts it, in screenshot mode.
void RunProgram(benchmark::State& state, const fs::path& path) {
    const fs::path shots = Scratch() / "shots";
    std::string command = "QT_QPA_PLATFORM=offscreen '" + std::string(TRAKVIO_GUI_PATH) + "' --ini '" +
                          (Scratch() / (path.empty() ? "empty.ini" : "bench.ini")).string() + "' --screenshot '" +
                          shots.string() + "'";
    if (!path.empty()) command += " '" + path.string() + "'";
    command += " > /dev/null 2>&1";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("trakvio failed");
            return;
        }
    }
}

void BM_DesktopProcessEmpty(benchmark::State& state) { RunProgram(state, {}); }
BENCHMARK(BM_DesktopProcessEmpty)->Unit(benchmark::kMillisecond)->MinTime(1.0);

void BM_DesktopProcessGpx1M(benchmark::State& state) {
    Scratch();
    const fs::path& gpx = BenchGpx();
    if (!fs::exists(gpx)) {
        state.SkipWithError("no GPX generator (set TRAKVIO_BENCH_GEN_GPX or TRAKVIO_BENCH_GPX)");
        return;
    }
    RunProgram(state, gpx);
}
BENCHMARK(BM_DesktopProcessGpx1M)->Unit(benchmark::kMillisecond)->MinTime(3.0);

}  // namespace
