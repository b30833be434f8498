// Feeds arbitrary bytes, as a track name, a title and a base map's texts, to
// the Leaflet, Google Maps and KML writers. Whatever the texts hold, the
// pages keep exactly their own two script elements, every line of a script is
// one the writer started, and the KML's CDATA sections open and close in
// pairs with nothing but their own markup after each close.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "config/settings.h"
#include "export/kml_writer.h"
#include "export/web_map_page.h"
#include "fuzz_support.h"
#include "platform/utf.h"

using namespace trakvio;

using fuzz::Check;

namespace {

size_t CountNoCase(std::string_view text, std::string_view lowerNeedle) {
    size_t count = 0;
    for (size_t i = 0; i + lowerNeedle.size() <= text.size(); ++i) {
        size_t k = 0;
        for (; k < lowerNeedle.size(); ++k) {
            char c = text[i + k];
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            if (c != lowerNeedle[k]) break;
        }
        if (k == lowerNeedle.size()) ++count;
    }
    return count;
}

// Every line between the first "<script>" line and its "</script>" starts as
// the writer starts its lines.
void CheckScriptLines(std::string_view page, std::initializer_list<std::string_view> starts) {
    size_t at = page.find("<script>\r\n");
    Check(at != std::string_view::npos);
    at += 10;
    const size_t end = page.find("\r\n</script>", at);
    Check(end != std::string_view::npos);
    while (at < end) {
        const size_t lineEnd = page.find("\r\n", at);
        std::string_view line = page.substr(at, lineEnd - at);
        bool known = false;
        for (std::string_view start : starts) known = known || line.starts_with(start);
        Check(known);
        at = lineEnd + 2;
    }
}

void CheckPage(std::string_view page, std::initializer_list<std::string_view> starts) {
    Check(CountNoCase(page, "<script") == 2 && CountNoCase(page, "</script") == 2);
    Check(page.find("<!--") == std::string_view::npos);
    CheckScriptLines(page, starts);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Pieces split at 0xFF bytes: name, title, attribution, URL template, id.
    std::string pieces[5];
    size_t piece = 0;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0xFF && piece < 4) {
            ++piece;
        } else {
            pieces[piece] += static_cast<char>(data[i]);
        }
    }
    TrackStore& store = fuzz::SmallStore(8, 4);
    ClearTrackStore(store);
    AppendPoint(store, 35, 139, 10, 0, 1000, 1);
    AppendPoint(store, 35.001, 139.001, 11, 0, 1010, 1);
    CloseTrack(store);
    WriteTrackName(store, 0, Utf8ToUtf16(pieces[0]));

    Settings settings;
    BaseMap map;
    map.name = Utf8ToUtf16(pieces[0]);
    map.tileId = Utf8ToUtf16(pieces[4]);
    map.urlTemplate = Utf8ToUtf16(pieces[3]);
    map.attribution = Utf8ToUtf16(pieces[2]);
    map.linkCount = 1;
    map.links[0] = {static_cast<int32_t>(pieces[2].size() / 3), static_cast<int32_t>(pieces[2].size() / 2)};
    map.linkUrls[0] = Utf8ToUtf16(pieces[1]);
    settings.baseMaps.push_back(map);
    settings.leafletcss = pieces[1];
    settings.leafletjs = pieces[3];
    settings.gmapjs = pieces[2];
    const std::u16string title = Utf8ToUtf16(pieces[1]);

    TextOutput leaflet;
    PutLeafletPage(leaflet, title, store, settings, 35, 35.001, 139, 139.001);
    CheckPage(leaflet.text(), {"var ", "L.control.", "// ", "//path1:", "myPath", "myMarker", "map.fitBounds(",
                               "osmjp.addTo(map);", "};"});

    TextOutput google;
    PutGoogleMapsPage(google, title, pieces[4], store, settings, 35, 139, 10);
    CheckPage(google.text(),
              {"// ", "var ", "function initMap() {", "map=new ", "{lat:", "myPath01.", "myMarker01.", "}"});

    TextOutput kml;
    PutKmlDocument(kml, title, store);
    const std::string_view text = kml.text();
    size_t at = 0;
    for (size_t open = text.find("<![CDATA["); open != std::string_view::npos; open = text.find("<![CDATA[", at)) {
        Check(text.substr(at, open - at).find("]]>") == std::string_view::npos);
        const size_t close = text.find("]]>", open + 9);
        Check(close != std::string_view::npos);
        const std::string_view after = text.substr(close + 3);
        Check(after.starts_with("<![CDATA[") || after.starts_with("</name>") || after.starts_with("</description>"));
        at = close + 3;
    }
    Check(text.substr(at).find("]]>") == std::string_view::npos);
    for (char c : text) Check(static_cast<unsigned char>(c) >= 0x20 || c == '\r' || c == '\n' || c == '\t');
    return 0;
}
