#include "app/TallyrigApp.h"

#include <QApplication>
#include <QMainWindow>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);

    TallyrigApp app;
    app.newWindow()->show();
    return QApplication::exec();
}
