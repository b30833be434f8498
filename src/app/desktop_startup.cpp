#include "app/desktop_startup.h"

#include <QEventLoop>
#include <QFileDialog>
#include <QTimer>
#include <charconv>
#include <cstdio>
#include <string_view>
#include <system_error>

#include "app/main_window.h"
#include "app/qt_messages.h"
#include "app/qt_text.h"
#include "app/system_info.h"
#include "app/track_list_window.h"
#include "archive/track_archive.h"
#include "config/config_file.h"
#include "config/geoid_config.h"
#include "graph/graph_window.h"
#include "map/map_window.h"
#include "map/tile_cache_window.h"
#include "platform/folders.h"
#include "platform/messages.h"
#include "platform/sqlite_library.h"
#include "readers/log_loader.h"

namespace trakvio {

namespace fs = std::filesystem;

namespace {

constexpr const char* kUsage =
    "usage: trakvio [--ini FILE] [--screenshot DIR [--size WxH]] [PATH...]\n"
    "\n"
    "Opens the main window and loads each PATH, the first in place of what is\n"
    "loaded and the others behind it (a .q9s script is run).\n"
    "  --ini FILE        read FILE instead of the user's Trakvio.ini\n"
    "  --screenshot DIR  load every PATH, wait until the windows are drawn, write\n"
    "                    main.png (and track_list.png, graph.png, tile_cache.png\n"
    "                    for the windows shown) into DIR, print their paths and\n"
    "                    exit with the load's status (0 loaded, 2 not a log file,\n"
    "                    3 read error, 4 SQLite library missing)\n"
    "  --size WxH        client size of the main window (default 1000x600)\n";

// Longest wait for the map's tiles in screenshot mode.
constexpr int kScreenshotWaitMs = 120000;

void PrintUsageError(std::string_view problem) {
    std::fprintf(stderr, "trakvio: %.*s\n%s", static_cast<int>(problem.size()), problem.data(), kUsage);
}

fs::path Absolute(const fs::path& path) {
    std::error_code ec;
    fs::path absolute = fs::absolute(path, ec);
    return ec ? path : absolute.lexically_normal();
}

bool ParseSize(std::string_view text, int& width, int& height) {
    size_t x = text.find_first_of("xX");
    if (x == std::string_view::npos) return false;
    auto parse = [](std::string_view part, int& value) {
        auto [end, ec] = std::from_chars(part.data(), part.data() + part.size(), value);
        return ec == std::errc() && end == part.data() + part.size() && value >= 1 && value <= 16384;
    };
    return parse(text.substr(0, x), width) && parse(text.substr(x + 1), height);
}

fs::path BrowseWithDialog(void*, std::string_view prompt, const fs::path& initial) {
    QString chosen = QFileDialog::getExistingDirectory(nullptr, QStringFromUtf8(prompt), QStringFromPath(initial));
    return chosen.isEmpty() ? fs::path() : PathFromQString(chosen);
}

// Waits until the map has drawn everything it asked for (tiles included).
void WaitUntilDrawn(QApplication& app, MainWindow& window) {
    app.processEvents();
    MapWindow* map = window.mapWindow();
    if (!map->isIdle()) {
        QEventLoop loop;
        QObject::connect(map, &MapWindow::idle, &loop, &QEventLoop::quit);
        QTimer::singleShot(kScreenshotWaitMs, &loop, &QEventLoop::quit);
        if (!map->isIdle()) loop.exec();
    }
    app.processEvents();
}

int WriteScreenshots(const fs::path& folder, MainWindow& window) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    struct Shot {
        QWidget* widget;
        const char* name;
    };
    const Shot shots[] = {{&window, "main.png"},
                          {window.trackListWindow(), "track_list.png"},
                          {window.graphWindow(), "graph.png"},
                          {window.tileCacheWindow(), "tile_cache.png"}};
    int status = 0;
    for (const Shot& shot : shots) {
        if (!shot.widget->isVisible()) continue;
        const fs::path path = folder / shot.name;
        if (!shot.widget->grab().save(QStringFromPath(path), "PNG")) {
            std::fprintf(stderr, "trakvio: %s: cannot write the screenshot\n", path.c_str());
            status = kDesktopExitFailure;
            continue;
        }
        std::printf("%s\n", path.c_str());
    }
    std::fflush(stdout);
    return status;
}

// Screenshot runs print only their paths and real problems: the offscreen
// platform's notes about window features it lacks are dropped.
void QuietQtMessages(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type != QtFatalMsg && type != QtCriticalMsg &&
        (text.startsWith(QLatin1String("This plugin does not support")) ||
         text.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR")))) {
        return;
    }
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, text)));
}

}  // namespace

void InstallQuietQtMessages() { qInstallMessageHandler(&QuietQtMessages); }

