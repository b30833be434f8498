#include "bench_support.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <system_error>

#include "archive/load_front_end.h"

namespace trakvio::bench {

std::filesystem::path InputFile(const char* envName, const char* fileName, Generator generate) {
    if (const char* given = std::getenv(envName)) return given;
    auto path = std::filesystem::temp_directory_path() / fileName;
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) generate(path);
    return path;
}

void RunLoad(benchmark::State& state, const std::filesystem::path& path, int32_t maxPoints, int32_t maxTracks) {
    TrackStore store;
    Settings settings;
    if (CreateTrackStore(store, maxPoints, maxTracks) != 0) {
        state.SkipWithError("store");
        return;
    }
    for (auto _ : state) {
        ClearTrackStore(store);
        if (LoadLogFile(store, settings, path) != 0) state.SkipWithError("load failed");
        benchmark::DoNotOptimize(store.totalDistanceKm);
    }
    std::error_code ec;
    state.counters["points"] = store.pointCount;
    state.SetItemsProcessed(state.iterations() * store.pointCount);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(std::filesystem::file_size(path, ec)));
}

void RunPlainPass(benchmark::State& state, const std::filesystem::path& path, char marker) {
    std::error_code ec;
    size_t size = std::filesystem::file_size(path, ec);
    std::unique_ptr<char[]> buffer(new char[size + 1]);
    for (auto _ : state) {
        int fd = ::open(path.c_str(), O_RDONLY);
        size_t used = 0;
        ssize_t n;
        while (fd >= 0 && used < size && (n = ::read(fd, buffer.get() + used, size - used)) > 0) {
            used += static_cast<size_t>(n);
        }
        if (fd >= 0) ::close(fd);
        size_t count = 0;
        const char* p = buffer.get();
        const char* end = p + used;
        while ((p = static_cast<const char*>(std::memchr(p, marker, static_cast<size_t>(end - p))))) {
            ++count;
            ++p;
        }
        benchmark::DoNotOptimize(count);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(size));
}

}  // namespace trakvio::bench
