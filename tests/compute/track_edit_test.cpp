#include "compute/track_edit.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "compute/statistics.h"
#include "test_support.h"

namespace trakvio {
namespace {

// Tracks of the given sizes named "a", "b", ... from file 0; point i of the
// store lies 100 m north of point i - 1 and is logged at 1000 + 10 * i.
TrackStore MakeStore(std::initializer_list<int> sizes, int32_t maxPoints = 100, int32_t maxTracks = 10) {
    TrackStore store;
    EXPECT_EQ(CreateTrackStore(store, maxPoints, maxTracks), 0);
    EnterLoadedFile(store, "/logs/a.gpx", kKindGpx);
    int32_t namePos = 0;
    char16_t name = u'a';
    for (int size : sizes) {
        for (int k = 0; k < size; ++k) {
            int32_t i = store.pointCount;
            AppendPoint(store, 35.0 + i * 0.0009, 139.0, 10, 0, 1000 + 10 * i, 1);
        }
        CloseTrack(store);
        store.tracks[store.trackCount - 1].fileIndex = 0;
        store.tracks[store.trackCount - 1].color = 0x100000u * store.trackCount;
        namePos = WriteTrackName(store, namePos, std::u16string(1, name++));
    }
    RecomputeStatistics(store, 0);
    return store;
}

std::vector<std::u16string> Names(const TrackStore& store) {
    std::vector<std::u16string> names;
    for (int t = 0; t < store.trackCount; ++t) names.emplace_back(TrackName(store, t));
    return names;
}

std::vector<int32_t> Ends(const TrackStore& store) {
    return std::vector<int32_t>(store.trackEnd.begin(), store.trackEnd.begin() + store.trackCount);
}

std::vector<int32_t> Enabled(const TrackStore& store) {
    std::vector<int32_t> marks;
    for (int32_t i = 0; i < store.pointCount; ++i) marks.push_back(store.points[i].enabled);
    return marks;
}

void Select(TrackStore& store, std::initializer_list<int32_t> indices) {
    for (int32_t i : indices) store.points[i].selected = -1;
    store.selectedCount = static_cast<int32_t>(indices.size());
}

using Marks = std::vector<int32_t>;

TEST(TrackEditSelection, DeleteHidesSelectedPointsAndRestoreNeedsTwoOfThem) {
    TrackStore store = MakeStore({6});
    EXPECT_EQ(DeleteSelectedPoints(store), kEditNothingToDo);
    Select(store, {1, 2, 3, 5});
    EXPECT_EQ(DeleteSelectedPoints(store), kEditDone);
    EXPECT_EQ(Enabled(store), (Marks{1, 0, 0, 0, 1, 0}));
    EXPECT_EQ(store.selectedCount, 0);
    Select(store, {2});
    EXPECT_EQ(RestoreSelectedRange(store), kEditNothingToDo);
    Select(store, {2, 3});  // the range 2..3; the selection stays
    EXPECT_EQ(RestoreSelectedRange(store), kEditDone);
    EXPECT_EQ(Enabled(store), (Marks{1, 0, 1, 1, 1, 0}));
    EXPECT_EQ(ClearSelection(store), kEditDone);
    EXPECT_EQ(store.points[3].selected, 0);
    EXPECT_EQ(ClearSelection(store), kEditNothingToDo);
    RestoreAllPoints(store);
    EXPECT_EQ(Enabled(store), (Marks{1, 1, 1, 1, 1, 1}));
}

TEST(TrackEditSelection, TickedTracksLoseAndRegainAllTheirPoints) {
    TrackStore store = MakeStore({2, 2, 2});
    EXPECT_EQ(SetTrackPointsEnabled(store, 0), kEditNothingToDo);
    store.tracks[0].checked = store.tracks[2].checked = 1;
    EXPECT_EQ(SetTrackPointsEnabled(store, 0), kEditDone);
    EXPECT_EQ(Enabled(store), (Marks{0, 0, 1, 1, 0, 0}));
    store.tracks[0].checked = 0;
    EXPECT_EQ(SetTrackPointsEnabled(store, 1), kEditDone);
    EXPECT_EQ(Enabled(store), (Marks{0, 0, 1, 1, 1, 1}));
}

TEST(TrackEditSplit, TheSelectedPointEndsTheFirstHalf) {
    TrackStore store = MakeStore({3, 4});
    Select(store, {4});
    ASSERT_EQ(SplitTrackAtSelection(store), kEditDone);
    EXPECT_EQ(Ends(store), (Marks{2, 4, 6}));
    EXPECT_EQ(Names(store), (std::vector<std::u16string>{u"a", u"b", u"b"}));
    EXPECT_EQ(store.tracks[2].color, store.tracks[1].color);
    EXPECT_EQ(store.selectedCount, 0);
    EXPECT_EQ(store.points[4].selected, 0);
    RecomputeStatistics(store, 0);
    EXPECT_EQ(store.tracks[2].firstPoint, 5);
}

TEST(TrackEditSplit, AtATracksLastPointLeavesAnEmptyTrackWithTheSameName) {
    TrackStore store = MakeStore({3, 2});
    ASSERT_EQ(SplitTrack(store, 2), kEditDone);
    EXPECT_EQ(Ends(store), (Marks{2, 2, 4}));
    EXPECT_EQ(Names(store), (std::vector<std::u16string>{u"a", u"a", u"b"}));
    RecomputeStatistics(store, 0);
    EXPECT_EQ(store.tracks[1].firstPoint, -1);
    EXPECT_EQ(SplitTrack(store, 5), kEditNothingToDo);
}

TEST(TrackEditSplit, MoreThanOneSelectedPointIsRefusedWithAWarning) {
    TrackStore store = MakeStore({4});
    test::MessageCatcher catcher;
    Select(store, {1, 2});
    EXPECT_EQ(SplitTrackAtSelection(store), kEditRefused);
    ASSERT_EQ(catcher.messages().size(), 1u);
    EXPECT_EQ(catcher.messages()[0].text, "２点以上選択されています");
    EXPECT_EQ(catcher.messages()[0].title, "トラック分割");
    EXPECT_EQ(store.trackCount, 1);
    EXPECT_EQ(store.selectedCount, 2);
    store.selectedCount = 0;
    EXPECT_EQ(SplitTrackAtSelection(store), kEditNothingToDo);
}

TEST(TrackEditSplit, RefusedWhenTracksOrNamesRunOutOfRoom) {
    test::MessageCatcher catcher;
    TrackStore full = MakeStore({2, 2}, 10, 2);
    EXPECT_EQ(SplitTrack(full, 0), kEditRefused);
    EXPECT_TRUE(catcher.Saw("トラック数が上限に達しています"));

    TrackStore store = MakeStore({2, 2});
    ASSERT_EQ(RenameTrack(store, 0, std::u16string(4090, u'x')), 0);  // the marker at 4093
    EXPECT_EQ(SplitTrack(store, 2), kEditDone);                       // "b" twice: the marker on the last unit
    EXPECT_EQ(NamesEndPosition(store), kTrackNamesCapacity - 1);
    EXPECT_EQ(catcher.messages().size(), 1u);
    EXPECT_EQ(SplitTrack(store, 3), kEditRefused);
    EXPECT_TRUE(catcher.Saw("トラック名の領域が不足しています"));
    EXPECT_EQ(Names(store), (std::vector<std::u16string>{std::u16string(4090, u'x'), u"b", u"b"}));
    EXPECT_EQ(Ends(store), (Marks{1, 2, 3}));
}

TEST(TrackEditJoin, RunsOfTickedNeighboursBecomeOneTrack) {
    TrackStore store = MakeStore({2, 2, 2, 2, 2});
    const uint32_t colorOfB = store.tracks[1].color, colorOfE = store.tracks[4].color;
    store.tracks[1].checked = store.tracks[4].checked = 1;
    EXPECT_EQ(JoinCheckedTracks(store), kEditNothingToDo);  // ticked, but not neighbours
    store.tracks[2].checked = 1;
    ASSERT_EQ(JoinCheckedTracks(store), kEditDone);
    EXPECT_EQ(Names(store), (std::vector<std::u16string>{u"a", u"b_c", u"d", u"e"}));
    EXPECT_EQ(Ends(store), (Marks{1, 5, 7, 9}));
    EXPECT_EQ(store.tracks[1].color, colorOfB);
    EXPECT_EQ(store.tracks[3].color, colorOfE);
    EXPECT_EQ(NamesEndPosition(store), 10);
}

TEST(TrackEditJoin, AFullNamesBufferJoinsInPlace) {
    TrackStore store = MakeStore({1, 1, 1});
    ASSERT_EQ(RenameTrack(store, 2, std::u16string(kTrackNamesCapacity, u'z')), 0);  // cut to fill the buffer
    ASSERT_EQ(NamesEndPosition(store), kTrackNamesCapacity - 1);
    for (int t = 0; t < 3; ++t) store.tracks[t].checked = 1;
    ASSERT_EQ(JoinCheckedTracks(store), kEditDone);
    EXPECT_EQ(store.trackCount, 1);
    EXPECT_EQ(TrackName(store, 0), u"a_b_" + std::u16string(kTrackNamesCapacity - 6, u'z'));
    EXPECT_EQ(NamesEndPosition(store), kTrackNamesCapacity - 1);
}

TEST(TrackEditTimeOrder, ReportsEachKindOfDisorder) {
    TrackStore store = MakeStore({3, 3});
    EXPECT_EQ(CheckTimeOrder(store), 0);
    store.points[2].time = store.points[1].time;  // equal times in track 0
    RecomputeStatistics(store, 0);
    EXPECT_EQ(CheckTimeOrder(store), kTimeOrderPointsBit);

    store = MakeStore({3, 3});
    store.tracks[1].startTime = store.tracks[0].endTime;  // overlaps the track before it
    EXPECT_EQ(CheckTimeOrder(store), kTimeOrderTracksBit);

    store = MakeStore({3, 0});  // an empty track of the same file
    EXPECT_EQ(CheckTimeOrder(store), kTimeOrderTracksBit);

    store = MakeStore({3, 3, 3});
    EnterLoadedFile(store, "/logs/b.gpx", kKindGpx);
    store.tracks[1].fileIndex = store.tracks[2].fileIndex = 1;
    EXPECT_EQ(CheckTimeOrder(store), 0);
    store.tracks[2].startTime = store.tracks[0].startTime;  // file 1 begins with file 0
    store.tracks[2].endTime = store.tracks[0].startTime + 1;
    EXPECT_EQ(CheckTimeOrder(store), kTimeOrderFilesBit | kTimeOrderTracksBit);
}

// Three files loaded as b (tracks "a", "b", late), c (none) and a (track
// "c", earliest); d's track starts with b's.
TrackStore ThreeFilesOutOfOrder() {
    TrackStore store = MakeStore({2, 1, 3, 1});
    store.loadedFiles.clear();
    store.fileKinds.clear();
    store.fileCount = 0;
    EnterLoadedFile(store, "/logs/b.gpx", kKindGpx);
    EnterLoadedFile(store, "/logs/c.nmea", kKindNmea);
    EnterLoadedFile(store, "/logs/a.kml", kKindKml);
    EnterLoadedFile(store, "/logs/d.csv", kKindCsvText);
    const int32_t files[] = {0, 0, 2, 3};
    for (int t = 0; t < 4; ++t) store.tracks[t].fileIndex = files[t];
    for (int32_t i = 3; i < 6; ++i) store.points[i].time -= 500;  // track "c" comes first
    store.points[6].time = store.points[0].time;                  // d's key equals b's
    RecomputeStatistics(store, 0);
    return store;
}

TEST(TrackEditSortFiles, RebuildsTheStoreInTheOrderOfTheFilesFirstTracks) {
    TrackStore store = ThreeFilesOutOfOrder();
    const LogPoint firstOfC = store.points[3];
    ASSERT_EQ(SortFilesByTime(store), kEditDone);
    EXPECT_EQ(store.loadedFiles,
              (std::vector<std::filesystem::path>{"/logs/a.kml", "/logs/b.gpx", "/logs/d.csv", "/logs/c.nmea"}));
    EXPECT_EQ(store.fileKinds, (std::vector<uint16_t>{kKindKml, kKindGpx, kKindCsvText, kKindNmea}));
    EXPECT_EQ(Names(store), (std::vector<std::u16string>{u"c", u"a", u"b", u"d"}));
    EXPECT_EQ(Ends(store), (Marks{2, 4, 5, 6}));
    EXPECT_EQ(store.tracks[0].fileIndex, 0);
    EXPECT_EQ(store.tracks[2].fileIndex, 1);
    EXPECT_EQ(store.tracks[3].fileIndex, 2);
    EXPECT_EQ(store.points[0].time, firstOfC.time);
    EXPECT_EQ(store.tracks[0].firstPoint, 0);  // statistics recomputed
    EXPECT_EQ(store.tracks[0].startTime, firstOfC.time);
    // d starts with b, which still counts as out of order: sorting again
    // keeps the equal keys in their order.
    std::vector<LogPoint> workspace;
    EXPECT_EQ(SortFilesByTime(store, &workspace), kEditDone);
    EXPECT_EQ(Names(store), (std::vector<std::u16string>{u"c", u"a", u"b", u"d"}));
}

TEST(TrackEditSortFiles, FilesInOrderOrWithUnknownTracksChangeNothing) {
    TrackStore store = ThreeFilesOutOfOrder();
    store.tracks[1].fileIndex = 7;
    EXPECT_EQ(SortFilesByTime(store), kEditBadFileIndex);
    EXPECT_EQ(store.loadedFiles[0], "/logs/b.gpx");
    EXPECT_EQ(Names(store), (std::vector<std::u16string>{u"a", u"b", u"c", u"d"}));

    TrackStore ordered = MakeStore({2, 2});
    EnterLoadedFile(ordered, "/logs/b.gpx", kKindGpx);
    ordered.tracks[1].fileIndex = 1;
    EXPECT_EQ(SortFilesByTime(ordered), kEditNothingToDo);  // already in order
}

TEST(TrackEditRobustness, DamagedCountsEndsAndNamesStayInsideTheArrays) {
    TrackStore store = MakeStore({3, 3, 3});
    store.pointCount = 1000;
    store.trackCount = 50;
    store.trackEnd[0] = 400;
    store.trackEnd[1] = -7;
    store.fileCount = 9;
    for (auto& record : store.tracks) record.checked = 1;
    store.trackNames.fill(u'n');  // no NUL, no end marker
    Select(store, {99, 98});
    test::MessageCatcher catcher;
    EXPECT_EQ(RestoreSelectedRange(store), kEditDone);
    store.selectedCount = 1;
    SplitTrackAtSelection(store);
    SetTrackPointsEnabled(store, 0);
    EXPECT_EQ(JoinCheckedTracks(store), kEditDone);
    RestoreAllPoints(store);
    CheckTimeOrder(store);
    SortFilesByTime(store);
    DeleteSelectedPoints(store);
    EXPECT_LE(store.trackCount, store.maxtracks);
}

}  // namespace
}  // namespace trakvio
