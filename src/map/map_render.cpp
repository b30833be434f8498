#include "map/map_render.h"

#include <QImageReader>
#include <QPainter>
#include <QPolygon>
#include <cmath>

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

QPen SolidPen(uint32_t rgb, int width) {
    return QPen(ColorOfRgb(rgb), width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// Draws polylines of a round pen straight into an opaque-colour layer: a disc
// of the pen's width is stamped along each segment's pixel run, which gives
// round caps and joins like a geometric pen at a fraction of the cost of a
// general path stroker (a million-point log has tens of thousands of short
// segments at its fitted zoom).
class PolylineStamper {
  public:
    PolylineStamper(QImage& layer, uint32_t rgb, int width)
        : bits_(reinterpret_cast<QRgb*>(layer.bits())),
          stride_(layer.bytesPerLine() / 4),
          w_(layer.width()),
          h_(layer.height()),
          color_(0xFF000000u | (rgb & 0xFFFFFFu)) {
        if (width < 1) width = 1;
        const int lo = -((width - 1) / 2), hi = width / 2;
        // The disc's centre: on a pixel for odd widths, between pixels for even.
        const double c = (width % 2 == 0) ? 0.5 : 0.0;
        const double r2 = width * width / 4.0 + 0.25;
        for (int dy = lo; dy <= hi; ++dy) {
            for (int dx = lo; dx <= hi; ++dx) {
                if ((dx - c) * (dx - c) + (dy - c) * (dy - c) <= r2) offsets_.push_back({dx, dy});
            }
        }
        reach_ = std::max(-lo, hi) + 1;
    }

    void Draw(const QPolygon& line) {
        if (line.isEmpty()) return;
        if (line.size() == 1) {
            Plot(line[0].x(), line[0].y());
            return;
        }
        for (int i = 1; i < line.size(); ++i) Segment(line[i - 1], line[i]);
    }

  private:
    void Plot(int x, int y) {
        if (x >= reach_ && y >= reach_ && x < w_ - reach_ && y < h_ - reach_) {
            for (const QPoint& o : offsets_) bits_[(y + o.y()) * stride_ + x + o.x()] = color_;
            return;
        }
        for (const QPoint& o : offsets_) {
            const int px = x + o.x(), py = y + o.y();
            if (px >= 0 && py >= 0 && px < w_ && py < h_) bits_[py * stride_ + px] = color_;
        }
    }

    // Clips the segment to the layer widened by the pen (Liang-Barsky), then
    // walks its pixels (Bresenham).
    void Segment(QPoint a, QPoint b) {
        double x0 = a.x(), y0 = a.y(), x1 = b.x(), y1 = b.y();
        const double minX = -reach_, minY = -reach_, maxX = w_ - 1 + reach_, maxY = h_ - 1 + reach_;
        if (x0 < minX || x0 > maxX || y0 < minY || y0 > maxY || x1 < minX || x1 > maxX || y1 < minY || y1 > maxY) {
            double t0 = 0, t1 = 1;
            const double dx = x1 - x0, dy = y1 - y0;
            const double p[4] = {-dx, dx, -dy, dy};
            const double q[4] = {x0 - minX, maxX - x0, y0 - minY, maxY - y0};
            for (int i = 0; i < 4; ++i) {
                if (p[i] == 0) {
                    if (q[i] < 0) return;
                    continue;
                }
                const double t = q[i] / p[i];
                if (p[i] < 0) {
                    if (t > t1) return;
                    if (t > t0) t0 = t;
                } else {
                    if (t < t0) return;
                    if (t < t1) t1 = t;
                }
            }
            const double nx0 = x0 + t0 * dx, ny0 = y0 + t0 * dy;
            x1 = x0 + t1 * dx;
            y1 = y0 + t1 * dy;
            x0 = nx0;
            y0 = ny0;
        }
        int ix0 = static_cast<int>(std::lround(x0)), iy0 = static_cast<int>(std::lround(y0));
        const int ix1 = static_cast<int>(std::lround(x1)), iy1 = static_cast<int>(std::lround(y1));
        const int sx = ix0 < ix1 ? 1 : -1, sy = iy0 < iy1 ? 1 : -1;
        const int ddx = std::abs(ix1 - ix0), ddy = -std::abs(iy1 - iy0);
        int err = ddx + ddy;
        for (;;) {
            Plot(ix0, iy0);
            if (ix0 == ix1 && iy0 == iy1) break;
            const int e2 = 2 * err;
            if (e2 >= ddy) {
                err += ddy;
                ix0 += sx;
            }
            if (e2 <= ddx) {
                err += ddx;
                iy0 += sy;
            }
        }
    }

    QRgb* bits_;
    int stride_, w_, h_;
    QRgb color_;
    std::vector<QPoint> offsets_;
    int reach_ = 1;
};

}  // namespace

void DrawTracks(QImage& layer, TrackStore& store, const MapView& view, bool dotDrawing, bool capturing,
                const MarkerSettings& marker) {
    layer.fill(Qt::transparent);
    if (layer.isNull() || layer.depth() != 32) return;
    const int32_t trackCount = HeldTrackCount(store);
    const int32_t pointCount = HeldPointCount(store);
    if (trackCount <= 0) return;
    const int r = ScaledPixels(view, 3);
    QPolygon line;
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
        PolylineStamper(layer, track.color, ScaledPixels(view, track.lineWidth)).Draw(line);
        if (dotDrawing) {
            QPainter painter(&layer);
            painter.setPen(SolidPen(track.color, ScaledPixels(view, 1)));
            painter.setBrush(Qt::white);
            for (const QPoint& at : line) painter.drawEllipse(QRect(at.x() - r, at.y() - r, 2 * r, 2 * r));
        }
    }
    if (capturing && store.trackCount > 0) {
        int32_t last = store.trackEnd[trackCount - 1];
        if (last >= pointCount) last = pointCount - 1;
        if (last >= 0) {
            const LogPoint& p = store.points[last];
            const int32_t x = MapXOf(view, p.longitude), y = MapYOf(view, p.latitude);
            const int radius = ScaledPixels(view, marker.radius);
            QPainter painter(&layer);
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

QImage DecodedTiles::Get(const std::filesystem::path& path) {
    std::error_code ec;
    const uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec) return QImage();
    const auto time = std::filesystem::last_write_time(path, ec);
    if (ec) return QImage();
    const QString key = QStringFromPath(path);
    if (const Entry* e = cache_.object(key); e && e->size == size && e->time == time) return e->image;
    QImage image = ReadImageByContent(path);
    if (!image.isNull()) cache_.insert(key, new Entry{image, size, time});
    return image;
}

void DecodedTiles::Put(const std::filesystem::path& path, const QImage& image) {
    std::error_code ec;
    const uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec) return;
    const auto time = std::filesystem::last_write_time(path, ec);
    if (ec || image.isNull()) return;
    cache_.insert(QStringFromPath(path), new Entry{image, size, time});
}

int ComposeCachedTiles(QImage& layer, const MapView& view, const BaseMap* map, const std::filesystem::path& cacheFolder,
                       std::vector<TileJob>& missing, bool& tilesDrawn, DecodedTiles* memory) {
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
                const QImage tile = memory ? memory->Get(path) : ReadImageByContent(path);
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
