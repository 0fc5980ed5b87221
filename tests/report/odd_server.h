#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QPair>
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
    bool listen(const QHostAddress &address, quint16 port);

    QByteArray request_head() const { return head_; }
    QByteArray request_body() const { return body_; }
    bool request_complete() const { return complete_; }
    bool client_gone() const { return client_gone_; }

    // The whole answer of a 200 with the given body.
    static QByteArray ok_answer(const QByteArray &body);

private:
    void accept();
    void read();
    void write_next();

    QTcpServer server_;
    QPointer<QTcpSocket> socket_;
    QList<Piece> script_;
    QByteArray received_;
    QByteArray head_;
    QByteArray body_;
    bool complete_ = false;
    bool client_gone_ = false;
};
