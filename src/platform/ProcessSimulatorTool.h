#pragma once

#include "platform/SimulatorTool.h"

#include <functional>
#include <memory>

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

    // AXe, which reads a simulator's own elements: the first `axe` on PATH, else Homebrew's (an app
    // started from the Finder has no shell's PATH). Looked up on every run, like `xcrun`.
    static std::unique_ptr<SimulatorTool> elementTool(ChildProcesses& children);
    static std::optional<QString> locateElementTool();

private:
    using Locator = std::function<std::optional<QString>()>;
    ProcessSimulatorTool(ChildProcesses& children, QString name, Locator locate);

    ChildProcesses& m_children;
    QString m_name;
    Locator m_locate;
    std::chrono::milliseconds m_limit;
};

} // namespace platform
