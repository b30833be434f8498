// Time of the map window on a large log: rendering the tracks of a
// 1,000,000-point GPX at its fitted zoom in a 1000 x 600 window, the hit test
// that runs on every mouse move, a repaint while panning, and a rendering
// that needs 12 tiles from a local server answering each after 100 ms.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <cstdlib>
#include <memory>
#include <random>

#include "../tests/app/fake_shell.h"
#include "../tests/map/tile_server.h"
#include "archive/load_front_end.h"
#include "bench_support.h"
#include "config/config_maps.h"
#include "map/map_window.h"
#include "map/tile_cache.h"
#include "platform/utf.h"

namespace trakvio {
namespace {

void GenerateWithTool(const std::filesystem::path& path) {
    const std::string tool = std::string(TRAKVIO_SOURCE_DIR) + "/../shared/tools/bench-gen/gen_gpx.py";
    const std::string command = "python3 '" + tool + "' 1000000 '" + path.string() + "'";
    if (std::system(command.c_str()) != 0) std::filesystem::remove(path);
}

QApplication& App() {
    static int argc = 1;
    static char name[] = "desktop_map_bench";
    static char* argv[] = {name, nullptr};
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QApplication* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (!app) app = new QApplication(argc, argv);
    return *app;
}

// The big log loaded once, with a map window fitted to it.
struct BigMap {
    AppState state;
    FakeShell shell;
    std::unique_ptr<MapWindow> window;
    bool ok = false;

