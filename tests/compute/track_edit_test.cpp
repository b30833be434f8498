#include "compute/track_edit.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "compute/statistics.h"
#include "test_support.h"

namespace trakvio {
namespace {

using Marks = std::vector<int32_t>;
using Strings = std::vector<std::u16string>;

// Tracks of the given sizes named "a", "b", ... from file 0 (/logs/a.gpx unless withFile is false); point i of the
// store lies 100 m north of point i - 1 and is logged at 1000 + 10 * i.
TrackStore MakeStore(std::initializer_list<int> sizes, int32_t maxPoints = 100, int32_t maxTracks = 10,
                     bool withFile = true) {
    TrackStore store;
    EXPECT_EQ(CreateTrackStore(store, maxPoints, maxTracks), 0);
    if (withFile) EnterLoadedFile(store, "/logs/a.gpx", kKindGpx);
    int32_t namePos = 0;
    char16_t name = u'a';
    for (int size : sizes) {
        for (int k = 0; k < size; ++k)
            AppendPoint(store, 35.0 + store.pointCount * 0.0009, 139.0, 10, 0, 1000 + 10 * store.pointCount, 1);
        CloseTrack(store);
        store.tracks[store.trackCount - 1].fileIndex = 0;
        store.tracks[store.trackCount - 1].color = 0x100000u * store.trackCount;
        namePos = WriteTrackName(store, namePos, std::u16string(1, name++));
    }
    RecomputeStatistics(store, 0);
    return store;
}

Strings Names(const TrackStore& store) {
    Strings names;
    for (int t = 0; t < store.trackCount; ++t) names.emplace_back(TrackName(store, t));
    return names;
}

Marks Ends(const TrackStore& store) { return Marks(store.trackEnd.begin(), store.trackEnd.begin() + store.trackCount); }

Marks Enabled(const TrackStore& store) {
    Marks marks;
    for (int32_t i = 0; i < store.pointCount; ++i) marks.push_back(store.points[i].enabled);
    return marks;
}

void Select(TrackStore& store, std::initializer_list<int32_t> indices) {
    for (int32_t i : indices) store.points[i].selected = -1;
    store.selectedCount = static_cast<int32_t>(indices.size());
}

TEST(TrackEditSelection, DeleteRestoreAndTickedTracks) {
    TrackStore store = MakeStore({6});
    EXPECT_EQ(DeleteSelectedPoints(store), kEditNothingToDo);
    Select(store, {1, 2, 3, 5});
    EXPECT_EQ(DeleteSelectedPoints(store), kEditDone);
    EXPECT_EQ(Enabled(store), (Marks{1, 0, 0, 0, 1, 0}));
    EXPECT_EQ(store.selectedCount, 0);
    Select(store, {2});
    EXPECT_EQ(RestoreSelectedRange(store), kEditNothingToDo);  // a range needs two ends
    Select(store, {2, 3});
    EXPECT_EQ(RestoreSelectedRange(store), kEditDone);
    EXPECT_EQ(Enabled(store), (Marks{1, 0, 1, 1, 1, 0}));
    EXPECT_EQ(ClearSelection(store), kEditDone);  // the selection stayed until now
    EXPECT_EQ(ClearSelection(store), kEditNothingToDo);
    RestoreAllPoints(store);
    EXPECT_EQ(Enabled(store), (Marks{1, 1, 1, 1, 1, 1}));

    store = MakeStore({2, 2, 2});
    EXPECT_EQ(SetTrackPointsEnabled(store, 0), kEditNothingToDo);
    store.tracks[0].checked = store.tracks[2].checked = 1;
    EXPECT_EQ(SetTrackPointsEnabled(store, 0), kEditDone);
    EXPECT_EQ(Enabled(store), (Marks{0, 0, 1, 1, 0, 0}));
    store.tracks[0].checked = 0;
    EXPECT_EQ(SetTrackPointsEnabled(store, 1), kEditDone);
    EXPECT_EQ(Enabled(store), (Marks{0, 0, 1, 1, 1, 1}));
}

TEST(TrackEditSplit, TheSplitPointEndsTheFirstHalfWhichKeepsNameAndColour) {
    TrackStore store = MakeStore({3, 4});
    Select(store, {4});
    ASSERT_EQ(SplitTrackAtSelection(store), kEditDone);
    EXPECT_EQ(Ends(store), (Marks{2, 4, 6}));
    EXPECT_EQ(Names(store), (Strings{u"a", u"b", u"b"}));
    EXPECT_EQ(store.tracks[2].color, store.tracks[1].color);
    EXPECT_EQ(store.selectedCount, 0);
    ASSERT_EQ(SplitTrack(store, 6), kEditDone);  // at a track's last point: an empty track follows
    EXPECT_EQ(Ends(store), (Marks{2, 4, 6, 6}));
    EXPECT_EQ(Names(store), (Strings{u"a", u"b", u"b", u"b"}));
    RecomputeStatistics(store, 0);
    EXPECT_EQ(std::pair(store.tracks[2].firstPoint, store.tracks[3].firstPoint), std::pair(5, -1));
    EXPECT_EQ(SplitTrack(store, 7), kEditNothingToDo);
}

TEST(TrackEditSplit, RefusedForTwoSelectedPointsOrNoRoomForTracksOrNames) {
    test::MessageCatcher catcher;
    TrackStore store = MakeStore({4});
    Select(store, {1, 2});
    EXPECT_EQ(SplitTrackAtSelection(store), kEditRefused);
    EXPECT_TRUE(catcher.Saw("２点以上選択されています"));
    EXPECT_EQ(store.trackCount, 1);
    store.selectedCount = 0;
    EXPECT_EQ(SplitTrackAtSelection(store), kEditNothingToDo);

    TrackStore full = MakeStore({2, 2}, 10, 2);
    EXPECT_EQ(SplitTrack(full, 0), kEditRefused);
    EXPECT_TRUE(catcher.Saw("トラック数が上限に達しています"));

    store = MakeStore({2, 2});
    ASSERT_EQ(RenameTrack(store, 0, std::u16string(4090, u'x')), 0);  // the marker at 4093
    EXPECT_EQ(SplitTrack(store, 2), kEditDone);                       // "b" twice: the marker on the last unit
    EXPECT_EQ(NamesEndPosition(store), kTrackNamesCapacity - 1);
    EXPECT_EQ(catcher.messages().size(), 2u);
    EXPECT_EQ(SplitTrack(store, 3), kEditRefused);
    EXPECT_TRUE(catcher.Saw("トラック名の領域が不足しています"));
    EXPECT_EQ(Names(store), (Strings{std::u16string(4090, u'x'), u"b", u"b"}));
    EXPECT_EQ(Ends(store), (Marks{1, 2, 3}));
}

TEST(TrackEditJoin, RunsOfTickedNeighboursBecomeOneTrackEvenWithFullNames) {
    TrackStore store = MakeStore({2, 2, 2, 2, 2});
    const uint32_t colorOfB = store.tracks[1].color, colorOfE = store.tracks[4].color;
    store.tracks[1].checked = store.tracks[4].checked = 1;
    EXPECT_EQ(JoinCheckedTracks(store), kEditNothingToDo);  // ticked, but not neighbours
    store.tracks[2].checked = 1;
    ASSERT_EQ(JoinCheckedTracks(store), kEditDone);
    EXPECT_EQ(Names(store), (Strings{u"a", u"b_c", u"d", u"e"}));
    EXPECT_EQ(Ends(store), (Marks{1, 5, 7, 9}));
    EXPECT_EQ(std::pair(store.tracks[1].color, store.tracks[3].color), std::pair(colorOfB, colorOfE));
    EXPECT_EQ(NamesEndPosition(store), 10);

    store = MakeStore({1, 1, 1});
    ASSERT_EQ(RenameTrack(store, 2, std::u16string(kTrackNamesCapacity, u'z')), 0);  // cut to fill the buffer
    for (int t = 0; t < 3; ++t) store.tracks[t].checked = 1;
    ASSERT_EQ(JoinCheckedTracks(store), kEditDone);
    EXPECT_EQ(Names(store), (Strings{u"a_b_" + std::u16string(kTrackNamesCapacity - 6, u'z')}));
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

TEST(TrackEditSortFiles, OrdersFilesByTheirFirstTrackAndRefusesUnknownFiles) {
    // Files loaded as b (tracks "a", "b"), c (none), a (track "c", earliest)
    // and d (track "d", starting with b's).
    TrackStore store = MakeStore({2, 1, 3, 1}, 100, 10, false);
    const std::pair<const char*, uint16_t> files[] = {{"/logs/b.gpx", kKindGpx},
                                                      {"/logs/c.nmea", kKindNmea},
                                                      {"/logs/a.kml", kKindKml},
                                                      {"/logs/d.csv", kKindCsvText}};
    for (const auto& [file, kind] : files) EnterLoadedFile(store, file, kind);
    const int32_t fileOfTrack[] = {0, 0, 2, 3};
    for (int t = 0; t < 4; ++t) store.tracks[t].fileIndex = fileOfTrack[t];
    for (int32_t i = 3; i < 6; ++i) store.points[i].time -= 500;
    store.points[6].time = store.points[0].time;
    RecomputeStatistics(store, 0);
    TrackStore damaged = store;
    damaged.tracks[1].fileIndex = 7;
    EXPECT_EQ(SortFilesByTime(damaged), kEditBadFileIndex);
    EXPECT_EQ(Names(damaged), (Strings{u"a", u"b", u"c", u"d"}));
    EXPECT_EQ(damaged.loadedFiles[0], "/logs/b.gpx");

    const int64_t firstOfC = store.points[3].time;
    // A sort through a kept workspace (which changes places with the point
    // array) gives the same store; a point held behind the last track stays.
    TrackStore viaWorkspace = store;
    AppendPoint(viaWorkspace, 1, 2, 3, 0, 4, 1);
    PointArray kept(3);
    ASSERT_EQ(SortFilesByTime(viaWorkspace, &kept), kEditDone);
    ASSERT_EQ(SortFilesByTime(store), kEditDone);
    ASSERT_EQ(viaWorkspace.pointCount, store.pointCount + 1);
    ASSERT_EQ(viaWorkspace.points.size(), store.points.size());
    for (int32_t i = 0; i < store.pointCount; ++i) {
        const LogPoint &p = viaWorkspace.points[i], &q = store.points[i];
        EXPECT_EQ(std::pair(p.time, p.latitude), std::pair(q.time, q.latitude)) << i;
    }
    EXPECT_EQ(viaWorkspace.points[store.pointCount].time, 4);
    EXPECT_EQ(Ends(viaWorkspace), Ends(store));
    EXPECT_EQ(store.loadedFiles,
              (std::vector<std::filesystem::path>{"/logs/a.kml", "/logs/b.gpx", "/logs/d.csv", "/logs/c.nmea"}));
    EXPECT_EQ(store.fileKinds, (std::vector<uint16_t>{kKindKml, kKindGpx, kKindCsvText, kKindNmea}));
    EXPECT_EQ(Names(store), (Strings{u"c", u"a", u"b", u"d"}));
    EXPECT_EQ(Ends(store), (Marks{2, 4, 5, 6}));
    EXPECT_EQ(std::pair(store.tracks[2].fileIndex, store.tracks[3].fileIndex), std::pair(1, 2));
    EXPECT_EQ(store.tracks[0].startTime, firstOfC);  // statistics recomputed
    PointArray workspace;                            // equal keys keep their order when sorted again
    EXPECT_EQ(SortFilesByTime(store, &workspace), kEditDone);
    EXPECT_EQ(Names(store), (Strings{u"c", u"a", u"b", u"d"}));
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
    RestoreSelectedRange(store);
    store.selectedCount = 1;
    SplitTrackAtSelection(store);
    SetTrackPointsEnabled(store, 0);
    JoinCheckedTracks(store);
    CheckTimeOrder(store);
    SortFilesByTime(store);
    DeleteSelectedPoints(store);
    RestoreAllPoints(store);
    EXPECT_LE(store.trackCount, store.maxtracks);
}

}  // namespace
}  // namespace trakvio
