// How long a packet takes from the acquisition thread's SendPacket call to its
// last byte at a loopback client, and how long SendPacket holds the
// acquisition thread when the client has stopped reading.
//
//   build/bin/server_bench
// Counters: median_us, p99_us, max_us over the packets of each run.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QtCore/qtestsupport_core.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "acquisition/server/data_server.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kPacketSize = 40;
constexpr std::size_t kPackets = 2000;

class Client {
public:
    explicit Client(quint16 port) : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) std::perror("connect");
    }
    ~Client() { ::close(fd_); }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;
    // Blocks until all of count bytes are here.
    bool Read(std::vector<char>& buffer) {
        return ::recv(fd_, buffer.data(), buffer.size(), MSG_WAITALL) == static_cast<ssize_t>(buffer.size());
    }

private:
    int fd_;
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

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
