// Track archives end to end: save a set and open it again, open behind loaded
// logs, plain zips, KMZ naming, ITM packages, hostile
// entries and the messages of an archive with nothing to load.
#include "archive/track_archive.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "archive/archive_fixtures.h"
#include "archive/zip_builder.h"
#include "archive/zip_files.h"
#include "readers/log_builders.h"

namespace trakvio {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::ScratchFolder;
using test::WriteFile;

std::vector<std::string> LoadedNames(const TrackStore& store) {
    std::vector<std::string> names;
    for (int f = 0; f < store.fileCount; ++f) names.push_back(store.loadedFiles[f].filename().string());
    return names;
}

// The saved set of BuildEditedSet as base/set.q9z; the store and settings it
// came from stay in the caller's hands.
void SaveEditedSet(const fs::path& base, TrackStore& store, Settings& settings) {
    fs::create_directories(base / "logs");
    ASSERT_TRUE(test::BuildEditedSet(store, settings, base / "logs"));
    ASSERT_EQ(SaveArchive(store, settings, base / "set.q9z"), 0);
}

TEST(TrackArchive, SavedSetOpensIntoAnEmptyStoreAsItWas) {
    test::ScopedTimeZone tz("UTC");
    ScratchFolder scratch;
    Settings settings = test::ArchiveSettings(scratch / "first");
    TrackStore saved;
    SaveEditedSet(scratch.path(), saved, settings);

    // Two logs and the property file, named after the archive, read by a peer tool too.
    std::string listing;
    ASSERT_EQ(test::RunCommand("unzip -Z1 '" + (scratch / "set.q9z").string() + "'", &listing), 0);
    EXPECT_EQ(listing, "a.gpx\nb.gpx\nset.q9t\n");
    const std::string property =
        "<fr>a.gpx\n<fr>b.gpx\n"
        "<tp>1,.,5<tw>1,7<tc>1,123456<tt>1,\"Walk\"\n"
        "<tp>2,.,15<tw>2,3<tc>2,FF0000<tt>2,\"Walk, part 2 <東京>\"\n"
        "<tp>3,.,21<tw>3,3<tc>3,ABCDEF<tt>3,\"Ride\"\n"
        "<pd>3,10-12\n";
    EXPECT_EQ(test::ZipEntryContent(scratch / "set.q9z", "set.q9t"), property);
    EXPECT_EQ(ReadFile(settings.workFolder / "set.q9t"), property);

    Settings other = test::ArchiveSettings(scratch / "second");
    TrackStore opened;
    ASSERT_EQ(CreateTrackStore(opened, 1000, 20), 0);
    ASSERT_EQ(OpenArchive(opened, other, scratch / "set.q9z"), kArchiveOpened);
    EXPECT_EQ(LoadedNames(opened), (std::vector<std::string>{"a.gpx", "b.gpx"}));
    EXPECT_EQ(opened.loadedFiles[0], other.workFolder / "q9zdir" / "a.gpx");
    EXPECT_EQ(opened.fileKinds, saved.fileKinds);
    EXPECT_EQ(test::StoreSummary(opened), test::StoreSummary(saved));
    for (int t = 0; t < saved.trackCount; ++t)
        EXPECT_DOUBLE_EQ(opened.tracks[t].distanceKm, saved.tracks[t].distanceKm);
    // Saved again, the opened set writes the same property file: the same
    // track ends, widths, colours, names and deleted runs.
    ASSERT_EQ(SaveArchive(opened, other, scratch / "again.q9z"), 0);
    EXPECT_EQ(test::ZipEntryContent(scratch / "again.q9z", "again.q9t"), property);

    // Nothing to save: no archive.
    TrackStore empty;
    ASSERT_EQ(CreateTrackStore(empty, 10, 2), 0);
    EXPECT_EQ(SaveArchive(empty, other, scratch / "none.q9z"), 0);
    EXPECT_EQ(SaveArchive(opened, other, fs::path()), 0);
    EXPECT_FALSE(fs::exists(scratch / "none.q9z"));
    // A work folder not made yet is made; one that cannot be made leaves the
    // archive without its property file.
    other.workFolder = scratch / "new" / "work";
    ASSERT_EQ(SaveArchive(opened, other, scratch / "fresh.q9z"), 0);
    EXPECT_EQ(test::ZipEntryNames(scratch / "fresh.q9z"), (std::vector<std::string>{"a.gpx", "b.gpx", "fresh.q9t"}));
    WriteFile(scratch / "plain", "");
    other.workFolder = scratch / "plain";
    EXPECT_EQ(SaveArchive(opened, other, scratch / "bare.q9z"), -1);
    EXPECT_EQ(test::ZipEntryNames(scratch / "bare.q9z"), (std::vector<std::string>{"a.gpx", "b.gpx"}));
}

TEST(TrackArchive, OpenedBehindLoadedLogsItAppendsAndKeepsTheFolder) {
    test::ScopedTimeZone tz("UTC");
    test::ArchiveScene scene;
    auto& [scratch, settings, store] = scene;
    TrackStore saved;
    SaveEditedSet(scratch.path(), saved, settings);

    WriteFile(scratch / "c.gpx", test::GpxTrack(4, 33.0, test::kSetStart - 86400, "Earlier"));
    const fs::path stray = settings.workFolder / "q9zdir" / "stray.txt";
    fs::create_directories(stray.parent_path());
    WriteFile(stray, "left from before");
    ASSERT_EQ(LoadLogFile(store, settings, scratch / "c.gpx"), 0);
    ASSERT_EQ(LoadLogFile(store, settings, scratch / "set.q9z"), kLoadDone);
    EXPECT_TRUE(fs::exists(stray));
    // The set's tracks, points and files counted on behind the loaded ones.
    EXPECT_EQ(test::StoreSummary(store),
              "3 w3 FF0000 f0 Earlier\n8 w7 123456 f1 Walk\n18 w3 FF0000 f1 Walk, part 2 <東京>\n24 w3 ABCDEF f2 Ride\n"
              "1111110111111000111111111");
    EXPECT_EQ(LoadedNames(store), (std::vector<std::string>{"c.gpx", "a.gpx", "b.gpx"}));

    // With nothing loaded the folder's files go first (not its subfolders).
    fs::create_directory(stray.parent_path() / "keep");
    ClearTrackStore(store);
    ASSERT_EQ(OpenArchive(store, settings, scratch / "set.q9z"), kArchiveOpened);
    EXPECT_EQ(store.trackCount, 3);
    EXPECT_FALSE(fs::exists(stray));
    EXPECT_TRUE(fs::is_directory(stray.parent_path() / "keep"));
}

TEST(TrackArchive, NamesTheFormatCannotCarryComeBackReplacedNotLost) {
    test::ScopedTimeZone tz("UTC");
    test::ArchiveScene scene;
    auto& [scratch, settings, store] = scene;
    const fs::path odd = scratch / "say \"hi\", <go>.gpx";
    WriteFile(odd, test::GpxTrack(5, 35.0, test::kSetStart, "a \"b\""));
    ASSERT_EQ(LoadLogFile(store, settings, odd), 0);
    store.points[4].enabled = 0;
    ASSERT_EQ(SaveArchive(store, settings, scratch / "odd.q9z"), 0);

    TrackStore opened;
    ASSERT_EQ(CreateTrackStore(opened, 100, 5), 0);
    ASSERT_EQ(OpenArchive(opened, settings, scratch / "odd.q9z"), kArchiveOpened);
    EXPECT_EQ(LoadedNames(opened), (std::vector<std::string>{"say \xEF\xBC\x82hi\xEF\xBC\x82, <go>.gpx"}));
    ASSERT_EQ(opened.trackCount, 1);
    EXPECT_EQ(TrackName(opened, 0), u"a ＂b＂");
    EXPECT_EQ(opened.points[4].enabled, 0);
}

const char* kKml = R"(<?xml version="1.0" encoding="UTF-8"?>
<kml xmlns="http://www.opengis.net/kml/2.2"><Document><Placemark><name>k</name>
<LineString><coordinates>139.1,35.1,10 139.2,35.2,20</coordinates></LineString></Placemark></Document></kml>
)";

