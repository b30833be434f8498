#include "app/track_list_window.h"

#include <gtest/gtest.h>

#include <QColorDialog>
#include <QCursor>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <string>

#include "app/fake_shell.h"
#include "app/input_box.h"
#include "app/qt_text.h"
#include "app/window_test_support.h"
#include "archive/load_front_end.h"
#include "compute/statistics.h"
#include "test_support.h"

namespace trakvio {
namespace {

constexpr int64_t kJan15 = 1673740800;  // 2023-01-15 00:00:00 UTC

// Keeps a picture for a person to look at when TRAKVIO_SCREENSHOT_DIR names a folder.
void SaveForReview(const QImage& image, const char* name) {
    if (const char* dir = std::getenv("TRAKVIO_SCREENSHOT_DIR")) image.save(QString::fromLocal8Bit(dir) + '/' + name);
}

class TrackListWindowTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(CreateTrackStore(state_.store, 1000, 20), 0); }

    // Three named tracks of two points, 3599, 3600 and 60 seconds long, of
    // width 3 in blue, shown in the window.
    void ShowThreeTracks() {
        const std::pair<int64_t, std::u16string_view> tracks[] = {{3599, u"first"}, {3600, u"second"}, {60, u"third"}};
        for (const auto& [duration, name] : tracks) {
            AppendPoint(state_.store, 35.0, 139.0, 10, 0, kJan15, 1);
            AppendPoint(state_.store, 35.001, 139.0, 10, 0, kJan15 + duration, 1);
            ASSERT_TRUE(CloseTrack(state_.store));
            ASSERT_GE(WriteTrackName(state_.store, NamesEndPosition(state_.store), name), 0);
        }
        RecomputeStatistics(state_.store, 0);
        for (TrackRecord& track : state_.store.tracks) {
            track.lineWidth = 3;
            track.color = 0x0000FF;
        }
        window_.Refresh();
        window_.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window_));
    }
    QString Cell(int row, int column) const {
        QTableWidgetItem* item = window_.table()->item(row, column);
        return item ? item->text() : QStringLiteral("<none>");
    }
    // One field of every track, in track order.
    std::vector<int> OfTracks(int32_t TrackRecord::*field) const {
        std::vector<int> values;
        for (int t = 0; t < state_.store.trackCount; ++t) values.push_back(state_.store.tracks[t].*field);
        return values;
    }
    void ClickCell(int row, int column, Qt::KeyboardModifiers modifiers = {}) {
        QTableWidget* table = window_.table();
        QTest::mouseClick(table->viewport(), Qt::LeftButton, modifiers,
                          table->visualItemRect(table->item(row, column)).center());
    }

    test::ScopedTimeZone utc_{"UTC"};
    AppState state_;
    FakeShell shell_;
    TrackListWindow window_{state_, shell_};
};

// The cells are those of the core's track list rows (checked there), in
// columns of their headers, widths and alignments.
TEST_F(TrackListWindowTest, ColumnsAndRowsShowTheTrackListTable) {
    QTableWidget* table = window_.table();
    ASSERT_EQ(table->columnCount(), 12);
    const char* headers[] = {"trk",      "track title", "color", "w",  "start", "end",
                             "duration", "km",          "km/h",  "np", "dp",    "f#"};
    const int widths[] = {35, 250, 50, 22, 125, 54, 57, 50, 50, 45, 45, 25};
    for (int c = 0; c < 12; ++c) {
        EXPECT_EQ(table->horizontalHeaderItem(c)->text(), QString::fromUtf8(headers[c]));
        EXPECT_EQ(table->columnWidth(c), widths[c]) << c;
    }
    // A character cell of 18 pixels, as Windows measures a font's height.
    EXPECT_LE(QFontMetrics(window_.font()).height(), 19);
    EXPECT_GE(QFontMetrics(window_.font()).height(), 15);
    // Without tracks there is only the total row.
    EXPECT_EQ(table->rowCount(), 1);
    EXPECT_EQ(Cell(0, kColumnTrack), QStringLiteral("total"));

    ShowThreeTracks();
    const TrackListTable expected = BuildTrackListTable(state_.store);
    ASSERT_EQ(table->rowCount(), 4);
    for (int r = 0; r < 4; ++r) {
        const TrackListRow& row = r < 3 ? expected.rows[static_cast<size_t>(r)] : expected.total;
        for (int c = 0; c < kTrackListColumnCount; ++c) {
            SCOPED_TRACE(testing::Message() << "row " << r << ", column " << c);
            EXPECT_EQ(Cell(r, c), QString::fromStdString(row[static_cast<size_t>(c)]));
            const Qt::Alignment side =
                kTrackListColumns[static_cast<size_t>(c)].alignRight ? Qt::AlignRight : Qt::AlignLeft;
            if (r < 3) EXPECT_EQ(table->item(r, c)->textAlignment(), int(side | Qt::AlignVCenter));
        }
    }
}

