// A batch conversion of 200 generated logs (100 GPX, 100 NMEA, 5,000 points
// each) writing every output a day's work usually asks for: an archive, a
// Leaflet page, KML and an altitude graph per log, with an index. Reported
// as logs per second. The logs are generated once into the temporary folder.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

#include "config/settings.h"
#include "platform/status_text.h"
#include "script/batch_convert.h"
#include "script/script_run.h"
#include "store/track_store.h"

namespace {

namespace fs = std::filesystem;

constexpr int kLogs = 200;
constexpr int kPoints = 5000;

void WriteNmea(const fs::path& path, int day) {
    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) return;
    for (int i = 0; i < kPoints; ++i) {
        char time[8], body[160];
        std::snprintf(time, sizeof time, "%02d%02d%02d", 1 + i / 3600, (i / 60) % 60, i % 60);
        const double minutes = 30.0 + i * 0.0004;
        const double east = 10.0 + 0.3 * std::sin(i * 0.01);
        for (int kind = 0; kind < 2; ++kind) {
            if (kind == 0) {
                std::snprintf(body, sizeof body, "GPGGA,%s.00,35%07.4f,N,139%07.4f,E,1,09,0.9,%.1f,M,36.7,M,,", time,
                              minutes, east, 40 + 5 * std::sin(i * 0.003));
            } else {
                std::snprintf(body, sizeof body, "GPRMC,%s.00,A,35%07.4f,N,139%07.4f,E,2.10,45.0,%02d0523,,,A", time,
                              minutes, east, 1 + day % 28);
            }
            unsigned sum = 0;
            for (const char* c = body; *c; ++c) sum ^= static_cast<unsigned char>(*c);
            std::fprintf(out, "$%s*%02X\r\n", body, sum);
        }
    }
    std::fclose(out);
}

void WriteGpx(const fs::path& path, int day) {
    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) return;
    std::fputs("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<gpx version=\"1.1\" creator=\"bench\">\n<trk><name>Walk</name><trkseg>\n",
               out);
    for (int i = 0; i < kPoints; ++i) {
        std::fprintf(out,
                     "<trkpt lat=\"%.7f\" lon=\"%.7f\"><ele>%.1f</ele><time>2023-06-%02dT%02d:%02d:%02dZ</time></trkpt>\n",
                     35.5 + i * 0.00001, 139.2 + 0.004 * std::sin(i * 0.01), 200 + 30 * std::sin(i * 0.002),
                     1 + day % 28, 1 + i / 3600, (i / 60) % 60, i % 60);
    }
    std::fputs("</trkseg></trk>\n</gpx>\n", out);
    std::fclose(out);
}

const fs::path& LogFolder() {
    static const fs::path folder = [] {
        fs::path f = fs::temp_directory_path() / "trakvio-bench-batch-logs";
        if (!fs::exists(f / "done")) {
            fs::create_directories(f);
            for (int i = 0; i < kLogs / 2; ++i) {
                char name[64];
                std::snprintf(name, sizeof name, "walk_%03d.gpx", i);
                WriteGpx(f / name, i);
                std::snprintf(name, sizeof name, "ride_%03d.nmea", i);
                WriteNmea(f / name, i);
            }
            std::fclose(std::fopen((f / "done").c_str(), "wb"));
        }
        return f;
    }();
    return folder;
}

void Quiet(void*, std::string_view) {}

void BM_BatchConversion(benchmark::State& state) {
    using namespace trakvio;
    const fs::path logs = LogFolder();
    const fs::path out = fs::temp_directory_path() / "trakvio-bench-batch-out";
    SetStatusTextHandler(Quiet, nullptr);
    Settings settings;
    settings.workFolder = out / "work";
    TrackStore store;
    CreateTrackStore(store, 20000, 50);
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(out);
        fs::create_directories(settings.workFolder);
        ScriptState script;
        script.formats = kOutputQ9z | kOutputHtmlLeaflet | kOutputKml | kOutputSvg;
        script.svgGraphs = 1 | 1 << 3;  // time / altitude
        const char* folders[] = {"q9z", "html", "", "kml", "svg", ""};
        for (int k = 0; k < kFolderCount; ++k) {
            if (*folders[k] == '\0') continue;
            script.folders[k] = out / folders[k];
            fs::create_directories(script.folders[k]);
        }
        OpenIndex(script, out / "index.htm", false, false);
        state.ResumeTiming();
        ConvertBatch((logs / "*.*").string(), script, settings, store);
        FinishIndex(script);
    }
    SetStatusTextHandler(nullptr, nullptr);
    state.counters["logs_per_second"] =
        benchmark::Counter(static_cast<double>(kLogs) * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_BatchConversion)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

}  // namespace
