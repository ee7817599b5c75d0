// The acquisition thread sends every packet through the server and must not
// allocate memory while it runs, also while a slow client builds a backlog.
// Its own binary: it counts the program's allocations.

#include "acquisition/server/data_server.h"

#include <algorithm>

#include "tests/acquisition/server/stream_client.h"
#include "tests/support/allocation_counter.h"

namespace {

const auto* const kQtApp = ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

// Packets of a whole second, the longest the settings allow: the socket then
// cannot take one whole once the client's buffers are full, and the rest of
// it waits in the backlog.
constexpr int kSampleRate = 1000;
constexpr int kPacketSize = kSampleRate;

// Allocations made by this thread during one send.
std::size_t AllocationsWhileSending(DataServer& server, std::span<const SampleRecord> packet) {
    allocations = 0;
    countingAllocations = true;
    server.SendPacket(packet);
    countingAllocations = false;
    return allocations;
}

// The rate set before the client comes and while it is connected, each with a
// server of its own. Sends go on until the client counts as stalled.
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
        std::size_t largestBacklog = 0;
        for (int n = 0; n < 100; ++n) {
            total += AllocationsWhileSending(server, packet);
            const std::size_t backlog = server.BacklogBytes();
            if (backlog == 0 && largestBacklog > 0) break;  // given up
            largestBacklog = std::max(largestBacklog, backlog);
        }
        EXPECT_GT(largestBacklog, 0u) << "the socket is full and the backlog holds the rest";
        EXPECT_EQ(total, 0u);
    }
}

}  // namespace
