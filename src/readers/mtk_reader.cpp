#include "readers/mtk_reader.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>
#include <utility>

#include "platform/regular_file.h"
#include "readers/text_scan.h"

namespace trakvio {
namespace {

constexpr size_t kHeaderSize = 512;
constexpr size_t kMarkSize = 16;
// A piece is read into a buffer with 2 KiB of slack behind the sector.
constexpr size_t kPieceBufferSize = kMtkSectorSize + 2048;

constexpr uint32_t kBitSatellites = 13;
constexpr uint32_t kBitElevation = 14;
constexpr uint32_t kBitAzimuth = 15;
constexpr uint32_t kBitSnr = 16;
constexpr uint32_t kHoluxFormat = 1u << 31;
constexpr int kFieldBits = 20;  // bits 0..19 carry fields; higher bits are flags

// Field sizes of standard MTK records, by format bit (13 is the satellite
// block, sized per record).
constexpr uint8_t kStandardSize[kFieldBits] = {4, 2, 8, 8, 4, 4, 4, 2, 4, 2, 2, 2, 2, 0, 2, 2, 2, 2, 2, 8};

uint16_t U16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t U32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}
float F32(const unsigned char* p) {
    float f;
    std::memcpy(&f, p, 4);
    return f;
}
double F64(const unsigned char* p) {
    double d;
    std::memcpy(&d, p, 8);
    return d;
}
// Holux heights are the upper three bytes of a float.
float F24(const unsigned char* p) {
    uint32_t bits =
        static_cast<uint32_t>(p[0]) << 8 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 24;
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

// Where each field of a record lies for one log format and layout. Fields
// before the satellite block sit at fixed offsets from the record start; the
// record reason, milliseconds and distance sit at fixed offsets behind it.
struct Plan {
    bool ready = false;
    uint32_t format = 0;
    bool holux = false;
    bool speedFirst = false;
    int headSize = 0;
    bool satellites = false;
    int satelliteSize = 0;  // one satellite: 4-byte field plus the elevation, azimuth and SNR present
    int elevationOffset = -1, azimuthOffset = -1, snrOffset = -1;
    int tailSize = 0;
    int trailer = 2;
    // Offset of each field: from the record start for bits 0 to 12, from the
    // end of the satellite block for bits 17 to 19; -1 where the format has
    // none.
    int16_t at[kFieldBits] = {};
};

int FieldSize(int bit, bool holux) {
    if (holux) {
        if (bit == 2 || bit == 3) return 4;
        if (bit == 4) return 3;
    }
    return kStandardSize[bit];
}

void MakePlan(Plan& plan, uint32_t format, bool holux, bool speedFirst) {
    plan = Plan{};
    plan.ready = true;
    plan.format = format;
    plan.holux = holux;
    plan.speedFirst = holux && speedFirst;
    plan.trailer = holux ? 1 : 2;
    std::fill(std::begin(plan.at), std::end(plan.at), int16_t{-1});
    auto has = [format](int bit) { return (format >> bit & 1u) != 0; };
    uint8_t order[13] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    if (plan.speedFirst) std::swap(order[4], order[5]);
    for (int bit : order) {
        if (!has(bit)) continue;
        plan.at[bit] = static_cast<int16_t>(plan.headSize);
        plan.headSize += FieldSize(bit, holux);
    }
    if (has(kBitSatellites)) {
        plan.satellites = true;
        plan.satelliteSize = 4;
        if (has(kBitElevation)) plan.elevationOffset = plan.satelliteSize, plan.satelliteSize += 2;
        if (has(kBitAzimuth)) plan.azimuthOffset = plan.satelliteSize, plan.satelliteSize += 2;
        if (has(kBitSnr)) plan.snrOffset = plan.satelliteSize, plan.satelliteSize += 2;
    }
    for (int bit = 17; bit < kFieldBits; ++bit) {
        if (!has(bit)) continue;
        plan.at[bit] = static_cast<int16_t>(plan.tailSize);
        plan.tailSize += kStandardSize[bit];
    }
}

// The fields of the record at head whose satellite block ends at tail. One
// test per field, the same for every record of a format, rather than a
// jump per field.
void DecodeRecord(const unsigned char* head, const unsigned char* tail, const Plan& plan, MtkRecord& r) {
    const int16_t* at = plan.at;
    if (at[0] >= 0) r.time = U32(head + at[0]);
    if (at[1] >= 0) r.valid = U16(head + at[1]);
    if (at[2] >= 0) r.latitude = plan.holux ? F32(head + at[2]) : F64(head + at[2]);
    if (at[3] >= 0) r.longitude = plan.holux ? F32(head + at[3]) : F64(head + at[3]);
    if (at[4] >= 0) r.height = plan.holux ? F24(head + at[4]) : F32(head + at[4]);
    if (at[5] >= 0) {
        const unsigned char* q = head + at[5];
        r.speed = plan.speedFirst ? static_cast<float>(static_cast<int32_t>(U32(q)) * 0.036) : F32(q);
    }
    if (at[6] >= 0) r.heading = F32(head + at[6]);
    if (at[7] >= 0) r.dsta = U16(head + at[7]);
    if (at[8] >= 0) r.dage = U32(head + at[8]);
    if (at[9] >= 0) r.pdop = U16(head + at[9]);
    if (at[10] >= 0) r.hdop = U16(head + at[10]);
    if (at[11] >= 0) r.vdop = U16(head + at[11]);
    if (at[12] >= 0) r.nsat = U16(head + at[12]);
    if (at[17] >= 0) r.rcr = U16(tail + at[17]);
    if (at[18] >= 0) r.millisecond = U16(tail + at[18]);
    if (at[19] >= 0) r.distance = F64(tail + at[19]);
}

bool IsHoluxMarker(const unsigned char* p) { return p[0] == 'H' && std::memcmp(p, "HOLUX", 5) == 0; }

// Bytes of the satellite block of the record whose block starts at q, or -1
// when the count byte lies beyond end.
int SatelliteBytes(const Plan& plan, const unsigned char* q, const unsigned char* end) {
    if (!plan.satellites) return 0;
    if (end - q < 3) return -1;
    int n = q[2];
    if (n > 254) n = 0;
    return n == 0 ? 4 : n * plan.satelliteSize;
}

// Decides the record layout of a Holux-flagged format from the first record:
// standard records end in '*' and a checksum byte.
int GuessHolux(const unsigned char* p, const unsigned char* end, uint32_t format) {
    Plan standard;
    MakePlan(standard, format, false, false);
    int sat = SatelliteBytes(standard, p + standard.headSize, end);
    if (sat < 0) return 1;
    long length = standard.headSize + sat + standard.tailSize + standard.trailer;
    if (end - p < length) return 1;
    return p[length - 2] == '*' ? 0 : 1;
}

// Calls sink(records) for each piece of at most one sector, the records
// vector holding that piece's records; stops at the first piece that yields
// none. next(buffer) returns the next piece's length (0 at the end).
template <typename NextPiece, typename Sink>
void DecodePieces(NextPiece next, std::vector<MtkRecord>& records, Sink sink) {
    MtkLayout layout;
    for (;;) {
        const unsigned char* piece = nullptr;
        size_t length = next(piece);
        if (length == 0) return;
        records.clear();
        if (DecodeMtkSector(piece, length, records, layout) < 1) return;
        if (!sink(records)) return;
    }
}

// Reads a file piece by piece into one buffer. Returns false when the file
// cannot be opened.
template <typename Sink>
bool DecodeFilePieces(const std::filesystem::path& path, std::vector<MtkRecord>& records, Sink sink) {
    int fd = OpenRegularFile(path);
    std::FILE* file = fd < 0 ? nullptr : ::fdopen(fd, "rb");
    if (!file) {
        if (fd >= 0) ::close(fd);
        return false;
    }
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[kPieceBufferSize]);
    DecodePieces(
        [&](const unsigned char*& piece) {
            piece = buffer.get();
            return std::fread(buffer.get(), 1, kMtkSectorSize, file);
        },
        records, sink);
    std::fclose(file);
    return true;
}

// The same over a whole file mapped into memory, without copying its bytes
// (a file that cannot be mapped is read whole). Returns false when the file
// cannot be opened.
template <typename Sink>
bool DecodeMappedFile(const std::filesystem::path& path, std::vector<MtkRecord>& records, Sink sink) {
    FileBytes file;
    if (file.Open(path, false) != 0) return false;
    const auto* data = reinterpret_cast<const unsigned char*>(file.data());
    const size_t size = file.size();
    size_t offset = 0;
    DecodePieces(
        [&](const unsigned char*& piece) {
            size_t length = std::min(size - offset, kMtkSectorSize);
            piece = data + offset;
            offset += length;
            return length;
        },
        records, sink);
    return true;
}

}  // namespace

