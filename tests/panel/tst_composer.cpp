// The composer: the element row, the category chips, the request editor, Send and its shortcut,
// and the context preview.
#include "PanelViewFixture.h"
#include "panel/Composer.h"

#include <QAccessible>
#include <QPlainTextEdit>
#include <QSignalSpy>

class TestComposer : public QObject {
    Q_OBJECT

private slots:
    void elementRow_data();
    void elementRow();
    void chipsSelectAndClear_data();
    void chipsSelectAndClear();
    void sendFollowsTheRequest_data();
    void sendFollowsTheRequest();
    void shortcutSendsOnce_data();
    void shortcutSendsOnce();
    void editorFollowsTheModel();
    void takesFocusAndRefreshesWhileOnScreen();
    void previewShowsThePacket_data();
    void previewShowsThePacket();
};

void TestComposer::elementRow_data() {
    QTest::addColumn<std::optional<QString>>("identifier");
    QTest::addColumn<std::optional<QString>>("label");
    QTest::addColumn<QString>("role");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("details");
    QTest::addColumn<bool>("monospaced");

    const std::optional<QString> none;
    QTest::newRow("identifier, label and role") << std::optional<QString>(QStringLiteral("saveButton"))
                                                << std::optional<QString>(QStringLiteral("Save")) << "Button"
                                                << "saveButton"
                                                << "Save \u00b7 Button \u00b7 iPhone 15 Pro" << true;
    QTest::newRow("label without identifier")
        << none << std::optional<QString>(QStringLiteral("Continue")) << "Button"
        << "Continue"
        << "Button \u00b7 iPhone 15 Pro" << false;
    QTest::newRow("identifier only") << std::optional<QString>(QStringLiteral("hero")) << none << "Image"
                                     << "hero"
                                     << "Image \u00b7 iPhone 15 Pro" << true;
    QTest::newRow("no element") << none << none << "Screen"
                                << "Screen"
                                << "Screen \u00b7 iPhone 15 Pro" << false;
}

void TestComposer::elementRow() {
    QFETCH(std::optional<QString>, identifier);
    QFETCH(std::optional<QString>, label);
    QFETCH(QString, role);
    QFETCH(QString, name);
    QFETCH(QString, details);
    QFETCH(bool, monospaced);

    PanelViewFixture panel;
    panel.model.setDraft(PanelStates::draft(identifier, label, role));
    const QList<PanelWidgets::ClampedLabel*> labels =
        panel.view->composer()->findChildren<PanelWidgets::ClampedLabel*>();
    QCOMPARE(labels.size(), 2);
    QCOMPARE(labels[0]->text(), name);
    QCOMPARE(labels[1]->text(), details);
    const QFontMetrics metrics(labels[0]->font());
    QCOMPARE(metrics.horizontalAdvance(QStringLiteral("iiii")) ==
                 metrics.horizontalAdvance(QStringLiteral("MMMM")),
             monospaced);
    QCOMPARE(labels[0]->parentWidget()->accessibleName(), name + QStringLiteral(", ") + details);

    auto* discard = panel.view->composer()->findChild<PanelWidgets::SymbolButton*>();
    QCOMPARE(discard->accessibleName(), QStringLiteral("Discard selection"));
    QCOMPARE(discard->toolTip(), QStringLiteral("Discard"));
    panel.model.setComment(QStringLiteral("Bigger"));
    discard->click();
    QVERIFY(!panel.model.draft());
    QVERIFY(panel.model.comment().isEmpty());
    QVERIFY(!PanelViewFixture::shows(panel.view->composer()));
}

void TestComposer::chipsSelectAndClear_data() {
    QTest::addColumn<std::optional<QString>>("before");
    QTest::addColumn<QString>("pressed");
    QTest::addColumn<std::optional<QString>>("after");
    QTest::newRow("select") << std::optional<QString>() << "Color"
                            << std::optional<QString>(QStringLiteral("color"));
    QTest::newRow("pressing the selected clears")
        << std::optional<QString>(QStringLiteral("color")) << "Color" << std::optional<QString>();
    QTest::newRow("another one replaces") << std::optional<QString>(QStringLiteral("color")) << "Layout"
                                          << std::optional<QString>(QStringLiteral("layout"));
}

