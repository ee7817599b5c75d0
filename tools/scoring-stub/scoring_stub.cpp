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
    burstBytes = 0;
    sinceLastBytes.start();
    // Qt stops reading from the socket when this much waits, so a client
    // that sends faster than we read cannot grow our memory.
    client->setReadBufferSize((burstCommands + 1) * commandBytes);
    server.pauseAccepting();
    connect(client, &QTcpSocket::readyRead, this, &ScoringStub::ReadCommands);
    connect(client, &QTcpSocket::disconnected, this, &ScoringStub::OnClientGone);
    ReadCommands();
}

void ScoringStub::ReadCommands() {
    if (!client || !client->isOpen()) return;
    const QByteArray arrived = client->readAll();
    if (arrived.isEmpty()) return;
    if (sinceLastBytes.restart() >= pauseMs) burstBytes = 0;
    burstBytes += arrived.size();
    if (burstBytes > burstCommands * commandBytes) {
        DropClient();
        return;
    }
    pending += arrived;
    qsizetype used = 0;
    while (pending.size() - used >= commandBytes) {
        onCommand(pending.mid(used, commandBytes));
        used += commandBytes;
    }
    pending.remove(0, used);
}

void ScoringStub::DropClient() {
    QTcpSocket* dropped = client;
    if (onDrop) onDrop(QStringLiteral("%1:%2").arg(dropped->peerAddress().toString()).arg(dropped->peerPort()));
    QObject::disconnect(dropped, nullptr, this, nullptr);
    dropped->abort();
    dropped->deleteLater();
    client = nullptr;
    pending.clear();
    server.resumeAccepting();
    if (server.hasPendingConnections()) AcceptNext();
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
    const QByteArray text = zero < 0 ? command : command.left(zero);
    QByteArray line;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7f && byte != '\\') {
            line += c;
        } else {
            line += "\\x" + QByteArray::number(byte, 16).rightJustified(2, '0');
        }
    }
    return line;
}

ProgramCommandLine StubCommandLine(StubOptions& options) {
    return {"scoring-stub",
            "A stand-in for the scoring system: prints each 9-byte command it receives on its own line.\n"
            "The port in use is announced on standard error as \"scoring-stub listening on port N\".",
            {{"--port", "N", "the port to listen on", "0 to 65535; 0 picks a free port", std::to_string(kDefaultStubPort),
              [&options](const std::string& value, std::string&) { return ReadInteger(value, 0, 65535, options.port); }},
             {"--listen", "ADDRESS", "the address to listen on",
              "a numeric IPv4 or IPv6 address, or localhost; 0.0.0.0 or :: accepts other machines",
              std::string(kDefaultStubAddress) + " (this machine only)",
              [&options](const std::string& value, std::string&) {
                  const QString text = QString::fromStdString(value);
                  const QHostAddress address(text == QLatin1String("localhost") ? QStringLiteral("127.0.0.1") : text);
                  if (address.isNull()) return false;
                  options.address = address;
                  return true;
              }}},
            ""};
}
