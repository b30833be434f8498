// Real GPX files from devices and programs, loaded through the loader and
// compared with what they hold and with an independent reader (GPSBabel).
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "archive/load_front_end.h"
#include "platform/local_time.h"
#include "platform/utf.h"
#include "test_support.h"

namespace trakvio {
namespace {

struct Expected {
    const char* file;
    int tracks;
    int points;
    std::vector<const char*> names;  // UTF-8; empty entries are not checked
};

struct Loaded {
    TrackStore store;
    Settings settings;
    int result = -1;
};

std::unique_ptr<Loaded> LoadSample(const std::string& name, bool routes = true) {
    auto l = std::make_unique<Loaded>();
    EXPECT_EQ(CreateTrackStore(l->store, 100000, 200), 0);
    l->store.readGpxRoutes = routes ? 1 : 0;
    l->result = LoadLogFile(l->store, l->settings, test::SamplesDir() / "gpx" / name);
    return l;
}

TEST(GpxSamples, TracksPointsAndNamesOfRealFiles) {
    TRAKVIO_REQUIRE_SAMPLES();
    test::ScopedTimeZone tz("UTC");
    const std::vector<Expected> samples = {
        {"basecamp.gpx", 2, 4, {}},
        {"basecamp~gpx.gpx", 2, 4, {}},
        {"expertgps.gpx", 2, 110, {"BELLEVUE", "20020525_1706_trc002"}},
        {"garminconnect.gpx", 1, 68, {"Boulder Cycling"}},
        {"segmented_tracks.gpx", 2, 46, {"No Times", "With Times"}},
        {"route.gpx", 2, 14, {"LILI PATH", "ATCHAFALAYA"}},
        {"blue_hills.gpx", 3, 1243, {"BIG LOOP", "BUCK HILL", "SHORT LOOP"}},
        {"Friday-Evening-Run.gpx", 1, 17, {}},
        {"opencpn.gpx", 1, 16, {"Around Orcas"}},
        {"multitrackgpx.gpx", 3, 117, {"Tag 1", "Tag 2", "Tag 3"}},
        {"style.gpx", 21, 362, {}},
        {"around-visnjan-with-car.gpx", 1, 104, {"2020-12-18 07:24:29"}},
        {"unicode2.gpx", 1, 0, {"test\u2122"}},
    };
    for (const Expected& e : samples) {
        SCOPED_TRACE(e.file);
        auto l = LoadSample(e.file);
        ASSERT_EQ(l->result, kLoadDone);
        EXPECT_EQ(l->store.trackCount, e.tracks);
        EXPECT_EQ(l->store.pointCount, e.points);
        EXPECT_EQ(PointsInClosedTracks(l->store), l->store.pointCount);
        for (size_t t = 0; t < e.names.size(); ++t) {
            if (*e.names[t]) {
                EXPECT_EQ(Utf16ToUtf8(TrackName(l->store, static_cast<int>(t))), e.names[t]);
            }
        }
    }
    // Route points carry their own times.
    EXPECT_GT(LoadSample("opencpn.gpx")->store.points[0].time, UtcFromCivil(2000, 1, 1, 0, 0, 0));
}

// One row of GPSBabel's unicsv output; NaN / -1 where a field is empty.
struct ReferencePoint {
    double latitude, longitude, altitude;
    int64_t time;
};

bool ReadReference(const std::string& csv, std::vector<ReferencePoint>& rows) {
    std::string text = csv;
    std::erase(text, '\r');
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line)) return false;
    std::map<std::string, int> column;
    {
        std::istringstream header(line);
        std::string cell;
        for (int i = 0; std::getline(header, cell, ','); ++i) column[cell] = i;
    }
    if (!column.count("Latitude") || !column.count("Longitude")) return false;
    while (std::getline(in, line)) {
        std::vector<std::string> cells;
        std::istringstream row(line);
        std::string cell;
        while (std::getline(row, cell, ',')) cells.push_back(cell);
        cells.resize(column.size() + 1);
        auto at = [&](const char* name) { return column.count(name) ? cells[column[name]] : std::string(); };
        ReferencePoint p{std::stod(at("Latitude")), std::stod(at("Longitude")), NAN, -1};
        if (!at("Altitude").empty()) p.altitude = std::stod(at("Altitude"));
        std::string date = at("Date"), time = at("Time");
        int y, mo, d, h, mi;
        double s;
        if (std::sscanf(date.c_str(), "%d/%d/%d", &y, &mo, &d) == 3 &&
            std::sscanf(time.c_str(), "%d:%d:%lf", &h, &mi, &s) == 3) {
            p.time = UtcFromCivil(y, mo, d, h, mi, static_cast<int64_t>(std::floor(s)));
        }
        rows.push_back(p);
    }
    return true;
}

TEST(GpxSamples, TrackPointsAgreeWithGpsBabel) {
    TRAKVIO_REQUIRE_SAMPLES();
    std::string out;
    if (test::RunCommand("command -v gpsbabel", &out) != 0) GTEST_SKIP() << "gpsbabel is not installed";
    for (const char* file :
         {"basecamp.gpx", "expertgps.gpx", "garminconnect.gpx", "segmented_tracks.gpx", "blue_hills.gpx",
          "Friday-Evening-Run.gpx", "multitrackgpx.gpx", "style.gpx", "around-visnjan-with-car.gpx", "unicode2.gpx"}) {
        SCOPED_TRACE(file);
        auto path = test::SamplesDir() / "gpx" / file;
        std::string csv;
        ASSERT_EQ(test::RunCommand("TZ=UTC gpsbabel -t -i gpx -f '" + path.string() + "' -o unicsv,utc=0 -F -", &csv),
                  0);
        std::vector<ReferencePoint> reference;
        if (!csv.empty()) ASSERT_TRUE(ReadReference(csv, reference));
        auto l = LoadSample(file, /*routes=*/false);
        ASSERT_EQ(l->store.pointCount, static_cast<int32_t>(reference.size()));
        for (size_t i = 0; i < reference.size(); ++i) {
            const LogPoint& p = l->store.points[i];
            const ReferencePoint& r = reference[i];
            ASSERT_NEAR(p.latitude, r.latitude, 6e-7) << i;
            ASSERT_NEAR(p.longitude, r.longitude, 6e-7) << i;
            if (!std::isnan(r.altitude)) {
                ASSERT_NEAR(p.altitude, r.altitude, 0.051) << i;
            }
            if (r.time >= 0) {
                ASSERT_EQ(p.time, r.time) << i;
            }
        }
    }
}

}  // namespace
}  // namespace trakvio
