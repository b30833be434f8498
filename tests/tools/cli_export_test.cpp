// trakvio-cli export end to end: the built program loads a GPX log and writes
// the pages, KML, KMZ and archive asked for; an output that cannot be written
// is named on stderr with exit status 1. Its usage errors are checked with the
// other commands' in trakvio_cli_test.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <utility>

#include "cli_run.h"
#include "test_support.h"

namespace trakvio {
namespace {

namespace fs = std::filesystem;

bool Has(std::string_view haystack, std::string_view needle) { return haystack.find(needle) != std::string_view::npos; }

constexpr const char* kGpx = R"(<gpx version="1.1" creator="trakvio test" xmlns="http://www.topografix.com/GPX/1/1">
 <trk><name>20240501_walk</name><trkseg>
  <trkpt lat="35.5" lon="139.5"><ele>40.5</ele><time>2024-05-01T08:00:00Z</time></trkpt>
  <trkpt lat="35.51" lon="139.51"><ele>41</ele><time>2024-05-01T08:30:00Z</time></trkpt>
  <trkpt lat="35.52" lon="139.5"><ele>42.25</ele><time>2024-05-01T09:30:00Z</time></trkpt></trkseg></trk>
 <trk><name>&lt;/script&gt;&lt;script&gt;alert(1)&lt;/script&gt;</name><trkseg>
  <trkpt lat="35.6" lon="139.6"><ele>5</ele><time>2024-05-01T23:59:30Z</time></trkpt>
  <trkpt lat="35.6" lon="139.6"><ele>6</ele><time>2024-05-01T23:59:30Z</time></trkpt></trkseg></trk>
</gpx>)";

constexpr const char* kMaps =
    "basemap=\"OpenStreetMap\",\"osmjp\",\"https://tile.openstreetmap.org/{z}/{x}/{y}.png\","
    "\"(c) <OpenStreetMap> contributors\",\"https://www.openstreetmap.org/copyright\",0,19\n"
    "leafletcss=https://unpkg.com/leaflet@1.9.4/dist/leaflet.css\n"
    "leafletjs=https://unpkg.com/leaflet@1.9.4/dist/leaflet.js\n"
    "gmapjs=https://maps.googleapis.com/maps/api/js\n"
    "GMapAPIkey=\"TestKey-123\"\n";

class CliExport : public test::CliTest {
  protected:
    void SetUp() override {
        fs::create_directory(Work("out"));
        // currentfolder moves the working folder: outputs must still land
        // where the command line meant them.
        test::WriteFile(Work("test.ini"),
                        std::string(kMaps) + "currentfolder=" + (scratch_ / "elsewhere").string() + "\n");
        test::WriteFile(Work("bare.ini"), "maxlogpoints=1000\n");
        test::WriteFile(Work("tracks.gpx"), kGpx);
    }
};

TEST_F(CliExport, WritesEveryOutputAskedFor) {
    std::string out, err;
    ASSERT_EQ(Run("export --ini test.ini --title 20240501_walk --leaflet out/l.htm --gmap=out/g.htm --kml out/t.kml "
                  "--kml out/t.KMZ tracks.gpx",
                  &out, &err),
              0)
        << err;
    EXPECT_EQ(err, "");
    EXPECT_EQ(out, "");

    // The page texts are the export layer's; here what the command line and
    // the configuration feed them: the title, the base map and key of the
    // ini file, the logs' points and the centre of their bounds.
    const std::pair<const char*, std::string_view> pieces[] = {
        {"out/l.htm", "<title>walk_20240501</title>\r\n"},
        {"out/l.htm",
         "var osmjp=L.tileLayer(\"https://tile.openstreetmap.org/{z}/{x}/{y}.png\",{minZoom:0,maxZoom:19,attribution:'"
         "&copy; <a href=\"https://www.openstreetmap.org/copyright\" target=\"_blank\">OpenStreetMap</a> "
         "contributors'});\r\n"},
        {"out/l.htm",
         "\r\n//path1:20240501_walk\r\nmyPath=L.polyline([[35.500000,139.500000],[35.510000,139.510000],"
         "[35.520000,139.500000]],{color:'#"},
        {"out/g.htm", "{center:{lat:35.550000,lng:139.550000},zoom:"},
        {"out/g.htm", "js?key=TestKey-123&callback=initMap\" async defer></script>\r\n</body></html>\r\n"},
        {"out/t.kml", "<Document><description><![CDATA[20240501_walk]]></description>\r\n"},
        {"out/t.kml", "<coordinates>\r\n139.500000,35.500000,40.5\r\n"}};
    for (const auto& [file, piece] : pieces)
        EXPECT_TRUE(Has(test::ReadFile(Work(file)), piece)) << file << ": " << piece;
    EXPECT_TRUE(test::ReadFile(Work("out/t.KMZ")).starts_with("PK\3\4"));
    // Nothing landed in the folder the configuration moved to.
    EXPECT_TRUE(fs::is_empty(scratch_ / "elsewhere"));
}

TEST_F(CliExport, DefaultTitleAndMissingBaseMap) {
    std::string out, err;
    // No osmjp base map: the page is written with a warning.
    ASSERT_EQ(Run("export --ini bare.ini --leaflet plain.htm --kml plain.kml tracks.gpx", &out, &err), 0) << err;
    EXPECT_EQ(err, "trakvio-cli: " + Work("plain.htm").string() +
                       ": warning: no base map has the id osmjp; the page shows no tiles\n");
    EXPECT_TRUE(Has(test::ReadFile(Work("plain.htm")), "<title>tracks</title>"));
    EXPECT_TRUE(Has(test::ReadFile(Work("plain.kml")), "<Folder><name>tracks</name>"));
}

TEST_F(CliExport, ReportsWhatCannotBeWritten) {
    std::string out, err;
    // One output cannot be created: it is named, the others are written.
    EXPECT_EQ(
        Run("export --ini test.ini --leaflet missing/x.htm --kml ok.kml --kml missing/x.kmz tracks.gpx", &out, &err),
        1);
    EXPECT_EQ(err, "trakvio-cli: " + Work("missing/x.htm").string() +
                       ": cannot be created\ntrakvio-cli: " + Work("missing/x.kmz").string() + ": cannot be created\n");
    EXPECT_TRUE(fs::exists(Work("ok.kml")));
    EXPECT_FALSE(fs::exists(Work("missing")));

    // Nothing loaded: nothing written, the load result is the exit status.
    EXPECT_EQ(Run("export --ini test.ini --leaflet none.htm nothing.gpx", &out, &err), 3);
    EXPECT_TRUE(Has(err, "nothing.gpx: no such file\n")) << err;
    EXPECT_TRUE(Has(err, "no points were loaded; nothing written\n")) << err;
    EXPECT_FALSE(fs::exists(Work("none.htm")));

    // A file that could not be loaded beside one that could: the outputs are
    // written and the exit status is the load result.
    EXPECT_EQ(Run("export --ini test.ini --kml some.kml nothing.gpx tracks.gpx", &out, &err), 3);
    EXPECT_TRUE(fs::exists(Work("some.kml")));
}

TEST_F(CliExport, SavesTheArchive) {
    std::string out, err;
    ASSERT_EQ(Run("export --ini test.ini --q9z out/set.q9z tracks.gpx", &out, &err), 0) << err;
    std::string listing;
    ASSERT_EQ(test::RunCommand("unzip -Z1 " + test::ShellQuote(Work("out/set.q9z").string()), &listing), 0);
    EXPECT_TRUE(Has(listing, "tracks.gpx\n")) << listing;
    EXPECT_TRUE(Has(listing, "set.q9t\n")) << listing;
    // An archive that cannot be written is reported.
    EXPECT_EQ(Run("export --ini test.ini --q9z missing/set.q9z tracks.gpx", &out, &err), 1);
    EXPECT_TRUE(Has(err, "missing/set.q9z: cannot write the archive\n")) << err;
}

}  // namespace
}  // namespace trakvio
