#pragma once

#include "report/report_request.h"

#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QRegularExpression>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QVector>

#include <functional>

using Piece = QPair<int, QByteArray>; // bytes written after a pause in milliseconds
using Script = QList<Piece>;

// One whole request as the server got it.
struct Posted {
    QByteArray head, body;
    bool operator==(const Posted &other) const { return head == other.head && body == other.body; }
};

// Plain TCP, or TLS when given tls: then a request is read only through a completed handshake.
class Listener : public QTcpServer {
public:
    QSslConfiguration tls;
    void incomingConnection(qintptr descriptor) override {
        if (tls.isNull())
            return QTcpServer::incomingConnection(descriptor);
        auto *socket = new QSslSocket(this);
        socket->setSocketDescriptor(descriptor);
        socket->setSslConfiguration(tls);
        socket->startServerEncryption();
        addPendingConnection(socket);
    }
};

// A report server on the tool's report host (over TLS on a free port when given tls) that, once
// a whole request is in, answers as the script answers() gives for it says, piece by piece; an
// empty script never answers. It keeps every request, in order of arrival, and counts the
// connections. The tool posts one request per connection.
class ScriptedServer : public QObject {
public:
    using Answers = std::function<Script(const Posted &)>;
    explicit ScriptedServer(const Answers &answers, const QSslConfiguration &tls = {}) {
        connect(&server_, &QTcpServer::newConnection, this, [this, answers] {
            QTcpSocket *socket = server_.nextPendingConnection();
            ++connections;
            connect(socket, &QTcpSocket::disconnected, this, [this] { client_gone = true; });
            connect(
                socket, &QTcpSocket::readyRead, this,
                [this, socket, answers, received = QByteArray(), done = false]() mutable {
                    received += socket->readAll();
                    const int end = received.indexOf("\r\n\r\n");
                    const QRegularExpression length_line("\ncontent-length: *([0-9]+)",
                                                         QRegularExpression::CaseInsensitiveOption);
                    const int length = length_line.match(received.left(end)).captured(1).toInt();
                    if (done || end < 0 || received.size() < end + 4 + length)
                        return;
                    done = true;
                    posted.append({received.left(end), received.mid(end + 4, length)});
                    write(socket, answers(posted.last()));
                });
        });
        server_.tls = tls;
        server_.listen(QHostAddress(report_endpoint().host()),
                       tls.isNull() ? static_cast<quint16>(report_endpoint().port(80)) : 0);
    }
    explicit ScriptedServer(const Script &script, const QSslConfiguration &tls = {})
        : ScriptedServer([script](const Posted &) { return script; }, tls) {}
    bool listening() const { return server_.isListening(); }
    quint16 port() const { return server_.serverPort(); }

    QVector<Posted> posted;
    int connections = 0;
    bool client_gone = false;

private:
    void write(QTcpSocket *socket, Script script) {
        if (script.isEmpty())
            return;
        const Piece piece = script.takeFirst();
        QTimer::singleShot(piece.first, Qt::PreciseTimer, socket,
                           [this, socket, bytes = piece.second, rest = script] {
                               socket->write(bytes);
                               write(socket, rest);
                           });
    }

    Listener server_;
};
