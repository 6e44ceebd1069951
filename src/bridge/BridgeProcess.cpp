#include "bridge/BridgeProcess.h"

#include "bridge/Probe.h"
#include "bridge/ProjectConfiguration.h"
#include "bridge/ProjectPaths.h"
#include "platform/ChildProcess.h"
#include "platform/ChildProcesses.h"

using namespace std::chrono_literals;
using ChildProcess::ended;

namespace {

// How long a killed process may take to be reaped before we stop waiting for it.
constexpr auto reapWait = 1000ms;

// The status texts the user reads, together so their wording can be read in one place.
QString noBridgeMessage() {
    return QStringLiteral(
        "This build of Tallyrig doesn\u2019t include the bridge. Start it with tallyrig start.");
}

QString settingUpLine(const QString& name) {
    return QStringLiteral("Setting up ") + name + QStringLiteral("\u2026");
}

QString startingLine(const QString& name) {
    return QStringLiteral("Starting the bridge for ") + name + QStringLiteral("\u2026");
}

QString foreignMessage(BridgePort port) {
    return QStringLiteral("Port ") + port.text() +
           QStringLiteral(" is used by another program. Change port in tallyrig.config.json, then open the "
                          "project again.");
}

QString otherBridgeMessage(BridgePort port, const QString& project) {
    return QStringLiteral("Port ") + port.text() + QStringLiteral(" is used by the Tallyrig bridge for ") +
           project +
           QStringLiteral(". Stop it (tallyrig stop in that folder) or change port in tallyrig.config.json.");
}

QString noAnswerMessage(BridgePort port, const QString& lines) {
    return QStringLiteral("The bridge didn\u2019t answer on port ") + port.text() + QStringLiteral(".\n") +
           lines;
}

QString outOfRangeMessage(BridgePort port, const QString& file) {
    return QStringLiteral("Port ") + port.text() + QStringLiteral(" in ") + file +
           QStringLiteral(" is not between ") + QString::number(BridgePort::lowest) +
           QStringLiteral(" and ") + QString::number(BridgePort::highest) +
           QStringLiteral(". Change it there, then open the project again.");
}

QString setUpFailedMessage(int status) {
    return QStringLiteral("The set-up (tallyrig init) failed (exit ") + QString::number(status) +
           QStringLiteral(").");
}

QString stoppedMessage(int status) {
    return QStringLiteral("The bridge stopped (exit ") + QString::number(status) + QStringLiteral(").");
}

QStringList initWords() {
    return {QStringLiteral("init"), QStringLiteral("--yes")};
}

QStringList startWords() {
    return {QStringLiteral("start"), QStringLiteral("--plain")};
}

} // namespace

BridgeProcess::BridgeProcess(Settings& settings, platform::ChildProcesses& children,
                             std::optional<BridgeRuntime> runtime, Timings timings, QObject* parent)
    : QObject(parent), m_children(children), m_runtime(std::move(runtime)), m_timings(timings),
      m_recents(settings), m_environment(children, {timings.loginShellWatch, timings.loginShellKillGrace}),
      m_runner(children) {
    connect(&m_recents, &RecentProjects::changed, this, &BridgeProcess::recentsChanged);
}

BridgeProcess::~BridgeProcess() {
    // Every opening in progress is over; those waiting for their turn find so as this goes.
    ++m_openTicket;
    if (m_setUp)
        m_setUp->end(stopGrace());
    endNow();
}

void BridgeProcess::setState(State state) {
    if (state == m_state)
        return;
    m_state = std::move(state);
    emit stateChanged();
}

void BridgeProcess::setProject(QString folder) {
    if (m_project == folder)
        return;
    m_project = std::move(folder);
    emit projectChanged();
}

std::chrono::milliseconds BridgeProcess::stopGrace() const {
    return m_timings.stopPolls * m_timings.stopInterval;
}

void BridgeProcess::forget(const QString& folder) {
    m_recents.forget(folder);
}

// MARK: opening

QCoro::Task<std::optional<BridgePort>> BridgeProcess::open(QString folder) {
    if (!m_runtime) {
        setState(State::failed(noBridgeMessage()));
        co_return std::nullopt;
    }
    const QPointer<BridgeProcess> self(this);
    const Opening opening{self, ++m_openTicket};
    // A set-up that an earlier opening is waiting for is no longer wanted.
    if (m_setUp)
        m_setUp->end(stopGrace());
    if (!co_await waitForTurn(opening))
        co_return std::nullopt;
    m_opening = true;
    const std::optional<BridgePort> port = co_await openNow(ProjectPaths::absolutePath(folder), opening);
    if (self) {
        m_opening = false;
        m_turnWaiters.wakeAll();
    }
    co_return port;
}

