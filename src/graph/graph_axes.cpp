#include "graph/graph_axes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace trakvio {

namespace {

constexpr double kPixelLimit = 1 << 30;

// A double built from its decimal text, so 2e-02 is the double nearest 0.02
// rather than 2 times the double nearest 0.01.
double PowerStep(int multiplier, int exponent) {
    char text[32];
    std::snprintf(text, sizeof text, "%de%d", multiplier, exponent);
    return std::strtod(text, nullptr);
}

void Label(const GraphBackend& backend, int32_t x, int32_t y, const char* text) {
    backend.tickText(backend.context, x, y, text, static_cast<int32_t>(std::strlen(text)));
}

}  // namespace

GraphBuffers::GraphBuffers(int32_t capacity)
    : points(static_cast<size_t>(std::max(capacity, 2))), counts(static_cast<size_t>(std::max(capacity, 2) / 2)) {}

bool GraphBuffers::AddVerticalLine(int32_t x, int32_t y0, int32_t y1) {
    if (!HasRoom(2)) return false;
    points[static_cast<size_t>(pointCount)] = {x, y0};
    points[static_cast<size_t>(pointCount) + 1] = {x, y1};
    pointCount += 2;
    counts[static_cast<size_t>(lineCount++)] = 2;
    return true;
}

int32_t PixelOf(double value) {
    if (std::isnan(value)) return 0;
    return static_cast<int32_t>(std::clamp(value, -kPixelLimit, kPixelLimit));
}

double NiceStep(double v, int& exponent) {
    char text[64];
    std::snprintf(text, sizeof text, "%8.1e", v);
    const char* e = std::strchr(text, 'e');
    if (e == nullptr) {  // inf or nan: no usable step, one unit keeps callers finite
        exponent = 0;
        return 1;
    }
    const float mantissa = std::strtof(std::string(text, static_cast<size_t>(e - text)).c_str(), nullptr);
    int x = std::atoi(e + 1);
    int multiplier;
    if (mantissa <= 1) {
        multiplier = 1;
    } else if (mantissa <= 2) {
        multiplier = 2;
    } else if (mantissa <= 5) {
        multiplier = 5;
    } else {
        multiplier = 1;
        ++x;
    }
    exponent = x;
    return PowerStep(multiplier, x);
}

int DecimalExponent(double v) {
    double a = std::fabs(v);
    if (a == 0 || a == 1 || !std::isfinite(a)) return 0;
    int e = 0;
    if (a > 1) {
        while (a >= 10) {
            a *= 0.1;
            ++e;
        }
    } else {
        while (a < 1) {
            a *= 10;
            --e;
        }
    }
    return e;
}

