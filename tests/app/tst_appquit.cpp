// The real application binary: it reopens its last project, starts that project's bridge, and
// stops it again when it is told to quit; a bridge it only adopted keeps running.
#include "support/ReferenceBridge.h"
#include "support/TestHttpServer.h"
#include "support/TestRepository.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using TestRepository::answers;

class TestAppQuit : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString repository(const QString& name, quint16 port) {
        return TestRepository::make(m_dir.path(), name, port);
    }

    QString m_config;

    // Starts the app with settings whose most recent project is `project`.
    void launch(QProcess& app, const QString& project) {
        static int serial = 0;
        const QString config = m_config = m_dir.filePath(QStringLiteral("config%1").arg(++serial));
        QDir().mkpath(config + QStringLiteral("/Tallyrig"));
        QFile settings(config + QStringLiteral("/Tallyrig/settings.json"));
        QVERIFY(settings.open(QIODevice::WriteOnly));
        settings.write(QStringLiteral("{\"recentProjects\": [\"%1\"]}").arg(project).toUtf8());
        settings.close();

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
        env.insert(QStringLiteral("SHELL"), QStringLiteral(TALLYRIG_TEST_FIXTURES "/shell-plain.sh"));
        env.insert(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("1"));
        app.setProcessEnvironment(env);
        app.setProcessChannelMode(QProcess::MergedChannels);
        app.start(QStringLiteral(TALLYRIG_TEST_BUNDLE "/Contents/MacOS/Tallyrig"), {});
        QVERIFY(app.waitForStarted(5000));
    }

    QString readSettings() const {
        QFile file(m_config + QStringLiteral("/Tallyrig/settings.json"));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

private slots:
    void quittingStopsTheBridgeTheAppStarted_data() {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
    }
    void quittingStopsTheBridgeTheAppStarted() {
        QFETCH(int, signal);
        const quint16 port = TestHttpServer::freePort();
        QProcess app;
        launch(app, repository(QStringLiteral("app-%1").arg(signal), port));
        QTRY_VERIFY_WITH_TIMEOUT(answers(port), 30000);

        ::kill(pid_t(app.processId()), signal);
        QVERIFY(app.waitForFinished(10000));
        QCOMPARE(app.exitStatus(), QProcess::NormalExit);
        QCOMPARE(app.exitCode(), 0);
        QVERIFY2(!answers(port), app.readAll().constData());
    }

    void anAdoptedBridgeOutlivesTheApp() {
        ReferenceBridge outside;
        QVERIFY2(outside.start(), qPrintable(outside.log()));
        QProcess app;
        launch(app, outside.folder());
        // Once adopted, the window stores the bridge's port.
        const QString stored = QStringLiteral("\"bridgePort\": %1").arg(outside.port());
        QTRY_VERIFY_WITH_TIMEOUT(readSettings().contains(stored), 30000);
        ::kill(pid_t(app.processId()), SIGTERM);
        QVERIFY(app.waitForFinished(10000));
        QCOMPARE(app.exitCode(), 0);
        QVERIFY(answers(outside.port()));
    }
};

QTEST_GUILESS_MAIN(TestAppQuit)
#include "tst_appquit.moc"