QCoro::Task<bool> BridgeProcess::waitForTurn(Opening opening) {
    while (m_opening || !m_stopping.isEmpty()) {
        const bool woken = co_await m_turnWaiters.wait(this);
        if (!woken || opening.superseded())
            co_return false;
    }
    co_return true;
}

QCoro::Task<std::optional<BridgePort>> BridgeProcess::openNow(QString folder, Opening opening) {
    co_await stop();
    if (opening.superseded())
        co_return std::nullopt;
    beginProject(folder);

    const auto environment = co_await bridgeEnvironment(folder, opening);
    if (!environment)
        co_return std::nullopt;
    if (!co_await setUpIfNeeded(folder, *environment, opening))
        co_return std::nullopt;

    const BridgePort port = ProjectConfiguration::port(folder);
    switch (co_await checkPort(folder, port, opening)) {
    case Next::GiveUp:
        co_return std::nullopt;
    case Next::Adopt:
        setState(State::external());
        co_return port;
    case Next::Start:
        break;
    }
    co_return co_await startAndWait(folder, *environment, port, opening);
}

void BridgeProcess::beginProject(const QString& folder) {
    setProject(folder);
    m_recents.remember(folder);
    m_output.clear();
}

QCoro::Task<std::optional<QProcessEnvironment>> BridgeProcess::bridgeEnvironment(QString folder,
                                                                                 Opening opening) {
    QProcessEnvironment environment = co_await m_environment.environment();
    if (opening.superseded())
        co_return std::nullopt;
    // Otherwise the children would see the app's own working folder there, and a bridge that
    // climbs from $PWD would miss a folder opened through a symbolic link.
    environment.insert(QStringLiteral("PWD"), folder);
    co_return environment;
}

QCoro::Task<bool> BridgeProcess::setUpIfNeeded(QString folder, QProcessEnvironment environment,
                                               Opening opening) {
    if (ProjectConfiguration::find(folder))
        co_return true;
    setState(State::starting(settingUpLine(ProjectPaths::name(folder))));
    auto handle = std::make_shared<CommandRunner::Handle>();
    m_setUp = handle;
    const CommandRunner::Result setUp = co_await m_runner.run(
        m_runtime->node, m_runtime->arguments(initWords()), folder, environment, handle);
    if (!opening.owner)
        co_return false;
    if (m_setUp == handle)
        m_setUp.reset();
    if (opening.superseded())
        co_return false;
    if (setUp.status != 0) {
        const QString lines = OutputBuffer::tail(setUp.output);
        setState(State::failed(lines.isEmpty() ? setUpFailedMessage(setUp.status) : lines));
        co_return false;
    }
    co_return true;
}

QCoro::Task<BridgeProcess::Next> BridgeProcess::checkPort(QString folder, BridgePort port, Opening opening) {
    // Only a port from the configuration file can be out of range: the default is not.
    if (!port.isUsable()) {
        setState(State::failed(outOfRangeMessage(port, ProjectConfiguration::find(folder).value_or(folder))));
        co_return Next::GiveUp;
    }
    const Probe holder = co_await Probe::ask(port, m_timings.probeTimeout, Probe::forOpening, this);
    if (opening.superseded())
        co_return Next::GiveUp;
    switch (holder.kind) {
    case Probe::Kind::Free:
        co_return Next::Start;
    case Probe::Kind::Foreign:
        setState(State::failed(foreignMessage(port)));
        co_return Next::GiveUp;
    case Probe::Kind::Bridge:
        if (ProjectPaths::isAtOrInside(folder, holder.project))
            co_return Next::Adopt;
        setState(State::failed(otherBridgeMessage(port, holder.project)));
        co_return Next::GiveUp;
    }
    co_return Next::GiveUp;
}

