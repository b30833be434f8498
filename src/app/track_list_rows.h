// Track list rows: the text of every cell of the track list, one row per track
// plus the total row, built from the store without any window toolkit. The
// track list window, the command-line tool and the tests all show these same
// strings. Reading is bounded by the arrays the store really holds, so an
// inconsistent store (counts or indices beyond the arrays, texts without their
// NUL, a damaged names buffer) gives odd cells but never a read out of bounds.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "store/track_store.h"

namespace trakvio {

// Columns of the track list, left to right.
enum TrackListColumnIndex {
    kColumnTrack = 0,  // "%2d", track number from 1; "total" in the total row
    kColumnTitle,      // track name, UTF-8
    kColumnColor,      // "%06X" of 0xRRGGBB
    kColumnWidth,      // line width
    kColumnStart,      // start text
    kColumnEnd,        // end text, time of day only
    kColumnDuration,   // "h:mm:ss" from an hour on, else "m:ss"
    kColumnDistance,   // "%.3f" km
    kColumnSpeed,      // "%.2f" km/h; empty without a positive duration
    kColumnPoints,     // points of the track, deleted ones included
    kColumnDeleted,    // deleted points
    kColumnFile,       // loaded-file number from 1
    kTrackListColumnCount
};

struct TrackListColumn {
    std::string_view header;
    int width;        // pixels at 96 DPI
    bool alignRight;  // right-aligned cells
};

inline constexpr std::array<TrackListColumn, kTrackListColumnCount> kTrackListColumns = {{
    {"trk", 35, false},
    {"track title", 250, false},
    {"color", 50, false},
    {"w", 22, true},
    {"start", 125, false},
    {"end", 54, true},
    {"duration", 57, true},
    {"km", 50, true},
    {"km/h", 50, true},
    {"np", 45, true},
    {"dp", 45, true},
    {"f#", 25, true},
}};

// First cell of the total row, outside a pick and during one.
inline constexpr std::string_view kTotalRowLabel = "total";
inline constexpr std::string_view kTotalRowPickLabel = "all";

using TrackListRow = std::array<std::string, kTrackListColumnCount>;

struct TrackPointCounts {
    int64_t points = 0;   // indices in the track's span, deleted ones included
    int64_t deleted = 0;  // points of the span with enabled = 0
};

struct TrackListTable {
    std::vector<TrackListRow> rows;  // one per track, in track order
    TrackListRow total;              // cells 0 and 6 to 10 filled, the others empty
    // The counts behind the points and deleted cells, one per row, for callers
    // that want the numbers without walking every point again.
    std::vector<TrackPointCounts> counts;
};

// Builds every row of the track list and the total row.
TrackListTable BuildTrackListTable(const TrackStore& store);

// Number of track rows: trackCount clamped to the tracks whose record and end
// index both exist, never negative.
int32_t TrackListRowCount(const TrackStore& store);

// Duration of track t in whole seconds: time of its last enabled point minus
// that of its first, taken modulo 2^32 as a signed 32-bit value; 0 when either
// point is missing (-1 or outside the points held) or t is not a track row.
int32_t TrackDuration(const TrackStore& store, int t);

// Point counts of track t (zeros when t is not a track row). Only points
// the array holds below pointCount are looked at for the deleted count.
TrackPointCounts CountTrackPoints(const TrackStore& store, int t);

// A start or end text of a track record (20 bytes, normally NUL-terminated)
// from byte from on, cut at its NUL or at the end of the field, as valid UTF-8.
std::string TrackTimeText(const char (&text)[20], size_t from = 0);

// "%d:%02d:%02d" (hours, minutes, seconds) from 3600 s on, else "%d:%02d"; a
// negative duration is shown as "-" before the form of its magnitude.
std::string FormatTrackDuration(int64_t seconds);

}  // namespace trakvio
