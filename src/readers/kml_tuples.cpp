#include "readers/kml_tuples.h"

#include <algorithm>
#include <cstring>
#include <system_error>
#include <thread>

#include "readers/text_scan.h"

#if defined(__SSE2__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
#include <emmintrin.h>
#define TRAKVIO_TUPLE_MASKS 1
#endif

namespace trakvio {

namespace {

// Bytes a tuple read from its byte masks needs readable from its start.
constexpr ptrdiff_t kPlainTupleBytes = 40;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// A number of a tuple: plain decimals, the usual case, without a call;
// anything else through ParseNumber. next is set behind the number (at p
// when there is none).
template <typename T>
inline T TupleNumber(const char* p, const char* end, const char** next) {
    const char* q = p;
    bool negative = false;
    if (q < end && (*q == '-' || *q == '+')) {
        negative = *q == '-';
        ++q;
    }
    T value;
    if (q < end && IsDigit(*q) && detail::ParsePlainDecimal(q, end, value)) {
        *next = q;
        return negative ? -value : value;
    }
    return ParseNumber<T>(p, end, next);
}

// The tuple at p (a byte that is not a blank) by the general rules. False
// when it has no readable latitude.
bool GeneralTuple(const char* p, const char* limit, double& longitude, double& latitude, float& altitude) {
    const char* next;
    longitude = TupleNumber<double>(p, limit, &next);
    latitude = 0;
    altitude = 0;
    if (next == p || next >= limit || *next != ',') return false;
    const char* q = next + 1;
    latitude = TupleNumber<double>(q, limit, &next);
    if (next == q) return false;
    if (next < limit && *next == ',') altitude = TupleNumber<float>(next + 1, limit, &next);
    return true;
}

#ifdef TRAKVIO_TUPLE_MASKS
inline __m128i BlankBytes(__m128i v) {
    return _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(' ')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\n'))),
                        _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('\r')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\t'))));
}

// Bit i set where p[i] (i < 64) is a blank.
inline uint64_t BlankMask64(const char* p) {
    uint64_t mask = 0;
    for (int k = 0; k < 4; ++k) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
        mask |= static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(BlankBytes(v)))) << (16 * k);
    }
    return mask;
}

// Bit i set where p[i] (i < 32) is of each kind.
struct TupleMasks {
    uint32_t digit, comma, blank;
};

inline TupleMasks MasksOf32(const char* p) {
    uint32_t bits[3][2];
    for (int half = 0; half < 2; ++half) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * half));
        __m128i shifted = _mm_sub_epi8(v, _mm_set1_epi8('0'));
        __m128i digit = _mm_cmpeq_epi8(_mm_min_epu8(shifted, _mm_set1_epi8(9)), shifted);
        bits[0][half] = static_cast<uint32_t>(_mm_movemask_epi8(digit));
        bits[1][half] = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8(','))));
        bits[2][half] = static_cast<uint32_t>(_mm_movemask_epi8(BlankBytes(v)));
    }
    TupleMasks m;
    m.digit = bits[0][0] | (bits[0][1] << 16);
    m.comma = bits[1][0] | (bits[1][1] << 16);
    m.blank = bits[2][0] | (bits[2][1] << 16);
    return m;
}

// Where the digits of one field of a tuple lie, from the tuple's start.
struct FieldShape {
    uint8_t whole = 0, wholeDigits = 0;        // before the point: 1 to 8 digits
    uint8_t fraction = 0, fractionDigits = 0;  // after it: 0 (no point) to 8
    bool negative = false;
};

// The shape of a tuple of plain decimals: a sign, one to eight digits, and a
// point followed by one to eight digits, or none, in each field. Tuples of a
// file mostly share one; a tuple has it when its bytes equal the shape's
// wherever the shape has no digit, and are digits everywhere else up to the
// blank that ends it.
struct TupleShape {
    alignas(16) char bytes[32];
    uint32_t others = 0;  // positions of the bytes that are not digits
    uint32_t span = 0;    // the tuple and its blank; 0 for no shape
    int fieldCount = 0;
    FieldShape fields[3];
};

