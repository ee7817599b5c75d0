// The acquisition thread's whole work on one packet at the defaults (40
// samples of 17 values, 1000 per second), stage by stage: decode the
// amplifier's frame, build the records, append them to a recording on disk,
// send them to a loopback client that waits for them on a thread of its own,
// remove the hum, scale, and draw at 1920 × 1080.
//
//   build/bin/packet_path_bench
//
// BM_PacketPath runs packet after packet; BM_PacketPathPaced waits 40 ms
// between packets, as the program does, so every packet starts with caches
// that the rest of the machine has had time to empty. Counters: microseconds
// of the thread's processor time per packet, for each stage and for the whole
// (work_us).

#include <sys/socket.h>

#include <benchmark/benchmark.h>

#include <QtCore/qtestsupport_core.h>

#include <array>
#include <atomic>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "acquisition/display/wave_renderer.h"
#include "acquisition/engine/signal_conditioning.h"
#include "acquisition/recording/eol_file.h"
#include "acquisition/server/data_server.h"
#include "acquisition/usb/amplifier_emulator.h"
#include "bench/loopback.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int P = AmplifierEmulator::kPacketSize;
constexpr int C = AmplifierEmulator::kValuesPerSample;
constexpr int kRate = AmplifierEmulator::kSampleRate;
constexpr double kScale = eol::kDefaultScale;

// Reads and discards the stream on a thread of its own, blocked in recv
// between packets as a client program is.
class LoopbackReader {
public:
    explicit LoopbackReader(quint16 port) : fd_(ConnectToLoopback(port)) {
        reader_ = std::thread([this] {
            std::array<char, 65536> buffer;
            for (ssize_t got; (got = ::recv(fd_.Get(), buffer.data(), buffer.size(), 0)) > 0;)
                received += static_cast<std::size_t>(got);
        });
    }
    ~LoopbackReader() {
        ::shutdown(fd_.Get(), SHUT_RDWR);
        reader_.join();
    }
    LoopbackReader(const LoopbackReader&) = delete;
    LoopbackReader& operator=(const LoopbackReader&) = delete;

    std::atomic<std::size_t> received{0};

private:
    UniqueFd fd_;
    std::thread reader_;
};

double ThreadMicroseconds() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e6 + static_cast<double>(now.tv_nsec) / 1e3;
}

enum Stage { kDecode, kBuild, kAppend, kSend, kCondition, kDraw, kStages };
constexpr const char* kStageNames[kStages] = {"decode_us", "build_us", "append_us", "send_us", "condition_us", "draw_us"};

void RunPacketPath(benchmark::State& state, Clock::duration gap) {
    AmplifierEmulator emulator;
    emulator.Receive(amp::ModeCommand(0));
    std::array<std::uint8_t, amp::kFrameBytes> frame{};

    const std::string path = "/tmp/packet_path_bench.eol";
    EolFile recording;
    if (!recording.Create(path) || !recording.WriteHeader(kRate, P, kScale)) return state.SkipWithError("no recording");

    DataServer server;
    if (!server.Start("127.0.0.1", 0)) return state.SkipWithError("cannot listen");
    server.SetSampleRate(kRate);
    LoopbackReader reader(server.ListeningPort());
    if (!QTest::qWaitFor([&] { return server.ClientConnected(); }, 5000)) return state.SkipWithError("not accepted");

    PowerLineCanceller canceller;
    canceller.BuildCanceller(P, C, kRate);
    WaveRenderer renderer;
    renderer.Resize({1920, 1080});
    std::vector<ChannelRecord> records(C);
    renderer.SetUp(P, C, kRate, 4, records);
    renderer.SetChannelFlags(std::vector<int>(C, 1));

    std::vector<std::int32_t> packet(P * C);
    std::vector<double> conditioned(packet.size());
    std::vector<SampleRecord> built(P);
    std::array<double, kStages> totals{};
    double work = 0;
    // Stages are timed in the thread's own processor time, so that other
    // programs taking the processor away do not count; the client's wake-up
    // and the kernel's work for the send do count, they run on this thread.
    auto run = [&] {
        emulator.NextFrame(frame);  // the amplifier's part, not timed
        const double begin = ThreadMicroseconds();
        double lap = begin;
        auto endStage = [&](Stage stage) {
            const double now = ThreadMicroseconds();
            totals[stage] += now - lap;
            lap = now;
        };
        amp::DecodeFrame(frame, P, C, packet);
        endStage(kDecode);
        BuildRecords(packet, P, C, built);
        endStage(kBuild);
        recording.Append(built);
        endStage(kAppend);
        server.SendPacket(built);
        endStage(kSend);
        canceller.CancelPowerLine(packet, conditioned);
        ScaleSignalChannels(conditioned, P, C, kScale);
        endStage(kCondition);
        renderer.AddPacket(conditioned);
        endStage(kDraw);
        work += lap - begin;
    };
    std::size_t sent = 0;
    // Until the client has read everything and waits in recv for the next packet.
    auto clientCaughtUp = [&] {
        const auto limit = Clock::now() + std::chrono::seconds(2);
        while (reader.received < sent) {
            if (Clock::now() > limit) return false;
            std::this_thread::yield();
        }
        return true;
    };
    for (int i = 0; i < 3 * kRate / P; ++i) {  // past the first full redraw and the file's first blocks
        run();
        sent += built.size() * sizeof(SampleRecord);
        if (!clientCaughtUp()) return state.SkipWithError("the client did not keep up");
    }
    totals = {};
    work = 0;

    auto next = Clock::now();
    for (auto _ : state) {
        state.PauseTiming();
        if (!clientCaughtUp()) return state.SkipWithError("the client did not keep up");
        next += gap;
        std::this_thread::sleep_until(next);
        QCoreApplication::processEvents();  // the UI thread's part of the server
        state.ResumeTiming();
        run();
        sent += built.size() * sizeof(SampleRecord);
    }
    const double packets = static_cast<double>(state.iterations());
    for (int s = 0; s < kStages; ++s) state.counters[kStageNames[s]] = totals[static_cast<std::size_t>(s)] / packets;
    state.counters["work_us"] = work / packets;
    std::remove(path.c_str());
}

void BM_PacketPath(benchmark::State& state) { RunPacketPath(state, Clock::duration::zero()); }
BENCHMARK(BM_PacketPath)->Unit(benchmark::kMicrosecond);

void BM_PacketPathPaced(benchmark::State& state) { RunPacketPath(state, std::chrono::milliseconds(P * 1000 / kRate)); }
BENCHMARK(BM_PacketPathPaced)->Iterations(250)->Unit(benchmark::kMicrosecond);

}  // namespace
