// Draws the graph of a store made from arbitrary bytes: the first three bytes
// pick the X item, the Y item and the resolution, then every 15 bytes make
// one point (time step, altitude, latitude step, logged speed, flags: bit 0
// enabled, bit 1 closes a track, bit 2 puts the altitude's raw float into
// distance and speed too, where it may be NaN or infinite). Whatever the values, DrawGraph must
// end, hand the back end only lines that lie inside its buffers and tick
// labels of sane length, and never draw anything when it reports nothing to
// draw.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "compute/statistics.h"
#include "config/settings.h"
#include "fuzz_support.h"
#include "graph/graph_draw.h"

using namespace trakvio;

namespace {

constexpr int32_t kCapacity = 2000;
constexpr size_t kRecord = 15;

struct Checker {
    int32_t calls = 0;
};

GraphBackend CheckingBackend(Checker& checker) {
    GraphBackend b;
    b.context = &checker;
    b.polyline = [](void* c, const GraphPoint* p, int32_t n) {
        ++static_cast<Checker*>(c)->calls;
        fuzz::Check(n >= 0 && n <= kCapacity && (n == 0 || p != nullptr));
        for (int32_t i = 0; i < n; ++i) fuzz::Check(std::abs(static_cast<int64_t>(p[i].x)) <= (int64_t{1} << 31));
    };
    b.polyPolyline = [](void* c, const GraphPoint*, const int32_t* counts, int32_t lines) {
        ++static_cast<Checker*>(c)->calls;
        int64_t total = 0;
        for (int32_t i = 0; i < lines; ++i) {
            fuzz::Check(counts[i] >= 2);
            total += counts[i];
        }
        fuzz::Check(total <= kCapacity && lines <= kCapacity / 2);
    };
    b.tickText = [](void* c, int32_t, int32_t, const char* t, int32_t n) {
        ++static_cast<Checker*>(c)->calls;
        fuzz::Check(n > 0 && n < 64 && std::strlen(t) == static_cast<size_t>(n));
    };
    b.titleText = [](void* c, int32_t, int32_t, const char*, int32_t n) {
        ++static_cast<Checker*>(c)->calls;
        fuzz::Check(n >= 0 && n <= 64);
    };
    b.textExtent = [](void* c, const char*, int32_t n, GraphTextSize& size) {
        ++static_cast<Checker*>(c)->calls;
        size = {7 * n, 16};
    };
    b.textAlign = [](void* c, uint32_t) { ++static_cast<Checker*>(c)->calls; };
    b.pen = [](void* c, int32_t, uint32_t, bool) { ++static_cast<Checker*>(c)->calls; };
    b.font = [](void* c, int32_t, int32_t, bool, std::u16string_view, bool) { ++static_cast<Checker*>(c)->calls; };
    return b;
}

template <typename T>
T Take(const uint8_t* data) {
    T value;
    std::memcpy(&value, data, sizeof value);
    return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    TrackStore& store = fuzz::SmallStore(kCapacity, 50);
    ClearTrackStore(store);
    GraphSettings graph;
    graph.xItem = data[0] % 4;  // 0 stands for a damaged setting
    graph.yItem = data[1] % 5;
    const int32_t dpi = 48 + (data[2] % 8) * 48;
    int64_t time = 1700000000;
    double latitude = 35;
    for (size_t at = 3; at + kRecord <= size; at += kRecord) {
        const uint8_t* p = data + at;
        time += Take<int32_t>(p);
        const float value = Take<float>(p + 4);
        latitude += Take<int16_t>(p + 8) * 1e-5;
        const float logged = Take<float>(p + 10);
        const uint8_t flags = p[14];
        if (!AppendPoint(store, latitude, 139, value, logged, time, flags & 1)) break;
        if (flags & 2) CloseTrack(store);
    }
    if (store.pointCount > 0 && PointsInClosedTracks(store) < store.pointCount) CloseTrack(store);
    if (store.trackCount > 0) {
        for (int32_t t = 0; t < store.trackCount; ++t) {
            store.tracks[static_cast<size_t>(t)].lineWidth = 3;
            store.tracks[static_cast<size_t>(t)].color = 0x123456;
        }
        RecomputeStatistics(store, 0);
    }
    // Raw values where the statistics would have put sane ones.
    for (size_t at = 3, i = 0; at + kRecord <= size && i < static_cast<size_t>(store.pointCount); at += kRecord, ++i) {
        if (data[at + 14] & 4) {
            store.points[i].distance = Take<float>(data + at + 4);
            store.points[i].speed = Take<float>(data + at + 4);
        }
    }
    Checker checker;
    const int result = DrawGraph(store, graph, CheckingBackend(checker), 500, 260, dpi);
    fuzz::Check(result == 0 || checker.calls == 0);
    fuzz::Check(result == 0 || !GraphHasContent(store));
    return 0;
}
