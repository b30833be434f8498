#include "config/config_maps.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>

#include "config/config_file.h"

namespace trakvio {
namespace {

Settings Read(std::string_view text) {
    Settings settings;
    ReadConfigurationText(text, settings);
    return settings;
}

TEST(ConfigMaps, BaseMapLineGivesEveryFieldAPrintfUrlFormatAndLinkedAttribution) {
    Settings s = Read(
        "basemap=\"地理院地図\",\"gsistd\",\"https://cyberjapandata.gsi.go.jp/xyz/std/{z}/{x}/{y}.png\","
        "\"<国土地理院>\",\"https://maps.gsi.go.jp/development/ichiran.html\",2,18\n"
        "basemap=\"n\",\"id\",\"https://{s}.t.org/{z}/{x}/{y}.png?q=a%20b%d;{s}\",\"(c) <A> and <B>\",\"u1;u2\",0,19\n"
        "basemap=\"n\",\"id2\",\"u/{z}/{x}/{y}\",\"(c) <A> and <B>\",\"u1\",0,19\n");
    ASSERT_EQ(s.baseMaps.size(), 3u);
    const BaseMap& m = s.baseMaps[0];
    EXPECT_EQ(std::tie(m.name, m.tileId, m.attribution, m.linkUrls[0]),
              std::tuple(u"地理院地図", u"gsistd", u"国土地理院", u"https://maps.gsi.go.jp/development/ichiran.html"));
    EXPECT_EQ(std::pair(m.minZoom, m.maxZoom), std::pair(2, 18));
    EXPECT_EQ(m.urlFormat, u"https://cyberjapandata.gsi.go.jp/xyz/std/%d/%d/%d.png");
    // Every "{s}" is subdomain a, a literal '%' is doubled so printf keeps it, a quoted ';' is no comment.
    EXPECT_EQ(s.baseMaps[1].urlFormat, u"https://a.t.org/%d/%d/%d.png?q=a%%20b%%d;a");
    // "(c)" becomes the sign; each <...> is a link to the URL of its turn, an empty one when there are too few.
    for (int i : {1, 2}) {
        const BaseMap& linked = s.baseMaps[i];
        EXPECT_EQ(linked.attribution, u"\u00A9 A and B");
        ASSERT_EQ(linked.linkCount, 2);
        EXPECT_EQ(std::tuple(linked.links[0].linkStart, linked.links[0].linkLength, linked.links[1].linkStart,
                             linked.links[1].linkLength),
                  std::tuple(2, 1, 8, 1));
        EXPECT_EQ(linked.linkUrls[0], u"u1");
    }
    EXPECT_EQ(std::tie(s.baseMaps[1].linkUrls[1], s.baseMaps[2].linkUrls[1]), std::tuple(u"u2", u""));
}

TEST(ConfigMaps, IncompleteLinesAreRejected) {
    const char* lines[] = {
        "basemap=\"n\",\"id\",\"t\",\"a\",0,19\n",         // links field missing
        "basemap=\"n\",\"id\",\"t\",\"a\",\"l\",0\n",      // maximum zoom missing
        "basemap=\"n\",\"id\",\"t\",\"a\",\"l\",,19\n",    // minimum zoom missing
        "basemap=\"n\",\"id\",\"t\",\"a\",\"l\",0 ,19\n",  // the comma must follow the number
        "basemap=\"n\",\"id\",\"t\",\"a\",\"l,0,19\n",     // unclosed quote
        "basemap=\n",
        "overlaymap=\"n\",\"id\",\"t\",\"a\",\"l\",,16\n",  // opacity missing
        "overlaymap=\"n\",\"id\",\"t\",\"a\",\"l\",0.5\n",  // native zoom missing
    };
    for (const char* line : lines) {
        Settings s = Read(line);
        EXPECT_EQ(s.baseMaps.size() + s.overlayMaps.size(), 0u) << line;
    }
}

TEST(ConfigMaps, CapacityKeysLimitAndResetTheTables) {
    std::string text;
    for (int i = 0; i < 12; ++i) text += "basemap=\"m" + std::to_string(i) + "\",\"i\",\"t\",\"a\",\"l\",0,19\n";
    EXPECT_EQ(Read(text).baseMaps.size(), 10u);  // the default capacity
    EXPECT_EQ(Read("maxbasemap=2\n" + text).baseMaps.size(), 2u);

    Settings s = Read("maxbasemap=3\n" + text.substr(0, text.find('\n') + 1) + "maxbasemap=3\n" +
                      "basemap=\"second\",\"b\",\"t\",\"a\",\"l\",0,19\n");
    ASSERT_EQ(s.baseMaps.size(), 1u);
    EXPECT_EQ(s.baseMaps[0].name, u"second");

    s = Read(
        "maxoverlaymap=1\n"
        "overlaymap=\"陰影\",\"hill\",\"https://{s}.x/{z}/{x}/{y}.png\",\"(c) <GSI>\",\"https://g\",0.5,16\n"
        "overlaymap=\"more\",\"m\",\"t\",\"a\",\"l\",1,10\n");
    ASSERT_EQ(s.overlayMaps.size(), 1u);
    const OverlayMap& m = s.overlayMaps[0];
    EXPECT_EQ(m.urlTemplate, u"https://{s}.x/{z}/{x}/{y}.png");  // kept as written
    EXPECT_EQ(std::pair(m.opacity, m.maxNativeZoom), std::pair(0.5f, 16));
}

}  // namespace
}  // namespace trakvio
