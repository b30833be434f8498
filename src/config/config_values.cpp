#include "config/config_values.h"

#include <locale.h>

#include <algorithm>
#include <cstdlib>

#include "platform/folders.h"
#include "platform/utf.h"

namespace trakvio {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The "C" locale, made once and never changed, for strtod_l.
locale_t CLocale() {
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return locale;
}

}  // namespace

bool IsCBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

int32_t ParseLong(std::string_view text, size_t* used) {
    size_t i = 0;
    while (i < text.size() && IsCBlank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    size_t digitsStart = i;
    int64_t magnitude = 0;
    const int64_t limit = negative ? 2147483648LL : 2147483647LL;
    while (i < text.size() && IsDigit(text[i])) {
        if (magnitude < limit) {
            magnitude = magnitude * 10 + (text[i] - '0');
            if (magnitude > limit) magnitude = limit;
        }
        ++i;
    }
    if (i == digitsStart) {
        if (used) *used = 0;
        return 0;
    }
    if (used) *used = i;
    return static_cast<int32_t>(negative ? -magnitude : magnitude);
}

uint32_t ParseUnsignedLong(std::string_view text, int base, size_t* used) {
    size_t i = 0;
    while (i < text.size() && IsCBlank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (base == 16 && i + 2 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
        HexDigitValue(text[i + 2]) >= 0) {
        i += 2;
    }
    size_t digitsStart = i;
    uint64_t value = 0;
    bool overflow = false;
    for (; i < text.size(); ++i) {
        int digit = base == 16 ? HexDigitValue(text[i]) : (IsDigit(text[i]) ? text[i] - '0' : -1);
        if (digit < 0) break;
        if (!overflow) {
            value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
            if (value > 0xFFFFFFFFULL) overflow = true;
        }
    }
    if (i == digitsStart) {
        if (used) *used = 0;
        return 0;
    }
    if (used) *used = i;
    if (overflow) return 0xFFFFFFFFU;
    auto result = static_cast<uint32_t>(value);
    return negative ? static_cast<uint32_t>(0U - result) : result;
}

double ParseDouble(std::string_view text, size_t* used) {
    std::string copy(text);  // strtod needs the terminating NUL
    const char* begin = copy.c_str();
    char* end = nullptr;
    locale_t locale = CLocale();
    double value = locale ? strtod_l(begin, &end, locale) : std::strtod(begin, &end);
    if (used) *used = static_cast<size_t>(end - begin);
    return value;
}

bool ScanWidthInt(std::string_view text, size_t& pos, int width, int& value) {
    size_t i = pos;
    while (i < text.size() && IsCBlank(text[i])) ++i;
    size_t fieldEnd = std::min(text.size(), i + static_cast<size_t>(width));
    bool negative = false;
    if (i < fieldEnd && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    size_t digitsStart = i;
    int64_t magnitude = 0;
    while (i < fieldEnd && IsDigit(text[i])) {
        if (magnitude < 1000000000) magnitude = magnitude * 10 + (text[i] - '0');
        ++i;
    }
    if (i == digitsStart) return false;
    value = static_cast<int>(negative ? -magnitude : magnitude);
    pos = i;
    return true;
}

std::string_view TextValue(std::string_view value) {
    if (!value.empty() && value.front() == '"') value.remove_prefix(1);
    if (!value.empty() && value.back() == '"') value.remove_suffix(1);
    return value;
}

std::filesystem::path PathFromUtf8(std::string_view text) {
    return std::filesystem::path(Utf16ToUtf8(Utf8ToUtf16Cut(text, kMaxPathUnits)));
}

}  // namespace trakvio
