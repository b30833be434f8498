// Batch conversion behind the script commands: collecting the logs a pattern
// names, loading them one output group at a time (consecutive NMEA logs may
// merge into one group), applying the chosen track operations and writing
// every selected output under a name derived from the group's first log,
// with one row per group in an HTML index ("Map List") that is put into date
// order when it is finished.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "config/settings.h"
#include "script/script_run.h"
#include "store/track_store.h"

namespace trakvio {

// The names (not paths) of the regular files matching pattern (a path whose
// last part may hold '*' and '?') that pass the state's filter, in UTF-16
// code-unit order; folder receives the pattern's folder. Returns -1 when no
// regular file matches or none passes the filter, else 0.
int CollectBatchFiles(std::string_view pattern, const ScriptState& state, std::filesystem::path& folder,
                      std::vector<std::string>& names);

// Whether a file name passes the name filter of the state.
bool PassesNameFilter(const ScriptState& state, std::u16string_view name);

// Reads a date list: one entry per line, line breaks removed, the last line
// kept even without a line break.
std::vector<std::string> ReadDateList(const std::filesystem::path& path);

// The output name of a group whose first file is fileName (UTF-8) and whose
// first point lies at firstTime (seconds since 1970 UTC, shown in local
// time). cursor walks forward through dateList in the date-list mode.
std::string BatchOutputName(const ScriptState& state, std::string_view fileName, int64_t firstTime,
                            const std::vector<std::string>& dateList, size_t& cursor);

// Converts every file the pattern names as one batch with the state's
// formats, folders, filter, options and index. Returns -1 when no file was
// there to convert, else 0.
int ConvertBatch(std::string_view pattern, ScriptState& state, Settings& settings, TrackStore& store);

// Creates the index file (replacing it) and writes its head; the state then
// has it open. Returns 0, or 1 when the file cannot be created.
int OpenIndex(ScriptState& state, const std::filesystem::path& path, bool newestFirst, bool urlEncoded);

// Writes the tail of an open index, puts its rows into date order
// (ascending, or newest first) and encodes its links when asked to.
void FinishIndex(ScriptState& state);

// Rewrites the link targets of an HTML file (input and output may be the
// same file) with spaces and non-ASCII characters percent-encoded. Returns 0,
// or 1 when a file cannot be read or written.
int EncodeLinks(const std::filesystem::path& input, const std::filesystem::path& output);

// Reports an output of the script that could not be written, with its path
// and the reason (from errorNumber, the errno of the failure, or 0), and
// counts it in the state.
void ReportWriteFailure(ScriptState& state, const std::filesystem::path& path, int errorNumber);

// The link encoding of one HTML text.
std::string EncodeLinksInText(std::string_view html);

}  // namespace trakvio
