// Leaflet and Google Maps pages: the whole text of a small store's pages, the
// figures of the popups, the attribution HTML, and the escaping that keeps
// hostile names, titles and configured texts from ending a script.
#include "export/web_map_page.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "export_test_store.h"
#include "test_support.h"

namespace trakvio {
namespace {

namespace fs = std::filesystem;
using test::CountOf;
using test::Crlf;

std::string LeafletText(const TrackStore& store, const Settings& settings, std::u16string_view title) {
    TextOutput out;
    PutLeafletPage(out, title, store, settings, store.allMinLat, store.allMaxLat, store.allMinLon, store.allMaxLon);
    return out.text();
}

std::string GoogleText(const TrackStore& store, const Settings& settings, std::u16string_view title,
                       std::string_view key) {
    TextOutput out;
    PutGoogleMapsPage(out, title, key, store, settings, 35.05025, 139.0501, 12);
    return out.text();
}

// Both pages of the small store as the batch entry writes them: the Leaflet
// page framed on the overall bounds, the Google one centred on their middle at
// the stored zoom.
TEST(WebMapPages, SmallStoreByteForByte) {
    test::ScopedTimeZone utc("UTC");
    TrackStore store;
    test::FillStore(store, test::SmallTracks());
    store.initialZoom = 12;
    const Settings settings = test::SmallSettings();
    const std::string leaflet = Crlf(std::string(R"(<!DOCTYPE html>
<html><head>
<meta charset="utf-8">
<title>walk_20240501</title>
<link rel="stylesheet" href="https://unpkg.com/leaflet@1.9.4/dist/leaflet.css"/>
<script src="https://unpkg.com/leaflet@1.9.4/dist/leaflet.js"></script>
</head><body>
<div id="mapid" style="position:absolute;top:0;left:0;right:0;bottom:0;"></div>
<script>
var osmjp=L.tileLayer("https://tile.openstreetmap.org/{z}/{x}/{y}.png",{minZoom:0,maxZoom:19,attribution:'&copy; <a href="https://www.openstreetmap.org/copyright" target="_blank">OpenStreetMap</a> contributors'});
var gsistd=L.tileLayer("https://cyberjapandata.gsi.go.jp/xyz/std/{z}/{x}/{y}.png",{minZoom:2,maxZoom:18,attribution:'<a href="https://maps.gsi.go.jp/development/ichiran.html" target="_blank">国土地理院</a>'});
var gsihillshade=L.tileLayer('https://cyberjapandata.gsi.go.jp/xyz/hillshademap/{z}/{x}/{y}.png',{opacity:0.500000,maxNativeZoom:16,attribution:'<a href="https://maps.gsi.go.jp/development/ichiran.html" target="_blank">国土地理院</a>'});
var map=L.map('mapid');
var baseMaps={"OpenStreetMap":osmjp,"地理院地図 標準":gsistd};
var overlayMaps={"陰影起伏図":gsihillshade};
L.control.layers(baseMaps,overlayMaps).addTo(map);
L.control.scale({maxWidth:200,position:'bottomright',imperial:false}).addTo(map);
// 20240501_walk
var myPath,myMarker;
//path1:20240501_walk
myPath=L.polyline([[35.000000,139.000000],[35.001000,139.001000],[35.002000,139.000500]],{color:'#FF0000',weight:3,opacity:0.8}).addTo(map);
myPath.bindPopup("walk<br>d=1.250km t=1:30:00 v=0.83km/h<br>2024-05-01 08:00:00 - 09:30:00");
myPath.bindTooltip("walk");
myMarker=L.circleMarker([35.000000,139.000000],{radius:3,color:'#FF0000',fillcolor:'#FF0000',fillOpacity:1}).addTo(map);
myMarker.bindPopup("walk<br>d=1.250km t=1:30:00 v=0.83km/h<br>2024-05-01 08:00:00 - 09:30:00");
myMarker.bindTooltip("walk");
//path2:deleted
//path3:Night ride
myPath=L.polyline([[35.100000,139.100000],[35.100500,139.100200]],{color:'#0000FF',weight:5,opacity:0.8}).addTo(map);
myPath.bindPopup("Night ride<br>d=9.100km t=0:45:30 v=12.00km/h<br>2024-05-01 23:30:00 - 2024-05-02 00:15:30");
myPath.bindTooltip("Night ride");
myMarker=L.circleMarker([35.100000,139.100000],{radius:3,color:'#0000FF',fillcolor:'#0000FF',fillOpacity:1}).addTo(map);
myMarker.bindPopup("Night ride<br>d=9.100km t=0:45:30 v=12.00km/h<br>2024-05-01 23:30:00 - 2024-05-02 00:15:30");
myMarker.bindTooltip("Night ride");
map.fitBounds(L.latLngBounds([35.000000,139.000000],[35.100500,139.100200]));
osmjp.addTo(map);
</script>
</body></html>
)"));
    const std::string google = Crlf(std::string(R"(<!DOCTYPE html>
<html><head>
<title>walk_20240501</title>
<meta name="viewport" content="initial-scale=1.0">
<meta charset="utf-8">
<style>
#map {height:100%;}
html, body {height:100%;margin:0;padding:0;}
</style>
</head><body>
<div id="map"></div>
<script>
// 20240501_walk
var map;
function initMap() {
map=new google.maps.Map(document.getElementById('map'),{center:{lat:35.050250,lng:139.050100},zoom:12});
// path1:20240501_walk
var myCd01=[
{lat:35.000000,lng:139.000000},
{lat:35.001000,lng:139.001000},
{lat:35.002000,lng:139.000500}];
var myPath01=new google.maps.Polyline({path:myCd01,geodesic:true,strokeColor:'#FF0000',strokeOpacity:1.0,strokeWeight:3});
myPath01.setMap(map);
var myPt01={lat:35.000000,lng:139.000000};
var contentString01='walk<br>d=1.250km t=1:30:00 v=0.83km/h<br>2024-05-01 08:00:00 - 09:30:00';
var infoWindow01=new google.maps.InfoWindow({content:contentString01});
var myMarker01=new google.maps.Marker({position:myPt01,icon:{path:google.maps.SymbolPath.CIRCLE,strokeColor:'#FF0000',scale:3},map:map,title:'walk'});
myMarker01.addListener('click',function() {infoWindow01.open(map,myMarker01);});
// path2:deleted
// path3:Night ride
var myCd03=[
{lat:35.100000,lng:139.100000},
{lat:35.100500,lng:139.100200}];
var myPath03=new google.maps.Polyline({path:myCd03,geodesic:true,strokeColor:'#0000FF',strokeOpacity:1.0,strokeWeight:5});
myPath03.setMap(map);
var myPt03={lat:35.100000,lng:139.100000};
var contentString03='Night ride<br>d=9.100km t=0:45:30 v=12.00km/h<br>2024-05-01 23:30:00 - 2024-05-02 00:15:30';
var infoWindow03=new google.maps.InfoWindow({content:contentString03});
var myMarker03=new google.maps.Marker({position:myPt03,icon:{path:google.maps.SymbolPath.CIRCLE,strokeColor:'#0000FF',scale:3},map:map,title:'Night ride'});
myMarker03.addListener('click',function() {infoWindow03.open(map,myMarker03);});
}
</script>
<script src="https://maps.googleapis.com/maps/api/js?key=AIzaTest-Key_1&callback=initMap" async defer></script>
</body></html>
)"));
    test::ScratchFolder scratch;
    fs::create_directories(scratch / "leaflet");
    fs::create_directories(scratch / "google");
    ASSERT_EQ(WriteWebMapPages(kPageLeaflet | kPageGoogleMaps, scratch / "google", scratch / "leaflet", "walk.htm",
                               u"20240501_walk", "AIzaTest-Key_1", store, settings),
              kExportDone);
    EXPECT_EQ(test::ReadFile(scratch / "leaflet" / "walk.htm"), leaflet);
    EXPECT_EQ(test::ReadFile(scratch / "google" / "walk.htm"), google);

    // Without overlays the object is still declared; the title keeps its order
    // when it does not start with a date.
    Settings noOverlays = test::SmallSettings();
    noOverlays.overlayMaps.clear();
    const std::string page = LeafletText(store, noOverlays, u"2024_walk");
    EXPECT_NE(page.find("\r\nvar overlayMaps={};\r\nL.control.layers"), std::string::npos);
    EXPECT_NE(page.find("<title>2024_walk</title>\r\n"), std::string::npos);

    // Only the chosen kind.
    ASSERT_EQ(WriteWebMapPages(kPageGoogleMaps, scratch / "google", scratch / "leaflet", "other.htm", u"t", "K", store,
                               settings),
              kExportDone);
    EXPECT_TRUE(fs::exists(scratch / "google" / "other.htm"));
    EXPECT_FALSE(fs::exists(scratch / "leaflet" / "other.htm"));

    // A folder that is not there: nothing written, the other page still is.
    EXPECT_EQ(WriteWebMapPages(kPageLeaflet | kPageGoogleMaps, scratch / "google", scratch / "missing", "third.htm",
                               u"t", "K", store, settings),
              kExportCannotCreate);
    EXPECT_FALSE(fs::exists(scratch / "missing"));
    EXPECT_TRUE(fs::exists(scratch / "google" / "third.htm"));
    EXPECT_EQ(WriteGoogleMapsPage(scratch / "missing" / "x.htm", u"t", "K", store, settings, 0, 0, 1),
              kExportCannotCreate);
    // A device that takes nothing: the failure is reported.
    if (fs::exists("/dev/full")) {
        EXPECT_EQ(WriteLeafletPage("/dev/full", u"t", store, settings, 0, 0, 0, 0), kExportWriteFailed);
    }
}

TEST(WebMapPages, DurationsSpeedsAndVariableNames) {
    test::ScopedTimeZone utc("UTC");
    std::vector<test::TestTrack> tracks = {
        // All points at one time: no speed to divide out.
        {u"standing", {{35, 139, 0, test::kMay1, 1}, {35.001, 139, 0, test::kMay1, 1}}, 0x112233, 2, 0.11},
        // 25 hours.
        {u"long", {{35, 139, 0, test::kMay1, 1}, {35.5, 139, 0, test::kMay1 + 25 * 3600, 1}}, 0x112233, 2, 100},
        // One point.
        {u"0001_single", {{35, 139, 0, test::kMay1 + 60, 1}}, 0x112233, 2, 0},
    };
    for (int t = 4; t <= 123; ++t) {
        tracks.push_back({u"t", {{35, 139, 0, test::kMay1, 1}}, 0x000000, 1, 0});
    }
    TrackStore store;
    test::FillStore(store, tracks);
    const Settings settings = test::SmallSettings();
    const std::string leaflet = LeafletText(store, settings, u"speeds");
    const std::string google = GoogleText(store, settings, u"speeds", "");
    EXPECT_EQ(leaflet.find("inf"), std::string::npos);
    EXPECT_EQ(leaflet.find("nan"), std::string::npos);
    for (const auto& [page, piece] : std::initializer_list<std::pair<const std::string&, std::string_view>>{
             {leaflet, "\"standing<br>d=0.110km t=0:00:00 v=0.00km/h<br>2024-05-01 00:00:00 - 00:00:00\""},
             {leaflet, "\"long<br>d=100.000km t=25:00:00 v=4.00km/h<br>2024-05-01 00:00:00 - 2024-05-02 01:00:00\""},
             // A one-point track: the polyline holds just that point.
             {leaflet, "//path3:0001_single\r\nmyPath=L.polyline([[35.000000,139.000000]],{color:'#112233'"},
             {leaflet, "myPath.bindTooltip(\"single\");"},
             {google, "var contentString01='standing<br>d=0.110km t=0:00:00 v=0.00km/h<br>"},
             {google, "var myCd03=[\r\n{lat:35.000000,lng:139.000000}];\r\n"},
             {google, "js?key=&callback=initMap"},
         }) {
        EXPECT_NE(page.find(piece), std::string::npos) << piece;
    }
    for (std::string_view variable : {"var myCd07=", "var myMarker07=", "var myCd123=", "myMarker123.addListener"}) {
        EXPECT_EQ(CountOf(google, variable), 1u) << variable;
    }
}

TEST(WebMapPages, AttributionsAndLayerVariables) {
    // "(c)" becomes the entity as "©" does (the whole-page tests show that one).
    const AttributionLink one[1] = {{4, 1}};
    const std::u16string urls[2] = {u"u1", u""};
    EXPECT_EQ(AttributionHtml(u"(c) A", one, urls, 1), "&copy; <a href=\"u1\" target=\"_blank\">A</a>");
    // Two links, the second without an address; no links at all.
    const AttributionLink two[2] = {{2, 1}, {8, 1}};
    EXPECT_EQ(AttributionHtml(u"© A and B", two, urls, 2),
              "&copy; <a href=\"u1\" target=\"_blank\">A</a> and <a href=\"\" target=\"_blank\">B</a>");
    EXPECT_EQ(AttributionHtml(u"Tiles: me", nullptr, nullptr, 0), "Tiles: me");
    // Links beyond the text or out of order are cut, never read past it.
    const AttributionLink wild[2] = {{7, 50}, {1, 2}};
    EXPECT_EQ(AttributionHtml(u"abcdefghij", wild, urls, 2),
              "abcdefg<a href=\"u1\" target=\"_blank\">hij</a><a href=\"\" target=\"_blank\"></a>");
    // Text and addresses are HTML-escaped; the markup stays.
    const AttributionLink first[1] = {{0, 1}};
    const std::u16string hostileUrl[1] = {u"x\" onmouseover=\"alert(1)"};
    EXPECT_EQ(AttributionHtml(u"<img src=x onerror=alert(1)>", first, hostileUrl, 1),
              "<a href=\"x&quot; onmouseover=&quot;alert(1)\" target=\"_blank\">&lt;</a>img src=x "
              "onerror=alert(1)&gt;");

    // Layer ids become script names that cannot clash with the page's own.
    EXPECT_EQ(LayerVariable(u"gsi_std$2"), "gsi_std$2");
    EXPECT_EQ(LayerVariable(u"x=alert(1);var y"), "x_alert_1__var_y");
    EXPECT_EQ(LayerVariable(u"1st"), "_1st");
    EXPECT_EQ(LayerVariable(u""), "_");
    EXPECT_EQ(LayerVariable(u"map"), "_map");
    EXPECT_EQ(LayerVariable(u"delete"), "_delete");
}

// Counts of the script tags that the page's own template writes.
void ExpectOnlyOwnScripts(const std::string& page, size_t scripts) {
    EXPECT_EQ(CountOf(page, "<script"), scripts) << page;
    EXPECT_EQ(CountOf(page, "</script>"), scripts) << page;
    EXPECT_EQ(CountOf(page, "<SCRIPT"), 0u);
    EXPECT_EQ(CountOf(page, "<!--"), 0u);
}

TEST(WebMapPages, HostileTextsStayInert) {
    test::ScopedTimeZone utc("UTC");
    const std::u16string hostile = u"</script><script>alert(1)</script>\"'\\\n\u2028<!--";
    std::vector<test::TestTrack> tracks = test::SmallTracks();
    tracks[0].name = hostile;
    tracks[1].name = u"12_</SCRIPT><img src=x onerror=alert(2)>";
    TrackStore store;
    test::FillStore(store, tracks);
    Settings settings = test::SmallSettings();
    settings.baseMaps[1].name = u"</script><b>bold\"</b>";
    settings.baseMaps[1].urlTemplate = u"https://x/{z}\"+alert(3)+\"</script>";
    settings.baseMaps[1].attribution = u"it's <mine>";
    settings.baseMaps[1].linkCount = 0;
    settings.baseMaps[1].tileId = u"a=alert(4)";
    settings.overlayMaps[0].urlTemplate = u"https://y/'+alert(5)+'";
    settings.leafletcss = "x.css\"><script>alert(6)</script>";
    settings.leafletjs = "x.js\"></script><script>alert(7)</script>";
    settings.gmapjs = "g.js\"></script><script>alert(8)</script>";
    const std::u16string title = u"20240501_</title><script>alert(9)</script>\n";

    const std::string leaflet = LeafletText(store, settings, title);
    ExpectOnlyOwnScripts(leaflet, 2);
    // Every line the writer did not end is one line still: the hostile line
    // break sits escaped inside its literal. Only the title in <title>, where
    // it is harmless, keeps its line break.
    EXPECT_EQ(CountOf(leaflet, "\n"), CountOf(leaflet, "\r\n"));
    EXPECT_EQ(CountOf(leaflet, "\r\n"), CountOf(LeafletText(store, test::SmallSettings(), u"plain"), "\r\n") + 1);
    const std::string shownName =
        "&lt;/script&gt;&lt;script&gt;alert(1)&lt;/script&gt;&quot;&#39;\\\\\\n\\u2028&lt;!--";
    for (const std::string& piece : {
             std::string("<title>&lt;/title&gt;&lt;script&gt;alert(9)&lt;/script&gt;\r\n_20240501</title>"),
             std::string("\r\n// 20240501_</title>\\x3Cscript>alert(9)\\x3C/script>\\n\r\n"),
             // The comment line keeps the name on one line; the popup shows it as text.
             std::string("//path1:\\x3C/script>\\x3Cscript>alert(1)\\x3C/script>\"'\\\\n\\u2028\\x3C!--\r\n"),
             "myPath.bindTooltip(\"" + shownName + "\");",
             "myMarker.bindPopup(\"" + shownName + "<br>d=1.250km",
             std::string("var a_alert_4_=L.tileLayer(\"https://x/{z}\\\"+alert(3)+\\\"\\x3C/script>\""),
             std::string("L.tileLayer('https://y/\\'+alert(5)+\\''"),
             std::string("attribution:'it&#39;s &lt;mine&gt;'"),
             std::string("href=\"x.css&quot;&gt;&lt;script&gt;alert(6)&lt;/script&gt;\"/>"),
         }) {
        EXPECT_NE(leaflet.find(piece), std::string::npos) << piece;
    }

    const std::string google = GoogleText(store, settings, title, "key\"&x=<script>");
    ExpectOnlyOwnScripts(google, 2);
    EXPECT_EQ(CountOf(google, "\n"), CountOf(google, "\r\n"));
    for (const std::string& piece : {
             "var contentString01='" + shownName + "<br>d=1.250km",
             // A marker title is plain text: escaped for the literal only.
             std::string("title:'\\x3C/script>\\x3Cscript>alert(1)\\x3C/script>\"\\'\\\\\\n\\u2028\\x3C!--'});"),
             std::string("?key=key%22%26x%3D%3Cscript%3E&callback=initMap\""),
         }) {
        EXPECT_NE(google.find(piece), std::string::npos) << piece;
    }
}

}  // namespace
}  // namespace trakvio
