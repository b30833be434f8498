#include "readers/kml_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "archive/load_front_end.h"
#include "platform/local_time.h"
#include "readers/log_builders.h"
#include "test_support.h"

namespace trakvio {
namespace {

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
    EXPECT_EQ(StoredNameCount(store), store.trackCount);
}

std::string Placemark(const std::string& inner, const std::string& coordinates) {
    return "<Placemark>" + inner + "<LineString><coordinates>" + coordinates +
           "</coordinates></LineString></Placemark>";
}

TEST(KmlReader, LineStringsTakeTheirColourAndWidthFromStyles) {
    std::string kml = R"(<kml><Document>
<Style id="blue"><LineStyle><color>FFFF0000</color><width>6</width></LineStyle></Style>
<Style id="thin"><LineStyle><width>2</width></LineStyle></Style>
<Style id="icon"><IconStyle><color>ff00ff00</color></IconStyle></Style>
<StyleMap id="map"><Pair><key>highlight</key><styleUrl>#thin</styleUrl></Pair>
<Pair><key>normal</key><styleUrl>#blue</styleUrl></Pair></StyleMap>)";
    for (int i = 0; i < 1030; ++i)
        kml += "<Style id=\"s" + std::to_string(i) + "\"><LineStyle><color>ff00ff00</color></LineStyle></Style>";
    for (const char* inner :
         {"<styleUrl>#BLUE</styleUrl>", "", "<styleUrl>#thin</styleUrl>", "<styleUrl>file.kml#map</styleUrl>",
          "<styleUrl>#nowhere</styleUrl>", "<styleUrl>#icon</styleUrl>", "<styleUrl>#s5</styleUrl>",
          "<styleUrl>#s1029</styleUrl>", "<Style><LineStyle><color>8000ffff</color></LineStyle></Style>"})
        kml += Placemark(inner, "1,1");
    TrackStore store = MakeStore();
    store.tracklinewidthdefault = 3;
    ASSERT_EQ(Read(store, kml + "</Document></kml>"), kReaderDone);
    ASSERT_EQ(store.trackCount, 9);
    // Case ignored; no styleUrl keeps the previous one; width only; a style map's normal; unresolved, no line
    // style or past the table: the default width and a palette colour (0 here); inline.
    const std::pair<uint32_t, int> expected[] = {{0x0000FF, 6}, {0x0000FF, 6}, {0x0000FF, 2}, {0x0000FF, 6}, {0, 3},
                                                 {0, 3},        {0x00FF00, 3}, {0, 3},        {0xFFFF00, 3}};
    for (int t = 0; t < 9; ++t) {
        EXPECT_EQ(store.tracks[t].lineWidth, expected[t].second) << t;
        EXPECT_EQ(store.tracks[t].color, expected[t].first ? expected[t].first : store.tracks[t].color) << t;
        EXPECT_NE(store.tracks[t].color, 0u) << t;
    }
}

TEST(KmlReader, InventedTimesStartAtTheDefaultOrFiveSecondsAfterAGpxTrack) {
    test::ScratchFolder folder;
    test::WriteFile(folder / "a.gpx", R"(<gpx><trk><name>G</name><trkseg>
<trkpt lat="1" lon="1"><time>2024-03-01T10:00:00Z</time></trkpt></trkseg></trk></gpx>)");
    const std::string kml = "<kml>" + Placemark("<name>Fish &amp; Chips &#x263A;</name>", "2,2 3,3") + "</kml>";
    test::WriteFile(folder / "b.kml", kml);
    test::WriteFile(folder / "c.kml", kml);
    TrackStore store = MakeStore();
    store.tracklinewidthdefault = 5;
    Settings settings;
    ASSERT_EQ(LoadLogFile(store, settings, folder / "b.kml"), kLoadDone);
    EXPECT_EQ(store.loadKind, kKindKml);
    ASSERT_EQ(LoadLogFile(store, settings, folder / "a.gpx"), kLoadDone);
    store.tracks[1].color = 0x123456;  // recoloured by the user
    ASSERT_EQ(LoadLogFile(store, settings, folder / "c.kml"), kLoadDone);
    ASSERT_EQ(store.trackCount, 3);
    EXPECT_EQ(TrackName(store, 2), u"Fish & Chips \u263A");
    const int64_t times[] = {settings.kmlTimeDefaultStart, settings.kmlTimeDefaultStart + 5,
                             UtcFromCivil(2024, 3, 1, 10, 0, 0), UtcFromCivil(2024, 3, 1, 10, 0, 5),
                             UtcFromCivil(2024, 3, 1, 10, 0, 10)};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(store.points[i].time, times[i]) << i;
    EXPECT_EQ(store.tracks[1].color, 0x123456u);
    EXPECT_EQ(store.tracks[2].lineWidth, 5);  // no style: the default width and a palette colour
    EXPECT_NE(store.tracks[2].color, 0u);
    EXPECT_NE(store.tracks[2].color, 0x123456u);
}

TEST(KmlReader, PointsAndNamesOfTuplesAndGxTracks) {
    test::ScopedTimeZone tz("UTC");
    const struct {
        const char* what;
        std::string kml;
        std::vector<std::string> points;
        std::vector<std::u16string> names;
    } cases[] = {
        {"tuples of two or three numbers with signs, comments and junk; invented times",
         "<kml>" +
             Placemark("<name><![CDATA[Mixed <b>]]></name>",
                       "\r\n  -91.6,30.1,1.5\n-91.7,30.2 \t+008.51,+48.26,+768\n<!-- bat: 89% -->\n8.52,48.27,770 "
                       "junk 5 8.53,48.28") +
             "</kml>",
         {"30.1,-91.6 1.5m 0km/h 2023-01-01T00:00:00", "30.2,-91.7 0m 0km/h 2023-01-01T00:00:05",
          "48.26,8.51 768m 0km/h 2023-01-01T00:00:10", "48.27,8.52 770m 0km/h 2023-01-01T00:00:15",
          "48.28,8.53 0m 0km/h 2023-01-01T00:00:20"},
         {u"Mixed <b>"}},
        {"gx:Tracks keep their own times; an empty gx:coord takes its when with it, a missing when is invented; an "
         "empty gx:Track is no track",
         R"(<kml xmlns:gx="http://www.google.com/kml/ext/2.2"><Document>
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
</Document></kml>)",
         {"48.5,8.97 405.5m 0km/h 2021-03-02T09:30:41", "48.51,8.98 0m 0km/h 2021-03-02T00:00:00",
          "51.1,3.1 54m 0km/h 2013-08-08T15:24:47", "51.2,3.2 55m 0km/h 2013-08-08T15:24:48",
          "51.3,3.3 56m 0km/h 2013-08-08T15:24:53", "1,1 0m 0km/h 2013-08-08T15:24:58"},
         {u"Walk", u"Coords first", u"20130808_1524_trc003"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TrackStore store = MakeStore();
        ASSERT_EQ(Read(store, c.kml), kReaderDone);
        EXPECT_EQ(test::PointTexts(store), c.points);
        ASSERT_EQ(store.trackCount, static_cast<int32_t>(c.names.size()));
        for (int t = 0; t < store.trackCount; ++t) EXPECT_EQ(TrackName(store, t), c.names[t]);
        ExpectConsistent(store);
    }
}

TEST(KmlReader, JunkKeepsEarlierTracks) {
    TrackStore store = MakeStore();
    ASSERT_EQ(Read(store, "<kml>" + Placemark("<name>first</name>", "1,2") + "</kml>"), kReaderDone);
    for (const char* junk : {"<Placemark><name>unterminated", "<gx:Track><when>2020</when><gx:coord>1"})
        Read(store, junk);
    ExpectConsistent(store);
    EXPECT_EQ(TrackName(store, 0), u"first");
}

// A coordinate list of megabytes is read on two threads where the machine
// has them; the points must be those of the text, in order, with the
// invented times running on from one placemark to the next, and a cut at the
// point capacity must fall where one reading from the front would stop.
TEST(KmlReader, LongCoordinateListsReadExactly) {
    std::string kml = "<kml>";
    std::vector<std::string> printed;
    char buffer[96];
    for (int placemark = 0; placemark < 2; ++placemark) {
        std::string coordinates = "\n";
        for (int i = 0; i < 60000; ++i) {
            double lon = 139.7 + i * 1.3e-6 - placemark, lat = -35.59 - i * 0.7e-6;
            if (i % 1000 == 999) coordinates += "junk ";  // no point
            std::snprintf(buffer, sizeof buffer, i % 7 ? "%.7f,%.7f,%.1f" : "%.6f,%.6f", lon, lat, i * 0.1 - 50);
            printed.emplace_back(buffer);
            coordinates += std::string("          ") + buffer + "\n";
        }
        kml += Placemark("<name>P" + std::to_string(placemark) + "</name>", coordinates);
    }
    kml += "</kml>";
    ASSERT_GT(kml.size(), size_t{4} << 20);

    TrackStore store = MakeStore(200000, 10);
    ASSERT_EQ(Read(store, kml), kReaderDone);
    ASSERT_EQ(store.pointCount, 120000);
    ASSERT_EQ(store.trackCount, 2);
    for (int i = 0; i < store.pointCount; ++i) {
        const std::string& text = printed[static_cast<size_t>(i)];
        char* end;
        double lon = std::strtod(text.c_str(), &end);
        double lat = std::strtod(end + 1, &end);
        float alt = *end == ',' ? std::strtof(end + 1, nullptr) : 0.0f;
        ASSERT_EQ(store.points[i].longitude, lon) << i;
        ASSERT_EQ(store.points[i].latitude, lat) << i;
        ASSERT_EQ(store.points[i].altitude, alt) << i;
        ASSERT_EQ(store.points[i].time, kStart + 5 * i) << i;
    }
    ExpectConsistent(store);

    TrackStore small = MakeStore(90001, 10);
    EXPECT_EQ(Read(small, kml), kReaderCut);
    EXPECT_EQ(small.pointCount, 90001);  // the points read so far close the last track
    EXPECT_EQ(small.trackCount, 2);
    EXPECT_EQ(small.points[90000].latitude, store.points[90000].latitude);
    EXPECT_EQ(small.points[90000].time, store.points[90000].time);
    ExpectConsistent(small);
}

}  // namespace
}  // namespace trakvio
