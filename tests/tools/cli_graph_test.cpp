// trakvio-cli graph end to end: logs written here and real sample logs go
// through the built program, and what it writes goes through real readers
// (librsvg's rsvg-convert for SVG, and xmllint when it is there).
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "cli_run.h"
#include "test_support.h"

namespace trakvio {
namespace {

namespace fs = std::filesystem;

// Two tracks of a walk, one point a minute, the second an hour after the first.
std::string WalkGpx(int points) {
    std::string gpx = "<gpx version=\"1.1\" creator=\"test\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n";
    for (int track = 0; track < 2; ++track) {
        gpx += "<trk><name>walk</name><trkseg>\n";
        for (int i = 0; i < points; ++i) {
            char line[200];
            const int minute = track * (points + 60) + i;
            std::snprintf(line, sizeof line,
                          "<trkpt lat=\"%.6f\" lon=\"139.700000\"><ele>%.1f</ele>"
                          "<time>2023-05-0%dT%02d:%02d:00Z</time></trkpt>\n",
                          35.0 + minute * 0.0005, 100 + 30 * ((i * 7) % 11) / 10.0, 1 + minute / 1440, minute / 60 % 24,
                          minute % 60);
            gpx += line;
        }
        gpx += "</trkseg></trk>\n";
    }
    return gpx + "</gpx>\n";
}

class CliGraph : public test::CliTest {
  protected:
    void SetUp() override { test::WriteFile(Work("walk.gpx"), WalkGpx(120)); }
    int Graph(const std::string& args, std::string* err) { return Run("graph " + args, nullptr, err); }
    // Parses and renders an SVG document; fails the test when a reader refuses it.
    void ExpectRenders(const fs::path& svg) {
        std::string err;
        std::string tools;
        if (test::RunCommand("command -v xmllint", &tools) == 0) {
            EXPECT_EQ(test::RunCommand("xmllint --noout " + test::ShellQuote(svg.string()), nullptr, &err), 0)
                << svg << err;
        }
        const fs::path png = svg.string() + ".png";
        ASSERT_EQ(
            test::RunCommand("rsvg-convert " + test::ShellQuote(svg.string()) + " -o " + test::ShellQuote(png.string()),
                             nullptr, &err),
            0)
            << svg << ": " << err;
        EXPECT_EQ(test::ReadFile(png).substr(1, 3), "PNG");
        EXPECT_GT(fs::file_size(png), 500u);
    }
};

TEST_F(CliGraph, WritesSvgHtmlAndEmfThatReadersOpen) {
    std::string err;
    ASSERT_EQ(Graph("--x time --y altitude out.svg walk.gpx", &err), 0) << err;
    const std::string svg = test::ReadFile(Work("out.svg"));
    EXPECT_NE(svg.find(" width=\"375pt\" height=\"195pt\" viewBox=\"0,0,3125,1625\""), std::string::npos);
    ExpectRenders(Work("out.svg"));

    // The HTML page in the size asked for (that it carries the same drawing is
    // the graph writer's business).
    ASSERT_EQ(Graph("--x elapsed --y speed --size 640x300 --dpi 96 page.html walk.gpx", &err), 0) << err;
    const std::string html = test::ReadFile(Work("page.html"));
    EXPECT_TRUE(html.starts_with("<!DOCTYPE html>\r\n"));
    EXPECT_NE(html.find("viewBox=\"0,0,640,300\""), std::string::npos);

    ASSERT_EQ(Graph("--x distance --y altitude out.emf walk.gpx", &err), 0) << err;
    const std::string emf = test::ReadFile(Work("out.emf"));
    ASSERT_GT(emf.size(), 1000u);
    EXPECT_EQ(emf.substr(40, 4), " EMF");

    // A name without extension becomes a plain .svg.
    ASSERT_EQ(Graph("--x time --y distance --dpi 0 plain walk.gpx", &err), 0) << err;
    EXPECT_NE(test::ReadFile(Work("plain.svg")).find("viewBox=\"0,0,500,260\""), std::string::npos);
}

TEST_F(CliGraph, EveryItemPairOfRealLogsRenders) {
    TRAKVIO_REQUIRE_SAMPLES();
    const char* logs[] = {"gpx/multitrackgpx.gpx", "nmea/nmea", "gpx/blue_hills.gpx"};
    const char* xs[] = {"time", "elapsed", "distance"};
    const char* ys[] = {"altitude", "distance", "speed", "loggedspeed"};
    int n = 0;
    for (const char* log : logs) {
        const std::string path = (test::SamplesDir() / log).string();
        for (const char* x : xs) {
            for (const char* y : ys) {
                const std::string out = "s" + std::to_string(n++) + ".svg";
                std::string err;
                ASSERT_EQ(
                    Graph(std::string("--x ") + x + " --y " + y + " --dpi 150 " + out + " " + test::ShellQuote(path),
                          &err),
                    0)
                    << log << " " << x << " " << y << ": " << err;
                ExpectRenders(Work(out));
            }
        }
    }
}

TEST_F(CliGraph, NothingToDrawAndFailedLoadsAndWrites) {
    test::WriteFile(Work("one.gpx"),
                    "<gpx><trk><trkseg><trkpt lat=\"35\" lon=\"139\"><time>2023-05-01T00:00:00Z</time></trkpt>"
                    "</trkseg></trk></gpx>");
    std::string err;
    EXPECT_EQ(Graph("--x time --y altitude one.svg one.gpx", &err), 0);
    EXPECT_NE(err.find("nothing to draw"), std::string::npos);
    ASSERT_TRUE(fs::exists(Work("one.svg")));
    EXPECT_EQ(fs::file_size(Work("one.svg")), 0u);

    EXPECT_EQ(Graph("--x time --y altitude out.svg missing.gpx", &err), 3);
    EXPECT_EQ(Graph("--x time --y altitude no/such/out.svg walk.gpx", &err), 1);
    EXPECT_NE(err.find("cannot write the graph"), std::string::npos);
}

}  // namespace
}  // namespace trakvio
