// The batch script interpreter: reads a script, then runs its command lines
// in order against the settings and the track store. The state a script
// builds up (output formats and folders, graph lists, filter, options, the
// index) starts afresh with every run; the global settings it changes stay
// changed.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "config/settings.h"
#include "script/script_text.h"
#include "store/track_store.h"

namespace trakvio {

// Output formats of a conversion (flag bits).
inline constexpr uint16_t kOutputQ9z = 1;
inline constexpr uint16_t kOutputHtmlLeaflet = 2;
inline constexpr uint16_t kOutputHtmlGmap = 4;
inline constexpr uint16_t kOutputKml = 8;
inline constexpr uint16_t kOutputKmz = 16;
inline constexpr uint16_t kOutputSvg = 32;
inline constexpr uint16_t kOutputEmf = 64;

// Conversion options (flag bits).
inline constexpr uint16_t kOptionNamePrefix = 1;
inline constexpr uint16_t kOptionMergeInterval = 2;
inline constexpr uint16_t kOptionDefaultColors = 4;
inline constexpr uint16_t kOptionEraseStandstills = 8;
inline constexpr uint16_t kOptionSortFiles = 16;
inline constexpr uint16_t kOptionCheckOrder = 32;
inline constexpr uint16_t kOptionWidth = 64;

// Name-prefix modes.
inline constexpr int kPrefixDate = 1;
inline constexpr int kPrefixDateAndTime = 2;
inline constexpr int kPrefixDateList = 3;

// Input filter kinds.
enum class FilterKind { kNone, kAfter, kBefore, kBetween };

// Output folders, in the order of the format words.
enum OutputFolder { kFolderQ9z, kFolderLeaflet, kFolderGmap, kFolderKml, kFolderSvg, kFolderEmf, kFolderCount };

struct ScriptState {
    // The folder the script's relative paths resolve against: the script's
    // own folder, moved by `cd`. Empty: the directory the program runs in.
    std::filesystem::path folder;

    uint16_t formats = 0;
    // Up to five graph specifications each, six bits apiece, the newest in
    // the lowest bits: bits 0-1 the horizontal item (1 time, 2 elapsed, 3
    // distance), bits 3-5 the vertical one (1 altitude, 2 distance, 3
    // average speed, 4 speed).
    uint32_t svgGraphs = 0;
    uint32_t emfGraphs = 0;
    std::filesystem::path folders[kFolderCount];

    std::filesystem::path indexPath;
    bool indexOpen = false;
    bool indexNewestFirst = false;
    bool indexUrlEncoded = false;

    FilterKind filterKind = FilterKind::kNone;
    int32_t filterPosition = 0;    // 0-based
    std::u16string filterText;     // at most 127 units
    std::u16string filterTextEnd;  // "between": the last name text that passes

    uint16_t options = 0;
    int namePrefixMode = kPrefixDate;
    int32_t lineWidth = 0;
    int64_t mergeIntervalSeconds = 0;
    std::filesystem::path dateListPath;

    // Lines the monotonic checks collected during the run.
    std::string monotonicReport;
    // Scratch points of the file sort, kept from one group to the next.
    PointArray sortWorkspace;
    // Outputs that could not be written (each one reported).
    int writeFailures = 0;
    bool ended = false;
};

// Number of graph specifications in a list.
int GraphCount(uint32_t list);

// Whether the interpreter acts on this command word (any letter case); every
// other word is ignored by ExecuteScriptLine.
bool IsScriptCommand(std::string_view word);

// Results of a script run.
enum ScriptResult : int {
    kScriptDone = 0,
    kScriptOutputFailed = 1,  // an output could not be written
    kScriptUnreadable = -1,   // the script file cannot be read
};

// A path of the script, absolute: a relative one is taken against the
// script's folder.
std::filesystem::path ScriptPath(const ScriptState& state, const std::filesystem::path& path);

// Runs one command line. Returns false after `end`.
bool ExecuteScriptLine(const ScriptLine& line, ScriptState& state, Settings& settings, TrackStore& store);

// Runs the script at path: relative paths in it are taken against its
// folder (the process's current directory stays as it is), the lines run in
// order up to the end or `end`, an open index is finished and
// what the monotonic checks found is reported. Returns kScriptDone,
// kScriptUnreadable (nothing else happens) or kScriptOutputFailed (each
// output is reported with its path and reason).
ScriptResult RunScript(const std::filesystem::path& path, Settings& settings, TrackStore& store);

}  // namespace trakvio
