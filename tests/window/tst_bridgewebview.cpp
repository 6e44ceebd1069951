#include "support/ReferenceBridge.h"
#include "window/BridgeWebView.h"
#include "window/Dashboard.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QWebEngineView>

namespace {

QVariant evaluate(QWebEnginePage* page, const QString& script) {
    QVariant result;
    bool done = false;
    page->runJavaScript(script, [&](const QVariant& value) {
        result = value;
        done = true;
    });
    QDeadlineTimer deadline(10000);
    while (!done && !deadline.hasExpired())
        QTest::qWait(10);
    return result;
}

bool menuShown() {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (qobject_cast<QMenu*>(widget) && widget->isVisible())
            return true;
    return false;
}

} // namespace

class TestBridgeWebView : public QObject {
    Q_OBJECT

    ReferenceBridge m_bridge;
    QString m_first;
    QString m_second;
    QList<QUrl> m_opened;

    std::unique_ptr<BridgeWebView> makeView(const QString& page, const std::optional<QString>& report = {}) {
        auto view = std::make_unique<BridgeWebView>(DashboardRequest{
            m_bridge.baseAddress(), page, report, [this](const QUrl& url) { m_opened.append(url); }});
        view->resize(900, 650);
        view->show();
        QSignalSpy loaded(view->view(), &QWebEngineView::loadFinished);
        if (!loaded.wait(20000))
            qWarning("the dashboard did not load");
        return view;
    }

    int openedCount(BridgeWebView& view) {
        return evaluate(view.navigation(), QStringLiteral("window.__tallyrigOpened || 0")).toInt();
    }

    QString shownReport(BridgeWebView& view) {
        return evaluate(view.navigation(),
                        QStringLiteral(
                            "(document.getElementById('report-detail')||{}).dataset?.shownReport || ''"))
            .toString();
    }

private slots:
    void initTestCase() {
        QVERIFY2(m_bridge.start(), qPrintable(m_bridge.log()));
        m_first = m_bridge.postReport(QStringLiteral("Make the button blue"));
        m_second = m_bridge.postReport(QStringLiteral("Larger title"));
        QVERIFY(!m_first.isEmpty() && !m_second.isEmpty());
    }

    void init() { m_opened.clear(); }

    void loadsTheRootWithThePageAndFollowsIt() {
        auto view = makeView(QStringLiteral("inbox"));
        QCOMPARE(view->view()->url().toString(), m_bridge.baseAddress() + QStringLiteral("/#inbox"));
        QCOMPARE(evaluate(view->navigation(), QStringLiteral("location.hash")).toString(),
                 QStringLiteral("#inbox"));

        view->setInputs(QStringLiteral("preferences"), std::nullopt);
        QTRY_COMPARE_WITH_TIMEOUT(evaluate(view->navigation(), QStringLiteral("location.hash")).toString(),
                                  QStringLiteral("#preferences"), 5000);

        // The user wandered inside the dashboard; the next update brings it back.
        evaluate(view->navigation(), QStringLiteral("location.hash = 'elsewhere'; 1"));
        QTRY_COMPARE(view->view()->url().fragment(), QStringLiteral("elsewhere"));
        view->setInputs(QStringLiteral("preferences"), std::nullopt);
        QTRY_COMPARE_WITH_TIMEOUT(view->view()->url().fragment(), QStringLiteral("preferences"), 5000);
    }

    void theEmptyPageThenPreferencesBothReachThePage() {
        auto view = makeView(QStringLiteral("preferences"));
        QSignalSpy scripts(view.get(), &BridgeWebView::scriptStarted);
        view->setInputs(QString(), std::nullopt);
        view->setInputs(QStringLiteral("preferences"), std::nullopt);
        QCOMPARE(scripts.count(), 2);
        QCOMPARE(scripts.at(0).first().toString(), QStringLiteral("location.hash = \"\""));
        QCOMPARE(scripts.at(1).first().toString(), QStringLiteral("location.hash = \"preferences\""));
        QTRY_COMPARE_WITH_TIMEOUT(evaluate(view->navigation(), QStringLiteral("location.hash")).toString(),
                                  QStringLiteral("#preferences"), 5000);
    }

    void eachReportIsRevealedOncePerWebView() {
        auto view = makeView(QStringLiteral("inbox"));
        view->setInputs(QStringLiteral("inbox"), m_first);
        QTRY_COMPARE_WITH_TIMEOUT(shownReport(*view), m_first, 8000);
        QCOMPARE(openedCount(*view), 1);

        QSignalSpy scripts(view.get(), &BridgeWebView::scriptStarted);
        view->setInputs(QStringLiteral("inbox"), m_first);
        QCOMPARE(scripts.count(), 0);

        view->setInputs(QStringLiteral("inbox"), m_second);
        QTRY_COMPARE_WITH_TIMEOUT(shownReport(*view), m_second, 8000);
        QCOMPARE(openedCount(*view), 2);
        QCOMPARE(view->navigation()->shownReport, std::optional<QString>(m_second));
    }

