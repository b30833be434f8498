// The desktop program as one: the real main window set up as the program sets
// it up, with its real map, track list and graph windows and device commands,
// driven the way a user drives them.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDropEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QStatusBar>
#include <QTableWidget>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QWheelEvent>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/device_commands.h"
#include "app/file_dialog.h"
#include "app/main_window.h"
#include "app/main_window_fixture.h"
#include "app/port_dialog.h"
#include "app/qt_messages.h"
#include "app/qt_text.h"
#include "app/track_list_window.h"
#include "app/window_test_support.h"
#include "devices/device_simulators.h"
#include "devices/mtk_logger.h"
#include "graph/graph_window.h"
#include "map/map_window.h"
#include "map/map_window_fixture.h"
#include "map/tile_server.h"
#include "platform/messages.h"
#include "test_support.h"

namespace trakvio {
namespace {

namespace fs = std::filesystem;

// The whole program as it starts, with the map's positions at hand.
class DesktopIntegrationTest : public MainWindowFixture {
  protected:
    MapWindow& map() { return *window_->mapWindow(); }
    TrackListWindow& trackList() { return *window_->trackListWindow(); }
    GraphWindow& graph() { return *window_->graphWindow(); }
    // Where point i is in the map window.
    QPoint MapPosition(int i) {
        const LogPoint& p = state_.store.points[static_cast<size_t>(i)];
        return QPoint(p.mapX - map().view().viewOffsetX, p.mapY - map().view().viewOffsetY);
    }
};

// The pixel's colour as the track colour it shows, 0xRRGGBB.
uint32_t Rgb(const QImage& image, QPoint at) { return image.pixel(at) & 0xFFFFFFu; }

// Loads through the open dialog of command 1002: the track list, the map and
// the graph show the same two tracks, a point hovered on one is marked on the
// other; the zoom buttons and the wheel report the zoom in status part 0.
TEST_F(DesktopIntegrationTest, TwoLogsFromTheDialogShowInTheListTheMapAndTheGraph) {
    ASSERT_TRUE(trackList().isVisible());
    ASSERT_TRUE(graph().isVisible());
    AnswerDialogs({{ExampleLog("takao_hike.gpx"), ExampleLog("kamakura_walk.kml")}});
    window_->RunCommand(kCmdAppendLoad);
    const TrackStore& store = state_.store;
    ASSERT_EQ(store.trackCount, 2);
    EXPECT_EQ(window_->windowTitle(), QStringLiteral("kamakura_walk.kml - Trakvio（跡帳）"));
    EXPECT_EQ(trackList().windowTitle(), QStringLiteral("kamakura_walk.kml - Trakvio Track List"));

    QTableWidget* table = trackList().table();
    ASSERT_EQ(table->rowCount(), 3);  // two tracks and the total
    EXPECT_EQ(table->item(0, 1)->text(), QStringLiteral("Mt. Takao hike"));
    EXPECT_EQ(table->item(1, 1)->text(), QStringLiteral("Kamakura walk"));
    EXPECT_EQ(table->item(2, 9)->text(), QString::number(store.pointCount));

    // Every track's middle point is drawn in its colour where the store says.
    QApplication::processEvents();
    const QImage picture = map().grab().toImage();
    const QImage plot = graph().BackBuffer();
    for (int t = 0; t < 2; ++t) {
        const int first = t == 0 ? 0 : store.trackEnd[0] + 1;
        const int middle = (first + store.trackEnd[t]) / 2;
        const uint32_t color = store.tracks[t].color & 0xFFFFFFu;
        EXPECT_EQ(table->item(t, 2)->text(), QString::asprintf("%06X", color));
        const QPoint at = MapPosition(middle);
        ASSERT_TRUE(map().rect().contains(at)) << t;
        EXPECT_EQ(Rgb(picture, at), color) << "track " << t + 1 << " at " << at.x() << "," << at.y();
        EXPECT_GT(test::ColorShare(plot, color), 0.0) << "graph of track " << t + 1;
    }

    // Hovering a point on the map describes it in the status bar and puts the
    // cross on the graph; hovering the graph puts it on the map; leaving
    // either clears both.
    const int wanted = store.trackEnd[0] + 60;  // in the second track
    const QPoint at = MapPosition(wanted);
    QTest::mouseMove(&map(), at);
    const int p = map().hoverPoint();
    ASSERT_GE(p, 0);
    EXPECT_EQ(MapPosition(p), at);
    EXPECT_EQ(window_->statusText(kStatusTrack), QStringLiteral("t.2"));
    EXPECT_EQ(window_->statusText(kStatusPoint), QStringLiteral("p.%1").arg(p + 1));
    const LogPoint& point = store.points[static_cast<size_t>(p)];
    EXPECT_EQ(window_->statusText(kStatusPosition), QString::asprintf("%f,%f", point.latitude, point.longitude));
    EXPECT_EQ(window_->statusText(kStatusTime).size(), 19);  // YYYY-MM-DD hh:mm:ss
    EXPECT_EQ(window_->statusText(kStatusAltitude),
              QString::asprintf("%.2f(%.2f)", double{point.geoidAltitude}, double{point.altitude}));
    EXPECT_FALSE(window_->statusText(kStatusCursor).isEmpty());
    EXPECT_EQ(graph().MarkedPoint(), p);
    // The red cross on the map, on its diagonal.
    const int m = map().view().margin;
    EXPECT_EQ(Rgb(map().grab().toImage(), at + QPoint(2 * m - 1, 2 * m - 1)), 0xFF0000u);

    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&map(), &leave);
    EXPECT_EQ(map().hoverPoint(), -1);
    EXPECT_EQ(graph().MarkedPoint(), -1);