QCoro::Task<std::optional<BridgePort>> BridgeProcess::startAndWait(QString folder,
                                                                   QProcessEnvironment environment,
                                                                   BridgePort port, Opening opening) {
    setState(State::starting(startingLine(ProjectPaths::name(folder))));
    const QPointer<QProcess> launched = launch(folder, environment);
    const auto stillOurs = [&] { return !opening.superseded() && launched && m_process == launched; };

    for (int attempt = 0; attempt < m_timings.startAttempts; ++attempt) {
        if (!stillOurs())
            co_return std::nullopt;
        const Probe answer = co_await Probe::ask(port, m_timings.probeTimeout, Probe::forOpening, this);
        if (!stillOurs())
            co_return std::nullopt;
        if (answer.kind == Probe::Kind::Bridge) {
            setState(State::running());
            co_return port;
        }
        // The pause ends early when the process ends, so a bridge that dies is noticed at once.
        co_await ended(launched, m_timings.startInterval);
        if (!opening.owner)
            co_return std::nullopt;
    }
    if (!stillOurs())
        co_return std::nullopt;
    setState(State::failed(noAnswerMessage(port, OutputBuffer::tail(m_output.text()))));
    m_process = nullptr;
    co_await end(launched);
    co_return std::nullopt;
}

// MARK: the owned process

QProcess* BridgeProcess::launch(const QString& folder, const QProcessEnvironment& environment) {
    auto* process = new QProcess(this);
    process->setProgram(m_runtime->node);
    process->setArguments(m_runtime->arguments(startWords()));
    process->setWorkingDirectory(folder);
    process->setProcessEnvironment(environment);
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->setStandardInputFile(QProcess::nullDevice());
    // SIGTERM, so a bridge left behind by a crashed app still shuts down cleanly.
    m_children.prepare(*process, {platform::ChildProcesses::Signal::Terminate, false});

    auto stream = std::make_shared<ChildProcess::Utf8Stream>();
    connect(process, &QProcess::readyReadStandardOutput, this, [this, process, stream] {
        const QString text = stream->feed(process->readAllStandardOutput());
        if (m_process == process)
            m_output.append(text);
    });
    connect(process, &QProcess::finished, this, [this, process, stream] {
        if (m_process != process)
            return;
        // What is still in the pipe belongs in the failure message.
        m_output.append(stream->feed(process->readAllStandardOutput()) + stream->finish());
        exited(process);
    });
    connect(process, &QProcess::errorOccurred, this, [this, process](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart || m_process != process)
            return;
        m_process = nullptr;
        setState(State::failed(process->errorString()));
        process->deleteLater();
    });

    // Owned before it starts, so a failure reported during start() is handled like any other.
    m_process = process;
    process->start(QIODevice::ReadOnly);
    return process;
}

void BridgeProcess::exited(QProcess* handle) {
    if (!m_process || m_process != handle)
        return;
    m_process = nullptr;
    const QString lines = OutputBuffer::tail(m_output.text());
    setState(State::failed(lines.isEmpty() ? stoppedMessage(handle->exitCode()) : lines));
    handle->deleteLater();
}

QCoro::Task<> BridgeProcess::stop() {
    if (!m_process) {
        if (m_state.kind == State::Kind::External)
            setState(State::idle());
        co_return;
    }
    // Taken first, so that its end is not mistaken for a failure.
    const QPointer<QProcess> process = m_process;
    m_process = nullptr;
    const QPointer<BridgeProcess> self(this);
    co_await end(process);
    if (self)
        setState(State::idle());
}

QCoro::Task<> BridgeProcess::end(QPointer<QProcess> process) {
    const QPointer<BridgeProcess> self(this);
    const Timings timings = m_timings;
    m_stopping.append(process);
    process->terminate();
    for (int poll = 0; poll < timings.stopPolls; ++poll) {
        if (co_await ended(process, timings.stopInterval))
            break;
    }
    if (process && process->state() != QProcess::NotRunning) {
        process->kill();
        co_await ended(process, reapWait);
    }
    if (!self)
        co_return;
    m_stopping.removeAll(process);
    m_stopping.removeAll(nullptr);
    ChildProcess::dispose(process);
    m_turnWaiters.wakeAll();
}

void BridgeProcess::endNow() {
    // Those being stopped already had their terminate request; their stop finishes the bookkeeping.
    QList<QPointer<QProcess>> ending = m_stopping;
    const QPointer<QProcess> owned = m_process;
    if (owned) {
        m_process = nullptr;
        owned->terminate();
        ending.append(owned);
    }
    const auto deadline = std::chrono::steady_clock::now() + m_timings.quitWait;
    for (const QPointer<QProcess>& process : std::as_const(ending)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (process && process->state() != QProcess::NotRunning && left.count() > 0)
            process->waitForFinished(int(left.count()));
    }
    for (const QPointer<QProcess>& process : std::as_const(ending)) {
        if (process && process->state() != QProcess::NotRunning) {
            process->kill();
            process->waitForFinished(int(reapWait.count()));
        }
    }
    ChildProcess::dispose(owned);
}

void BridgeProcess::stopForQuit() {
    endNow();
    m_children.killTracked();
}
