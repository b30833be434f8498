// The map window as a user sees and drives it: tracks, dots, the receiver
// marker and hidden tracks on the screen; clicks, pans, hover and zoom through
// Qt Test; the clipboard copy. The attribution links need tiles: the tile
// tests have them.
#include <QApplication>
#include <QClipboard>
#include <QPushButton>
#include <QWheelEvent>

#include "map_window_fixture.h"

namespace trakvio::test {
namespace {

const QColor kRed(0xFF, 0, 0), kBlue(0, 0, 0xFF), kWhite(Qt::white);

class MapScreen : public MapWindowFixture {
  protected:
    QColor At(const QImage& screen, QPoint p) { return QColor(screen.pixel(p)); }
    std::pair<int, int> Offset() const { return {window_->view().viewOffsetX, window_->view().viewOffsetY}; }
};

TEST_F(MapScreen, TracksDotsMarkerAndHiddenTracks) {
    auto tracks = TwoTracks();
    // A track whose only enabled point is its last one is not drawn.
    tracks.push_back({0x00FF00, 5, {{139.75, 35.01}, {139.76, 35.01}}});
    Load(tracks);
    const int hidden = state_.store.pointCount - 1;
    state_.store.points[hidden - 1].enabled = 0;
    RecomputeStatistics(state_.store, 0);
    MapWindow& window = Open();
    ASSERT_TRUE(WaitIdle());
    QImage screen = Screen();
    EXPECT_EQ(shell_.status[kStatusMapSource], "No map");  // no base map configured
    for (int i : {0, 2, 5, 10}) EXPECT_EQ(At(screen, WindowPos(i)), kRed) << i;
    for (int i : {13, 15, 21}) EXPECT_EQ(At(screen, WindowPos(i)), kBlue) << i;
    const LogPoint& h = state_.store.points[hidden];
    const QPoint hiddenAt(MapXOf(window.view(), h.longitude) - window.view().viewOffsetX,
                          MapYOf(window.view(), h.latitude) - window.view().viewOffsetY);
    EXPECT_EQ(At(screen, hiddenAt), kWhite);
    // A deleted point is skipped: the line joins its neighbours.
    state_.store.points[5].enabled = 0;
    window.Render();
    screen = Screen();
    const QPoint mid = (WindowPos(4) + WindowPos(6)) / 2;
    EXPECT_EQ(At(screen, mid), kRed);

    // Dots: white inside, outlined in the track colour.
    state_.dotDrawing = true;
    window.Render();
    screen = Screen();
    EXPECT_EQ(At(screen, WindowPos(13)), kWhite);
    EXPECT_EQ(At(screen, WindowPos(13) + QPoint(0, -3)), kBlue);
    EXPECT_EQ(At(screen, WindowPos(2)), kWhite);

    // The receiver marker: a hollow blue circle of radius 10 around the last
    // point of the last track.
    state_.dotDrawing = false;
    state_.capturing = true;
    window.Render();
    screen = Screen();
    EXPECT_EQ(At(screen, hiddenAt + QPoint(0, -10)), kBlue);
    EXPECT_EQ(At(screen, hiddenAt + QPoint(-10, 0)), kBlue);
    EXPECT_EQ(At(screen, hiddenAt + QPoint(0, -6)), kWhite);
}

TEST_F(MapScreen, HighDpiStretchWidensLines) {
    Load({{0xFF0000, 2, {{139.70, 35.00}, {139.80, 35.00}}}});
    const LogPoint& p = state_.store.points[0];
    for (const auto& [stretch, width] : {std::pair{true, 3}, std::pair{false, 2}}) {
        MapView view;
        SetMapDpi(view, stretch, 144);
        FitView(view, state_.store, 600, 400);
        QImage layer(PictureWidth(view), PictureHeight(view), QImage::Format_ARGB32_Premultiplied);
        DrawTracks(layer, state_.store, view, false, false, state_.settings.marker);
        int thick = 0;
        for (int dy = -6; dy <= 6; ++dy) thick += qAlpha(layer.pixel(p.mapX + 20, p.mapY + dy)) == 255 ? 1 : 0;
        EXPECT_EQ(thick, width) << stretch;
    }
}

TEST_F(MapScreen, ClicksSelectAndDeselect) {
    MapWindow& window = OpenTwoTracks();
    // Press and release without a move selects the nearest point; Shift with
    // no anchor is a plain click.
    QTest::mouseClick(&window, Qt::LeftButton, Qt::ShiftModifier, WindowPos(10));
    EXPECT_EQ(state_.store.selectedCount, 1);
    EXPECT_NE(state_.store.points[10].selected, 0);
    EXPECT_EQ(window.rangeAnchor(), 10);
    // Shift-click from 10 to 4 selects 4..10, the deleted point 6 too.
    state_.store.points[6].enabled = 0;
    QTest::mouseClick(&window, Qt::LeftButton, Qt::ShiftModifier, WindowPos(4));
    EXPECT_EQ(state_.store.selectedCount, 7);
    for (int i = 0; i < 22; ++i) EXPECT_EQ(state_.store.points[i].selected != 0, i >= 4 && i <= 10) << i;
    EXPECT_EQ(window.rangeAnchor(), 4);
    QImage screen = Screen();
    // A selection box: white inside, black outline 4 pixels out.
    EXPECT_EQ(At(screen, WindowPos(7)), kWhite);
    EXPECT_EQ(At(screen, WindowPos(7) + QPoint(-4, 0)), QColor(Qt::black));
    // Clicking a selected point deselects it; the anchor stays.
    QTest::mouseClick(&window, Qt::LeftButton, Qt::NoModifier, WindowPos(7));
    EXPECT_EQ(state_.store.selectedCount, 6);
    EXPECT_EQ(window.rangeAnchor(), 4);
    EXPECT_EQ(At(Screen(), WindowPos(7)), kRed);
    window.RunCommand(kCmdClearSelection);
    EXPECT_EQ(state_.store.selectedCount, 0);
    // Deselecting the last point clears the anchor.
    QTest::mouseClick(&window, Qt::LeftButton, Qt::NoModifier, WindowPos(2));
    QTest::mouseClick(&window, Qt::LeftButton, Qt::NoModifier, WindowPos(2));
    EXPECT_EQ(state_.store.selectedCount, 0);
    EXPECT_EQ(window.rangeAnchor(), -1);
    // A click far from every track still selects the nearest point.
    QTest::mouseClick(&window, Qt::LeftButton, Qt::NoModifier, QPoint(5, 295));
    EXPECT_NE(state_.store.points[0].selected, 0);
}

TEST_F(MapScreen, DragsPanOnlyWhenTheyEndElsewhere) {
    MapWindow& window = OpenTwoTracks();
    const QPoint start(200, 150);
    const int x0 = window.view().viewOffsetX, y0 = window.view().viewOffsetY;
    const double lon0 = window.view().centerLon;

    // One pixel: a pan of one pixel, nothing selected.
    QTest::mousePress(&window, Qt::LeftButton, Qt::NoModifier, start);
    QTest::mouseMove(&window, start + QPoint(1, 0));
    QTest::mouseRelease(&window, Qt::LeftButton, Qt::NoModifier, start + QPoint(1, 0));
    EXPECT_EQ(Offset(), (std::pair{x0 - 1, y0}));
    EXPECT_EQ(state_.store.selectedCount, 0);
    EXPECT_NEAR(window.view().centerLon, lon0 - 1 / window.view().scaleX, 1e-12);

    // Away and back: neither a pan nor a click.
    const int x1 = window.view().viewOffsetX;
    QTest::mousePress(&window, Qt::LeftButton, Qt::NoModifier, start);
    QTest::mouseMove(&window, start + QPoint(30, 0));
    EXPECT_EQ(window.view().viewOffsetX, x1 - 30);  // the picture follows the drag
    QTest::mouseMove(&window, start);
    QTest::mouseRelease(&window, Qt::LeftButton, Qt::NoModifier, start);
    EXPECT_EQ(window.view().viewOffsetX, x1);
    EXPECT_EQ(state_.store.selectedCount, 0);

    // Two pixels: nothing moves until the release applies the whole move.
    QTest::mousePress(&window, Qt::LeftButton, Qt::NoModifier, start);
    QTest::mouseMove(&window, start + QPoint(2, -2));
    EXPECT_EQ(window.view().viewOffsetX, x1);
    QTest::mouseRelease(&window, Qt::LeftButton, Qt::NoModifier, start + QPoint(2, -2));
    EXPECT_EQ(Offset(), (std::pair{x1 - 2, y0 + 2}));

    // The tracks move with the picture on the screen.
    EXPECT_EQ(At(Screen(), WindowPos(3)), kRed);

    // A pan that leaves the picture renders a new one around the new centre.
    const QPoint before = WindowPos(10);
    QTest::mousePress(&window, Qt::LeftButton, Qt::NoModifier, QPoint(300, 150));
    QTest::mouseMove(&window, QPoint(160, 150));
    EXPECT_FALSE(WindowInsidePicture(window.view()));
    QTest::mouseRelease(&window, Qt::LeftButton, Qt::NoModifier, QPoint(160, 150));
    EXPECT_TRUE(WindowInsidePicture(window.view()));
    EXPECT_NEAR(WindowPos(10).x(), before.x() - 140, 1);
    EXPECT_EQ(At(Screen(), WindowPos(10)), kRed);
}

TEST_F(MapScreen, HoverShowsThePointAndItsCross) {
    MapWindow& window = OpenTwoTracks();
    QTest::mouseMove(&window, WindowPos(14) + QPoint(2, 1));
    ASSERT_FALSE(shell_.pointInfo.empty());
    EXPECT_EQ((std::vector{shell_.pointInfo.back(), shell_.graphHover, window.hoverPoint()}), std::vector(3, 14));
    // The cursor's latitude, then its longitude.
    const std::string& cursor = shell_.status[kStatusCursor];
    EXPECT_NEAR(std::stod(cursor), 35.04, 0.001);
    EXPECT_NEAR(std::stod(cursor.substr(cursor.find(',') + 1)), 139.73, 0.001);
    const QImage screen = Screen();
    EXPECT_EQ(At(screen, WindowPos(14) + QPoint(6, -6)), kRed);
    EXPECT_EQ(At(screen, WindowPos(14) + QPoint(-6, 6)), kRed);
    // Leaving the window takes the crosses away.
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&window, &leave);
    EXPECT_EQ((std::pair{window.hoverPoint(), shell_.graphHover}), (std::pair{-1, -1}));
    EXPECT_EQ(At(Screen(), WindowPos(14) + QPoint(6, -6)), kWhite);
    // The graph's hover draws the map's cross.
    window.SetHoverPoint(3);
    EXPECT_EQ(At(Screen(), WindowPos(3) + QPoint(-6, -6)), kRed);
}

TEST_F(MapScreen, WheelAndButtonsZoomAboutTheCentre) {
    MapWindow& window = OpenTwoTracks();
    const int zoom = window.zoom();
    const double lon = window.view().centerLon;
    QWheelEvent up(QPointF(50, 50), QPointF(50, 50), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                   Qt::NoScrollPhase, false);
    QApplication::sendEvent(&window, &up);
    EXPECT_EQ(window.zoom(), zoom + 1);
    EXPECT_EQ(shell_.status[kStatusZoom], "z" + std::to_string(zoom + 1));
    EXPECT_DOUBLE_EQ(window.view().centerLon, lon);
    auto* minus = window.findChild<QPushButton*>(QStringLiteral("zoomOut"));
    ASSERT_NE(minus, nullptr);
    QTest::mouseClick(minus, Qt::LeftButton);
    QTest::mouseClick(minus, Qt::LeftButton);
    EXPECT_EQ(window.zoom(), zoom - 1);
    auto* plus = window.findChild<QPushButton*>(QStringLiteral("zoomIn"));
    QTest::mouseClick(plus, Qt::LeftButton);
    EXPECT_EQ(window.zoom(), zoom);
    EXPECT_EQ(plus->geometry(), QRect(4, 4, 25, 25));
    EXPECT_EQ(minus->geometry(), QRect(4, 29, 25, 25));
}

TEST_F(MapScreen, ClipboardGetsTheWindowSizedPicture) {
    MapWindow& window = OpenTwoTracks();
    window.CopyPictureToClipboard();
    const QImage copied = QApplication::clipboard()->image();
    ASSERT_EQ(copied.size(), window.size());
    EXPECT_EQ(QColor(copied.pixel(WindowPos(3))), kRed);
}

TEST_F(MapScreen, AFitBeforeTheWindowIsShownIsMadeAgainWhenShown) {
    Load(TwoTracks());
    window_ = std::make_unique<MapWindow>(state_, shell_);
    state_.mapHasContent = true;
    window_->FitAndRender();  // at the provisional size of a hidden window
    window_->resize(1000, 600);
    window_->show();
    EXPECT_EQ(window_->zoom(), 13);
    EXPECT_EQ(shell_.status[kStatusZoom], "z13");
    // Once shown, a size change keeps the zoom.
    window_->resize(400, 300);
    EXPECT_EQ(window_->zoom(), 13);
}

TEST_F(MapScreen, NothingHappensBeforeTheFirstFit) {
    MapWindow window(state_, shell_);
    window.resize(300, 200);
    window.Render();
    window.RunCommand(kCmdRestoreAll);
    window.RunCommand(kCmdDefaultColors);
    window.RunCommand(kCmdDeleteStandstills);
    QTest::mouseClick(&window, Qt::LeftButton, Qt::NoModifier, QPoint(100, 100));
    EXPECT_TRUE(window.isIdle());
    EXPECT_TRUE(shell_.status[kStatusZoom].empty());
    EXPECT_EQ(QColor(window.grab().toImage().pixel(150, 100)), kWhite);
}

}  // namespace
}  // namespace trakvio::test
