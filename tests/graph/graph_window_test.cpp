// The graph window as a user drives it: title, item menus, hover with the
// map's cross, saving, clipboard, the settings boxes and the reference
// printer choice.
#include "graph/graph_window.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <climits>
#include <cstdlib>

#include "app/fake_shell.h"
#include "app/file_dialog.h"
#include "app/input_box.h"
#include "app/qt_text.h"
#include "app/window_test_support.h"
#include "archive/load_front_end.h"
#include "graph/graph_test_support.h"
#include "test_support.h"

namespace trakvio {
namespace {

namespace fs = std::filesystem;

// A graph window over a real 1,243-point log of three tracks, saved as run.gpx, shown at its first size.
class GraphWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        CreateTrackStore(state.store, state.settings.maxlogpoints, state.settings.maxtracks);
        const fs::path sample = test::SamplesDir() / "gpx" / "blue_hills.gpx";
        if (test::SamplesDir().empty() || !fs::exists(sample)) GTEST_SKIP() << "no sample logs";
        const fs::path run = scratch / "run.gpx";
        fs::copy_file(sample, run);
        ASSERT_EQ(LoadLogFile(state.store, state.settings, run), kLoadDone);
        state.settings.gpsLogDataFile = run;
        window = std::make_unique<GraphWindow>(state, shell);
        window->SetPrinterSource([this] { return printers; });
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    void TearDown() override {
        SetFileDialogHookForTest(nullptr);
        SetInputBoxHookForTest(nullptr);
    }

    // Saves through command id, the dialog answered with name in the scratch folder.
    void SaveAs(int id, const std::string& name) {
        const QString chosen = QStringFromPath(scratch / name);
        SetFileDialogHookForTest([chosen](QFileDialog& dialog) {
            dialog.selectFile(chosen);
            static_cast<QDialog&>(dialog).accept();
        });
        window->RunCommand(id);
        SetFileDialogHookForTest(nullptr);
    }

    // The point nearest to x among the drawn ones (the enabled points of
    // tracks with an enabled point before their last), first on ties, by a scan.
    int ScanNearest(int x) const {
        const TrackStore& store = state.store;
        int best = -1;
        int64_t bestDistance = INT64_MAX;
        for (int t = 0; t < store.trackCount; ++t) {
            int s = TrackFirstIndex(store, t);
            while (s <= TrackLastIndex(store, t) && store.points[static_cast<size_t>(s)].enabled == 0) ++s;
            if (s >= TrackLastIndex(store, t)) continue;
            for (int i = TrackFirstIndex(store, t); i <= TrackLastIndex(store, t); ++i) {
                const LogPoint& p = store.points[static_cast<size_t>(i)];
                if (p.enabled == 0) continue;
                const int64_t d = std::llabs(static_cast<int64_t>(p.graphX) - x);
                if (d < bestDistance) bestDistance = d, best = i;
            }
        }
        return best;
    }

    test::ScratchFolder scratch;
    AppState state;
    FakeShell shell;
    std::vector<PrinterEntry> printers;
    std::unique_ptr<GraphWindow> window;
};

TEST_F(GraphWindowTest, TitleNamesLogSizeAndYItemWithoutUnit) {
    EXPECT_EQ(window->Canvas()->size(), QSize(500, 260));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("run.gpx -Q9Graph 500x260 - Altitude"));
    EXPECT_TRUE(state.graphShown);

    state.settings.graph.speedLabel = "Tempo [km/h]";
    window->RunCommand(kGraphCmdYFirst + 3);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("run.gpx -Q9Graph 500x260 - Tempo"));

    window->resize(640, window->height() + 40);
    QTest::qWait(20);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("run.gpx -Q9Graph 640x300 - Tempo"));
    EXPECT_EQ(window->BackBuffer().size(), QSize(640, 300));
    EXPECT_EQ(state.settings.graph.clientWidth, 640);
}

