// The device commands of the main window with real dialogs, driven against
// the simulated logger and receiver on pseudo-terminals. A capture from start
// to saved file runs through the whole program in desktop_integration_test.
#include "app/device_commands.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <cstdlib>

#include "app/fake_shell.h"
#include "app/mtk_erase_dialog.h"
#include "app/port_dialog.h"
#include "app/window_test_support.h"
#include "devices/device_simulators.h"
#include "devices/mtk_logger.h"
#include "test_support.h"

namespace trakvio {
namespace {

using test::MessageCatcher;
using test::WhenShown;

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
        test::DropPendingWatches();
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
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Erasing Log Data - MTK Logger"));
        EXPECT_EQ(dialog.text()->text(), QStringLiteral("ログデータ消去中..."));
        EXPECT_EQ(shell.status[kStatusProgress], "Erasing Log");
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

// No to the question starts nothing; Cancel, Escape or Delete in the dialog
// end the erase without the success message.
TEST_F(DeviceCommandsTest, EraseEndsWithNoCancelEscapeOrDeleteWithoutSuccess) {
    test::MtkLoggerSimulator::Behaviour mute;
    mute.eraseAnswers = false;
    test::MtkLoggerSimulator logger({}, mute);
    setenv(kMtkPortVariable, logger.path().c_str(), 1);
    DeviceCommands commands(state, shell, &window);
    {
        MessageCatcher no(kAnswerNo);
        WhenShown<MtkEraseDialog>([](MtkEraseDialog& dialog) {
            ADD_FAILURE() << "erasing after No";
            QTest::mouseClick(dialog.cancelButton(), Qt::LeftButton);
        });
        commands.EraseLogger();
        test::DropPendingWatches();
        EXPECT_EQ(no.messages().size(), 1u);
        EXPECT_EQ(shell.status[kStatusProgress], "");
    }
    MessageCatcher messages(kAnswerYes);
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

TEST(MtkEraseDialogTest, TheBarStepsEachSecondAndStartsOverAfter26Steps) {
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    MtkEraseDialog dialog(nullptr, cancel);
    EXPECT_EQ(dialog.bar()->maximum(), 260);
    for (int i = 1; i <= 27; ++i) {
        dialog.Tick();
        EXPECT_EQ(dialog.bar()->value(), i % 26 * 10) << i;
    }
    EXPECT_FALSE(cancel->load());
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

// A port that cannot be opened, a receiver that stays silent and one that
// goes away: each is reported and no capture is left running.
TEST_F(DeviceCommandsTest, ReceiverFailuresAreReportedAndEndTheCapture) {
    test::Pty receiver;
    state.settings.receiver.timeout1 = 20;
    state.settings.receiver.timeout2 = 200;
    MessageCatcher messages;
    DeviceCommands commands(state, shell, &window);
    const std::pair<std::string, std::string> cases[] = {
        {"/dev/no-such-receiver", "GPSレシーバーに接続できませんでした"},
        {receiver.path(), "GPSレシーバーは応答していません\n return code=8\n"},
    };
    for (const auto& [path, text] : cases) {
        SCOPED_TRACE(path);
        PortInfo port;
        port.path = path;
        port.transport = PortTransport::kUsb;
        commands.portLister = [port] { return std::vector<PortInfo>{port}; };
        WhenShown<PortDialog>([](PortDialog& dialog) { QTest::mouseClick(dialog.startButton(), Qt::LeftButton); });
        commands.ToggleCapture();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !state.capturing; }, 5000));
        ASSERT_FALSE(messages.messages().empty());
        EXPECT_EQ(messages.messages().back().text, text);
        EXPECT_EQ(messages.messages().back().title, "Failed to connect GPS receiver");
    }
    EXPECT_EQ(messages.messages().size(), 2u);
    commands.OnReceiverFailed(2);
    EXPECT_EQ(messages.messages().back().text, "GPSレシーバーとの接続が切断されました\n return code=2\n");
}

}  // namespace
}  // namespace trakvio
