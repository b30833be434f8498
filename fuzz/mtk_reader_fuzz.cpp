// Feeds arbitrary bytes to the MTK image decoder as a downloaded buffer, then
// as a dump file read into a small store. Every record must come from bytes
// inside the input, and the store must stay within its capacity.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "readers/mtk_reader.h"

using namespace trakvio;

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

TrackStore& Store() {
    static TrackStore store = [] {
        TrackStore s;
        CreateTrackStore(s, 64, 4);
        return s;
    }();
    return store;
}

const std::filesystem::path& DumpPath() {
    static std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("trakvio-mtk-fuzz-" + std::to_string(::getpid()) + ".bin");
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A heap copy of exactly the input, so that a read past it is caught.
    std::vector<unsigned char> image(data, data + size);
    std::vector<MtkRecord> records;
    int count = DecodeMtkBuffer(image.data(), image.size(), records);
    Check(count == static_cast<int>(records.size()));
    Check(records.size() <= size);

    FILE* file = std::fopen(DumpPath().c_str(), "wb");
    if (!file) return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);
    TrackStore& store = Store();
    ClearTrackStore(store);
    int result = ReadMtkBinary(store, DumpPath());
    std::filesystem::remove(DumpPath());
    // Records off the globe give no point.
    int placeable = 0;
    for (const MtkRecord& r : records) placeable += IsPlaceablePosition(r.latitude, r.longitude) ? 1 : 0;
    Check(result == kReaderDone || result == kReaderCut);
    Check(store.pointCount == std::min<int>(placeable, store.maxlogpoints));
    Check(result == kReaderCut ? placeable > store.maxlogpoints : placeable <= store.maxlogpoints);
    for (int32_t i = 0; i < store.pointCount; ++i) {
        Check(IsPlaceablePosition(store.points[i].latitude, store.points[i].longitude));
        Check(std::isfinite(store.points[i].altitude) && std::isfinite(store.points[i].loggedSpeed));
    }
    return 0;
}
