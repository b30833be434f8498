#include "readers/gpx_reader.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/local_time.h"
#include "test_support.h"

namespace trakvio {
namespace {

using test::ScopedTimeZone;

// Reads GPX text into store from the store's name end, as the loader does.
int Read(TrackStore& store, const std::string& text) {
    return ReadGpxBuffer(store, text.c_str(), text.size(), NamesEndPosition(store));
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

TEST(GpxReader, SegmentsRunTogetherAndElevationResetsPerSegment) {
    ScopedTimeZone tz("UTC");
    TrackStore store = MakeStore();
    ASSERT_EQ(Read(store, R"(<?xml version="1.0"?>
<gpx version="1.1"><trk><name>Walk</name>
<trkseg>
 <trkpt lat="35.1" lon="139.1"><ele>12.5</ele><time>2023-01-15T09:30:00Z</time></trkpt>
 <trkpt lat="35.2" lon="139.2"></trkpt>
</trkseg>
<trkseg>
 <trkpt lat="35.3" lon="139.3"><time>2023-01-15T09:31:00Z</time></trkpt>
</trkseg></trk></gpx>)"),
              kReaderDone);
    ASSERT_EQ(store.pointCount, 3);
    ASSERT_EQ(store.trackCount, 1);
    EXPECT_EQ(store.trackEnd[0], 2);
    EXPECT_EQ(TrackName(store, 0), u"Walk");
    EXPECT_DOUBLE_EQ(store.points[0].latitude, 35.1);
    EXPECT_DOUBLE_EQ(store.points[0].longitude, 139.1);
    EXPECT_FLOAT_EQ(store.points[0].altitude, 12.5f);
    EXPECT_EQ(store.points[0].time, UtcFromCivil(2023, 1, 15, 9, 30, 0));
    // No ele or time of its own: the previous elevation, the previous time + 1 s.
    EXPECT_FLOAT_EQ(store.points[1].altitude, 12.5f);
    EXPECT_EQ(store.points[1].time, store.points[0].time + 1);
    // A new segment starts at elevation 0.
    EXPECT_FLOAT_EQ(store.points[2].altitude, 0.0f);
    ExpectConsistent(store);
}

TEST(GpxReader, RoutesAreTracksOnlyWhenEnabled) {
    const std::string gpx = R"(<gpx><wpt lat="1" lon="2"><name>W</name></wpt>
<rte><name>Route</name><rtept lat="10" lon="20"><ele>5</ele><name>P1</name></rtept>
<rtept lat="11" lon="21"><name>P2</name><time>2020-05-01T00:00:00Z</time></rtept></rte>
<trk><name>T</name><trkseg><trkpt lat="30" lon="40"/></trkseg></trk></gpx>)";
    TrackStore store = MakeStore();
    ASSERT_EQ(Read(store, gpx), kReaderDone);
    ASSERT_EQ(store.trackCount, 2);
    ASSERT_EQ(store.pointCount, 3);
    // The route keeps its own name: point names do not rename it.
    EXPECT_EQ(TrackName(store, 0), u"Route");
    EXPECT_EQ(TrackName(store, 1), u"T");
    EXPECT_FLOAT_EQ(store.points[0].altitude, 5.0f);
    EXPECT_EQ(store.points[1].time, UtcFromCivil(2020, 5, 1, 0, 0, 0));
    // A self-closing track point is a point.
    EXPECT_DOUBLE_EQ(store.points[2].latitude, 30);
    ExpectConsistent(store);

    TrackStore noRoutes = MakeStore();
    noRoutes.readGpxRoutes = 0;
    ASSERT_EQ(Read(noRoutes, gpx), kReaderDone);
    ASSERT_EQ(noRoutes.trackCount, 1);
    ASSERT_EQ(noRoutes.pointCount, 1);
    EXPECT_DOUBLE_EQ(noRoutes.points[0].longitude, 40);
    // Waypoints add no points.
    EXPECT_EQ(TrackName(noRoutes, 0), u"T");
}

TEST(GpxReader, NamesCarryOverAndDecode) {
    ScopedTimeZone tz("UTC");
    TrackStore store = MakeStore();
    ASSERT_EQ(Read(store, R"(<gpx><metadata><name>From metadata</name></metadata>
<trk><trkseg><trkpt lat="1" lon="1"><name>point name is ignored</name></trkpt></trkseg></trk>
<trk><name><![CDATA[Morning walk]]></name><trkseg><trkpt lat="1" lon="1"/></trkseg></trk>
<trk><name>Fish &amp; Chips &lt;3&gt; &quot;x&quot; &apos;y&apos; &#x263A;&#65; &bogus;</name><trkseg/></trk>
<trk><trkseg><trkpt lat="2" lon="2"><time>2023-01-15T09:30:59Z</time></trkpt></trkseg></trk>
<trk attr="1"><trkseg></trkseg></trk>
</gpx>)"),
              kReaderDone);
    ASSERT_EQ(store.trackCount, 5);
    EXPECT_EQ(TrackName(store, 0), u"From metadata");
    EXPECT_EQ(TrackName(store, 1), u"Morning walk");
    EXPECT_EQ(TrackName(store, 2),
              u"Fish & Chips <3> \"x\" 'y' \u263A"
              u"A &bogus;");
    // Later tracks without a name of their own get default names.
    EXPECT_EQ(TrackName(store, 3), u"20230115_0930_trc004");
    EXPECT_EQ(TrackName(store, 4), u"trc005");
    ExpectConsistent(store);
}

TEST(GpxReader, TimesWithZonesFractionsAndMissingFields) {
    TrackStore store = MakeStore();
    ASSERT_EQ(Read(store, R"(<gpx><trk><trkseg>
<trkpt lat="1" lon="1"><time>2023-01-16T18:02:26.000Z</time></trkpt>
<trkpt lat="1" lon="1"><time>2023-01-16T18:02:26.999Z</time></trkpt>
<trkpt lat="1" lon="1"><time>2023-01-17T03:02:26+09:00</time></trkpt>
<trkpt lat="1" lon="1"><time>2023-01-16T13:02:26.5-05:00</time></trkpt>
<trkpt lat="1" lon="1"><time>2023-01-16T18:02:26+0000</time></trkpt>
<trkpt lat="1" lon="1"><time>2024-02</time></trkpt>
<trkpt lat="1" lon="1"><time>garbage</time></trkpt>
</trkseg></trk></gpx>)"),
              kReaderDone);
    ASSERT_EQ(store.pointCount, 7);
    int64_t expected = UtcFromCivil(2023, 1, 16, 18, 2, 26);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(store.points[i].time, expected) << i;
    // Only year and month given: the other fields keep the values last read.
    EXPECT_EQ(store.points[5].time, UtcFromCivil(2024, 2, 16, 18, 2, 26));
    EXPECT_EQ(store.points[6].time, UtcFromCivil(2024, 2, 16, 18, 2, 26));
}

TEST(GpxReader, AttributesInEitherQuotesAndMissingOnes) {
    TrackStore store = MakeStore();
    ASSERT_EQ(Read(store, R"(<gpx><trk><trkseg>
<trkpt lat='35.5' lon='-120.25'></trkpt>
<trkpt lon="10"></trkpt>
<trkpt lat="abc" lon="nan"></trkpt>
</trkseg></trk></gpx>)"),
              kReaderDone);
    ASSERT_EQ(store.pointCount, 3);
    EXPECT_DOUBLE_EQ(store.points[0].latitude, 35.5);
    EXPECT_DOUBLE_EQ(store.points[0].longitude, -120.25);
    EXPECT_DOUBLE_EQ(store.points[1].latitude, 35.5);  // missing: kept
    EXPECT_DOUBLE_EQ(store.points[1].longitude, 10);
    EXPECT_DOUBLE_EQ(store.points[2].latitude, 0);  // unreadable: 0
    EXPECT_DOUBLE_EQ(store.points[2].longitude, 0);
    EXPECT_EQ(store.points[0].time, 1);  // first point without a time: 1970-01-01 00:00:01
    EXPECT_EQ(store.points[2].time, 3);
}

TEST(GpxReader, WaypointTimeAndElevationCarryOver) {
    TrackStore store = MakeStore();
    ASSERT_EQ(Read(store, R"(<gpx><wpt lat="5" lon="6"><ele>100</ele><time>2020-01-01T00:00:00Z</time></wpt>
<trk><name>x</name><trkseg><trkpt lat="1" lon="2"></trkpt></trkseg></trk></gpx>)"),
              kReaderDone);
    ASSERT_EQ(store.pointCount, 1);
    EXPECT_EQ(store.points[0].time, UtcFromCivil(2020, 1, 1, 0, 0, 0) + 1);
    // The segment start resets the elevation.
    EXPECT_FLOAT_EQ(store.points[0].altitude, 0.0f);
}

TEST(GpxReader, FilesCutShortKeepTheirPointsInClosedTracks) {
    TrackStore store = MakeStore();
    ASSERT_EQ(Read(store, R"(<gpx><trk><name>open</name><trkseg><trkpt lat="1" lon="2"></trkpt>
<trkpt lat="3" lon="4"></trkpt><trkpt lat="5" lon)"),
              kReaderDone);
    EXPECT_EQ(store.pointCount, 2);
    EXPECT_EQ(store.trackCount, 1);
    EXPECT_EQ(TrackName(store, 0), u"open");
    ExpectConsistent(store);

    // Empty text, junk and stray tags add nothing and break nothing.
    for (std::string junk :
         {std::string(), std::string("\0\x01\xff<<<>>>", 9), std::string("</trk></trk></rte>"),
          std::string("<name>unterminated"), std::string("<trkseg><trkpt lat=\"1\""), std::string(100000, '<')}) {
        int32_t before = store.pointCount;
        int32_t tracksBefore = store.trackCount;
        Read(store, junk);
        ExpectConsistent(store);
        EXPECT_GE(store.trackCount, tracksBefore);
        EXPECT_GE(store.pointCount, before);
        EXPECT_EQ(TrackName(store, 0), u"open");
    }
}

}  // namespace
}  // namespace trakvio
