#include "foundation/Settings.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class TestSettings : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString fileWith(const QByteArray& contents) {
        static int serial = 0;
        const QString path = m_dir.filePath(QStringLiteral("s%1/settings.json").arg(++serial));
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(contents);
        return path;
    }

private slots:
    void storedValuesOfTheWrongTypeReadAsDefaults_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<int>("port");
        QTest::addColumn<bool>("panel");
        QTest::addColumn<QStringList>("recents");
        const QStringList none;
        QTest::newRow("proper values")
            << QByteArray(R"({"bridgePort":5000,"simulatorPanel":false,"recentProjects":["/a","/b"]})")
            << 5000 << false << QStringList{"/a", "/b"};
        QTest::newRow("port as text") << QByteArray(R"({"bridgePort":"5000"})") << 4747 << true << none;
        QTest::newRow("port as fraction") << QByteArray(R"({"bridgePort":5000.5})") << 4747 << true << none;
        QTest::newRow("port beyond an int")
            << QByteArray(R"({"bridgePort":99999999999})") << 4747 << true << none;
        QTest::newRow("negative port kept") << QByteArray(R"({"bridgePort":-3})") << -3 << true << none;
        QTest::newRow("panel as number") << QByteArray(R"({"simulatorPanel":0})") << 4747 << true << none;
        QTest::newRow("panel as text") << QByteArray(R"({"simulatorPanel":"false"})") << 4747 << true << none;
        QTest::newRow("recents as one text")
            << QByteArray(R"({"recentProjects":"/a"})") << 4747 << true << none;
        QTest::newRow("recents with a number")
            << QByteArray(R"({"recentProjects":["/a",3]})") << 4747 << true << none;
        QTest::newRow("empty file") << QByteArray() << 4747 << true << none;
        QTest::newRow("corrupt file") << QByteArray("{\"bridgePort\": 50") << 4747 << true << none;
        QTest::newRow("top level array") << QByteArray("[1,2]") << 4747 << true << none;
    }
    void storedValuesOfTheWrongTypeReadAsDefaults() {
        QFETCH(QByteArray, json);
        QFETCH(int, port);
        QFETCH(bool, panel);
        QFETCH(QStringList, recents);
        Settings settings(fileWith(json));
        QCOMPARE(settings.bridgePort(), port);
        QCOMPARE(settings.simulatorPanel(), panel);
        QCOMPARE(settings.recentProjects(), recents);
    }

    void missingFileAndFolderInItsPlaceGiveDefaults() {
        Settings missing(m_dir.filePath(QStringLiteral("nowhere/settings.json")));
        QCOMPARE(missing.bridgePort(), 4747);
        QVERIFY(missing.simulatorPanel());

        const QString folder = m_dir.filePath(QStringLiteral("folder/settings.json"));
        QDir().mkpath(folder);
        Settings blocked(folder);
        QCOMPARE(blocked.bridgePort(), 4747);
        blocked.setBridgePort(5001); // cannot be written, but the app goes on with it
        QCOMPARE(blocked.bridgePort(), 5001);
    }

    void writingAKeyKeepsTheOthersAndSurvivesARestart() {
        const QString path =
            fileWith(R"({"simulatorPanel":false,"recentProjects":["/x"],"future":{"kept":true}})");
        {
            Settings settings(path);
            settings.setBridgePort(6000);
        }
        Settings reread(path);
        QCOMPARE(reread.bridgePort(), 6000);
        QCOMPARE(reread.simulatorPanel(), false);
        QCOMPARE(reread.recentProjects(), QStringList{"/x"});
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        QVERIFY(file.readAll().contains("\"future\""));
    }

    // The window each project's panel follows: kept per project across a restart, forgotten for the
    // Simulator, and none where what is stored is not such a window.
    void targetWindowsPerProject() {
        const QString path = fileWith(
            R"({"targetWindows":{"/bad/a":"x","/bad/b":{"windowClass":3},"/bad/c":{"windowClass":""}}})");
        {
            Settings settings(path);
            for (const char* bad : {"/bad/a", "/bad/b", "/bad/c", "/none"})
                QCOMPARE(settings.targetWindow(QString::fromLatin1(bad)), std::nullopt);
            settings.setTargetWindow(QStringLiteral("/p"), Settings::TargetWindow{"Gtk4", "/usr/bin/gtk4"});
            settings.setTargetWindow(QStringLiteral("/q"), Settings::TargetWindow{"firefox-esr", ""});
            settings.setTargetWindow(QStringLiteral("/q"), std::nullopt);
        }
        Settings reread(path);
        QCOMPARE(reread.targetWindow(QStringLiteral("/p")),
                 std::optional(Settings::TargetWindow{"Gtk4", "/usr/bin/gtk4"}));
        QCOMPARE(reread.targetWindow(QStringLiteral("/q")), std::nullopt);
        QCOMPARE(Settings(fileWith(R"({"targetWindows":[1]})")).targetWindow(QStringLiteral("/p")),
                 std::nullopt);
    }

    void anUnreadableFileIsKeptAsideWhenReplaced() {
        const QString path = fileWith("not json at all");
        Settings settings(path);
        settings.setSimulatorPanel(false);
        QFile aside(path + QStringLiteral(".unreadable"));
        QVERIFY(aside.open(QIODevice::ReadOnly));
        QCOMPARE(aside.readAll(), QByteArray("not json at all"));
        QCOMPARE(Settings(path).simulatorPanel(), false);
    }

    void changesAreAnnouncedOnlyWhenTheValueChanges() {
        Settings settings(fileWith("{}"));
        QSignalSpy port(&settings, &Settings::bridgePortChanged);
        QSignalSpy panel(&settings, &Settings::simulatorPanelChanged);
        QSignalSpy recents(&settings, &Settings::recentProjectsChanged);
        settings.setBridgePort(4747);
        settings.setSimulatorPanel(true);
        settings.setRecentProjects({});
        QCOMPARE(port.count() + panel.count() + recents.count(), 0);
        settings.setBridgePort(4800);
        settings.setSimulatorPanel(false);
        settings.setRecentProjects({"/p"});
        QCOMPARE(port.count(), 1);
        QCOMPARE(port.first().first().toInt(), 4800);
        QCOMPARE(panel.count(), 1);
        QCOMPARE(recents.count(), 1);
    }

    void defaultLocationFollowsXdgConfigHome() {
        qputenv("XDG_CONFIG_HOME", "/tmp/xdg-example");
        QCOMPARE(Settings::defaultFilePath(), QStringLiteral("/tmp/xdg-example/Tallyrig/settings.json"));
        qputenv("XDG_CONFIG_HOME", "relative/ignored");
        QCOMPARE(Settings::defaultFilePath(),
                 QDir::homePath() + QStringLiteral("/.config/Tallyrig/settings.json"));
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
