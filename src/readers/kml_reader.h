// KML reader: scans a KML file for placemarks with line strings and tracks,
// appends their points, closes one track each with its name, width and
// colour from the file's styles. Never writes past the store's capacities.
#pragma once

#include <cstdint>
#include <filesystem>

#include "readers/reader_results.h"
#include "store/track_store.h"

namespace trakvio {

// Names go into trackNames from namePosition (the loader's end-marker
// position) on. Points without times of their own get times from timeStart
// (or the store's last point) in steps of timeStep seconds. Returns a
// kReader* result.
int ReadKml(TrackStore& store, const std::filesystem::path& path, int32_t namePosition, int64_t timeStart,
            int32_t timeStep);

}  // namespace trakvio