TimeAxisTitle TimeAxisTicks(const GraphBackend& backend, int64_t start, int64_t end, int64_t firstTick,
                            GraphBuffers& buffers, const TimeAxis& axis, const GraphMetrics& metrics) {
    const double p = axis.pixelsPerSecond * 3600;  // width of one hour
    const double s = axis.minSpacing;
    const int32_t labelY = axis.axisY + metrics.smallGap;
    auto xOf = [&](int64_t t) { return PixelOf(static_cast<double>(t - start) * axis.pixelsPerSecond) + axis.axisX; };
    char text[32];

    if (p <= 1.5 * s) {
        // Hours are narrow: label every h hours, or days.
        const double narrow = (2 * axis.minSpacing) / 5;
        int h = 1;
        while (p * h <= 1.5 * narrow && h < 24) h = h == 2 ? 3 : h * 2;
        if (h < 24) {
            int counter = 0;
            for (int64_t t = firstTick; t <= end && buffers.HasRoom(2); t += int64_t{h} * 3600) {
                if (t >= start) {
                    const int32_t x = xOf(t);
                    buffers.AddVerticalLine(x, axis.axisY, axis.axisY - metrics.majorTick);
                    std::snprintf(text, sizeof text, "%d", counter);
                    Label(backend, x, labelY, text);
                }
                counter += h;
                if (counter >= 24) counter = 0;
            }
            return TimeAxisTitle::kHour;
        }
        int day = 1;
        for (int64_t t = firstTick; t <= end && buffers.HasRoom(2); t += 86400) {
            if (t < start) continue;
            if (t == start) day = 0;
            const int32_t x = xOf(t);
            buffers.AddVerticalLine(x, axis.axisY, axis.axisY - metrics.majorTick);
            std::snprintf(text, sizeof text, "%d", day);
            Label(backend, x, labelY, text);
            ++day;
        }
        return TimeAxisTitle::kDay;
    }

    // An hour is wide: k labelled divisions per hour, m ticks per division.
    int k = 6;
    while (k > 1 && p / k <= 1.5 * s) --k;
    if (k == 4 || k == 5) k = 3;
    int m;
    if (k < 4) {
        m = 6 / k;
    } else if (axis.pixelsPerSecond * 60 > 5) {
        m = 10;
    } else if (axis.pixelsPerSecond * 120 > 5) {
        m = 5;
    } else if (axis.pixelsPerSecond * 300 > 5) {
        m = 2;
    } else {
        m = 1;
    }
    const int64_t interval = 3600 / (m * k);
    int64_t t = firstTick;
    for (int hour = 0; t <= end && buffers.HasRoom(2); hour = hour == 23 ? 0 : hour + 1) {
        for (int division = 0; division < k; ++division) {
            for (int tick = 0; tick < m; ++tick, t += interval) {
                if (t > end || !buffers.HasRoom(2)) return TimeAxisTitle::kTime;
                if (t < start) continue;
                const int32_t x = xOf(t);
                if (tick == 0) {
                    buffers.AddVerticalLine(x, axis.axisY, axis.axisY - metrics.majorTick);
                    std::snprintf(text, sizeof text, "%d:%1d0", hour, division * 6 / k);
                    Label(backend, x, labelY, text);
                } else {
                    buffers.AddVerticalLine(x, axis.axisY, axis.axisY - metrics.minorTick);
                }
            }
        }
    }
    return TimeAxisTitle::kTime;
}

void DistanceAxisTicks(const GraphBackend& backend, double dmax, double pixelsPerKm, int32_t axisX, int32_t axisY,
                       GraphBuffers& buffers, const GraphMetrics& metrics) {
    GraphTextSize zero;
    backend.textExtent(backend.context, "0", 1, zero);
    int e = DecimalExponent(dmax);
    int n;
    if (e >= 1) {
        n = e + 1;
        if (e >= 2) --e;
    } else if (e == 0) {
        n = 3;
    } else {
        n = 3 - e;
    }
    const double needed = n * zero.cx * 1.5;
    double base = std::pow(10.0, e - 1);
    int multiplier = 1;
    while (base * pixelsPerKm * multiplier < needed) {
        if (multiplier == 1) {
            multiplier = 2;
        } else if (multiplier == 2) {
            multiplier = 5;
        } else {
            base *= 10;
            multiplier = 1;
        }
    }
    double major, minor;
    if (multiplier == 1) {
        major = base;
        minor = base * 0.1;
    } else {
        minor = base;
        major = multiplier * base;
    }
    if (minor * pixelsPerKm < 3) minor = major;

    char text[32];
    for (int k = 0;; ++k) {
        const double position = k * major;
        if (position > dmax || !buffers.HasRoom(2)) break;
        const int32_t x = PixelOf(position * pixelsPerKm) + axisX;
        buffers.AddVerticalLine(x, axisY, axisY - metrics.majorTick);
        std::snprintf(text, sizeof text, "%g", position);
        Label(backend, x, axisY + metrics.smallGap, text);
        for (int j = 1; j * minor < major; ++j) {
            const double at = position + j * minor;
            if (at > dmax) break;
            if (!buffers.AddVerticalLine(PixelOf(at * pixelsPerKm) + axisX, axisY, axisY - metrics.minorTick)) break;
        }
    }
}

}  // namespace trakvio
