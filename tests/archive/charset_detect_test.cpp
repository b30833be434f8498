// The character set of zip entry names: the three byte machines, the early
// answers, and the decoding that follows from them.
#include "archive/charset_detect.h"

#include <gtest/gtest.h>

namespace trakvio {
namespace {

const char* kTokyoShiftJis = "\x93\x8C\x8B\x9E.gpx";      // 東京.gpx
const char* kTokyoUtf8 = "\xE6\x9D\xB1\xE4\xBA\xAC.gpx";  // 東京.gpx
const char* kTokyoEucJp = "\xC5\xEC\xB5\xFE.gpx";         // 東京.gpx
const char* kKatakanaShiftJis = "\xB1\xB2\xB3.gpx";       // ｱｲｳ.gpx (half-width)

TEST(CharsetDetect, JapaneseNamesAreToldApart) {
    EXPECT_EQ(DetectCharset(""), kCharsetAscii);
    EXPECT_EQ(DetectCharset("walk 2023-01-01.gpx"), kCharsetAscii);
    EXPECT_EQ(DetectCharset(kTokyoUtf8), kCharsetUtf8);
    EXPECT_EQ(DetectCharset(kTokyoShiftJis), kCharsetShiftJis);     // the others die on the first byte
    EXPECT_EQ(DetectCharset(kTokyoEucJp), kCharsetEucJp);           // a better score than Shift-JIS
    EXPECT_EQ(DetectCharset(kKatakanaShiftJis), kCharsetShiftJis);  // EUC-JP dies at the '.'
    // UTF-8 of three-byte characters also reads as Shift-JIS, at a lower score.
    EXPECT_EQ(DetectCharset("\xE3\x81\x82"), kCharsetUtf8);  // あ
    // Equal scores: UTF-8 first.
    EXPECT_EQ(DetectCharset("a\tb"), kCharsetUtf8);
}

TEST(CharsetDetect, EarlyAnswersAndUnknownBytes) {
    EXPECT_EQ(DetectCharset("\x1B$B\x45\x6C\x1B(B"), kCharsetIso2022Jp);
    EXPECT_EQ(DetectCharset("abc\x1B(J"), kCharsetIso2022Jp);
    EXPECT_EQ(DetectCharset("\xFF\xFE"
                            "a\0"),
              kCharsetUtf16Le);
    EXPECT_EQ(DetectCharset("\xFE\xFF"), kCharsetUtf16Be);
    EXPECT_EQ(DetectCharset("\x80\x80"), kCharsetUnknown);  // every machine dies on 0x80
    EXPECT_EQ(DetectCharset("\x80"), kCharsetUnknown);
    // A UTF-8 lead byte at the end leaves UTF-8 alive but cut short: still UTF-8.
    EXPECT_EQ(DetectCharset("a\xE6\x9D"), kCharsetUtf8);
}

TEST(CharsetDetect, NamesDecodeAsUtf8OnlyWhenTheAnswerIsUtf8) {
    EXPECT_EQ(DecodeEntryName(kTokyoUtf8), kTokyoUtf8);
    EXPECT_EQ(DecodeEntryName(kTokyoShiftJis), kTokyoUtf8);
    EXPECT_EQ(DecodeEntryName(kKatakanaShiftJis), "\xEF\xBD\xB1\xEF\xBD\xB2\xEF\xBD\xB3.gpx");
    // Plain names stay as they are; CP932 keeps '\' and '~' as themselves.
    EXPECT_EQ(DecodeEntryName("a\\b~c.gpx"), "a\\b~c.gpx");
    // EUC-JP is not decoded as such: the bytes go through CP932 and come out
    // as something else, but valid UTF-8.
    const std::string euc = DecodeEntryName(kTokyoEucJp);
    EXPECT_NE(euc, kTokyoUtf8);
    EXPECT_TRUE(euc.ends_with(".gpx"));
    // Bytes CP932 cannot decode become U+FFFD.
    EXPECT_EQ(DecodeEntryName("\x80\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(DecodeEntryName("a\x93"), "a\xEF\xBF\xBD");  // a lead byte cut off at the end
}

}  // namespace
}  // namespace trakvio
