// The map window: rendering into the two picture layers, painting the
// window-sized part at the view offset with the attribution and the marks,
// panning, zooming, hovering and clicking. The pop-up menu's commands and the
// clipboard copy live in map_window_commands.cpp.
#include "map/map_window.h"

#include <QDesktopServices>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QWheelEvent>
#include <cstdio>

#include "app/qt_text.h"
#include "map/map_render.h"
#include "map/tile_cache.h"
#include "platform/status_text.h"

namespace trakvio {

MapWindow::MapWindow(AppState& state, Shell& shell, QWidget* parent)
    : MapWindow(state, shell, TileFetchOptions{}, parent) {}

MapWindow::MapWindow(AppState& state, Shell& shell, TileFetchOptions fetchOptions, QWidget* parent)
    : QWidget(parent), state_(state), shell_(shell) {
    setAutoFillBackground(false);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setFocusPolicy(Qt::ClickFocus);
    SetMapDpi(view_, state_.settings.hidpimapstretch, logicalDpiX());

    fetcher_ = new TileFetcher(this, fetchOptions);
    connect(fetcher_, &TileFetcher::tileDone, this, &MapWindow::OnTileDone);
    connect(fetcher_, &TileFetcher::batchDone, this, &MapWindow::OnBatchDone);

    menu_ = new QMenu(this);
    const struct {
        int id;
        const char* text;
    } items[] = {
        {kCmdDeleteSelected, "選択点を削除"},
        {kCmdSplitAtSelection, "選択点でトラック分割"},
        {kCmdJoinTracks, "トラック結合"},
        {kCmdRestoreSelectedRange, "選択範囲の削除点を復元"},
        {kCmdRestoreAll, "全範囲の削除点を復元"},
        {kCmdDeleteTrackPoints, "トラックの全点削除"},
        {kCmdRestoreTrackPoints, "トラックの全点復元"},
        {kCmdClearSelection, "選択を解除"},
        {kCmdDefaultColors, "デフォルトカラーに変更"},
        {kCmdDeleteStandstills, "停留点削除"},
    };
    for (const auto& item : items) {
        QAction* action = menu_->addAction(QString::fromUtf8(item.text));
        action->setData(item.id);
        const int id = item.id;
        connect(action, &QAction::triggered, this, [this, id] { RunCommand(id); });
    }

    QFont buttonFont(QStringLiteral("Meiryo UI"));
    buttonFont.setPixelSize(ScaledPixels(view_, 22));
    buttonFont.setBold(true);
    zoomIn_ = new QPushButton(QStringLiteral("＋"), this);
    zoomOut_ = new QPushButton(QStringLiteral("－"), this);
    zoomIn_->setObjectName(QStringLiteral("zoomIn"));
    zoomOut_->setObjectName(QStringLiteral("zoomOut"));
    const int side = ScaledPixels(view_, 25);
    zoomIn_->setGeometry(ScaledPixels(view_, 4), ScaledPixels(view_, 4), side, side);
    zoomOut_->setGeometry(ScaledPixels(view_, 4), ScaledPixels(view_, 29), side, side);
    for (QPushButton* b : {zoomIn_, zoomOut_}) {
        b->setFont(buttonFont);
        b->setFocusPolicy(Qt::NoFocus);
        b->setCursor(Qt::ArrowCursor);
    }
    connect(zoomIn_, &QPushButton::clicked, this, [this] { ZoomBy(1); });
    connect(zoomOut_, &QPushButton::clicked, this, [this] { ZoomBy(-1); });

    urlOpener_ = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    setCursor(Qt::CrossCursor);
    MeasureAttribution();
}

MapWindow::~MapWindow() = default;

const BaseMap* MapWindow::CurrentBaseMap() const {
    const auto& maps = state_.settings.baseMaps;
    const int i = state_.settings.currentBaseMap;
    if (i < 0 || i >= static_cast<int>(maps.size())) return nullptr;
    return &maps[i];
}

void MapWindow::MeasureAttribution() {
    attribution_ = AttributionGeometry{};
    measuredBaseMap_ = state_.settings.currentBaseMap;
    const BaseMap* map = CurrentBaseMap();
    if (!map) return;
    bool western = true;
    for (char16_t c : map->attribution) {
        if (c > 0xBF) western = false;
    }
    QFont font(western ? QStringLiteral("Arial") : QStringLiteral("Meiryo UI"));
    font.setItalic(western);
    font.setPixelSize(view_.textHeight);
    attributionFont_ = font;
    const QFontMetrics metrics(font);
    const QString text = QStringFromUtf16(map->attribution);
    attribution_.linkCount = std::min(map->linkCount, 3);
    for (int i = 0; i < attribution_.linkCount; ++i) {
        const AttributionLink& link = map->links[i];
        attribution_.linkRightOffset[i] = metrics.horizontalAdvance(text.mid(link.linkStart));
        attribution_.linkWidth[i] = metrics.horizontalAdvance(text.mid(link.linkStart, link.linkLength));
    }
    attribution_.linkHeight = metrics.height();
}

int MapWindow::LinkAt(const QPoint& pos) const {
    return AttributionLinkAt(attribution_, tilesDrawn_, pos.x(), pos.y(), width() - view_.margin,
                             height() - view_.margin);
}

void MapWindow::FitAndRender() {
    if (LoadPointCount(state_.store) <= 0) return;
    FitView(view_, state_.store, width(), height());
    // A fit made before the window is on the screen (a log named on the
    // command line) used a provisional size: fit again once it is shown.
    refitWhenShown_ = !isVisible();
    Render();
}

void MapWindow::ReportFlags() {
    if (sourceFlags_ == reportedFlags_) return;
    reportedFlags_ = sourceFlags_;
    shell_.SetStatusPart(kStatusMapSource, MapSourceText(sourceFlags_));
}

void MapWindow::Render() {
    // Before the first fit the view has no meaning: nothing to render.
    if (!view_.fitted) return;
    if (measuredBaseMap_ != state_.settings.currentBaseMap) MeasureAttribution();
    const QSize size(PictureWidth(view_), PictureHeight(view_));
    tilesLayer_ = QImage(size, QImage::Format_RGB32);
    tracksLayer_ = QImage(size, QImage::Format_ARGB32_Premultiplied);
    shell_.SetStatusPart(kStatusMapSource, MapSourceText(0));
    reportedFlags_ = 0;
    sourceFlags_ = 0;
    tilesDrawn_ = false;
    std::vector<TileJob> missing;
    if (!tilesLayer_.isNull() && !tracksLayer_.isNull()) {
        sourceFlags_ = ComposeCachedTiles(tilesLayer_, view_, CurrentBaseMap(), state_.settings.tileCacheFolder,
                                          missing, tilesDrawn_, &decodedTiles_);
        ReportFlags();
        renderedPoints_ = LoadPointCount(state_.store);
        DrawTracks(tracksLayer_, state_.store, view_, state_.dotDrawing, state_.capturing, state_.settings.marker);
    } else {
        tilesLayer_ = QImage();
        tracksLayer_ = QImage();
    }
    positionsStale_ = true;
    selectionStale_ = true;
    char zoomText[16];
    std::snprintf(zoomText, sizeof zoomText, "z%d", view_.zoom);
    shell_.SetStatusPart(kStatusZoom, zoomText);
    tilesWanted_ = static_cast<int>(missing.size());
    tilesArrived_ = 0;
    if (!missing.empty()) {
        batch_ = fetcher_->Start(std::move(missing));
        ReportProgress();
    } else {
        fetcher_->Cancel();
        batch_ = 0;
    }
    update();
    if (isIdle()) emit idle();
}

void MapWindow::ReportProgress() {
    char text[48];
    std::snprintf(text, sizeof text, "Map tiles %d/%d", tilesArrived_, tilesWanted_);
    ShowStatusText(text);
}

void MapWindow::OnTileDone(quint64 batch, int x, int y, bool ok, const QImage& image) {
    if (batch != batch_) return;
    ++tilesArrived_;
    if (ok && !tilesLayer_.isNull()) {
        if (const BaseMap* map = CurrentBaseMap()) {
            decodedTiles_.Put(TilePath(state_.settings.tileCacheFolder, map->tileId, view_.zoom, x, y), image);
        }
        DrawTile(tilesLayer_, view_, x, y, image);
        sourceFlags_ |= kMapSourceDownload;
        tilesDrawn_ = true;
        ReportFlags();
        update();
    }
    ReportProgress();
}

void MapWindow::OnBatchDone(quint64 batch) {
    if (batch != batch_) return;
    ShowStatusText("");
    emit idle();
}

void MapWindow::CancelTileDownloads() {
    if (!fetcher_->busy()) return;
    fetcher_->Cancel();
    batch_ = 0;
    ShowStatusText("");
    emit idle();
}

bool MapWindow::isIdle() const { return !fetcher_->busy(); }

int MapWindow::zoom() const { return view_.fitted ? view_.zoom : state_.store.initialZoom; }

void MapWindow::ZoomBy(int steps) {
    if (!view_.fitted) return;
    refitWhenShown_ = false;
    SetZoom(view_, view_.zoom + steps);
    UpdateTileRange(view_, width(), height());
    Render();
}

void MapWindow::SetHoverPoint(int index) {
    if (index >= LoadPointCount(state_.store)) index = -1;
    if (index == hoverPoint_) return;
    hoverPoint_ = index;
    update();
}

void MapWindow::DrawPicture(QPainter& painter) const {
    painter.fillRect(QRect(0, 0, width(), height()), Qt::white);
    if (tilesLayer_.isNull()) return;
    const QRect window(view_.viewOffsetX, view_.viewOffsetY, width(), height());
    const QRect source = window.intersected(tilesLayer_.rect());
    if (source.isEmpty()) return;
    const QPoint target = source.topLeft() - window.topLeft();
    painter.drawImage(target, tilesLayer_, source);
    painter.drawImage(target, tracksLayer_, source);
}

QImage MapWindow::VisiblePicture() const {
    QImage image(std::max(1, width()), std::max(1, height()), QImage::Format_RGB32);
    QPainter painter(&image);
    DrawPicture(painter);
    return image;
}

void MapWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    DrawPicture(painter);
    if (!view_.fitted) return;
    const int m = view_.margin;
    const BaseMap* map = CurrentBaseMap();
    if (tilesDrawn_ && map && !map->attribution.empty()) {
        const QString text = QStringFromUtf16(map->attribution);
        const QFontMetrics metrics(attributionFont_);
        const int w = metrics.horizontalAdvance(text), h = metrics.height();
        const QRect box(width() - m - w, height() - m - h, w, h);
        painter.fillRect(box, Qt::white);
        painter.setFont(attributionFont_);
        painter.setPen(Qt::black);
        painter.drawText(box, Qt::AlignRight | Qt::AlignBottom | Qt::TextSingleLine, text);
    }
    const TrackStore& store = state_.store;
    if (store.selectedCount > 0) {
        // Deleted points keep the position of an older rendering: no box.
        painter.setPen(QPen(Qt::black, 0));
        painter.setBrush(Qt::white);
        // The selected indices are gathered once per change of the
        // selection, not at every paint of a drag over a million points.
        const int32_t count = std::min<int32_t>(LoadPointCount(store), static_cast<int32_t>(store.points.size()));
        if (selectionStale_ || static_cast<int32_t>(selection_.size()) != store.selectedCount) {
            selection_.clear();
            for (int32_t i = 0; i < count; ++i) {
                if (store.points[i].selected != 0) selection_.push_back(i);
            }
            selectionStale_ = false;
        }
        for (int32_t i : selection_) {
            if (i >= count) continue;
            const LogPoint& p = store.points[i];
            if (p.selected == 0 || p.enabled == 0) continue;
            const int x = p.mapX - view_.viewOffsetX, y = p.mapY - view_.viewOffsetY;
            if (x < -m || y < -m || x > width() + m || y > height() + m) continue;
            painter.drawRect(x - m, y - m, 2 * m - 1, 2 * m - 1);
        }
    } else {
        rangeAnchor_ = -1;
    }
    if (hoverPoint_ >= 0 && hoverPoint_ < LoadPointCount(store)) {
        const LogPoint& p = store.points[hoverPoint_];
        const int x = p.mapX - view_.viewOffsetX, y = p.mapY - view_.viewOffsetY;
        painter.setPen(QPen(QColor(0xFF, 0, 0), ScaledPixels(view_, 2)));
        painter.drawLine(x - 2 * m, y - 2 * m, x + 2 * m, y + 2 * m);
        painter.drawLine(x + 2 * m, y - 2 * m, x - 2 * m, y + 2 * m);
    }
}

void MapWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    view_.width = width();
    view_.height = height();
    if (refitWhenShown_ && isVisible()) {
        FitAndRender();
        return;
    }
    if (state_.mapHasContent && view_.fitted) {
        UpdateTileRange(view_, width(), height());
        Render();
    }
}

void MapWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (refitWhenShown_) FitAndRender();
}

void MapWindow::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    if (state_.store.trackCount <= 0 || !view_.fitted) return;
    dragging_ = true;
    moved_ = false;
    pressPos_ = event->position().toPoint();
    lastDragPos_ = pressPos_;
    offsetAtPressX_ = view_.viewOffsetX;
    offsetAtPressY_ = view_.viewOffsetY;
}

void MapWindow::mouseMoveEvent(QMouseEvent* event) {
    if (state_.store.trackCount <= 0 || !view_.fitted) return;
    const QPoint pos = event->position().toPoint();
    if (!dragging_) {
        Hover(pos);
        return;
    }
    if (!moved_) {
        setCursor(Qt::SizeAllCursor);
        moved_ = true;
    }
    const QPoint delta = pos - lastDragPos_;
    if (std::abs(delta.x()) > 2 || std::abs(delta.y()) > 2) {
        view_.viewOffsetX -= delta.x();
        view_.viewOffsetY -= delta.y();
        lastDragPos_ = pos;
        update();
    }
}

