#include "app/QuitOnSignals.h"
#include "app/TallyrigApp.h"

#include <QApplication>
#include <QMainWindow>

int main(int argc, char* argv[]) {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts); // Qt WebEngine needs it before the app exists
    QApplication application(argc, argv);
    QuitOnSignals::install();

    TallyrigApp app;
    app.newWindow()->show();
    return QApplication::exec();
}
