#include "store/track_store.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

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

auto Fields(const LogPoint& p) {
    return std::make_tuple(p.latitude, p.longitude, p.altitude, p.geoidAltitude, p.loggedSpeed, p.distance, p.speed,
                           p.time, p.mapX, p.mapY, p.graphX, p.graphY, p.enabled, p.selected);
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
        for (int32_t i : {0, 1, 2, capacity / 2, capacity - 1}) EXPECT_EQ(Fields(store.points[i]), Fields({})) << i;
        // A copy holds the same points.
        AppendPoint(store, 1, 2, 3, 4, 5, 1);
        TrackStore copy = store;
        EXPECT_EQ(copy.points[0].time, 5);
        EXPECT_EQ(Fields(copy.points[capacity - 1]), Fields({}));
    }
}

// Names keep the later names when one is renamed longer or shorter, never hold
// a NUL or the end marker, and never overrun the buffer.
TEST(TrackStore, NamesKeepTheirNeighboursAndTheBuffer) {
    TrackStore store;
    ASSERT_EQ(CreateTrackStore(store, 10, 5), 0);
    int32_t pos = 0;
    for (const std::u16string& name :
         {std::u16string(u"ab\0cd", 5), std::u16string(u"x\u001Ay"), std::u16string(u"three")}) {
        CloseTrack(store);
        pos = WriteTrackName(store, pos, name);
    }
    EXPECT_EQ(TrackName(store, 0), u"ab");
    EXPECT_EQ(TrackName(store, 1), u"x\uFFFDy");
    ASSERT_EQ(RenameTrack(store, 1, u"a much longer second name"), 0);
    EXPECT_EQ(TrackName(store, 1), u"a much longer second name");
    EXPECT_EQ(TrackName(store, 2), u"three");
    ASSERT_EQ(RenameTrack(store, 1, u"p\u001Aq"), 0);
    EXPECT_EQ(TrackName(store, 0), u"ab");
    EXPECT_EQ(TrackName(store, 1), u"p\uFFFDq");
    EXPECT_EQ(TrackName(store, 2), u"three");
    EXPECT_EQ(NamesEndPosition(store), 3 + 4 + 6);
    EXPECT_EQ(RenameTrack(store, 3, u"x"), 1);

    const std::u16string huge(10000, u'x');
    const int32_t next = WriteTrackName(store, 0, huge);
    EXPECT_EQ(next, kTrackNamesCapacity - 1);
    EXPECT_EQ(store.trackNames[kTrackNamesCapacity - 1], kNamesEndMarker);
    EXPECT_EQ(WriteTrackName(store, next, u"y"), -1);  // not even an empty name fits
    // Renaming the only name to something huge still leaves the marker in place.
    store.trackCount = 1;
    EXPECT_EQ(RenameTrack(store, 0, huge), 0);
    EXPECT_EQ(NamesEndPosition(store), kTrackNamesCapacity - 1);
    EXPECT_EQ(TrackName(store, 0).size(), static_cast<size_t>(kTrackNamesCapacity - 2));
}

}  // namespace
}  // namespace trakvio
