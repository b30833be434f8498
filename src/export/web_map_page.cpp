#include "export/web_map_page.h"

#include <algorithm>
#include <array>
#include <system_error>

#include "platform/ascii_text.h"
#include "platform/utf.h"

namespace trakvio {

namespace {

namespace fs = std::filesystem;

// What both pages show of one track.
struct TrackFigures {
    int32_t firstPoint = -1;  // first and last enabled point; -1 when none
    int32_t lastPoint = -1;
    std::string name;   // UTF-8, as stored
    std::string popup;  // display name, distance, duration, speed and span; escaped for the literal
};

// Variables of the Leaflet page and JavaScript's reserved words: a tile id
// equal to one of these would break the page.
constexpr std::array<std::string_view, 52> kTakenNames = {
    "L",         "map",    "baseMaps",   "overlayMaps", "myPath",   "myMarker", "await",    "break",   "case",
    "catch",     "class",  "const",      "continue",    "debugger", "default",  "delete",   "do",      "else",
    "enum",      "export", "extends",    "false",       "finally",  "for",      "function", "if",      "implements",
    "import",    "in",     "instanceof", "interface",   "let",      "new",      "null",     "package", "private",
    "protected", "public", "return",     "static",      "super",    "switch",   "this",     "throw",   "true",
    "try",       "typeof", "var",        "void",        "while",    "with",     "yield"};

bool IsIdentifierByte(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$';
}

std::string Html(std::string_view utf8) {
    std::string out;
    AppendHtml(utf8, out);
    return out;
}

std::string Js(std::string_view utf8, char quote) {
    std::string out;
    AppendJsString(utf8, quote, out);
    return out;
}

std::string Comment(std::string_view utf8) {
    std::string out;
    AppendJsComment(utf8, out);
    return out;
}

// Percent-encodes every byte but the unreserved characters of a URL.
std::string UrlComponent(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (IsIdentifierByte(c) ? c != '$' : (c == '-' || c == '.' || c == '~')) {
            out += c;
        } else {
            const auto byte = static_cast<unsigned char>(c);
            out += '%';
            AppendHexByte(byte, out);
        }
    }
    return out;
}

// The popup text of a track, escaped for a string literal enclosed in quote:
// "%s<br>d=%.3fkm t=%d:%02d:%02d v=%.2fkm/h<br>%s - %s".
std::string PopupText(const TrackStore& store, int t, const TrackFigures& figures, char quote) {
    const TrackRecord& record = store.tracks[static_cast<size_t>(t)];
    // The whole seconds from the first to the last enabled point.
    const int64_t seconds = store.points[static_cast<size_t>(figures.lastPoint)].time -
                            store.points[static_cast<size_t>(figures.firstPoint)].time;
    // A track without duration has no speed to show; 0 rather than inf or nan.
    const double speed = seconds == 0 ? 0.0 : record.distanceKm / (static_cast<double>(seconds) / 3600.0);
    std::string_view spanFirst, spanSecond;
    TimeSpanTexts(record, spanFirst, spanSecond);

    TextOutput text;
    text.Put(Js(Html(DisplayName(figures.name)), quote));
    text.Put("<br>d=");
    text.PutFixed(record.distanceKm, 3);
    text.Put("km t=");
    text.PutInteger(seconds / 3600);
    text.Put(':');
    text.PutTwoDigits((seconds / 60) % 60);
    text.Put(':');
    text.PutTwoDigits(seconds % 60);
    text.Put(" v=");
    text.PutFixed(speed, 2);
    text.Put("km/h<br>");
    text.Put(Js(Html(spanFirst), quote));
    text.Put(" - ");
    text.Put(Js(Html(spanSecond), quote));
    return std::move(text.text());
}

TrackFigures FiguresOf(const TrackStore& store, int t, char quote) {
    TrackFigures figures;
    figures.name = Utf16ToUtf8(TrackName(store, t));
    const int32_t first = TrackFirstIndex(store, t);
    const int32_t last = std::min(TrackLastIndex(store, t), store.pointCount - 1);
    for (int32_t i = first; i <= last; ++i) {
        if (store.points[static_cast<size_t>(i)].enabled) {
            figures.firstPoint = i;
            break;
        }
    }
    if (figures.firstPoint < 0) return figures;
    for (int32_t i = last; i >= figures.firstPoint; --i) {
        if (store.points[static_cast<size_t>(i)].enabled) {
            figures.lastPoint = i;
            break;
        }
    }
    figures.popup = PopupText(store, t, figures, quote);
    return figures;
}

void PutLatLon(TextOutput& out, const LogPoint& point, const char* between) {
    out.PutFixed(point.latitude, 6);
    out.Put(between);
    out.PutFixed(point.longitude, 6);
}

void PutTileLayers(TextOutput& out, const Settings& settings) {
    for (const BaseMap& map : settings.baseMaps) {
        out.Put("var ");
        out.Put(LayerVariable(map.tileId));
        out.Put("=L.tileLayer(\"");
        out.Put(Js(Utf16ToUtf8(map.urlTemplate), '"'));
        out.Put("\",{minZoom:");
        out.PutInteger(map.minZoom);
        out.Put(",maxZoom:");
        out.PutInteger(map.maxZoom);
        out.Put(",attribution:'");
        out.Put(Js(AttributionHtml(map.attribution, map.links, map.linkUrls, map.linkCount), '\''));
        out.Put("'});\n");
    }
    for (const OverlayMap& map : settings.overlayMaps) {
        out.Put("var ");
        out.Put(LayerVariable(map.tileId));
        out.Put("=L.tileLayer('");
        out.Put(Js(Utf16ToUtf8(map.urlTemplate), '\''));
        out.Put("',{opacity:");
        out.PutFixed(map.opacity, 6);
        out.Put(",maxNativeZoom:");
        out.PutInteger(map.maxNativeZoom);
        out.Put(",attribution:'");
        out.Put(Js(AttributionHtml(map.attribution, map.links, map.linkUrls, map.linkCount), '\''));
        out.Put("'});\n");
    }
    // The layer control shows the names as HTML.
    out.Put("var map=L.map('mapid');\nvar baseMaps={");
    for (size_t i = 0; i < settings.baseMaps.size(); ++i) {
        if (i > 0) out.Put(',');
        out.Put('"');
        out.Put(Js(Html(Utf16ToUtf8(settings.baseMaps[i].name)), '"'));
        out.Put("\":");
        out.Put(LayerVariable(settings.baseMaps[i].tileId));
    }
    out.Put("};\nvar overlayMaps={");
    for (size_t i = 0; i < settings.overlayMaps.size(); ++i) {
        if (i > 0) out.Put(',');
        out.Put('"');
        out.Put(Js(Html(Utf16ToUtf8(settings.overlayMaps[i].name)), '"'));
        out.Put("\":");
        out.Put(LayerVariable(settings.overlayMaps[i].tileId));
    }
    out.Put("};\n");
}

void PutLeafletTrack(TextOutput& out, const TrackStore& store, int t) {
    const TrackFigures figures = FiguresOf(store, t, '"');
    out.Put("//path");
    out.PutInteger(t + 1);
    out.Put(':');
    out.Put(Comment(figures.name));
    out.Put('\n');
    if (figures.firstPoint < 0) return;
    const TrackRecord& record = store.tracks[static_cast<size_t>(t)];
    const std::string tooltip = Js(Html(DisplayName(figures.name)), '"');

    out.Put("myPath=L.polyline([");
    for (int32_t i = figures.firstPoint; i < figures.lastPoint; ++i) {
        const LogPoint& point = store.points[static_cast<size_t>(i)];
        if (!point.enabled) continue;
        out.Put('[');
        PutLatLon(out, point, ",");
        out.Put("],");
    }
    out.Put('[');
    PutLatLon(out, store.points[static_cast<size_t>(figures.lastPoint)], ",");
    out.Put("]],{color:'#");
    out.PutHex6(record.color);
    out.Put("',weight:");
    out.PutInteger(record.lineWidth);
    out.Put(",opacity:0.8}).addTo(map);\n");
    out.Put("myPath.bindPopup(\"");
    out.Put(figures.popup);
    out.Put("\");\nmyPath.bindTooltip(\"");
    out.Put(tooltip);
    out.Put("\");\nmyMarker=L.circleMarker([");
    PutLatLon(out, store.points[static_cast<size_t>(figures.firstPoint)], ",");
    out.Put("],{radius:3,color:'#");
    out.PutHex6(record.color);
    out.Put("',fillcolor:'#");
    out.PutHex6(record.color);
    out.Put("',fillOpacity:1}).addTo(map);\nmyMarker.bindPopup(\"");
    out.Put(figures.popup);
    out.Put("\");\nmyMarker.bindTooltip(\"");
    out.Put(tooltip);
    out.Put("\");\n");
}

void PutGoogleTrack(TextOutput& out, const TrackStore& store, int t) {
    const TrackFigures figures = FiguresOf(store, t, '\'');
    const int k = t + 1;
    out.Put("// path");
    out.PutInteger(k);
    out.Put(':');
    out.Put(Comment(figures.name));
    out.Put('\n');
    if (figures.firstPoint < 0) return;
    const TrackRecord& record = store.tracks[static_cast<size_t>(t)];

    out.Put("var myCd");
    out.PutTwoDigits(k);
    out.Put("=[\n");
    for (int32_t i = figures.firstPoint; i <= figures.lastPoint; ++i) {
        const LogPoint& point = store.points[static_cast<size_t>(i)];
        if (!point.enabled) continue;
        out.Put("{lat:");
        PutLatLon(out, point, ",lng:");
        out.Put(i == figures.lastPoint ? "}];\n" : "},\n");
    }
    out.Put("var myPath");
    out.PutTwoDigits(k);
    out.Put("=new google.maps.Polyline({path:myCd");
    out.PutTwoDigits(k);
    out.Put(",geodesic:true,strokeColor:'#");
    out.PutHex6(record.color);
    out.Put("',strokeOpacity:1.0,strokeWeight:");
    out.PutInteger(record.lineWidth);
    out.Put("});\nmyPath");
    out.PutTwoDigits(k);
    out.Put(".setMap(map);\nvar myPt");
    out.PutTwoDigits(k);
    out.Put("={lat:");
    PutLatLon(out, store.points[static_cast<size_t>(figures.firstPoint)], ",lng:");
    out.Put("};\nvar contentString");
    out.PutTwoDigits(k);
    out.Put("='");
    out.Put(figures.popup);
    out.Put("';\nvar infoWindow");
    out.PutTwoDigits(k);
    out.Put("=new google.maps.InfoWindow({content:contentString");
    out.PutTwoDigits(k);
    out.Put("});\nvar myMarker");
    out.PutTwoDigits(k);
    out.Put("=new google.maps.Marker({position:myPt");
    out.PutTwoDigits(k);
    out.Put(",icon:{path:google.maps.SymbolPath.CIRCLE,strokeColor:'#");
    out.PutHex6(record.color);
    // A marker title is plain text, not HTML.
    out.Put("',scale:3},map:map,title:'");
    out.Put(Js(DisplayName(figures.name), '\''));
    out.Put("'});\nmyMarker");
    out.PutTwoDigits(k);
    out.Put(".addListener('click',function() {infoWindow");
    out.PutTwoDigits(k);
    out.Put(".open(map,myMarker");
    out.PutTwoDigits(k);
    out.Put(");});\n");
}

int Finish(TextOutput& out, const fs::path& path) {
    if (out.Close() == 0) return kExportDone;
    RemovePartialFile(path);
    return kExportWriteFailed;
}

}  // namespace

