#include "support/TestHttpServer.h"

#include <QTcpSocket>

TestHttpServer::TestHttpServer(Handler handler, QObject* parent)
    : QObject(parent), m_handler(std::move(handler)) {
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            socket->setParent(this);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { serve(socket); });
        }
    });
}

bool TestHttpServer::listen(quint16 port) {
    return m_server.listen(QHostAddress::LocalHost, port);
}

void TestHttpServer::serve(QTcpSocket* socket) {
    QByteArray buffer = socket->property("buffer").toByteArray() + socket->readAll();
    socket->setProperty("buffer", buffer);
    if (!buffer.contains("\r\n\r\n") || socket->property("answered").toBool())
        return;
    socket->setProperty("answered", true);

    const QList<QByteArray> requestLine = buffer.left(buffer.indexOf("\r\n")).split(' ');
    const QByteArray method = requestLine.value(0);
    const QString path = QString::fromLatin1(requestLine.value(1));
    m_paths.append(path);
    emit requested(path);

    const Reply reply = m_handler ? m_handler(method, path) : Reply{404, {}, {}};
    if (reply.never)
        return;
    if (reply.held) {
        m_held.append(socket);
        return;
    }
    write(socket, reply);
}

void TestHttpServer::answerHeld(const Reply& reply) {
    for (QTcpSocket* socket : std::exchange(m_held, {}))
        write(socket, reply);
}

void TestHttpServer::write(QTcpSocket* socket, const Reply& reply) {
    QByteArray response = "HTTP/1.1 " + QByteArray::number(reply.status) + " Test\r\n";
    if (!reply.contentType.isEmpty())
        response += "Content-Type: " + reply.contentType + "\r\n";
    response += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
    response += "Connection: close\r\n\r\n" + reply.body;
    socket->write(response);
    socket->disconnectFromHost();
}

quint16 TestHttpServer::freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}
