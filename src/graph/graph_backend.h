// Graph drawing back end: the eight operations DrawGraph draws with. Each
// target (SVG document, enhanced metafile, a window's screen buffer) fills one
// table with its own functions and a context pointer; DrawGraph never knows
// which target it draws to. Coordinates are target pixels, y down; colours
// reach the pen as 0x00BBGGRR, the platform's pen colour order.
#pragma once

#include <cstdint>
#include <string_view>

namespace trakvio {

struct GraphPoint {
    int32_t x = 0;
    int32_t y = 0;
};

struct GraphTextSize {
    int32_t cx = 0;
    int32_t cy = 0;
};

// Text alignment flags in the platform's values: horizontal and vertical
// parts are or-ed together.
inline constexpr uint32_t kAlignLeft = 0;
inline constexpr uint32_t kAlignRight = 2;
inline constexpr uint32_t kAlignCenter = 6;
inline constexpr uint32_t kAlignHorizontalMask = 6;
inline constexpr uint32_t kAlignTop = 0;
inline constexpr uint32_t kAlignBottom = 8;
inline constexpr uint32_t kAlignBaseline = 24;
inline constexpr uint32_t kAlignVerticalMask = 24;

// Escapement (tenths of a degree) of the rotated Y title.
inline constexpr int32_t kEscapementUp = 900;

struct GraphBackend {
    void* context = nullptr;
    // One connected line through count points.
    void (*polyline)(void* context, const GraphPoint* points, int32_t count) = nullptr;
    // lines separate lines; counts[i] points each, taken in order from points.
    void (*polyPolyline)(void* context, const GraphPoint* points, const int32_t* counts, int32_t lines) = nullptr;
    // A tick label: plain ASCII.
    void (*tickText)(void* context, int32_t x, int32_t y, const char* text, int32_t length) = nullptr;
    // An axis title: UTF-8.
    void (*titleText)(void* context, int32_t x, int32_t y, const char* utf8, int32_t length) = nullptr;
    // Width and height of text drawn with the current font.
    void (*textExtent)(void* context, const char* text, int32_t length, GraphTextSize& size) = nullptr;
    void (*textAlign)(void* context, uint32_t flags) = nullptr;
    // on = false drops the pen and puts the target's own pen back.
    void (*pen)(void* context, int32_t width, uint32_t colorRef, bool on) = nullptr;
    // Height is the cell height in pixels; face is UTF-16. on = false drops
    // the font and puts the target's own font back.
    void (*font)(void* context, int32_t height, int32_t escapement, bool italic, std::u16string_view face,
                 bool on) = nullptr;
};

// value * numerator / denominator rounded to the nearest integer (halves away
// from zero); -1 when denominator is 0, like the platform's MulDiv.
inline int32_t MulDiv(int32_t value, int32_t numerator, int32_t denominator) {
    if (denominator == 0) return -1;
    int64_t product = static_cast<int64_t>(value) * numerator;
    int64_t d = denominator;
    if ((product < 0) != (d < 0)) return static_cast<int32_t>((product - d / 2) / d);
    return static_cast<int32_t>((product + d / 2) / d);
}

// 0xRRGGBB <-> 0x00BBGGRR: the first and third bytes change places.
inline uint32_t SwapRedBlue(uint32_t color) {
    return ((color & 0xFF) << 16) | (color & 0xFF00) | ((color >> 16) & 0xFF);
}

}  // namespace trakvio
