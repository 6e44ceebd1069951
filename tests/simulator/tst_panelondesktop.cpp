// The panel and the pick overlay against real windows: the stand-in simulator on a private test
// desktop (Xvfb, openbox, the accessibility bus, with or without a compositing manager), the
// Linux ports, and a real mouse and keyboard driven with xdotool.

#include "foundation/Settings.h"
#include "platform/Targeting.h"
#include "platform/WindowSystem.h"
#include "simulator/FloatingPanel.h"
#include "simulator/PickOverlay.h"
#include "simulator/SimulatorPanelController.h"
#include "support/DesktopScreenshot.h"
#include "support/RecordingPanelModel.h"
#include "support/StandinSimulator.h"

#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>

namespace {

constexpr int patience = 15000;

// The desktop runs the toolkit at this scale (QT_SCALE_FACTOR), on one screen at the origin: what
// the tests read of the X server and what xdotool moves are device pixels, the rest logical ones.
double scale() {
    static const double factor = qEnvironmentVariable("QT_SCALE_FACTOR", QStringLiteral("1")).toDouble();
    return factor;
}
QPoint device(const QPointF& logical) {
    return (logical * scale()).toPoint();
}
// A point the stand-in draws at `offset` device pixels from a logical origin.
QPointF logicalAt(const QPointF& origin, const QPointF& offset) {
    return origin + offset / scale();
}

QString run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(10000);
    return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
}

void xdotool(const QStringList& arguments) {
    run(QStringLiteral("xdotool"), arguments);
}

void moveMouse(QPointF logical) {
    const QPoint at = device(logical);
    xdotool({QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y())});
}

void click(QPointF logical, int button = 1) {
    moveMouse(logical);
    xdotool({QStringLiteral("click"), QString::number(button)});
}

quint32 activeWindow() {
    return run(QStringLiteral("xdotool"), {QStringLiteral("getactivewindow")}).toUInt();
}

// Where the X server has a window now, in root coordinates, whatever the toolkit believes.
QRect onScreen(quint32 window) {
    const QString info = run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), QString::number(window)});
    const auto number = [&](const char* label) {
        return QRegularExpression(QLatin1String(label) + QStringLiteral(":\\s+(-?\\d+)"))
            .match(info)
            .captured(1)
            .toInt();
    };
    return {number("Absolute upper-left X"), number("Absolute upper-left Y"), number("Width"),
            number("Height")};
}

bool viewable(quint32 window) {
    return run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), QString::number(window)})
        .contains(QStringLiteral("IsViewable"));
}

// The panel's stand-in content: a plain plate of the panel's width with a button.
QWidget* plainContent(QWidget* parent) {
    auto* content = new QWidget(parent);
    content->setAutoFillBackground(true);
    auto* layout = new QVBoxLayout(content);
    layout->addWidget(new QLabel(QStringLiteral("Simulator panel"), content));
    auto* button = new QPushButton(QStringLiteral("Button"), content);
    button->setObjectName(QStringLiteral("button"));
    layout->addWidget(button);
    content->setFixedSize(300, 240);
    return content;
}

} // namespace

class TestPanelOnDesktop : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void followsTheWindow();
    void staysBesideWhenItsContentGrows();
    void clickingThePanelLeavesTheKeyboard();
    void overlayFollowsTheWindow();
    void hides_data();
    void hides();
    void staysShown_data();
    void staysShown();
    void picksWithTheMouse_data();
    void picksWithTheMouse();
    void cancels_data();
    void cancels();
    void picksWithTheKeyboard();

private:
    std::optional<SimulatorWindow> front() { return SimulatorWindow::front(m_targeting->ports()); }
    // The panel beside the stand-in, as the controller's loop keeps it.
    bool besideTheWindow();
    // What the panel's place looks like, for a failure's message.
    QString describe();
    // Targeting under way, the stand-in in front with the keyboard.
    void target();
    void screenshot(const QString& name);

    std::unique_ptr<platform::Targeting> m_targeting;
    std::unique_ptr<platform::WindowSystem> m_windows;
    QTemporaryDir m_folder;
    std::unique_ptr<Settings> m_settings;
    std::unique_ptr<StandinSimulator> m_standin;
    std::unique_ptr<RecordingPanelModel> m_model;
    std::unique_ptr<SimulatorPanelController> m_controller;
    quint32 m_device = 0;
    bool m_compositing = false;
};

