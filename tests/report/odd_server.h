#pragma once

#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

// A report server that answers as told, piece by piece, on the thread that made it. It records
// the one request it gets; an empty script never answers.
class OddServer : public QObject {
    Q_OBJECT

public:
    // Bytes written after a pause in milliseconds.
    using Piece = QPair<int, QByteArray>;

    explicit OddServer(QList<Piece> script);
    bool listen(const QHostAddress &address, quint16 port) { return server_.listen(address, port); }

    QByteArray request_head() const { return head_; }
    QByteArray request_body() const { return body_; }
    bool request_complete() const { return complete_; }
    bool client_gone() const { return client_gone_; }

    // The whole answer of a 200 with the given body.
    static QByteArray ok_answer(const QByteArray &body) {
        return "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body.size()) +
               "\r\n\r\n" + body;
    }

private:
    void read();
    void write_next();

    QTcpServer server_;
    QPointer<QTcpSocket> socket_;
    QList<Piece> script_;
    QByteArray received_, head_, body_;
    bool complete_ = false;
    bool client_gone_ = false;
};