void TestComposer::chipsSelectAndClear() {
    QFETCH(std::optional<QString>, before);
    QFETCH(QString, pressed);
    QFETCH(std::optional<QString>, after);

    PanelViewFixture panel;
    panel.model.setCategory(before);
    panel.model.setDraft(PanelStates::draft());
    auto* chips = panel.view->composer()->findChild<FlowChips*>();
    QCOMPARE(chips->accessibleName(), QStringLiteral("Change category, optional"));
    QStringList captions;
    for (PanelWidgets::Chip* chip : chips->chips())
        captions.append(chip->text());
    QCOMPARE(captions, QStringList({"Spacing", "Color", "Text", "Size", "Layout", "Other"}));

    PanelWidgets::Chip* chip = chips->chips()[int(captions.indexOf(pressed))];
    QCOMPARE(chip->accessibleDescription(), QStringLiteral("Change category"));
    chip->click();
    QCOMPARE(panel.model.category(), after);
    for (PanelWidgets::Chip* each : chips->chips()) {
        const bool selected = after && each->text().toLower() == *after;
        QCOMPARE(each->isChecked(), selected);
        QCOMPARE(QAccessible::queryAccessibleInterface(each)->state().checked, selected);
    }
}

void TestComposer::sendFollowsTheRequest_data() {
    QTest::addColumn<QString>("comment");
    QTest::addColumn<bool>("sending");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("empty") << "" << false << false;
    QTest::newRow("a space") << " " << false << false;
    QTest::newRow("only white space and line breaks") << " \n\t \n" << false << false;
    QTest::newRow("a word") << "Bigger" << false << true;
    QTest::newRow("a word within spaces") << "  Bigger\n" << false << true;
    QTest::newRow("while sending") << "Bigger" << true << false;
}

void TestComposer::sendFollowsTheRequest() {
    QFETCH(QString, comment);
    QFETCH(bool, sending);
    QFETCH(bool, enabled);

    PanelViewFixture panel;
    panel.model.setDraft(PanelStates::draft());
    panel.view->composer()->editor()->setPlainText(comment);
    QCOMPARE(panel.model.comment(), comment);
    panel.model.setSending(sending);
    PanelWidgets::PanelButton* send = panel.view->composer()->sendButton();
    QCOMPARE(send->isEnabled(), enabled);
    QCOMPARE(send->isBusy(), sending);
    QVERIFY(send->toolTip().startsWith(QStringLiteral("Send to Tallyrig (")));
}

void TestComposer::shortcutSendsOnce_data() {
    QTest::addColumn<int>("key");
    QTest::newRow("Return") << int(Qt::Key_Return);
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter);
}

void TestComposer::shortcutSendsOnce() {
    QFETCH(int, key);

    PanelViewFixture panel;
    panel.bridge.setHandler([](const QByteArray&, const QString& path) {
        if (path == QLatin1String("/report"))
            return TestHttpServer::json(R"({"id":"r-7","status":"queued"})");
        return TestHttpServer::json(R"({"autoDispatch":true,"autoRelaunch":true})");
    });
    panel.model.setVisible(true);
    panel.model.setDraft(PanelStates::draft());
    QVERIFY(panel.show());
    QPlainTextEdit* editor = panel.view->composer()->editor();
    QTest::keyClicks(editor, QStringLiteral("Bigger"));
    QSignalSpy sending(&panel.model, &SimulatorPanelModel::sendingChanged);

    QTest::keyClick(editor, Qt::Key(key), Qt::ControlModifier);
    QTest::keyClick(editor, Qt::Key(key), Qt::ControlModifier);
    QVERIFY(!sending.isEmpty() && sending.first().first().toBool());
    QVERIFY(panel.view->composer()->sendButton()->isBusy());
    QTRY_VERIFY_WITH_TIMEOUT(panel.model.report().has_value() && !panel.model.sending(), 10000);
    QCOMPARE(panel.requests(QStringLiteral("/report")), 1);
    QCOMPARE(panel.model.report()->request, QStringLiteral("Bigger"));
    // The request was not typed into with the shortcut's line break.
    QVERIFY(editor->toPlainText().isEmpty());
}

