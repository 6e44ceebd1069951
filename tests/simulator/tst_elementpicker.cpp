#include "simulator/ElementPicker.h"
#include "support/TargetingThrough.h"

#include <QTest>

#include <functional>

using Setup = std::function<void(FakeAXElement& hit)>;
Q_DECLARE_METATYPE(Setup)

namespace {

constexpr qint32 simulatorPid = 500;
const QRectF screen(100, 80, 300, 600);
const QRectF buttonFrame(120, 400, 260, 44);

void button(FakeAXElement& hit) {
    hit.set("AXRole", QStringLiteral("AXButton")).setFrame(buttonFrame);
    hit.set("AXIdentifier", QStringLiteral("saveButton")).set("AXDescription", QStringLiteral("Save"));
}

QStringList reads(std::initializer_list<const char*> attributes) {
    QStringList list;
    for (const char* attribute : attributes)
        list.append(QStringLiteral("hit.") + QLatin1String(attribute));
    return list;
}

} // namespace

class TestElementPicker : public QObject {
    Q_OBJECT
private slots:
    void element_data();
    void element();
    void cleanup() { checkReleased(); }
};

void TestElementPicker::element_data() {
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<QPointF>("point");
    QTest::addColumn<QString>("identifier"); // "-": absent
    QTest::addColumn<QString>("label");      // "-": absent
    QTest::addColumn<QString>("role");
    QTest::addColumn<QRectF>("frame"); // null: absent
    QTest::addColumn<QStringList>("requests");

    const QPointF inside(150, 420);
    const QStringList asked{"application 500", "elementAt 150,420"};
    const auto empty = [&](const char* name, Setup setup, QPointF point, QStringList requests) {
        QTest::newRow(name) << setup << point << "-"
                            << "-"
                            << "Screen" << QRectF() << requests;
    };
    const auto found = [&](const char* name, Setup setup, const QString& identifier, const QString& label,
                           const QString& role, const QStringList& hitReads) {
        QTest::newRow(name) << setup << inside << identifier << label << role << buttonFrame
                            << asked + hitReads;
    };

    empty("on the screen's right edge", button, QPointF(400, 300), {});
    empty("on the screen's bottom edge", button, QPointF(200, 680), {});
    empty("left of the screen", button, QPointF(99.5, 300), {});
    QTest::newRow("on the screen's top-left corner")
        << Setup(button) << QPointF(100, 80) << "saveButton"
        << "Save"
        << "Button" << buttonFrame
        << QStringList{"application 500", "elementAt 100,80"} +
               reads({"AXSubrole", "AXPosition", "AXSize", "AXIdentifier", "AXDescription", "AXRole"});
    empty("nothing at the point", nullptr, inside, asked);
    empty(
        "the device screen itself",
        [](FakeAXElement& hit) {
            button(hit);
            hit.set("AXSubrole", QStringLiteral("iOSContentGroup"));
        },
        inside, asked + reads({"AXSubrole"}));
    empty(
        "a position without a size",
        [](FakeAXElement& hit) {
            button(hit);
            hit.attributes.remove("AXSize");
        },
        inside, asked + reads({"AXSubrole", "AXPosition", "AXSize"}));
    empty(
        "a size without a position",
        [](FakeAXElement& hit) {
            button(hit);
            hit.attributes.remove("AXPosition");
        },
        inside, asked + reads({"AXSubrole", "AXPosition"}));
    empty(
        "an application that never answers",
        [](FakeAXElement& hit) {
            button(hit);
            hit.answers = false;
        },
        inside, asked + reads({"AXSubrole", "AXPosition"}));

    found(
        "an empty identifier is absent",
        [](FakeAXElement& hit) {
            button(hit);
            hit.set("AXIdentifier", QString());
        },
        "-", "Save", "Button",
        reads({"AXSubrole", "AXPosition", "AXSize", "AXIdentifier", "AXDescription", "AXRole"}));
    found(
        "an identifier of another kind is absent",
        [](FakeAXElement& hit) {
            button(hit);
            hit.set("AXIdentifier", 12.0);
        },
        "-", "Save", "Button",
        reads({"AXSubrole", "AXPosition", "AXSize", "AXIdentifier", "AXDescription", "AXRole"}));
    found(
        "an empty description gives way to the title",
        [](FakeAXElement& hit) {
            button(hit);
            hit.set("AXDescription", QString()).set("AXTitle", QStringLiteral("Done"));
            hit.set("AXValue", QStringLiteral("ignored"));
        },
        "saveButton", "Done", "Button",
        reads({"AXSubrole", "AXPosition", "AXSize", "AXIdentifier", "AXDescription", "AXLabel", "AXTitle",
               "AXRole"}));
    found(
        "the label attribute comes before the title",
        [](FakeAXElement& hit) {
            button(hit);
            hit.attributes.remove("AXDescription");
            hit.set("AXLabel", QStringLiteral("Keep")).set("AXTitle", QStringLiteral("Done"));
        },
        "saveButton", "Keep", "Button",
        reads({"AXSubrole", "AXPosition", "AXSize", "AXIdentifier", "AXDescription", "AXLabel", "AXRole"}));
    found(
        "a text value is the last resort",
        [](FakeAXElement& hit) {
            button(hit);
            hit.attributes.remove("AXDescription");
            hit.set("AXTitle", QString()).set("AXValue", QStringLiteral("ada@example.com"));
        },
        "saveButton", "ada@example.com", "Button",
        reads({"AXSubrole", "AXPosition", "AXSize", "AXIdentifier", "AXDescription", "AXLabel", "AXTitle",
               "AXValue", "AXRole"}));
    found(
        "a numeric value is no label",
        [](FakeAXElement& hit) {
            button(hit);
            hit.attributes.remove("AXDescription");
            hit.set("AXValue", 40.0);
        },
        "saveButton", "-", "Button",
        reads({"AXSubrole", "AXPosition", "AXSize", "AXIdentifier", "AXDescription", "AXLabel", "AXTitle",
               "AXValue", "AXRole"}));
    const QStringList allReads =
        reads({"AXSubrole", "AXPosition", "AXSize", "AXIdentifier", "AXDescription", "AXRole"});
    found(
        "static text",
        [](FakeAXElement& hit) {
            button(hit);
            hit.set("AXRole", QStringLiteral("AXStaticText"));
        },
        "saveButton", "Save", "StaticText", allReads);
    found(
        "no role",
        [](FakeAXElement& hit) {
            button(hit);
            hit.attributes.remove("AXRole");
        },
        "saveButton", "Save", "Element", allReads);
    found(
        "a role of another kind",
        [](FakeAXElement& hit) {
            button(hit);
            hit.set("AXRole", 3.0);
        },
        "saveButton", "Save", "Element", allReads);
    found(
        "a role without the prefix is kept whole",
        [](FakeAXElement& hit) {
            button(hit);
            hit.set("AXRole", QStringLiteral("CustomAXView"));
        },
        "saveButton", "Save", "CustomAXView", allReads);
    QTest::newRow("partly outside the screen: the frame as read") << Setup([](FakeAXElement& hit) {
        button(hit);
        hit.setFrame(QRectF(300, 400, 150, 84));
    }) << inside << "saveButton"
                                                                  << "Save"
                                                                  << "Button" << QRectF(300, 400, 150, 84)
                                                                  << asked + allReads;
}

