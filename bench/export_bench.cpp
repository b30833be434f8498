// Exports of a store of 1,000,000 points in 20 tracks (a random walk, one
// point in fifty deleted): the Leaflet page and the Google Maps page, plain
// KML and KMZ, each written to a file in the temporary folder, against the
// floor of writing the same number of bytes in one go.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

#include "compute/statistics.h"
#include "config/settings.h"
#include "export/kml_writer.h"
#include "export/web_map_page.h"
#include "store/track_store.h"

namespace {

namespace fs = std::filesystem;
using namespace trakvio;

constexpr int kPoints = 1000000;
constexpr int kTracks = 20;

struct BenchData {
    TrackStore store;
    Settings settings;
};

const BenchData& Data() {
    static const BenchData* data = [] {
        auto* made = new BenchData;
        TrackStore& store = made->store;
        CreateTrackStore(store, kPoints, kTracks);
        std::mt19937 random(20240501);
        std::normal_distribution<double> step(0.0, 0.00002);
        double lat = 35.59, lon = 139.70;
        float ele = 40;
        int64_t time = 1714521600;
        for (int t = 0; t < kTracks; ++t) {
            for (int i = 0; i < kPoints / kTracks; ++i) {
                lat += step(random);
                lon += step(random);
                ele += static_cast<float>(step(random) * 5000);
                time += 5;
                AppendPoint(store, lat, lon, ele, 0, time, i % 50 == 49 ? 0 : 1);
            }
            CloseTrack(store);
            std::u16string name = u"20240501_trc" + std::u16string(1, static_cast<char16_t>(u'A' + t));
            WriteTrackName(store, NamesEndPosition(store), name);
        }
        RecomputeStatistics(store, 0);
        for (int t = 0; t < kTracks; ++t) {
            store.tracks[t].color = 0xFF0000;
            store.tracks[t].lineWidth = 3;
        }
        BaseMap osm;
        osm.name = u"OpenStreetMap";
        osm.tileId = u"osmjp";
        osm.urlTemplate = u"https://tile.openstreetmap.org/{z}/{x}/{y}.png";
        osm.attribution = u"\u00A9 OpenStreetMap contributors";
        osm.linkCount = 1;
        osm.links[0] = {2, 13};
        osm.linkUrls[0] = u"https://www.openstreetmap.org/copyright";
        osm.maxZoom = 19;
        made->settings.baseMaps.push_back(osm);
        made->settings.leafletcss = "https://unpkg.com/leaflet@1.9.4/dist/leaflet.css";
        made->settings.leafletjs = "https://unpkg.com/leaflet@1.9.4/dist/leaflet.js";
        made->settings.gmapjs = "https://maps.googleapis.com/maps/api/js";
        return made;
    }();
    return *data;
}

fs::path OutputPath(const char* name) { return fs::temp_directory_path() / name; }

void Report(benchmark::State& state, const fs::path& path) {
    std::error_code ec;
    const auto size = static_cast<int64_t>(fs::file_size(path, ec));
    state.counters["MB"] = static_cast<double>(size) / 1e6;
    state.SetBytesProcessed(state.iterations() * size);
    state.SetItemsProcessed(state.iterations() * kPoints);
    fs::remove(path, ec);
}

void BM_LeafletPage(benchmark::State& state) {
    const BenchData& data = Data();
    const fs::path path = OutputPath("trakvio-bench-leaflet.htm");
    const TrackStore& s = data.store;
    for (auto _ : state) {
        if (WriteLeafletPage(path, u"20240501_bench", s, data.settings, s.allMinLat, s.allMaxLat, s.allMinLon,
                             s.allMaxLon) != kExportDone) {
            state.SkipWithError("write failed");
        }
    }
    Report(state, path);
}
BENCHMARK(BM_LeafletPage)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_GoogleMapsPage(benchmark::State& state) {
    const BenchData& data = Data();
    const fs::path path = OutputPath("trakvio-bench-gmap.htm");
    const TrackStore& s = data.store;
    for (auto _ : state) {
        if (WriteGoogleMapsPage(path, u"20240501_bench", "KEY", s, data.settings, (s.allMinLat + s.allMaxLat) / 2,
                                (s.allMinLon + s.allMaxLon) / 2, s.initialZoom) != kExportDone) {
            state.SkipWithError("write failed");
        }
    }
    Report(state, path);
}
BENCHMARK(BM_GoogleMapsPage)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_Kml(benchmark::State& state) {
    const BenchData& data = Data();
    const fs::path path = OutputPath("trakvio-bench-export.kml");
    for (auto _ : state) {
        if (WriteKml(path, u"bench", data.store) != kExportDone) state.SkipWithError("write failed");
    }
    Report(state, path);
}
BENCHMARK(BM_Kml)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_Kmz(benchmark::State& state) {
    const BenchData& data = Data();
    const fs::path path = OutputPath("trakvio-bench-export.kmz");
    for (auto _ : state) {
        if (WriteKml(path, u"bench", data.store) != kExportDone) state.SkipWithError("write failed");
    }
    Report(state, path);
}
BENCHMARK(BM_Kmz)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The floor: the bytes of the Leaflet page written in one go, without any
// formatting.
void BM_PlainWrite(benchmark::State& state) {
    const BenchData& data = Data();
    TextOutput page;
    const TrackStore& s = data.store;
    PutLeafletPage(page, u"bench", s, data.settings, s.allMinLat, s.allMaxLat, s.allMinLon, s.allMaxLon);
    const fs::path path = OutputPath("trakvio-bench-plain.htm");
    for (auto _ : state) {
        FILE* file = std::fopen(path.c_str(), "wb");
        if (!file || std::fwrite(page.text().data(), 1, page.text().size(), file) != page.text().size()) {
            state.SkipWithError("write failed");
        }
        if (file) std::fclose(file);
    }
    Report(state, path);
}
BENCHMARK(BM_PlainWrite)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