// The shape of the field p[from, to); false when it is not a plain decimal.
bool FieldShapeOf(const char* p, int from, int to, uint32_t digits, FieldShape& field) {
    field.negative = p[from] == '-';
    if (field.negative || p[from] == '+') ++from;
    if (from >= to) return false;
    uint32_t range = static_cast<uint32_t>(((uint64_t{1} << to) - 1) & ~((uint64_t{1} << from) - 1));
    uint32_t other = range & ~digits;
    int whole = to - from, fraction = 0;
    if (other != 0) {
        int point = __builtin_ctz(other);
        whole = point - from;
        fraction = to - point - 1;
        if ((other & (other - 1)) != 0 || p[point] != '.' || fraction == 0 || fraction > 8) return false;
    }
    if (whole == 0 || whole > 8 || whole + fraction > 15) return false;
    field.whole = static_cast<uint8_t>(from);
    field.wholeDigits = static_cast<uint8_t>(whole);
    field.fraction = static_cast<uint8_t>(from + whole + 1);
    field.fractionDigits = static_cast<uint8_t>(fraction);
    return true;
}

// The shape of the tuple at p, which needs kPlainTupleBytes readable bytes;
// false when it has none of the plain kind.
bool TupleShapeOf(const char* p, TupleShape& shape) {
    TupleMasks m = MasksOf32(p);
    if (m.blank == 0) return false;
    int length = __builtin_ctz(m.blank);
    uint32_t commas = m.comma & ((uint32_t{1} << length) - 1);
    if (commas == 0) return false;
    int first = __builtin_ctz(commas);
    commas &= commas - 1;
    int second = commas ? __builtin_ctz(commas) : length;
    if ((commas & (commas - 1)) != 0) return false;
    shape.fieldCount = second == length ? 2 : 3;
    if (!FieldShapeOf(p, 0, first, m.digit, shape.fields[0]) ||
        !FieldShapeOf(p, first + 1, second, m.digit, shape.fields[1]) ||
        (shape.fieldCount == 3 && !FieldShapeOf(p, second + 1, length, m.digit, shape.fields[2])))
        return false;
    std::memcpy(shape.bytes, p, sizeof shape.bytes);
    shape.span = (uint32_t{2} << length) - 1;
    shape.others = ~m.digit & shape.span;
    return true;
}

inline bool HasShape(const char* p, const TupleShape& shape) {
    uint32_t same[2], digit[2];
    for (int half = 0; half < 2; ++half) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * half));
        __m128i t = _mm_load_si128(reinterpret_cast<const __m128i*>(shape.bytes + 16 * half));
        __m128i shifted = _mm_sub_epi8(v, _mm_set1_epi8('0'));
        same[half] = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, t)));
        digit[half] =
            static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(shifted, _mm_set1_epi8(9)), shifted)));
    }
    uint32_t sameBytes = same[0] | (same[1] << 16), digits = digit[0] | (digit[1] << 16);
    return (((sameBytes & shape.others) | (digits & ~shape.others)) & shape.span) == shape.span;
}

// The value of a field of the shape, as ParsePlainDecimal gives it; false
// when its digits are too many for the type to take exactly.
template <typename T>
inline bool FieldValue(const char* p, const FieldShape& field, T& value) {
    constexpr uint64_t kMantissaLimit = sizeof(T) == 8 ? (uint64_t{1} << 53) : (uint64_t{1} << 24);
    uint64_t mantissa = detail::ShortDigitRun(p + field.whole, field.wholeDigits);
    if (field.fractionDigits) {
        mantissa = mantissa * detail::kIntegerPowersOfTen[field.fractionDigits] +
                   detail::ShortDigitRun(p + field.fraction, field.fractionDigits);
    }
    if (mantissa > kMantissaLimit) return false;
    T v;
    if constexpr (sizeof(T) == 8) {
        v = static_cast<double>(mantissa) / detail::kPowersOfTen[field.fractionDigits];
    } else {
        v = static_cast<float>(mantissa) / static_cast<float>(detail::kPowersOfTen[field.fractionDigits]);
    }
    value = field.negative ? -v : v;
    return true;
}

// The tuple at p, which has the shape.
inline bool ShapedTuple(const char* p, const TupleShape& shape, double& longitude, double& latitude, float& altitude) {
    altitude = 0;
    return FieldValue(p, shape.fields[0], longitude) && FieldValue(p, shape.fields[1], latitude) &&
           (shape.fieldCount == 2 || FieldValue(p, shape.fields[2], altitude));
}

