// Small scanning helpers shared by the text readers: prefix tests, byte
// search, number parsing with strtod-like leniency, XML character references,
// and reading a whole file into one NUL-terminated buffer.
#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>

namespace trakvio {

inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// True when the bytes at p begin with the literal (compared with case). The
// buffer must be NUL-terminated or longer than the literal.
template <size_t N>
inline bool StartsWith(const char* p, const char (&literal)[N]) {
    for (size_t i = 0; i + 1 < N; ++i) {
        if (p[i] != literal[i]) return false;
    }
    return true;
}

// First occurrence of needle[0..n) in [from, to), or nullptr.
const char* FindBytes(const char* from, const char* to, const char* needle, size_t n);

// Reads a decimal number at p (leading blanks and a '+' allowed, no further
// than end). No digits, or a value that is not finite, give 0.
double ParseDouble(const char* p, const char* end);
float ParseFloat(const char* p, const char* end);

// Appends [from, to) to out with the XML character references (&amp; &lt;
// &gt; &quot; &apos; &#NNN; &#xHH;) decoded; anything else is copied as is.
void DecodeXmlText(const char* from, const char* to, std::string& out);

// Reads the whole file into data (size bytes and a NUL behind them).
// Returns 0 when done, 1 when the file cannot be opened or read.
int ReadWholeFile(const std::filesystem::path& path, std::unique_ptr<char[]>& data, size_t& size);

}  // namespace trakvio
