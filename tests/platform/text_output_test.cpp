// The buffered text output: line ends, numbers without the locale, and the
// failures a file can give.
#include "platform/text_output.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

#include "test_support.h"

namespace trakvio {
namespace {

TEST(TextOutput, LineEndsNumbersAndFailures) {
    TextOutput text;
    text.Put("a\nb\n\n");
    text.Put('\n');
    text.Put('c');
    EXPECT_EQ(text.text(), "a\r\nb\r\n\r\n\r\nc");
    TextOutput plain(TextOutput::LineEnds::kLf);
    plain.Put("a\nb\n");
    plain.Put('\n');
    EXPECT_EQ(plain.text(), "a\nb\n\n");

    // Numbers as printf's "%.6f", "%.1f", "%02d" and "%06X" print them.
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> degrees(-180, 180);
    char expected[64];
    for (int i = 0; i < 20000; ++i) {
        const double value = i < 10 ? i * 0.05 - 0.25 : degrees(random);
        for (int decimals : {1, 2, 3, 6}) {
            TextOutput number;
            number.PutFixed(value, decimals);
            std::snprintf(expected, sizeof expected, "%.*f", decimals, value);
            ASSERT_EQ(number.text(), expected) << value;
        }
    }
    for (uint32_t colour : {0u, 0xABu, 0x0000FFu, 0x123456u, 0xFFFFFFu, 0x1000000u, 0xFFFFFFFFu}) {
        TextOutput hex;
        hex.PutHex6(colour);
        std::snprintf(expected, sizeof expected, "%06X", colour);
        EXPECT_EQ(hex.text(), expected);
    }
    for (int64_t value : {0, 7, 10, 123, -3}) {
        TextOutput digits;
        digits.PutTwoDigits(value);
        std::snprintf(expected, sizeof expected, "%02d", static_cast<int>(value));
        EXPECT_EQ(digits.text(), expected);
    }

    // Files: the text reaches the file with CR LF; a missing folder cannot
    // be created; a full device reports the failure at Close.
    test::ScratchFolder scratch;
    TextOutput file;
    ASSERT_EQ(file.Create(scratch / "out.txt"), 0);
    for (int i = 0; i < 300000; ++i) file.Put("line\n");
    EXPECT_EQ(file.Close(), 0);
    const std::string written = test::ReadFile(scratch / "out.txt");
    EXPECT_EQ(written.size(), 300000u * 6);
    EXPECT_EQ(written.substr(0, 12), "line\r\nline\r\n");
    TextOutput missing;
    EXPECT_NE(missing.Create(scratch / "no folder" / "out.txt"), 0);
    TextOutput full;
    if (full.Create("/dev/full") == 0) {
        for (int i = 0; i < 300000; ++i) full.Put("line\n");
        EXPECT_NE(full.Close(), 0);
    }
    // A file the caller opened gets everything at Close and stays open.
    std::FILE* opened = std::fopen((scratch / "attached.txt").c_str(), "wb");
    ASSERT_NE(opened, nullptr);
    TextOutput attached;
    attached.Attach(opened);
    for (int i = 0; i < 300000; ++i) attached.Put("line\n");
    EXPECT_EQ(attached.Close(), 0);
    EXPECT_GE(std::fputs("end", opened), 0);
    EXPECT_EQ(std::fclose(opened), 0);
    const std::string attachedText = test::ReadFile(scratch / "attached.txt");
    EXPECT_EQ(attachedText.size(), 300000u * 6 + 3);
    EXPECT_EQ(attachedText.substr(attachedText.size() - 9), "line\r\nend");
}

}  // namespace
}  // namespace trakvio
