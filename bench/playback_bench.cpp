// How close to real time a played-back file comes out: the file source reads
// a stretch of packets, each followed by the acquisition thread's work on it
// (a busy wait as long as the argument says), and the packets' length of
// signal is set against the time they took.
//
//   build/bin/playback_bench
//
// Arguments: values per sample, sample rate, packet size, work per packet in
// microseconds. Counter percent_of_real_time: 100 is real time, less is slower.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "acquisition/engine/file_playback_source.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kSecondsPlayed = 5.0;

void BusyFor(std::chrono::microseconds work) {
    const auto until = Clock::now() + work;
    while (Clock::now() < until) {
    }
}

void BM_PlaybackPace(benchmark::State& state) {
    const int channels = static_cast<int>(state.range(0));
    const int rate = static_cast<int>(state.range(1));
    const int packetSize = static_cast<int>(state.range(2));
    const std::chrono::microseconds work(state.range(3));
    const std::string path = "/tmp/playback_bench_" + std::to_string(channels) + ".eol";
    {
        // Two seconds of samples after the header; playback loops over them.
        std::vector<char> bytes(200 + static_cast<std::size_t>(2 * rate) * static_cast<std::size_t>(channels) * 4, 1);
        std::FILE* file = std::fopen(path.c_str(), "wb");
        if (!file) return state.SkipWithError("cannot write the playback file");
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
    }
    FilePlaybackSource source;
    if (!source.OpenFile(packetSize, channels, rate, path)) return state.SkipWithError("cannot open the playback file");
    std::vector<std::int32_t> packet(static_cast<std::size_t>(packetSize) * static_cast<std::size_t>(channels));
    const long packets = static_cast<long>(kSecondsPlayed * rate / packetSize);
    double percent = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        for (long n = 0; n < packets; ++n) {
            int channel = 0;
            source.ReadPacketWithChannel(packet, channel);
            BusyFor(work);
        }
        const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        percent = 100.0 * (static_cast<double>(packets) * packetSize / rate) / elapsed;
    }
    state.counters["percent_of_real_time"] = percent;
    std::remove(path.c_str());
}
// A recording made at the defaults (records of 21 values, 1000 per second in
// packets of 40) with the work the program used to spend on a packet, and 64
// channels at 4000 per second in packets of 40 and 160.
BENCHMARK(BM_PlaybackPace)
    ->Args({21, 1000, 40, 540})
    ->Args({64, 4000, 40, 600})
    ->Args({64, 4000, 160, 600})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace
