// The panel as a whole: which main area shows, the title row, the access callout, the error
// line, the agent settings and the size the panel asks for.
#include "PanelViewFixture.h"
#include "foundation/PlatformText.h"
#include "panel/Composer.h"
#include "panel/PictureViews.h"
#include "panel/Progress.h"
#include "support/AccessiblePress.h"

#include <QAccessible>
#include <QClipboard>
#include <QLabel>
#include <QMimeData>
#include <QSignalSpy>

// What a press of a control did to the model, the controller or the bridge.
using Effect = std::function<bool(PanelViewFixture& panel)>;
Q_DECLARE_METATYPE(Effect)

class TestPanelView : public QObject {
    Q_OBJECT

private slots:
    void mainArea_data();
    void mainArea();
    void titleRowFollowsTargeting_data();
    void titleRowFollowsTargeting();
    void buttonsNeedAController_data();
    void buttonsNeedAController();
    void settingsSection_data();
    void settingsSection();
    void offlineNotice_data();
    void offlineNotice();
    void switchShowsOnlyTheBridgesAnswer_data();
    void switchShowsOnlyTheBridgesAnswer();
    void accessWordingFollowsTheDesktop_data();
    void accessWordingFollowsTheDesktop();
    void preferredSizeFollowsContent();
    void longTextsWrapOrStayOnOneLine();
    void accessibleActionIsAClick_data();
    void accessibleActionIsAClick();
};

void TestPanelView::mainArea_data() {
    QTest::addColumn<bool>("picking");
    QTest::addColumn<bool>("capturing");
    QTest::addColumn<bool>("draft");
    QTest::addColumn<bool>("trusted");
    QTest::addColumn<bool>("report");
    QTest::addColumn<QString>("shown"); // the one main-area part, or empty

    QTest::newRow("idle") << false << false << false << true << false << "targetHint";
    QTest::newRow("not trusted: no hint") << false << false << false << false << false << "";
    QTest::newRow("report followed: no hint") << false << false << false << true << true << "";
    QTest::newRow("picking") << true << false << false << true << false << "pickingHint";
    QTest::newRow("picking over a draft") << true << false << true << true << false << "pickingHint";
    QTest::newRow("picking over a capture") << true << true << false << true << false << "pickingHint";
    QTest::newRow("capturing") << false << true << false << true << false << "capturing";
    QTest::newRow("capturing untrusted") << false << true << false << false << false << "capturing";
    QTest::newRow("capturing over a draft") << false << true << true << true << true << "capturing";
    QTest::newRow("draft") << false << false << true << true << false << "composer";
    QTest::newRow("draft untrusted") << false << false << true << false << false << "composer";
    QTest::newRow("draft beside a report") << false << false << true << true << true << "composer";
}

void TestPanelView::mainArea() {
    QFETCH(bool, picking);
    QFETCH(bool, capturing);
    QFETCH(bool, draft);
    QFETCH(bool, trusted);
    QFETCH(bool, report);
    QFETCH(QString, shown);

    PanelViewFixture panel;
    panel.model.setPicking(picking);
    panel.model.setCapturing(capturing);
    if (draft)
        panel.model.setDraft(PanelStates::draft());
    panel.model.setTrusted(trusted);
    if (report)
        panel.model.setReport(TrackedReport{QStringLiteral("r-1"), QString(), QDateTime::currentDateTimeUtc(),
                                            QStringLiteral("fixing"), nullptr});

    for (const char* part : {"pickingHint", "capturing", "composer", "targetHint"})
        QCOMPARE(PanelViewFixture::shows(panel.part(part)), shown == QLatin1String(part));
    QCOMPARE(PanelViewFixture::shows(panel.view->accessCallout()), !trusted);
    QCOMPARE(PanelViewFixture::shows(panel.part("progress")), report);
}

