#pragma once
// One outgoing TCP link of the speller client: to the acquisition program's
// stream or to the scoring system.
//
// Everything runs on the window's thread. A connect never blocks: its outcome
// arrives as connectFinished within the given limit, so the window stays
// responsive while a host is slow or unreachable.

#include <chrono>

#include <QByteArrayView>
#include <QObject>
#include <QTcpSocket>
#include <QTimer>

#include "packet_cutter.h"

class LinkSocket : public QObject {
    Q_OBJECT
public:
    // 40 records of 21 little-endian 32-bit slots.
    static constexpr int packetValues = PacketCutter::packetValues;
    static constexpr int packetBytes = PacketCutter::packetBytes;
    using PacketHandler = PacketCutter::PacketHandler;

    enum class ConnectOutcome { Connected, Failed, NoSocket };
    Q_ENUM(ConnectOutcome)

    explicit LinkSocket(QObject* parent = nullptr);
    // Closes the connection without a farEndClosed: closing is ours.
    ~LinkSocket() override;

    // Starts a connect; connectFinished follows once, at the latest after limit.
    void ConnectTo(const QString& host, quint16 port, std::chrono::milliseconds limit);
    bool IsConnecting() const { return connecting; }
    bool IsConnected() const { return connected; }
    // Why the last connect failed or the connection ended, in a few words
    // ("Connection refused"); empty while nothing went wrong.
    const QString& Failure() const { return failure; }

    // Queues the bytes on the connection and pushes as much as the kernel
    // takes at once; the rest follows from the event loop.
    void Send(QByteArrayView bytes);

    // A link with a handler cuts what arrives into whole packets and hands
    // them over in stream order; a link without one discards what arrives.
    void SetPacketHandler(PacketHandler handler) { packetHandler = std::move(handler); }
    // Bytes of a packet that is still incomplete.
    int PartialPacketBytes() const { return cutter.PartialBytes(); }

Q_SIGNALS:
    void connectFinished(LinkSocket::ConnectOutcome outcome);
    // The far end closed a connection that had been made.
    void farEndClosed();

private:
    void OnConnected();
    void OnError(QAbstractSocket::SocketError error);
    void OnConnectTimeout();
    void OnDisconnected();
    void FinishConnect(ConnectOutcome outcome);
    void ReadArrivedBytes();

    QTcpSocket socket;
    QTimer connectTimer;
    bool connecting = false;
    bool connected = false;
    QString failure;
    PacketHandler packetHandler;
    PacketCutter cutter;
};
