#include "window/Dashboard.h"

#include <QTest>

class TestDashboard : public QObject {
    Q_OBJECT
private slots:
    void firstAddressIsTheRootWithThePageAsFragment() {
        QCOMPARE(Dashboard::firstAddress(QStringLiteral("http://127.0.0.1:4747"), QStringLiteral("inbox"))
                     .toString(),
                 QStringLiteral("http://127.0.0.1:4747/#inbox"));
    }

    void fragmentScriptEscapesWhatWouldBreakTheLiteral_data() {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("script");
        QTest::newRow("plain") << "preferences"
                               << "location.hash = \"preferences\"";
        QTest::newRow("empty") << ""
                               << "location.hash = \"\"";
        QTest::newRow("quotes and backslash") << "a\"b\047c\\d"
                                              << "location.hash = \"a\\\"b\\\047c\\\\d\"";
        QTest::newRow("line breaks") << "a\nb\rc\td"
                                     << "location.hash = \"a\\nb\\rc\\td\"";
        QTest::newRow("control and separators")
            << QStringLiteral("x\u0001y\u2028z") << "location.hash = \"x\\u0001y\\u2028z\"";
        QTest::newRow("script end stays text") << "</script>"
                                               << "location.hash = \"</script>\"";
    }
    void fragmentScriptEscapesWhatWouldBreakTheLiteral() {
        QFETCH(QString, page);
        QFETCH(QString, script);
        QCOMPARE(Dashboard::fragmentScript(page), script);
    }

    void onlyHexadecimalIdsAreRevealed_data() {
        QTest::addColumn<QString>("id");
        QTest::addColumn<bool>("revealable");
        QTest::newRow("uuid") << "3f2a9c1e-0b7d-4e5f-a1b2-C3D4E5F60718" << true;
        QTest::newRow("fullwidth digits and letters")
            << QStringLiteral("\uFF10\uFF19\uFF21\uFF26\uFF41\uFF46-1") << true;
        QTest::newRow("letter g") << "abcg" << false;
        QTest::newRow("quote") << "ab\"]" << false;
        QTest::newRow("space") << "ab cd" << false;
        QTest::newRow("fullwidth g") << QStringLiteral("\uFF47") << false;
        QTest::newRow("arabic-indic digit") << QStringLiteral("\u0661") << false;
    }
    void onlyHexadecimalIdsAreRevealed() {
        QFETCH(QString, id);
        QFETCH(bool, revealable);
        QCOMPARE(Dashboard::isRevealableReport(id), revealable);
    }

    void pickScriptClicksTheEntryAndRetries() {
        QCOMPARE(Dashboard::pickScript(QStringLiteral("ab-12")),
                 QStringLiteral("(function pick(n){const b=document.querySelector('[data-report=\"ab-12\"]');"
                                "if(b)b.click();else if(n)setTimeout(()=>pick(n-1),300)})(10)"));
    }

    void navigationStaysLocalAndSendsHttpsToTheBrowser_data() {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("allow");
        QTest::addColumn<bool>("browser");
        QTest::newRow("bridge") << "http://127.0.0.1:4747/#inbox" << true << false;
        QTest::newRow("other local port") << "http://127.0.0.1:9/x" << true << false;
        QTest::newRow("https localhost") << "https://localhost/docs" << true << false;
        QTest::newRow("any scheme on localhost") << "ftp://localhost/" << true << false;
        QTest::newRow("https elsewhere") << "https://example.com/docs" << false << true;
        QTest::newRow("http elsewhere") << "http://example.com/" << false << false;
        QTest::newRow("lookalike host") << "https://127.0.0.1.example.com/" << false << true;
        QTest::newRow("mail") << "mailto:someone@example.com" << false << false;
        QTest::newRow("data") << "data:text/html,hi" << false << false;
        QTest::newRow("javascript") << "javascript:alert(1)" << false << false;
        QTest::newRow("none") << "" << false << false;
    }
    void navigationStaysLocalAndSendsHttpsToTheBrowser() {
        QFETCH(QString, url);
        QFETCH(bool, allow);
        QFETCH(bool, browser);
        const Dashboard::NavigationDecision decision = Dashboard::decideNavigation(QUrl(url));
        QCOMPARE(decision.allow, allow);
        QCOMPARE(decision.openInBrowser, browser);
    }

    void newWindowsGoToTheBrowserOnlyForHttps() {
        QVERIFY(Dashboard::opensNewWindowInBrowser(QUrl(QStringLiteral("https://example.com/"))));
        QVERIFY(Dashboard::opensNewWindowInBrowser(QUrl(QStringLiteral("https://127.0.0.1:4747/"))));
        QVERIFY(!Dashboard::opensNewWindowInBrowser(QUrl(QStringLiteral("http://127.0.0.1:4747/"))));
        QVERIFY(!Dashboard::opensNewWindowInBrowser(QUrl()));
    }
};

QTEST_GUILESS_MAIN(TestDashboard)
#include "tst_dashboard.moc"