    void aReportAskedForBeforeTheLoadIsRevealedAfterIt() {
        auto view = makeView(QStringLiteral("inbox"), m_first);
        QTRY_COMPARE_WITH_TIMEOUT(shownReport(*view), m_first, 8000);
        QCOMPARE(openedCount(*view), 1);
    }

    void aRejectedIdRunsNothing() {
        auto view = makeView(QStringLiteral("inbox"));
        view->setInputs(QStringLiteral("inbox"), m_first);
        QTRY_COMPARE_WITH_TIMEOUT(shownReport(*view), m_first, 8000);
        QSignalSpy scripts(view.get(), &BridgeWebView::scriptStarted);
        for (const QString& id : {QStringLiteral("ab\"]"), QStringLiteral("a b"), QStringLiteral("abcg")})
            view->setInputs(QStringLiteral("inbox"), id);
        QCOMPARE(scripts.count(), 0);
        QCOMPARE(view->navigation()->shownReport, std::optional<QString>(m_first));
    }

    void linksStayLocalOrGoToTheBrowser() {
        auto view = makeView(QStringLiteral("inbox"));
        QSignalSpy decided(view->navigation(), &BridgeNavigation::navigationDecided);

        // The dashboard's own documentation link.
        evaluate(view->navigation(),
                 QStringLiteral("document.querySelector('a[href^=\"https://\"]:not([target])').click(); 1"));
        QTRY_COMPARE_WITH_TIMEOUT(m_opened.size(), 1, 5000);
        QCOMPARE(m_opened.first().scheme(), QStringLiteral("https"));
        QCOMPARE(decided.last().at(1).toBool(), false);

        evaluate(view->navigation(), QStringLiteral("location.href = 'http://example.com/plain'; 1"));
        QTRY_VERIFY_WITH_TIMEOUT(!decided.isEmpty() &&
                                     decided.last().first().toUrl().host() == QLatin1String("example.com") &&
                                     decided.last().first().toUrl().scheme() == QLatin1String("http"),
                                 5000);
        QCOMPARE(decided.last().at(1).toBool(), false);
        QCOMPARE(m_opened.size(), 1);
        QCOMPARE(view->view()->url().host(), QStringLiteral("127.0.0.1"));

        const QString otherPort =
            QStringLiteral("http://127.0.0.1:%1/elsewhere").arg(m_bridge.port() == 9 ? 10 : 9);
        evaluate(view->navigation(), QStringLiteral("location.href = '%1'; 1").arg(otherPort));
        QTRY_VERIFY_WITH_TIMEOUT(decided.last().first().toUrl() == QUrl(otherPort), 5000);
        QCOMPARE(decided.last().at(1).toBool(), true);
    }

    void newWindowsNeverOpen() {
        auto view = makeView(QStringLiteral("inbox"));
        const int windows = QApplication::topLevelWidgets().size();
        evaluate(view->navigation(), QStringLiteral("window.open('https://example.com/new'); 1"));
        QTRY_COMPARE_WITH_TIMEOUT(m_opened.size(), 1, 5000);
        QCOMPARE(m_opened.first(), QUrl(QStringLiteral("https://example.com/new")));

        evaluate(view->navigation(),
                 QStringLiteral("window.open('%1/#inbox'); 1").arg(m_bridge.baseAddress()));
        QTest::qWait(300);
        QCOMPARE(m_opened.size(), 1);
        QCOMPARE(QApplication::topLevelWidgets().size(), windows);
    }

    void rightClickShowsNoMenu() {
        // A plain web view shows its menu for the same click, so the check below can fail.
        QWebEngineView plain;
        plain.resize(400, 300);
        plain.setHtml(QStringLiteral("<p>text</p>"));
        plain.show();
        QVERIFY(QTest::qWaitForWindowExposed(&plain));
        QSignalSpy plainLoaded(&plain, &QWebEngineView::loadFinished);
        plainLoaded.wait(5000);
        QTest::mouseClick(plain.focusProxy(), Qt::RightButton, {}, QPoint(50, 50));
        QTRY_VERIFY_WITH_TIMEOUT(menuShown(), 5000);
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (qobject_cast<QMenu*>(widget))
                widget->close();
        plain.close();

        auto view = makeView(QStringLiteral("inbox"));
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
        QTest::mouseClick(view->view()->focusProxy(), Qt::RightButton, {}, QPoint(200, 200));
        QTest::qWait(800);
        QVERIFY(!menuShown());
    }
};

int main(int argc, char** argv) {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    TestBridgeWebView test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_bridgewebview.moc"
