#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QTcpServer>

#include <functional>

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
    };
    using Handler = std::function<Reply(const QByteArray& method, const QString& path)>;

    explicit TestHttpServer(Handler handler, QObject* parent = nullptr);

    bool listen(quint16 port = 0);
    quint16 port() const { return m_server.serverPort(); }
    void setHandler(Handler handler) { m_handler = std::move(handler); }

    int requestCount() const { return int(m_paths.size()); }
    QList<QString> paths() const { return m_paths; }

    static Reply json(QByteArray body, int status = 200) {
        return {status, std::move(body), "application/json"};
    }
    static Reply html(QByteArray body, int status = 200) { return {status, std::move(body), "text/html"}; }
    static Reply silent() { return {200, {}, {}, true}; }
    static Reply hold() { return {200, {}, {}, false, true}; }

    // Answers every request held so far with `reply`.
    void answerHeld(const Reply& reply);

    // A port on which nothing listens right now.
    static quint16 freePort();

signals:
    void requested(const QString& path);

private:
    void serve(class QTcpSocket* socket);
    static void write(class QTcpSocket* socket, const Reply& reply);

    QTcpServer m_server;
    Handler m_handler;
    QList<QString> m_paths;
    QList<class QTcpSocket*> m_held;
};
