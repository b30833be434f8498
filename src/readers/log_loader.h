// Load dispatcher: decides the source kind of a log file (a forced kind name,
// the file name's extension or the first 1024 bytes), hands the file to the
// reader for that kind, enters it in the store's loaded-file list and then
// completes the new points and tracks: geoid-corrected altitudes, statistics,
// default names, widths and colours, and the initial zoom. A load always adds
// behind what the store holds; callers clear the store to replace. Archives
// are not opened here: the load front end (archive/load_front_end.h) sends
// them to the archive reader, which replays its members through ReadLogFile.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string_view>

#include "config/settings.h"
#include "store/track_store.h"

namespace trakvio {

// Results of a load. The values of the first four are the command-line
// program's exit statuses for a load.
enum LoadResult : int {
    kLoadDone = 0,
    kLoadUnknownKind = 2,    // unknown or unsupported kind; nothing read or entered
    kLoadReaderError = 3,    // the reader failed (file unreadable, device failure)
    kLoadSqliteMissing = 4,  // the SQLite library is missing and the user cancelled
    // The file is an archive (a zip found by its content): nothing was read
    // or entered; the load front end opens it with the archive reader and
    // then calls EnterOpenedArchive. LoadLogFile never returns it.
    kLoadIsArchive = 5,
};

// Returned by DetectKindByContent when the file cannot be opened.
inline constexpr int kKindUnreadable = 0xFFFF;

// Reads one log file into the store. forcedKind is a kind name ("NMEA", "GPX",
// "KML", "BAD-TXT", "MTK-BIN"; case-insensitive; other names force nothing).
// With readFlag 0 the file is only entered in the loaded-file list (its kind
// entry carries kKindNotRead). Returns one of the kLoad* results.
LoadResult ReadLogFile(TrackStore& store, Settings& settings, const std::filesystem::path& path,
                       std::string_view forcedKind, int readFlag);

// Where a load begins in the store: taken before an archive is opened.
struct LoadStart {
    int32_t namesStart;
    int32_t firstPoint;
    int32_t firstTrack;
};
LoadStart LoadStartOf(const TrackStore& store);

// After the archive reader opened an archive that ReadLogFile answered with
// kLoadIsArchive: enters the archive in the loaded-file list behind its
// members and completes what they added as one load of that kind.
void EnterOpenedArchive(TrackStore& store, const Settings& settings, const std::filesystem::path& path,
                        const LoadStart& start);

// The loader's read errors, shared with the load front end: "Cannot open the
// file." and the file that is no regular file.
void ReportCannotOpen(const std::filesystem::path& path);
void ReportNotRegular(const std::filesystem::path& path);

// Kind named by a forced kind name, or 0.
int KindFromForcedName(std::string_view name);
// Kind given by the path's extension, or 0.
int KindFromExtension(const std::filesystem::path& path);
// Kind found in the first bytes of a file (at most 1024 are looked at), or 0.
int DetectKindFromBytes(const unsigned char* data, size_t size);
// Kind found in the first 1024 bytes of the file, 0, or kKindUnreadable.
int DetectKindByContent(const std::filesystem::path& path);

}  // namespace trakvio
