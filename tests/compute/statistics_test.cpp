#include "compute/statistics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string>

#include "test_support.h"

namespace trakvio {
namespace {

struct Pt {
    double lat;
    double lon;
    int64_t time;
    int32_t enabled = 1;
    float loggedSpeed = 0;
};

// Appends the points and closes them into one track.
void AddTrack(TrackStore& store, std::initializer_list<Pt> points) {
    for (const Pt& p : points) ASSERT_TRUE(AppendPoint(store, p.lat, p.lon, 0, p.loggedSpeed, p.time, p.enabled));
    ASSERT_TRUE(CloseTrack(store));
}

std::string Text(const char (&text)[20]) { return std::string(text); }

bool AllZero(const char (&text)[20]) {
    for (char c : text) {
        if (c != 0) return false;
    }
    return true;
}

double KmPerDegLatAt(double latitude) {
    double lat = 0, lon = 0;
    DegreeLengths(latitude, lat, lon);
    return lat;
}

double KmPerDegLonAt(double latitude) {
    double lat = 0, lon = 0;
    DegreeLengths(latitude, lat, lon);
    return lon;
}

// 2023-11-14 22:13:20 UTC.
constexpr int64_t kT0 = 1700000000;

TEST(Statistics, DegreeLengthsMatchWgs84Tables) {
    double lat = 0, lon = 0;
    DegreeLengths(0, lat, lon);
    EXPECT_NEAR(lat, 110.574, 0.001);
    EXPECT_NEAR(lon, 111.320, 0.001);
    DegreeLengths(35, lat, lon);
    EXPECT_NEAR(lat, 110.941, 0.0005);
    EXPECT_NEAR(lon, 91.288, 0.0005);
    DegreeLengths(45, lat, lon);
    EXPECT_NEAR(lat, 111.132, 0.0005);
    EXPECT_NEAR(lon, 78.847, 0.0005);
    DegreeLengths(-45, lat, lon);
    EXPECT_NEAR(lat, 111.132, 0.0005);
    EXPECT_NEAR(lon, 78.847, 0.0005);
    DegreeLengths(90, lat, lon);
    EXPECT_NEAR(lat, 111.694, 0.0005);
    EXPECT_NEAR(lon, 0.0, 1e-9);
}

TEST(Statistics, TrackFiguresOfAWalk) {
    test::ScopedTimeZone tz("UTC");
    TrackStore store;
    ASSERT_EQ(CreateTrackStore(store, 10, 2), 0);
    // North 0.01 degree, then east 0.01 degree, 100 s apart each.
    AddTrack(store, {{35.00, 139.00, kT0}, {35.01, 139.00, kT0 + 100}, {35.01, 139.01, kT0 + 200}});
    RecomputeStatistics(store, 0);

    const double kmLat = KmPerDegLatAt(35.005);
    const double kmLon = KmPerDegLonAt(35.005);
    const TrackRecord& r = store.tracks[0];
    EXPECT_EQ(r.firstPoint, 0);
    EXPECT_EQ(r.lastPoint, 2);
    EXPECT_DOUBLE_EQ(r.minLat, 35.00);
    EXPECT_DOUBLE_EQ(r.maxLat, 35.01);
    EXPECT_DOUBLE_EQ(r.minLon, 139.00);
    EXPECT_DOUBLE_EQ(r.maxLon, 139.01);
    EXPECT_NEAR(r.heightKm, 1.1094, 0.0001);
    EXPECT_NEAR(r.widthKm, 0.9128, 0.0001);
    EXPECT_NEAR(r.distanceKm, 0.01 * kmLat + 0.01 * kmLon, 1e-9);
    EXPECT_EQ(r.startTime, kT0);
    EXPECT_EQ(r.endTime, kT0 + 200);
    EXPECT_EQ(Text(r.startText), "2023-11-14 22:13:20");
    EXPECT_EQ(Text(r.endText), "2023-11-14 22:16:40");

    EXPECT_FLOAT_EQ(store.points[0].distance, 0.0f);
    EXPECT_NEAR(store.points[1].distance, 1.1094, 0.0001);
    EXPECT_NEAR(store.points[2].distance, 2.0222, 0.0001);

    EXPECT_EQ(store.firstEnabledPoint, 0);
    EXPECT_EQ(store.lastEnabledPoint, 2);
    EXPECT_EQ(store.earliestTime, kT0);
    EXPECT_EQ(store.latestTime, kT0 + 200);
    EXPECT_DOUBLE_EQ(store.kmPerDegLat, kmLat);
    EXPECT_DOUBLE_EQ(store.kmPerDegLon, kmLon);
    EXPECT_DOUBLE_EQ(store.allMinLat, 35.00);
    EXPECT_DOUBLE_EQ(store.allMaxLat, 35.01);
    EXPECT_DOUBLE_EQ(store.allMinLon, 139.00);
    EXPECT_DOUBLE_EQ(store.allMaxLon, 139.01);
    EXPECT_DOUBLE_EQ(store.totalDistanceKm, r.distanceKm);
    EXPECT_EQ(store.totalDuration, 200);
}

TEST(Statistics, TextsShowFirstAndLastPointInLocalTime) {
    test::ScopedTimeZone tz("Asia/Tokyo");
    TrackStore store;
    ASSERT_EQ(CreateTrackStore(store, 10, 2), 0);
    // Times out of order: the texts follow the first and last enabled points,
    // the start and end times are the earliest and latest.
    AddTrack(store, {{35.0, 139.0, kT0 + 50, 0},
                     {35.0, 139.0, kT0 + 60},
                     {35.0, 139.0, kT0},
                     {35.0, 139.0, kT0 + 300},
                     {35.0, 139.0, kT0 + 30},
                     {35.0, 139.0, kT0 + 999, 0}});
    RecomputeStatistics(store, 0);
    const TrackRecord& r = store.tracks[0];
    EXPECT_EQ(r.firstPoint, 1);
    EXPECT_EQ(r.lastPoint, 4);
    EXPECT_EQ(r.startTime, kT0);
    EXPECT_EQ(r.endTime, kT0 + 300);
    EXPECT_EQ(Text(r.startText), "2023-11-15 07:14:20");
    EXPECT_EQ(Text(r.endText), "2023-11-15 07:13:50");
    EXPECT_EQ(store.earliestTime, kT0);
    EXPECT_EQ(store.latestTime, kT0 + 300);
    EXPECT_EQ(store.totalDuration, 300);
}

TEST(Statistics, SinglePointTrack) {
    test::ScopedTimeZone tz("UTC");
    TrackStore store;
    ASSERT_EQ(CreateTrackStore(store, 10, 2), 0);
    AddTrack(store, {{-33.5, 151.25, kT0, 1, 12.5f}});
    RecomputeStatistics(store, 0);
    const TrackRecord& r = store.tracks[0];
    EXPECT_EQ(r.firstPoint, 0);
    EXPECT_EQ(r.lastPoint, 0);
    EXPECT_DOUBLE_EQ(r.minLat, -33.5);
    EXPECT_DOUBLE_EQ(r.maxLat, -33.5);
    EXPECT_DOUBLE_EQ(r.minLon, 151.25);
    EXPECT_DOUBLE_EQ(r.maxLon, 151.25);
    EXPECT_EQ(r.heightKm, 0);
    EXPECT_EQ(r.widthKm, 0);
    EXPECT_EQ(r.distanceKm, 0);
    EXPECT_EQ(Text(r.startText), "2023-11-14 22:13:20");
    EXPECT_EQ(Text(r.endText), "2023-11-14 22:13:20");
    EXPECT_FLOAT_EQ(store.points[0].speed, 12.5f);
    EXPECT_EQ(store.totalDuration, 0);
}

TEST(Statistics, AllPointsDeletedChangesOnlyTheGlobalIndices) {
    test::ScopedTimeZone tz("UTC");
    TrackStore store;
    ASSERT_EQ(CreateTrackStore(store, 10, 2), 0);
    AddTrack(store, {{35.0, 139.0, kT0}, {35.01, 139.0, kT0 + 10}});
    AddTrack(store, {{35.02, 139.0, kT0 + 20}, {35.03, 139.0, kT0 + 30}});
    RecomputeStatistics(store, 0);
    FitZoom(store);
    const TrackStore before = store;

    for (int i = 0; i < store.pointCount; ++i) store.points[i].enabled = 0;
    RecomputeStatistics(store, 0);

    EXPECT_EQ(store.firstEnabledPoint, 0);
    EXPECT_EQ(store.lastEnabledPoint, 0);
    EXPECT_EQ(store.earliestTime, before.earliestTime);
    EXPECT_EQ(store.latestTime, before.latestTime);
    EXPECT_EQ(store.allMinLat, before.allMinLat);
    EXPECT_EQ(store.allMaxLat, before.allMaxLat);
    EXPECT_EQ(store.kmPerDegLat, before.kmPerDegLat);
    EXPECT_EQ(store.totalDistanceKm, before.totalDistanceKm);
    EXPECT_EQ(store.totalDuration, before.totalDuration);
    EXPECT_EQ(store.initialZoom, before.initialZoom);
    for (int t = 0; t < 2; ++t) {
        EXPECT_EQ(store.tracks[t].firstPoint, before.tracks[t].firstPoint);
        EXPECT_EQ(store.tracks[t].distanceKm, before.tracks[t].distanceKm);
        EXPECT_EQ(store.tracks[t].maxLat, before.tracks[t].maxLat);
        EXPECT_EQ(Text(store.tracks[t].startText), Text(before.tracks[t].startText));
    }
    for (int i = 0; i < store.pointCount; ++i) {
        EXPECT_EQ(store.points[i].distance, before.points[i].distance);
        EXPECT_EQ(store.points[i].speed, before.points[i].speed);
    }
}

TEST(Statistics, EmptyStoreSetsOnlyTheGlobalIndices) {
    TrackStore store;
    ASSERT_EQ(CreateTrackStore(store, 10, 2), 0);
    store.firstEnabledPoint = 7;
    store.lastEnabledPoint = 9;
    store.allMinLat = 12;
    store.totalDuration = 42;
    RecomputeStatistics(store, 0);
    EXPECT_EQ(store.firstEnabledPoint, 0);
    EXPECT_EQ(store.lastEnabledPoint, 0);
    EXPECT_EQ(store.allMinLat, 12);
    EXPECT_EQ(store.totalDuration, 42);
}

TEST(Statistics, TrackWithoutEnabledPointsIsLeftOutOfTheTotals) {
    test::ScopedTimeZone tz("UTC");
    TrackStore store;
    ASSERT_EQ(CreateTrackStore(store, 10, 3), 0);
    AddTrack(store, {{35.0, 139.0, kT0}, {35.01, 139.0, kT0 + 100}});
    AddTrack(store, {{10.0, 10.0, kT0 + 500, 0}, {80.0, 170.0, kT0 + 700, 0}});
    AddTrack(store, {{35.02, 139.0, kT0 + 1000}, {35.03, 139.0, kT0 + 1100}});
    // Stale figures from an earlier state must go.
    std::snprintf(store.tracks[1].startText, 20, "stale");
    store.tracks[1].distanceKm = 99;
    RecomputeStatistics(store, 0);

    const TrackRecord& r = store.tracks[1];
    EXPECT_EQ(r.firstPoint, -1);
    EXPECT_EQ(r.lastPoint, -1);
    EXPECT_EQ(r.startTime, kT0 + 700);
    EXPECT_EQ(r.endTime, kT0 + 700);
    EXPECT_TRUE(AllZero(r.startText));
    EXPECT_TRUE(AllZero(r.endText));
    EXPECT_EQ(r.minLat, 0);
    EXPECT_EQ(r.maxLon, 0);
    EXPECT_EQ(r.heightKm, 0);
    EXPECT_EQ(r.distanceKm, 0);

    EXPECT_DOUBLE_EQ(store.allMinLat, 35.0);
    EXPECT_DOUBLE_EQ(store.allMaxLat, 35.03);
    EXPECT_DOUBLE_EQ(store.allMinLon, 139.0);
    EXPECT_DOUBLE_EQ(store.allMaxLon, 139.0);
    EXPECT_EQ(store.totalDuration, 200);
    EXPECT_NEAR(store.totalDistanceKm, 0.02 * store.kmPerDegLat, 1e-9);
    EXPECT_EQ(store.lastEnabledPoint, 5);
}

TEST(Statistics, EmptyTrackTakesTheTimeOfThePrecedingPoint) {
    TrackStore store;
    ASSERT_EQ(CreateTrackStore(store, 10, 3), 0);
    ASSERT_TRUE(CloseTrack(store));  // an empty first track: there is no point to take a time from
    AddTrack(store, {{35.0, 139.0, kT0}, {35.01, 139.0, kT0 + 100}});
    ASSERT_TRUE(CloseTrack(store));  // an empty third track
    RecomputeStatistics(store, 0);
    EXPECT_EQ(store.tracks[0].firstPoint, -1);
    EXPECT_EQ(store.tracks[0].startTime, 0);
    EXPECT_EQ(store.tracks[0].endTime, 0);
    EXPECT_EQ(store.tracks[1].firstPoint, 0);
    EXPECT_EQ(store.tracks[1].lastPoint, 1);
    EXPECT_EQ(store.tracks[2].firstPoint, -1);
    EXPECT_EQ(store.tracks[2].lastPoint, -1);
    EXPECT_EQ(store.tracks[2].startTime, kT0 + 100);
    EXPECT_EQ(store.tracks[2].endTime, kT0 + 100);
    EXPECT_TRUE(AllZero(store.tracks[2].startText));
}

TEST(Statistics, DistanceRunsOnAcrossTracks) {
    TrackStore store;
    ASSERT_EQ(CreateTrackStore(store, 10, 2), 0);
    // The second track begins about 5 km north of the first one's end.
    AddTrack(store, {{35.00, 139.0, kT0}, {35.01, 139.0, kT0 + 100}});
    AddTrack(store, {{35.055, 139.0, kT0 + 3600}, {35.065, 139.0, kT0 + 3700}});
    RecomputeStatistics(store, 0);

    const double leg = 0.01 * KmPerDegLatAt(35.0325);
    EXPECT_NEAR(store.tracks[0].distanceKm, leg, 1e-9);
    EXPECT_NEAR(store.tracks[1].distanceKm, leg, 1e-9);
    EXPECT_NEAR(store.points[1].distance, leg, 1e-5);
    EXPECT_NEAR(store.points[2].distance, leg, 1e-5);  // the 5 km gap adds nothing
    EXPECT_NEAR(store.points[3].distance, 2 * leg, 1e-5);
    EXPECT_NEAR(store.totalDistanceKm, 2 * leg, 1e-9);
    EXPECT_EQ(store.totalDuration, 200);
}

TEST(Statistics, DeletedPointCarriesThePrecedingDistance) {
    TrackStore store;
    ASSERT_EQ(CreateTrackStore(store, 10, 2), 0);
    // The deleted point is far away; the distance goes straight past it.
    AddTrack(store, {{0.0, 0.0, kT0}, {1.0, 1.0, kT0 + 10, 0}, {0.0, 0.01, kT0 + 20}, {5.0, 5.0, kT0 + 30, 0}});
    RecomputeStatistics(store, 0);
    const double leg = 0.01 * KmPerDegLonAt(0.0);
    EXPECT_FLOAT_EQ(store.points[1].distance, 0.0f);
    EXPECT_NEAR(store.points[2].distance, leg, 1e-5);
    EXPECT_FLOAT_EQ(store.points[3].distance, store.points[2].distance);
    EXPECT_NEAR(store.tracks[0].distanceKm, leg, 1e-9);
    EXPECT_DOUBLE_EQ(store.tracks[0].maxLat, 0.0);
    EXPECT_DOUBLE_EQ(store.tracks[0].maxLon, 0.01);
    EXPECT_EQ(store.tracks[0].lastPoint, 2);
    EXPECT_EQ(store.tracks[0].endTime, kT0 + 20);
}

TEST(Statistics, PointsBeforeTheFirstEnabledKeepTheirDistance) {
    TrackStore store;
    ASSERT_EQ(CreateTrackStore(store, 10, 2), 0);
    AddTrack(store, {{0.0, 0.0, kT0}, {0.0, 0.01, kT0 + 10}});
    AddTrack(store, {{0.0, 3.0, kT0 + 20, 0}, {0.0, 0.02, kT0 + 30}});
    store.points[2].distance = 123.0f;
    store.points[2].speed = 45.0f;
    RecomputeStatistics(store, 0);
    EXPECT_FLOAT_EQ(store.points[2].distance, 123.0f);
    EXPECT_FLOAT_EQ(store.points[2].speed, 45.0f);
    EXPECT_EQ(store.tracks[1].firstPoint, 3);
    EXPECT_FLOAT_EQ(store.points[3].distance, store.points[1].distance);
}

TEST(Statistics, EqualTimesGiveSpeedZero) {
    TrackStore store;
    ASSERT_EQ(CreateTrackStore(store, 10, 2), 0);
    store.speedWindow = 1;
    AddTrack(store, {{0.0, 0.0, kT0}, {0.0, 0.001, kT0 + 10}, {0.0, 0.002, kT0 + 10}, {0.0, 0.003, kT0 + 20}});
    RecomputeStatistics(store, 0);
    EXPECT_NEAR(store.points[1].speed, 40.07, 0.01);
    EXPECT_EQ(store.points[2].speed, 0.0f);
    EXPECT_NEAR(store.points[3].speed, 40.07, 0.01);
    EXPECT_NEAR(store.points[0].speed, 40.07, 0.01);
}

TEST(Statistics, WindowOfOneSkipsADeletedSecondPoint) {
    TrackStore store;
    ASSERT_EQ(CreateTrackStore(store, 10, 2), 0);
    store.speedWindow = 1;
    // 0.001 degree of longitude at the equator is 111.3 m.
    AddTrack(store, {{0.0, 0.000, kT0},
                     {0.0, 0.050, kT0 + 5, 0},
                     {0.0, 0.002, kT0 + 20},
                     {0.0, 0.003, kT0 + 30},
                     {0.0, 0.005, kT0 + 40}});
    store.points[1].speed = -7.0f;
    RecomputeStatistics(store, 0);
    EXPECT_NEAR(store.points[2].speed, 40.07, 0.01);  // 222.6 m in 20 s
    EXPECT_NEAR(store.points[3].speed, 40.07, 0.01);  // 111.3 m in 10 s
    EXPECT_NEAR(store.points[4].speed, 80.15, 0.01);  // 222.6 m in 10 s
    EXPECT_FLOAT_EQ(store.points[0].speed, store.points[2].speed);
    EXPECT_FLOAT_EQ(store.points[1].speed, -7.0f);  // deleted points keep theirs
}

TEST(Statistics, SpeedOverAWindowOfEnabledPoints) {
    TrackStore store;
    ASSERT_EQ(CreateTrackStore(store, 10, 2), 0);
    store.speedWindow = 2;
    // 111.3 m per step, at uneven times; point 3 is deleted.
    AddTrack(store, {{0.0, 0.000, kT0},
                     {0.0, 0.001, kT0 + 10},
                     {0.0, 0.002, kT0 + 20},
                     {0.0, 0.099, kT0 + 25, 0},
                     {0.0, 0.003, kT0 + 40},
                     {0.0, 0.004, kT0 + 50},
                     {0.0, 0.005, kT0 + 100}});
    RecomputeStatistics(store, 0);
    EXPECT_NEAR(store.points[1].speed, 40.07, 0.01);  // lead-in: from the first point
    EXPECT_NEAR(store.points[2].speed, 40.07, 0.01);  // (0, 2): 222.6 m in 20 s
    EXPECT_NEAR(store.points[4].speed, 26.72, 0.01);  // (1, 4): 222.6 m in 30 s
    EXPECT_NEAR(store.points[5].speed, 26.72, 0.01);  // (2, 5): 222.6 m in 30 s
    EXPECT_NEAR(store.points[6].speed, 13.36, 0.01);  // (4, 6): 222.6 m in 60 s
    EXPECT_FLOAT_EQ(store.points[0].speed, store.points[1].speed);

    // A wider window than the track: every point is measured from the start.
    ComputeSpeeds(store, 50);
    EXPECT_NEAR(store.points[2].speed, 40.07, 0.01);
    EXPECT_NEAR(store.points[4].speed, 30.06, 0.01);  // 333.9 m in 40 s
    EXPECT_NEAR(store.points[6].speed, 20.04, 0.01);  // 556.6 m in 100 s

    // A window below 1 counts as 1.
    ComputeSpeeds(store, 0);
    EXPECT_NEAR(store.points[4].speed, 20.04, 0.01);  // (2, 4): 111.3 m in 20 s
}

TEST(Statistics, ChangingTheWindowMatchesAFullRecompute) {
    TrackStore store;
    ASSERT_EQ(CreateTrackStore(store, 100, 3), 0);
    store.speedWindow = 20;
    // An uneven walk with pauses and deleted points, in two tracks.
    for (int track = 0; track < 2; ++track) {
        for (int i = 0; i < 40; ++i) {
            double lon = 0.0001 * (i * i % 17) + 0.001 * i;
            int64_t time = kT0 + 1000 * track + 7 * i - (i % 5 == 0 ? 3 : 0);
            ASSERT_TRUE(AppendPoint(store, 0.0001 * i, lon, 0, 0, time, i % 7 == 3 ? 0 : 1));
        }
        ASSERT_TRUE(CloseTrack(store));
    }
    RecomputeStatistics(store, 0);
    for (int window : {1, 3, 20, 50}) {
        ComputeSpeeds(store, window);
        TrackStore recomputed = store;
        recomputed.speedWindow = window;
        for (int i = 0; i < store.pointCount; ++i) recomputed.points[i].speed = -1;
        for (int i = 0; i < store.pointCount; ++i) {
            if (store.points[i].enabled == 0) store.points[i].speed = -1;
        }
        RecomputeStatistics(recomputed, 0);
        for (int i = 0; i < store.pointCount; ++i) {
            EXPECT_EQ(recomputed.points[i].speed, store.points[i].speed) << "window " << window << " point " << i;
        }
    }
}

TEST(Statistics, SpeedsAreComputedPerTrack) {
    TrackStore store;
    ASSERT_EQ(CreateTrackStore(store, 10, 3), 0);
    store.speedWindow = 20;
    AddTrack(store, {{0.0, 0.000, kT0}, {0.0, 0.001, kT0 + 10}});
    AddTrack(store, {{0.0, 0.1, kT0 + 1000, 1, 3.5f}});
    AddTrack(store, {{0.0, 0.2, kT0 + 2000}, {0.0, 0.202, kT0 + 2010}});
    RecomputeStatistics(store, 0);
    EXPECT_NEAR(store.points[1].speed, 40.07, 0.01);
    EXPECT_FLOAT_EQ(store.points[2].speed, 3.5f);
    EXPECT_NEAR(store.points[4].speed, 80.15, 0.01);
    EXPECT_NEAR(store.points[3].speed, 80.15, 0.01);
}

TEST(Statistics, KeepOverallLeavesBoundsAndTotals) {
    TrackStore store;
    ASSERT_EQ(CreateTrackStore(store, 10, 2), 0);
    AddTrack(store, {{35.0, 139.0, kT0}, {35.01, 139.01, kT0 + 100}});
    RecomputeStatistics(store, 0);
    const TrackStore before = store;

    // A live fix far outside the old bounds extends the open track.
    --store.trackCount;
    ASSERT_TRUE(AppendPoint(store, 36.0, 140.0, 0, 0, kT0 + 200, 1));
    ASSERT_TRUE(CloseTrack(store));
    RecomputeStatistics(store, 1);

    EXPECT_EQ(store.allMinLat, before.allMinLat);
    EXPECT_EQ(store.allMaxLat, before.allMaxLat);
    EXPECT_EQ(store.allMinLon, before.allMinLon);
    EXPECT_EQ(store.allMaxLon, before.allMaxLon);
    EXPECT_EQ(store.kmPerDegLat, before.kmPerDegLat);
    EXPECT_EQ(store.kmPerDegLon, before.kmPerDegLon);
    EXPECT_EQ(store.totalDistanceKm, before.totalDistanceKm);
    EXPECT_EQ(store.totalDuration, before.totalDuration);

    // The track, the points and the global indices follow the new data, with
    // factors taken at the new middle latitude.
    const double kmLat = KmPerDegLatAt(35.5);
    const double kmLon = KmPerDegLonAt(35.5);
    const double jump = std::hypot(0.99 * kmLat, 0.99 * kmLon);
    EXPECT_EQ(store.lastEnabledPoint, 2);
    EXPECT_EQ(store.latestTime, kT0 + 200);
    EXPECT_EQ(store.tracks[0].lastPoint, 2);
    EXPECT_DOUBLE_EQ(store.tracks[0].maxLat, 36.0);
    EXPECT_DOUBLE_EQ(store.tracks[0].heightKm, 1.0 * kmLat);
    EXPECT_EQ(store.tracks[0].endTime, kT0 + 200);
    EXPECT_NEAR(store.tracks[0].distanceKm, std::hypot(0.01 * kmLat, 0.01 * kmLon) + jump, 1e-9);
    EXPECT_NEAR(store.points[2].distance, store.tracks[0].distanceKm, 1e-4);

    RecomputeStatistics(store, 0);
    EXPECT_DOUBLE_EQ(store.allMaxLat, 36.0);
    EXPECT_DOUBLE_EQ(store.kmPerDegLat, kmLat);
    EXPECT_EQ(store.totalDuration, 200);
}

TEST(Statistics, TotalDurationWrapsAt32Bits) {
    TrackStore store;
    ASSERT_EQ(CreateTrackStore(store, 10, 2), 0);
    AddTrack(store, {{0.0, 0.0, 0}, {0.0, 0.0, 3000000000LL}});
    AddTrack(store, {{0.0, 0.0, 3000000000LL}, {0.0, 0.0, 3000000100LL}});
    RecomputeStatistics(store, 0);
    EXPECT_EQ(store.totalDuration, static_cast<int32_t>(3000000100LL - 4294967296LL));
}

TEST(Statistics, EndIndicesPastThePointsAreClamped) {
    TrackStore store;
    ASSERT_EQ(CreateTrackStore(store, 10, 3), 0);
    AddTrack(store, {{0.0, 0.0, kT0}, {0.0, 0.001, kT0 + 10}, {0.0, 0.002, kT0 + 20}});
    AddTrack(store, {});
    store.trackEnd[0] = 1;
    store.trackEnd[1] = 5000;  // beyond the points and the array
    RecomputeStatistics(store, 0);
    EXPECT_EQ(store.tracks[0].lastPoint, 1);
    EXPECT_EQ(store.tracks[1].firstPoint, 2);
    EXPECT_EQ(store.tracks[1].lastPoint, 2);

    // Records that point outside the array do not send the speeds there.
    store.tracks[0].firstPoint = 0;
    store.tracks[0].lastPoint = 900;
    store.tracks[1].firstPoint = 700;
    store.tracks[1].lastPoint = 800;
    ComputeSpeeds(store, 3);
    EXPECT_NEAR(store.points[1].speed, 40.07, 0.01);
    EXPECT_NEAR(store.points[2].speed, 20.04, 0.01);  // (0, 2): 111.3 m in 20 s
}

TEST(Statistics, DecreasingEndIndicesNeverShareAPoint) {
    TrackStore store;
    ASSERT_EQ(CreateTrackStore(store, 10, 3), 0);
    AddTrack(store, {{0.0, 0.0, kT0}, {0.0, 0.001, kT0 + 10}, {0.0, 0.002, kT0 + 20}, {0.0, 0.003, kT0 + 30}});
    AddTrack(store, {});
    AddTrack(store, {{0.0, 0.004, kT0 + 40}, {0.0, 0.005, kT0 + 50}});
    store.trackEnd[1] = 1;
    RecomputeStatistics(store, 0);
    EXPECT_EQ(store.tracks[0].lastPoint, 3);
    EXPECT_EQ(store.tracks[1].firstPoint, -1);
    EXPECT_EQ(store.tracks[2].firstPoint, 4);
    EXPECT_EQ(store.tracks[2].lastPoint, 5);
    EXPECT_NEAR(store.tracks[2].distanceKm, 0.001 * KmPerDegLonAt(0.0), 1e-9);
}

TEST(Statistics, NonsenseCountsStayInsideTheArrays) {
    TrackStore store;
    ASSERT_EQ(CreateTrackStore(store, 6, 3), 0);
    AddTrack(store, {{0.0, 0.0, kT0}, {0.0, 0.001, kT0 + 10}, {0.0, 0.002, kT0 + 20}});
    AddTrack(store, {{0.0, 0.003, kT0 + 30}, {0.0, 0.004, kT0 + 40}});
    store.pointCount = 1000;
    store.trackCount = 50;
    store.trackEnd[0] = -7;
    store.trackEnd[1] = 1 << 30;
    store.trackEnd[2] = 2;
    store.speedWindow = -3;
    RecomputeStatistics(store, 0);
    RecomputeStatistics(store, 1);
    EXPECT_EQ(store.tracks[0].firstPoint, -1);
    EXPECT_EQ(store.tracks[0].startTime, 0);
    EXPECT_EQ(store.tracks[1].firstPoint, 0);
    EXPECT_EQ(store.tracks[1].lastPoint, 4);  // the unfilled sixth slot is not enabled
    EXPECT_EQ(store.tracks[2].firstPoint, -1);
    for (int t = 0; t < 3; ++t) {
        store.tracks[t].firstPoint = -5 + 4 * t;
        store.tracks[t].lastPoint = 1 << 30;
    }
    ComputeSpeeds(store, -1);
    ComputeSpeeds(store, 1 << 30);
    FitZoom(store);
    EXPECT_GE(store.initialZoom, 0);
}

TEST(Statistics, ZoomFitsTheData) {
    TrackStore store;
    ASSERT_EQ(CreateTrackStore(store, 10, 2), 0);
    const double kmLat = KmPerDegLatAt(35.0);
    const double kmLon = KmPerDegLonAt(35.0);
    // 0.1 km by 0.1 km around 35 degrees north.
    const double dLat = 0.1 / kmLat;
    const double dLon = 0.1 / kmLon;
    AddTrack(store, {{35.0 - dLat / 2, 139.0, kT0}, {35.0 + dLat / 2, 139.0 + dLon, kT0 + 60}});
    RecomputeStatistics(store, 0);
    FitZoom(store);
    EXPECT_EQ(store.initialZoom, 19);

    // About 10 km square: the height limit 0.08 km needs seven doublings.
    store.points[1].latitude = 35.0 + 10 / kmLat;
    store.points[1].longitude = 139.0 + 10 / kmLon;
    RecomputeStatistics(store, 0);
    FitZoom(store);
    EXPECT_EQ(store.initialZoom, 13);

    // One point: zoom 20.
    store.points[1].enabled = 0;
    RecomputeStatistics(store, 0);
    FitZoom(store);
    EXPECT_EQ(store.initialZoom, 20);

    // The whole globe.
    store.allMinLat = -85;
    store.allMaxLat = 85;
    store.allMinLon = -180;
    store.allMaxLon = 180;
    store.kmPerDegLat = 110.574;
    store.kmPerDegLon = 111.320;
    FitZoom(store);
    EXPECT_EQ(store.initialZoom, 2);
}

}  // namespace
}  // namespace trakvio
