#include "config/config_maps.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <string>

#include "config/config_file.h"
#include "platform/utf.h"

namespace trakvio {
namespace {

Settings Read(std::string_view text) {
    Settings settings;
    ReadConfigurationText(text, settings, false);
    return settings;
}

std::string U8(const std::u16string& text) { return Utf16ToUtf8(text); }

// Fills a tile URL format the way a printf-style caller would.
std::string FillUrl(const std::u16string& format, int zoom, int x, int y) {
    std::string utf8 = U8(format);
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, utf8.c_str(), zoom, x, y);
    return buffer;
}

TEST(ConfigMaps, BaseMapLineGivesEveryField) {
    Settings s = Read(
        "basemap=\"地理院地図\",\"gsistd\",\"https://cyberjapandata.gsi.go.jp/xyz/std/{z}/{x}/{y}.png\","
        "\"<国土地理院>\",\"https://maps.gsi.go.jp/development/ichiran.html\",2,18\n");
    ASSERT_EQ(s.baseMaps.size(), 1u);
    const BaseMap& m = s.baseMaps[0];
    EXPECT_EQ(m.name, u"地理院地図");
    EXPECT_EQ(m.tileId, u"gsistd");
    EXPECT_EQ(m.urlTemplate, u"https://cyberjapandata.gsi.go.jp/xyz/std/{z}/{x}/{y}.png");
    EXPECT_EQ(m.attribution, u"国土地理院");
    EXPECT_EQ(m.linkCount, 1);
    EXPECT_EQ(m.links[0].linkStart, 0);
    EXPECT_EQ(m.links[0].linkLength, 5);
    EXPECT_EQ(m.linkUrls[0], u"https://maps.gsi.go.jp/development/ichiran.html");
    EXPECT_EQ(m.minZoom, 2);
    EXPECT_EQ(m.maxZoom, 18);
    EXPECT_EQ(FillUrl(m.urlFormat, 15, 29100, 12903), "https://cyberjapandata.gsi.go.jp/xyz/std/15/29100/12903.png");
}

TEST(ConfigMaps, UrlFormatHasThreeSlotsAndSubdomainA) {
    std::u16string format = TileUrlFormat(u"https://{s}.tile.example.org/{z}/{x}/{y}.png");
    EXPECT_EQ(format, u"https://a.tile.example.org/%d/%d/%d.png");
    EXPECT_EQ(FillUrl(format, 3, 4, 5), "https://a.tile.example.org/3/4/5.png");
    // Every "{s}" goes, not only the first.
    EXPECT_EQ(TileUrlFormat(u"{s}/{s}/{z}"), u"a/a/%d");
}

TEST(ConfigMaps, LiteralPercentSurvivesFilling) {
    std::u16string format = TileUrlFormat(u"https://t.example.org/{z}/{x}/{y}.png?style=a%20b&q=%d");
    EXPECT_EQ(FillUrl(format, 12, 3638, 1612), "https://t.example.org/12/3638/1612.png?style=a%20b&q=%d");
}

TEST(ConfigMaps, AttributionCopyrightSignAndLinks) {
    Settings s = Read(
        "basemap=\"n\",\"id\",\"u/{z}/{x}/{y}\",\"(c) <A> and <B>\",\"u1;u2\",0,19\n"
        "basemap=\"n\",\"id2\",\"u/{z}/{x}/{y}\",\"(c) <A> and <B>\",\"u1\",0,19\n");
    ASSERT_EQ(s.baseMaps.size(), 2u);
    for (const BaseMap& m : s.baseMaps) {
        EXPECT_EQ(m.attribution, u"\u00A9 A and B");
        ASSERT_EQ(m.linkCount, 2);
        EXPECT_EQ(m.links[0].linkStart, 2);
        EXPECT_EQ(m.links[0].linkLength, 1);
        EXPECT_EQ(m.links[1].linkStart, 8);
        EXPECT_EQ(m.links[1].linkLength, 1);
        EXPECT_EQ(m.linkUrls[0], u"u1");
    }
    EXPECT_EQ(s.baseMaps[0].linkUrls[1], u"u2");
    EXPECT_EQ(s.baseMaps[1].linkUrls[1], u"");
}

TEST(ConfigMaps, AttributionKeepsUnclosedMarkerAndStopsAtThreeLinks) {
    std::u16string display;
    AttributionLink links[3];
    EXPECT_EQ(ParseAttribution(u"<A> x <B", display, links), 1);
    EXPECT_EQ(display, u"A x <B");

    EXPECT_EQ(ParseAttribution(u"<a>,<bb>,<c>,<d>", display, links), 3);
    EXPECT_EQ(display, u"a,bb,c,<d>");
    EXPECT_EQ(links[1].linkStart, 2);
    EXPECT_EQ(links[1].linkLength, 2);
    EXPECT_EQ(links[2].linkStart, 5);

    // Only a leading, lower-case "(c)" is the copyright sign.
    EXPECT_EQ(ParseAttribution(u"(C) x (c)", display, links), 0);
    EXPECT_EQ(display, u"(C) x (c)");
}

TEST(ConfigMaps, TextBetweenClosingQuoteAndCommaIsIgnored) {
    Settings s = Read("basemap=junk\"N\" junk,\"I\"x,\"T;{z}\"  ,\"(c) <A;B>\"?,\"l1;l2;l3;l4\" ,5,7\n");
    ASSERT_EQ(s.baseMaps.size(), 1u);
    const BaseMap& m = s.baseMaps[0];
    EXPECT_EQ(m.name, u"N");
    EXPECT_EQ(m.tileId, u"I");
    EXPECT_EQ(m.urlTemplate, u"T;{z}");  // a quoted ';' is no comment
    EXPECT_EQ(m.attribution, u"\u00A9 A;B");
    EXPECT_EQ(m.linkUrls[2], u"l3");
    EXPECT_EQ(m.minZoom, 5);
    EXPECT_EQ(m.maxZoom, 7);
}

TEST(ConfigMaps, IncompleteLinesAreRejected) {
    const char* lines[] = {
        "basemap=\"n\",\"id\",\"t\",\"a\",0,19\n",         // links field missing
        "basemap=\"n\",\"id\",\"t\",\"a\",\"l\",0\n",      // maximum zoom missing
        "basemap=\"n\",\"id\",\"t\",\"a\",\"l\",,19\n",    // minimum zoom missing
        "basemap=\"n\",\"id\",\"t\",\"a\",\"l\"\n",        // both numbers missing
        "basemap=\"n\",\"id\",\"t\",\"a\",\"l\",0 ,19\n",  // the comma must follow the number
        "basemap=\"n\",\"id\",\"t\",\"a\",\"l,0,19\n",     // unclosed quote
        "basemap=\n",
        "overlaymap=\"n\",\"id\",\"t\",\"a\",\"l\",,16\n",  // opacity missing
        "overlaymap=\"n\",\"id\",\"t\",\"a\",\"l\",0.5\n",  // native zoom missing
    };
    for (const char* line : lines) {
        Settings s = Read(line);
        EXPECT_TRUE(s.baseMaps.empty()) << line;
        EXPECT_TRUE(s.overlayMaps.empty()) << line;
    }
}

TEST(ConfigMaps, CapacityKeysLimitAndResetTheTables) {
    // Before any capacity key the default capacity of 10 applies.
    std::string text;
    for (int i = 0; i < 12; ++i) text += "basemap=\"m" + std::to_string(i) + "\",\"i\",\"t\",\"a\",\"l\",0,19\n";
    EXPECT_EQ(Read(text).baseMaps.size(), 10u);

    Settings s = Read("maxbasemap=2\n" + text);
    ASSERT_EQ(s.baseMaps.size(), 2u);
    EXPECT_EQ(s.baseMaps[1].name, u"m1");

    s = Read(
        "maxbasemap=3\n"
        "basemap=\"first\",\"a\",\"t\",\"a\",\"l\",0,19\n"
        "maxbasemap=3\n"
        "basemap=\"second\",\"b\",\"t\",\"a\",\"l\",0,19\n");
    ASSERT_EQ(s.baseMaps.size(), 1u);
    EXPECT_EQ(s.baseMaps[0].name, u"second");
    EXPECT_EQ(s.currentBaseMap, 0);

    EXPECT_TRUE(Read("maxbasemap=-1\n" + text).baseMaps.empty());
    EXPECT_TRUE(Read("maxbasemap=x\n" + text).baseMaps.empty());
}

TEST(ConfigMaps, OverlayLineKeepsTemplateAndReadsOpacity) {
    Settings s = Read(
        "maxoverlaymap=1\n"
        "overlaymap=\"陰影\",\"hill\",\"https://{s}.x/{z}/{x}/{y}.png\",\"(c) <GSI>\",\"https://g\",0.5,16\n"
        "overlaymap=\"more\",\"m\",\"t\",\"a\",\"l\",1,10\n");
    ASSERT_EQ(s.overlayMaps.size(), 1u);
    const OverlayMap& m = s.overlayMaps[0];
    EXPECT_EQ(m.name, u"陰影");
    EXPECT_EQ(m.tileId, u"hill");
    EXPECT_EQ(m.urlTemplate, u"https://{s}.x/{z}/{x}/{y}.png");
    EXPECT_EQ(m.attribution, u"\u00A9 GSI");
    EXPECT_EQ(m.linkCount, 1);
    EXPECT_EQ(m.linkUrls[0], u"https://g");
    EXPECT_FLOAT_EQ(m.opacity, 0.5f);
    EXPECT_EQ(m.maxNativeZoom, 16);
}

TEST(ConfigMaps, OpacityIgnoresTheProcessLocale) {
    const char* old = std::setlocale(LC_NUMERIC, nullptr);
    std::string saved = old ? old : "C";
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8") && !std::setlocale(LC_NUMERIC, "fr_FR.UTF-8")) {
        GTEST_SKIP() << "no locale with a decimal comma";
    }
    Settings s = Read("overlaymap=\"n\",\"i\",\"t\",\"a\",\"l\",0.25,16\n");
    std::setlocale(LC_NUMERIC, saved.c_str());
    ASSERT_EQ(s.overlayMaps.size(), 1u);
    EXPECT_FLOAT_EQ(s.overlayMaps[0].opacity, 0.25f);
}

}  // namespace
}  // namespace trakvio