void TestPanelOnDesktop::initTestCase() {
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    m_targeting = platform::createTargeting();
    QVERIFY2(m_targeting->problems.isEmpty(), qPrintable(m_targeting->problems.join(' ')));
    m_windows = platform::createWindowSystem();
    m_compositing = m_windows->compositing();
    qInfo("compositing manager: %s", m_compositing ? "yes" : "no");
}

void TestPanelOnDesktop::init() {
    m_settings = std::make_unique<Settings>(m_folder.filePath(QStringLiteral("settings.json")));
    m_standin = std::make_unique<StandinSimulator>();
    QVERIFY(m_standin->start({QStringLiteral("--position"), QStringLiteral("100,50")}));
    m_device = m_standin->devices().value(0).window;
    m_controller.reset();
    m_model = std::make_unique<RecordingPanelModel>();
    m_controller = std::make_unique<SimulatorPanelController>(m_targeting->ports(), *m_windows, *m_settings,
                                                              *m_model, plainContent);
    m_controller->start();
    if (!QTest::qWaitFor([&] { return besideTheWindow(); }, patience))
        QFAIL(qPrintable(describe()));
    QTRY_VERIFY_WITH_TIMEOUT(m_controller->window() && m_controller->window()->axWindow, patience);
}

void TestPanelOnDesktop::cleanup() {
    m_controller.reset();
    m_model.reset();
    m_standin.reset();
    m_settings.reset();
}

bool TestPanelOnDesktop::besideTheWindow() {
    const auto window = front();
    FloatingPanel* panel = m_controller->panel();
    if (!window || !panel || !panel->isVisible())
        return false;
    const QRect real = onScreen(quint32(panel->winId()));
    return real.topLeft() == device(QPointF(std::round(window->frame.right()) + 8, window->frame.top())) &&
           real.size() == panel->content()->size() * scale() &&
           SimulatorWindow::isDirectlyAbove(*m_targeting->windows, qint64(panel->winId()), m_device);
}

QString TestPanelOnDesktop::describe() {
    const auto window = front();
    FloatingPanel* panel = m_controller->panel();
    QStringList stacking;
    for (const auto& entry :
         m_targeting->windows->onScreenWindows().value_or(std::vector<platform::WindowEntry>{}))
        stacking
            << QStringLiteral("%1(layer %2)").arg(entry.number.value_or(0)).arg(entry.layer.value_or(-1));
    const QRect real = panel ? onScreen(quint32(panel->winId())) : QRect();
    return QStringLiteral(
               "window %1; panel %2 shown %3 at %4,%5 %6x%7 (toolkit %8,%9); stacking %10; model %11")
        .arg(window ? QStringLiteral("%1,%2").arg(window->frame.x()).arg(window->frame.y())
                    : QStringLiteral("none"))
        .arg(panel ? panel->winId() : 0)
        .arg(panel && panel->isVisible())
        .arg(real.x())
        .arg(real.y())
        .arg(real.width())
        .arg(real.height())
        .arg(panel ? panel->x() : 0)
        .arg(panel ? panel->y() : 0)
        .arg(stacking.join(' '), m_model->log.join(QStringLiteral(", ")));
}

void TestPanelOnDesktop::target() {
    // The mouse somewhere on the device screen's background.
    const QRectF screen = front()->screenRect().value_or(QRectF());
    moveMouse(logicalAt(screen.bottomLeft(), QPointF(10, -10)));
    m_controller->togglePick();
    QVERIFY(m_controller->overlay());
    QVERIFY(m_model->picking);
    // The panel holds the keyboard while targeting: no key reaches the stand-in.
    QTRY_COMPARE_WITH_TIMEOUT(activeWindow(), quint32(m_controller->panel()->winId()), patience);
}

void TestPanelOnDesktop::screenshot(const QString& name) {
    desktopScreenshot(name + (m_compositing ? QStringLiteral("-composited") : QStringLiteral("-plain")));
}

