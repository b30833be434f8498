// Default track colours: one palette rule that recolours every track of the
// store so that neighbouring tracks get clearly different colours.
#pragma once

#include <cstdint>

#include "store/track_store.h"

namespace trakvio {

// Sets color of every track 0 .. trackCount - 1 from the palette.
void AssignDefaultColors(TrackStore& store);

// Colour 0xRRGGBB of hue h (degrees), saturation s and brightness v (0..1).
uint32_t HueToColor(double hue, double saturation, double brightness);

}  // namespace trakvio
