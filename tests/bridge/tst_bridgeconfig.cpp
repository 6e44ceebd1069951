// Project configuration, folder identity, runtime lookup and output text: the parts of the bridge
// process that touch only the file system.
#include "BridgeTestSupport.h"
#include "platform/ChildProcess.h"
#include "bridge/ProjectConfiguration.h"
#include "bridge/ProjectPaths.h"

#include <sys/stat.h>

using namespace BridgeTest;

class TestBridgeConfig : public QObject {
    Q_OBJECT
private slots:
    void configFileSearch_data();
    void configFileSearch();
    void configFileSearchesToRootWithoutRepository();
    void portFromFile_data();
    void portFromFile();
    void portIgnoresWhatCannotBeRead_data();
    void portIgnoresWhatCannotBeRead();
    void same_data();
    void same();
    void sameResolvesLinks();
    void runtimeIn_data();
    void runtimeIn();
    void tail_data();
    void tail();
    void utf8StreamKeepsSplitCharacters();

private:
    QTemporaryDir m_dir;
};

// Layout under the temporary folder, written as "path" (file) or "path/" (folder); the last
// column is the expected configuration file relative to the root, or empty for none.
void TestBridgeConfig::configFileSearch_data() {
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("opened");
    QTest::addColumn<QString>("expected");

    QTest::newRow("in the repository root")
        << QStringList{"r/app/.git/", "r/app/tallyrig.config.json", "r/app/ios/"} << "r/app/ios"
        << "r/app/tallyrig.config.json";
    QTest::newRow("never above the root")
        << QStringList{"r/app/.git/", "r/tallyrig.config.json", "r/app/ios/"} << "r/app/ios"
        << "";
    QTest::newRow("root itself has both")
        << QStringList{"r/app/.git/", "r/app/tallyrig.config.json"} << "r/app"
        << "r/app/tallyrig.config.json";
    QTest::newRow("nearer file wins")
        << QStringList{"r/app/.git/", "r/app/tallyrig.config.json", "r/app/ios/tallyrig.config.json"}
        << "r/app/ios"
        << "r/app/ios/tallyrig.config.json";
    QTest::newRow(".git file stops like a folder")
        << QStringList{"r/app/.git", "r/tallyrig.config.json", "r/app/ios/"} << "r/app/ios"
        << "";
    QTest::newRow("a folder of that name counts as found")
        << QStringList{"r/app/.git/", "r/app/tallyrig.config.json/"} << "r/app"
        << "r/app/tallyrig.config.json";
    QTest::newRow("dot components are removed")
        << QStringList{"r/app/.git/", "r/app/tallyrig.config.json", "r/app/ios/x/"} << "r/app/ios/x/../."
        << "r/app/tallyrig.config.json";
    QTest::newRow("opened folder that does not exist")
        << QStringList{"r/app/.git/", "r/app/tallyrig.config.json"} << "r/app/gone/deeper"
        << "r/app/tallyrig.config.json";
}

void TestBridgeConfig::configFileSearch() {
    QFETCH(QStringList, entries);
    QFETCH(QString, opened);
    QFETCH(QString, expected);
    QTemporaryDir root;
    for (const QString& entry : entries) {
        if (entry.endsWith('/'))
            QVERIFY(QDir().mkpath(root.filePath(entry)));
        else
            writeFile(root.filePath(entry), "{}");
    }
    const auto found = ProjectConfiguration::find(root.filePath(opened));
    if (expected.isEmpty())
        QCOMPARE(found, std::nullopt);
    else
        QCOMPARE(found, std::optional<QString>(root.filePath(expected)));
}

void TestBridgeConfig::configFileSearchesToRootWithoutRepository() {
    // Nothing on the way up has ".git", so the search goes on to "/" and finds nothing there.
    QTemporaryDir root;
    const QString deep = root.filePath("a/b/c");
    QVERIFY(QDir().mkpath(deep));
    if (QFileInfo::exists("/tallyrig.config.json") || QFileInfo::exists("/.git"))
        QSKIP("this machine has a configuration or repository at /");
    QVERIFY(!QFileInfo::exists(QDir::tempPath() + "/.git"));
    QCOMPARE(ProjectConfiguration::find(deep), std::nullopt);
    writeFile(root.filePath("tallyrig.config.json"), "{\"port\": 6001}");
    QCOMPARE(ProjectConfiguration::find(deep), std::optional<QString>(root.filePath("tallyrig.config.json")));
    QCOMPARE(ProjectConfiguration::port(deep).number, 6001);
}