std::string AttributionHtml(std::u16string_view attribution, const AttributionLink* links,
                            const std::u16string* linkUrls, int linkCount) {
    std::string html;
    size_t pos = 0;
    if (attribution.starts_with(u"(c)")) {
        html += "&copy;";
        pos = 3;
    } else if (attribution.starts_with(u"\u00A9")) {
        html += "&copy;";
        pos = 1;
    }
    for (int i = 0; i < linkCount && i < 3; ++i) {
        // Links out of order or beyond the text are cut to what is left.
        const size_t start = std::clamp(static_cast<size_t>(std::max(links[i].linkStart, 0)), pos, attribution.size());
        const size_t end = std::min(start + static_cast<size_t>(std::max(links[i].linkLength, 0)), attribution.size());
        AppendHtml(Utf16ToUtf8(attribution.substr(pos, start - pos)), html);
        html += "<a href=\"";
        AppendHtml(Utf16ToUtf8(linkUrls[i]), html);
        html += "\" target=\"_blank\">";
        AppendHtml(Utf16ToUtf8(attribution.substr(start, end - start)), html);
        html += "</a>";
        pos = end;
    }
    AppendHtml(Utf16ToUtf8(attribution.substr(pos)), html);
    return html;
}

std::string LayerVariable(std::u16string_view tileId) {
    std::string name = Utf16ToUtf8(tileId);
    for (char& c : name) {
        if (!IsIdentifierByte(c)) c = '_';
    }
    bool taken = name.empty() || (name[0] >= '0' && name[0] <= '9');
    for (std::string_view word : kTakenNames) taken = taken || name == word;
    return taken ? "_" + name : name;
}

