#include "readers/nmea_reader.h"

#include <cstring>

#include "platform/ascii_text.h"
#include "platform/local_time.h"
#include "readers/text_scan.h"

namespace trakvio {

namespace {

// Characters of a line that are looked at; the rest of a longer line is not.
constexpr ptrdiff_t kLongestLine = 1023;
constexpr float kKmPerHourPerKnot = 1.852f;

enum class Sentence { kOther, kGga, kRmc, kGll, kZda };

constexpr uint32_t Tag(const char (&s)[5]) {
    return static_cast<uint32_t>(static_cast<unsigned char>(s[0])) |
           static_cast<uint32_t>(static_cast<unsigned char>(s[1])) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(s[2])) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(s[3])) << 24;
}

// The sentence named by the four bytes at p (three letters and a comma).
Sentence Classify(const char* p) {
    uint32_t tag;
    std::memcpy(&tag, p, 4);
    switch (tag) {
        case Tag("GGA,"):
            return Sentence::kGga;
        case Tag("RMC,"):
            return Sentence::kRmc;
        case Tag("GLL,"):
            return Sentence::kGll;
        case Tag("ZDA,"):
            return Sentence::kZda;
        default:
            return Sentence::kOther;
    }
}

// The data fields of one sentence: field i (1 for the first after the
// address) is [begin[i], end[i]); fields the sentence lacks are empty.
struct Fields {
    static constexpr int kCount = 12;  // GGA's field 11 is the last one read
    const char* begin[kCount + 1];
    const char* end[kCount + 1];
    size_t Size(int i) const { return static_cast<size_t>(end[i] - begin[i]); }
};

// Bit i of newlines, stars and commas is set where byte i of the 16 at p is
// '\n', '*' or ','.
void BlockMasks(const char* p, uint32_t& newlines, uint32_t& stars, uint32_t& commas) {
#if defined(__SSE2__)
    __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    newlines = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, _mm_set1_epi8('\n'))));
    stars = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, _mm_set1_epi8('*'))));
    commas = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, _mm_set1_epi8(','))));
#else
    newlines = stars = commas = 0;
    for (int i = 0; i < 16; ++i) {
        newlines |= static_cast<uint32_t>(p[i] == '\n') << i;
        stars |= static_cast<uint32_t>(p[i] == '*') << i;
        commas |= static_cast<uint32_t>(p[i] == ',') << i;
    }
#endif
}

// Mask of the first bytes (0 to 8) of a 64-bit word.
uint64_t LowBytes(int bytes) { return bytes >= 8 ? ~uint64_t{0} : (uint64_t{1} << (8 * bytes)) - 1; }

// Scans the sentence at line ('$', then the address and its comma at 1 to 6)
// up to its line feed in blocks of 16 bytes, recording its fields and the
// XOR of its bytes between '$' and '*' on the way. Returns the end of the
// line (its '\n', or end); valid is false when the line is too short or a
// "*hh" checksum does not match. Looks at most kLongestLine characters.
const char* ScanSentence(const char* line, const char* end, Fields& f, bool& valid) {
    const char* limit = end - line > kLongestLine ? line + kLongestLine : end;
    const char* q = line + 1;
    const char* lineEnd = nullptr;
    const char* star = nullptr;
    uint64_t sum = 0;
    uint32_t skip = 0x3F;  // the address and its comma, in the first block
    int n = 1;
    f.begin[1] = line + 7;
    char tail[16];
    while (q < limit) {
        const char* bytes = q;
        if (end - q < 16) {
            // The last bytes of the buffer: never load past its end.
            std::memset(tail, 0, sizeof tail);
            std::memcpy(tail, q, static_cast<size_t>(end - q));
            bytes = tail;
        }
        uint32_t newlines, stars, commas;
        BlockMasks(bytes, newlines, stars, commas);
        uint32_t used = limit - q >= 16 ? 0xFFFF : (1u << (limit - q)) - 1;
        if (uint32_t hit = newlines & used) {
            lineEnd = q + __builtin_ctz(hit);
            used &= (1u << __builtin_ctz(hit)) - 1;
        }
        if (uint32_t hit = stars & used) {
            star = q + __builtin_ctz(hit);
            used &= (1u << __builtin_ctz(hit)) - 1;
        }
        // used is a run of bytes from the block's start.
        int count = __builtin_ctz(~used);
        uint64_t low, high;
        std::memcpy(&low, bytes, 8);
        std::memcpy(&high, bytes + 8, 8);
        sum ^= (low & LowBytes(count < 8 ? count : 8)) ^ (high & LowBytes(count > 8 ? count - 8 : 0));
        commas &= used & ~skip;
        skip = 0;
        for (; commas && n < Fields::kCount; commas &= commas - 1) {
            const char* comma = q + __builtin_ctz(commas);
            f.end[n] = comma;
            f.begin[++n] = comma + 1;
        }
        if (lineEnd || star) break;
        q += 16;
    }
    if (!lineEnd) {
        const char* from = star ? star : limit;
        lineEnd = FindChar(from, end, '\n');
        if (!lineEnd) lineEnd = end;
    }
    const char* textEnd = lineEnd < limit ? lineEnd : limit;
    const char* bodyEnd;
    valid = textEnd - line >= 7;
    if (star) {
        int high = textEnd - star >= 3 ? HexDigitValue(star[1]) : -1, low = high >= 0 ? HexDigitValue(star[2]) : -1;
        sum ^= sum >> 32;
        sum ^= sum >> 16;
        sum ^= sum >> 8;
        valid = valid && star >= line + 7 && low >= 0 && (sum & 0xFF) == static_cast<uint64_t>(high * 16 + low);
        bodyEnd = star;
    } else {
        bodyEnd = textEnd;
        while (bodyEnd > line + 7 && (bodyEnd[-1] == '\r' || bodyEnd[-1] == ' ' || bodyEnd[-1] == '\t')) --bodyEnd;
    }
    if (!valid) return lineEnd;
    f.end[n] = bodyEnd;
    for (int i = n + 1; i <= Fields::kCount; ++i) f.begin[i] = f.end[i] = bodyEnd;
    return lineEnd;
}

