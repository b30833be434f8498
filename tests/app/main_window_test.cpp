#include "app/main_window.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/input_box.h"
#include "app/main_window_fixture.h"
#include "app/qt_messages.h"
#include "app/track_list_window.h"
#include "app/window_test_support.h"
#include "graph/graph_window.h"
#include "map/tile_cache_window.h"
#include "test_support.h"

namespace trakvio {
namespace {

namespace fs = std::filesystem;

// The main window of the whole program, with its input boxes answered too.
class MainWindowTest : public MainWindowFixture {
  protected:
    void TearDown() override {
        SetInputBoxHookForTest(nullptr);
        MainWindowFixture::TearDown();
    }
    // The input boxes of the next command answer these texts in turn; an
    // empty optional, or no answer left, cancels.
    void AnswerInputs(std::vector<std::optional<QString>> answers) {
        auto queue = std::make_shared<std::vector<std::optional<QString>>>(std::move(answers));
        SetInputBoxHookForTest([this, queue](InputBox& box) {
            inputTitles_.push_back(box.windowTitle());
            inputTexts_.push_back(box.edit()->text());
            const std::optional<QString> answer = queue->empty() ? std::nullopt : queue->front();
            if (!queue->empty()) queue->erase(queue->begin());
            if (answer) box.edit()->setText(*answer);
            QTest::mouseClick(answer ? box.okButton() : box.cancelButton(), Qt::LeftButton);
        });
    }
    std::vector<std::string> LoadedNames() const {
        std::vector<std::string> names;
        for (const fs::path& path : state_.store.loadedFiles) names.push_back(path.filename().string());
        return names;
    }
    bool Enabled(int id) const { return window_->ActionForCommand(id)->isEnabled(); }
    bool Checked(int id) const { return window_->ActionForCommand(id)->isChecked(); }

