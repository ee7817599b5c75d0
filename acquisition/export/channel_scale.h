#pragma once
// How one channel's raw counts become a file's digital values, and the
// header's physical range that turns those back into physical values.
//
// EDF and BDF state each channel's range in text fields of 8 characters, and
// a reader derives the gain from them. So the range is anchored on raw values
// whose physical values 8 characters state exactly: a reader then gets
// physical = raw × factor with no rounding of the gain. The anchors lie
// strictly outside the data, because readers take a sample at the digital
// minimum or maximum for an overflow.

#include <cstdint>
#include <optional>
#include <string>

struct DigitalRange {
    std::int32_t min;
    std::int32_t max;
};
inline constexpr DigitalRange kBdfDigitalRange{-8388608, 8388607};
inline constexpr DigitalRange kEdfDigitalRange{-32768, 32767};

struct ChannelScale {
    std::int64_t rawLow = 0;   // the raw value at digitalMin
    std::int64_t rawHigh = 1;  // the raw value at digitalMax
    std::int32_t digitalMin = 0;
    std::int32_t digitalMax = 1;
    double physicalMin = 0.0;  // rawLow × factor, as the header states it
    double physicalMax = 1.0;  // rawHigh × factor, as the header states it
    // Raw counts per digital step. 1: digital = raw − shift, nothing rounded.
    double rawPerStep = 1.0;
    std::int64_t shift = 0;
    bool exact = false;  // the physical range states rawLow and rawHigh × factor exactly

    std::int32_t Digital(std::int32_t raw) const;
};

// The scale for raw counts from low to high (low <= high) in a format of this
// digital range. Nothing when the physical range does not fit the header's
// 8 characters at all (a factor far too large for the counts).
std::optional<ChannelScale> ChooseScale(std::int64_t low, std::int64_t high, double factor, DigitalRange range);

// The shortest text of at most 8 characters that states value exactly, if any.
std::optional<std::string> ExactHeaderNumber(double value);
