// KML load of a large generated log: the whole load (read, statistics, names,
// zoom) against one plain pass over the same bytes.
//
// The log is generated once into the system's temporary folder (about 30 MB
// for 1,000,000 tuples), in the layout GPS programs write: one placemark per
// segment, a shared line style, one "lon,lat,alt" tuple per line.
// TRAKVIO_BENCH_KML names another file to load instead.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "bench_support.h"
#include "readers/kml_reader.h"
#include "readers/text_scan.h"
#include "store/track_store.h"

namespace {

constexpr int kTuples = 1000000;

void GenerateKml(const std::filesystem::path& path, int tuples) {
    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) return;
    std::setvbuf(out, nullptr, _IOFBF, 1 << 20);
    std::fputs(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<kml xmlns=\"http://www.opengis.net/kml/2.2\">\n"
        "  <Document>\n    <name>Benchmark log</name>\n    <Style id=\"trk\"><LineStyle><color>ff0000e6</color>"
        "<width>3</width></LineStyle></Style>\n",
        out);
    std::mt19937 random(20240501);
    std::normal_distribution<double> step(0.0, 0.00002);
    double lat = 35.59, lon = 139.70, ele = 40;
    const int placemarks = 20;
    for (int k = 0; k < placemarks; ++k) {
        std::fprintf(out,
                     "    <Placemark>\n      <name>Track %d</name>\n      <styleUrl>#trk</styleUrl>\n"
                     "      <LineString>\n        <tessellate>1</tessellate>\n        <coordinates>\n",
                     k + 1);
        int n = tuples / placemarks + (k < tuples % placemarks ? 1 : 0);
        for (int i = 0; i < n; ++i) {
            lat += step(random);
            lon += step(random);
            ele += step(random) * 5000;
            std::fprintf(out, "          %.7f,%.7f,%.1f\n", lon, lat, ele);
        }
        std::fputs("        </coordinates>\n      </LineString>\n    </Placemark>\n", out);
    }
    std::fputs("  </Document>\n</kml>\n", out);
    std::fclose(out);
}

const std::filesystem::path& BenchFile() {
    static const std::filesystem::path path =
        trakvio::bench::InputFile("TRAKVIO_BENCH_KML", "trakvio-bench-1000000.kml",
                                  [](const std::filesystem::path& p) { GenerateKml(p, kTuples); });
    return path;
}

void BM_KmlLoad(benchmark::State& state) { trakvio::bench::RunLoad(state, BenchFile(), 1100000, 200); }
BENCHMARK(BM_KmlLoad)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The floor: read the file once and look at every byte, counting the tags
// (rare in a coordinate list, so this is little more than reading), or the
// line breaks, one per tuple, as the NMEA and MTK floors count one mark per
// record.
void BM_KmlPlainPass(benchmark::State& state) { trakvio::bench::RunPlainPass(state, BenchFile(), '<'); }
BENCHMARK(BM_KmlPlainPass)->Unit(benchmark::kMillisecond)->MinTime(2.0);
void BM_KmlPlainPassLines(benchmark::State& state) { trakvio::bench::RunPlainPass(state, BenchFile(), '\n'); }
BENCHMARK(BM_KmlPlainPassLines)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The reader alone, over the file mapped once: no statistics, no mapping.
void BM_KmlReaderOnly(benchmark::State& state) {
    trakvio::TrackStore store;
    trakvio::FileBytes file;
    if (trakvio::CreateTrackStore(store, 1100000, 200) != 0 || file.Open(BenchFile()) != 0) {
        state.SkipWithError("store or file");
        return;
    }
    for (auto _ : state) {
        trakvio::ClearTrackStore(store);
        trakvio::ReadKmlBuffer(store, file.data(), file.size(), -1, 0, 1);
        benchmark::DoNotOptimize(store.pointCount);
    }
    state.SetItemsProcessed(state.iterations() * store.pointCount);
}
BENCHMARK(BM_KmlReaderOnly)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
