// Tiles of the map window from a real HTTP server on 127.0.0.1: what is
// requested, what is cached (only good tiles, no temporary files), the texts
// of the map source, tiles and tracks on the screen, and the tile fetcher's
// handling of bad, slow and cut responses.
#include <QElapsedTimer>
#include <QSignalSpy>
#include <atomic>
#include <optional>
#include <set>

#include "map_window_fixture.h"
#include "platform/status_text.h"
#include "tile_server.h"

namespace trakvio::test {
namespace {

namespace fs = std::filesystem;

QColor TileColor(QPoint tile) { return QColor((tile.x() * 53) % 200 + 40, (tile.y() * 71) % 200 + 40, 160); }

// Column and row of "/tiles/z/x/y.png"; nothing for any other path.
std::optional<QPoint> TileOf(const std::string& path) {
    int z = 0, x = 0, y = 0;
    if (std::sscanf(path.c_str(), "/tiles/%d/%d/%d.png", &z, &x, &y) != 3) return std::nullopt;
    return QPoint(x, y);
}

TileResponse GoodTiles(const std::string& path) {
    const auto tile = TileOf(path);
    return tile ? TileResponse{200, PngOfColor(TileColor(*tile))} : TileResponse{404, "not found"};
}

class MapTiles : public MapWindowFixture {
  protected:
    void UseServer(TileServer& server, int minZoom = 0, int maxZoom = 19) {
        state_.settings.baseMaps = {MakeBaseMap(server.base() + "/tiles/{z}/{x}/{y}.png", minZoom, maxZoom)};
        state_.settings.currentBaseMap = 0;
    }
    // The square centre of tile (x, y) in the window.
    QPoint TileCentre(QPoint tile) const {
        const MapView& v = window_->view();
        return {(tile.x() - v.tileMinX) * v.tileSize + v.tileSize / 2 - v.viewOffsetX,
                (tile.y() - v.tileMinY) * v.tileSize + v.tileSize / 2 - v.viewOffsetY};
    }
    // Every tile of the window's range.
    std::vector<QPoint> Tiles() const {
        const MapView& v = window_->view();
        std::vector<QPoint> tiles;
        for (int x = v.tileMinX; x <= v.tileMaxX; ++x) {
            for (int y = v.tileMinY; y <= v.tileMaxY; ++y) tiles.emplace_back(x, y);
        }
        return tiles;
    }
};

TEST_F(MapTiles, DownloadedThenCachedThenBoth) {
    TileServer server(GoodTiles);
    UseServer(server);
    MapWindow& window = OpenTwoTracks();
    ASSERT_TRUE(WaitIdle());
    const MapView& v = window.view();
    EXPECT_EQ(v.zoom, 12);
    EXPECT_EQ(shell_.status[kStatusMapSource], "Inet map");
    EXPECT_EQ(shell_.status[kStatusZoom], "z12");
    EXPECT_TRUE(window.tilesDrawn());

    // Every tile of the range was asked for once, by "Agent-A", and cached
    // under <cache>/<id>/<z>/<x>/<y>.png; nothing else lies in the cache.
    const auto requests = server.requests();
    EXPECT_EQ(requests.size(), Tiles().size());
    std::set<std::string> tiles, asked, cached;
    for (const QPoint t : Tiles()) tiles.insert("/12/" + std::to_string(t.x()) + "/" + std::to_string(t.y()));
    for (const auto& r : requests) {
        EXPECT_EQ(r.userAgent, "Agent-A");
        asked.insert(r.path.substr(6, r.path.size() - 10));  // "/tiles" and ".png" off
    }
    for (const auto& f : CacheFiles()) {
        EXPECT_EQ(f.extension(), ".png");
        cached.insert(fs::path(f).replace_extension().generic_string().substr((cache_ / "test").string().size()));
    }
    EXPECT_EQ(asked, tiles);
    EXPECT_EQ(cached, tiles);

    // The screen shows each tile's colour in its square.
    const QImage screen = Screen();
    int checked = 0;
    for (const QPoint t : Tiles()) {
        const QPoint c = TileCentre(t);
        if (!screen.rect().contains(c)) continue;
        bool onTrack = false;
        for (int i = 0; i < state_.store.pointCount; ++i) onTrack |= (WindowPos(i) - c).manhattanLength() < 20;
        if (onTrack || c.x() < 40) continue;  // tracks and buttons cover tiles
        EXPECT_EQ(QColor(screen.pixel(c)), TileColor(t)) << t.x() << "," << t.y();
        ++checked;
    }
    EXPECT_GT(checked, 0);

    // A second rendering takes every tile from the cache.
    const size_t first = requests.size();
    window.Render();
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(shell_.status[kStatusMapSource], "Local map");
    EXPECT_EQ(server.requests().size(), first);

    // Half the tiles deleted: those are fetched again, the rest are cached.
    auto files = CacheFiles();
    for (size_t i = 0; i < files.size(); i += 2) fs::remove(files[i]);
    const size_t deleted = (files.size() + 1) / 2;
    window.Render();
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(shell_.status[kStatusMapSource], "Local & Inet map");
    EXPECT_EQ(server.requests().size(), first + deleted);
    EXPECT_EQ(CacheFiles().size(), files.size());
}

// The attribution's links work only over tiles; a click on one opens its
// address and selects nothing.
TEST_F(MapTiles, ZoomOutsideTheBaseMapGivesWhiteNoMapAndNoLinks) {
    TileServer server(GoodTiles);
    UseServer(server, 2, 11);  // the fit gives zoom 12, one above the range
    MapWindow& window = OpenTwoTracks();
    std::vector<QUrl> opened;
    window.SetUrlOpener([&](const QUrl& url) { opened.push_back(url); });
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(shell_.status[kStatusMapSource], "No map");
    EXPECT_FALSE(window.tilesDrawn());
    EXPECT_TRUE(server.requests().empty());
    const QImage screen = Screen();
    EXPECT_EQ(QColor(screen.pixel(200, 5)), QColor(Qt::white));
    // The tracks are drawn over white.
    EXPECT_EQ(QColor(screen.pixel(WindowPos(3))), QColor(0xFF, 0, 0));
    const AttributionGeometry& g = window.attribution();
    ASSERT_EQ(g.linkCount, 2);
    const int right = window.width() - window.view().margin, bottom = window.height() - window.view().margin;
    const QPoint link1(right - g.linkRightOffset[1] + g.linkWidth[1] / 2, bottom - 3);
    QTest::mouseMove(&window, link1);
    EXPECT_EQ(window.cursor().shape(), Qt::CrossCursor);

    // The wheel still zooms out; inside the range tiles come.
    window.ZoomBy(-1);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(shell_.status[kStatusMapSource], "Inet map");
    EXPECT_EQ(shell_.status[kStatusZoom], "z11");
    QTest::mouseMove(&window, link1 + QPoint(1, 0));
    EXPECT_EQ(window.cursor().shape(), Qt::ArrowCursor);
    QTest::mouseClick(&window, Qt::LeftButton, Qt::NoModifier, link1);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].toString(), QStringLiteral("https://tiles.example.org/friends"));
    EXPECT_EQ(state_.store.selectedCount, 0);
}

