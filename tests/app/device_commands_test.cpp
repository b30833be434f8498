// The device commands of the main window with real dialogs, driven against
// the simulated logger and receiver on pseudo-terminals.
#include "app/device_commands.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <cstdlib>

#include "app/fake_shell.h"
#include "app/file_dialog.h"
#include "app/mtk_erase_dialog.h"
#include "app/port_dialog.h"
#include "app/qt_text.h"
#include "app/window_test_support.h"
#include "devices/device_simulators.h"
#include "devices/mtk_logger.h"
#include "test_support.h"

namespace trakvio {
namespace {

using test::MessageCatcher;

// Parent of the watch timers of one test; a watch whose dialog never showed
// goes with it at the end of the test, so it can neither leak nor act on a
// later test's dialog.
QObject*& PendingWatches() {
    static QObject* owner = nullptr;
    if (owner == nullptr) owner = new QObject;
    return owner;
}

void DropPendingWatches() {
    delete PendingWatches();
    PendingWatches() = nullptr;
}

// Runs action on the modal dialog of type T once it is shown.
template <typename T>
void WhenShown(std::function<void(T&)> action) {
    auto* timer = new QTimer(PendingWatches());
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, action] {
        if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            action(*dialog);
        }
    });
    timer->start();
}

class DeviceCommandsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        CreateTrackStore(state.store, 1000, 10);
        state.settings.workFolder = work.path();
        state.settings.receiver.timeout1 = 50;
        state.settings.receiver.timeout2 = 5000;
    }
    void TearDown() override {
        unsetenv(kMtkPortVariable);
        DropPendingWatches();
    }

    AppState state;
    FakeShell shell;
    QWidget window;
    test::ScratchFolder work;
};

TEST_F(DeviceCommandsTest, EraseAsksShowsProgressAndReportsSuccess) {
    test::MtkLoggerSimulator::Behaviour slow;
    slow.eraseDelayMs = 400;
    test::MtkLoggerSimulator logger({}, slow);
    setenv(kMtkPortVariable, logger.path().c_str(), 1);
    MessageCatcher messages(kAnswerYes);
    DeviceCommands commands(state, shell, &window);
    bool seen = false;
    WhenShown<MtkEraseDialog>([&](MtkEraseDialog& dialog) {
        seen = true;
        EXPECT_EQ(dialog.objectName(), QStringLiteral("MTKERASEDLG"));
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Erasing Log Data - MTK Logger"));
        EXPECT_EQ(dialog.text()->text(), QStringLiteral("ログデータ消去中..."));
        EXPECT_EQ(dialog.bar()->maximum(), 260);
        EXPECT_EQ(dialog.cancelButton()->text(), QStringLiteral("Cancel"));
        EXPECT_EQ(shell.status[kStatusProgress], "Erasing Log");
        dialog.grab().save(QStringLiteral("/tmp/trakvio_mtk_erase_dialog.png"));
    });
    commands.EraseLogger();
    EXPECT_TRUE(seen);
    EXPECT_TRUE(logger.erased());
    EXPECT_EQ(shell.status[kStatusProgress], "Erased Log");
    ASSERT_EQ(messages.messages().size(), 2u);
    EXPECT_EQ(messages.messages()[0].text, "MTK Logger 本体のログデータを消去してよろしいですか？");
    EXPECT_EQ(messages.messages()[0].buttons, MessageButtons::kYesNo);
    EXPECT_EQ(messages.messages()[1].text, "MTK Logger 本体のログデータを消去しました");
}

TEST_F(DeviceCommandsTest, EraseEndsWithCancelEscapeOrDeleteWithoutSuccess) {
    test::MtkLoggerSimulator::Behaviour mute;
    mute.eraseAnswers = false;
    test::MtkLoggerSimulator logger({}, mute);
    setenv(kMtkPortVariable, logger.path().c_str(), 1);
    MessageCatcher messages(kAnswerYes);
    DeviceCommands commands(state, shell, &window);
    const std::function<void(MtkEraseDialog&)> ways[] = {
        [](MtkEraseDialog& d) { QTest::mouseClick(d.cancelButton(), Qt::LeftButton); },
        [](MtkEraseDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); },
        [](MtkEraseDialog& d) { QTest::keyClick(&d, Qt::Key_Delete); },  // the erase thread then ends it
    };
    for (const auto& way : ways) {
        WhenShown<MtkEraseDialog>(way);
        commands.EraseLogger();
        EXPECT_EQ(shell.status[kStatusProgress], "Erasing Log");
    }
    EXPECT_FALSE(logger.erased());
    EXPECT_EQ(messages.messages().size(), 3u);  // the three questions only
}

