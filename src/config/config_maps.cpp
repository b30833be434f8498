#include "config/config_maps.h"

#include "config/config_values.h"
#include "platform/utf.h"

namespace trakvio {

namespace {

// Room of the scratch buffer the attribution is read into, in UTF-16 units.
constexpr size_t kAttributionRoom = 1023;

// The five quoted fields of a tile source line, UTF-8 as written.
struct QuotedFields {
    std::string_view name;
    std::string_view tileId;
    std::string_view urlTemplate;
    std::string_view attribution;
    std::string_view links;
};

// Takes the next double-quoted field at or after pos, then moves pos past the
// next ',' after its closing quote. Returns false when the field or the comma
// is missing.
bool TakeQuotedField(std::string_view value, size_t& pos, std::string_view& field) {
    size_t open = value.find('"', pos);
    if (open == std::string_view::npos) return false;
    size_t close = value.find('"', open + 1);
    if (close == std::string_view::npos) return false;
    size_t comma = value.find(',', close + 1);
    if (comma == std::string_view::npos) return false;
    field = value.substr(open + 1, close - open - 1);
    pos = comma + 1;
    return true;
}

bool TakeQuotedFields(std::string_view value, size_t& pos, QuotedFields& fields) {
    return TakeQuotedField(value, pos, fields.name) && TakeQuotedField(value, pos, fields.tileId) &&
           TakeQuotedField(value, pos, fields.urlTemplate) && TakeQuotedField(value, pos, fields.attribution) &&
           TakeQuotedField(value, pos, fields.links);
}

// "%d,%d" at value[pos]: both numbers must have digits and the ',' must
// follow the first at once.
bool ScanTwoLongs(std::string_view value, size_t pos, int32_t& first, int32_t& second) {
    size_t used = 0;
    int32_t a = ParseLong(value.substr(pos), &used);
    if (used == 0) return false;
    pos += used;
    if (pos >= value.size() || value[pos] != ',') return false;
    ++pos;
    int32_t b = ParseLong(value.substr(pos), &used);
    if (used == 0) return false;
    first = a;
    second = b;
    return true;
}

// "%f,%d" at value[pos], with the same demands as ScanTwoLongs.
bool ScanFloatAndLong(std::string_view value, size_t pos, float& first, int32_t& second) {
    size_t used = 0;
    double a = ParseDouble(value.substr(pos), &used);
    if (used == 0) return false;
    pos += used;
    if (pos >= value.size() || value[pos] != ',') return false;
    ++pos;
    int32_t b = ParseLong(value.substr(pos), &used);
    if (used == 0) return false;
    first = static_cast<float>(a);
    second = b;
    return true;
}

void ReplaceAll(std::u16string& text, std::u16string_view from, std::u16string_view to) {
    std::u16string out;
    out.reserve(text.size());
    size_t pos = 0;
    for (;;) {
        size_t at = text.find(from, pos);
        if (at == std::u16string::npos) break;
        out.append(text, pos, at - pos);
        out.append(to);
        pos = at + from.size();
    }
    out.append(text, pos, std::u16string::npos);
    text = std::move(out);
}

// Splits the links field at ';' into at most three addresses; the rest stay
// empty.
void SplitLinks(std::string_view links, std::u16string (&urls)[3]) {
    for (auto& url : urls) url.clear();
    size_t pos = 0;
    for (int k = 0; k < 3; ++k) {
        size_t semicolon = links.find(';', pos);
        urls[k] =
            Utf8ToUtf16(links.substr(pos, semicolon == std::string_view::npos ? links.size() - pos : semicolon - pos));
        if (semicolon == std::string_view::npos) break;
        pos = semicolon + 1;
    }
}

}  // namespace

std::u16string TileUrlFormat(std::u16string_view urlTemplate) {
    std::u16string format(urlTemplate);
    ReplaceAll(format, u"{s}", u"a");
    // Doubled before the slots go in, so the slots stay the only conversions.
    ReplaceAll(format, u"%", u"%%");
    ReplaceAll(format, u"{z}", u"%d");
    ReplaceAll(format, u"{x}", u"%d");
    ReplaceAll(format, u"{y}", u"%d");
    return format;
}

int32_t ParseAttribution(std::u16string_view text, std::u16string& display, AttributionLink (&links)[3]) {
    display.clear();
    for (auto& link : links) link = AttributionLink{};
    size_t pos = 0;
    if (text.substr(0, 3) == u"(c)") {
        display.push_back(u'\u00A9');
        pos = 3;
    }
    int32_t count = 0;
    while (count < 3) {
        size_t open = text.find(u'<', pos);
        if (open == std::u16string_view::npos) break;
        size_t close = text.find(u'>', open + 1);
        if (close == std::u16string_view::npos) break;
        display.append(text.substr(pos, open - pos));
        links[count].linkStart = static_cast<int32_t>(display.size());
        links[count].linkLength = static_cast<int32_t>(close - open - 1);
        display.append(text.substr(open + 1, close - open - 1));
        ++count;
        pos = close + 1;
    }
    display.append(text.substr(pos));
    return count;
}

// The fields base and overlay map lines share: names, the tile address and
// the attribution with its links.
template <typename Map>
void TakeSharedFields(const QuotedFields& fields, Map& made) {
    made.name = Utf8ToUtf16(fields.name);
    made.tileId = Utf8ToUtf16(fields.tileId);
    made.urlTemplate = Utf8ToUtf16(fields.urlTemplate);
    made.linkCount =
        ParseAttribution(Utf8ToUtf16Cut(fields.attribution, kAttributionRoom), made.attribution, made.links);
    SplitLinks(fields.links, made.linkUrls);
}

bool ParseBaseMapLine(std::string_view value, BaseMap& map) {
    size_t pos = 0;
    QuotedFields fields;
    if (!TakeQuotedFields(value, pos, fields)) return false;
    int32_t minZoom = 0;
    int32_t maxZoom = 0;
    if (!ScanTwoLongs(value, pos, minZoom, maxZoom)) return false;

    BaseMap made;
    TakeSharedFields(fields, made);
    made.urlFormat = TileUrlFormat(made.urlTemplate);
    made.minZoom = minZoom;
    made.maxZoom = maxZoom;
    map = std::move(made);
    return true;
}

bool ParseOverlayMapLine(std::string_view value, OverlayMap& map) {
    size_t pos = 0;
    QuotedFields fields;
    if (!TakeQuotedFields(value, pos, fields)) return false;
    float opacity = 0;
    int32_t maxNativeZoom = 0;
    if (!ScanFloatAndLong(value, pos, opacity, maxNativeZoom)) return false;

    OverlayMap made;
    TakeSharedFields(fields, made);
    made.opacity = opacity;
    made.maxNativeZoom = maxNativeZoom;
    map = std::move(made);
    return true;
}

}  // namespace trakvio
