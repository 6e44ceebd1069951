#include "PanelFixtures.h"
#include "panel/Payload.h"
#include "panel/TrackedReport.h"

#include <QTest>

#include <cmath>
#include <limits>

using nlohmann::json;
using namespace PanelFixtures;

namespace {

json parsed(const ReportBody& body) {
    const QByteArray text = body.compact();
    return json::parse(text.constData(), text.constData() + text.size());
}

QStringList keys(const json& object) {
    QStringList names;
    for (const auto& [key, value] : object.items())
        names.append(QString::fromStdString(key));
    return names;
}

} // namespace

class PayloadTest : public QObject {
    Q_OBJECT

private slots:
    void workedExample() {
        const json body = parsed(payload(draft(), QStringLiteral("Bigger"), std::nullopt, false));
        QCOMPARE(body["touch"]["x"].get<double>(), 168.5);
        QCOMPARE(body["touch"]["y"].get<double>(), 270.1);
        const json frame = body["element"]["frame"];
        QCOMPARE(frame["x"].get<double>(), 15.0);
        QCOMPARE(frame["y"].get<double>(), 15.0);
        QCOMPARE(frame["width"].get<double>(), 150.0);
        QCOMPARE(frame["height"].get<double>(), 66.0);
        // Numbers travel as JSON numbers.
        QVERIFY(body["touch"]["x"].is_number());
        QVERIFY(body.is_object());
        QCOMPARE(body["platform"].get<std::string>(), "ios");
        QCOMPARE(body["simulator"].get<std::string>(), udid.toStdString());
        QCOMPARE(body["device"].get<std::string>(), deviceName.toStdString());
        QCOMPARE(body["screen"].get<std::string>(), windowTitle.toStdString());
        QCOMPARE(body["viewport"].get<std::string>(), "393x852");
        QCOMPARE(body["element"]["resolution"].get<std::string>(), "accessibility");
        QCOMPARE(body["element"]["type"].get<std::string>(), "Button");
    }

    void rounding_data() {
        QTest::addColumn<double>("value");
        QTest::addColumn<double>("rounded");
        QTest::newRow("half up") << 0.25 << 0.3;
        QTest::newRow("half below zero") << -0.25 << -0.3;
        QTest::newRow("just under half") << 270.105 << 270.1;
        QTest::newRow("down") << 1.04 << 1.0;
        QTest::newRow("negative down") << -1.04 << -1.0;
        QTest::newRow("whole") << 150.0 << 150.0;
        QTest::newRow("zero") << 0.0 << 0.0;
        QTest::newRow("large") << 123456.78 << 123456.8;
    }
    void rounding() {
        QFETCH(double, value);
        QFETCH(double, rounded);
        QCOMPARE(roundToTenth(value), rounded);
    }

    // Which optional members appear, and what "name" falls back to.
    void optionalMembers_data() {
        QTest::addColumn<std::optional<QString>>("identifier");
        QTest::addColumn<std::optional<QString>>("label");
        QTest::addColumn<bool>("hasFrame");
        QTest::addColumn<std::optional<QString>>("category");
        QTest::addColumn<bool>("screenshot");
        QTest::addColumn<QStringList>("members");
        QTest::addColumn<QStringList>("elementMembers");
        QTest::addColumn<QString>("name");

        const std::optional<QString> none;
        const QStringList always{"comment", "platform", "screen", "touch", "simulator", "device", "viewport"};
        const QStringList record{"name", "type", "resolution", "frame"};
        QTest::newRow("identifier and label")
            << std::optional<QString>("saveButton") << std::optional<QString>("Save") << true << none << false
            << always + QStringList{"element"} << record + QStringList{"identifier", "accessibilityLabel"}
            << "saveButton";
        QTest::newRow("label only") << none << std::optional<QString>("Save") << true << none << false
                                    << always + QStringList{"element"}
                                    << record + QStringList{"accessibilityLabel"} << "Save";
        QTest::newRow("neither: the role")
            << none << none << true << none << false << always + QStringList{"element"} << record << "Button";
        QTest::newRow("no element hit")
            << std::optional<QString>("x") << none << false << none << false << always << QStringList{} << "";
        QTest::newRow("category") << none << none << false << std::optional<QString>("color") << false
                                  << always + QStringList{"category"} << QStringList{} << "";
        QTest::newRow("screenshot") << none << none << false << none << true
                                    << always + QStringList{"screenshotPNG"} << QStringList{} << "";
    }
    void optionalMembers() {
        QFETCH(std::optional<QString>, identifier);
        QFETCH(std::optional<QString>, label);
        QFETCH(bool, hasFrame);
        QFETCH(std::optional<QString>, category);
        QFETCH(bool, screenshot);
        QFETCH(QStringList, members);
        QFETCH(QStringList, elementMembers);
        QFETCH(QString, name);

        PickResult picked = pick(hasFrame ? std::optional<QRectF>(QRectF(410, 130, 100, 44)) : std::nullopt);
        picked.identifier = identifier;
        picked.label = label;
        const json body = parsed(payload(draft(picked), QStringLiteral("x"), category, screenshot));
        QStringList expected = members;
        expected.sort();
        QCOMPARE(keys(body), expected);
        if (!elementMembers.isEmpty()) {
            expected = elementMembers;
            expected.sort();
            QCOMPARE(keys(body["element"]), expected);
            QCOMPARE(QString::fromStdString(body["element"]["name"].get<std::string>()), name);
        }
        if (category)
            QCOMPARE(QString::fromStdString(body["category"].get<std::string>()), *category);
    }

