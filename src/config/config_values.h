// Value parsing for the configuration file: numbers with the C library's
// rules (strtol, strtoul, strtod, and scanf's %d with a field width) as they
// behave with a 32-bit long, independent of the process locale; the text
// value rule for double quotes; and cutting text at a byte or code-unit limit
// without splitting a character. Nothing here touches the file system except
// PathFromUtf8's plain conversion.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/ascii_text.h"

namespace trakvio {

// The blanks strtol and scanf skip: space, \t, \n, \v, \f, \r.
bool IsCBlank(char c);

// strtol(text, &end, 10) with a 32-bit long: leading blanks skipped, optional
// sign, decimal digits up to the first non-digit; saturates at the int32
// range; 0 when there are no digits. *used gets the bytes consumed, 0 when
// there were no digits.
int32_t ParseLong(std::string_view text, size_t* used = nullptr);

// strtoul(text, &end, base) with a 32-bit unsigned long, base 10 or 16 (16
// accepts an optional 0x): a '-' negates modulo 2^32, an overflow gives
// 0xFFFFFFFF. *used as for ParseLong.
uint32_t ParseUnsignedLong(std::string_view text, int base, size_t* used = nullptr);

// strtod(text, &end) in the "C" locale, whatever locale the process runs in.
// *used as for ParseLong.
double ParseDouble(std::string_view text, size_t* used = nullptr);

// scanf's "%Nd" at text[pos]: blanks skipped (not counted in width), then at
// most width characters of optional sign and digits. Returns false without
// digits; on success value is set and pos moved past the field.
bool ScanWidthInt(std::string_view text, size_t& pos, int width, int& value);

// A text value: one leading double quote is skipped, and a double quote as
// the last byte of what remains is dropped.
std::string_view TextValue(std::string_view value);

// A path value: converted through UTF-16 and cut at kMaxPathUnits units.
std::filesystem::path PathFromUtf8(std::string_view text);

}  // namespace trakvio