void TestComposer::editorFollowsTheModel() {
    PanelViewFixture panel;
    panel.model.setDraft(PanelStates::draft());
    QPlainTextEdit* editor = panel.view->composer()->editor();
    QCOMPARE(editor->accessibleName(), QStringLiteral("What should change?"));
    QCOMPARE(editor->placeholderText(), QStringLiteral("What should change?"));

    QTest::keyClicks(editor, QStringLiteral("Less padding"));
    QCOMPARE(panel.model.comment(), QStringLiteral("Less padding"));
    panel.model.setComment(QString());
    QVERIFY(editor->toPlainText().isEmpty());
    // A request carried over to a new pick shows in the editor with it.
    panel.model.setComment(QStringLiteral("Carried over"));
    QCOMPARE(editor->toPlainText(), QStringLiteral("Carried over"));
}

void TestComposer::takesFocusAndRefreshesWhileOnScreen() {
    PanelViewFixture panel;
    panel.bridge.setHandler(
        [](const QByteArray&, const QString&) { return TestHttpServer::json(R"({"b":1,"a":"/"})"); });
    panel.model.setTrusted(true);
    panel.model.setShowContext(true);
    QVERIFY(panel.show());
    QVERIFY(!panel.model.previewRefresh().isActive());

    panel.model.setDraft(PanelStates::draft());
    QTRY_COMPARE(QApplication::focusWidget(), panel.view->composer()->editor());
    QVERIFY(panel.model.previewRefresh().isActive());
    QTRY_COMPARE_WITH_TIMEOUT(panel.model.packet(), QStringLiteral("{\n  \"a\": \"/\",\n  \"b\": 1\n}"),
                              5000);
    QCOMPARE(panel.requests(QStringLiteral("/packet")), 1);

    // Targeting again takes the composer off screen, and its refresh with it.
    panel.model.setPicking(true);
    QVERIFY(!panel.model.previewRefresh().isActive());
    panel.model.setComment(QStringLiteral("typed while targeting"));
    QTest::qWait(200);
    QCOMPARE(panel.requests(QStringLiteral("/packet")), 1);
}

void TestComposer::previewShowsThePacket_data() {
    QTest::addColumn<bool>("open");
    QTest::addColumn<QString>("packet");
    QTest::addColumn<QString>("shown");
    QTest::newRow("closed") << false << ""
                            << "";
    QTest::newRow("nothing loaded yet") << true << ""
                                        << "Loading\u2026";
    QTest::newRow("loaded") << true << "{\n  \"comment\": \"Bigger\"\n}"
                            << "{\n  \"comment\": \"Bigger\"\n}";
    QTest::newRow("failed") << true << "Preview unavailable: Bridge error"
                            << "Preview unavailable: Bridge error";
}

void TestComposer::previewShowsThePacket() {
    QFETCH(bool, open);
    QFETCH(QString, packet);
    QFETCH(QString, shown);

    PanelViewFixture panel;
    panel.model.setDraft(PanelStates::draft());
    panel.model.setPacket(packet);
    auto* toggle =
        panel.view->composer()->findChild<PanelWidgets::PanelButton*>(QStringLiteral("contextToggle"));
    QCOMPARE(toggle->text(), QStringLiteral("{ } Context"));
    QCOMPARE(toggle->toolTip(), QStringLiteral("Preview the context packet your agent receives"));
    if (open)
        toggle->click();
    QCOMPARE(panel.model.showContext(), open);
    QCOMPARE(toggle->isChecked(), open);

    auto* preview = panel.view->composer()->findChild<PacketPreview*>();
    QCOMPARE(PanelViewFixture::shows(preview), open);
    if (open) {
        QCOMPARE(preview->text()->toPlainText(), shown);
        QCOMPARE(preview->text()->accessibleName(), QStringLiteral("Context packet preview"));
        QVERIFY(preview->text()->textInteractionFlags() & Qt::TextSelectableByMouse);
        // Set at 10 points, not at a share of the desktop's text size.
        QCOMPARE(preview->text()->font().pointSizeF(), 10.0);
    }
}

QTEST_MAIN(TestComposer)
#include "tst_composer.moc"
