#include "support/TestHttpServer.h"

#include "foundation/LoopbackNetwork.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTcpSocket>
#include <QTimer>

namespace {

// Qt's HTTP thread drops the calls still queued for it when the application ends: the clean-up of
// a request that ended or was aborted just before is lost, and its objects leak. On a busy machine
// that thread has often not caught up by then. So as the application ends, one round trip lets
// both threads handle what is pending, and a synchronous request, which the HTTP thread takes after
// everything queued before it and whose own objects go with that thread, flushes what the round
// trip left. Nothing listens on port 0: it fails at once, without the UI thread it blocks.
void settleLoopbackNetwork() {
    TestHttpServer server([](const QByteArray&, const QString&) { return TestHttpServer::json("{}"); });
    if (server.listen()) {
        QNetworkReply* reply = loopbackNetwork().get(
            QNetworkRequest(QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(server.port()))));
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(30000, &loop, &QEventLoop::quit);
        if (!reply->isFinished())
            loop.exec();
    }
    QNetworkRequest flush(QUrl(QStringLiteral("http://127.0.0.1:0/")));
    flush.setAttribute(QNetworkRequest::SynchronousRequestAttribute, true);
    flush.setTransferTimeout(30000);
    delete loopbackNetwork().get(flush);
}

} // namespace

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

TestHttpServer::TestHttpServer(Handler handler, QObject* parent)
    : QObject(parent), m_handler(std::move(handler)) {
    static const bool settles = (qAddPostRoutine(settleLoopbackNetwork), true);
    Q_UNUSED(settles);
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
    for (const auto& [name, value] : reply.headers)
        response += name + ": " + value + "\r\n";
    response += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
    response += "Connection: close\r\n\r\n" + reply.body;
    socket->write(response);
    socket->disconnectFromHost();
}

namespace {

// Below every system's ephemeral range (Linux from 32768, macOS from 49152), so that no listen(0)
// and no outgoing connection of any process is given one of these, cut into blocks.
constexpr int firstPort = 20000;
constexpr int blockSize = 64;
constexpr int blockCount = 150;

// The block this process holds: every test process locks one for its life, so two under
// `ctest -j` never share a block. The lock ends with the process, however it ends.
int heldBlock() {
    static const int block = [] {
        const QString folder = QDir::tempPath() + QStringLiteral("/tallyrig-test-ports");
        QDir().mkpath(folder);
        const int first = int(QCoreApplication::applicationPid() % blockCount);
        for (int i = 0; i < blockCount; ++i) {
            const int candidate = (first + i) % blockCount;
            const QByteArray path = QFile::encodeName(folder + QStringLiteral("/block-%1").arg(candidate));
            // Not inherited: a child left running must not keep the block from the next process.
            const int descriptor = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
            if (descriptor < 0)
                continue;
            if (::flock(descriptor, LOCK_EX | LOCK_NB) == 0)
                return candidate; // kept open, and so locked, until the process ends
            ::close(descriptor);
        }
        return first;
    }();
    return block;
}

} // namespace

quint16 TestHttpServer::freePort() {
    static int next = 0;
    const int base = firstPort + heldBlock() * blockSize;
    for (int tried = 0; tried < blockSize; ++tried) {
        const auto port = quint16(base + next++ % blockSize);
        // Some other program may hold it.
        QTcpServer probe;
        if (probe.listen(QHostAddress::LocalHost, port))
            return port;
    }
    qWarning("no port left in the test block from %d; the system chooses one", base);
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
