#include "app/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QStatusBar>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <system_error>
#include <thread>

#include "app/device_commands.h"
#include "app/qt_text.h"
#include "app/track_list_window.h"
#include "archive/load_front_end.h"
#include "config/config_file.h"
#include "graph/graph_window.h"
#include "map/map_window.h"
#include "map/tile_cache_window.h"
#include "platform/local_time.h"
#include "platform/status_text.h"
#include "script/script_run.h"

namespace trakvio {

namespace fs = std::filesystem;

namespace {

// Widths of the status bar parts at 96 DPI; the last part takes the rest.
constexpr int kStatusWidths[kStatusPartCount - 1] = {25, 55, 50, 115, 125, 130, 125, 100};

// Loads shorter than this show no sign of being busy.
constexpr int kBusySignMs = 250;

// Texts of the core's status call reach part 8, from whatever thread they
// come.
void StatusTextToWindow(void* context, std::string_view text) {
    auto* window = static_cast<MainWindow*>(context);
    QString copy = QStringFromUtf8(text);
    if (QThread::currentThread() == window->thread()) {
        window->SetStatusPart(kStatusProgress, Utf8FromQString(copy));
        return;
    }
    QMetaObject::invokeMethod(
        window, [window, copy] { window->SetStatusPart(kStatusProgress, Utf8FromQString(copy)); },
        Qt::QueuedConnection);
}

bool HasExtension(const fs::path& path, const char* extension) {
    return QStringFromPath(path.extension()).compare(QLatin1String(extension), Qt::CaseInsensitive) == 0;
}

}  // namespace

MainWindow::MainWindow(AppState& state, MainWindowOptions options, QWidget* parent)
    : QMainWindow(parent), state_(state), options_(std::move(options)) {
    setWindowTitle(QStringLiteral("Trakvio（跡帳：径路記録編集）"));
    setAcceptDrops(true);

    fileMenu_ = menuBar()->addMenu(QStringLiteral("ファイル"));
    BuildFileMenu(fileMenu_);
    BuildSettingsMenu(menuBar()->addMenu(QStringLiteral("設定")));
    BuildHelpMenu(menuBar()->addMenu(QStringLiteral("ヘルプ")));

    map_ = new MapWindow(state_, *this, this);
    setCentralWidget(map_);
    BuildStatusBar();

    trackList_ = new TrackListWindow(state_, *this, this);
    PlaceChildWindow(trackList_, 50, 100);
    connect(trackList_, &TrackListWindow::closedByUser, this, [this] {
        state_.trackListShown = false;
        ActionForCommand(kCmdShowTrackList)->setEnabled(true);
    });
    // A pick shows the track list as the menu item would.
    connect(trackList_, &TrackListWindow::shownForPick, this,
            [this] { ActionForCommand(kCmdShowTrackList)->setEnabled(false); });
    tileCache_ = new TileCacheWindow(state_, this);
    PlaceChildWindow(tileCache_, 50, 100);
    graph_ = new GraphWindow(state_, *this, this);
    PlaceChildWindow(graph_, 60, 110);
    connect(graph_, &GraphWindow::closedByUser, this, [this] {
        state_.graphShown = false;
        ActionForCommand(kCmdShowGraph)->setEnabled(true);
    });

    devices_ = new DeviceCommands(state_, *this, this);
    connect(devices_, &DeviceCommands::captureChanged, this, &MainWindow::UpdateCaptureState);
    commands_[kCmdReceiverFixes].handler = [this] { devices_->OnNewFixes(); };

    SetStatusTextHandler(&StatusTextToWindow, this);

    const int width = options_.clientWidth > 0 ? options_.clientWidth : 1000;
    const int height = options_.clientHeight > 0 ? options_.clientHeight : 600;
    resize(width, height + menuBar()->sizeHint().height());
    // The window system places the main window; it only has to fit.
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen && options_.keepOnScreen) resize(size().boundedTo(screen->availableGeometry().size()));
}

MainWindow::~MainWindow() { SetStatusTextHandler(nullptr, nullptr); }

