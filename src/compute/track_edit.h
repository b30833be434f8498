// Track editing: the operations the map window, the main window and the batch
// conversion apply to the store. Points are never removed here, only marked
// deleted (enabled = 0) and restored; tracks are split and joined in place;
// the loaded files can be put into time order. The standstill passes live in
// standstill.h.
//
// Every operation stays inside the arrays whatever the counters and end
// indices claim: it works on the points and tracks the arrays hold, with each
// track's span clamped so that spans never overlap or run past the points.
//
// Operations that change enabled marks, point order or tracks leave the
// statistics stale: the caller runs RecomputeStatistics(store, 0) afterwards,
// refreshes the track list and redraws. SortFilesByTime is the exception and
// recomputes them itself. Default colours are AssignDefaultColors
// (default_colors.h), which needs no recomputation.
#pragma once

#include <cstdint>
#include <vector>

#include "store/track_store.h"

namespace trakvio {

// Result codes of the editing operations.
inline constexpr int kEditDone = 0;
inline constexpr int kEditNothingToDo = 1;   // a precondition was not met; nothing changed
inline constexpr int kEditRefused = 2;       // nothing changed; a message told the user why
inline constexpr int kEditNoMemory = 3;      // scratch buffers could not be had; nothing changed
inline constexpr int kEditBadFileIndex = 4;  // a track names no loaded file; nothing changed

// Bits of CheckTimeOrder.
inline constexpr int kTimeOrderPointsBit = 1;  // a point is not later than the one before it in its track
inline constexpr int kTimeOrderTracksBit = 2;  // a track of a file is empty or overlaps the track before it
inline constexpr int kTimeOrderFilesBit = 4;   // a track begins at or before the start of the preceding file

// Last point of track t, given the first index it may use (one past the end
// of the track before it) and the held point count: trackEnd[t] clamped to
// [begin - 1, pointCount - 1], so an empty or damaged span is empty.
inline int32_t ClampedTrackEnd(const TrackStore& store, int32_t t, int32_t begin, int32_t pointCount) {
    int32_t end = store.trackEnd[t];
    if (end > pointCount - 1) end = pointCount - 1;
    if (end < begin - 1) end = begin - 1;
    return end;
}

// Delete selected points (command 1100): every selected point is marked
// deleted and unselected; selectedCount becomes 0. kEditNothingToDo when
// selectedCount < 1.
int DeleteSelectedPoints(TrackStore& store);

// Splits the track holding point s after s: s ends the first half, the next
// point begins the second. Both halves carry the record (name, width, colour,
// file index) of the original track; splitting at a track's last point leaves
// an empty second track. Refused with a warning when the track capacity is
// reached or the names buffer cannot hold the duplicated name.
// kEditNothingToDo when s is not a point of a track.
int SplitTrack(TrackStore& store, int32_t s);

// Split track at the selected point (command 1101): with more than one point
// selected, a warning and kEditRefused; with none, kEditNothingToDo. With one,
// SplitTrack at it; when the split is done the selection is cleared.
int SplitTrackAtSelection(TrackStore& store);

// Join ticked tracks (command 1102), on the checked marks as they stand: each
// run of ticked neighbours t..u becomes one track over their points, named
// "name(t)_name(t+1)_..._name(u)", with the record of t; later tracks move
// down. Ticked tracks that are not neighbours stay apart. kEditNothingToDo
// when fewer than two tracks exist, fewer than two are ticked or no two
// ticked tracks are neighbours.
int JoinCheckedTracks(TrackStore& store);

// Restore deleted points in the selected range (command 1103): every point
// from the lowest to the highest selected index is enabled; the selection
// stays. kEditNothingToDo when selectedCount < 2.
int RestoreSelectedRange(TrackStore& store);

// Restore all deleted points (command 1104).
void RestoreAllPoints(TrackStore& store);

// Delete (enabled = 0) or restore (enabled = 1) every point of each ticked
// track (commands 1106, 1107). kEditNothingToDo when no track is ticked.
int SetTrackPointsEnabled(TrackStore& store, int enabled);

// Clear the selection (command 1105). kEditNothingToDo when selectedCount is
// already 0. Needs no recomputation.
int ClearSelection(TrackStore& store);

// Time order of the store, from the points' times and the tracks' startTime
// and endTime (so the statistics must be current): the OR of the
// kTimeOrder* bits, 0 when everything is in order. The tracks of one file are
// a run of consecutive tracks with the same fileIndex.
int CheckTimeOrder(const TrackStore& store);

// Puts the loaded files into the order of their earliest track start (command
// 1015): rebuilds loadedFiles, fileKinds and, file by file, the tracks with
// their records, points, end indices and names, then recomputes the
// statistics. Only runs when the store holds tracks and more than one file,
// and only rebuilds when kTimeOrderFilesBit would be reported; otherwise
// kEditNothingToDo. Equal keys keep their load order; a file without tracks
// sorts last. kEditBadFileIndex when a track names no loaded file.
// The points are rebuilt through a scratch copy; a caller that sorts often
// (the batch conversion) can pass a workspace that it keeps: it grows to the
// size of the point array and then changes places with it, so the memory is
// taken once and the points are copied once rather than twice.
int SortFilesByTime(TrackStore& store, PointArray* workspace = nullptr);

}  // namespace trakvio