// A tuple of plain decimals ending at a blank within 32 bytes of p, the kind
// nearly every program writes, read without the general parsing. Needs
// kPlainTupleBytes readable bytes at p. Keeps the shape of the last such
// tuple in shape, so that the next one of the same shape is only compared.
inline bool PlainTuple(const char* p, TupleShape& shape, double& longitude, double& latitude, float& altitude) {
    if (shape.span == 0 || !HasShape(p, shape)) {
        TupleShape found;
        if (!TupleShapeOf(p, found)) return false;
        shape = found;
    }
    return ShapedTuple(p, shape, longitude, latitude, altitude);
}
#endif

// Calls take(block, starts) for the blocks of 64 bytes of [from, to) in
// order, starts having bit i set where a tuple starts at block[i] (a byte
// that is not a blank after one that is, or at from), until it returns
// false. The bytes behind the last whole block come one at a time (starts
// 1). The starts come from blank masks, so finding the next tuple never
// waits for the reading of the one before.
template <typename Take>
void ForEachStartMask(const char* from, const char* to, Take&& take) {
    const char* block = from;
    bool previousBlank = true;
#ifdef TRAKVIO_TUPLE_MASKS
    uint64_t carry = 1;
    for (; to - block >= 64; block += 64) {
        uint64_t blank = BlankMask64(block);
        uint64_t starts = ~blank & ((blank << 1) | carry);
        carry = blank >> 63;
        if (starts && !take(block, starts)) return;
    }
    previousBlank = carry != 0;
#endif
    for (; block < to; ++block) {
        bool blank = IsBlank(*block);
        if (!blank && previousBlank && !take(block, uint64_t{1})) return;
        previousBlank = blank;
    }
}

// Calls visit(start) for each tuple start in [from, to), in order, until it
// returns false. Returns the start it returned false for, or nullptr.
template <typename Visit>
const char* ForEachTupleStart(const char* from, const char* to, Visit&& visit) {
    const char* stopped = nullptr;
    ForEachStartMask(from, to, [&](const char* block, uint64_t starts) {
        for (; starts; starts &= starts - 1) {
            const char* start = block + __builtin_ctzll(starts);
            if (!visit(start)) {
                stopped = start;
                return false;
            }
        }
        return true;
    });
    return stopped;
}

int64_t CountTupleStarts(const char* from, const char* to) {
    int64_t count = 0;
    ForEachStartMask(from, to, [&count](const char*, uint64_t starts) {
        count += __builtin_popcountll(starts);
        return true;
    });
    return count;
}

struct PartResult {
    int64_t points = 0;
    const char* stoppedAt = nullptr;  // the tuple that found no slot, or nullptr
    double minLatitude = 0, maxLatitude = 0;
};

// Adds the latitudes of part (when it has points) to result.
void AddLatitudes(TupleRunResult& result, const PartResult& part) {
    if (part.points == 0) return;
    if (result.points == 0) {
        result.minLatitude = part.minLatitude;
        result.maxLatitude = part.maxLatitude;
    } else {
        result.minLatitude = std::min(result.minLatitude, part.minLatitude);
        result.maxLatitude = std::max(result.maxLatitude, part.maxLatitude);
    }
}

inline void PutPoint(LogPoint& point, double latitude, double longitude, float altitude, int64_t time) {
    point.latitude = latitude;
    point.longitude = longitude;
    point.altitude = altitude;
    point.geoidAltitude = altitude;
    point.loggedSpeed = 0;
    point.time = time;
    point.enabled = 1;
}

// Time of the point k places after the first; wraps rather than overflows.
inline int64_t PointTime(int64_t firstTime, int32_t step, int64_t k) {
    return static_cast<int64_t>(static_cast<uint64_t>(firstTime) +
                                static_cast<uint64_t>(k) * static_cast<uint64_t>(static_cast<int64_t>(step)));
}

