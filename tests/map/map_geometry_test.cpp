// The map's geometry on the figures a user can check by hand: tiles of known
// places, the fit of a known extent, zoom steps, the DPI stretch and hit
// testing. The selection steps of clicks are checked through the window.
#include "map/map_geometry.h"

#include <gtest/gtest.h>

#include "compute/statistics.h"

namespace trakvio {
namespace {

// One track per list of (lon, lat) pairs.
TrackStore StoreOf(std::initializer_list<std::vector<std::pair<double, double>>> tracks) {
    TrackStore store;
    CreateTrackStore(store, 1000, 20);
    for (const auto& track : tracks) {
        for (const auto& [lon, lat] : track) AppendPoint(store, lat, lon, 0, 0, 1000 + store.pointCount, 1);
        CloseTrack(store);
        store.tracks[store.trackCount - 1].lineWidth = 2;
    }
    RecomputeStatistics(store, 0);
    return store;
}

// Tiles of known places, the fit of a tenth of a degree at 35 north in a
// 1000x600 window, of one point and of the whole world, zoom steps and the
// 144-DPI stretch.
TEST(MapGeometry, FiguresCheckedByHand) {
    const TileXY tokyo = TileOfPoint(18, 139.7671, 35.6812);
    double fx = 0, fy = 0;
    TileFraction(18, 139.7671, 35.6812, fx, fy);
    // Back from a corner and forward again lands in the same tile.
    const TileXY again = TileOfPoint(18, TileWestLongitude(18, 232847) + 1e-9, TileNorthLatitude(18, 103226) - 1e-9);
    MapView fit, one, world;
    FitView(fit, StoreOf({{{139.70, 35.00}, {139.80, 35.05}}}), 1000, 600);
    FitView(one, StoreOf({{{139.7671, 35.6812}}}), 800, 500);
    FitView(world, StoreOf({{{-179, -80}, {179, 80}}}), 300, 200);
    MapView in = fit, out = fit, lowest = fit, highest = fit;
    SetZoom(in, 14);
    SetZoom(out, 12);
    SetZoom(lowest, -5);
    SetZoom(highest, 40);
    MapView stretched, plain;
    SetMapDpi(stretched, true, 144);
    SetMapDpi(plain, true, 144);
    SetMapDpi(plain, false, 144);
    const struct {
        const char* what;
        double actual, expected, tolerance;
    } rows[] = {
        {"tile x at 0,0 zoom 1", TileOfPoint(1, 0, 0).x, 1, 0},
        {"tile y at 0,0 zoom 1", TileOfPoint(1, 0, 0).y, 1, 0},
        {"Tokyo tile x", tokyo.x, 232847, 0},
        {"Tokyo tile y", tokyo.y, 103226, 0},
        {"Tokyo tile fraction x", fx, 232847.5, 0.5},
        {"corner and back x", again.x, 232847, 0},
        {"corner and back y", again.y, 103226, 0},
        {"fit zoom", fit.zoom, 13, 0},
        {"fit scale x", fit.scaleX, 5825.42, 0.01},
        {"fit scale y", fit.scaleY, 7080, 15},
        {"fit centre lon", fit.centerLon, 139.75, 1e-9},
        {"fit centre lat", fit.centerLat, 35.025, 1e-9},
        {"fit west edge", fit.originLon, TileWestLongitude(13, fit.tileMinX), 0},
        {"fit north edge", fit.originLat, TileNorthLatitude(13, fit.tileMinY), 0},
        {"fit centre in the window", MapXOf(fit, fit.centerLon) - fit.viewOffsetX, 500, 2},
        {"one point zoom", one.zoom, 19, 0},
        {"one point centre lon", one.centerLon, 139.7671, 0},
        {"one point centre lat", one.centerLat, 35.6812, 0},
        {"world zoom", world.zoom, kMapMinZoom, 0},
        {"zoom in scale x", in.scaleX, fit.scaleX * 2, 0},
        {"zoom in scale y", in.scaleY, fit.scaleY * 2, 0},
        {"zoom out scale x", out.scaleX, fit.scaleX / 2, 0},
        {"zoom out scale y", out.scaleY, fit.scaleY / 2, 0},
        {"zoom below the least", lowest.zoom, 1, 0},
        {"zoom above the most", highest.zoom, 30, 0},
        {"144 DPI tile", stretched.tileSize, 384, 0},
        {"144 DPI margin", stretched.margin, 6, 0},
        {"144 DPI text", stretched.textHeight, 21, 0},
        {"144 DPI 2 pixels", ScaledPixels(stretched, 2), 3, 0},
        {"unstretched tile", plain.tileSize, 256, 0},
        {"unstretched margin", plain.margin, 4, 0},
        {"unstretched 2 pixels", ScaledPixels(plain, 2), 2, 0},
    };
    for (const auto& row : rows) EXPECT_NEAR(row.actual, row.expected, row.tolerance) << row.what;
    EXPECT_TRUE(fit.fitted);
    EXPECT_TRUE(WindowInsidePicture(fit));  // the tile range covers the window
    EXPECT_LE(world.tileMaxX - world.tileMinX + 1, kMaxPictureTiles);
    for (int zoom : {1, 13, 30}) {
        EXPECT_DOUBLE_EQ(TileWestLongitude(zoom, 0), -180) << zoom;
        EXPECT_NEAR(TileNorthLatitude(zoom, 0), 85.0511, 0.0001) << zoom;
    }
    // Poles and beyond give finite rows rather than undefined values.
    EXPECT_LT(TileOfPoint(3, 0, 90).y, 0);
    EXPECT_GT(TileOfPoint(3, 0, -95).y, 7);
}

TEST(MapGeometry, NearestPointTakesTheLowestIndexAndIgnoresDeletedPoints) {
    TrackStore store = StoreOf({{{0, 0}, {0, 0}, {0, 0}, {0, 0}}});
    auto place = [&](int i, int x, int y) {
        store.points[i].mapX = x;
        store.points[i].mapY = y;
    };
    place(0, 100, 100);
    place(1, 50, 50);
    place(2, 50, 50);
    place(3, 10, 10);
    PointPositions positions;
    CollectPointPositions(store, positions);
    EXPECT_EQ(NearestPoint(positions, 52, 52), 1);  // 1 and 2 coincide: the lower wins
    EXPECT_EQ(NearestPointInStore(store, 52, 52), 1);
    EXPECT_EQ(NearestPoint(positions, 100000, 100000), 0);  // no distance limit
    store.points[1].enabled = 0;
    CollectPointPositions(store, positions);
    EXPECT_EQ(NearestPoint(positions, 52, 52), 2);
    for (int i = 0; i < 4; ++i) store.points[i].enabled = 0;
    CollectPointPositions(store, positions);
    EXPECT_EQ(NearestPoint(positions, 52, 52), -1);
    // Positions at the limits do not overflow the squared distances.
    store.points[0].enabled = 1;
    place(0, -kMapPositionLimit, -kMapPositionLimit);
    CollectPointPositions(store, positions);
    EXPECT_EQ(NearestPoint(positions, kMapPositionLimit, kMapPositionLimit), 0);
}

TEST(MapGeometry, AttributionLinkHitTest) {
    AttributionGeometry g;
    g.linkCount = 2;
    g.linkRightOffset[0] = 100;  // text "....LINK1...LINK2.." ending at right
    g.linkWidth[0] = 30;
    g.linkRightOffset[1] = 40;
    g.linkWidth[1] = 20;
    g.linkHeight = 16;
    const int right = 496, bottom = 296;
    // {left of right, above bottom, tiles drawn, link}
    const int rows[][4] = {{100, 0, 1, 0},  {70, 16, 1, 0},  {69, 5, 1, -1}, {30, 5, 1, 1},
                           {30, 17, 1, -1}, {30, -1, 1, -1}, {30, 5, 0, -1}};
    for (const auto& [dx, dy, tiles, link] : rows) {
        EXPECT_EQ(AttributionLinkAt(g, tiles != 0, right - dx, bottom - dy, right, bottom), link) << dx << "," << dy;
    }
}

}  // namespace
}  // namespace trakvio
