#pragma once

#include "platform/WindowList.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QProcess>
#include <QTest>
#include <QWidget>

#include <cmath>

// A person's mouse and keyboard on the private test desktop (xdotool), and a look at what the
// bridge stored. xdotool counts the desktop's pixels, the test logical ones: `scale` apart.
namespace DesktopInput {

inline double scale() {
    static const double factor = qEnvironmentVariable("QT_SCALE_FACTOR", QStringLiteral("1")).toDouble();
    return factor;
}

inline void xdotool(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral("xdotool"), arguments);
    process.waitForFinished(10000);
}

inline bool near(const QRectF& a, const QRectF& b, double within = 1) {
    return std::abs(a.x() - b.x()) <= within && std::abs(a.y() - b.y()) <= within &&
           std::abs(a.width() - b.width()) <= within && std::abs(a.height() - b.height()) <= within;
}

// The desktop pixel a logical point lies in.
inline QPoint pixel(const QPointF& logical) {
    return QPoint(int(std::floor(logical.x() * scale())), int(std::floor(logical.y() * scale())));
}

inline void moveTo(const QPointF& logical) {
    const QPoint at = pixel(logical);
    xdotool({QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y())});
}

// A left click where the mouse is; with Shift held when `shift`.
inline void click(bool shift = false) {
    if (shift)
        xdotool({QStringLiteral("keydown"), QStringLiteral("shift")});
    xdotool({QStringLiteral("click"), QStringLiteral("1")});
    if (shift)
        xdotool({QStringLiteral("keyup"), QStringLiteral("shift")});
}

// A click on a widget once the window manager's frame around its window is where the toolkit put
// the window, at its size: until the frame follows, a click on a grown part goes to the frame.
inline bool click(QWidget* widget, platform::WindowList& windows, int patience = 20000) {
    QWidget* window = widget->window();
    const auto framed = [&] {
        for (const auto& entry : windows.onScreenWindows().value_or(std::vector<platform::WindowEntry>{})) {
            if (entry.number == quint32(window->winId()))
                return entry.bounds && near(*entry.bounds, QRectF(window->geometry()));
        }
        return false;
    };
    if (!QTest::qWaitFor(framed, patience))
        return false;
    const QPoint at = (QPointF(widget->mapTo(window, widget->rect().center())) * scale()).toPoint();
    xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), QString::number(window->winId()),
             QString::number(at.x()), QString::number(at.y())});
    xdotool({QStringLiteral("click"), QStringLiteral("1")});
    return true;
}

// GET, or POST with a JSON body, to the bridge on loopback; the reply's body.
inline QByteArray request(const QString& url, const std::optional<QByteArray>& post = std::nullopt) {
    QNetworkAccessManager network;
    network.setProxy(QNetworkProxy::NoProxy);
    QNetworkRequest message{QUrl(url)};
    message.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    QNetworkReply* reply = post ? network.post(message, *post) : network.get(message);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    reply->deleteLater();
    return reply->readAll();
}

} // namespace DesktopInput
