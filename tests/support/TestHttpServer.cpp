#include "support/TestHttpServer.h"

#include <QTcpSocket>

TestHttpServer::TestHttpServer(Handler handler, QObject* parent)
    : QObject(parent), m_handler(std::move(handler)) {
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            socket->setParent(this);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { serve(socket); });
            connect(socket, &QObject::destroyed, this, [this, socket] { m_buffers.remove(socket); });
        }
    });
}

bool TestHttpServer::listen(quint16 port) {
    return m_server.listen(QHostAddress::LocalHost, port);
}

void TestHttpServer::serve(QTcpSocket* socket) {
    if (socket->property("answered").toBool()) {
        socket->readAll();
        return;
    }
    QByteArray& buffer = m_buffers[socket];
    buffer += socket->readAll();
    const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
    if (headerEnd < 0)
        return;

    Request request;
    const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    request.method = requestLine.value(0);
    request.path = QString::fromLatin1(requestLine.value(1));
    qsizetype length = 0;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon < 0)
            continue;
        const QByteArray name = lines[i].left(colon).trimmed().toLower();
        const QByteArray value = lines[i].mid(colon + 1).trimmed();
        request.headers.append({name, value});
        if (name == "content-length")
            length = value.toLongLong();
    }
    // The answer waits for the whole body.
    if (buffer.size() - (headerEnd + 4) < length)
        return;
    request.body = buffer.mid(headerEnd + 4, length);
    m_buffers.remove(socket);
    socket->setProperty("answered", true);

    const QByteArray method = request.method;
    const QString path = request.path;
    m_paths.append(path);
    m_requests.append(request);
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

std::optional<QByteArray> TestHttpServer::Request::header(const QByteArray& name) const {
    for (const auto& [key, value] : headers) {
        if (key == name.toLower())
            return value;
    }
    return std::nullopt;
}
