#include "export/export_text.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <system_error>

#include "platform/ascii_text.h"
#include "platform/utf.h"

namespace trakvio {

namespace {

constexpr size_t kTitleBytes = 255;
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// U+2028 and U+2029 end a line in JavaScript; in UTF-8 they are E2 80 A8/A9.
// Returns 0x2028, 0x2029 or 0 for the bytes at i.
char32_t JsLineSeparatorAt(std::string_view s, size_t i) {
    if (i + 2 >= s.size() || static_cast<unsigned char>(s[i]) != 0xE2 || static_cast<unsigned char>(s[i + 1]) != 0x80)
        return 0;
    const auto third = static_cast<unsigned char>(s[i + 2]);
    return third == 0xA8 ? 0x2028 : third == 0xA9 ? 0x2029 : 0;
}

// True when the '<' at i starts "</script", "<script" or "<!--", in any case.
bool StartsScriptMarkup(std::string_view s, size_t i) {
    auto followedBy = [&](std::string_view word) {
        if (s.size() - i - 1 < word.size()) return false;
        for (size_t k = 0; k < word.size(); ++k) {
            char c = s[i + 1 + k];
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            if (c != word[k]) return false;
        }
        return true;
    };
    return followedBy("/script") || followedBy("script") || followedBy("!--");
}

bool XmlForbidsByte(unsigned char c) { return c < 0x20 && c != '\t' && c != '\n' && c != '\r'; }

// The bytes of the UTF-8 sequence that starts at text[i] (a byte of 0x80 or
// more). allowed is set when it is a well-formed character that XML 1.0
// allows; a surrogate, U+FFFE or U+FFFF is not, and neither is a byte that
// starts no well-formed sequence (then the length is 1).
size_t MultiByteCharacter(std::string_view text, size_t i, bool& allowed) {
    allowed = false;
    const auto lead = static_cast<unsigned char>(text[i]);
    const size_t n = lead >= 0xC2 && lead <= 0xDF   ? 2
                     : lead >= 0xE0 && lead <= 0xEF ? 3
                     : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                    : 0;
    if (n == 0 || text.size() - i < n) return 1;
    uint32_t cp = lead & (0x7Fu >> n);
    for (size_t k = 1; k < n; ++k) {
        const auto byte = static_cast<unsigned char>(text[i + k]);
        if ((byte & 0xC0) != 0x80) return 1;
        cp = cp << 6 | (byte & 0x3Fu);
    }
    if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF))) return 1;  // overlong or too high
    allowed = !(cp >= 0xD800 && cp <= 0xDFFF) && cp != 0xFFFE && cp != 0xFFFF;
    return n;
}

// Copies the character at text[i] (a byte of 0x80 or more), or U+FFFD for
// what XML does not allow; returns the bytes used.
size_t AppendMultiByte(std::string_view text, size_t i, std::string& out) {
    bool allowed = false;
    const size_t n = MultiByteCharacter(text, i, allowed);
    if (allowed) {
        out.append(text.substr(i, n));
    } else {
        out += kReplacement;
    }
    return n;
}

void AppendHexEscape(unsigned char c, std::string& out) {
    out += "\\x";
    AppendHexByte(c, out);
}

}  // namespace

void RemovePartialFile(const std::filesystem::path& path) {
    std::error_code ec;
    if (std::filesystem::is_regular_file(std::filesystem::symlink_status(path, ec))) {
        std::filesystem::remove(path, ec);
    }
}

// ---- derived texts ----

std::string TitleUtf8(std::u16string_view title) { return CutUtf8(Utf16ToUtf8(title), kTitleBytes); }

std::string PageTitle(std::string_view titleUtf8) {
    if (titleUtf8.size() >= 10 && titleUtf8[8] == '_' &&
        titleUtf8.substr(0, 8).find_first_not_of("0123456789") == std::string_view::npos) {
        std::string reordered(titleUtf8.substr(9));
        reordered += '_';
        reordered += titleUtf8.substr(0, 8);
        return reordered;
    }
    return std::string(titleUtf8);
}

