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
using test::PointSpec;
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

// Draws tracks through the recording back end at the window's first size.
RecordingBackend Draw(TrackStore& store, const GraphSettings& graph,
                      const std::vector<std::vector<PointSpec>>& tracks) {
    FillStore(store, tracks);
    RecordingBackend r;
    EXPECT_EQ(DrawGraph(store, graph, r.Table(), 500, 438, 96), 0);
    return r;
}

TEST(GraphAxes, StepsExponentsAndPathSteps) {
    const struct {
        double raw, step;
        int exponent;
    } steps[] = {{1234 / (400.0 / 14), 50, 1},
                 {static_cast<double>(0.3f) / (400.0 / 14), 0.02, -2},  // 0 to 0.3 of a float over 400 pixels
                 {7.5, 10, 1},
                 {1.0, 1, 0},
                 {1.6, 2, 0}};
    for (const auto& row : steps) {
        int exponent = 99;
        EXPECT_DOUBLE_EQ(NiceStep(row.raw, exponent), row.step) << row.raw;
        EXPECT_EQ(exponent, row.exponent) << row.raw;
    }
    const std::pair<double, int> exponents[] = {{1234, 3}, {-56.0, 1}, {0.05, -2}, {1, 0}, {0, 0}, {1.0 / 0.0, 0}};
    for (const auto& [v, e] : exponents) EXPECT_EQ(DecimalExponent(v), e) << v;

    // Path steps: vertical, horizontal, none (a vertical 0) and diagonal.
    const GraphPoint points[] = {{10, 20}, {10, 35}, {10, 20}, {30, 20}, {10, 20}, {10, 20}, {10, 20}, {30, 40}};
    const int32_t counts[] = {2, 2, 2, 2};
    std::string path;
    AppendSvgPathData(path, points, counts, 4);
    EXPECT_EQ(path, "M10,20v15M10,20h20M10,20v0M10,20L30,40");
}

TEST(GraphAxes, TimeTicksDivideHoursOrCountHoursAndDays) {
    const struct {
        double pixelsPerSecond;
        int64_t end;
        TimeAxisTitle title;
        std::vector<std::string> labels;
    } rows[] = {
        {120.0 / 3600, 3600, TimeAxisTitle::kTime, {"7:00", "7:30", "8:00"}},  // an hour is 120 pixels
        {300.0 / (3 * 86400),
         3 * 86400,
         TimeAxisTitle::kHour,
         {"0", "6", "12", "18", "0", "6", "12", "18", "0", "6", "12", "18", "0"}},
        // A tick on the start counts from 0.
        {300.0 / (14 * 86400),
         14 * 86400,
         TimeAxisTitle::kDay,
         {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13", "14"}},
    };
    GraphMetrics metrics;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.labels.size());
        RecordingBackend r;
        GraphBuffers buffers(1000);
        const int64_t start = row.title == TimeAxisTitle::kTime ? 7 * 3600 : 0;
        const TimeAxis axis{row.pixelsPerSecond, 100, 300, 30};
        EXPECT_EQ(TimeAxisTicks(r.Table(), start, start + row.end, 0, buffers, axis, metrics), row.title);
        EXPECT_EQ(r.TickLabels(), row.labels);
        if (row.title != TimeAxisTitle::kTime) continue;
        // Ten-minute ticks, every third one labelled (long).
        ASSERT_EQ(buffers.lineCount, 7);
        EXPECT_EQ((std::vector{buffers.points[0].x, buffers.points[1].y, buffers.points[3].y}),
                  (std::vector{100, 300 - metrics.majorTick, 300 - metrics.minorTick}));
        // A buffer that fills up ends the ticks.
        GraphBuffers small(4);
        TimeAxisTicks(r.Table(), 0, 10 * 3600, 0, small, axis, metrics);
        EXPECT_EQ(small.pointCount, 4);
    }
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

    // Over 400 pixels with a 14-pixel font; a flat or all-zero value still
    // gets an axis.
    const struct {
        int yItem;
        float from, to;
        size_t count;
        std::string first, second, last, title;
    } rows[] = {
        {kGraphYAltitude, 0, 1234, 25, "0", "50", "1200", "Altitude [m]"},
        {kGraphYLoggedSpeed, 0, 0.3f, 16, "0.00", "0.02", "0.30", "Speed [km/h]"},
        {kGraphYLoggedSpeed, 0, 0, 20, "0.00", "0.05", "0.95", "Speed [km/h]"},
        {kGraphYAltitude, 100, 100, 19, "99.91", "99.92", "100.09", "Altitude [m]"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.to);
        graph.yItem = row.yItem;
        r = Draw(store, graph, {{{1000, row.from}, {1060, row.to}}});
        const std::vector<std::string> labels = ValueLabels(r);
        ASSERT_EQ(labels.size(), row.count);
        EXPECT_EQ(labels[0] + " " + labels[1] + " " + labels.back(), row.first + " " + row.second + " " + row.last);
        EXPECT_EQ(r.Titles().back(), row.title);
    }

    // Plot left = 3 gaps + label height + the width of "1234"; top = 7; the
    // track from the bottom left to the top right.
    graph.yItem = kGraphYAltitude;
    r = Draw(store, graph, {{{1000, 0}, {1060, 1234}}});
    const GraphPoint frameStart = r.polyPolylineLines.at(0).at(0);
    EXPECT_EQ(r.polyPolylineLines[0].size(), 5u);
    ASSERT_EQ(r.polylines.size(), 1u);
    EXPECT_EQ((std::vector{frameStart.x, frameStart.y, r.polylines[0].front().y, r.polylines[0].back().y}),
              (std::vector{3 * 3 + 14 + 4 * 7, 7, 407, 7}));
}

