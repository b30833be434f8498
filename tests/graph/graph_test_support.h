// Pieces the graph tests share: a store built from a few tracks of points in
// a line, and a back end that records what DrawGraph asks it to draw.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "compute/statistics.h"
#include "graph/graph_backend.h"
#include "store/track_store.h"

namespace trakvio::test {

struct PointSpec {
    int64_t time;
    float value;       // geoidAltitude and loggedSpeed
    double north = 0;  // km north of the start
};

// One closed track per entry, statistics recomputed, colours red, green, blue.
inline void FillStore(TrackStore& store, const std::vector<std::vector<PointSpec>>& tracks) {
    size_t total = 0;
    for (const auto& track : tracks) total += track.size();
    CreateTrackStore(store, static_cast<int32_t>(total + 1), static_cast<int32_t>(tracks.size() + 1));
    static const uint32_t kColors[] = {0xFF0000, 0x00FF00, 0x0000FF};
    for (const auto& track : tracks) {
        for (const PointSpec& p : track) AppendPoint(store, 35.0 + p.north / 111.0, 139.0, p.value, p.value, p.time, 1);
        CloseTrack(store);
        TrackRecord& record = store.tracks[static_cast<size_t>(store.trackCount - 1)];
        record.lineWidth = 3;
        record.color = kColors[(store.trackCount - 1) % 3];
    }
    RecomputeStatistics(store, 0);
}

// The two tracks the file outputs are checked on: three points and two.
inline void FillTwoTracks(TrackStore& store) {
    FillStore(store, {{{1000, 10, 0}, {1600, 30, 0.5}, {2200, 20, 1.0}}, {{5000, 15, 1.2}, {5600, 25, 1.5}}});
}

// A little-endian field of a binary file (EMF) at a byte offset.
template <class T>
T FieldAt(const std::string& bytes, size_t at) {
    T v{};
    std::memcpy(&v, bytes.data() + at, sizeof v);
    return v;
}

struct RecordedText {
    int32_t x, y;
    std::string text;
    uint32_t align;
    bool title;
};

// Text widths are 7 pixels a character; fonts and pens are only counted.
struct RecordingBackend {
    std::vector<RecordedText> texts;
    std::vector<std::vector<GraphPoint>> polylines;
    std::vector<std::vector<GraphPoint>> polyPolylineLines;
    uint32_t align = 0;
    int calls = 0;

    static RecordingBackend& Of(void* context) {
        RecordingBackend& r = *static_cast<RecordingBackend*>(context);
        ++r.calls;
        return r;
    }
    GraphBackend Table() {
        GraphBackend b;
        b.context = this;
        b.polyline = [](void* c, const GraphPoint* p, int32_t n) { Of(c).polylines.emplace_back(p, p + n); };
        b.polyPolyline = [](void* c, const GraphPoint* p, const int32_t* counts, int32_t lines) {
            RecordingBackend& r = Of(c);
            for (int32_t i = 0; i < lines; p += counts[i++]) r.polyPolylineLines.emplace_back(p, p + counts[i]);
        };
        b.tickText = [](void* c, int32_t x, int32_t y, const char* t, int32_t n) { Of(c).Text(x, y, t, n, false); };
        b.titleText = [](void* c, int32_t x, int32_t y, const char* t, int32_t n) { Of(c).Text(x, y, t, n, true); };
        b.textExtent = [](void* c, const char*, int32_t n, GraphTextSize& size) {
            Of(c);
            size = {7 * n, 16};
        };
        b.textAlign = [](void* c, uint32_t flags) { Of(c).align = flags; };
        b.pen = [](void* c, int32_t, uint32_t, bool) { Of(c); };
        b.font = [](void* c, int32_t, int32_t, bool, std::u16string_view, bool) { Of(c); };
        return b;
    }
    void Text(int32_t x, int32_t y, const char* t, int32_t n, bool title) {
        texts.push_back({x, y, std::string(t, static_cast<size_t>(n)), align, title});
    }

    std::vector<std::string> Texts(bool titles) const {
        std::vector<std::string> found;
        for (const RecordedText& t : texts) {
            if (t.title == titles) found.push_back(t.text);
        }
        return found;
    }
    std::vector<std::string> TickLabels() const { return Texts(false); }
    std::vector<std::string> Titles() const { return Texts(true); }
};

}  // namespace trakvio::test
