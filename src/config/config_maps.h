// Tile source lines of the configuration file: a basemap or overlaymap value
// becomes a BaseMap or OverlayMap. Five double-quoted fields (name, id, URL
// template, attribution, links separated by ';') are each followed by a ','
// and then two plain numbers separated by one ',' (minimum and maximum zoom,
// or opacity and maximum native zoom). A line missing any of them is refused
// and leaves the output untouched.
#pragma once

#include <string>
#include <string_view>

#include "config/settings.h"

namespace trakvio {

// Parses a basemap value. Returns true when the line was complete.
bool ParseBaseMapLine(std::string_view value, BaseMap& map);

// Parses an overlaymap value (the URL template is kept as written). Returns
// true when the line was complete.
bool ParseOverlayMapLine(std::string_view value, OverlayMap& map);

// The tile URL format of a template: every "{s}" becomes "a", every other '%'
// is doubled, and every "{z}", "{x}" and "{y}" becomes a "%d" slot (filled in
// the order zoom, x, y).
std::u16string TileUrlFormat(std::u16string_view urlTemplate);

// The display text of an attribution: a leading "(c)" becomes U+00A9 and up
// to three "<text>" marks become links (start and length in UTF-16 units of
// the display text, markers removed). A '<' without a later '>' is kept as
// plain text. Returns the link count.
int32_t ParseAttribution(std::u16string_view text, std::u16string& display, AttributionLink (&links)[3]);

}  // namespace trakvio
