// Text conversions between the UTF-8 of files and the UTF-16 of names, paths
// and everything shown. Invalid UTF-8 becomes U+FFFD; output is never written
// past the room given and a surrogate pair is never split at the cut.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace trakvio {

// Converts into out[0..room); returns the code units written.
size_t Utf8ToUtf16(std::string_view in, char16_t* out, size_t room);
std::u16string Utf8ToUtf16(std::string_view in);
std::string Utf16ToUtf8(std::u16string_view in);
// Appends one code point (at most U+10FFFF, not a surrogate) as UTF-8.
void AppendUtf8(char32_t codePoint, std::string& out);

// The longest prefix of text of at most maxBytes bytes that does not end
// inside a UTF-8 sequence (an invalid byte counts as one character).
std::string CutUtf8(std::string_view text, size_t maxBytes);
// UTF-8 to UTF-16, at most maxUnits units, never splitting a surrogate pair.
std::u16string Utf8ToUtf16Cut(std::string_view text, size_t maxUnits);
// text itself when its UTF-16 form has at most maxUnits units; else that form
// cut to maxUnits units (never inside a surrogate pair), back in UTF-8.
std::string CutUtf8ToUnits(const std::string& text, size_t maxUnits);

}  // namespace trakvio
