// The Linux backend against real applications on the private test desktop: GTK 3, GTK 4, Qt 6, and
// a page in Firefox and in Chromium. At points of their windows it must read what libatspi itself
// reports there (tests/platform/atspi_probe.py), and the page's fixed values in both browsers.

#include "platform/Targeting.h"
#include "platform/linux/AtspiAccessibility.h"
#include "simulator/AX.h"
#include "support/AtspiProbe.h"
#include "support/DesktopApp.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QTest>

using namespace std::chrono_literals;

class TestDesktopApps : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void bareChromiumPublishesWhenAsked();
    void readsWhatAtspiReports_data();
    void readsWhatAtspiReports();

private:
    DesktopApp* running(DesktopApp::Kind kind);

    std::unique_ptr<platform::Targeting> m_targeting;
    std::unique_ptr<DesktopApp> m_app;
};

void TestDesktopApps::initTestCase() {
    m_targeting = platform::createTargeting();
    QVERIFY2(m_targeting->problems.isEmpty(), qPrintable(m_targeting->problems.join(' ')));
    QVERIFY(m_targeting->accessibility->isTrusted());
}

void TestDesktopApps::cleanupTestCase() {
    m_app.reset();
}

DesktopApp* TestDesktopApps::running(DesktopApp::Kind kind) {
    if (!m_app || m_app->kind() != kind) {
        m_app.reset();
        m_app = std::make_unique<DesktopApp>(kind, DesktopApp::desktopScale());
        if (!m_app->start(m_targeting->ports()))
            m_app.reset();
    }
    return m_app.get();
}

void TestDesktopApps::bareChromiumPublishesWhenAsked() {
    platform::Accessibility& accessibility = *m_targeting->accessibility;
    DesktopApp* chromium = running(DesktopApp::Chromium);
    QVERIFY(chromium);
    // Started without --force-renderer-accessibility: its windows, and nothing in them.
    QCOMPARE(accessibility.published(chromium->pid(), AX::messagingTimeout), platform::Published::Windows);
    QVERIFY(accessibility.askToPublish(chromium->pid(), AX::messagingTimeout));
    QTRY_COMPARE_WITH_TIMEOUT(accessibility.published(chromium->pid(), AX::messagingTimeout),
                              platform::Published::Tree, 20000);
    QCOMPARE(accessibility.published(0x3ffffff0, AX::messagingTimeout), platform::Published::Nothing);
}

void TestDesktopApps::readsWhatAtspiReports_data() {
    // An element by its AT-SPI role name, name and rank among the shown ones of both; of a page's
    // elements the fixed help, tag, id and class; some states that must be among its states.
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("role");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("nth");
    QTest::addColumn<QStringList>("page");
    QTest::addColumn<QStringList>("states");
    using Texts = QStringList;
    // Chromium first: the bare one above goes on here.
    for (const auto& [kind, browser] :
         {std::pair{DesktopApp::Chromium, "Chromium"}, {DesktopApp::Firefox, "Firefox"}}) {
        const auto row = [&](const char* what, const char* role, const char* name) -> QTestData& {
            return QTest::addRow("%s: %s", browser, what)
                   << int(kind) << QString::fromUtf8(role) << QString::fromUtf8(name) << 0;
        };
        row("heading", "heading", "Account settings") << Texts{"", "h1", "title", "page-title"} << Texts{};
        row("text field", "entry", "Display name")
            << Texts{"", "input", "name", "field"} << Texts{"editable"};
        row("button with a title", "push button", "Save")
            << Texts{"Saves your changes", "button", "save", "primary wide"} << Texts{"focusable"};
        row("checked box", "check box", "Send me news")
            << Texts{"", "input", "news", "toggle"} << Texts{"checked"};
        row("disabled button", "push button", "Delete account")
            << Texts{"", "button", "delete", "danger"} << Texts{"disabled"};
    }
    const auto row = [](const char* what, DesktopApp::Kind kind, const char* role, const char* name,
                        int nth) -> QTestData& {
        return QTest::newRow(what) << int(kind) << QString::fromUtf8(role) << QString::fromUtf8(name) << nth
                                   << Texts{};
    };
    row("GTK 3: checked toggle", DesktopApp::Gtk3, "toggle button", "togglebutton", 2) << Texts{"checked"};
    row("GTK 3: disabled entry", DesktopApp::Gtk3, "text", "", 1) << Texts{"disabled", "editable"};
    row("GTK 3: button", DesktopApp::Gtk3, "push button", "Sans Regular", 0) << Texts{"focusable"};
    row("GTK 4: list row label", DesktopApp::Gtk4, "label", "Application Class", 0) << Texts{};
    row("GTK 4: expander button", DesktopApp::Gtk4, "push button", "Expand", 0) << Texts{};
    row("Qt 6: combo box", DesktopApp::Qt6, "combo box", "Fusion", 0) << Texts{"focusable"};
    row("Qt 6: label", DesktopApp::Qt6, "label", "Style:", 0) << Texts{"read-only"};
}

