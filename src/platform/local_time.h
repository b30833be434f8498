// Time helpers: UTC calendar arithmetic without the C library's global state,
// and the local-time conversions that follow the TZ setting.
#pragma once

#include <cstdint>
#include <string>

namespace trakvio {

// Seconds since 1970 UTC of a proleptic Gregorian date and time. Out-of-range
// months, days, hours, minutes and seconds carry over as mktime would.
int64_t UtcFromCivil(int64_t year, int64_t month, int64_t day, int64_t hour, int64_t minute, int64_t second);

// Formats t as local time "%Y-%m-%d %H:%M:%S" into out (NUL-terminated);
// all zero bytes when the time cannot be represented.
void FormatLocalTime(int64_t t, char (&out)[20]);

// Local date and time of t as the digit run "YYYYMMDD_HHMMSS" that file names
// made from dates use; "00000000_000000" when the time cannot be represented.
std::string CompactLocalTime(int64_t t);

// Seconds since 1970 UTC of fields taken as local standard time (daylight
// saving off), with mktime semantics. Returns 0 when mktime fails.
int64_t LocalStandardTimeToUtc(int year, int month, int day, int hour, int minute, int second);

}  // namespace trakvio
