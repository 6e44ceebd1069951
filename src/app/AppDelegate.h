#pragma once

#include <QObject>

// Receives the quit notice: the bridge the app started is stopped before the app goes away.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    void applicationWillTerminate();
};
