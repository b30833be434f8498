// Map window ("map_window"): the child of the main window that shows the map
// picture (tiles and tracks) at the view offset, pans, zooms, shows the point
// under the cursor and selects and edits points through its pop-up menu.
#pragma once

#include <QWidget>

#include "app/app_state.h"
#include "app/shell.h"

namespace trakvio {

class MapWindow : public QWidget {
    Q_OBJECT
public:
    MapWindow(AppState& state, Shell& shell, QWidget* parent = nullptr);

    // Fits the view to the loaded data for the window's client size and
    // renders (the refresh after a load).
    void FitAndRender();
    // Renders the picture again at the current view (tracks, colours, widths,
    // base map or dot drawing changed) and repaints.
    void Render();
    // Hover cross drawn for a point hovered in the graph; -1 clears it.
    void SetHoverPoint(int index);
    // Copies the window-sized part of the picture to the clipboard.
    void CopyPictureToClipboard();
    // Current zoom level (status part 0).
    int zoom() const;
    // True when no rendering or tile download is outstanding.
    bool isIdle() const;

signals:
    // Emitted when a rendering and all its tile downloads have finished.
    void idle();

private:
    AppState& state_;
    Shell& shell_;
};

}  // namespace trakvio