int DecodeMtkSector(const unsigned char* data, size_t length, std::vector<MtkRecord>& records, MtkLayout& layout) {
    if (length > kMtkSectorSize) length = kMtkSectorSize;
    if (length < kHeaderSize || U32(data + 508) != 0xBBBBBBBBu) return -1;
    uint32_t format = U32(data + 2);
    const unsigned char* end = data + length;
    const unsigned char* p = data + kHeaderSize;
    size_t before = records.size();
    Plan plan;
    while (end - p >= static_cast<long>(kMarkSize)) {
        if (U32(p) == 0xAAAAAAAAu && U16(p + 4) == 0xAAAA && p[6] == 0xAA && U32(p + 12) == 0xBBBBBBBBu) {
            if (p[7] == 2) format = U32(p + 8);
            p += kMarkSize;
            continue;
        }
        if ((format & kHoluxFormat) && IsHoluxMarker(p)) {
            layout.holux = 1;
            if (std::memcmp(p + 5, "GR241", 5) == 0) layout.gr241 = true;
            p += kMarkSize;
            if (end - p >= 4 && U32(p) == 0x20202020u) p += 4;  // some firmware pads the marker
            continue;
        }
        bool holux = false;
        if (format & kHoluxFormat) {
            if (layout.holux < 0) layout.holux = GuessHolux(p, end, format);
            holux = layout.holux == 1;
        }
        // Only the M-241 keeps a float speed behind the height; the GR-245 and
        // M-1000C store an integer speed in cm/s ahead of it.
        bool speedFirst = !layout.gr241;
        if (!plan.ready || plan.format != format || plan.holux != holux || plan.speedFirst != (holux && speedFirst)) {
            MakePlan(plan, format, holux, speedFirst);
        }
        int sat = SatelliteBytes(plan, p + plan.headSize, end);
        if (sat < 0) break;
        long recordLength = plan.headSize + sat + plan.tailSize + plan.trailer;
        if (end - p < recordLength) break;  // cut short: not counted
        bool erased = true;
        for (long i = 0; i < recordLength; ++i) {
            if (p[i] != 0xFF) {
                erased = false;
                break;
            }
        }
        if (erased) break;

        MtkRecord& r = records.emplace_back();
        r.format = format;
        const unsigned char* satellites = p + plan.headSize;
        DecodeRecord(p, satellites + sat, plan, r);
        if (sat > 4) {
            if (plan.elevationOffset >= 0) r.elevation = U16(satellites + plan.elevationOffset);
            if (plan.azimuthOffset >= 0) r.azimuth = U16(satellites + plan.azimuthOffset);
            if (plan.snrOffset >= 0) r.snr = U16(satellites + plan.snrOffset);
        }
        p += recordLength;
    }
    return static_cast<int>(records.size() - before);
}

