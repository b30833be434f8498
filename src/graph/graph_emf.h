// EMF graph output: the enhanced-metafile back end of DrawGraph over libEMF's
// GDI emulation (pens, fonts, polylines, text with alignment), described as
// "Trakvio". libEMF stays inside graph_emf.cpp: its Win32 declarations never
// reach the rest of the program. Text is measured with text_metrics.h, as for
// SVG, since the metafile has no fonts to ask. The header of the written file
// states the reference resolution and frames the whole graph area, so
// readers show the graph at the physical size it has on the screen. libEMF
// has no PolyPolyline: the frame and ticks go out as one polyline each.
#pragma once

#include <cstdint>
#include <filesystem>

#include "config/settings.h"
#include "graph/graph_result.h"
#include "store/track_store.h"

namespace trakvio {

// Writes the graph at width x height pixels of a dpi reference device into
// a metafile at path. With nothing to draw the file holds an empty picture.
// Returns kGraphWritten, kGraphCannotCreate or kGraphWriteFailed.
GraphOutputResult WriteGraphEmf(const std::filesystem::path& path, TrackStore& store, const GraphSettings& graph,
                                int32_t width, int32_t height, int32_t dpi);

}  // namespace trakvio
