// CSV text log reader: one point per data line of the text log written by
// phone logger apps; the loader closes the track. Never writes past the
// point capacity.
#pragma once

#include <filesystem>

#include "readers/reader_results.h"
#include "store/track_store.h"

namespace trakvio {

// Returns a kReader* result.
int ReadCsvText(TrackStore& store, const std::filesystem::path& path);

}  // namespace trakvio
