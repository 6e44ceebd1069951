// Stands in for the app in the orphan test: opens a folder with the fake runtime, or runs the fake
// simulator tool, then waits to be killed. Arguments: the folder, a settings file, the child
// ("xcrun" for the tool).
#include "bridge/BridgeProcess.h"
#include "foundation/Settings.h"
#include "platform/ProcessSimulatorTool.h"
#include "support/TestPlatform.h"

#include <QCoreApplication>

using namespace std::chrono_literals;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 4)
        return 2;
    platform::ProcessSimulatorTool tool(childProcesses(),
                                        QStringLiteral(TALLYRIG_TEST_FIXTURES "/xcrun-fake.sh"), 600s);
    if (QByteArray(argv[3]) == "xcrun") {
        auto run = tool.run({QStringLiteral("simctl"), QStringLiteral("hang")});
        return app.exec();
    }
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
