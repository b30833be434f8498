// The Settings menu: the base map, dot drawing, the child windows, the reader
// switches and the values asked for in the input box.
#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <climits>
#include <cmath>
#include <cstdlib>

#include "app/input_box.h"
#include "app/main_window.h"
#include "app/qt_text.h"
#include "app/track_list_window.h"
#include "config/config_file.h"
#include "graph/graph_window.h"
#include "map/map_window.h"
#include "map/tile_cache_window.h"
#include "platform/local_time.h"
#include "platform/messages.h"

namespace trakvio {

namespace {

// The stored key's longest length in bytes.
constexpr size_t kApiKeyBytes = 63;

}  // namespace

void MainWindow::BuildSettingsMenu(QMenu* menu) {
    Settings& settings = state_.settings;
    baseMapMenu_ = menu->addMenu(QStringLiteral("ベースマップを選択"));
    auto* baseMaps = new QActionGroup(this);
    for (size_t i = 0; i < settings.baseMaps.size(); ++i) {
        const int index = static_cast<int>(i);
        QAction* action = AddCommand(
            baseMapMenu_, kCmdBaseMapFirst + index, QStringFromUtf16(settings.baseMaps[i].name),
            [this, index] { ChooseBaseMap(index); }, true);
        baseMaps->addAction(action);
    }
    AddCommand(
        menu, kCmdDotDrawing, QStringLiteral("ドット描画"),
        [this] {
            state_.dotDrawing = !state_.dotDrawing;
            UpdateSettingsChecks();
            if (state_.mapHasContent) RedrawMap();
        },
        true);
    menu->addSeparator();
    AddCommand(menu, kCmdShowGraph, QStringLiteral("グラフウィンドウを表示"), [this] { ShowGraphWindow(); });
    AddCommand(menu, kCmdShowTrackList, QStringLiteral("トラックリストウィンドウを表示"),
               [this] { ShowTrackListWindow(); });
    AddCommand(menu, kCmdShowTileCache, QStringLiteral("マップタイル一覧"), [this] {
        tileCache_->show();
        tileCache_->raise();
        tileCache_->Update();
    });
    menu->addSeparator();
    QMenu* itm = menu->addMenu(QStringLiteral("ITM:読込データ選択"));
    auto* itmGroup = new QActionGroup(this);
    itmGroup->addAction(AddCommand(
        itm, kCmdItmPoi, QStringLiteral(".poi"),
        [this] {
            state_.settings.itmReadPoi = 1;
            UpdateSettingsChecks();
        },
        true));
    itmGroup->addAction(AddCommand(
        itm, kCmdItmBin, QStringLiteral(".bin"),
        [this] {
            state_.settings.itmReadPoi = 0;
            UpdateSettingsChecks();
        },
        true));
    AddCommand(
        menu, kCmdItmKeepBoth, QStringLiteral("ITM:Q9書庫にpoi＆bin保存"),
        [this] {
            state_.settings.itmKeepBoth = state_.settings.itmKeepBoth ? 0 : 1;
            UpdateSettingsChecks();
        },
        true);
    AddCommand(
        menu, kCmdGpxRoutes, QStringLiteral("GPX:ルートデータ読込"),
        [this] {
            state_.store.readGpxRoutes = state_.store.readGpxRoutes ? 0 : 1;
            UpdateSettingsChecks();
        },
        true);
    AddCommand(menu, kCmdKmlTime, QStringLiteral("KML:読込データ時刻設定"), [this] { SetKmlTime(); });
    AddCommand(menu, kCmdStandstill, QStringLiteral("停留判定距離を設定"), [this] { SetStandstillDistance(); });
    AddCommand(menu, kCmdGeoidModel, QStringLiteral("Geoid Model"), [this] {
        const GeoidModelInfo info = DescribeGeoidModel(state_.settings.geoidModel, state_.settings.geoidResult);
        ShowMessage(info.text, info.title, MessageButtons::kOk, kAnswerOk, MessageIcon::kInformation);
    });
    AddCommand(menu, kCmdApiKey, QStringLiteral("Set Google Maps API Key"), [this] { SetApiKey(); });
    UpdateSettingsChecks();
}

// Check marks follow the switches, which scripts may change as well.
void MainWindow::UpdateSettingsChecks() {
    const Settings& settings = state_.settings;
    for (size_t i = 0; i < settings.baseMaps.size(); ++i) {
        if (QAction* action = ActionForCommand(kCmdBaseMapFirst + static_cast<int>(i))) {
            action->setChecked(static_cast<int>(i) == settings.currentBaseMap);
        }
    }
    ActionForCommand(kCmdDotDrawing)->setChecked(state_.dotDrawing);
    ActionForCommand(kCmdItmPoi)->setChecked(settings.itmReadPoi != 0);
    ActionForCommand(kCmdItmBin)->setChecked(settings.itmReadPoi == 0);
    ActionForCommand(kCmdItmKeepBoth)->setChecked(settings.itmKeepBoth != 0);
    ActionForCommand(kCmdGpxRoutes)->setChecked(state_.store.readGpxRoutes != 0);
}

void MainWindow::ChooseBaseMap(int index) {
    state_.settings.currentBaseMap = index;
    UpdateSettingsChecks();
    RedrawMap();
}

void MainWindow::ShowGraphWindow() {
    graph_->show();
    state_.graphShown = true;
    ActionForCommand(kCmdShowGraph)->setEnabled(false);
    graph_->Redraw();
}

void MainWindow::ShowTrackListWindow() {
    trackList_->show();
    state_.trackListShown = true;
    ActionForCommand(kCmdShowTrackList)->setEnabled(false);
}

void MainWindow::SetKmlTime() {
    Settings& settings = state_.settings;
    char start[20];
    FormatLocalTime(settings.kmlTimeDefaultStart, start);
    QString text = QString::fromLatin1(start) + u',' + QString::number(settings.kmlTimeDefaultStep);
    if (RunInputBox(this, QStringLiteral("Set KML Time Default"),
                    QStringLiteral("KMLファイル読込時の時刻初期値と増分を設定"), text) != kInputBoxOk) {
        return;
    }
    SetKmlTimeDefault(Utf8FromQString(text), settings);
}

void MainWindow::SetStandstillDistance() {
    Settings& settings = state_.settings;
    QString text = QString::asprintf("%.3f", static_cast<double>(settings.ssmeterslessthan));
    if (RunInputBox(this, QStringLiteral("Set Standstill Distance"), QStringLiteral("停留判定距離をメートル単位で設定"),
                    text) != kInputBoxOk) {
        return;
    }
    // The editing operations take whole metres; a text that is no number
    // reads as 0, which turns the standstill pass off.
    const std::string bytes = Utf8FromQString(text);
    double metres = std::strtod(bytes.c_str(), nullptr);
    if (!std::isfinite(metres)) metres = 0;
    settings.ssmeterslessthan = static_cast<int32_t>(std::clamp(metres, double{INT_MIN}, double{INT_MAX}));
}

void MainWindow::SetApiKey() {
    Settings& settings = state_.settings;
    QString text = QStringFromUtf8(settings.gmapapikey);
    for (;;) {
        if (RunInputBox(
                this, QStringLiteral("Google Maps API Key"),
                QStringLiteral("Google Maps API Key (半角英数字)を登録します。HTML に埋め込まれるので注意願います。"),
                text) != kInputBoxOk) {
            return;
        }
        const std::string key = Utf8FromQString(text);
        if (IsValidApiKey(key)) {
            settings.gmapapikey = key.substr(0, kApiKeyBytes);
            settings.gmapApiKeyInEffect = settings.gmapapikey;
            return;
        }
    }
}

}  // namespace trakvio
