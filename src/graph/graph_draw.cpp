#include "graph/graph_draw.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "graph/graph_axes.h"
#include "platform/local_time.h"

namespace trakvio {

namespace {

constexpr int64_t kTwoWeeks = 1209600;
const std::string kHourTitle = "Hour";
const std::string kDayTitle = "Day";
const std::string kDateTimeTitle = "Date and time";
const std::string kNoTitle;

float PlottedValue(const LogPoint& p, int yItem) {
    switch (yItem) {
        case kGraphYDistance:
            return p.distance;
        case kGraphYSpeed:
            return p.speed;
        case kGraphYLoggedSpeed:
            return p.loggedSpeed;
        default:
            return p.geoidAltitude;
    }
}

struct ValueRange {
    float min = 0;
    float max = 0;
};

// The value range over the enabled points f..l. Values that are not finite
// take no part, so one damaged point cannot turn the axis into NaN.
ValueRange ComputeValueRange(const TrackStore& store, int yItem, int32_t f, int32_t l, int32_t n) {
    const PointArray& points = store.points;
    ValueRange r;
    switch (yItem) {
        case kGraphYDistance:
            r.min = 0;
            r.max = points[static_cast<size_t>(n) - 1].distance;
            break;
        case kGraphYSpeed:
            r.min = FLT_MAX;
            r.max = FLT_MIN;
            for (int32_t i = f + 1; i <= l; ++i) {
                const LogPoint& p = points[static_cast<size_t>(i)];
                if (p.enabled == 0 || !std::isfinite(p.speed)) continue;
                r.min = std::min(r.min, p.speed);
                r.max = std::max(r.max, p.speed);
            }
            break;
        case kGraphYLoggedSpeed:
            r.min = 0;
            r.max = 0;
            for (int32_t i = f + 1; i <= l; ++i) {
                const LogPoint& p = points[static_cast<size_t>(i)];
                if (p.enabled != 0 && std::isfinite(p.loggedSpeed)) r.max = std::max(r.max, p.loggedSpeed);
            }
            if (r.max <= 0) r.max = 1.0f;
            break;
        default: {
            bool any = false;
            for (int32_t i = f; i <= l; ++i) {
                const LogPoint& p = points[static_cast<size_t>(i)];
                if ((p.enabled == 0 && i != f) || !std::isfinite(p.geoidAltitude)) continue;
                r.min = any ? std::min(r.min, p.geoidAltitude) : p.geoidAltitude;
                r.max = any ? std::max(r.max, p.geoidAltitude) : p.geoidAltitude;
                any = true;
            }
            break;
        }
    }
    if (!std::isfinite(r.max)) r.max = 0;
    if (!std::isfinite(r.min) || r.min > r.max) r.min = r.max;
    if (static_cast<double>(r.max) - r.min < 0.1) {
        r.max = static_cast<float>(r.max + 0.1);
        r.min = static_cast<float>(r.min - 0.1);
    }
    return r;
}

// A tick label; an empty one (a time beyond the years a date can show) is
// left out.
void Text(const GraphBackend& backend, int32_t x, int32_t y, const char* text) {
    const size_t length = std::strlen(text);
    if (length == 0) return;
    backend.tickText(backend.context, x, y, text, static_cast<int32_t>(length));
}

void Title(const GraphBackend& backend, int32_t x, int32_t y, const std::string& utf8) {
    backend.titleText(backend.context, x, y, utf8.data(), static_cast<int32_t>(utf8.size()));
}

GraphTextSize Extent(const GraphBackend& backend, const char* text) {
    GraphTextSize size;
    backend.textExtent(backend.context, text, static_cast<int32_t>(std::strlen(text)), size);
    return size;
}

// Minutes to add to local standard time to get UTC, for the day of t.
int64_t StandardBiasMinutes(int64_t t) {
    const int64_t days = (t >= 0 ? t : t - 86399) / 86400;
    if (days < -700000 || days > 700000) return 0;
    const int64_t local = LocalStandardTimeToUtc(1970, 1, static_cast<int>(1 + days), 0, 0, 0);
    if (local == 0 && days != 0) return 0;
    return (local - days * 86400) / 60;
}

bool AddLine(GraphBuffers& buffers, GraphPoint a, GraphPoint b) {
    if (!buffers.HasRoom(2)) return false;
    buffers.points[static_cast<size_t>(buffers.pointCount++)] = a;
    buffers.points[static_cast<size_t>(buffers.pointCount++)] = b;
    buffers.counts[static_cast<size_t>(buffers.lineCount++)] = 2;
    return true;
}

// The horizontal axis: ticks, labels and the title it calls for.
const std::string& HorizontalAxis(const TrackStore& store, const GraphSettings& graph, const GraphBackend& backend,
                                  const GraphPlotRect& plot, const GraphMetrics& metrics, GraphBuffers& buffers,
                                  int xItem, int32_t n, double& xScale, int64_t& t0) {
    const GraphTextSize clock = Extent(backend, "00:00");
    TimeAxis axis;
    axis.axisX = plot.left;
    axis.axisY = plot.bottom;
    axis.minSpacing = clock.cx;
    const int32_t labelY = plot.bottom + metrics.smallGap;
    const double plotWidth = plot.right - plot.left;

    if (xItem == kGraphXElapsed) {
        const int64_t total = store.totalDuration > 0 ? store.totalDuration : 7200;
        xScale = plotWidth / static_cast<double>(total);
        t0 = 0;
        if (total <= kTwoWeeks) {
            axis.pixelsPerSecond = xScale;
            switch (TimeAxisTicks(backend, 0, total, 0, buffers, axis, metrics)) {
                case TimeAxisTitle::kHour:
                    return kHourTitle;
                case TimeAxisTitle::kDay:
                    return kDayTitle;
                default:
                    return graph.elapsedLabel;
            }
        }
        Text(backend, plot.left, labelY, "0");
        char days[32];
        std::snprintf(days, sizeof days, "%d days", static_cast<int>(total / 86400));
        backend.textAlign(backend.context, kAlignRight | kAlignTop);
        Text(backend, plot.right, labelY, days);
        return kNoTitle;
    }

    if (xItem == kGraphXDistance) {
        double dmax = store.points[static_cast<size_t>(n) - 1].distance;
        // Points that all stand at one place still get an axis.
        if (!(dmax > 0) || !std::isfinite(dmax)) dmax = 0.1;
        xScale = plotWidth / dmax;
        t0 = 0;
        DistanceAxisTicks(backend, dmax, xScale, plot.left, plot.bottom, buffers, metrics);
        return graph.distanceLabel;
    }

    t0 = store.earliestTime;
    int64_t t1 = store.latestTime;
    if (t1 <= t0) {
        t0 -= 3600;
        t1 = t0 + 7200;
    }
    xScale = plotWidth / static_cast<double>(t1 - t0);
    if (t1 - t0 <= kTwoWeeks) {
        int64_t first = (t0 >= 0 ? t0 / 86400 : (t0 - 86399) / 86400) * 86400 + StandardBiasMinutes(t0) * 60;
        while (first > t0) first -= 86400;
        axis.pixelsPerSecond = xScale;
        switch (TimeAxisTicks(backend, t0, t1, first, buffers, axis, metrics)) {
            case TimeAxisTitle::kHour:
                return kHourTitle;
            case TimeAxisTitle::kDay:
                return kDayTitle;
            default:
                return graph.timeLabel;
        }
    }
    char text[20];
    backend.textAlign(backend.context, kAlignLeft | kAlignTop);
    FormatLocalTime(t0, text);
    Text(backend, plot.left, labelY, text);
    backend.textAlign(backend.context, kAlignRight | kAlignTop);
    FormatLocalTime(t1, text);
    Text(backend, plot.right, labelY, text);
    return kDateTimeTitle;
}

// The first and last enabled point of the n held: the first falls back to
// the last point, the last stops at index 1.
void EnabledEnds(const PointArray& points, int32_t n, int32_t& f, int32_t& l) {
    f = n - 1;
    for (int32_t i = 0; i < n - 1; ++i) {
        if (points[static_cast<size_t>(i)].enabled != 0) {
            f = i;
            break;
        }
    }
    l = n - 1;
    while (l > 1 && points[static_cast<size_t>(l)].enabled == 0) --l;
}

// The layout sizes, from 96 DPI to the target's resolution.
GraphMetrics ScaledMetrics(const GraphSettings& graph, int32_t dpi) {
    GraphMetrics metrics;
    metrics.numberHeight = MulDiv(graph.numberFont.size, dpi, 96);
    metrics.labelHeight = MulDiv(graph.labelFont.size, dpi, 96);
    metrics.gap = MulDiv(graph.gap, dpi, 96);
    metrics.smallGap = MulDiv(graph.smallGap, dpi, 96);
    metrics.axisPenWidth = MulDiv(graph.axisPenWidth, dpi, 96);
    metrics.majorTick = MulDiv(graph.majorTickLength, dpi, 96);
    metrics.minorTick = MulDiv(graph.minorTickLength, dpi, 96);
    return metrics;
}

// The vertical axis: its value step and how its labels are written.
struct ValueAxis {
    ValueRange range;
    double yScale = 0;
    double step = 0;
    int decimals = 0;
};

// The value axis over the plot's height; the plot's left edge makes room for
// the widest label (that of the top value) and its right edge for the last
// time label.
ValueAxis LayOutValueAxis(const GraphBackend& backend, const GraphMetrics& metrics, const ValueRange& range,
                          int32_t width, GraphPlotRect& plot) {
    const int32_t numberHeight = std::max(metrics.numberHeight, 1);
    ValueAxis axis;
    axis.range = range;
    const double span = static_cast<double>(range.max) - range.min;
    axis.yScale = (plot.bottom - plot.top) / span;
    int exponent = 0;
    axis.step = NiceStep(span / (static_cast<double>(plot.bottom - plot.top) / numberHeight), exponent);
    axis.decimals = exponent < 0 ? -exponent : 0;
    char label[64];
    std::snprintf(label, sizeof label, "%.*f", axis.decimals, static_cast<double>(range.max));
    plot.left = 3 * metrics.gap + metrics.labelHeight + Extent(backend, label).cx;
    plot.right = std::max(width - MulDiv(metrics.numberHeight, 5, 4), plot.left + 80);
    return axis;
}

// The frame as the first line of the buffers.
void AddFrame(GraphBuffers& buffers, const GraphPlotRect& plot) {
    const GraphPoint frame[5] = {{plot.left, plot.top},
                                 {plot.right, plot.top},
                                 {plot.right, plot.bottom},
                                 {plot.left, plot.bottom},
                                 {plot.left, plot.top}};
    std::copy(frame, frame + 5, buffers.points.begin());
    buffers.pointCount = 5;
    buffers.counts[0] = 5;
    buffers.lineCount = 1;
}

// Value ticks and their labels, from the first step at or above min.
void ValueTicks(const GraphBackend& backend, const GraphMetrics& metrics, const GraphPlotRect& plot,
                const ValueAxis& axis, GraphBuffers& buffers) {
    const ValueRange& range = axis.range;
    double v = std::trunc(range.min / axis.step) * axis.step;
    while (v < range.min) {
        const double next = v + axis.step;
        if (next == v) break;
        v = next;
    }
    char label[64];
    backend.textAlign(backend.context, kAlignRight | kAlignTop);
    while (v < range.max && buffers.HasRoom(2)) {
        const int32_t y = PixelOf((range.max - v) * axis.yScale) + plot.top;
        AddLine(buffers, {plot.left, y}, {plot.left + metrics.majorTick, y});
        std::snprintf(label, sizeof label, "%.*f", axis.decimals, v + 0.0);  // + 0.0: never "-0"
        Text(backend, plot.left - metrics.gap, y - metrics.numberHeight / 2, label);
        const double next = v + axis.step;
        if (next == v) break;
        v = next;
    }
}

// Both axis titles, the Y one turned up at the left edge.
void AxisTitles(const GraphSettings& graph, const GraphBackend& backend, const GraphMetrics& metrics,
                const GraphPlotRect& plot, const std::string& xTitle) {
    backend.font(backend.context, metrics.labelHeight, 0, true, graph.labelFont.name, true);
    backend.textAlign(backend.context, kAlignCenter | kAlignTop);
    Title(backend, (plot.left + plot.right) / 2, plot.bottom + metrics.numberHeight + 2 * metrics.smallGap, xTitle);

    backend.font(backend.context, metrics.labelHeight, kEscapementUp, false, graph.labelFont.name, true);
    backend.textAlign(backend.context, kAlignCenter | kAlignTop);
    Title(backend, metrics.gap, (plot.bottom + plot.top) / 2, GraphYTitle(graph));
}

// How a point maps to the plot.
struct PlotMapping {
    GraphPlotRect plot;
    int xItem = kGraphXTime;
    int yItem = kGraphYAltitude;
    double xScale = 0;
    double yScale = 0;
    int64_t t0 = 0;
    float valueMax = 0;
};

// One polyline per track over its enabled points, in the track's width and
// colour. A track with fewer than two enabled points is left out. With
// keepPositions each point's pixel goes into graphX and graphY.
void DrawTracks(TrackStore& store, const GraphBackend& backend, const PlotMapping& m, int32_t n, int32_t dpi,
                bool keepPositions, GraphBuffers& buffers) {
    PointArray& points = store.points;
    // Locals, not members of m: the stores into graphX and graphY could
    // otherwise alias them and force a reload for every point.
    const int xItem = m.xItem;
    const int yItem = m.yItem;
    const double xScale = m.xScale;
    const double yScale = m.yScale;
    const int64_t t0 = m.t0;
    const float valueMax = m.valueMax;
    const int32_t left = m.plot.left;
    const int32_t top = m.plot.top;
    int64_t offset = 0;  // elapsed time: the gaps between tracks taken out
    const int32_t tracks = HeldTrackCount(store);
    for (int32_t t = 0; t < tracks; ++t) {
        const int32_t first = TrackFirstIndex(store, t);
        const int32_t last = std::min(TrackLastIndex(store, t), n - 1);
        int32_t s = first;
        while (s <= last && points[static_cast<size_t>(s)].enabled == 0) ++s;
        if (s >= last) continue;
        const TrackRecord& record = store.tracks[static_cast<size_t>(t)];
        const int64_t startTime = points[static_cast<size_t>(s)].time;
        if (xItem == kGraphXElapsed) offset += startTime - record.startTime;
        int64_t lastTime = startTime;
        buffers.Clear();
        for (int32_t i = s; i <= last; ++i) {
            LogPoint& p = points[static_cast<size_t>(i)];
            if (p.enabled == 0) continue;
            int32_t x;
            if (xItem == kGraphXElapsed) {
                x = PixelOf(static_cast<double>(offset + (p.time - startTime)) * xScale) + left;
            } else if (xItem == kGraphXDistance) {
                x = PixelOf(p.distance * xScale) + left;
            } else {
                x = PixelOf(static_cast<double>(p.time - t0) * xScale) + left;
            }
            const int32_t y = PixelOf((valueMax - PlottedValue(p, yItem)) * yScale) + top;
            buffers.points[static_cast<size_t>(buffers.pointCount++)] = {x, y};
            if (keepPositions) {
                p.graphX = x;
                p.graphY = y;
            }
            lastTime = p.time;
        }
        backend.pen(backend.context, MulDiv(record.lineWidth, dpi, 96), SwapRedBlue(record.color), true);
        backend.polyline(backend.context, buffers.points.data(), buffers.pointCount);
        if (xItem == kGraphXElapsed) offset += lastTime - startTime;
    }
}

}  // namespace

bool GraphHasContent(const TrackStore& store) {
    return store.trackCount > 0 && store.firstEnabledPoint != store.lastEnabledPoint && HeldPointCount(store) >= 2;
}

const std::string& GraphYTitle(const GraphSettings& graph) {
    switch (graph.yItem) {
        case kGraphYDistance:
            return graph.distanceLabel;
        case kGraphYSpeed:
            return graph.averageSpeedLabel;
        case kGraphYLoggedSpeed:
            return graph.speedLabel;
        default:
            return graph.altitudeLabel;
    }
}

int DrawGraph(TrackStore& store, const GraphSettings& graph, const GraphBackend& backend, int32_t width, int32_t height,
              int32_t dpi, GraphPlotRect* windowPlot) {
    if (!GraphHasContent(store)) return 1;
    const int32_t n = HeldPointCount(store);
    PlotMapping m;
    m.xItem = graph.xItem >= kGraphXTime && graph.xItem <= kGraphXDistance ? graph.xItem : kGraphXTime;
    m.yItem = graph.yItem >= kGraphYAltitude && graph.yItem <= kGraphYLoggedSpeed ? graph.yItem : kGraphYAltitude;
    int32_t f, l;
    EnabledEnds(store.points, n, f, l);

    const GraphMetrics metrics = ScaledMetrics(graph, dpi);
    backend.font(backend.context, metrics.numberHeight, 0, true, graph.numberFont.name, true);
    GraphPlotRect& plot = m.plot;
    plot.top = metrics.numberHeight / 2;
    plot.bottom = std::max(plot.top + 50, height - 3 * metrics.smallGap - metrics.numberHeight - metrics.labelHeight);
    const ValueAxis valueAxis =
        LayOutValueAxis(backend, metrics, ComputeValueRange(store, m.yItem, f, l, n), width, plot);
    m.yScale = valueAxis.yScale;
    m.valueMax = valueAxis.range.max;

    GraphBuffers buffers(std::max<int32_t>(1000, n));
    AddFrame(buffers, plot);
    ValueTicks(backend, metrics, plot, valueAxis, buffers);
    backend.textAlign(backend.context, kAlignCenter | kAlignTop);
    const std::string& xTitle =
        HorizontalAxis(store, graph, backend, plot, metrics, buffers, m.xItem, n, m.xScale, m.t0);
    AxisTitles(graph, backend, metrics, plot, xTitle);
    backend.pen(backend.context, metrics.axisPenWidth, 0, true);
    backend.polyPolyline(backend.context, buffers.points.data(), buffers.counts.data(), buffers.lineCount);

    DrawTracks(store, backend, m, n, dpi, windowPlot != nullptr, buffers);

    backend.pen(backend.context, 0, 0, false);
    backend.font(backend.context, 0, 0, false, std::u16string_view(), false);
    if (windowPlot != nullptr) *windowPlot = plot;
    return 0;
}

}  // namespace trakvio