void MapWindow::Hover(const QPoint& pos) {
    setCursor(LinkAt(pos) >= 0 ? Qt::ArrowCursor : Qt::CrossCursor);
    char text[64];
    std::snprintf(text, sizeof text, "%f,%f", LatitudeAt(view_, pos.y()), LongitudeAt(view_, pos.x()));
    shell_.SetStatusPart(kStatusCursor, text);
    if (positionsStale_) {
        CollectPointPositions(state_.store, positions_);
        positionsStale_ = false;
    }
    const int p = NearestPoint(positions_, pos.x() + view_.viewOffsetX, pos.y() + view_.viewOffsetY);
    if (p >= LoadPointCount(state_.store) || p >= renderedPoints_)
        return;  // the store changed since the last rendering
    if (p >= 0 && p != hoverPoint_) {
        shell_.ShowPointInfo(p);
        hoverPoint_ = p;
        shell_.SetGraphHoverPoint(p);
        update();
    }
}

void MapWindow::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    if (state_.store.trackCount > 0 && hoverPoint_ >= 0) {
        shell_.SetGraphHoverPoint(-1);
        hoverPoint_ = -1;
        update();
    }
}

void MapWindow::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const QPoint pos = event->position().toPoint();
    const bool wasDragging = dragging_;
    if (moved_) setCursor(Qt::CrossCursor);
    dragging_ = false;
    const int link = LinkAt(pos);
    const BaseMap* map = CurrentBaseMap();
    if (link >= 0 && map) {
        if (!map->linkUrls[link].empty()) urlOpener_(QUrl(QStringFromUtf16(map->linkUrls[link])));
        return;
    }
    if (!wasDragging) return;
    if (pos == pressPos_) {
        if (moved_) return;  // a drag that came back is neither a pan nor a click
        Click(pos, event->modifiers().testFlag(Qt::ShiftModifier));
        return;
    }
    const QPoint move = pos - pressPos_;
    view_.viewOffsetX = offsetAtPressX_ - move.x();
    view_.viewOffsetY = offsetAtPressY_ - move.y();
    view_.centerLon -= move.x() / view_.scaleX;
    view_.centerLat += move.y() / view_.scaleY;
    if (!WindowInsidePicture(view_)) {
        UpdateTileRange(view_, width(), height());
        Render();
    }
    update();
}

void MapWindow::Click(const QPoint& pos, bool shift) {
    if (positionsStale_) {
        CollectPointPositions(state_.store, positions_);
        positionsStale_ = false;
    }
    const int p = NearestPoint(positions_, pos.x() + view_.viewOffsetX, pos.y() + view_.viewOffsetY);
    if (p < 0 || p >= LoadPointCount(state_.store) || p >= renderedPoints_) return;
    int32_t anchor = rangeAnchor_;
    ClickPoint(state_.store, anchor, p, shift);
    selectionStale_ = true;
    rangeAnchor_ = anchor;
    update();
}

void MapWindow::wheelEvent(QWheelEvent* event) {
    const int turn = event->angleDelta().y();
    if (turn > 0) ZoomBy(1);
    if (turn < 0) ZoomBy(-1);
    event->accept();
}

void MapWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        CancelTileDownloads();
        return;
    }
    QWidget::keyPressEvent(event);
}

void MapWindow::contextMenuEvent(QContextMenuEvent* event) {
    const QPoint at = event->globalPos();
    menu_->exec(at - QPoint(0, menu_->sizeHint().height()));
}

}  // namespace trakvio