void TestPanelView::titleRowFollowsTargeting_data() {
    QTest::addColumn<bool>("picking");
    QTest::addColumn<QString>("help");
    QTest::addColumn<QString>("label");
    QTest::addColumn<std::optional<QString>>("highlighted");
    QTest::addColumn<bool>("escapeOnlyHere");
    QTest::addColumn<QString>("spoken"); // what the targeting hint says, and is called
    const QString hint = QStringLiteral("Click an element in the Simulator. Esc cancels.");
    QTest::newRow("idle") << false << "Target an element in the Simulator"
                          << "Target an element" << std::optional<QString>() << false << hint;
    QTest::newRow("picking") << true << "Stop targeting (Esc)"
                             << "Stop targeting" << std::optional<QString>() << false << hint;
    QTest::newRow("picking, an element highlighted")
        << true << "Stop targeting (Esc)"
        << "Stop targeting" << std::optional<QString>("saveButton") << false << "saveButton";
    QTest::newRow("picking, Escape heard only in the panel")
        << true << "Stop targeting (Esc)"
        << "Stop targeting" << std::optional<QString>() << true
        << "Click an element in the Simulator. Without Accessibility access, Esc cancels only here in the "
           "panel.";
}

void TestPanelView::titleRowFollowsTargeting() {
    QFETCH(bool, picking);
    QFETCH(QString, help);
    QFETCH(QString, label);
    QFETCH(std::optional<QString>, highlighted);
    QFETCH(bool, escapeOnlyHere);
    QFETCH(QString, spoken);

    PanelViewFixture panel;
    panel.model.setPicking(picking);
    panel.model.setHighlighted(highlighted);
    panel.model.setEscapeOnlyHere(escapeOnlyHere);
    // The hint holds the panel's focus while targeting, and is named after the highlight.
    auto* hint = panel.part<QLabel>("pickingText");
    QCOMPARE(hint->accessibleName(), spoken);
    if (!highlighted)
        QCOMPARE(hint->text(), spoken);
    QCOMPARE(hint->focusPolicy(), picking ? Qt::StrongFocus : Qt::NoFocus);
    QCOMPARE(panel.view->focusWidget() == hint, picking);
    QAbstractButton* target = panel.view->targetButton();
    QCOMPARE(target->toolTip(), help);
    QCOMPARE(target->accessibleName(), label);
    QCOMPARE(QAccessible::queryAccessibleInterface(target)->state().checked, picking);

    // A press asks the controller; the button keeps showing the model until the model changes.
    target->click();
    QCOMPARE(panel.control.toggles, 1);
    QCOMPARE(target->isChecked(), picking);
}

void TestPanelView::buttonsNeedAController_data() {
    QTest::addColumn<bool>("controller");
    QTest::newRow("with a controller") << true;
    QTest::newRow("without one") << false;
}

void TestPanelView::buttonsNeedAController() {
    QFETCH(bool, controller);

    PanelViewFixture panel;
    if (!controller)
        panel.model.setController(nullptr);
    panel.view->hideButton()->click();
    QCOMPARE(panel.settings.simulatorPanel(), !controller);
    panel.view->accessCallout()->button()->click();
    QCOMPARE(panel.control.accessRequests, controller ? 1 : 0);
    panel.view->targetButton()->click();
    QCOMPARE(panel.control.toggles, controller ? 1 : 0);
}

void TestPanelView::settingsSection_data() {
    QTest::addColumn<std::optional<bool>>("autoDispatch");
    QTest::addColumn<std::optional<bool>>("autoRelaunch");
    QTest::addColumn<bool>("enabled");

    QTest::newRow("not read yet") << std::optional<bool>() << std::optional<bool>() << false;
    QTest::newRow("only relaunch given") << std::optional<bool>() << std::optional<bool>(true) << false;
    QTest::newRow("both on") << std::optional<bool>(true) << std::optional<bool>(true) << true;
    QTest::newRow("auto mode off") << std::optional<bool>(false) << std::optional<bool>(true) << true;
    QTest::newRow("relaunch not given") << std::optional<bool>(true) << std::optional<bool>() << true;
}

