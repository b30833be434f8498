// KML reader: scans a KML file for placemarks with line strings and gx:Track
// elements, appends their points and closes one track each with its
// placemark's name and the line colour and width of its style. Not an XML
// parser: it recognises a handful of tags by the bytes after '<'. Line
// strings carry no times, so their points get invented ones, a fixed step
// apart; gx:Track points keep their own. Never writes past the store's
// capacities; a file cut short keeps the points read so far in a closed track.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>

#include "compute/statistics.h"
#include "readers/reader_results.h"
#include "store/track_store.h"

namespace trakvio {

// Names go into trackNames from namePosition (the loader's end-marker
// position) on, and the end marker is written behind the last; a track whose
// placemark has no name gets the default name pattern. Points without times
// of their own get times from timeStart (or timeStep after the store's last
// point, when the store holds points) in steps of timeStep seconds. Tracks
// take width and colour from their style; a track whose style gives none
// gets tracklinewidthdefault and its palette colour. Tracks already in the
// store keep their colours. Returns kReaderDone, kReaderCannotOpen (nothing
// written) or kReaderCut (a capacity was reached; the file was read up to it).
// latitudes, when given, receives the latitude range of the points read (when
// there are any), for the statistics that follow.
int ReadKml(TrackStore& store, const std::filesystem::path& path, int32_t namePosition, int64_t timeStart,
            int32_t timeStep, LatitudeRange* latitudes = nullptr);

// The same over a buffer that holds the whole file and one NUL behind it
// (data[size] == 0).
int ReadKmlBuffer(TrackStore& store, const char* data, size_t size, int32_t namePosition, int64_t timeStart,
                  int32_t timeStep, LatitudeRange* latitudes = nullptr);

}  // namespace trakvio
