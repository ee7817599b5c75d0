#include "acquisition/server/data_server.h"

#include <arpa/inet.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <optional>

namespace {

constexpr int kAcceptRetryMs = 1000;
// Reads per read notification, so a client that floods us cannot hold the UI
// thread; the notifier fires again while data is left.
constexpr int kReadsPerNotification = 16;

struct SocketAddress {
    sockaddr_storage storage{};
    socklen_t length = 0;
    int Family() const { return storage.ss_family; }
    const sockaddr* Get() const { return reinterpret_cast<const sockaddr*>(&storage); }
};

std::optional<SocketAddress> ParseListenAddress(const QString& text, quint16 port) {
    SocketAddress address;
    const QByteArray latin = text.trimmed().toLatin1();
    const bool anyAddress = latin.isEmpty();
    const QByteArray host = latin == "localhost" ? QByteArray("127.0.0.1") : latin;

    auto* v4 = reinterpret_cast<sockaddr_in*>(&address.storage);
    if (anyAddress || ::inet_pton(AF_INET, host.constData(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(port);
        if (anyAddress) v4->sin_addr.s_addr = htonl(INADDR_ANY);
        address.length = sizeof(sockaddr_in);
        return address;
    }
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&address.storage);
    if (::inet_pton(AF_INET6, host.constData(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(port);
        address.length = sizeof(sockaddr_in6);
        return address;
    }
    return std::nullopt;
}

// ADDRESS:PORT, IPv6 addresses in brackets.
QString PeerText(const sockaddr_storage& peer) {
    char text[INET6_ADDRSTRLEN] = {};
    if (peer.ss_family == AF_INET) {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(peer);
        ::inet_ntop(AF_INET, &v4.sin_addr, text, sizeof text);
        return QStringLiteral("%1:%2").arg(QString::fromLatin1(text)).arg(ntohs(v4.sin_port));
    }
    if (peer.ss_family == AF_INET6) {
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(peer);
        ::inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text);
        return QStringLiteral("[%1]:%2").arg(QString::fromLatin1(text)).arg(ntohs(v6.sin6_port));
    }
    return {};
}

void SetIntOption(int fd, int level, int name, int value) {
    ::setsockopt(fd, level, name, &value, sizeof(value));
}

// Bytes the socket took, 0 when it is full, -1 when the connection is broken.
ssize_t SendWithoutWaiting(int fd, std::span<const std::byte> bytes) {
    for (;;) {
        const ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (sent >= 0) return sent;
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
        return -1;
    }
}

// Bytes the kernel still holds for the peer: not yet sent, or sent and not
// yet acknowledged. 0 where it cannot tell.
std::size_t KernelQueuedBytes(int fd) {
    int queued = 0;
    if (::ioctl(fd, SIOCOUTQ, &queued) != 0 || queued < 0) return 0;
    return static_cast<std::size_t>(queued);
}

}  // namespace

DataServer::DataServer(QObject* parent) : QObject(parent) {
    connect(&clientNotifier_, &QSocketNotifier::activated, this, [this] { DiscardClientInput(); });
    connect(&clientWritable_, &QSocketNotifier::activated, this, [this] { FlushBacklogFromUiThread(); });
    connect(&backlogWake_, &ThreadWake::raised, this, [this] { WatchBacklog(); });
}

DataServer::~DataServer() {
    clientNotifier_.setEnabled(false);
    clientWritable_.setEnabled(false);
    const std::lock_guard lock(clientMutex_);
    clientSocket.Close();
}

void DataServer::SetListenAddress(const QString& address, quint16 port) {
    listenAddress_ = address;
    listenPort_ = port;
}

bool DataServer::IsValidListenAddress(const QString& address) {
    return ParseListenAddress(address, 0).has_value();
}

bool DataServer::Start(const QString& address, quint16 port) {
    SetListenAddress(address, port);
    return Start();
}

bool DataServer::Start() {
    const std::optional<SocketAddress> address = ParseListenAddress(listenAddress_, listenPort_);
    // POSIX has no separate start-up of the socket layer; a socket that cannot
    // be had at all is this system's "the socket layer failed".
    UniqueFd socket(::socket(address ? address->Family() : AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!socket.IsOpen()) {
        Q_EMIT messageRequested(QString::fromUtf8(kInitFailed), QString::fromUtf8(kInitFailedCaption));
        return false;
    }
    // Lets a restarted program listen again while old connections linger in
    // TIME_WAIT; a port on which a socket listens still refuses the bind.
    SetIntOption(socket.Get(), SOL_SOCKET, SO_REUSEADDR, 1);
    if (!address || ::bind(socket.Get(), address->Get(), address->length) != 0) {
        SetStatus(QString::fromUtf8(kCreateFailed));
        return false;
    }
    if (::listen(socket.Get(), kListenBacklog) != 0) {
        SetStatus(QString::fromUtf8(kListenFailed));
        return false;
    }

    const int fd = socket.Get();
    Listener listener{std::move(socket), std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read)};
    connect(listener.notifier.get(), &QSocketNotifier::activated, this, [this, fd] { AcceptPendingClient(fd); });
    listener.notifier->setEnabled(!clientSocket.IsOpen());
    listenSockets.push_back(std::move(listener));
    SetStatus(QString::fromUtf8(kListening));
    return true;
}

quint16 DataServer::ListeningPort() const {
    if (listenSockets.empty()) return 0;
    sockaddr_storage bound{};
    socklen_t length = sizeof(bound);
    if (::getsockname(listenSockets.back().socket.Get(), reinterpret_cast<sockaddr*>(&bound), &length) != 0) return 0;
    if (bound.ss_family == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6*>(&bound)->sin6_port);
    return ntohs(reinterpret_cast<const sockaddr_in*>(&bound)->sin_port);
}

void DataServer::SetStatus(const QString& text) {
    status_ = text;
    Q_EMIT statusChanged(status_);
}

// Further connections wait in the listen queue while a client is served, so
// the listening sockets are not watched meanwhile (a pending connection would
// otherwise wake the UI thread over and over).
void DataServer::SetAccepting(bool accepting) {
    for (const Listener& listener : listenSockets) listener.notifier->setEnabled(accepting);
}

void DataServer::PauseAcceptingAfterError() {
    SetAccepting(false);
    QTimer::singleShot(kAcceptRetryMs, this, [this] {
        if (!clientSocket.IsOpen()) SetAccepting(true);
    });
}

void DataServer::AcceptPendingClient(int listenFd) {
    if (clientSocket.IsOpen()) {
        SetAccepting(false);
        return;
    }
    sockaddr_storage peer{};
    socklen_t peerLength = sizeof peer;
    UniqueFd accepted(::accept4(listenFd, reinterpret_cast<sockaddr*>(&peer), &peerLength, SOCK_NONBLOCK | SOCK_CLOEXEC));
    if (!accepted.IsOpen()) {
        // A connection that went away before we took it is no error of ours;
        // anything else (out of descriptors) is retried a little later.
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != ECONNABORTED && errno != EINTR &&
            errno != EPROTO) {
            PauseAcceptingAfterError();
        }
        return;
    }
    const int fd = accepted.Get();
    SetIntOption(fd, SOL_SOCKET, SO_SNDBUF, kClientSendBufferBytes);
    // A packet is a small segment that must not wait for the client's ACK.
    SetIntOption(fd, IPPROTO_TCP, TCP_NODELAY, 1);
    SetAccepting(false);
    {
        const std::lock_guard lock(clientMutex_);
        clientSocket = std::move(accepted);
        backlog_.clear();
        ReserveBacklog();
        clientGivenUp_ = false;
        backlogWatched_ = false;
    }
    clientNotifier_.setSocket(fd);
    clientNotifier_.setEnabled(true);
    clientWritable_.setSocket(fd);
    clientAddress_ = PeerText(peer);
    SetStatus(QString::fromUtf8(kConnected));
    clientConnected = 1;
}

// What the client sends means nothing; it is read only to notice the end of
// the connection, whether the client closed it or the sending side gave up.
void DataServer::DiscardClientInput() {
    std::byte scratch[4096];
    for (int i = 0; i < kReadsPerNotification; ++i) {
        const ssize_t got = ::recv(clientSocket.Get(), scratch, sizeof(scratch), MSG_DONTWAIT);
        if (got > 0) continue;
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        ReleaseClient();
        return;
    }
}

void DataServer::ReleaseClient() {
    clientNotifier_.setEnabled(false);
    clientWritable_.setEnabled(false);
    {
        const std::lock_guard lock(clientMutex_);
        clientSocket.Close();
        backlog_.clear();
        clientGivenUp_ = false;
        backlogWatched_ = false;
    }
    clientConnected = 0;
    clientAddress_.clear();
    SetStatus(QString::fromUtf8(kListening));
    SetAccepting(true);
}

void DataServer::SetSampleRate(int samplesPerSecond) {
    sampleRate_ = samplesPerSecond > 0 ? samplesPerSecond : 1;
    const std::lock_guard lock(clientMutex_);
    ReserveBacklog();
}

// The sending thread must not allocate. The backlog holds at most the stall
// limit and one packet, and a packet is never longer than a second (the
// settings refuse that), so two seconds of stream always do.
void DataServer::ReserveBacklog() {
    backlog_.reserve(2 * static_cast<std::size_t>(sampleRate_.load()) * sizeof(SampleRecord));
}

std::size_t DataServer::BacklogBytes() const {
    const std::lock_guard lock(clientMutex_);
    return backlog_.size();
}

std::size_t DataServer::StallLimitBytes() const {
    return static_cast<std::size_t>(sampleRate_.load()) * sizeof(SampleRecord) * kStallQueueMs / 1000;
}

bool DataServer::ClientStalled() const {
    return KernelQueuedBytes(clientSocket.Get()) + backlog_.size() > StallLimitBytes();
}

void DataServer::SendPacket(std::span<const SampleRecord> records) {
    std::span<const std::byte> bytes = RecordBytes(records);
    const std::lock_guard lock(clientMutex_);
    if (!clientSocket.IsOpen() || clientGivenUp_) return;
    if (!FlushBacklog()) return;
    // Judged before the new packet goes in: only older packets count.
    if (ClientStalled()) {
        GiveUpOnClient();
        return;
    }
    if (backlog_.empty()) {
        const ssize_t sent = SendWithoutWaiting(clientSocket.Get(), bytes);
        if (sent < 0) {
            GiveUpOnClient();
            return;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(sent));
    }
    backlog_.insert(backlog_.end(), bytes.begin(), bytes.end());
    AskForBacklogWatch();
}

void DataServer::AskForBacklogWatch() {
    if (backlog_.empty() || backlogWatched_) return;
    backlogWatched_ = true;
    backlogWake_.Raise();
}

// On the UI thread, when a send has left a backlog.
void DataServer::WatchBacklog() {
    const std::lock_guard lock(clientMutex_);
    clientWritable_.setEnabled(backlogWatched_ && clientSocket.IsOpen() && !clientGivenUp_);
}

// Until the backlog is gone; a later send that leaves one asks again.
void DataServer::FlushBacklogFromUiThread() {
    const std::lock_guard lock(clientMutex_);
    if (clientSocket.IsOpen() && !clientGivenUp_) FlushBacklog();
    if (!backlog_.empty() && clientSocket.IsOpen() && !clientGivenUp_) return;
    backlogWatched_ = false;
    clientWritable_.setEnabled(false);
}

// False when the connection broke and was given up.
bool DataServer::FlushBacklog() {
    if (backlog_.empty()) return true;
    const ssize_t sent = SendWithoutWaiting(clientSocket.Get(), backlog_);
    if (sent < 0) {
        GiveUpOnClient();
        return false;
    }
    backlog_.erase(backlog_.begin(), backlog_.begin() + sent);
    return true;
}

// The descriptor stays open (only the UI thread closes it); shutting the
// connection down ends what the client gets and wakes the UI thread's read
// notifier with end of stream.
void DataServer::GiveUpOnClient() {
    clientGivenUp_ = true;
    EndOnRecordBoundary();
    backlog_.clear();
    ::shutdown(clientSocket.Get(), SHUT_RDWR);
}

// Packets hold whole records, so the backlog's length modulo a record is the
// part of a record the socket still owes the client. The socket is full, so it
// is given room for those few bytes; should even that fail, the connection is
// reset on close rather than ended cleanly, and the client sees an error
// instead of a stream that ends inside a record.
void DataServer::EndOnRecordBoundary() {
    const std::size_t owed = backlog_.size() % sizeof(SampleRecord);
    if (owed == 0) return;
    SetIntOption(clientSocket.Get(), SOL_SOCKET, SO_SNDBUF, 4 * kClientSendBufferBytes);
    const ssize_t sent = SendWithoutWaiting(clientSocket.Get(), std::span(backlog_).first(owed));
    if (sent == static_cast<ssize_t>(owed)) return;
    const linger reset{1, 0};
    ::setsockopt(clientSocket.Get(), SOL_SOCKET, SO_LINGER, &reset, sizeof(reset));
}
