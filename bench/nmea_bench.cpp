// NMEA load of a large generated log: the whole load (read, statistics, names,
// colours, zoom) against one plain pass over the same bytes.
//
// The log (1,000,000 fixes at 1 Hz, about 200 MB) is generated once into the
// system's temporary folder: every fix a $GPGGA and a $GPRMC with checksums
// and CR LF, every fifth second a $GPGSA and three $GPGSV between them, as
// MTK-style receivers write. TRAKVIO_BENCH_NMEA names another file to load
// instead.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "bench_support.h"

namespace {

constexpr int kFixes = 1000000;

// Writes "$body*hh\r\n".
void WriteSentence(FILE* out, const char* body) {
    unsigned sum = 0;
    for (const char* p = body; *p; ++p) sum ^= static_cast<unsigned char>(*p);
    std::fprintf(out, "$%s*%02X\r\n", body, sum);
}

// ddmm.mmmm (or dddmm.mmmm) of the absolute value of degrees.
void FormatCoordinate(char* out, size_t size, double degrees, int degreeDigits) {
    double v = std::fabs(degrees);
    int whole = static_cast<int>(v);
    double minutes = std::round((v - whole) * 60.0 * 10000.0) / 10000.0;
    if (minutes >= 60.0) {
        ++whole;
        minutes -= 60.0;
    }
    std::snprintf(out, size, "%0*d%07.4f", degreeDigits, whole, minutes);
}

void GenerateNmea(const std::filesystem::path& path, int fixes) {
    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) return;
    std::setvbuf(out, nullptr, _IOFBF, 1 << 20);
    std::mt19937 random(20240501);
    std::normal_distribution<double> step(0.0, 0.00002);
    double lat = 35.59, lon = 139.70, ele = 40;
    long long t = 1714521600;  // 2024-05-01 00:00:00 UTC
    char body[256], slat[32], slon[32];
    for (int i = 0; i < fixes; ++i, ++t) {
        lat += step(random);
        lon += step(random);
        ele += step(random) * 5000;
        time_t tt = static_cast<time_t>(t);
        struct tm g;
        gmtime_r(&tt, &g);
        FormatCoordinate(slat, sizeof slat, lat, 2);
        FormatCoordinate(slon, sizeof slon, lon, 3);
        std::snprintf(body, sizeof body, "GPGGA,%02d%02d%02d.000,%s,N,%s,E,1,08,0.97,%.1f,M,36.7,M,,", g.tm_hour,
                      g.tm_min, g.tm_sec, slat, slon, ele);
        WriteSentence(out, body);
        if (i % 5 == 0) {
            WriteSentence(out, "GPGSA,A,3,07,08,11,14,16,17,18,19,,,,,1.56,0.97,1.27");
            WriteSentence(out, "GPGSV,3,1,12,07,22,094,26,08,11,196,48,11,24,137,42,14,64,021,28");
            WriteSentence(out, "GPGSV,3,2,12,16,09,041,42,17,19,221,41,18,10,246,45,19,68,022,30");
            WriteSentence(out, "GPGSV,3,3,12,20,63,052,30,24,55,163,34,29,34,203,39,32,32,116,38");
        }
        std::snprintf(body, sizeof body, "GPRMC,%02d%02d%02d.000,A,%s,N,%s,E,%.2f,%.2f,%02d%02d%02d,,,A", g.tm_hour,
                      g.tm_min, g.tm_sec, slat, slon, 2.5 + step(random) * 10000, 135.0, g.tm_mday, g.tm_mon + 1,
                      g.tm_year % 100);
        WriteSentence(out, body);
    }
    std::fclose(out);
}

const std::filesystem::path& BenchFile() {
    static const std::filesystem::path path =
        trakvio::bench::InputFile("TRAKVIO_BENCH_NMEA", "trakvio-bench-1000000.nmea",
                                  [](const std::filesystem::path& p) { GenerateNmea(p, kFixes); });
    return path;
}

void BM_NmeaLoad(benchmark::State& state) { trakvio::bench::RunLoad(state, BenchFile(), 1100000, 100); }
BENCHMARK(BM_NmeaLoad)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The floor: read the file once and look at every byte.
void BM_NmeaPlainPass(benchmark::State& state) { trakvio::bench::RunPlainPass(state, BenchFile(), '\n'); }
BENCHMARK(BM_NmeaPlainPass)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
