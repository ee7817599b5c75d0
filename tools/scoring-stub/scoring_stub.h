#pragma once
// A stand-in for the scoring system: accepts one connection at a time and
// reports each 9-byte command it receives. Nothing is ever sent back.
//
// It trusts no client: at most a few commands' worth is buffered per client,
// and a client that keeps sending without the pause a real speller leaves
// between decisions is dropped, so a flood neither grows memory nor holds the
// one slot.
//
// Threads: everything runs on the thread that owns the object, through its
// event loop.

#include <functional>

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>

#include "common/command_line.h"

class ScoringStub : public QObject {
    Q_OBJECT
public:
    static constexpr int commandBytes = 9;
    // Commands that may arrive back to back (the network may deliver a few
    // delayed ones together); one more before a pause drops the client.
    static constexpr int burstCommands = 4;
    static constexpr int pauseMs = 100;
    using CommandHandler = std::function<void(const QByteArray&)>;
    // Told the client's address when it is dropped for flooding.
    using DropHandler = std::function<void(const QString&)>;

    explicit ScoringStub(CommandHandler onCommand, QObject* parent = nullptr);
    ~ScoringStub() override;
    bool Listen(const QHostAddress& address, quint16 port);
    quint16 Port() const { return server.serverPort(); }
    QString ErrorString() const { return server.errorString(); }
    void OnDrop(DropHandler handler) { onDrop = std::move(handler); }

private:
    void AcceptNext();
    void ReadCommands();
    void OnClientGone();
    void DropClient();

    QTcpServer server;
    QPointer<QTcpSocket> client;
    QByteArray pending;
    QElapsedTimer sinceLastBytes;
    qint64 burstBytes = 0;
    CommandHandler onCommand;
    DropHandler onDrop;
};

// A command as a line of text: the bytes before the first zero byte (short
// commands arrive padded with zeros), every byte that is not printable ASCII
// (and the backslash) written as \xHH, so that no command can forge a line or
// reach the terminal as a control sequence.
QByteArray CommandLine(const QByteArray& command);

inline constexpr int kDefaultStubPort = 4000;
inline constexpr const char* kDefaultStubAddress = "127.0.0.1";

struct StubOptions {
    int port = kDefaultStubPort;
    QHostAddress address{QString::fromLatin1(kDefaultStubAddress)};
};

// The command line: [--port N] [--listen ADDRESS], written into options.
ProgramCommandLine StubCommandLine(StubOptions& options);
