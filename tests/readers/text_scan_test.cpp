#include "readers/text_scan.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <utility>

#include "test_support.h"

namespace trakvio {
namespace {

double Parse(const std::string& text) { return ParseDecimalDouble(text.c_str(), text.c_str() + text.size()); }

TEST(TextScan, NumbersReadAsStrtodReadsThem) {
    std::mt19937 random(42);
    for (int i = 0; i < 200000; ++i) {
        int intDigits = static_cast<int>(random() % 5);
        int fractionDigits = static_cast<int>(random() % 20);
        std::string text = random() % 2 ? "-" : "";
        for (int k = 0; k < intDigits; ++k) text += static_cast<char>('0' + random() % 10);
        if (fractionDigits > 0 || intDigits == 0) text += '.';
        for (int k = 0; k < fractionDigits || (intDigits == 0 && k == 0); ++k) {
            text += static_cast<char>('0' + random() % 10);
        }
        if (random() % 8 == 0) text += "e" + std::to_string(static_cast<int>(random() % 40) - 20);
        // Numbers with room behind them are read a block of bytes at a time.
        const char* behind[] = {"\"", ",1.5,40.5 more bytes behind the number", "\n                        ", "e",
                                ".5<                        "};
        text += behind[random() % 5];
        double expected = std::strtod(text.c_str(), nullptr);
        ASSERT_EQ(Parse(text), expected) << text;
        float expectedFloat = std::strtof(text.c_str(), nullptr);
        ASSERT_EQ(ParseFloat(text.c_str(), text.c_str() + text.size()), expectedFloat) << text;
    }
    // Where strtod differs: no NaN, infinity, overflow or hexadecimal.
    const std::pair<const char*, double> cases[] = {{"  +12.5<", 12.5}, {"5.", 5.0}, {"-.25", -0.25},
                                                    {"nan", 0},         {"inf", 0},  {"1e999", 0},
                                                    {"0x10", 0},        {"-", 0},    {"", 0}};
    for (const auto& [text, value] : cases) EXPECT_EQ(Parse(text), value) << text;
    // The end bound is respected even inside a number.
    std::string cut = "123456789";
    EXPECT_EQ(ParseDecimalDouble(cut.c_str(), cut.c_str() + 3), 123.0);
}

TEST(TextScan, BracketIndexFindsWhatMemchrFinds) {
    std::mt19937 random(7);
    for (int round = 0; round < 400; ++round) {
        // Dense markup, and long stretches without any.
        unsigned spread = round % 2 ? 16 : 1200;
        std::string text(random() % 2000, 'x');
        for (char& c : text) {
            unsigned r = random() % spread;
            c = r == 0 ? '<' : r == 1 ? '>' : static_cast<char>('a' + r);
        }
        AngleBracketIndex index(text.data(), text.size());
        const char* end = text.data() + text.size();
        // Walk forward by uneven steps, asking for both characters.
        for (const char* p = text.data(); p < end; p += 1 + random() % 9) {
            auto expected = [&](char c) { return static_cast<const char*>(std::memchr(p, c, end - p)); };
            ASSERT_EQ(index.NextOpen(p), expected('<'));
            ASSERT_EQ(index.NextClose(p), expected('>'));
        }
    }
}

TEST(TextScan, WholeFilesEndInANul) {
    test::ScratchFolder folder;
    long page = sysconf(_SC_PAGESIZE);
    for (size_t size : {size_t{0}, size_t{1}, size_t{100}, static_cast<size_t>(page), static_cast<size_t>(page) + 1}) {
        std::string bytes(size, 'x');
        test::WriteFile(folder / "f", bytes);
        FileBytes file;
        ASSERT_EQ(file.Open(folder / "f"), 0) << size;
        ASSERT_EQ(file.size(), size);
        EXPECT_EQ(std::string(file.data(), size), bytes);
        EXPECT_EQ(file.data()[size], '\0');
        FileBytes mapped;  // without the NUL, whole pages are mapped too
        ASSERT_EQ(mapped.Open(folder / "f", false), 0) << size;
        EXPECT_EQ(std::string(mapped.data(), mapped.size()), bytes);
    }
    FileBytes missing;
    EXPECT_EQ(missing.Open(folder / "missing"), 1);
    EXPECT_EQ(missing.Open(folder.path()), 1);
}

}  // namespace
}  // namespace trakvio
