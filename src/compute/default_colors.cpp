#include "compute/default_colors.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace trakvio {
namespace {

struct PaletteEntry {
    double hue;         // degrees
    double brightness;  // 0..1, saturation is always 1
};

constexpr int kPaletteSize = 6;

// Red, blue, green, magenta, violet, cyan; green and cyan at lower brightness.
constexpr PaletteEntry kPalette[kPaletteSize] = {
    {0, 1.0}, {240, 1.0}, {120, 0.624}, {300, 1.0}, {270, 1.0}, {180, 0.624},
};

// Factor the brightness is multiplied by for every full cycle through the
// palette: few tracks darken quickly, many tracks slowly enough to stay visible.
double DarkeningFactor(int64_t trackCount) {
    return trackCount >= 64 ? std::pow(0.3, 6.0 / static_cast<double>(trackCount)) : 0.75;
}

// 0 up to 120 degrees, rising to 1 at 180, 1 up to 300, falling to 0 at 360.
double Ramp(double angle) {
    double x = std::fmod(angle, 360.0);
    if (x < 0) x += 360.0;
    if (x >= 360.0) x -= 360.0;  // a tiny negative angle rounds up to 360
    if (x < 120.0) return 0.0;
    if (x < 180.0) return (x - 120.0) / 60.0;
    if (x < 300.0) return 1.0;
    return 1.0 - (x - 300.0) / 60.0;
}

// One 8-bit channel: the value truncated towards zero, its low 8 bits kept.
// Works on the double so that values outside the integer range stay defined.
uint32_t Channel(double angle, double saturation, double brightness) {
    double r = Ramp(angle);
    double value = std::trunc(255.0 * brightness * ((1.0 - r) * (1.0 - saturation) + r));
    if (!std::isfinite(value)) return 0;
    double low = std::fmod(value, 256.0);
    if (low < 0) low += 256.0;
    return static_cast<uint32_t>(low);
}

}  // namespace

uint32_t HueToColor(double hue, double saturation, double brightness) {
    return Channel(hue + 240.0, saturation, brightness) * 0x10000 +
           Channel(hue + 120.0, saturation, brightness) * 0x100 + Channel(hue, saturation, brightness);
}

void AssignDefaultColors(TrackStore& store) {
    const int64_t n = std::clamp<int64_t>(store.trackCount, 0, static_cast<int64_t>(store.tracks.size()));
    if (n == 0) return;
    const double f = DarkeningFactor(n);

    // Palette indices are walked upwards so that each cycle's brightness is
    // the previous cycle's times f, exactly as if every colour multiplied f in
    // once per cycle. Track t takes index 2t while 2t < n, otherwise
    // 2n - 1 - 2t: the even indices go to the first half of the tracks, the odd
    // ones, downwards, to the second half.
    double brightness[kPaletteSize];
    for (int j = 0; j < kPaletteSize; ++j) brightness[j] = kPalette[j].brightness;
    for (int64_t k = 0; k < n; ++k) {
        int j = static_cast<int>(k % kPaletteSize);
        if (j == 0 && k > 0) {
            for (double& b : brightness) b *= f;
        }
        int64_t t = (k % 2 == 0) ? k / 2 : (2 * n - 1 - k) / 2;
        store.tracks[static_cast<size_t>(t)].color = HueToColor(kPalette[j].hue, 1.0, brightness[j]);
    }
}

}  // namespace trakvio
