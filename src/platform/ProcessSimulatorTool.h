#pragma once

#include "platform/SimulatorTool.h"

namespace platform {

class ChildProcesses;

// Runs the real `xcrun` as a child process, without blocking the UI thread.
class ProcessSimulatorTool final : public SimulatorTool {
public:
    // A tool that never exits must not hold its caller forever.
    static constexpr std::chrono::milliseconds defaultLimit{30000};

    // Without a program, the platform's `xcrun` is looked up on every run, so installing the
    // developer tools while the app runs takes effect at once.
    explicit ProcessSimulatorTool(ChildProcesses& children, std::optional<QString> program = std::nullopt,
                                  std::chrono::milliseconds limit = defaultLimit);

    QCoro::Task<ToolRun> run(QStringList arguments) override;

    // "/usr/bin/xcrun" on macOS, the first `xcrun` on PATH elsewhere; none when there is none.
    static std::optional<QString> locate();

private:
    ChildProcesses& m_children;
    std::optional<QString> m_program;
    std::chrono::milliseconds m_limit;
};

} // namespace platform
