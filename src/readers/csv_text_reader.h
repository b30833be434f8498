// CSV text log reader: one point per data line of the text log written by
// phone logger apps; the loader closes the track. Never writes past the
// point capacity.
//
// The log has one header line and one line per fix beginning with "T,":
// type, date time (UTC, "YYYY-MM-DD hh:mm:ss", a fraction of the second is
// dropped), latitude, longitude, accuracy, altitude, geoid height, speed
// (m/s), and columns that are not read. A fix's altitude is altitude + geoid
// height (the height above the ellipsoid). Lines of any other type are
// skipped, and so is a "T," line without a readable time, latitude or
// longitude; missing later columns give 0. A header line names the columns:
// they are found by name, so the newer layout with barometric_pressure(hPa)
// (or any other added column) reads as the first.
#pragma once

#include <cstddef>
#include <filesystem>

#include "readers/reader_results.h"
#include "store/track_store.h"

namespace trakvio {

// Returns a kReader* result: kReaderCut when the point capacity stopped the
// read (the points before it stay).
int ReadCsvText(TrackStore& store, const std::filesystem::path& path);

// The same over a buffer that holds the whole file and one NUL behind it
// (data[size] == 0).
int ReadCsvTextBuffer(TrackStore& store, const char* data, size_t size);

}  // namespace trakvio
