#include "scoring_stub.h"

ScoringStub::ScoringStub(CommandHandler handler, QObject* parent) : QObject(parent), onCommand(std::move(handler)) {
    connect(&server, &QTcpServer::newConnection, this, &ScoringStub::AcceptNext);
}

ScoringStub::~ScoringStub() {
    // Closing is ours: no client-gone handling while the members go away.
    if (client) QObject::disconnect(client, nullptr, this, nullptr);
}

bool ScoringStub::Listen(const QHostAddress& address, quint16 port) { return server.listen(address, port); }

void ScoringStub::AcceptNext() {
    if (client) {
        // One client at a time: later ones wait in the queue until it leaves.
        server.pauseAccepting();
        return;
    }
    client = server.nextPendingConnection();
    if (!client) return;
    pending.clear();
    server.pauseAccepting();
    connect(client, &QTcpSocket::readyRead, this, &ScoringStub::ReadCommands);
    connect(client, &QTcpSocket::disconnected, this, &ScoringStub::OnClientGone);
    ReadCommands();
}

void ScoringStub::ReadCommands() {
    if (!client || !client->isOpen()) return;
    pending += client->readAll();
    qsizetype used = 0;
    while (pending.size() - used >= commandBytes) {
        onCommand(pending.mid(used, commandBytes));
        used += commandBytes;
    }
    pending.remove(0, used);
}

void ScoringStub::OnClientGone() {
    ReadCommands();
    if (client) client->deleteLater();
    client = nullptr;
    server.resumeAccepting();
    if (server.hasPendingConnections()) AcceptNext();
}

QByteArray CommandLine(const QByteArray& command) {
    const qsizetype zero = command.indexOf('\0');
    return zero < 0 ? command : command.left(zero);
}

bool ParseScoringStubOptions(const QStringList& arguments, quint16& port, QString& error) {
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        if (arguments[i] != u"--port") {
            error = QStringLiteral("unknown option: %1").arg(arguments[i]);
            return false;
        }
        if (i + 1 >= arguments.size()) {
            error = QStringLiteral("--port needs a value");
            return false;
        }
        bool ok = false;
        const int value = arguments[++i].toInt(&ok);
        if (!ok || value < 0 || value > 65535) {
            error = QStringLiteral("bad port: %1").arg(arguments[i]);
            return false;
        }
        port = static_cast<quint16>(value);
    }
    return true;
}