std::string_view DisplayName(std::string_view nameUtf8) {
    const size_t start = nameUtf8.find_first_not_of("0123456789_");
    return start == std::string_view::npos ? std::string_view() : nameUtf8.substr(start);
}

void TimeSpanTexts(const TrackRecord& record, std::string_view& first, std::string_view& second) {
    const std::string_view start(record.startText, strnlen(record.startText, sizeof record.startText));
    const std::string_view end(record.endText, strnlen(record.endText, sizeof record.endText));
    first = start;
    if (std::strncmp(record.startText, record.endText, 10) == 0) {
        second = end.size() > 11 ? end.substr(11) : std::string_view();
    } else {
        second = end;
    }
}

// ---- escapers ----

void AppendJsString(std::string_view utf8, char quote, std::string& out) {
    for (size_t i = 0; i < utf8.size(); ++i) {
        const char c = utf8[i];
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\') {
            out += "\\\\";
        } else if (c == quote) {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '<' && StartsScriptMarkup(utf8, i)) {
            out += "\\x3C";
        } else if (byte < 0x20 || byte == 0x7F) {
            AppendHexEscape(byte, out);
        } else if (char32_t separator = JsLineSeparatorAt(utf8, i)) {
            out += separator == 0x2028 ? "\\u2028" : "\\u2029";
            i += 2;
        } else if (byte >= 0x80) {
            i += AppendMultiByte(utf8, i, out) - 1;
        } else {
            out += c;
        }
    }
}

void AppendJsComment(std::string_view utf8, std::string& out) {
    for (size_t i = 0; i < utf8.size(); ++i) {
        const char c = utf8[i];
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '<' && StartsScriptMarkup(utf8, i)) {
            out += "\\x3C";
        } else if (char32_t separator = JsLineSeparatorAt(utf8, i)) {
            out += separator == 0x2028 ? "\\u2028" : "\\u2029";
            i += 2;
        } else if (static_cast<unsigned char>(c) >= 0x80) {
            i += AppendMultiByte(utf8, i, out) - 1;
        } else {
            out += c;
        }
    }
}

namespace {

// Markup text: & < > as references and what XML does not allow as U+FFFD;
// for HTML (content or a quoted attribute value) also both quotes as
// references and DEL as U+FFFD.
void AppendMarkupText(std::string_view utf8, bool html, std::string& out) {
    for (size_t i = 0; i < utf8.size(); ++i) {
        const char c = utf8[i];
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += html ? "&quot;" : "\"";
                break;
            case '\'':
                out += html ? "&#39;" : "'";
                break;
            default:
                if (static_cast<unsigned char>(c) >= 0x80) {
                    i += AppendMultiByte(utf8, i, out) - 1;
                } else if (XmlForbidsByte(static_cast<unsigned char>(c)) || (html && c == 0x7F)) {
                    out += kReplacement;
                } else {
                    out += c;
                }
        }
    }
}

}  // namespace

void AppendHtml(std::string_view utf8, std::string& out) { AppendMarkupText(utf8, true, out); }

void AppendXmlText(std::string_view utf8, std::string& out) { AppendMarkupText(utf8, false, out); }

void AppendCdata(std::string_view utf8, std::string& out) {
    for (size_t i = 0; i < utf8.size(); ++i) {
        const char c = utf8[i];
        if (c == ']' && utf8.substr(i, 3) == "]]>") {
            out += "]]]]><![CDATA[>";
            i += 2;
        } else if (static_cast<unsigned char>(c) >= 0x80) {
            i += AppendMultiByte(utf8, i, out) - 1;
        } else if (XmlForbidsByte(static_cast<unsigned char>(c))) {
            out += kReplacement;
        } else {
            out += c;
        }
    }
}

}  // namespace trakvio
