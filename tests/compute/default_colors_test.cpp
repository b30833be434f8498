#include "compute/default_colors.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace trakvio {
namespace {

// Colours of a store with n empty tracks after AssignDefaultColors.
std::vector<uint32_t> ColorsFor(int n) {
    TrackStore store;
    EXPECT_EQ(CreateTrackStore(store, 10, n), 0);
    for (int t = 0; t < n; ++t) EXPECT_TRUE(CloseTrack(store));
    AssignDefaultColors(store);
    std::vector<uint32_t> colors;
    for (int t = 0; t < n; ++t) colors.push_back(store.tracks[t].color);
    return colors;
}

TEST(DefaultColors, NeighboursDifferAndEachCycleThroughThePaletteIsDarker) {
    // Track t takes palette index 2t in the first half of the tracks and 2n - 1 - 2t in the second: red, green,
    // blue for three tracks; indices 6 and 7 are red and blue again, darker.
    EXPECT_EQ(ColorsFor(3), (std::vector<uint32_t>{0xFF0000, 0x009F00, 0x0000FF}));
    EXPECT_EQ(ColorsFor(5), (std::vector<uint32_t>{0xFF0000, 0x009F00, 0x7F00FF, 0xFF00FF, 0x0000FF}));
    const struct {
        int tracks, track;
        uint32_t color;
    } cases[] = {
        {8, 3, 0xBF0000},     // index 6: red at 0.75
        {8, 4, 0x0000BF},     // index 7: blue at 0.75
        {8, 5, 0x009F9F},     // index 5: cyan
        {63, 6, 0x8F0000},    // up to 63 tracks, 0.75 per cycle; index 12: 255 * 0.5625
        {64, 3, 0xE30000},    // from 64 tracks: 0.3^(6/64) = 0.8933 per cycle
        {64, 63, 0x0000FF},   // index 1
        {100, 48, 0x500000},  // index 96 stays visible: 255 * 0.3^(16 * 6/100) = 80.3
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ColorsFor(c.tracks)[c.track], c.color) << c.tracks << " tracks, track " << c.track;
    }
    // A store without tracks is left alone.
    TrackStore store;
    ASSERT_EQ(CreateTrackStore(store, 10, 3), 0);
    store.tracks[0].color = 0x123456;
    AssignDefaultColors(store);
    EXPECT_EQ(store.tracks[0].color, 0x123456u);
}

}  // namespace
}  // namespace trakvio
