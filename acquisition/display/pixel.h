#pragma once
// Display coordinates come from doubles that may be huge (a gain doubled many
// times), infinite (no row to share) or not a number (an electrode map built
// from a single electrode). Converting those to int is undefined behaviour, so
// every coordinate goes through here: truncation toward zero, NaN as 0, and a
// range that keeps far-off points far off without overflowing the rasteriser.

#include <cmath>

inline int TruncPixel(double v) {
    constexpr double kLimit = 1.0e6;
    if (std::isnan(v)) return 0;
    if (v > kLimit) return static_cast<int>(kLimit);
    if (v < -kLimit) return -static_cast<int>(kLimit);
    return static_cast<int>(v);
}
