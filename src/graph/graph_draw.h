// Graph drawing: one line per track of the whole store, the chosen value
// (altitude, travel distance, computed or logged speed) against time of day,
// elapsed time or travel distance, inside a framed plot with ticks, tick
// labels and two axis titles. Draws through a back-end table (graph_backend.h)
// and knows no target; every layout size is given at 96 DPI and scaled to the
// target's resolution, so a graph keeps its physical size on every target.
// The frame and all ticks go out in one poly-polyline and each track in one
// polyline: drawing calls grow with tracks, not points. Work memory is one
// point buffer of max(1000, pointCount) points and half as many line counts.
#pragma once

#include <cstdint>

#include "config/settings.h"
#include "graph/graph_backend.h"
#include "store/track_store.h"

namespace trakvio {

inline constexpr int kGraphXTime = 1;
inline constexpr int kGraphXElapsed = 2;
inline constexpr int kGraphXDistance = 3;
inline constexpr int kGraphYAltitude = 1;
inline constexpr int kGraphYDistance = 2;
inline constexpr int kGraphYSpeed = 3;
inline constexpr int kGraphYLoggedSpeed = 4;

// The plot area in target pixels, for a window's mouse handling.
struct GraphPlotRect {
    int32_t left = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    int32_t top = 0;
};

// True when the store holds a track and more than one enabled point, the
// only case in which DrawGraph draws anything.
bool GraphHasContent(const TrackStore& store);

// Draws the graph at width x height target pixels and dpi. windowPlot is
// given only by the window that keeps its own screen buffer: each drawn
// point's position then goes into graphX and graphY and the plot area into
// windowPlot. Returns 0 when drawn, 1 when there was nothing to draw (and
// nothing at all was drawn).
int DrawGraph(TrackStore& store, const GraphSettings& graph, const GraphBackend& backend, int32_t width, int32_t height,
              int32_t dpi, GraphPlotRect* windowPlot = nullptr);

// The Y title of the configured Y item (UTF-8, with its unit).
const std::string& GraphYTitle(const GraphSettings& graph);

}  // namespace trakvio
