// Tile cache window ("tile_cache"): one row per tile set in the tile cache
// folder with its folder statistics, a total row, Ok, Update and ClearCache.
#pragma once

#include <QWidget>

#include "app/app_state.h"

class QPushButton;
class QTreeWidget;

namespace trakvio {

class TileCacheWindow : public QWidget {
    Q_OBJECT
  public:
    TileCacheWindow(AppState& state, QWidget* parent = nullptr);
    // Walks the cache folder again and rebuilds the rows.
    void Update();
    // Deletes the cached tiles of the checked tile sets after the user
    // confirms, then rebuilds the rows ("ClearCache").
    void ClearCheckedTileSets();

    QTreeWidget* list() const { return list_; }

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    AppState& state_;
    QTreeWidget* list_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* update_ = nullptr;
    QPushButton* clear_ = nullptr;
};

}  // namespace trakvio
