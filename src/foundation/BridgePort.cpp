#include "foundation/BridgePort.h"

#include <QRegularExpression>

bool BridgePort::formsAddress() const {
    const QUrl url(baseAddress() + QStringLiteral("/api/bootstrap"), QUrl::StrictMode);
    return url.isValid() && url.port() == number;
}

QString BridgePort::baseAddress() const {
    return QStringLiteral("http://127.0.0.1:") + text();
}

QUrl BridgePort::bootstrapUrl() const {
    return QUrl(baseAddress() + QStringLiteral("/api/bootstrap"));
}

std::optional<BridgePort> BridgePort::fromText(const QString& text) {
    static const QRegularExpression digits(QStringLiteral("^-?[0-9]+$"));
    if (!digits.match(text).hasMatch())
        return std::nullopt;
    bool ok = false;
    const qint64 number = text.toLongLong(&ok);
    if (!ok)
        return std::nullopt;
    return BridgePort(number);
}
