// MTK dump load of 1,000,000 records: the whole load (decode, statistics,
// names, colours, zoom) against one plain pass over the same bytes.
//
// The dump (format 0x6007F, 40-byte records, 1,625 per sector, about 40 MB) is
// generated once into the system's temporary folder. TRAKVIO_BENCH_MTK names
// another file to load instead.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "bench_support.h"

namespace {

constexpr int kRecords = 1000000;
constexpr size_t kSector = 65536;
constexpr int kPerSector = 1625;

template <typename T>
unsigned char* Put(unsigned char* p, T value) {
    std::memcpy(p, &value, sizeof(T));
    return p + sizeof(T);
}

// A 1 Hz walk around Tokyo, written sector by sector as a logger does.
void GenerateDump(const std::filesystem::path& path, int records) {
    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) return;
    std::unique_ptr<unsigned char[]> sector(new unsigned char[kSector]);
    double lat = 35.59, lon = 139.70;
    uint32_t t = 1714521600;
    for (int done = 0; done < records;) {
        int count = std::min(kPerSector, records - done);
        std::memset(sector.get(), 0xFF, kSector);
        unsigned char* p = sector.get();
        p = Put<uint16_t>(p, static_cast<uint16_t>(count));
        p = Put<uint32_t>(p, 0x6007F);
        p = Put<uint16_t>(p, 0x0104);
        Put<uint32_t>(p, 10);
        std::memset(sector.get() + 508, 0xBB, 4);
        p = sector.get() + 512;
        for (int i = 0; i < count; ++i, ++t) {
            double heading = (done + i) * 0.001;
            lat += 0.00001 * std::cos(heading);
            lon += 0.00001 * std::sin(heading);
            unsigned char* start = p;
            p = Put<uint32_t>(p, t);
            p = Put<uint16_t>(p, 2);
            p = Put<double>(p, lat);
            p = Put<double>(p, lon);
            p = Put<float>(p, 40.0f + static_cast<float>(std::sin(heading * 7) * 10));
            p = Put<float>(p, 4.0f);
            p = Put<float>(p, static_cast<float>(std::fmod(heading * 57.3, 360.0)));
            p = Put<uint16_t>(p, 1);
            p = Put<uint16_t>(p, 0);
            unsigned char sum = 0;
            for (unsigned char* q = start; q < p; ++q) sum ^= *q;
            *p++ = '*';
            *p++ = sum;
        }
        std::fwrite(sector.get(), 1, kSector, out);
        done += count;
    }
    std::fclose(out);
}

const std::filesystem::path& BenchFile() {
    static const std::filesystem::path path =
        trakvio::bench::InputFile("TRAKVIO_BENCH_MTK", "trakvio-bench-1000000.bin",
                                  [](const std::filesystem::path& p) { GenerateDump(p, kRecords); });
    return path;
}

void BM_MtkLoad(benchmark::State& state) { trakvio::bench::RunLoad(state, BenchFile(), 1100000, 100); }
BENCHMARK(BM_MtkLoad)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The floor: read the file once and look at every byte.
void BM_MtkPlainPass(benchmark::State& state) { trakvio::bench::RunPlainPass(state, BenchFile(), '*'); }
BENCHMARK(BM_MtkPlainPass)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
