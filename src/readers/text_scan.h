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
#include <string_view>

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

// First c in [p, end), or nullptr, for a search that may cover megabytes (a
// coordinate list of a big log between two tags): past the first stretch,
// the rest is searched in two halves at once, the second on another thread.
const char* FindCharFar(const char* p, const char* end, char c);

// Finds '<' and '>' in a buffer through bitmaps of 64 bytes at a time: the
// next tag costs a bit scan on a word already computed rather than a search.
class AngleBracketIndex {
  public:
    AngleBracketIndex(const char* data, size_t size) : data_(data), size_(size) {}
    // First '<' at or after p (inside the buffer), or nullptr.
    const char* NextOpen(const char* p) { return Next(p, 0); }
    // First '>' at or after p, or nullptr.
    const char* NextClose(const char* p) { return Next(p, 1); }

  private:
    const char* Next(const char* p, int which) {
        size_t offset = static_cast<size_t>(p - data_);
        if (offset >= size_) return nullptr;
        size_t block = offset & ~size_t{63};
        if (block != block_) Load(block);
        uint64_t bits = masks_[which] >> (offset - block);
        if (bits) return data_ + offset + __builtin_ctzll(bits);
        // Not in this block: the library's search covers long stretches
        // without markup (coordinate lists) faster than the bitmaps.
        offset = block + 64;
        if (offset >= size_) return nullptr;
        const char* found = FindCharFar(data_ + offset, data_ + size_, which == 0 ? '<' : '>');
        if (!found) return nullptr;
        offset = static_cast<size_t>(found - data_);
        Load(offset & ~size_t{63});
        return data_ + offset;
    }

    void Load(size_t block) {
        block_ = block;
        const char* p = data_ + block;
        uint64_t open = 0, close = 0;
#if defined(__SSE2__)
        if (size_ - block >= 64) {
            const __m128i lt = _mm_set1_epi8('<'), gt = _mm_set1_epi8('>');
            for (int k = 0; k < 4; ++k) {
                __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
                open |= static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, lt))))
                        << (16 * k);
                close |= static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, gt))))
                         << (16 * k);
            }
            masks_[0] = open;
            masks_[1] = close;
            return;
        }
#endif
        size_t n = size_ - block < 64 ? size_ - block : 64;
        for (size_t i = 0; i < n; ++i) {
            open |= static_cast<uint64_t>(p[i] == '<') << i;
            close |= static_cast<uint64_t>(p[i] == '>') << i;
        }
        masks_[0] = open;
        masks_[1] = close;
    }

    const char* data_;
    size_t size_;
    size_t block_ = ~size_t{0};
    uint64_t masks_[2] = {0, 0};
};

// One tag of markup: the text after its '<', up to and including its '>'.
struct Tag {
    const char* text = nullptr;
    const char* close = nullptr;  // the '>'
    size_t length = 0;            // bytes from text through the '>'
    bool selfClosing = false;     // the text ends in "/>"
};

// The next tag at or after p: the first '<' and the first '>' behind it. Sets
// p behind the '>'; false when no complete tag is left.
inline bool NextTag(AngleBracketIndex& brackets, const char*& p, Tag& tag) {
    const char* lt = brackets.NextOpen(p);
    if (!lt) return false;
    const char* gt = brackets.NextClose(lt + 1);
    if (!gt) return false;
    tag.text = lt + 1;
    tag.close = gt;
    tag.length = static_cast<size_t>(gt - lt);
    tag.selfClosing = gt[-1] == '/';
    p = gt + 1;
    return true;
}

// First occurrence of needle[0..n) in [from, to), or nullptr.
const char* FindBytes(const char* from, const char* to, const char* needle, size_t n);

