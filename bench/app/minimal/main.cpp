// The yardstick for Tallyrig's start-up: a plain Qt Widgets + Network app that shows a window and,
// once it is shown, sends one GET to http://127.0.0.1:<port>/api/bootstrap, as Tallyrig's first
// probe does. Argument: the port.
#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QTimer>

namespace {

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
        QNetworkRequest request(QUrl(QStringLiteral("http://127.0.0.1:%1/api/bootstrap").arg(m_port)));
        request.setTransferTimeout(2000);
        QNetworkReply* reply = m_network.get(request);
        connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
    }

private:
    int m_port;
    bool m_asked = false;
    QNetworkAccessManager m_network;
};

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    Window window(argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 4747);
    window.show();
    return QApplication::exec();
}
