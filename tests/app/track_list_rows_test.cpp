#include "app/track_list_rows.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "compute/statistics.h"
#include "test_support.h"

namespace trakvio {
namespace {

constexpr int64_t kJan15 = 1673740800;  // 2023-01-15 00:00:00 UTC

struct TrackPlan {
    std::vector<int64_t> times;
    std::vector<int32_t> enabled;  // empty: all enabled
    double distanceKm = 0;
};

// Closes one track per plan and recomputes the statistics as a load does; the
// distance is then set from the plan so that the speeds come out round.
TrackStore MakeStore(const std::vector<TrackPlan>& plans) {
    TrackStore store;
    EXPECT_EQ(CreateTrackStore(store, 1000, 20), 0);
    for (const TrackPlan& plan : plans) {
        for (size_t i = 0; i < plan.times.size(); ++i) {
            AppendPoint(store, 35.0, 139.0, 10, 0, plan.times[i], plan.enabled.empty() ? 1 : plan.enabled[i]);
        }
        EXPECT_TRUE(CloseTrack(store));
    }
    RecomputeStatistics(store, 0);
    for (size_t t = 0; t < plans.size(); ++t) store.tracks[t].distanceKm = plans[t].distanceKm;
    return store;
}

class TrackList : public ::testing::Test {
  protected:
    test::ScopedTimeZone utc_{"UTC"};
};

// Durations and speeds run from the first to the last enabled point; the
// end shows only the time of day; deleted points are counted per track and
// the total's points are the store's point count.
TEST_F(TrackList, CellsOfTheTracksAndTheTotal) {
    const int64_t late = kJan15 + 23 * 3600 + 50 * 60;
    const TrackListTable table = BuildTrackListTable(MakeStore({
        {{kJan15, kJan15 + 3599}, {}, 5.0},
        {{kJan15, kJan15 + 1800, kJan15 + 3600}, {}, 10.0},
        {{kJan15, kJan15 + 26 * 3600}, {}, 52.0},
        {{kJan15, kJan15 + 60}, {1, 0}, 0.0},  // one enabled point: no duration, no speed
        {{late, late + 25 * 60, late + 40 * 60}, {1, 1, 0}, 3.0},
        {std::vector<int64_t>(12, kJan15), {1, 0, 1, 1, 0, 1, 1, 1, 1, 0, 1, 1}, 1.0},
    }));
    ASSERT_EQ(table.rows.size(), 6u);
    constexpr int kTotal = -1;
    const std::tuple<int, int, const char*> cells[] = {
        {0, kColumnDuration, "59:59"},
        {1, kColumnDuration, "1:00:00"},
        {1, kColumnSpeed, "10.00"},
        {2, kColumnDuration, "26:00:00"},
        {2, kColumnSpeed, "2.00"},
        {3, kColumnDuration, "0:00"},
        {3, kColumnSpeed, ""},
        {3, kColumnDeleted, "1"},
        {4, kColumnStart, "2023-01-15 23:50:00"},
        {4, kColumnEnd, "00:15:00"},  // the last enabled point, next day
        {4, kColumnDuration, "25:00"},
        {5, kColumnPoints, "12"},
        {5, kColumnDeleted, "3"},
        {kTotal, kColumnDuration, "28:24:59"},  // 3599 + 3600 + 93600 + 0 + 1500 + 0 s
        {kTotal, kColumnSpeed, "2.50"},         // 71 km over 102299 s
        {kTotal, kColumnPoints, "24"},
        {kTotal, kColumnDeleted, "5"},
    };
    for (const auto& [row, column, text] : cells) {
        SCOPED_TRACE(testing::Message() << "row " << row << ", column " << column);
        EXPECT_EQ((row == kTotal ? table.total : table.rows[static_cast<size_t>(row)])[column], text);
    }
}

TEST_F(TrackList, TotalSpeedIsEmptyWithoutAPositiveDuration) {
    TrackListTable table = BuildTrackListTable(MakeStore({{{kJan15}, {}, 1.25}, {{kJan15 + 9}, {}, 0.25}}));
    EXPECT_EQ(table.total[kColumnDistance], "1.500");
    EXPECT_EQ(table.total[kColumnSpeed], "");

    table = BuildTrackListTable(MakeStore({{{kJan15 + 65, kJan15}, {}, 1.0}}));  // time runs backwards
    ASSERT_EQ(table.rows.size(), 1u);
    EXPECT_EQ(table.rows[0][kColumnDuration], "-1:05");
    EXPECT_EQ(table.rows[0][kColumnSpeed], "");
    EXPECT_EQ(table.total[kColumnSpeed], "");

    table = BuildTrackListTable(MakeStore({}));
    EXPECT_EQ(table.total[kColumnSpeed], "");
    EXPECT_EQ(table.total[kColumnPoints], "0");
}

// Counts and indices beyond the arrays, texts without their NUL and a names
// buffer without an end marker give odd cells, never a read out of bounds.
TEST_F(TrackList, InconsistentStoreIsReadOnlyWithinItsArrays) {
    TrackStore store;
    ASSERT_EQ(CreateTrackStore(store, 3, 2), 0);
    for (int i = 0; i < 3; ++i) AppendPoint(store, 1, 1, 0, 0, i, i == 1 ? 0 : 1);
    store.pointCount = 99;
    store.trackCount = 7;
    store.trackEnd[0] = 1;
    store.trackEnd[1] = 1000;
    store.tracks[0].firstPoint = 1;
    store.tracks[0].lastPoint = 50;
    std::memset(store.tracks[0].startText, 'x', sizeof store.tracks[0].startText);
    std::memset(store.tracks[0].endText, 'y', sizeof store.tracks[0].endText);
    store.trackNames.fill(u'a');
    const TrackListTable table = BuildTrackListTable(store);
    ASSERT_EQ(table.rows.size(), 2u);
    EXPECT_EQ(table.rows[0][kColumnTitle], std::string(kTrackNamesCapacity, 'a'));
    EXPECT_EQ(table.rows[0][kColumnStart], std::string(20, 'x'));
    EXPECT_EQ(table.rows[0][kColumnEnd], std::string(9, 'y'));
    EXPECT_EQ(table.rows[0][kColumnDuration], "0:00");
    EXPECT_EQ(table.rows[1][kColumnPoints], "999");
    EXPECT_EQ(table.rows[1][kColumnDeleted], "0");

    TrackStore bare;  // no arrays at all
    bare.trackCount = 3;
    bare.pointCount = 5;
    EXPECT_TRUE(BuildTrackListTable(bare).rows.empty());
}

// A large store counts its rows on two threads: each row still gets the
// counts of its own track.
TEST_F(TrackList, ALargeStoreCountsEveryTrackOnce) {
    TrackStore store;
    ASSERT_EQ(CreateTrackStore(store, 400000, 8), 0);
    const int32_t lengths[] = {150000, 10, 120000, 1, 99000};
    auto deletedAt = [](size_t t, int32_t i) { return t != 1 && (i % 7 == 0 || i % 5 == 0); };
    std::vector<int64_t> deleted(std::size(lengths));
    for (size_t t = 0; t < std::size(lengths); ++t) {
        for (int32_t i = 0; i < lengths[t]; ++i) {
            AppendPoint(store, 35.0, 139.0, 10, 0, kJan15 + i, deletedAt(t, i) ? 0 : 1);
            deleted[t] += deletedAt(t, i);
        }
        ASSERT_TRUE(CloseTrack(store));
    }
    const TrackListTable table = BuildTrackListTable(store);
    ASSERT_EQ(table.counts.size(), std::size(lengths));
    for (size_t t = 0; t < std::size(lengths); ++t) {
        EXPECT_EQ(table.counts[t].points, lengths[t]) << t;
        EXPECT_EQ(table.counts[t].deleted, deleted[t]) << t;
        EXPECT_EQ(table.rows[t][kColumnDeleted], std::to_string(deleted[t])) << t;
    }
}

}  // namespace
}  // namespace trakvio
