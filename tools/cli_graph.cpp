// trakvio-cli graph: loads the paths and writes the graph as the graph
// window of the given client size (default 500x260) on a 96-DPI display
// would save it: SVG (plain .svg, or an HTML page for .html and other
// extensions) at the SVG DPI, or EMF at the reference resolution.
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "cli_common.h"
#include "graph/graph_output.h"
#include "graph/graph_svg.h"

namespace trakvio::cli {

namespace {

namespace fs = std::filesystem;

constexpr const char* kGraphUsage =
    "usage: trakvio-cli graph [--ini FILE] --x ITEM --y ITEM [--size WxH] [--dpi N] OUT PATH...\n"
    "\n"
    "Loads each PATH in order and writes the graph of all tracks to OUT:\n"
    "  OUT.svg (or no extension: .svg is added)  a plain SVG file\n"
    "  OUT.html (any other extension)            an HTML page holding the SVG\n"
    "  OUT.emf                                   an enhanced metafile\n"
    "\n"
    "  --x ITEM     time, elapsed or distance\n"
    "  --y ITEM     altitude, distance, speed (computed) or loggedspeed\n"
    "  --size WxH   the graph window's client size in pixels at 96 DPI (500x260)\n"
    "  --dpi N      SVG: the output resolution (the configured SVG DPI, 600 unless\n"
    "               set; 0 = the display's 96); EMF: the reference resolution\n"
    "               (96, the display's, unless given)\n"
    "  --ini FILE   read FILE instead of the user's Trakvio.ini\n"
    "\n"
    "With fewer than two enabled points there is nothing to draw: an SVG file is\n"
    "left empty and an EMF file holds an empty picture.\n"
    "Exit status: 0 when every file was loaded and the graph written, otherwise\n"
    "the last load result; 1 when the graph could not be written or the set-up\n"
    "failed; 64 for a usage error.\n";

constexpr int32_t kDisplayDpi = 96;

struct GraphOptions {
    bool hasIni = false;
    fs::path ini;
    int xItem = 0;
    int yItem = 0;
    int32_t width = 500;
    int32_t height = 260;
    bool hasDpi = false;
    int32_t dpi = 0;
    fs::path out;
    std::vector<fs::path> paths;
};

int UsageError(std::string_view problem) {
    std::fprintf(stderr, "%s: %.*s\n%s", kProgram, static_cast<int>(problem.size()), problem.data(), kGraphUsage);
    return kExitUsage;
}

bool ParseInt(std::string_view text, int32_t& value) {
    auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

int ItemIndex(std::string_view item, std::initializer_list<std::string_view> names) {
    int index = 1;
    for (std::string_view name : names) {
        if (item == name) return index;
        ++index;
    }
    return 0;
}

// What ParseGraphArguments returns after --help printed the usage.
constexpr int kHelpShown = 1;

// Returns 0, kHelpShown, or kExitUsage after the usage went to stderr.
int ParseGraphArguments(int argc, char** argv, GraphOptions& options) {
    std::vector<std::string_view> positional;
    bool optionsEnded = false;
    for (int i = 2; i < argc; ++i) {
        std::string_view arg = argv[i];
        auto value = [&](std::string_view name) -> const char* {
            if (i + 1 >= argc) return nullptr;
            (void)name;
            return argv[++i];
        };
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            positional.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--help" || arg == "-h") {
            std::fputs(kGraphUsage, stdout);
            return kHelpShown;
        } else if (arg == "--ini") {
            const char* file = value(arg);
            if (file == nullptr || *file == '\0') return UsageError("--ini needs a FILE");
            options.hasIni = true;
            options.ini = file;
        } else if (arg == "--x") {
            const char* item = value(arg);
            options.xItem = item == nullptr ? 0 : ItemIndex(item, {"time", "elapsed", "distance"});
            if (options.xItem == 0) return UsageError("--x needs time, elapsed or distance");
        } else if (arg == "--y") {
            const char* item = value(arg);
            options.yItem = item == nullptr ? 0 : ItemIndex(item, {"altitude", "distance", "speed", "loggedspeed"});
            if (options.yItem == 0) return UsageError("--y needs altitude, distance, speed or loggedspeed");
        } else if (arg == "--size") {
            const char* size = value(arg);
            std::string_view text = size == nullptr ? "" : size;
            const size_t x = text.find('x');
            if (x == std::string_view::npos || !ParseInt(text.substr(0, x), options.width) ||
                !ParseInt(text.substr(x + 1), options.height) || options.width < 1 || options.height < 1 ||
                options.width > 20000 || options.height > 20000) {
                return UsageError("--size needs WxH, two whole numbers from 1 to 20000");
            }
        } else if (arg == "--dpi") {
            const char* dpi = value(arg);
            if (dpi == nullptr || !ParseInt(dpi, options.dpi) || options.dpi < 0 || options.dpi > 9600) {
                return UsageError("--dpi needs a whole number from 0 to 9600");
            }
            options.hasDpi = true;
        } else {
            return UsageError("unknown option '" + std::string(arg) + "'");
        }
    }
    if (options.xItem == 0 || options.yItem == 0) return UsageError("--x and --y are both needed");
    if (positional.size() < 2) return UsageError("no OUT and PATH given");
    options.out = std::string(positional[0]);
    for (size_t i = 1; i < positional.size(); ++i) options.paths.emplace_back(std::string(positional[i]));
    return 0;
}

bool IsEmfPath(const fs::path& path) {
    std::string extension = path.extension().string();
    for (char& c : extension) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return extension == ".emf";
}

}  // namespace

int RunGraphCommand(int argc, char** argv) {
    GraphOptions options;
    if (int status = ParseGraphArguments(argc, argv, options); status != 0) {
        return status == kHelpShown ? 0 : status;
    }
    for (fs::path& path : options.paths) path = Absolute(path);
    options.out = Absolute(options.out);
    if (options.hasIni) options.ini = Absolute(options.ini);

    Settings settings;
    if (int status = ReadCliSettings(options.hasIni, options.ini, settings); status != 0) return status;
    TrackStore store;
    if (int status = SetUpCliStore(store, settings); status != 0) return status;
    std::vector<int> results;
    const int status = LoadAll(store, settings, options.paths, results);

    GraphSettings& graph = settings.graph;
    graph.xItem = options.xItem;
    graph.yItem = options.yItem;
    GraphOutputResult result;
    fs::path written = options.out;
    if (IsEmfPath(options.out)) {
        result = SaveGraphEmf(options.out, store, graph, options.width, options.height, kDisplayDpi,
                              options.hasDpi ? options.dpi : 0);
    } else {
        if (options.hasDpi) graph.svgDpi = static_cast<uint32_t>(options.dpi);
        result = SaveGraphSvg(options.out, store, graph, options.width, options.height, kDisplayDpi, &written);
        if (result == kGraphNothingToDraw) {
            PrintFileProblem(written, "nothing to draw (fewer than two enabled points); the file is left empty");
        }
    }
    if (GraphOutputFailed(result)) {
        PrintFileProblem(written, "cannot write the graph");
        return kExitFailure;
    }
    return status;
}

}  // namespace trakvio::cli