// Digits [p, end) as a number, or -1 when the field is empty, longer than
// maxDigits or holds anything but digits.
int SmallNumber(const char* p, const char* end, int maxDigits) {
    if (p >= end || end - p > maxDigits) return -1;
    int value = 0;
    for (; p < end; ++p) {
        if (!IsDigit(*p)) return -1;
        value = value * 10 + (*p - '0');
    }
    return value;
}

// Milliseconds of the day of "hhmmss" with an optional fraction (truncated to
// milliseconds) and blanks around it, or -1 when the field is not such a time.
int32_t TimeOfDay(const char* p, const char* end) {
    while (p < end && *p == ' ') ++p;
    while (end > p && end[-1] == ' ') --end;
    if (end - p < 6) return -1;
    int hours = SmallNumber(p, p + 2, 2), minutes = SmallNumber(p + 2, p + 4, 2),
        seconds = SmallNumber(p + 4, p + 6, 2);
    if (hours < 0 || minutes < 0 || seconds < 0 || hours > 23 || minutes > 59 || seconds > 60) return -1;
    int32_t ms = ((hours * 60 + minutes) * 60 + seconds) * 1000;
    p += 6;
    if (p < end) {
        if (*p++ != '.') return -1;
        for (int scale = 100; p < end; ++p, scale /= 10) {
            if (!IsDigit(*p)) return -1;
            ms += (*p - '0') * scale;
        }
    }
    return ms;
}

// A coordinate "ddmm.mmmm" / "dddmm.mmmm" (minutes from two characters
// before the '.' on) with its hemisphere field. False when either field is
// empty or malformed, or the value is out of range.
bool ReadCoordinate(const char* p, const char* end, const char* hemisphere, const char* hemisphereEnd, char positive,
                    char negative, double limit, double& value) {
    if (hemisphereEnd - hemisphere != 1 || (*hemisphere != positive && *hemisphere != negative)) return false;
    // The minutes with up to 13 fraction digits as one integer below 2^53,
    // so one division gives the correctly rounded degrees they stand for.
    const char* q = p;
    uint64_t whole = 0;
    for (; q < end && IsDigit(*q); ++q) whole = whole * 10 + static_cast<uint64_t>(*q - '0');
    if (q == end || *q != '.' || q - p < 2 || q - p > 5) return false;
    const char* fraction = ++q;
    uint64_t minutes = whole % 100;
    for (; q < end && IsDigit(*q); ++q) minutes = minutes * 10 + static_cast<uint64_t>(*q - '0');
    ptrdiff_t digits = q - fraction;
    if (q != end || digits > 13) return false;
    double perDegree = 60 * detail::kPowersOfTen[digits];
    double v = static_cast<double>(whole / 100) + static_cast<double>(minutes) / perDegree;
    if (static_cast<double>(minutes) >= perDegree || v > limit) return false;
    value = *hemisphere == negative ? -v : v;
    return true;
}

