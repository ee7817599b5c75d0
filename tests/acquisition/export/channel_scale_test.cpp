// Header ranges that readers turn back into raw × factor, and data records
// whose duration a header states exactly.

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

#include "acquisition/export/channel_scale.h"
#include "acquisition/export/edf_writer.h"

namespace {

struct ScaleCase {
    const char* name;
    std::int64_t low, high;
    double factor;
    DigitalRange range;
    bool exact;        // the header states the anchors' physical values exactly
    bool unscaled;     // digital values are the counts, shifted
};

class ChannelScaleCases : public ::testing::TestWithParam<ScaleCase> {};

TEST_P(ChannelScaleCases, ReadersGetRawTimesFactorBackWithinTheirResolution) {
    const ScaleCase& c = GetParam();
    const auto scale = ChooseScale(c.low, c.high, c.factor, c.range);
    ASSERT_TRUE(scale);
    EXPECT_EQ(scale->exact, c.exact);
    EXPECT_EQ(scale->rawPerStep == 1.0, c.unscaled);
    EXPECT_GE(scale->digitalMin, c.range.min);
    EXPECT_LE(scale->digitalMax, c.range.max);
    if (c.exact) {
        EXPECT_TRUE(ExactHeaderNumber(scale->physicalMin));
        EXPECT_TRUE(ExactHeaderNumber(scale->physicalMax));
    }
    // As a reader computes it from the four header fields.
    const double gain = (scale->physicalMax - scale->physicalMin) / (scale->digitalMax - scale->digitalMin);
    const double step = scale->rawPerStep * c.factor;
    const double allowed = !c.exact ? 1e-5 * (c.high - c.low) * c.factor : c.unscaled ? 1e-9 : step;
    for (std::int64_t raw : {c.low, c.high, (c.low + c.high) / 2, std::min(c.low + 1, c.high)}) {
        const std::int32_t digital = scale->Digital(static_cast<std::int32_t>(raw));
        EXPECT_GT(digital, scale->digitalMin) << "an overflow to readers, at " << raw;
        EXPECT_LT(digital, scale->digitalMax) << "an overflow to readers, at " << raw;
        const double physical = scale->physicalMin + (digital - scale->digitalMin) * gain;
        EXPECT_NEAR(physical, raw * c.factor, allowed + 1e-12 * std::abs(raw * c.factor)) << raw;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, ChannelScaleCases,
    ::testing::Values(ScaleCase{"bdf_counts", -90000, 70000, 1.0, kBdfDigitalRange, true, true},
                      ScaleCase{"bdf_microvolts", -90000, 70000, 0.0224, kBdfDigitalRange, true, true},
                      ScaleCase{"bdf_near_full_scale", -8388000, 8388000, 0.1, kBdfDigitalRange, true, true},
                      ScaleCase{"edf_offset_that_fits", 100000, 120000, 1.0, kEdfDigitalRange, true, true},
                      ScaleCase{"edf_scaled", -90000, 70000, 0.0224, kEdfDigitalRange, true, false},
                      ScaleCase{"edf_flat", 5, 5, 0.5, kEdfDigitalRange, true, true},
                      ScaleCase{"long_factor", -1000, 1000, 0.0223517418, kBdfDigitalRange, false, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ExactHeaderNumber, EightCharactersOrNothing) {
    const std::vector<std::pair<double, std::optional<std::string>>> cases{
        {22351.73, "22351.73"}, {-838860.0, "-838860"}, {0.3, "0.3"}, {0.0, "0"},
        {-2235.174, std::nullopt}, {123456789.0, std::nullopt}, {1.0 / 3.0, std::nullopt}};
    for (const auto& [value, text] : cases) EXPECT_EQ(ExactHeaderNumber(value), text) << value;
}

TEST(DataRecordSamples, LongestExactRecordThatCarriesTheAnnotations) {
    struct Case {
        std::int64_t samples;
        int rate;
        std::int64_t annotations;
        int expected;
    };
    const std::vector<Case> cases{
        {8320, 1000, 2, 832},     // whole packets of 40
        {40000, 1000, 0, 1000},   // whole seconds
        {8191, 1000, 0, 1},       // a prime count: one sample per record
        {40, 999, 0, 0},          // no run of samples lasts a whole number of microseconds
        {1000, 1000, 200, 250},   // at most 64 annotations per record
        {7, 20000, 0, 7},         // 350 µs records
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DataRecordSamples(c.samples, c.rate, c.annotations), c.expected) << c.samples << " at " << c.rate;
    }
}

}  // namespace
