// Byte-wise helpers for the ASCII part of text: they never depend on the
// process locale, so a file reads the same in every language setting.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace trakvio {

// ASCII A-Z as a-z; every other byte as it is.
inline char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Equality with ASCII letters compared without regard to case.
inline bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    }
    return true;
}

inline bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsIgnoreCase(text.substr(0, prefix.size()), prefix);
}

// The value of a hexadecimal digit in either case, -1 for any other byte.
inline int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The upper-case hexadecimal digit of value's low four bits.
inline char HexDigit(unsigned value) { return "0123456789ABCDEF"[value & 0xF]; }

// A byte as two upper-case hexadecimal digits.
inline void AppendHexByte(unsigned char byte, std::string& out) {
    out += HexDigit(byte >> 4);
    out += HexDigit(byte);
}

}  // namespace trakvio
