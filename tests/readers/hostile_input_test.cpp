// Hostile inputs to the readers. Output well-formed: positions off the
// globe (latitude beyond +-90, longitude beyond +-180, or no finite number)
// are skipped by every reader, so no distance, speed or written page ever
// meets them. Failures reported: a .gpx without GPX in it says so.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "archive/load_front_end.h"
#include "compute/statistics.h"
#include "readers/log_builders.h"
#include "test_support.h"

namespace trakvio {
namespace {

using test::ScratchFolder;
using test::WriteFile;

std::string FarMtkDump() {
    std::string dump;
    const uint32_t format = 0x6007F;
    test::AppendMtkHeader(dump, format);
    const double inf = std::numeric_limits<double>::infinity();
    const test::MtkPosition positions[] = {{35.0, 139.0, 10},   {inf, 139.0, 10},
                                           {95.5, 139.0, 10},   {35.0, std::numeric_limits<double>::quiet_NaN(), 10},
                                           {35.0001, -999, 10}, {35.0001, 139.0, static_cast<float>(inf)}};
    for (int i = 0; i < 6; ++i) test::AppendMtkRecord(dump, format, i, 0, &positions[i]);
    test::PadMtkSector(dump);
    return dump;
}

TEST(ReadersOutputWellFormed, PointsOffTheGlobeAreSkipped) {
    const struct {
        const char* file;
        std::string text;
        std::vector<std::string> points;
    } cases[] = {
        {"far.gpx",
         "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\"><trk><trkseg>\n"
         "<trkpt lat=\"35.0000\" lon=\"139.0000\"><time>2024-01-01T00:00:00Z</time></trkpt>\n"
         "<trkpt lat=\"95.5\" lon=\"139.0\"><time>2024-01-01T00:00:01Z</time></trkpt>\n"
         "<trkpt lat=\"35.0001\" lon=\"-999\"><time>2024-01-01T00:00:01Z</time></trkpt>\n"
         "<trkpt lat=\"-90.0001\" lon=\"180.5\"><time>2024-01-01T00:00:01Z</time></trkpt>\n"
         "<trkpt lat=\"35.0001\" lon=\"139.0000\"><time>2024-01-01T00:00:01Z</time></trkpt>\n"
         "<trkpt lat=\"35.0002\" lon=\"139.0000\"><time>2024-01-01T00:00:02Z</time></trkpt>\n"
         "</trkseg></trk></gpx>\n",
         {"35,139 0m 0km/h 2024-01-01T00:00:00", "35.0001,139 0m 0km/h 2024-01-01T00:00:01",
          "35.0002,139 0m 0km/h 2024-01-01T00:00:02"}},
        {"far.kml",
         "<?xml version=\"1.0\"?>\n<kml xmlns=\"http://www.opengis.net/kml/2.2\"><Document><Placemark>"
         "<LineString><coordinates>139.0,35.0,0 139.0,95.5,0 -999,35.0001,0 139.0,35.0001,0 "
         "181,0,0 139.0,35.0002,0</coordinates></LineString></Placemark></Document></kml>\n",
         {"35,139 0m 0km/h 2023-01-01T00:00:00", "35.0001,139 0m 0km/h 2023-01-01T00:00:05",
          "35.0002,139 0m 0km/h 2023-01-01T00:00:10"}},
        {"far_gx.kml",
         "<?xml version=\"1.0\"?>\n<kml xmlns=\"http://www.opengis.net/kml/2.2\" "
         "xmlns:gx=\"http://www.google.com/kml/ext/2.2\"><Document><Placemark><gx:Track>"
         "<when>2024-01-01T00:00:00Z</when><when>2024-01-01T00:00:01Z</when><when>2024-01-01T00:00:01Z</when>"
         "<when>2024-01-01T00:00:02Z</when>"
         "<gx:coord>139.0 35.0 0</gx:coord><gx:coord>139.0 -95.5 0</gx:coord><gx:coord>139.0 35.0001 0</gx:coord>"
         "<gx:coord>139.0 35.0002 0</gx:coord></gx:Track></Placemark></Document></kml>\n",
         {"35,139 0m 0km/h 2024-01-01T00:00:00", "35.0001,139 0m 0km/h 2024-01-01T00:00:01",
          "35.0002,139 0m 0km/h 2024-01-01T00:00:02"}},
        {"far.bin",
         FarMtkDump(),
         {"35,139 10m 3.6km/h 2023-11-14T22:13:20",
          "35.0001,139 0m 3.6km/h 2023-11-14T22:13:25"}},  // a bad height is 0
    };
    ScratchFolder folder;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        WriteFile(folder / c.file, c.text);
        test::Loader l;
        EXPECT_EQ(LoadLogFile(l.store, l.settings, folder / c.file), kLoadDone);
        EXPECT_EQ(test::PointTexts(l.store), c.points);
        EXPECT_LT(l.store.totalDistanceKm, 0.1);
    }
}

// Failures reported: a .gpx without any GPX in it says so; an empty but
// valid document is a quiet, successful load; UTF-16 GPX is read.
TEST(GpxFailuresReported, FilesWithoutGpxContentSaySoAndUtf16IsRead) {
    ScratchFolder folder;
    test::Loader l;
    WriteFile(folder / "empty.gpx", "");
    WriteFile(folder / "nul.gpx", std::string(4096, '\0'));
    WriteFile(folder / "junk.gpx", "lat=\"35\" lon=\"139\" <trkpt> no document here");
    for (const char* name : {"empty.gpx", "nul.gpx", "junk.gpx"}) {
        SCOPED_TRACE(name);
        test::MessageCatcher messages;
        EXPECT_EQ(LoadLogFile(l.store, l.settings, folder / name), kLoadReaderError);
        ASSERT_EQ(messages.messages().size(), 1u);
        EXPECT_TRUE(messages.Saw("no GPX document"));
        EXPECT_TRUE(messages.Saw((folder / name).string()));
    }
    EXPECT_EQ(l.store.fileCount, 0);

    WriteFile(folder / "valid.gpx", "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\" creator=\"x\"/>\n");
    {
        test::MessageCatcher messages;
        EXPECT_EQ(LoadLogFile(l.store, l.settings, folder / "valid.gpx"), kLoadDone);
        EXPECT_TRUE(messages.messages().empty());
    }

    const std::u16string gpx =
        u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<gpx version=\"1.1\"><trk><name>東京</name><trkseg>"
        u"<trkpt lat=\"35.5\" lon=\"139.5\"><time>2024-01-01T00:00:00Z</time></trkpt>"
        u"<trkpt lat=\"35.6\" lon=\"139.6\"><time>2024-01-01T00:01:00Z</time></trkpt></trkseg></trk></gpx>\n";
    std::string little = "\xFF\xFE", big;
    for (char16_t unit : gpx) {
        little += static_cast<char>(unit & 0xFF);
        little += static_cast<char>(unit >> 8);
        big += static_cast<char>(unit >> 8);
        big += static_cast<char>(unit & 0xFF);
    }
    WriteFile(folder / "le.gpx", little);
    WriteFile(folder / "be.gpx", big);  // no byte-order mark
    ClearTrackStore(l.store);
    EXPECT_EQ(LoadLogFile(l.store, l.settings, folder / "le.gpx"), kLoadDone);
    EXPECT_EQ(LoadLogFile(l.store, l.settings, folder / "be.gpx"), kLoadDone);
    EXPECT_EQ(l.store.pointCount, 4);
    EXPECT_EQ(l.store.trackCount, 2);
    EXPECT_EQ(TrackName(l.store, 1), u"東京");
    EXPECT_DOUBLE_EQ(l.store.points[3].latitude, 35.6);
}

}  // namespace
}  // namespace trakvio
