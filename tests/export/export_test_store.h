// The small store and settings the page and KML tests write from, and the
// helpers to compare their text output. Times are UTC; the tests that use the
// store's time texts set TZ=UTC before filling it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "compute/statistics.h"
#include "config/settings.h"
#include "store/track_store.h"

namespace trakvio::test {

struct TestPoint {
    double latitude;
    double longitude;
    float altitude;
    int64_t time;
    int32_t enabled;
};

struct TestTrack {
    std::u16string name;
    std::vector<TestPoint> points;
    uint32_t color;
    int32_t lineWidth;
    double distanceKm;  // replaces the computed distance, so the texts are round numbers
};

// 2024-05-01 00:00:00 UTC.
inline constexpr int64_t kMay1 = 1714521600;

// Fills a fresh store with the tracks, computes the statistics and then sets
// each track's colour, width and distance as given.
inline void FillStore(TrackStore& store, const std::vector<TestTrack>& tracks) {
    int32_t capacity = 0;
    for (const TestTrack& track : tracks) capacity += static_cast<int32_t>(track.points.size());
    CreateTrackStore(store, capacity + 1, static_cast<int32_t>(tracks.size()) + 1);
    for (const TestTrack& track : tracks) {
        for (const TestPoint& p : track.points)
            AppendPoint(store, p.latitude, p.longitude, p.altitude, 0, p.time, p.enabled);
        CloseTrack(store);
        WriteTrackName(store, NamesEndPosition(store), track.name);
    }
    RecomputeStatistics(store, 0);
    for (size_t t = 0; t < tracks.size(); ++t) {
        store.tracks[t].color = tracks[t].color;
        store.tracks[t].lineWidth = tracks[t].lineWidth;
        store.tracks[t].distanceKm = tracks[t].distanceKm;
    }
}

// Three tracks: a walk on one morning, a track whose points are all deleted,
// and a night ride over midnight with its middle point deleted.
inline std::vector<TestTrack> SmallTracks() {
    return {
        {u"20240501_walk",
         {{35.0, 139.0, 40.3f, kMay1 + 8 * 3600, 1},
          {35.001, 139.001, 41.0f, kMay1 + 8 * 3600 + 1800, 1},
          {35.002, 139.0005, 12.25f, kMay1 + 9 * 3600 + 1800, 1}},
         0xFF0000,
         3,
         1.25},
        {u"deleted",
         {{36.0, 140.0, 0.0f, kMay1 + 10 * 3600, 0}, {36.1, 140.1, 0.0f, kMay1 + 11 * 3600, 0}},
         0x00FF00,
         2,
         0},
        {u"Night ride",
         {{35.1, 139.1, -3.0f, kMay1 + 23 * 3600 + 1800, 1},
          {35.2, 139.2, 0.0f, kMay1 + 23 * 3600 + 2000, 0},
          {35.1005, 139.1002, 5.05f, kMay1 + 23 * 3600 + 1800 + 2730, 1}},
         0x0000FF,
         5,
         9.1},
    };
}

// Two base maps and one overlay, as the shipped configuration has them (each
// attribution with one link).
inline Settings SmallSettings() {
    const std::u16string gsiLink = u"https://maps.gsi.go.jp/development/ichiran.html";
    Settings settings;
    settings.baseMaps.push_back({.name = u"OpenStreetMap",
                                 .tileId = u"osmjp",
                                 .urlTemplate = u"https://tile.openstreetmap.org/{z}/{x}/{y}.png",
                                 .urlFormat = {},
                                 .attribution = u"\u00A9 OpenStreetMap contributors",
                                 .linkCount = 1,
                                 .links = {{2, 13}},
                                 .linkUrls = {u"https://www.openstreetmap.org/copyright"},
                                 .maxZoom = 19});
    settings.baseMaps.push_back({.name = u"地理院地図 標準",
                                 .tileId = u"gsistd",
                                 .urlTemplate = u"https://cyberjapandata.gsi.go.jp/xyz/std/{z}/{x}/{y}.png",
                                 .urlFormat = {},
                                 .attribution = u"国土地理院",
                                 .linkCount = 1,
                                 .links = {{0, 5}},
                                 .linkUrls = {gsiLink},
                                 .minZoom = 2,
                                 .maxZoom = 18});
    settings.overlayMaps.push_back({.name = u"陰影起伏図",
                                    .tileId = u"gsihillshade",
                                    .urlTemplate = u"https://cyberjapandata.gsi.go.jp/xyz/hillshademap/{z}/{x}/{y}.png",
                                    .attribution = u"国土地理院",
                                    .linkCount = 1,
                                    .links = {{0, 5}},
                                    .linkUrls = {gsiLink},
                                    .opacity = 0.5f,
                                    .maxNativeZoom = 16});
    settings.leafletcss = "https://unpkg.com/leaflet@1.9.4/dist/leaflet.css";
    settings.leafletjs = "https://unpkg.com/leaflet@1.9.4/dist/leaflet.js";
    settings.gmapjs = "https://maps.googleapis.com/maps/api/js";
    return settings;
}

// text with every line feed as CR LF, as the writers put it in files.
inline std::string Crlf(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

// How often needle occurs in haystack.
inline size_t CountOf(std::string_view haystack, std::string_view needle) {
    size_t count = 0;
    for (size_t at = haystack.find(needle); at != std::string_view::npos; at = haystack.find(needle, at + 1)) ++count;
    return count;
}

}  // namespace trakvio::test
