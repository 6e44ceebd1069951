#include "foundation/Bundle.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestBundle : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString makeBundle(const QString& where) {
        const QString executable = where + QStringLiteral("/Tallyrig.app/Contents/MacOS/Tallyrig");
        QDir().mkpath(QFileInfo(executable).absolutePath());
        QFile file(executable);
        file.open(QIODevice::WriteOnly);
        return executable;
    }

private slots:
    void theBundleIsFoundFromTheExecutablesRealPath() {
        const QString executable = makeBundle(m_dir.filePath(QStringLiteral("real")));
        QCOMPARE(Bundle::locationForExecutable(executable),
                 m_dir.filePath(QStringLiteral("real/Tallyrig.app")));

        // Started through a link elsewhere, it still finds its own bundle.
        const QString link = m_dir.filePath(QStringLiteral("tallyrig-link"));
        QVERIFY(QFile::link(executable, link));
        QCOMPARE(Bundle::locationForExecutable(link), m_dir.filePath(QStringLiteral("real/Tallyrig.app")));

        // A copied bundle is its own.
        const QString copy = makeBundle(m_dir.filePath(QStringLiteral("copied")));
        QCOMPARE(Bundle::locationForExecutable(copy), m_dir.filePath(QStringLiteral("copied/Tallyrig.app")));

        QCOMPARE(Bundle::locationForExecutable(m_dir.filePath(QStringLiteral("missing"))), std::nullopt);
    }
};

QTEST_GUILESS_MAIN(TestBundle)
#include "tst_bundle.moc"
