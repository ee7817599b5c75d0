// How long a packet takes from the acquisition thread's SendPacket call to its
// last byte at a loopback client, and how long SendPacket holds the
// acquisition thread when the client has stopped reading.
//
//   build/bin/server_bench
// Counters: median_us, p99_us, max_us over the packets of each run; for the
// paced runs, packets_per_s of a real-time playback with no client and with a
// client that never reads.

#include <sys/socket.h>

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QtCore/qtestsupport_core.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <chrono>
#include <cstdio>
#include <vector>

#include "acquisition/engine/acquisition_engine.h"
#include "acquisition/server/data_server.h"
#include "bench/loopback.h"
#include "tests/support/absent_amplifier.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kPacketSize = 40;
constexpr std::size_t kPackets = 2000;

class Client {
public:
    explicit Client(quint16 port) : fd_(ConnectToLoopback(port)) {}
    // Blocks until all of count bytes are here.
    bool Read(std::vector<char>& buffer) {
        return ::recv(fd_.Get(), buffer.data(), buffer.size(), MSG_WAITALL) == static_cast<ssize_t>(buffer.size());
    }

private:
    UniqueFd fd_;
};

bool WaitForClient(DataServer& server, bool connected) {
    return QTest::qWaitFor([&] { return server.ClientConnected() == connected; }, 5000);
}

std::vector<SampleRecord> Packet() {
    std::vector<SampleRecord> packet(kPacketSize);
    for (int r = 0; r < kPacketSize; ++r) packet[static_cast<std::size_t>(r)].slots[0] = r;
    return packet;
}

void ReportMicroseconds(benchmark::State& state, std::vector<double> samples) {
    if (samples.empty()) return;
    std::sort(samples.begin(), samples.end());
    const auto at = [&](double q) { return samples[static_cast<std::size_t>(q * static_cast<double>(samples.size() - 1))]; };
    state.counters["median_us"] = at(0.5);
    state.counters["p99_us"] = at(0.99);
    state.counters["max_us"] = samples.back();
    state.counters["packets"] = static_cast<double>(samples.size());
}

double MicrosecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

// SendPacket call to the packet's last byte read by a client that keeps up.
void BM_PacketToLoopbackClient(benchmark::State& state) {
    DataServer server;
    if (!server.Start("127.0.0.1", 0)) return state.SkipWithError("cannot listen");
    Client client(server.ListeningPort());
    if (!WaitForClient(server, true)) return state.SkipWithError("not accepted");

    const auto packet = Packet();
    std::vector<char> received(packet.size() * sizeof(SampleRecord));
    std::vector<double> latencies;
    latencies.reserve(kPackets);
    for (auto _ : state) {
        for (std::size_t i = 0; i < kPackets; ++i) {
            const auto start = Clock::now();
            server.SendPacket(packet);
            if (!client.Read(received)) return state.SkipWithError("short read");
            latencies.push_back(MicrosecondsSince(start));
        }
    }
    ReportMicroseconds(state, latencies);
}
BENCHMARK(BM_PacketToLoopbackClient)->Iterations(1)->Unit(benchmark::kMillisecond);

// Time inside SendPacket while clients connect, stop reading and are dropped.
void BM_SendPacketToStalledClient(benchmark::State& state) {
    DataServer server;
    if (!server.Start("127.0.0.1", 0)) return state.SkipWithError("cannot listen");
    const auto packet = Packet();
    std::vector<double> durations;
    durations.reserve(kPackets + 1000);
    int drops = 0;
    for (auto _ : state) {
        while (durations.size() < kPackets) {
            Client stalled(server.ListeningPort());
            if (!WaitForClient(server, true)) return state.SkipWithError("not accepted");
            while (server.ClientConnected()) {
                const auto start = Clock::now();
                server.SendPacket(packet);
                durations.push_back(MicrosecondsSince(start));
                QCoreApplication::processEvents();
            }
            ++drops;
        }
    }
    ReportMicroseconds(state, durations);
    state.counters["drops"] = drops;
}
BENCHMARK(BM_SendPacketToStalledClient)->Iterations(1)->Unit(benchmark::kMillisecond);

class CountingStream : public PacketStream {
public:
    explicit CountingStream(DataServer& server) : server_(server) {}
    // The engine asks once per packet, whether or not a client is there.
    bool ClientConnected() const override {
        ++packets;
        return server_.ClientConnected();
    }
    void SendPacket(std::span<const SampleRecord> records) override { server_.SendPacket(records); }
    mutable std::atomic<int> packets{0};

private:
    DataServer& server_;
};

// The acquisition thread playing a file at the default 40 samples of 1000 per
// second for six seconds: its packet rate without a client and with a client
// that never reads (dropped after about three seconds).
void BM_PacedAcquisition(benchmark::State& state) {
    const bool stalledClient = state.range(0) == 1;
    const std::string path = "/tmp/server_bench_play.eol";
    {
        std::vector<char> bytes(200 + 1000 * 17 * 4, 1);
        std::FILE* file = std::fopen(path.c_str(), "wb");
        if (!file) return state.SkipWithError("cannot write the playback file");
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
    }
    DataServer server;
    if (!server.Start("127.0.0.1", 0)) return state.SkipWithError("cannot listen");
    CountingStream stream(server);
    FilePlaybackSource playback;
    AbsentAmplifier amplifier;
    AcquisitionEngine engine(playback, amplifier, EnginePorts{.stream = &stream});
    AcquisitionSettings settings;
    settings.source = SignalSource::Playback;
    settings.simulatedDataPath = path;
    engine.ApplySettings(settings);

    std::unique_ptr<Client> client;
    if (stalledClient) {
        client = std::make_unique<Client>(server.ListeningPort());
        if (!WaitForClient(server, true)) return state.SkipWithError("not accepted");
    }
    double seconds = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        engine.StartWaveform();
        QTest::qWait(6000);
        engine.StopAcquisition();
        seconds = std::chrono::duration<double>(Clock::now() - start).count();
    }
    state.counters["packets_per_s"] = stream.packets / seconds;
    state.counters["client_dropped"] = stalledClient && !server.ClientConnected();
    std::remove(path.c_str());
}
BENCHMARK(BM_PacedAcquisition)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
