// Pieces the graph tests share: a store built from a few tracks of points in
// a line, and a back end that records what DrawGraph asks it to draw.
#pragma once

#include <cstdint>
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

    GraphBackend Table() {
        GraphBackend b;
        b.context = this;
        b.polyline = [](void* c, const GraphPoint* p, int32_t n) {
            auto& r = *static_cast<RecordingBackend*>(c);
            ++r.calls;
            r.polylines.emplace_back(p, p + n);
        };
        b.polyPolyline = [](void* c, const GraphPoint* p, const int32_t* counts, int32_t lines) {
            auto& r = *static_cast<RecordingBackend*>(c);
            ++r.calls;
            for (int32_t i = 0; i < lines; p += counts[i++]) r.polyPolylineLines.emplace_back(p, p + counts[i]);
        };
        b.tickText = [](void* c, int32_t x, int32_t y, const char* t, int32_t n) {
            auto& r = *static_cast<RecordingBackend*>(c);
            ++r.calls;
            r.texts.push_back({x, y, std::string(t, static_cast<size_t>(n)), r.align, false});
        };
        b.titleText = [](void* c, int32_t x, int32_t y, const char* t, int32_t n) {
            auto& r = *static_cast<RecordingBackend*>(c);
            ++r.calls;
            r.texts.push_back({x, y, std::string(t, static_cast<size_t>(n)), r.align, true});
        };
        b.textExtent = [](void* c, const char*, int32_t n, GraphTextSize& size) {
            ++static_cast<RecordingBackend*>(c)->calls;
            size = {7 * n, 16};
        };
        b.textAlign = [](void* c, uint32_t flags) {
            auto& r = *static_cast<RecordingBackend*>(c);
            ++r.calls;
            r.align = flags;
        };
        b.pen = [](void* c, int32_t, uint32_t, bool) { ++static_cast<RecordingBackend*>(c)->calls; };
        b.font = [](void* c, int32_t, int32_t, bool, std::u16string_view, bool) {
            ++static_cast<RecordingBackend*>(c)->calls;
        };
        return b;
    }

    std::vector<std::string> TickLabels() const {
        std::vector<std::string> labels;
        for (const RecordedText& t : texts) {
            if (!t.title) labels.push_back(t.text);
        }
        return labels;
    }
    std::vector<std::string> Titles() const {
        std::vector<std::string> titles;
        for (const RecordedText& t : texts) {
            if (t.title) titles.push_back(t.text);
        }
        return titles;
    }
};

}  // namespace trakvio::test
