// The tile cache on disk: URLs and paths of tiles, byte counts, folder
// statistics and clearing a tile set without following links out of it.
#include "map/tile_cache.h"

#include <gtest/gtest.h>

#include "config/config_maps.h"
#include "test_support.h"

namespace trakvio {
namespace {

namespace fs = std::filesystem;

TEST(TileCache, UrlsAndPathsOfTiles) {
    const std::u16string format = TileUrlFormat(u"https://{s}.tile.example.org/{s}/{z}/{x}/{y}.png?x=1%");
    EXPECT_EQ(FillTileUrl(format, 12, 3638, 1612), "https://a.tile.example.org/a/12/3638/1612.png?x=1%");
    // The slots are filled by position: zoom, column, row.
    EXPECT_EQ(FillTileUrl(TileUrlFormat(u"http://h/{y}/{x}/{z}"), 12, 3638, 1612), "http://h/12/3638/1612");
    EXPECT_EQ(TilePath("/cache", u"osm", 12, 3638, 1612), fs::path("/cache/osm/12/3638/1612.png"));
    for (const auto& [id, safe] :
         {std::pair{u"", false}, {u"..", false}, {u"a/../../etc", false}, {u"gsi標準", true}}) {
        EXPECT_EQ(IsSafeTileId(id), safe);
    }
}

// The texts of the map source are checked by the map window's tile tests.
TEST(TileCache, ByteCountsWithThousandsSeparators) {
    const std::pair<int64_t, const char*> rows[] = {
        {0, "0"}, {999, "999"}, {1234, "1,234"}, {1234567, "1,234,567"}, {123456789012LL, "123,456,789,012"}};
    for (const auto& [n, text] : rows) EXPECT_EQ(FormatThousands(n), text);
}

// The figures and a link inside a tile set are checked through the tile cache
// window; here the ids and links that must never lead outside the cache.
TEST(TileCache, ClearingNeverLeavesTheCache) {
    test::ScratchFolder scratch;
    const fs::path cache = scratch / "cache";
    const fs::path outside = scratch / "outside";
    fs::create_directories(cache);
    fs::create_directories(outside / "keep");
    test::WriteFile(outside / "keep" / "precious.png", "do not touch");
    EXPECT_EQ(ClearTileSet(cache, u"../outside"), -1);
    EXPECT_EQ(ClearTileSet(cache, u".."), -1);
    EXPECT_EQ(WalkFolderStatistics(cache / "absent").files, 0);
    // A tile set folder that is itself a link: only the link goes.
    fs::create_directory_symlink(outside, cache / "linked");
    EXPECT_EQ(WalkFolderStatistics(cache / "linked").files, 0);
    EXPECT_EQ(ClearTileSet(cache, u"linked"), 1);
    EXPECT_FALSE(fs::exists(cache / "linked"));
    EXPECT_EQ(test::ReadFile(outside / "keep" / "precious.png"), "do not touch");
}

}  // namespace
}  // namespace trakvio