TEST_F(DeviceCommandsTest, EraseStopsAtNo) {
    MessageCatcher messages(kAnswerNo);
    DeviceCommands commands(state, shell, &window);
    commands.EraseLogger();
    EXPECT_EQ(messages.messages().size(), 1u);
    EXPECT_EQ(shell.status[kStatusProgress], "");
}

TEST(MtkEraseDialogTest, TheBarStepsEachSecondAndStartsOverAfter26Steps) {
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    MtkEraseDialog dialog(nullptr, cancel);
    for (int i = 1; i < 26; ++i) {
        dialog.Tick();
        EXPECT_EQ(dialog.bar()->value(), i * 10);
    }
    dialog.Tick();
    EXPECT_EQ(dialog.bar()->value(), 0);
    dialog.Tick();
    EXPECT_EQ(dialog.bar()->value(), 10);
    EXPECT_FALSE(cancel->load());
}

std::string Pair(int second, const char* date = "010524") {
    char time[16];
    std::snprintf(time, sizeof time, "1200%02d.00", second);
    return test::Sentence(std::string("GPGGA,") + time + ",3539.5210,N,13944." + std::to_string(4780 + second) +
                          ",E,1,08,1.0,40,M,39,M,,") +
           test::Sentence(std::string("GPRMC,") + time + ",A,3539.5210,N,13944." + std::to_string(4780 + second) +
                          ",E,1.0,0," + date + ",,,A");
}

TEST_F(DeviceCommandsTest, CaptureFromThePortDialogThroughFixesToTheSaveDialog) {
    test::Pty receiver;
    PortInfo usb;
    usb.path = receiver.path();
    usb.description = "u-blox 7 GPS/GNSS Receiver";
    usb.transport = PortTransport::kUsb;
    PortInfo bluetooth;
    bluetooth.path = "/dev/rfcomm9";
    bluetooth.description = "Bluetooth GPS";
    bluetooth.transport = PortTransport::kBluetooth;
    MessageCatcher messages;
    DeviceCommands commands(state, shell, &window);
    commands.portLister = [&] { return std::vector<PortInfo>{usb, bluetooth}; };
    QSignalSpy changes(&commands, &DeviceCommands::captureChanged);

    WhenShown<PortDialog>([&](PortDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("GPSレシーバーに割当てられた通信ポートを選択"));
        QTreeWidget* list = dialog.list();
        EXPECT_EQ(list->headerItem()->text(0), QStringLiteral("Port"));
        EXPECT_EQ(list->headerItem()->text(1), QStringLiteral("connected via"));
        EXPECT_EQ(list->headerItem()->text(2), QStringLiteral("Device name or Device driver"));
        ASSERT_EQ(list->topLevelItemCount(), 2);
        EXPECT_EQ(list->topLevelItem(0)->text(1), QStringLiteral("Bluetooth_SPP"));
        EXPECT_EQ(dialog.selectedRow(), 0);
        EXPECT_EQ(dialog.startButton()->text(), QStringLiteral("開始"));
        EXPECT_EQ(dialog.retryButton()->text(), QStringLiteral("再試行"));
        EXPECT_EQ(dialog.cancelButton()->text(), QStringLiteral("中止"));
        dialog.grab().save(QStringLiteral("/tmp/trakvio_port_dialog.png"));
        list->setCurrentItem(list->topLevelItem(1));
        QTest::mouseClick(dialog.startButton(), Qt::LeftButton);
    });
    commands.ToggleCapture();
    ASSERT_TRUE(state.capturing);
    ASSERT_EQ(changes.size(), 1);
    EXPECT_EQ(changes[0][0].toBool(), true);
    EXPECT_EQ(state.settings.gpsLogDataFile, "GPS_receiver_data");
    EXPECT_EQ(commands.captureFile().parent_path(), work.path());
    EXPECT_EQ(commands.captureFile().extension(), ".nmea");

    // The first fix only sets the status text.
    receiver.Write(Pair(0));
    EXPECT_TRUE(QTest::qWaitFor([&] { return shell.status[kStatusProgress] == "GPS衛星が捕捉され測位しています"; }));
    QTest::qWait(100);
    EXPECT_EQ(shell.refreshAfterLoad, 0);
    // The second is the first new-fixes call: statistics with bounds and a
    // refresh as after a load.
    receiver.Write(Pair(1));
    EXPECT_TRUE(QTest::qWaitFor([&] { return shell.refreshAfterLoad == 1; }));
    EXPECT_EQ(state.store.trackCount, 1);
    EXPECT_EQ(state.store.trackEnd[0], 1);
    EXPECT_EQ(std::u16string(TrackName(state.store, 0)), u"u-blox 7 GPS/GNSS Receiver");
    EXPECT_GT(state.store.allMaxLon, state.store.allMinLon);
    const double maxLon = state.store.allMaxLon;
    // Later ones refresh the list, the map and the shown graph only.
    state.graphShown = true;
    receiver.Write(Pair(2));
    EXPECT_TRUE(QTest::qWaitFor([&] { return shell.redrawMap == 1; }));
    EXPECT_EQ(shell.refreshTrackList, 1);
    EXPECT_EQ(shell.redrawGraph, 1);
    EXPECT_EQ(shell.refreshAfterLoad, 1);
    EXPECT_EQ(state.store.trackEnd[0], 2);
    EXPECT_EQ(state.store.allMaxLon, maxLon);  // bounds kept while capturing
    EXPECT_GT(state.store.tracks[0].maxLon, maxLon);

    // Stopping offers to keep the capture elsewhere and moves it there.
    const std::filesystem::path kept = work / "kept.nmea";
    const std::filesystem::path captured = commands.captureFile();
    SetFileDialogHookForTest([&](QFileDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("GPSレシーバーから読込んだ位置情報データ(NMEA形式)の保存"));
        dialog.selectFile(QStringFromPath(kept));
        static_cast<QDialog&>(dialog).accept();
    });
    commands.ToggleCapture();
    SetFileDialogHookForTest(nullptr);
    EXPECT_FALSE(state.capturing);
    ASSERT_EQ(changes.size(), 2);
    EXPECT_EQ(changes[1][0].toBool(), false);
    EXPECT_FALSE(std::filesystem::exists(captured));
    EXPECT_EQ(test::ReadFile(kept), Pair(0) + Pair(1) + Pair(2));
    EXPECT_TRUE(QTest::qWaitFor([&] { return shell.status[kStatusProgress] == "GPS receiver disconnected"; }));
}