TEST_F(GraphWindowTest, MenusCarryTheirIdsAndItemChecks) {
    // Every command has its menu item; the labels are the menu table's own.
    for (int id : {1301, 1302, 1303, 1304, 1305, 1311, 1312, 1313, 1314, 1315, 1316, 1317, 1321, 1322, 1323}) {
        QAction* action = window->ActionForId(id);
        ASSERT_NE(action, nullptr) << id;
        EXPECT_EQ(action->data().toInt(), id);
    }
    // Two menus, the item pickers in the second.
    const QList<QAction*> menus = window->findChild<QMenuBar*>()->actions();
    ASSERT_EQ(menus.size(), 2);
    EXPECT_EQ(menus[1]->menu()->actions().size(), 6);

    auto checked = [&](int first, int count) {
        std::vector<int> ids;
        for (int id = first; id < first + count; ++id) {
            if (window->ActionForId(id)->isChecked()) ids.push_back(id);
        }
        return ids;
    };
    EXPECT_EQ(checked(1311, 3), std::vector<int>{1311});
    EXPECT_EQ(checked(1314, 4), std::vector<int>{1314});

    const QImage before = window->BackBuffer().copy();
    window->ActionForId(1313)->trigger();  // as a click on the menu item
    EXPECT_EQ(state.settings.graph.xItem, 3);
    EXPECT_EQ(checked(1311, 3), std::vector<int>{1313});
    EXPECT_NE(window->BackBuffer(), before);  // redrawn against distance

    window->RunCommand(1315);
    EXPECT_EQ(state.settings.graph.yItem, 2);
    EXPECT_EQ(checked(1314, 4), std::vector<int>{1315});
    EXPECT_EQ(window->windowTitle(), QStringLiteral("run.gpx -Q9Graph 500x260 - Travel distance"));
}

TEST_F(GraphWindowTest, HoverFollowsTheNearestDrawnPointAndSharesTheCrossWithTheMap) {
    const GraphPlotRect plot = window->PlotRect();
    const int y = (plot.top + plot.bottom) / 2;
    for (int x : {plot.left, plot.left + 37, (plot.left + plot.right) / 2, plot.right - 3, plot.right}) {
        QTest::mouseMove(window->Canvas(), QPoint(x, y));
        const int expected = ScanNearest(x);
        ASSERT_GE(expected, 0);
        // The hovered and marked point, the map's cross and the status bar.
        EXPECT_EQ((std::vector{window->HoverPoint(), window->MarkedPoint(), shell.mapHover, shell.pointInfo.back()}),
                  std::vector(4, expected))
            << x;
    }
    // The same point again tells the status bar nothing new.
    const size_t infos = shell.pointInfo.size();
    QTest::mouseMove(window->Canvas(), QPoint(plot.right, y + 1));
    EXPECT_EQ(shell.pointInfo.size(), infos);

    // The cross is drawn at the point in red; leaving the plot ends both crosses.
    const LogPoint& p = state.store.points[static_cast<size_t>(window->MarkedPoint())];
    const QColor red(255, 0, 0);
    EXPECT_EQ(window->Canvas()->grab().toImage().pixelColor(p.graphX - 6, p.graphY - 6), red);
    QTest::mouseMove(window->Canvas(), QPoint(plot.right + 5, y));
    EXPECT_EQ((std::vector{window->HoverPoint(), window->MarkedPoint(), shell.mapHover}), std::vector(3, -1));
    EXPECT_NE(window->Canvas()->grab().toImage().pixelColor(p.graphX - 6, p.graphY - 6), red);

    // The map's hover shows the graph cross without touching the status bar.
    window->SetHoverPoint(10);
    EXPECT_EQ(window->MarkedPoint(), 10);
    const LogPoint& q = state.store.points[10];
    EXPECT_EQ(window->Canvas()->grab().toImage().pixelColor(q.graphX + 6, q.graphY - 6), red);
    EXPECT_EQ(shell.pointInfo.size(), infos);

    // Deleted points are skipped, and a deleted point hovered on the map has
    // no place in the graph: no cross.
    for (int i = 0; i < state.store.pointCount; i += 3) state.store.points[static_cast<size_t>(i)].enabled = 0;
    for (int i = 0; i < 40; ++i) state.store.points[static_cast<size_t>(i)].enabled = 0;
    // Against elapsed time: on the time axis the three tracks, months apart,
    // each take a single column and only a track's first point is ever hovered.
    window->RunCommand(kGraphCmdXFirst + 1);
    for (int x = plot.left; x <= plot.right; x += 9) {
        QTest::mouseMove(window->Canvas(), QPoint(x, plot.top + 1));
        EXPECT_EQ(window->HoverPoint(), ScanNearest(x)) << x;
        ASSERT_GE(window->HoverPoint(), 0);
        EXPECT_NE(state.store.points[static_cast<size_t>(window->HoverPoint())].enabled, 0);
    }
    window->EndHover();
    const QImage plain = window->Canvas()->grab().toImage();
    window->SetHoverPoint(3);
    EXPECT_EQ(window->Canvas()->grab().toImage(), plain);
}

