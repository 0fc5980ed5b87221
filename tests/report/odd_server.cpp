#include "odd_server.h"

#include <QTimer>

OddServer::OddServer(QList<Piece> script) : script_(std::move(script)) {
    connect(&server_, &QTcpServer::newConnection, this, [this] {
        QTcpSocket *socket = server_.nextPendingConnection();
        if (socket_ != nullptr) {
            socket->abort();
            return;
        }
        socket_ = socket;
        connect(socket, &QTcpSocket::readyRead, this, &OddServer::read);
        connect(socket, &QTcpSocket::disconnected, this, [this] { client_gone_ = true; });
        read();
    });
}

void OddServer::read() {
    received_ += socket_->readAll();
    const int end = received_.indexOf("\r\n\r\n");
    if (complete_ || end < 0)
        return;
    head_ = received_.left(end);
    int length = 0;
    for (const QByteArray &line : head_.split('\n')) {
        if (line.toLower().startsWith("content-length:"))
            length = line.mid(15).trimmed().toInt();
    }
    if (received_.size() < end + 4 + length)
        return;
    body_ = received_.mid(end + 4, length);
    complete_ = true;
    write_next();
}

void OddServer::write_next() {
    if (script_.isEmpty() || socket_ == nullptr)
        return;
    const Piece piece = script_.takeFirst();
    QTimer::singleShot(piece.first, this, [this, bytes = piece.second] {
        if (socket_ == nullptr)
            return;
        socket_->write(bytes);
        socket_->flush();
        write_next();
    });
}
