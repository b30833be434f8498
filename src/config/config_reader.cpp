// Reading configuration text: splits it into lines the way the file has
// always been read (pieces of at most 1,023 bytes, taken only when they end
// in a line feed), strips comments and trailing spaces, and applies each
// key=value line in the order the keys are tested.
#include <system_error>

#include "config/config_file.h"
#include "config/config_maps.h"
#include "config/config_values.h"
#include "platform/folders.h"
#include "platform/local_time.h"
#include "platform/utf.h"

namespace trakvio {

namespace {

// Longest piece of the file taken as one line, line feed included.
constexpr size_t kLineRoom = 1023;
// Limits of the text values.
constexpr size_t kAddressBytes = 127;
constexpr size_t kApiKeyBytes = 63;
constexpr size_t kDeviceIdUnits = 127;
constexpr size_t kAxisLabelBytes = 31;
constexpr size_t kFontNameUnits = 31;

// The folder relative names resolve against while reading: the current
// folder read so far, else the directory the program was started in.
std::filesystem::path BaseFolder(const Configuration& settings) {
    if (!settings.currentFolder.empty()) return settings.currentFolder;
    std::error_code ec;
    return std::filesystem::current_path(ec);
}

std::filesystem::path Resolve(const std::filesystem::path& path, const std::filesystem::path& base) {
    if (path.empty() || path.is_absolute()) return path;
    return (base / path).lexically_normal();
}

void ResetReadDefaults(GraphSettings& graph) {
    graph.numberFont.size = 14;
    graph.labelFont.size = 14;
    graph.gap = 3;
    graph.smallGap = 1;
    graph.axisPenWidth = 1;
    graph.majorTickLength = 8;
    graph.minorTickLength = 4;
}

void ApplyCurrentFolder(std::string_view value, Configuration& settings) {
    std::error_code ec;
    std::filesystem::path folder = Resolve(PathFromUtf8(TextValue(value)), BaseFolder(settings));
    if (folder.empty() || !std::filesystem::is_directory(folder, ec)) folder = DocumentsFolder();
    settings.currentFolder = folder;
}

void ApplyGeoidModel(std::string_view value, Configuration& settings) {
    size_t comma = value.find(',');
    std::filesystem::path file = PathFromUtf8(TextValue(value.substr(0, comma)));
    if (!file.empty() && file.is_relative()) file = ProgramFolder() / file;
    settings.geoidModelFile = file;
    for (double& bound : settings.geoidBounds) bound = 0;
    if (comma == std::string_view::npos) return;
    // "%lf,%lf,%lf,%lf": all four or none.
    double bounds[4];
    size_t pos = comma + 1;
    for (int k = 0; k < 4; ++k) {
        if (k > 0) {
            if (pos >= value.size() || value[pos] != ',') return;
            ++pos;
        }
        size_t used = 0;
        bounds[k] = ParseDouble(value.substr(pos), &used);
        if (used == 0) return;
        pos += used;
    }
    for (int k = 0; k < 4; ++k) settings.geoidBounds[k] = bounds[k];
}

// The 13th character of a grpaxislabel key picks the label.
void ApplyAxisLabel(char which, std::string_view value, GraphSettings& graph) {
    std::string* label = nullptr;
    std::string_view unit;
    switch (which) {
        case 'h':
            label = &graph.altitudeLabel;
            unit = " [m]";
            break;
        case 't':
            label = &graph.timeLabel;
            break;
        case 'e':
            label = &graph.elapsedLabel;
            break;
        case 'd':
            label = &graph.distanceLabel;
            unit = " [km]";
            break;
        case 'v':
            label = &graph.averageSpeedLabel;
            unit = " [km/h]";
            break;
        case 'u':
            label = &graph.speedLabel;
            unit = " [km/h]";
            break;
        default:
            return;
    }
    *label = CutUtf8(TextValue(value), kAxisLabelBytes - unit.size());
    label->append(unit);
}

// A value of two parts: the first, optionally quoted (a comma inside the
// quotes belongs to it), then optionally ',' and the rest. True when the
// comma and so the rest are there.
bool SplitFirstAndRest(std::string_view value, std::string_view& first, std::string_view& rest) {
    size_t comma = std::string_view::npos;
    if (!value.empty() && value.front() == '"') {
        const size_t close = value.find('"', 1);
        if (close == std::string_view::npos) {
            first = value.substr(1);
        } else {
            first = value.substr(1, close - 1);
            comma = value.find(',', close + 1);
        }
    } else {
        comma = value.find(',');
        first = value.substr(0, comma);
    }
    if (comma == std::string_view::npos) return false;
    rest = value.substr(comma + 1);
    return true;
}

// A font name, optionally quoted, then optionally ',' and a size. An empty
// name keeps the font (so ",12" changes only the size).
void ApplyFont(std::string_view value, GraphFont& font) {
    std::string_view name;
    std::string_view size;
    const bool hasSize = SplitFirstAndRest(value, name, size);
    if (!name.empty()) font.name = Utf8ToUtf16Cut(name, kFontNameUnits);
    if (hasSize) font.size = ParseLong(size);
}

void ApplySerialKey(std::string_view rest, std::string_view value, SerialSettings& serial) {
    if (rest == "baudrate") {
        serial.baudRate = ParseLong(value);
    } else if (rest == "bytesize") {
        serial.byteSize = static_cast<uint8_t>(ParseLong(value));
    } else if (rest == "parity") {
        serial.parity = static_cast<uint8_t>(ParseLong(value));
    } else if (rest == "stopbits") {
        serial.stopBits = static_cast<uint8_t>(ParseLong(value));
    }
}

// "%lu%*c%lu": each time-out is set only when its digits are there.
void ApplyTimeouts(std::string_view value, ReceiverSettings& receiver) {
    size_t used = 0;
    uint32_t first = ParseUnsignedLong(value, 10, &used);
    if (used == 0) return;
    receiver.timeout1 = first;
    if (used >= value.size()) return;
    std::string_view rest = value.substr(used + 1);
    uint32_t second = ParseUnsignedLong(rest, 10, &used);
    if (used > 0) receiver.timeout2 = second;
}

void ApplyReceiverKey(std::string_view rest, std::string_view value, Configuration& settings) {
    if (rest == "timeout") {
        ApplyTimeouts(value, settings.receiver);
    } else if (rest == "buffersize") {
        settings.receiver.bufferSize = ParseUnsignedLong(value, 10);
    } else if (rest == "sentencelength") {
        settings.receiver.sentenceLength = static_cast<uint16_t>(ParseLong(value));
    } else if (rest == "markerradius") {
        settings.marker.radius = ParseLong(value);
    } else if (rest == "markercolor") {
        settings.marker.color = ParseUnsignedLong(value, 16);
    } else if (rest == "markerwidth") {
        settings.marker.width = ParseLong(value);
    } else if (rest == "markerbrush") {
        settings.marker.brush = ParseLong(value);
    }
}

// The remembered file keys, with where each goes.
std::filesystem::path* RememberedFile(std::string_view key, Configuration& settings) {
    if (key == "gpslogdatafile") return &settings.gpsLogDataFile;
    if (key == "q9archivefile") return &settings.q9ArchiveFile;
    if (key == "scriptfile") return &settings.scriptFile;
    if (key == "mtkbinfile") return &settings.mtkBinFile;
    if (key == "htmlleafletfile") return &settings.htmlLeafletFile;
    if (key == "htmlgmapfile") return &settings.htmlGmapFile;
    if (key == "kmlsavefile") return &settings.kmlSaveFile;
    if (key == "svgfile") return &settings.svgFile;
    if (key == "emffile") return &settings.emfFile;
    return nullptr;
}

// A capacity value, cut to largest (the cut is noted as a problem naming the
// key as written).
int32_t CapacityValue(std::string_view key, std::string_view value, int32_t largest, Settings& settings) {
    const int32_t number = ParseLong(value);
    if (number <= largest) return number;
    settings.configProblems.push_back(std::string(key) + "=" + std::to_string(number) + " is more than " +
                                      std::to_string(largest) + ", the largest it may be; " + std::to_string(largest) +
                                      " is used");
    return largest;
}

void ApplyKey(std::string_view key, std::string_view value, Settings& settings) {
    if (key == "maxlogpoints" || key == "maxwaypoints") {
        settings.maxlogpoints = CapacityValue(key, value, kLargestMaxLogPoints, settings);
    } else if (key == "maxtracks") {
        settings.maxtracks = CapacityValue(key, value, kLargestMaxTracks, settings);
    } else if (key == "maxbasemap") {
        settings.maxbasemap = CapacityValue(key, value, kLargestMapCount, settings);
        settings.baseMaps.clear();
        settings.currentBaseMap = 0;
    } else if (key == "maxoverlaymap") {
        settings.maxoverlaymap = CapacityValue(key, value, kLargestMapCount, settings);
        settings.overlayMaps.clear();
    } else if (key == "basemap") {
        if (static_cast<int64_t>(settings.baseMaps.size()) >= settings.maxbasemap) return;
        BaseMap map;
        if (ParseBaseMapLine(value, map)) settings.baseMaps.push_back(std::move(map));
    } else if (key == "overlaymap") {
        if (static_cast<int64_t>(settings.overlayMaps.size()) >= settings.maxoverlaymap) return;
        OverlayMap map;
        if (ParseOverlayMapLine(value, map)) settings.overlayMaps.push_back(std::move(map));
    } else if (key == "geoidmodel") {
        ApplyGeoidModel(value, settings);
    } else if (key == "leafletcss") {
        settings.leafletcss = CutUtf8(TextValue(value), kAddressBytes);
    } else if (key == "leafletjs") {
        settings.leafletjs = CutUtf8(TextValue(value), kAddressBytes);
    } else if (key == "gmapjs") {
        settings.gmapjs = CutUtf8(TextValue(value), kAddressBytes);
    } else if (key == "gmapapikey") {
        settings.gmapapikey = CutUtf8(TextValue(value), kApiKeyBytes);
        settings.gmapApiKeyInEffect = settings.gmapapikey;
    } else if (key == "mtkloggerdevidstr") {
        settings.mtkloggerdevidstr = Utf8ToUtf16Cut(TextValue(value), kDeviceIdUnits);
    } else if (key == "tilecachefolder") {
        settings.tileCacheFolder = PathFromUtf8(TextValue(value));
    } else if (key == "workfolder") {
        settings.workFolder = PathFromUtf8(TextValue(value));
    } else if (key == "currentfolder") {
        ApplyCurrentFolder(value, settings);
    } else if (key == "showtrklistwindow") {
        settings.showTrackListWindow = EqualsIgnoreCase(TextValue(value), "Show");
    } else if (key == "showgrpwindow") {
        settings.showGraphWindow = EqualsIgnoreCase(TextValue(value), "Show");
    } else if (std::filesystem::path* file = RememberedFile(key, settings)) {
        *file = PathFromUtf8(TextValue(value));
        if (file == &settings.scriptFile) *file = Resolve(*file, BaseFolder(settings));
    } else if (key == "ssmeterslessthan") {
        settings.ssmeterslessthan = ParseLong(value);
    } else if (key == "hidpimapstretch") {
        std::string_view text = TextValue(value);
        settings.hidpimapstretch = EqualsIgnoreCase(text, "TRUE") || EqualsIgnoreCase(text, "YES");
    } else if (key == "tracklinewidthdefault") {
        settings.tracklinewidthdefault = ParseLong(value);
    } else if (key == "tracklinecolordefault") {
        settings.tracklinecolordefault = ParseUnsignedLong(value, 16);
    } else if (key == "kmltimedefault") {
        SetKmlTimeDefault(value, settings);
    } else if (key.size() >= 13 && key.substr(0, 12) == "grpaxislabel") {
        ApplyAxisLabel(key[12], value, settings.graph);
    } else if (key.substr(0, 10) == "grpfontnum") {
        ApplyFont(value, settings.graph.numberFont);
    } else if (key.substr(0, 12) == "grpfontlabel") {
        ApplyFont(value, settings.graph.labelFont);
    } else if (key.substr(0, 6) == "scidcb") {
        ApplySerialKey(key.substr(6), value, settings.serial);
    } else if (key.substr(0, 6) == "gpsrcv") {
        ApplyReceiverKey(key.substr(6), value, settings);
    }
}

// One line, line feed removed.
void ApplyLine(std::string_view line, Settings& settings) {
    // The text ends at a NUL byte, as a C string would.
    line = line.substr(0, line.find('\0'));
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == ';' || line.front() == '[') return;
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"') {
            quoted = !quoted;
        } else if (line[i] == ';' && !quoted) {
            line = line.substr(0, i);
            break;
        }
    }
    while (!line.empty() && line.back() == ' ') line.remove_suffix(1);
    size_t equals = line.find('=');
    if (equals == std::string_view::npos) return;
    std::string key(line.substr(0, equals));
    for (char& c : key) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    ApplyKey(key, line.substr(equals + 1), settings);
}