// The sentences of one fix (one time of day) gathered so far. Each fix starts
// from nothing, so a point never carries a value an earlier fix gave.
struct Fix {
    int32_t ms = -1;  // time of day; -1 before the first fix
    double latitude = 0, longitude = 0;
    float altitude = 0;     // GGA: height above mean sea level + geoid separation
    float loggedSpeed = 0;  // RMC, km/h
    int64_t midnight = 0;   // UTC start of the date an RMC or ZDA gave
    int32_t enabled = 1;    // RMC or GLL status; a fix neither judged is taken as valid
    bool hasPosition = false;
    bool hasDate = false;
    bool validRmc = false;  // the last RMC of the fix said 'A'
    bool zdaDated = false;  // a ZDA gave the fix its date
    bool zdaOnly = false;   // begun by a ZDA, no other sentence yet
};

// UTC start of a date, remembering the last date converted so that a log of
// one day does the calendar arithmetic once.
struct DateCache {
    int32_t key = -1;
    int64_t midnight = 0;
    // False for a date that cannot be.
    bool Midnight(int year, int month, int day, int64_t& out) {
        if (year < 0 || month < 1 || month > 12 || day < 1 || day > 31) return false;
        int32_t k = (year * 16 + month) * 32 + day;
        if (k != key) {
            key = k;
            midnight = UtcFromCivil(year, month, day, 0, 0, 0);
        }
        out = midnight;
        return true;
    }
};

struct NmeaScan {
    TrackStore& store;
    Fix fix;
    DateCache dates;
    // The text of the last position read and its value.
    char positionText[48];
    size_t positionLength = sizeof positionText + 1;
    double positionLatitude = 0, positionLongitude = 0;
    bool cut = false;
    explicit NmeaScan(TrackStore& s) : store(s) {}
};

// Appends the fix as a point when it qualifies. False when the store is full.
bool Commit(NmeaScan& s) {
    const Fix& f = s.fix;
    if (!(f.validRmc || f.zdaDated) || !f.hasPosition || !f.hasDate) return true;
    // Seconds of the day rounded half up; the carry may reach the next day.
    int64_t time = f.midnight + f.ms / 1000 + (f.ms % 1000 >= 500 ? 1 : 0);
    if (!AppendPoint(s.store, f.latitude, f.longitude, f.altitude, f.loggedSpeed, time, f.enabled)) {
        s.cut = true;
        return false;
    }
    return true;
}

// Puts a sentence of time of day ms into the fix it belongs to, closing the
// current fix when a new one begins. Receivers that stamp ZDA with another
// fraction of the second than RMC and GGA are common: a ZDA joins the fix of
// its whole second, and a fix that holds only a ZDA takes the position
// sentences of its second. False when the store is full.
bool EnterFix(NmeaScan& s, int32_t ms, Sentence kind) {
    Fix& f = s.fix;
    if (ms == f.ms) {
        if (kind != Sentence::kZda) f.zdaOnly = false;
        return true;
    }
    if (f.ms >= 0 && ms / 1000 == f.ms / 1000) {
        if (kind == Sentence::kZda) return true;
        if (f.zdaOnly) {
            f.ms = ms;
            f.zdaOnly = false;
            return true;
        }
    }
    if (!Commit(s)) return false;
    // Field by field: cheaper than assigning a fresh Fix in this hot path.
    f.ms = ms;
    f.latitude = f.longitude = 0;
    f.altitude = f.loggedSpeed = 0;
    f.midnight = 0;
    f.enabled = 1;
    f.hasPosition = f.hasDate = f.validRmc = f.zdaDated = false;
    f.zdaOnly = kind == Sentence::kZda;
    return true;
}

// Gives the fix the position in the four fields from at on, when they hold
// one. The RMC and GGA of a fix repeat the same text, which is then read once.
void ReadPosition(NmeaScan& s, const Fields& d, int at) {
    const char* text = d.begin[at];
    size_t length = static_cast<size_t>(d.end[at + 3] - text);
    Fix& f = s.fix;
    if (length == s.positionLength && std::memcmp(text, s.positionText, length) == 0) {
        f.latitude = s.positionLatitude;
        f.longitude = s.positionLongitude;
        f.hasPosition = true;
        return;
    }
    double latitude, longitude;
    if (!ReadCoordinate(text, d.end[at], d.begin[at + 1], d.end[at + 1], 'N', 'S', 90, latitude) ||
        !ReadCoordinate(d.begin[at + 2], d.end[at + 2], d.begin[at + 3], d.end[at + 3], 'E', 'W', 180, longitude))
        return;
    f.latitude = latitude;
    f.longitude = longitude;
    f.hasPosition = true;
    if (length <= sizeof s.positionText) {
        std::memcpy(s.positionText, text, length);
        s.positionLength = length;
        s.positionLatitude = latitude;
        s.positionLongitude = longitude;
    }
}

bool RmcDate(DateCache& dates, const Fields& d, int64_t& midnight) {
    if (d.Size(9) != 6) return false;
    int day = SmallNumber(d.begin[9], d.begin[9] + 2, 2), month = SmallNumber(d.begin[9] + 2, d.begin[9] + 4, 2),
        year = SmallNumber(d.begin[9] + 4, d.begin[9] + 6, 2);
    return day >= 0 && month >= 0 && year >= 0 && dates.Midnight(2000 + year, month, day, midnight);
}

