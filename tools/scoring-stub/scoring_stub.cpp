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

ProgramCommandLine StubCommandLine(int& port) {
    return {"scoring-stub",
            "A stand-in for the scoring system: prints each 9-byte command it receives on its own line.\n"
            "The port in use is announced on standard error as \"scoring-stub listening on port N\".",
            {{"--port", "N", "the port to listen on", "0 to 65535; 0 picks a free port", std::to_string(kDefaultStubPort),
              [&port](const std::string& value, std::string&) { return ReadInteger(value, 0, 65535, port); }}},
            ""};
}
