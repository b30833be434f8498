// Readers of the SQLite logger databases: ITM waypoint databases (.poi, also
// inside .itm packages) with several named, styled tracks, and GoGoHike
// location databases (.ggh) with one track. Both run through the SQLite
// binding and return a 32-bit result: 0, or a failing stage's base code
// (see sqlite_query.h and below) plus SQLite's own result code.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/sqlite_library.h"
#include "store/track_store.h"

namespace trakvio {

// Results of the database readers beside the query stages.
inline constexpr uint32_t kItmTypeQuery = 0x110000;   // IT_TGVLib; GoGoHike: metadata and sequence
inline constexpr uint32_t kItmTypeRange = 0x140000;   // the highest waypoint id is negative or absurd
inline constexpr uint32_t kItmGpsQuery = 0x210000;
inline constexpr uint32_t kItmGpsCount = 0x240000;    // GPS-log rows differ from the type table
inline constexpr uint32_t kItmGpsId = 0x250000;       // a GPS-log id lies beyond the highest waypoint id
inline constexpr uint32_t kItmWpQuery = 0x310000;     // GoGoHike: the location query
inline constexpr uint32_t kItmWpCount = 0x340000;     // GoGoHike: rows differ from the sequence value
inline constexpr uint32_t kItmLineQuery = 0x410000;
inline constexpr uint32_t kItmLineEnd = 0x440000;     // a line ends at an id no stored point carries
inline constexpr uint32_t kItmLineOrder = 0x450000;   // a line ends before the line it follows
inline constexpr uint32_t kItmStyleQuery = 0x510000;
inline constexpr uint32_t kItmRowsDiffer = 0x610000;  // GPS-log and waypoint rows differ in number
inline constexpr uint32_t kItmLinesDiffer = 0x620000; // lines and styled lines differ in number

// Reads an ITM database behind what the store holds: points from pointCount,
// tracks from trackCount, names from namePosition in trackNames. On success
// the store's point and track counts take in what was read (points after
// the last line's end belong to no track and are not kept); on any failure
// the store is left as it was, its names included. A database with more
// points than the store has room for is read up to the capacity, with the
// lines that end within it; cut, when given, is then set.
uint32_t ReadItm(const SqliteLibrary& sqlite, TrackStore& store, const std::filesystem::path& path,
                 int32_t namePosition, bool* cut = nullptr);

// Reads a GoGoHike database, appending its points at pointCount (which
// advances as they are read, also when a failure follows). At the point
// capacity the read stops and cut, when given, is set.
uint32_t ReadGoGoHike(const SqliteLibrary& sqlite, TrackStore& store, const std::filesystem::path& path,
                      bool* cut = nullptr);

// A short English explanation of a database reader's result (the failing
// stage, and SQLite's result code when there is one), for the messages that
// show the number.
std::string DatabaseResultText(uint32_t result, bool itm);

// Time of the first GPS fix of an ITM database as a Windows file time
// (100 ns units since 1601-01-01 UTC). Returns 0 when found, 1 when SQLite is
// not bound, 2 when the file does not exist, 3 when it cannot be opened, 4
// when the query cannot be prepared, 5 on a step error, 6 when no row
// qualifies.
int ItmFirstFixTime(const SqliteLibrary& sqlite, const std::filesystem::path& path, int64_t& fileTime);

// Seconds since 1970 UTC of a Windows file time.
inline int64_t UnixTimeFromFileTime(uint64_t fileTime) {
    return static_cast<int64_t>(fileTime / 10000000u) - 11644473600;
}

}  // namespace trakvio
