// Settings of the program, in two parts:
//  - Configuration: what the configuration file gives. Read once at start,
//    its folder and remembered-file lines written back on exit. Plain values,
//    cheap to copy: a worker takes a Configuration copy and never shares the
//    window's state.
//  - RunState: what menus, scripts and message answers change while the
//    program runs, and what is bound or loaded from the configuration (the
//    SQLite library, the geoid grid). Never written to the file, and kept
//    across a re-read of the configuration text.
// Settings is both, so settings.maxlogpoints and settings.itmReadPoi read the
// same. One Settings value is created at start, filled by the configuration
// reader, and handed by reference to whoever needs it; there are no global
// settings.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "compute/geoid.h"
#include "platform/sqlite_library.h"
#include "store/track_store.h"

namespace trakvio {

struct SerialSettings {
    int32_t baudRate = 115200;
    uint8_t byteSize = 8;
    uint8_t parity = 0;    // 0 = none
    uint8_t stopBits = 0;  // 0 = one stop bit
};

struct ReceiverSettings {
    uint32_t timeout1 = 100;   // ms
    uint32_t timeout2 = 5000;  // ms
    uint32_t bufferSize = 2048;
    uint16_t sentenceLength = 256;
};

// Live position marker of the receiver track.
struct MarkerSettings {
    int32_t radius = 10;        // pixels at 96 DPI
    uint32_t color = 0x0000FF;  // 0xRRGGBB
    int32_t width = 3;          // pixels at 96 DPI
    int32_t brush = 5;          // stock brush index: 5 hollow, 0 white, 4 black
};

struct AttributionLink {
    int32_t linkStart = 0;  // UTF-16 units into attribution
    int32_t linkLength = 0;
};

// A configured web tile source.
struct BaseMap {
    std::u16string name;
    std::u16string tileId;
    std::u16string urlTemplate;
    // The template with "{s}" as "a" and "{z}", "{x}", "{y}" as integer slots
    // "%d" filled in the order zoom, x, y; a literal '%' is doubled.
    std::u16string urlFormat;
    std::u16string attribution;  // display text
    int32_t linkCount = 0;       // 0..3
    AttributionLink links[3];
    std::u16string linkUrls[3];
    int32_t minZoom = 0;
    int32_t maxZoom = 0;
};

struct OverlayMap {
    std::u16string name;
    std::u16string tileId;
    std::u16string urlTemplate;
    std::u16string attribution;
    int32_t linkCount = 0;
    AttributionLink links[3];
    std::u16string linkUrls[3];
    float opacity = 0;
    int32_t maxNativeZoom = 0;
};

struct GraphFont {
    std::u16string name = u"Arial";  // at most 31 units
    int32_t size = 14;               // pixels at 96 DPI
};

// Graph labels, fonts and layout values.
struct GraphSettings {
    // Axis titles, UTF-8, at most 31 bytes each with their unit.
    std::string altitudeLabel = "Altitude [m]";              // h
    std::string timeLabel = "Time";                          // t
    std::string elapsedLabel = "Elapsed time";               // e
    std::string distanceLabel = "Travel distance [km]";      // d
    std::string averageSpeedLabel = "Average speed [km/h]";  // v
    std::string speedLabel = "Speed [km/h]";                 // u
    GraphFont numberFont;
    GraphFont labelFont;
    int32_t gap = 3;
    int32_t smallGap = 1;
    int32_t axisPenWidth = 1;
    int32_t majorTickLength = 8;
    int32_t minorTickLength = 4;
    // Graph items: X 1 time of day and date, 2 elapsed time, 3 travel
    // distance; Y 1 altitude, 2 travel distance, 3 computed speed, 4 logged
    // speed.
    int32_t xItem = 1;
    int32_t yItem = 1;
    // Vector output: SVG resolution (0 = the display's) and the EMF reference
    // printer (at most 64 bytes; empty = the display).
    uint32_t svgDpi = 600;
    std::string referencePrinter;
    // Client area of the graph window in pixels; SVG and EMF files are drawn
    // at this size.
    int32_t clientWidth = 500;
    int32_t clientHeight = 260;
};

// The largest values the capacity keys take; a larger one is cut to it (and
// reported). 16,000,000 points take about 1.2 GB, 100,000 tracks 14 MB.
inline constexpr int32_t kLargestMaxLogPoints = 16000000;
inline constexpr int32_t kLargestMaxTracks = 100000;
inline constexpr int32_t kLargestMapCount = 100;  // maxbasemap, maxoverlaymap

// What the configuration file gives. No grid, no library handle: copying one
// costs only its strings and tile tables.
struct Configuration {
    // Capacities of the track store.
    int32_t maxlogpoints = kDefaultMaxLogPoints;
    int32_t maxtracks = kDefaultMaxTracks;

