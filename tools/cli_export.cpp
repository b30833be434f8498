// trakvio-cli export: loads the PATHs as info does and writes every output
// asked for, in the order given: Leaflet and Google Maps pages, KML or KMZ,
// and track archives. Outputs are written from what could be loaded; one
// line on stderr names each output that could not be written.
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "archive/track_archive.h"
#include "cli_common.h"
#include "config/settings.h"
#include "export/kml_writer.h"
#include "export/web_map_page.h"
#include "platform/utf.h"
#include "store/track_store.h"

namespace trakvio::cli {

namespace {

namespace fs = std::filesystem;

constexpr const char* kExportUsage =
    "usage: trakvio-cli export [--ini FILE] [--title TEXT] OUTPUT... PATH...\n"
    "OUTPUT is one or more of\n"
    "  --leaflet FILE   Leaflet web map page\n"
    "  --gmap FILE      Google Maps web map page (with the configured API key)\n"
    "  --kml FILE       KML document; a FILE ending in .kmz gets it zipped\n"
    "  --q9z FILE       track archive of the loaded files\n"
    "--title TEXT names the pages and the KML document (default: the last PATH's\n"
    "file name without its extension).\n"
    "Exit status: 0 when done; 1 when an output could not be written or nothing\n"
    "was loaded; otherwise the last load result as for info; 64 for a usage error.\n";

enum class OutputKind { kLeaflet, kGoogleMaps, kKml, kArchive };

struct ExportOutput {
    OutputKind kind;
    fs::path path;
};

struct ExportOptions {
    bool help = false;
    bool hasIni = false;
    fs::path ini;
    bool hasTitle = false;
    std::string title;
    std::vector<ExportOutput> outputs;
    std::vector<fs::path> paths;
};

int UsageError(std::string_view problem) {
    std::fprintf(stderr, "%s: export: %.*s\n%s", kProgram, static_cast<int>(problem.size()), problem.data(),
                 kExportUsage);
    return kExitUsage;
}

// Takes the value of an option given as "--name VALUE" or "--name=VALUE".
// Returns 1 when arg is that option with its value, 0 when arg is another
// option, -1 when the value is missing.
int OptionValue(int argc, char** argv, int& i, std::string_view name, std::string& value) {
    std::string_view arg = argv[i];
    if (!arg.starts_with(name)) return 0;
    if (arg.size() == name.size()) {
        if (i + 1 >= argc || argv[i + 1][0] == '\0') return -1;
        value = argv[++i];
        return 1;
    }
    if (arg[name.size()] != '=') return 0;
    value = std::string(arg.substr(name.size() + 1));
    return value.empty() ? -1 : 1;
}

int ParseExportArguments(int argc, char** argv, ExportOptions& options) {
    static constexpr struct {
        std::string_view name;
        OutputKind kind;
    } kOutputOptions[] = {{"--leaflet", OutputKind::kLeaflet},
                          {"--gmap", OutputKind::kGoogleMaps},
                          {"--kml", OutputKind::kKml},
                          {"--q9z", OutputKind::kArchive}};
    bool optionsEnded = false;
    for (int i = 2; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            options.paths.emplace_back(std::string(arg));
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            options.help = true;
            return 0;
        }
        std::string value;
        int found = OptionValue(argc, argv, i, "--ini", value);
        if (found == 1) {
            options.hasIni = true;
            options.ini = value;
            continue;
        }
        if (found == 0 && (found = OptionValue(argc, argv, i, "--title", value)) == 1) {
            options.hasTitle = true;
            options.title = value;
            continue;
        }
        for (const auto& output : kOutputOptions) {
            if (found != 0) break;
            if ((found = OptionValue(argc, argv, i, output.name, value)) == 1) {
                options.outputs.push_back({output.kind, fs::path(value)});
            }
        }
        if (found == -1) return UsageError(std::string(arg.substr(0, arg.find('='))) + " needs a value");
        if (found == 0) return UsageError("unknown option '" + std::string(arg) + "'");
    }
    if (options.outputs.empty()) return UsageError("no output given (--leaflet, --gmap, --kml or --q9z)");
    if (options.paths.empty()) return UsageError("no PATH given");
    return 0;
}

bool HasBaseMap(const Settings& settings, std::u16string_view tileId) {
    for (const BaseMap& map : settings.baseMaps) {
        if (map.tileId == tileId) return true;
    }
    return false;
}

// Writes one output; returns 0, or kExitFailure after saying why on stderr.
int WriteOutput(const ExportOutput& output, const std::u16string& title, const TrackStore& store,
                const Settings& settings) {
    int result = 0;
    switch (output.kind) {
        case OutputKind::kLeaflet:
            // The page shows the layer whose variable is osmjp first.
            if (!HasBaseMap(settings, u"osmjp")) {
                PrintFileProblem(output.path, "warning: no base map has the id osmjp; the page shows no tiles");
            }
            result = WriteLeafletPage(output.path, title, store, settings, store.allMinLat, store.allMaxLat,
                                      store.allMinLon, store.allMaxLon);
            break;
        case OutputKind::kGoogleMaps:
            result = WriteGoogleMapsPage(output.path, title, settings.gmapApiKeyInEffect, store, settings,
                                         (store.allMinLat + store.allMaxLat) / 2,
                                         (store.allMinLon + store.allMaxLon) / 2, store.initialZoom);
            break;
        case OutputKind::kKml:
            result = WriteKml(output.path, title, store);
            break;
        case OutputKind::kArchive: {
            // The property file goes through the work folder, which the
            // program makes at start; with --ini nothing has made it yet.
            std::error_code ec;
            fs::create_directories(settings.workFolder, ec);
            if (SaveArchive(store, settings, output.path) != 0) {
                PrintFileProblem(output.path, "cannot write the archive");
                return kExitFailure;
            }
            return 0;
        }
    }
    switch (result) {
        case kExportDone:
            return 0;
        case kExportCannotCreate:
            PrintFileProblem(output.path, "cannot be created");
            break;
        case kExportZipFailed:
            PrintFileProblem(output.path, "cannot pack the KMZ");
            break;
        default:
            PrintFileProblem(output.path, "writing failed; nothing kept");
            break;
    }
    return kExitFailure;
}

}  // namespace

int RunExportCommand(int argc, char** argv) {
    ExportOptions options;
    if (int status = ParseExportArguments(argc, argv, options); status != 0) return status;
    if (options.help) {
        std::fputs(kExportUsage, stdout);
        return 0;
    }
    // The configuration may move the working folder: every path is made
    // absolute first.
    for (fs::path& path : options.paths) path = Absolute(path);
    for (ExportOutput& output : options.outputs) output.path = Absolute(output.path);
    if (options.hasIni) options.ini = Absolute(options.ini);
    const std::u16string title = Utf8ToUtf16(options.hasTitle ? options.title : options.paths.back().stem().string());

    Settings settings;
    if (int status = ReadCliSettings(options.hasIni, options.ini, settings); status != 0) return status;
    TrackStore store;
    if (int status = SetUpCliStore(store, settings); status != 0) return status;
    std::vector<int> results;
    const int loadStatus = LoadAll(store, settings, options.paths, results);
    if (store.pointCount == 0) {
        std::fprintf(stderr, "%s: export: no points were loaded; nothing written\n", kProgram);
        return loadStatus != 0 ? loadStatus : kExitFailure;
    }

    int outputStatus = 0;
    for (const ExportOutput& output : options.outputs) {
        if (WriteOutput(output, title, store, settings) != 0) outputStatus = kExitFailure;
    }
    return outputStatus != 0 ? outputStatus : loadStatus;
}

}  // namespace trakvio::cli
