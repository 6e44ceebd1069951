#pragma once

#include "bridge/BridgeProcess.h"
#include "bridge/Probe.h"
#include "foundation/Settings.h"
#include "support/TestPlatform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <memory>

using namespace std::chrono_literals;

namespace BridgeTest {

inline QString fixture(const QString& name) {
    return QStringLiteral(TALLYRIG_TEST_FIXTURES "/") + name;
}

// Compressed so the whole suite stays fast; every test waits for states, never for time.
inline BridgeProcess::Timings fast() {
    BridgeProcess::Timings timings;
    timings.probeTimeout = 500ms;
    timings.startAttempts = 25;
    timings.startInterval = 20ms;
    timings.stopPolls = 10;
    timings.stopInterval = 20ms;
    timings.quitWait = 500ms;
    timings.loginShellWatch = 300ms;
    timings.loginShellKillGrace = 200ms;
    return timings;
}

inline BridgeRuntime fakeRuntime() {
    return {fixture(QStringLiteral("fake-node.sh")), QStringLiteral("/fake/bridge/bin/tallyrig.mjs")};
}

inline void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    file.write(bytes);
}

inline QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline void writeConfig(const QString& folder, qint64 port) {
    writeFile(folder + QStringLiteral("/tallyrig.config.json"),
              "{\"port\": " + QByteArray::number(port) + "}\n");
}

// True while the process exists and is not a zombie.
inline bool alive(qint64 pid) {
    if (pid <= 0 || ::kill(pid_t(pid), 0) != 0)
        return false;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true; // no procfs: kill() said it is there
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    return close < 0 || line.mid(close + 2, 1) != "Z";
}

// Settings on a file of their own, never the user's.
struct TempSettings {
    QTemporaryDir dir;
    std::unique_ptr<Settings> settings;
    TempSettings() { settings = std::make_unique<Settings>(path()); }
    QString path() const { return dir.filePath(QStringLiteral("settings.json")); }
};

} // namespace BridgeTest

// Readable values in failure messages.
inline char* toString(const Probe& probe) {
    static const char* const kinds[] = {"free", "foreign", "bridge"};
    return QTest::toString(QString::fromLatin1(kinds[int(probe.kind)]) +
                           (probe.project.isEmpty() ? QString() : QStringLiteral(" ") + probe.project));
}

inline char* toString(const BridgePort& port) {
    return QTest::toString(port.text());
}

inline char* toString(const BridgeProcess::State& state) {
    static const char* const kinds[] = {"idle", "starting", "running", "external", "failed"};
    return QTest::toString(
        QString::fromLatin1(kinds[int(state.kind)]) +
        (state.text.isEmpty() ? QString() : QStringLiteral(" \"") + state.text + QStringLiteral("\"")));
}

Q_DECLARE_METATYPE(Probe)
Q_DECLARE_METATYPE(BridgeProcess::State)
