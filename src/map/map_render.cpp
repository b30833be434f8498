#include "map/map_render.h"

#include <QImageReader>
#include <QPainter>
#include <QPolygon>

#include "app/qt_text.h"
#include "compute/track_edit.h"
#include "map/tile_cache.h"

namespace trakvio {
namespace {

QBrush StockBrush(int index) {
    switch (index) {
        case 0:
            return QBrush(Qt::white);
        case 1:
            return QBrush(QColor(0xC0, 0xC0, 0xC0));
        case 2:
            return QBrush(QColor(0x80, 0x80, 0x80));
        case 3:
            return QBrush(QColor(0x40, 0x40, 0x40));
        case 4:
            return QBrush(Qt::black);
        default:  // 5: the hollow brush
            return QBrush(Qt::NoBrush);
    }
}

QPen SolidPen(uint32_t rgb, int width) { return QPen(ColorOfRgb(rgb), width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin); }

}  // namespace

void DrawTracks(QImage& layer, TrackStore& store, const MapView& view, bool dotDrawing, bool capturing,
                const MarkerSettings& marker) {
    layer.fill(Qt::transparent);
    const int32_t trackCount = HeldTrackCount(store);
    const int32_t pointCount = HeldPointCount(store);
    if (trackCount <= 0) return;
    QPainter painter(&layer);
    const int r = ScaledPixels(view, 3);
    QPolygon line;
    QPolygon dots;
    int32_t begin = 0;
    for (int32_t t = 0; t < trackCount; ++t) {
        const int32_t end = ClampedTrackEnd(store, t, begin, pointCount);
        const int32_t first = begin;
        begin = end + 1;
        int32_t s = first;
        while (s <= end && store.points[s].enabled == 0) ++s;
        if (s >= end) continue;  // no enabled point, or only the last one
        const TrackRecord& track = store.tracks[t];
        line.clear();
        dots.clear();
        for (int32_t i = s; i <= end; ++i) {
            LogPoint& p = store.points[i];
            if (p.enabled == 0) continue;
            p.mapX = MapXOf(view, p.longitude);
            p.mapY = MapYOf(view, p.latitude);
            const QPoint at(p.mapX, p.mapY);
            // Runs of points on one pixel draw nothing more; they are drawn
            // once, which keeps a million-point log cheap at low zoom.
            if (line.isEmpty() || line.last() != at) line.append(at);
        }
        if (line.size() == 1) line.append(line.first());
        painter.setPen(SolidPen(track.color, ScaledPixels(view, track.lineWidth)));
        painter.drawPolyline(line);
        if (dotDrawing) {
            if (track.lineWidth != 1) painter.setPen(SolidPen(track.color, ScaledPixels(view, 1)));
            painter.setBrush(Qt::white);
            for (const QPoint& at : line) painter.drawEllipse(QRect(at.x() - r, at.y() - r, 2 * r, 2 * r));
            painter.setBrush(Qt::NoBrush);
        }
    }
    if (capturing && store.trackCount > 0) {
        int32_t last = store.trackEnd[trackCount - 1];
        if (last >= pointCount) last = pointCount - 1;
        if (last >= 0) {
            const LogPoint& p = store.points[last];
            const int32_t x = MapXOf(view, p.longitude), y = MapYOf(view, p.latitude);
            const int radius = ScaledPixels(view, marker.radius);
            painter.setPen(SolidPen(marker.color, ScaledPixels(view, marker.width)));
            painter.setBrush(StockBrush(marker.brush));
            painter.drawEllipse(QRect(x - radius, y - radius, 2 * radius, 2 * radius));
        }
    }
}

QImage ReadImageByContent(const std::filesystem::path& path) {
    QImageReader reader(QStringFromPath(path));
    reader.setDecideFormatFromContent(true);
    return reader.read();
}

void DrawTile(QImage& layer, const MapView& view, int32_t x, int32_t y, const QImage& tile) {
    if (tile.isNull()) return;
    QPainter painter(&layer);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, tile.width() != view.tileSize);
    const QRect square((x - view.tileMinX) * view.tileSize, (y - view.tileMinY) * view.tileSize, view.tileSize,
                       view.tileSize);
    painter.drawImage(square, tile);
}

int ComposeCachedTiles(QImage& layer, const MapView& view, const BaseMap* map,
                       const std::filesystem::path& cacheFolder, std::vector<TileJob>& missing, bool& tilesDrawn) {
    layer.fill(Qt::white);
    tilesDrawn = false;
    int flags = 0;
    if (!map || view.zoom < map->minZoom || view.zoom > map->maxZoom) return 0;
    if (!IsSafeTileId(map->tileId) || cacheFolder.empty()) return 0;
    const int64_t world = int64_t{1} << view.zoom;
    std::error_code ec;
    for (int32_t x = view.tileMinX; x <= view.tileMaxX; ++x) {
        for (int32_t y = view.tileMinY; y <= view.tileMaxY; ++y) {
            if (x < 0 || y < 0 || x >= world || y >= world) continue;  // outside the world: no tile
            const std::filesystem::path path = TilePath(cacheFolder, map->tileId, view.zoom, x, y);
            if (std::filesystem::is_regular_file(path, ec)) {
                const QImage tile = ReadImageByContent(path);
                if (!tile.isNull()) {
                    DrawTile(layer, view, x, y, tile);
                    flags |= kMapSourceCache;
                    tilesDrawn = true;
                    continue;
                }
                // A file that does not decode is no tile: fetch it again.
            }
            missing.push_back({x, y, FillTileUrl(map->urlFormat, view.zoom, x, y), path});
        }
    }
    return flags;
}

}  // namespace trakvio