void TestPanelView::settingsSection() {
    QFETCH(std::optional<bool>, autoDispatch);
    QFETCH(std::optional<bool>, autoRelaunch);
    QFETCH(bool, enabled);

    PanelViewFixture panel;
    panel.model.setAutoDispatch(autoDispatch);
    panel.model.setAutoRelaunch(autoRelaunch);
    AgentSettingsView* settings = panel.view->agentSettings();
    PanelWidgets::MiniSwitch* dispatch = settings->switchFor(QStringLiteral("autoDispatch"));
    PanelWidgets::MiniSwitch* relaunch = settings->switchFor(QStringLiteral("autoRelaunch"));
    QCOMPARE(dispatch->isEnabled(), enabled);
    QCOMPARE(relaunch->isEnabled(), enabled);
    QCOMPARE(dispatch->isChecked(), autoDispatch.value_or(false));
    QCOMPARE(relaunch->isChecked(), autoRelaunch.value_or(false));
    QCOMPARE(dispatch->accessibleName(), QStringLiteral("Auto mode"));
    QCOMPARE(relaunch->parentWidget()->toolTip(),
             QStringLiteral("Rebuild and relaunch the app after the agent's change"));
}

void TestPanelView::offlineNotice_data() {
    QTest::addColumn<bool>("offline");
    QTest::addColumn<bool>("hasRuntime");
    QTest::addColumn<QString>("notice");
    QTest::newRow("online") << false << true << "";
    QTest::newRow("offline, runtime carried")
        << true << true << "Bridge offline. Open a project in the Tallyrig window.";
    QTest::newRow("offline, no runtime") << true << false << "Bridge offline. Start it with tallyrig start.";
}

void TestPanelView::offlineNotice() {
    QFETCH(bool, offline);
    QFETCH(bool, hasRuntime);
    QFETCH(QString, notice);

    PanelViewFixture panel(hasRuntime);
    panel.model.setAutoDispatch(true);
    panel.model.setOffline(offline);
    QWidget* shown = panel.part("offlineNotice");
    QCOMPARE(PanelViewFixture::shows(shown), offline);
    if (offline) {
        QCOMPARE(shown->accessibleName(), notice);
        const QList<QLabel*> labels = shown->findChildren<QLabel*>();
        QVERIFY(std::any_of(labels.begin(), labels.end(),
                            [&](QLabel* label) { return label->text() == notice; }));
    }
    // The notice is disabled with the rest of the section until the settings are known.
    panel.model.setAutoDispatch(std::nullopt);
    QVERIFY(!shown->isEnabled());
}

void TestPanelView::switchShowsOnlyTheBridgesAnswer_data() {
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("after");
    QTest::newRow("the bridge turns it on")
        << QByteArray(R"({"autoDispatch":true,"autoRelaunch":true})") << true;
    QTest::newRow("the bridge keeps it off")
        << QByteArray(R"({"autoDispatch":false,"autoRelaunch":true})") << false;
}

void TestPanelView::switchShowsOnlyTheBridgesAnswer() {
    QFETCH(QByteArray, answer);
    QFETCH(bool, after);

    PanelViewFixture panel;
    panel.bridge.setHandler(
        [answer](const QByteArray&, const QString&) { return TestHttpServer::json(answer); });
    panel.model.setAutoDispatch(false);
    panel.model.setAutoRelaunch(true);
    PanelWidgets::MiniSwitch* dispatch =
        panel.view->agentSettings()->switchFor(QStringLiteral("autoDispatch"));

    QSignalSpy answered(&panel.bridge, &TestHttpServer::requested);
    dispatch->click();
    QVERIFY(!dispatch->isChecked());
    QVERIFY(answered.wait(5000));
    QCOMPARE(answered.first().first().toString(), QStringLiteral("/api/settings"));
    QTRY_COMPARE_WITH_TIMEOUT(panel.model.autoDispatch(), std::optional<bool>(after), 5000);
    QCOMPARE(dispatch->isChecked(), after);
}

void TestPanelView::accessWordingFollowsTheDesktop_data() {
    QTest::addColumn<QByteArray>("desktop");
    QTest::addColumn<QString>("place");
    QTest::addColumn<QString>("button");
#ifdef Q_OS_MACOS
    QTest::newRow("macOS")
        << QByteArray()
        << "Turn on Tallyrig in System Settings \u2192 Privacy & Security \u2192 Accessibility."
        << "Open System Settings";
#else
    QTest::newRow("GNOME on Ubuntu") << QByteArray("ubuntu:GNOME") << "in Settings \u2192 Accessibility."
                                     << "Open Settings";
    QTest::newRow("KDE") << QByteArray("KDE") << "in System Settings \u2192 Accessibility."
                         << "Open System Settings";
    QTest::newRow("unknown") << QByteArray("Hyprland") << "in your desktop\u2019s accessibility settings."
                             << "Open Accessibility Settings";
    QTest::newRow("none") << QByteArray() << "in your desktop\u2019s accessibility settings."
                          << "Open Accessibility Settings";
#endif
}

