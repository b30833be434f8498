// Load front end: the one entry through which the programs load a log file.
// Archives (.q9z, .itm, .kmz by their name, or any zip found by its content)
// go to the archive reader, every other file to the load dispatcher
// ReadLogFile with no forced kind and reading on. It stands above both, so
// that the dispatcher never knows about archives and the archive reader
// replays its members through the dispatcher alone.
#pragma once

#include <filesystem>

#include "archive/track_archive.h"
#include "config/settings.h"
#include "readers/log_loader.h"
#include "store/track_store.h"

namespace trakvio {

// Loads one log file behind what the store holds. Returns one of the kLoad*
// results (never kLoadIsArchive); problems are reported as they are found.
LoadResult LoadLogFile(TrackStore& store, Settings& settings, const std::filesystem::path& path);

// The load result an archive open stands for: an archive counts as loaded
// only when it loaded something and every entry and member did; otherwise it
// is a file that could not be read.
LoadResult LoadResultOfArchive(ArchiveResult result);

}  // namespace trakvio
