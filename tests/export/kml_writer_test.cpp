// KML and KMZ export: the whole document of a small store, colours,
// coordinates and names, the read-back through our KML reader and through
// GDAL's, and the KMZ's single entry.
#include "export/kml_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "archive/zip_builder.h"
#include "export_test_store.h"
#include "readers/kml_reader.h"
#include "test_support.h"

namespace trakvio {
namespace {

namespace fs = std::filesystem;

std::string KmlText(const TrackStore& store, std::u16string_view title) {
    TextOutput out;
    PutKmlDocument(out, title, store);
    return out.text();
}

TEST(KmlWriter, SmallStoreByteForByte) {
    test::ScopedTimeZone utc("UTC");
    TrackStore store;
    test::FillStore(store, test::SmallTracks());
    const std::string expected = test::Crlf(R"(<?xml version="1.0" encoding="UTF-8"?>
<kml xmlns="http://earth.google.com/kml/2.2">
<Document><description><![CDATA[20240501_walk]]></description>
<Folder><name>20240501_walk</name>
<Placemark>
<description>2024-05-01 08:00:00 - 09:30:00</description>
<name><![CDATA[20240501_walk]]></name>
<Style><LineStyle><color>B20000FF</color><width>3</width></LineStyle></Style>
<LineString><extrude>0</extrude><tessellate>1</tessellate><altitudeMode>absolute</altitudeMode><coordinates>
139.000000,35.000000,40.3
139.001000,35.001000,41.0
139.000500,35.002000,12.2
</coordinates></LineString></Placemark>
<Placemark>
<description> - </description>
<name><![CDATA[deleted]]></name>
<Style><LineStyle><color>B200FF00</color><width>2</width></LineStyle></Style>
<LineString><extrude>0</extrude><tessellate>1</tessellate><altitudeMode>absolute</altitudeMode><coordinates>
</coordinates></LineString></Placemark>
<Placemark>
<description>2024-05-01 23:30:00 - 2024-05-02 00:15:30</description>
<name><![CDATA[Night ride]]></name>
<Style><LineStyle><color>B2FF0000</color><width>5</width></LineStyle></Style>
<LineString><extrude>0</extrude><tessellate>1</tessellate><altitudeMode>absolute</altitudeMode><coordinates>
139.100000,35.100000,-3.0
139.100200,35.100500,5.1
</coordinates></LineString></Placemark>
</Folder></Document></kml>
)");
    test::ScratchFolder scratch;
    ASSERT_EQ(WriteKml(scratch / "walk.kml", u"20240501_walk", store), kExportDone);
    EXPECT_EQ(test::ReadFile(scratch / "walk.kml"), expected);
    // Any extension but .kmz gives plain KML under exactly that name.
    ASSERT_EQ(WriteKml(scratch / "walk.txt", u"20240501_walk", store), kExportDone);
    EXPECT_EQ(test::ReadFile(scratch / "walk.txt"), expected);
    EXPECT_EQ(WriteKml(scratch / "missing" / "walk.kml", u"t", store), kExportCannotCreate);
    EXPECT_EQ(WriteKml("/dev/full", u"t", store), kExportWriteFailed);
}

TEST(KmlWriter, ColoursCoordinatesAndNames) {
    test::ScopedTimeZone utc("UTC");
    std::vector<test::TestTrack> tracks = {
        {u"rounded", {{35.6812344, 139.7671234, 40.3f, test::kMay1, 1}}, 0x0000FF, 1, 0},
        {u"a]]>b<![CDATA[c]]>", {{1, 2, 0, test::kMay1, 1}}, 0x123456, 7, 0},
        {u"&<tag>\u0001\uFFFE\uFFFF", {{-33.5, -70.25, 0, test::kMay1, 1}}, 0xFFFFFF, 1, 0},
    };
    TrackStore store;
    test::FillStore(store, tracks);
    const std::string kml = KmlText(store, u"Title ]]> & <b>\uFFFF");
    for (std::string_view piece : {
             "<color>B2563412</color><width>7</width>",
             "<coordinates>\r\n139.767123,35.681234,40.3\r\n</coordinates>",
             "\r\n-70.250000,-33.500000,0.0\r\n",
             // CDATA sections stay closed; text outside them is escaped; the
             // noncharacters XML forbids become U+FFFD.
             "<name><![CDATA[a]]]]><![CDATA[>b<![CDATA[c]]]]><![CDATA[>]]></name>",
             "<name><![CDATA[&<tag>\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD]]></name>",
             "<description><![CDATA[Title ]]]]><![CDATA[> & <b>\xEF\xBF\xBD]]></description>",
             "<Folder><name>Title ]]&gt; &amp; &lt;b&gt;\xEF\xBF\xBD</name>",
         }) {
        EXPECT_NE(kml.find(piece), std::string::npos) << piece;
    }
    EXPECT_EQ(test::CountOf(kml, "<Placemark>"), 3u);
}

TEST(KmlWriter, ReadsBackThroughOurReader) {
    test::ScopedTimeZone utc("UTC");
    std::vector<test::TestTrack> tracks = test::SmallTracks();
    tracks.erase(tracks.begin() + 1);  // a placemark without coordinates is no track to read back
    tracks[1].name = u"夜 ride";
    TrackStore store;
    test::FillStore(store, tracks);
    TrackStore back;
    CreateTrackStore(back, 100, 10);
    const std::string kml = KmlText(store, u"round trip");  // the reader wants the NUL behind the data
    ASSERT_EQ(ReadKmlBuffer(back, kml.c_str(), kml.size(), 0, test::kMay1, 5), kReaderDone);

    ASSERT_EQ(back.trackCount, 2);
    for (int t = 0; t < 2; ++t) {
        EXPECT_EQ(TrackName(back, t), TrackName(store, t));
        EXPECT_EQ(back.tracks[t].color, store.tracks[t].color);
        EXPECT_EQ(back.tracks[t].lineWidth, store.tracks[t].lineWidth);
    }
    // Only enabled points (the ride's middle one is not), within the printed precision.
    const int32_t written[] = {0, 1, 2, 3, 5};
    ASSERT_EQ(back.pointCount, 5);
    EXPECT_EQ(back.trackEnd[0], 2);
    for (int32_t i = 0; i < back.pointCount; ++i) {
        const LogPoint& w = store.points[written[i]];
        EXPECT_NEAR(back.points[i].latitude, w.latitude, 0.5e-6) << i;
        EXPECT_NEAR(back.points[i].longitude, w.longitude, 0.5e-6) << i;
        EXPECT_NEAR(back.points[i].altitude, w.geoidAltitude, 0.0501) << i;
    }
}

// GDAL's KML reader takes every placemark, the one without enabled points
// included, with the coordinates we wrote.
TEST(KmlWriter, AcceptedByGdal) {
    test::ScopedTimeZone utc("UTC");
    std::string version;
    if (test::RunCommand("ogrinfo --version", &version) != 0) {
        FAIL() << "ogrinfo is needed for this test (apt-get install gdal-bin)";
    }
    TrackStore store;
    test::FillStore(store, test::SmallTracks());
    test::ScratchFolder scratch;
    ASSERT_EQ(WriteKml(scratch / "small.kml", u"GDAL", store), kExportDone);
    std::string listing, err;
    ASSERT_EQ(test::RunCommand("ogrinfo -ro -al " + test::ShellQuote((scratch / "small.kml").string()), &listing, &err),
              0)
        << err;
    EXPECT_EQ(test::CountOf(listing, "OGRFeature("), 3u) << listing;
    EXPECT_NE(listing.find("Name (String) = 20240501_walk"), std::string::npos) << listing;
    EXPECT_NE(listing.find("Name (String) = Night ride"), std::string::npos) << listing;
    // The walk's line, longitude first, with the altitude above the geoid to
    // a tenth of a metre; the deleted track's line is empty.
    EXPECT_NE(listing.find("LINESTRING EMPTY"), std::string::npos) << listing;
    EXPECT_NE(listing.find("LINESTRING Z (139 35 40.3,139.001 35.001 41,139.0005 35.002 12.2)"), std::string::npos)
        << listing;
}

TEST(KmlWriter, KmzHoldsOneEntryBuiltInMemory) {
    test::ScopedTimeZone utc("UTC");
    TrackStore store;
    test::FillStore(store, test::SmallTracks());
    const std::string kml = KmlText(store, u"packed");
    test::ScratchFolder scratch;
    // A .kml of the entry's name beside the output stays untouched.
    test::WriteFile(scratch / "Trip 1.kml", "not mine");
    ASSERT_EQ(WriteKml(scratch / "Trip 1.KMZ", u"packed", store), kExportDone);
    EXPECT_EQ(test::ReadFile(scratch / "Trip 1.kml"), "not mine");
    EXPECT_EQ(std::distance(fs::directory_iterator(scratch.path()), fs::directory_iterator()), 2);

    EXPECT_EQ(test::ZipEntryNames(scratch / "Trip 1.KMZ"), std::vector<std::string>{"Trip 1.kml"});
    EXPECT_EQ(test::ZipEntryContent(scratch / "Trip 1.KMZ", "Trip 1.kml"), kml);
    // An independent unzip reads the same bytes; an existing KMZ is replaced.
    ASSERT_EQ(WriteKml(scratch / "地図.kmz", u"packed", store), kExportDone);
    ASSERT_EQ(WriteKml(scratch / "地図.kmz", u"packed", store), kExportDone);
    std::string unzipped;
    ASSERT_EQ(
        test::RunCommand("unzip -p " + test::ShellQuote((scratch / "地図.kmz").string()) + " 地図.kml", &unzipped), 0);
    EXPECT_EQ(unzipped, kml);
    EXPECT_EQ(test::ZipEntryNames(scratch / "地図.kmz"), std::vector<std::string>{"地図.kml"});
    EXPECT_EQ(KmzEntryName("/x/y/archive.v2.kmz"), "archive.v2.kml");

    EXPECT_EQ(WriteKml(scratch / "missing" / "x.kmz", u"t", store), kExportCannotCreate);
}

}  // namespace
}  // namespace trakvio