    std::vector<QString> inputTitles_, inputTexts_;
};

// Where each command sits: menu path (pop-up titles joined by '/'), its
// position among that menu's items (separators and sub-menus count) and its
// label.
struct MenuItem {
    int id;
    const char* menu;
    int position;
    const char* label;
};

const MenuItem kMenuItems[] = {
    {1001, "ファイル", 0, "ログデータ新規読込"},
    {1002, "ファイル", 1, "ログデータ追加読込"},
    {1003, "ファイル/GPSデータロガー", 0, "MTK Logger読込(USB経由)"},
    {1004, "ファイル/GPSデータロガー", 1, "MTK Looger読込(USB経由)＆.bin保存"},
    {1005, "ファイル/GPSデータロガー", 2, "MTK Looger ログ消去(USB経由)"},
    {1017, "ファイル", 3, "GPSレシーバーから読込"},
    {1006, "ファイル", 5, "Q9 書庫を開く"},
    {1008, "ファイル", 6, "Q9 書庫 上書き保存"},
    {1007, "ファイル", 7, "Q9 書庫 名前を付けて保存"},
    {1009, "ファイル", 9, "ログ圧縮書庫作成"},
    {1010, "ファイル/エクスポート", 0, "Leaflet JavaScript HTML"},
    {1011, "ファイル/エクスポート", 1, "Google Map JavaScript HTML"},
    {1012, "ファイル/エクスポート", 2, "KML"},
    {1013, "ファイル", 12, "画像をクリップボードにコピー"},
    {1015, "ファイル", 14, "ログデータ読込昇順修正"},
    {1014, "ファイル", 16, "スクリプト実行"},
    {1016, "ファイル", 18, "終了"},
    {1060, "設定/ベースマップを選択", 0, "OpenStreetMap"},
    {1061, "設定/ベースマップを選択", 1, "地理院地図 標準"},
    {1021, "設定", 1, "ドット描画"},
    {1022, "設定", 3, "グラフウィンドウを表示"},
    {1023, "設定", 4, "トラックリストウィンドウを表示"},
    {1024, "設定", 5, "マップタイル一覧"},
    {1025, "設定/ITM:読込データ選択", 0, ".poi"},
    {1026, "設定/ITM:読込データ選択", 1, ".bin"},
    {1027, "設定", 8, "ITM:Q9書庫にpoi＆bin保存"},
    {1028, "設定", 9, "GPX:ルートデータ読込"},
    {1029, "設定", 10, "KML:読込データ時刻設定"},
    {1030, "設定", 11, "停留判定距離を設定"},
    {1031, "設定", 12, "Geoid Model"},
    {1032, "設定", 13, "Set Google Maps API Key"},
    {1040, "ヘルプ", 0, "User's Manual"},
    {1041, "ヘルプ", 1, "Script Sample"},
    {1042, "ヘルプ", 2, "About Trakvio"},
    {1043, "ヘルプ", 4, "browse AppData folder"},
    {1044, "ヘルプ", 5, "browse Cache folder"},
    {1045, "ヘルプ", 6, "browse Work folder"},
    {1046, "ヘルプ", 7, "edit INI file"},
    {1047, "ヘルプ", 9, "System Information"},
};

QMenu* MenuAt(QMenuBar* bar, const QString& path) {
    QList<QAction*> items = bar->actions();
    QMenu* menu = nullptr;
    for (const QString& title : path.split(u'/')) {
        menu = nullptr;
        for (QAction* item : items) {
            if (item->menu() && item->text() == title) menu = item->menu();
        }
        if (!menu) return nullptr;
        items = menu->actions();
    }
    return menu;
}

TEST_F(MainWindowTest, EveryCommandSitsInItsMenuWithItsLabel) {
    EXPECT_EQ(window_->windowTitle(), QStringLiteral("Trakvio（跡帳：径路記録編集）"));
    ASSERT_EQ(window_->menuBar()->actions().size(), 3);
    for (const MenuItem& item : kMenuItems) {
        SCOPED_TRACE(item.id);
        QAction* action = window_->ActionForCommand(item.id);
        ASSERT_NE(action, nullptr);
        EXPECT_EQ(action->text(), QString::fromUtf8(item.label));
        EXPECT_EQ(action->data().toInt(), item.id);
        QMenu* menu = MenuAt(window_->menuBar(), QString::fromUtf8(item.menu));
        ASSERT_NE(menu, nullptr);
        ASSERT_LT(item.position, menu->actions().size());
        EXPECT_EQ(menu->actions()[item.position], action);
    }
    EXPECT_EQ(window_->CommandIds().size(), std::size(kMenuItems));
    // Separators where the menus have them.
    QMenu* file = MenuAt(window_->menuBar(), QStringLiteral("ファイル"));
    for (int position : {4, 8, 11, 13, 15, 17}) EXPECT_TRUE(file->actions()[position]->isSeparator()) << position;
    QMenu* help = MenuAt(window_->menuBar(), QStringLiteral("ヘルプ"));
    EXPECT_TRUE(help->actions()[3]->isSeparator());
    EXPECT_TRUE(help->actions()[8]->isSeparator());
    // The track list and the graph are shown, so their commands are grey.
    EXPECT_FALSE(Enabled(1022));
    EXPECT_FALSE(Enabled(1023));
    EXPECT_FALSE(window_->RunCommand(1099));
}

// New load replaces, append load adds, a cancelled new load still clears;
// a log named on the command line replaces what was loaded.
TEST_F(MainWindowTest, LoadCommandsReplaceOrAddAndRefresh) {
    AnswerDialogs({{ExampleLog("takao_hike.gpx")}});
    ASSERT_TRUE(window_->RunCommand(1002));
    EXPECT_EQ(dialogTitles_.back(), "Select GPS Log data file");
    EXPECT_EQ(LoadedNames(), std::vector<std::string>{"takao_hike.gpx"});
    AnswerDialogs({{ExampleLog("kamakura_walk.kml"), ExampleLog("takao_hike.gpx")}});
    window_->RunCommand(1002);
    EXPECT_EQ(LoadedNames().size(), 3u);

    AnswerDialogs({{ExampleLog("kamakura_walk.kml")}});
    window_->RunCommand(1001);
    EXPECT_EQ(LoadedNames(), std::vector<std::string>{"kamakura_walk.kml"});
    EXPECT_EQ(window_->windowTitle(), QStringLiteral("kamakura_walk.kml - Trakvio（跡帳）"));
    AnswerDialogs({});
    window_->RunCommand(1001);
    EXPECT_EQ(state_.store.pointCount, 0);
    EXPECT_EQ(window_->windowTitle(), QStringLiteral("kamakura_walk.kml - Trakvio（跡帳）"));

    window_->OpenFromCommandLine(ExampleLog("kamakura_walk.kml"));
    window_->OpenFromCommandLine(ExampleLog("takao_hike.gpx"));
    EXPECT_EQ(LoadedNames(), std::vector<std::string>{"takao_hike.gpx"});
}

// Each command asks its dialogs (none for the save over the current archive)
// and writes its file; names without an extension get the command's own.
TEST_F(MainWindowTest, FileCommandsAskTheirDialogsAndWriteTheirFiles) {
    const fs::path out = scratch_ / "out";
    fs::create_directories(out);
    const fs::path takao = ExampleLog("takao_hike.gpx"), kamakura = ExampleLog("kamakura_walk.kml");
    std::ofstream(out / "write.q9s") << "text_file ran.txt, a, \"ran\"\n";
    AnswerDialogs({{takao, kamakura}});
    window_->RunCommand(1001);
    ASSERT_EQ(LoadedNames().size(), 2u);

    struct Command {
        int id;
        std::vector<std::vector<fs::path>> answers;
        std::vector<std::string> titles;
        fs::path written;
    };
    const Command commands[] = {
        {1007, {{out / "saved"}}, {"保存するQ9Archiveファイルを指定"}, out / "saved.q9z"},
        {1008, {}, {}, out / "saved.q9z"},
        {1006, {{out / "saved.q9z"}}, {"Select Q9Archive file"}, {}},
        {1009,
         {{takao, kamakura}, {out / "logs"}},
         {"圧縮対象の GPSログデータファイルを選択（Ctrl/Shiftキーで複数選択可）", "保存する圧縮書庫ファイルを指定"},
         out / "logs.zip"},
        {1010, {{out / "page"}}, {"Save Leaflet Javascipt-HTML file"}, out / "page.htm"},
        {1011, {{out / "gpage.htm"}}, {"Save GoogleMap Javascipt-HTML file"}, out / "gpage.htm"},
        {1012, {{out / "tracks.kmz"}}, {"Save KML file"}, out / "tracks.kmz"},
        {1014, {{out / "write.q9s"}}, {"Select Script file"}, out / "ran.txt"},
    };
    for (const Command& command : commands) {
        SCOPED_TRACE(command.id);
        if (!command.written.empty()) fs::remove(command.written);
        dialogTitles_.clear();
        AnswerDialogs(command.answers);
        ASSERT_TRUE(window_->RunCommand(command.id));
        EXPECT_EQ(dialogTitles_, command.titles);
        // Later rows use the file.
        ASSERT_TRUE(command.written.empty() || fs::is_regular_file(command.written)) << command.written;
    }
    EXPECT_EQ(state_.settings.kmlSaveFile, out / "tracks.kmz");
    window_->RunCommand(1015);
    EXPECT_EQ(state_.store.fileCount, 2);  // as the archive held them
    EXPECT_GT(state_.store.pointCount, 0);
    ASSERT_EQ(messages().size(), 1u);
    EXPECT_EQ(messages()[0].text, "スクリプト実行が完了しました");
    // The core's status texts reach the window's progress part.
    EXPECT_EQ(window_->statusText(kStatusProgress), QStringLiteral("Script Execution Completed"));
}

TEST_F(MainWindowTest, SwitchesChildWindowsAndBaseMaps) {
    struct Switch {
        int id;
        std::function<bool()> applied;
        bool checked;
    };
    const Switch switches[] = {
        {1061, [&] { return state_.settings.currentBaseMap == 1 && !Checked(1060); }, true},
        {1021, [&] { return state_.dotDrawing; }, true},
        {1026, [&] { return state_.settings.itmReadPoi == 0 && !Checked(1025); }, true},
        {1027, [&] { return state_.settings.itmKeepBoth == 0; }, false},
        {1028, [&] { return state_.store.readGpxRoutes == 0; }, false},
    };
    for (const Switch& item : switches) {
        SCOPED_TRACE(item.id);
        window_->RunCommand(item.id);
        EXPECT_TRUE(item.applied());
        EXPECT_EQ(Checked(item.id), item.checked);
    }

    // A closed child window comes back through its command.
    const std::pair<int, QWidget*> children[] = {{1022, window_->graphWindow()}, {1023, window_->trackListWindow()}};
    for (const auto& [id, child] : children) {
        SCOPED_TRACE(id);
        child->close();
        EXPECT_TRUE(Enabled(id));
        window_->RunCommand(id);
        EXPECT_TRUE(child->isVisible());
        EXPECT_FALSE(Enabled(id));
    }
    EXPECT_TRUE(state_.graphShown);
    window_->RunCommand(1024);
    EXPECT_TRUE(window_->tileCacheWindow()->isVisible());
}

TEST_F(MainWindowTest, InputBoxSettingsAndTheApiKey) {
    AnswerInputs({QStringLiteral("12.5")});
    window_->RunCommand(1030);
    EXPECT_EQ(inputTexts_.back(), QStringLiteral("0.000"));
    EXPECT_EQ(state_.settings.ssmeterslessthan, 12);

    AnswerInputs({QStringLiteral("2024-05-01 09:00:00,10")});
    window_->RunCommand(1029);
    EXPECT_TRUE(inputTexts_.back().endsWith(QStringLiteral(",5"))) << inputTexts_.back().toStdString();
    EXPECT_EQ(state_.settings.kmlTimeDefaultStep, 10);

    // A refused key reopens the box; a good key is kept, at most 63 bytes of
    // it; Cancel keeps the key, even after a refused one.
    inputTitles_.clear();
    AnswerInputs({QStringLiteral("AIza key"), QStringLiteral("AIzaGood_1-2")});
    window_->RunCommand(1032);
    EXPECT_EQ(inputTitles_.size(), 2u);
    EXPECT_EQ(state_.settings.gmapapikey, "AIzaGood_1-2");
    AnswerInputs({QStringLiteral("bad key"), std::nullopt});
    window_->RunCommand(1032);
    EXPECT_EQ(state_.settings.gmapapikey, "AIzaGood_1-2");
    AnswerInputs({QString(100, u'k')});
    window_->RunCommand(1032);
    EXPECT_EQ(state_.settings.gmapapikey, std::string(63, 'k'));

    const std::pair<const char*, bool> keys[] = {
        {"", true}, {"!~az09", true}, {"AIza key", false}, {"AIza\xC3\xA9", false}, {"a\tb", false}, {"a\x7f", false}};
    for (const auto& [key, valid] : keys) EXPECT_EQ(IsValidApiKey(key), valid) << key;
}

TEST_F(MainWindowTest, HelpShowsAndOpensWhatItNames) {
    window_->RunCommand(1042);
    ASSERT_EQ(messages().size(), 1u);
    EXPECT_EQ(messages()[0].title, "About Trakvio");
    const std::string capacities = "MaxPoints=" + std::to_string(state_.store.maxlogpoints) +
                                   "\nMaxTracks=" + std::to_string(state_.store.maxtracks) + "\nProgram folder= ";
    EXPECT_NE(messages()[0].text.find(capacities), std::string::npos);
    window_->RunCommand(1031);
    EXPECT_EQ(messages().back().title, "Use of GEOID model");

    for (int id : {1040, 1041, 1043, 1044, 1045}) window_->RunCommand(id);
    const fs::path program = state_.programFolder;
    const Settings& settings = state_.settings;
    EXPECT_EQ(opened_, (std::vector<fs::path>{program / "Trakvio_help.htm", program / "q9script_sample.htm",
                                              settings.userFolder, settings.tileCacheFolder, settings.workFolder}));
}

TEST(MessageBoxes, ButtonsIconsAndAnswersMap) {
    EXPECT_EQ(QtButtons(MessageButtons::kYesNoCancel), QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    EXPECT_EQ(QtButtons(MessageButtons::kRetryCancel), QMessageBox::Retry | QMessageBox::Cancel);
    EXPECT_EQ(QtIcon(MessageIcon::kWarning), QMessageBox::Warning);
    EXPECT_EQ(QtIcon(MessageIcon::kError), QMessageBox::Critical);
    const std::pair<QMessageBox::StandardButton, int> answers[] = {{QMessageBox::Yes, kAnswerYes},
                                                                   {QMessageBox::No, kAnswerNo},
                                                                   {QMessageBox::Retry, kAnswerRetry},
                                                                   {QMessageBox::Cancel, kAnswerCancel},
                                                                   {QMessageBox::NoButton, kAnswerOk}};
    for (const auto& [button, answer] : answers) EXPECT_EQ(AnswerFromQt(button, kAnswerOk), answer) << button;
}

// The configuration is written back on exit and the work folder cleaned (its
// rules are checked with CleanWorkFolder itself).
TEST_F(MainWindowTest, ClosingWritesTheConfigurationBackAndCleansTheWorkFolder) {
    fs::create_directories(state_.settings.workFolder / "q9zdir");
    state_.settings.gmapapikey = "AIzaClosed";
    ASSERT_TRUE(window_->RunCommand(1016));
    EXPECT_FALSE(window_->isVisible());
    EXPECT_FALSE(window_->trackListWindow()->isVisible());
    EXPECT_NE(test::ReadFile(scratch_ / "Trakvio.ini").find("AIzaClosed"), std::string::npos);
    EXPECT_FALSE(fs::exists(state_.settings.workFolder / "q9zdir"));
    EXPECT_TRUE(fs::is_directory(state_.settings.workFolder));
}

struct BusyProbe {
    MainWindow* window = nullptr;
    QString part8;
    bool waitCursor = false;
    bool onWorker = false;
};

// Answers the script's pause box after a while, looking at the window from
// the window thread meanwhile: the window keeps running its events.
int SlowAnswer(void* context, std::string_view, std::string_view title, MessageButtons, int answer, MessageIcon) {
    auto* probe = static_cast<BusyProbe*>(context);
    if (title != "Script Pause") return answer;
    probe->onWorker = QThread::currentThread() != probe->window->thread();
    QThread::msleep(400);
    QMetaObject::invokeMethod(
        probe->window,
        [probe] {
            probe->part8 = probe->window->statusText(kStatusProgress);
            probe->waitCursor = QApplication::overrideCursor() != nullptr;
        },
        Qt::BlockingQueuedConnection);
    return answer;
}

TEST_F(MainWindowTest, ALongRunShowsTheWaitCursorAndItsNameWhileTheWindowRuns) {
    const fs::path script = scratch_ / "slow.q9s";
    std::ofstream(script) << "pause waiting\n";
    BusyProbe probe;
    probe.window = window_.get();
    SetMessageHandler(&SlowAnswer, &probe);
    window_->OpenFromCommandLine(script);
    catcher_.emplace();
    EXPECT_TRUE(probe.onWorker);
    EXPECT_TRUE(probe.waitCursor);
    EXPECT_EQ(probe.part8, QStringLiteral("Running slow.q9s ..."));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_NE(window_->statusText(kStatusProgress), QStringLiteral("Running slow.q9s ..."));
}

}  // namespace
}  // namespace trakvio
