#include "store/track_store.h"

#include <gtest/gtest.h>

namespace trakvio {
namespace {

TEST(TrackStore, ClearLeavesOnlyTheEndMarker) {
    TrackStore store;
    ASSERT_EQ(CreateTrackStore(store, 10, 3), 0);
    ASSERT_TRUE(AppendPoint(store, 1, 2, 3, 0, 100, 1));
    ASSERT_TRUE(CloseTrack(store));
    WriteTrackName(store, 0, u"walk");
    EnterLoadedFile(store, "/tmp/a.gpx", kKindGpx);
    ClearTrackStore(store);
    EXPECT_EQ(store.trackNames[0], kNamesEndMarker);
    EXPECT_EQ(store.pointCount, 0);
    EXPECT_EQ(store.trackCount, 0);
    EXPECT_EQ(store.fileCount, 0);
    EXPECT_EQ(store.maxlogpoints, 10);
    EXPECT_EQ(store.maxtracks, 3);
}

TEST(TrackStore, AppendAndCloseStopAtCapacity) {
    TrackStore store;
    ASSERT_EQ(CreateTrackStore(store, 3, 2), 0);
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(AppendPoint(store, i, i, 0, 0, i, 1));
    EXPECT_FALSE(AppendPoint(store, 9, 9, 0, 0, 9, 1));
    EXPECT_EQ(store.pointCount, 3);
    EXPECT_TRUE(CloseTrack(store));
    EXPECT_TRUE(CloseTrack(store));  // an empty second track
    EXPECT_FALSE(CloseTrack(store));
    EXPECT_EQ(store.trackEnd[0], 2);
    EXPECT_EQ(store.trackEnd[1], 2);
    EXPECT_EQ(TrackFirstIndex(store, 1), 3);
    EXPECT_EQ(TrackLastIndex(store, 1), 2);
    EXPECT_NE(CreateTrackStore(store, 0, 5), 0);
}

bool IsValueInitialised(const LogPoint& p) {
    const LogPoint zero{};
    return p.latitude == zero.latitude && p.longitude == zero.longitude && p.altitude == zero.altitude &&
           p.geoidAltitude == zero.geoidAltitude && p.loggedSpeed == zero.loggedSpeed && p.distance == zero.distance &&
           p.speed == zero.speed && p.time == zero.time && p.mapX == zero.mapX && p.mapY == zero.mapY &&
           p.graphX == zero.graphX && p.graphY == zero.graphY && p.enabled == zero.enabled &&
           p.selected == zero.selected;
}

TEST(TrackStore, PointsOfANewStoreStartValueInitialisedAtAnySize) {
    // Small arrays come from the heap, large ones are mapped; a store made
    // again over written points starts from zero all the same.
    for (int32_t capacity : {10, 20000, 1100000}) {
        SCOPED_TRACE(capacity);
        TrackStore store;
        ASSERT_EQ(CreateTrackStore(store, capacity, 5), 0);
        for (int i = 0; i < 3; ++i) ASSERT_TRUE(AppendPoint(store, 35, 139, 10, 5, 1000 + i, 1));
        store.points[capacity - 1].selected = -1;
        ASSERT_EQ(CreateTrackStore(store, capacity, 5), 0);
        ASSERT_EQ(store.points.size(), static_cast<size_t>(capacity));
        for (int32_t i : {0, 1, 2, capacity / 2, capacity - 1}) EXPECT_TRUE(IsValueInitialised(store.points[i])) << i;
        // A copy holds the same points.
        AppendPoint(store, 1, 2, 3, 4, 5, 1);
        TrackStore copy = store;
        EXPECT_EQ(copy.points[0].time, 5);
        EXPECT_TRUE(IsValueInitialised(copy.points[capacity - 1]));
    }
}

TEST(TrackStore, RenameLongerThenShorterKeepsLaterNames) {
    TrackStore store;
    ASSERT_EQ(CreateTrackStore(store, 10, 5), 0);
    int32_t pos = 0;
    for (const char16_t* name : {u"one", u"two", u"three"}) {
        CloseTrack(store);
        pos = WriteTrackName(store, pos, name);
    }
    ASSERT_EQ(RenameTrack(store, 1, u"a much longer second name"), 0);
    EXPECT_EQ(TrackName(store, 0), u"one");
    EXPECT_EQ(TrackName(store, 1), u"a much longer second name");
    EXPECT_EQ(TrackName(store, 2), u"three");
    ASSERT_EQ(RenameTrack(store, 1, u"2"), 0);
    EXPECT_EQ(TrackName(store, 1), u"2");
    EXPECT_EQ(TrackName(store, 2), u"three");
    EXPECT_EQ(NamesEndPosition(store), 4 + 2 + 6);
    EXPECT_EQ(RenameTrack(store, 3, u"x"), 1);
}

TEST(TrackStore, NamesNeverOverrunTheBuffer) {
    TrackStore store;
    ASSERT_EQ(CreateTrackStore(store, 10, 5), 0);
    std::u16string huge(10000, u'x');
    CloseTrack(store);
    int32_t next = WriteTrackName(store, 0, huge);
    EXPECT_EQ(next, kTrackNamesCapacity - 1);
    EXPECT_EQ(store.trackNames[kTrackNamesCapacity - 1], kNamesEndMarker);
    EXPECT_EQ(WriteTrackName(store, next, u"y"), -1);  // not even an empty name fits
    CloseTrack(store);
    // Renaming the only name to something huge still leaves the marker in place.
    store.trackCount = 1;
    EXPECT_EQ(RenameTrack(store, 0, huge), 0);
    EXPECT_EQ(NamesEndPosition(store), kTrackNamesCapacity - 1);
    EXPECT_EQ(TrackName(store, 0).size(), static_cast<size_t>(kTrackNamesCapacity - 2));
}

TEST(TrackStore, NamesNeverHoldANulOrTheEndMarker) {
    TrackStore store;
    ASSERT_EQ(CreateTrackStore(store, 10, 5), 0);
    CloseTrack(store);
    CloseTrack(store);
    int32_t next = WriteTrackName(store, 0, std::u16string(u"ab\0cd", 5));
    WriteTrackName(store, next, u"x\u001Ay");
    EXPECT_EQ(TrackName(store, 0), u"ab");
    EXPECT_EQ(TrackName(store, 1), u"x\uFFFDy");
    EXPECT_EQ(RenameTrack(store, 0, u"p\u001Aq"), 0);
    EXPECT_EQ(TrackName(store, 0), u"p\uFFFDq");
    EXPECT_EQ(TrackName(store, 1), u"x\uFFFDy");
}

TEST(TrackStore, DefaultNamesFollowTheStartText) {
    char text[20] = "2023-01-15 09:30:12";
    EXPECT_EQ(DefaultTrackName(text, 2), u"20230115_0930_trc003");
    char empty[20] = {};
    EXPECT_EQ(DefaultTrackName(empty, 0), u"trc001");
}

}  // namespace
}  // namespace trakvio
