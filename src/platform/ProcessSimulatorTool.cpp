#include "platform/ProcessSimulatorTool.h"

#include "platform/ChildProcess.h"
#include "platform/ChildProcesses.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

using namespace std::chrono_literals;

namespace platform {

ProcessSimulatorTool::ProcessSimulatorTool(ChildProcesses& children, std::optional<QString> program,
                                           std::chrono::milliseconds limit)
    : m_children(children), m_name(QStringLiteral("xcrun")), m_limit(limit) {
    if (program)
        m_locate = [program] { return program; };
    else
        m_locate = &ProcessSimulatorTool::locate;
}

ProcessSimulatorTool::ProcessSimulatorTool(ChildProcesses& children, QString name, Locator locate)
    : m_children(children), m_name(std::move(name)), m_locate(std::move(locate)), m_limit(defaultLimit) {}

std::unique_ptr<SimulatorTool> ProcessSimulatorTool::elementTool(ChildProcesses& children) {
    return std::unique_ptr<SimulatorTool>(
        new ProcessSimulatorTool(children, QStringLiteral("AXe"), &ProcessSimulatorTool::locateElementTool));
}

std::optional<QString> ProcessSimulatorTool::locateElementTool() {
    const QString found = QStandardPaths::findExecutable(QStringLiteral("axe"));
    if (!found.isEmpty())
        return found;
    for (const char* prefix : {"/opt/homebrew/bin", "/usr/local/bin", "/home/linuxbrew/.linuxbrew/bin"}) {
        const QString path = QLatin1String(prefix) + QStringLiteral("/axe");
        if (QFileInfo(path).isExecutable())
            return path;
    }
    return std::nullopt;
}

std::optional<QString> ProcessSimulatorTool::locate() {
#ifdef Q_OS_MACOS
    const QString path = QStringLiteral("/usr/bin/xcrun");
    if (QFileInfo(path).isExecutable())
        return path;
    return std::nullopt;
#else
    const QString path = QStandardPaths::findExecutable(QStringLiteral("xcrun"));
    if (path.isEmpty())
        return std::nullopt;
    return path;
#endif
}

QCoro::Task<ToolRun> ProcessSimulatorTool::run(QStringList arguments) {
    const auto limit = m_limit;
    ToolRun result;
    const std::optional<QString> program = m_locate();
    if (!program) {
        result.launchError = m_name + QStringLiteral(" isn\u2019t installed");
        co_return result;
    }

    QProcess process;
    process.setProgram(*program);
    process.setArguments(arguments);
    process.setStandardErrorFile(QProcess::nullDevice());
    // A GUI app has no input to hand on.
    process.setStandardInputFile(QProcess::nullDevice());
    // Like the bridge's own children: never outlives the app, ended by the quit path.
    m_children.prepare(process, {ChildProcesses::Signal::Kill, false});
    m_children.track(process);
    process.start(QIODevice::ReadOnly);
    // Named, not a temporary of the co_await: GCC 12 destroys such temporaries twice.
    const QPointer<QProcess> watched(&process);
    co_await ChildProcess::started(watched, limit);
    if (process.state() == QProcess::Starting || process.error() == QProcess::FailedToStart) {
        result.launchError = process.errorString();
        co_return result;
    }
    // QProcess drains the pipe as the tool writes, so a large output cannot stall it.
    const bool ended = co_await ChildProcess::ended(watched, limit);
    if (!ended) {
        process.kill();
        co_await ChildProcess::ended(watched, 1s);
        result.exitStatus = -1;
        co_return result;
    }
    result.exitStatus = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.output = process.readAllStandardOutput();
    co_return result;
}

} // namespace platform