namespace detail {

inline constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                          1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Eight ASCII digits at p, or false.
inline bool ReadEightDigits(const char* p, uint64_t& value) {
    uint64_t chunk;
    std::memcpy(&chunk, p, 8);
    if (((chunk & 0xF0F0F0F0F0F0F0F0u) | (((chunk + 0x0606060606060606u) & 0xF0F0F0F0F0F0F0F0u) >> 4)) !=
        0x3333333333333333u)
        return false;
    chunk -= 0x3030303030303030u;
    chunk = (chunk * 10) + (chunk >> 8);
    chunk = (((chunk & 0x000000FF000000FFu) * (100 + (1000000ull << 32))) +
             (((chunk >> 16) & 0x000000FF000000FFu) * (1 + (10000ull << 32)))) >>
            32;
    value = static_cast<uint32_t>(chunk);
    return true;
}

// Four ASCII digits at p, or false.
inline bool ReadFourDigits(const char* p, uint64_t& value) {
    uint32_t chunk;
    std::memcpy(&chunk, p, 4);
    if (((chunk & 0xF0F0F0F0u) | (((chunk + 0x06060606u) & 0xF0F0F0F0u) >> 4)) != 0x33333333u) return false;
    chunk -= 0x30303030u;
    chunk = (chunk * 10) + (chunk >> 8);
    value = (chunk & 0xFFu) * 100 + ((chunk >> 16) & 0xFFu);
    return true;
}

inline constexpr uint64_t kIntegerPowersOfTen[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};

// The first n (1 to 8) bytes at p, all digits, as a number. Reads 8 bytes.
inline uint64_t ShortDigitRun(const char* p, int n) {
    uint64_t chunk;
    std::memcpy(&chunk, p, 8);
    // The bytes behind the run sit in the high end of the word (little
    // endian) and are shifted out; zeros come in as leading digits.
    chunk = (chunk - 0x3030303030303030u) << (8 * (8 - n));
    chunk = (chunk * 10) + (chunk >> 8);
    chunk = (((chunk & 0x000000FF000000FFu) * (100 + (1000000ull << 32))) +
             (((chunk >> 16) & 0x000000FF000000FFu) * (1 + (10000ull << 32)))) >>
            32;
    return static_cast<uint32_t>(chunk);
}

#if defined(__SSE2__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
// The usual shape of a coordinate, up to eight digits on each side of the
// point, read without a loop: one 16-byte comparison finds the digit runs.
// Needs 24 readable bytes at at. False (nothing read) for any other shape.
template <typename T>
inline bool ParseShortDecimal(const char*& at, T& value) {
    constexpr uint64_t kMantissaLimit = sizeof(T) == 8 ? (uint64_t{1} << 53) : (uint64_t{1} << 24);
    const char* p = at;
    __m128i shifted = _mm_sub_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), _mm_set1_epi8('0'));
    __m128i isDigit = _mm_cmpeq_epi8(_mm_min_epu8(shifted, _mm_set1_epi8(9)), shifted);
    // One bit per byte that is not a digit, and one past the 16 bytes.
    unsigned other = (~static_cast<unsigned>(_mm_movemask_epi8(isDigit)) & 0xFFFFu) | 0x10000u;
    int whole = __builtin_ctz(other);
    if (whole == 0 || whole > 8) return false;
    uint64_t mantissa = ShortDigitRun(p, whole);
    int fraction = 0;
    int length = whole;
    if (p[whole] == '.') {
        fraction = __builtin_ctz(other >> (whole + 1));
        if (fraction == 0 || fraction > 8) return false;
        mantissa = mantissa * kIntegerPowersOfTen[fraction] + ShortDigitRun(p + whole + 1, fraction);
        length = whole + 1 + fraction;
    }
    // A number that runs on past the 16 bytes, or has an exponent, is not
    // of this shape.
    if (length >= 16 || p[length] == 'e' || p[length] == 'E' || whole + fraction > 15 || mantissa > kMantissaLimit)
        return false;
    if constexpr (sizeof(T) == 8) {
        value = static_cast<double>(mantissa) / kPowersOfTen[fraction];
    } else {
        value = static_cast<float>(mantissa) / static_cast<float>(kPowersOfTen[fraction]);
    }
    at = p + length;
    return true;
}
#endif

