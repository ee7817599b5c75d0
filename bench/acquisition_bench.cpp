// The acquisition thread's own work on one packet: build the records, cancel
// the hum, scale. Real time is one packet per packetSize / sampleRate seconds
// (40 ms at the defaults).
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "acquisition/engine/signal_conditioning.h"
#include "common/sample_record.h"

namespace {

void PerPacketWork(benchmark::State& state) {
    const int P = 40;
    const int C = static_cast<int>(state.range(0));
    const int R = 1000;
    std::mt19937 random(1);
    std::uniform_int_distribution<std::int32_t> counts(-8388608, 8388607);
    std::vector<std::int32_t> packet(static_cast<std::size_t>(P * C));
    for (auto& v : packet) v = counts(random);
    std::vector<double> conditioned(packet.size());
    std::vector<SampleRecord> records(static_cast<std::size_t>(P));
    PowerLineCanceller canceller;
    canceller.BuildCanceller(P, C, R);

    for (auto _ : state) {
        BuildRecords(packet, P, C, records);
        canceller.CancelPowerLine(packet, conditioned);
        ScaleSignalChannels(conditioned, P, C, 0.00073536);
        benchmark::DoNotOptimize(records.data());
        benchmark::DoNotOptimize(conditioned.data());
        benchmark::ClobberMemory();
    }
    const double packetSeconds = static_cast<double>(P) / R;
    state.counters["x_real_time"] = benchmark::Counter(
        packetSeconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(PerPacketWork)->Arg(17)->Arg(64);

}  // namespace
