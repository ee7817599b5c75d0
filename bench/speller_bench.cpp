// The detector's cost: one analysis (2000-point transform and the six bins)
// every two seconds, and the hand-over of one packet.

#include <cmath>
#include <numbers>
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

}  // namespace
