// The map's geometry on the figures a user can check by hand: tiles of known
// places, the fit of a known extent, zoom steps, the DPI stretch, hit testing
// and the selection steps of clicks.
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

TEST(MapGeometry, TileArithmeticOfKnownPlaces) {
    const TileXY origin = TileOfPoint(1, 0, 0);
    EXPECT_EQ(origin.x, 1);
    EXPECT_EQ(origin.y, 1);
    const TileXY tokyo = TileOfPoint(18, 139.7671, 35.6812);
    EXPECT_EQ(tokyo.x, 232847);
    EXPECT_EQ(tokyo.y, 103226);
    double fx = 0, fy = 0;
    TileFraction(18, 139.7671, 35.6812, fx, fy);
    EXPECT_GT(fx, 232847);
    EXPECT_LT(fx, 232848);
    for (int zoom : {1, 5, 13, 19, 30}) {
        EXPECT_DOUBLE_EQ(TileWestLongitude(zoom, 0), -180) << zoom;
        EXPECT_NEAR(TileNorthLatitude(zoom, 0), 85.0511, 0.0001) << zoom;
    }
    // Back from a corner and forward again lands in the same tile.
    const TileXY again = TileOfPoint(18, TileWestLongitude(18, 232847) + 1e-9, TileNorthLatitude(18, 103226) - 1e-9);
    EXPECT_EQ(again.x, 232847);
    EXPECT_EQ(again.y, 103226);
    // Poles and beyond give finite rows rather than undefined values.
    EXPECT_LT(TileOfPoint(3, 0, 90).y, 0);
    EXPECT_GT(TileOfPoint(3, 0, -95).y, 7);
}

TEST(MapGeometry, FitOfATenthOfADegreeAtThirtyFiveNorth) {
    const TrackStore store = StoreOf({{{139.70, 35.00}, {139.80, 35.05}}});
    MapView view;
    FitView(view, store, 1000, 600);
    EXPECT_EQ(view.zoom, 13);
    EXPECT_NEAR(view.scaleX, 5825.42, 0.01);
    EXPECT_NEAR(view.scaleY, 7080, 15);
    EXPECT_LT(view.scaleY, 12000);
    EXPECT_NEAR(view.centerLon, 139.75, 1e-9);
    EXPECT_NEAR(view.centerLat, 35.025, 1e-9);
    EXPECT_TRUE(view.fitted);
    // The tile range covers the window and the window lies inside the picture.
    EXPECT_TRUE(WindowInsidePicture(view));
    EXPECT_EQ(view.originLon, TileWestLongitude(13, view.tileMinX));
    EXPECT_EQ(view.originLat, TileNorthLatitude(13, view.tileMinY));
    // The centre sits at the window's centre.
    EXPECT_NEAR(MapXOf(view, view.centerLon) - view.viewOffsetX, 500, 2);
}

TEST(MapGeometry, FitOfOnePointAndOfTheWholeWorld) {
    const TrackStore one = StoreOf({{{139.7671, 35.6812}}});
    MapView view;
    FitView(view, one, 800, 500);
    EXPECT_EQ(view.zoom, 19);
    EXPECT_DOUBLE_EQ(view.centerLon, 139.7671);
    EXPECT_DOUBLE_EQ(view.centerLat, 35.6812);

    const TrackStore world = StoreOf({{{-179, -80}, {179, 80}}});
    MapView wide;
    FitView(wide, world, 300, 200);
    EXPECT_EQ(wide.zoom, kMapMinZoom);
    EXPECT_LE(wide.tileMaxX - wide.tileMinX + 1, kMaxPictureTiles);
}

TEST(MapGeometry, ZoomStepsAndTheirLimits) {
    MapView view;
    view.zoom = 13;
    view.scaleX = 5825.42;
    view.scaleY = 7080;
    SetZoom(view, 14);
    EXPECT_DOUBLE_EQ(view.scaleX, 5825.42 * 2);
    EXPECT_DOUBLE_EQ(view.scaleY, 7080 * 2);
    SetZoom(view, 12);
    EXPECT_DOUBLE_EQ(view.scaleX, 5825.42 / 2);
    EXPECT_DOUBLE_EQ(view.scaleY, 7080.0 / 2);
    SetZoom(view, -5);
    EXPECT_EQ(view.zoom, 1);
    SetZoom(view, 40);
    EXPECT_EQ(view.zoom, 30);
}

TEST(MapGeometry, DpiStretch) {
    MapView view;
    SetMapDpi(view, true, 144);
    EXPECT_EQ(view.tileSize, 384);
    EXPECT_EQ(view.margin, 6);
    EXPECT_EQ(view.textHeight, 21);
    EXPECT_EQ(ScaledPixels(view, 2), 3);
    SetMapDpi(view, false, 144);
    EXPECT_EQ(view.tileSize, 256);
    EXPECT_EQ(view.margin, 4);
    EXPECT_EQ(ScaledPixels(view, 2), 2);
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

TEST(MapGeometry, ClickSelectionSteps) {
    std::vector<std::pair<double, double>> line;
    for (int i = 0; i < 12; ++i) line.push_back({139 + i * 0.001, 35});
    TrackStore store = StoreOf({line});
    store.points[6].enabled = 0;
    int32_t anchor = -1;

    // Shift with no anchor is a plain click.
    EXPECT_EQ(ClickPoint(store, anchor, 10, true), ClickResult::kSelected);
    EXPECT_EQ(anchor, 10);
    EXPECT_EQ(store.selectedCount, 1);
    // Shift-click from 10 to 4 selects 4..10, the deleted point 6 too.
    EXPECT_EQ(ClickPoint(store, anchor, 4, true), ClickResult::kRange);
    EXPECT_EQ(anchor, 4);
    EXPECT_EQ(store.selectedCount, 7);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(store.points[i].selected != 0, i >= 4 && i <= 10) << i;
    // Deselecting keeps the anchor until the selection is empty.
    EXPECT_EQ(ClickPoint(store, anchor, 5, false), ClickResult::kDeselected);
    EXPECT_EQ(anchor, 4);
    EXPECT_EQ(store.selectedCount, 6);
    for (int i : {4, 6, 7, 8, 9, 10}) ClickPoint(store, anchor, i, false);
    EXPECT_EQ(store.selectedCount, 0);
    EXPECT_EQ(anchor, -1);
    EXPECT_EQ(ClickPoint(store, anchor, -1, false), ClickResult::kNothing);
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
    EXPECT_EQ(AttributionLinkAt(g, true, right - 100, bottom, right, bottom), 0);
    EXPECT_EQ(AttributionLinkAt(g, true, right - 70, bottom - 16, right, bottom), 0);
    EXPECT_EQ(AttributionLinkAt(g, true, right - 69, bottom - 5, right, bottom), -1);
    EXPECT_EQ(AttributionLinkAt(g, true, right - 30, bottom - 5, right, bottom), 1);
    EXPECT_EQ(AttributionLinkAt(g, true, right - 30, bottom - 17, right, bottom), -1);
    EXPECT_EQ(AttributionLinkAt(g, true, right - 30, bottom + 1, right, bottom), -1);
    EXPECT_EQ(AttributionLinkAt(g, false, right - 30, bottom - 5, right, bottom), -1);
}

}  // namespace
}  // namespace trakvio