TEST_F(TrackListWindowTest, ClickOnTheTitleRenamesThroughTheInputBox) {
    ShowThreeTracks();
    SetInputBoxHookForTest([](InputBox& box) {
        EXPECT_EQ(box.windowTitle(), QStringLiteral("トラック名の変更"));
        EXPECT_EQ(box.prompt()->text(), QStringLiteral("Track 2 の名称変更"));
        EXPECT_EQ(box.edit()->text(), QStringLiteral("second"));
        box.edit()->setText(QStringLiteral("高尾山 ascent"));
        QTest::mouseClick(box.okButton(), Qt::LeftButton);
    });
    ClickCell(1, kColumnTitle);
    EXPECT_EQ(Cell(1, kColumnTitle), QStringLiteral("高尾山 ascent"));
    EXPECT_EQ(QStringFromUtf16(TrackName(state_.store, 1)), QStringLiteral("高尾山 ascent"));

    SetInputBoxHookForTest([](InputBox& box) {
        box.edit()->setText(QStringLiteral("never"));
        QTest::mouseClick(box.cancelButton(), Qt::LeftButton);
    });
    ClickCell(0, kColumnTitle);
    EXPECT_EQ(QStringFromUtf16(TrackName(state_.store, 0)), QStringLiteral("first"));

    // The total row and other columns open nothing.
    int boxes = 0;
    SetInputBoxHookForTest([&boxes](InputBox& box) {
        ++boxes;
        box.reject();
    });
    ClickCell(3, kColumnTitle);
    ClickCell(0, kColumnStart);
    ClickCell(0, kColumnFile);
    SetInputBoxHookForTest(nullptr);
    EXPECT_EQ(boxes, 0);
    EXPECT_EQ(shell_.redrawMap, 0);
}

TEST_F(TrackListWindowTest, ClickOnTheColourOpensTheDialogOnTheCellsColour) {
    ShowThreeTracks();
    QColor seen;
    test::WhenShown<QColorDialog>([&seen](QColorDialog& dialog) {
        seen = dialog.currentColor();
        const QPoint expected = QCursor::pos() + QPoint(30, 5);
        const QRect area = dialog.screen()->availableGeometry();
        if (area.contains(QRect(expected, dialog.frameGeometry().size()))) {
            EXPECT_EQ(dialog.pos(), expected);
        }
        QColorDialog::setCustomColor(3, QColor(0x11, 0x22, 0x33));
        dialog.setCurrentColor(QColor(0x12, 0x34, 0x56));
        dialog.accept();
    });
    ClickCell(2, kColumnColor);
    EXPECT_EQ(seen, QColor(0x00, 0x00, 0xFF));
    EXPECT_EQ(state_.store.tracks[2].color, 0x123456u);
    EXPECT_EQ(Cell(2, kColumnColor), QStringLiteral("123456"));
    EXPECT_EQ(window_.table()->item(2, kColumnColor)->background().color(), QColor(0x12, 0x34, 0x56));
    EXPECT_EQ(shell_.redrawMap, 1);

    // The window keeps its custom colours for the next dialog, whatever
    // another dialog of the process did in between.
    QColorDialog::setCustomColor(3, Qt::black);
    QColor custom;
    test::WhenShown<QColorDialog>([&custom](QColorDialog& dialog) {
        custom = QColorDialog::customColor(3);
        dialog.setCurrentColor(Qt::green);
        dialog.reject();
    });
    ClickCell(0, kColumnColor);
    EXPECT_EQ(custom, QColor(0x11, 0x22, 0x33));
    EXPECT_EQ(state_.store.tracks[0].color, 0x0000FFu);
    EXPECT_EQ(shell_.redrawMap, 1);
}

