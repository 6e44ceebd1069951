#include "PanelFixtures.h"
#include "panel/Payload.h"
#include "panel/Prompt.h"
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
        const json body = parsed(payload(draft(), QStringLiteral("Bigger"), std::nullopt, std::nullopt));
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
        QTest::addColumn<std::optional<ReportPictures>>("pictures");
        QTest::addColumn<QStringList>("members");
        QTest::addColumn<QStringList>("elementMembers");
        QTest::addColumn<QString>("name");

        const std::optional<QString> none;
        const std::optional<ReportPictures> noPictures;
        const QStringList always{"comment",   "platform", "target",   "screen",  "touch",
                                 "simulator", "device",   "viewport", "elements"};
        const QStringList record{"name", "type", "resolution", "frame"};
        QTest::newRow("identifier and label")
            << std::optional<QString>("saveButton") << std::optional<QString>("Save") << true << none
            << noPictures << always + QStringList{"element"}
            << record + QStringList{"identifier", "accessibilityLabel"} << "saveButton";
        QTest::newRow("label only") << none << std::optional<QString>("Save") << true << none << noPictures
                                    << always + QStringList{"element"}
                                    << record + QStringList{"accessibilityLabel"} << "Save";
        QTest::newRow("neither: the role") << none << none << true << none << noPictures
                                           << always + QStringList{"element"} << record << "Button";
        QTest::newRow("no element hit") << std::optional<QString>("x") << none << false << none << noPictures
                                        << always << QStringList{} << "";
        QTest::newRow("category") << none << none << false << std::optional<QString>("color") << noPictures
                                  << always + QStringList{"category"} << QStringList{} << "";
        QTest::newRow("pictures") << none << none << false << none
                                  << std::optional(ReportPictures{"c2hvdA==", "YW5ub3RhdGVk"})
                                  << always + QStringList{"screenshotPNG", "annotatedScreenshotPNG"}
                                  << QStringList{} << "";
        QTest::newRow("no annotated picture could be made")
            << none << none << false << none << std::optional(ReportPictures{"c2hvdA==", {}})
            << always + QStringList{"screenshotPNG"} << QStringList{} << "";
    }
    void optionalMembers() {
        QFETCH(std::optional<QString>, identifier);
        QFETCH(std::optional<QString>, label);
        QFETCH(bool, hasFrame);
        QFETCH(std::optional<QString>, category);
        QFETCH(std::optional<ReportPictures>, pictures);
        QFETCH(QStringList, members);
        QFETCH(QStringList, elementMembers);
        QFETCH(QString, name);

        PickResult picked = pick(hasFrame ? std::optional<QRectF>(QRectF(410, 130, 100, 44)) : std::nullopt);
        picked.identifier = identifier;
        picked.label = label;
        const ReportBody written = payload(draft(picked), QStringLiteral("x"), category, pictures);
        const json body = parsed(written);
        QVERIFY(body == written.value());
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
        if (pictures)
            QCOMPARE(QByteArray::fromStdString(body["screenshotPNG"].get<std::string>()),
                     pictures->screenshot);
    }

    // Each pin is one entry of "elements", placed where it lay when picked; "element" and "touch"
    // stay the first pin's, exactly as a body of that pin alone has them.
    void pins_data() {
        QTest::addColumn<QList<QPointF>>("shifts"); // each later pin's window, moved by this since the first
        QTest::addColumn<QList<bool>>("hits");
        QTest::addColumn<QList<QPointF>>("touches");
        QTest::newRow("one pin") << QList<QPointF>{} << QList<bool>{true} << QList<QPointF>{{168.5, 270.1}};
        QTest::newRow("three, one on no element")
            << QList<QPointF>{{0, 0}, {0, 0}} << QList<bool>{true, false, true}
            << QList<QPointF>{{168.5, 270.1}, {168.5, 270.1}, {168.5, 270.1}};
        QTest::newRow("the window moved between pins")
            << QList<QPointF>{{40, -20}} << QList<bool>{false, true}
            << QList<QPointF>{{168.5, 270.1}, {108.5, 300.1}};
    }
    void pins() {
        QFETCH(QList<QPointF>, shifts);
        QFETCH(QList<bool>, hits);
        QFETCH(QList<QPointF>, touches);
        std::vector<PickResult> picked;
        for (qsizetype i = 0; i < hits.size(); ++i) {
            PickResult pin =
                pick(hits[i] ? std::optional<QRectF>(QRectF(410, 130, 100.03, 44)) : std::nullopt);
            // Clicked at the same desktop point, the window elsewhere by then.
            if (i > 0)
                pin.screen.translate(shifts[i - 1]);
            picked.push_back(pin);
        }
        const json body = parsed(payload(draft(picked), QStringLiteral("x"), std::nullopt, std::nullopt));
        const json alone =
            parsed(payload(draft(picked.front()), QStringLiteral("x"), std::nullopt, std::nullopt));
        QVERIFY(body["touch"] == alone["touch"]);
        QCOMPARE(body.contains("element"), alone.contains("element"));
        if (alone.contains("element"))
            QVERIFY(body["element"] == alone["element"]);
        QCOMPARE(qsizetype(body["elements"].size()), hits.size());
        for (qsizetype i = 0; i < hits.size(); ++i) {
            const json& pin = body["elements"][std::size_t(i)];
            QCOMPARE(pin["index"].get<int>(), int(i) + 1);
            QCOMPARE(QPointF(pin["touch"]["x"].get<double>(), pin["touch"]["y"].get<double>()), touches[i]);
            QCOMPARE(pin.contains("element"), bool(hits[i]));
            if (hits[i])
                QCOMPARE(pin["element"]["name"].get<std::string>(), "saveButton");
        }
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
        const json body = parsed(payload(d, comment, std::nullopt, std::nullopt));
        QCOMPARE(QString::fromStdString(body["comment"].get<std::string>()), sentComment);
        QCOMPARE(QString::fromStdString(body["screen"].get<std::string>()), screen);
        QCOMPARE(QString::fromStdString(body["viewport"].get<std::string>()), viewport);
    }

    // The prompt names the request, device, screen and every pin with its numbers in device points.
    void prompt_data() {
        QTest::addColumn<QString>("comment");
        QTest::addColumn<std::optional<QString>>("category");
        QTest::addColumn<bool>("secondHits");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QStringList>("absent");
        const QStringList where{"- Device: iPhone 15 Pro, 393 \u00d7 852 points",
                                "- Screen: " + windowTitle,
                                "1. **saveButton** (Button)",
                                "   - Identifier: `saveButton`",
                                "   - Label: Save",
                                "   - Frame: x 15, y 15, width 150, height 66",
                                "   - Touch point: x 168.5, y 270.1"};
        QTest::newRow("request, category, two elements")
            << " Swap these\n"
            << std::optional<QString>("layout") << true
            << where + QStringList{"## Request\n\nSwap these\n", "- Category: layout",
                                   "2. **saveButton** (Button)"}
            << QStringList{"No element"};
        QTest::newRow("no request, a pin on nothing")
            << "  " << std::optional<QString>() << false
            << where + QStringList{"2. No element under the touch point\n   - Touch point: x 168.5, y 270.1"}
            << QStringList{"## Request", "Category"};
    }
    void prompt() {
        QFETCH(QString, comment);
        QFETCH(std::optional<QString>, category);
        QFETCH(bool, secondHits);
        QFETCH(QStringList, lines);
        QFETCH(QStringList, absent);
        const QString text = Prompt::markdown(
            draft({pick(),
                   pick(secondHits ? std::optional<QRectF>(QRectF(410, 130, 100.03, 44)) : std::nullopt)}),
            comment, category);
        for (const QString& line : lines)
            QVERIFY2(text.contains(line), qPrintable(line + "\n---\n" + text));
        for (const QString& line : absent)
            QVERIFY2(!text.contains(line), qPrintable(line));
    }

    // A desktop window's report: the members a single-element bridge reads name the application,
    // `target` tells an agent what kind of code to change, and the element says what its tree said.
    void windowTarget() {
        PickResult picked;
        picked.identifier = QStringLiteral("save");
        picked.label = QStringLiteral("Save");
        picked.role = QStringLiteral("Button");
        picked.frame = QRectF(120, 228, 80, 30);
        picked.point = QPointF(130, 238);
        picked.screen = QRectF(100, 128, 600, 400);
        picked.details = {QStringLiteral("Saves the page"),
                          {"focusable", "pressed"},
                          QStringLiteral("button"),
                          QStringLiteral("save"),
                          QStringLiteral("primary wide")};
        picked.window.kind = SimulatorWindow::Kind::Window;
        picked.window.title = QStringLiteral("Page \u2014 Mozilla Firefox");
        picked.window.application = SimulatorWindow::Application{
            "Firefox", QStringLiteral("/usr/lib/firefox-esr/firefox-esr"), "firefox-esr", 2};
        const Draft made{{picked},
                         Simctl::Device{"firefox-esr", "Firefox", {}},
                         DeviceMapping(picked.screen, QSizeF(600, 400)),
                         QByteArray("PNG")};
        const json body = parsed(payload(made, QStringLiteral("x"), std::nullopt, std::nullopt));
        QVERIFY(body["target"] == "window");
        QVERIFY(body["platform"] == "ios");
        QVERIFY(body["device"] == "Firefox");
        QVERIFY(body["screen"] == "Page \u2014 Mozilla Firefox");
        QVERIFY(body["simulator"] == "firefox-esr");
        QVERIFY(body["viewport"] == "600x400");
        QVERIFY(body["application"] == json({{"name", "Firefox"},
                                             {"title", "Page \u2014 Mozilla Firefox"},
                                             {"scale", 2},
                                             {"windowClass", "firefox-esr"},
                                             {"executable", "/usr/lib/firefox-esr/firefox-esr"}}));
        // Logical pixels from the window's content corner.
        QVERIFY(body["touch"] == json({{"x", 30}, {"y", 110}}));
        const json element = body["element"];
        QVERIFY(element["frame"] == json({{"x", 20}, {"y", 100}, {"width", 80}, {"height", 30}}));
        QVERIFY(element["description"] == "Saves the page");
        QVERIFY(element["states"] == json({"focusable", "pressed"}));
        QVERIFY(element["dom"] == json({{"tag", "button"}, {"id", "save"}, {"class", "primary wide"}}));
        QVERIFY(body["elements"][0]["element"] == element);

        const QString text = Prompt::markdown(made, QStringLiteral("Bigger"), std::nullopt);
        for (const char* line :
             {"- App: Firefox, a desktop window\n",
              "- Window: Page \u2014 Mozilla Firefox, 600 \u00d7 400 logical pixels at scale 2\n",
              "positions in logical pixels from the window\u2019s top-left corner.",
              "   - Description: Saves the page\n", "   - States: focusable, pressed\n",
              "   - Web: `<button id=\"save\" class=\"primary wide\">`\n",
              "   - Frame: x 20, y 100, width 80, height 30\n"})
            QVERIFY2(text.contains(QString::fromUtf8(line)), qPrintable(text));
        QVERIFY(!text.contains(QStringLiteral("Simulator")));
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
        QCOMPARE(placeAll(draft({picked, pick()})).back().isFinite(), finite);
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
