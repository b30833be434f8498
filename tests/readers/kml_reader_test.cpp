#include "readers/kml_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "platform/local_time.h"
#include "platform/utf.h"
#include "readers/log_loader.h"
#include "test_support.h"

namespace trakvio {
namespace {

using test::ScopedTimeZone;
using test::ScratchFolder;
using test::WriteFile;

constexpr int64_t kStart = 1672531200;  // 2023-01-01 00:00:00 UTC, the kmltimedefault start

int Read(TrackStore& store, const std::string& text) {
    return ReadKmlBuffer(store, text.c_str(), text.size(), NamesEndPosition(store), kStart, 5);
}

TrackStore MakeStore(int32_t points = 1000, int32_t tracks = 20) {
    TrackStore store;
    EXPECT_EQ(CreateTrackStore(store, points, tracks), 0);
    return store;
}

// Every point lies in a closed track and the names match the track count.
void ExpectConsistent(const TrackStore& store) {
    EXPECT_EQ(PointsInClosedTracks(store), store.pointCount);
    int names = 0;
    int32_t pos = 0;
    while (pos < kTrackNamesCapacity && store.trackNames[pos] != kNamesEndMarker) {
        if (store.trackNames[pos] == 0) ++names;
        ++pos;
    }
    ASSERT_LT(pos, kTrackNamesCapacity);
    EXPECT_EQ(names, store.trackCount);
}

std::string Placemark(const std::string& inner, const std::string& coordinates) {
    return "<Placemark>" + inner + "<LineString><coordinates>" + coordinates +
           "</coordinates></LineString></Placemark>";
}

TEST(KmlReader, LineStringsTakeTheirStyleAndSteppedTimes) {
    ScratchFolder folder;
    WriteFile(folder / "red.kml", R"(<?xml version="1.0" encoding="UTF-8"?>
<kml xmlns="http://www.opengis.net/kml/2.2"><Document>
<Style id="red"><LineStyle><color>ff0000ff</color><width>4</width></LineStyle></Style>
<Placemark><name>Fish &amp; Chips &#x263A;</name><styleUrl>#red</styleUrl>
<LineString><coordinates>139.1,35.1,10 139.2,35.2,20
</coordinates></LineString></Placemark>
</Document></kml>)");
    TrackStore store = MakeStore();
    Settings settings;
    ASSERT_EQ(LoadLogFile(store, settings, folder / "red.kml"), kLoadDone);
    ASSERT_EQ(store.trackCount, 1);
    ASSERT_EQ(store.pointCount, 2);
    EXPECT_EQ(TrackName(store, 0), u"Fish & Chips \u263A");
    EXPECT_EQ(store.tracks[0].color, 0xFF0000u);
    EXPECT_EQ(store.tracks[0].lineWidth, 4);
    EXPECT_DOUBLE_EQ(store.points[1].latitude, 35.2);
    EXPECT_DOUBLE_EQ(store.points[1].longitude, 139.2);
    EXPECT_FLOAT_EQ(store.points[1].altitude, 20.0f);
    EXPECT_EQ(store.points[0].time, settings.kmlTimeDefaultStart);
    EXPECT_EQ(store.points[1].time, settings.kmlTimeDefaultStart + 5);
    EXPECT_EQ(store.loadKind, kKindKml);
}

TEST(KmlReader, LoadedBehindAGpxTrackItContinuesItsTimesAndKeepsItsColours) {
    ScratchFolder folder;
    WriteFile(folder / "a.gpx", R"(<gpx><trk><name>G</name><trkseg>
<trkpt lat="1" lon="1"><time>2024-03-01T10:00:00Z</time></trkpt></trkseg></trk></gpx>)");
    WriteFile(folder / "b.kml", "<kml>" + Placemark("<name>K</name>", "2,2 3,3") + "</kml>");
    TrackStore store = MakeStore();
    store.tracklinewidthdefault = 5;
    Settings settings;
    ASSERT_EQ(LoadLogFile(store, settings, folder / "a.gpx"), kLoadDone);
    store.tracks[0].color = 0x123456;  // recoloured by the user
    ASSERT_EQ(LoadLogFile(store, settings, folder / "b.kml"), kLoadDone);
    ASSERT_EQ(store.trackCount, 2);
    EXPECT_EQ(store.points[1].time, UtcFromCivil(2024, 3, 1, 10, 0, 5));
    EXPECT_EQ(store.points[2].time, UtcFromCivil(2024, 3, 1, 10, 0, 10));
    EXPECT_EQ(store.tracks[0].color, 0x123456u);
    // No style: the default width and a palette colour, never black or 0.
    EXPECT_EQ(store.tracks[1].lineWidth, 5);
    EXPECT_NE(store.tracks[1].color, 0u);
    EXPECT_NE(store.tracks[1].color, 0x123456u);
}

TEST(KmlReader, StyleReferencesMapsAndDefaults) {
    std::string kml = R"(<kml><Document>
<Style id="blue"><LineStyle><color>FFFF0000</color><width>6</width></LineStyle></Style>
<Style id="thin"><LineStyle><width>2</width></LineStyle></Style>
<Style id="icon"><IconStyle><color>ff00ff00</color></IconStyle></Style>
<StyleMap id="map"><Pair><key>highlight</key><styleUrl>#thin</styleUrl></Pair>
<Pair><key>normal</key><styleUrl>#blue</styleUrl></Pair></StyleMap>)";
    for (int i = 0; i < 1030; ++i)
        kml += "<Style id=\"s" + std::to_string(i) + "\"><LineStyle><color>ff00ff00</color></LineStyle></Style>";
    kml += Placemark("<styleUrl>#BLUE</styleUrl>", "1,1") +                                     // case ignored
           Placemark("", "1,1") +                                                               // previous placemark's
           Placemark("<styleUrl>#thin</styleUrl>", "1,1") +                                     // width only
           Placemark("<styleUrl>file.kml#map</styleUrl>", "1,1") +                              // a style map's normal
           Placemark("<styleUrl>#nowhere</styleUrl>", "1,1") +                                  // matches nothing
           Placemark("<styleUrl>#icon</styleUrl>", "1,1") +                                     // no line style
           Placemark("<styleUrl>#s5</styleUrl>", "1,1") +                                       // in the table
           Placemark("<styleUrl>#s1029</styleUrl>", "1,1") +                                    // past the table
           Placemark("<Style><LineStyle><color>8000ffff</color></LineStyle></Style>", "1,1") +  // inline
           "</Document></kml>";
    TrackStore store = MakeStore();
    store.tracklinewidthdefault = 3;
    ASSERT_EQ(Read(store, kml), kReaderDone);
    ASSERT_EQ(store.trackCount, 9);
    struct {
        uint32_t color;
        int width;
    } expected[] = {{0x0000FF, 6}, {0x0000FF, 6}, {0x0000FF, 2}, {0x0000FF, 6}, {0, 3},
                    {0, 3},        {0x00FF00, 3}, {0, 3},        {0xFFFF00, 3}};
    for (int t = 0; t < 9; ++t) {
        SCOPED_TRACE(t);
        EXPECT_EQ(store.tracks[t].lineWidth, expected[t].width);
        if (expected[t].color != 0) {
            EXPECT_EQ(store.tracks[t].color, expected[t].color);
        } else {
            EXPECT_NE(store.tracks[t].color, 0u);  // a palette colour
        }
    }
}

TEST(KmlReader, TuplesOfTwoOrThreeNumbersWithSignsAndComments) {
    TrackStore store = MakeStore();
    ASSERT_EQ(Read(store, "<kml>" +
                              Placemark("<name><![CDATA[Mixed <b>]]></name>",
                                        "\r\n  -91.6,30.1,1.5\n-91.7,30.2 \t+008.51,+48.26,+768\n<!-- bat: 89% -->\n"
                                        "8.52,48.27,770 junk 5 8.53,48.28") +
                              "</kml>"),
              kReaderDone);
    ASSERT_EQ(store.pointCount, 5);
    EXPECT_EQ(TrackName(store, 0), u"Mixed <b>");
    const double expected[5][3] = {
        {30.1, -91.6, 1.5}, {30.2, -91.7, 0}, {48.26, 8.51, 768}, {48.27, 8.52, 770}, {48.28, 8.53, 0}};
    for (int i = 0; i < 5; ++i) {
        EXPECT_DOUBLE_EQ(store.points[i].latitude, expected[i][0]) << i;
        EXPECT_DOUBLE_EQ(store.points[i].longitude, expected[i][1]) << i;
        EXPECT_FLOAT_EQ(store.points[i].altitude, static_cast<float>(expected[i][2])) << i;
        EXPECT_EQ(store.points[i].time, kStart + 5 * i);
        EXPECT_EQ(store.points[i].enabled, 1);
    }
    ExpectConsistent(store);
}

TEST(KmlReader, GxTracksKeepTheirOwnTimes) {
    ScopedTimeZone tz("UTC");
    TrackStore store = MakeStore();
    ASSERT_EQ(Read(store, R"(<kml xmlns:gx="http://www.google.com/kml/ext/2.2"><Document>
<Placemark><name>Walk</name><gx:MultiTrack><gx:Track>
<when>2021-03-02T09:30:40.993Z</when><when>2021-03-02T18:30:41+09:00</when><when>2021-03-02</when>
<gx:coord/><gx:coord>8.97 48.50 405.5</gx:coord><gx:coord>8.98 48.51</gx:coord>
</gx:Track></gx:MultiTrack></Placemark>
<Placemark><name>Coords first</name><gx:Track>
<gx:coord>3.1 51.1 54</gx:coord><when>2013-08-08T15:24:47Z</when>
<gx:coord>3.2 51.2 55</gx:coord><when>2013-08-08T15:24:48Z</when>
<gx:coord>3.3 51.3 56</gx:coord></gx:Track></Placemark>
<Placemark><name>Empty</name><gx:Track><when>2020-01-01T00:00:00Z</when></gx:Track></Placemark>
<Placemark><LineString><coordinates>1,1</coordinates></LineString></Placemark>
</Document></kml>)"),
              kReaderDone);
    ASSERT_EQ(store.trackCount, 3);  // the empty gx:Track is no track
    ASSERT_EQ(store.pointCount, 6);
    EXPECT_EQ(TrackName(store, 0), u"Walk");
    // The empty gx:coord takes its when with it.
    EXPECT_EQ(store.points[0].time, UtcFromCivil(2021, 3, 2, 9, 30, 41));
    EXPECT_DOUBLE_EQ(store.points[0].latitude, 48.50);
    EXPECT_FLOAT_EQ(store.points[0].altitude, 405.5f);
    EXPECT_EQ(store.points[1].time, UtcFromCivil(2021, 3, 2, 0, 0, 0));
    EXPECT_FLOAT_EQ(store.points[1].altitude, 0.0f);
    EXPECT_EQ(store.points[2].time, UtcFromCivil(2013, 8, 8, 15, 24, 47));
    EXPECT_EQ(store.points[3].time, UtcFromCivil(2013, 8, 8, 15, 24, 48));
    EXPECT_EQ(store.points[4].time, UtcFromCivil(2013, 8, 8, 15, 24, 53));  // no when: invented
    // A line string without a placemark name gets a default name; its time follows on.
    EXPECT_EQ(store.points[5].time, UtcFromCivil(2013, 8, 8, 15, 24, 58));
    EXPECT_EQ(TrackName(store, 2), u"20130808_1524_trc003");
    ExpectConsistent(store);
}

TEST(KmlReader, StopsCleanlyAtEveryCapacity) {
    std::string tuples;
    for (int i = 0; i < 8; ++i) tuples += "1," + std::to_string(i) + " ";
    std::string three = "<kml>";
    for (int t = 0; t < 3; ++t) three += Placemark("<name>" + std::string(3000, 'n') + "</name>", tuples);
    three += "</kml>";

    TrackStore points = MakeStore(5, 10);
    EXPECT_EQ(Read(points, three), kReaderCut);
    EXPECT_EQ(points.pointCount, 5);
    EXPECT_EQ(points.trackCount, 1);
    EXPECT_DOUBLE_EQ(points.points[4].latitude, 4);
    ExpectConsistent(points);

    TrackStore tracks = MakeStore(1000, 1);
    EXPECT_EQ(Read(tracks, three), kReaderCut);
    EXPECT_EQ(tracks.trackCount, 1);
    EXPECT_EQ(tracks.pointCount, 8);
    ExpectConsistent(tracks);

    TrackStore names = MakeStore(1000, 10);
    EXPECT_EQ(Read(names, three), kReaderCut);
    EXPECT_EQ(names.trackCount, 2);
    EXPECT_EQ(names.pointCount, 16);
    EXPECT_EQ(TrackName(names, 1).size(), static_cast<size_t>(kTrackNamesCapacity - 3001 - 2));
    ExpectConsistent(names);
}

TEST(KmlReader, BrokenFilesKeepWhatWasLoadedBefore) {
    TrackStore store = MakeStore();
    ASSERT_EQ(Read(store, "<kml>" + Placemark("<name>first</name>", "1,2") + "</kml>"), kReaderDone);
    for (std::string junk :
         {std::string(), std::string("\0\x01\xff<<<>>>", 9), std::string("</LineString></gx:Track></Style>"),
          std::string("<Placemark><name>unterminated"), std::string("<LineString><coordinates>1,2 3,4"),
          std::string("<!-- <LineString><coordinates>5,6"), std::string("<gx:Track><when>2020</when><gx:coord>1"),
          std::string(100000, '<'), std::string("<LineString><coordinates>,,, ,1 1, -,- e5,e5")}) {
        int32_t before = store.pointCount;
        Read(store, junk);
        ExpectConsistent(store);
        EXPECT_GE(store.pointCount, before);
        EXPECT_EQ(TrackName(store, 0), u"first");
    }
    store.trackNames[0] = u'x';
    EXPECT_EQ(ReadKml(store, "/nonexistent/file.kml", 0, kStart, 5), kReaderCannotOpen);
    EXPECT_EQ(store.trackNames[0], u'x');
}

// Real KML files: points against the reference outputs beside them (read
// with our own GPX reader, or the IGC B records) and against GPSBabel.
std::unique_ptr<TrackStore> LoadSample(const std::string& name) {
    auto store = std::make_unique<TrackStore>();
    EXPECT_EQ(CreateTrackStore(*store, 100000, 200), 0);
    Settings settings;
    EXPECT_EQ(LoadLogFile(*store, settings, test::SamplesDir() / "kml" / name), kLoadDone);
    ExpectConsistent(*store);
    return store;
}

TEST(KmlSamples, GxTracksAgreeWithTheirGpxReferences) {
    TRAKVIO_REQUIRE_SAMPLES();
    for (const char* name : {"google_ext", "opentracks"}) {
        SCOPED_TRACE(name);
        auto kml = LoadSample(std::string(name) + ".kml");
        auto gpx = LoadSample(std::string(name) + "~kml.gpx");
        ASSERT_EQ(kml->pointCount, gpx->pointCount);
        for (int i = 0; i < kml->pointCount; ++i) {
            ASSERT_NEAR(kml->points[i].latitude, gpx->points[i].latitude, 1e-9) << i;
            ASSERT_NEAR(kml->points[i].longitude, gpx->points[i].longitude, 1e-9) << i;
            ASSERT_NEAR(kml->points[i].altitude, gpx->points[i].altitude, 0.01) << i;
            ASSERT_EQ(kml->points[i].time, gpx->points[i].time) << i;
        }
    }
    auto google = LoadSample("google_ext.kml");
    EXPECT_EQ(Utf16ToUtf8(TrackName(*google, 0)), "Track");
    EXPECT_EQ(google->tracks[0].color, 0xEC892Au);
    EXPECT_EQ(google->tracks[0].lineWidth, 8);
}

TEST(KmlSamples, SkydropAgreesWithItsIgcReference) {
    TRAKVIO_REQUIRE_SAMPLES();
    auto kml = LoadSample("skydrop.kml");
    std::istringstream igc(test::ReadFile(test::SamplesDir() / "kml" / "skydrop~kml.igc"));
    std::string line;
    int i = 0;
    while (std::getline(igc, line)) {
        int latDeg, latMin, lonDeg, lonMin, altitude;
        char ns, ew;
        if (std::sscanf(line.c_str(), "B%*6d%2d%5d%c%3d%5d%cA%*5d%5d", &latDeg, &latMin, &ns, &lonDeg, &lonMin, &ew,
                        &altitude) != 7)
            continue;
        ASSERT_LT(i, kml->pointCount);
        EXPECT_NEAR(kml->points[i].latitude, latDeg + latMin / 60000.0, 1e-5) << i;
        EXPECT_NEAR(kml->points[i].longitude, lonDeg + lonMin / 60000.0, 1e-5) << i;
        EXPECT_NEAR(kml->points[i].altitude, altitude, 0.5) << i;
        ++i;
    }
    EXPECT_EQ(i, 1329);
    EXPECT_EQ(kml->pointCount, 1329);
    EXPECT_EQ(kml->tracks[0].color, 0xFFFF00u);  // inline style ff00ffff
}

TEST(KmlSamples, PointsAgreeWithGpsBabel) {
    TRAKVIO_REQUIRE_SAMPLES();
    std::string out;
    if (test::RunCommand("command -v gpsbabel", &out) != 0) GTEST_SKIP() << "gpsbabel is not installed";
    for (const char* file : {"earth-expertgps.kml", "earth-expertgps-track.kml", "segmented_tracks.kml",
                             "segmented_tracks-track.kml", "multitrack.kml", "skydrop.kml"}) {
        SCOPED_TRACE(file);
        auto path = test::SamplesDir() / "kml" / file;
        std::string csv;
        ASSERT_EQ(test::RunCommand("TZ=UTC gpsbabel -t -i kml -f '" + path.string() + "' -o unicsv,utc=0 -F -", &csv),
                  0);
        auto store = LoadSample(file);
        std::istringstream rows(csv);
        std::string line;
        std::getline(rows, line);  // No,Latitude,Longitude[,Altitude][,Date,Time]
        bool hasAltitude = line.find("Altitude") != std::string::npos;
        int i = 0;
        while (std::getline(rows, line)) {
            double latitude, longitude, altitude = 0;
            char rest[64] = "";
            int fields = std::sscanf(line.c_str(), "%*d,%lf,%lf,%63[^\r\n]", &latitude, &longitude, rest);
            ASSERT_GE(fields, 2);
            if (hasAltitude && rest[0] != ',' && rest[0] != 0) altitude = std::atof(rest);
            ASSERT_LT(i, store->pointCount);
            ASSERT_NEAR(store->points[i].latitude, latitude, 1e-6) << i;
            ASSERT_NEAR(store->points[i].longitude, longitude, 1e-6) << i;
            ASSERT_NEAR(store->points[i].altitude, altitude, 0.051) << i;
            ++i;
        }
        EXPECT_EQ(i, store->pointCount);
    }
    auto multi = LoadSample("multitrack.kml");
    EXPECT_EQ(multi->points[0].time, UtcFromCivil(2013, 8, 8, 15, 24, 47));
    EXPECT_EQ(multi->tracks[0].color, 0xFF0000u);
    auto addresses = LoadSample("addresses.kml");  // GPSBabel refuses it
    EXPECT_EQ(addresses->pointCount, 9);
}

}  // namespace
}  // namespace trakvio
