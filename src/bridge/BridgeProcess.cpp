#include "bridge/BridgeProcess.h"

#include "bridge/Bootstrap.h"
#include "foundation/Bundle.h"
#include "bridge/ChildProcess.h"
#include "foundation/Settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextBoundaryFinder>

#include <nlohmann/json.hpp>

#include <cmath>
#include <csignal>
#include <limits>

using namespace std::chrono_literals;
using ChildProcess::ended;

namespace {

const QString configName = QStringLiteral("tallyrig.config.json");
const QString marker = QStringLiteral("__TR__");

// How long a killed process may take to be reaped before we stop waiting for it.
constexpr auto reapWait = 1000ms;

QString noBridgeMessage() {
    return QStringLiteral(
        "This build of Tallyrig doesn\u2019t include the bridge. Start it with tallyrig start.");
}

// The entry itself, not what it points to: a dangling link still counts as an entry.
bool entryExists(const QString& path) {
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

QString absolute(const QString& path) {
    return QDir::isAbsolutePath(path) ? path : QDir::currentPath() + QLatin1Char('/') + path;
}

// The path with every symbolic link resolved; the part that does not exist is kept as written.
QString resolved(const QString& path) {
    const QString clean = QDir::cleanPath(absolute(path));
    QString existing = clean;
    QString rest;
    while (true) {
        const QString canonical = QFileInfo(existing).canonicalFilePath();
        if (!canonical.isEmpty())
            return rest.isEmpty() ? canonical : QDir::cleanPath(canonical + QLatin1Char('/') + rest);
        const qsizetype slash = existing.lastIndexOf(QLatin1Char('/'));
        if (slash <= 0)
            return clean;
        const QString last = existing.mid(slash + 1);
        rest = rest.isEmpty() ? last : last + QLatin1Char('/') + rest;
        existing = existing.left(slash);
    }
}

// Texts are built outside coroutines: GCC 12 cannot compile QStringLiteral inside one.
QString settingUpLine(const QString& name) {
    return QStringLiteral("Setting up ") + name + QStringLiteral("\u2026");
}

QString startingLine(const QString& name) {
    return QStringLiteral("Starting the bridge for ") + name + QStringLiteral("\u2026");
}

QString foreignMessage(qint64 port) {
    return QStringLiteral("Port ") + QString::number(port) +
           QStringLiteral(" is used by another program. Change port in tallyrig.config.json, then open the "
                          "project again.");
}

QString otherBridgeMessage(qint64 port, const QString& project) {
    return QStringLiteral("Port ") + QString::number(port) +
           QStringLiteral(" is used by the Tallyrig bridge for ") + project +
           QStringLiteral(". Stop it (tallyrig stop in that folder) or change port in tallyrig.config.json.");
}

QString noAnswerMessage(qint64 port, const QString& lines) {
    return QStringLiteral("The bridge didn\u2019t answer on port ") + QString::number(port) +
           QStringLiteral(".\n") + lines;
}

QString anotherProject() {
    return QStringLiteral("another project");
}

QStringList initArguments(const QString& cli) {
    return {cli, QStringLiteral("init"), QStringLiteral("--yes")};
}

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

QString folderName(const QString& folder) {
    const QString name = QFileInfo(folder).fileName();
    return name.isEmpty() ? folder : name;
}

} // namespace

BridgeProcess::BridgeProcess(Settings& settings, std::optional<Runtime> runtime, Timings timings,
                             QObject* parent)
    : QObject(parent), m_settings(settings), m_runtime(std::move(runtime)), m_timings(timings) {
    const QStringList stored = m_settings.recentProjects();
    for (const QString& path : stored)
        m_recents.append(pathText(path));
}

BridgeProcess::~BridgeProcess() {
    endNow();
}

BridgeProcess& BridgeProcess::shared() {
    static auto* instance =
        new BridgeProcess(Settings::shared(), runtimeIn(Bundle::location(), Bundle::resourceFolder()));
    return *instance;
}

// MARK: observable fields

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

void BridgeProcess::setRecents(QStringList recents) {
    if (recents == m_recents)
        return;
    m_recents = std::move(recents);
    emit recentsChanged();
}

// MARK: recent projects

QString BridgeProcess::pathText(const QString& folder) {
    QString path = absolute(folder);
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

void BridgeProcess::remember(const QString& folder) {
    const QString path = pathText(folder);
    QStringList list = m_recents;
    list.removeAll(path);
    list = list.mid(0, 7);
    list.prepend(path);
    setRecents(list);
    m_settings.setRecentProjects(m_recents);
}

void BridgeProcess::forget(const QString& folder) {
    QStringList list = m_recents;
    list.removeAll(pathText(folder));
    setRecents(list);
    m_settings.setRecentProjects(m_recents);
}

// MARK: probe

QCoro::Task<BridgeProcess::Probe> BridgeProcess::probe(qint64 port, std::chrono::milliseconds timeout) {
    if (!Bootstrap::addressIsValid(port))
        co_return Probe::foreign();
    const Bootstrap::Answer answer = co_await Bootstrap::fetch(port, timeout);
    if (answer.transportFailed)
        co_return Probe::free();
    const auto record = Bootstrap::decode(answer.body);
    if (!record || record->service != QLatin1String("tallyrig"))
        co_return Probe::foreign();
    co_return Probe::bridge(record->project.value_or(anotherProject()));
}

bool BridgeProcess::same(const QString& project, const QString& folder) {
    const QString served = resolved(project);
    const QString opened = resolved(folder);
    return opened == served || opened.startsWith(served + QLatin1Char('/'));
}

// MARK: project configuration

std::optional<QString> BridgeProcess::configFile(const QString& folder) {
    QString dir = QDir::cleanPath(absolute(folder));
    while (true) {
        const QString candidate =
            dir == QLatin1String("/") ? dir + configName : dir + QLatin1Char('/') + configName;
        if (entryExists(candidate))
            return candidate;
        if (entryExists(dir == QLatin1String("/") ? QStringLiteral("/.git") : dir + QStringLiteral("/.git")))
            return std::nullopt;
        if (dir == QLatin1String("/"))
            return std::nullopt;
        const qsizetype slash = dir.lastIndexOf(QLatin1Char('/'));
        dir = slash <= 0 ? QStringLiteral("/") : dir.left(slash);
    }
}

qint64 BridgeProcess::port(const QString& folder) {
    const auto file = configFile(folder);
    if (!file)
        return defaultPort;
    // Only a regular file is read: a FIFO under that name would block the UI thread.
    if (!QFileInfo(*file).isFile())
        return defaultPort;
    QFile reader(*file);
    if (!reader.open(QIODevice::ReadOnly))
        return defaultPort;
    const QByteArray bytes = reader.readAll();
    const auto json =
        nlohmann::json::parse(bytes.constData(), bytes.constData() + bytes.size(), nullptr, false);
    if (!json.is_object())
        return defaultPort;
    const auto it = json.find("port");
    if (it == json.end())
        return defaultPort;
    if (it->is_number_unsigned()) {
        const auto value = it->get<std::uint64_t>();
        return value <= std::uint64_t(std::numeric_limits<qint64>::max()) ? qint64(value) : defaultPort;
    }
    if (it->is_number_integer())
        return it->get<std::int64_t>();
    if (it->is_number_float()) {
        // 5000.0 is the integer 5000; 2^63 and beyond do not fit.
        const double value = it->get<double>();
        if (std::isfinite(value) && std::trunc(value) == value && value >= -9223372036854775808.0 &&
            value < 9223372036854775808.0)
            return qint64(value);
    }
    return defaultPort;
}

// MARK: runtime and environment

std::optional<BridgeProcess::Runtime> BridgeProcess::runtimeIn(const std::optional<QString>& bundleFolder,
                                                               const std::optional<QString>& resourceFolder) {
    if (!bundleFolder || !resourceFolder)
        return std::nullopt;
    const QString node = *bundleFolder + QStringLiteral("/Contents/Helpers/node");
    const QString cli = *resourceFolder + QStringLiteral("/bridge/bin/tallyrig.mjs");
    const QFileInfo nodeInfo(node);
    if (!nodeInfo.isFile() || !nodeInfo.isExecutable() || !QFileInfo::exists(cli))
        return std::nullopt;
    return Runtime{node, cli};
}

QCoro::Task<QProcessEnvironment> BridgeProcess::environment() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    QString path;
    if (m_cachedPath) {
        path = *m_cachedPath;
    } else {
        const QPointer<BridgeProcess> self(this);
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

QCoro::Task<QString> BridgeProcess::loginPath() {
    const Timings timings = m_timings;
    auto* process = new QProcess;
    ChildProcess::track(process);
    process->setProgram(loginShell());
    process->setArguments(loginArguments());
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    ChildProcess::endWithApp(*process, SIGKILL, /*ownSession=*/true);
    process->start(QIODevice::ReadOnly);

    bool over = co_await ended(process, timings.loginShellWatch);
    if (!over) {
        ChildProcess::signalSession(*process, SIGTERM);
        over = co_await ended(process, timings.loginShellKillGrace);
    }
    if (!over) {
        ChildProcess::signalSession(*process, SIGKILL);
        co_await ended(process, reapWait);
    }
    const QStringList pieces = QString::fromUtf8(process->readAllStandardOutput()).split(marker);
    ChildProcess::dispose(process);
    co_return searchPath(pieces);
}

QCoro::Task<BridgeProcess::RunResult> BridgeProcess::run(QString executable, QStringList arguments,
                                                         QString folder, QProcessEnvironment environment) {
    co_return co_await runProcess(std::move(executable), std::move(arguments), std::move(folder),
                                  std::move(environment), nullptr);
}

QCoro::Task<BridgeProcess::RunResult> BridgeProcess::runProcess(QString executable, QStringList arguments,
                                                                QString folder,
                                                                QProcessEnvironment environment,
                                                                std::shared_ptr<QPointer<QProcess>> handle) {
    auto* process = new QProcess;
    ChildProcess::track(process);
    process->setProgram(executable);
    process->setArguments(arguments);
    process->setWorkingDirectory(folder);
    process->setProcessEnvironment(environment);
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->setStandardInputFile(QProcess::nullDevice());
    ChildProcess::endWithApp(*process, SIGKILL);
    if (handle)
        *handle = process;
    process->start(QIODevice::ReadOnly);
    co_await ended(process, -1ms);

    RunResult result;
    if (process->error() == QProcess::FailedToStart) {
        result.status = -1;
        result.output = process->errorString();
    } else {
        result.status = process->exitCode();
        result.output = QString::fromUtf8(process->readAll());
    }
    ChildProcess::dispose(process);
    co_return result;
}

// MARK: output

QString BridgeProcess::tail(const QString& text) {
    QStringList lines = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (lines.size() > 4)
        lines = lines.mid(lines.size() - 4);
    return lines.join(QLatin1Char('\n'));
}

void BridgeProcess::appendOutput(const QString& text) {
    if (text.isEmpty())
        return;
    m_output += text;
    // No more code units than the limit means no more characters either.
    if (m_output.size() <= outputLimit)
        return;
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, m_output);
    graphemes.toEnd();
    for (int kept = 0; kept < outputLimit; ++kept) {
        if (graphemes.toPreviousBoundary() <= 0)
            return; // the whole text fits
    }
    m_output.remove(0, graphemes.position());
}

// MARK: lifecycle

QCoro::Task<std::optional<qint64>> BridgeProcess::open(QString folder) {
    if (!m_runtime) {
        setState(State::failed(noBridgeMessage()));
        co_return std::nullopt;
    }
    const QPointer<BridgeProcess> self(this);
    const quint64 ticket = ++m_openTicket;
    // A set-up that an earlier opening is waiting for is no longer wanted.
    if (m_setupRun && *m_setupRun)
        (*m_setupRun)->terminate();
    while (m_opening || !m_stopping.isEmpty()) {
        co_await waitForTurn();
        if (!self || ticket != m_openTicket)
            co_return std::nullopt;
    }
    m_opening = true;
    const std::optional<qint64> port = co_await openNow(pathText(folder), ticket);
    if (self) {
        m_opening = false;
        passTurn();
    }
    co_return port;
}

QCoro::Task<> BridgeProcess::waitForTurn() {
    ChildProcess::Wake wake;
    m_turnWaiters.append(&wake);
    co_await wake.wait();
}

void BridgeProcess::passTurn() {
    const auto waiters = std::exchange(m_turnWaiters, {});
    for (const auto& waiter : waiters) {
        if (waiter)
            waiter->fire();
    }
}

QCoro::Task<std::optional<qint64>> BridgeProcess::openNow(QString folder, quint64 ticket) {
    const QPointer<BridgeProcess> self(this);
    // An opening gives up quietly once the object is gone or a later opening has superseded it.
    const auto superseded = [&] { return !self || ticket != m_openTicket; };

    co_await stop();
    if (superseded())
        co_return std::nullopt;

    setProject(folder);
    remember(folder);
    m_output.clear();

    QProcessEnvironment environment = co_await this->environment();
    if (superseded())
        co_return std::nullopt;
    // Otherwise the children would see the app's own working folder there, and a bridge that
    // climbs from $PWD would miss a folder opened through a symbolic link.
    environment.insert(QStringLiteral("PWD"), folder);

    const Runtime runtime = *m_runtime;
    const QString name = folderName(folder);
    if (!configFile(folder)) {
        setState(State::starting(settingUpLine(name)));
        auto handle = std::make_shared<QPointer<QProcess>>();
        m_setupRun = handle;
        const RunResult setup =
            co_await runProcess(runtime.node, initArguments(runtime.cli), folder, environment, handle);
        if (!self)
            co_return std::nullopt;
        if (m_setupRun == handle)
            m_setupRun.reset();
        if (superseded())
            co_return std::nullopt;
        if (setup.status != 0) {
            setState(State::failed(tail(setup.output)));
            co_return std::nullopt;
        }
    }

    const qint64 bridgePort = port(folder);
    const Probe holder = co_await probe(bridgePort, m_timings.probeTimeout);
    if (superseded())
        co_return std::nullopt;
    switch (holder.kind) {
    case Probe::Kind::Foreign:
        setState(State::failed(foreignMessage(bridgePort)));
        co_return std::nullopt;
    case Probe::Kind::Bridge:
        if (same(holder.project, folder)) {
            setState(State::external());
            co_return bridgePort;
        }
        setState(State::failed(otherBridgeMessage(bridgePort, holder.project)));
        co_return std::nullopt;
    case Probe::Kind::Free:
        break;
    }

    setState(State::starting(startingLine(name)));
    const QPointer<QProcess> launched = launch(folder, environment);
    const auto stillOurs = [&] {
        return self && launched && m_process == launched && ticket == m_openTicket;
    };

    for (int attempt = 0; attempt < m_timings.startAttempts; ++attempt) {
        if (!stillOurs())
            co_return std::nullopt;
        const Probe answer = co_await probe(bridgePort, m_timings.probeTimeout);
        if (!stillOurs())
            co_return std::nullopt;
        if (answer.kind == Probe::Kind::Bridge) {
            setState(State::running());
            co_return bridgePort;
        }
        // The pause ends early when the process ends, so a bridge that dies is noticed at once.
        co_await ended(launched, m_timings.startInterval);
        if (!self)
            co_return std::nullopt;
    }
    if (!stillOurs())
        co_return std::nullopt;
    setState(State::failed(noAnswerMessage(bridgePort, tail(m_output))));
    m_process = nullptr;
    co_await end(launched);
    co_return std::nullopt;
}

QProcess* BridgeProcess::launch(const QString& folder, const QProcessEnvironment& environment) {
    auto* process = new QProcess(this);
    process->setProgram(m_runtime->node);
    process->setArguments({m_runtime->cli, QStringLiteral("start"), QStringLiteral("--plain")});
    process->setWorkingDirectory(folder);
    process->setProcessEnvironment(environment);
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->setStandardInputFile(QProcess::nullDevice());
    // SIGTERM, so a bridge left behind by a crashed app still shuts down cleanly.
    ChildProcess::endWithApp(*process, SIGTERM);

    auto stream = std::make_shared<ChildProcess::Utf8Stream>();
    connect(process, &QProcess::readyReadStandardOutput, this, [this, process, stream] {
        const QString text = stream->feed(process->readAllStandardOutput());
        if (m_process == process)
            appendOutput(text);
    });
    connect(process, &QProcess::finished, this, [this, process, stream] {
        if (m_process != process)
            return;
        // What is still in the pipe belongs in the failure message.
        appendOutput(stream->feed(process->readAllStandardOutput()) + stream->finish());
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
    const QString lines = tail(m_output);
    setState(State::failed(lines.isEmpty() ? QStringLiteral("The bridge stopped (exit ") +
                                                 QString::number(handle->exitCode()) + QStringLiteral(").")
                                           : lines));
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
    passTurn();
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
    ChildProcess::killTracked();
}