void TestPanelOnDesktop::followsTheWindow() {
    // Shown without taking the keyboard from the stand-in.
    QCOMPARE(activeWindow(), m_device);
    QCOMPARE(m_model->log.mid(0, 3),
             QStringList({"trusted true", "visible true", "deviceTitle iPhone 15 Pro \u2013 iOS 17.2"}));
    screenshot(QStringLiteral("panel"));

    const QPointF first = front()->frame.topLeft();
    xdotool({QStringLiteral("windowmove"), QString::number(m_device), QStringLiteral("400"),
             QStringLiteral("120")});
    QTRY_VERIFY_WITH_TIMEOUT(front() && front()->frame.topLeft() != first, patience);
    QTRY_VERIFY_WITH_TIMEOUT(besideTheWindow(), patience);

    // No room on the right: to the left of it.
    const QRect desktop = QGuiApplication::primaryScreen()->geometry();
    const double right = desktop.width() - front()->frame.width() - 10;
    xdotool({QStringLiteral("windowmove"), QString::number(m_device), QString::number(device({right, 0}).x()),
             QStringLiteral("120")});
    QTRY_VERIFY_WITH_TIMEOUT(front() && front()->frame.left() > desktop.width() / 2, patience);
    QTRY_COMPARE_WITH_TIMEOUT(
        onScreen(quint32(m_controller->panel()->winId())).topLeft(),
        device(QPointF(std::round(front()->frame.left()) - 8 - 300, std::round(front()->frame.top()))),
        patience);
    QCOMPARE(activeWindow(), m_device);
}

void TestPanelOnDesktop::staysBesideWhenItsContentGrows() {
    QWidget* content = m_controller->panel()->content();
    for (const int height : {320, 180, 400}) {
        content->setFixedSize(300, height);
        if (!QTest::qWaitFor([&] { return besideTheWindow(); }, patience))
            QFAIL(qPrintable(describe()));
        QCOMPARE(onScreen(quint32(m_controller->panel()->winId())).height(), qRound(height * scale()));
    }
    m_controller->panel()->becomeKey();
    QTRY_COMPARE_WITH_TIMEOUT(activeWindow(), quint32(m_controller->panel()->winId()), patience);
    content->setFixedSize(300, 260);
    if (!QTest::qWaitFor([&] { return besideTheWindow(); }, patience))
        QFAIL(qPrintable(describe()));
}

void TestPanelOnDesktop::clickingThePanelLeavesTheKeyboard() {
    auto* button = m_controller->panel()->findChild<QPushButton*>(QStringLiteral("button"));
    QVERIFY(button);
    QSignalSpy clicked(button, &QPushButton::clicked);
    const QPoint at = device(button->mapTo(m_controller->panel(), button->rect().center()));
    xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"),
             QString::number(m_controller->panel()->winId()), QString::number(at.x()),
             QString::number(at.y())});
    xdotool({QStringLiteral("click"), QStringLiteral("1")});
    QTRY_COMPARE_WITH_TIMEOUT(clicked.count(), 1, patience);
    QCOMPARE(activeWindow(), m_device);
}

void TestPanelOnDesktop::overlayFollowsTheWindow() {
    target();
    const auto overlay = quint32(m_controller->overlay()->window()->winId());
    const QPointF first = front()->frame.topLeft();
    xdotool({QStringLiteral("windowmove"), QString::number(m_device), QStringLiteral("300"),
             QStringLiteral("90")});
    QTRY_VERIFY_WITH_TIMEOUT(front() && front()->frame.topLeft() != first, patience);
    const QRectF frame = front()->frame;
    if (m_compositing) {
        // Exactly over the device window, to the device pixel.
        QTRY_COMPARE_WITH_TIMEOUT(onScreen(overlay),
                                  QRect(device(frame.topLeft()), device(frame.bottomRight()) - QPoint(1, 1)),
                                  patience);
    } else {
        // Without compositing the window shows only what it draws; the pointer's shield covers the frame.
        QTRY_COMPARE_WITH_TIMEOUT(m_controller->overlay()->window()->geometry(), frame.toRect(), patience);
    }
    const QPointF save = logicalAt(m_controller->overlay()->screen().topLeft(), QPointF(150, 398));
    QVERIFY(frame.contains(save));
    click(save);
    QTRY_VERIFY_WITH_TIMEOUT(m_model->selected.has_value(), patience);
    QCOMPARE(m_model->selected->front().identifier, std::optional<QString>(QStringLiteral("saveButton")));
}