TEST(DrawGraph, TimeElapsedAndDistanceAxes) {
    test::ScopedTimeZone utc("UTC");
    GraphSettings graph;
    TrackStore store;
    const int64_t t = 1704067200;  // 2024-01-01 00:00:00 UTC

    // All points at one time: an hour either side, the points in the middle.
    RecordingBackend r = Draw(store, graph, {{{t, 10}, {t, 20}}});
    const GraphPoint frame = r.polyPolylineLines.at(0).at(0);
    const int32_t right = 500 - 18;
    EXPECT_EQ(r.polylines.at(0).front().x, frame.x + (right - frame.x) / 2);
    EXPECT_EQ(r.Titles().front(), "Time");

    // Fifteen days: the two end times and "Date and time".
    r = Draw(store, graph, {{{t, 10}, {t + 15 * 86400, 20}}});
    std::vector<std::string> labels = r.TickLabels();
    ASSERT_GE(labels.size(), 2u);
    EXPECT_EQ(labels[labels.size() - 2] + " " + labels.back(), "2024-01-01 00:00:00 2024-01-16 00:00:00");
    EXPECT_EQ(r.Titles().front(), "Date and time");

    // Elapsed time over two one-hour tracks a day apart spans two hours; the
    // second track starts in the middle.
    graph.xItem = kGraphXElapsed;
    r = Draw(store, graph, {{{t, 10}, {t + 1800, 12}, {t + 3600, 14}}, {{t + 86400, 10}, {t + 90000, 20}}});
    ASSERT_EQ(r.polylines.size(), 2u);
    EXPECT_EQ(r.polylines[0].front().x, frame.x);
    EXPECT_NEAR(r.polylines[1].front().x, frame.x + (right - frame.x) / 2, 1);
    EXPECT_NEAR(r.polylines[1].back().x, right, 1);
    EXPECT_EQ(r.Titles().front(), "Elapsed time");

    // Distance: ticks labelled "%g" from 0; all points at one place still
    // get an axis.
    graph.xItem = kGraphXDistance;
    r = Draw(store, graph, {{{t, 10, 0}, {t + 60, 11, 1.0}, {t + 120, 12, 2.5}}});
    labels = r.TickLabels();
    EXPECT_NE(std::find(labels.begin(), labels.end(), "0"), labels.end());
    EXPECT_NE(std::find(labels.begin(), labels.end(), "2"), labels.end());
    EXPECT_EQ(r.Titles().front(), "Travel distance [km]");
    r = Draw(store, graph, {{{t, 10}, {t + 60, 11}}});
    EXPECT_EQ(r.polylines.at(0).front().x, r.polylines.at(0).back().x);

    // The window's own target gets each point's position and the plot area.
    GraphPlotRect plot;
    graph.xItem = kGraphXTime;
    FillStore(store, {{{t, 0}, {t + 60, 1234}}});
    DrawGraph(store, graph, r.Table(), 500, 438, 96, &plot);
    EXPECT_EQ((std::vector{plot.top, plot.bottom, store.points[1].graphY}), (std::vector{7, 407, 7}));
    EXPECT_NEAR(store.points[1].graphX, plot.right, 1);
}

}  // namespace
}  // namespace trakvio
