// Load front end: decides the source kind of a log file (a forced kind name,
// the file name's extension or the first 1024 bytes), hands the file to the
// reader for that kind, enters it in the store's loaded-file list and then
// completes the new points and tracks: geoid-corrected altitudes, statistics,
// default names, widths and colours, and the initial zoom. A load always adds
// behind what the store holds; callers clear the store to replace.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string_view>

#include "config/settings.h"
#include "store/track_store.h"

namespace trakvio {

// Results of a load.
inline constexpr int kLoadDone = 0;
inline constexpr int kLoadUnknownKind = 2;     // unknown or unsupported kind; nothing read or entered
inline constexpr int kLoadReaderError = 3;     // the reader failed (file unreadable, device failure)
inline constexpr int kLoadSqliteMissing = 4;   // the SQLite library is missing and the user cancelled

// Returned by DetectKindByContent when the file cannot be opened.
inline constexpr int kKindUnreadable = 0xFFFF;

// Loads one log file: archives (.q9z, .itm, .kmz) go to the archive reader,
// every other path to ReadLogFile with no forced kind and reading on.
int LoadLogFile(TrackStore& store, Settings& settings, const std::filesystem::path& path);

// Reads one log file into the store. forcedKind is a kind name ("NMEA", "GPX",
// "KML", "BAD-TXT", "MTK-BIN"; case-insensitive; other names force nothing).
// With readFlag 0 the file is only entered in the loaded-file list (its kind
// entry carries kKindNotRead). Returns one of the kLoad* results.
int ReadLogFile(TrackStore& store, Settings& settings, const std::filesystem::path& path,
                std::string_view forcedKind, int readFlag);

// Kind named by a forced kind name, or 0.
int KindFromForcedName(std::string_view name);
// Kind given by the path's extension, or 0.
int KindFromExtension(const std::filesystem::path& path);
// Kind found in the first bytes of a file (at most 1024 are looked at), or 0.
int DetectKindFromBytes(const unsigned char* data, size_t size);
// Kind found in the first 1024 bytes of the file, 0, or kKindUnreadable.
int DetectKindByContent(const std::filesystem::path& path);

}  // namespace trakvio
