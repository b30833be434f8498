#include "readers/gpx_reader.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>

#include "platform/local_time.h"
#include "platform/utf.h"
#include "readers/text_scan.h"

namespace trakvio {

namespace {

// Calendar fields of the last time element; fields a later element does not
// supply keep these values.
struct TimeFields {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    // The UTC start of the last date converted, so that a log of one day
    // does the calendar arithmetic once.
    int cachedYear = 0, cachedMonth = 0, cachedDay = -1;
    int64_t cachedMidnight = 0;
};

struct GpxScan {
    TrackStore& store;
    bool readRoutes;
    double latitude = 0, longitude = 0;
    float elevation = 0;
    int64_t time = 0;
    TimeFields fields;
    bool inTrack = false, inSegment = false, inTrackPoint = false, inWaypoint = false, inRoutePoint = false;
    int32_t namePosition;
    int32_t nameNext = -1;        // position after the NUL of the name written for the open track, -1 when none
    bool nameEndMissing = false;  // no "</name>" follows: later searches are pointless
    bool cut = false;
    std::string nameUtf8;
    std::u16string nameUtf16;

    GpxScan(TrackStore& s, int32_t position) : store(s), readRoutes(s.readGpxRoutes == 1), namePosition(position) {
        nameUtf8.reserve(kTrackNamesCapacity * 3);
        nameUtf16.resize(kTrackNamesCapacity);
    }
};

// Reads up to width characters of a decimal field the way "%0Nd" does:
// leading white space skipped, an optional sign, at least one digit.
bool ScanIntField(const char*& p, int width, int& value) {
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
    const char* q = p;
    bool negative = false;
    if (*q == '+' || *q == '-') {
        negative = *q == '-';
        ++q;
        --width;
    }
    int v = 0, digits = 0;
    while (digits < width && IsDigit(*q)) {
        v = v * 10 + (*q - '0');
        ++q;
        ++digits;
    }
    if (digits == 0) return false;
    value = negative ? -v : v;
    p = q;
    return true;
}

// Parses "YYYY-MM-DDThh:mm:ss" with an optional fraction of a second and an
// optional zone ("Z", "+09:00", "-0500", "+09"). Fields the text does not
// supply keep their previous values; the result is the UTC second. p is left
// behind the text read.
int64_t ParseGpxTime(const char*& p, TimeFields& f) {
    int* slots[6] = {&f.year, &f.month, &f.day, &f.hour, &f.minute, &f.second};
    const int widths[6] = {4, 2, 2, 2, 2, 2};
    const char separators[6] = {'-', '-', 'T', ':', ':', 0};
    int read = 0;
    auto two = [](const char* q) { return (q[0] - '0') * 10 + (q[1] - '0'); };
    if (IsDigit(p[0]) && IsDigit(p[1]) && IsDigit(p[2]) && IsDigit(p[3]) && p[4] == '-' && IsDigit(p[5]) &&
        IsDigit(p[6]) && p[7] == '-' && IsDigit(p[8]) && IsDigit(p[9]) && p[10] == 'T' && IsDigit(p[11]) &&
        IsDigit(p[12]) && p[13] == ':' && IsDigit(p[14]) && IsDigit(p[15]) && p[16] == ':' && IsDigit(p[17]) &&
        IsDigit(p[18])) {
        // The usual layout, all digits in place.
        f.year = two(p) * 100 + two(p + 2);
        f.month = two(p + 5);
        f.day = two(p + 8);
        f.hour = two(p + 11);
        f.minute = two(p + 14);
        f.second = two(p + 17);
        p += 19;
        read = 6;
    }
    for (; read < 6; ++read) {
        if (!ScanIntField(p, widths[read], *slots[read])) break;
        if (separators[read] != 0) {
            if (*p != separators[read]) {
                ++read;
                break;
            }
            ++p;
        }
    }
    int64_t offset = 0;
    if (read == 6) {
        if (*p == '.' || *p == ',') {
            ++p;
            while (IsDigit(*p)) ++p;
        }
        if (*p == '+' || *p == '-') {
            int sign = *p == '-' ? -1 : 1;
            ++p;
            if (IsDigit(p[0]) && IsDigit(p[1])) {
                int hours = (p[0] - '0') * 10 + (p[1] - '0');
                int minutes = 0;
                p += 2;
                if (*p == ':') ++p;
                if (IsDigit(p[0]) && IsDigit(p[1])) {
                    minutes = (p[0] - '0') * 10 + (p[1] - '0');
                    p += 2;
                }
                if (hours <= 23 && minutes <= 59) offset = sign * (hours * 3600 + minutes * 60);
            }
        } else if (*p == 'Z') {
            ++p;
        }
    }
    if (f.year != f.cachedYear || f.month != f.cachedMonth || f.day != f.cachedDay) {
        f.cachedYear = f.year;
        f.cachedMonth = f.month;
        f.cachedDay = f.day;
        f.cachedMidnight = UtcFromCivil(f.year, f.month, f.day, 0, 0, 0);
    }
    return f.cachedMidnight + int64_t{f.hour} * 3600 + int64_t{f.minute} * 60 + f.second - offset;
}

// Reads the number behind an attribute's '=' (blanks and quotes before it
// are skipped) and returns where the number ends.
const char* ReadAttributeValue(const char* p, const char* tagEnd, double& value) {
    while (p < tagEnd && (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n' || *p == '"' || *p == '\'')) ++p;
    const char* next;
    value = ParseNumber<double>(p, tagEnd, &next);
    return next;
}

// Reads "lat=" and "lon=" (their first occurrences in the tag [tag, tagEnd));
// a missing attribute keeps the previous value. Every point tag moves the
// running time on by one second.
void ParsePointTag(GpxScan& s, const char* tag, const char* tagEnd) {
    bool haveLatitude = false, haveLongitude = false;
    const char* p = tag;
    while (!(haveLatitude && haveLongitude)) {
        const char* eq = FindChar(p, tagEnd, '=');
        if (!eq) break;
        p = eq + 1;
        if (eq - tag < 3 || eq[-3] != 'l') continue;
        if (!haveLatitude && eq[-2] == 'a' && eq[-1] == 't') {
            p = ReadAttributeValue(eq + 1, tagEnd, s.latitude);
            haveLatitude = true;
        } else if (!haveLongitude && eq[-2] == 'o' && eq[-1] == 'n') {
            p = ReadAttributeValue(eq + 1, tagEnd, s.longitude);
            haveLongitude = true;
        }
    }
    s.time += 1;
}

// Stores the point built so far; false when the store is full.
bool StorePoint(GpxScan& s) {
    // A position off the globe is skipped; the scan goes on.
    if (!IsPlaceablePosition(s.latitude, s.longitude)) return true;
    if (!AppendPoint(s.store, s.latitude, s.longitude, s.elevation, 0.0f, s.time, 1)) {
        s.cut = true;
        return false;
    }
    return true;
}

// Closes the open track with its name (a default name when it has none).
// At a capacity the track's points are given up and the scan stops.
bool CloseGpxTrack(GpxScan& s) {
    TrackStore& store = s.store;
    int32_t first = PointsInClosedTracks(store);
    int32_t next = s.nameNext;
    if (next < 0 && store.trackCount < store.maxtracks) {
        next = WriteOpenTrackDefaultName(store, s.namePosition);
    }
    if (next < 0 || !CloseTrack(store)) {
        store.pointCount = first;
        s.cut = true;
        return false;
    }
    s.namePosition = next;
    s.nameNext = -1;
    return true;
}

void ReadName(GpxScan& s, const char* textStart, const char* end, const char*& resume) {
    if (s.nameEndMissing) return;
    NameText name;
    if (!FindNameText(textStart, end, name)) {
        s.nameEndMissing = true;
        return;
    }
    resume = name.after;
    name.Decode(s.nameUtf8);
    int32_t room = TrackNameRoom(s.namePosition);
    if (room < 0) return;
    size_t n = Utf8ToUtf16(s.nameUtf8, s.nameUtf16.data(), static_cast<size_t>(room));
    s.nameNext = WriteTrackName(s.store, s.namePosition, std::u16string_view(s.nameUtf16.data(), n));
}

// A point element's name ends here (and not in a longer name such as an
// extension's "wptx1:...").
bool EndsName(char c) { return c == '>' || c == '/' || c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

int ReadGpxBuffer(TrackStore& store, const char* data, size_t size, int32_t namePosition) {
    if (namePosition < 0 || namePosition >= kTrackNamesCapacity) namePosition = NamesEndPosition(store);
    GpxScan s(store, namePosition);
    const char* p = data;
    const char* end = data + size;
    AngleBracketIndex brackets(data, size);
    Tag found;
    while (NextTag(brackets, p, found)) {
        const char* tag = found.text;
        const char* gt = found.close;
        const bool selfClosing = found.selfClosing;
        const size_t length = found.length;
        switch (tag[0]) {
            case 't':
                if (StartsWith(tag, length, "trk>")) {
                    s.inTrack = true;
                } else if (StartsWith(tag, length, "trkseg>")) {
                    s.elevation = 0;
                    s.inSegment = true;
                } else if (StartsWith(tag, length, "trkpt") && EndsName(tag[5]) && s.inSegment) {
                    ParsePointTag(s, tag, gt);
                    s.inTrackPoint = !selfClosing;
                    if (selfClosing && !StorePoint(s)) goto done;
                } else if (StartsWith(tag, length, "time>") && (s.inTrackPoint || s.inWaypoint || s.inRoutePoint)) {
                    const char* text = gt + 1;
                    s.time = ParseGpxTime(text, s.fields);
                    // The end tag right behind the text matches nothing: step over it.
                    if (StartsWith(text, static_cast<size_t>(end - text), "</time>")) p = text + 7;
                }
                break;
            case 'r':
                if (s.readRoutes && StartsWith(tag, length, "rte>")) {
                    s.inTrack = true;
                } else if (s.readRoutes && s.inTrack && StartsWith(tag, length, "rtept") && EndsName(tag[5])) {
                    ParsePointTag(s, tag, gt);
                    s.inRoutePoint = !selfClosing;
                    if (selfClosing && !StorePoint(s)) goto done;
                }
                break;
            case '/':
                if (StartsWith(tag, length, "/trk>") || (s.readRoutes && StartsWith(tag, length, "/rte>"))) {
                    if (!CloseGpxTrack(s)) goto done;
                    s.inTrack = false;
                } else if (StartsWith(tag, length, "/trkseg>")) {
                    s.inSegment = false;
                } else if (StartsWith(tag, length, "/trkpt>") || (s.readRoutes && StartsWith(tag, length, "/rtept>"))) {
                    if (!StorePoint(s)) goto done;
                    s.inTrackPoint = false;
                    s.inRoutePoint = false;
                } else if (StartsWith(tag, length, "/wpt>")) {
                    s.inWaypoint = false;
                }
                break;
            case 'n':
                if (StartsWith(tag, length, "name>") && !s.inTrackPoint && !s.inRoutePoint) ReadName(s, gt + 1, end, p);
                break;
            case 'w':
                if (StartsWith(tag, length, "wpt") && EndsName(tag[3])) {
                    ParsePointTag(s, tag, gt);
                    s.inWaypoint = !selfClosing;
                }
                break;
            case 'e':
                if (StartsWith(tag, length, "ele>") && (s.inTrackPoint || s.inWaypoint || s.inRoutePoint)) {
                    const char* next;
                    s.elevation = ParseNumber<float>(gt + 1, end, &next);
                    if (StartsWith(next, static_cast<size_t>(end - next), "</ele>")) p = next + 6;
                }
                break;
            default:
                break;
        }
    }
done:
    // Points left outside every track (a file that ends inside a track, or a
    // scan stopped at the point capacity) are closed into one last track.
    if (store.pointCount > PointsInClosedTracks(store)) CloseGpxTrack(s);
    store.trackNames[s.namePosition] = kNamesEndMarker;
    return s.cut ? kReaderCut : kReaderDone;
}

namespace {

// Whether the bytes are UTF-16 text: a byte-order mark, or a first '<' as
// a UTF-16 unit. bigEndian tells the order.
bool IsUtf16Text(const char* data, size_t size, bool& bigEndian) {
    if (size < 2) return false;
    const auto b0 = static_cast<unsigned char>(data[0]), b1 = static_cast<unsigned char>(data[1]);
    bigEndian = (b0 == 0xFE && b1 == 0xFF) || (b0 == 0 && b1 == '<');
    return bigEndian || (b0 == 0xFF && b1 == 0xFE) || (b0 == '<' && b1 == 0);
}

// UTF-16 bytes as UTF-8 (a byte-order mark dropped, an odd last byte too).
std::string Utf16BytesToUtf8(const char* data, size_t size, bool bigEndian) {
    std::u16string units;
    units.reserve(size / 2);
    for (size_t i = 0; i + 1 < size; i += 2) {
        const auto a = static_cast<unsigned char>(data[i]), b = static_cast<unsigned char>(data[i + 1]);
        units.push_back(static_cast<char16_t>(bigEndian ? a << 8 | b : b << 8 | a));
    }
    if (!units.empty() && units[0] == 0xFEFF) units.erase(0, 1);
    return Utf16ToUtf8(units);
}

// A GPX document has a gpx element; an empty or junk file has none.
bool HasGpxElement(const char* data, size_t size) { return FindBytes(data, data + size, "<gpx", 4) != nullptr; }

}  // namespace

int ReadGpx(TrackStore& store, const std::filesystem::path& path, int32_t namePosition) {
    FileBytes file;
    if (file.Open(path) != 0) return kReaderCannotOpen;
    bool bigEndian = false;
    if (IsUtf16Text(file.data(), file.size(), bigEndian)) {
        const std::string text = Utf16BytesToUtf8(file.data(), file.size(), bigEndian);
        if (!HasGpxElement(text.data(), text.size())) return kReaderNoDocument;
        return ReadGpxBuffer(store, text.c_str(), text.size(), namePosition);
    }
    if (!HasGpxElement(file.data(), file.size())) return kReaderNoDocument;
    return ReadGpxBuffer(store, file.data(), file.size(), namePosition);
}

}  // namespace trakvio