void TestPanelView::accessWordingFollowsTheDesktop() {
    QFETCH(QByteArray, desktop);
    QFETCH(QString, place);
    QFETCH(QString, button);

    const QByteArray saved = qgetenv("XDG_CURRENT_DESKTOP");
    qputenv("XDG_CURRENT_DESKTOP", desktop);
    PanelViewFixture panel;
    qputenv("XDG_CURRENT_DESKTOP", saved);

    AccessCallout* callout = panel.view->accessCallout();
    QCOMPARE(callout->accessibleName(), QStringLiteral("Allow Accessibility access"));
    QVERIFY2(callout->accessibleDescription().startsWith(
                 QStringLiteral("Targeting reads the Simulator\u2019s accessibility elements")),
             qPrintable(callout->accessibleDescription()));
    QVERIFY2(callout->accessibleDescription().endsWith(place), qPrintable(callout->accessibleDescription()));
#ifndef Q_OS_MACOS
    // A macOS-only tool means nothing here.
    QVERIFY(!callout->accessibleDescription().contains(QStringLiteral("Accessibility Inspector")));
#endif
    QCOMPARE(callout->button()->text(), button);
}

void TestPanelView::preferredSizeFollowsContent() {
    PanelViewFixture panel;
    panel.model.setTrusted(true);
    QVERIFY(panel.show());
    QSignalSpy sized(panel.view.get(), &SimulatorPanelView::preferredSizeChanged);
    const QSize before = panel.view->sizeHint();
    QCOMPARE(before.width(), 300);
    QCOMPARE(panel.view->size(), before);

    panel.model.setError(QStringLiteral("The bridge didn\u2019t return a report"));
    QTRY_VERIFY(!sized.isEmpty());
    const QSize grown = sized.last().first().toSize();
    QCOMPARE(grown, panel.view->sizeHint());
    QCOMPARE(grown.width(), 300);
    QVERIFY(grown.height() > before.height());
    QTRY_COMPARE(panel.view->size(), grown);

    panel.model.setError(std::nullopt);
    QTRY_COMPARE(sized.last().first().toSize(), before);
}

void TestPanelView::longTextsWrapOrStayOnOneLine() {
    PanelViewFixture panel;
    panel.model.setTrusted(true);
    QVERIFY(panel.show());
    const QString longText = QStringLiteral("Couldn\u2019t capture the simulator: ") +
                             QStringLiteral("the tool answered nothing useful ").repeated(12);
    panel.model.setDeviceTitle(
        QStringLiteral("iPad Pro (12.9-inch) (6th generation) \u2013 iOS 17.2 \u2013 ") + longText);
    panel.model.setError(longText);
    QWidget* errorLine = panel.part("errorLine");
    QTRY_VERIFY(errorLine->isVisible());
    const QList<QLabel*> texts = errorLine->findChildren<QLabel*>();
    const auto errorText =
        std::find_if(texts.begin(), texts.end(), [&](QLabel* label) { return label->text() == longText; });
    QVERIFY(errorText != texts.end());
    QTRY_VERIFY((*errorText)->height() > 3 * (*errorText)->fontMetrics().lineSpacing());
    QCOMPARE(errorLine->accessibleName(), longText);

    const QList<PanelWidgets::ClampedLabel*> labels = panel.view->findChildren<PanelWidgets::ClampedLabel*>();
    const auto title = std::find_if(labels.begin(), labels.end(),
                                    [&](auto* label) { return label->text() == panel.model.deviceTitle(); });
    QVERIFY(title != labels.end());
    const int line = (*title)->fontMetrics().lineSpacing();
    QCOMPARE((*title)->heightForWidth((*title)->width()), line);
    QVERIFY((*title)->height() < 2 * line);
    QVERIFY(panel.view->width() == 300);
}