void MainWindow::ShowAtStart() {
    show();
    if (state_.settings.showTrackListWindow) ShowTrackListWindow();
    if (state_.settings.showGraphWindow) ShowGraphWindow();
}

QAction* MainWindow::AddCommand(QMenu* menu, int id, const QString& label, Handler handler, bool checkable) {
    QAction* action = menu->addAction(label);
    action->setData(id);
    action->setCheckable(checkable);
    connect(action, &QAction::triggered, this, [this, id] { RunCommand(id); });
    commands_[id] = Command{action, std::move(handler)};
    commandOrder_.push_back(id);
    return action;
}

bool MainWindow::RunCommand(int id) {
    auto found = commands_.find(id);
    if (found == commands_.end() || !found->second.handler) return false;
    // A command while a load runs would touch the store the worker fills.
    if (busy_) return true;
    found->second.handler();
    return true;
}

QAction* MainWindow::ActionForCommand(int id) const {
    auto found = commands_.find(id);
    return found == commands_.end() ? nullptr : found->second.action;
}

std::vector<int> MainWindow::CommandIds() const { return commandOrder_; }

void MainWindow::BuildStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setSizeGripEnabled(false);
    // The part widths suit a status bar font in which a point's local time
    // just fits its part; a wider desktop font widens every part alike.
    const QFontMetricsF metrics(bar->font());
    const double needed = metrics.horizontalAdvance(QStringLiteral("2026-12-31 23:59:59")) + 10;
    const double widen = std::clamp(needed / kStatusWidths[kStatusTime], 1.0, 1.5);
    for (int part = 0; part < kStatusPartCount; ++part) {
        const bool last = part == kStatusPartCount - 1;
        auto* label = new QLabel(bar);
        label->setFrameShape(QFrame::Panel);
        label->setFrameShadow(QFrame::Sunken);
        label->setTextFormat(Qt::PlainText);
        if (last) {
            label->setMinimumWidth(1);
            bar->addWidget(label, 1);
        } else {
            label->setFixedWidth(static_cast<int>(kStatusWidths[part] * widen));
            bar->addWidget(label);
        }
        status_[part] = label;
    }
    status_[kStatusZoom]->setText(QStringLiteral("z%1").arg(map_->zoom()));
}

QString MainWindow::statusText(int part) const {
    return part >= 0 && part < kStatusPartCount ? status_[part]->text() : QString();
}

// Keeps a window of the given position (at 96 DPI, which Qt's logical pixels
// already are) inside the screen's work area, shrinking it when the screen is
// smaller than the window.
void MainWindow::PlaceChildWindow(QWidget* window, int x, int y) {
    QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen || !options_.keepOnScreen) {
        window->move(x, y);
        return;
    }
    const QRect area = screen->availableGeometry();
    QSize size = window->size().boundedTo(area.size());
    window->resize(size);
    x = std::clamp(x, area.left(), std::max(area.left(), area.right() + 1 - size.width()));
    y = std::clamp(y, area.top(), std::max(area.top(), area.bottom() + 1 - size.height()));
    window->move(x, y);
}

// ---- Shell ----

void MainWindow::SetStatusPart(int part, std::string_view text) {
    if (part < 0 || part >= kStatusPartCount) return;
    status_[part]->setText(QStringFromUtf8(text));
}

void MainWindow::ShowPointInfo(int index) {
    const TrackStore& store = state_.store;
    if (index < 0 || index >= LoadPointCount(store) || index >= static_cast<int>(store.points.size())) return;
    int track = 0;
    while (track < store.trackCount && store.trackEnd[static_cast<size_t>(track)] < index) ++track;
    const LogPoint& p = store.points[static_cast<size_t>(index)];
    char time[20];
    FormatLocalTime(p.time, time);
    status_[kStatusTrack]->setText(QStringLiteral("t.%1").arg(track + 1));
    status_[kStatusPoint]->setText(QStringLiteral("p.%1").arg(index + 1));
    status_[kStatusTime]->setText(QString::fromLatin1(time));
    status_[kStatusPosition]->setText(QString::asprintf("%f,%f", p.latitude, p.longitude));
    status_[kStatusAltitude]->setText(
        QString::asprintf("%.2f(%.2f)", static_cast<double>(p.geoidAltitude), static_cast<double>(p.altitude)));
}