void TestElementPicker::element() {
    QFETCH(Setup, setup);
    QFETCH(QPointF, point);
    QFETCH(QString, identifier);
    QFETCH(QString, label);
    QFETCH(QString, role);
    QFETCH(QRectF, frame);
    QFETCH(QStringList, requests);

    FakeDesktop desktop;
    desktop.application(simulatorPid);
    std::shared_ptr<FakeAXElement> hit;
    if (setup) {
        hit = desktop.element("hit");
        setup(*hit);
        desktop.accessibility.hit = [&](float, float) { return hit; };
    }
    const SimulatorWindow window{simulatorPid, QRectF(80, 20, 340, 700), "iPhone", 7u, nullptr};

    const PickResult result = ElementPicker::element(accessibilityOf(desktop), point, window, screen);
    QCOMPARE(result.identifier.value_or("-"), identifier);
    QCOMPARE(result.label.value_or("-"), label);
    QCOMPARE(result.role, role);
    QCOMPARE(result.frame.value_or(QRectF()), frame);
    QCOMPARE(result.point, point);
    QCOMPARE(result.screen, screen);
    QCOMPARE(result.window.number, window.number);
    QCOMPARE(*desktop.log, expectedLog(requests));
    if (!requests.isEmpty())
        QCOMPARE(desktop.accessibility.timeouts, QList<std::chrono::milliseconds>{AX::messagingTimeout});
}

QTEST_GUILESS_MAIN(TestElementPicker)
#include "tst_elementpicker.moc"
