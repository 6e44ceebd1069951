#pragma once

#include "bridge/BridgeRuntime.h"
#include "bridge/CommandRunner.h"
#include "bridge/LaunchEnvironment.h"
#include "bridge/OutputBuffer.h"
#include "bridge/RecentProjects.h"
#include "foundation/BridgePort.h"
#include "foundation/Within.h"

#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <qcoro/qcorotask.h>

#include <chrono>
#include <memory>
#include <optional>

namespace platform {
class ChildProcesses;
}
class Settings;

// Every interval of the lifecycle, so tests can compress them; the defaults are the product's.
struct BridgeProcessTimings {
    std::chrono::milliseconds probeTimeout{1500};
    int startAttempts = 80;
    std::chrono::milliseconds startInterval{250};
    int stopPolls = 40;
    std::chrono::milliseconds stopInterval{200};
    std::chrono::milliseconds quitWait{5000};
    std::chrono::milliseconds loginShellWatch{4000};
    // How long a login shell may ignore the terminate request before it is killed.
    std::chrono::milliseconds loginShellKillGrace{1000};
};

// Starts, watches and stops the bridge for the project the user opens: sets the project up, adopts
// a bridge that already serves it or starts one and waits until it answers. One instance serves the
// whole application; it lives on the UI thread.
class BridgeProcess : public QObject {
    Q_OBJECT
public:
    struct State {
        enum class Kind { Idle, Starting, Running, External, Failed };
        Kind kind = Kind::Idle;
        QString text; // progress line while starting, message when failed

        static State idle() { return {Kind::Idle, {}}; }
        static State starting(QString line) { return {Kind::Starting, std::move(line)}; }
        static State running() { return {Kind::Running, {}}; }
        static State external() { return {Kind::External, {}}; }
        static State failed(QString message) { return {Kind::Failed, std::move(message)}; }
        bool operator==(const State&) const = default;
    };

    using Timings = BridgeProcessTimings;

    BridgeProcess(Settings& settings, platform::ChildProcesses& children,
                  std::optional<BridgeRuntime> runtime, Timings timings = {}, QObject* parent = nullptr);
    ~BridgeProcess() override;

    State state() const { return m_state; }
    std::optional<QString> project() const { return m_project; }
    QStringList recents() const { return m_recents.folders(); }
    QProcess* process() const { return m_process; }
    QString output() const { return m_output.text(); }
    std::optional<BridgeRuntime> runtime() const { return m_runtime; }
    const Timings& timings() const { return m_timings; }
    LaunchEnvironment& launchEnvironment() { return m_environment; }

    // Sets up, adopts or starts the bridge for the folder; the port to connect to, or none.
    QCoro::Task<std::optional<BridgePort>> open(QString folder);
    // Stops the owned bridge, or lets go of an adopted one.
    QCoro::Task<> stop();
    // At quit: ends the owned bridge, blocking for at most timings().quitWait.
    void stopForQuit();
    void forget(const QString& folder);

signals:
    void stateChanged();
    void projectChanged();
    void recentsChanged();

private:
    // One call of open(). It gives up quietly once the object is gone or a later call took over.
    struct Opening {
        QPointer<BridgeProcess> owner;
        quint64 ticket;
        bool superseded() const { return !owner || owner->m_openTicket != ticket; }
    };
    // What the port check tells the opening to do next.
    enum class Next { Start, Adopt, GiveUp };

    void setState(State state);
    void setProject(QString folder);
    // How long a child asked to end may take before it is killed: the bridge's stop polls.
    std::chrono::milliseconds stopGrace() const;

    // The steps of an opening, in order.
    QCoro::Task<bool> waitForTurn(Opening opening);
    QCoro::Task<std::optional<BridgePort>> openNow(QString folder, Opening opening);
    void beginProject(const QString& folder);
    QCoro::Task<std::optional<QProcessEnvironment>> bridgeEnvironment(QString folder, Opening opening);
    QCoro::Task<bool> setUpIfNeeded(QString folder, QProcessEnvironment environment, Opening opening);
    QCoro::Task<Next> checkPort(QString folder, BridgePort port, Opening opening);
    QCoro::Task<std::optional<BridgePort>> startAndWait(QString folder, QProcessEnvironment environment,
                                                        BridgePort port, Opening opening);

    QProcess* launch(const QString& folder, const QProcessEnvironment& environment);
    void exited(QProcess* handle);
    // Terminates a process that is no longer owned, kills it if it outlives the stop polls.
    QCoro::Task<> end(QPointer<QProcess> process);
    // Ends the owned process and those being stopped, blocking for at most quitWait.
    void endNow();

    platform::ChildProcesses& m_children;
    std::optional<BridgeRuntime> m_runtime;
    Timings m_timings;
    State m_state;
    std::optional<QString> m_project;
    RecentProjects m_recents;
    LaunchEnvironment m_environment;
    CommandRunner m_runner;
    QPointer<QProcess> m_process;
    OutputBuffer m_output;

    // Openings run one at a time; a later one supersedes those not yet done.
    quint64 m_openTicket = 0;
    bool m_opening = false;
    std::shared_ptr<CommandRunner::Handle> m_setUp; // the set-up command of the current opening
    QList<QPointer<QProcess>> m_stopping;           // taken processes not yet ended
    Within::Waiters m_turnWaiters;
};
