#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "archive/load_front_end.h"
#include "archive/zip_builder.h"
#include "readers/itm_reader.h"
#include "readers/log_builders.h"
#include "test_support.h"

namespace trakvio {
namespace {

using test::ExecuteSql;
using test::Loader;
using test::MessageCatcher;
using test::ScopedTimeZone;
using test::ScratchFolder;

constexpr uint64_t kFileTimeOf1970 = 116444736000000000u;

// A Windows file time split into the two columns the database keeps.
std::string FileTimeColumns(int64_t unixTime) {
    uint64_t fileTime = kFileTimeOf1970 + static_cast<uint64_t>(unixTime) * 10000000u;
    return std::to_string(fileTime >> 32) + ", " + std::to_string(fileTime & 0xFFFFFFFFu);
}

// An ITM database of `points` waypoints with one GPS-log row each (ids
// 1..points, one second apart from 2023-06-01 00:00:00 UTC) and the given
// lines ("id, 'name', firstId, lastId") and styles ("id, 'Line_N', width,
// bgr"). extraSql runs last.
std::string MakeItm(const std::filesystem::path& path, int points, const std::string& lines, const std::string& styles,
                    int lineCount, const std::string& extraSql = "") {
    std::string sql =
        "create table IT_TGVLib (fObjNo integer, fObjFreeNo integer, fTypeName text);"
        "create table GPSLog (fID integer, fZero integer, fGPSTime1 integer, fGPSTime2 integer, fGPSSpeed real);"
        "create table WP (fID integer, fZero integer, fLongitude real, fLatitude real, fAltitude real);"
        "create table Line (fID integer, fZero integer, fName text, f1stWPID integer, fLstWPID integer);"
        "create table VStyle (fID integer, fZero integer, fName text, fVSWidth integer, fVSFColor integer,"
        " fVSBColor integer, fVSOColor integer);"
        "begin;";
    sql += "insert into IT_TGVLib values (" + std::to_string(points) + ", 0, 'WP'), (" + std::to_string(points) +
           ", 0, 'GPSLog'), (" + std::to_string(lineCount + 3) + ", 3, 'Line'), (9, 0, 'VStyle');";
    for (int i = 1; i <= points; ++i) {
        const std::string id = std::to_string(i);
        sql += "insert into GPSLog values (" + id + ", 0, " + FileTimeColumns(1685577600 + i - 1) + ", " +
               std::to_string(i) + ".5);";
        sql += "insert into WP values (" + id + ", 0, 139." + std::to_string(100 + i) + ", 35." +
               std::to_string(100 + i) + ", " + std::to_string(10 * i) + ");";
    }
    // Deleted rows (fZero 1) are never read.
    sql += "insert into GPSLog values (999, 1, 0, 0, 0); insert into WP values (999, 1, 0, 0, 0);";
    if (!lines.empty()) sql += "insert into Line values " + lines + ";";
    if (!styles.empty()) sql += "insert into VStyle values " + styles + ";";
    sql += "commit;" + extraSql;
    return ExecuteSql(path, sql);
}

std::string MakeGoGoHike(const std::filesystem::path& path, const std::string& rows, int sequence) {
    return ExecuteSql(path,
                      "create table android_metadata (locale text); insert into android_metadata values ('ja_JP');"
                      "create table location (_id integer primary key autoincrement, longitude integer,"
                      " latitude integer, altitude integer, accuracy integer, time integer);"
                      "insert into location (longitude, latitude, altitude, accuracy, time) values " +
                          rows + ";update sqlite_sequence set seq = " + std::to_string(sequence) +
                          " where name = 'location';");
}

TEST(DatabaseReaders, ItmTracksNamesStylesAndTimes) {
    ScopedTimeZone tz("UTC");
    ScratchFolder folder;
    ASSERT_EQ(
        MakeItm(folder / "walk.poi", 30, "(7, 0, '朝の散歩', 1, 10), (8, 0, 'return', 11, 25)",
                "(1, 0, 'Line_8', 5, 255, 0, 0), (2, 0, 'Other', 1, 1, 0, 0), (3, 0, 'Line_7', 2, 1193046, 0, 0)", 2),
        "");
    Loader l;
    // Something loaded before: the database's tracks go behind it.
    AppendPoint(l.store, 1, 2, 3, 0, 100, 1);
    CloseTrack(l.store);
    WriteTrackName(l.store, 0, u"first");
    EnterLoadedFile(l.store, folder / "earlier.gpx", 2);

    ASSERT_EQ(LoadLogFile(l.store, l.settings, folder / "walk.poi"), kLoadDone);
    ASSERT_EQ(l.store.trackCount, 3);
    // Waypoints 26 to 30 lie on no line and are not kept.
    EXPECT_EQ(l.store.pointCount, 26);
    EXPECT_EQ(StoredNameCount(l.store), 3);
    // Widths and colours from the styles (BGR 0x123456 is RGB 0x563412), not
    // the defaults.
    const struct {
        int32_t end;
        std::u16string name;
        int width;
        uint32_t colour;
    } tracks[] = {{10, u"朝の散歩", 2, 0x563412u}, {25, u"return", 5, 0xFF0000u}};
    for (int t = 1; t <= 2; ++t) {
        EXPECT_EQ(l.store.trackEnd[t], tracks[t - 1].end);
        EXPECT_EQ(TrackName(l.store, t), tracks[t - 1].name);
        EXPECT_EQ(l.store.tracks[t].lineWidth, tracks[t - 1].width);
        EXPECT_EQ(l.store.tracks[t].color, tracks[t - 1].colour);
        EXPECT_EQ(l.store.tracks[t].fileIndex, 1);
    }
    const auto points = test::PointTexts(l.store);
    EXPECT_EQ(points[1], "35.101,139.101 10m 1.5km/h 2023-06-01T00:00:00");
    EXPECT_EQ(points[25], "35.125,139.125 250m 25.5km/h 2023-06-01T00:00:24");
    EXPECT_STREQ(l.store.tracks[2].startText, "2023-06-01 00:00:10");
    EXPECT_EQ(l.store.loadKind, kKindItm);

    int64_t fileTime = 0;
    EXPECT_EQ(ItmFirstFixTime(l.settings.sqlite, folder / "walk.poi", fileTime), 0);
    EXPECT_EQ(fileTime, static_cast<int64_t>(kFileTimeOf1970 + 1685577600ull * 10000000u));
    EXPECT_EQ(ItmFirstFixTime(l.settings.sqlite, folder / "none.poi", fileTime), 2);
    ASSERT_EQ(MakeItm(folder / "empty.poi", 0, "", "", 0), "");
    EXPECT_EQ(ItmFirstFixTime(l.settings.sqlite, folder / "empty.poi", fileTime), 6);
    ASSERT_EQ(ExecuteSql(folder / "other.db", "create table t (x);"), "");
    EXPECT_EQ(ItmFirstFixTime(l.settings.sqlite, folder / "other.db", fileTime), 4);
}

// Every inconsistency is an error result that leaves the store as it was:
// points, tracks and names.
TEST(DatabaseReaders, ItmErrorsLeaveTheStoreAlone) {
    ScratchFolder folder;
    const std::string twoLines = "(1, 0, 'a', 1, 10), (2, 0, 'b', 11, 20)";
    const std::string twoStyles = "(1, 0, 'Line_1', 3, 0, 0, 0), (2, 0, 'Line_2', 3, 0, 0, 0)";
    struct Case {
        const char* name;
        std::string lines, styles, extra;
        int lineCount;
        uint32_t result;
    } cases[] = {
        {"count.poi", twoLines, twoStyles, "update IT_TGVLib set fObjNo = 21 where fTypeName = 'GPSLog';", 2,
         kItmGpsCount},
        {"wpcount.poi", twoLines, twoStyles, "update IT_TGVLib set fObjFreeNo = 1 where fTypeName = 'WP';", 2,
         kItmWpCount},
        {"nostyle.poi", twoLines, "(1, 0, 'Line_1', 3, 0, 0, 0)", "", 2, kItmLinesDiffer},
        // Ids beyond the highest waypoint id would index outside the table.
        {"lineid.poi", "(1, 0, 'a', 1, 9999)", "(1, 0, 'Line_1', 3, 0, 0, 0)", "", 1, kItmLineEnd},
        {"gpsid.poi", twoLines, twoStyles, "update GPSLog set fID = 2147483647 where fID = 3;", 2, kItmGpsId},
        {"negative.poi", twoLines, twoStyles, "update IT_TGVLib set fObjNo = -5 where fTypeName = 'WP';", 2,
         kItmTypeRange},
        {"huge.poi", twoLines, twoStyles, "update IT_TGVLib set fObjNo = 9000000000 where fTypeName = 'WP';", 2,
         kItmTypeRange},
        {"rows.poi", twoLines, twoStyles,
         "insert into WP values (50, 0, 1, 1, 1); update IT_TGVLib set fObjFreeNo = -1 where fTypeName = 'WP';", 2,
         kItmRowsDiffer},
        {"notable.poi", twoLines, twoStyles, "drop table VStyle;", 2, kItmStyleQuery + 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(MakeItm(folder / c.name, 20, c.lines, c.styles, c.lineCount, c.extra), "");
        Loader l;
        AppendPoint(l.store, 1, 2, 3, 0, 100, 1);
        CloseTrack(l.store);
        WriteTrackName(l.store, 0, u"first");
        LoadSqliteLibrary(l.settings.sqlite);
        EXPECT_EQ(ReadItm(l.settings.sqlite, l.store, folder / c.name, NamesEndPosition(l.store)), c.result);
        EXPECT_EQ(l.store.pointCount, 1);
        EXPECT_EQ(l.store.trackCount, 1);
        EXPECT_EQ(StoredNameCount(l.store), 1);
    }

    // Through the loader: the error is shown once, Cancel silences the next
    // ones, and nothing is entered.
    Loader l;
    MessageCatcher cancel(kAnswerCancel);
    const auto path = folder / "count.poi";
    EXPECT_EQ(LoadLogFile(l.store, l.settings, path), kLoadReaderError);
    ASSERT_EQ(cancel.messages().size(), 1u);
    EXPECT_EQ(cancel.messages()[0].title, "read_poi Error");
    EXPECT_EQ(cancel.messages()[0].text,
              "read_poi Error 240000: the GPS log rows differ in number from the type table\n" + path.string() + "\n");
    EXPECT_EQ(l.settings.showReadErrors, 0);
    EXPECT_EQ(LoadLogFile(l.store, l.settings, path), kLoadReaderError);
    EXPECT_EQ(cancel.messages().size(), 1u);
    EXPECT_EQ(l.store.fileCount, 0);
    EXPECT_EQ(l.store.pointCount, 0);

    // A store too small for the database: read up to the capacity, with the
    // lines that end within it, and the cut is told.
    Loader full(12, 5);
    MessageCatcher warned;
    EXPECT_EQ(LoadLogFile(full.store, full.settings, folder / "nostyle.poi"), kLoadDone);
    EXPECT_EQ(full.store.pointCount, 10);
    EXPECT_EQ(full.store.trackCount, 1);
    EXPECT_TRUE(warned.Saw("the track store is full"));
}

TEST(DatabaseReaders, GoGoHikeOneTrack) {
    ScopedTimeZone tz("Asia/Tokyo");
    ScratchFolder folder;
    ASSERT_EQ(MakeGoGoHike(folder / "hike.ggh",
                           "(139700000, 35600000, 12, 5, 1700000000999), (139700100, 35600100, 13, 5, 1700000005000),"
                           " (-122419400, 37774900, -3, 5, 1700000010500)",
                           3),
              "");
    Loader l;
    ASSERT_EQ(LoadLogFile(l.store, l.settings, folder / "hike.ggh"), kLoadDone);
    ASSERT_EQ(l.store.trackCount, 1);
    // Milliseconds cut toward zero.
    EXPECT_EQ(test::PointTexts(l.store), (std::vector<std::string>{"35.6,139.7 12m 0km/h 2023-11-14T22:13:20",
                                                                   "35.6001,139.7001 13m 0km/h 2023-11-14T22:13:25",
                                                                   "37.7749,-122.4194 -3m 0km/h 2023-11-14T22:13:30"}));
    EXPECT_EQ(TrackName(l.store, 0), u"20231115_0713_trc001");
    EXPECT_EQ(l.store.tracks[0].lineWidth, l.store.tracklinewidthdefault);

    // A sequence that does not match the rows (the points read do not stay
    // behind without a track), no GoGoHike tables, not a database at all
    // (SQLITE_NOTADB when the first query runs): an error, and the store as
    // it was.
    MessageCatcher ok;
    ASSERT_EQ(MakeGoGoHike(folder / "short.ggh", "(1, 2, 3, 4, 5000)", 4), "");
    ASSERT_EQ(ExecuteSql(folder / "plain.ggh", "create table t (x);"), "");
    test::WriteFile(folder / "text.ggh", "hello, this is not SQLite at all\n");
    for (const char* file : {"short.ggh", "plain.ggh", "text.ggh"}) {
        SCOPED_TRACE(file);
        EXPECT_EQ(LoadLogFile(l.store, l.settings, folder / file), kLoadReaderError);
        EXPECT_EQ(l.store.pointCount, 3);
        EXPECT_EQ(l.store.trackCount, 1);
        EXPECT_EQ(l.store.fileCount, 1);
    }
    EXPECT_TRUE(ok.Saw("read_ggh Error 340000: the location rows differ in number from the sequence table\n"));
    EXPECT_TRUE(
        ok.Saw("read_ggh Error 110001: the metadata or sequence table cannot be queried (is it a GoGoHike "
               "database?), SQLite result 1\n"));
    EXPECT_TRUE(ok.Saw("read_ggh Error 11001a: the metadata or sequence table cannot be queried"));
    EXPECT_EQ(l.settings.showReadErrors, 1);

    // More rows than the store holds: read up to the capacity, with the
    // warning the other readers give.
    Loader small(2, 5);
    MessageCatcher warned;
    EXPECT_EQ(LoadLogFile(small.store, small.settings, folder / "hike.ggh"), kLoadDone);
    EXPECT_EQ(small.store.pointCount, 2);
    EXPECT_EQ(small.store.trackCount, 1);
    EXPECT_TRUE(warned.Saw("the track store is full"));
}

// An ITM package: its ituser.poi is named after the database's first fix and
// read with its tracks.
TEST(DatabaseReaders, ItmPackageReadsItsDatabase) {
    ScopedTimeZone tz("UTC");
    ScratchFolder folder;
    ASSERT_EQ(MakeItm(folder / "db", 12, "(1, 0, 'walk', 1, 12)", "(1, 0, 'Line_1', 4, 255, 0, 0)", 1), "");
    ASSERT_TRUE(test::BuildZip(folder / "pack.itm", {{"ituser.poi", test::ReadFile(folder / "db")}}));
    Loader l;
    l.settings.workFolder = folder / "work";
    std::filesystem::create_directories(l.settings.workFolder);
    ASSERT_EQ(LoadLogFile(l.store, l.settings, folder / "pack.itm"), kLoadDone);
    ASSERT_EQ(l.store.fileCount, 1);
    EXPECT_EQ(l.store.loadedFiles[0].filename(), "20230601_000000_ituser.poi");
    EXPECT_EQ(l.store.trackCount, 1);
    EXPECT_EQ(l.store.pointCount, 12);
    EXPECT_EQ(TrackName(l.store, 0), u"walk");
    EXPECT_EQ(l.store.tracks[0].color, 0xFF0000u);
}

TEST(DatabaseReaders, MissingSqliteLibraryAsksAndGivesUp) {
    ScratchFolder folder;
    ASSERT_EQ(MakeGoGoHike(folder / "hike.ggh", "(1, 2, 3, 4, 5000)", 1), "");
    Loader l;
    l.settings.sqlite.libraryName = "libtrakvio-no-such-sqlite.so";
    MessageCatcher headless;  // the default answer: Cancel
    EXPECT_EQ(LoadLogFile(l.store, l.settings, folder / "hike.ggh"), kLoadSqliteMissing);
    ASSERT_EQ(headless.messages().size(), 1u);
    EXPECT_EQ(headless.messages()[0].title, "read_wp");
    EXPECT_EQ(headless.messages()[0].buttons, MessageButtons::kRetryCancel);
    EXPECT_TRUE(headless.Saw("\"sqlite3.dll\" が必要です。"));
    EXPECT_EQ(l.store.fileCount, 0);
    EXPECT_EQ(l.store.pointCount, 0);
    // The readers themselves refuse without the binding.
    EXPECT_EQ(ReadGoGoHike(l.settings.sqlite, l.store, folder / "hike.ggh"), 0x10000u);
    int64_t fileTime;
    EXPECT_EQ(ItmFirstFixTime(l.settings.sqlite, folder / "hike.ggh", fileTime), 1);
    // The other kinds load as before.
    test::WriteFile(folder / "a.gpx", "<gpx><trk><trkseg><trkpt lat=\"1\" lon=\"2\"/></trkseg></trk></gpx>");
    EXPECT_EQ(LoadLogFile(l.store, l.settings, folder / "a.gpx"), kLoadDone);
}

TEST(DatabaseReadersOutputWellFormed, PositionsOffTheGlobeAreSkipped) {
    ScopedTimeZone tz("UTC");
    ScratchFolder folder;
    ASSERT_EQ(MakeItm(folder / "far.poi", 10, "(7, 0, 'a', 1, 4), (8, 0, 'b', 5, 8)",
                      "(1, 0, 'Line_7', 2, 255, 0, 0), (2, 0, 'Line_8', 2, 255, 0, 0)", 2,
                      "update WP set fLatitude = 95.5 where fID = 2;"
                      "update WP set fLongitude = 1e999 where fID = 3;"
                      "update WP set fAltitude = -1e999 where fID = 6;"
                      "update GPSLog set fGPSSpeed = 1e999 where fID = 7;"),
              "");
    Loader l;
    ASSERT_EQ(LoadLogFile(l.store, l.settings, folder / "far.poi"), kLoadDone);
    ASSERT_EQ(l.store.trackCount, 2);
    EXPECT_EQ(l.store.pointCount, 6);
    EXPECT_EQ(l.store.trackEnd[0], 1);  // waypoints 1 and 4
    EXPECT_EQ(l.store.trackEnd[1], 5);  // waypoints 5 to 8
    EXPECT_EQ(l.store.points[3].altitude, 0.0f);
    EXPECT_EQ(l.store.points[4].loggedSpeed, 0.0f);
    for (int32_t i = 0; i < l.store.pointCount; ++i) {
        EXPECT_TRUE(IsPlaceablePosition(l.store.points[i].latitude, l.store.points[i].longitude)) << i;
    }

    ASSERT_EQ(MakeGoGoHike(folder / "far.ggh",
                           "(139000000, 35000000, 5, 3, 1700000000000), (139000000, 95500000, 5, 3, 1700000001000),"
                           "(-999000000, 35000100, 5, 3, 1700000001000), (139000000, 35000100, 5, 3, 1700000002000)",
                           4),
              "");
    Loader g;
    ASSERT_EQ(LoadLogFile(g.store, g.settings, folder / "far.ggh"), kLoadDone);
    EXPECT_EQ(g.store.pointCount, 2);
}

// Resource limits: a claimed highest waypoint id takes no memory of its own;
// only the rows read do. Measured in a child process, as the growth of its
// peak resident size.
TEST(DatabaseReadersResourceLimits, AClaimedHighestIdAllocatesNothing) {
    ScratchFolder folder;
    ASSERT_EQ(MakeItm(folder / "claims.poi", 20, "(1, 0, 'a', 1, 10)", "(1, 0, 'Line_1', 3, 0, 0, 0)", 1,
                      "update IT_TGVLib set fObjNo = 67108863, fObjFreeNo = 67108843 where fTypeName = 'WP';"
                      "update IT_TGVLib set fObjNo = 67108863, fObjFreeNo = 67108843 where fTypeName = 'GPSLog';"),
              "");
    Loader l;
    LoadSqliteLibrary(l.settings.sqlite);
    ASSERT_TRUE(l.settings.sqlite.loaded);
    std::fflush(nullptr);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        struct rusage before {
        }, after{};
        ::getrusage(RUSAGE_SELF, &before);
        const uint32_t result = ReadItm(l.settings.sqlite, l.store, folder / "claims.poi", 0);
        ::getrusage(RUSAGE_SELF, &after);
        const long grownKb = after.ru_maxrss - before.ru_maxrss;
        ::_exit(result != 0 ? 2 : grownKb > 64 * 1024 ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: more than 64 MB grew, 2: the read failed";
}

}  // namespace
}  // namespace trakvio
