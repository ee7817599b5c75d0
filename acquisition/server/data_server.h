#pragma once
// The TCP server that streams every acquired packet, as raw SampleRecords, to
// one client at a time.
//
// Threads:
// - Start, the accept and close handling and everything Qt run on the UI
//   thread (the thread that owns the object); the sockets' notifications come
//   through its event loop.
// - ClientConnected and SendPacket run on the acquisition thread. SendPacket
//   never waits for the client: each send is non-blocking, and what the socket
//   cannot take is kept in a per-client backlog that goes out before anything
//   newer.
// - clientMutex_ is held around every use of the client's descriptor and
//   backlog by SendPacket and around the release of the connection, so a send
//   that has begun always finishes on a valid descriptor.
// - When a send leaves a backlog, the sending thread wakes the UI thread,
//   which then offers the backlog to the socket each time the socket can take
//   more, until it is gone: the end of a stream (the last packets before
//   Stop) does not wait for the next packet. Nothing runs while nothing waits.
// - Only the UI thread opens or closes the client's descriptor. When the
//   sending side gives up on a client (stalled, or broken) it shuts the
//   connection down; the UI thread then sees end of stream on it and releases
//   it like any close.
//
// A client never receives part of a record followed by another record: the
// stream is cut only after a whole record, also when a stalled client is
// dropped.

#include "acquisition/engine/engine_ports.h"
#include "common/sample_record.h"
#include "common/thread_wake.h"
#include "common/unique_fd.h"

#include <QObject>
#include <QSocketNotifier>
#include <QString>
#include <QTimer>

#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

class DataServer : public QObject, public PacketStream {
    Q_OBJECT

public:
    static constexpr quint16 kDefaultPort = 1234;
    // Raw EEG is health data, and the stream's one slot must not go to a
    // stranger: only this machine, unless the user names a wider address.
    static constexpr const char* kDefaultListenAddress = "127.0.0.1";
    static constexpr int kListenBacklog = 5;
    // Asked of the kernel for a client's socket. The kernel doubles it, so
    // what it really holds is measured, never assumed from this.
    static constexpr int kClientSendBufferBytes = 32 * 1024;
    // A client counts as stalled when more than this much of the stream, in
    // milliseconds, still waits for it at our end (our kernel's send queue
    // and the backlog) as a new packet comes. The client's own kernel holds
    // about 1.5 s more once it stops reading (128 KiB at 1000 samples per
    // second), which we cannot see: together they stay under 2 s.
    static constexpr int kStallQueueMs = 250;
    static constexpr int kDefaultSampleRate = 1000;

    static constexpr const char* kListening = "正在监听";
    static constexpr const char* kConnected = "已连接";
    static constexpr const char* kCreateFailed = "创建服务器失败";
    static constexpr const char* kListenFailed = "监听失败";
    static constexpr const char* kInitFailed = "初始化失败!";
    static constexpr const char* kInitFailedCaption = "Send";

    explicit DataServer(QObject* parent = nullptr);
    ~DataServer() override;
    DataServer(const DataServer&) = delete;
    DataServer& operator=(const DataServer&) = delete;

    // Where Start listens (kDefaultListenAddress until set). An empty address
    // means all local IPv4 addresses.
    void SetListenAddress(const QString& address, quint16 port);
    // Whether address is one that SetListenAddress accepts: empty, "localhost",
    // or a numeric IPv4 or IPv6 address.
    static bool IsValidListenAddress(const QString& address);

    // The server command. Opens a new listening socket; an earlier one keeps
    // listening. True when the new one listens.
    bool Start();
    bool Start(const QString& address, quint16 port);

    // The port of the newest listening socket, 0 when none listens.
    quint16 ListeningPort() const;
    // The text last shown in the server-status pane; empty before Start.
    const QString& Status() const { return status_; }
    // The connected client as ADDRESS:PORT; empty when none. Set before
    // statusChanged tells of the connection.
    const QString& ClientAddress() const { return clientAddress_; }

    // The stream's rate in samples per second, which sizes the stall limit.
    // Any thread.
    void SetSampleRate(int samplesPerSecond);
    // Bytes of the current client's backlog. Any thread.
    std::size_t BacklogBytes() const;

    // [acq]
    bool ClientConnected() const override { return clientConnected == 1; }
    // [acq]
    void SendPacket(std::span<const SampleRecord> records) override;

    // 1 while a client is connected; written by the UI thread.
    std::atomic<int> clientConnected{0};

Q_SIGNALS:
    // The new text of the server-status pane.
    void statusChanged(const QString& text);
    // A modal error box is due: text, caption.
    void messageRequested(const QString& text, const QString& caption);

private:
    struct Listener {
        UniqueFd socket;
        std::unique_ptr<QSocketNotifier> notifier;
    };

    void SetStatus(const QString& text);
    void AcceptPendingClient(int listenFd);
    void DiscardClientInput();
    void ReleaseClient();
    void SetAccepting(bool accepting);
    void PauseAcceptingAfterError();
    void WatchBacklog();
    void FlushBacklogFromUiThread();

    // Under clientMutex_, on the acquisition thread.
    bool FlushBacklog();
    void GiveUpOnClient();
    void EndOnRecordBoundary();
    bool ClientStalled() const;
    void AskForBacklogWatch();
    std::size_t StallLimitBytes() const;
    // Under clientMutex_, on the UI thread.
    void ReserveBacklog();

    QString listenAddress_ = QString::fromLatin1(kDefaultListenAddress);
    QString clientAddress_;
    quint16 listenPort_ = kDefaultPort;
    QString status_;
    std::vector<Listener> listenSockets;

    mutable std::mutex clientMutex_;
    UniqueFd clientSocket;           // written under clientMutex_, on the UI thread only
    std::vector<std::byte> backlog_;     // under clientMutex_
    bool clientGivenUp_ = false;         // under clientMutex_
    bool backlogWatched_ = false;        // under clientMutex_: asked for, or watched
    QSocketNotifier clientNotifier_{QSocketNotifier::Read};
    QSocketNotifier clientWritable_{QSocketNotifier::Write};
    ThreadWake backlogWake_;

    std::atomic<int> sampleRate_{kDefaultSampleRate};
};