void MainWindow::RefreshAfterLoad() {
    TrackStore& store = state_.store;
    const int32_t pointCount = LoadPointCount(store);
    if (pointCount <= 0) return;
    RefreshTrackList();
    state_.mapHasContent = true;
    const size_t count = std::min(static_cast<size_t>(pointCount), store.points.size());
    for (size_t i = 0; i < count; ++i) store.points[i].selected = 0;
    store.selectedCount = 0;
    map_->FitAndRender();
    status_[kStatusZoom]->setText(QStringLiteral("z%1").arg(map_->zoom()));
    const QString name = QStringFromPath(state_.settings.gpsLogDataFile.filename());
    setWindowTitle(name + QStringLiteral(" - Trakvio（跡帳）"));
    trackList_->setWindowTitle(name + QStringLiteral(" - Trakvio Track List"));
    RedrawGraph();
}

void MainWindow::RefreshAfterEdit() {
    RefreshTrackList();
    RedrawMap();
    RedrawGraph();
}

void MainWindow::RefreshTrackList() { trackList_->Refresh(); }

void MainWindow::RedrawMap() { map_->Render(); }

void MainWindow::RedrawGraph() {
    if (state_.graphShown) graph_->Redraw();
}

void MainWindow::SetMapHoverPoint(int index) { map_->SetHoverPoint(index); }

void MainWindow::SetGraphHoverPoint(int index) {
    if (state_.graphShown) graph_->SetHoverPoint(index);
}

int MainWindow::PickTracks(std::string_view prompt) { return trackList_->PickTracks(QStringFromUtf8(prompt), map_); }

// ---- Loading ----

int MainWindow::RunBusy(const QString& what, const std::function<int()>& work) {
    busy_ = true;
    int result = 0;
    QEventLoop loop;
    bool signShown = false;
    QTimer sign;
    sign.setSingleShot(true);
    connect(&sign, &QTimer::timeout, this, [&] {
        signShown = true;
        QApplication::setOverrideCursor(Qt::WaitCursor);
        SetStatusPart(kStatusProgress, Utf8FromQString(what));
    });
    sign.start(kBusySignMs);
    // The window keeps painting while the worker reads; user input waits.
    std::thread worker([&] {
        result = work();
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker.join();
    sign.stop();
    if (signShown) {
        QApplication::restoreOverrideCursor();
        if (status_[kStatusProgress]->text() == what) status_[kStatusProgress]->clear();
    }
    busy_ = false;
    return result;
}

int MainWindow::LoadOne(const fs::path& path) {
    const bool pseudo = !path.has_parent_path() && path.native().starts_with('.');
    if (!pseudo) state_.settings.gpsLogDataFile = path;
    const QString what = QStringLiteral("Loading %1 ...").arg(QStringFromPath(path.filename()));
    int result = RunBusy(what, [this, path] { return LoadLogFile(state_.store, state_.settings, path); });
    if (result == kLoadDone) state_.dataLoaded = true;
    return result;
}

int MainWindow::RunScriptFile(const fs::path& path) {
    state_.settings.scriptFile = path;
    const QString what = QStringLiteral("Running %1 ...").arg(QStringFromPath(path.filename()));
    int result = RunBusy(what, [this, path] { return RunScript(path, state_.settings, state_.store); });
    return result == kScriptDone ? kLoadDone : kLoadReaderError;
}

int MainWindow::LoadOrRun(const fs::path& path) {
    return HasExtension(path, ".q9s") ? RunScriptFile(path) : LoadOne(path);
}

void MainWindow::ClearStore() {
    ClearTrackStore(state_.store);
    state_.dataLoaded = false;
}

int MainWindow::OpenFromCommandLine(const fs::path& path) {
    if (busy_ || state_.capturing) return kLoadReaderError;
    ClearStore();
    int result = LoadOrRun(path);
    RefreshAfterLoad();
    return result;
}

void MainWindow::OpenDroppedFiles(std::vector<fs::path> paths, bool append) {
    if (busy_ || state_.capturing || paths.empty()) return;
    std::stable_sort(paths.begin(), paths.end(), [](const fs::path& a, const fs::path& b) {
        return QStringFromPath(a).compare(QStringFromPath(b), Qt::CaseInsensitive) < 0;
    });
    if (!append) ClearStore();
    for (const fs::path& path : paths) LoadOrRun(path);
    RefreshAfterLoad();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
    std::vector<fs::path> paths;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile()) paths.push_back(PathFromQString(url.toLocalFile()));
    }
    if (paths.empty()) return;
    event->acceptProposedAction();
    const bool append = (event->modifiers() & Qt::ControlModifier) != 0;
    // The drag source waits for the drop to end; the files load right after.
    QTimer::singleShot(0, this, [this, paths, append] { OpenDroppedFiles(paths, append); });
}