// scanf-like matching of a date-time: a digit N reads "%0Nd", 'c' skips any
// one character ("%*c"), any other character must match itself. Fields that
// are not reached stay 0.
void ScanDateTime(std::string_view text, std::string_view pattern, int (&fields)[6]) {
    size_t pos = 0;
    int field = 0;
    for (char step : pattern) {
        if (step >= '1' && step <= '9') {
            if (field >= 6 || !ScanWidthInt(text, pos, step - '0', fields[field])) return;
            ++field;
        } else if (step == 'c') {
            if (pos >= text.size()) return;
            ++pos;
        } else {
            if (pos >= text.size() || text[pos] != step) return;
            ++pos;
        }
    }
}

}  // namespace

int64_t ParseDateTime(std::string_view text) {
    int fields[6] = {0, 0, 0, 0, 0, 0};  // year, month, day, hour, minute, second
    if (text.size() >= 19) {
        ScanDateTime(text, "4c2c2c2:2:2", fields);  // 2023-01-01 09:00:00
    } else if (text.size() >= 15) {
        ScanDateTime(text, "422c222", fields);  // 20230101_090000
    } else {
        return 0;
    }
    return LocalStandardTimeToUtc(fields[0], fields[1], fields[2], fields[3], fields[4], fields[5]);
}

void SetKmlTimeDefault(std::string_view value, Configuration& settings) {
    std::string_view dateTime;
    std::string_view step;
    if (SplitFirstAndRest(value, dateTime, step)) settings.kmlTimeDefaultStep = ParseLong(step);
    settings.kmlTimeDefaultStart = ParseDateTime(dateTime);
}

void ReadConfigurationText(std::string_view text, Settings& settings) {
    ResetReadDefaults(settings.graph);
    size_t pos = 0;
    while (pos < text.size()) {
        std::string_view piece = text.substr(pos, kLineRoom);
        size_t lineFeed = piece.find('\n');
        if (lineFeed == std::string_view::npos) {
            // The end of the file ends a last line that has no line feed
            // (hand-edited files often end so); an over-long line's first
            // piece is no line.
            pos += piece.size();
            if (pos >= text.size() && piece.size() < kLineRoom) ApplyLine(piece, settings);
            continue;
        }
        pos += lineFeed + 1;
        ApplyLine(piece.substr(0, lineFeed), settings);
    }
}

}  // namespace trakvio
