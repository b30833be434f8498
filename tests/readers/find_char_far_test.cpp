#include <gtest/gtest.h>

#include <string>

#include "readers/text_scan.h"

namespace trakvio {
namespace {

// A long stretch is searched in halves on two threads: whichever half the
// first match lies in, and whether or not a later one exists, the first wins.
TEST(FindCharFar, FindsTheFirstMatchWhereverItLies) {
    std::string text(size_t{6} << 20, '1');
    const char* begin = text.data();
    const char* end = begin + text.size();
    EXPECT_EQ(FindCharFar(begin, end, '<'), nullptr);
    const size_t last = text.size() - 1;
    for (size_t at : {size_t{10}, size_t{70} << 10, text.size() / 3, text.size() * 2 / 3, last}) {
        SCOPED_TRACE(at);
        text[at] = '<';
        text[last] = '<';
        EXPECT_EQ(FindCharFar(begin, end, '<'), begin + at);
        EXPECT_EQ(FindCharFar(begin + at + 1, end, '<'), at == last ? nullptr : begin + last);
        text[at] = '1';
        text[last] = '1';
    }
    EXPECT_EQ(FindCharFar(end, end, '<'), nullptr);
}

}  // namespace
}  // namespace trakvio
