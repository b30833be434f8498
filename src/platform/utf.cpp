#include "platform/utf.h"

#include <algorithm>

namespace trakvio {

namespace {

// Decodes one code point at in[i]; advances i. Returns U+FFFD for bad input.
char32_t DecodeUtf8(std::string_view in, size_t& i) {
    auto byte = [&](size_t k) { return static_cast<unsigned char>(in[k]); };
    unsigned char b0 = byte(i);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    int length;
    char32_t cp;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        length = 2;
        cp = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3;
        cp = b0 & 0x0F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4;
        cp = b0 & 0x07;
    } else {
        ++i;
        return 0xFFFD;
    }
    if (i + length > in.size()) {
        ++i;
        return 0xFFFD;
    }
    for (int k = 1; k < length; ++k) {
        unsigned char b = byte(i + k);
        if ((b & 0xC0) != 0x80) {
            ++i;
            return 0xFFFD;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    if ((length == 3 && cp < 0x800) || (length == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++i;
        return 0xFFFD;
    }
    i += length;
    return cp;
}

// Bytes of the UTF-8 character starting at text[i]: the length its lead byte
// announces when the continuation bytes are there, else 1.
size_t Utf8CharLength(std::string_view text, size_t i) {
    auto b0 = static_cast<unsigned char>(text[i]);
    size_t length = 1;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        length = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4;
    }
    if (i + length > text.size()) return 1;
    for (size_t k = 1; k < length; ++k) {
        if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return 1;
    }
    return length;
}

}  // namespace

size_t Utf8ToUtf16(std::string_view in, char16_t* out, size_t room) {
    size_t written = 0;
    size_t i = 0;
    while (i < in.size()) {
        char32_t cp = DecodeUtf8(in, i);
        if (cp >= 0x10000) {
            if (written + 2 > room) break;
            cp -= 0x10000;
            out[written++] = static_cast<char16_t>(0xD800 + (cp >> 10));
            out[written++] = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            if (written + 1 > room) break;
            out[written++] = static_cast<char16_t>(cp);
        }
    }
    return written;
}

std::u16string Utf8ToUtf16(std::string_view in) {
    std::u16string out(in.size(), u'\0');
    out.resize(Utf8ToUtf16(in, out.data(), out.size()));
    return out;
}

std::string Utf16ToUtf8(std::u16string_view in) {
    std::string out;
    out.reserve(in.size());
    for (size_t i = 0; i < in.size(); ++i) {
        char32_t cp = in[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < in.size() && in[i + 1] >= 0xDC00 && in[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (in[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        AppendUtf8(cp, out);
    }
    return out;
}

void AppendUtf8(char32_t cp, std::string& out) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

std::string CutUtf8(std::string_view text, size_t maxBytes) {
    if (text.size() <= maxBytes) return std::string(text);
    size_t i = 0;
    while (i < text.size()) {
        size_t length = Utf8CharLength(text, i);
        if (i + length > maxBytes) break;
        i += length;
    }
    return std::string(text.substr(0, i));
}

std::u16string Utf8ToUtf16Cut(std::string_view text, size_t maxUnits) {
    std::u16string out(std::min(text.size(), maxUnits), u'\0');
    out.resize(Utf8ToUtf16(text, out.data(), out.size()));
    return out;
}

std::string CutUtf8ToUnits(const std::string& text, size_t maxUnits) {
    if (Utf8ToUtf16(text).size() <= maxUnits) return text;
    return Utf16ToUtf8(Utf8ToUtf16Cut(text, maxUnits));
}

}  // namespace trakvio