void TestPanelView::accessibleActionIsAClick_data() {
    QTest::addColumn<QString>("control"); // its accessible name
    QTest::addColumn<Effect>("effect");
    const auto asked = [](const char* path) {
        return Effect([path](auto& p) { return p.requests(path) == 1; });
    };
    QTest::newRow("targeting") << "Target an element" << Effect([](auto& p) {
        return p.control.toggles == 1 && !p.view->targetButton()->isChecked();
    });
    QTest::newRow("hide") << "Hide Simulator panel"
                          << Effect([](auto& p) { return !p.settings.simulatorPanel(); });
    QTest::newRow("access") << PlatformText::accessSettings().button
                            << Effect([](auto& p) { return p.control.accessRequests == 1; });
    QTest::newRow("switch") << "Auto mode" << asked("/api/settings");
    QTest::newRow("discard") << "Discard selection" << Effect([](auto& p) { return !p.model.draft(); });
    QTest::newRow("chip") << "Color"
                          << Effect([](auto& p) { return p.model.category() == QStringLiteral("color"); });
    QTest::newRow("context") << "{ } Context" << Effect([](auto& p) { return p.model.showContext(); });
    QTest::newRow("send") << "Send" << asked("/report");
    QTest::newRow("dismiss") << "Dismiss progress" << Effect([](auto& p) { return !p.model.report(); });
    QTest::newRow("commit") << "Commit fix" << asked("/api/reports/r-1/commit");
    QTest::newRow("verify") << "I\u2019ll commit" << asked("/api/reports/r-1/verify");
    QTest::newRow("revert") << "Revert" << Effect([](PanelViewFixture& p) {
        return p.part<RevertButton>("revert")->armed();
    });
    QTest::newRow("dashboard") << "Open in dashboard" << Effect([](auto& p) { return p.raised == 1; });
    QTest::newRow("remove a pin") << "Remove pin 2"
                                  << Effect([](auto& p) { return p.model.draft()->pins.size() == 1; });
    QTest::newRow("copy as prompt") << "Copy as Prompt" << Effect([](auto& p) {
        return QApplication::clipboard()->text() == p.model.prompt() &&
               QApplication::clipboard()->mimeData()->hasFormat(QStringLiteral("image/png"));
    });
    QTest::newRow("annotated screenshot")
        << "Annotated screenshot"
        << Effect([](auto& p) { return p.view->composer()->thumbnail()->window() != nullptr; });
    QTest::newRow("before") << "Before"
                            << Effect([](auto& p) { return p.view->progress()->before()->window(); });
    QTest::newRow("after") << "After"
                           << Effect([](auto& p) { return p.view->progress()->after()->window(); });
}

void TestPanelView::accessibleActionIsAClick() {
    QFETCH(QString, control);
    QFETCH(Effect, effect);
    // Every control at once: the callout, a draft of two pins with a request and its pictures, a
    // report sent from here in review, before and after.
    PanelViewFixture panel;
    Draft draft = PanelStates::draft();
    draft.pins.push_back(PanelStates::draft(std::nullopt, std::nullopt, QStringLiteral("Screen")).pick());
    draft.png = PanelStates::png();
    panel.tool.setAnswer(FakeSimulatorTool::device(PanelStates::listing(), draft.png));
    panel.model.setDraft(draft);
    panel.model.setComment(QStringLiteral("Bigger"));
    panel.model.setReport(
        TrackedReport{QStringLiteral("r-1"),
                      {},
                      QDateTime::currentDateTimeUtc(),
                      QStringLiteral("review"),
                      std::make_shared<const SentPicture>(
                          SentPicture{draft.device.udid, draft.png, QImage(10, 20, QImage::Format_RGB32)})});
    panel.model.setAutoDispatch(false);
    QTRY_VERIFY_WITH_TIMEOUT(
        panel.model.pictures() && panel.model.after().state == PanelComparison::After::State::Taken, 10000);
    QVERIFY(pressAccessibly(panel.view.get(), control));
    QTRY_VERIFY_WITH_TIMEOUT(effect(panel), 5000);
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (qobject_cast<PictureWindow*>(window))
            window->close();
    }
}

QTEST_MAIN(TestPanelView)
#include "tst_panelview.moc"
