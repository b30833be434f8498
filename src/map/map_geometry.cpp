#include "map/map_geometry.h"

#include <algorithm>
#include <cmath>

#include "compute/track_edit.h"

namespace trakvio {
namespace {

constexpr double kPi = 3.14159265358979323846;

int ClampZoom(int zoom) { return std::clamp(zoom, kMapMinZoom, kMapMaxZoom); }

// trunc toward zero into 32 bits; values beyond the range (latitudes past
// the poles, NaN) are pinned instead of being undefined.
int32_t TruncInt(double v) {
    if (!(v == v)) return 0;
    if (v >= 2147483647.0) return 2147483647;
    if (v <= -2147483648.0) return -2147483647 - 1;
    return static_cast<int32_t>(v);
}

int32_t ClampPosition(double v) {
    if (!(v == v)) return 0;
    if (v >= kMapPositionLimit) return kMapPositionLimit;
    if (v <= -kMapPositionLimit) return -kMapPositionLimit;
    return static_cast<int32_t>(v);
}

}  // namespace

void SetMapDpi(MapView& view, bool stretch, int windowDpi) {
    if (stretch && windowDpi > 0) {
        view.dpi = windowDpi;
        view.textHeight = 14 * windowDpi / 96;
        view.tileSize = 256 * windowDpi / 96;
        view.margin = 4 * windowDpi / 96;
    } else {
        view.dpi = 96;
        view.textHeight = 14;
        view.tileSize = 256;
        view.margin = 4;
    }
}

void TileFraction(int zoom, double longitude, double latitude, double& fx, double& fy) {
    const double n = std::ldexp(1.0, zoom - 1);
    // A latitude at or past a pole has no finite row; keep just inside it.
    latitude = std::clamp(latitude, -89.9999999, 89.9999999);
    fx = (longitude / 180 + 1) * n;
    fy = (1 - std::log(std::tan((latitude / 360 + 0.25) * kPi)) / kPi) * n;
}

TileXY TileOfPoint(int zoom, double longitude, double latitude) {
    double fx = 0, fy = 0;
    TileFraction(zoom, longitude, latitude, fx, fy);
    return {TruncInt(fx), TruncInt(fy)};
}

double TileWestLongitude(int zoom, int32_t column) {
    const double n = std::ldexp(1.0, zoom - 1);
    return (column / n - 1) * 180;
}

double TileNorthLatitude(int zoom, int32_t row) {
    const double n = std::ldexp(1.0, zoom - 1);
    return std::atan(std::exp((1 - row / n) * kPi)) / kPi * 360 - 90;
}

void FitView(MapView& view, const TrackStore& store, int width, int height) {
    double spanLon = store.allMaxLon - store.allMinLon;
    if (spanLon == 0) spanLon = 0.00001;
    double spanLat = store.allMaxLat - store.allMinLat;
    if (spanLat == 0) spanLat = 0.00001;
    const double needX = width / spanLon;
    const double needY = height / spanLat;
    view.zoom = 19;
    view.scaleX = view.tileSize / 360.0 * 524288;
    // Without statistics the ratio is unknown; square pixels then.
    const double ratio = store.kmPerDegLon > 0 && store.kmPerDegLat > 0 ? store.kmPerDegLat / store.kmPerDegLon : 1.0;
    view.scaleY = view.scaleX * ratio;
    while ((view.scaleX > needX || view.scaleY > needY) && view.zoom > kMapMinZoom) {
        view.scaleX /= 2;
        view.scaleY /= 2;
        --view.zoom;
    }
    view.centerLon = (store.allMinLon + store.allMaxLon) / 2;
    view.centerLat = (store.allMinLat + store.allMaxLat) / 2;
    view.fitted = true;
    UpdateTileRange(view, width, height);
}

void SetZoom(MapView& view, int newZoom) {
    newZoom = ClampZoom(newZoom);
    const double f = std::ldexp(1.0, std::abs(newZoom - view.zoom));
    if (newZoom < view.zoom) {
        view.scaleX /= f;
        view.scaleY /= f;
    } else {
        view.scaleX *= f;
        view.scaleY *= f;
    }
    view.zoom = newZoom;
}

void UpdateTileRange(MapView& view, int width, int height) {
    view.width = width;
    view.height = height;
    if (view.scaleX <= 0 || view.scaleY <= 0) return;
    const double halfLon = width / view.scaleX * 0.5;
    const double halfLat = height / view.scaleY * 0.5;
    const TileXY minTile = TileOfPoint(view.zoom, view.centerLon - halfLon, view.centerLat + halfLat);
    TileXY maxTile = TileOfPoint(view.zoom, view.centerLon + halfLon, view.centerLat - halfLat);
    maxTile.x = std::clamp(maxTile.x, minTile.x, minTile.x + kMaxPictureTiles - 1);
    maxTile.y = std::clamp(maxTile.y, minTile.y, minTile.y + kMaxPictureTiles - 1);
    view.tileMinX = minTile.x;
    view.tileMinY = minTile.y;
    view.tileMaxX = maxTile.x;
    view.tileMaxY = maxTile.y;
    double fx = 0, fy = 0;
    TileFraction(view.zoom, view.centerLon, view.centerLat, fx, fy);
    view.viewOffsetX = TruncInt((fx - view.tileMinX) * view.tileSize - (width / 2));
    view.viewOffsetY = TruncInt((fy - view.tileMinY) * view.tileSize - (height / 2));
    view.originLon = TileWestLongitude(view.zoom, view.tileMinX);
    view.originLat = TileNorthLatitude(view.zoom, view.tileMinY);
}

bool WindowInsidePicture(const MapView& view) {
    return view.viewOffsetX >= 0 && view.viewOffsetY >= 0 && view.viewOffsetX + view.width <= PictureWidth(view) &&
           view.viewOffsetY + view.height <= PictureHeight(view);
}

int32_t MapXOf(const MapView& view, double longitude) {
    return ClampPosition((longitude - view.originLon) * view.scaleX);
}
int32_t MapYOf(const MapView& view, double latitude) {
    return ClampPosition((view.originLat - latitude) * view.scaleY);
}
double LongitudeAt(const MapView& view, int x) { return (x + view.viewOffsetX) / view.scaleX + view.originLon; }
double LatitudeAt(const MapView& view, int y) { return view.originLat - (y + view.viewOffsetY) / view.scaleY; }

void CollectPointPositions(const TrackStore& store, PointPositions& out) {
    out.x.clear();
    out.y.clear();
    out.index.clear();
    const int32_t count = HeldPointCount(store);
    for (int32_t i = 0; i < count; ++i) {
        const LogPoint& p = store.points[i];
        if (p.enabled == 0) continue;
        out.x.push_back(p.mapX);
        out.y.push_back(p.mapY);
        out.index.push_back(i);
    }
}

int32_t NearestPoint(const PointPositions& positions, int32_t px, int32_t py) {
    const size_t n = positions.x.size();
    const int32_t* xs = positions.x.data();
    const int32_t* ys = positions.y.data();
    int64_t best = INT64_MAX;
    size_t bestAt = n;
    for (size_t i = 0; i < n; ++i) {
        const int64_t dx = int64_t{px} - xs[i];
        const int64_t dy = int64_t{py} - ys[i];
        const int64_t d = dx * dx + dy * dy;
        if (d < best) {
            best = d;
            bestAt = i;
        }
    }
    return bestAt == n ? -1 : positions.index[bestAt];
}

int32_t NearestPointInStore(const TrackStore& store, int32_t px, int32_t py) {
    const int32_t count = HeldPointCount(store);
    int64_t best = INT64_MAX;
    int32_t bestAt = -1;
    for (int32_t i = 0; i < count; ++i) {
        const LogPoint& p = store.points[i];
        if (p.enabled == 0) continue;
        const int64_t dx = int64_t{px} - p.mapX;
        const int64_t dy = int64_t{py} - p.mapY;
        const int64_t d = dx * dx + dy * dy;
        if (d < best) {
            best = d;
            bestAt = i;
        }
    }
    return bestAt;
}

int AttributionLinkAt(const AttributionGeometry& g, bool tilesDrawn, int x, int y, int right, int bottom) {
    if (!tilesDrawn) return -1;
    if (y < bottom - g.linkHeight || y > bottom) return -1;
    for (int i = 0; i < g.linkCount && i < 3; ++i) {
        const int left = right - g.linkRightOffset[i];
        if (left <= x && x <= left + g.linkWidth[i]) return i;
    }
    return -1;
}

ClickResult ClickPoint(TrackStore& store, int32_t& rangeAnchor, int32_t p, bool shift) {
    const int32_t count = HeldPointCount(store);
    if (p < 0 || p >= count) return ClickResult::kNothing;
    if (shift && rangeAnchor >= 0 && rangeAnchor < count) {
        const int32_t from = std::min(rangeAnchor, p), to = std::max(rangeAnchor, p);
        for (int32_t i = from; i <= to; ++i) {
            if (store.points[i].selected == 0) ++store.selectedCount;
            store.points[i].selected = -1;
        }
        rangeAnchor = p;
        return ClickResult::kRange;
    }
    LogPoint& point = store.points[p];
    if (point.selected == 0) {
        point.selected = -1;
        ++store.selectedCount;
        rangeAnchor = p;
        return ClickResult::kSelected;
    }
    point.selected = 0;
    if (store.selectedCount > 0) --store.selectedCount;
    if (store.selectedCount == 0) rangeAnchor = -1;
    return ClickResult::kDeselected;
}

}  // namespace trakvio
