// MTK logger binary dump reader: decodes the 64 KiB sectors of a logger's
// flash image into points appended as one run; the loader closes the track.
// Never writes past the point capacity.
#pragma once

#include <filesystem>

#include "readers/reader_results.h"
#include "store/track_store.h"

namespace trakvio {

// Returns a kReader* result.
int ReadMtkBinary(TrackStore& store, const std::filesystem::path& path);

}  // namespace trakvio
