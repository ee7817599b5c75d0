// The acquisition thread sends every packet through the server and must not
// allocate memory while it runs, also while a slow client builds a backlog.
// Its own binary: it counts the program's allocations.

#include "acquisition/server/data_server.h"

#include "tests/acquisition/server/stream_client.h"
#include "tests/support/allocation_counter.h"

namespace {

const auto* const kQtApp = ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

constexpr int kPacketSize = 40;
constexpr std::size_t kPacketBytes = kPacketSize * sizeof(SampleRecord);
constexpr int kSampleRate = 1000;
constexpr std::size_t kOneSecond = kSampleRate * sizeof(SampleRecord);

// Allocations made by this thread during one send.
std::size_t AllocationsWhileSending(DataServer& server, std::span<const SampleRecord> packet) {
    allocations = 0;
    countingAllocations = true;
    server.SendPacket(packet);
    countingAllocations = false;
    return allocations;
}

// The rate set before the client comes and while it is connected, each with a
// server of its own.
TEST(DataServerSending, ASlowClientsBacklogAllocatesNothingWhileSending) {
    const std::vector<SampleRecord> packet = NumberedPacket(0, kPacketSize);
    for (const bool rateFirst : {true, false}) {
        SCOPED_TRACE(rateFirst ? "rate set before the client came" : "rate set while connected");
        DataServer server;
        ASSERT_TRUE(server.Start("127.0.0.1", 0));
        if (rateFirst) server.SetSampleRate(kSampleRate);
        StreamClient slow;  // reads nothing
        ASSERT_TRUE(slow.Connect(server.ListeningPort()));
        ASSERT_TRUE(WaitUntil([&] { return server.ClientConnected(); }));
        if (!rateFirst) server.SetSampleRate(kSampleRate);

        std::size_t total = 0;
        // Up to a second of backlog: slow, not yet stalled.
        for (int n = 0; n < 1000 && server.BacklogBytes() + kPacketBytes <= kOneSecond; ++n) {
            total += AllocationsWhileSending(server, packet);
        }
        EXPECT_GT(server.BacklogBytes(), kOneSecond / 2) << "the socket is full and the backlog holds the rest";
        EXPECT_EQ(total, 0u);
        EXPECT_TRUE(server.ClientConnected());
    }
}

}  // namespace
