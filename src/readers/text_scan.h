// Small scanning helpers shared by the text readers: prefix tests, byte
// search, number parsing with strtod-like leniency, XML character references,
// and reading a whole file into one NUL-terminated buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace trakvio {

inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// True when the available bytes at p begin with the literal (compared with
// case). Compares whole words at a time; never reads past p + available.
template <size_t N>
inline bool StartsWith(const char* p, size_t available, const char (&literal)[N]) {
    return available >= N - 1 && std::memcmp(p, literal, N - 1) == 0;
}

// First c in [p, end), or nullptr. Looks at the next 16 bytes at once before
// handing the rest to memchr: in markup most hits are a few bytes away.
inline const char* FindChar(const char* p, const char* end, char c) {
#if defined(__SSE2__)
    if (end - p >= 16) {
        __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, _mm_set1_epi8(c))));
        if (mask) return p + __builtin_ctz(mask);
        p += 16;
    }
#endif
    if (p >= end) return nullptr;
    return static_cast<const char*>(__builtin_memchr(p, c, static_cast<size_t>(end - p)));
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

// The bytes of a whole file with a NUL behind them: mapped when the file
// allows it, otherwise read into one buffer.
class FileBytes {
public:
    FileBytes() = default;
    ~FileBytes();
    FileBytes(const FileBytes&) = delete;
    FileBytes& operator=(const FileBytes&) = delete;
    // Returns 0 when done, 1 when the file cannot be opened or read.
    int Open(const std::filesystem::path& path);
    const char* data() const { return data_; }
    size_t size() const { return size_; }

private:
    const char* data_ = nullptr;
    size_t size_ = 0;
    void* mapping_ = nullptr;
    size_t mappingLength_ = 0;
    std::unique_ptr<char[]> buffer_;
};

// Reads the whole file into data (size bytes and a NUL behind them).
// Returns 0 when done, 1 when the file cannot be opened or read.
int ReadWholeFile(const std::filesystem::path& path, std::unique_ptr<char[]>& data, size_t& size);

}  // namespace trakvio
