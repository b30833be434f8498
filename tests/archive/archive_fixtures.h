// Logs and a saved working set for the archive tests: GPX text of one track
// with evenly spaced points and times, and a store of two files with a split,
// renamed and recoloured track and deleted points, saved as a .q9z.
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>

#include "archive/load_front_end.h"
#include "archive/track_archive.h"
#include "compute/statistics.h"
#include "compute/track_edit.h"
#include "config/settings.h"
#include "platform/utf.h"
#include "store/track_store.h"
#include "test_support.h"

namespace trakvio::test {

// One track of `points` points, a minute apart from t0, going north-east from
// (lat0, 139.0); without a name when name is empty.
inline std::string GpxTrack(int points, double lat0, int64_t t0, const std::string& name) {
    std::string gpx = "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\" creator=\"test\"><trk>";
    if (!name.empty()) gpx += "<name>" + name + "</name>";
    gpx += "<trkseg>\n";
    for (int i = 0; i < points; ++i) {
        char line[200];
        const time_t t = static_cast<time_t>(t0 + 60 * i);
        struct tm utc {};
        gmtime_r(&t, &utc);
        std::snprintf(
            line, sizeof line,
            "<trkpt lat=\"%.6f\" lon=\"%.6f\"><ele>%d</ele><time>%04d-%02d-%02dT%02d:%02d:%02dZ</time></trkpt>\n",
            lat0 + 0.001 * i, 139.0 + 0.001 * i, 10 + i, utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour,
            utc.tm_min, utc.tm_sec);
        gpx += line;
    }
    return gpx + "</trkseg></trk></gpx>\n";
}

// Settings whose work and per-user folders lie in base (created here).
inline Settings ArchiveSettings(const std::filesystem::path& base) {
    Settings settings;
    settings.workFolder = base / "work";
    settings.userFolder = base / "user";
    std::filesystem::create_directories(settings.workFolder);
    std::filesystem::create_directories(settings.userFolder);
    return settings;
}

// A scratch folder, settings whose folders lie in it, and an empty store.
struct ArchiveScene {
    ScratchFolder scratch;
    Settings settings = ArchiveSettings(scratch.path());
    TrackStore store;
    ArchiveScene() { CreateTrackStore(store, 1000, 20); }
};

inline constexpr int64_t kSetStart = 1673775000;  // 2023-01-15 09:30:00 UTC

// Loads a.gpx (15 points, "Walk") and b.gpx (6 points, "Ride") from folder,
// splits Walk after its fifth point and names the second half, gives track 1
// width 7 and colour 0x123456 and track 3 colour 0xABCDEF, and deletes points
// 3 and 10 to 12 (counting from 1). Returns false when a load fails.
inline bool BuildEditedSet(TrackStore& store, Settings& settings, const std::filesystem::path& folder) {
    WriteFile(folder / "a.gpx", GpxTrack(15, 35.0, kSetStart, "Walk"));
    WriteFile(folder / "b.gpx", GpxTrack(6, 36.0, kSetStart + 7200, "Ride"));
    if (CreateTrackStore(store, 1000, 20) != 0) return false;
    if (LoadLogFile(store, settings, folder / "a.gpx") != 0) return false;
    if (LoadLogFile(store, settings, folder / "b.gpx") != 0) return false;
    if (SplitTrack(store, 4) != kEditDone) return false;
    RenameTrack(store, 1, u"Walk, part 2 <東京>");
    store.tracks[0].lineWidth = 7;
    store.tracks[0].color = 0x123456;
    store.tracks[2].color = 0xABCDEF;
    for (int i : {2, 9, 10, 11}) store.points[i].enabled = 0;
    RecomputeStatistics(store, 0);
    return true;
}

// One line per track (end, width, colour, file, name), the number of stored
// names when it differs from the track count, then the enabled flags.
inline std::string StoreSummary(const TrackStore& s) {
    std::string out;
    for (int t = 0; t < s.trackCount; ++t) {
        char line[64];
        std::snprintf(line, sizeof line, "%d w%d %06X f%d ", s.trackEnd[t], s.tracks[t].lineWidth, s.tracks[t].color,
                      s.tracks[t].fileIndex);
        out += line + Utf16ToUtf8(TrackName(s, t)) + "\n";
    }
    if (StoredNameCount(s) != s.trackCount) out += "names " + std::to_string(StoredNameCount(s)) + "\n";
    for (int i = 0; i < s.pointCount; ++i) out += s.points[i].enabled ? '1' : '0';
    return out;
}

}  // namespace trakvio::test
