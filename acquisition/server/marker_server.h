#pragma once
// Markers over TCP: a stimulus program on this machine (or, with --listen,
// another) sends lines of text, and each line becomes a marker the moment it
// arrives. A line is at most kMaxLineBytes of UTF-8 without control
// characters; a client that sends anything else is dropped, and the
// acquisition never notices.
//
// Threads: UI thread only (Qt's event loop); markerReceived is emitted there,
// as soon as a line is whole.

#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTcpServer>
#include <optional>

class QTcpSocket;

class MarkerServer : public QObject {
    Q_OBJECT

public:
    static constexpr qint64 kMaxLineBytes = 200;
    static constexpr int kMaxClients = 8;

    explicit MarkerServer(QObject* parent = nullptr);

    // address as --listen takes it; empty: 127.0.0.1. False, with the reason
    // in ErrorText, when the port cannot be had.
    bool Listen(const QString& address, quint16 port);
    quint16 Port() const { return server_.serverPort(); }
    QString ErrorText() const { return server_.errorString(); }
    int Clients() const;

    // The marker a line makes: nothing when the line is not text.
    static std::optional<QString> MarkerText(const QByteArray& line);

Q_SIGNALS:
    void markerReceived(const QString& text);

private:
    void Accept();
    void ReadLines(QTcpSocket* client);

    QTcpServer server_;
};
