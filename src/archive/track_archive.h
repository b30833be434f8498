// Track archives (.q9z): the loaded log files plus a track property file that
// records splits, names, widths, colours and deleted points. Opening one also
// reads plain zips of logs, ITM packages (.itm: .poi databases and MTK .bin
// logs) and KMZ files. Archive members are extracted into the work folder's
// "q9zdir" and stay there: the loaded-file list points at them, so that a
// later save can put them into a new archive. An archive inside an archive is
// never opened, so loads nest at most one level deep.
#pragma once

#include <filesystem>
#include <string_view>

#include "config/settings.h"
#include "store/track_store.h"

namespace trakvio {

// Results of OpenArchive. The load front end turns them into load results
// with LoadResultOfArchive.
enum ArchiveResult : int {
    kArchiveOpened = 0,
    kArchiveNoFolder = 1,    // the extraction folder cannot be formed or made
    kArchiveCannotOpen = 2,  // the archive is no file or no readable zip
    // Opened, but nothing was loaded, or an entry was left out or a member
    // did not load (each reported); what did load stays.
    kArchiveIncomplete = 3,
};

// Extracts the archive into the work folder's "q9zdir" and loads what it
// holds behind what the store has: with a property file (.q9t) the files it
// lists, replayed with its records; in an ITM package the .poi and .bin the
// switches itmReadPoi and itmKeepBoth choose; in a KMZ its .kml files (named
// with a date-time prefix unless the name begins with eight digits); in any
// other zip every top-level file that is not itself an archive. The folder is
// emptied first when nothing is loaded. 0 when done, 1 when the extraction
// folder cannot be formed, 2 when the archive cannot be opened, 3 when nothing
// was found (reported while showArchiveErrors is 1) or an entry was skipped
// or a member failed to load. Entries that were skipped as unsafe, too large,
// broken, named as the archive itself or past the archive's extraction limit
// are written to the error log and reported. The archive itself is never
// replaced, even when it lies in "q9zdir".
ArchiveResult OpenArchive(TrackStore& store, Settings& settings, const std::filesystem::path& path);

// Writes the track property file into the work folder and the archive of the
// loaded files plus that property file. Nothing happens when no file is
// loaded or the path is empty. Returns 0; -1 when the property file could not
// be written (the archive is still made, without it); otherwise what
// MakeArchiveFromFiles returned (callers of the program ignore it).
int SaveArchive(const TrackStore& store, const Settings& settings, const std::filesystem::path& archivePath);

// The error log "q9_error_log.txt" in the per-user folder (the configured
// one, or UserDataFolder() when none is set).
std::filesystem::path ArchiveErrorLogPath(const Settings& settings);

// Appends text to the error log (creating it and its folder when needed).
void AppendArchiveErrorLog(const Settings& settings, std::string_view text);

}  // namespace trakvio
