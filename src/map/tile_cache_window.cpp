// Placeholder until the tile cache window is built.
#include "map/tile_cache_window.h"

#include "app/qt_text.h"

namespace trakvio {

TileCacheWindow::TileCacheWindow(AppState& state, QWidget* parent) : QWidget(parent, Qt::Window), state_(state) {
    setWindowTitle(QStringLiteral("Trakvio Map tile cache - ") + QStringFromPath(state.settings.tileCacheFolder));
    resize(500, 250);
}

void TileCacheWindow::Update() {}

}  // namespace trakvio
