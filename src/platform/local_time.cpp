#include "platform/local_time.h"

#include <cstdio>
#include <cstring>
#include <ctime>

namespace trakvio {

int64_t UtcFromCivil(int64_t year, int64_t month, int64_t day, int64_t hour, int64_t minute, int64_t second) {
    // Bring the month into 1..12, carrying whole years.
    int64_t m0 = month - 1;
    year += m0 >= 0 ? m0 / 12 : -((11 - m0) / 12);
    m0 -= 12 * (m0 >= 0 ? m0 / 12 : -((11 - m0) / 12));
    int64_t m = m0 + 1;
    // Days from civil (Howard Hinnant's algorithm), day 1 of the month first.
    int64_t y = year - (m <= 2 ? 1 : 0);
    int64_t era = (y >= 0 ? y : y - 399) / 400;
    int64_t yoe = y - era * 400;
    int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5;
    int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    int64_t days = era * 146097 + doe - 719468 + (day - 1);
    return days * 86400 + hour * 3600 + minute * 60 + second;
}

std::string CompactLocalTime(int64_t t) {
    time_t tt = static_cast<time_t>(t);
    struct tm local {};
    if (!localtime_r(&tt, &local)) return "00000000_000000";
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%04d%02d%02d_%02d%02d%02d", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return buffer;
}

void FormatLocalTime(int64_t t, char (&out)[20]) {
    std::memset(out, 0, sizeof out);
    time_t tt = static_cast<time_t>(t);
    struct tm tmv;
    if (!localtime_r(&tt, &tmv)) return;
    int year = tmv.tm_year + 1900;
    if (year < 0 || year > 9999) return;
    auto put = [&out](int at, int value, int digits) {
        for (int k = digits - 1; k >= 0; --k) {
            out[at + k] = static_cast<char>('0' + value % 10);
            value /= 10;
        }
    };
    put(0, year, 4);
    out[4] = '-';
    put(5, tmv.tm_mon + 1, 2);
    out[7] = '-';
    put(8, tmv.tm_mday, 2);
    out[10] = ' ';
    put(11, tmv.tm_hour, 2);
    out[13] = ':';
    put(14, tmv.tm_min, 2);
    out[16] = ':';
    put(17, tmv.tm_sec, 2);
}

int64_t LocalStandardTimeToUtc(int year, int month, int day, int hour, int minute, int second) {
    struct tm tmv {};
    tmv.tm_year = year - 1900;
    tmv.tm_mon = month - 1;
    tmv.tm_mday = day;
    tmv.tm_hour = hour;
    tmv.tm_min = minute;
    tmv.tm_sec = second;
    tmv.tm_isdst = 0;
    time_t t = mktime(&tmv);
    if (t == static_cast<time_t>(-1)) return 0;
    return static_cast<int64_t>(t);
}

}  // namespace trakvio
