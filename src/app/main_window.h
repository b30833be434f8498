// The main window: the menu bar with every command by its number, the map as
// the central child, the nine-part status bar, the track list, tile cache and
// graph windows, files from the command line and by drag and drop, and the
// clean-up when the program closes. Commands go through one table from
// command id to handler, so menus, tests and the process entry all run a
// command the same way.
#pragma once

#include <QLabel>
#include <QMainWindow>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/shell.h"

class QAction;
class QMenu;

namespace trakvio {

class MapWindow;
class TrackListWindow;
class TileCacheWindow;
class GraphWindow;
class DeviceCommands;

// Command ids of the menus.
enum CommandId : int {
    kCmdNewLoad = 1001,
    kCmdAppendLoad = 1002,
    kCmdMtkLoad = 1003,
    kCmdMtkLoadSave = 1004,
    kCmdMtkErase = 1005,
    kCmdArchiveOpen = 1006,
    kCmdArchiveSaveAs = 1007,
    kCmdArchiveSave = 1008,
    kCmdLogZip = 1009,
    kCmdExportLeaflet = 1010,
    kCmdExportGoogleMaps = 1011,
    kCmdExportKml = 1012,
    kCmdCopyPicture = 1013,
    kCmdRunScript = 1014,
    kCmdSortByTime = 1015,
    kCmdExit = 1016,
    kCmdReceiver = 1017,
    kCmdReceiverFixes = 1018,
    kCmdDotDrawing = 1021,
    kCmdShowGraph = 1022,
    kCmdShowTrackList = 1023,
    kCmdShowTileCache = 1024,
    kCmdItmPoi = 1025,
    kCmdItmBin = 1026,
    kCmdItmKeepBoth = 1027,
    kCmdGpxRoutes = 1028,
    kCmdKmlTime = 1029,
    kCmdStandstill = 1030,
    kCmdGeoidModel = 1031,
    kCmdApiKey = 1032,
    kCmdUserManual = 1040,
    kCmdScriptSample = 1041,
    kCmdAbout = 1042,
    kCmdBrowseUserFolder = 1043,
    kCmdBrowseCacheFolder = 1044,
    kCmdBrowseWorkFolder = 1045,
    kCmdEditIni = 1046,
    kCmdSystemInformation = 1047,
    kCmdBaseMapFirst = 1060,
};

// How the main window was started.
struct MainWindowOptions {
    // The configuration file that is written back when the window closes
    // (empty: nothing is written).
    std::filesystem::path configPath;
    // The system information report gathered at start.
    std::string systemReport;
    // Main window client size; 0 keeps the default size.
    int clientWidth = 0;
    int clientHeight = 0;
    // Windows are kept inside the screen's work area (screenshots, drawn
    // off any screen, keep their sizes).
    bool keepOnScreen = true;
    // Opens files and folders for Help commands (tests record instead).
    std::function<bool(const std::filesystem::path&)> openLocation;
};

class MainWindow : public QMainWindow, public Shell {
    Q_OBJECT
  public:
    MainWindow(AppState& state, MainWindowOptions options, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Runs a command by its id, as its menu item does. Returns false when no
    // command has the id.
    bool RunCommand(int id);
    // The menu item of a command; nullptr when there is none.
    QAction* ActionForCommand(int id) const;
    // Every command id with a menu item, in menu order.
    std::vector<int> CommandIds() const;

    // Shows the window, and the track list and graph windows when the
    // configuration asks for them.
    void ShowAtStart();

    // Command 1033: the store is cleared, a ".q9s" runs as a script, any
    // other path is loaded; then the refresh after load. Returns the load
    // result (0 done).
    int OpenFromCommandLine(const std::filesystem::path& path);
    // Adds one path behind what is loaded (a ".q9s" runs) without refreshing.
    int LoadOrRun(const std::filesystem::path& path);
    // Dropped files: sorted by name without regard to case; without append
    // the store is cleared first; one refresh after the last file.
    void OpenDroppedFiles(std::vector<std::filesystem::path> paths, bool append);

    // The child windows.
    MapWindow* mapWindow() const { return map_; }
    TrackListWindow* trackListWindow() const { return trackList_; }
    TileCacheWindow* tileCacheWindow() const { return tileCache_; }
    GraphWindow* graphWindow() const { return graph_; }
    DeviceCommands* deviceCommands() const { return devices_; }
    QString statusText(int part) const;
    AppState& state() { return state_; }
    // The system information report Help shows (gathered after start).
    void SetSystemReport(std::string report) { options_.systemReport = std::move(report); }

    // Shell.
    void SetStatusPart(int part, std::string_view text) override;
    void ShowPointInfo(int index) override;
    void RefreshAfterLoad() override;
    void RefreshAfterEdit() override;
    void RefreshTrackList() override;
    void RedrawMap() override;
    void RedrawGraph() override;
    void SetMapHoverPoint(int index) override;
    void SetGraphHoverPoint(int index) override;
    int PickTracks(std::string_view prompt) override;

  protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    using Handler = std::function<void()>;
    struct Command {
        QAction* action = nullptr;
        Handler handler;
    };

    // Menu building, one function per menu (each beside its handlers).
    void BuildFileMenu(QMenu* menu);
    void BuildSettingsMenu(QMenu* menu);
    void BuildHelpMenu(QMenu* menu);
    QAction* AddCommand(QMenu* menu, int id, const QString& label, Handler handler, bool checkable = false);
    void BuildStatusBar();
    void UpdateCaptureState(bool capturing);
    void PlaceChildWindow(QWidget* window, int x, int y);

    // File menu.
    void LoadWithDialog(bool clearFirst);
    void LoadFromLogger(const char* pseudoPath);
    void OpenArchiveWithDialog();
    void SaveArchiveToCurrent();
    void SaveArchiveAs();
    void MakeLogZip();
    void ExportWebPage(bool google);
    void ExportKml();
    void SortByTime();
    void RunScriptWithDialog();
    bool RefuseWhileCapturing();

    // Settings menu.
    void ChooseBaseMap(int index);
    void SetKmlTime();
    void SetStandstillDistance();
    void SetApiKey();
    void ShowGraphWindow();
    void ShowTrackListWindow();
    void UpdateSettingsChecks();

    // Help menu.
    void OpenHelpPage(const char* name);
    void ShowAbout();
    void OpenLocation(const std::filesystem::path& path);

    // Runs a load or script on a worker thread while the window keeps
    // painting; the wait cursor and a text in part 8 appear when it takes
    // more than a quarter second.
    int RunBusy(const QString& what, const std::function<int()>& work);
    int LoadOne(const std::filesystem::path& path);
    int RunScriptFile(const std::filesystem::path& path);
    void ClearStore();
    std::u16string CurrentLogStem() const;

    AppState& state_;
    MainWindowOptions options_;
    std::map<int, Command> commands_;
    std::vector<int> commandOrder_;
    QMenu* fileMenu_ = nullptr;
    QMenu* baseMapMenu_ = nullptr;
    // The first file of the last log zip; it seeds the next one.
    std::filesystem::path logZipSeed_;
    QLabel* status_[kStatusPartCount] = {};
    MapWindow* map_ = nullptr;
    TrackListWindow* trackList_ = nullptr;
    TileCacheWindow* tileCache_ = nullptr;
    GraphWindow* graph_ = nullptr;
    DeviceCommands* devices_ = nullptr;
    bool busy_ = false;
    bool closed_ = false;
};

// Closing clean-up of the work folder: every file of "q9zdir" inside it and
// that folder are removed; when the work folder's own name is "q9work" the
// files directly inside it are deleted too (the folder stays). Symbolic links
// are removed as links, never followed, and nothing outside the work folder
// is touched. Returns the number of entries that could not be removed.
int CleanWorkFolder(const std::filesystem::path& workFolder);

// Whether an API key may be stored: empty, or only the characters 33-126.
bool IsValidApiKey(const std::string& key);

}  // namespace trakvio