TEST_F(GraphWindowTest, SvgFormFollowsTheExtensionAndThePathIsRemembered) {
    SaveAs(kGraphCmdSaveSvg, "page.html");
    EXPECT_EQ(test::ReadFile(scratch / "page.html").rfind("<!DOCTYPE html>\r\n<html>", 0), 0u);
    SaveAs(kGraphCmdSaveSvg, "upper.SVG");
    EXPECT_EQ(test::ReadFile(scratch / "upper.SVG").rfind("<?xml version=\"1.0\"?>\r\n<svg", 0), 0u);
    SaveAs(kGraphCmdSaveSvg, "plain");
    EXPECT_EQ(test::ReadFile(scratch / "plain.svg").rfind("<?xml version=\"1.0\"?>\r\n<svg", 0), 0u);
    EXPECT_EQ(state.settings.svgFile, scratch / "plain.svg");

    SaveAs(kGraphCmdSaveEmf, "graph");
    const std::string emf = test::ReadFile(scratch / "graph.emf");
    ASSERT_GT(emf.size(), 108u);
    EXPECT_EQ(emf.substr(40, 4), " EMF");
    EXPECT_EQ(state.settings.emfFile, scratch / "graph.emf");
}

TEST_F(GraphWindowTest, ClipboardGetsTheMetafileAndTheBackBuffer) {
    window->RunCommand(kGraphCmdCopyEmf);
    const QMimeData* mime = QApplication::clipboard()->mimeData();
    ASSERT_NE(mime, nullptr);
    for (const char* type : {"image/emf", "image/x-emf"}) {
        const QByteArray bytes = mime->data(QString::fromLatin1(type));
        ASSERT_GT(bytes.size(), 108) << type;
        EXPECT_EQ(bytes.mid(40, 4), QByteArray(" EMF"));
    }
    window->RunCommand(kGraphCmdCopyBitmap);
    const QImage image = QApplication::clipboard()->image();
    EXPECT_EQ(image.convertToFormat(QImage::Format_RGB32), window->BackBuffer());
}

TEST_F(GraphWindowTest, MovingAverageBoxRefusesZeroAndCancelKeepsTheCount) {
    state.store.speedWindow = 7;
    std::vector<QString> shown;
    SetInputBoxHookForTest([&](InputBox& box) {
        EXPECT_EQ(box.windowTitle(), QStringLiteral("Set Moving Average Number for dl/dt"));
        shown.push_back(box.edit()->text());
        if (shown.size() == 1) {
            box.edit()->setText(QStringLiteral("0"));
            QTest::mouseClick(box.okButton(), Qt::LeftButton);
        } else {
            QTest::mouseClick(box.cancelButton(), Qt::LeftButton);
        }
    });
    window->RunCommand(kGraphCmdSpeedWindow);
    EXPECT_EQ(shown, (std::vector<QString>{QStringLiteral("7"), QStringLiteral("7")}));
    EXPECT_EQ(state.store.speedWindow, 7);

    window->RunCommand(kGraphCmdXFirst + 1);  // elapsed time
    window->RunCommand(kGraphCmdYFirst + 2);  // computed speed
    const QImage before = window->BackBuffer().copy();
    SetInputBoxHookForTest([](InputBox& box) {
        box.edit()->setText(QStringLiteral("1"));
        QTest::mouseClick(box.okButton(), Qt::LeftButton);
    });
    window->RunCommand(kGraphCmdSpeedWindow);
    EXPECT_EQ(state.store.speedWindow, 1);
    EXPECT_NE(window->BackBuffer(), before);  // speeds over one point are rougher
}

TEST_F(GraphWindowTest, SvgDpiZeroMeansTheDisplaysResolution) {
    window->SetDisplayDpi(144);
    window->Redraw();
    SetInputBoxHookForTest([](InputBox& box) {
        EXPECT_EQ(box.windowTitle(), QStringLiteral("Set SVG DPI"));
        EXPECT_EQ(box.prompt()->text(), QStringLiteral("SVGでの解像度(DPI)を指定（0:ディスプレイ(144dpi)と同じ）"));
        EXPECT_EQ(box.edit()->text(), QStringLiteral("600"));
        box.edit()->setText(QStringLiteral("0"));
        QTest::mouseClick(box.okButton(), Qt::LeftButton);
    });
    window->RunCommand(kGraphCmdSvgDpi);
    EXPECT_EQ(state.settings.graph.svgDpi, 0u);
    SaveAs(kGraphCmdSaveSvg, "display.svg");
    const std::string svg = test::ReadFile(scratch / "display.svg");
    EXPECT_NE(svg.find("viewBox=\"0,0,500,260\""), std::string::npos);
    EXPECT_NE(svg.find("resolution of 144dpi"), std::string::npos);

    SetInputBoxHookForTest([](InputBox& box) {
        box.edit()->setText(QStringLiteral("-5"));
        QTest::mouseClick(box.okButton(), Qt::LeftButton);
    });
    window->RunCommand(kGraphCmdSvgDpi);
    EXPECT_EQ(state.settings.graph.svgDpi, 0u);
}

