// Time of the standstill passes, the time-order check and the file sort over
// 1,000,000 points: a walk in 20 tracks from 10 files, one fix a second, that
// alternates between moving (3 m a fix) and standing (jitter within 2 m), with
// about one point in 500 deleted. The store is generated in memory with a fixed
// seed; passes that change it get a fresh copy, outside the timing, for every
// iteration.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "compute/standstill.h"
#include "compute/statistics.h"
#include "compute/track_edit.h"
#include "store/track_store.h"

namespace trakvio {
namespace {

constexpr int32_t kPoints = 1000000;
constexpr int32_t kTracks = 20;
constexpr int32_t kFiles = 10;
constexpr int32_t kRun = 60;  // fixes per moving or standing run
constexpr double kStandstillMeters = 10;

// With filesReversed the files are loaded latest first, so the sort must
// rebuild the whole store.
void FillWalk(TrackStore& store, bool filesReversed) {
    CreateTrackStore(store, kPoints, kTracks);
    std::mt19937 random(20240601);
    std::uniform_real_distribution<double> jitter(-0.00001, 0.00001);
    std::uniform_int_distribution<int> deleted(0, 499);
    double lat = 35.68, lon = 139.76;
    int32_t namePos = 0;
    for (int32_t t = 0; t < kTracks; ++t) {
        const int32_t file = t / (kTracks / kFiles);
        const int32_t slot = filesReversed ? kFiles - 1 - file : file;
        int64_t time = 1700000000 + int64_t{slot} * 200000 + (t % 2) * 60000;
        for (int32_t i = 0; i < kPoints / kTracks; ++i) {
            const bool moving = (i / kRun) % 2 == 0;
            if (moving) lat += 0.000027;
            AppendPoint(store, lat + jitter(random), lon + jitter(random), 40.0f, 0.0f, time++,
                        deleted(random) == 0 ? 0 : 1);
        }
        CloseTrack(store);
        store.tracks[t].fileIndex = file;
        namePos = WriteTrackName(store, namePos, u"track");
    }
    for (int32_t f = 0; f < kFiles; ++f) EnterLoadedFile(store, "/logs/file" + std::to_string(f) + ".gpx", kKindGpx);
    RecomputeStatistics(store, 0);
}

// Wall-clock and thread CPU nanoseconds, summed over the timed part of a
// benchmark. The CPU figure is the steadier one on a shared machine.
class PassTimer {
  public:
    template <typename Body>
    void Time(Body body) {
        auto wall = std::chrono::steady_clock::now();
        double cpu = CpuNanoseconds();
        body();
        cpuNs_ += CpuNanoseconds() - cpu;
        wallNs_ += std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - wall).count();
    }

    void Report(benchmark::State& state, int64_t points) const {
        const double processed = static_cast<double>(state.iterations()) * static_cast<double>(points);
        state.SetItemsProcessed(static_cast<int64_t>(processed));
        if (processed == 0) return;
        state.counters["ns_per_point"] = wallNs_ / processed;
        state.counters["cpu_ns_per_point"] = cpuNs_ / processed;
    }

  private:
    static double CpuNanoseconds() {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return static_cast<double>(now.tv_sec) * 1e9 + static_cast<double>(now.tv_nsec);
    }
    double wallNs_ = 0, cpuNs_ = 0;
};

// Runs pass on a fresh copy of the store in every iteration.
template <typename Pass>
void RunOnFreshCopies(benchmark::State& state, bool filesReversed, Pass pass) {
    TrackStore original;
    FillWalk(original, filesReversed);
    TrackStore store = original;
    PassTimer timer;
    for (auto _ : state) {
        state.PauseTiming();
        store.points = original.points;
        store.tracks = original.tracks;
        store.trackEnd = original.trackEnd;
        store.trackNames = original.trackNames;
        store.loadedFiles = original.loadedFiles;
        store.fileKinds = original.fileKinds;
        store.pointCount = original.pointCount;
        state.ResumeTiming();
        timer.Time([&store, &pass] { pass(store); });
        benchmark::ClobberMemory();
    }
    timer.Report(state, original.pointCount);
}

void BM_DeleteStandstillPoints(benchmark::State& state) {
    RunOnFreshCopies(state, false, [](TrackStore& store) {
        benchmark::DoNotOptimize(DeleteStandstillPoints(store, kStandstillMeters));
    });
}
BENCHMARK(BM_DeleteStandstillPoints)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CompactAndCollapseStandstills(benchmark::State& state) {
    RunOnFreshCopies(state, false, [](TrackStore& store) {
        benchmark::DoNotOptimize(CompactAndCollapseStandstills(store, kStandstillMeters));
    });
}
BENCHMARK(BM_CompactAndCollapseStandstills)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CheckTimeOrder(benchmark::State& state) {
    TrackStore store;
    FillWalk(store, false);
    PassTimer timer;
    for (auto _ : state) timer.Time([&store] { benchmark::DoNotOptimize(CheckTimeOrder(store)); });
    timer.Report(state, store.pointCount);
}
BENCHMARK(BM_CheckTimeOrder)->Unit(benchmark::kMillisecond)->UseRealTime();

// The whole command: the rebuild and the statistics recomputation after it.
void BM_SortFilesByTime(benchmark::State& state) {
    RunOnFreshCopies(state, true, [](TrackStore& store) { benchmark::DoNotOptimize(SortFilesByTime(store)); });
}
BENCHMARK(BM_SortFilesByTime)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(6);

// The same with a workspace kept from one sort to the next, as the batch
// conversion does: no fresh memory is touched.
void BM_SortFilesByTimeWithWorkspace(benchmark::State& state) {
    PointArray workspace;
    RunOnFreshCopies(state, true,
                     [&workspace](TrackStore& store) { benchmark::DoNotOptimize(SortFilesByTime(store, &workspace)); });
}
BENCHMARK(BM_SortFilesByTimeWithWorkspace)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);

}  // namespace
}  // namespace trakvio
