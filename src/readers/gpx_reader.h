// GPX reader: scans a GPX file for trk/rte/trkpt tags and appends their points
// to the store. Not an XML parser: it recognises a handful of tags by the bytes
// after '<'. Never writes past the store's capacities; a file cut short keeps
// the points read so far in a closed track.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>

#include "readers/reader_results.h"
#include "store/track_store.h"

namespace trakvio {

// Reads the GPX file at path; names go into trackNames from namePosition (the
// loader's end-marker position) on, and the end marker is written behind the
// last. Tracks without a name of their own get the default name pattern.
// A file in UTF-16 (with a byte-order mark, or starting with '<' as UTF-16)
// is read as its UTF-8 conversion. Returns kReaderDone, kReaderCannotOpen
// (nothing read), kReaderCut (read up to a capacity) or kReaderNoDocument (no
// <gpx> element: empty or junk; nothing read).
int ReadGpx(TrackStore& store, const std::filesystem::path& path, int32_t namePosition);

// The same over a buffer that holds the whole file and one NUL behind it
// (data[size] == 0).
int ReadGpxBuffer(TrackStore& store, const char* data, size_t size, int32_t namePosition);

}  // namespace trakvio