    // Tile sources. The capacity keys clear their table.
    int32_t maxbasemap = 10;
    int32_t maxoverlaymap = 5;
    std::vector<BaseMap> baseMaps;
    std::vector<OverlayMap> overlayMaps;
    int32_t currentBaseMap = 0;

    // The geoidmodel line as read: the grid file (absolute; empty when no
    // model is configured) and the part of the grid to load, in the order
    // written a, b (latitude range), c, d (longitude range); all 0 loads the
    // whole grid. The grid is loaded from these into RunState after reading.
    std::filesystem::path geoidModelFile;
    double geoidBounds[4] = {0, 0, 0, 0};

    // Web page addresses, UTF-8.
    std::string leafletcss;  // at most 127 bytes
    std::string leafletjs;   // at most 127 bytes
    std::string gmapjs;      // at most 127 bytes
    std::string gmapapikey;  // stored key, at most 63 bytes; the one written back

    std::u16string mtkloggerdevidstr;  // at most 127 units

    std::filesystem::path tileCacheFolder;
    std::filesystem::path workFolder;
    std::filesystem::path userFolder;  // the per-user folder the configuration lives in
    // The folder a currentfolder line chose (absolute), empty when none was read.
    std::filesystem::path currentFolder;

    bool showTrackListWindow = true;
    bool showGraphWindow = false;

    // Remembered file names (seeds of the file dialogs).
    std::filesystem::path gpsLogDataFile;
    std::filesystem::path q9ArchiveFile;
    std::filesystem::path scriptFile;
    std::filesystem::path mtkBinFile;
    std::filesystem::path htmlLeafletFile;
    std::filesystem::path htmlGmapFile;
    std::filesystem::path kmlSaveFile;
    std::filesystem::path svgFile;
    std::filesystem::path emfFile;

    int32_t ssmeterslessthan = 0;  // standstill distance, metres
    bool hidpimapstretch = false;

    int32_t tracklinewidthdefault = 3;
    uint32_t tracklinecolordefault = 0xFF0000;

    int64_t kmlTimeDefaultStart = 1672531200;  // 2023-01-01 00:00:00 UTC
    int32_t kmlTimeDefaultStep = 5;

    GraphSettings graph;
    SerialSettings serial;
    ReceiverSettings receiver;
    MarkerSettings marker;
};

// What changes while the program runs, and what is bound or loaded from the
// configuration. Never written back; a configuration re-read leaves it as it
// is (except the key in effect and the problems, which a read sets).
struct RunState {
    // Problems the configuration reader found (a capacity cut, ...), one
    // line each, naming the key; ReadConfiguration shows them with the file.
    std::vector<std::string> configProblems;

    // The Google Maps API key pages are written with: the configured key,
    // or one a script set for its run only.
    std::string gmapApiKeyInEffect;

    // The grid loaded from Configuration::geoidModelFile and the loader's
    // result for it (-1 until a model is loaded).
    GeoidModel geoidModel;
    int32_t geoidResult = -1;

    // Run-time switch of the loader: while 1, reader errors of the database
    // readers are shown; Cancel in such a message sets it to 0.
    int32_t showReadErrors = 1;
    // The SQLite binding the database readers use; bound at the first
    // database load and again when the user retries.
    SqliteLibrary sqlite;

    // Switches of the archive reader. ITM packages: 1 reads the .poi
    // database, 0 the .bin log; 1 also enters the other file in the
    // loaded-file list so that a saved archive keeps both. While
    // showArchiveErrors is 1 an archive with nothing loadable is reported;
    // Cancel in that message sets it to 0.
    int32_t itmReadPoi = 1;
    int32_t itmKeepBoth = 1;
    int32_t showArchiveErrors = 1;
};

struct Settings : Configuration, RunState {};

}  // namespace trakvio
