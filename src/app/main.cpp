#include "QuitOnSignals.h"
#include "Style.h"
#include "TallyrigApp.h"

#include <QApplication>
#include <QMainWindow>

int main(int argc, char* argv[]) {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts); // Qt WebEngine asks for it before the app exists
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tallyrig"));
    QApplication::setApplicationVersion(QStringLiteral(TALLYRIG_VERSION));
    QApplication::setOrganizationName(QStringLiteral("Tallyrig"));
    QApplication::setDesktopFileName(QStringLiteral("tallyrig"));
    QApplication::setWindowIcon(Style::appIcon());
    QuitOnSignals::install();

    TallyrigApp app;
    app.newWindow()->show();
    return QApplication::exec();
}
