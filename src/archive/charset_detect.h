// Character set of a zip entry name. Zip tools store names as raw bytes:
// UTF-8 from current tools, Shift-JIS (code page 932) from older Japanese
// ones. The detector runs the bytes through EUC-JP, Shift-JIS and UTF-8 byte
// machines at once and picks the one that survives with the best score; only
// the answer UTF-8 changes how a name is decoded, every other answer decodes
// through CP932 (iconv).
#pragma once

#include <string>
#include <string_view>

namespace trakvio {

// Answers of DetectCharset, as code page numbers.
inline constexpr int kCharsetUnknown = 0;    // every machine died
inline constexpr int kCharsetAscii = 20127;  // empty, or only bytes 0x20..0x7E
inline constexpr int kCharsetShiftJis = 932;
inline constexpr int kCharsetEucJp = 20932;
inline constexpr int kCharsetUtf8 = 65001;
inline constexpr int kCharsetIso2022Jp = 50222;  // ESC '$' or ESC '(' seen
inline constexpr int kCharsetUtf16Le = 1200;     // starts with FF FE
inline constexpr int kCharsetUtf16Be = 1201;     // starts with FE FF

// The character set of a raw name (one of the kCharset* answers).
int DetectCharset(std::string_view raw);

// The raw name as UTF-8: kept as it is (bad sequences become U+FFFD) when the
// detector says UTF-8 or the name is plain ASCII, otherwise decoded from
// CP932, where a byte that does not decode becomes U+FFFD.
std::string DecodeEntryName(std::string_view raw);

}  // namespace trakvio
