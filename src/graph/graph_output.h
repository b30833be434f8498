// Graph output files: the size and resolution rule that makes a vector
// graph the same physical size as the graph window it comes from, and the
// two saves built on it (SVG at the SVG DPI, EMF at the reference device's
// resolution). The window and the batch conversion call these with the
// window's client size and DPI.
#pragma once

#include <cstdint>
#include <filesystem>

#include "config/settings.h"
#include "graph/graph_result.h"
#include "store/track_store.h"

namespace trakvio {

struct GraphTarget {
    int32_t width = 0;
    int32_t height = 0;
    int32_t dpi = 0;
};

// The client size scaled from the display's DPI to the target's when they
// differ: 600 DPI of a 500 x 260 window on a 96-DPI display is 3125 x 1625.
// A zero client width or height is reported in a "DrawGraph Error" message
// (drawing goes on all the same).
GraphTarget GraphTargetSize(int32_t clientWidth, int32_t clientHeight, int32_t displayDpi, int32_t targetDpi);

// Saves the graph as SVG at graph.svgDpi (the display's DPI when 0). A name
// without extension gets ".svg"; the form follows the extension. written, when
// given, receives the path written. Returns kGraphWritten,
// kGraphNothingToDraw (the file is then left empty), kGraphCannotCreate or
// kGraphWriteFailed.
GraphOutputResult SaveGraphSvg(const std::filesystem::path& path, TrackStore& store, const GraphSettings& graph,
                               int32_t clientWidth, int32_t clientHeight, int32_t displayDpi,
                               std::filesystem::path* written = nullptr);

// Saves the graph as an EMF file drawn at referenceDpi, the resolution of the
// reference printer (0: no printer, the display's DPI). Returns
// kGraphWritten (also for an empty picture), kGraphCannotCreate or
// kGraphWriteFailed.
GraphOutputResult SaveGraphEmf(const std::filesystem::path& path, TrackStore& store, const GraphSettings& graph,
                               int32_t clientWidth, int32_t clientHeight, int32_t displayDpi, int32_t referenceDpi);

}  // namespace trakvio
