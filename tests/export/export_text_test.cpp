// The text pieces of the export writers: the escapers for each place user
// text lands, and the derived titles, names and time spans.
#include "export/export_text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "test_support.h"

namespace trakvio {
namespace {

// What an escaper appends to an empty string.
template <void (*Append)(std::string_view, std::string&)>
std::string Escaped(std::string_view text) {
    std::string out;
    Append(text, out);
    return out;
}
constexpr auto Comment = Escaped<AppendJsComment>;
constexpr auto Html = Escaped<AppendHtml>;
constexpr auto Xml = Escaped<AppendXmlText>;
constexpr auto Cdata = Escaped<AppendCdata>;

std::string Js(std::string_view text, char quote) {
    std::string out;
    AppendJsString(text, quote, out);
    return out;
}

TEST(ExportEscaping, JavaScriptLiteralsAndComments) {
    // Texts without special characters stay as they are.
    for (std::string_view plain :
         {"20240501_0830_trc001", "地理院地図 標準", "a < b > c & </a>", "x/{z}/{y}.png?a=1"}) {
        EXPECT_EQ(Js(plain, '"'), plain);
        EXPECT_EQ(Comment(plain), plain);
        EXPECT_EQ(Cdata(plain), plain);
    }
    // Only the enclosing quote is escaped; backslashes always.
    EXPECT_EQ(Js(R"(O'Neil "x" \n)", '"'), R"(O'Neil \"x\" \\n)");
    EXPECT_EQ(Js(R"(O'Neil "x")", '\''), R"(O\'Neil "x")");
    // Line breaks, the JavaScript line separators and other control bytes.
    EXPECT_EQ(Js("a\nb\rc\td\x7F", '"'), "a\\nb\\rc\\x09d\\x7F");
    EXPECT_EQ(Js("a\u2028b\u2029c", '"'), "a\\u2028b\\u2029c");
    // Script markup the HTML parser would act on, in any case.
    EXPECT_EQ(Js("</script><script>alert(1)</SCRIPT>", '"'), "\\x3C/script>\\x3Cscript>alert(1)\\x3C/SCRIPT>");
    EXPECT_EQ(Js("<!--<b>--></a>", '\''), "\\x3C!--<b>--></a>");
    // A '<' at the very end passes through; the bytes of a cut separator
    // are no characters and become U+FFFD.
    EXPECT_EQ(Js("x<", '"'), "x<");
    EXPECT_EQ(Js("\xE2\x80", '"'), "\uFFFD\uFFFD");

    EXPECT_EQ(Comment("title\nalert(1)\r\u2028</script>"), "title\\nalert(1)\\r\\u2028\\x3C/script>");
    EXPECT_EQ(Comment(R"(C:\logs "a" 'b')"), R"(C:\logs "a" 'b')");
}

TEST(ExportEscaping, HtmlXmlAndCdata) {
    EXPECT_EQ(Html(R"(<b class="x">Tom & Jerry's</b>)"),
              "&lt;b class=&quot;x&quot;&gt;Tom &amp; Jerry&#39;s&lt;/b&gt;");
    EXPECT_EQ(Xml("a<b>&c \"d\"\te\x01"), "a&lt;b&gt;&amp;c \"d\"\te\xEF\xBF\xBD");
    // "]]>" cannot end the section; XML's forbidden controls become U+FFFD.
    EXPECT_EQ(Cdata("a]]>b"), "a]]]]><![CDATA[>b");
    EXPECT_EQ(Cdata("]]>]]>"), "]]]]><![CDATA[>]]]]><![CDATA[>");
    EXPECT_EQ(Cdata("]]]>x]]"), "]]]]]><![CDATA[>x]]");
    EXPECT_EQ(Cdata("a\x02\n\tb"), "a\xEF\xBF\xBD\n\tb");
}

TEST(ExportText, TitlesAndDisplayNames) {
    EXPECT_EQ(PageTitle("20240501_w"), "w_20240501");
    EXPECT_EQ(PageTitle("20240501_"), "20240501_");  // shorter than 10 bytes
    EXPECT_EQ(PageTitle("2024050a_walk"), "2024050a_walk");
    EXPECT_EQ(PageTitle("202405011_walk"), "202405011_walk");

    EXPECT_EQ(DisplayName("20240501_0830_walk"), "walk");
    EXPECT_EQ(DisplayName("_1_2_x_3"), "x_3");
    EXPECT_EQ(DisplayName("20240501"), "");
    EXPECT_EQ(DisplayName("walk 2"), "walk 2");

    // At most 255 bytes, never half a character.
    EXPECT_EQ(TitleUtf8(std::u16string(300, u'a')).size(), 255u);
    const std::string kana = TitleUtf8(std::u16string(100, u'あ'));  // three bytes each
    EXPECT_EQ(kana.size(), 255u);
    EXPECT_EQ(TitleUtf8(u"a" + std::u16string(100, u'あ')).size(), 253u);
}

// Output well-formed: characters XML 1.0 does not allow (U+FFFE, U+FFFF,
// surrogates, bytes that are no UTF-8) never reach an XML or HTML file.
TEST(ExportWellFormed, CharactersXmlForbidsBecomeTheReplacementCharacter) {
    const std::string hostile = "a\uFFFE|\uFFFF|\xED\xA0\x80|\xC0\xAF|\xFF|\x01|\U0001F600|\uFFFD|z";
    const std::string kept = "a\uFFFD|\uFFFD|\uFFFD|\uFFFD\uFFFD|\uFFFD|\uFFFD|\U0001F600|\uFFFD|z";
    EXPECT_EQ(Xml(hostile), kept);
    EXPECT_EQ(Cdata(hostile), kept);
    EXPECT_EQ(Html(hostile), kept);
    EXPECT_EQ(Js(hostile, '"'), "a\uFFFD|\uFFFD|\uFFFD|\uFFFD\uFFFD|\uFFFD|\\x01|\U0001F600|\uFFFD|z");
    EXPECT_EQ(Comment("\uFFFF"), "\uFFFD");
}

}  // namespace
}  // namespace trakvio
