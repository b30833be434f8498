#include <gtest/gtest.h>

#include <string>

#include "archive/load_front_end.h"
#include "compute/statistics.h"
#include "readers/log_builders.h"
#include "test_support.h"

namespace trakvio {
namespace {

using test::Loader;
using test::MessageCatcher;
using test::ScopedTimeZone;
using test::ScratchFolder;
using test::WriteFile;

int Detect(const std::string& bytes) {
    return DetectKindFromBytes(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

std::string UnnamedGpx(const char* time, int points) {
    std::string gpx = "<?xml version=\"1.0\"?>\n<gpx><trk><trkseg>";
    for (int i = 0; i < points; ++i) {
        gpx += "<trkpt lat=\"35." + std::to_string(i) + "\" lon=\"139.0\"><ele>10</ele>";
        if (i == 0) gpx += std::string("<time>") + time + "</time>";
        gpx += "</trkpt>";
    }
    return gpx + "</trkseg></trk></gpx>\n";
}

// Forced names and extensions: case ignored, the alternate spellings, and
// the names that are not reader kinds.
TEST(LogLoader, KindsByNameAndExtension) {
    EXPECT_EQ(KindFromForcedName("Bad-Txt"), kKindCsvText);
    EXPECT_EQ(KindFromForcedName("ZIP"), 0);
    EXPECT_EQ(KindFromExtension("/a/track.GPX"), kKindGpx);
    EXPECT_EQ(KindFromExtension("log.nme"), kKindNmea);
    EXPECT_EQ(KindFromExtension("x.kmlx"), kKindKml);
    EXPECT_EQ(KindFromExtension("a.q9z"), kKindArchive);
    EXPECT_EQ(KindFromExtension(".mtk-logger_save"), kKindMtkDownloadSave);
    EXPECT_EQ(KindFromExtension("a.gpxx"), 0);
    EXPECT_EQ(KindFromExtension("/dir.gpx/noext"), 0);
}

TEST(LogLoader, KindsByContent) {
    EXPECT_EQ(Detect(std::string("PK\x03\x04rest", 8)), kKindArchive);
    EXPECT_EQ(Detect(std::string("\x00\x00\x7f\x00\x06\x00", 6)), kKindMtkBinary);
    EXPECT_EQ(Detect("<?xml version=\"1.0\"?>\n<gpx version=\"1.1\">"), kKindGpx);
    EXPECT_EQ(Detect("<?XML version=\"1.0\"?><KML xmlns="), kKindKml);
    EXPECT_EQ(Detect("\xEF\xBB\xBF<?xml version=\"1.0\"?>\r\n<!-- made by hand -->\r\n<gpx>"), kKindGpx);
    EXPECT_EQ(Detect("<?xml version=\"1.0\"?><html>"), 0);
    EXPECT_EQ(Detect("header line\n$GPRMC,123519,A,4807.038,N"), kKindNmea);
    EXPECT_EQ(Detect("# comment\r\n$GNGGA,1"), kKindNmea);
    // The first line is never looked at.
    EXPECT_EQ(Detect("$GPRMC,123519,A,4807.038,N\n$GPGSV,1"), 0);
    std::string sqlite = std::string("SQLite format 3") + std::string(1009, '\1');
    EXPECT_EQ(Detect(sqlite), kKindItm);
    sqlite.replace(700, 16, "android_metadata");
    sqlite.replace(800, 21, "tablelocationlocation");
    EXPECT_EQ(Detect(sqlite), kKindGoGoHike);
    EXPECT_EQ(Detect("type,date time,latitude,longitude,accuracy(m),altitude(m),geoid_height(m),speed(m/s),"
                     "bearing(deg),sat_used,sat_inview,name,desc\nT,..."),
              kKindCsvText);
    EXPECT_EQ(Detect(""), 0);
    EXPECT_EQ(Detect(std::string(5000, 'x')), 0);
    EXPECT_EQ(DetectKindByContent("/nonexistent/x"), kKindUnreadable);
}

// Loads by extension, by content and by a forced kind, and a registration
// without reading: the kinds found by content or forced are recorded; the
// default names come from the local start time, numbered over the store.
TEST(LogLoader, LoadsCompleteTracksAndRecordHowTheKindWasFound) {
    ScopedTimeZone tz("Asia/Tokyo");
    ScratchFolder folder;
    WriteFile(folder / "a.gpx", UnnamedGpx("2023-01-15T00:30:00Z", 3));
    WriteFile(folder / "b.txt", UnnamedGpx("2023-01-16T01:45:00Z", 2));
    WriteFile(folder / "c.dat", UnnamedGpx("2023-01-17T00:30:00Z", 1));
    Loader l;
    l.store.tracklinewidthdefault = 4;
    ASSERT_EQ(LoadLogFile(l.store, l.settings, folder / "a.gpx"), kLoadDone);
    ASSERT_EQ(LoadLogFile(l.store, l.settings, folder / "b.txt"), kLoadDone);
    ASSERT_EQ(ReadLogFile(l.store, l.settings, folder / "c.dat", "gpx", 1), kLoadDone);
    ASSERT_EQ(ReadLogFile(l.store, l.settings, folder / "c.dat", "ZIP", 0), kLoadDone);
    ASSERT_EQ(l.store.trackCount, 3);
    ASSERT_EQ(l.store.pointCount, 6);  // the registered file is not read
    const std::u16string names[] = {u"20230115_0930_trc001", u"20230116_1045_trc002", u"20230117_0930_trc003"};
    for (int t = 0; t < 3; ++t) {
        EXPECT_EQ(TrackName(l.store, t), names[t]);
        EXPECT_EQ(l.store.tracks[t].fileIndex, t);
        EXPECT_EQ(l.store.tracks[t].lineWidth, 4);
    }
    EXPECT_EQ(l.store.loadKind, kKindGpx);
    ASSERT_EQ(l.store.fileCount, 4);
    EXPECT_EQ(l.store.loadedFiles[0], folder / "a.gpx");
    const uint16_t kinds[] = {0, kKindGpx, kKindGpx, kKindGpx | kKindNotRead};
    for (int f = 0; f < 4; ++f) EXPECT_EQ(l.store.fileKinds[f], kinds[f]) << f;
    for (int i = 0; i < l.store.pointCount; ++i) {
        EXPECT_EQ(l.store.points[i].geoidAltitude, l.store.points[i].altitude);  // no geoid model
    }
}

TEST(LogLoader, FailedLoadsReportAndKeepWhatWasLoaded) {
    ScopedTimeZone tz("UTC");
    ScratchFolder folder;
    WriteFile(folder / "good.gpx", UnnamedGpx("2023-01-15T00:30:00Z", 3));
    WriteFile(folder / "notes.txt", "just some text\nnothing else\n");
    WriteFile(folder / "first-line-only", "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\n");
    Loader l;
    ASSERT_EQ(LoadLogFile(l.store, l.settings, folder / "good.gpx"), kLoadDone);
    MessageCatcher catcher;
    EXPECT_EQ(LoadLogFile(l.store, l.settings, folder / "notes.txt"), kLoadUnknownKind);
    EXPECT_EQ(LoadLogFile(l.store, l.settings, folder / "first-line-only"), kLoadUnknownKind);
    EXPECT_EQ(LoadLogFile(l.store, l.settings, folder / "missing.gpx"), kLoadReaderError);
    EXPECT_TRUE(catcher.Saw((folder / "missing.gpx").string()));
    EXPECT_EQ(LoadLogFile(l.store, l.settings, folder / "missing"), kLoadReaderError);
    EXPECT_EQ(LoadLogFile(l.store, l.settings, folder / "missing.kml"), kLoadReaderError);
    EXPECT_EQ(LoadLogFile(l.store, l.settings, folder.path()), kLoadReaderError);
    EXPECT_EQ(LoadLogFile(l.store, l.settings, folder / "old.q9z"), kLoadReaderError);
    EXPECT_TRUE(catcher.Saw((folder / "old.q9z").string()));
    // The first file is untouched; no failed file is entered.
    EXPECT_EQ(l.store.pointCount, 3);
    EXPECT_EQ(l.store.trackCount, 1);
    EXPECT_EQ(l.store.fileCount, 1);
    EXPECT_EQ(TrackName(l.store, 0), u"20230115_0030_trc001");
    EXPECT_EQ(NamesEndPosition(l.store), 21);
    // The one-track readers say so too, and lose no point.
    EXPECT_EQ(LoadLogFile(l.store, l.settings, folder / "missing.nmea"), kLoadReaderError);
    EXPECT_EQ(ReadLogFile(l.store, l.settings, folder / "missing.txt", "BAD-TXT", 1), kLoadReaderError);
    EXPECT_TRUE(catcher.Saw((folder / "missing.txt").string()));
    EXPECT_EQ(l.store.pointCount, 3);
}

// Every reader stops at the store's capacity (points, tracks or names) with
// the points read so far, in order, in closed tracks, and the user is told.
TEST(LogLoader, EveryReaderStopsAtTheCapacityAndSaysSo) {
    const std::string longName(3000, 'n');
    std::string gpx = "<gpx>", kml = "<kml>", nmea = "\n", mtk,
                csv =
                    "type,date time,latitude,longitude,accuracy(m),altitude(m),geoid_height(m),speed(m/s),"
                    "bearing(deg),sat_used,sat_inview,name,desc\n";
    test::AppendMtkHeader(mtk, 0x6007F);
    for (int t = 0; t < 3; ++t) {
        gpx += "<trk><name>" + longName + "</name><trkseg>";
        kml += "<Placemark><name>" + longName + "</name><LineString><coordinates>";
        for (int i = 0; i < 8; ++i) {
            gpx += "<trkpt lat=\"" + std::to_string(i) + "\" lon=\"1\"/>";
            kml += "1," + std::to_string(i) + " ";
        }
        gpx += "</trkseg></trk>";
        kml += "</coordinates></LineString></Placemark>";
    }
    for (int i = 0; i < 8; ++i) {
        const std::string s = std::to_string(i);
        nmea += test::NmeaSentence("GPRMC,03290" + s + ",A,0" + s + "00.0000,N,00100.0000,E,0.0,0.0,070804,,,A");
        csv += "T,2024-05-01 08:30:0" + s + "," + s + ",1,5,40,36.7,1.5,,,,,\n";
        const test::MtkPosition at{static_cast<double>(i), 1, 10};
        test::AppendMtkRecord(mtk, 0x6007F, i, 0, &at);
    }
    test::PadMtkSector(mtk);
    const int cutName = kTrackNamesCapacity - 3001 - 2;  // the room the first name leaves
    const struct {
        const char* file;
        const std::string& text;
        int32_t points, tracks, keptPoints, keptTracks, lastNameSize;
    } cases[] = {
        {"a.gpx", gpx, 5, 10, 5, 1, 3000},        {"a.gpx", gpx, 1000, 1, 8, 1, 3000},
        {"a.gpx", gpx, 1000, 10, 16, 2, cutName}, {"a.kml", kml, 5, 10, 5, 1, 3000},
        {"a.kml", kml, 1000, 1, 8, 1, 3000},      {"a.kml", kml, 1000, 10, 16, 2, cutName},
        {"a.nmea", nmea, 5, 10, 5, 1, 20},        {"a.bin", mtk, 5, 10, 5, 1, 20},
        {"a.txt", csv, 5, 10, 5, 1, 20},
    };
    ScratchFolder folder;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " " + std::to_string(c.points) + " " + std::to_string(c.tracks));
        WriteFile(folder / c.file, c.text);
        Loader l(c.points, c.tracks);
        MessageCatcher messages;
        EXPECT_EQ(LoadLogFile(l.store, l.settings, folder / c.file), kLoadDone);
        EXPECT_TRUE(messages.Saw("the track store is full"));
        ASSERT_EQ(l.store.pointCount, c.keptPoints);
        EXPECT_EQ(l.store.trackCount, c.keptTracks);
        EXPECT_EQ(PointsInClosedTracks(l.store), c.keptPoints);
        EXPECT_EQ(StoredNameCount(l.store), c.keptTracks);
        EXPECT_DOUBLE_EQ(l.store.points[c.keptPoints - 1].latitude, (c.keptPoints - 1) % 8);
        EXPECT_EQ(TrackName(l.store, c.keptTracks - 1).size(), static_cast<size_t>(c.lastNameSize));
    }
}

// Readers that fill an empty store hand their latitude range to the
// statistics; the figures must be those computed without it, and a second
// file (the range no longer covers the store) must be handled the long way.
TEST(LogLoader, StatisticsAfterALoadAreTheFullRecomputation) {
    TRAKVIO_REQUIRE_SAMPLES();
    const char* files[][2] = {{"mtk", "mtk_logger.bin"}, {"kml", "segmented_tracks.kml"}, {"kml", "google_ext.kml"}};
    TrackStore store;
    ASSERT_EQ(CreateTrackStore(store, 100000, 100), 0);
    Settings settings;
    for (const auto& file : files) {
        SCOPED_TRACE(file[1]);
        ASSERT_EQ(LoadLogFile(store, settings, test::SamplesDir() / file[0] / file[1]), kLoadDone);
        ASSERT_GT(store.pointCount, 0);
        TrackStore again = store;
        RecomputeStatistics(again, 0, nullptr, 1);
        for (int32_t i = 0; i < store.pointCount; ++i) {
            ASSERT_EQ(store.points[i].distance, again.points[i].distance) << i;
            ASSERT_EQ(store.points[i].speed, again.points[i].speed) << i;
        }
        EXPECT_EQ(store.kmPerDegLon, again.kmPerDegLon);
        EXPECT_EQ(store.totalDistanceKm, again.totalDistanceKm);
    }
}

}  // namespace
}  // namespace trakvio