TEST_F(TrackListWindowTest, WidthChooserSetsOneTrackOrEveryTrackWithShift) {
    ShowThreeTracks();
    QTableWidget* table = window_.table();
    QListWidget* chooser = window_.widthChooser();
    ClickCell(1, kColumnWidth);
    ASSERT_TRUE(chooser->isVisible());
    // Under the cell, on the track's width.
    const QPoint under =
        table->viewport()->mapToGlobal(table->visualItemRect(table->item(1, kColumnWidth)).bottomLeft());
    EXPECT_EQ(chooser->pos().x(), under.x());
    EXPECT_GT(chooser->pos().y(), under.y());
    EXPECT_EQ(chooser->count(), 10);
    EXPECT_EQ(chooser->currentRow(), 3);

    auto choose = [chooser](int entry, Qt::KeyboardModifiers modifiers) {
        QTest::mouseClick(chooser->viewport(), Qt::LeftButton, modifiers,
                          chooser->visualItemRect(chooser->item(entry)).center());
    };
    choose(7, {});
    EXPECT_FALSE(chooser->isVisible());
    EXPECT_EQ(OfTracks(&TrackRecord::lineWidth), (std::vector<int>{3, 7, 3}));
    EXPECT_EQ(shell_.redrawMap, 1);

    // The same width again changes nothing and redraws nothing.
    ClickCell(1, kColumnWidth);
    choose(7, {});
    EXPECT_EQ(shell_.redrawMap, 1);

    // Shift: every track, one redraw.
    ClickCell(0, kColumnWidth);
    choose(5, Qt::ShiftModifier);
    EXPECT_EQ(OfTracks(&TrackRecord::lineWidth), (std::vector<int>{5, 5, 5}));
    for (int t = 0; t < 3; ++t) EXPECT_EQ(Cell(t, kColumnWidth), QStringLiteral("5")) << t;
    EXPECT_EQ(shell_.redrawMap, 2);

    // The total row has no width to choose.
    ClickCell(3, kColumnWidth);
    EXPECT_FALSE(chooser->isVisible());
}

// A main window stand-in holding the command's caller.
struct Caller {
    QWidget top;
    QWidget* child = new QWidget(&top);
    Caller() { top.show(); }
};

// Ok ticks the chosen tracks, "all" every track whatever the boxes say.
TEST_F(TrackListWindowTest, PickWithOkTicksTheChosenTracksOrAll) {
    ShowThreeTracks();
    window_.hide();
    state_.store.tracks[2].checked = 1;  // ticked from `checked` when the pick starts
    Caller caller;
    QSignalSpy shown(&window_, &TrackListWindow::shownForPick);
    QTimer::singleShot(0, [&] {
        EXPECT_TRUE(window_.isVisible());
        EXPECT_FALSE(caller.top.isEnabled());
        const QFontMetrics metrics(window_.okButton()->font());
        const int width = std::max(metrics.horizontalAdvance(QStringLiteral("トラックを結合")),
                                   metrics.horizontalAdvance(QStringLiteral("Cancel"))) +
                          4;
        const int h = window_.height();
        EXPECT_EQ(window_.okButton()->geometry(), QRect(20, h - 25, width, 22));
        EXPECT_EQ(window_.cancelButton()->geometry(), QRect(40 + width, h - 25, width, 22));
        EXPECT_EQ(window_.table()->height(), h - 30);
        EXPECT_EQ(Cell(3, kColumnTrack), QStringLiteral("all"));
        EXPECT_EQ(window_.table()->item(0, kColumnTrack)->checkState(), Qt::Unchecked);
        EXPECT_EQ(window_.table()->item(2, kColumnTrack)->checkState(), Qt::Checked);
        window_.table()->item(0, kColumnTrack)->setCheckState(Qt::Checked);
        QTest::mouseClick(window_.okButton(), Qt::LeftButton);
    });
    EXPECT_EQ(window_.PickTracks(QStringLiteral("トラックを結合"), caller.child), 2);
    EXPECT_EQ(OfTracks(&TrackRecord::checked), (std::vector<int>{1, 0, 1}));
    EXPECT_EQ(shown.count(), 1);
    EXPECT_TRUE(state_.trackListShown);
    // Everything is back as it was.
    EXPECT_TRUE(caller.top.isEnabled());
    EXPECT_FALSE(window_.cancelButton()->isVisible());
    EXPECT_EQ(Cell(3, kColumnTrack), QStringLiteral("total"));
    EXPECT_FALSE(window_.table()->item(0, kColumnTrack)->data(Qt::CheckStateRole).isValid());
    EXPECT_EQ(window_.table()->geometry(), window_.rect());

    QTimer::singleShot(0, [&] {
        window_.table()->item(3, kColumnTrack)->setCheckState(Qt::Checked);
        // A refresh during the pick (a live fix) keeps the ticks.
        window_.Refresh();
        EXPECT_EQ(Cell(3, kColumnTrack), QStringLiteral("all"));
        QTest::mouseClick(window_.okButton(), Qt::LeftButton);
    });
    EXPECT_EQ(window_.PickTracks(QStringLiteral("delete"), caller.child), 3);
    EXPECT_EQ(OfTracks(&TrackRecord::checked), (std::vector<int>{1, 1, 1}));
}