void TestBridgeConfig::portFromFile_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<qint64>("expected");
    QTest::newRow("integer") << QByteArray(R"({"port": 5000})") << qint64(5000);
    QTest::newRow("integral fraction") << QByteArray(R"({"port": 5000.0})") << qint64(5000);
    QTest::newRow("exponent") << QByteArray(R"({"port": 5e3})") << qint64(5000);
    QTest::newRow("digits as text") << QByteArray(R"({"port": "5000"})") << qint64(4747);
    QTest::newRow("fraction") << QByteArray(R"({"port": 5000.5})") << qint64(4747);
    QTest::newRow("null") << QByteArray(R"({"port": null})") << qint64(4747);
    QTest::newRow("no port") << QByteArray(R"({"name": "app"})") << qint64(4747);
    QTest::newRow("zero, unchecked") << QByteArray(R"({"port": 0})") << qint64(0);
    QTest::newRow("negative, unchecked") << QByteArray(R"({"port": -3})") << qint64(-3);
    QTest::newRow("above 65535, unchecked") << QByteArray(R"({"port": 70000})") << qint64(70000);
    QTest::newRow("largest 64-bit") << QByteArray(R"({"port": 9223372036854775807})")
                                    << qint64(9223372036854775807LL);
    QTest::newRow("beyond 64 bits") << QByteArray(R"({"port": 9223372036854775808})") << qint64(4747);
    QTest::newRow("huge fraction-free float") << QByteArray(R"({"port": 1e300})") << qint64(4747);
    QTest::newRow("other members kept aside")
        << QByteArray(R"({"agent": {"port": 1}, "port": 6123})") << qint64(6123);
    QTest::newRow("byte order mark") << QByteArray("\xEF\xBB\xBF{\"port\": 6124}") << qint64(6124);
    QTest::newRow("empty file") << QByteArray() << qint64(4747);
    QTest::newRow("array") << QByteArray("[5000]") << qint64(4747);
    QTest::newRow("bare number") << QByteArray("5000") << qint64(4747);
    QTest::newRow("invalid JSON") << QByteArray(R"({"port": 5000,)") << qint64(4747);
}

void TestBridgeConfig::portFromFile() {
    QFETCH(QByteArray, content);
    QFETCH(qint64, expected);
    QTemporaryDir root;
    QVERIFY(QDir().mkpath(root.filePath(".git")));
    writeFile(root.filePath("tallyrig.config.json"), content);
    QVERIFY(QDir().mkpath(root.filePath("ios")));
    QCOMPARE(ProjectConfiguration::port(root.filePath("ios")).number, expected);
}

void TestBridgeConfig::portIgnoresWhatCannotBeRead_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("no file") << "none";
    QTest::newRow("a folder") << "folder";
    QTest::newRow("a dangling link") << "dangling";
    QTest::newRow("a FIFO") << "fifo";
}

