// NMEA reader: merges the GGA, RMC, GLL and ZDA sentences of each fix into one
// point and appends the points to the store as one run; the loader closes
// the track. Never writes past the point capacity.
#pragma once

#include <filesystem>

#include "readers/reader_results.h"
#include "store/track_store.h"

namespace trakvio {

// Returns a kReader* result.
int ReadNmea(TrackStore& store, const std::filesystem::path& path);

}  // namespace trakvio
