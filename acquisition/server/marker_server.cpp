#include "acquisition/server/marker_server.h"

#include <QStringDecoder>
#include <QTcpSocket>

namespace {
QHostAddress ListenAddress(const QString& address) {
    if (address.isEmpty()) return QHostAddress(QHostAddress::LocalHost);
    if (address == QStringLiteral("localhost")) return QHostAddress(QHostAddress::LocalHost);
    return QHostAddress(address);
}
}  // namespace

MarkerServer::MarkerServer(QObject* parent) : QObject(parent) {
    connect(&server_, &QTcpServer::newConnection, this, &MarkerServer::Accept);
}

bool MarkerServer::Listen(const QString& address, quint16 port) {
    server_.setMaxPendingConnections(kMaxClients);
    return server_.listen(ListenAddress(address), port);
}

int MarkerServer::Clients() const { return static_cast<int>(findChildren<QTcpSocket*>().size()); }

std::optional<QString> MarkerServer::MarkerText(const QByteArray& line) {
    QByteArray text = line;
    if (text.endsWith('\n')) text.chop(1);
    if (text.endsWith('\r')) text.chop(1);
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && c != '\t') || byte == 0x7F) return std::nullopt;
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString decoded = utf8.decode(text);
    if (utf8.hasError()) return std::nullopt;
    decoded.replace(QLatin1Char('\t'), QLatin1Char(' '));
    return decoded.trimmed();
}

void MarkerServer::Accept() {
    while (QTcpSocket* client = server_.nextPendingConnection()) {
        if (Clients() >= kMaxClients) {
            client->abort();
            client->deleteLater();
            continue;
        }
        client->setParent(this);
        // More than a line waiting without its end is a client to drop.
        client->setReadBufferSize(2 * kMaxLineBytes);
        connect(client, &QTcpSocket::readyRead, this, [this, client] { ReadLines(client); });
        connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
    }
}

void MarkerServer::ReadLines(QTcpSocket* client) {
    while (client->canReadLine()) {
        const QByteArray line = client->readLine(kMaxLineBytes + 3);
        const std::optional<QString> text = line.endsWith('\n') ? MarkerText(line) : std::nullopt;
        if (!text) {
            client->abort();
            client->deleteLater();
            return;
        }
        if (!text->isEmpty()) Q_EMIT markerReceived(*text);
    }
    if (client->bytesAvailable() > kMaxLineBytes + 2) {
        client->abort();
        client->deleteLater();
    }
}
