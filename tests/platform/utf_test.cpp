#include "platform/utf.h"

#include <gtest/gtest.h>

#include <string>

namespace trakvio {
namespace {

// Every cut keeps whole characters: a cut that fell inside one would leave a
// broken byte sequence or a lone surrogate in a name or a path.
TEST(UtfCut, KeepsWholeCharacters) {
    const std::string text =
        "ab\xC3\xA9"
        "\xF0\x9F\x98\x80"
        "c";  // a b é 😀 c

    EXPECT_EQ(CutUtf8(text, 3), "ab");
    EXPECT_EQ(CutUtf8(text, 4), "ab\xC3\xA9");
    EXPECT_EQ(CutUtf8(text, 7), "ab\xC3\xA9");
    EXPECT_EQ(CutUtf8(text, 100), text);

    EXPECT_EQ(Utf8ToUtf16Cut(text, 4), u"ab\u00E9");
    EXPECT_EQ(Utf8ToUtf16Cut(text, 5), u"ab\u00E9\U0001F600");

    EXPECT_EQ(CutUtf8ToUnits(text, 4), "ab\xC3\xA9");
    EXPECT_EQ(CutUtf8ToUnits(text, 5), "ab\xC3\xA9\xF0\x9F\x98\x80");
    // What fits comes back as it was, bytes that are no UTF-8 included.
    EXPECT_EQ(CutUtf8ToUnits("a\xFF", 2), "a\xFF");
}

}  // namespace
}  // namespace trakvio
