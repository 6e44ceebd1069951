// Drives the real app through the states worth looking at and saves a PNG of each:
//   01 first launch, 02 the command-line steps expanded, 03 a failed opening,
//   04 the dashboard with the project menu open, 05 the connect screen in a dark palette.
// Run it through scripts/screenshots.sh (it provides the display and a fresh settings folder).
#include "DarkPalette.h"
#include "app/TallyrigApp.h"
#include "foundation/Detach.h"
#include "support/TestHttpServer.h"
#include "support/TestRepository.h"
#include "window/ConnectView.h"
#include "window/MainWindow.h"
#include "window/ProjectMenu.h"

#include <QApplication>
#include <QCursor>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QScreen>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

QString outputFolder;

void wait(int ms) {
    QTest::qWait(ms);
}

bool waitFor(const std::function<bool()>& condition, int ms) {
    QDeadlineTimer deadline(ms);
    while (!condition() && !deadline.hasExpired())
        QTest::qWait(25);
    return condition();
}

void shoot(QWidget* window, const QString& name) {
    // The whole screen around the window, so menus that pop out of it are in the picture.
    const QRect frame = window->frameGeometry().adjusted(-4, -4, 4, 4);
    const QPixmap shot =
        window->screen()->grabWindow(0).copy(frame.intersected(window->screen()->geometry()));
    const QString path = QDir(outputFolder).filePath(name + QStringLiteral(".png"));
    shot.save(path);
    qInfo("saved %s", qPrintable(path));
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    outputFolder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots");
    QDir().mkpath(outputFolder);
    QTemporaryDir projects;

    QCursor::setPos(0, 0); // no row under the pointer looks hovered
    // The build's bundle, for its runtime and the dashboard's module; this tool lives outside it.
    TallyrigApp app(platform::createPlatform(), QStringLiteral(TALLYRIG_TEST_BUNDLE));
    auto* window = qobject_cast<MainWindow*>(app.newWindow());
    window->move(40, 40);
    window->show();
    if (!QTest::qWaitForWindowExposed(window))
        qWarning("the window did not show");
    wait(1200);
    shoot(window, QStringLiteral("01-first-launch"));

    if (QToolButton* toggle = window->connectView()->commandLineToggle())
        toggle->click();
    wait(400);
    shoot(window, QStringLiteral("02-command-line"));
    if (QToolButton* toggle = window->connectView()->commandLineToggle())
        toggle->click();

    // A port held by an ordinary web server makes the opening fail.
    TestHttpServer web(
        [](const QByteArray&, const QString&) { return TestHttpServer::html("<html>hi</html>"); });
    web.listen();
    const QString blocked = TestRepository::make(projects.path(), QStringLiteral("weather-app"), web.port());
    detach(window->model().open(blocked), &window->model());
    waitFor([&] { return app.bridge().state().kind == BridgeProcess::State::Kind::Failed; }, 20000);
    wait(400);
    shoot(window, QStringLiteral("03-failed-opening"));

    const QString served =
        TestRepository::make(projects.path(), QStringLiteral("shopping-list"), TestHttpServer::freePort());
    detach(window->model().open(served), &window->model());
    if (!waitFor([&] { return window->model().connected(); }, 30000))
        qWarning("the dashboard did not connect: %s", qPrintable(app.bridge().state().text));
    waitFor([&] { return window->dashboard() != nullptr; }, 10000);
    wait(4000); // the web engine loads, then the page
    QTimer::singleShot(800, [window] {
        shoot(window, QStringLiteral("04-dashboard-project-menu"));
        if (QWidget* popup = QApplication::activePopupWidget())
            popup->close();
    });
    window->projectMenu()->showMenu();

    detach(window->model().stopBridge(), &window->model());
    waitFor([&] { return !window->model().connected(); }, 15000);
    QApplication::setPalette(darkPalette());
    wait(600);
    shoot(window, QStringLiteral("05-stopped-dark"));

    window->close();
    return 0;
}
