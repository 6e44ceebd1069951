#pragma once

#include <QObject>

class BridgeProcess;

// Receives the quit notice: the bridge the app started is stopped before the app goes away.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    explicit AppDelegate(BridgeProcess& bridge, QObject* parent = nullptr);

    void applicationWillTerminate();

private:
    BridgeProcess& m_bridge;
};
