// Placeholder until the map is built: a white child window.
#include "map/map_window.h"

namespace trakvio {

MapWindow::MapWindow(AppState& state, Shell& shell, QWidget* parent)
    : QWidget(parent), state_(state), shell_(shell) {
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::white);
    setPalette(p);
}

void MapWindow::FitAndRender() { update(); }
void MapWindow::Render() { update(); }
void MapWindow::SetHoverPoint(int) {}
void MapWindow::CopyPictureToClipboard() {}
int MapWindow::zoom() const { return state_.store.initialZoom; }
bool MapWindow::isIdle() const { return true; }

}  // namespace trakvio
