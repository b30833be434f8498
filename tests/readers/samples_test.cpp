// Real logs from devices and programs, loaded end to end: what they hold, and
// their points against the reference outputs beside them or GPSBabel's
// reading of them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "archive/load_front_end.h"
#include "platform/local_time.h"
#include "platform/utf.h"
#include "readers/log_builders.h"
#include "test_support.h"

namespace trakvio {
namespace {

// A sample under the samples folder; forcedKind "" finds the kind as a user's
// load does.
std::unique_ptr<test::Loader> LoadSample(const std::string& file, const char* forcedKind = "", bool routes = true) {
    auto l = std::make_unique<test::Loader>(100000, 200);
    l->store.readGpxRoutes = routes ? 1 : 0;
    const auto path = test::SamplesDir() / file;
    EXPECT_EQ(*forcedKind ? ReadLogFile(l->store, l->settings, path, forcedKind, 1)
                          : LoadLogFile(l->store, l->settings, path),
              kLoadDone);
    return l;
}

TEST(Samples, TracksPointsNamesAndColoursOfRealFiles) {
    TRAKVIO_REQUIRE_SAMPLES();
    test::ScopedTimeZone tz("UTC");
    const struct {
        const char* file;
        int tracks, points;
        std::vector<const char*> names;  // UTF-8; empty entries are not checked
        uint32_t firstColour = 0;        // 0: not checked
        const char* forcedKind = "";
    } samples[] = {
        {"gpx/basecamp.gpx", 2, 4, {}},
        {"gpx/basecamp~gpx.gpx", 2, 4, {}},
        {"gpx/expertgps.gpx", 2, 110, {"BELLEVUE", "20020525_1706_trc002"}},
        {"gpx/garminconnect.gpx", 1, 68, {"Boulder Cycling"}},
        {"gpx/segmented_tracks.gpx", 2, 46, {"No Times", "With Times"}},
        {"gpx/route.gpx", 2, 14, {"LILI PATH", "ATCHAFALAYA"}},
        {"gpx/blue_hills.gpx", 3, 1243, {"BIG LOOP", "BUCK HILL", "SHORT LOOP"}},
        {"gpx/Friday-Evening-Run.gpx", 1, 17, {}},
        {"gpx/opencpn.gpx", 1, 16, {"Around Orcas"}},
        {"gpx/multitrackgpx.gpx", 3, 117, {"Tag 1", "Tag 2", "Tag 3"}},
        {"gpx/style.gpx", 21, 362, {}},
        {"gpx/around-visnjan-with-car.gpx", 1, 104, {"2020-12-18 07:24:29"}},
        {"gpx/unicode2.gpx", 1, 0, {"test\u2122"}},
        {"kml/google_ext.kml", 1, 451, {"Track"}, 0xEC892A},
        {"kml/skydrop.kml", 1, 1329, {}, 0xFFFF00},  // as its IGC export; inline style ff00ffff
        {"kml/multitrack.kml", 1, 16, {}, 0xFF0000},
        {"kml/addresses.kml", 7, 9, {}},  // GPSBabel refuses it
        // nmea: one point per fix although ZDA is stamped on the whole
        // second; nmeadatetime: the sentences with unreadable times are
        // skipped; bu353: the void fixes it dates have no position; Skytraq:
        // repeated times merge.
        {"nmea/nmea", 1, 154, {}, 0, "NMEA"},
        {"nmea/nmea+ms.txt", 1, 30, {}, 0, "NMEA"},
        {"nmea/amod-nmea", 1, 4, {}, 0, "NMEA"},
        {"nmea/nmeadatetime.nmea", 1, 16, {}, 0, "NMEA"},
        {"nmea/bu353-glonass.log", 1, 9, {}, 0, "NMEA"},
        {"nmea/ch-4711.log", 1, 7, {}, 0, "NMEA"},
        {"nmea/ublox-zed-f9p-nmea.log", 1, 29, {}, 0, "NMEA"},
        {"nmea/Skytraq.rmc.nmea", 1, 73, {}, 0, "NMEA"},
        {"csv/ExampleInputFile.txt", 1, 3169, {}},
        {"csv/Input2ExternalReceiver.txt", 1, 588, {}},
    };
    for (const auto& s : samples) {
        SCOPED_TRACE(s.file);
        auto l = LoadSample(s.file, s.forcedKind);
        EXPECT_EQ(l->store.trackCount, s.tracks);
        EXPECT_EQ(l->store.pointCount, s.points);
        EXPECT_EQ(PointsInClosedTracks(l->store), l->store.pointCount);
        EXPECT_EQ(StoredNameCount(l->store), l->store.trackCount);
        for (size_t t = 0; t < s.names.size(); ++t) {
            if (*s.names[t]) {
                EXPECT_EQ(Utf16ToUtf8(TrackName(l->store, static_cast<int>(t))), s.names[t]);
            }
        }
        if (s.firstColour) {
            EXPECT_EQ(l->store.tracks[0].color, s.firstColour);
        }
        for (int i = 0; i < l->store.pointCount; ++i) ASSERT_EQ(l->store.points[i].enabled, 1) << i;
    }
    // Route points carry their own times; a gx:Track file its own.
    EXPECT_EQ(LoadSample("gpx/opencpn.gpx")->store.points[0].time, 1641050777);
    EXPECT_EQ(LoadSample("kml/multitrack.kml")->store.points[0].time, UtcFromCivil(2013, 8, 8, 15, 24, 47));
    EXPECT_EQ(LoadSample("kml/google_ext.kml")->store.tracks[0].lineWidth, 8);
}

// A track point of a reference GPX; altitude and time NaN where absent.
struct Reference {
    double latitude, longitude, altitude = NAN, time = NAN;
};

std::vector<Reference> GpxTrackPoints(const std::string& text) {
    std::vector<Reference> out;
    for (size_t at = text.find("<trkpt "); at != std::string::npos; at = text.find("<trkpt ", at + 1)) {
        Reference r;
        std::sscanf(text.c_str() + at, "<trkpt lat=\"%lf\" lon=\"%lf\"", &r.latitude, &r.longitude);
        const size_t open = text.find('>', at);
        const size_t end = text[open - 1] == '/' ? open : text.find("</trkpt>", at);
        const size_t ele = text.find("<ele>", at), time = text.find("<time>", at);
        if (ele < end) r.altitude = std::strtod(text.c_str() + ele + 5, nullptr);
        int y, mo, d, h, mi;
        double s;
        if (time < end && std::sscanf(text.c_str() + time + 6, "%d-%d-%dT%d:%d:%lf", &y, &mo, &d, &h, &mi, &s) == 6) {
            r.time = static_cast<double>(UtcFromCivil(y, mo, d, h, mi, 0)) + s;
        }
        out.push_back(r);
    }
    return out;
}

// How a sample's points must agree with its reference: the position to
// `degrees`, the altitude plus `separation` to `metres` (INFINITY: not
// compared), the time with its fraction dropped when `times`. With
// `passOver`, references no point of ours matches (fixes we skip) are passed
// over; otherwise the points pair up one to one.
struct Agreement {
    std::string file;
    std::string reference;  // a GPX, or with babelFormat any file GPSBabel reads
    const char* babelFormat;
    double degrees, metres, separation;
    bool times, passOver;
    const char* forcedKind;
};

void ExpectAgreement(const TrackStore& store, const std::vector<Reference>& references, const Agreement& a) {
    if (!a.passOver) {
        EXPECT_EQ(references.size(), static_cast<size_t>(store.pointCount));
    }
    size_t r = 0;
    for (int i = 0; i < store.pointCount; ++i, ++r) {
        const LogPoint& p = store.points[i];
        auto matches = [&](const Reference& e) {
            return std::fabs(p.latitude - e.latitude) <= a.degrees &&
                   std::fabs(p.longitude - e.longitude) <= a.degrees &&
                   (!a.times || std::isnan(e.time) || p.time == static_cast<int64_t>(std::floor(e.time)));
        };
        while (a.passOver && r < references.size() && !matches(references[r])) ++r;
        ASSERT_LT(r, references.size()) << "point " << i;
        const Reference& e = references[r];
        ASSERT_TRUE(matches(e)) << "point " << i << ": " << p.latitude << "," << p.longitude << " at " << p.time
                                << ", reference " << e.latitude << "," << e.longitude << " at " << e.time;
        if (!std::isnan(e.altitude) && std::isfinite(a.metres)) {
            ASSERT_NEAR(p.altitude, e.altitude + a.separation, a.metres) << i;
        }
    }
}

TEST(Samples, PointsAgreeWithReferenceOutputsAndGpsBabel) {
    TRAKVIO_REQUIRE_SAMPLES();
    std::string out;
    const bool babel = test::RunCommand("command -v gpsbabel", &out) == 0;
    std::vector<Agreement> agreements = {
        {"nmea/nmea", "nmea/nmea.gpx", nullptr, 2e-6, 0.06, -34.2, true, false, "NMEA"},
        {"nmea/nmeadatetime.nmea", "nmea/nmeadatetime.csv", "unicsv,utc=0", 2e-6, INFINITY, 0, true, true, "NMEA"},
        {"mtk/mtk_logger.bin", "mtk/mtk_logger.gpx", nullptr, 1e-6, 2e-3, 0, true, false, ""},
        {"mtk/mtk_logger_m241.bin", "mtk/mtk_logger_m241.gpx", nullptr, 1e-6, 2e-3, 0, true, false, ""},
        {"mtk/mtk_logger_gp245.bin", "mtk/mtk_logger_gp245.gpx", nullptr, 1e-6, 2e-3, 0, true, false, ""},
        {"kml/google_ext.kml", "kml/google_ext~kml.gpx", nullptr, 1e-9, 0.01, 0, true, false, ""},
        {"kml/opentracks.kml", "kml/opentracks~kml.gpx", nullptr, 1e-9, 0.01, 0, true, false, ""},
    };
    // GPSBabel reading the same file; the times of KML line strings are ours
    // (invented), so there only positions and altitudes compare.
    for (const char* file :
         {"basecamp.gpx", "expertgps.gpx", "garminconnect.gpx", "segmented_tracks.gpx", "blue_hills.gpx",
          "Friday-Evening-Run.gpx", "multitrackgpx.gpx", "style.gpx", "around-visnjan-with-car.gpx", "unicode2.gpx"}) {
        agreements.push_back(
            {"gpx/" + std::string(file), "gpx/" + std::string(file), "gpx", 6e-7, 0.051, 0, true, false, ""});
    }
    for (const char* file : {"earth-expertgps.kml", "earth-expertgps-track.kml", "segmented_tracks.kml",
                             "segmented_tracks-track.kml", "multitrack.kml", "skydrop.kml"}) {
        agreements.push_back(
            {"kml/" + std::string(file), "kml/" + std::string(file), "kml", 1e-6, 0.051, 0, false, false, ""});
    }
    for (const Agreement& a : agreements) {
        if (a.babelFormat && !babel) continue;
        SCOPED_TRACE(a.file);
        const auto reference = test::SamplesDir() / a.reference;
        std::string text = test::ReadFile(reference);
        if (a.babelFormat) {
            ASSERT_EQ(test::RunCommand("TZ=UTC gpsbabel -t -i " + std::string(a.babelFormat) + " -f '" +
                                           reference.string() + "' -o gpx -F -",
                                       &text),
                      0);
        }
        auto l = LoadSample(a.file, a.forcedKind, /*routes=*/false);
        ExpectAgreement(l->store, GpxTrackPoints(text), a);
    }
    if (!babel) GTEST_SKIP() << "gpsbabel is not installed";
}

}  // namespace
}  // namespace trakvio
