// The detector's cost: one analysis (2000-point transform and the six bins)
// every two seconds, and the hand-over of one packet; and each method's
// analysis of one window of 8 leads and 2000 samples.

#include <cmath>
#include <numbers>
#include <random>
#include <string>
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

namespace {

// One step of a growing window as Pallock runs it on a development session
// played back: 8 leads at 256 samples per second, fbcca (or another method)
// against six frequencies, the window 1 s, 2 s or 3 s long (the longest a
// dynamic 1:0.25:3 range reaches). Each step is one such analysis plus the
// window's copy from the trial's buffer.
void BM_TrialStep(benchmark::State& state) {
    const auto method = static_cast<SsvepMethod>(state.range(0));
    const int length = static_cast<int>(state.range(1));
    constexpr int leads = 8;
    constexpr double rate = 256.0;
    std::mt19937 random(11);
    std::normal_distribution<double> noise(0.0, 1.0);
    Eigen::MatrixXd buffer(768, leads);
    for (int k = 0; k < buffer.rows(); ++k)
        for (int j = 0; j < leads; ++j) buffer(k, j) = std::sin(2 * std::numbers::pi * 13.0 * k / rate + j) + noise(random);
    const std::vector<double> frequencies = {13.0, 21.0, 17.0, 10.0, 11.0, 12.0};
    SsvepAnalyser analyser(method, rate, length, frequencies);
    Eigen::MatrixXd window;
    for (auto _ : state) {
        window = buffer.topRows(length);
        benchmark::DoNotOptimize(analyser.Scores(window));
    }
    state.SetLabel(std::string(MethodName(method)) + ", " + std::to_string(length) + " records");
}
BENCHMARK(BM_TrialStep)
    ->Args({static_cast<int>(SsvepMethod::Fbcca), 256})
    ->Args({static_cast<int>(SsvepMethod::Fbcca), 512})
    ->Args({static_cast<int>(SsvepMethod::Fbcca), 768})
    ->Args({static_cast<int>(SsvepMethod::Cca), 768})
    ->Args({static_cast<int>(SsvepMethod::Fft), 768})
    ->Unit(benchmark::kMicrosecond);

// The detector's whole work on the stream under the dynamic rules with
// adaptation, 8 leads at 256 samples per second, a cue every 8 s: per packet
// of 40 records, averaged over a whole trial cycle (most packets hold no step,
// one holds at most one at these lengths).
void BM_DynamicRulesPacket(benchmark::State& state) {
    SsvepDetector detector;
    const std::vector<int> leads = {1, 2, 3, 4, 5, 6, 7, 8};
    detector.SetMethod(SsvepMethod::Fbcca);
    detector.SetSampleRate(256);
    detector.SetLeads(leads);
    detector.Retune({13.0, 21.0, 17.0, 10.0, 11.0, 12.0});
    DecisionRules rules;
    rules.cue = 0x800B;
    rules.dynamic = DynamicRange{1.0, 0.25, 3.0};
    rules.margin = 1.0;
    rules.adaptResults = 20;
    detector.SetDecisionRules(rules);
    std::mt19937 random(13);
    std::normal_distribution<double> noise(0.0, 20000.0);
    constexpr int cycleRecords = 8 * 256;
    constexpr int packets = cycleRecords / SsvepDetector::samplesPerPacket + 1;
    std::vector<std::vector<std::int32_t>> stream;
    for (int p = 0; p < packets; ++p) {
        std::vector<std::int32_t> packet(SsvepDetector::valuesPerPacket, 0);
        for (int r = 0; r < SsvepDetector::samplesPerPacket; ++r) {
            const int record = p * SsvepDetector::samplesPerPacket + r;
            for (int j = 0; j < 8; ++j)
                packet[r * SsvepDetector::slotsPerRecord + j] = static_cast<std::int32_t>(
                    std::lround(50000 * std::sin(2 * std::numbers::pi * 13.0 * record / 256.0 + j) + noise(random)));
            if (record % cycleRecords == 0) packet[r * SsvepDetector::slotsPerRecord + 20] = 0x800B;
        }
        stream.push_back(std::move(packet));
    }
    std::size_t next = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(detector.AddPacketResults(stream[next]));
        next = (next + 1) % stream.size();
    }
}
BENCHMARK(BM_DynamicRulesPacket)->Unit(benchmark::kMicrosecond);

}  // namespace
