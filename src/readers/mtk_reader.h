// MTK logger binary dump reader: decodes the 64 KiB sectors of a logger's
// flash image (a .bin dump or a downloaded buffer) into MtkRecords, and
// appends their positions to the store as one run; the loader closes the
// track. Never reads outside the file or buffer and never writes past the
// point capacity.
//
// Each sector is a 512-byte header (record count, log format, mode, period,
// distance, speed, fill bit map, end mark BB BB BB BB at 508) followed by
// records and 16-byte setting marks (seven AA bytes, a type, four data bytes,
// four BB bytes) up to erased flash. A record holds, in bit order, the fields
// whose bit is set in the current log format, then '*' and a checksum byte.
// Holux loggers (format bit 31 with records that do not end in '*', or a
// "HOLUXGR2..." marker in the stream) store latitude and longitude as 4-byte
// floats, height as the upper 3 bytes of a float, and end each record with a
// single checksum byte. The M-241 (a "HOLUXGR241" marker) stores speed as a
// float in km/h behind the height; the GR-245 and M-1000C store it as an
// integer in cm/s ahead of the height.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "compute/statistics.h"
#include "readers/reader_results.h"
#include "store/track_store.h"

namespace trakvio {

// One decoded logger record. Fields the log format does not hold are 0.
struct MtkRecord {
    uint32_t format = 0;  // log format in force for this record
    uint32_t time = 0;    // seconds since 1970 UTC
    uint16_t valid = 0;
    double latitude = 0;   // degrees
    double longitude = 0;  // degrees
    float height = 0;      // metres
    float speed = 0;       // km/h
    float heading = 0;     // degrees
    uint16_t dsta = 0;
    uint32_t dage = 0;
    uint16_t pdop = 0, hdop = 0, vdop = 0;  // 0.01 units
    uint16_t nsat = 0;
    uint16_t elevation = 0, azimuth = 0, snr = 0;  // of the first satellite
    uint16_t rcr = 0;
    uint16_t millisecond = 0;
    double distance = 0;  // metres, format bit 19
};

// Record layout carried from one sector of an image to the next.
struct MtkLayout {
    int holux = -1;      // -1: not known yet; 0: standard MTK records; 1: Holux records
    bool gr241 = false;  // a "HOLUXGR241" marker was seen
};

inline constexpr size_t kMtkSectorSize = 65536;

// Decodes one sector (length at most kMtkSectorSize; a shorter piece is a
// sector cut short) and appends its records. Returns the number of records
// added, or -1 when the header's end mark is wrong or the piece is shorter
// than a header.
int DecodeMtkSector(const unsigned char* data, size_t length, std::vector<MtkRecord>& records, MtkLayout& layout);

// Decodes a dump file in 64 KiB pieces read into one reused buffer, stopping
// at the end of the file or at the first piece that yields no record.
// Replaces records; returns their number (0 when the file cannot be opened).
int DecodeMtkFile(const std::filesystem::path& path, std::vector<MtkRecord>& records);

// The same over a memory image (a logger download).
int DecodeMtkBuffer(const unsigned char* data, size_t size, std::vector<MtkRecord>& records);

// Time of the first record of a dump. Returns true and sets time when the
// dump yields a record; otherwise time is left as it was.
bool MtkFirstTime(const std::filesystem::path& path, int64_t& time);

// Appends one enabled point per record at the end of the store: latitude,
// longitude, altitude from height, loggedSpeed from speed, time. Returns
// kReaderDone, kReaderCannotOpen or kReaderCut (the point capacity was
// reached; the points up to it stay).
// latitudes, when given, receives the latitude range of the points read (when
// there are any), for the statistics that follow.
int ReadMtkBinary(TrackStore& store, const std::filesystem::path& path, LatitudeRange* latitudes = nullptr);

}  // namespace trakvio
