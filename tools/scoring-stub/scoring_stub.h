#pragma once
// A stand-in for the scoring system: accepts one connection at a time and
// reports each 9-byte command it receives. Nothing is ever sent back.

#include <functional>

#include <QByteArray>
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
    using CommandHandler = std::function<void(const QByteArray&)>;

    explicit ScoringStub(CommandHandler onCommand, QObject* parent = nullptr);
    ~ScoringStub() override;
    bool Listen(const QHostAddress& address, quint16 port);
    quint16 Port() const { return server.serverPort(); }
    QString ErrorString() const { return server.errorString(); }

private:
    void AcceptNext();
    void ReadCommands();
    void OnClientGone();

    QTcpServer server;
    QPointer<QTcpSocket> client;
    QByteArray pending;
    CommandHandler onCommand;
};

// A command as a line of text: the bytes before the first zero byte (short
// commands arrive padded with zeros).
QByteArray CommandLine(const QByteArray& command);

inline constexpr int kDefaultStubPort = 4000;

// The command line: [--port N], N from 0 to 65535, written into port.
ProgramCommandLine StubCommandLine(int& port);
