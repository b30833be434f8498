#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "archive/load_front_end.h"
#include "archive/zip_builder.h"
#include "devices/device_simulators.h"
#include "script/batch_convert.h"
#include "script/script_run.h"
#include "script/script_runner.h"
#include "test_support.h"

namespace trakvio {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::ScopedTimeZone;
using test::ScratchFolder;
using test::Sentence;
using test::WriteFile;

using Names = std::vector<std::string>;

// An NMEA log of `fixes` one-second RMC/GGA fixes from hh:mm:00 UTC on
// 2023-05-01, walking north from 35.5 N 139.5 E.
std::string NmeaLog(int hour, int minute, int fixes) {
    std::string log;
    for (int i = 0; i < fixes; ++i) {
        char time[16], position[64];
        std::snprintf(time, sizeof time, "%02d%02d%02d", hour, minute + i / 60, i % 60);
        std::snprintf(position, sizeof position, "3530.%04d,N,13930.0000,E", 100 + i * 10);
        log += Sentence(std::string("GPRMC,") + time + ",A," + position + ",2.0,0.0,010523,,,A");
        log += Sentence(std::string("GPGGA,") + time + "," + position + ",1,08,1.0,50.0,M,36.7,M,,");
    }
    return log;
}

std::string Gpx(const std::string& name, const std::string& date, int points) {
    std::string gpx = "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\"><trk><name>" + name + "</name><trkseg>\n";
    for (int i = 0; i < points; ++i) {
        char point[200];
        std::snprintf(point, sizeof point,
                      "<trkpt lat=\"35.%04d\" lon=\"139.%04d\"><ele>%d</ele><time>%sT09:%02d:%02dZ</time></trkpt>\n",
                      1000 + i * 7, 2000 + i * 5, 40 + i, date.c_str(), i / 60, i % 60);
        gpx += point;
    }
    return gpx + "</trkseg></trk></gpx>\n";
}

TEST(Batch, FilesFiltersAndOutputNames) {
    ScopedTimeZone tz("Asia/Tokyo");
    ScratchFolder folder;
    for (const char* name : {"a.gpx", "B.gpx", "c.gpx", "c.txt", "20221231_x.nmea", "20230101_x.nmea", "2023_y.gpx"}) {
        WriteFile(folder / name, "x");
    }
    fs::create_directory(folder / "d.gpx");  // a folder is never a log
    ScriptState state;
    fs::path where;
    Names names;
    ASSERT_EQ(CollectBatchFiles((folder / "*.gpx").string(), state, where, names), 0);
    EXPECT_EQ(names, (Names{"2023_y.gpx", "B.gpx", "a.gpx", "c.gpx"}));
    EXPECT_EQ(where, folder.path());
    EXPECT_EQ(CollectBatchFiles((folder / "*.kml").string(), state, where, names), -1);

    const struct {
        const char* pattern;
        FilterKind kind;
        int position;
        std::u16string text, textEnd;
        Names names;
    } filters[] = {
        {"*.nmea", FilterKind::kAfter, 0, u"2023", u"", {"20230101_x.nmea"}},
        {"2*", FilterKind::kBefore, 0, u"2023", u"", {"20221231_x.nmea", "20230101_x.nmea", "2023_y.gpx"}},
        {"*", FilterKind::kBetween, 0, u"202212", u"202212", {"20221231_x.nmea"}},
        {"*", FilterKind::kAfter, 9, u"x.", u"", {"20221231_x.nmea", "20230101_x.nmea"}},  // short names compare less
        {"*", FilterKind::kAfter, 9, u"zzz", u"", {}},
    };
    for (const auto& f : filters) {
        SCOPED_TRACE(f.pattern);
        state.filterKind = f.kind;
        state.filterPosition = f.position;
        state.filterText = f.text;
        state.filterTextEnd = f.textEnd;
        EXPECT_EQ(CollectBatchFiles((folder / f.pattern).string(), state, where, names), f.names.empty() ? -1 : 0);
        EXPECT_EQ(names, f.names);
    }

    // Output names.
    ScriptState naming;
    size_t cursor = 0;
    const std::vector<std::string> none;
    const int64_t t = 1682911800;  // 2023-05-01 12:30:00 in Tokyo
    EXPECT_EQ(BatchOutputName(naming, "walk.day.gpx", t, none, cursor), "walk.day");
    naming.options = kOptionNamePrefix;
    EXPECT_EQ(BatchOutputName(naming, "20230501_123000.nmea", t, none, cursor), "20230501_");
    EXPECT_EQ(BatchOutputName(naming, "hike.gpx", t, none, cursor), "20230501_hike");
    naming.namePrefixMode = kPrefixDateAndTime;
    EXPECT_EQ(BatchOutputName(naming, "20230501_123000.nmea", t, none, cursor), "20230501_123000_");
    naming.namePrefixMode = kPrefixDateList;
    WriteFile(folder / "list.txt", "20230430_Earlier\r\n20230501_Fuji\n20230501_Mt.Fuji\n20230502_Last");
    const std::vector<std::string> list = ReadDateList(folder / "list.txt");
    EXPECT_EQ(list, (Names{"20230430_Earlier", "20230501_Fuji", "20230501_Mt.Fuji", "20230502_Last"}));
    EXPECT_EQ(BatchOutputName(naming, "a.gpx", t, list, cursor), "20230501_Fuji");
    EXPECT_EQ(BatchOutputName(naming, "b.gpx", t, list, cursor), "20230501_Mt");
    EXPECT_EQ(BatchOutputName(naming, "c.gpx", t, list, cursor), "20230501_c");
    EXPECT_EQ(BatchOutputName(naming, "d.gpx", t + 86400, list, cursor), "20230502_Last");
}

TEST(Batch, LinksArePercentEncoded) {
    ScratchFolder folder;
    EXPECT_EQ(EncodeLinksInText("<a href=x\xffy\xe3\x81>t</a> <a href=\"\xc3\xa9 \xf0\x9f\x97\xbb\">"),
              "<a href=x%FFy%E3%81>t</a> <a href=\"%C3%A9%20%F0%9F%97%BB\">");
    WriteFile(folder / "in.htm", "<p><a href=\"a b.htm\">a b</a></p>");
    EXPECT_EQ(EncodeLinks(folder / "in.htm", folder / "out.htm"), 0);
    EXPECT_EQ(ReadFile(folder / "out.htm"), "<p><a href=\"a%20b.htm\">a b</a></p>");
    EXPECT_EQ(EncodeLinks(folder / "missing.htm", folder / "out.htm"), 1);
}

Names ZipNames(const fs::path& path) {
    Names names = test::ZipEntryNames(path);
    std::sort(names.begin(), names.end());
    return names;
}

using test::ScriptRunner;

TEST(Batch, ScriptConvertsFoldersIntoEveryFormat) {
    ScopedTimeZone tz("UTC");
    ScriptRunner run;
    fs::create_directories(run.folder / "logs");
    WriteFile(run.folder / "logs/walk.gpx", Gpx("Morning walk", "2023-05-03", 120));
    WriteFile(run.folder / "logs/ride.gpx", Gpx("Ride", "2023-05-01", 90));
    // Gaps of 10 and 40 minutes between the NMEA logs.
    WriteFile(run.folder / "logs/n1.nmea", NmeaLog(1, 0, 60));
    WriteFile(run.folder / "logs/n2.nmea", NmeaLog(1, 11, 60));
    WriteFile(run.folder / "logs/n3.nmea", NmeaLog(1, 52, 60));
    test::MessageCatcher catcher;
    ASSERT_EQ(run.Run("x_output_format q9z, html-L, kml, svg_th, svg_dv\n"
                      "x_output_folder q9z, out/q9z\n"
                      "x_output_folder html-L, out/html\n"
                      "x_output_folder kml, out/kml\n"
                      "x_output_folder svg, out/svg\n"
                      "x_output_index out/index.htm, de\n"
                      "x_option save_name_prefix, merge_interval=30, monotonic_check\n"
                      "in_x_out {\n"
                      "  logs/*.gpx\n"
                      "  logs/*.nmea\n"
                      "}\n"
                      "in_x_out logs/*.none\n"),
              0);
    const fs::path out = run.folder / "out";
    for (const char* name : {"20230501_ride", "20230503_walk", "20230501_n1", "20230501_n3"}) {
        SCOPED_TRACE(name);
        const std::string base = name;
        EXPECT_TRUE(fs::is_regular_file(out / "q9z" / (base + ".q9z")));
        EXPECT_TRUE(fs::is_regular_file(out / "html" / (base + ".htm")));
        EXPECT_TRUE(fs::is_regular_file(out / "kml" / (base + ".kml")));
        EXPECT_GT(fs::file_size(out / "svg" / (base + "_th.svg")), 100u);
        EXPECT_GT(fs::file_size(out / "svg" / (base + "_dv.svg")), 100u);
    }
    EXPECT_FALSE(fs::exists(out / "q9z/20230501_n2.q9z"));  // merged into n1
    EXPECT_EQ(ZipNames(out / "q9z/20230501_n1.q9z"), (Names{"20230501_n1.q9t", "n1.nmea", "n2.nmea"}));
    EXPECT_TRUE(fs::is_regular_file(out / "svg/.nomedia"));

    const std::string index = ReadFile(out / "index.htm");
    // One row per group, newest first; links as the folders were written.
    const size_t walk = index.find(
        "<tr><th>2023/05/03</th><th><a href=\"out/html/20230503_walk.htm\">walk</a></th>"
        "<th><a href=\"out/svg/20230503_walk_th.svg\">t-h</a></th>"
        "<th><a href=\"out/svg/20230503_walk_dv.svg\">d-v</a></th><td>");
    ASSERT_NE(walk, std::string::npos) << index;
    // The same date: reverse order of writing.
    size_t previous = walk;
    for (const char* row : {"n3.htm\">n3</a>", "n1.htm\">n1</a>", "ride.htm\">ride</a>"}) {
        const size_t at = index.find(std::string("20230501_") + row);
        EXPECT_LT(previous, at) << row;
        previous = at;
    }
    EXPECT_NE(index.find("<td>1</td><td>120</td><td>120</td><td></td></tr>"), std::string::npos);
    EXPECT_EQ(run.settings.q9ArchiveFile, out / "q9z/20230501_n3.q9z");
    EXPECT_EQ(fs::current_path(), run.previous);
    EXPECT_TRUE(catcher.messages().empty());  // no monotonic errors

    // The archives open again with their tracks.
    TrackStore reopened;
    CreateTrackStore(reopened, 1000, 10);
    ASSERT_EQ(LoadLogFile(reopened, run.settings, out / "q9z/20230501_n1.q9z"), 0);
    EXPECT_EQ(std::pair(reopened.pointCount, reopened.fileCount), std::pair(120, 2));
}

TEST(Batch, KmlOnlyWritesNoRowsAndZipsFolders) {
    ScriptRunner run;
    fs::create_directories(run.folder / "logs/sub");
    WriteFile(run.folder / "logs/one.gpx", Gpx("One", "2023-06-01", 10));
    WriteFile(run.folder / "logs/sub/two.gpx", Gpx("Two", "2023-06-02", 10));
    WriteFile(run.folder / "logs/notes.txt", "x");
    ASSERT_EQ(run.Run("x_output_format html-L\n"
                      "x_output_index index.htm\n"
                      "x_output_format kmz\n"
                      "x_output_folder kmz, kmz\n"
                      "in_x_out logs/*.gpx\n"
                      "x_close_index\n"
                      "compress_zip plain.zip, logs, *.gpx;*.txt\n"
                      "compress_zip deep.zip, logs, *.gpx, r, u\n"
                      "compress_zip deep.zip, logs, *.txt, a\n"),
              0);
    EXPECT_TRUE(fs::is_regular_file(run.folder / "kmz/one.kmz"));
    const std::string index = ReadFile(run.folder / "index.htm");
    EXPECT_EQ(index.find("<tr>"), std::string::npos);
    EXPECT_NE(index.find("</table></body></html>\n"), std::string::npos);
    EXPECT_EQ(ZipNames(run.folder / "plain.zip"), (Names{"notes.txt", "one.gpx"}));
    EXPECT_EQ(ZipNames(run.folder / "deep.zip"),
              (Names{"logs/", "logs/one.gpx", "logs/sub/", "logs/sub/two.gpx", "notes.txt"}));
}

}  // namespace
}  // namespace trakvio

