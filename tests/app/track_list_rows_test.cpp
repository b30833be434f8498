#include "app/track_list_rows.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "compute/statistics.h"
#include "platform/local_time.h"
#include "test_support.h"

namespace trakvio {
namespace {

struct TrackPlan {
    std::u16string name;
    std::vector<int64_t> times;
    std::vector<int32_t> enabled;  // empty: all enabled
    double distanceKm = 0;
    uint32_t color = 0xFF0000;
    int32_t lineWidth = 3;
    int32_t fileIndex = 0;
};

// Appends the track's points, closes it, writes its name and fills the figures
// the statistics would give it (first and last enabled point and their texts).
void AddTrack(TrackStore& store, int32_t& namePosition, const TrackPlan& plan) {
    const int32_t first = store.pointCount;
    for (size_t i = 0; i < plan.times.size(); ++i) {
        int32_t enabled = plan.enabled.empty() ? 1 : plan.enabled[i];
        ASSERT_TRUE(AppendPoint(store, 35.0 + 0.001 * i, 139.0, 10, 0, plan.times[i], enabled));
    }
    ASSERT_TRUE(CloseTrack(store));
    namePosition = WriteTrackName(store, namePosition, plan.name);
    TrackRecord& record = store.tracks[store.trackCount - 1];
    record.firstPoint = record.lastPoint = -1;
    for (int32_t i = first; i < store.pointCount; ++i) {
        if (store.points[i].enabled == 0) continue;
        if (record.firstPoint < 0) record.firstPoint = i;
        record.lastPoint = i;
    }
    std::memset(record.startText, 0, sizeof record.startText);
    std::memset(record.endText, 0, sizeof record.endText);
    if (record.firstPoint >= 0) {
        FormatLocalTime(store.points[record.firstPoint].time, record.startText);
        FormatLocalTime(store.points[record.lastPoint].time, record.endText);
    }
    record.distanceKm = plan.distanceKm;
    record.color = plan.color;
    record.lineWidth = plan.lineWidth;
    record.fileIndex = plan.fileIndex;
}

TrackStore MakeStore(const std::vector<TrackPlan>& plans) {
    TrackStore store;
    EXPECT_EQ(CreateTrackStore(store, 1000, 20), 0);
    int32_t namePosition = 0;
    for (const TrackPlan& plan : plans) AddTrack(store, namePosition, plan);
    return store;
}

constexpr int64_t kJan15 = 1673740800;  // 2023-01-15 00:00:00 UTC

TEST(TrackList, HeadersAreTheListsColumnTitles) {
    const char* expected[] = {"trk",      "track title", "color", "w",  "start", "end",
                              "duration", "km",          "km/h",  "np", "dp",    "f#"};
    ASSERT_EQ(kTrackListColumns.size(), std::size(expected));
    for (size_t c = 0; c < kTrackListColumns.size(); ++c) EXPECT_EQ(kTrackListColumns[c].header, expected[c]);
}

TEST(TrackList, DurationsShowMinutesBelowAnHourAndHoursFromIt) {
    test::ScopedTimeZone utc("UTC");
    TrackStore store = MakeStore({
        {u"a", {kJan15, kJan15 + 3599}, {}, 5.0},
        {u"b", {kJan15, kJan15 + 1800, kJan15 + 3600}, {}, 10.0},
        {u"c", {kJan15, kJan15 + 26 * 3600}, {}, 52.0},
    });
    TrackListTable table = BuildTrackListTable(store);
    ASSERT_EQ(table.rows.size(), 3u);
    EXPECT_EQ(table.rows[0][kColumnDuration], "59:59");
    EXPECT_EQ(table.rows[1][kColumnDuration], "1:00:00");
    EXPECT_EQ(table.rows[2][kColumnDuration], "26:00:00");
    EXPECT_EQ(table.rows[1][kColumnSpeed], "10.00");
    EXPECT_EQ(table.rows[2][kColumnSpeed], "2.00");
    EXPECT_EQ(table.total[kColumnDuration], "27:59:59");
    EXPECT_EQ(table.total[kColumnDistance], "67.000");
    EXPECT_EQ(table.total[kColumnSpeed], "2.39");  // 67 km over 100799 s
    EXPECT_EQ(FormatTrackDuration(0), "0:00");
    EXPECT_EQ(FormatTrackDuration(61), "1:01");
    EXPECT_EQ(FormatTrackDuration(36000), "10:00:00");
}

TEST(TrackList, OneEnabledPointHasNoSpeed) {
    test::ScopedTimeZone utc("UTC");
    TrackStore store = MakeStore({{u"one", {kJan15, kJan15 + 60}, {1, 0}, 0.0}});
    TrackListTable table = BuildTrackListTable(store);
    ASSERT_EQ(table.rows.size(), 1u);
    EXPECT_EQ(table.rows[0][kColumnDuration], "0:00");
    EXPECT_EQ(table.rows[0][kColumnSpeed], "");
    EXPECT_EQ(table.rows[0][kColumnPoints], "2");
    EXPECT_EQ(table.rows[0][kColumnDeleted], "1");
}

TEST(TrackList, DeletedPointsAreCountedPerTrackAndInTheTotal) {
    test::ScopedTimeZone utc("UTC");
    TrackPlan hundred{u"hundred", {}, {}, 1.0};
    for (int i = 0; i < 100; ++i) {
        hundred.times.push_back(kJan15 + i);
        hundred.enabled.push_back(i % 14 == 3 ? 0 : 1);  // 3, 17, 31, 45, 59, 73, 87
    }
    TrackPlan five{u"five", {kJan15, kJan15 + 1, kJan15 + 2, kJan15 + 3, kJan15 + 4}, {1, 1, 0, 1, 1}, 0.5};
    TrackStore store = MakeStore({hundred, five});
    TrackListTable table = BuildTrackListTable(store);
    ASSERT_EQ(table.rows.size(), 2u);
    EXPECT_EQ(table.rows[0][kColumnPoints], "100");
    EXPECT_EQ(table.rows[0][kColumnDeleted], "7");
    EXPECT_EQ(table.rows[1][kColumnPoints], "5");
    EXPECT_EQ(table.rows[1][kColumnDeleted], "1");
    EXPECT_EQ(table.total[kColumnPoints], std::to_string(store.pointCount));
    EXPECT_EQ(table.total[kColumnPoints], "105");
    EXPECT_EQ(table.total[kColumnDeleted], "8");
}

TEST(TrackList, EndColumnShowsOnlyTheTimeOfDay) {
    test::ScopedTimeZone utc("UTC");
    TrackStore store = MakeStore({{u"night", {kJan15 + 23 * 3600 + 50 * 60, kJan15 + 86400 + 15 * 60}, {}, 3.0}});
    TrackListTable table = BuildTrackListTable(store);
    ASSERT_EQ(table.rows.size(), 1u);
    EXPECT_EQ(table.rows[0][kColumnStart], "2023-01-15 23:50:00");
    EXPECT_EQ(table.rows[0][kColumnEnd], "00:15:00");
    EXPECT_EQ(table.rows[0][kColumnDuration], "25:00");
    EXPECT_EQ(table.rows[0][kColumnSpeed], "7.20");
}

TEST(TrackList, TotalSpeedIsEmptyWithoutAnyDuration) {
    test::ScopedTimeZone utc("UTC");
    TrackStore store = MakeStore({{u"p", {kJan15}, {}, 1.25}, {u"q", {kJan15 + 9}, {}, 0.25}});
    TrackListTable table = BuildTrackListTable(store);
    EXPECT_EQ(table.total[kColumnTrack], "total");
    EXPECT_EQ(table.total[kColumnDuration], "0:00");
    EXPECT_EQ(table.total[kColumnDistance], "1.500");
    EXPECT_EQ(table.total[kColumnSpeed], "");

    TrackStore empty;
    ASSERT_EQ(CreateTrackStore(empty, 10, 2), 0);
    TrackListTable none = BuildTrackListTable(empty);
    EXPECT_TRUE(none.rows.empty());
    EXPECT_EQ(none.total[kColumnTrack], "total");
    EXPECT_EQ(none.total[kColumnDuration], "0:00");
    EXPECT_EQ(none.total[kColumnDistance], "0.000");
    EXPECT_EQ(none.total[kColumnSpeed], "");
    EXPECT_EQ(none.total[kColumnPoints], "0");
    EXPECT_EQ(none.total[kColumnDeleted], "0");
    for (int c : {kColumnTitle, kColumnColor, kColumnWidth, kColumnStart, kColumnEnd, kColumnFile}) {
        EXPECT_EQ(none.total[c], "") << c;
    }
}

TEST(TrackList, CellsOfATrackRow) {
    test::ScopedTimeZone utc("UTC");
    std::vector<TrackPlan> plans;
    for (int t = 0; t < 10; ++t) plans.push_back({u"t", {kJan15 + t * 1000, kJan15 + t * 1000 + 600}, {}, 1.0});
    plans[0] = {u"Zürich 東京 \"x\"", {kJan15 + 9 * 3600, kJan15 + 9 * 3600 + 1800}, {}, 12.34567, 0x00FF00, 5, 2};
    TrackStore store = MakeStore(plans);
    TrackListTable table = BuildTrackListTable(store);
    ASSERT_EQ(table.rows.size(), 10u);
    const TrackListRow& row = table.rows[0];
    EXPECT_EQ(row[kColumnTrack], " 1");
    EXPECT_EQ(row[kColumnTitle], "Zürich 東京 \"x\"");
    EXPECT_EQ(row[kColumnColor], "00FF00");
    EXPECT_EQ(row[kColumnWidth], "5");
    EXPECT_EQ(row[kColumnStart], "2023-01-15 09:00:00");
    EXPECT_EQ(row[kColumnEnd], "09:30:00");
    EXPECT_EQ(row[kColumnDuration], "30:00");
    EXPECT_EQ(row[kColumnDistance], "12.346");
    EXPECT_EQ(row[kColumnSpeed], "24.69");
    EXPECT_EQ(row[kColumnPoints], "2");
    EXPECT_EQ(row[kColumnDeleted], "0");
    EXPECT_EQ(row[kColumnFile], "3");
    EXPECT_EQ(table.rows[9][kColumnTrack], "10");
    EXPECT_EQ(table.rows[9][kColumnColor], "FF0000");
}

TEST(TrackList, EmptyTrackShowsNoTimesAndNoPoints) {
    test::ScopedTimeZone utc("UTC");
    TrackStore store = MakeStore({{u"first", {kJan15, kJan15 + 10}, {}, 0.1}, {u"empty", {}, {}, 0.0}});
    TrackListTable table = BuildTrackListTable(store);
    ASSERT_EQ(table.rows.size(), 2u);
    EXPECT_EQ(table.rows[1][kColumnTitle], "empty");
    EXPECT_EQ(table.rows[1][kColumnStart], "");
    EXPECT_EQ(table.rows[1][kColumnEnd], "");
    EXPECT_EQ(table.rows[1][kColumnDuration], "0:00");
    EXPECT_EQ(table.rows[1][kColumnSpeed], "");
    EXPECT_EQ(table.rows[1][kColumnPoints], "0");
    EXPECT_EQ(table.rows[1][kColumnDeleted], "0");
}

TEST(TrackList, TimeRunningBackwardsKeepsTheSignOfTheDuration) {
    test::ScopedTimeZone utc("UTC");
    TrackStore store = MakeStore({{u"back", {kJan15 + 65, kJan15}, {}, 1.0}});
    TrackListTable table = BuildTrackListTable(store);
    EXPECT_EQ(table.rows[0][kColumnDuration], "-1:05");
    EXPECT_EQ(table.rows[0][kColumnSpeed], "");
    EXPECT_EQ(table.total[kColumnSpeed], "");
    EXPECT_EQ(FormatTrackDuration(-3600), "-1:00:00");
    EXPECT_EQ(FormatTrackDuration(INT64_MIN), "-2562047788015215:30:08");
}

TEST(TrackList, NamesMissingFromTheBufferAreEmpty) {
    TrackStore store;
    ASSERT_EQ(CreateTrackStore(store, 10, 4), 0);
    AppendPoint(store, 1, 1, 0, 0, 0, 1);
    CloseTrack(store);
    CloseTrack(store);
    WriteTrackName(store, 0, u"only one");
    TrackListTable table = BuildTrackListTable(store);
    ASSERT_EQ(table.rows.size(), 2u);
    EXPECT_EQ(table.rows[0][kColumnTitle], "only one");
    EXPECT_EQ(table.rows[1][kColumnTitle], "");
}

TEST(TrackList, InconsistentStoreIsReadOnlyWithinItsArrays) {
    TrackStore store;
    ASSERT_EQ(CreateTrackStore(store, 3, 2), 0);
    for (int i = 0; i < 3; ++i) AppendPoint(store, 1, 1, 0, 0, i, i == 1 ? 0 : 1);
    store.pointCount = 99;  // more than the array holds
    store.trackCount = 7;   // more than the records
    store.trackEnd[0] = 1;
    store.trackEnd[1] = 1000;
    store.tracks[0].firstPoint = 50;
    store.tracks[0].lastPoint = -7;
    store.tracks[1].firstPoint = 0;
    store.tracks[1].lastPoint = 2;
    store.tracks[1].fileIndex = INT32_MAX;
    store.tracks[1].distanceKm = 1e300;
    std::memset(store.tracks[0].startText, 'x', sizeof store.tracks[0].startText);  // no NUL
    std::memset(store.tracks[0].endText, 'y', sizeof store.tracks[0].endText);
    store.trackNames.fill(u'a');  // neither NULs nor an end marker
    TrackListTable table = BuildTrackListTable(store);
    ASSERT_EQ(table.rows.size(), 2u);
    EXPECT_EQ(table.rows[0][kColumnStart], std::string(20, 'x'));
    EXPECT_EQ(table.rows[0][kColumnEnd], std::string(9, 'y'));
    EXPECT_EQ(table.rows[0][kColumnDuration], "0:00");
    EXPECT_EQ(table.rows[0][kColumnPoints], "2");
    EXPECT_EQ(table.rows[0][kColumnDeleted], "1");
    EXPECT_EQ(table.rows[0][kColumnTitle], std::string(kTrackNamesCapacity, 'a'));
    EXPECT_EQ(table.rows[1][kColumnTitle], "");
    EXPECT_EQ(table.rows[1][kColumnPoints], "999");
    EXPECT_EQ(table.rows[1][kColumnDeleted], "0");
    EXPECT_EQ(table.rows[1][kColumnDuration], "0:02");
    EXPECT_EQ(table.rows[1][kColumnFile], "2147483648");
    EXPECT_EQ(table.rows[1][kColumnDistance].size(), 301u + 4u);
    EXPECT_EQ(table.total[kColumnPoints], "99");

    TrackStore bare;  // no arrays at all
    bare.trackCount = 3;
    bare.pointCount = 5;
    EXPECT_TRUE(BuildTrackListTable(bare).rows.empty());
    EXPECT_EQ(TrackDuration(bare, 0), 0);
    EXPECT_EQ(CountTrackPoints(bare, 1).points, 0);
}

TEST(TrackList, RowsFollowTheRecomputedStatistics) {
    test::ScopedTimeZone utc("UTC");
    TrackStore store;
    ASSERT_EQ(CreateTrackStore(store, 10, 2), 0);
    const int64_t start = kJan15 + 23 * 3600 + 59 * 60;
    for (int i = 0; i < 4; ++i) AppendPoint(store, 35.0 + 0.01 * i, 139.0, 0, 0, start + 40 * i, i == 3 ? 0 : 1);
    CloseTrack(store);
    WriteTrackName(store, 0, u"walk");
    RecomputeStatistics(store, 0);
    TrackListTable table = BuildTrackListTable(store);
    ASSERT_EQ(table.rows.size(), 1u);
    EXPECT_EQ(table.rows[0][kColumnStart], "2023-01-15 23:59:00");
    EXPECT_EQ(table.rows[0][kColumnEnd], "00:00:20");  // the last enabled point
    EXPECT_EQ(table.rows[0][kColumnDuration], "1:20");
    EXPECT_EQ(table.rows[0][kColumnDistance], "2.219");  // 0.02 degrees of latitude at 35 N
    EXPECT_EQ(table.rows[0][kColumnPoints], "4");
    EXPECT_EQ(table.rows[0][kColumnDeleted], "1");
}

}  // namespace
}  // namespace trakvio
