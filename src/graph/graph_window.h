// Graph window ("graph"): the graph of the loaded tracks drawn through the
// graph core on a back buffer, with hover, item menus, SVG/EMF saving, the
// clipboard and the reference printer.
#pragma once

#include <QWidget>

#include "app/app_state.h"
#include "app/shell.h"

namespace trakvio {

class GraphWindow : public QWidget {
    Q_OBJECT
public:
    GraphWindow(AppState& state, Shell& shell, QWidget* parent = nullptr);

    // Rebuilds the back buffer from the store and repaints.
    void Redraw();
    // Hover cross drawn for a point hovered on the map; -1 clears it.
    void SetHoverPoint(int index);

signals:
    // The user closed or hid the window: menu item 1022 is enabled again.
    void closedByUser();

private:
    AppState& state_;
    Shell& shell_;
};

}  // namespace trakvio