void TestBridgeConfig::portIgnoresWhatCannotBeRead() {
    QFETCH(QString, kind);
    QTemporaryDir root;
    QVERIFY(QDir().mkpath(root.filePath(".git")));
    const QString file = root.filePath("tallyrig.config.json");
    if (kind == "folder") {
        QVERIFY(QDir().mkpath(file));
    } else if (kind == "dangling") {
        QVERIFY(QFile::link(root.filePath("missing.json"), file));
    } else if (kind == "fifo") {
        QCOMPARE(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
    }
    // Reaching here at all shows that a FIFO did not block the read.
    QCOMPARE(ProjectConfiguration::port(root.path()).number, BridgePort::defaultNumber);
}

void TestBridgeConfig::same_data() {
    QTest::addColumn<QString>("project");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<bool>("expected");
    QTest::newRow("equal") << "/Users/me/app"
                           << "/Users/me/app" << true;
    QTest::newRow("inside") << "/Users/me/app"
                            << "/Users/me/app/ios" << true;
    QTest::newRow("prefix without slash") << "/Users/me/app"
                                          << "/Users/me/application" << false;
    QTest::newRow("above") << "/Users/me/app"
                           << "/Users/me" << false;
    QTest::newRow("case matters") << "/Users/me/app"
                                  << "/Users/me/App" << false;
    QTest::newRow("another project") << "another project"
                                     << "/Users/me/app" << false;
    QTest::newRow("trailing slash") << "/Users/me/app/"
                                    << "/Users/me/app/ios" << true;
    QTest::newRow("dot dot in project") << "/Users/me/app/ios/.."
                                        << "/Users/me/app/ios" << true;
}

void TestBridgeConfig::same() {
    QFETCH(QString, project);
    QFETCH(QString, folder);
    QFETCH(bool, expected);
    QCOMPARE(ProjectPaths::isAtOrInside(folder, project), expected);
}

void TestBridgeConfig::sameResolvesLinks() {
    QTemporaryDir root;
    const QString real = root.filePath("real/app");
    QVERIFY(QDir().mkpath(real + "/ios"));
    QVERIFY(QFile::link(real, root.filePath("linked")));
    // The bridge names its real folder; the user opened it through the link, or the other way round.
    QVERIFY(ProjectPaths::isAtOrInside(root.filePath("linked"), real));
    QVERIFY(ProjectPaths::isAtOrInside(root.filePath("linked/ios"), real));
    QVERIFY(ProjectPaths::isAtOrInside(real + "/ios", root.filePath("linked")));
    QVERIFY(!ProjectPaths::isAtOrInside(real, root.filePath("linked/ios")));
}

void TestBridgeConfig::runtimeIn_data() {
    QTest::addColumn<QString>("node");
    QTest::addColumn<bool>("cli");
    QTest::addColumn<bool>("expected");
    QTest::newRow("complete") << "executable" << true << true;
    QTest::newRow("no node") << "missing" << true << false;
    QTest::newRow("node not executable") << "plain" << true << false;
    QTest::newRow("node is a folder") << "folder" << true << false;
    QTest::newRow("no bridge script") << "executable" << false << false;
}

void TestBridgeConfig::runtimeIn() {
    QFETCH(QString, node);
    QFETCH(bool, cli);
    QFETCH(bool, expected);
    QTemporaryDir bundle;
    const QString nodePath = bundle.filePath("Contents/Helpers/node");
    const QString resources = bundle.filePath("Contents/Resources");
    const QString cliPath = resources + "/bridge/bin/tallyrig.mjs";
    if (node == "folder") {
        QVERIFY(QDir().mkpath(nodePath));
    } else if (node != "missing") {
        writeFile(nodePath, "#!/bin/sh\n");
        if (node == "executable")
            QFile::setPermissions(nodePath, QFile::permissions(nodePath) | QFileDevice::ExeOwner);
    }
    if (cli)
        writeFile(cliPath, "// bridge\n");

    const auto runtime = BridgeRuntime::in(bundle.path(), resources);
    if (expected)
        QCOMPARE(runtime, std::optional<BridgeRuntime>(BridgeRuntime{nodePath, cliPath}));
    else
        QCOMPARE(runtime, std::nullopt);
    // Without a known bundle or resource folder there is no runtime, whatever is on disk.
    QCOMPARE(BridgeRuntime::in(std::nullopt, resources), std::nullopt);
    QCOMPARE(BridgeRuntime::in(bundle.path(), std::nullopt), std::nullopt);
}

void TestBridgeConfig::tail_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("six lines, one empty") << "a\n\nb\nc\nd\ne\n"
                                          << "b\nc\nd\ne";
    QTest::newRow("fewer than four") << "\n\nonly\n\n"
                                     << "only";
    QTest::newRow("nothing") << ""
                             << "";
    QTest::newRow("only line feeds") << "\n\n\n"
                                     << "";
    QTest::newRow("no final line feed") << "1\n2\n3\n4\n5"
                                        << "2\n3\n4\n5";
}

void TestBridgeConfig::tail() {
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(OutputBuffer::tail(text), expected);
}

void TestBridgeConfig::utf8StreamKeepsSplitCharacters() {
    // Two-, three- and four-byte characters, a combining mark, and one invalid byte.
    const QByteArray bytes = QByteArray("caf\xC3\xA9 \xE2\x80\xA6 \xF0\x9F\x91\x8D e\xCC\x81 \xFF end");
    const QString whole = QString::fromUtf8(bytes);
    QVERIFY(whole.contains(QChar(0xFFFD)));
    for (qsizetype first = 0; first <= bytes.size(); ++first) {
        for (qsizetype second = first; second <= bytes.size(); ++second) {
            ChildProcess::Utf8Stream stream;
            QString decoded = stream.feed(bytes.left(first));
            decoded += stream.feed(bytes.mid(first, second - first));
            decoded += stream.feed(bytes.mid(second));
            decoded += stream.finish();
            QCOMPARE(decoded, whole);
        }
    }
    // A sequence cut off by the end of the output is replaced, not lost.
    ChildProcess::Utf8Stream stream;
    QCOMPARE(stream.feed("ok\xE2\x80"), QString("ok"));
    QCOMPARE(stream.finish(), QString::fromUtf8("\xE2\x80"));
    QVERIFY(QString::fromUtf8("\xE2\x80").startsWith(QChar(0xFFFD)));
}

QTEST_GUILESS_MAIN(TestBridgeConfig)
#include "tst_bridgeconfig.moc"
