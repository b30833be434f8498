// trakvio-cli: the headless face of Trakvio. It reads the configuration and
// loads log files exactly as the program does (each file added behind the
// ones before), then prints what the store holds: the track list as a text
// table or as JSON ("info"), or every point as CSV ("points"). Messages of the
// core go to stderr through the headless message call; the tool adds one line
// per file that could not be loaded for a reason the loader does not report.
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <type_traits>
#include <vector>

#include "app/track_list_rows.h"
#include "cli_common.h"
#include "compute/geoid.h"
#include "config/config_file.h"
#include "config/geoid_config.h"
#include "config/settings.h"
#include "platform/folders.h"
#include "platform/text_output.h"
#include "platform/utf.h"
#include "readers/log_loader.h"
#include "store/track_store.h"

namespace trakvio {
namespace {

namespace fs = std::filesystem;

using namespace cli;

constexpr const char* kUsage =
    "usage: trakvio-cli info [--json] [--ini FILE] PATH...\n"
    "       trakvio-cli info --geoid-info [--ini FILE]\n"
    "       trakvio-cli points [--ini FILE] PATH...\n"
    "       trakvio-cli export [--ini FILE] [--title TEXT] OUTPUT... PATH...\n"
    "       trakvio-cli graph [--ini FILE] --x ITEM --y ITEM [--size WxH] [--dpi N] OUT PATH...\n"
    "       trakvio-cli run [--ini FILE] SCRIPT.q9s\n"
    "       trakvio-cli mtk download [--port PATH] [--save FOLDER] [--ini FILE]\n"
    "       trakvio-cli mtk erase [--port PATH] [--ini FILE]\n"
    "       trakvio-cli capture --port PATH --out FILE [--seconds N] [--ini FILE]\n"
    "       trakvio-cli ports [--ini FILE]\n"
    "       trakvio-cli help\n"
    "\n"
    "Loads each PATH in order, adding it to what is loaded, and then\n"
    "  info     prints the track list: one line per track and the total row,\n"
    "           or with --json a description of the store and its tracks;\n"
    "           with --geoid-info it loads nothing and prints what the geoid\n"
    "           model named in the configuration holds (or that none is);\n"
    "  points   writes every point as CSV (index,trackIndex,latitude,longitude,\n"
    "           altitude,geoidAltitude,loggedSpeed,distance,speed,time,enabled);\n"
    "  export   writes each OUTPUT: --leaflet FILE, --gmap FILE (web map pages),\n"
    "           --kml FILE (KML; KMZ when FILE ends in .kmz), --q9z FILE (track\n"
    "           archive), titled --title TEXT or the last PATH's name (export --help).\n"
    "  mtk      download: reads an MTK logger's memory (the port found by\n"
    "           mtkloggerdevidstr, or --port), keeps the .bin dump in the work\n"
    "           folder (and copies it to --save FOLDER), prints the track list;\n"
    "           erase: erases the logger's memory (Ctrl-C stops waiting);\n"
    "  capture  records a GPS receiver's GGA/RMC fixes into FILE for N seconds\n"
    "           (or until Ctrl-C or the receiver fails), prints the track list;\n"
    "  ports    lists the serial ports with their descriptions and USB ids.\n"
    "\n"
    "  --json       JSON output of info\n"
    "  --geoid-info the configured geoid model instead of a track list\n"
    "  --ini FILE   read FILE instead of the user's Trakvio.ini\n"
    "\n"
    "Exit status: 0 when every file was loaded, otherwise the last load result\n"
    "(2 not a recognised log file, 3 read error, 4 SQLite library missing);\n"
    "1 when the configuration or the track store could not be set up;\n"
    "64 for a usage error.\n";

enum class Command { kNone, kInfo, kPoints, kHelp };

struct Options {
    Command command = Command::kNone;
    bool json = false;
    bool geoidInfo = false;
    bool hasIni = false;
    fs::path ini;
    std::vector<fs::path> paths;
};

// Standard output through one large buffer (this can be a million lines),
// with plain line feeds.
class Output : public TextOutput {
  public:
    explicit Output(std::FILE* file) : TextOutput(LineEnds::kLf) { Attach(file); }
    // Writes what is buffered; false when anything could not be written.
    bool Flush() { return Close() == 0; }
};

void PrintUsageError(std::string_view problem) {
    std::fprintf(stderr, "%s: %.*s\n%s", kProgram, static_cast<int>(problem.size()), problem.data(), kUsage);
}

// Reads the command line into options. Returns 0, or kExitUsage after the
// usage text went to stderr.
int ParseArguments(int argc, char** argv, Options& options) {
    if (argc < 2) {
        PrintUsageError("no command given");
        return kExitUsage;
    }
    std::string_view command = argv[1];
    if (command == "info") {
        options.command = Command::kInfo;
    } else if (command == "points") {
        options.command = Command::kPoints;
    } else if (command == "help" || command == "--help" || command == "-h") {
        options.command = Command::kHelp;
        return 0;
    } else {
        PrintUsageError("unknown command '" + std::string(command) + "'");
        return kExitUsage;
    }
    bool optionsEnded = false;
    for (int i = 2; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            options.paths.emplace_back(std::string(arg));
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--help" || arg == "-h") {
            options.command = Command::kHelp;
            return 0;
        } else if (arg == "--json" && options.command == Command::kInfo) {
            options.json = true;
        } else if (arg == "--geoid-info" && options.command == Command::kInfo) {
            options.geoidInfo = true;
        } else if (arg == "--ini") {
            if (i + 1 >= argc || argv[i + 1][0] == '\0') {
                PrintUsageError("--ini needs a FILE");
                return kExitUsage;
            }
            options.hasIni = true;
            options.ini = argv[++i];
        } else if (arg.substr(0, 6) == "--ini=" && arg.size() > 6) {
            options.hasIni = true;
            options.ini = std::string(arg.substr(6));
        } else {
            PrintUsageError("unknown option '" + std::string(arg) + "'");
            return kExitUsage;
        }
    }
    if (options.geoidInfo) {
        if (options.json || !options.paths.empty()) {
            PrintUsageError("--geoid-info takes no PATH and no --json");
            return kExitUsage;
        }
        return 0;
    }
    if (options.paths.empty()) {
        PrintUsageError("no PATH given");
        return kExitUsage;
    }
    return 0;
}

// ---- JSON ----

void PutJsonString(Output& out, std::string_view utf8) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    out.Put('"');
    for (char c : utf8) {
        auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out.Put('\\');
            out.Put(c);
        } else if (byte < 0x20 || byte == 0x7F) {
            char escape[6] = {'\\', 'u', '0', '0', kHex[byte >> 4], kHex[byte & 0xF]};
            out.Put(std::string_view(escape, sizeof escape));
        } else {
            out.Put(c);
        }
    }
    out.Put('"');
}