    void texts_data() {
        QTest::addColumn<QString>("comment");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QSizeF>("pixels");
        QTest::addColumn<QString>("sentComment");
        QTest::addColumn<QString>("screen");
        QTest::addColumn<QString>("viewport");
        QTest::newRow("trimmed, title")
            << " \n Bigger\tplease \r\n"
            << windowTitle << QSizeF(1179, 2556) << "Bigger\tplease" << windowTitle << "393x852";
        QTest::newRow("only white space")
            << " \n\t " << windowTitle << QSizeF(1179, 2556) << "" << windowTitle << "393x852";
        QTest::newRow("empty title: the device")
            << "a"
            << "" << QSizeF(1179, 2556) << "a" << deviceName << "393x852";
        // 801 / 2 = 400.5 rounds to 401 points; the viewport has no decimals.
        QTest::newRow("odd pixels") << "a" << windowTitle << QSizeF(801, 1501) << "a" << windowTitle
                                    << "401x751";
    }
    void texts() {
        QFETCH(QString, comment);
        QFETCH(QString, title);
        QFETCH(QSizeF, pixels);
        QFETCH(QString, sentComment);
        QFETCH(QString, screen);
        QFETCH(QString, viewport);
        PickResult picked = pick();
        picked.window.title = title;
        Draft d = draft(picked);
        d.mapping = DeviceMapping(picked.screen, pixels, deviceName);
        const json body = parsed(payload(d, comment, std::nullopt, false));
        QCOMPARE(QString::fromStdString(body["comment"].get<std::string>()), sentComment);
        QCOMPARE(QString::fromStdString(body["screen"].get<std::string>()), screen);
        QCOMPARE(QString::fromStdString(body["viewport"].get<std::string>()), viewport);
    }

    // The screenshot is written in chunks straight into the body; every length must come out as
    // one padded base64 text without line breaks.
    void screenshotBase64_data() {
        QTest::addColumn<int>("size");
        for (int size : {0, 1, 2, 3, 4, 3 * 64 * 1024 - 1, 3 * 64 * 1024, 3 * 64 * 1024 + 1, 1000003})
            QTest::addRow("%d bytes", size) << size;
    }
    void screenshotBase64() {
        QFETCH(int, size);
        QByteArray bytes(size, Qt::Uninitialized);
        for (int i = 0; i < size; ++i)
            bytes[i] = char((quint32(i) * 7919u + 13u) % 256u);
        const ReportBody body = payload(draft(pick(), bytes), QStringLiteral("x"), std::nullopt, true);
        const json whole = parsed(body);
        const std::string text = whole["screenshotPNG"].get<std::string>();
        QCOMPARE(QByteArray(text.data(), qsizetype(text.size())), bytes.toBase64());
        QVERIFY(!body.compact().contains('\n'));
        QVERIFY(whole == body.value());
    }

    void placementFinite_data() {
        QTest::addColumn<QRectF>("screen");
        QTest::addColumn<bool>("finite");
        QTest::newRow("a screen") << QRectF(400, 120, 262, 568) << true;
        QTest::newRow("no width") << QRectF(400, 120, 0, 568) << false;
        QTest::newRow("a sliver") << QRectF(400, 120, 1e-310, 568) << false;
    }
    void placementFinite() {
        QFETCH(QRectF, screen);
        QFETCH(bool, finite);
        PickResult picked = pick();
        picked.screen = screen;
        QCOMPARE(place(draft(picked)).isFinite(), finite);
    }

    void createdAt_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDateTime>("expected");
        const QDateTime at(QDate(2024, 5, 1), QTime(9, 30, 12, 345), Qt::UTC);
        QTest::newRow("fraction") << "2024-05-01T09:30:12.345" << at;
        QTest::newRow("fraction, Z") << "2024-05-01T09:30:12.345Z" << at;
        QTest::newRow("offset") << "2024-05-01T11:30:12.345+02:00" << at;
        QTest::newRow("no fraction") << "2024-05-01T09:30:12" << at.addMSecs(-345);
        QTest::newRow("no fraction, Z") << "2024-05-01T09:30:12Z" << at.addMSecs(-345);
        QTest::newRow("date only") << "2024-05-01" << QDateTime();
        QTest::newRow("no seconds") << "2024-05-01T09:30" << QDateTime();
        QTest::newRow("space for T") << "2024-05-01 09:30:12.345" << QDateTime();
        QTest::newRow("month 13") << "2024-13-01T09:30:12.345Z" << QDateTime();
        QTest::newRow("garbage") << "yesterday" << QDateTime();
        QTest::newRow("empty") << "" << QDateTime();
    }
    void createdAt() {
        QFETCH(QString, text);
        QFETCH(QDateTime, expected);
        const std::optional<QDateTime> parsed = parseCreatedAt(text);
        QCOMPARE(parsed.has_value(), expected.isValid());
        if (parsed) {
            QCOMPARE(*parsed, expected);
            QCOMPARE(parsed->timeSpec(), Qt::UTC);
        }
    }
};

QTEST_GUILESS_MAIN(PayloadTest)
#include "tst_payload.moc"
