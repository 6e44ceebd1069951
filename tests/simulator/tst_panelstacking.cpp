#include "simulator/PanelStacking.h"

#include <QTest>

class TestPanelStacking : public QObject {
    Q_OBJECT
private slots:
    void shouldOrderAbove_data();
    void shouldOrderAbove();
};

void TestPanelStacking::shouldOrderAbove_data() {
    // Each look: the normal windows front to back (P the panel, S the Simulator, M the main window,
    // X another application's), then whether the panel is to be ordered above the Simulator.
    QTest::addColumn<QStringList>("looks");

    QTest::newRow("directly above: nothing to ask") << QStringList{"PS 0", "PS 0", "XPS 0", "MPSX 0"};
    QTest::newRow("asked, and the window manager obeys") << QStringList{"SP 1", "PS 0", "SXP 1", "XPS 0"};
    QTest::newRow("asked, and nothing changes: not asked again") << QStringList{"SXP 1", "SXP 0", "SXP 0"};
    QTest::newRow("the answer comes late: asked once more at most")
        << QStringList{"SXP 1", "SXP 0", "XSP 1", "XSP 0", "XSP 0"};
    QTest::newRow("another stacking is asked about again") << QStringList{"SP 1", "SP 0", "SXP 1"};
    QTest::newRow("a raising window manager: the panel never jumps over a window covering the Simulator")
        << QStringList{"PMS 1", "PMS 0", "MPS 0", "SMP 1", "PSM 0", "MSP 0", "XMSP 0", "SXMP 1", "PSXM 0"};
    QTest::newRow("learnt from a late answer")
        << QStringList{"XSP 1", "XSP 0", "PXS 1", "PXS 0", "XSP 0", "SXP 1"};
    QTest::newRow("panel not listed yet: asked once listed") << QStringList{"S 0", "S 0", "SP 1", "PS 0"};
    QTest::newRow("hidden while asked, listed again") << QStringList{"SP 1", "S 0", "XSP 1", "XSP 0"};
}

void TestPanelStacking::shouldOrderAbove() {
    QFETCH(QStringList, looks);
    const auto number = [](QChar letter) { return quint32(letter.unicode()); };
    const quint32 panel = number(u'P');
    const quint32 simulator = number(u'S');

    PanelStacking::State state;
    for (const QString& look : looks) {
        const QStringList parts = look.split(u' ');
        std::vector<quint32> order;
        for (QChar letter : parts.at(0))
            order.push_back(number(letter));
        const auto at = std::find(order.begin(), order.end(), panel);
        const bool directlyAbove = at != order.end() && at + 1 != order.end() && *(at + 1) == simulator;
        QVERIFY2(PanelStacking::shouldOrderAbove(state, order, panel, simulator, directlyAbove) ==
                     (parts.at(1) == QLatin1String("1")),
                 qPrintable(look));
    }
}

QTEST_APPLESS_MAIN(TestPanelStacking)
#include "tst_panelstacking.moc"
