// Track archives (.q9z): the loaded log files plus a track property file that
// records splits, names, widths, colours and deleted points. Opening one also
// reads plain zips of logs, ITM packages and KMZ files.
#pragma once

#include <filesystem>

#include "config/settings.h"
#include "store/track_store.h"

namespace trakvio {

// Extracts the archive into the work folder's "q9zdir" and loads what it
// holds behind what the store has. 0 when done (also when nothing was found),
// 1 when the extraction folder cannot be formed, 2 when the archive cannot
// be opened.
int OpenArchive(TrackStore& store, Settings& settings, const std::filesystem::path& path);

// Writes the track property file into the work folder and the archive of the
// loaded files plus that property file. Nothing happens when no file is
// loaded or the path is empty. Returns 0, or non-zero when the property file
// or the archive could not be written (callers of the program ignore it).
int SaveArchive(const TrackStore& store, const Settings& settings, const std::filesystem::path& archivePath);

}  // namespace trakvio