void PutLeafletPage(TextOutput& out, std::u16string_view title, const TrackStore& store, const Settings& settings,
                    double south, double north, double west, double east) {
    const std::string titleUtf8 = TitleUtf8(title);
    out.Put("<!DOCTYPE html>\n<html><head>\n<meta charset=\"utf-8\">\n<title>");
    out.Put(Html(PageTitle(titleUtf8)));
    out.Put("</title>\n<link rel=\"stylesheet\" href=\"");
    out.Put(Html(settings.leafletcss));
    out.Put("\"/>\n<script src=\"");
    out.Put(Html(settings.leafletjs));
    out.Put("\"></script>\n</head><body>\n");
    out.Put("<div id=\"mapid\" style=\"position:absolute;top:0;left:0;right:0;bottom:0;\"></div>\n<script>\n");
    PutTileLayers(out, settings);
    out.Put("L.control.layers(baseMaps,overlayMaps).addTo(map);\n");
    out.Put("L.control.scale({maxWidth:200,position:'bottomright',imperial:false}).addTo(map);\n// ");
    out.Put(Comment(titleUtf8));
    out.Put("\nvar myPath,myMarker;\n");
    for (int t = 0; t < store.trackCount; ++t) PutLeafletTrack(out, store, t);
    out.Put("map.fitBounds(L.latLngBounds([");
    out.PutFixed(south, 6);
    out.Put(',');
    out.PutFixed(west, 6);
    out.Put("],[");
    out.PutFixed(north, 6);
    out.Put(',');
    out.PutFixed(east, 6);
    out.Put("]));\nosmjp.addTo(map);\n</script>\n</body></html>\n");
}

