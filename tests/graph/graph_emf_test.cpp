// EMF output read back record by record: a sound header that states the
// reference resolution, records that chain to the end, every created pen
// and font selected and deleted again, and the drawing's lines and texts.
// When LibreOffice is installed (Debian: libreoffice-draw) the file is also
// converted by it, a reader of its own.
#include "graph/graph_emf.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "graph/graph_output.h"
#include "graph/graph_svg.h"
#include "graph/graph_test_support.h"
#include "test_support.h"

namespace trakvio {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kEmrHeader = 1, kEmrPolyline = 4, kEmrEof = 14, kEmrSelectObject = 37, kEmrCreatePen = 38,
                   kEmrDeleteObject = 40, kEmrExtCreateFont = 82, kEmrTextA = 83, kEmrTextW = 84, kEmrPolyline16 = 87;

using test::FieldAt;

uint32_t U32(const std::string& bytes, size_t at) { return FieldAt<uint32_t>(bytes, at); }
int32_t I32(const std::string& bytes, size_t at) { return FieldAt<int32_t>(bytes, at); }
std::u16string Utf16(const std::string& bytes, size_t at, uint32_t chars) {
    std::u16string text;
    for (uint32_t i = 0; i < chars && at + 2 * i + 2 <= bytes.size(); ++i) text += FieldAt<char16_t>(bytes, at + 2 * i);
    return text;
}

struct EmfContents {
    std::map<uint32_t, int> counts;  // records by type
    std::set<uint32_t> created, deleted, selected;
    std::u16string description;
    std::u16string wideTexts;            // every EXTTEXTOUTW string, '|' after each
    std::string ansiTexts;               // every EXTTEXTOUTA string, '|' after each
    std::vector<std::string> polylines;  // points as "x,y x,y", the form SVG writes
    size_t records = 0;
};

// Walks the records of an EMF file; fails the test on anything malformed.
EmfContents ParseEmf(const std::string& bytes) {
    EmfContents c;
    EXPECT_GE(bytes.size(), 108u);
    if (bytes.size() < 108) return c;
    EXPECT_EQ(U32(bytes, 0), kEmrHeader);
    EXPECT_EQ(U32(bytes, 40), 0x464D4520u);  // " EMF"
    EXPECT_EQ(U32(bytes, 48), bytes.size());
    c.description = Utf16(bytes, U32(bytes, 64), U32(bytes, 60));
    size_t at = 0;
    uint32_t type = 0;
    while (at + 8 <= bytes.size()) {
        type = U32(bytes, at);
        const uint32_t size = U32(bytes, at + 4);
        EXPECT_EQ(size % 4, 0u) << "record " << type;
        if (size < 8 || at + size > bytes.size()) break;  // a bad size: the walk stops short of the end
        ++c.counts[type];
        ++c.records;
        if (type == kEmrCreatePen || type == kEmrExtCreateFont) c.created.insert(U32(bytes, at + 8));
        if (type == kEmrDeleteObject) c.deleted.insert(U32(bytes, at + 8));
        if (type == kEmrSelectObject && (U32(bytes, at + 8) & 0x80000000u) == 0) c.selected.insert(U32(bytes, at + 8));
        if (type == kEmrPolyline || type == kEmrPolyline16) {
            std::string line;
            for (uint32_t i = 0; i < U32(bytes, at + 24); ++i) {
                // 32-bit points in EMR_POLYLINE, 16-bit ones in EMR_POLYLINE16.
                const bool wide = type == kEmrPolyline;
                const size_t point = at + 28 + (wide ? 8 : 4) * i;
                const int32_t x = wide ? I32(bytes, point) : FieldAt<int16_t>(bytes, point);
                const int32_t y = wide ? I32(bytes, point + 4) : FieldAt<int16_t>(bytes, point + 2);
                line += (i ? " " : "") + std::to_string(x) + "," + std::to_string(y);
            }
            c.polylines.push_back(line);
        }
        if (type == kEmrTextA || type == kEmrTextW) {
            // EMRTEXT after the bounds, mode and scales: reference point, count, offset.
            const uint32_t chars = U32(bytes, at + 44), offset = U32(bytes, at + 48);
            if (type == kEmrTextA) c.ansiTexts += bytes.substr(at + offset, chars) + '|';
            if (type == kEmrTextW) c.wideTexts += Utf16(bytes, at + offset, chars) + u'|';
        }
        at += size;
    }
    EXPECT_EQ(at, bytes.size());
    EXPECT_EQ(type, kEmrEof);
    EXPECT_EQ(U32(bytes, 52), c.records);
    return c;
}

TEST(GraphEmf, RecordStreamAndReferenceResolution) {
    test::ScratchFolder scratch;
    TrackStore store;
    test::FillTwoTracks(store);
    GraphSettings graph;
    graph.altitudeLabel = "標高 [m]";
    ASSERT_EQ(SaveGraphEmf(scratch / "g.emf", store, graph, 500, 260, 96, 0), 0);
    const std::string bytes = test::ReadFile(scratch / "g.emf");
    const EmfContents c = ParseEmf(bytes);

    EXPECT_EQ(c.description, std::u16string(u"Trakvio\0\0\0", 10));
    // 96 DPI: 1024 pixels over 270.933 mm; the picture is the whole graph,
    // its frame 13205.4 hundredths of a millimetre wide, rounded up.
    EXPECT_EQ((std::vector{I32(bytes, 72), I32(bytes, 100), I32(bytes, 16), I32(bytes, 20), I32(bytes, 32)}),
              (std::vector{1024, 270933, 499, 259, 499 * 2540 / 96 + 1}));
    // Frame and ticks, then one line per track.
    EXPECT_GT(c.counts.at(kEmrPolyline16) + (c.counts.count(kEmrPolyline) ? c.counts.at(kEmrPolyline) : 0), 10);
    // Axis pen and two track pens; the number font (kept for the X title) and
    // the rotated Y title font. Every one is selected and deleted.
    EXPECT_EQ((std::vector{c.counts.at(kEmrCreatePen), c.counts.at(kEmrExtCreateFont), c.counts.at(kEmrDeleteObject)}),
              (std::vector{3, 2, 5}));
    EXPECT_EQ(c.deleted, c.created);
    EXPECT_EQ(c.selected, c.created);
    EXPECT_NE(c.ansiTexts.find("|28|"), std::string::npos);
    EXPECT_NE(c.wideTexts.find(u"標高 [m]|"), std::u16string::npos);
    EXPECT_NE(c.wideTexts.find(u"Time|"), std::u16string::npos);

    // 600 DPI of the same window: five times the pixels, the same frame.
    ASSERT_EQ(SaveGraphEmf(scratch / "g600.emf", store, graph, 500, 260, 96, 600), 0);
    const std::string fine = test::ReadFile(scratch / "g600.emf");
    ParseEmf(fine);
    EXPECT_EQ((std::pair{I32(fine, 72), I32(fine, 16)}), (std::pair{6400, 3124}));
    EXPECT_NEAR(I32(fine, 32), I32(bytes, 32), 30);

    // Nothing to draw: a valid, empty picture.
    store.points[1].enabled = store.points[2].enabled = store.points[3].enabled = store.points[4].enabled = 0;
    RecomputeStatistics(store, 0);
    ASSERT_EQ(SaveGraphEmf(scratch / "empty.emf", store, graph, 500, 260, 96, 0), 0);
    const EmfContents empty = ParseEmf(test::ReadFile(scratch / "empty.emf"));
    EXPECT_EQ(empty.counts.count(kEmrPolyline16), 0u);
    EXPECT_EQ(SaveGraphEmf(scratch / "no" / "g.emf", store, graph, 500, 260, 96, 0), 2);
}

// The file back ends draw each track with the same points, whatever the X item.
TEST(GraphEmf, TrackLinesMatchTheSvgOfTheSameGraph) {
    test::ScratchFolder scratch;
    TrackStore store;
    test::FillTwoTracks(store);
    GraphSettings graph;
    for (int xItem = 1; xItem <= 3; ++xItem) {
        SCOPED_TRACE(xItem);
        graph.xItem = xItem;
        ASSERT_EQ(SaveGraphEmf(scratch / "g.emf", store, graph, 500, 260, 96, 0), 0);
        const std::vector<std::string> lines = ParseEmf(test::ReadFile(scratch / "g.emf")).polylines;
        ASSERT_GE(lines.size(), 2u);
        graph.svgDpi = 96;
        ASSERT_EQ(SaveGraphSvg(scratch / "g.svg", store, graph, 500, 260, 96), 0);
        const std::string svg = test::ReadFile(scratch / "g.svg");
        // The frame and ticks come first; the last two lines are the tracks.
        for (size_t i = lines.size() - 2; i < lines.size(); ++i) {
            EXPECT_NE(svg.find("<polyline points=\"" + lines[i] + "\""), std::string::npos) << lines[i];
        }
    }
}

TEST(GraphEmf, OpensInLibreOffice) {
    std::string office;
    if (test::RunCommand("command -v soffice || command -v libreoffice", &office) != 0 || office.empty()) {
        GTEST_SKIP() << "LibreOffice is not installed (Debian: libreoffice-draw)";
    }
    office.erase(office.find('\n'));
    test::ScratchFolder scratch;
    TrackStore store;
    test::FillStore(store, {{{1000, 10, 0}, {1600, 30, 0.5}, {2200, 20, 1.0}}});
    ASSERT_EQ(SaveGraphEmf(scratch / "g.emf", store, GraphSettings(), 500, 260, 96, 0), 0);
    std::string err;
    const std::string folder = scratch.path().string();
    ASSERT_EQ(test::RunCommand("cd '" + folder + "' && HOME='" + folder + "' '" + office +
                                   "' --headless --convert-to png g.emf >/dev/null",
                               nullptr, &err),
              0)
        << err;
    ASSERT_TRUE(fs::exists(scratch / "g.png"));
    EXPECT_GT(fs::file_size(scratch / "g.png"), 1000u);
}

}  // namespace
}  // namespace trakvio
