// Stands in for the app in the orphan test: opens a folder with the fake runtime, then waits to be
// killed. Arguments: the folder, a settings file.
#include "bridge/BridgeProcess.h"
#include "foundation/Settings.h"
#include "support/TestPlatform.h"

#include <QCoreApplication>

using namespace std::chrono_literals;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 3)
        return 2;
    Settings settings(QString::fromLocal8Bit(argv[2]));
    BridgeProcess::Timings timings;
    timings.startAttempts = 1000000;
    timings.loginShellWatch = 600s;
    BridgeProcess bridge(settings, childProcesses(),
                         BridgeRuntime{QStringLiteral(TALLYRIG_TEST_FIXTURES "/fake-node.sh"),
                                       QStringLiteral("/fake/bridge/bin/tallyrig.mjs")},
                         timings);
    auto opening = bridge.open(QString::fromLocal8Bit(argv[1]));
    return app.exec();
}
