#include "map/tile_cache.h"

#include <system_error>

#include "platform/utf.h"

namespace trakvio {

namespace fs = std::filesystem;

const char* MapSourceText(int flags) {
    switch (flags & 3) {
        case 1:
            return "Local map";
        case 2:
            return "Inet map";
        case 3:
            return "Local & Inet map";
        default:
            return "No map";
    }
}

std::string FillTileUrl(std::u16string_view urlFormat, int zoom, int32_t x, int32_t y) {
    const int32_t values[3] = {zoom, x, y};
    int slot = 0;
    std::u16string out;
    out.reserve(urlFormat.size() + 24);
    for (size_t i = 0; i < urlFormat.size(); ++i) {
        const char16_t c = urlFormat[i];
        if (c == u'%' && i + 1 < urlFormat.size()) {
            if (urlFormat[i + 1] == u'%') {
                out.push_back(u'%');
                ++i;
                continue;
            }
            if (urlFormat[i + 1] == u'd') {
                // A fourth slot has nothing to take; it stays empty.
                if (slot < 3) {
                    for (char ch : std::to_string(values[slot])) out.push_back(static_cast<char16_t>(ch));
                }
                ++slot;
                ++i;
                continue;
            }
        }
        out.push_back(c);
    }
    return Utf16ToUtf8(out);
}

bool IsSafeTileId(std::u16string_view tileId) {
    if (tileId.empty() || tileId == u"." || tileId == u"..") return false;
    for (char16_t c : tileId) {
        if (c == u'/' || c == u'\\' || c == 0) return false;
    }
    return true;
}

fs::path TileSetFolder(const fs::path& cacheFolder, std::u16string_view tileId) {
    return cacheFolder / fs::path(Utf16ToUtf8(tileId));
}

fs::path TilePath(const fs::path& cacheFolder, std::u16string_view tileId, int zoom, int32_t x, int32_t y) {
    return TileSetFolder(cacheFolder, tileId) / std::to_string(zoom) / std::to_string(x) / (std::to_string(y) + ".png");
}

namespace {

void Walk(const fs::path& folder, FolderStatistics& stats, int depth) {
    // Deeper than any tile layout: a loop of folders cannot run away.
    if (depth > 64) return;
    std::error_code ec;
    fs::directory_iterator it(folder, ec), end;
    if (ec) return;
    for (; it != end; it.increment(ec)) {
        if (ec) break;
        const fs::file_status st = it->symlink_status(ec);
        if (ec) continue;
        if (fs::is_symlink(st)) continue;
        if (fs::is_directory(st)) {
            ++stats.folders;
            Walk(it->path(), stats, depth + 1);
        } else {
            ++stats.files;
            const uintmax_t size = it->file_size(ec);
            if (!ec) stats.bytes += static_cast<int64_t>(size);
        }
    }
}

int64_t RemoveBelow(const fs::path& folder, int depth) {
    if (depth > 64) return 0;
    int64_t removed = 0;
    std::error_code ec;
    fs::directory_iterator it(folder, ec), end;
    if (ec) return 0;
    for (; it != end; it.increment(ec)) {
        if (ec) break;
        const fs::file_status st = it->symlink_status(ec);
        if (ec) continue;
        if (fs::is_directory(st)) {
            removed += RemoveBelow(it->path(), depth + 1);
            fs::remove(it->path(), ec);
        } else if (fs::remove(it->path(), ec)) {  // a file, or a link as a link
            ++removed;
        }
    }
    return removed;
}

}  // namespace

FolderStatistics WalkFolderStatistics(const fs::path& folder) {
    FolderStatistics stats;
    std::error_code ec;
    if (fs::is_symlink(fs::symlink_status(folder, ec))) return stats;
    Walk(folder, stats, 0);
    return stats;
}

std::string FormatThousands(int64_t value) {
    const std::string digits = std::to_string(value);
    const size_t sign = digits[0] == '-' ? 1 : 0;
    std::string out = digits.substr(0, sign);
    const size_t n = digits.size() - sign;
    for (size_t i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0) out.push_back(',');
        out.push_back(digits[sign + i]);
    }
    return out;
}

int64_t ClearTileSet(const fs::path& cacheFolder, std::u16string_view tileId) {
    if (!IsSafeTileId(tileId)) return -1;
    const fs::path folder = TileSetFolder(cacheFolder, tileId);
    std::error_code ec;
    const fs::file_status st = fs::symlink_status(folder, ec);
    if (ec || !fs::exists(st)) return 0;
    if (!fs::is_directory(st)) return fs::remove(folder, ec) ? 1 : 0;  // a link or a stray file: only itself
    const int64_t removed = RemoveBelow(folder, 0);
    fs::remove(folder, ec);
    return removed;
}

}  // namespace trakvio