namespace trakvio {
namespace {

// Every output a batch cannot write is reported with its path and reason,
// and the run's result says so.
TEST(BatchFailuresReported, EveryFailedWriteIsNamedAndTheRunFails) {
    ScopedTimeZone tz("UTC");
    ScriptRunner run;
    fs::create_directories(run.folder / "logs");
    WriteFile(run.folder / "logs/walk.gpx", Gpx("Walk", "2023-05-03", 20));
    WriteFile(run.folder / "blocked", "a file where the output folders should be");
    ASSERT_EQ(::mkfifo((run.folder / "pipe.htm").c_str(), 0600), 0);
    test::MessageCatcher messages;
    ASSERT_EQ(run.Run("x_output_format q9z, html-L, kml, svg_th\n"
                      "x_output_folder q9z, blocked/q9z\n"
                      "x_output_folder html-L, blocked/html\n"
                      "x_output_folder kml, blocked/kml\n"
                      "x_output_folder svg, blocked/svg\n"
                      "in_x_out logs/*.gpx\n"
                      "x_output_index blocked/index.htm\n"
                      "text_file blocked/notes.txt, w, text\n"
                      "url_enc pipe.htm, out.htm\n"
                      "compress_zip blocked/logs.zip, logs, *.*\n"),
              1);
    for (const char* path :
         {"blocked/q9z/walk.q9z", "blocked/html/walk.htm", "blocked/kml/walk.kml", "blocked/svg/walk_th.svg",
          "blocked/index.htm", "blocked/notes.txt", "out.htm", "blocked/logs.zip"}) {
        SCOPED_TRACE(path);
        EXPECT_TRUE(messages.Saw(path));
    }
    EXPECT_TRUE(messages.Saw("Cannot write the file: its folder does not exist."));
    EXPECT_TRUE(messages.Saw("not a regular file"));

    // From the command line: status 1 and the reasons on stderr.
    std::string out, err;
    EXPECT_EQ(test::RunCli(run.folder.path(), "run job.q9s", &out, &err), 1);
    EXPECT_NE(err.find("Script Write Error: Cannot write the file: its folder does not exist. "), std::string::npos)
        << err;
    EXPECT_NE(err.find("outputs could not be written"), std::string::npos) << err;
}

// Output well-formed: file names land in the index page as text, never as
// markup, and its links are percent-encoded when asked.
TEST(BatchOutputWellFormed, TheIndexEscapesEveryNameItWrites) {
    ScopedTimeZone tz("UTC");
    ScriptRunner run;
    fs::create_directories(run.folder / "logs");
    const std::string hostile = "20240101_<img src=x onerror=alert(1)>\"'&";
    WriteFile(run.folder / "logs" / (hostile + ".gpx"), Gpx("Walk", "2024-01-01", 10));
    ASSERT_EQ(run.Run("x_output_format html-L, svg_th\n"
                      "x_output_folder html-L, out\n"
                      "x_output_folder svg, out\n"
                      "x_output_index \"<b>index\".htm, url\n"
                      "in_x_out logs/*.gpx\n"),
              0);
    const std::string index = ReadFile(run.folder / "<b>index.htm");
    EXPECT_EQ(index.find("<img"), std::string::npos) << index;
    EXPECT_EQ(index.find("<b>"), std::string::npos) << index;
    EXPECT_NE(index.find("<title>&lt;b&gt;index - Map List</title>"), std::string::npos) << index;
    EXPECT_NE(index.find(">&lt;img src=x onerror=alert(1)&gt;&quot;&#39;&amp;</a>"), std::string::npos) << index;
    EXPECT_NE(index.find("href=\"out/20240101_&lt;img%20src=x%20onerror=alert(1)&gt;&quot;&#39;&amp;.htm\""),
              std::string::npos)
        << index;
    EXPECT_TRUE(fs::exists(run.folder / "out" / (hostile + ".htm")));
}

}  // namespace
}  // namespace trakvio
