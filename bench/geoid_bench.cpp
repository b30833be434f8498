// Geoid lookups and region loads. A global 1' EGM2008 grid file (933 MB at its
// full size) is made sparse in a temporary folder: only the rows of 35°N to
// 36°N hold data, so a load that touched any other row would fail. The folder
// is removed when the program ends.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "compute/geoid.h"

namespace trakvio {
namespace {

namespace fs = std::filesystem;

constexpr int kCells = 60;
constexpr int kFirstRow = 125 * kCells;  // 35°N
constexpr int kLastRow = 126 * kCells;   // 36°N

class SparseEgmFile {
  public:
    SparseEgmFile() {
        folder_ = fs::temp_directory_path() / ("trakvio-geoid-bench-" + std::to_string(getpid()));
        fs::create_directories(folder_);
        path_ = folder_ / "Und_min1x1_egm2008_isw=82_WGS84_TideFree_SE";
        const int64_t period = 360 * kCells, rows = 180 * kCells + 1, record = period * 4 + 8;
        std::vector<uint32_t> words(static_cast<size_t>(period) + 2);
        std::FILE* file = std::fopen(path_.c_str(), "wb");
        for (int r = kFirstRow; r <= kLastRow && file != nullptr; ++r) {
            words.front() = words.back() = static_cast<uint32_t>(period * 4);  // little-endian host
            for (int64_t c = 0; c < period; ++c) {
                words[static_cast<size_t>(c) + 1] =
                    std::bit_cast<uint32_t>(30.0f + 0.001f * static_cast<float>(c % 97));
            }
            fseeko(file, (rows - 1 - r) * record, SEEK_SET);
            std::fwrite(words.data(), 4, words.size(), file);
        }
        if (file != nullptr) std::fclose(file);
        fs::resize_file(path_, static_cast<uintmax_t>(rows * record));
    }
    ~SparseEgmFile() {
        std::error_code ec;
        fs::remove_all(folder_, ec);
    }
    SparseEgmFile(const SparseEgmFile&) = delete;
    SparseEgmFile& operator=(const SparseEgmFile&) = delete;
    const fs::path& path() const { return path_; }

  private:
    fs::path folder_;
    fs::path path_;
};

const fs::path& EgmPath() {
    static const SparseEgmFile file;
    return file.path();
}

// A 1°x1° region (61 x 61 nodes) of the 1' grid: reads 61 rows of 61 values
// out of a 933 MB file.
void BM_GeoidLoadEgm2008Region1x1(benchmark::State& state) {
    const fs::path& path = EgmPath();
    GeoidModel model;
    for (auto _ : state) {
        if (LoadGeoidModel(model, path, 35, 139, 36, 140) != kGeoidEgm2008) state.SkipWithError("load failed");
        benchmark::DoNotOptimize(model.values.data());
    }
}
BENCHMARK(BM_GeoidLoadEgm2008Region1x1)->Unit(benchmark::kMicrosecond);

// Random positions inside the region: nearly all bilinear, a few on nodes.
void BM_GeoidUndulation(benchmark::State& state) {
    GeoidModel model;
    if (LoadGeoidModel(model, EgmPath(), 35, 139, 36, 140) != kGeoidEgm2008) {
        state.SkipWithError("load failed");
        return;
    }
    std::mt19937 random(20240601);
    std::uniform_real_distribution<double> lon(139.0, 140.0), lat(35.0, 36.0);
    std::vector<std::pair<double, double>> points(4096);
    for (auto& [x, y] : points) {
        x = lon(random);
        y = lat(random);
    }
    for (size_t i = 0; i < points.size(); i += 64) points[i] = {139.5, 35.5};
    for (auto _ : state) {
        float sum = 0;
        for (const auto& [x, y] : points) sum += GeoidUndulation(model, x, y);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(points.size()));
}
BENCHMARK(BM_GeoidUndulation);

}  // namespace
}  // namespace trakvio
