// The screen back end against the file back ends: one store gives the same
// track polylines on a QPainter, in SVG and in EMF, and the window shows each
// track's curve in its colour where the drawing put its points.
#include "graph/graph_painter.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QTest>
#include <cstring>
#include <regex>

#include "app/fake_shell.h"
#include "graph/graph_draw.h"
#include "graph/graph_emf.h"
#include "graph/graph_svg.h"
#include "graph/graph_test_support.h"
#include "graph/graph_window.h"
#include "test_support.h"

namespace trakvio {
namespace {

using Polyline = std::vector<std::pair<int32_t, int32_t>>;

// Forwards every operation to an inner table and keeps the polylines.
struct PolylineRecorder {
    GraphBackend inner;
    std::vector<Polyline> polylines;

    GraphBackend Table() {
        GraphBackend b = inner;
        b.context = this;
        b.polyline = [](void* c, const GraphPoint* p, int32_t n) {
            auto& r = *static_cast<PolylineRecorder*>(c);
            Polyline line;
            for (int32_t i = 0; i < n; ++i) line.emplace_back(p[i].x, p[i].y);
            r.polylines.push_back(line);
            r.inner.polyline(r.inner.context, p, n);
        };
        b.polyPolyline = [](void* c, const GraphPoint* p, const int32_t* counts, int32_t lines) {
            auto& r = *static_cast<PolylineRecorder*>(c);
            r.inner.polyPolyline(r.inner.context, p, counts, lines);
        };
        b.tickText = [](void* c, int32_t x, int32_t y, const char* t, int32_t n) {
            auto& r = *static_cast<PolylineRecorder*>(c);
            r.inner.tickText(r.inner.context, x, y, t, n);
        };
        b.titleText = [](void* c, int32_t x, int32_t y, const char* t, int32_t n) {
            auto& r = *static_cast<PolylineRecorder*>(c);
            r.inner.titleText(r.inner.context, x, y, t, n);
        };
        b.textExtent = [](void* c, const char* t, int32_t n, GraphTextSize& size) {
            auto& r = *static_cast<PolylineRecorder*>(c);
            r.inner.textExtent(r.inner.context, t, n, size);
        };
        b.textAlign = [](void* c, uint32_t flags) {
            auto& r = *static_cast<PolylineRecorder*>(c);
            r.inner.textAlign(r.inner.context, flags);
        };
        b.pen = [](void* c, int32_t w, uint32_t color, bool on) {
            auto& r = *static_cast<PolylineRecorder*>(c);
            r.inner.pen(r.inner.context, w, color, on);
        };
        b.font = [](void* c, int32_t h, int32_t e, bool i, std::u16string_view f, bool on) {
            auto& r = *static_cast<PolylineRecorder*>(c);
            r.inner.font(r.inner.context, h, e, i, f, on);
        };
        return b;
    }
};

std::vector<Polyline> SvgPolylines(const std::string& svg) {
    std::vector<Polyline> lines;
    const std::regex element("<polyline points=\"([^\"]*)\"");
    const std::regex point("(-?\\d+),(-?\\d+)");
    for (auto it = std::sregex_iterator(svg.begin(), svg.end(), element); it != std::sregex_iterator(); ++it) {
        const std::string points = (*it)[1];
        Polyline line;
        for (auto p = std::sregex_iterator(points.begin(), points.end(), point); p != std::sregex_iterator(); ++p) {
            line.emplace_back(std::stoi((*p)[1]), std::stoi((*p)[2]));
        }
        lines.push_back(line);
    }
    return lines;
}

template <typename T>
T Read(const std::string& bytes, size_t at) {
    T v{};
    std::memcpy(&v, bytes.data() + at, sizeof v);
    return v;
}

// EMR_POLYLINE (4) and EMR_POLYLINE16 (87) records in file order.
std::vector<Polyline> EmfPolylines(const std::string& bytes) {
    std::vector<Polyline> lines;
    size_t at = 0;
    while (at + 8 <= bytes.size()) {
        const uint32_t type = Read<uint32_t>(bytes, at), size = Read<uint32_t>(bytes, at + 4);
        if (size < 8 || at + size > bytes.size()) break;
        if (type == 4 || type == 87) {
            const uint32_t count = Read<uint32_t>(bytes, at + 24);
            Polyline line;
            for (uint32_t i = 0; i < count; ++i) {
                if (type == 4) {
                    line.emplace_back(Read<int32_t>(bytes, at + 28 + 8 * i), Read<int32_t>(bytes, at + 32 + 8 * i));
                } else {
                    line.emplace_back(Read<int16_t>(bytes, at + 28 + 4 * i), Read<int16_t>(bytes, at + 30 + 4 * i));
                }
            }
            lines.push_back(line);
        }
        at += size;
    }
    return lines;
}

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

TEST(GraphPainter, ScreenSvgAndEmfDrawTheSameTrackPolylines) {
    TrackStore store;
    test::FillStore(store, ThreeTracks());
    GraphSettings graph;
    for (int xItem = 1; xItem <= 3; ++xItem) {
        graph.xItem = xItem;
        QImage image(500, 260, QImage::Format_RGB32);
        image.fill(Qt::white);
        PolylineRecorder screen;
        {
            QPainter painter(&image);
            PainterGraphBackend backend(painter);
            screen.inner = backend.Table();
            ASSERT_EQ(DrawGraph(store, graph, screen.Table(), 500, 260, 96), 0);
        }
        ASSERT_EQ(screen.polylines.size(), 3u);

        test::ScratchFolder scratch;
        std::FILE* file = std::fopen((scratch / "g.svg").c_str(), "wb");
        ASSERT_NE(file, nullptr);
        ASSERT_EQ(WriteGraphSvg(file, store, graph, 500, 260, 96, SvgForm::kPlain), 0);
        std::fclose(file);
        EXPECT_EQ(SvgPolylines(test::ReadFile(scratch / "g.svg")), screen.polylines) << "X item " << xItem;

        ASSERT_EQ(WriteGraphEmf(scratch / "g.emf", store, graph, 500, 260, 96), 0);
        std::vector<Polyline> emf = EmfPolylines(test::ReadFile(scratch / "g.emf"));
        ASSERT_GE(emf.size(), 3u);
        emf.erase(emf.begin(), emf.end() - 3);  // the frame and ticks come first
        EXPECT_EQ(emf, screen.polylines) << "X item " << xItem;
    }
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
    shot.save("/tmp/trakvio_graph_tracks.png");
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