void TestDesktopApps::readsWhatAtspiReports() {
    QFETCH(int, kind);
    QFETCH(QString, role);
    QFETCH(QString, name);
    QFETCH(int, nth);
    QFETCH(QStringList, page);
    QFETCH(QStringList, states);
    DesktopApp* app = running(DesktopApp::Kind(kind));
    QVERIFY(app);
    platform::Accessibility& accessibility = *m_targeting->accessibility;
    // A page fills in after its window shows; a bare Chromium is asked for it.
    accessibility.askToPublish(app->pid(), AX::messagingTimeout);
    // Firefox fills in what a page's elements publish when first asked: their attributes and
    // bounds come with a later answer.
    const bool web = app->isWeb();
    QJsonObject told;
    QTRY_VERIFY_WITH_TIMEOUT(!(told = AtspiProbe::element(app->pid(), role, name, nth)).isEmpty() &&
                                 (!web || told.value("attributes").toObject().contains("tag")),
                             30000);

    const auto window = app->window(*m_targeting->windows);
    QVERIFY(window);
    const QRectF expected =
        app->logical(told.value(QStringLiteral("extents")).toArray(), window->clientBounds->topLeft());
    const QPointF point = expected.center();
    const auto application = accessibility.application(app->pid(), AX::messagingTimeout);
    QVERIFY(application);
    QCOMPARE(AX::value<QString>(*application, "AXTitle"),
             told.value(QStringLiteral("application")).toString());
    const QString expectedRole =
        platform::atspi::AtspiAccessibility::axRole(uint(told.value("role").toInt()));
    platform::AXElementRef element;
    const auto text = [&](const char* attribute) {
        return AX::value<QString>(*element, QString::fromLatin1(attribute)).value_or(QString());
    };
    QTRY_VERIFY2_WITH_TIMEOUT(
        (element = accessibility.elementAt(application, float(point.x()), float(point.y()))) &&
            text("AXRole") == expectedRole,
        qPrintable(element ? text("AXRole") + ' ' + text("AXTitle") : QStringLiteral("nothing")), 10000);
    QCOMPARE(text("AXTitle"), told.value(QStringLiteral("name")).toString());
    QCOMPARE(text("AXHelp"), told.value(QStringLiteral("description")).toString());
    QCOMPARE(text("AXIdentifier"), told.value(QStringLiteral("id")).toString());
    const QJsonObject attributes = told.value(QStringLiteral("attributes")).toObject();
    QCOMPARE(text("AXDOMTag"), attributes.value(QStringLiteral("tag")).toString());
    QCOMPARE(text("AXDOMIdentifier"), attributes.value(QStringLiteral("id")).toString());
    QCOMPARE(text("AXDOMClassList"), attributes.value(QStringLiteral("class")).toString());
    const char* const fixed[] = {"AXHelp", "AXDOMTag", "AXDOMIdentifier", "AXDOMClassList"};
    for (qsizetype i = 0; i < page.size(); ++i)
        QCOMPARE(text(fixed[i]), page[i]);

    const QStringList ours = AX::value<QStringList>(*element, "AXStates").value_or(QStringList{});
    QStringList theirs;
    for (const auto& state : told.value(QStringLiteral("states")).toArray())
        theirs.append(state.toString());
    for (const QString& state : ours) {
        if (state != QLatin1String("disabled"))
            QVERIFY2(theirs.contains(state), qPrintable(state));
    }
    QCOMPARE(ours.contains(QStringLiteral("disabled")),
             !theirs.contains(QStringLiteral("enabled")) && !theirs.contains(QStringLiteral("sensitive")));
    for (const QString& state : states)
        QVERIFY2(ours.contains(state), qPrintable(ours.join(' ')));

    QCOMPARE(element->frame(), std::optional<QRectF>(expected));
}

QTEST_MAIN(TestDesktopApps)
#include "tst_desktopapps.moc"
