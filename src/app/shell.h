// What the child windows (map, graph, track list, tile cache, device dialogs)
// need from the main window, as one small interface. The main window
// implements it; window tests implement it with a recording fake, so every
// child window can be built and tested on its own.
#pragma once

#include <string_view>

namespace trakvio {

// Status bar parts of the main window.
inline constexpr int kStatusZoom = 0;          // "z%d"
inline constexpr int kStatusTrack = 1;         // ShowPointInfo: "t.%d"
inline constexpr int kStatusPoint = 2;         // "p.%d"
inline constexpr int kStatusTime = 3;          // local time of the point
inline constexpr int kStatusPosition = 4;      // "%f,%f" latitude, longitude
inline constexpr int kStatusAltitude = 5;      // "%.2f(%.2f)"
inline constexpr int kStatusCursor = 6;        // map cursor "%f,%f"
inline constexpr int kStatusMapSource = 7;     // tile source state
inline constexpr int kStatusProgress = 8;      // device and progress texts
inline constexpr int kStatusPartCount = 9;

class Shell {
public:
    virtual ~Shell() = default;

    // Sets the text (UTF-8) of one status bar part.
    virtual void SetStatusPart(int part, std::string_view text) = 0;
    // Describes point `index` in status parts 1 to 5.
    virtual void ShowPointInfo(int index) = 0;

    // After a load, archive read, script run or time-order repair: track
    // list, map fit and rendering, selection cleared, titles, graph.
    virtual void RefreshAfterLoad() = 0;
    // After an edit of the store (points deleted or restored, tracks split or
    // joined, colours and widths changed): statistics already recomputed by
    // the caller; track list, map rendering and graph are redrawn.
    virtual void RefreshAfterEdit() = 0;
    // Rebuilds the track list rows.
    virtual void RefreshTrackList() = 0;
    // Re-renders the map picture (tracks only changed) and repaints it.
    virtual void RedrawMap() = 0;
    // Redraws the graph when its window is shown.
    virtual void RedrawGraph() = 0;

    // Hover crosses shared by the map and the graph: -1 clears them.
    virtual void SetMapHoverPoint(int index) = 0;
    virtual void SetGraphHoverPoint(int index) = 0;

    // Track pick of the track list window: the prompt becomes the Ok button's
    // caption; returns the number of ticked tracks after Ok, -1 after Cancel,
    // and sets each track's `checked`. The caller clears `checked` first.
    virtual int PickTracks(std::string_view prompt) = 0;
};

}  // namespace trakvio
