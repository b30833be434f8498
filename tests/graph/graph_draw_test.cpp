// Axis arithmetic and DrawGraph, checked through a back end that records
// every call (text widths: 7 pixels a character).
#include "graph/graph_draw.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "graph/graph_axes.h"
#include "graph/graph_svg.h"
#include "graph/graph_test_support.h"
#include "test_support.h"

namespace trakvio {
namespace {

using test::FillStore;
using test::RecordingBackend;

// The leading run of right-aligned labels: the value axis.
std::vector<std::string> ValueLabels(const RecordingBackend& r) {
    std::vector<std::string> labels;
    for (const auto& t : r.texts) {
        if (t.align != (kAlignRight | kAlignTop)) break;
        labels.push_back(t.text);
    }
    return labels;
}

TEST(GraphAxes, StepsAndExponents) {
    int exponent = 0;
    EXPECT_DOUBLE_EQ(NiceStep(1234 / (400.0 / 14), exponent), 50);
    EXPECT_EQ(exponent, 1);
    // The range 0 to 0.3 of a float value over 400 pixels.
    EXPECT_DOUBLE_EQ(NiceStep(static_cast<double>(0.3f) / (400.0 / 14), exponent), 0.02);
    EXPECT_EQ(exponent, -2);
    EXPECT_DOUBLE_EQ(NiceStep(7.5, exponent), 10);
    EXPECT_EQ(exponent, 1);
    EXPECT_DOUBLE_EQ(NiceStep(1.0, exponent), 1);
    EXPECT_DOUBLE_EQ(NiceStep(1.6, exponent), 2);

    EXPECT_EQ(DecimalExponent(1234), 3);
    EXPECT_EQ(DecimalExponent(-56.0), 1);
    EXPECT_EQ(DecimalExponent(0.05), -2);
    EXPECT_EQ(DecimalExponent(1), 0);
    EXPECT_EQ(DecimalExponent(0), 0);
    EXPECT_EQ(DecimalExponent(1.0 / 0.0), 0);

    // Path steps: vertical, horizontal, none (a vertical 0) and diagonal.
    const GraphPoint points[] = {{10, 20}, {10, 35}, {10, 20}, {30, 20}, {10, 20}, {10, 20}, {10, 20}, {30, 40}};
    const int32_t counts[] = {2, 2, 2, 2};
    std::string path;
    AppendSvgPathData(path, points, counts, 4);
    EXPECT_EQ(path, "M10,20v15M10,20h20M10,20v0M10,20L30,40");
}

TEST(GraphAxes, TimeTicksDivideHoursOrCountHoursAndDays) {
    GraphMetrics metrics;
    RecordingBackend r;
    GraphBackend backend = r.Table();
    GraphBuffers buffers(1000);
    TimeAxis axis{120.0 / 3600, 100, 300, 30};  // an hour is 120 pixels
    EXPECT_EQ(TimeAxisTicks(backend, 7 * 3600, 8 * 3600, 0, buffers, axis, metrics), TimeAxisTitle::kTime);
    EXPECT_EQ(r.TickLabels(), (std::vector<std::string>{"7:00", "7:30", "8:00"}));
    ASSERT_EQ(buffers.lineCount, 7);  // ten-minute ticks, every third one labelled
    EXPECT_EQ(buffers.points[0].x, 100);
    EXPECT_EQ(buffers.points[1].y, 300 - metrics.majorTick);
    EXPECT_EQ(buffers.points[3].y, 300 - metrics.minorTick);

    r.texts.clear();
    buffers.Clear();
    axis.pixelsPerSecond = 300.0 / (3 * 86400);  // three days over 300 pixels: six-hour labels
    EXPECT_EQ(TimeAxisTicks(backend, 0, 3 * 86400, 0, buffers, axis, metrics), TimeAxisTitle::kHour);
    std::vector<std::string> labels = r.TickLabels();
    ASSERT_EQ(labels.size(), 13u);
    EXPECT_EQ(labels[1], "6");
    EXPECT_EQ(labels[4], "0");

    r.texts.clear();
    buffers.Clear();
    axis.pixelsPerSecond = 300.0 / (14 * 86400);
    EXPECT_EQ(TimeAxisTicks(backend, 0, 14 * 86400, 0, buffers, axis, metrics), TimeAxisTitle::kDay);
    labels = r.TickLabels();
    ASSERT_EQ(labels.size(), 15u);  // a tick on the start counts from 0
    EXPECT_EQ(labels.front(), "0");
    EXPECT_EQ(labels.back(), "14");

    // A buffer that fills up ends the ticks.
    GraphBuffers small(4);
    axis.pixelsPerSecond = 120.0 / 3600;
    TimeAxisTicks(backend, 0, 10 * 3600, 0, small, axis, metrics);
    EXPECT_EQ(small.pointCount, 4);
}

TEST(DrawGraph, GuardsAndValueAxis) {
    GraphSettings graph;
    RecordingBackend r;
    TrackStore store;
    FillStore(store, {{{1000, 5}, {1060, 6}}});
    store.points[1].enabled = 0;
    RecomputeStatistics(store, 0);
    EXPECT_EQ(DrawGraph(store, graph, r.Table(), 500, 438, 96), 1);
    EXPECT_EQ(r.calls, 0);

    // 0 to 1234 over 400 pixels with a 14-pixel font: steps of 50.
    FillStore(store, {{{1000, 0}, {1060, 1234}}});
    ASSERT_EQ(DrawGraph(store, graph, r.Table(), 500, 438, 96), 0);
    std::vector<std::string> labels = ValueLabels(r);
    ASSERT_EQ(labels.size(), 25u);
    EXPECT_EQ(labels[1], "50");
    EXPECT_EQ(labels.back(), "1200");
    // Plot left = 3 gaps + label height + the width of "1234"; top = 7.
    const GraphPoint frameStart = r.polyPolylineLines.at(0).at(0);
    EXPECT_EQ(frameStart.x, 3 * 3 + 14 + 4 * 7);
    EXPECT_EQ(frameStart.y, 7);
    EXPECT_EQ(r.polyPolylineLines[0].size(), 5u);
    // The track: first point at the bottom left, last at the top right.
    ASSERT_EQ(r.polylines.size(), 1u);
    EXPECT_EQ(r.polylines[0].front().y, 407);
    EXPECT_EQ(r.polylines[0].back().y, 7);
    EXPECT_EQ(r.Titles().back(), "Altitude [m]");

    // Logged speed from 0 to 0.3: two decimals.
    graph.yItem = kGraphYLoggedSpeed;
    r = RecordingBackend();
    FillStore(store, {{{1000, 0}, {1060, 0.3f}}});
    DrawGraph(store, graph, r.Table(), 500, 438, 96);
    labels = ValueLabels(r);
    ASSERT_GE(labels.size(), 15u);
    EXPECT_EQ(labels[0], "0.00");
    EXPECT_EQ(labels[1], "0.02");
    EXPECT_EQ(r.Titles().back(), "Speed [km/h]");

    // Logged speed all zero: the axis spans 0 to 1.
    r = RecordingBackend();
    FillStore(store, {{{1000, 0}, {1060, 0}}});
    DrawGraph(store, graph, r.Table(), 500, 438, 96);
    labels = ValueLabels(r);
    EXPECT_EQ(labels.front(), "0.00");
    EXPECT_EQ(labels.back(), "0.95");

    // A flat altitude: 100 - 0.1 to 100 + 0.1.
    graph.yItem = kGraphYAltitude;
    r = RecordingBackend();
    FillStore(store, {{{1000, 100}, {1060, 100}}});
    DrawGraph(store, graph, r.Table(), 500, 438, 96);
    labels = ValueLabels(r);
    ASSERT_GE(labels.size(), 19u);
    for (const std::string& label : labels) {
        EXPECT_GE(std::atof(label.c_str()), 99.89) << label;
        EXPECT_LE(std::atof(label.c_str()), 100.1) << label;
    }
}

TEST(DrawGraph, TimeElapsedAndDistanceAxes) {
    test::ScopedTimeZone utc("UTC");
    GraphSettings graph;
    TrackStore store;
    const int64_t t = 1704067200;  // 2024-01-01 00:00:00 UTC

    // All points at one time: an hour either side, the points in the middle.
    RecordingBackend r;
    FillStore(store, {{{t, 10}, {t, 20}}});
    DrawGraph(store, graph, r.Table(), 500, 438, 96);
    const GraphPoint frame = r.polyPolylineLines.at(0).at(0);
    const int32_t right = 500 - 18;
    EXPECT_EQ(r.polylines.at(0).front().x, frame.x + (right - frame.x) / 2);
    EXPECT_EQ(r.Titles().front(), "Time");

    // Fifteen days: the two end times and "Date and time".
    r = RecordingBackend();
    FillStore(store, {{{t, 10}, {t + 15 * 86400, 20}}});
    DrawGraph(store, graph, r.Table(), 500, 438, 96);
    std::vector<std::string> labels = r.TickLabels();
    EXPECT_EQ(labels[labels.size() - 2], "2024-01-01 00:00:00");
    EXPECT_EQ(labels.back(), "2024-01-16 00:00:00");
    EXPECT_EQ(r.Titles().front(), "Date and time");

    // Elapsed time over two one-hour tracks a day apart spans two hours; the
    // second track starts in the middle.
    graph.xItem = kGraphXElapsed;
    r = RecordingBackend();
    FillStore(store, {{{t, 10}, {t + 1800, 12}, {t + 3600, 14}}, {{t + 86400, 10}, {t + 90000, 20}}});
    ASSERT_EQ(store.totalDuration, 7200);
    DrawGraph(store, graph, r.Table(), 500, 438, 96);
    ASSERT_EQ(r.polylines.size(), 2u);
    EXPECT_EQ(r.polylines[0].front().x, frame.x);
    EXPECT_NEAR(r.polylines[1].front().x, frame.x + (right - frame.x) / 2, 1);
    EXPECT_NEAR(r.polylines[1].back().x, right, 1);
    EXPECT_EQ(r.Titles().front(), "Elapsed time");

    // Distance: ticks labelled "%g" from 0; all points at one place still
    // get an axis.
    graph.xItem = kGraphXDistance;
    r = RecordingBackend();
    FillStore(store, {{{t, 10, 0}, {t + 60, 11, 1.0}, {t + 120, 12, 2.5}}});
    DrawGraph(store, graph, r.Table(), 500, 438, 96);
    labels = r.TickLabels();
    EXPECT_NE(std::find(labels.begin(), labels.end(), "0"), labels.end());
    EXPECT_NE(std::find(labels.begin(), labels.end(), "2"), labels.end());
    EXPECT_EQ(r.Titles().front(), "Travel distance [km]");
    r = RecordingBackend();
    FillStore(store, {{{t, 10}, {t + 60, 11}}});
    EXPECT_EQ(DrawGraph(store, graph, r.Table(), 500, 438, 96), 0);
    EXPECT_EQ(r.polylines.at(0).front().x, r.polylines.at(0).back().x);

    // The window's own target gets each point's position and the plot area.
    GraphPlotRect plot;
    graph.xItem = kGraphXTime;
    FillStore(store, {{{t, 0}, {t + 60, 1234}}});
    DrawGraph(store, graph, r.Table(), 500, 438, 96, &plot);
    EXPECT_EQ(plot.top, 7);
    EXPECT_EQ(plot.bottom, 407);
    EXPECT_NEAR(store.points[1].graphX, plot.right, 1);
    EXPECT_EQ(store.points[1].graphY, plot.top);
}

}  // namespace
}  // namespace trakvio