    BigMap() {
        App();
        const std::filesystem::path path =
            bench::InputFile("TRAKVIO_BENCH_MAP_GPX", "trakvio-map-bench-1000000.gpx", GenerateWithTool);
        CreateTrackStore(state.store, 1100000, 100);
        if (LoadLogFile(state.store, state.settings, path) != kLoadDone) return;
        window = std::make_unique<MapWindow>(state, shell);
        window->resize(1000, 600);
        window->show();
        state.mapHasContent = true;
        window->FitAndRender();
        ok = state.store.pointCount >= 1000000;
    }
};

BigMap& Big() {
    static BigMap big;
    return big;
}

void BM_MapRenderTracks(benchmark::State& state) {
    BigMap& big = Big();
    if (!big.ok) {
        state.SkipWithError("no benchmark log");
        return;
    }
    for (auto _ : state) big.window->Render();
    state.counters["points"] = big.state.store.pointCount;
    state.counters["zoom"] = big.window->zoom();
}
BENCHMARK(BM_MapRenderTracks)->Unit(benchmark::kMillisecond);

// The same with every tile of the range in the cache (noisy images, so that
// decoding them costs what a real map tile costs).
void BM_MapRenderCachedTiles(benchmark::State& state) {
    BigMap& big = Big();
    if (!big.ok) {
        state.SkipWithError("no benchmark log");
        return;
    }
    const auto cache = std::filesystem::temp_directory_path() / "trakvio-map-bench-tiles";
    std::filesystem::remove_all(cache);
    BaseMap map;
    map.tileId = u"cached";
    map.urlFormat = u"http://127.0.0.1:9/%d/%d/%d.png";
    map.maxZoom = 19;
    big.state.settings.baseMaps = {map};
    big.state.settings.tileCacheFolder = cache;
    const MapView& v = big.window->view();
    std::mt19937 random(3);
    for (int x = v.tileMinX; x <= v.tileMaxX; ++x) {
        for (int y = v.tileMinY; y <= v.tileMaxY; ++y) {
            QImage tile(256, 256, QImage::Format_RGB32);
            for (int py = 0; py < 256; ++py) {
                for (int px = 0; px < 256; ++px)
                    tile.setPixel(px, py, 0xFF000000u | (random() & 0x0F0F0Fu) | 0xE0E0E0u);
            }
            const auto path = TilePath(cache, map.tileId, v.zoom, x, y);
            std::filesystem::create_directories(path.parent_path());
            tile.save(QString::fromStdString(path.string()), "PNG");
        }
    }
    for (auto _ : state) big.window->Render();
    state.counters["tiles"] = (v.tileMaxX - v.tileMinX + 1) * (v.tileMaxY - v.tileMinY + 1);
    big.state.settings.baseMaps.clear();
    big.window->Render();
    std::filesystem::remove_all(cache);
}
BENCHMARK(BM_MapRenderCachedTiles)->Unit(benchmark::kMillisecond);

void BM_NearestPoint(benchmark::State& state) {
    BigMap& big = Big();
    if (!big.ok) {
        state.SkipWithError("no benchmark log");
        return;
    }
    PointPositions positions;
    CollectPointPositions(big.state.store, positions);
    std::mt19937 random(7);
    std::uniform_int_distribution<int> x(0, 999), y(0, 599);
    const MapView& v = big.window->view();
    for (auto _ : state) {
        benchmark::DoNotOptimize(NearestPoint(positions, x(random) + v.viewOffsetX, y(random) + v.viewOffsetY));
    }
    state.counters["points"] = static_cast<double>(positions.x.size());
}
BENCHMARK(BM_NearestPoint)->Unit(benchmark::kMicrosecond);

// One step of a drag inside the picture: a mouse move of 3 pixels and the
// repaint it causes.
void BM_PanRepaint(benchmark::State& state) {
    BigMap& big = Big();
    if (!big.ok) {
        state.SkipWithError("no benchmark log");
        return;
    }
    MapWindow& w = *big.window;
    const QPointF centre(500, 300);
    QMouseEvent press(QEvent::MouseButtonPress, centre, w.mapToGlobal(centre), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(&w, &press);
    QImage screen(w.size(), QImage::Format_RGB32);
    int step = 0;
    for (auto _ : state) {
        const int dx = (step++ % 20 < 10) ? 3 : -3;  // back and forth inside the picture
        const QPointF at = centre + QPointF(dx * (step % 10), 0);
        QMouseEvent move(QEvent::MouseMove, at, w.mapToGlobal(at), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&w, &move);
        w.render(&screen);  // the paint the move asked for
    }
    QMouseEvent release(QEvent::MouseButtonRelease, centre, w.mapToGlobal(centre), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(&w, &release);
}
BENCHMARK(BM_PanRepaint)->Unit(benchmark::kMillisecond);

// A rendering whose tiles are all missing, from a server that answers each
// after 100 ms; the time until the window is idle again.
void BM_MissingTilesFromSlowServer(benchmark::State& state) {
    App();
    test::TileServer server([](const std::string&) {
        static const std::string png = test::PngOfColor(QColor(200, 220, 240));
        return test::TileResponse{200, png, 100};
    });
    AppState app;
    FakeShell shell;
    CreateTrackStore(app.store, 10, 2);
    AppendPoint(app.store, 35.0, 139.70, 0, 0, 0, 1);
    AppendPoint(app.store, 35.05, 139.80, 0, 0, 1, 1);
    CloseTrack(app.store);
    app.store.allMinLat = 35.0;
    app.store.allMaxLat = 35.05;
    app.store.allMinLon = 139.70;
    app.store.allMaxLon = 139.80;
    app.store.kmPerDegLat = 110.95;
    app.store.kmPerDegLon = 91.29;
    BaseMap map;
    map.tileId = u"bench";
    map.urlFormat = TileUrlFormat(Utf8ToUtf16(server.base() + "/{z}/{x}/{y}.png"));
    map.maxZoom = 19;
    app.settings.baseMaps = {map};
    const auto cache = std::filesystem::temp_directory_path() / "trakvio-map-bench-cache";
    app.settings.tileCacheFolder = cache;
    MapWindow window(app, shell);
    // Four columns and three rows of tiles at the fitted zoom.
    window.resize(700, 500);
    window.show();
    app.mapHasContent = true;
    int tiles = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove_all(cache);
        std::filesystem::create_directories(cache);
        state.ResumeTiming();
        window.FitAndRender();
        while (!window.isIdle()) QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        const MapView& v = window.view();
        tiles = (v.tileMaxX - v.tileMinX + 1) * (v.tileMaxY - v.tileMinY + 1);
    }
    std::filesystem::remove_all(cache);
    state.counters["tiles"] = tiles;
}
BENCHMARK(BM_MissingTilesFromSlowServer)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
}  // namespace trakvio