// Escape drops the tile downloads still outstanding wherever the focus is in
// the main window (the map handles it itself when it has the focus).
void MainWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        map_->CancelTileDownloads();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void MainWindow::UpdateCaptureState(bool capturing) {
    state_.capturing = capturing;
    ActionForCommand(kCmdReceiver)
        ->setText(capturing ? QStringLiteral("GPSレシーバーから読込終了") : QStringLiteral("GPSレシーバーから読込"));
    for (int id : {kCmdNewLoad, kCmdAppendLoad, kCmdArchiveOpen, kCmdArchiveSaveAs, kCmdArchiveSave, kCmdLogZip,
                   kCmdRunScript}) {
        ActionForCommand(id)->setEnabled(!capturing);
    }
    const QList<QAction*> items = fileMenu_->actions();
    for (int position : {2, 10}) {
        if (position < items.size()) items[position]->setEnabled(!capturing);
    }
}

// ---- Closing ----

void MainWindow::closeEvent(QCloseEvent* event) {
    // A pick of the track list holds the command that asked for it.
    if (busy_ || trackList_->picking()) {
        event->ignore();
        return;
    }
    if (!closed_) {
        closed_ = true;
        if (!options_.configPath.empty()) WriteBackConfiguration(options_.configPath, state_.settings);
        CleanWorkFolder(state_.settings.workFolder);
        trackList_->hide();
        graph_->hide();
        tileCache_->hide();
    }
    event->accept();
}

bool IsValidApiKey(const std::string& key) {
    return std::all_of(key.begin(), key.end(), [](char c) {
        auto byte = static_cast<unsigned char>(c);
        return byte >= 33 && byte <= 126;
    });
}

namespace {

// Removes one entry without following a link; a folder goes with what it
// holds (remove_all removes links inside it as links too).
int RemoveEntry(const fs::path& path) {
    std::error_code ec;
    fs::file_status status = fs::symlink_status(path, ec);
    if (ec) return 1;
    if (fs::is_directory(status)) {
        fs::remove_all(path, ec);
    } else {
        fs::remove(path, ec);
    }
    return ec ? 1 : 0;
}

}  // namespace

int CleanWorkFolder(const fs::path& workFolder) {
    if (workFolder.empty()) return 0;
    fs::path folder = workFolder.lexically_normal();
    if (!folder.has_filename()) folder = folder.parent_path();
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) return 0;
    int failures = 0;
    const fs::path extraction = folder / "q9zdir";
    if (fs::exists(fs::symlink_status(extraction, ec))) failures += RemoveEntry(extraction);
    if (QStringFromPath(folder.filename()).compare(QLatin1String("q9work"), Qt::CaseInsensitive) != 0) {
        return failures;
    }
    std::vector<fs::path> files;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        fs::file_status status = it->symlink_status(ec);
        if (ec) break;
        // Files and links directly inside; sub-folders stay.
        if (!fs::is_directory(status)) files.push_back(it->path());
    }
    if (ec) ++failures;
    for (const fs::path& file : files) {
        std::error_code removeError;
        fs::remove(file, removeError);
        if (removeError) ++failures;
    }
    return failures;
}

}  // namespace trakvio
