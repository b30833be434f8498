// End-to-end tests of trakvio-cli: the built program is run through the shell
// with its own per-user folder, a small configuration file and TZ=UTC.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "cli_run.h"
#include "test_support.h"

namespace trakvio {
namespace {

namespace fs = std::filesystem;

// Python's JSON reader as an independent check of the program's JSON: it
// fails on anything that is not JSON (NaN and Infinity included) or on a
// number not written as the shortest text that reads back as it (Python's
// repr is that text), and prints the keys of each object, inner objects first.
constexpr const char* kJsonCheck =
    "import json, sys\n"
    "def number(text):\n"
    "    assert text == repr(float(text)), text\n"
    "    return float(text)\n"
    "def refuse(text):\n"
    "    sys.exit('not JSON: ' + text)\n"
    "def keys(pairs):\n"
    "    print(','.join(key for key, _ in pairs))\n"
    "    return dict(pairs)\n"
    "info = json.load(sys.stdin, parse_float=number, parse_constant=refuse, object_pairs_hook=keys)\n"
    "assert len(info['tracks']) == info['trackCount']\n";

// The keys the check prints for json, or what it found wrong.
std::string JsonKeys(const fs::path& folder, const std::string& json) {
    test::WriteFile(folder / "check.json", json);
    std::string keys, err;
    const int status = test::RunCommand(
        "python3 -c " + test::ShellQuote(kJsonCheck) + " < " + test::ShellQuote((folder / "check.json").string()),
        &keys, &err);
    return status == 0 ? keys : "not JSON (" + err + "): " + json;
}

// Lines of text (without any '\r'), or fields of a CSV line.
std::vector<std::string> Split(std::string text, char separator = '\n') {
    std::erase(text, '\r');
    std::vector<std::string> parts;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, separator);) parts.push_back(part);
    return parts;
}

const char* kTwoTracksGpx = R"(<gpx version="1.1" creator="trakvio test" xmlns="http://www.topografix.com/GPX/1/1">
 <trk><name>Say "hi" &amp;&#9;go</name><trkseg>
  <trkpt lat="35.6812345" lon="139.7671234"><ele>40.5</ele><time>2023-01-15T09:30:00Z</time></trkpt>
  <trkpt lat="35.6822345" lon="139.7681234"><ele>41</ele><time>2023-01-15T09:31:00Z</time></trkpt>
  <trkpt lat="35.6832345" lon="139.7691234"><ele>42.25</ele><time>2023-01-15T09:32:30Z</time></trkpt></trkseg></trk>
 <trk><name>Zürich–東京 ™</name><trkseg>
  <trkpt lat="-33.8567844" lon="151.2152967"><ele>5</ele><time>2023-01-16T23:59:30Z</time></trkpt>
  <trkpt lat="-33.8577844" lon="151.2162967"><ele>6</ele><time>2023-01-17T00:00:40Z</time></trkpt></trkseg></trk>
</gpx>)";

class Cli : public test::CliTest {
  protected:
    void SetUp() override {
        // currentfolder moves the working folder, so relative paths must be made absolute first.
        test::WriteFile(Work("test.ini"), "maxlogpoints=200000\ntracklinewidthdefault=4\ncurrentfolder=" +
                                              (scratch_ / "elsewhere").string() + "\n");
        test::WriteFile(Work("tracks.gpx"), kTwoTracksGpx);
    }
};