TEST_F(GraphWindowTest, ReferencePrinterFromTheListWithDisplayLast) {
    std::vector<QString> lines;
    int preselected = -1;
    auto answer = [&](int row) {
        window->SetPrinterDialogHookForTest([&, row](QDialog& dialog, QListWidget& list) {
            EXPECT_EQ(dialog.windowTitle(), QStringLiteral("プリンタの選択"));
            lines.clear();
            for (int i = 0; i < list.count(); ++i) lines.push_back(list.item(i)->text());
            preselected = list.currentRow();
            if (row < 0) {
                dialog.reject();
            } else {
                list.setCurrentRow(row);
                dialog.accept();
            }
        });
    };

    // No printers: no dialog, nothing changes.
    answer(0);
    window->RunCommand(kGraphCmdReferencePrinter);
    EXPECT_TRUE(lines.empty());

    printers = {{"Office", 600}, {"Plotter", 300}, {"Label", 203}};
    state.settings.graph.referencePrinter = "Plotter";
    answer(2);
    window->RunCommand(kGraphCmdReferencePrinter);
    EXPECT_EQ(lines,
              (std::vector<QString>{"Office [600dpi]", "Plotter [300dpi]", "Label [203dpi]", "(Display) [96dpi]"}));
    EXPECT_EQ(preselected, 1);
    EXPECT_EQ(state.settings.graph.referencePrinter, "Label");
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("Label"));
    EXPECT_EQ(window->ReferenceDpi(), 203);
    // The EMF is drawn at the printer's resolution: 500 x 260 at 203 DPI.
    SaveAs(kGraphCmdSaveEmf, "label.emf");
    const std::string emf = test::ReadFile(scratch / "label.emf");
    ASSERT_GT(emf.size(), 24u);
    EXPECT_EQ((std::pair{test::FieldAt<int32_t>(emf, 16), test::FieldAt<int32_t>(emf, 20)}),
              (std::pair{MulDiv(500, 203, 96) - 1, MulDiv(260, 203, 96) - 1}));

    // The reference printer is gone: "(Display)" is preselected, Cancel takes it.
    state.settings.graph.referencePrinter = "Gone";
    EXPECT_EQ(window->ReferenceDpi(), 96);
    answer(-1);
    window->RunCommand(kGraphCmdReferencePrinter);
    EXPECT_EQ(preselected, 3);
    EXPECT_EQ(state.settings.graph.referencePrinter, "");
    EXPECT_EQ(QApplication::clipboard()->text(), QString());

    // At most 49 printers and the display.
    printers.clear();
    for (int i = 0; i < 60; ++i) printers.push_back({"P" + std::to_string(i), 100 + i});
    answer(48);
    window->RunCommand(kGraphCmdReferencePrinter);
    ASSERT_EQ(lines.size(), 50u);
    EXPECT_EQ(lines[48], QStringLiteral("P48 [148dpi]"));
    EXPECT_EQ(lines[49], QStringLiteral("(Display) [96dpi]"));
    EXPECT_EQ(state.settings.graph.referencePrinter, "P48");
}

TEST_F(GraphWindowTest, ClosingHidesAndEnablesTheMainMenuItemAgain) {
    QSignalSpy closed(window.get(), &GraphWindow::closedByUser);
    window->RunCommand(kGraphCmdClose);
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(state.graphShown);
    EXPECT_EQ(closed.count(), 1);
    window->show();
    window->close();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(closed.count(), 2);
}

TEST_F(GraphWindowTest, ZeroHeightReportsAndDrawsNothing) {
    test::MessageCatcher messages(kAnswerOk);
    const QImage before = window->BackBuffer().copy();
    window->Canvas()->setFixedHeight(0);
    QTest::qWait(20);
    window->Redraw();
    ASSERT_FALSE(messages.messages().empty());
    EXPECT_EQ(messages.messages().back().title, "DrawGraph Error");
    EXPECT_TRUE(messages.Saw("rc.bottom=0"));
    EXPECT_EQ(window->BackBuffer(), before);
    // Further redraws at that size do not repeat the box; a command does.
    const size_t shown = messages.messages().size();
    window->Redraw();
    EXPECT_EQ(messages.messages().size(), shown);
    window->RunCommand(kGraphCmdCopyEmf);
    EXPECT_EQ(messages.messages().size(), shown + 1);
}

}  // namespace
}  // namespace trakvio
