// KML export: every track as one placemark of a KML 2.2 document, with a line
// string of its enabled points (longitude, latitude and the altitude above
// the geoid), its time span as the description, and its colour and width as
// the line style. A path ending in ".kmz" (in any case) gets the document
// packed into a zip as its single entry, named like the output with ".kml";
// the zip is built in memory, so no intermediate file appears beside the
// output. Track names and the title sit in CDATA sections that stay closed
// whatever the names hold. Text is UTF-8 with CR LF line ends.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "export/export_text.h"
#include "store/track_store.h"

namespace trakvio {

// The KML document into out (a TextOutput on a file or in memory).
void PutKmlDocument(TextOutput& out, std::u16string_view title, const TrackStore& store);

// Writes plain KML, or a KMZ when the path ends in ".kmz". Returns
// kExportDone, kExportCannotCreate (nothing written), kExportWriteFailed (the
// partial file is removed) or kExportZipFailed (nothing written).
int WriteKml(const std::filesystem::path& path, std::u16string_view title, const TrackStore& store);

// The name of the KMZ's single entry: the output's file name with the
// extension ".kml", as valid UTF-8.
std::string KmzEntryName(const std::filesystem::path& kmzPath);

}  // namespace trakvio