TEST_F(DeviceCommandsTest, RetryListsThePortsAgainAndCancelStartsNothing) {
    MessageCatcher messages;
    DeviceCommands commands(state, shell, &window);
    int listed = 0;
    commands.portLister = [&] {
        ++listed;
        return std::vector<PortInfo>{};
    };
    WhenShown<PortDialog>([](PortDialog& dialog) {
        EXPECT_EQ(dialog.selectedRow(), -1);
        QTest::mouseClick(dialog.retryButton(), Qt::LeftButton);
        WhenShown<PortDialog>([](PortDialog& again) { QTest::mouseClick(again.cancelButton(), Qt::LeftButton); });
    });
    QSignalSpy changes(&commands, &DeviceCommands::captureChanged);
    commands.ToggleCapture();
    EXPECT_EQ(listed, 2);
    EXPECT_FALSE(state.capturing);
    EXPECT_EQ(changes.size(), 0);
}

TEST_F(DeviceCommandsTest, APortThatCannotBeOpenedIsReported) {
    MessageCatcher messages;
    DeviceCommands commands(state, shell, &window);
    PortInfo missing;
    missing.path = "/dev/no-such-receiver";
    missing.transport = PortTransport::kUsb;
    commands.portLister = [&] { return std::vector<PortInfo>{missing}; };
    WhenShown<PortDialog>([](PortDialog& dialog) { QTest::mouseClick(dialog.startButton(), Qt::LeftButton); });
    commands.ToggleCapture();
    EXPECT_FALSE(state.capturing);
    ASSERT_EQ(messages.messages().size(), 1u);
    EXPECT_EQ(messages.messages()[0].text, "GPSレシーバーに接続できませんでした");
    EXPECT_EQ(messages.messages()[0].title, "Failed to connect GPS receiver");
}

TEST_F(DeviceCommandsTest, ASilentReceiverIsReportedAndTheCaptureStopped) {
    test::Pty receiver;
    state.settings.receiver.timeout1 = 20;
    state.settings.receiver.timeout2 = 200;
    MessageCatcher messages;
    DeviceCommands commands(state, shell, &window);
    PortInfo usb;
    usb.path = receiver.path();
    usb.transport = PortTransport::kUsb;
    commands.portLister = [&] { return std::vector<PortInfo>{usb}; };
    WhenShown<PortDialog>([](PortDialog& dialog) { QTest::mouseClick(dialog.startButton(), Qt::LeftButton); });
    QSignalSpy changes(&commands, &DeviceCommands::captureChanged);
    commands.ToggleCapture();
    ASSERT_TRUE(state.capturing);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !state.capturing; }, 5000));
    ASSERT_EQ(messages.messages().size(), 1u);
    EXPECT_EQ(messages.messages()[0].text, "GPSレシーバーは応答していません\n return code=8\n");
    EXPECT_EQ(messages.messages()[0].title, "Failed to connect GPS receiver");
    EXPECT_EQ(changes.size(), 2);

    commands.OnReceiverFailed(2);
    EXPECT_EQ(messages.messages().back().text, "GPSレシーバーとの接続が切断されました\n return code=2\n");
}

}  // namespace
}  // namespace trakvio
