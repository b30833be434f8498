// Graph axes: the step arithmetic of the value and distance axes and the tick
// marks of the time, elapsed-time and distance axes. Ticks are collected as
// two-point lines into the caller's work buffers (drawn later with the frame
// in one poly-polyline); labels go straight to the back end's tick text. A
// full buffer ends the ticks, never a write past it.
#pragma once

#include <cstdint>
#include <vector>

#include "graph/graph_backend.h"

namespace trakvio {

// The point and line-count buffers of one drawing: capacity points and
// capacity / 2 lines, allocated once per drawing.
struct GraphBuffers {
    std::vector<GraphPoint> points;
    std::vector<int32_t> counts;
    int32_t pointCount = 0;
    int32_t lineCount = 0;

    explicit GraphBuffers(int32_t capacity);
    bool HasRoom(int32_t pointsNeeded) const {
        return pointCount + pointsNeeded <= static_cast<int32_t>(points.size()) &&
               lineCount < static_cast<int32_t>(counts.size());
    }
    // Adds a line from (x, y0) to (x, y1); false (nothing added) when full.
    bool AddVerticalLine(int32_t x, int32_t y0, int32_t y1);
    void Clear() { pointCount = lineCount = 0; }
};

// Layout values of one drawing, already scaled to the target's DPI.
struct GraphMetrics {
    int32_t numberHeight = 14;
    int32_t labelHeight = 14;
    int32_t gap = 3;
    int32_t smallGap = 1;
    int32_t axisPenWidth = 1;
    int32_t majorTick = 8;
    int32_t minorTick = 4;
};

// A double as a pixel coordinate: truncated toward zero, kept well inside
// the 32-bit range; NaN gives 0.
int32_t PixelOf(double value);

// The value step of about v: 1, 2 or 5 times a power of ten, at least v after
// rounding v to two significant digits; exponent receives that power.
double NiceStep(double v, int& exponent);

// The e with 10^e <= |v| < 10^(e+1); 0 for 0, for |v| = 1 and for values
// that are not finite.
int DecimalExponent(double v);

enum class TimeAxisTitle { kTime, kHour, kDay };

// Everything the time ticks need besides the times.
struct TimeAxis {
    double pixelsPerSecond = 0;
    int32_t axisX = 0;       // x of the axis start
    int32_t axisY = 0;       // y of the axis line (the plot bottom)
    int32_t minSpacing = 0;  // the narrowest room a label needs, in pixels
};

// Tick marks and labels of a time axis from start to end (seconds), the
// first candidate tick at firstTick (a local midnight at or before start, or
// start itself). Hours are labelled "%d" and days "%d" when an hour is
// narrow; otherwise "%d:%1d0" labels divide each hour. Returns which title
// fits the labels.
TimeAxisTitle TimeAxisTicks(const GraphBackend& backend, int64_t start, int64_t end, int64_t firstTick,
                            GraphBuffers& buffers, const TimeAxis& axis, const GraphMetrics& metrics);

// Tick marks and "%g" labels of the distance axis from 0 to dmax km, with
// minor ticks between the labelled ones where they stand at least 3 pixels
// apart.
void DistanceAxisTicks(const GraphBackend& backend, double dmax, double pixelsPerKm, int32_t axisX, int32_t axisY,
                       GraphBuffers& buffers, const GraphMetrics& metrics);

}  // namespace trakvio