TEST_F(MapTiles, WithoutAServerTracksStillShowOverWhite) {
    int closedPort = 0;
    {
        TileServer gone(GoodTiles);
        closedPort = gone.port();
    }
    state_.settings.baseMaps = {
        MakeBaseMap("http://127.0.0.1:" + std::to_string(closedPort) + "/tiles/{z}/{x}/{y}.png")};
    Load(TwoTracks());
    Open();
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(shell_.status[kStatusMapSource], "No map");
    EXPECT_TRUE(CacheFiles().empty());
    EXPECT_EQ(QColor(Screen().pixel(WindowPos(12))), QColor(0, 0, 0xFF));
}

TEST_F(MapTiles, OnlyGoodResponsesAreCached) {
    // The diagonals decide the answer: a good tile, 404, an empty body, a
    // body that is no image, a body cut short, a slow good tile.
    const std::string png = PngOfColor(Qt::gray);
    const TileResponse answers[] = {{200, png},          {404, png},     {200, ""}, {200, "<html>rate limited</html>"},
                                    {200, png, 0, true}, {200, png, 300}};
    TileServer server([&answers](const std::string& path) -> TileResponse {
        const auto tile = TileOf(path);
        return tile ? answers[(tile->x() + tile->y()) % 6] : TileResponse{404, ""};
    });
    UseServer(server);
    Load(TwoTracks());
    // A cached file that does not decode is fetched again.
    MapView probe;
    FitView(probe, state_.store, 1000, 600);
    int badX = probe.tileMinX, badY = probe.tileMinY;
    while ((badX + badY) % 6 != 0) ++badY;
    ASSERT_LE(badY, probe.tileMaxY);
    const fs::path bad = TilePath(cache_, u"test", probe.zoom, badX, badY);
    fs::create_directories(bad.parent_path());
    WriteFile(bad, "");

    const MapWindow& window = Open(1000, 600);
    ASSERT_TRUE(WaitIdle());
    ASSERT_GE(Tiles().size(), 12u);  // every answer at least twice
    for (const QPoint t : Tiles()) {
        const bool good = (t.x() + t.y()) % 6 == 0 || (t.x() + t.y()) % 6 == 5;
        const fs::path tile = TilePath(cache_, u"test", window.view().zoom, t.x(), t.y());
        EXPECT_EQ(fs::exists(tile), good) << t.x() << "," << t.y();
        if (good) {
            EXPECT_FALSE(ReadImageByContent(tile).isNull());
        }
    }
    EXPECT_GT(fs::file_size(bad), 0u);
    for (const auto& f : CacheFiles()) EXPECT_EQ(f.extension(), ".png") << f;  // no temporary files left
    EXPECT_EQ(shell_.status[kStatusMapSource], "Inet map");
}

