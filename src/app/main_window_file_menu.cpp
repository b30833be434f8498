// The File menu: loading, the logger and the receiver, archives, the log zip,
// exports, the map picture, the time-order repair, scripts and the exit.
#include <QAction>
#include <QMenu>

#include "app/device_commands.h"
#include "app/file_dialog.h"
#include "app/main_window.h"
#include "app/qt_text.h"
#include "archive/track_archive.h"
#include "archive/zip_files.h"
#include "compute/track_edit.h"
#include "export/export_text.h"
#include "export/kml_writer.h"
#include "export/web_map_page.h"
#include "map/map_window.h"
#include "platform/messages.h"
#include "readers/log_loader.h"

namespace trakvio {

namespace fs = std::filesystem;

void MainWindow::BuildFileMenu(QMenu* menu) {
    AddCommand(menu, kCmdNewLoad, QStringLiteral("ログデータ新規読込"), [this] { LoadWithDialog(true); });
    AddCommand(menu, kCmdAppendLoad, QStringLiteral("ログデータ追加読込"), [this] { LoadWithDialog(false); });
    QMenu* logger = menu->addMenu(QStringLiteral("GPSデータロガー"));
    AddCommand(logger, kCmdMtkLoad, QStringLiteral("MTK Logger読込(USB経由)"),
               [this] { LoadFromLogger(".mtk-logger"); });
    AddCommand(logger, kCmdMtkLoadSave, QStringLiteral("MTK Looger読込(USB経由)＆.bin保存"),
               [this] { LoadFromLogger(".mtk-logger_save"); });
    AddCommand(logger, kCmdMtkErase, QStringLiteral("MTK Looger ログ消去(USB経由)"),
               [this] { devices_->EraseLogger(); });
    AddCommand(menu, kCmdReceiver, QStringLiteral("GPSレシーバーから読込"), [this] { devices_->ToggleCapture(); });
    menu->addSeparator();
    AddCommand(menu, kCmdArchiveOpen, QStringLiteral("Q9 書庫を開く"), [this] { OpenArchiveWithDialog(); });
    AddCommand(menu, kCmdArchiveSave, QStringLiteral("Q9 書庫 上書き保存"), [this] { SaveArchiveToCurrent(); });
    AddCommand(menu, kCmdArchiveSaveAs, QStringLiteral("Q9 書庫 名前を付けて保存"), [this] { SaveArchiveAs(); });
    menu->addSeparator();
    AddCommand(menu, kCmdLogZip, QStringLiteral("ログ圧縮書庫作成"), [this] { MakeLogZip(); });
    QMenu* exports = menu->addMenu(QStringLiteral("エクスポート"));
    AddCommand(exports, kCmdExportLeaflet, QStringLiteral("Leaflet JavaScript HTML"), [this] { ExportWebPage(false); });
    AddCommand(exports, kCmdExportGoogleMaps, QStringLiteral("Google Map JavaScript HTML"),
               [this] { ExportWebPage(true); });
    AddCommand(exports, kCmdExportKml, QStringLiteral("KML"), [this] { ExportKml(); });
    menu->addSeparator();
    AddCommand(menu, kCmdCopyPicture, QStringLiteral("画像をクリップボードにコピー"),
               [this] { map_->CopyPictureToClipboard(); });
    menu->addSeparator();
    AddCommand(menu, kCmdSortByTime, QStringLiteral("ログデータ読込昇順修正"), [this] { SortByTime(); });
    menu->addSeparator();
    AddCommand(menu, kCmdRunScript, QStringLiteral("スクリプト実行"), [this] { RunScriptWithDialog(); });
    menu->addSeparator();
    AddCommand(menu, kCmdExit, QStringLiteral("終了"), [this] { close(); });
}

// Commands that load or replace data do nothing while the receiver fills the
// store.
bool MainWindow::RefuseWhileCapturing() { return state_.capturing; }

void MainWindow::LoadWithDialog(bool clearFirst) {
    if (RefuseWhileCapturing()) return;
    if (clearFirst) ClearStore();
    FileDialogRequest request;
    request.mode = kFileDialogOpen | kFileDialogMultiple;
    request.title = QStringLiteral("Select GPS Log data file");
    request.filter = QStringLiteral("GPS log files {*.gpx,*.nme,*.bin,*.poi,*.q9z,*.itm,*.kml,*.kmz,*.ggh}");
    request.seed = state_.settings.gpsLogDataFile;
    std::vector<fs::path> paths = RunFileDialog(this, request);
    if (paths.empty()) return;
    for (const fs::path& path : paths) LoadOne(path);
    RefreshAfterLoad();
}

void MainWindow::LoadFromLogger(const char* pseudoPath) {
    if (RefuseWhileCapturing()) return;
    ClearStore();
    if (LoadOne(fs::path(pseudoPath)) == kLoadDone) RefreshAfterLoad();
}

void MainWindow::OpenArchiveWithDialog() {
    if (RefuseWhileCapturing()) return;
    ClearStore();
    FileDialogRequest request;
    request.title = QStringLiteral("Select Q9Archive file");
    request.filter = QStringLiteral("Q9Archive files {*.q9z}");
    request.seed = state_.settings.q9ArchiveFile;
    std::vector<fs::path> paths = RunFileDialog(this, request);
    if (paths.empty()) return;
    state_.settings.q9ArchiveFile = paths.front();
    LoadOne(paths.front());
    RefreshAfterLoad();
}

void MainWindow::SaveArchiveToCurrent() {
    if (RefuseWhileCapturing() || state_.settings.q9ArchiveFile.empty()) return;
    SaveArchive(state_.store, state_.settings, state_.settings.q9ArchiveFile);
}

void MainWindow::SaveArchiveAs() {
    if (RefuseWhileCapturing() || (!state_.dataLoaded && state_.store.fileCount <= 0)) return;
    FileDialogRequest request;
    request.mode = kFileDialogSave;
    request.title = QStringLiteral("保存するQ9Archiveファイルを指定");
    request.filter = QStringLiteral("Q9Archive files {*.q9z}");
    request.seed = state_.settings.q9ArchiveFile;
    std::vector<fs::path> paths = RunFileDialog(this, request);
    if (paths.empty()) return;
    fs::path path = paths.front();
    if (path.filename().native().find('.') == std::string::npos) path += ".q9z";
    state_.settings.q9ArchiveFile = path;
    SaveArchive(state_.store, state_.settings, path);
}

void MainWindow::MakeLogZip() {
    if (RefuseWhileCapturing()) return;
    FileDialogRequest request;
    request.mode = kFileDialogOpen | kFileDialogMultiple;
    request.title = QStringLiteral("圧縮対象の GPSログデータファイルを選択（Ctrl/Shiftキーで複数選択可）");
    request.filter = QStringLiteral("GPS log files {*.gpx,*.nme,*.bin,*.poi,*.kml,*.ggh}");
    request.seed = logZipSeed_;
    std::vector<fs::path> files = RunFileDialog(this, request);
    if (files.empty()) return;
    logZipSeed_ = files.front();
    FileDialogRequest save;
    save.mode = kFileDialogSave;
    save.title = QStringLiteral("保存する圧縮書庫ファイルを指定");
    save.filter = QStringLiteral("ZIP files {*.zip}");
    save.seed = files.front().parent_path();
    std::vector<fs::path> zips = RunFileDialog(this, save);
    if (zips.empty()) return;
    fs::path zip = zips.front();
    if (!zip.has_extension()) zip += ".zip";
    if (MakeArchiveFromFiles(zip, fs::path(), files, 0) != 0) {
        ShowMessage("Cannot write the zip file " + Utf8FromQString(QStringFromPath(zip)), "Log zip",
                    MessageButtons::kOk, kAnswerOk, MessageIcon::kWarning);
    }
}

std::u16string MainWindow::CurrentLogStem() const {
    return Utf16FromQString(QStringFromPath(state_.settings.gpsLogDataFile.stem()));
}

namespace {

// The seed of an export dialog: the current log's name with the extension in
// the folder of the last export of that kind (else the log's own folder).
fs::path ExportSeed(const fs::path& lastExport, const fs::path& logPath, const char* extension) {
    fs::path folder = lastExport.empty() ? logPath.parent_path() : lastExport.parent_path();
    fs::path name = logPath.stem();
    if (name.empty()) return folder;
    name += extension;
    return folder.empty() ? name : folder / name;
}

void ReportExportFailure(const fs::path& path, int result) {
    if (result == kExportDone) return;
    ShowMessage("Cannot write " + Utf8FromQString(QStringFromPath(path)), "Export", MessageButtons::kOk, kAnswerOk,
                MessageIcon::kWarning);
}

}  // namespace

void MainWindow::ExportWebPage(bool google) {
    Settings& settings = state_.settings;
    fs::path& last = google ? settings.htmlGmapFile : settings.htmlLeafletFile;
    FileDialogRequest request;
    request.mode = kFileDialogSave;
    request.title = google ? QStringLiteral("Save GoogleMap Javascipt-HTML file")
                           : QStringLiteral("Save Leaflet Javascipt-HTML file");
    request.filter = QStringLiteral("HTML files {*.htm,*.html}");
    request.defaultSuffix = QStringLiteral("htm");
    request.seed = ExportSeed(last, settings.gpsLogDataFile, ".htm");
    std::vector<fs::path> paths = RunFileDialog(this, request);
    if (paths.empty()) return;
    last = paths.front();
    const TrackStore& store = state_.store;
    int result;
    if (google) {
        result = WriteGoogleMapsPage(last, CurrentLogStem(), settings.gmapApiKeyInEffect, store, settings,
                                     (store.allMinLat + store.allMaxLat) / 2, (store.allMinLon + store.allMaxLon) / 2,
                                     store.initialZoom);
    } else {
        result = WriteLeafletPage(last, CurrentLogStem(), store, settings, store.allMinLat, store.allMaxLat,
                                  store.allMinLon, store.allMaxLon);
    }
    ReportExportFailure(last, result);
}

void MainWindow::ExportKml() {
    Settings& settings = state_.settings;
    FileDialogRequest request;
    request.mode = kFileDialogSave;
    request.title = QStringLiteral("Save KML file");
    request.filter = QStringLiteral("KML files {*.kml,*.kmz}");
    request.defaultSuffix = QStringLiteral("kml");
    request.seed = ExportSeed(settings.kmlSaveFile, settings.gpsLogDataFile, ".kml");
    std::vector<fs::path> paths = RunFileDialog(this, request);
    if (paths.empty()) return;
    settings.kmlSaveFile = paths.front();
    ReportExportFailure(settings.kmlSaveFile, WriteKml(settings.kmlSaveFile, CurrentLogStem(), state_.store));
}

void MainWindow::SortByTime() {
    // Sorting moves the points the receiver thread is appending behind.
    if (RefuseWhileCapturing()) return;
    SortFilesByTime(state_.store);
    RefreshTrackList();
    RefreshAfterLoad();
}

void MainWindow::RunScriptWithDialog() {
    if (RefuseWhileCapturing()) return;
    FileDialogRequest request;
    request.title = QStringLiteral("Select Script file");
    request.filter = QStringLiteral("Script files {*.q9s,*.txt}");
    request.seed = state_.settings.scriptFile;
    std::vector<fs::path> paths = RunFileDialog(this, request);
    if (paths.empty()) return;
    if (RunScriptFile(paths.front()) != 0) {
        ShowMessage("Cannot read the script " + Utf8FromQString(QStringFromPath(paths.front())), "Script",
                    MessageButtons::kOk, kAnswerOk, MessageIcon::kWarning);
    }
    ShowMessage("スクリプト実行が完了しました", "Script Executed");
    RefreshAfterLoad();
}

}  // namespace trakvio
