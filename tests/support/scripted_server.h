#pragma once

#include "report/report_request.h"

#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QVector>

#include <functional>
#include <memory>

using Piece = QPair<int, QByteArray>; // bytes written after a pause in milliseconds
using Script = QList<Piece>;

// One whole request as the server got it.
struct Posted {
    QByteArray head, body;
    // The value of the Veltora-Service header; empty without one.
    QByteArray service() const {
        for (const QByteArray &line : head.split('\n'))
            if (line.toLower().startsWith("veltora-service:"))
                return line.mid(line.indexOf(':') + 1).trimmed();
        return {};
    }
};

// A report server on the tool's report host that, once a whole request is in, answers as the
// script for that request says, piece by piece; an empty script never answers. It keeps every
// request it got, in order of arrival.
class ScriptedServer : public QObject {
public:
    using Answers = std::function<Script(const Posted &)>;
    explicit ScriptedServer(Answers answers) : answers_(std::move(answers)) {
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = server_.nextPendingConnection()) {
                auto received = std::make_shared<QByteArray>();
                connect(socket, &QTcpSocket::readyRead, this,
                        [this, socket, received] { read(*socket, *received); });
                connect(socket, &QTcpSocket::disconnected, this, [this] { client_gone = true; });
            }
        });
        server_.listen(QHostAddress(report_endpoint().host()),
                       static_cast<quint16>(report_endpoint().port(80)));
    }
    explicit ScriptedServer(const Script &script)
        : ScriptedServer([script](const Posted &) { return script; }) {}
    bool listening() const { return server_.isListening(); }

    QVector<Posted> posted;
    bool client_gone = false;

private:
    void read(QTcpSocket &socket, QByteArray &received) {
        received += socket.readAll();
        const int end = received.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        const QByteArray head = received.left(end);
        const QRegularExpression length_line("\ncontent-length: *([0-9]+)",
                                             QRegularExpression::CaseInsensitiveOption);
        const int length = length_line.match(head).captured(1).toInt();
        if (received.size() < end + 4 + length)
            return;
        posted.append({head, received.mid(end + 4, length)});
        received.remove(0, end + 4 + length);
        write(socket, answers_(posted.last()));
    }
    void write(QTcpSocket &socket, Script script) {
        if (script.isEmpty())
            return;
        const Piece piece = script.takeFirst();
        QTimer::singleShot(piece.first, Qt::PreciseTimer, &socket,
                           [this, &socket, bytes = piece.second, rest = script] {
                               socket.write(bytes);
                               write(socket, rest);
                           });
    }

    QTcpServer server_;
    Answers answers_;
};