void PutGoogleMapsPage(TextOutput& out, std::u16string_view title, std::string_view apiKey, const TrackStore& store,
                       const Settings& settings, double centreLat, double centreLon, int zoom) {
    const std::string titleUtf8 = TitleUtf8(title);
    out.Put("<!DOCTYPE html>\n<html><head>\n<title>");
    out.Put(Html(PageTitle(titleUtf8)));
    out.Put("</title>\n<meta name=\"viewport\" content=\"initial-scale=1.0\">\n<meta charset=\"utf-8\">\n");
    out.Put("<style>\n#map {height:100%;}\nhtml, body {height:100%;margin:0;padding:0;}\n</style>\n");
    out.Put("</head><body>\n<div id=\"map\"></div>\n<script>\n// ");
    out.Put(Comment(titleUtf8));
    out.Put("\nvar map;\nfunction initMap() {\n");
    out.Put("map=new google.maps.Map(document.getElementById('map'),{center:{lat:");
    out.PutFixed(centreLat, 6);
    out.Put(",lng:");
    out.PutFixed(centreLon, 6);
    out.Put("},zoom:");
    out.PutInteger(zoom);
    out.Put("});\n");
    for (int t = 0; t < store.trackCount; ++t) PutGoogleTrack(out, store, t);
    out.Put("}\n</script>\n<script src=\"");
    out.Put(Html(settings.gmapjs));
    out.Put("?key=");
    out.Put(Html(UrlComponent(apiKey)));
    out.Put("&callback=initMap\" async defer></script>\n</body></html>\n");
}

int WriteLeafletPage(const fs::path& path, std::u16string_view title, const TrackStore& store, const Settings& settings,
                     double south, double north, double west, double east) {
    TextOutput out;
    if (out.Create(path) != 0) return kExportCannotCreate;
    PutLeafletPage(out, title, store, settings, south, north, west, east);
    return Finish(out, path);
}

int WriteGoogleMapsPage(const fs::path& path, std::u16string_view title, std::string_view apiKey,
                        const TrackStore& store, const Settings& settings, double centreLat, double centreLon,
                        int zoom) {
    TextOutput out;
    if (out.Create(path) != 0) return kExportCannotCreate;
    PutGoogleMapsPage(out, title, apiKey, store, settings, centreLat, centreLon, zoom);
    return Finish(out, path);
}

int WriteWebMapPages(int pageKinds, const fs::path& googleFolder, const fs::path& leafletFolder,
                     const fs::path& fileName, std::u16string_view title, std::string_view apiKey,
                     const TrackStore& store, const Settings& settings) {
    int result = kExportDone;
    if (pageKinds & kPageLeaflet) {
        result = WriteLeafletPage(leafletFolder / fileName, title, store, settings, store.allMinLat, store.allMaxLat,
                                  store.allMinLon, store.allMaxLon);
    }
    if (pageKinds & kPageGoogleMaps) {
        const int google = WriteGoogleMapsPage(googleFolder / fileName, title, apiKey, store, settings,
                                               (store.allMinLat + store.allMaxLat) / 2,
                                               (store.allMinLon + store.allMaxLon) / 2, store.initialZoom);
        if (result == kExportDone) result = google;
    }
    return result;
}

}  // namespace trakvio
