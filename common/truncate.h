#pragma once
// Doubles from files and arithmetic become ints by truncation toward zero.
// Out of int's range the plain conversion is undefined behaviour, so values
// saturate there and a NaN reads as 0.

#include <cmath>
#include <cstdint>
#include <limits>

inline std::int32_t TruncateToInt(double v) {
    if (std::isnan(v)) return 0;
    if (v >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
    if (v <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(v);
}
