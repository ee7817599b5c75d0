// The detector's cost: one analysis (2000-point transform and the six bins)
// every two seconds, and the hand-over of one packet; and each method's
// analysis of one window of 8 leads and 2000 samples.

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>

#include "ssvep_detector.h"

namespace {

std::vector<std::int32_t> SinePacket(long firstSample) {
    std::vector<std::int32_t> packet(SsvepDetector::valuesPerPacket, 0);
    for (int r = 0; r < SsvepDetector::samplesPerPacket; ++r)
        packet[r * SsvepDetector::slotsPerRecord] = static_cast<std::int32_t>(
            std::lround(100000 * std::sin(2 * std::numbers::pi * 12.0 * (firstSample + r) / 1000.0)));
    return packet;
}

void FillWindow(SsvepDetector& detector) {
    for (int p = 0; p < SsvepDetector::packetsPerWindow - 1; ++p)
        detector.AddPacket(SinePacket(static_cast<long>(p) * SsvepDetector::samplesPerPacket));
}

void BM_Analysis(benchmark::State& state) {
    SsvepDetector detector;
    FillWindow(detector);
    for (auto _ : state) {
        SsvepResult result = detector.Analyse();
        benchmark::DoNotOptimize(result);
    }
}
BENCHMARK(BM_Analysis)->Unit(benchmark::kMicrosecond);

// Everything the detector does for two seconds of signal: 50 packets, one analysis.
void BM_WholeWindow(benchmark::State& state) {
    SsvepDetector detector;
    std::vector<std::vector<std::int32_t>> packets;
    for (int p = 0; p < SsvepDetector::packetsPerWindow; ++p)
        packets.push_back(SinePacket(static_cast<long>(p) * SsvepDetector::samplesPerPacket));
    for (auto _ : state) {
        for (const auto& packet : packets) benchmark::DoNotOptimize(detector.AddPacket(packet));
    }
}
BENCHMARK(BM_WholeWindow)->Unit(benchmark::kMicrosecond);

// One window through a method: 8 leads of 2000 samples at 1000 samples per
// second, a 12 Hz response in noise, against the six default frequencies.
void BM_MethodWindow(benchmark::State& state) {
    const auto method = static_cast<SsvepMethod>(state.range(0));
    constexpr int leads = 8;
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0.0, 1.0);
    Eigen::MatrixXd window(SsvepDetector::windowLength, leads);
    for (int k = 0; k < window.rows(); ++k)
        for (int j = 0; j < leads; ++j)
            window(k, j) = std::sin(2 * std::numbers::pi * 12.0 * k / SsvepDetector::defaultSampleRate + j) + noise(random);
    SsvepAnalyser analyser(method, SsvepDetector::defaultSampleRate, SsvepDetector::windowLength,
                           SsvepDetector::defaultFrequencies);
    for (auto _ : state) benchmark::DoNotOptimize(analyser.Scores(window));
    state.SetLabel(MethodName(method));
}
BENCHMARK(BM_MethodWindow)
    ->Arg(static_cast<int>(SsvepMethod::Fft))
    ->Arg(static_cast<int>(SsvepMethod::Cca))
    ->Arg(static_cast<int>(SsvepMethod::Fbcca))
    ->Unit(benchmark::kMicrosecond);

}  // namespace