TEST(TrackArchive, PlainZipsAndKmz) {
    test::ScopedTimeZone tz("Asia/Tokyo");
    test::ArchiveScene scene;
    auto& [scratch, settings, store] = scene;
    const std::string gpx = test::GpxTrack(3, 35.0, test::kSetStart, "");
    ScratchFolder inner;
    ASSERT_TRUE(test::BuildZip(inner / "inner.zip", {{"deep.gpx", gpx}}));
    const std::string innerZip = ReadFile(inner / "inner.zip");

    // A zip of logs: top-level files only, never an archive inside it, and
    // the zip itself enters the list behind its members.
    ASSERT_TRUE(test::BuildZip(scratch / "logs.zip", {{"top.gpx", gpx},
                                                      {"dir/", ""},
                                                      {"dir/inner.gpx", gpx},
                                                      {"nested.zip", innerZip},
                                                      {"nested.dat", innerZip},
                                                      {"notes.txt", "not a log"}}));
    test::MessageCatcher messages;
    ASSERT_EQ(LoadLogFile(store, settings, scratch / "logs.zip"), 0);
    EXPECT_EQ(LoadedNames(store), (std::vector<std::string>{"top.gpx", "logs.zip"}));
    EXPECT_EQ(store.fileKinds[1], kKindArchive);
    EXPECT_EQ(store.trackCount, 1);
    EXPECT_TRUE(messages.messages().empty());

    // A KMZ: doc.kml takes the entry's local date and time, a dated name stays.
    const time_t when = 1683356890;  // 2023-05-06 07:08:10 UTC = 16:08:10 in Tokyo
    ASSERT_TRUE(test::BuildZip(
        scratch / "map.kmz", {{"doc.kml", kKml, when}, {"20230101_walk.kml", kKml, when}, {"files/icon.png", "png"}}));
    ClearTrackStore(store);
    ASSERT_EQ(LoadLogFile(store, settings, scratch / "map.kmz"), 0);
    EXPECT_EQ(LoadedNames(store), (std::vector<std::string>{"20230506_160810_doc.kml", "20230101_walk.kml"}));
    EXPECT_EQ(store.trackCount, 2);
    EXPECT_TRUE(fs::exists(settings.workFolder / "q9zdir" / "20230506_160810_doc.kml"));
}

