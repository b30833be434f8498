// The coordinate tuples of a KML coordinates element: "longitude,latitude
// [,altitude]" separated by blanks, read straight into the point array.
//
// A large list is split at a blank and its halves are read on two threads;
// the points come out exactly as one reading from the front would give them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "store/track_store.h"

namespace trakvio {

// What a run of tuples produced.
struct TupleRunResult {
    int64_t points = 0;  // points written, in order, from the first slot
    bool full = false;   // a complete tuple found no slot: reading stopped there
    // The lowest and highest latitude of the points written (when there are any).
    double minLatitude = 0, maxLatitude = 0;
};

struct TupleRunOptions {
    int workers = 0;                 // threads to use; 0: two when the machine has them
    size_t parallelBytes = 1 << 20;  // shorter text is read on one thread
    bool plainShapes = true;         // read the usual shape of tuple without the general parsing
};

// Reads every tuple of [p, limit) into out[0 .. room): each maximal run of
// non-blank bytes is one tuple. A tuple without a readable latitude, or
// whose position is off the globe (IsPlaceablePosition), gives no point,
// and anything after a tuple's numbers up to the next blank is ignored; a
// missing altitude is 0. Point k gets time firstTime + k * step, enabled 1,
// loggedSpeed 0 and geoidAltitude equal to its altitude; its other fields
// are left as they are. Slots after the last point may have been written
// to.
TupleRunResult ReadTupleRun(const char* p, const char* limit, LogPoint* out, int64_t room, int64_t firstTime,
                            int32_t step, const TupleRunOptions& options = {});

}  // namespace trakvio