    // The graph's own hover: a point of the first track.
    const int q = 100;
    ASSERT_TRUE(graph().IsDrawn(q));
    const LogPoint& graphed = store.points[q];
    const QPointF onGraph(graphed.graphX, graphed.graphY);
    QMouseEvent move(QEvent::MouseMove, onGraph, graph().Canvas()->mapToGlobal(onGraph), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(graph().Canvas(), &move);
    const int hovered = graph().HoverPoint();
    ASSERT_GE(hovered, 0);
    EXPECT_EQ(store.points[static_cast<size_t>(hovered)].graphX, graphed.graphX);
    EXPECT_EQ(map().hoverPoint(), hovered);
    EXPECT_EQ(window_->statusText(kStatusPoint), QStringLiteral("p.%1").arg(hovered + 1));
    EXPECT_EQ(window_->statusText(kStatusTrack), QStringLiteral("t.1"));
    QApplication::sendEvent(graph().Canvas(), &leave);
    EXPECT_EQ(graph().HoverPoint(), -1);
    EXPECT_EQ(map().hoverPoint(), -1);

    const int zoom = map().zoom();
    EXPECT_EQ(window_->statusText(kStatusZoom), QStringLiteral("z%1").arg(zoom));
    QTest::mouseClick(map().findChild<QPushButton*>(QStringLiteral("zoomIn")), Qt::LeftButton);
    EXPECT_EQ(window_->statusText(kStatusZoom), QStringLiteral("z%1").arg(zoom + 1));
    QWheelEvent wheel(QPointF(400, 200), map().mapToGlobal(QPointF(400, 200)), QPoint(), QPoint(0, -120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&map(), &wheel);
    QApplication::sendEvent(&map(), &wheel);
    EXPECT_EQ(window_->statusText(kStatusZoom), QStringLiteral("z%1").arg(zoom - 1));
    EXPECT_TRUE(messages().empty()) << messages().front().text;
}

// A tile server slow to answer: Escape in the main window, away from the map,
// drops the downloads still outstanding.
TEST_F(DesktopIntegrationTest, EscapeInTheMainWindowDropsTheOutstandingTiles) {
    test::TileServer slow([](const std::string&) { return test::TileResponse{200, "", 1000}; });
    state_.settings.baseMaps = {test::MakeBaseMap(slow.base() + "/{z}/{x}/{y}.png")};
    state_.settings.currentBaseMap = 0;
    window_->OpenFromCommandLine(ExampleLog("takao_hike.gpx"));
    ASSERT_FALSE(map().isIdle());
    window_->setFocus();
    QTest::keyClick(window_.get(), Qt::Key_Escape);
    EXPECT_TRUE(map().isIdle());
}

// Ticks the given track rows (the total row for "all") and presses Ok once
// the pick has started, checking what the user sees meanwhile.
void PickWhenShown(MainWindow& window, std::vector<int> rows, QString expectedPrompt, bool* checked) {
    QTimer::singleShot(0, [&window, rows, expectedPrompt, checked] {
        TrackListWindow& list = *window.trackListWindow();
        EXPECT_TRUE(list.picking());
        EXPECT_EQ(list.okButton()->text(), expectedPrompt);
        EXPECT_TRUE(list.okButton()->isVisible());
        EXPECT_FALSE(window.menuBar()->isEnabled());
        EXPECT_FALSE(window.mapWindow()->isEnabled());
        EXPECT_FALSE(window.statusBar()->isEnabled());
        // The list itself stays usable while its owner is disabled.
        EXPECT_TRUE(list.isEnabled());
        EXPECT_TRUE(list.okButton()->isEnabled());
        EXPECT_FALSE(window.ActionForCommand(kCmdShowTrackList)->isEnabled());
        for (int row : rows) list.table()->item(row, 0)->setCheckState(Qt::Checked);
        QTest::mouseClick(list.okButton(), Qt::LeftButton);
        *checked = true;
    });
}

QAction* PopupAction(MapWindow& map, int id) {
    for (QAction* action : map.popupMenu()->actions()) {
        if (action->data().toInt() == id) return action;
    }
    return nullptr;
}

// The map's pop-up commands that ask which tracks: the real track list runs
// the pick while the main window waits disabled, and the edit reaches every
// window.
TEST_F(DesktopIntegrationTest, PopupJoinAndDeleteAllPickThroughTheTrackList) {
    window_->OpenFromCommandLine(ExampleLog("tamagawa_ride_1.nmea"));
    window_->LoadOrRun(ExampleLog("tamagawa_ride_2.nmea"));
    window_->LoadOrRun(ExampleLog("takao_hike.gpx"));
    window_->RefreshAfterLoad();
    TrackStore& store = state_.store;
    ASSERT_EQ(store.trackCount, 3);
    const int points = store.pointCount;

    bool picked = false;
    PickWhenShown(*window_, {0, 1}, QStringLiteral("選択トラックを結合"), &picked);
    PopupAction(map(), kCmdJoinTracks)->trigger();
    ASSERT_TRUE(picked);
    EXPECT_TRUE(window_->menuBar()->isEnabled());
    EXPECT_TRUE(map().isEnabled());
    EXPECT_FALSE(trackList().picking());
    EXPECT_EQ(store.trackCount, 2);
    EXPECT_EQ(trackList().table()->rowCount(), 3);
    EXPECT_EQ(trackList().table()->item(0, 9)->text(), QString::number(store.trackEnd[0] + 1));
    EXPECT_EQ(trackList().okButton()->isVisible(), false);

    // Every point of every track deleted through "all": the list counts them
    // as deleted, the map and the graph show no track any more.
    picked = false;
    PickWhenShown(*window_, {2}, QStringLiteral("選択トラックの全点削除"), &picked);
    PopupAction(map(), kCmdDeleteTrackPoints)->trigger();
    ASSERT_TRUE(picked);
    EXPECT_EQ(trackList().table()->item(2, 10)->text(), QString::number(points));
    const QImage picture = map().grab().toImage();
    for (int t = 0; t < store.trackCount; ++t) {
        EXPECT_EQ(test::ColorShare(picture, store.tracks[t].color), 0.0) << t;
    }
    EXPECT_TRUE(window_->isEnabled());
}

// Files dropped on the main window: sorted by name, a script among them runs,
// the logs load after the store is cleared (added to it with Ctrl), and the
// windows show them once.
TEST_F(DesktopIntegrationTest, DroppedScriptAndLogRunAndLoad) {
    window_->OpenFromCommandLine(ExampleLog("kamakura_walk.kml"));
    fs::create_directories(scratch_ / "drop");
    const fs::path script = scratch_ / "drop" / "A_note.Q9S";
    std::ofstream(script) << "text_file ran.txt, w, \"ran\"\n";
    const fs::path log = scratch_ / "drop" / "b_hike.gpx";
    fs::copy_file(ExampleLog("takao_hike.gpx"), log);

    auto* data = new QMimeData;
    data->setUrls({QUrl::fromLocalFile(QStringFromPath(log)), QUrl::fromLocalFile(QStringFromPath(script))});
    QDragEnterEvent enter(QPoint(300, 200), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window_.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    const fs::path folderBefore = fs::current_path();
    QDropEvent drop(QPointF(300, 200), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window_.get(), &drop);
    ASSERT_TRUE(QTest::qWaitFor([&] { return state_.settings.gpsLogDataFile == log; }));
    QApplication::processEvents();
    EXPECT_TRUE(fs::exists(scratch_ / "drop" / "ran.txt"));
    // The script's folder was the current one only while it ran.
    EXPECT_EQ(fs::current_path(), folderBefore);
    EXPECT_EQ(state_.store.trackCount, 1);
    EXPECT_EQ(trackList().table()->rowCount(), 2);
    EXPECT_EQ(trackList().table()->item(0, 1)->text(), QStringLiteral("Mt. Takao hike"));
    EXPECT_EQ(window_->windowTitle(), QStringLiteral("b_hike.gpx - Trakvio（跡帳）"));
    EXPECT_TRUE(map().rect().contains(MapPosition(0)));
    EXPECT_EQ(graph().MarkedPoint(), -1);
    EXPECT_TRUE(graph().IsDrawn(0));

    // With Ctrl the logs are added, in name order whatever the letter case.
    const fs::path second = scratch_ / "drop" / "c_ride.nmea", third = scratch_ / "drop" / "D_ride.nmea";
    fs::copy_file(ExampleLog("tamagawa_ride_1.nmea"), second);
    fs::copy_file(ExampleLog("tamagawa_ride_2.nmea"), third);
    data->setUrls({QUrl::fromLocalFile(QStringFromPath(third)), QUrl::fromLocalFile(QStringFromPath(second))});
    QDropEvent append(QPointF(300, 200), Qt::CopyAction, data, Qt::LeftButton, Qt::ControlModifier);
    static_cast<QObject*>(window_.get())->event(&append);  // the drag of the first drop has ended
    ASSERT_TRUE(QTest::qWaitFor([&] { return state_.store.loadedFiles.size() == 3; }));
    EXPECT_EQ(state_.store.loadedFiles, (std::vector<fs::path>{log, second, third}));
    delete data;
}

// One fix pair of a receiver at second `second` past 12:00.
std::string FixPair(int second) {
    char time[16];
    std::snprintf(time, sizeof time, "1200%02d.00", second);
    const std::string lon = std::to_string(4780 + 7 * second);
    return test::Sentence(std::string("GPGGA,") + time + ",3539.5210,N,13944." + lon + ",E,1,08,1.0,40,M,39,M,,") +
           test::Sentence(std::string("GPRMC,") + time + ",A,3539.5210,N,13944." + lon + ",E,1.0,0,010524,,,A");
}

// A live capture from a receiver on a pseudo-terminal, started and stopped
// from the File menu: the menu follows the capture (the loading commands
// grey and refused), the track grows in the list, on the map and in the graph
// as the fixes come, and the capture file is kept where the user says.
TEST_F(DesktopIntegrationTest, LiveCaptureGrowsTheTrackInEveryWindow) {
    test::Pty receiver;
    ASSERT_TRUE(receiver.ok());
    PortInfo usb;
    usb.path = receiver.path();
    usb.description = "u-blox 7 GPS/GNSS Receiver";
    usb.transport = PortTransport::kUsb;
    window_->deviceCommands()->portLister = [&] { return std::vector<PortInfo>{usb}; };
    state_.settings.receiver.timeout1 = 50;
    state_.settings.receiver.timeout2 = 5000;
    test::WhenShown<PortDialog>([](PortDialog& dialog) { QTest::mouseClick(dialog.startButton(), Qt::LeftButton); });
    window_->RunCommand(kCmdReceiver);
    ASSERT_TRUE(state_.capturing);
    EXPECT_EQ(window_->ActionForCommand(kCmdReceiver)->text(), QStringLiteral("GPSレシーバーから読込終了"));
    const int loading[] = {kCmdNewLoad,     kCmdAppendLoad, kCmdArchiveOpen, kCmdArchiveSaveAs,
                           kCmdArchiveSave, kCmdLogZip,     kCmdRunScript};
    for (int id : loading) EXPECT_FALSE(window_->ActionForCommand(id)->isEnabled()) << id;
    const QList<QAction*> fileMenu = window_->menuBar()->actions()[0]->menu()->actions();
    EXPECT_EQ(fileMenu[2]->text(), QStringLiteral("GPSデータロガー"));
    EXPECT_EQ(fileMenu[10]->text(), QStringLiteral("エクスポート"));
    for (int at : {2, 10}) EXPECT_FALSE(fileMenu[at]->isEnabled()) << at;
    // Run anyway, a load asks nothing and leaves the capture's store alone.
    AnswerDialogs({});
    window_->RunCommand(kCmdNewLoad);
    EXPECT_TRUE(dialogTitles_.empty());
    EXPECT_TRUE(state_.capturing);

    QTableWidget* table = trackList().table();
    std::string sent = FixPair(0) + FixPair(1);
    receiver.Write(sent);
    ASSERT_TRUE(QTest::qWaitFor([&] { return table->rowCount() == 2 && table->item(0, 9)->text() == "2"; }));
    EXPECT_EQ(window_->windowTitle(), QStringLiteral("GPS_receiver_data - Trakvio（跡帳）"));
    EXPECT_EQ(table->item(0, 1)->text(), QStringLiteral("u-blox 7 GPS/GNSS Receiver"));
    const int zoom = map().zoom();
    const double maxLon = state_.store.allMaxLon;
    for (int second = 2; second < 10; ++second) {
        receiver.Write(FixPair(second));
        sent += FixPair(second);
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return table->item(0, 9)->text() == "10"; }));
    QApplication::processEvents();
    // The newest point is drawn (its picture position set by a rendering
    // after it came) under the receiver marker, without a new fit: the
    // bounds stay those of the first fixes.
    EXPECT_EQ(map().zoom(), zoom);
    EXPECT_EQ(state_.store.allMaxLon, maxLon);
    EXPECT_GT(state_.store.tracks[0].maxLon, maxLon);
    EXPECT_TRUE(map().rect().contains(MapPosition(9)));
    const QImage picture = map().grab().toImage();
    EXPECT_GT(test::ColorShare(picture, 0x0000FFu), 0.0);
    EXPECT_GT(test::ColorShare(picture, state_.store.tracks[0].color), 0.0);
    EXPECT_TRUE(graph().IsDrawn(9));

    // Stopping offers to keep the capture file elsewhere and moves it there.
    const fs::path captured = window_->deviceCommands()->captureFile(), kept = scratch_ / "kept.nmea";
    EXPECT_EQ(captured.parent_path(), state_.settings.workFolder);
    AnswerDialogs({{kept}});
    window_->RunCommand(kCmdReceiver);
    EXPECT_FALSE(state_.capturing);
    EXPECT_FALSE(fs::exists(captured));
    EXPECT_EQ(test::ReadFile(kept), sent);
    EXPECT_EQ(window_->ActionForCommand(kCmdReceiver)->text(), QStringLiteral("GPSレシーバーから読込"));
    for (int id : loading) EXPECT_TRUE(window_->ActionForCommand(id)->isEnabled()) << id;
    for (int at : {2, 10}) EXPECT_TRUE(fileMenu[at]->isEnabled()) << at;
}

// The logger download with the copy of its dump: the window thread keeps
// running while the worker talks to the logger, and the copy's save dialog
// appears on the window thread.
TEST_F(DesktopIntegrationTest, LoggerDownloadRunsBesideTheWindowAndAsksForTheCopyOnIt) {
    TRAKVIO_REQUIRE_SAMPLES();
    test::MtkLoggerSimulator::Behaviour slow;
    slow.pieces = {700, 300};
    test::MtkLoggerSimulator logger(test::ReadBytes((test::SamplesDir() / "mtk/mtk_logger_gp245.bin").string()), slow);
    ::setenv(kMtkPortVariable, logger.path().c_str(), 1);
    QThread* dialogThread = nullptr;
    const fs::path copy = scratch_ / "copy.bin";
    SetFileDialogHookForTest([&](QFileDialog& dialog) {
        dialogThread = QThread::currentThread();
        dialog.selectFile(QStringFromPath(copy));
        static_cast<QDialog&>(dialog).accept();
    });
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(5);
    window_->RunCommand(kCmdMtkLoadSave);
    ticker.stop();
    ::unsetenv(kMtkPortVariable);
    EXPECT_GT(ticks, 0);
    EXPECT_EQ(dialogThread, QApplication::instance()->thread());
    EXPECT_TRUE(fs::is_regular_file(copy));
    ASSERT_EQ(state_.store.trackCount, 1);
    EXPECT_EQ(trackList().table()->rowCount(), 2);
    EXPECT_TRUE(map().rect().contains(MapPosition(0)));
    EXPECT_TRUE(messages().empty()) << messages().front().text;

    // An erased logger: the program's own message box says so, shown by the
    // window thread while the worker waits for its answer; what was loaded
    // before is cleared as the command says, and nothing is added.
    test::MtkLoggerSimulator erased(std::vector<unsigned char>(4096, 0xFF), {});
    ::setenv(kMtkPortVariable, erased.path().c_str(), 1);
    InstallQtMessageBoxes();
    QString boxText;
    QThread* boxThread = nullptr;
    test::WhenShown<QMessageBox>([&](QMessageBox& box) {
        boxText = box.text();
        boxThread = box.thread();
        box.button(QMessageBox::Ok)->click();
    });
    window_->RunCommand(kCmdMtkLoad);
    ::unsetenv(kMtkPortVariable);
    catcher_.emplace();
    EXPECT_EQ(boxText, QStringLiteral("MTK Logger にデータが記録されていません"));
    EXPECT_EQ(boxThread, QApplication::instance()->thread());
    EXPECT_EQ(state_.store.pointCount, 0);
}

}  // namespace
}  // namespace trakvio