// The tuples starting in [from, to), read no further than limit, into
// out[0 .. room).
PartResult ReadPart(const char* from, const char* to, const char* limit, LogPoint* out, int64_t room, int64_t firstTime,
                    int32_t step, bool plainShapes) {
    (void)plainShapes;  // without byte masks every tuple takes the general reading
    PartResult result;
    int64_t n = 0;
    double minLatitude = 0, maxLatitude = 0;
#ifdef TRAKVIO_TUPLE_MASKS
    TupleShape shape;
#endif
    result.stoppedAt = ForEachTupleStart(from, to, [&](const char* start) {
        double longitude, latitude;
        float altitude;
        bool complete = false;
#ifdef TRAKVIO_TUPLE_MASKS
        if (plainShapes && limit - start >= kPlainTupleBytes) {
            complete = PlainTuple(start, shape, longitude, latitude, altitude);
        }
#endif
        if (!complete && !GeneralTuple(start, limit, longitude, latitude, altitude)) return true;
        // A position off the globe gives no point, as an unreadable one.
        if (!IsPlaceablePosition(latitude, longitude)) return true;
        if (n >= room) return false;
        PutPoint(out[n], latitude, longitude, altitude, PointTime(firstTime, step, n));
        minLatitude = n == 0 ? latitude : std::min(minLatitude, latitude);
        maxLatitude = n == 0 ? latitude : std::max(maxLatitude, latitude);
        ++n;
        return true;
    });
    result.points = n;
    result.minLatitude = minLatitude;
    result.maxLatitude = maxLatitude;
    return result;
}

}  // namespace

TupleRunResult ReadTupleRun(const char* p, const char* limit, LogPoint* out, int64_t room, int64_t firstTime,
                            int32_t step, const TupleRunOptions& options) {
    room = std::max<int64_t>(room, 0);
    TupleRunResult result;
    if (limit <= p) return result;
    const size_t bytes = static_cast<size_t>(limit - p);

    // Two halves, split at a blank so that no tuple straddles them.
    const char* split = nullptr;
    if (bytes >= options.parallelBytes && bytes >= 2) {
        int workers = options.workers > 0 ? options.workers : (std::thread::hardware_concurrency() >= 2 ? 2 : 1);
        if (workers >= 2) {
            // The other thread also counts the first half's tuples, which
            // costs about a seventh of reading them: it gets the smaller half.
            const char* middle = p + bytes / 7 * 4;
            while (middle < limit && !IsBlank(*middle)) ++middle;
            if (middle < limit) split = middle;
        }
    }
    if (!split) {
        PartResult whole = ReadPart(p, limit, limit, out, room, firstTime, step, options.plainShapes);
        AddLatitudes(result, whole);
        result.points = whole.points;
        result.full = whole.stoppedAt != nullptr;
        return result;
    }

    // The second half is read on another thread into the slots behind one
    // for each tuple start of the first half, which that thread counts first.
    int64_t secondOffset = 0;
    PartResult second;
    auto readSecond = [&] {
        secondOffset = std::min(CountTupleStarts(p, split), room);
        second = ReadPart(split, limit, limit, out + secondOffset, room - secondOffset,
                          PointTime(firstTime, step, secondOffset), step, options.plainShapes);
    };
    std::thread worker;
    try {
        worker = std::thread(readSecond);
    } catch (const std::system_error&) {
        readSecond();
    }
    PartResult first = ReadPart(p, split, limit, out, room, firstTime, step, options.plainShapes);
    if (worker.joinable()) worker.join();

    int64_t n = first.points;
    AddLatitudes(result, first);
    result.points = n;
    if (first.stoppedAt) {
        // Out of slots within the first half: nothing after it is kept.
        result.full = true;
        return result;
    }
    // Tuples of the first half without a latitude left slots empty: the
    // second half's points move down behind the first half's.
    if (secondOffset != n) {
        for (int64_t k = 0; k < second.points; ++k) {
            const LogPoint& from = out[secondOffset + k];
            PutPoint(out[n + k], from.latitude, from.longitude, from.altitude, PointTime(firstTime, step, n + k));
        }
    }
    AddLatitudes(result, second);
    n += second.points;
    result.points = n;
    if (second.stoppedAt) {
        // The second half ran out of slots before the empty ones were given
        // back: read on from where it stopped.
        PartResult rest = ReadPart(second.stoppedAt, limit, limit, out + n, room - n, PointTime(firstTime, step, n),
                                   step, options.plainShapes);
        AddLatitudes(result, rest);
        result.points = n + rest.points;
        result.full = rest.stoppedAt != nullptr;
    }
    return result;
}

}  // namespace trakvio
