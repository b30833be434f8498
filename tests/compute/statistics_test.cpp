#include "compute/statistics.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <random>
#include <string>
#include <tuple>
#include <utility>

#include "test_support.h"

namespace trakvio {
namespace {

struct Pt {
    double lat, lon;
    int64_t time;
    int32_t enabled = 1;
};

// A store holding the given tracks, its statistics recomputed.
TrackStore Recomputed(std::initializer_list<std::initializer_list<Pt>> tracks, int32_t maxPoints = 10) {
    TrackStore store;
    EXPECT_EQ(CreateTrackStore(store, maxPoints, 4), 0);
    for (const auto& track : tracks) {
        for (const Pt& p : track) EXPECT_TRUE(AppendPoint(store, p.lat, p.lon, 0, 0, p.time, p.enabled));
        EXPECT_TRUE(CloseTrack(store));
    }
    RecomputeStatistics(store, 0);
    return store;
}

// South, north, west, east.
using Box = std::array<double, 4>;
Box Bounds(const TrackRecord& r) { return {r.minLat, r.maxLat, r.minLon, r.maxLon}; }
Box Bounds(const TrackStore& s) { return {s.allMinLat, s.allMaxLat, s.allMinLon, s.allMaxLon}; }

// Kilometres per degree of latitude and of longitude.
std::pair<double, double> KmPerDeg(double latitude) {
    std::pair<double, double> km;
    DegreeLengths(latitude, km.first, km.second);
    return km;
}

// 2023-11-14 22:13:20 UTC, 2023-11-15 07:13:20 in Tokyo.
constexpr int64_t kT0 = 1700000000;

TEST(Statistics, DegreeLengthsMatchWgs84Tables) {
    const struct {
        double latitude, kmLat, kmLon, tolerance;
    } cases[] = {{0, 110.574, 111.320, 0.001},
                 {35, 110.941, 91.288, 0.0005},
                 {45, 111.132, 78.847, 0.0005},
                 {90, 111.694, 0.0, 0.0005}};
    for (const auto& c : cases) {
        auto [kmLat, kmLon] = KmPerDeg(c.latitude);
        EXPECT_NEAR(kmLat, c.kmLat, c.tolerance) << c.latitude;
        EXPECT_NEAR(kmLon, c.kmLon, c.tolerance) << c.latitude;
    }
}

TEST(Statistics, FiguresOfAWalkLeaveDeletedPointsOut) {
    test::ScopedTimeZone tz("Asia/Tokyo");
    // North 0.01 degree, then east 0.01 degree, with times out of order: the texts follow the first and last
    // enabled points, the times are the earliest and latest. The deleted ends lie far away, earlier and later.
    TrackStore store = Recomputed({{{10.0, 10.0, kT0 - 1000, 0},
                                    {35.00, 139.00, kT0 + 60},
                                    {35.01, 139.00, kT0 + 300},
                                    {35.01, 139.01, kT0 + 30},
                                    {80.0, 170.0, kT0 + 999, 0}}});
    const auto [kmLat, kmLon] = KmPerDeg(35.005);
    const TrackRecord& r = store.tracks[0];
    EXPECT_EQ(std::pair(r.firstPoint, r.lastPoint), std::pair(1, 3));
    EXPECT_EQ(Bounds(r), (Box{35.00, 35.01, 139.00, 139.01}));
    EXPECT_NEAR(r.heightKm, 1.1094, 0.0001);
    EXPECT_NEAR(r.widthKm, 0.9128, 0.0001);
    EXPECT_NEAR(r.distanceKm, 0.01 * kmLat + 0.01 * kmLon, 1e-9);
    EXPECT_EQ(std::tuple(r.startTime, r.endTime, std::string(r.startText), std::string(r.endText)),
              std::tuple(kT0 + 30, kT0 + 300, "2023-11-15 07:14:20", "2023-11-15 07:13:50"));

    EXPECT_EQ(std::tuple(store.firstEnabledPoint, store.lastEnabledPoint, store.earliestTime, store.latestTime),
              std::tuple(1, 3, kT0 + 30, kT0 + 300));
    EXPECT_EQ(Bounds(store), Bounds(r));
    EXPECT_DOUBLE_EQ(store.kmPerDegLat, kmLat);
    EXPECT_DOUBLE_EQ(store.totalDistanceKm, r.distanceKm);
    EXPECT_EQ(store.totalDuration, 270);
}

TEST(Statistics, TracksWithFewerThanTwoEnabledPoints) {
    test::ScopedTimeZone tz("UTC");
    // An empty first track has no point to take a time from; a track whose points are all deleted loses its
    // figures, takes the time of its end and stays out of the totals; a single point shows its logged speed.
    TrackStore store = Recomputed({{},
                                   {{-33.5, 151.25, kT0}},
                                   {{10.0, 10.0, kT0 + 500}, {80.0, 170.0, kT0 + 700}},
                                   {{35.00, 151.25, kT0 + 1000}, {35.01, 151.25, kT0 + 1100}}});
    store.points[0].loggedSpeed = 12.5f;
    store.points[1].enabled = store.points[2].enabled = 0;
    RecomputeStatistics(store, 0);

    EXPECT_EQ(store.tracks[0].startTime, 0);
    const TrackRecord& single = store.tracks[1];
    EXPECT_EQ(Bounds(single), (Box{-33.5, -33.5, 151.25, 151.25}));
    EXPECT_EQ(std::tuple(single.distanceKm, std::string(single.startText), std::string(single.endText)),
              std::tuple(0.0, "2023-11-14 22:13:20", "2023-11-14 22:13:20"));
    EXPECT_FLOAT_EQ(store.points[0].speed, 12.5f);

    const TrackRecord& deleted = store.tracks[2];
    EXPECT_EQ(std::tuple(deleted.firstPoint, deleted.startTime, deleted.endTime, std::string(deleted.startText),
                         deleted.distanceKm),
              std::tuple(-1, kT0 + 700, kT0 + 700, "", 0.0));

    EXPECT_EQ(Bounds(store), (Box{-33.5, 35.01, 151.25, 151.25}));
    EXPECT_EQ(store.totalDuration, 100);
    EXPECT_NEAR(store.totalDistanceKm, 0.01 * store.kmPerDegLat, 1e-9);
}

TEST(Statistics, DistanceRunsOnAcrossTracksAndPastDeletedPoints) {
    // The deleted points lie far away; the distance goes straight past them,
    // and the 0.04 degree gap between the tracks adds nothing.
    TrackStore store =
        Recomputed({{{0.0, 0.0, kT0}, {1.0, 1.0, kT0 + 10, 0}, {0.0, 0.01, kT0 + 20}, {5.0, 5.0, kT0 + 30, 0}},
                    {{0.0, 0.05, kT0 + 3600}, {0.0, 0.06, kT0 + 3700}}});
    const double leg = 0.01 * KmPerDeg(0.0).second;
    const double expected[] = {0, 0, leg, leg, leg, 2 * leg};
    for (int i = 0; i < 6; ++i) EXPECT_NEAR(store.points[i].distance, expected[i], 1e-5) << i;
    EXPECT_NEAR(store.tracks[0].distanceKm, leg, 1e-9);
    EXPECT_NEAR(store.tracks[1].distanceKm, leg, 1e-9);
    EXPECT_NEAR(store.totalDistanceKm, 2 * leg, 1e-9);
    EXPECT_EQ(store.totalDuration, 120);
}

TEST(Statistics, SpeedsOverAWindowOfEnabledPoints) {
    // 0.001 degree of longitude at the equator is 111.3 m; the second point is deleted.
    TrackStore store = Recomputed({{{0.0, 0.000, kT0},
                                    {0.0, 0.050, kT0 + 5, 0},
                                    {0.0, 0.002, kT0 + 20},
                                    {0.0, 0.003, kT0 + 30},
                                    {0.0, 0.005, kT0 + 40},
                                    {0.0, 0.006, kT0 + 40}}});
    store.speedWindow = 1;
    store.points[1].speed = -7.0f;
    RecomputeStatistics(store, 0);
    EXPECT_NEAR(store.points[2].speed, 40.07, 0.01);  // (0, 2): 222.6 m in 20 s
    EXPECT_NEAR(store.points[3].speed, 40.07, 0.01);  // 111.3 m in 10 s
    EXPECT_NEAR(store.points[4].speed, 80.15, 0.01);  // 222.6 m in 10 s
    EXPECT_EQ(store.points[5].speed, 0.0f);           // equal times
    EXPECT_FLOAT_EQ(store.points[0].speed, store.points[2].speed);
    EXPECT_FLOAT_EQ(store.points[1].speed, -7.0f);  // deleted points keep theirs

    // Three intervals: measured from the start until the window is full, then
    // the trailing end steps past the deleted point.
    ComputeSpeeds(store, 3);
    EXPECT_NEAR(store.points[4].speed, 50.09, 0.01);  // (0, 4): 556.6 m in 40 s
    EXPECT_NEAR(store.points[5].speed, 80.15, 0.01);  // (2, 5): 445.2 m in 20 s
}

// Everything the statistics write, compared bit for bit (whole track records: the stores are copies of one store,
// so the fields the statistics leave alone are equal too).
void ExpectSameFigures(const TrackStore& a, const TrackStore& b) {
    for (int32_t i = 0; i < a.maxlogpoints; ++i) {
        const float p[] = {a.points[i].distance, a.points[i].speed}, q[] = {b.points[i].distance, b.points[i].speed};
        ASSERT_EQ(std::memcmp(p, q, sizeof p), 0) << "point " << i;
    }
    for (int32_t t = 0; t < a.maxtracks; ++t)
        ASSERT_EQ(std::memcmp(&a.tracks[t], &b.tracks[t], sizeof(TrackRecord)), 0) << "track " << t;
    EXPECT_EQ(std::tie(a.firstEnabledPoint, a.lastEnabledPoint, a.earliestTime, a.latestTime, a.totalDuration),
              std::tie(b.firstEnabledPoint, b.lastEnabledPoint, b.earliestTime, b.latestTime, b.totalDuration));
    auto figures = [](const TrackStore& s) {
        return std::array{s.allMinLat,   s.allMaxLat,   s.allMinLon,      s.allMaxLon,
                          s.kmPerDegLat, s.kmPerDegLon, s.totalDistanceKm};
    };
    EXPECT_EQ(std::memcmp(figures(a).data(), figures(b).data(), sizeof(double) * 7), 0);
}

TEST(Statistics, KeptFiguresStayAsTheyWere) {
    TrackStore store = Recomputed({{{35.0, 139.0, kT0}, {35.01, 139.01, kT0 + 100}}});
    TrackStore before = store;
    // Keep-overall mode: a live fix far outside the old bounds extends the open track. The bounds, factors and
    // totals stay; the track and the global figures follow, with factors taken at the new middle latitude.
    --store.trackCount;
    ASSERT_TRUE(AppendPoint(store, 36.0, 140.0, 0, 0, kT0 + 200, 1));
    ASSERT_TRUE(CloseTrack(store));
    RecomputeStatistics(store, 1);
    EXPECT_EQ(Bounds(store), Bounds(before));
    EXPECT_EQ(std::tie(store.kmPerDegLat, store.totalDistanceKm, store.totalDuration),
              std::tie(before.kmPerDegLat, before.totalDistanceKm, before.totalDuration));
    const auto [kmLat, kmLon] = KmPerDeg(35.5);
    EXPECT_EQ(std::tuple(store.lastEnabledPoint, store.latestTime, store.tracks[0].endTime),
              std::tuple(2, kT0 + 200, kT0 + 200));
    EXPECT_NEAR(store.tracks[0].distanceKm, std::hypot(kmLat, kmLon), 1e-9);  // one degree north-east

    // All points deleted: only the two global indices change.
    for (int i = 0; i < store.pointCount; ++i) store.points[i].enabled = 0;
    TrackStore expected = store;
    expected.firstEnabledPoint = expected.lastEnabledPoint = 0;
    RecomputeStatistics(store, 0);
    ExpectSameFigures(store, expected);
}

TEST(Statistics, TotalDurationWrapsAt32Bits) {
    TrackStore store =
        Recomputed({{{0.0, 0.0, 0}, {0.0, 0.0, 3000000000LL}}, {{0.0, 0.0, 3000000000LL}, {0.0, 0.0, 3000000100LL}}});
    EXPECT_EQ(store.totalDuration, static_cast<int32_t>(3000000100LL - 4294967296LL));
}

TEST(Statistics, DamagedStoreStaysInsideTheArrays) {
    TrackStore store = Recomputed({{{0.0, 0.0, kT0}, {0.0, 0.001, kT0 + 10}, {0.0, 0.002, kT0 + 20}},
                                   {{0.0, 0.003, kT0 + 30}, {0.0, 0.004, kT0 + 40}}},
                                  6);
    store.pointCount = 1000;
    store.trackCount = 50;
    store.trackEnd[0] = -7;
    store.trackEnd[1] = 1 << 30;
    store.trackEnd[2] = 2;  // behind the previous end: neither track gets a point
    store.trackEnd[3] = 4;
    store.speedWindow = -3;
    RecomputeStatistics(store, 0);
    EXPECT_EQ(store.tracks[0].firstPoint, -1);
    EXPECT_EQ(std::pair(store.tracks[1].firstPoint, store.tracks[1].lastPoint), std::pair(0, 4));
    EXPECT_EQ(std::pair(store.tracks[2].firstPoint, store.tracks[3].firstPoint), std::pair(-1, -1));
    EXPECT_NEAR(store.points[4].speed, 40.07, 0.01);  // a window below 1 counts as 1

    // Records that point outside the array do not send the speeds there.
    store.tracks[1].lastPoint = store.tracks[2].lastPoint = 1 << 30;
    store.tracks[2].firstPoint = 700;
    ComputeSpeeds(store, 1 << 30);
    EXPECT_NEAR(store.points[4].speed, 40.07, 0.01);  // (0, 4): 445.2 m in 40 s
}

// A latitude range given by the caller only saves a pass: right or wrong,
// the figures are those computed without it.
TEST(Statistics, AGivenLatitudeRangeChangesNoFigure) {
    std::mt19937 random(11);
    for (int round = 0; round < 300; ++round) {
        TrackStore store;
        ASSERT_EQ(CreateTrackStore(store, 64, 6), 0);
        store.speedWindow = 1 + static_cast<int32_t>(random() % 4);
        int tracks = static_cast<int>(random() % 5);
        double low = 0, high = 0;
        bool any = false;
        for (int t = 0; t < tracks || (round % 3 == 0 && t == tracks); ++t) {
            int n = static_cast<int>(random() % 9);
            for (int i = 0; i < n; ++i) {
                double lat = round % 7 == 0 ? (random() % 2 ? 0.0 : -0.0) : -80.0 + (random() % 16000) * 0.01;
                if (round % 29 == 0 && i == 1) lat = std::nan("");
                int32_t enabled = random() % 4 ? 1 : 0;
                AppendPoint(store, lat, (random() % 36000) * 0.01 - 180, 0, 0, kT0 + (random() % 1000), enabled);
                if (enabled && !std::isnan(lat)) {
                    low = any ? std::min(low, lat) : lat;
                    high = any ? std::max(high, lat) : lat;
                    any = true;
                }
            }
            if (t < tracks) CloseTrack(store);  // else the points stay behind the last track
        }
        if (round % 11 == 0 && store.trackCount > 1) store.trackEnd[1] = store.trackEnd[0] - 1;
        TrackStore reference = store;
        RecomputeStatistics(reference, 0);
        const LatitudeRange ranges[] = {{low, high}, {low, std::nextafter(high, 100.0)}, {high, low}, {-90, 90}};
        for (const LatitudeRange& range : ranges) {
            for (int keep : {0, 1}) {
                SCOPED_TRACE("round " + std::to_string(round) + ", range " + std::to_string(range.min) + " " +
                             std::to_string(range.max) + ", keep " + std::to_string(keep));
                TrackStore given = store, plain = store;
                RecomputeStatistics(given, keep, &range);
                RecomputeStatistics(plain, keep);
                ExpectSameFigures(given, plain);
            }
        }
    }
}

// A large store is shared with a second thread; the figures must not show it.
TEST(Statistics, TwoThreadsGiveTheFiguresOfOne) {
    TrackStore store;
    ASSERT_EQ(CreateTrackStore(store, 400000, 8), 0);
    std::mt19937 random(5);
    double lat = 35.6, lon = 139.7;
    const int32_t ends[] = {5000, 5001, 150000, 150000, 290000, 310000, 399000};
    int64_t time = kT0;
    for (int32_t end : ends) {
        while (store.pointCount <= end) {
            lat += (static_cast<int>(random() % 201) - 100) * 1e-6;
            lon += (static_cast<int>(random() % 201) - 100) * 1e-6;
            time += random() % 3;
            AppendPoint(store, lat, lon, 0, 0, time, random() % 10 ? 1 : 0);
        }
        CloseTrack(store);
    }
    for (int i = 0; i < 500; ++i) AppendPoint(store, lat, lon, 0, 0, time, 1);  // behind the last track
    store.speedWindow = 3;
    for (int keep : {0, 1}) {
        TrackStore one = store, two = store;
        RecomputeStatistics(one, keep, nullptr, 1);
        RecomputeStatistics(two, keep, nullptr, 2);
        ExpectSameFigures(one, two);
        LatitudeRange range{one.allMinLat, one.allMaxLat};
        TrackStore given = store;
        RecomputeStatistics(given, keep, &range, 2);
        ExpectSameFigures(one, given);
    }
    TrackStore figures = store;
    RecomputeStatistics(figures, 0);
    EXPECT_GT(figures.points[398000].distance, figures.points[200000].distance);
    EXPECT_NEAR(figures.totalDistanceKm, figures.points[399000].distance, 0.01);
}

TEST(Statistics, ZoomFitsTheData) {
    // A square of the given side around 35 degrees north. Zoom 20 fits 0.08 km
    // by 0.175 km, and each level below it twice as much.
    const auto [kmLat, kmLon] = KmPerDeg(35.0);
    for (auto [side, zoom] : {std::pair{0.1, 19}, std::pair{10.0, 13}}) {
        const double dLat = side / kmLat, dLon = side / kmLon;
        TrackStore store = Recomputed({{{35.0 - dLat / 2, 139.0, kT0}, {35.0 + dLat / 2, 139.0 + dLon, kT0 + 60}}});
        FitZoom(store);
        EXPECT_EQ(store.initialZoom, zoom) << side << " km";
    }
}

}  // namespace
}  // namespace trakvio