void TestPanelOnDesktop::hides_data() {
    QTest::addColumn<bool>("byTheSetting"); // else by iconifying the stand-in
    QTest::newRow("the setting turned off") << true;
    QTest::newRow("the stand-in iconified") << false;
}

void TestPanelOnDesktop::hides() {
    QFETCH(bool, byTheSetting);
    FloatingPanel* panel = m_controller->panel();
    const auto number = quint32(panel->winId());
    target();

    if (byTheSetting)
        m_settings->setSimulatorPanel(false);
    else
        xdotool({QStringLiteral("windowminimize"), QString::number(m_device)});
    QTRY_VERIFY_WITH_TIMEOUT(!viewable(number), patience);
    QVERIFY(!panel->isVisible());
    QVERIFY(!m_model->picking);
    QVERIFY(!m_controller->overlay());
    QVERIFY(!m_model->visible);

    if (byTheSetting)
        m_settings->setSimulatorPanel(true);
    else
        xdotool({QStringLiteral("windowactivate"), QString::number(m_device)});
    if (!QTest::qWaitFor([&] { return besideTheWindow(); }, patience))
        QFAIL(qPrintable(describe()));
    QCOMPARE(m_controller->panel(), panel);
}

void TestPanelOnDesktop::staysShown_data() {
    QTest::addColumn<QString>("what"); // done to the panel, or to the application's main window
    QTest::newRow("the main window minimised") << "windowminimize main";
    QTest::newRow("the main window closed") << "windowclose main";
    QTest::newRow("the panel iconified") << "windowminimize panel";
    QTest::newRow("the panel unmapped") << "windowunmap panel";
}

void TestPanelOnDesktop::staysShown() {
    QFETCH(QString, what);
    const QStringList words = what.split(QLatin1Char(' '));
    const auto panel = quint32(m_controller->panel()->winId());
    QWidget main;
    main.setWindowTitle(QStringLiteral("Tallyrig"));
    main.resize(400, 300);
    if (words.last() == QLatin1String("main")) {
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        if (words.first() == QLatin1String("windowclose")) {
            main.close();
        } else {
            xdotool({words.first(), QString::number(main.winId())});
            QTRY_VERIFY_WITH_TIMEOUT(main.isMinimized(), patience);
        }
    } else {
        xdotool({words.first(), QString::number(panel)});
        QTRY_VERIFY_WITH_TIMEOUT(!viewable(panel), patience);
    }
    // Shown beside the Simulator again, or still.
    if (!QTest::qWaitFor([&] { return besideTheWindow() && viewable(panel); }, patience))
        QFAIL(qPrintable(describe()));
}

void TestPanelOnDesktop::picksWithTheMouse_data() {
    QTest::addColumn<QPointF>("point"); // relative to the device screen's top-left corner
    QTest::addColumn<QString>("identifier");
    QTest::addColumn<QString>("role");
    QTest::newRow("a button") << QPointF(150, 398) << "saveButton"
                              << "Button";
    QTest::newRow("a text field") << QPointF(30, 190) << "nameField"
                                  << "TextField";
    QTest::newRow("the screen's background") << QPointF(10, 590) << ""
                                             << "Screen";
}

void TestPanelOnDesktop::picksWithTheMouse() {
    QFETCH(QPointF, point);
    QFETCH(QString, identifier);
    QFETCH(QString, role);
    target();
    const auto window = front();
    const QRectF screen = *window->screenRect();
    const QPointF at = logicalAt(screen.topLeft(), point);

    moveMouse(at);
    PickView* view = m_controller->overlay()->view();
    QTRY_COMPARE_WITH_TIMEOUT(view->label.value_or(QStringLiteral("Screen")),
                              identifier.isEmpty() ? role : identifier, patience);
    if (!identifier.isEmpty())
        QVERIFY(view->highlight && view->highlight->contains(at));
    if (identifier == QLatin1String("saveButton"))
        screenshot(QStringLiteral("overlay"));

    xdotool({QStringLiteral("click"), QStringLiteral("1")});
    QTRY_VERIFY_WITH_TIMEOUT(m_model->selected.has_value(), patience);
    QCOMPARE(m_model->selected->front().identifier.value_or(QString()), identifier);
    QCOMPARE(m_model->selected->front().role, role);
    QCOMPARE(m_model->selected->front().point, at);
    QVERIFY(!m_model->picking);
    QVERIFY(!m_controller->overlay());
    // The panel took the keyboard after the pick.
    QTRY_COMPARE_WITH_TIMEOUT(activeWindow(), quint32(m_controller->panel()->winId()), patience);
}

