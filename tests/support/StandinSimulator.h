#pragma once

#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSizeF>
#include <QTemporaryDir>

// The stand-in device simulator (tools/standin-simulator) run by a test, with a registry of its own
// so that its xcrun sees only it. Needs the test desktop (scripts/with-desktop.sh).
class StandinSimulator {
public:
    struct Device {
        QString udid;
        QString name;
        QString runtime;
        QSizeF screen; // points
        quint32 window = 0;
    };

    StandinSimulator() {
        m_environment = QProcessEnvironment::systemEnvironment();
        m_environment.insert(QStringLiteral("STANDIN_SIMULATOR_REGISTRY"), m_registry.path());
    }
    ~StandinSimulator() { stop(); }

    static QString directory() { return QStringLiteral(TALLYRIG_TEST_STANDIN_DIR); }
    // Its xcrun's folder, to put first on PATH.
    static QString bin() { return directory() + QStringLiteral("/bin"); }
    QString registry() const { return m_registry.path(); }

    // Starts it and waits until it has announced its `count` devices, which it does once every
    // window opened without --minimized is on screen.
    bool start(const QStringList& arguments, int count = 1) {
        m_process.setProcessEnvironment(m_environment);
        m_process.setProgram(directory() + QStringLiteral("/standin-simulator"));
        m_process.setArguments(arguments);
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        m_process.start();
        if (!m_process.waitForStarted(10000))
            return false;
        QElapsedTimer clock;
        clock.start();
        QByteArray pending;
        while (m_devices.size() < count && clock.elapsed() < startLimit) {
            if (!m_process.waitForReadyRead(500) && m_process.state() != QProcess::Running)
                break;
            pending += m_process.readAllStandardOutput();
            qsizetype end;
            while ((end = pending.indexOf('\n')) >= 0) {
                const QJsonObject line = QJsonDocument::fromJson(pending.left(end)).object();
                pending.remove(0, end + 1);
                const auto screen = line.value(QStringLiteral("screen")).toArray();
                m_devices.append({line.value(QStringLiteral("udid")).toString(),
                                  line.value(QStringLiteral("name")).toString(),
                                  line.value(QStringLiteral("runtime")).toString(),
                                  QSizeF(screen.at(0).toDouble(), screen.at(1).toDouble()),
                                  quint32(line.value(QStringLiteral("window")).toDouble())});
                m_pid = qint32(line.value(QStringLiteral("pid")).toInt());
            }
        }
        if (m_devices.size() < count)
            qWarning("stand-in: %s", m_process.readAllStandardError().constData());
        return m_devices.size() >= count;
    }

    // Blocks its main loop for that long; returns once it no longer answers.
    bool hang(double seconds) {
        QProcess hang;
        hang.setProcessEnvironment(m_environment);
        hang.start(directory() + QStringLiteral("/standin-simulator"),
                   {QStringLiteral("hang"), QString::number(m_pid), QString::number(seconds)});
        return hang.waitForFinished(10000) && hang.exitCode() == 0;
    }

    void stop() {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(2000);
        }
    }

    qint32 pid() const { return m_pid; }
    const QList<Device>& devices() const { return m_devices; }

private:
    static constexpr qint64 startLimit = 20000;
    QTemporaryDir m_registry;
    QProcessEnvironment m_environment;
    QProcess m_process;
    QList<Device> m_devices;
    qint32 m_pid = 0;
};