// Shortest text that reads back as the same double; null when not finite.
void PutJsonDouble(Output& out, double value) {
    if (!std::isfinite(value)) {
        out.Put("null");
        return;
    }
    char buffer[32];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.Put(std::string_view(buffer, static_cast<size_t>(result.ptr - buffer)));
}

void PutInteger(Output& out, int64_t value) {
    char buffer[24];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.Put(std::string_view(buffer, static_cast<size_t>(result.ptr - buffer)));
}

// Writes the members of one JSON object in the order they are given.
class JsonObject {
  public:
    explicit JsonObject(Output& out) : out_(out) { out_.Put('{'); }
    ~JsonObject() { out_.Put('}'); }
    JsonObject(const JsonObject&) = delete;
    JsonObject& operator=(const JsonObject&) = delete;

    // Starts a member; the caller writes its value. A line break before the
    // key keeps long objects readable.
    void Key(std::string_view key, bool newLine = false) {
        if (!first_) out_.Put(',');
        if (newLine) out_.Put('\n');
        first_ = false;
        PutJsonString(out_, key);
        out_.Put(':');
    }
    void Integer(std::string_view key, int64_t value, bool newLine = false) {
        Key(key, newLine);
        PutInteger(out_, value);
    }
    void Double(std::string_view key, double value, bool newLine = false) {
        Key(key, newLine);
        PutJsonDouble(out_, value);
    }
    void String(std::string_view key, std::string_view utf8) {
        Key(key);
        PutJsonString(out_, utf8);
    }

  private:
    Output& out_;
    bool first_ = true;
};

void PutJsonTrack(Output& out, const TrackStore& store, const TrackListTable& table, int t) {
    const TrackRecord& record = store.tracks[static_cast<size_t>(t)];
    const TrackListRow& row = table.rows[static_cast<size_t>(t)];
    const TrackPointCounts& counts = table.counts[static_cast<size_t>(t)];
    JsonObject track(out);
    track.String("name", row[kColumnTitle]);
    track.String("color", row[kColumnColor]);
    track.Integer("lineWidth", record.lineWidth);
    track.Integer("fileIndex", record.fileIndex);
    track.Integer("firstIndex", t == 0 ? 0 : static_cast<int64_t>(store.trackEnd[static_cast<size_t>(t) - 1]) + 1);
    track.Integer("endIndex", store.trackEnd[static_cast<size_t>(t)]);
    track.Integer("firstPoint", record.firstPoint);
    track.Integer("lastPoint", record.lastPoint);
    track.Integer("startTime", record.startTime);
    track.Integer("endTime", record.endTime);
    track.String("startText", TrackTimeText(record.startText));
    track.String("endText", TrackTimeText(record.endText));
    track.Double("distanceKm", record.distanceKm);
    track.Double("minLat", record.minLat);
    track.Double("maxLat", record.maxLat);
    track.Double("minLon", record.minLon);
    track.Double("maxLon", record.maxLon);
    track.Integer("points", counts.points);
    track.Integer("deleted", counts.deleted);
}

