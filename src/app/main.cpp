#include "app/BridgeCommand.h"
#include "app/SelfCheck.h"
#include "app/TallyrigApp.h"

#include <QApplication>
#include <QMainWindow>
#include <QTextStream>
#include <qcoro/qcorotask.h>

#include <cstring>

int main(int argc, char* argv[]) {
    // `tallyrig doctor` and its kin are the bridge's, in a terminal: no window, no toolkit.
    if (BridgeCommand::isBridgeCommand(argc, argv))
        return BridgeCommand::exec(argc, argv);
#ifdef Q_OS_LINUX
    // Other applications' windows, where they are and how they are stacked exist only through X11:
    // on a Wayland desktop the app runs on XWayland, as the Simulator it follows does.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        !qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");
#endif
    QApplication application(argc, argv);

    if (argc == 2 && std::strcmp(argv[1], "--self-check") == 0) {
        QApplication::setApplicationVersion(QStringLiteral(TALLYRIG_VERSION));
        platform::Platform ports = platform::createPlatform();
        QTextStream out(stdout);
        return QCoro::waitFor(SelfCheck::run(ports, out));
    }

    TallyrigApp app;
    app.newWindow()->show();
    return QApplication::exec();
}
