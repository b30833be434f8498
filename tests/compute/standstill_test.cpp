#include "compute/standstill.h"

#include <gtest/gtest.h>

#include <vector>

#include "compute/statistics.h"

namespace trakvio {
namespace {

struct Fix {
    double northMetres;
    int64_t time;
    float altitude = 0;
};
using Fixes = std::vector<Fix>;
using Indices = std::vector<int32_t>;

constexpr double kDegPerMetre = 1.0 / 110950;  // about one metre of latitude at 35 degrees north

// count fixes one a second from time: step metres apart from metre start, or
// (step 0) jittering within 4 m around it.
Fixes Walk(int count, double start, double step, int64_t time) {
    Fixes fixes;
    for (int i = 0; i < count; ++i) fixes.push_back({start + (step != 0 ? i * step : i * 7 % 5), time + i});
    return fixes;
}
Fixes Stay(int count, double at, int64_t time) { return Walk(count, at, 0, time); }
Fixes operator+(Fixes a, const Fixes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TrackStore StoreOf(const std::vector<Fixes>& tracks) {
    TrackStore store;
    EXPECT_EQ(CreateTrackStore(store, 200, 10), 0);
    for (const auto& fixes : tracks) {
        for (const Fix& fix : fixes)
            AppendPoint(store, 35.0 + fix.northMetres * kDegPerMetre, 139.0, fix.altitude, 0, fix.time, 1);
        CloseTrack(store);
    }
    RecomputeStatistics(store, 0);
    return store;
}

Indices Deleted(const TrackStore& store) {
    Indices indices;
    for (int32_t i = 0; i < store.pointCount; ++i)
        if (store.points[i].enabled == 0) indices.push_back(i);
    return indices;
}

Indices Range(int32_t from, int32_t to) {
    Indices indices;
    for (int32_t i = from; i <= to; ++i) indices.push_back(i);
    return indices;
}

TEST(StandstillDelete, StaysKeepTheirEndsAndDeletedPointsNeverDecide) {
    const struct {
        Fixes fixes;
        Indices alreadyDeleted;
        int32_t count;
        Indices deleted;
    } cases[] = {
        {Stay(30, 0, 0) + Walk(10, 50, 50, 30), {}, 29, Range(0, 28)},  // an opening stay keeps its last point
        // inside a track both ends stay; a stay at the end is left alone
        {Walk(5, 0, 50, 0) + Stay(10, 250, 5) + Walk(5, 300, 50, 15) + Stay(10, 600, 20), {}, 8, Range(6, 13)},
        // the last enabled point stays though a deleted one follows it inside the box
        {Stay(5, 0, 0) + Walk(3, 50, 50, 5), {4}, 3, {0, 1, 2, 4}},
        {Walk(5, 0, 50, 0), {1}, 0, {1}},  // a first point with only a deleted one after it
    };
    for (const auto& c : cases) {
        TrackStore store = StoreOf({c.fixes});
        for (int32_t i : c.alreadyDeleted) store.points[i].enabled = 0;
        EXPECT_EQ(DeleteStandstillPoints(store, 10), c.count);
        EXPECT_EQ(Deleted(store), c.deleted);
    }
}

TEST(StandstillDelete, RunsOnlyWithADistanceAndScaleFactorsAndThenClearsTheSelection) {
    TrackStore store = StoreOf({Stay(5, 0, 0) + Walk(3, 50, 50, 5)});
    store.points[2].selected = -1;
    store.selectedCount = 1;
    EXPECT_EQ(DeleteStandstillPoints(store, 0), 0);
    store.kmPerDegLat = 0;  // statistics never computed: no box can be made
    EXPECT_EQ(DeleteStandstillPoints(store, 10), 0);
    EXPECT_EQ(store.selectedCount, 1);
    RecomputeStatistics(store, 0);
    EXPECT_EQ(DeleteStandstillPoints(store, 10), 4);
    EXPECT_EQ(std::pair(store.selectedCount, store.points[2].selected), std::pair(0, 0));
}

TEST(StandstillCollapse, DropsDeletedPointsAndKeepsEmptyTracksEmpty) {
    TrackStore store = StoreOf({Walk(3, 0, 50, 0), Walk(2, 200, 50, 10), Walk(3, 400, 50, 20)});
    for (int32_t i : {1, 3, 4}) store.points[i].enabled = 0;
    store.points[5].selected = -1;
    ASSERT_EQ(CompactAndCollapseStandstills(store, 0), 5);
    EXPECT_EQ(Indices(store.trackEnd.begin(), store.trackEnd.begin() + 3), (Indices{1, 1, 4}));
    EXPECT_EQ(std::pair(store.points[1].time, store.points[2].time), std::pair(int64_t{2}, int64_t{20}));
    EXPECT_EQ(store.selectedCount, 1);

    store = StoreOf({Walk(2, 0, 50, 0), Stay(4, 300, 10), {}});
    store.points[0].enabled = store.points[1].enabled = 0;
    ASSERT_EQ(CompactAndCollapseStandstills(store, 10), 1);
    EXPECT_EQ(Indices(store.trackEnd.begin(), store.trackEnd.begin() + 3), (Indices{-1, 0, 0}));
    EXPECT_EQ(store.points[0].time, 11);  // 10 + 6 / 4
}

TEST(StandstillCollapse, EachStayBecomesItsMeanPoint) {
    TrackStore store = StoreOf({{{0, 0, 10}, {2, 10, 20}, {4, 30, 40}, {100, 40, 50}, {200, 50, 0}, {202, 61, 0}}});
    const LogPoint moving = store.points[3];
    ASSERT_EQ(CompactAndCollapseStandstills(store, 10), 3);
    EXPECT_EQ(store.trackEnd[0], 2);
    EXPECT_NEAR(store.points[0].latitude, 35.0 + 2 * kDegPerMetre, 1e-12);
    EXPECT_FLOAT_EQ(store.points[0].altitude, 70.0f / 3);
    EXPECT_EQ(store.points[0].time, 13);  // 0 + (0 + 10 + 30) / 3
    EXPECT_EQ(std::pair(store.points[1].latitude, store.points[1].time), std::pair(moving.latitude, moving.time));
    EXPECT_EQ(store.points[2].time, 55);  // 50 + 11 / 2
}

TEST(StandstillRobustness, DamagedEndsAndCountsStayInsideTheArrays) {
    TrackStore store = StoreOf({Stay(20, 0, 0) + Walk(5, 50, 50, 20), Walk(5, 0, 50, 0)});
    store.pointCount = 5000;
    store.trackCount = 40;
    store.trackEnd[0] = 9999;
    store.trackEnd[1] = -20;
    store.points[0].time = INT64_MIN;
    store.points[1].time = INT64_MAX;
    EXPECT_GE(DeleteStandstillPoints(store, 10), 0);
    const int32_t count = CompactAndCollapseStandstills(store, 10);
    EXPECT_GE(count, 0);
    EXPECT_LE(count, store.maxlogpoints);
}

}  // namespace
}  // namespace trakvio
