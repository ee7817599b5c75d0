#pragma once
// A loopback client of the streaming server, as Pallock would be one, and the
// packets the tests send through the server.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QString>
#include <QtCore/qtestsupport_core.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "common/sample_record.h"

// Readable texts in failure messages.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

// Every test binary needs one application object for the socket notifiers.
class QtApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override { app_ = std::make_unique<QCoreApplication>(argc_, argv_); }
    void TearDown() override { app_.reset(); }

private:
    int argc_ = 1;
    char name_[12] = "server_test";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QCoreApplication> app_;
};

// Runs the UI thread's event loop until done() holds or five seconds pass.
template <typename Predicate>
bool WaitUntil(Predicate done, int timeoutMs = 5000) {
    return QTest::qWaitFor(done, timeoutMs);
}

class StreamClient {
public:
    StreamClient() = default;
    ~StreamClient() { Close(); }
    StreamClient(const StreamClient&) = delete;
    StreamClient& operator=(const StreamClient&) = delete;

    // A blocking connect: the kernel completes it from the listen queue, before
    // and whether or not the server accepts.
    // receiveBuffer, when given, is asked of the kernel before connecting.
    bool Connect(quint16 port, int receiveBuffer = 0) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (receiveBuffer > 0) ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof(receiveBuffer));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return fd_ >= 0 && ::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
    }
    void Close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    int Fd() const { return fd_; }
    // What the kernel may hold for this client unread.
    std::size_t ReceiveBufferBytes() const {
        int bytes = 0;
        socklen_t length = sizeof(bytes);
        ::getsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &bytes, &length);
        return static_cast<std::size_t>(bytes);
    }

    // Takes whatever has arrived, without waiting.
    void ReadAvailable() {
        char chunk[65536];
        for (;;) {
            const ssize_t got = ::recv(fd_, chunk, sizeof(chunk), MSG_DONTWAIT);
            if (got > 0) {
                received_.insert(received_.end(), chunk, chunk + got);
                continue;
            }
            if (got == 0) ended_ = true;
            if (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                ended_ = true;
                reset_ = true;
            }
            return;
        }
    }
    bool HasPendingData() const {
        pollfd p{fd_, POLLIN, 0};
        return ::poll(&p, 1, 0) == 1 && (p.revents & POLLIN);
    }
    // Reads while the server's event loop runs, until count bytes are here.
    bool WaitForBytes(std::size_t count) {
        return WaitUntil([&] {
            ReadAvailable();
            return received_.size() >= count || ended_;
        }) && received_.size() >= count;
    }
    // Reads until the server ends the connection.
    bool WaitForEnd() {
        return WaitUntil([&] {
            ReadAvailable();
            return ended_;
        });
    }

    const std::vector<unsigned char>& Received() const { return received_; }
    std::vector<SampleRecord> ReceivedRecords() const {
        std::vector<SampleRecord> records(received_.size() / sizeof(SampleRecord));
        std::memcpy(records.data(), received_.data(), records.size() * sizeof(SampleRecord));
        return records;
    }
    bool Ended() const { return ended_; }
    bool WasReset() const { return reset_; }

private:
    int fd_ = -1;
    std::vector<unsigned char> received_;
    bool ended_ = false;
    bool reset_ = false;
};

// Packet number n of packetSize records. Slot 0 holds n, slot 1 the record's
// place in its packet, so a client can tell where packets begin; the other
// slots carry values that differ from record to record.
inline std::vector<SampleRecord> NumberedPacket(int n, int packetSize) {
    std::vector<SampleRecord> packet(static_cast<std::size_t>(packetSize));
    for (int r = 0; r < packetSize; ++r) {
        SampleRecord& record = packet[static_cast<std::size_t>(r)];
        record.slots[0] = n;
        record.slots[1] = r;
        for (int k : SampleRecord::kSignalSlots) {
            if (k > 1) record.slots[k] = n * 1000 + r * 21 + k;
        }
        record.slots[SampleRecord::kEventSlot] = r == 0 ? n : 0;
    }
    return packet;
}

// Checks that records are whole numbered packets in order from the first
// record of one packet on, except that the last packet may stop after any
// whole record. Returns the number of the first packet (or -1 when empty).
inline int ExpectConsecutivePackets(std::span<const SampleRecord> records, int packetSize) {
    if (records.empty()) return -1;
    const int first = records.front().slots[0];
    for (std::size_t i = 0; i < records.size(); ++i) {
        const auto expected = NumberedPacket(first + static_cast<int>(i) / packetSize, packetSize);
        const SampleRecord& want = expected[i % static_cast<std::size_t>(packetSize)];
        if (std::memcmp(&records[i], &want, sizeof(SampleRecord)) != 0) {
            ADD_FAILURE() << "record " << i << " is packet " << records[i].slots[0] << " record "
                          << records[i].slots[1] << "; expected packet " << want.slots[0] << " record "
                          << want.slots[1];
            return first;
        }
    }
    return first;
}
