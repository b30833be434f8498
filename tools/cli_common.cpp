#include "cli_common.h"

#include <cstdio>
#include <system_error>

#include "archive/load_front_end.h"
#include "config/config_file.h"
#include "config/geoid_config.h"
#include "platform/folders.h"
#include "platform/utf.h"

namespace trakvio::cli {

namespace fs = std::filesystem;

fs::path Absolute(const fs::path& path) {
    std::error_code ec;
    fs::path absolute = fs::absolute(path, ec);
    return ec ? path : absolute.lexically_normal();
}

std::string ValidUtf8(std::string_view bytes) { return Utf16ToUtf8(Utf8ToUtf16(bytes)); }

void PrintFileProblem(const fs::path& path, std::string_view problem) {
    std::string name = ValidUtf8(path.string());
    std::fprintf(stderr, "%s: %s: %.*s\n", kProgram, name.c_str(), static_cast<int>(problem.size()), problem.data());
}

int ReadCliSettings(bool hasIni, const fs::path& ini, Settings& settings) {
    settings.userFolder = UserDataFolder();
    fs::path configPath;
    if (hasIni) {
        configPath = ini;
    } else if (LocateConfiguration(settings.userFolder, ProgramFolder() / "_Trakvio.ini", configPath) != 0) {
        PrintFileProblem(settings.userFolder, "no configuration file could be set up here; using the defaults");
        return 0;
    }
    if (ReadConfiguration(configPath, settings) != 0) {
        if (hasIni) {
            PrintFileProblem(configPath, "cannot read the configuration");
            return kExitFailure;
        }
        PrintFileProblem(configPath, "cannot read the configuration; using the defaults");
    }
    LoadConfiguredGeoidModel(settings);
    return 0;
}

int LoadAll(TrackStore& store, Settings& settings, const std::vector<fs::path>& paths, std::vector<int>& results) {
    int status = 0;
    for (const fs::path& path : paths) {
        std::error_code ec;
        fs::file_status fileStatus = fs::status(path, ec);
        int result;
        if (!fs::exists(fileStatus)) {
            PrintFileProblem(path, "no such file");
            result = kLoadReaderError;
        } else if (fs::is_directory(fileStatus)) {
            PrintFileProblem(path, "is a folder, not a log file");
            result = kLoadReaderError;
        } else {
            result = LoadLogFile(store, settings, path);
            // The loader reports read errors and a missing SQLite library itself.
            if (result == kLoadUnknownKind) {
                PrintFileProblem(path, "not a recognised log file");
            } else if (result != kLoadDone && result != kLoadReaderError && result != kLoadSqliteMissing) {
                PrintFileProblem(path, "could not be loaded (result " + std::to_string(result) + ")");
            }
        }
        results.push_back(result);
        if (result != 0) status = result;
    }
    return status;
}

int SetUpCliStore(TrackStore& store, const Settings& settings) {
    if (CreateTrackStore(store, settings.maxlogpoints, settings.maxtracks) != 0) {
        std::fprintf(stderr, "%s: cannot create a track store for %d points and %d tracks\n", kProgram,
                     static_cast<int>(settings.maxlogpoints), static_cast<int>(settings.maxtracks));
        return kExitFailure;
    }
    store.tracklinewidthdefault = settings.tracklinewidthdefault;
    store.tracklinecolordefault = settings.tracklinecolordefault;
    return 0;
}

}  // namespace trakvio::cli