// An MTK logger dump of n records from firstTime on, one sector long.
std::string MtkDump(uint32_t firstTime, int n) {
    constexpr uint32_t kFormat = 0x1F;  // time, valid, latitude, longitude, height
    std::string dump;
    test::AppendMtkHeader(dump, kFormat);
    for (int i = 0; i < n; ++i) test::AppendMtkRecord(dump, kFormat, i, 0, nullptr, firstTime);
    test::PadMtkSector(dump);
    return dump;
}

TEST(TrackArchive, ItmPackagesTakeTheLatestBinAndFollowTheSwitches) {
    test::ScopedTimeZone tz("UTC");
    ScratchFolder scratch;
    const time_t when = 1683356890;  // 2023-05-06 07:08:10 UTC
    ASSERT_TRUE(test::BuildZip(scratch / "pack.itm", {{"a.bin", MtkDump(1600000000, 3)},
                                                      {"b.bin", MtkDump(1700000000, 5)},
                                                      {"c.bin", MtkDump(1650000000, 4)},
                                                      {"ITUSER.POI", "SQLite format 3", when}}));
    struct Case {
        int readPoi, keepBoth;
        std::vector<std::string> names;
        std::vector<uint16_t> kinds;
        int points;
    };
    const std::string poi = "20230506_070810_ituser.poi";
    const Case cases[] = {
        {0, 0, {"b.bin"}, {0}, 5},
        {0, 1, {poi, "b.bin"}, {kKindNotRead, 0}, 5},
        {1, 1, {"b.bin"}, {kKindNotRead}, 0},  // this .poi is no real database: it is not entered
        {1, 0, {}, {}, 0},
    };
    for (const Case& c : cases) {
        test::ArchiveScene scene;
        auto& [base, settings, store] = scene;
        settings.itmReadPoi = c.readPoi;
        settings.itmKeepBoth = c.keepBoth;
        test::MessageCatcher messages;
        // The .poi, when read, fails: the open reports a failed member.
        ASSERT_EQ(LoadLogFile(store, settings, scratch / "pack.itm"), c.readPoi == 1 ? kLoadReaderError : kLoadDone);
        SCOPED_TRACE("readPoi " + std::to_string(c.readPoi) + " keepBoth " + std::to_string(c.keepBoth));
        EXPECT_EQ(LoadedNames(store), c.names);
        EXPECT_EQ(store.fileKinds, c.kinds);
        EXPECT_EQ(store.pointCount, c.points);
        EXPECT_EQ(fs::exists(settings.workFolder / "q9zdir" / poi), c.readPoi == 1 || c.keepBoth == 1);
        // Several .bin files are noted in the error log when a .bin is wanted.
        const bool wantsBin = c.keepBoth == 1 || c.readPoi == 0;
        EXPECT_EQ(ReadFile(ArchiveErrorLogPath(settings)),
                  wantsBin ? "ITM multi-bin error " + (scratch / "pack.itm").string() + " (3)\n" : "");
    }

    // No .bin has a time: the last one stays chosen.
    ASSERT_TRUE(test::BuildZip(scratch / "blank.itm",
                               {{"x.bin", std::string(600, '\xFF')}, {"y.bin", std::string(600, '\xFF')}}));
    test::ArchiveScene blank;
    blank.settings.itmReadPoi = 0;
    ASSERT_EQ(OpenArchive(blank.store, blank.settings, scratch / "blank.itm"), 0);
    EXPECT_EQ(LoadedNames(blank.store), (std::vector<std::string>{"y.bin"}));
}

