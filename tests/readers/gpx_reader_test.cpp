#include "readers/gpx_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "readers/log_builders.h"
#include "test_support.h"

namespace trakvio {
namespace {

// Reads GPX text into store from the store's name end, as the loader does.
int Read(TrackStore& store, const std::string& text) {
    return ReadGpxBuffer(store, text.c_str(), text.size(), NamesEndPosition(store));
}

TrackStore MakeStore() {
    TrackStore store;
    EXPECT_EQ(CreateTrackStore(store, 1000, 20), 0);
    return store;
}

// Every point lies in a closed track and the names match the track count.
void ExpectConsistent(const TrackStore& store) {
    EXPECT_EQ(PointsInClosedTracks(store), store.pointCount);
    EXPECT_EQ(StoredNameCount(store), store.trackCount);
}

TEST(GpxReader, PointsTakeWhatTheyLackFromThePointsBefore) {
    const struct {
        const char* what;
        const char* gpx;
        std::vector<std::string> points;
    } cases[] = {
        {"segments run together; no ele or time: the previous ele, the previous time + 1 s; a new segment starts at "
         "ele 0",
         R"(<?xml version="1.0"?><gpx version="1.1"><trk><name>Walk</name><trkseg>
<trkpt lat="35.1" lon="139.1"><ele>12.5</ele><time>2023-01-15T09:30:00Z</time></trkpt>
<trkpt lat="35.2" lon="139.2"></trkpt></trkseg>
<trkseg><trkpt lat="35.3" lon="139.3"><time>2023-01-15T09:31:00Z</time></trkpt></trkseg></trk></gpx>)",
         {"35.1,139.1 12.5m 0km/h 2023-01-15T09:30:00", "35.2,139.2 12.5m 0km/h 2023-01-15T09:30:01",
          "35.3,139.3 0m 0km/h 2023-01-15T09:31:00"}},
        {"routes are tracks; a waypoint is no point but counts a second; a self-closing point is one",
         R"(<gpx><wpt lat="1" lon="2"><name>W</name></wpt>
<rte><name>Route</name><rtept lat="10" lon="20"><ele>5</ele><name>P1</name></rtept>
<rtept lat="11" lon="21"><name>P2</name><time>2020-05-01T00:00:00Z</time></rtept></rte>
<trk><name>T</name><trkseg><trkpt lat="30" lon="40"/></trkseg></trk></gpx>)",
         {"10,20 5m 0km/h 1970-01-01T00:00:02", "11,21 5m 0km/h 2020-05-01T00:00:00",
          "30,40 0m 0km/h 2020-05-01T00:00:01"}},
        {"times with zones and fractions; only year and month: the other fields as last read; garbage: the same",
         R"(<gpx><trk><trkseg>
<trkpt lat="1" lon="1"><time>2023-01-16T18:02:26.000Z</time></trkpt>
<trkpt lat="1" lon="1"><time>2023-01-16T18:02:26.999Z</time></trkpt>
<trkpt lat="1" lon="1"><time>2023-01-17T03:02:26+09:00</time></trkpt>
<trkpt lat="1" lon="1"><time>2023-01-16T13:02:26.5-05:00</time></trkpt>
<trkpt lat="1" lon="1"><time>2023-01-16T18:02:26+0000</time></trkpt>
<trkpt lat="1" lon="1"><time>2024-02</time></trkpt>
<trkpt lat="1" lon="1"><time>garbage</time></trkpt></trkseg></trk></gpx>)",
         {"1,1 0m 0km/h 2023-01-16T18:02:26", "1,1 0m 0km/h 2023-01-16T18:02:26", "1,1 0m 0km/h 2023-01-16T18:02:26",
          "1,1 0m 0km/h 2023-01-16T18:02:26", "1,1 0m 0km/h 2023-01-16T18:02:26", "1,1 0m 0km/h 2024-02-16T18:02:26",
          "1,1 0m 0km/h 2024-02-16T18:02:26"}},
        {"either quotes; a missing attribute keeps the last value, an unreadable one is 0; no time at all: 1 s after "
         "1970",
         R"(<gpx><trk><trkseg><trkpt lat='35.5' lon='-120.25'></trkpt><trkpt lon="10"></trkpt>
<trkpt lat="abc" lon="nan"></trkpt></trkseg></trk></gpx>)",
         {"35.5,-120.25 0m 0km/h 1970-01-01T00:00:01", "35.5,10 0m 0km/h 1970-01-01T00:00:02",
          "0,0 0m 0km/h 1970-01-01T00:00:03"}},
        {"a waypoint's time carries over, its elevation not past the segment start",
         R"(<gpx><wpt lat="5" lon="6"><ele>100</ele><time>2020-01-01T00:00:00Z</time></wpt>
<trk><name>x</name><trkseg><trkpt lat="1" lon="2"></trkpt></trkseg></trk></gpx>)",
         {"1,2 0m 0km/h 2020-01-01T00:00:01"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TrackStore store = MakeStore();
        ASSERT_EQ(Read(store, c.gpx), kReaderDone);
        EXPECT_EQ(test::PointTexts(store), c.points);
        ExpectConsistent(store);
    }

    TrackStore noRoutes = MakeStore();
    noRoutes.readGpxRoutes = 0;
    ASSERT_EQ(Read(noRoutes, cases[1].gpx), kReaderDone);
    EXPECT_EQ(test::PointTexts(noRoutes), (std::vector<std::string>{"30,40 0m 0km/h 1970-01-01T00:00:02"}));
    EXPECT_EQ(TrackName(noRoutes, 0), u"T");
}

