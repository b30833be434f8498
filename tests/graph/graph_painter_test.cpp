// The screen back end: runs of points in one pixel column are thinned without
// losing their extremes, and the window shows each track's curve in its colour
// where the drawing put its points.
#include "graph/graph_painter.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QTest>

#include "app/fake_shell.h"
#include "graph/graph_test_support.h"
#include "graph/graph_window.h"

namespace trakvio {
namespace {

std::vector<std::vector<test::PointSpec>> ThreeTracks() {
    std::vector<std::vector<test::PointSpec>> tracks(3);
    for (int t = 0; t < 3; ++t) {
        for (int i = 0; i < 200; ++i) {
            tracks[static_cast<size_t>(t)].push_back(
                {1700000000 + t * 5000 + i * 20, static_cast<float>(100 + 40 * t + (i % 50)), i * 0.01});
        }
    }
    return tracks;
}

TEST(GraphPainter, ColumnRunsKeepTheirEndsAndExtremes) {
    const GraphPoint points[] = {{1, 5}, {2, 7}, {2, 3}, {2, 9}, {2, 4}, {2, 6}, {3, 6}, {3, 6}};
    std::vector<QPoint> out;
    PainterGraphBackend::ReduceColumns(points, 8, out);
    EXPECT_EQ(out, (std::vector<QPoint>{{1, 5}, {2, 7}, {2, 3}, {2, 9}, {2, 6}, {3, 6}}));
}

TEST(GraphPainter, WindowShowsEachTrackInItsColourAtItsPoints) {
    AppState state;
    test::FillStore(state.store, ThreeTracks());
    state.store.tracks[1].color = 0x00A000;
    state.store.tracks[2].color = 0x2040FF;
    FakeShell shell;
    GraphWindow window(state, shell);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QImage shot = window.Canvas()->grab().toImage();
    for (int t = 0; t < 3; ++t) {
        const TrackRecord& record = state.store.tracks[static_cast<size_t>(t)];
        const QColor colour((record.color >> 16) & 0xFF, (record.color >> 8) & 0xFF, record.color & 0xFF);
        int hits = 0;
        for (int i = TrackFirstIndex(state.store, t); i <= TrackLastIndex(state.store, t); ++i) {
            const LogPoint& p = state.store.points[static_cast<size_t>(i)];
            if (shot.pixelColor(p.graphX, p.graphY) == colour) ++hits;
        }
        // Later segments of the same curve may cross a point; its colour stays.
        EXPECT_EQ(hits, TrackLastIndex(state.store, t) - TrackFirstIndex(state.store, t) + 1) << "track " << t;
    }
}

}  // namespace
}  // namespace trakvio
