// NMEA reader: merges the GGA, RMC, GLL and ZDA sentences of each fix into one
// point and appends the points to the store as one run; the loader closes
// the track. Never writes past the point capacity.
//
// Sentences are lines that begin with "$G" (any GNSS talker) and name GGA,
// RMC, GLL or ZDA at positions 3 to 6; everything else is skipped. A sentence
// whose "*hh" checksum does not match, or whose time of day is unreadable, is
// skipped as well; a sentence without a checksum is taken as it is. A fix is
// the run of sentences with one time of day. It becomes a point when an RMC
// reported a valid fix ('A') or a ZDA dated it, and only when the fix itself
// gave both a position and a date: nothing is carried over from an earlier
// fix. A ZDA stamped with another fraction of the same second than the
// fix's other sentences belongs to that fix.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>

#include "readers/reader_results.h"
#include "store/track_store.h"

namespace trakvio {

// Returns a kReader* result: kReaderCut when the point capacity stopped the
// read (the points before it stay).
int ReadNmea(TrackStore& store, const std::filesystem::path& path);

// The same over a buffer that holds the whole file and one NUL behind it
// (data[size] == 0).
int ReadNmeaBuffer(TrackStore& store, const char* data, size_t size);

// Results of NmeaFirstFixTime.
inline constexpr int kNmeaFirstFixFound = 0;
inline constexpr int kNmeaFirstFixCannotOpen = 1;
inline constexpr int kNmeaFirstFixNone = 2;  // no RMC with status 'A'; time is set to 0

// Date and time of the first RMC sentence with status 'A' (fraction of the
// second dropped), as seconds since 1970 UTC.
int NmeaFirstFixTime(const std::filesystem::path& path, int64_t& time);
int NmeaFirstFixTimeBuffer(const char* data, size_t size, int64_t& time);

}  // namespace trakvio
