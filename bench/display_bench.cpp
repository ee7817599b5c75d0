// Drawing cost of the sweep display at 1920 × 1080 with 16 shown channels (17
// with the event channel), 1000 samples per second in packets of 40, 4 seconds
// per sweep: the incremental update runs for every packet (25 per second),
// the full redraw after a change of gain, time base, leads or size.

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "acquisition/display/impedance_renderer.h"
#include "acquisition/display/wave_renderer.h"

namespace {

constexpr int kPacket = 40;
constexpr int kChannels = 17;
constexpr int kRate = 1000;
constexpr int kSeconds = 4;
const QSize kScreen(1920, 1080);

// EEG-like packets: alpha, hum and an event every second. Made beforehand
// (two sweeps' worth, played in a loop), so that only the drawing is timed.
class PacketSource {
public:
    static constexpr int kPackets = 2 * kRate * kSeconds / kPacket;
    PacketSource() : packets_(kPackets, std::vector<double>(kPacket * kChannels)) {
        long t = 0;
        for (std::vector<double>& packet : packets_) {
            for (int j = 0; j < kPacket; ++j, ++t) {
                for (int c = 0; c < kChannels - 1; ++c)
                    packet[static_cast<std::size_t>(j * kChannels + c)] =
                        15 * std::sin(2 * M_PI * 10 * t / kRate + c) + 5 * std::sin(2 * M_PI * 50 * t / kRate);
                packet[static_cast<std::size_t>(j * kChannels + kChannels - 1)] = t % 1000 == 0 ? 3 : 0;
            }
        }
    }
    const std::vector<double>& Next() { return packets_[next_++ % packets_.size()]; }

private:
    std::vector<std::vector<double>> packets_;
    std::size_t next_ = 0;
};

void SetUp(WaveRenderer& renderer) {
    renderer.Resize(kScreen);
    std::vector<ChannelRecord> records(kChannels);
    for (int i = 0; i < kChannels; ++i) std::snprintf(records[static_cast<std::size_t>(i)].label, 20, "Ch%d", i + 1);
    renderer.SetUp(kPacket, kChannels, kRate, kSeconds, records);
    renderer.SetChannelFlags(std::vector<int>(kChannels, 1));
}

void BM_WaveIncrementalUpdate(benchmark::State& state) {
    WaveRenderer renderer;
    SetUp(renderer);
    PacketSource source;
    renderer.AddPacket(source.Next());  // the pending full redraw
    for (auto _ : state) {
        renderer.AddPacket(source.Next());
        benchmark::DoNotOptimize(renderer.Image().constBits());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_WaveIncrementalUpdate)->Unit(benchmark::kMicrosecond);

// The same with the caches emptied before every packet, as the other programs
// of a busy desktop leave them in the 40 ms between two packets.
void BM_WaveIncrementalUpdateCold(benchmark::State& state) {
    WaveRenderer renderer;
    SetUp(renderer);
    PacketSource source;
    renderer.AddPacket(source.Next());  // the pending full redraw
    std::vector<char> elsewhere(std::size_t{64} << 20);
    for (auto _ : state) {
        state.PauseTiming();
        for (std::size_t i = 0; i < elsewhere.size(); i += 64) elsewhere[i] = static_cast<char>(elsewhere[i] + 1);
        state.ResumeTiming();
        renderer.AddPacket(source.Next());
        benchmark::DoNotOptimize(renderer.Image().constBits());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_WaveIncrementalUpdateCold)->Unit(benchmark::kMicrosecond);

// The worst case: a change when the sweep is one packet short of full, so the
// redraw walks 3960 samples of 16 channels.
void BM_WaveFullRedrawOfAFullSweep(benchmark::State& state) {
    WaveRenderer renderer;
    SetUp(renderer);
    PacketSource source;
    const int lastButOne = renderer.PacketsPerScreen() - 2;
    for (auto _ : state) {
        state.PauseTiming();
        while (renderer.WriteSlot() != lastButOne) renderer.AddPacket(source.Next());
        renderer.ResetGain();
        state.ResumeTiming();
        renderer.AddPacket(source.Next());
        benchmark::DoNotOptimize(renderer.Image().constBits());
    }
}
BENCHMARK(BM_WaveFullRedrawOfAFullSweep)->Unit(benchmark::kMillisecond);

void BM_ImpedanceMap(benchmark::State& state) {
    ImpedanceRenderer renderer;
    std::vector<ChannelRecord> records(kChannels);
    for (int i = 0; i < kChannels; ++i) {
        records[static_cast<std::size_t>(i)].mapX = std::cos(i) * 0.5;
        records[static_cast<std::size_t>(i)].mapY = std::sin(i) * 0.5;
    }
    renderer.SetUp(kChannels, records);
    std::vector<int> impedances(kChannels, 2550000);
    for (auto _ : state) {
        renderer.Draw(impedances, 0, 100, kScreen);
        benchmark::DoNotOptimize(renderer.Image().constBits());
    }
}
BENCHMARK(BM_ImpedanceMap)->Unit(benchmark::kMicrosecond);

}  // namespace
