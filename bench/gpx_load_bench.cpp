// GPX load of a large generated log: the whole load (read, statistics, names,
// colours, zoom) against one plain pass over the same bytes.
//
// The log is generated once into the system's temporary folder (about 130 MB
// for 1,000,000 points). TRAKVIO_BENCH_GPX names another file to load instead.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "bench_support.h"

namespace {

constexpr int kPoints = 1000000;

// Writes a GPX 1.1 log of walks and drives: 5 tracks, one segment each,
// ele and time on every point, in the layout common GPS programs write.
void GenerateGpx(const std::filesystem::path& path, int points) {
    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) return;
    std::setvbuf(out, nullptr, _IOFBF, 1 << 20);
    std::fputs(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<gpx version=\"1.1\" creator=\"trakvio bench\" "
        "xmlns=\"http://www.topografix.com/GPX/1/1\">\n  <metadata>\n    <name>Benchmark log</name>\n"
        "  </metadata>\n",
        out);
    std::mt19937 random(20240501);
    std::normal_distribution<double> step(0.0, 0.00002);
    double lat = 35.59, lon = 139.70, ele = 40;
    long long t = 1714521600;  // 2024-05-01 00:00:00 UTC
    int tracks = 5;
    for (int k = 0; k < tracks; ++k) {
        std::fprintf(out, "  <trk>\n    <name>Track %d</name>\n    <trkseg>\n", k + 1);
        int n = points / tracks + (k < points % tracks ? 1 : 0);
        for (int i = 0; i < n; ++i, ++t) {
            lat += step(random);
            lon += step(random);
            ele += step(random) * 5000;
            time_t tt = static_cast<time_t>(t);
            struct tm tmv;
            gmtime_r(&tt, &tmv);
            std::fprintf(out,
                         "      <trkpt lat=\"%.8f\" lon=\"%.8f\">\n        <ele>%.1f</ele>\n"
                         "        <time>%04d-%02d-%02dT%02d:%02d:%02dZ</time>\n      </trkpt>\n",
                         lat, lon, ele, tmv.tm_year + 1900, tmv.tm_mon + 1, tmv.tm_mday, tmv.tm_hour, tmv.tm_min,
                         tmv.tm_sec);
        }
        std::fputs("    </trkseg>\n  </trk>\n", out);
        t += 3600;
    }
    std::fputs("</gpx>\n", out);
    std::fclose(out);
}

const std::filesystem::path& BenchFile() {
    static const std::filesystem::path path =
        trakvio::bench::InputFile("TRAKVIO_BENCH_GPX", "trakvio-bench-1000000.gpx",
                                  [](const std::filesystem::path& p) { GenerateGpx(p, kPoints); });
    return path;
}

void BM_GpxLoad(benchmark::State& state) { trakvio::bench::RunLoad(state, BenchFile(), 1100000, 100); }
BENCHMARK(BM_GpxLoad)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The floor: read the file once and look at every byte.
void BM_GpxPlainPass(benchmark::State& state) { trakvio::bench::RunPlainPass(state, BenchFile(), '<'); }
BENCHMARK(BM_GpxPlainPass)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
