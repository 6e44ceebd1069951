// Recent projects: loading, remembering on open, forgetting, and what is stored.
#include "BridgeTestSupport.h"
#include "support/TestHttpServer.h"

#include <QSignalSpy>
#include <qcoro/qcorotask.h>

using namespace BridgeTest;

class TestBridgeRecents : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void loading_data();
    void loading();
    void rememberedOnOpen_data();
    void rememberedOnOpen();
    void longStoredListIsCutAtTheNextOpen();
    void differentPathTextsAreDifferentEntries();
    void forget();

private:
    // Opens each folder; every opening fails fast because a web server holds the port.
    void openAll(BridgeProcess& bridge, const QStringList& folders);
    QString folder(const QString& name) const { return m_root->filePath(name); }
    QStringList stored() const { return Settings(m_settings->path()).recentProjects(); }

    std::unique_ptr<TempSettings> m_settings;
    std::unique_ptr<QTemporaryDir> m_root;
    std::unique_ptr<TestHttpServer> m_server;
};

void TestBridgeRecents::initTestCase() {
    qputenv("SHELL", QFile::encodeName(fixture("shell-plain.sh")));
}

void TestBridgeRecents::init() {
    m_settings = std::make_unique<TempSettings>();
    m_root = std::make_unique<QTemporaryDir>();
    m_server = std::make_unique<TestHttpServer>(
        [](const QByteArray&, const QString&) { return TestHttpServer::html("<p>not a bridge</p>"); });
    QVERIFY(m_server->listen());
    QDir(m_root->path()).mkdir(".git");
    writeConfig(m_root->path(), m_server->port());
}

void TestBridgeRecents::openAll(BridgeProcess& bridge, const QStringList& folders) {
    for (const QString& name : folders) {
        QDir().mkpath(folder(name));
        QCOMPARE(QCoro::waitFor(bridge.open(folder(name))), std::nullopt);
        QCOMPARE(bridge.state().kind, BridgeProcess::State::Kind::Failed);
    }
}

void TestBridgeRecents::loading_data() {
    QTest::addColumn<QByteArray>("storedJson");
    QTest::addColumn<QStringList>("expected");
    QStringList twelve;
    QByteArray twelveJson = "[";
    for (int i = 1; i <= 12; ++i) {
        twelve << QStringLiteral("/r/p%1").arg(i);
        twelveJson += (i > 1 ? ",\"" : "\"") + QByteArray("/r/p") + QByteArray::number(i) + "\"";
    }
    twelveJson += "]";
    QTest::newRow("nothing stored") << QByteArray() << QStringList();
    QTest::newRow("twelve, all shown") << twelveJson << twelve;
    QTest::newRow("a single text") << QByteArray(R"("/r/app")") << QStringList();
    QTest::newRow("a list with a number") << QByteArray(R"(["/r/app", 5])") << QStringList();
    QTest::newRow("missing folders kept")
        << QByteArray(R"(["/no/such/folder", "/r/app/"])") << QStringList{"/no/such/folder", "/r/app"};
    QTest::newRow("relative text made absolute")
        << QByteArray(R"(["rel/app"])") << QStringList{QDir::currentPath() + "/rel/app"};
}

void TestBridgeRecents::loading() {
    QFETCH(QByteArray, storedJson);
    QFETCH(QStringList, expected);
    if (!storedJson.isEmpty())
        writeFile(m_settings->path(), "{\"recentProjects\": " + storedJson + "}");
    Settings settings(m_settings->path());
    BridgeProcess bridge(settings, childProcesses(), fakeRuntime(), fast());
    QCOMPARE(bridge.recents(), expected);
}

void TestBridgeRecents::rememberedOnOpen_data() {
    QTest::addColumn<QStringList>("opened");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("reopening moves to the front") << QStringList{"a", "b", "a"} << QStringList{"a", "b"};
    QTest::newRow("nine folders keep eight") << QStringList{"1", "2", "3", "4", "5", "6", "7", "8", "9"}
                                             << QStringList{"9", "8", "7", "6", "5", "4", "3", "2"};
    QTest::newRow("trailing slash is the same folder")
        << QStringList{"a", "b", "a/"} << QStringList{"a", "b"};
}

void TestBridgeRecents::rememberedOnOpen() {
    QFETCH(QStringList, opened);
    QFETCH(QStringList, expected);
    BridgeProcess bridge(*m_settings->settings, childProcesses(), fakeRuntime(), fast());
    openAll(bridge, opened);
    QStringList paths;
    for (const QString& name : expected)
        paths << folder(name);
    // The opening failed, and the folder is remembered all the same.
    QCOMPARE(bridge.recents(), paths);
    QCOMPARE(stored(), paths);
}

void TestBridgeRecents::longStoredListIsCutAtTheNextOpen() {
    QStringList twelve;
    for (int i = 1; i <= 12; ++i)
        twelve << folder(QString::number(i));
    m_settings->settings->setRecentProjects(twelve);
    BridgeProcess bridge(*m_settings->settings, childProcesses(), fakeRuntime(), fast());
    QCOMPARE(bridge.recents(), twelve);

    openAll(bridge, {"new"});
    const QStringList expected = QStringList{folder("new")} + twelve.mid(0, 7);
    QCOMPARE(bridge.recents(), expected);
    QCOMPARE(stored(), expected);
}

void TestBridgeRecents::differentPathTextsAreDifferentEntries() {
    QVERIFY(QDir().mkpath(folder("app")));
    QVERIFY(QFile::link(folder("app"), folder("link")));
    BridgeProcess bridge(*m_settings->settings, childProcesses(), fakeRuntime(), fast());
    openAll(bridge, {"app", "link"});
    QCOMPARE(bridge.recents(), (QStringList{folder("link"), folder("app")}));
}

void TestBridgeRecents::forget() {
    const QStringList list{"/r/a", "/r/b", "/r/a", "/r/c"};
    m_settings->settings->setRecentProjects(list);
    BridgeProcess bridge(*m_settings->settings, childProcesses(), fakeRuntime(), fast());
    QSignalSpy changes(&bridge, &BridgeProcess::recentsChanged);

    // Not in the list: nothing changes, the list is stored again.
    QFile::remove(m_settings->path());
    bridge.forget("/r/zzz");
    QCOMPARE(bridge.recents(), list);
    QCOMPARE(changes.count(), 0);
    QCOMPARE(stored(), list);

    bridge.forget("/r/a/");
    QCOMPARE(bridge.recents(), (QStringList{"/r/b", "/r/c"}));
    QCOMPARE(changes.count(), 1);
    QCOMPARE(stored(), (QStringList{"/r/b", "/r/c"}));
}

QTEST_GUILESS_MAIN(TestBridgeRecents)
#include "tst_bridgerecents.moc"