// One object: the load results, the counts, the loaded files, every track and
// the whole-store figures; each file and each track on a line of its own.
void WriteInfoJson(Output& out, const TrackStore& store, const std::vector<int>& results) {
    const TrackListTable table = BuildTrackListTable(store);
    {
        JsonObject info(out);
        info.Key("loadResults");
        out.Put('[');
        for (size_t i = 0; i < results.size(); ++i) {
            if (i > 0) out.Put(',');
            PutInteger(out, results[i]);
        }
        out.Put(']');
        info.Integer("pointCount", store.pointCount, true);
        info.Integer("trackCount", store.trackCount);
        info.Integer("fileCount", store.fileCount);

        info.Key("files", true);
        out.Put('[');
        const int64_t fileRows = std::clamp<int64_t>(
            store.fileCount, 0, static_cast<int64_t>(std::min(store.loadedFiles.size(), store.fileKinds.size())));
        for (int64_t i = 0; i < fileRows; ++i) {
            out.Put(i > 0 ? ",\n " : "\n ");
            JsonObject file(out);
            file.String("path", ValidUtf8(store.loadedFiles[static_cast<size_t>(i)].string()));
            file.Integer("kind", store.fileKinds[static_cast<size_t>(i)]);
        }
        out.Put(']');

        info.Key("tracks", true);
        out.Put('[');
        const int32_t rows = static_cast<int32_t>(table.rows.size());
        for (int32_t t = 0; t < rows; ++t) {
            out.Put(t > 0 ? ",\n " : "\n ");
            PutJsonTrack(out, store, table, t);
        }
        out.Put(']');

        info.Double("allMinLat", store.allMinLat, true);
        info.Double("allMaxLat", store.allMaxLat);
        info.Double("allMinLon", store.allMinLon);
        info.Double("allMaxLon", store.allMaxLon);
        info.Double("kmPerDegLat", store.kmPerDegLat);
        info.Double("kmPerDegLon", store.kmPerDegLon);
        info.Double("totalDistanceKm", store.totalDistanceKm);
        info.Integer("totalDuration", store.totalDuration);
        info.Integer("initialZoom", store.initialZoom);
    }
    out.Put('\n');
}

// ---- Text table ----

// Columns a terminal gives the UTF-8 text: one per code point, two for the
// wide East Asian ranges.
size_t DisplayWidth(std::string_view utf8) {
    size_t width = 0;
    std::u16string text = Utf8ToUtf16(utf8);
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        bool wide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0x303E) || (c >= 0x3041 && c <= 0x33FF) ||
                    (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xA000 && c <= 0xA4CF) ||
                    (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) ||
                    (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1F64F) ||
                    (c >= 0x20000 && c <= 0x3FFFD);
        width += wide ? 2 : 1;
    }
    return width;
}

// A cell on one line: control characters (a name may hold a line break)
// become spaces.
std::string CellText(std::string_view cell) {
    std::string text(cell);
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    }
    return text;
}

void WriteTrackListText(Output& out, const TrackStore& store) {
    const TrackListTable table = BuildTrackListTable(store);
    std::vector<TrackListRow> lines;
    lines.reserve(table.rows.size() + 2);
    TrackListRow header;
    for (int c = 0; c < kTrackListColumnCount; ++c) header[c] = std::string(kTrackListColumns[c].header);
    lines.push_back(header);
    for (const TrackListRow& row : table.rows) lines.push_back(row);
    lines.push_back(table.total);

    std::array<size_t, kTrackListColumnCount> widths{};
    for (TrackListRow& line : lines) {
        for (int c = 0; c < kTrackListColumnCount; ++c) {
            line[c] = CellText(line[c]);
            widths[c] = std::max(widths[c], DisplayWidth(line[c]));
        }
    }
    std::string text;
    for (const TrackListRow& line : lines) {
        text.clear();
        for (int c = 0; c < kTrackListColumnCount; ++c) {
            if (c > 0) text += "  ";
            std::string padding(widths[c] - DisplayWidth(line[c]), ' ');
            if (kTrackListColumns[c].alignRight) {
                text += padding;
                text += line[c];
            } else {
                text += line[c];
                text += padding;
            }
        }
        while (!text.empty() && text.back() == ' ') text.pop_back();
        text += '\n';
        out.Put(text);
    }
}