int ParseDesktopArguments(int argc, char** argv, DesktopOptions& options) {
    bool optionsEnded = false;
    bool hasSize = false;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        auto value = [&](std::string_view name, std::string_view& out) {
            if (arg == name) {
                if (i + 1 >= argc || argv[i + 1][0] == '\0') return -1;
                out = argv[++i];
                return 1;
            }
            if (arg.size() > name.size() + 1 && arg.starts_with(name) && arg[name.size()] == '=') {
                out = arg.substr(name.size() + 1);
                return 1;
            }
            return 0;
        };
        std::string_view text;
        int found;
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            options.paths.push_back(Absolute(fs::path(std::string(arg))));
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if ((found = value("--ini", text)) != 0) {
            if (found < 0) return PrintUsageError("--ini needs a FILE"), kDesktopExitUsage;
            options.hasIni = true;
            options.ini = Absolute(fs::path(std::string(text)));
        } else if ((found = value("--screenshot", text)) != 0) {
            if (found < 0) return PrintUsageError("--screenshot needs a DIR"), kDesktopExitUsage;
            options.screenshot = true;
            options.screenshotFolder = Absolute(fs::path(std::string(text)));
        } else if ((found = value("--size", text)) != 0) {
            if (found < 0 || !ParseSize(text, options.width, options.height)) {
                return PrintUsageError("--size needs WxH, e.g. 1000x600"), kDesktopExitUsage;
            }
            hasSize = true;
        } else {
            PrintUsageError("unknown option '" + std::string(arg) + "'");
            return kDesktopExitUsage;
        }
    }
    if (hasSize && !options.screenshot) {
        PrintUsageError("--size goes with --screenshot");
        return kDesktopExitUsage;
    }
    return 0;
}

int SetUpDesktopState(const DesktopOptions& options, AppState& state, fs::path& configPath) {
    Settings& settings = state.settings;
    state.programFolder = ProgramFolder();
    settings.userFolder = UserDataFolder();
    configPath.clear();
    if (options.hasIni) {
        configPath = options.ini;
    } else if (LocateConfiguration(settings.userFolder, state.programFolder / "_Trakvio.ini", configPath) != 0) {
        ShowMessage("No configuration file could be set up in " +
                        Utf8FromQString(QStringFromPath(settings.userFolder)) + "; the defaults are used.",
                    "Trakvio", MessageButtons::kOk, kAnswerOk, MessageIcon::kWarning);
        configPath.clear();
    }
    std::error_code ec;
    fs::remove(ArchiveErrorLogPath(settings), ec);
    if (!configPath.empty() && ReadConfiguration(configPath, settings) != 0) {
        if (options.hasIni) {
            std::fprintf(stderr, "trakvio: %s: cannot read the configuration\n", configPath.c_str());
            return kDesktopExitFailure;
        }
        configPath.clear();
    }
    if (configPath.empty()) ApplyFolderRules(settings);
    LoadConfiguredGeoidModel(settings);

    if (CreateTrackStore(state.store, settings.maxlogpoints, settings.maxtracks) != 0) {
        ShowMessage("The track store for " + std::to_string(settings.maxlogpoints) + " points and " +
                        std::to_string(settings.maxtracks) +
                        " tracks cannot be allocated; the default capacities are used.",
                    "Trakvio", MessageButtons::kOk, kAnswerOk, MessageIcon::kError);
        settings.maxlogpoints = kDefaultMaxLogPoints;
        settings.maxtracks = kDefaultMaxTracks;
        if (CreateTrackStore(state.store, settings.maxlogpoints, settings.maxtracks) != 0) return kDesktopExitFailure;
    }
    state.store.tracklinewidthdefault = settings.tracklinewidthdefault;
    state.store.tracklinecolordefault = settings.tracklinecolordefault;
    return 0;
}

int RunDesktop(QApplication& app, const DesktopOptions& options) {
    if (options.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    // Screenshots are made without anyone to answer a box: messages go to
    // stderr with their default answers.
    if (!options.screenshot) {
        InstallQtMessageBoxes();
        SetFolderBrowser(&BrowseWithDialog, nullptr);
    }
    AppState state;
    fs::path configPath;
    if (int status = SetUpDesktopState(options, state, configPath); status != 0) return status;

    MainWindowOptions windowOptions;
    // A screenshot leaves the user's remembered files as they were.
    if (!options.screenshot) windowOptions.configPath = configPath;
    if (options.screenshot) {
        windowOptions.clientWidth = options.width;
        windowOptions.clientHeight = options.height;
        windowOptions.keepOnScreen = false;
    }
    MainWindow window(state, windowOptions);
    window.ShowAtStart();
    LoadSqliteLibrary(state.settings.sqlite);
    // The report asks the desktop for its default applications, which takes
    // a moment; it is gathered once the window is up.
    QTimer::singleShot(0, &window, [&window] { window.SetSystemReport(GatherSystemInformation()); });

    int status = 0;
    for (size_t i = 0; i < options.paths.size(); ++i) {
        const fs::path& path = options.paths[i];
        std::error_code ec;
        int result;
        if (!fs::is_regular_file(path, ec)) {
            ShowMessage(Utf8FromQString(QStringFromPath(path)) + ": no such file", "Trakvio", MessageButtons::kOk,
                        kAnswerOk, MessageIcon::kWarning);
            result = kLoadReaderError;
        } else if (i == 0) {
            result = window.OpenFromCommandLine(path);
        } else {
            result = window.LoadOrRun(path);
            window.RefreshAfterLoad();
        }
        if (result != 0) status = result;
    }
    if (!options.screenshot) {
        int result = app.exec();
        return result;
    }
    WaitUntilDrawn(app, window);
    if (int written = WriteScreenshots(options.screenshotFolder, window); written != 0 && status == 0) status = written;
    window.close();
    return status;
}

}  // namespace trakvio
