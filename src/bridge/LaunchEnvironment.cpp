#include "bridge/LaunchEnvironment.h"

#include "platform/ChildProcess.h"
#include "platform/ChildProcesses.h"

#include <QDir>
#include <QPointer>
#include <QProcess>

using namespace std::chrono_literals;
using ChildProcess::ended;

namespace {

const QString marker = QStringLiteral("__TR__");

// How long a killed process may take to be reaped before we stop waiting for it.
constexpr auto reapWait = 1000ms;

QStringList loginArguments() {
    return {QStringLiteral("-ilc"), QStringLiteral("printf '__TR__%s__TR__' \"$PATH\"")};
}

QString loginShell() {
    return qEnvironmentVariableIsSet("SHELL") ? qEnvironmentVariable("SHELL") : QStringLiteral("/bin/zsh");
}

// The login shell's entries, then the tool folders, without empties or repeats.
QString searchPath(const QStringList& pieces) {
    QStringList entries;
    if (pieces.size() >= 2)
        entries = pieces[1].split(QLatin1Char(':'), Qt::SkipEmptyParts);
    QString home = QDir::homePath();
    while (home.endsWith(QLatin1Char('/')))
        home.chop(1);
    entries << QStringLiteral("/opt/homebrew/bin") << QStringLiteral("/opt/homebrew/sbin")
            << QStringLiteral("/usr/local/bin") << home + QStringLiteral("/.local/bin")
            << home + QStringLiteral("/.npm-global/bin") << home + QStringLiteral("/.bun/bin")
            << QStringLiteral("/usr/bin") << QStringLiteral("/bin") << QStringLiteral("/usr/sbin")
            << QStringLiteral("/sbin");
    entries.removeAll(QString());
    entries.removeDuplicates(); // keeps the first occurrence
    return entries.join(QLatin1Char(':'));
}

void addBridgeVariables(QProcessEnvironment& environment, const QString& path) {
    environment.insert(QStringLiteral("PATH"), path);
    environment.insert(QStringLiteral("TALLYRIG_APP"), QStringLiteral("1"));
}

} // namespace

LaunchEnvironment::LaunchEnvironment(platform::ChildProcesses& children, Timings timings, QObject* parent)
    : QObject(parent), m_children(children), m_timings(timings) {}

QCoro::Task<QProcessEnvironment> LaunchEnvironment::environment() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    QString path;
    if (m_cachedPath) {
        path = *m_cachedPath;
    } else {
        const QPointer<LaunchEnvironment> self(this);
        path = co_await loginPath();
        // The first answer is kept for the rest of the run, even when two callers asked at once.
        if (self) {
            if (!m_cachedPath)
                m_cachedPath = path;
            path = *m_cachedPath;
        }
    }
    addBridgeVariables(environment, path);
    co_return environment;
}

QCoro::Task<QString> LaunchEnvironment::loginPath() {
    // Copied: the shell is waited for even when this object goes away meanwhile.
    const Timings timings = m_timings;
    platform::ChildProcesses& children = m_children;
    auto* process = new QProcess;
    children.track(*process);
    process->setProgram(loginShell());
    process->setArguments(loginArguments());
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    children.prepare(*process, {platform::ChildProcesses::Signal::Kill, /*ownSession=*/true});
    process->start(QIODevice::ReadOnly);

    bool over = co_await ended(process, timings.loginShellWatch);
    if (!over) {
        children.signalSession(*process, platform::ChildProcesses::Signal::Terminate);
        over = co_await ended(process, timings.loginShellKillGrace);
    }
    if (!over) {
        children.signalSession(*process, platform::ChildProcesses::Signal::Kill);
        co_await ended(process, reapWait);
    }
    const QStringList pieces = QString::fromUtf8(process->readAllStandardOutput()).split(marker);
    ChildProcess::dispose(process);
    co_return searchPath(pieces);
}
