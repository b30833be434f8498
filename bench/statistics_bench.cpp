// Time of the statistics recomputation over a large store: 1,000,000 points of
// a walk in 20 tracks, one fix a second, with a few deleted points. The store
// is generated in memory with a fixed seed.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <random>

#include "compute/default_colors.h"
#include "compute/statistics.h"
#include "store/track_store.h"

namespace trakvio {
namespace {

constexpr int32_t kPoints = 1000000;
constexpr int32_t kTracks = 20;

// A walk around Tokyo: steps of a few metres, a pause of an hour between
// tracks, about one point in 500 deleted.
void FillWalk(TrackStore& store) {
    CreateTrackStore(store, kPoints, kTracks);
    std::mt19937 random(20240601);
    std::uniform_real_distribution<double> step(-0.00004, 0.00004);
    std::uniform_int_distribution<int> deleted(0, 499);
    double lat = 35.68, lon = 139.76;
    int64_t time = 1700000000;
    for (int32_t t = 0; t < kTracks; ++t) {
        for (int32_t i = 0; i < kPoints / kTracks; ++i) {
            lat += step(random);
            lon += step(random);
            AppendPoint(store, lat, lon, 40.0f, 0.0f, time, deleted(random) == 0 ? 0 : 1);
            ++time;
        }
        CloseTrack(store);
        time += 3600;
    }
}

// Runs body once per benchmark iteration and reports points per second and
// the wall-clock nanoseconds per point.
template <typename Body>
void RunPerPoint(benchmark::State& state, int64_t points, Body body) {
    auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        body();
        benchmark::ClobberMemory();
    }
    std::chrono::duration<double, std::nano> elapsed = std::chrono::steady_clock::now() - start;
    int64_t processed = state.iterations() * points;
    state.SetItemsProcessed(processed);
    if (processed > 0) state.counters["ns_per_point"] = elapsed.count() / static_cast<double>(processed);
}

void BM_StatisticsRecompute(benchmark::State& state) {
    TrackStore store;
    FillWalk(store);
    RunPerPoint(state, store.pointCount, [&store] {
        RecomputeStatistics(store, 0);
        benchmark::DoNotOptimize(store.totalDistanceKm);
    });
}
BENCHMARK(BM_StatisticsRecompute)->Unit(benchmark::kMillisecond);

// Every iteration deletes or restores the first point, so that every distance
// and speed of the store changes and every point is written.
void BM_StatisticsRecomputeAfterEdit(benchmark::State& state) {
    TrackStore store;
    FillWalk(store);
    RunPerPoint(state, store.pointCount, [&store] {
        store.points[0].enabled = 1 - store.points[0].enabled;
        RecomputeStatistics(store, 0);
        benchmark::DoNotOptimize(store.totalDistanceKm);
    });
}
BENCHMARK(BM_StatisticsRecomputeAfterEdit)->Unit(benchmark::kMillisecond);

void BM_StatisticsRecomputeKeepOverall(benchmark::State& state) {
    TrackStore store;
    FillWalk(store);
    RecomputeStatistics(store, 0);
    RunPerPoint(state, store.pointCount, [&store] { RecomputeStatistics(store, 1); });
}
BENCHMARK(BM_StatisticsRecomputeKeepOverall)->Unit(benchmark::kMillisecond);

void BM_StatisticsSpeeds(benchmark::State& state) {
    TrackStore store;
    FillWalk(store);
    RecomputeStatistics(store, 0);
    RunPerPoint(state, store.pointCount, [&store] { ComputeSpeeds(store, store.speedWindow); });
}
BENCHMARK(BM_StatisticsSpeeds)->Unit(benchmark::kMillisecond);

void BM_DefaultColors100Tracks(benchmark::State& state) {
    TrackStore store;
    CreateTrackStore(store, 1, 100);
    for (int t = 0; t < 100; ++t) CloseTrack(store);
    for (auto _ : state) {
        AssignDefaultColors(store);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 100);
}
BENCHMARK(BM_DefaultColors100Tracks);

}  // namespace
}  // namespace trakvio