TEST(GpxReader, NamesCarryOverAndDecode) {
    test::ScopedTimeZone tz("UTC");
    TrackStore store = MakeStore();
    ASSERT_EQ(Read(store, R"(<gpx><metadata><name>From metadata</name></metadata>
<trk><trkseg><trkpt lat="1" lon="1"><name>point name is ignored</name></trkpt></trkseg></trk>
<rte><name><![CDATA[Morning walk]]></name><rtept lat="1" lon="1"><name>P1</name></rtept></rte>
<trk><name>Fish &amp; Chips &lt;3&gt; &quot;x&quot; &apos;y&apos; &#x263A;&#65;&#x1F600; &bogus; &#0; &#xD800; & end &</name>
<trkseg/></trk>
<trk><trkseg><trkpt lat="2" lon="2"><time>2023-01-15T09:30:59Z</time></trkpt></trkseg></trk>
<trk attr="1"><trkseg></trkseg></trk>
</gpx>)"),
              kReaderDone);
    ASSERT_EQ(store.trackCount, 5);
    // A route keeps its own name: point names do not rename it. Later tracks
    // without a name of their own get default names.
    const std::u16string names[] = {u"From metadata", u"Morning walk",
                                    u"Fish & Chips <3> \"x\" 'y' \u263A"
                                    u"A\U0001F600 &bogus; &#0; &#xD800; & end &",
                                    u"20230115_0930_trc004", u"trc005"};
    for (int t = 0; t < 5; ++t) EXPECT_EQ(TrackName(store, t), names[t]) << t;
    ExpectConsistent(store);
}

TEST(GpxReader, CutShortOrJunkKeepsThePointsReadInClosedTracks) {
    TrackStore store = MakeStore();
    ASSERT_EQ(Read(store, R"(<gpx><trk><name>open</name><trkseg><trkpt lat="1" lon="2"></trkpt>
<trkpt lat="3" lon="4"></trkpt><trkpt lat="5" lon)"),
              kReaderDone);
    EXPECT_EQ(store.pointCount, 2);
    EXPECT_EQ(store.trackCount, 1);
    for (std::string junk :
         {std::string(), std::string("\0\x01\xff<<<>>>", 9), std::string("</trk></trk></rte>"),
          std::string("<name>unterminated"), std::string("<trkseg><trkpt lat=\"1\""), std::string(100000, '<')}) {
        Read(store, junk);
        ExpectConsistent(store);
        EXPECT_GE(store.pointCount, 2);
        EXPECT_EQ(TrackName(store, 0), u"open");
    }
}

}  // namespace
}  // namespace trakvio
