// A map window over a small store and a tile cache in a scratch folder, with
// a recording shell, for the map window tests.
#pragma once

#include <gtest/gtest.h>

#include <QImage>
#include <QTest>
#include <memory>
#include <string>
#include <vector>

#include "../app/fake_shell.h"
#include "../app/window_test_support.h"
#include "compute/statistics.h"
#include "config/config_maps.h"
#include "map/map_render.h"
#include "map/map_window.h"
#include "map/tile_cache.h"
#include "test_support.h"

namespace trakvio::test {

struct TrackSpec {
    uint32_t color = 0xFF0000;
    int32_t width = 3;
    std::vector<std::pair<double, double>> lonLat;
};

inline BaseMap MakeBaseMap(const std::string& urlTemplate, int minZoom = 0, int maxZoom = 19) {
    BaseMap map;
    map.name = u"Test tiles";
    map.tileId = u"test";
    map.urlTemplate = std::u16string(urlTemplate.begin(), urlTemplate.end());
    map.urlFormat = TileUrlFormat(map.urlTemplate);
    const std::u16string attribution = u"(c) <Tile Makers> and <Friends>";
    map.linkCount = ParseAttribution(attribution, map.attribution, map.links);
    map.linkUrls[0] = u"https://tiles.example.org/makers";
    map.linkUrls[1] = u"https://tiles.example.org/friends";
    map.minZoom = minZoom;
    map.maxZoom = maxZoom;
    return map;
}

// Two tracks near Tokyo spanning 0.1 degrees of longitude and 0.05 of
// latitude: a red diagonal and a blue line across.
inline std::vector<TrackSpec> TwoTracks() {
    TrackSpec red{0xFF0000, 3, {}};
    for (int i = 0; i <= 10; ++i) red.lonLat.push_back({139.70 + i * 0.01, 35.00 + i * 0.005});
    TrackSpec blue{0x0000FF, 2, {}};
    for (int i = 0; i <= 10; ++i) blue.lonLat.push_back({139.70 + i * 0.01, 35.04});
    return {red, blue};
}

class MapWindowFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        cache_ = scratch_ / "cache";
        std::filesystem::create_directories(cache_);
        state_.settings.tileCacheFolder = cache_;
        CreateTrackStore(state_.store, 1000, 20);
    }

    void Load(const std::vector<TrackSpec>& tracks) {
        ClearTrackStore(state_.store);
        for (const TrackSpec& t : tracks) {
            for (const auto& [lon, lat] : t.lonLat) {
                AppendPoint(state_.store, lat, lon, 10, 0, 1700000000 + state_.store.pointCount, 1);
            }
            CloseTrack(state_.store);
            TrackRecord& record = state_.store.tracks[state_.store.trackCount - 1];
            record.color = t.color;
            record.lineWidth = t.width;
        }
        RecomputeStatistics(state_.store, 0);
    }

    // Creates the window at the given size and fits it to the store.
    MapWindow& Open(int width = 400, int height = 300, TileFetchOptions options = {}) {
        window_ = std::make_unique<MapWindow>(state_, shell_, options);
        window_->resize(width, height);
        window_->show();
        state_.mapHasContent = true;
        window_->FitAndRender();
        return *window_;
    }

    MapWindow& OpenTwoTracks() {
        Load(TwoTracks());
        return Open();
    }

    bool WaitIdle(int ms = 10000) {
        return QTest::qWaitFor([this] { return window_->isIdle(); }, ms);
    }

    // The window as the user sees it.
    QImage Screen() { return window_->grab().toImage().convertToFormat(QImage::Format_RGB32); }

    // Window position of point i.
    QPoint WindowPos(int i) const {
        const LogPoint& p = state_.store.points[i];
        return {p.mapX - window_->view().viewOffsetX, p.mapY - window_->view().viewOffsetY};
    }

    std::vector<std::filesystem::path> CacheFiles() const {
        std::vector<std::filesystem::path> files;
        for (const auto& e : std::filesystem::recursive_directory_iterator(cache_)) {
            if (e.is_regular_file()) files.push_back(e.path());
        }
        return files;
    }

    ScratchFolder scratch_;
    std::filesystem::path cache_;
    AppState state_;
    FakeShell shell_;
    std::unique_ptr<MapWindow> window_;
};

}  // namespace trakvio::test
