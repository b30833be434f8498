// The tile cache on disk and the pieces of a tile's way from the server that
// need no window: the URL of a tile from the base map's format, the cache
// layout <tile cache folder>/<tileId>/<z>/<x>/<y>.png, the texts of the map
// source, the folder statistics and byte counts of the tile cache window, and
// clearing one tile set.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace trakvio {

// Map source flags of one rendering.
inline constexpr int kMapSourceCache = 1;     // a tile came from the cache
inline constexpr int kMapSourceDownload = 2;  // a tile was downloaded

// "No map", "Local map", "Inet map" or "Local & Inet map".
const char* MapSourceText(int flags);

// The tile URL (UTF-8) from a base map's urlFormat: its "%d" slots take the
// zoom, the column and the row in that order, "%%" is one '%'.
std::string FillTileUrl(std::u16string_view urlFormat, int zoom, int32_t x, int32_t y);

// True when tileId can name a folder inside the cache: not empty, not "." or
// "..", and without a path separator. Other ids get no cache (and no tiles),
// so no configuration line can make the program write outside the cache.
bool IsSafeTileId(std::u16string_view tileId);

// <cache>/<tileId>
std::filesystem::path TileSetFolder(const std::filesystem::path& cacheFolder, std::u16string_view tileId);
// <cache>/<tileId>/<z>/<x>/<y>.png
std::filesystem::path TilePath(const std::filesystem::path& cacheFolder, std::u16string_view tileId, int zoom,
                               int32_t x, int32_t y);

struct FolderStatistics {
    int64_t folders = 0;
    int64_t files = 0;
    int64_t bytes = 0;
};
// Folders and files at every depth below folder and the sum of the file
// sizes. Symbolic links are neither counted nor followed; a folder that cannot
// be read contributes nothing.
FolderStatistics WalkFolderStatistics(const std::filesystem::path& folder);

// "%lld" with a ',' before every group of three digits from the right.
std::string FormatThousands(int64_t value);

// Deletes everything below the tile set folder of tileId (and the folder),
// without following symbolic links: a link is removed as a link, its target
// is never touched. Refuses unsafe ids. Returns the number of files and links
// removed, or -1 when the id is unsafe.
int64_t ClearTileSet(const std::filesystem::path& cacheFolder, std::u16string_view tileId);

}  // namespace trakvio