TEST(TrackArchive, FailuresAndArchivesWithNothingToLoad) {
    test::ArchiveScene scene;
    auto& [scratch, settings, store] = scene;
    ASSERT_TRUE(test::BuildZip(scratch / "notes.zip", {{"notes.txt", "nothing"}, {"dir/a.gpx", "x"}}));
    {
        test::MessageCatcher cancel(kAnswerCancel);
        EXPECT_EQ(OpenArchive(store, settings, scratch / "notes.zip"), kArchiveIncomplete);
        ASSERT_EQ(cancel.messages().size(), 1u);
        EXPECT_EQ(cancel.messages()[0].text,
                  "アーカイブ \"" + (scratch / "notes.zip").string() + "\" に対象ファイルがありません\n");
        EXPECT_EQ(cancel.messages()[0].title, "read_q9z Error");
        EXPECT_EQ(cancel.messages()[0].buttons, MessageButtons::kOkCancel);
        EXPECT_EQ(settings.showArchiveErrors, 0);
        EXPECT_EQ(OpenArchive(store, settings, scratch / "notes.zip"), kArchiveIncomplete);
        EXPECT_EQ(cancel.messages().size(), 1u);  // silenced
    }
    settings.showArchiveErrors = 1;
    test::MessageCatcher messages;
    WriteFile(scratch / "fake.q9z", "not a zip");
    EXPECT_EQ(OpenArchive(store, settings, scratch / "fake.q9z"), kArchiveCannotOpen);
    EXPECT_EQ(OpenArchive(store, settings, scratch / "missing.q9z"), kArchiveCannotOpen);
    EXPECT_TRUE(messages.messages().empty());
    Settings noFolder;
    EXPECT_EQ(OpenArchive(store, noFolder, scratch / "notes.zip"), kArchiveNoFolder);
    WriteFile(scratch / "file", "");
    noFolder.workFolder = scratch / "file";  // a file where the folder should be
    EXPECT_EQ(OpenArchive(store, noFolder, scratch / "notes.zip"), kArchiveNoFolder);
    // Hostile entries are logged and reported (the open failed); the good one
    // still loads.
    ASSERT_TRUE(test::BuildZip(scratch / "bad.zip", {{"../evil.gpx", test::GpxTrack(3, 35, test::kSetStart, "")},
                                                     {"good.gpx", test::GpxTrack(3, 35, test::kSetStart, "")}}));
    ASSERT_EQ(OpenArchive(store, settings, scratch / "bad.zip"), kArchiveIncomplete);
    EXPECT_EQ(LoadedNames(store), (std::vector<std::string>{"good.gpx"}));
    EXPECT_FALSE(fs::exists(settings.workFolder / "evil.gpx"));
    EXPECT_EQ(ReadFile(ArchiveErrorLogPath(settings)),
              "read_q9z skipped entry ../evil.gpx (has a name that is not a plain file name) in " +
                  (scratch / "bad.zip").string() + "\n");
    ASSERT_EQ(messages.messages().size(), 1u);
    EXPECT_TRUE(messages.Saw("../evil.gpx: has a name that is not a plain file name"));

    // Through the front end each failed open is a file that could not be read,
    // never an archive code: 1 would read as "an output could not be written".
    ClearTrackStore(store);
    test::MessageCatcher frontEnd;
    EXPECT_EQ(LoadLogFile(store, noFolder, scratch / "fake.q9z"), kLoadReaderError);
    EXPECT_EQ(LoadLogFile(store, noFolder, scratch / "notes.zip"), kLoadReaderError);
    EXPECT_TRUE(frontEnd.messages().empty());
    EXPECT_EQ(LoadLogFile(store, settings, scratch / "fake.q9z"), kLoadReaderError);
    ASSERT_EQ(frontEnd.messages().size(), 1u);
    EXPECT_EQ(frontEnd.messages()[0].text, "Cannot open the file.\n" + (scratch / "fake.q9z").string());
}

}  // namespace
}  // namespace trakvio