int DecodeMtkFile(const std::filesystem::path& path, std::vector<MtkRecord>& records) {
    records.clear();
    std::vector<MtkRecord> piece;
    DecodeFilePieces(path, piece, [&](const std::vector<MtkRecord>& got) {
        records.insert(records.end(), got.begin(), got.end());
        return true;
    });
    return static_cast<int>(records.size());
}

int DecodeMtkBuffer(const unsigned char* data, size_t size, std::vector<MtkRecord>& records) {
    records.clear();
    MtkLayout layout;
    size_t offset = 0;
    while (offset < size) {
        size_t length = std::min(size - offset, kMtkSectorSize);
        if (DecodeMtkSector(data + offset, length, records, layout) < 1) break;
        offset += length;
    }
    return static_cast<int>(records.size());
}

bool MtkFirstTime(const std::filesystem::path& path, int64_t& time) {
    std::vector<MtkRecord> records;
    bool found = false;
    DecodeFilePieces(path, records, [&](const std::vector<MtkRecord>& got) {
        time = got.front().time;
        found = true;
        return false;
    });
    return found;
}

int ReadMtkBinary(TrackStore& store, const std::filesystem::path& path, LatitudeRange* latitudes) {
    std::vector<MtkRecord> records;
    int result = kReaderDone;
    LatitudeRange range;
    bool any = false;
    bool opened = DecodeMappedFile(path, records, [&](const std::vector<MtkRecord>& got) {
        for (const MtkRecord& r : got) {
            if (!IsPlaceablePosition(r.latitude, r.longitude)) continue;
            // Heights and speeds are raw floats of the dump: NaN and infinities
            // are no value.
            const float height = std::isfinite(r.height) ? r.height : 0.0f;
            const float speed = std::isfinite(r.speed) ? r.speed : 0.0f;
            if (!AppendPoint(store, r.latitude, r.longitude, height, speed, r.time, 1)) {
                result = kReaderCut;
                return false;
            }
            range.min = any ? std::min(range.min, r.latitude) : r.latitude;
            range.max = any ? std::max(range.max, r.latitude) : r.latitude;
            any = true;
        }
        return true;
    });
    if (latitudes && any) *latitudes = range;
    return opened ? result : kReaderCannotOpen;
}

}  // namespace trakvio