void TestPanelOnDesktop::cancels_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("Escape") << "escape";
    QTest::newRow("a right click") << "right";
    QTest::newRow("a click on the bezel does nothing") << "bezel";
    QTest::newRow("a click on the title bar does nothing") << "title";
}

void TestPanelOnDesktop::cancels() {
    QFETCH(QString, how);
    target();
    const auto window = front();
    const QRectF screen = *window->screenRect();
    if (how == QLatin1String("escape")) {
        xdotool({QStringLiteral("key"), QStringLiteral("Escape")});
    } else if (how == QLatin1String("right")) {
        click(screen.center(), 3);
    } else {
        const QPointF at = how == QLatin1String("bezel")
                               ? QPointF((window->frame.left() + screen.left()) / 2, screen.center().y())
                               : QPointF(screen.center().x(), window->frame.top() + 8);
        click(at);
        // The click handled where it happened before the mouse moves on: a round trip on each
        // connection brings every event sent before it, and the event loop hands them out.
        QGuiApplication::sync();
        m_windows->compositing();
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents();
        moveMouse(logicalAt(screen.topLeft(), QPointF(150, 398)));
        QTRY_VERIFY_WITH_TIMEOUT(!m_controller->overlay() || m_controller->overlay()->view()->label ==
                                                                 std::optional<QString>("saveButton"),
                                 patience);
        QVERIFY2(m_controller->overlay(), qPrintable(m_model->log.join(QStringLiteral(", "))));
        QVERIFY(m_model->picking);
        QVERIFY(!m_model->selected);
        // The panel keeps the keyboard, and the stand-in did not see the click.
        QCOMPARE(activeWindow(), quint32(m_controller->panel()->winId()));
        QCOMPARE(front()->frame, window->frame);
        return;
    }
    QTRY_VERIFY_WITH_TIMEOUT(!m_model->picking, patience);
    QVERIFY(!m_controller->overlay());
    QVERIFY(!m_model->selected);
    QVERIFY(m_controller->panel()->isVisible());
    // The keyboard goes back to the stand-in.
    QTRY_COMPARE_WITH_TIMEOUT(activeWindow(), m_device, patience);
}

void TestPanelOnDesktop::picksWithTheKeyboard() {
    target();
    const auto key = [](const char* keys) { xdotool({QStringLiteral("key"), QString::fromLatin1(keys)}); };
    // Down through the screen's elements to the Save button, each one named as it comes.
    QStringList heard;
    for (int i = 0; i < 30 && m_model->highlighted != std::optional<QString>("saveButton"); ++i) {
        const std::optional<QString> before = m_model->highlighted;
        key("Down");
        QTRY_VERIFY2_WITH_TIMEOUT(m_model->highlighted && m_model->highlighted != before,
                                  qPrintable(heard.join(", ")), patience);
        heard.append(*m_model->highlighted);
    }
    QVERIFY2(heard.contains(QStringLiteral("nameField")), qPrintable(heard.join(", ")));
    QCOMPARE(m_model->highlighted, std::optional<QString>("saveButton"));
    screenshot(QStringLiteral("keyboard"));
    key("shift+Return");
    QTRY_COMPARE_WITH_TIMEOUT(m_controller->overlay()->view()->pins.size(), std::size_t(1), patience);
    key("Up");
    QTRY_VERIFY_WITH_TIMEOUT(m_model->highlighted != std::optional<QString>("saveButton"), patience);
    const QString second = *m_model->highlighted;
    key("Return");
    QTRY_VERIFY_WITH_TIMEOUT(m_model->selected.has_value(), patience);
    QCOMPARE(m_model->selected->size(), std::size_t(2));
    QCOMPARE(m_model->selected->front().identifier, std::optional<QString>("saveButton"));
    QCOMPARE(
        m_model->selected->back().identifier.value_or(m_model->selected->back().label.value_or(QString())),
        second);
    QCOMPARE(activeWindow(), quint32(m_controller->panel()->winId()));
}

QTEST_MAIN(TestPanelOnDesktop)
#include "tst_panelondesktop.moc"