// One recognised sentence. False when the store is full.
bool HandleSentence(NmeaScan& s, Sentence kind, const Fields& d) {
    int timeField = kind == Sentence::kGll ? 5 : 1;
    int32_t ms = TimeOfDay(d.begin[timeField], d.end[timeField]);
    if (ms < 0) return true;
    if (!EnterFix(s, ms, kind)) return false;
    Fix& f = s.fix;
    switch (kind) {
        case Sentence::kGga:
            ReadPosition(s, d, 2);
            f.altitude = ParseFloat(d.begin[9], d.end[9]) + ParseFloat(d.begin[11], d.end[11]);
            break;
        case Sentence::kRmc: {
            bool valid = d.Size(2) == 1 && *d.begin[2] == 'A';
            f.validRmc = valid;
            f.enabled = valid ? 1 : 0;
            ReadPosition(s, d, 3);
            f.loggedSpeed = ParseFloat(d.begin[7], d.end[7]) * kKmPerHourPerKnot;
            int64_t midnight;
            if (RmcDate(s.dates, d, midnight)) {
                f.midnight = midnight;
                f.hasDate = true;
            }
            break;
        }
        case Sentence::kGll: {
            bool valid = d.Size(6) >= 1 && *d.begin[6] == 'A';
            f.enabled = valid ? 1 : 0;
            if (valid) ReadPosition(s, d, 1);
            break;
        }
        case Sentence::kZda: {
            int day = SmallNumber(d.begin[2], d.end[2], 2), month = SmallNumber(d.begin[3], d.end[3], 2);
            int year = d.Size(4) == 4 ? SmallNumber(d.begin[4], d.end[4], 4) : -1;
            int64_t midnight;
            if (year >= 0 && s.dates.Midnight(year, month, day, midnight)) {
                f.midnight = midnight;
                f.hasDate = true;
                f.zdaDated = true;
            }
            break;
        }
        case Sentence::kOther:
            break;
    }
    return true;
}

// Calls handle(kind, fields) for every GGA, RMC, GLL and ZDA sentence of the
// buffer whose checksum, when it has one, matches; stops when handle returns
// false.
template <typename Handler>
void ScanSentences(const char* data, size_t size, Handler&& handle) {
    const char* p = data;
    const char* end = data + size;
    if (size >= 3 && std::memcmp(p, "\xEF\xBB\xBF", 3) == 0) p += 3;
    Fields fields;
    while (p < end) {
        if (end - p >= 7 && p[0] == '$' && p[1] == 'G') {
            Sentence kind = Classify(p + 3);
            if (kind != Sentence::kOther) {
                bool valid;
                const char* lineEnd = ScanSentence(p, end, fields, valid);
                if (valid && !handle(kind, fields)) return;
                p = lineEnd + 1;
                continue;
            }
        }
        const char* newline = FindChar(p, end, '\n');
        if (!newline) break;
        p = newline + 1;
    }
}

}  // namespace

int ReadNmeaBuffer(TrackStore& store, const char* data, size_t size) {
    NmeaScan s(store);
    ScanSentences(data, size, [&s](Sentence kind, const Fields& d) { return HandleSentence(s, kind, d); });
    if (!s.cut) Commit(s);
    return s.cut ? kReaderCut : kReaderDone;
}

int ReadNmea(TrackStore& store, const std::filesystem::path& path) {
    FileBytes file;
    if (file.Open(path) != 0) return kReaderCannotOpen;
    return ReadNmeaBuffer(store, file.data(), file.size());
}

int NmeaFirstFixTimeBuffer(const char* data, size_t size, int64_t& time) {
    DateCache dates;
    bool found = false;
    time = 0;
    ScanSentences(data, size, [&](Sentence kind, const Fields& d) {
        if (kind != Sentence::kRmc || d.Size(2) != 1 || *d.begin[2] != 'A') return true;
        int32_t ms = TimeOfDay(d.begin[1], d.end[1]);
        int64_t midnight;
        if (ms < 0 || !RmcDate(dates, d, midnight)) return true;
        time = midnight + ms / 1000;
        found = true;
        return false;
    });
    return found ? kNmeaFirstFixFound : kNmeaFirstFixNone;
}

int NmeaFirstFixTime(const std::filesystem::path& path, int64_t& time) {
    time = 0;
    FileBytes file;
    if (file.Open(path) != 0) return kNmeaFirstFixCannotOpen;
    return NmeaFirstFixTimeBuffer(file.data(), file.size(), time);
}

}  // namespace trakvio
