// Helpers shared by the fuzz targets: a check that stops the run, and a small
// store that already holds one named track, as a load behind earlier ones
// finds it.
#pragma once

#include <cstdint>
#include <cstdlib>

#include "store/track_store.h"

namespace trakvio::fuzz {

inline void Check(bool condition) {
    if (!condition) std::abort();
}

// A store of the given capacities, made once per run.
inline TrackStore& SmallStore(int32_t points, int32_t tracks) {
    static TrackStore store = [&] {
        TrackStore s;
        CreateTrackStore(s, points, tracks);
        return s;
    }();
    return store;
}

// Clears the store and gives it one closed track of two points named
// "first"; returns the names position behind that name.
inline int32_t StartWithOneTrack(TrackStore& store) {
    ClearTrackStore(store);
    AppendPoint(store, 35, 139, 10, 0, 1000, 1);
    AppendPoint(store, 35.001, 139.001, 11, 0, 1010, 1);
    CloseTrack(store);
    return WriteTrackName(store, 0, u"first");
}

}  // namespace trakvio::fuzz