// ---- CSV ----

template <typename T, typename... Format>
void PutNumber(Output& out, T value, Format... format) {
    // "inf" and "nan" are no CSV numbers; no reader stores them anyway.
    if constexpr (std::is_floating_point_v<T>) {
        if (!std::isfinite(value)) value = 0;
    }
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, format...);
    if (result.ec != std::errc()) return;
    out.Put(std::string_view(buffer, static_cast<size_t>(result.ptr - buffer)));
}

// Every point in store order, deleted ones included. trackIndex is -1 for a
// point that no closed track holds.
void WritePointsCsv(Output& out, const TrackStore& store) {
    out.Put("index,trackIndex,latitude,longitude,altitude,geoidAltitude,loggedSpeed,distance,speed,time,enabled\n");
    const int64_t pointCount = HeldPointCount(store);
    const int32_t trackRows = TrackListRowCount(store);
    int32_t t = 0;
    for (int64_t i = 0; i < pointCount; ++i) {
        while (t < trackRows && store.trackEnd[static_cast<size_t>(t)] < i) ++t;
        const LogPoint& p = store.points[static_cast<size_t>(i)];
        PutNumber(out, i);
        out.Put(',');
        PutNumber(out, t < trackRows ? t : -1);
        out.Put(',');
        PutNumber(out, p.latitude, std::chars_format::fixed, 9);
        out.Put(',');
        PutNumber(out, p.longitude, std::chars_format::fixed, 9);
        for (float value : {p.altitude, p.geoidAltitude, p.loggedSpeed, p.distance, p.speed}) {
            out.Put(',');
            PutNumber(out, static_cast<double>(value), std::chars_format::general, 9);
        }
        out.Put(',');
        PutNumber(out, p.time);
        out.Put(p.enabled != 0 ? ",1\n" : ",0\n");
    }
}

int PrintTrackList(const TrackStore& store) {
    Output out(stdout);
    WriteTrackListText(out, store);
    if (out.Flush()) return 0;
    std::fprintf(stderr, "%s: cannot write the output\n", kProgram);
    return kExitFailure;
}

int Run(int argc, char** argv) {
    if (argc >= 2) {
        std::string_view command = argv[1];
        if (command == "export") return RunExportCommand(argc, argv);
        if (command == "graph") return RunGraphCommand(argc, argv);
        if (command == "run") return RunScriptCommand(argc, argv);
        if (command == "mtk" || command == "capture" || command == "ports") {
            return RunDeviceCommand(argc, argv, PrintTrackList);
        }
    }
    Options options;
    if (int status = ParseArguments(argc, argv, options); status != 0) return status;
    if (options.command == Command::kHelp) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    for (fs::path& path : options.paths) path = Absolute(path);
    if (options.hasIni) options.ini = Absolute(options.ini);

    Settings settings;
    if (int status = ReadCliSettings(options.hasIni, options.ini, settings); status != 0) return status;
    if (options.geoidInfo) {
        GeoidModelInfo info = DescribeGeoidModel(settings.geoidModel, settings.geoidResult);
        // A configured model that is not in use: which file, and why.
        if (const std::string problem = GeoidModelProblem(settings); !problem.empty()) {
            info.text = problem + "\n" + info.text;
        }
        if (std::fputs(info.text.c_str(), stdout) < 0 || std::fflush(stdout) != 0) {
            std::fprintf(stderr, "%s: cannot write the output\n", kProgram);
            return kExitFailure;
        }
        return 0;
    }

    TrackStore store;
    if (int status = SetUpCliStore(store, settings); status != 0) return status;

    std::vector<int> results;
    int status = LoadAll(store, settings, options.paths, results);

    Output out(stdout);
    if (options.command == Command::kPoints) {
        WritePointsCsv(out, store);
    } else if (options.json) {
        WriteInfoJson(out, store, results);
    } else {
        WriteTrackListText(out, store);
    }
    if (!out.Flush()) {
        std::fprintf(stderr, "%s: cannot write the output\n", kProgram);
        return kExitFailure;
    }
    return status;
}

}  // namespace
}  // namespace trakvio

int main(int argc, char** argv) { return trakvio::Run(argc, argv); }
