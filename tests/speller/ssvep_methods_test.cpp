// The maths of the detection methods against cases whose answer is known in
// closed form: Butterworth responses, the bilinear band-pass of order 1,
// canonical correlation of a sinusoid in noise, silent and repeated leads.

#include "ssvep_methods.h"

#include <cmath>
#include <numbers>
#include <random>

#include <gtest/gtest.h>

#include "band_pass_filter.h"
#include "canonical_correlation.h"

namespace {

constexpr double pi = std::numbers::pi;

// Leads of sinusoids: lead j holds amplitude[j] sin(2 pi f t + j), plus white
// noise of the given deviation.
Eigen::MatrixXd SineLeads(int length, double rate, double hertz, std::vector<double> amplitudes, double noise = 0.0,
                          unsigned seed = 1) {
    std::mt19937 random(seed);
    std::normal_distribution<double> gauss(0.0, noise > 0.0 ? noise : 1.0);
    Eigen::MatrixXd leads(length, static_cast<Eigen::Index>(amplitudes.size()));
    for (int k = 0; k < length; ++k)
        for (std::size_t j = 0; j < amplitudes.size(); ++j)
            leads(k, static_cast<Eigen::Index>(j)) = amplitudes[j] * std::sin(2 * pi * hertz * k / rate + j) +
                                                     (noise > 0.0 ? gauss(random) : 0.0);
    return leads;
}

struct ButterworthCase {
    int order;
    double low, high, rate;
};

class ButterworthResponse : public testing::TestWithParam<ButterworthCase> {};

// |H|^2 = 1 / (1 + ((W^2 - W0^2) / (B W))^(2N)) on the pre-warped axis W = tan(pi f / rate).
TEST_P(ButterworthResponse, FollowsTheAnalogPrototypeOnTheWarpedAxis) {
    const auto [order, low, high, rate] = GetParam();
    const auto sections = ButterworthBandPass(order, low, high, rate);
    ASSERT_EQ(sections.size(), static_cast<std::size_t>(order));
    const double w1 = std::tan(pi * low / rate), w2 = std::tan(pi * high / rate);
    for (double f = 0.2 * low; f < 0.49 * rate; f *= 1.07) {
        const double w = std::tan(pi * f / rate);
        const double expected = 1.0 / (1.0 + std::pow((w * w - w1 * w2) / ((w2 - w1) * w), 2 * order));
        EXPECT_NEAR(std::norm(FrequencyResponse(sections, f, rate)), expected, 1e-9) << f << " Hz";
    }
    EXPECT_NEAR(std::abs(FrequencyResponse(sections, low, rate)), std::sqrt(0.5), 1e-9);
    EXPECT_NEAR(std::abs(FrequencyResponse(sections, high, rate)), std::sqrt(0.5), 1e-9);
}

INSTANTIATE_TEST_SUITE_P(Designs, ButterworthResponse,
                         testing::Values(ButterworthCase{1, 10, 20, 250}, ButterworthCase{2, 8, 30, 256},
                                         ButterworthCase{3, 6, 88, 250}, ButterworthCase{4, 11, 90, 256},
                                         ButterworthCase{4, 24, 90, 1000}));

// Order 1 at 4 samples per second, edges 0.5 and 1 Hz: W1 = tan(pi/8), W2 = 1,
// so 1 + B + W0^2 = 2 and the bilinear form of B s / (s^2 + B s + W0^2) has
// b = (B/2, 0, -B/2), a = (1, W0^2 - 1, (1 - B + W0^2) / 2).
TEST(ButterworthBandPass, OrderOneHasTheBilinearCoefficients) {
    const auto sections = ButterworthBandPass(1, 0.5, 1.0, 4.0);
    ASSERT_EQ(sections.size(), 1u);
    EXPECT_NEAR(sections[0].b0, 0.29289321881, 1e-10);
    EXPECT_NEAR(sections[0].b1, 0.0, 1e-12);
    EXPECT_NEAR(sections[0].b2, -0.29289321881, 1e-10);
    EXPECT_NEAR(sections[0].a1, -0.58578643763, 1e-10);
    EXPECT_NEAR(sections[0].a2, 0.41421356237, 1e-10);
}

TEST(FilterZeroPhase, PassesTheBandWithoutShiftAndStopsWhatLiesBelow) {
    const double rate = 256;
    const auto sections = ButterworthBandPass(4, 11, 90, rate);
    // Where the gain is 1: the geometric centre on the warped axis.
    const double centre = rate / pi * std::atan(std::sqrt(std::tan(pi * 11 / rate) * std::tan(pi * 90 / rate)));
    Eigen::MatrixXd inBand = SineLeads(1024, rate, centre, {1.0, 2.0});
    const Eigen::MatrixXd original = inBand;
    FilterZeroPhase(sections, inBand);
    // Away from the ends, unchanged: gain 1 at the centre and no phase shift.
    EXPECT_LT((inBand - original).middleRows(256, 512).cwiseAbs().maxCoeff(), 1e-3);

    Eigen::MatrixXd below = SineLeads(1024, rate, 2.0, {1.0, 2.0});
    FilterZeroPhase(sections, below);
    EXPECT_LT(below.middleRows(256, 512).cwiseAbs().maxCoeff(), 1e-3);
}

struct SnrCase {
    double amplitude;    // of the sinusoid, in noise of deviation 1
    double correlation;  // (A / sqrt 2) / sqrt(A^2 / 2 + 1)
};

class SingleLeadCorrelation : public testing::TestWithParam<SnrCase> {};

TEST_P(SingleLeadCorrelation, IsTheSignalsShareOfTheLead) {
    const auto [amplitude, expected] = GetParam();
    const std::vector<double> frequencies = {12.0};
    const ReferenceCorrelator correlator(frequencies, 1000, 20000, 1);
    double correlation = -1;
    correlator.Correlate(SineLeads(20000, 1000, 12.0, {amplitude}, 1.0), std::span(&correlation, 1));
    EXPECT_NEAR(correlation, expected, 0.02);
}

INSTANTIATE_TEST_SUITE_P(SignalToNoise, SingleLeadCorrelation,
                         testing::Values(SnrCase{0.0, 0.0}, SnrCase{std::sqrt(2.0), std::sqrt(0.5)},
                                         SnrCase{std::sqrt(6.0), std::sqrt(0.75)}, SnrCase{100.0, 1.0}));

TEST(ReferenceCorrelator, SilentAndRepeatedLeadsChangeNothing) {
    const std::vector<double> frequencies = {10.0, 12.0, 15.0};
    const ReferenceCorrelator correlator(frequencies, 1000, 2000, 3);
    Eigen::MatrixXd leads = SineLeads(2000, 1000, 12.0, {1.0, 0.5, 3.0, 0.0}, 0.0);
    leads.conservativeResize(Eigen::NoChange, 5);
    leads.col(4) = 2.0 * leads.col(1) - leads.col(0);  // a mix of two others
    std::vector<double> correlations(3, -1.0);
    correlator.Correlate(leads, correlations);
    EXPECT_NEAR(correlations[1], 1.0, 1e-9);
    EXPECT_LT(correlations[0], 0.1);
    EXPECT_LT(correlations[2], 0.1);

    correlator.Correlate(Eigen::MatrixXd::Constant(2000, 4, 5.0), correlations);  // silent: only a mean
    EXPECT_EQ(correlations, (std::vector<double>{0.0, 0.0, 0.0}));
}

TEST(ReferenceCorrelator, HarmonicsReachTheResponseAtTwiceTheFrequency) {
    const std::vector<double> frequencies = {10.0, 13.0};
    const Eigen::MatrixXd leads = SineLeads(2000, 1000, 20.0, {1.0, 1.0});  // only the second harmonic of 10 Hz
    std::vector<double> correlations(2);
    ReferenceCorrelator(frequencies, 1000, 2000, 1).Correlate(leads, correlations);
    EXPECT_LT(correlations[0], 0.1);
    ReferenceCorrelator(frequencies, 1000, 2000, 2).Correlate(leads, correlations);
    EXPECT_NEAR(correlations[0], 1.0, 1e-9);
    EXPECT_LT(correlations[1], 0.1);
}

TEST(SineCosineReferences, LeaveOutHarmonicsFromHalfTheRateUp) {
    EXPECT_EQ(SineCosineReferences(40, 256, 64, 3).cols(), 6);
    EXPECT_EQ(SineCosineReferences(64, 256, 64, 3).cols(), 2);  // 128 Hz is half the rate
    EXPECT_EQ(SineCosineReferences(100, 256, 64, 3).cols(), 2);
    EXPECT_EQ(SineCosineReferences(130, 256, 64, 3).cols(), 0);
}

TEST(FilterBankBands, StartBelowEachHarmonicOfTheLowestFrequency) {
    // Chen et al. 2015, stimuli from 8 Hz at 250 samples per second.
    const auto chen = FilterBankBands(8, 250, 5);
    ASSERT_EQ(chen.size(), 5u);
    const double lows[] = {6, 14, 22, 30, 38};
    const double weights[] = {1.25, 0.67045, 0.50328, 0.42678, 0.38375};
    for (int k = 0; k < 5; ++k) {
        EXPECT_DOUBLE_EQ(chen[k].lowHz, lows[k]);
        EXPECT_DOUBLE_EQ(chen[k].highHz, 90.0);
        EXPECT_NEAR(chen[k].weight, weights[k], 1e-5);
    }
    // At 100 samples per second the bands end at 45 Hz; 58 Hz would start above.
    const auto slow = FilterBankBands(30, 100, 3);
    ASSERT_EQ(slow.size(), 1u);
    EXPECT_DOUBLE_EQ(slow[0].lowHz, 28.0);
    EXPECT_DOUBLE_EQ(slow[0].highHz, 45.0);
}

TEST(ChooseStimulus, TheFirstOfTheHighestScores) {
    struct Case {
        std::vector<double> scores;
        int stimulus;
        double value;
    };
    const std::vector<Case> cases = {
        {{0.1, 0.3, 0.2}, 2, 0.3}, {{0.5, 0.5}, 1, 0.5}, {{0.0, 0.0, 0.0}, 1, 0.0},
        {{0.2, 0.7, 0.7, 0.1}, 2, 0.7}, {{}, 1, 0.0}};
    for (const auto& c : cases) {
        const auto choice = ChooseStimulus(c.scores);
        EXPECT_EQ(choice.stimulus, c.stimulus);
        EXPECT_EQ(choice.value, c.value);
    }
}

class EveryMethod : public testing::TestWithParam<SsvepMethod> {};

TEST_P(EveryMethod, FindsEachFrequencyOnSeveralLeadsInNoise) {
    const std::vector<double> frequencies = {13, 21, 17};
    SsvepAnalyser analyser(GetParam(), 256, 512, frequencies);
    for (std::size_t i = 0; i < frequencies.size(); ++i) {
        const auto leads = SineLeads(512, 256, frequencies[i], {1.0, 0.8, 0.6, 1.2}, 1.0, static_cast<unsigned>(i + 3));
        EXPECT_EQ(analyser.Choose(leads).stimulus, static_cast<int>(i) + 1) << frequencies[i] << " Hz";
    }
}

TEST_P(EveryMethod, SilenceAndEqualFrequenciesGiveTheFirstStimulus) {
    const std::vector<double> frequencies = {12, 12, 15};
    SsvepAnalyser analyser(GetParam(), 1000, 2000, frequencies);
    const auto silent = analyser.Choose(Eigen::MatrixXd::Zero(2000, 3));
    EXPECT_EQ(silent.stimulus, 1);
    EXPECT_EQ(silent.value, 0.0);
    const auto tie = analyser.Choose(SineLeads(2000, 1000, 12, {1.0, 2.0, 0.5}));
    EXPECT_EQ(tie.stimulus, 1);
    EXPECT_GT(tie.value, 0.0);
    EXPECT_EQ(analyser.Scores(Eigen::MatrixXd::Ones(1999, 3)), (std::vector<double>{0, 0, 0}));  // wrong length
}

TEST_P(EveryMethod, NoiseScoresFarBelowAResponse) {
    const std::vector<double> frequencies = {10, 12, 15};
    SsvepAnalyser analyser(GetParam(), 1000, 2000, frequencies);
    const double noise = analyser.Choose(SineLeads(2000, 1000, 12, {0, 0, 0, 0}, 1.0)).value;
    const double response = analyser.Choose(SineLeads(2000, 1000, 12, {1, 1, 1, 1}, 1.0)).value;
    EXPECT_LT(noise, response / 4) << MethodName(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Methods, EveryMethod, testing::ValuesIn(allSsvepMethods),
                         [](const auto& info) { return std::string(MethodName(info.param)); });

TEST(MethodNames, RoundTrip) {
    for (SsvepMethod method : allSsvepMethods) EXPECT_EQ(MethodFromName(MethodName(method)), method);
    EXPECT_FALSE(MethodFromName("FFT"));
    EXPECT_FALSE(MethodFromName(""));
}

}  // namespace
