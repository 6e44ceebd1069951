#pragma once

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QString>
#include <QTcpSocket>

namespace TestRepository {

// A repository folder (with ".git") whose tallyrig.config.json names `port`; returns its path.
inline QString make(const QString& parent, const QString& name, quint16 port) {
    const QString folder = parent + QLatin1Char('/') + name;
    QDir().mkpath(folder + QStringLiteral("/.git"));
    QFile config(folder + QStringLiteral("/tallyrig.config.json"));
    if (config.open(QIODevice::WriteOnly))
        config.write(QStringLiteral("{\"port\": %1}\n").arg(port).toUtf8());
    return folder;
}

// True when something accepts connections on the loopback port.
inline bool answers(quint16 port) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    return socket.waitForConnected(500);
}

} // namespace TestRepository