// Every command's usage errors exit with 64 and show that command's usage on
// stderr; help exits with 0 and shows it on stdout.
TEST_F(Cli, UsageErrorsExitWith64AndHelpWith0) {
    const struct {
        const char* args;
        int status;
        const char* usage;
    } cases[] = {{"", 64, "usage:"},
                 {"frobnicate x.gpx", 64, "usage:"},
                 {"info --bogus x.gpx", 64, "usage:"},
                 {"info", 64, "usage:"},
                 {"points --json x.gpx", 64, "usage:"},
                 {"points --ini", 64, "usage:"},
                 {"info --geoid-info tracks.gpx", 64, "usage:"},
                 {"help", 0, "usage:"},
                 {"info --help", 0, "usage:"},
                 {"export", 64, "usage: trakvio-cli export"},
                 {"export tracks.gpx", 64, "usage: trakvio-cli export"},
                 {"export --leaflet", 64, "usage: trakvio-cli export"},
                 {"export --leaflet= tracks.gpx", 64, "usage: trakvio-cli export"},
                 {"export --kml out.kml", 64, "usage: trakvio-cli export"},
                 {"export --title", 64, "usage: trakvio-cli export"},
                 {"export --svg out.svg tracks.gpx", 64, "usage: trakvio-cli export"},
                 {"export --help", 0, "usage: trakvio-cli export"},
                 {"graph --x time out.svg tracks.gpx", 64, "usage: trakvio-cli graph"},
                 {"graph --x hours --y altitude out.svg tracks.gpx", 64, "usage: trakvio-cli graph"},
                 {"graph --x time --y altitude --size 500 out.svg tracks.gpx", 64, "usage: trakvio-cli graph"},
                 {"graph --x time --y altitude --dpi -3 out.svg tracks.gpx", 64, "usage: trakvio-cli graph"},
                 {"graph --x time --y altitude out.svg", 64, "usage: trakvio-cli graph"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        std::string out, err;
        EXPECT_EQ(Run(c.args, &out, &err), c.status);
        EXPECT_NE((c.status == 0 ? out : err).find(c.usage), std::string::npos) << err;
        EXPECT_EQ(c.status == 0 ? err : out, "");
    }
    EXPECT_FALSE(fs::exists(Work("out.kml")));
    EXPECT_FALSE(fs::exists(Work("out.svg")));
}

TEST_F(Cli, GeoidInfoSaysWhenNoModelIsInstalled) {
    std::string out, err;
    ASSERT_EQ(Run("info --geoid-info --ini test.ini", &out, &err), 0) << err;
    EXPECT_NE(out.find("ジオイドモデルはインストールされていません。"), std::string::npos) << out;
}

// Failures reported: a configured geoid model that is missing or broken is
// named with what is wrong, once when the configuration is read and again by
// --geoid-info.
TEST_F(Cli, AGeoidModelNotInUseIsNamedWithTheReason) {
    const fs::path missing = Work("gone.asc");
    const fs::path broken = Work("broken.isg");
    test::WriteFile(broken, "not an ISG header\n");
    const struct {
        fs::path file;
        const char* reason;
    } cases[] = {{missing, "the file does not exist"}, {broken, "the ISG file's header has no end or is unusable"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        test::WriteFile(Work("geoid.ini"), "geoidmodel=\"" + c.file.string() + "\"\n");
        std::string out, err;
        ASSERT_EQ(Run("info --geoid-info --ini geoid.ini", &out, &err), 0) << err;
        const std::string named = "The geoid model " + c.file.string() + " is not in use: " + c.reason;
        EXPECT_NE(out.find(named), std::string::npos) << out;
        EXPECT_NE(err.find(named), std::string::npos) << err;
        ASSERT_EQ(Run("info --ini geoid.ini tracks.gpx", &out, &err), 0) << err;
        EXPECT_NE(err.find(named), std::string::npos) << err;
        EXPECT_EQ(err.find(named), err.rfind(named)) << err;  // once
    }
}

TEST_F(Cli, EachFileNotLoadedIsOneStderrLineAndTheLastFailureIsTheStatus) {
    test::WriteFile(Work("notes.foo"), "shopping list\neggs\nmilk\n");
    const std::string work = (scratch_ / "work").string() + "/";
    std::string out, err;
    EXPECT_EQ(Run("info --json --ini test.ini tracks.gpx notes.foo 'no such.gpx' tracks.gpx", &out, &err), 3);
    EXPECT_EQ(err, "trakvio-cli: " + work + "notes.foo: not a recognised log file\ntrakvio-cli: " + work +
                       "no such.gpx: no such file\n");
    EXPECT_TRUE(out.starts_with(R"({"loadResults":[0,2,3,0],)")) << out;
    EXPECT_NE(out.find(R"(,"fileIndex":1,"firstIndex":5,)"), std::string::npos) << out;  // the second tracks.gpx

    EXPECT_EQ(Run("info --ini nowhere.ini tracks.gpx", &out, &err), 1);
    EXPECT_EQ(err, "trakvio-cli: " + work + "nowhere.ini: cannot read the configuration\n");
    EXPECT_EQ(Run("run --ini test.ini missing.q9s", &out, &err), 1);
    EXPECT_TRUE(err.ends_with("missing.q9s: cannot read the script\n")) << err;
}

TEST_F(Cli, InfoJsonHasItsKeysInOrderAndValuesThatReadBackExactly) {
    std::string out, err;
    // Relative paths, although test.ini moves the working folder elsewhere.
    ASSERT_EQ(Run("info --json --ini test.ini tracks.gpx", &out, &err), 0) << err;
    EXPECT_EQ(err, "");
    const std::string track =
        "name,color,lineWidth,fileIndex,firstIndex,endIndex,firstPoint,lastPoint,startTime,endTime,startText,endText,"
        "distanceKm,minLat,maxLat,minLon,maxLon,points,deleted\n";
    EXPECT_EQ(JsonKeys(scratch_.path(), out),
              "path,kind\n" + track + track +
                  "loadResults,pointCount,trackCount,fileCount,files,tracks,allMinLat,allMaxLat,allMinLon,allMaxLon,"
                  "kmPerDegLat,kmPerDegLon,totalDistanceKm,totalDuration,initialZoom\n");
    // Escapes, the width of test.ini, the coordinates with exactly the digits
    // the file gave them (&#9; is a tab).
    for (std::string_view piece : {
             R"("pointCount":5,"trackCount":2,)",
             R"({"name":"Say \"hi\" &\u0009go","color":"FF0000","lineWidth":4,)",
             R"({"name":"Zürich–東京 ™","color":"0000FF","lineWidth":4,)",
             R"("endText":"2023-01-17 00:00:40",)",
             R"("minLat":35.6812345,"maxLat":35.6832345,"minLon":139.7671234,"maxLon":139.7691234,)",
             R"("minLat":-33.8577844,"maxLat":-33.8567844,)",
             R"("totalDuration":220,)",
         }) {
        EXPECT_NE(out.find(piece), std::string::npos) << piece << "\n" << out;
    }
    EXPECT_NE(out.find("{\"path\":\"" + Work("tracks.gpx").string() + "\""), std::string::npos);
}

TEST_F(Cli, PointsWritesAHeaderAndOneCsvLinePerPoint) {
    std::string out, err;
    ASSERT_EQ(Run("points --ini test.ini tracks.gpx", &out, &err), 0) << err;
    EXPECT_EQ(out.find('\r'), std::string::npos);
    const std::vector<std::string> lines = Split(out);
    ASSERT_EQ(lines.size(), 6u) << out;
    EXPECT_EQ(lines[0],
              "index,trackIndex,latitude,longitude,altitude,geoidAltitude,loggedSpeed,distance,speed,time,enabled");
    // Nine decimals for coordinates, altitudes as short as they read back (no
    // geoid model here), times in seconds; speeds are the statistics' business.
    EXPECT_TRUE(lines[1].starts_with("0,0,35.681234500,139.767123400,40.5,40.5,0,0,")) << lines[1];
    EXPECT_TRUE(lines[1].ends_with(",1673775000,1")) << lines[1];  // 2023-01-15 09:30:00 UTC
    EXPECT_TRUE(lines[4].starts_with("3,1,-33.856784400,151.215296700,5,5,0,")) << lines[4];
    EXPECT_GT(std::stod(Split(lines[4], ',').at(7)), 0.25);  // the distance runs on over the store
}

TEST_F(Cli, EverySampleGpxLoads) {
    TRAKVIO_REQUIRE_SAMPLES();
    int files = 0;
    for (const auto& entry : fs::directory_iterator(test::SamplesDir() / "gpx")) {
        if (entry.path().extension() != ".gpx") continue;
        ++files;
        const std::string path = test::ShellQuote(entry.path().string());
        std::string info, points, err;
        ASSERT_EQ(Run("info --json --ini test.ini " + path, &info, &err), 0) << path << "\n" << err;
        EXPECT_NE(JsonKeys(scratch_.path(), info).find("loadResults,pointCount,"), std::string::npos) << path;
        ASSERT_EQ(Run("points --ini test.ini " + path, &points, &err), 0) << path << "\n" << err;
        const std::string count = "\"pointCount\":" + std::to_string(Split(points).size() - 1) + ",";
        EXPECT_NE(info.find(count), std::string::npos) << path << ": " << count;
    }
    EXPECT_GE(files, 10);
}

}  // namespace
}  // namespace trakvio
