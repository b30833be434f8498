// Tile cache window ("tile_cache"): one row per tile set in the tile cache
// folder with its folder statistics, a total row, Ok, Update and ClearCache.
#pragma once

#include <QWidget>

#include "app/app_state.h"

namespace trakvio {

class TileCacheWindow : public QWidget {
    Q_OBJECT
public:
    TileCacheWindow(AppState& state, QWidget* parent = nullptr);
    // Walks the cache folder again and rebuilds the rows.
    void Update();

private:
    AppState& state_;
};

}  // namespace trakvio
