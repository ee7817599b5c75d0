#include "acquisition/export/channel_scale.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace {

constexpr std::size_t kFieldWidth = 8;

std::int64_t FloorTo(std::int64_t value, std::int64_t step) {
    const std::int64_t q = value / step;
    return (q * step > value ? q - 1 : q) * step;
}

std::int64_t CeilTo(std::int64_t value, std::int64_t step) {
    const std::int64_t q = value / step;
    return (q * step < value ? q + 1 : q) * step;
}

std::optional<double> ParseNumber(const std::string& text) {
    double value = 0.0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// value in at most 8 characters, rounded to the last digit that fits.
std::optional<double> RoundedHeaderNumber(double value) {
    for (int decimals = 7; decimals >= 0; --decimals) {
        char text[64];
        const auto [end, ec] = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
        if (ec == std::errc() && static_cast<std::size_t>(end - text) <= kFieldWidth) return ParseNumber(std::string(text, end));
    }
    return std::nullopt;
}

ChannelScale MakeScale(std::int64_t low, std::int64_t high, DigitalRange range) {
    ChannelScale scale;
    scale.rawLow = low;
    scale.rawHigh = high;
    if (high - low <= std::int64_t{range.max} - range.min) {
        // The raw counts themselves, moved into the range only when they lie outside it.
        scale.shift = low >= range.min && high <= range.max ? 0 : low - range.min;
        scale.digitalMin = static_cast<std::int32_t>(low - scale.shift);
        scale.digitalMax = static_cast<std::int32_t>(high - scale.shift);
    } else {
        scale.rawPerStep = static_cast<double>(high - low) / (static_cast<double>(range.max) - range.min);
        scale.digitalMin = range.min;
        scale.digitalMax = range.max;
    }
    return scale;
}

}  // namespace

std::int32_t ChannelScale::Digital(std::int32_t raw) const {
    if (rawPerStep == 1.0) return static_cast<std::int32_t>(raw - shift);
    const double steps = std::round(static_cast<double>(raw - rawLow) / rawPerStep);
    // Inside the limits, which readers take for an overflow.
    const double digital = std::clamp(digitalMin + steps, digitalMin + 1.0, digitalMax - 1.0);
    return static_cast<std::int32_t>(digital);
}

std::optional<std::string> ExactHeaderNumber(double value) {
    for (int decimals = 0; decimals <= 7; ++decimals) {
        char text[64];
        const auto [end, ec] = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
        if (ec != std::errc() || static_cast<std::size_t>(end - text) > kFieldWidth) return std::nullopt;
        std::string number(text, end);
        if (number == "-0") number = "0";
        const auto parsed = ParseNumber(number);
        if (parsed && std::abs(*parsed - value) <= 1e-12 * std::abs(value)) return number;
    }
    return std::nullopt;
}

std::optional<ChannelScale> ChooseScale(std::int64_t low, std::int64_t high, double factor, DigitalRange range) {
    // With more counts than digital steps, keep one step of room on each side.
    const std::int64_t digitalSpan = std::int64_t{range.max} - range.min;
    const double dataStep = static_cast<double>(high - low + 2) / static_cast<double>(digitalSpan - 2);
    const auto margin = std::max<std::int64_t>(1, static_cast<std::int64_t>(std::ceil(dataStep)));
    // Rounder anchors must not cost resolution: counts that fit the digital
    // range stay unscaled, and scaled ones lose at most half their steps.
    const std::int64_t widest = dataStep <= 1.0 ? digitalSpan : 2 * (high - low + 2 * margin);
    for (std::int64_t step = 1; step <= 1'000'000'000; step *= 10) {
        const std::int64_t a = FloorTo(low - margin, step);
        const std::int64_t b = CeilTo(high + margin, step);
        if (b - a > widest) break;
        const auto min = ExactHeaderNumber(static_cast<double>(a) * factor);
        const auto max = ExactHeaderNumber(static_cast<double>(b) * factor);
        if (!min || !max) continue;
        ChannelScale scale = MakeScale(a, b, range);
        scale.physicalMin = *ParseNumber(*min);
        scale.physicalMax = *ParseNumber(*max);
        scale.exact = true;
        return scale;
    }
    // A factor with more digits than the fields hold: the nearest they state.
    ChannelScale scale = MakeScale(low - margin, high + margin, range);
    const auto min = RoundedHeaderNumber(static_cast<double>(scale.rawLow) * factor);
    const auto max = RoundedHeaderNumber(static_cast<double>(scale.rawHigh) * factor);
    if (!min || !max || *min >= *max) return std::nullopt;
    scale.physicalMin = *min;
    scale.physicalMax = *max;
    return scale;
}
