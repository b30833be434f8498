// Feeds arbitrary bytes to the geoid grid readers through files in a private
// temporary folder. The first byte picks the kind (ASCII grid, ISG or a
// sparse 2.5' EGM2008 grid whose northernmost rows each begin with the rest of
// the input), the next four the region. Whatever the file holds, a load must
// either fail with a negative result and no grid, or hold exactly nx x ny
// values that every lookup may read.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "compute/geoid.h"

using namespace trakvio;

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

// The private folder, removed when the fuzzer exits normally.
class TempFolder {
  public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "trakvio-geoid-fuzz-XXXXXX").string();
        Check(mkdtemp(pattern.data()) != nullptr);
        path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

const std::filesystem::path& Folder() {
    static const TempFolder folder;
    return folder.path();
}

void WriteAt(int fd, const uint8_t* data, size_t size, off_t offset) {
    while (size > 0) {
        ssize_t written = pwrite(fd, data, size, offset);
        Check(written > 0);
        data += written;
        size -= static_cast<size_t>(written);
        offset += written;
    }
}

// A 2.5' grid at its full size with the payload at the start of each of the
// rows from 90°N down to 89°N; every other byte is a hole.
void WriteEgm(const std::filesystem::path& path, const uint8_t* data, size_t size) {
    constexpr off_t kRecord = 360 * 24 * 4 + 8;
    constexpr off_t kRows = 180 * 24 + 1;
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    Check(fd >= 0);
    Check(ftruncate(fd, kRecord * kRows) == 0);
    if (size > static_cast<size_t>(kRecord)) size = static_cast<size_t>(kRecord);
    for (off_t row = 0; row <= 24 && size > 0; ++row) WriteAt(fd, data, size, row * kRecord);
    close(fd);
}

void WriteText(const std::filesystem::path& path, const uint8_t* data, size_t size) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    Check(fd >= 0);
    WriteAt(fd, data, size, 0);
    close(fd);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5) return 0;
    const int kind = data[0] % 3;
    // Bounds: two equal bytes load a whole axis; the EGM2008 region stays in
    // 89°N..90°N and straddles or touches 0° east.
    const auto signedByte = [](uint8_t b) { return static_cast<double>(static_cast<int8_t>(b)); };
    double lat1 = signedByte(data[1]), lat2 = signedByte(data[2]);
    double lon1 = signedByte(data[3]), lon2 = signedByte(data[4]);
    data += 5;
    size -= 5;

    std::filesystem::path path;
    if (kind == 0) {
        path = Folder() / "grid.asc";
        WriteText(path, data, size);
        lat1 /= 2;
        lat2 /= 2;
        lon1 = 100 + lon1;
        lon2 = 100 + lon2;
    } else if (kind == 1) {
        path = Folder() / "grid.isg";
        WriteText(path, data, size);
    } else {
        path = Folder() / "Und_min2.5x2.5_egm2008_isw=82_WGS84_TideFree_SE";
        WriteEgm(path, data, size);
        lat1 = 89 + std::fabs(lat1) / 128;
        lat2 = 89 + std::fabs(lat2) / 128;
        lon1 /= 40;
        lon2 /= 40;
        if (lon1 == lon2) lon2 = lon1 + 1;
    }

    GeoidModel model;
    model.values.assign(3, 1.0f);  // whatever was held before must go
    const int result = LoadGeoidModel(model, path, lat1, lon1, lat2, lon2);
    Check((result >= 1) == (model.loaded == 1));
    if (result < 1) {
        Check(result < 0 && model.values.empty());
        Check(GeoidUndulation(model, 100, 35) == 0.0f);
        return 0;
    }
    Check(model.nx >= 0 && model.ny >= 0 && model.kx >= 1 && model.ky >= 1);
    Check(model.values.size() == static_cast<size_t>(model.nx) * static_cast<size_t>(model.ny));
    // Lookups all over the held part and just beyond its edges.
    for (int s = -2; s <= 10; ++s) {
        for (int t = -2; t <= 10; ++t) {
            const double lon = (model.x0 + model.nx * s / 8.0 + 0.37 * t) / model.kx;
            const double lat = (model.y0 + model.ny * t / 8.0 + 0.29 * s) / model.ky;
            const float n = GeoidUndulation(model, lon, lat);
            Check(!std::isnan(n));
        }
    }
    const GeoidModelInfo info = DescribeGeoidModel(model, result);
    Check(!info.text.empty());
    return 0;
}
