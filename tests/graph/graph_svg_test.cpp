// The SVG document in both forms, byte for byte where its templates fix the
// bytes, the escaping of inserted text, the output size rule, and the text
// measure behind both vector outputs.
#include "graph/graph_svg.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "graph/graph_output.h"
#include "graph/graph_test_support.h"
#include "graph/text_metrics.h"
#include "test_support.h"

namespace trakvio {
namespace {

namespace fs = std::filesystem;
using test::FillStore;

size_t Count(const std::string& text, const std::string& piece) {
    size_t n = 0;
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++n;
    return n;
}

std::string WriteSvg(const fs::path& path, TrackStore& store, const GraphSettings& graph, SvgForm form) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    EXPECT_NE(file, nullptr);
    EXPECT_EQ(WriteGraphSvg(file, store, graph, 3125, 1625, 600, form), 0);
    std::fclose(file);
    return test::ReadFile(path);
}

TEST(GraphSvg, DocumentInBothForms) {
    test::ScratchFolder scratch;
    TrackStore store;
    test::FillTwoTracks(store);
    GraphSettings graph;

    const std::string plain = WriteSvg(scratch / "g.svg", store, graph, SvgForm::kPlain);
    EXPECT_EQ(plain.substr(0, plain.find("<style>")),
              "<?xml version=\"1.0\"?>\r\n"
              "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"375pt\" height=\"195pt\" viewBox=\"0,0,3125,1625\" "
              "style=\"background-color: #ffffff\">\r\n"
              "<!-- generated as resolution of 600dpi(=600px/72pt). width=3125px*72pt/600dpi=375pt -->\r\n");
    EXPECT_EQ(Count(plain, "\n"), Count(plain, "\r\n"));
    EXPECT_TRUE(plain.ends_with("</svg>\r\n"));
    // Numbers and the X title italic, the rotated Y title upright.
    for (const char* style : {"c1 {font-family:\"Arial\",sans-serif;font-style:italic;font-size:",
                              "c2 {font-family:\"Arial\",sans-serif;font-style:italic;font-size:",
                              "c3 {font-family:\"Arial\",sans-serif;font-size:"}) {
        EXPECT_EQ(Count(plain, std::string("<style><![CDATA[text.") + style), 1u) << style;
    }
    EXPECT_EQ(Count(plain, "text.c4"), 0u);
    EXPECT_NE(plain.find("\" transform=\"rotate(-90,"), std::string::npos);
    EXPECT_NE(plain.find(">Altitude [m]</text>\r\n"), std::string::npos);
    EXPECT_NE(plain.find("text-anchor=\"end\">28</text>"), std::string::npos);
    // One path for frame and ticks in black, one polyline per track.
    EXPECT_EQ(Count(plain, "<path d=\"M"), 1u);
    EXPECT_NE(plain.find("\" stroke=\"#000000\" stroke-width=\"6\" fill=\"none\"/>\r\n"), std::string::npos);
    EXPECT_EQ(Count(plain, "<polyline points=\""), 2u);
    for (const std::string colour : {"ff0000", "00ff00"}) {
        EXPECT_EQ(Count(plain, "\" stroke=\"#" + colour + "\" stroke-width=\"19\" fill=\"none\"/>\r\n"), 1u);
    }

    const std::string html = WriteSvg(scratch / "g.html", store, graph, SvgForm::kHtml);
    EXPECT_TRUE(html.starts_with(
        "<!DOCTYPE html>\r\n<html>\r\n<head>\r\n<meta charset=\"utf-8\">\r\n<title>SVG Test</title>\r\n</head>\r\n"
        "<body>\r\n<svg width=\"375pt\" height=\"195pt\" viewBox=\"0,0,3125,1625\""));
    EXPECT_TRUE(html.ends_with("</svg>\r\n</body>\r\n</html>\r\n"));
    // Apart from the head and tail, the two forms carry the same drawing.
    EXPECT_EQ(html.substr(html.find("<!-- "), html.find("</svg>") - html.find("<!-- ")),
              plain.substr(plain.find("<!-- "), plain.find("</svg>") - plain.find("<!-- ")));

    // Inserted text is escaped; a face cannot close the style or the CDATA.
    graph.altitudeLabel = "H<&>\"x [m]";
    graph.numberFont.name = u"Ar\"ial]]></style>";
    const std::string escaped = WriteSvg(scratch / "e.svg", store, graph, SvgForm::kPlain);
    EXPECT_NE(escaped.find(">H&lt;&amp;&gt;\"x [m]</text>"), std::string::npos);
    EXPECT_EQ(Count(escaped, "]]>"), 3u);
    EXPECT_EQ(Count(escaped, "</style>"), 3u);
    std::string err;
    const std::string png = (scratch / "e.png").string();
    EXPECT_EQ(test::RunCommand("rsvg-convert '" + (scratch / "e.svg").string() + "' -o '" + png + "'", nullptr, &err),
              0)
        << err;
    EXPECT_GT(fs::file_size(png), 0u);
}

// The window's tests save through the dialog; here the size rule and the
// files of a graph with nothing to draw.
TEST(GraphSvg, SizeRuleAndEmptyGraphs) {
    const GraphTarget fine = GraphTargetSize(500, 260, 96, 600), display = GraphTargetSize(500, 260, 144, 144);
    EXPECT_EQ((std::vector{fine.width, fine.height, display.width, display.dpi}), (std::vector{3125, 1625, 500, 144}));
    {
        test::MessageCatcher catcher;
        GraphTargetSize(0, 260, 96, 600);
        ASSERT_EQ(catcher.messages().size(), 1u);
        EXPECT_EQ(catcher.messages()[0].text, "dpi=600 dpi_dsp=96\nrc.right=0 rc.bottom=260\n");
    }
    EXPECT_EQ(SvgFormForPath("a/graph.htm"), SvgForm::kHtml);

    // One enabled point: the file is created and stays empty.
    test::ScratchFolder scratch;
    TrackStore store;
    FillStore(store, {{{1000, 10}, {1060, 12}}});
    store.points[0].enabled = 0;
    RecomputeStatistics(store, 0);
    GraphSettings graph;
    EXPECT_EQ(SaveGraphSvg(scratch / "empty.svg", store, graph, 500, 260, 96), 1);
    EXPECT_TRUE(fs::exists(scratch / "empty.svg"));
    EXPECT_EQ(fs::file_size(scratch / "empty.svg"), 0u);
    EXPECT_EQ(SaveGraphSvg(scratch / "no" / "such" / "folder.svg", store, graph, 500, 260, 96), 2);
}

TEST(TextMeasure, FacesFallBackAndMeasure) {
    TextMeasure measure;
    if (measure.SelectFont(u"Arial", 14, false) != 0) GTEST_SKIP() << "no fonts installed";
    // Arial's metric twin: the cell of 14 pixels splits 11 + 3.
    EXPECT_EQ(measure.Metrics().ascent, 11);
    EXPECT_EQ(measure.Metrics().descent, 3);
    const int32_t two = measure.TextWidth("00");
    EXPECT_GT(two, 10);
    EXPECT_EQ(measure.TextWidth("0000"), 2 * two);
    EXPECT_GT(measure.TextWidth("\xE6\xA8\x99"), 0);  // a character Arial lacks comes from another face

    measure.SelectFont(u"Arial", 88, true);
    EXPECT_EQ(measure.Metrics().ascent, 71);
    EXPECT_GT(measure.TextWidth("00"), 5 * two);

    // A Japanese face name falls back to a Japanese face: full-width glyphs.
    ASSERT_EQ(measure.SelectFont(u"Meiryo UI", 16, false), 0);
    const int32_t kanji = measure.TextWidth("\xE6\xA8\x99");
    EXPECT_GE(kanji, 10);
    EXPECT_EQ(measure.TextWidth("\xE6\xA8\x99\xE9\xAB\x98"), 2 * kanji);
    EXPECT_EQ(measure.Metrics().ascent + measure.Metrics().descent, 16);
}

}  // namespace
}  // namespace trakvio
