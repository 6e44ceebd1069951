#include "app/TallyrigApp.h"

#include <QApplication>
#include <QMainWindow>

int main(int argc, char* argv[]) {
#ifdef Q_OS_LINUX
    // Other applications' windows, where they are and how they are stacked exist only through X11:
    // on a Wayland desktop the app runs on XWayland, as the Simulator it follows does.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        !qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");
#endif
    QApplication application(argc, argv);

    TallyrigApp app;
    app.newWindow()->show();
    return QApplication::exec();
}
