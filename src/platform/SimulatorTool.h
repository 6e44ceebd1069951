#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <qcoro/qcorotask.h>

#include <chrono>
#include <optional>

namespace platform {

// One run of the developer tools' `xcrun`.
struct ToolRun {
    std::optional<QString> launchError; // the tool could not be started
    int exitStatus = 0;                 // non-zero also when it crashed or was killed
    QByteArray output;                  // everything it wrote to standard output
};

// The simulator control tool: `xcrun` with its arguments given one by one, standard output
// collected, standard error discarded.
class SimulatorTool {
public:
    virtual ~SimulatorTool() = default;
    virtual QCoro::Task<ToolRun> run(QStringList arguments) = 0;
};

} // namespace platform
