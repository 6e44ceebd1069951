// The yardsticks for Tallyrig's start-up: a plain Qt Widgets + Network app that shows a window and,
// once it is shown, sends one GET to http://127.0.0.1:<port>/api/bootstrap, as Tallyrig's first
// probe does; with --bare, the same GET sent as soon as the application object exists, with no
// window: what no Qt Widgets app can beat. Arguments: the port, then optionally --bare.
#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QTimer>

namespace {

void probe(QNetworkAccessManager& network, int port) {
    QNetworkRequest request(QUrl(QStringLiteral("http://127.0.0.1:%1/api/bootstrap").arg(port)));
    request.setTransferTimeout(2000);
    QNetworkReply* reply = network.get(request);
    QObject::connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
}

class Window : public QMainWindow {
public:
    explicit Window(int port) : m_port(port) {
        setWindowTitle(QStringLiteral("Minimal"));
        setCentralWidget(new QLabel(QStringLiteral("Waiting for a bridge…"), this));
        resize(1280, 850);
        m_network.setProxy(QNetworkProxy::NoProxy);
    }

protected:
    void showEvent(QShowEvent* event) override {
        QMainWindow::showEvent(event);
        if (m_asked)
            return;
        m_asked = true;
        probe(m_network, m_port);
    }

private:
    int m_port;
    bool m_asked = false;
    QNetworkAccessManager m_network;
};

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const int port = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 4747;
    if (argc > 2 && qstrcmp(argv[2], "--bare") == 0) {
        QNetworkAccessManager network;
        network.setProxy(QNetworkProxy::NoProxy);
        probe(network, port);
        return QApplication::exec();
    }
    Window window(port);
    window.show();
    return QApplication::exec();
}
