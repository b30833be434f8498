// Geometry of the map view, without any drawing: the Web Mercator tile
// arithmetic, the view state (zoom, scales, tile range, picture origin, view
// offset), fitting the view to the loaded data, zoom steps, hit testing of the
// points' picture positions, the attribution link hit test and the selection
// steps of a click. The map window and the renderer call these; the tests use
// them directly.
#pragma once

#include <cstdint>
#include <vector>

#include "store/track_store.h"

namespace trakvio {

// The zoom levels the arithmetic is meant for (2^(zoom - 1) must be a
// positive power of two held in 32 bits). The view keeps its zoom inside.
inline constexpr int kMapMinZoom = 1;
inline constexpr int kMapMaxZoom = 30;
// The picture never spans more tiles than this along either axis, whatever
// the window size and latitude ask for, so a huge window or a polar view
// cannot ask for gigabytes.
inline constexpr int kMaxPictureTiles = 24;
// Picture positions are kept within +-2^29 so that squared distances of two
// of them never overflow 64 bits.
inline constexpr int32_t kMapPositionLimit = 1 << 29;

struct MapView {
    int32_t zoom = 0;
    double scaleX = 0;  // picture pixels per degree of longitude
    double scaleY = 0;  // picture pixels per degree of latitude
    int32_t tileMinX = 0, tileMinY = 0, tileMaxX = 0, tileMaxY = 0;
    double originLon = 0;  // west edge of column tileMinX
    double originLat = 0;  // north edge of row tileMinY
    double centerLon = 0, centerLat = 0;
    int32_t viewOffsetX = 0, viewOffsetY = 0;
    int32_t width = 0, height = 0;  // client size of the window

    // DPI-dependent values (see SetMapDpi).
    int32_t tileSize = 256;
    int32_t margin = 4;
    int32_t textHeight = 14;
    int32_t dpi = 96;  // drawing DPI

    bool fitted = false;  // FitView has run; nothing is rendered before
};

// Sets the four DPI-dependent values: scaled by windowDpi / 96 when stretch
// is on (hidpimapstretch), else 96, 14, 256 and 4.
void SetMapDpi(MapView& view, bool stretch, int windowDpi);
// value scaled by the drawing DPI (integer multiply-divide).
inline int32_t ScaledPixels(const MapView& view, int32_t value) { return value * view.dpi / 96; }

struct TileXY {
    int32_t x = 0, y = 0;
};

// Column and row of the tile holding (longitude, latitude) at zoom.
TileXY TileOfPoint(int zoom, double longitude, double latitude);
// The same without truncation.
void TileFraction(int zoom, double longitude, double latitude, double& fx, double& fy);
// Longitude of column c's west edge and latitude of row r's north edge.
double TileWestLongitude(int zoom, int32_t column);
double TileNorthLatitude(int zoom, int32_t row);

// Chooses zoom, scales and centre so that the store's overall bounds fit into
// width x height, then UpdateTileRange. Needs the statistics.
void FitView(MapView& view, const TrackStore& store, int width, int height);
// Changes the zoom (kept within kMapMinZoom..kMapMaxZoom), rescaling both
// scales by the same power of two.
void SetZoom(MapView& view, int newZoom);
// Tile range, picture origin and view offset for the current centre, zoom
// and window size (also remembered as the view's width and height).
void UpdateTileRange(MapView& view, int width, int height);

inline int32_t PictureWidth(const MapView& v) { return (v.tileMaxX - v.tileMinX + 1) * v.tileSize; }
inline int32_t PictureHeight(const MapView& v) { return (v.tileMaxY - v.tileMinY + 1) * v.tileSize; }
// True when the window (at the view offset) lies inside the picture.
bool WindowInsidePicture(const MapView& view);

// Picture position of a coordinate by the linear track mapping.
int32_t MapXOf(const MapView& view, double longitude);
int32_t MapYOf(const MapView& view, double latitude);
// Geographic position under a client position (status part 6).
double LongitudeAt(const MapView& view, int x);
double LatitudeAt(const MapView& view, int y);

// The enabled points' picture positions in index order, gathered after a
// rendering so that hit testing on every mouse move touches 12 bytes a point
// instead of the whole point record.
struct PointPositions {
    std::vector<int32_t> x, y, index;
};
void CollectPointPositions(const TrackStore& store, PointPositions& out);
// Index of the enabled point nearest to (px, py) in picture coordinates (the
// lowest index wins a tie), -1 when none is enabled.
int32_t NearestPoint(const PointPositions& positions, int32_t px, int32_t py);
// The same straight over the store's points (mapX, mapY, enabled).
int32_t NearestPointInStore(const TrackStore& store, int32_t px, int32_t py);

// Measured attribution of the current base map: per link the width from the
// link's first character to the end of the text and the link's own width,
// and the text height.
struct AttributionGeometry {
    int32_t linkCount = 0;
    int32_t linkRightOffset[3] = {0, 0, 0};
    int32_t linkWidth[3] = {0, 0, 0};
    int32_t linkHeight = 0;
};
// Link index 0..2 under (x, y) for a text ending at (right, bottom), or -1;
// always -1 while no tile is drawn.
int AttributionLinkAt(const AttributionGeometry& geometry, bool tilesDrawn, int x, int y, int right, int bottom);

// What a click did to the selection.
enum class ClickResult {
    kNothing,     // no enabled point
    kSelected,    // a plain click selected p
    kRange,       // a Shift click selected the range from the anchor to p
    kDeselected,  // a plain click on a selected point cleared its mark
};
// The selection steps of a click on point p (from NearestPoint): a range
// click when shift is held and an anchor exists, else a plain click that
// toggles p. rangeAnchor follows the click.
ClickResult ClickPoint(TrackStore& store, int32_t& rangeAnchor, int32_t p, bool shift);

}  // namespace trakvio
