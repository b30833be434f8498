// Track property file: the text written for a store, the tokenizer, and the
// replay of records over freshly loaded files, hostile records included.
#include "archive/property_file.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "archive/archive_fixtures.h"
#include "readers/log_loader.h"
#include "test_support.h"

namespace trakvio {
namespace {

namespace fs = std::filesystem;
using test::ScratchFolder;

// Closes a track of n points named name, from file fileCount.
void AddTrack(TrackStore& store, int n, std::u16string_view name) {
    for (int i = 0; i < n; ++i) AppendPoint(store, 35 + 0.001 * i, 139, 0, 0, 1000 + i, 1);
    CloseTrack(store);
    WriteTrackName(store, NamesEndPosition(store), name);
}

TEST(PropertyFile, TextListsFilesThenTracksThenDeletedRuns) {
    TrackStore store;
    ASSERT_EQ(CreateTrackStore(store, 100, 10), 0);
    AddTrack(store, 5, u"first");
    AddTrack(store, 10, u"sec,ond <x>");
    EnterLoadedFile(store, "/logs/a.gpx", 0);
    AddTrack(store, 5, u"say \"hi\" 東京");
    EnterLoadedFile(store, "/logs/b,1.log", kKindNmea);
    EnterLoadedFile(store, "/logs/c.bin", kKindMtkBinary | kKindNotRead);
    EnterLoadedFile(store, "/logs/d.dat", 9);
    const uint32_t colors[] = {0xFF0000, 0x00FF00, 0x0000FF};
    for (int t = 0; t < 3; ++t) {
        store.tracks[t].lineWidth = 3 + t;
        store.tracks[t].color = colors[t];
    }
    for (int i : {2, 9, 10, 11, 18, 19}) store.points[i].enabled = 0;
    EXPECT_EQ(PropertyFileText(store),
              "<fr>a.gpx\n"
              "<fr>\"b,1.log\",NMEA\n"
              "<fi>c.bin,MTK-BIN\n"
              "<fr>d.dat\n"
              "<tp>1,.,5<tw>1,3<tc>1,FF0000<tt>1,\"first\"\n"
              "<tp>2,.,15<tw>2,4<tc>2,00FF00<tt>2,\"sec,ond <x>\"\n"
              "<tp>3,.,20<tw>3,5<tc>3,0000FF<tt>3,\"say \xEF\xBC\x82hi\xEF\xBC\x82 東京\"\n"
              "<pd>3,10-12,19-20\n");

    // A lone deleted last point; no deleted point gives no line at all.
    for (int i = 0; i < 20; ++i) store.points[i].enabled = i == 19 ? 0 : 1;
    EXPECT_TRUE(PropertyFileText(store).ends_with("\"\n<pd>20\n"));
    store.points[19].enabled = 1;
    EXPECT_EQ(PropertyFileText(store).find("<pd>"), std::string::npos);

    // The kinds the replay can force are written under the names it reads.
    for (int kind : {kKindGpx, kKindNmea, kKindKml, kKindCsvText, kKindMtkBinary}) {
        EXPECT_EQ(KindFromForcedName(PropertyKindSuffix(static_cast<uint16_t>(kind | kKindNotRead)).substr(1)), kind);
    }

    ScratchFolder scratch;
    ASSERT_EQ(WritePropertyFile(store, scratch / "set.q9t"), 0);
    EXPECT_EQ(test::ReadFile(scratch / "set.q9t"), PropertyFileText(store));
    EXPECT_EQ(WritePropertyFile(store, scratch / "no" / "set.q9t"), -1);
}

TEST(PropertyFile, TokensEndAtDelimitersAndQuotesJoinRuns) {
    const std::string text = "<tt>1,\"a,b<c>\"d\r\n<x\"\"y>,,\n";
    size_t pos = 0;
    std::string token;
    char delimiter = 0;
    std::string seen;
    while (NextPropertyToken(text, pos, token, delimiter)) seen += "[" + token + "]" + (delimiter ? delimiter : '$');
    EXPECT_EQ(seen, "[]<[tt]>[1],[a,b<c>d]<[xy]>[],[],[]$");

    // A quote without a partner ends the text for good.
    const std::string open = "a,\"bc,d<e";
    pos = 0;
    ASSERT_TRUE(NextPropertyToken(open, pos, token, delimiter));
    EXPECT_EQ(token, "a");
    EXPECT_FALSE(NextPropertyToken(open, pos, token, delimiter));
    EXPECT_FALSE(NextPropertyToken(open, pos, token, delimiter));
    pos = 0;
    EXPECT_FALSE(NextPropertyToken("", pos, token, delimiter));
}

// A store that already holds one track of 3 points ("before") and then the
// given GPX files of folder, loaded in order.
struct Loaded {
    TrackStore store;
    Settings settings;
    int32_t firstPoint = 0;
    int32_t firstTrack = 0;
};

void LoadFiles(Loaded& l, const fs::path& folder, std::initializer_list<const char*> files, bool withTrackBefore,
               int32_t maxTracks = 10) {
    ASSERT_EQ(CreateTrackStore(l.store, 1000, maxTracks), 0);
    if (withTrackBefore) {
        test::WriteFile(folder / "before.gpx", test::GpxTrack(3, 34.0, test::kSetStart - 3600, "before"));
        ASSERT_EQ(LoadLogFile(l.store, l.settings, folder / "before.gpx"), 0);
    }
    l.firstPoint = l.store.pointCount;
    l.firstTrack = l.store.trackCount;
    for (const char* file : files) ASSERT_EQ(ReadLogFile(l.store, l.settings, folder / file, {}, 1), 0);
}

TEST(PropertyFileReplay, RecordsCountFromTheArchivesFirstTrackAndPoint) {
    test::ScopedTimeZone tz("UTC");
    ScratchFolder scratch;
    test::WriteFile(scratch / "walk.gpx", test::GpxTrack(10, 35.0, test::kSetStart, ""));
    Loaded l;
    LoadFiles(l, scratch.path(), {}, true);
    ASSERT_EQ(l.firstPoint, 3);
    ApplyPropertyText(l.store, l.settings,
                      "<fr>walk.gpx\n"
                      "<tp>1,.,4<tw>1,6<tc>1,abcdef<tt>1,\"Morning\r\n 東京\"\n"
                      "<tp>2,.,10<tw>2,2<tc>2,123456<tt>2,\"Afternoon\"\n"
                      "<pd>1,3-4,9-99,0,-2,abc,7-6\n",
                      scratch.path(), l.firstPoint, l.firstTrack);
    const TrackStore& s = l.store;
    ASSERT_EQ(s.fileCount, 2);
    EXPECT_EQ(s.loadedFiles[1], scratch / "walk.gpx");
    // The track split off keeps the file of the track it came from.
    EXPECT_EQ(test::StoreSummary(s),
              "2 w3 FF0000 f0 before\n"
              "6 w6 ABCDEF f1 Morning 東京\n"
              "12 w2 123456 f1 Afternoon\n"
              "111"
              "0100111111");
    // Statistics follow the new boundaries and deletions.
    EXPECT_EQ(s.tracks[1].firstPoint, 4);
    EXPECT_EQ(s.tracks[2].firstPoint, 7);
    EXPECT_EQ(s.tracks[2].startTime, test::kSetStart + 4 * 60);

    EXPECT_EQ(ReadPropertyFile(l.store, l.settings, scratch / "missing.q9t", scratch.path(), 0, 0), 1);
}

TEST(PropertyFileReplay, RecordsOutsideTheArraysOrTheFolderAreSkipped) {
    ScratchFolder scratch;
    test::WriteFile(scratch / "walk.gpx", test::GpxTrack(10, 35.0, test::kSetStart, "walk"));
    test::WriteFile(scratch / "ride.gpx", test::GpxTrack(5, 36.0, test::kSetStart + 7200, "ride"));
    fs::create_directory(scratch / "sub");
    test::WriteFile(scratch / "sub" / "walk.gpx", test::GpxTrack(4, 37.0, test::kSetStart, "sub"));
    const fs::path folder = scratch / "sub";
    const std::string walkOn(10, '1'), rideOn(5, '1');

    // Records replayed over walk.gpx (and ride.gpx), with the store's summary after.
    const struct {
        const char* what;
        bool withRide;
        bool trackBefore;
        int32_t maxTracks;
        std::string text;
        std::string summary;
    } cases[] = {
        {"track and point numbers outside the store; tags that are not tags", false, false, 4,
         "<tp>0,.,3<tp>-1,.,3<tp>5,.,3<tp>99999999999999999999999,.,3<tp>1,.,-5<tp>1,3"
         "<tw>0,9<tw>2,9<tc>2,FFFFFF<tt>9,\"x\"<tt>-1,\"y\"<tw>1<tc>1,<zz>1,2<tw\n"
         "<pd>0,11,-3-2,5-11",
         // "<tc>1," reads an empty colour as 0
         "9 w3 000000 f0 walk\n" + walkOn},
        // A split raises the track count: a name slot and the split track's
        // file; the loaded name stays until a "tt" replaces it.
        {"split", true, true, 10, "<tp>1,.,4<tp>2,.,10<tp>3,.,15<tt>3,\"third\"<tp>5,.,15\n",
         "2 w3 FF0000 f0 before\n6 w3 009F00 f1 walk\n12 w3 0000FF f1 ride\n17 w3 0000FF f2 third\n"
         "17 w3 0000FF f2 \n17 w3 0000FF f2 \n111" +
             walkOn + rideOn},
        // Joined before saving: the loaded track left empty behind is dropped; a
        // track takes the file of the loaded track that held its last point.
        {"joined", true, false, 10, "<tp>1,.,15<tt>1,\"joined\"", "14 w3 FF0000 f1 joined\n" + walkOn + rideOn},
        // Boundaries that cover fewer points than the files hold, out of
        // order: never before the track ahead; the rest of the points stay in it.
        {"short", true, false, 10, "junk<<tp>1,.,8<x<tp>2,.,3<tw>1,7>",
         "7 w7 FF0000 f0 walk\n14 w3 0000FF f1 ride\n" + walkOn + rideOn},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Loaded l;
        LoadFiles(l, scratch.path(), {"walk.gpx"}, c.trackBefore, c.maxTracks);
        if (c.withRide) {
            ASSERT_EQ(ReadLogFile(l.store, l.settings, scratch / "ride.gpx", {}, 1), 0);
        }
        ApplyPropertyText(l.store, l.settings, c.text, scratch.path(), l.firstPoint, l.firstTrack);
        EXPECT_EQ(test::StoreSummary(l.store), c.summary);
        if (std::string_view(c.what) == "joined") {
            EXPECT_EQ(l.store.tracks[0].distanceKm, l.store.totalDistanceKm);
        }
    }
    {  // File names that leave the folder, and over-long kind names.
        Loaded l;
        LoadFiles(l, scratch.path(), {}, false);
        test::MessageCatcher quiet;
        ApplyPropertyText(l.store, l.settings,
                          "<fr>../walk.gpx\n<fr>" + (scratch / "walk.gpx").string() +
                              "\n<fr>sub/walk.gpx\n<fr>..\n<fr>\n<fr>walk.gpx,0123456789ABCDEF\n<fx>walk.gpx\n",
                          folder, 0, 0);
        EXPECT_EQ(l.store.fileCount, 0);
        ApplyPropertyText(l.store, l.settings, "<FR>walk.gpx,0123456789ABCDE\n<Fi>walk.gpx,GPX\n", folder, 0, 0);
        ASSERT_EQ(l.store.fileCount, 2);
        EXPECT_EQ(l.store.fileKinds[1], kKindGpx | kKindNotRead);
        EXPECT_EQ(TrackName(l.store, 0), u"sub");
    }
    {  // No room left for another name: the track is not added.
        Loaded l;
        LoadFiles(l, scratch.path(), {"walk.gpx"}, false);
        RenameTrack(l.store, 0, std::u16string(kTrackNamesCapacity - 2, u'n'));
        ApplyPropertyText(l.store, l.settings, "<tp>1,.,5<tp>2,.,10<tt>2,\"x\"", scratch.path(), 0, 0);
        EXPECT_EQ(l.store.trackCount, 1);
        EXPECT_EQ(l.store.trackEnd[0], 9);
        EXPECT_EQ(StoredNameCount(l.store), 1);
    }
}

// Resource limits: a property file that names its files again and again
// costs time in proportion to its lines, not to their square.
TEST(PropertyFileResourceLimits, RepeatedFileLinesReplayInLinearTime) {
    test::ScratchFolder folder;
    test::WriteFile(folder / "walk.gpx", test::GpxTrack(300, 35, test::kSetStart, "Walk"));
    test::WriteFile(folder / "empty.gpx", "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\"/>\n");
    std::string text;
    for (int i = 0; i < 20000; ++i) text += "<fr>walk.gpx\n<fr>empty.gpx\n";
    Settings settings;
    TrackStore store;
    ASSERT_EQ(CreateTrackStore(store, 30000, 100), 0);
    test::MessageCatcher messages;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ApplyPropertyText(store, settings, text, folder.path(), 0, 0), 0);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(store.trackCount, 100);
    EXPECT_EQ(store.pointCount, 30000);
    EXPECT_EQ(store.fileCount, 40000);
    EXPECT_LE(messages.messages().size(), 1u);  // the store filled once
    // Each line used to recompute the figures of the whole store (seconds in
    // all); a line after the store is full now costs microseconds.
    EXPECT_LT(seconds, 3.0);
}

}  // namespace
}  // namespace trakvio
