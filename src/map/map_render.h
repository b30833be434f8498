// Drawing of the map picture: the tiles layer (white, then every tile of the
// view's tile range that the cache holds) and the tracks layer (transparent,
// the tracks, dots and receiver marker). The two layers are kept apart so
// that a tile arriving late is drawn under the tracks, never over them.
#pragma once

#include <QCache>
#include <QImage>
#include <filesystem>
#include <vector>

#include "config/settings.h"
#include "map/map_geometry.h"
#include "map/tile_fetcher.h"
#include "store/track_store.h"

namespace trakvio {

// 0xRRGGBB as an opaque Qt colour.
inline QColor ColorOfRgb(uint32_t rgb) { return QColor::fromRgb(0xFF000000u | (rgb & 0xFFFFFFu)); }

// Draws the tracks of the store into layer (cleared to transparent), writing
// every drawn point's mapX and mapY. Disabled points are skipped (the line
// joins their neighbours); a track whose first enabled point is its last
// point is not drawn. With dotDrawing each enabled point gets a white dot;
// with capturing the newest point gets the receiver marker.
void DrawTracks(QImage& layer, TrackStore& store, const MapView& view, bool dotDrawing, bool capturing,
                const MarkerSettings& marker);

// Decoded tiles of recent renderings, so that a rendering at the same zoom
// (an edit, a colour change) does not decode the same files again. An entry
// counts only while its file keeps the size and time it had when decoded:
// a file deleted or replaced on disk is read (or fetched) again.
class DecodedTiles {
  public:
    explicit DecodedTiles(int tiles = 96) : cache_(tiles) {}
    // The image of the tile file at path, from memory or decoded now; null
    // when the file is missing or does not decode.
    QImage Get(const std::filesystem::path& path);
    void Put(const std::filesystem::path& path, const QImage& image);

  private:
    struct Entry {
        QImage image;
        uintmax_t size = 0;
        std::filesystem::file_time_type time;
    };
    QCache<QString, Entry> cache_;
};

// Clears layer to white and draws the cached tiles of the view's tile range
// of map (none when map is null, its zoom range excludes the view's zoom or
// its id cannot name a cache folder). Tiles that are missing or whose file
// does not decode are added to missing with their URL and path (nothing is
// added when the zoom is out of range). Returns the map source flags; sets
// tilesDrawn when a tile was drawn.
int ComposeCachedTiles(QImage& layer, const MapView& view, const BaseMap* map, const std::filesystem::path& cacheFolder,
                       std::vector<TileJob>& missing, bool& tilesDrawn, DecodedTiles* memory = nullptr);

// Draws one tile image stretched into its square of the picture.
void DrawTile(QImage& layer, const MapView& view, int32_t x, int32_t y, const QImage& tile);

// Reads an image file, deciding its type by content (tile files are named
// .png whatever the server sent). A null image when it does not decode.
QImage ReadImageByContent(const std::filesystem::path& path);

}  // namespace trakvio
