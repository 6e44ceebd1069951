#include "platform/linux/AtspiAccessibility.h"

#include <QTest>

using platform::x11::AtspiAccessibility;

class TestAtspiRoles : public QObject {
    Q_OBJECT
private slots:
    void axRole_data();
    void axRole();
};

void TestAtspiRoles::axRole_data() {
    // AT-SPI role numbers (AtspiRole) and the AX-style names the targeting code reads.
    QTest::addColumn<uint>("role");
    QTest::addColumn<QString>("expected");
    QTest::newRow("push button") << 43u << "AXButton";
    QTest::newRow("label") << 29u << "AXStaticText";
    QTest::newRow("image") << 27u << "AXImage";
    QTest::newRow("icon") << 26u << "AXImage";
    QTest::newRow("entry") << 79u << "AXTextField";
    QTest::newRow("text") << 61u << "AXTextField";
    QTest::newRow("password text") << 40u << "AXTextField";
    QTest::newRow("check box") << 7u << "AXCheckBox";
    QTest::newRow("toggle button") << 62u << "AXCheckBox";
    QTest::newRow("radio button") << 44u << "AXRadioButton";
    QTest::newRow("slider") << 51u << "AXSlider";
    QTest::newRow("link") << 88u << "AXLink";
    QTest::newRow("heading") << 83u << "AXHeading";
    QTest::newRow("frame") << 23u << "AXWindow";
    QTest::newRow("window") << 69u << "AXWindow";
    QTest::newRow("panel") << 39u << "AXGroup";
    QTest::newRow("filler") << 20u << "AXGroup";
    QTest::newRow("section") << 85u << "AXGroup";
    QTest::newRow("grouping") << 99u << "AXGroup";
    QTest::newRow("scroll pane") << 49u << "AXGroup";
    QTest::newRow("layered pane") << 30u << "AXGroup";
    QTest::newRow("any other: upper camel case") << 63u << "AXToolBar";
    QTest::newRow("three words") << 38u << "AXPageTabList";
    QTest::newRow("dialog is not a window role") << 16u << "AXDialog";
    QTest::newRow("the last role") << 129u << "AXPushButtonMenu";
    QTest::newRow("a role newer than we know") << 500u << "AXUnknown";
}

void TestAtspiRoles::axRole() {
    QFETCH(uint, role);
    QFETCH(QString, expected);
    QCOMPARE(AtspiAccessibility::axRole(role), expected);
}

QTEST_GUILESS_MAIN(TestAtspiRoles)
#include "tst_atspiroles.moc"
