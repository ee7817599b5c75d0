#include "link_socket.h"

LinkSocket::LinkSocket(QObject* parent) : QObject(parent) {
    connectTimer.setSingleShot(true);
    connect(&connectTimer, &QTimer::timeout, this, &LinkSocket::OnConnectTimeout);
    connect(&socket, &QTcpSocket::connected, this, &LinkSocket::OnConnected);
    connect(&socket, &QTcpSocket::errorOccurred, this, &LinkSocket::OnError);
    connect(&socket, &QTcpSocket::disconnected, this, &LinkSocket::OnDisconnected);
    connect(&socket, &QTcpSocket::readyRead, this, &LinkSocket::ReadArrivedBytes);
}

LinkSocket::~LinkSocket() {
    QObject::disconnect(&socket, nullptr, this, nullptr);
    socket.abort();
}

void LinkSocket::ConnectTo(const QString& host, quint16 port, std::chrono::milliseconds limit) {
    if (connecting || connected) return;
    connecting = true;
    failure.clear();
    cutter.Reset();
    connectTimer.start(limit);
    socket.connectToHost(host, port);
}

void LinkSocket::Send(QByteArrayView bytes) {
    if (!connected) return;
    socket.write(bytes.data(), bytes.size());
    socket.flush();
}

void LinkSocket::OnConnected() {
    if (!connecting) return;
    connected = true;
    FinishConnect(ConnectOutcome::Connected);
}

void LinkSocket::OnError(QAbstractSocket::SocketError error) {
    if (!connecting) return;  // errors of a made connection end in disconnected()
    failure = socket.errorString();
    socket.abort();
    FinishConnect(error == QAbstractSocket::SocketResourceError ? ConnectOutcome::NoSocket : ConnectOutcome::Failed);
}

void LinkSocket::OnConnectTimeout() {
    if (!connecting) return;
    failure = QStringLiteral("no answer within %1 ms").arg(connectTimer.interval());
    socket.abort();
    FinishConnect(ConnectOutcome::Failed);
}

void LinkSocket::FinishConnect(ConnectOutcome outcome) {
    connecting = false;
    connectTimer.stop();
    Q_EMIT connectFinished(outcome);
}

void LinkSocket::OnDisconnected() {
    if (!connected) return;
    ReadArrivedBytes();  // whole packets that came before the close still count
    connected = false;
    failure = QStringLiteral("closed by the far end");
    cutter.Reset();
    Q_EMIT farEndClosed();
}

void LinkSocket::ReadArrivedBytes() {
    if (!packetHandler) {
        // Nobody reads this link; dropping what arrives keeps it from piling up.
        socket.readAll();
        return;
    }
    while (socket.bytesAvailable() > 0) {
        const std::span<char> space = cutter.Space();
        const qint64 got = socket.read(space.data(), static_cast<qint64>(space.size()));
        if (got <= 0) break;
        cutter.Commit(static_cast<int>(got), packetHandler);
    }
}
