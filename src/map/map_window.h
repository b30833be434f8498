// Map window ("map_window"): the child of the main window that shows the map
// picture (tiles and tracks) at the view offset, pans, zooms, shows the point
// under the cursor and selects and edits points through its pop-up menu.
#pragma once

#include <QImage>
#include <QUrl>
#include <QWidget>
#include <functional>

#include "app/app_state.h"
#include "app/shell.h"
#include "map/map_geometry.h"
#include "map/map_render.h"
#include "map/tile_fetcher.h"

class QMenu;
class QPainter;
class QPushButton;

namespace trakvio {

// Command ids of the pop-up menu.
inline constexpr int kCmdDeleteSelected = 1100;
inline constexpr int kCmdSplitAtSelection = 1101;
inline constexpr int kCmdJoinTracks = 1102;
inline constexpr int kCmdRestoreSelectedRange = 1103;
inline constexpr int kCmdRestoreAll = 1104;
inline constexpr int kCmdClearSelection = 1105;
inline constexpr int kCmdDeleteTrackPoints = 1106;
inline constexpr int kCmdRestoreTrackPoints = 1107;
inline constexpr int kCmdDefaultColors = 1108;
inline constexpr int kCmdDeleteStandstills = 1109;

class MapWindow : public QWidget {
    Q_OBJECT
  public:
    MapWindow(AppState& state, Shell& shell, QWidget* parent = nullptr);
    // The same with other limits for the tile downloads (connections,
    // time-outs).
    MapWindow(AppState& state, Shell& shell, TileFetchOptions fetchOptions, QWidget* parent = nullptr);
    ~MapWindow() override;

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

    // Zoom step about the window's centre (wheel, "＋"/"－").
    void ZoomBy(int steps);
    // Runs a pop-up menu command (ids 1100-1109).
    void RunCommand(int id);
    // Drops the tile downloads still outstanding (Escape).
    void CancelTileDownloads();
    // Opens attribution links; the desktop's browser unless replaced.
    void SetUrlOpener(std::function<void(const QUrl&)> opener) { urlOpener_ = std::move(opener); }

    const MapView& view() const { return view_; }
    int hoverPoint() const { return hoverPoint_; }
    int rangeAnchor() const { return rangeAnchor_; }
    bool tilesDrawn() const { return tilesDrawn_; }
    QMenu* popupMenu() const { return menu_; }
    const AttributionGeometry& attribution() const { return attribution_; }
    // The window-sized part of the picture as the window shows it (tiles
    // under tracks), without marks.
    QImage VisiblePicture() const;

  signals:
    // Emitted when a rendering and all its tile downloads have finished.
    void idle();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    void DrawPicture(QPainter& painter) const;
    void ReportFlags();
    const BaseMap* CurrentBaseMap() const;
    void MeasureAttribution();
    int LinkAt(const QPoint& pos) const;
    void Hover(const QPoint& pos);
    void Click(const QPoint& pos, bool shift);
    void AfterEdit(bool recompute);
    void OnTileDone(quint64 batch, int x, int y, bool ok, const QImage& image);
    void OnBatchDone(quint64 batch);
    void ReportProgress();

    AppState& state_;
    Shell& shell_;
    MapView view_;
    QImage tilesLayer_;
    QImage tracksLayer_;
    PointPositions positions_;
    DecodedTiles decodedTiles_;
    bool positionsStale_ = true;
    // Points the last rendering placed; a live capture appends more whose
    // picture positions are not set yet.
    int32_t renderedPoints_ = 0;
    std::vector<int32_t> selection_;  // selected point indices, for the paint
    bool selectionStale_ = true;
    bool refitWhenShown_ = false;
    bool tilesDrawn_ = false;
    int sourceFlags_ = 0;
    int reportedFlags_ = -1;

    TileFetcher* fetcher_ = nullptr;
    quint64 batch_ = 0;
    int tilesWanted_ = 0, tilesArrived_ = 0;
    int renderedBaseMap_ = -1;

    bool dragging_ = false, moved_ = false;
    QPoint pressPos_, lastDragPos_;
    int32_t offsetAtPressX_ = 0, offsetAtPressY_ = 0;
    int hoverPoint_ = -1;
    int rangeAnchor_ = -1;

    AttributionGeometry attribution_;
    QFont attributionFont_;
    int measuredBaseMap_ = -1;
    QMenu* menu_ = nullptr;
    QPushButton* zoomIn_ = nullptr;
    QPushButton* zoomOut_ = nullptr;
    std::function<void(const QUrl&)> urlOpener_;
};

}  // namespace trakvio
