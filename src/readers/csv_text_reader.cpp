#include "readers/csv_text_reader.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "platform/local_time.h"
#include "readers/text_scan.h"

namespace trakvio {

namespace {

// Characters of a line that are looked at; the rest of a longer line is not.
constexpr ptrdiff_t kLongestLine = 1023;
constexpr float kKmPerHourPerMetrePerSecond = 3.6f;

// The columns read, and where they stand in a data line when the header
// does not say (the logger's first layout).
enum Column { kType, kDateTime, kLatitude, kLongitude, kAccuracy, kAltitude, kGeoidHeight, kSpeed, kColumnsRead };
constexpr const char* kColumnNames[kColumnsRead] = {"type",        "date time",   "latitude",        "longitude",
                                                    "accuracy(m)", "altitude(m)", "geoid_height(m)", "speed(m/s)"};
// Columns further right than this are not looked for.
constexpr int kMostColumns = 64;

// The places of the columns read, from a header line ("type,date time,...");
// a header that lacks one of them leaves its default place.
void ColumnsFromHeader(const char* p, const char* end, int (&place)[kColumnsRead]) {
    while (end > p && (end[-1] == '\r' || end[-1] == ' ')) --end;
    int column = 0;
    for (const char* q = p; column < kMostColumns; ++column) {
        const char* comma = FindChar(q, end, ',');
        const std::string_view name(q, static_cast<size_t>((comma ? comma : end) - q));
        for (int k = 0; k < kColumnsRead; ++k) {
            if (name == kColumnNames[k]) place[k] = column;
        }
        if (!comma) break;
        q = comma + 1;
    }
}

// A digit field of exactly width characters at p, or -1.
int Digits(const char* p, int width) {
    int value = 0;
    for (int i = 0; i < width; ++i) {
        if (!IsDigit(p[i])) return -1;
        value = value * 10 + (p[i] - '0');
    }
    return value;
}

// "YYYY-MM-DD hh:mm:ss" at [p, end), anything behind the seconds ignored.
bool ReadDateTime(const char* p, const char* end, int64_t& time) {
    if (end - p < 19 || p[4] != '-' || p[7] != '-' || p[10] != ' ' || p[13] != ':' || p[16] != ':') return false;
    int year = Digits(p, 4), month = Digits(p + 5, 2), day = Digits(p + 8, 2);
    int hour = Digits(p + 11, 2), minute = Digits(p + 14, 2), second = Digits(p + 17, 2);
    if (year < 0 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23 || minute < 0 ||
        minute > 59 || second < 0 || second > 60)
        return false;
    time = UtcFromCivil(year, month, day, hour, minute, second);
    return true;
}

// The number filling the field [p, end) (blanks around it allowed); false
// for an empty field or one with anything else in it.
bool ReadWholeNumber(const char* p, const char* end, double& value) {
    const char* next;
    value = ParseNumber<double>(p, end, &next);
    if (next == p) return false;
    while (next < end && (*next == ' ' || *next == '\t' || *next == '\r')) ++next;
    return next == end;
}

}  // namespace

int ReadCsvTextBuffer(TrackStore& store, const char* data, size_t size) {
    const char* p = data;
    const char* end = data + size;
    int place[kColumnsRead];
    for (int k = 0; k < kColumnsRead; ++k) place[k] = k;
    // Newer loggers add columns (barometric_pressure(hPa) before name): the
    // header says where each one stands.
    if (end - p >= 5 && std::memcmp(p, "type,", 5) == 0) {
        const char* newline = FindChar(p, end, '\n');
        const char* headerEnd = newline ? newline : end;
        if (headerEnd - p > kLongestLine) headerEnd = p + kLongestLine;
        ColumnsFromHeader(p, headerEnd, place);
    }
    int columns = 0;
    for (int k = 0; k < kColumnsRead; ++k) columns = std::max(columns, place[k] + 1);
    const char* fieldBegin[kMostColumns];
    const char* fieldStop[kMostColumns];
    const char* begin[kColumnsRead];
    const char* stop[kColumnsRead];
    while (p < end) {
        const char* newline = FindChar(p, end, '\n');
        const char* lineEnd = newline ? newline : end;
        const char* next = newline ? newline + 1 : end;
        if (lineEnd - p > kLongestLine) lineEnd = p + kLongestLine;
        if (lineEnd - p >= 2 && p[0] == 'T' && p[1] == ',') {
            // Columns by comma; those the line lacks are empty.
            const char* last = lineEnd;
            while (last > p && last[-1] == '\r') --last;
            const char* q = p;
            for (int column = 0; column < columns; ++column) {
                const char* comma = FindChar(q, last, ',');
                fieldBegin[column] = q;
                fieldStop[column] = comma ? comma : last;
                q = comma ? comma + 1 : last;
            }
            for (int k = 0; k < kColumnsRead; ++k) {
                begin[k] = fieldBegin[place[k]];
                stop[k] = fieldStop[place[k]];
            }
            int64_t time;
            double latitude, longitude;
            if (ReadDateTime(begin[kDateTime], stop[kDateTime], time) &&
                ReadWholeNumber(begin[kLatitude], stop[kLatitude], latitude) &&
                ReadWholeNumber(begin[kLongitude], stop[kLongitude], longitude) && latitude >= -90 && latitude <= 90 &&
                longitude >= -180 && longitude <= 180) {
                float altitude =
                    ParseFloat(begin[kAltitude], stop[kAltitude]) + ParseFloat(begin[kGeoidHeight], stop[kGeoidHeight]);
                float speed = ParseFloat(begin[kSpeed], stop[kSpeed]) * kKmPerHourPerMetrePerSecond;
                if (!AppendPoint(store, latitude, longitude, altitude, speed, time, 1)) return kReaderCut;
            }
        }
        p = next;
    }
    return kReaderDone;
}

int ReadCsvText(TrackStore& store, const std::filesystem::path& path) {
    FileBytes file;
    if (file.Open(path) != 0) return kReaderCannotOpen;
    return ReadCsvTextBuffer(store, file.data(), file.size());
}

}  // namespace trakvio
