#pragma once

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

// What libatspi itself reports of an application's element (tests/platform/atspi_probe.py), and an
// element's action done over the accessibility bus as assistive technologies do it. The event loop
// turns while the probe runs: the application it asks may be this one.
namespace AtspiProbe {

inline QJsonObject run(const QStringList& arguments) {
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 QStringList{QStringLiteral(TALLYRIG_TEST_SOURCE_DIR "/tests/platform/atspi_probe.py")} +
                     arguments);
    if (!QTest::qWaitFor([&] { return python.state() == QProcess::NotRunning; }, 30000)) {
        python.kill();
        python.waitForFinished(5000);
        return {};
    }
    return QJsonDocument::fromJson(python.readAllStandardOutput()).object();
}

// The nth shown element with this AT-SPI role name and name; empty when there is none.
inline QJsonObject element(qint32 pid, const QString& role, const QString& name, int nth = 0) {
    return run({QString::number(pid), role, name, QString::number(nth)});
}

// Does `action` ("Press", "ShowMenu"…) of the first shown element with this role name and name,
// inside the shown element `within` names (role name, name) when given. True when it was done.
inline bool act(qint32 pid, const QString& role, const QString& name, const QString& action,
                const QStringList& within = {}) {
    QStringList arguments{QString::number(pid), role, name, QStringLiteral("--do"), action};
    if (within.size() == 2)
        arguments += QStringList{QStringLiteral("--in")} + within;
    return run(arguments).value(QStringLiteral("done")).toBool();
}

} // namespace AtspiProbe
