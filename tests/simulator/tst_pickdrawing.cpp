#include "simulator/PickDrawing.h"

#include <QTest>

namespace {

QString repeated(const QString& unit, int times) {
    QString text;
    for (int i = 0; i < times; ++i)
        text += unit;
    return text;
}

PickResult hit(std::optional<QString> identifier, std::optional<QString> label, QString role,
               std::optional<QRectF> frame) {
    PickResult result;
    result.identifier = std::move(identifier);
    result.label = std::move(label);
    result.role = std::move(role);
    result.frame = frame;
    return result;
}

const QRectF screen(100, 80, 300, 600);

} // namespace

Q_DECLARE_METATYPE(PickResult)

class TestPickDrawing : public QObject {
    Q_OBJECT
private slots:
    void tagText_data();
    void tagText();
    void tagRect_data();
    void tagRect();
    void highlight_data();
    void highlight();
};

void TestPickDrawing::tagText_data() {
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("expected");

    const QString ellipsis(QChar(0x2026));
    QTest::newRow("48 characters whole") << repeated("a", 48) << repeated("a", 48);
    QTest::newRow("49 characters: 47 and an ellipsis") << repeated("a", 49) << repeated("a", 47) + ellipsis;
    QTest::newRow("empty") << QString() << QString();
    // A flag is two code points and four UTF-16 units; an accented letter here is two code points.
    const QString flag = QString::fromUtf8("\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7");
    QTest::newRow("48 flags whole") << repeated(flag, 48) << repeated(flag, 48);
    QTest::newRow("49 flags cut between flags") << repeated(flag, 49) << repeated(flag, 47) + ellipsis;
    const QString accented = QStringLiteral("e\u0301");
    QTest::newRow("combining marks stay with their letter")
        << repeated(accented, 49) << repeated(accented, 47) + ellipsis;
}

void TestPickDrawing::tagText() {
    QFETCH(QString, label);
    QFETCH(QString, expected);
    QCOMPARE(PickDrawing::tagText(label), expected);
}

void TestPickDrawing::tagRect_data() {
    QTest::addColumn<QRectF>("h");
    QTest::addColumn<QSizeF>("text");
    QTest::addColumn<double>("viewWidth");
    QTest::addColumn<QRectF>("expected");

    // Text 60 × 14: the tag is 70 × 18 and sits 20 points above the highlight's top.
    const QSizeF text(60, 14);
    QTest::newRow("above the highlight")
        << QRectF(40, 100, 120, 44) << text << 300.0 << QRectF(40, 80, 70, 18);
    QTest::newRow("exactly fits above") << QRectF(40, 20, 120, 44) << text << 300.0 << QRectF(40, 0, 70, 18);
    QTest::newRow("touching the top: below")
        << QRectF(40, 0, 120, 44) << text << 300.0 << QRectF(40, 46, 70, 18);
    QTest::newRow("one point short of room above: below")
        << QRectF(40, 19, 120, 44) << text << 300.0 << QRectF(40, 65, 70, 18);
    QTest::newRow("near the right edge: ends at the edge")
        << QRectF(260, 100, 40, 44) << text << 300.0 << QRectF(230, 80, 70, 18);
    QTest::newRow("left of the view: starts at 0")
        << QRectF(-10, 100, 40, 44) << text << 300.0 << QRectF(0, 80, 70, 18);
    QTest::newRow("wider than the view: starts left of 0")
        << QRectF(10, 100, 40, 44) << QSizeF(300, 14) << 200.0 << QRectF(-110, 80, 310, 18);
}

void TestPickDrawing::tagRect() {
    QFETCH(QRectF, h);
    QFETCH(QSizeF, text);
    QFETCH(double, viewWidth);
    QFETCH(QRectF, expected);
    QCOMPARE(PickDrawing::tagRect(h, text, viewWidth), expected);
}

void TestPickDrawing::highlight_data() {
    QTest::addColumn<PickResult>("hit");
    QTest::addColumn<QRectF>("rect");   // null: none
    QTest::addColumn<QString>("label"); // "-": none
    QTest::addColumn<bool>("mono");

    const QRectF button(120, 400, 260, 44);
    QTest::newRow("identifier, monospaced")
        << hit("saveButton", "Save", "Button", button) << button << "saveButton" << true;
    QTest::newRow("label without identifier")
        << hit({}, "Save", "Button", button) << button << "Save" << false;
    QTest::newRow("role without label") << hit({}, {}, "Image", button) << button << "Image" << false;
    QTest::newRow("clipped to the screen") << hit({}, "Upgrade", "Button", QRectF(300, 200, 130, 40))
                                           << QRectF(300, 200, 100, 40) << "Upgrade" << false;
    QTest::newRow("nothing found") << hit({}, {}, "Screen", std::nullopt) << QRectF() << "-" << false;
}

void TestPickDrawing::highlight() {
    QFETCH(PickResult, hit);
    QFETCH(QRectF, rect);
    QFETCH(QString, label);
    QFETCH(bool, mono);

    const PickDrawing::Highlight drawn = PickDrawing::highlight(hit, screen);
    QCOMPARE(drawn.rect.value_or(QRectF()), rect);
    QCOMPARE(drawn.label.value_or(QStringLiteral("-")), label);
    QCOMPARE(drawn.mono, mono);
}

QTEST_APPLESS_MAIN(TestPickDrawing)
#include "tst_pickdrawing.moc"
