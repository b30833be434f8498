// KML load of a large generated log: the whole load (read, statistics, names,
// zoom) against one plain pass over the same bytes.
//
// The log is generated once into the system's temporary folder (about 30 MB
// for 1,000,000 tuples), in the layout GPS programs write: one placemark per
// segment, a shared line style, one "lon,lat,alt" tuple per line.
// TRAKVIO_BENCH_KML names another file to load instead.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "readers/log_loader.h"

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
    static std::filesystem::path path = [] {
        if (const char* given = std::getenv("TRAKVIO_BENCH_KML")) return std::filesystem::path(given);
        auto p = std::filesystem::temp_directory_path() / "trakvio-bench-1000000.kml";
        std::error_code ec;
        if (!std::filesystem::exists(p, ec)) GenerateKml(p, kTuples);
        return p;
    }();
    return path;
}

void BM_KmlLoad(benchmark::State& state) {
    const auto& path = BenchFile();
    trakvio::TrackStore store;
    trakvio::Settings settings;
    if (trakvio::CreateTrackStore(store, 1100000, 200) != 0) {
        state.SkipWithError("store");
        return;
    }
    for (auto _ : state) {
        trakvio::ClearTrackStore(store);
        int result = trakvio::LoadLogFile(store, settings, path);
        if (result != 0) state.SkipWithError("load failed");
        benchmark::DoNotOptimize(store.totalDistanceKm);
    }
    state.counters["points"] = store.pointCount;
    state.SetItemsProcessed(state.iterations() * store.pointCount);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(std::filesystem::file_size(path)));
}
BENCHMARK(BM_KmlLoad)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The floor: read the file once and look at every byte.
void BM_KmlPlainPass(benchmark::State& state) {
    const auto& path = BenchFile();
    size_t size = std::filesystem::file_size(path);
    std::unique_ptr<char[]> buffer(new char[size + 1]);
    for (auto _ : state) {
        int fd = ::open(path.c_str(), O_RDONLY);
        size_t used = 0;
        ssize_t n;
        while (used < size && (n = ::read(fd, buffer.get() + used, size - used)) > 0) used += static_cast<size_t>(n);
        ::close(fd);
        size_t tags = 0;
        const char* p = buffer.get();
        const char* end = p + used;
        while ((p = static_cast<const char*>(std::memchr(p, '<', static_cast<size_t>(end - p))))) {
            ++tags;
            ++p;
        }
        benchmark::DoNotOptimize(tags);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(size));
}
BENCHMARK(BM_KmlPlainPass)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
