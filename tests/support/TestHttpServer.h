#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QTcpServer>

#include <functional>
#include <optional>

// A loopback HTTP server that answers what the test says, for the edge cases no real bridge
// produces: 404s, HTML, bare JSON texts, and answers that never come.
class TestHttpServer : public QObject {
    Q_OBJECT
public:
    struct Reply {
        int status = 200;
        QByteArray body;
        QByteArray contentType = "application/json";
        bool never = false; // accept the request and never answer
        bool held = false;  // accept the request and answer when the test says (answerHeld)
        QList<QPair<QByteArray, QByteArray>> headers = {};
    };
    using Handler = std::function<Reply(const QByteArray& method, const QString& path)>;
    // A request as it arrived, its body complete (as far as "Content-Length" says).
    struct Request {
        QByteArray method;
        QString path;
        QList<QPair<QByteArray, QByteArray>> headers = {}; // names lower-cased
        QByteArray body;
        std::optional<QByteArray> header(const QByteArray& name) const;
    };

    explicit TestHttpServer(Handler handler, QObject* parent = nullptr);

    bool listen(quint16 port = 0);
    quint16 port() const { return m_server.serverPort(); }
    void setHandler(Handler handler) { m_handler = std::move(handler); }

    int requestCount() const { return int(m_paths.size()); }
    QList<QString> paths() const { return m_paths; }
    QList<Request> requests() const { return m_requests; }
    // How many requests asked for exactly this path.
    int count(const QString& path) const { return int(m_paths.count(path)); }

    static Reply json(QByteArray body, int status = 200) {
        return {status, std::move(body), "application/json"};
    }
    static Reply html(QByteArray body, int status = 200) { return {status, std::move(body), "text/html"}; }
    static Reply redirect(QByteArray location, int status = 307, QByteArray body = {}) {
        Reply reply = json(std::move(body), status);
        reply.headers.append({"Location", std::move(location)});
        return reply;
    }
    static Reply silent() { return {200, {}, {}, true}; }
    static Reply hold() { return {200, {}, {}, false, true}; }

    // Answers every request held so far with `reply`.
    void answerHeld(const Reply& reply);

    // For what must know its port before anything binds it (a bridge a configuration names, a
    // port the window waits on): nothing listens on it now, and no other test process, nor the
    // system's choice for listen(0), hands it out; a new one on each call. A server of the test's
    // own listens on port 0 instead.
    static quint16 freePort();

signals:
    void requested(const QString& path);

private:
    void serve(class QTcpSocket* socket);
    static void write(class QTcpSocket* socket, const Reply& reply);

    QTcpServer m_server;
    Handler m_handler;
    QList<QString> m_paths;
    QList<Request> m_requests;
    QHash<class QTcpSocket*, QByteArray> m_buffers;
    QList<class QTcpSocket*> m_held;
};
