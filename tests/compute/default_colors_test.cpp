#include "compute/default_colors.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace trakvio {
namespace {

// Colours of a store with n empty tracks after AssignDefaultColors.
std::vector<uint32_t> ColorsFor(int n) {
    TrackStore store;
    EXPECT_EQ(CreateTrackStore(store, 10, n > 0 ? n : 1), 0);
    for (int t = 0; t < n; ++t) EXPECT_TRUE(CloseTrack(store));
    AssignDefaultColors(store);
    std::vector<uint32_t> colors;
    for (int t = 0; t < n; ++t) colors.push_back(store.tracks[t].color);
    return colors;
}

TEST(DefaultColors, PaletteBaseColours) {
    EXPECT_EQ(HueToColor(0, 1, 1.0), 0xFF0000u);
    EXPECT_EQ(HueToColor(240, 1, 1.0), 0x0000FFu);
    EXPECT_EQ(HueToColor(120, 1, 0.624), 0x009F00u);
    EXPECT_EQ(HueToColor(300, 1, 1.0), 0xFF00FFu);
    EXPECT_EQ(HueToColor(270, 1, 1.0), 0x7F00FFu);
    EXPECT_EQ(HueToColor(180, 1, 0.624), 0x009F9Fu);
}

TEST(DefaultColors, HueToColorRampsAndWraps) {
    EXPECT_EQ(HueToColor(60, 1, 1.0), 0xFFFF00u);
    EXPECT_EQ(HueToColor(30, 1, 1.0), 0xFF7F00u);
    EXPECT_EQ(HueToColor(-120, 1, 1.0), 0x0000FFu);
    EXPECT_EQ(HueToColor(720, 1, 1.0), 0xFF0000u);
    EXPECT_EQ(HueToColor(0, 0, 1.0), 0xFFFFFFu);  // no saturation: grey at full brightness
    EXPECT_EQ(HueToColor(0, 0, 0.5), 0x7F7F7Fu);
    EXPECT_EQ(HueToColor(0, 1, 0.0), 0x000000u);
}

TEST(DefaultColors, ChannelsKeepTheirLowEightBits) {
    // 255 * 2 = 510 = 0x1FE: the channel keeps 0xFE and does not spill into
    // its neighbour.
    EXPECT_EQ(HueToColor(0, 1, 2.0), 0xFE0000u);
    EXPECT_EQ(HueToColor(0, 1, 1e300), 0x000000u);
}

TEST(DefaultColors, ThreeTracks) { EXPECT_EQ(ColorsFor(3), (std::vector<uint32_t>{0xFF0000, 0x009F00, 0x0000FF})); }

TEST(DefaultColors, EvenIndicesUpThenOddIndicesDown) {
    // Palette indices 0, 2, 4, 3, 1.
    EXPECT_EQ(ColorsFor(5), (std::vector<uint32_t>{0xFF0000, 0x009F00, 0x7F00FF, 0xFF00FF, 0x0000FF}));
}

TEST(DefaultColors, SecondCycleIsDarker) {
    std::vector<uint32_t> colors = ColorsFor(8);
    ASSERT_EQ(colors.size(), 8u);
    EXPECT_EQ(colors[3], 0xBF0000u);  // palette index 6: red at 0.75
    EXPECT_EQ(colors[4], 0x0000BFu);  // palette index 7: blue at 0.75
    EXPECT_EQ(colors[0], 0xFF0000u);
    EXPECT_EQ(colors[7], 0x0000FFu);
}

TEST(DefaultColors, ManyTracksDarkenLessPerCycle) {
    // 63 tracks: 0.75 per cycle.
    std::vector<uint32_t> colors63 = ColorsFor(63);
    EXPECT_EQ(colors63[3], 0xBF0000u);  // index 6: 255 * 0.75
    EXPECT_EQ(colors63[6], 0x8F0000u);  // index 12: 255 * 0.5625
    // 64 tracks: 0.3^(6/64) = 0.8933 per cycle.
    std::vector<uint32_t> colors64 = ColorsFor(64);
    EXPECT_EQ(colors64[3], 0xE30000u);   // index 6: 227.8
    EXPECT_EQ(colors64[6], 0xCB0000u);   // index 12: 203.5
    EXPECT_EQ(colors64[63], 0x0000FFu);  // index 1
    // The last cycle of 100 tracks stays visible.
    std::vector<uint32_t> colors100 = ColorsFor(100);
    EXPECT_EQ(colors100[48], 0x500000u);  // index 96: 255 * 0.3^(16 * 6/100) = 80.3
}

TEST(DefaultColors, NoTracksChangeNothing) {
    TrackStore store;
    ASSERT_EQ(CreateTrackStore(store, 10, 3), 0);
    store.tracks[0].color = 0x123456;
    AssignDefaultColors(store);
    EXPECT_EQ(store.tracks[0].color, 0x123456u);
}

TEST(DefaultColors, OnlyColoursChange) {
    TrackStore store;
    ASSERT_EQ(CreateTrackStore(store, 10, 3), 0);
    ASSERT_TRUE(AppendPoint(store, 35, 139, 0, 0, 100, 1));
    ASSERT_TRUE(CloseTrack(store));
    ASSERT_TRUE(CloseTrack(store));
    store.tracks[0].lineWidth = 5;
    store.tracks[1].checked = 1;
    store.tracks[2].color = 0xABCDEF;  // beyond trackCount
    AssignDefaultColors(store);
    EXPECT_EQ(store.tracks[0].color, 0xFF0000u);
    EXPECT_EQ(store.tracks[1].color, 0x0000FFu);
    EXPECT_EQ(store.tracks[2].color, 0xABCDEFu);
    EXPECT_EQ(store.tracks[0].lineWidth, 5);
    EXPECT_EQ(store.tracks[1].checked, 1);
    EXPECT_EQ(store.pointCount, 1);
}

}  // namespace
}  // namespace trakvio