TEST_F(MapTiles, EscapeDropsOutstandingTilesAndProgressIsShown) {
    std::vector<std::string> progress;
    SetStatusTextHandler(
        [](void* context, std::string_view text) {
            static_cast<std::vector<std::string>*>(context)->emplace_back(text);
        },
        &progress);
    TileServer server([](const std::string& path) -> TileResponse {
        const QPoint tile = TileOf(path).value_or(QPoint());
        return {200, PngOfColor(TileColor(tile)), tile.x() % 2 == 0 ? 0 : 1500};
    });
    UseServer(server);
    MapWindow& window = OpenTwoTracks();
    QSignalSpy idle(&window, &MapWindow::idle);
    EXPECT_FALSE(window.isIdle());
    // The quick tiles arrive while the slow ones are still out; the window
    // keeps painting meanwhile.
    ASSERT_TRUE(QTest::qWaitFor([&] { return shell_.status[kStatusMapSource] == "Inet map"; }, 5000));
    EXPECT_FALSE(window.isIdle());
    Screen();
    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_TRUE(window.isIdle());
    EXPECT_EQ(idle.count(), 1);
    SetStatusTextHandler(nullptr, nullptr);
    ASSERT_GE(progress.size(), 3u);
    EXPECT_EQ(progress.front(), "Map tiles 0/" + std::to_string(Tiles().size()));
    EXPECT_EQ(progress.back(), "");
    // Only the quick tiles were stored.
    for (const auto& f : CacheFiles()) EXPECT_EQ(std::stoi(f.parent_path().filename().string()) % 2, 0) << f;
}

TEST_F(MapTiles, FetcherRunsInParallelAndCancels) {
    std::atomic<int> served{0};
    TileServer server([&](const std::string& path) -> TileResponse {
        ++served;
        const QPoint tile = TileOf(path).value_or(QPoint());
        return {200, PngOfColor(TileColor(tile), 16), path.find("/slow/") != std::string::npos ? 2000 : 100};
    });
    TileFetcher fetcher;
    QSignalSpy done(&fetcher, &TileFetcher::batchDone);
    QSignalSpy tiles(&fetcher, &TileFetcher::tileDone);
    std::vector<TileJob> jobs;
    for (int i = 0; i < 12; ++i) {
        jobs.push_back({i, 0, server.base() + "/tiles/5/" + std::to_string(i) + "/0.png",
                        cache_ / "p" / std::to_string(i) / "0.png"});
    }
    QElapsedTimer timer;
    timer.start();
    fetcher.Start(jobs);
    ASSERT_TRUE(done.wait(5000));
    // Four connections: three rounds of 100 ms rather than twelve.
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_EQ(tiles.count(), 12);
    EXPECT_FALSE(fetcher.busy());

    // A new batch drops the slow one; only the new one reports.
    std::vector<TileJob> slow = {{0, 0, server.base() + "/slow/1/0/0.png", cache_ / "s" / "0.png"}};
    done.clear();
    tiles.clear();
    fetcher.Start(slow);
    EXPECT_TRUE(fetcher.busy());
    fetcher.Cancel();
    EXPECT_FALSE(fetcher.busy());
    QTest::qWait(300);
    EXPECT_EQ(done.count(), 0);
    EXPECT_EQ(tiles.count(), 0);
}

}  // namespace
}  // namespace trakvio::test
