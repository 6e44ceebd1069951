#include "app/AppDelegate.h"

#include "bridge/BridgeProcess.h"

AppDelegate::AppDelegate(BridgeProcess& bridge, QObject* parent) : QObject(parent), m_bridge(bridge) {}

void AppDelegate::applicationWillTerminate() {
    // Blocks the UI thread for at most the quit wait; an adopted bridge keeps running.
    m_bridge.stopForQuit();
}
