#include "app/AppDelegate.h"

#include "bridge/BridgeProcess.h"

void AppDelegate::applicationWillTerminate() {
    // Blocks the UI thread for at most the quit wait; an adopted bridge keeps running.
    BridgeProcess::shared().stopForQuit();
}