TEST_F(TrackListWindowTest, CancelAndClosingTheWindowEndThePickWithoutChanges) {
    ShowThreeTracks();
    Caller caller;
    state_.store.tracks[1].checked = 1;
    QTimer::singleShot(0, [&] {
        window_.table()->item(0, kColumnTrack)->setCheckState(Qt::Checked);
        QTest::mouseClick(window_.cancelButton(), Qt::LeftButton);
    });
    EXPECT_EQ(window_.PickTracks(QStringLiteral("restore"), caller.child), -1);
    EXPECT_EQ(OfTracks(&TrackRecord::checked), (std::vector<int>{0, 1, 0}));
    EXPECT_TRUE(caller.top.isEnabled());

    QSignalSpy closed(&window_, &TrackListWindow::closedByUser);
    QTimer::singleShot(0, [&] {
        window_.table()->item(0, kColumnTrack)->setCheckState(Qt::Checked);
        window_.close();
    });
    EXPECT_EQ(window_.PickTracks(QStringLiteral("join"), caller.child), -1);
    EXPECT_EQ(OfTracks(&TrackRecord::checked), (std::vector<int>{0, 1, 0}));
    EXPECT_FALSE(window_.isVisible());
    EXPECT_EQ(closed.count(), 1);
    EXPECT_FALSE(state_.trackListShown);
    EXPECT_TRUE(caller.top.isEnabled());
    EXPECT_TRUE(caller.child->isEnabled());
    EXPECT_FALSE(window_.picking());

    // Outside a pick, closing only hides the window.
    window_.show();
    window_.close();
    EXPECT_FALSE(window_.isVisible());
    EXPECT_EQ(closed.count(), 2);
}

TEST_F(TrackListWindowTest, ScreenshotShowsEachColourCellInItsTracksColour) {
    const std::filesystem::path logs = test::SourceDir() / "data" / "examples" / "logs";
    ASSERT_EQ(LoadLogFile(state_.store, state_.settings, logs / "takao_hike.gpx"), kLoadDone);
    ASSERT_EQ(LoadLogFile(state_.store, state_.settings, logs / "kamakura_walk.kml"), kLoadDone);
    ASSERT_GE(state_.store.trackCount, 2);
    window_.Refresh();
    window_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window_));
    const QImage image = window_.grab().toImage();
    SaveForReview(image, "track_list.png");

    QTableWidget* table = window_.table();
    auto inWindow = [&](int row, int column) {
        const QRect cell = table->visualItemRect(table->item(row, column));
        return QRect(table->viewport()->mapTo(&window_, cell.topLeft()), cell.size() - QSize(1, 1));
    };
    for (int t = 0; t < state_.store.trackCount; ++t) {
        SCOPED_TRACE(t);
        const QRgb color = state_.store.tracks[static_cast<size_t>(t)].color;
        EXPECT_GT(test::ColorShare(image, color, inWindow(t, kColumnColor)), 0.5);
        // White text on it.
        EXPECT_GT(test::ColorShare(image, 0xFFFFFF, inWindow(t, kColumnColor)), 0.0);
        // The cells beside it are black on white.
        EXPECT_GT(test::ColorShare(image, 0xFFFFFF, inWindow(t, kColumnTitle)), 0.6);
        EXPECT_GT(test::ColorShare(image, 0x000000, inWindow(t, kColumnTitle)), 0.0);
    }
}

}  // namespace
}  // namespace trakvio