// Plain decimals ("35.59135978", "40.5") with few enough digits are exact as
// an integer divided by a power of ten, and one IEEE division rounds them
// correctly. Returns false for anything else (exponents, long mantissas).
template <typename T>
inline bool ParsePlainDecimal(const char*& at, const char* end, T& value) {
    constexpr uint64_t kMantissaLimit = sizeof(T) == 8 ? (uint64_t{1} << 53) : (uint64_t{1} << 24);
    constexpr int kMaxFractionDigits = sizeof(T) == 8 ? 22 : 10;
#if defined(__SSE2__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    if (end - at >= 24 && ParseShortDecimal(at, value)) return true;
#endif
    const char* p = at;
    uint64_t mantissa = 0;
    int digits = 0, fraction = 0;
    while (p < end && IsDigit(*p)) {
        mantissa = mantissa * 10 + static_cast<uint64_t>(*p - '0');
        ++p;
        ++digits;
    }
    if (p < end && *p == '.') {
        ++p;
        // A run of eight or else four digits first; the rest one by one.
        uint64_t run;
        if (end - p >= 8 && ReadEightDigits(p, run)) {
            mantissa = mantissa * 100000000u + run;
            p += 8;
            fraction += 8;
        } else if (end - p >= 4 && ReadFourDigits(p, run)) {
            mantissa = mantissa * 10000u + run;
            p += 4;
            fraction += 4;
        }
        while (p < end && IsDigit(*p)) {
            mantissa = mantissa * 10 + static_cast<uint64_t>(*p - '0');
            ++p;
            ++fraction;
        }
    }
    // More than 15 digits may have overflowed the mantissa: leave those, and
    // exponents, to the library.
    if (digits + fraction == 0 || digits + fraction > 15 || mantissa > kMantissaLimit ||
        fraction > kMaxFractionDigits || (p < end && (*p == 'e' || *p == 'E')))
        return false;
    if constexpr (sizeof(T) == 8) {
        value = static_cast<double>(mantissa) / kPowersOfTen[fraction];
    } else {
        value = static_cast<float>(mantissa) / static_cast<float>(kPowersOfTen[fraction]);
    }
    at = p;
    return true;
}

}  // namespace detail

// Exponents, long mantissas and the rest, through the library; next is set
// behind what was read.
double ParseDecimalSlow(const char* p, const char* end, const char*& next);
float ParseDecimalSlowFloat(const char* p, const char* end, const char*& next);

// Reads a decimal number at p (leading blanks and a sign allowed, no further
// than end). No digits, or a value that is not finite, give 0. next, when
// given, is set behind the number (at p when there is none).
template <typename T>
inline T ParseNumber(const char* p, const char* end, const char** next = nullptr) {
    const char* start = p;
    if (next) *next = start;
    while (p < end && (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n')) ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    // A sign is taken only before a digit or a point, as strtod does.
    if (p >= end || !(IsDigit(*p) || *p == '.')) return 0;
    T value = 0;
    if (!detail::ParsePlainDecimal(p, end, value)) {
        if constexpr (sizeof(T) == 8) {
            value = ParseDecimalSlow(p, end, p);
        } else {
            value = ParseDecimalSlowFloat(p, end, p);
        }
    }
    if (next) *next = p;
    return negative ? -value : value;
}
inline double ParseDecimalDouble(const char* p, const char* end) { return ParseNumber<double>(p, end); }
inline float ParseFloat(const char* p, const char* end) { return ParseNumber<float>(p, end); }

// Appends [from, to) to out with the XML character references (&amp; &lt;
// &gt; &quot; &apos; &#NNN; &#xHH;) decoded; anything else is copied as is.
void DecodeXmlText(const char* from, const char* to, std::string& out);

// The text of a name element whose start tag ends right before text: its
// character data, or the content of a CDATA section in it (up to the first
// ']'), and where the scan goes on behind "</name>".
struct NameText {
    const char* from = nullptr;
    const char* to = nullptr;
    bool cdata = false;
    const char* after = nullptr;

    // Replaces out with the name as UTF-8 bytes: CDATA as it is, character
    // data with its references decoded.
    void Decode(std::string& out) const {
        out.clear();
        if (cdata) {
            out.assign(from, to);
        } else {
            DecodeXmlText(from, to, out);
        }
    }
};
// False when no "</name>" follows text (no later name can end either).
inline bool FindNameText(const char* text, const char* end, NameText& name) {
    const char* close = FindBytes(text, end, "</name>", 7);
    if (!close) return false;
    name.after = close + 7;
    const char* cdata = FindBytes(text, close, "<![CDATA[", 9);
    name.cdata = cdata != nullptr;
    if (cdata) {
        name.from = cdata + 9;
        const char* bracket = FindChar(name.from, close, ']');
        name.to = bracket ? bracket : close;
    } else {
        name.from = text;
        name.to = close;
    }
    return true;
}

// The bytes of a whole file with a NUL behind them (unless the caller does
// without): mapped when the file allows it, otherwise read into one buffer.
class FileBytes {
  public:
    FileBytes() = default;
    ~FileBytes();
    FileBytes(const FileBytes&) = delete;
    FileBytes& operator=(const FileBytes&) = delete;
    // Returns 0 when done, 1 when the file cannot be opened or read. A caller
    // that reads no further than size() may do without the NUL, so that a
    // file of whole pages is mapped too.
    int Open(const std::filesystem::path& path, bool withNul = true);
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
