#pragma once

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

class Settings;
namespace ChildProcess {
class Wake;
}

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

// Starts, watches and stops the bridge for the project the user opens. One instance serves the
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

    // The JavaScript runtime and the bridge's command-line script carried in the bundle.
    struct Runtime {
        QString node;
        QString cli;
        bool operator==(const Runtime&) const = default;
    };

    // Who answers on a port.
    struct Probe {
        enum class Kind { Free, Foreign, Bridge };
        Kind kind = Kind::Free;
        QString project; // for Bridge: its folder, or "another project"

        static Probe free() { return {Kind::Free, {}}; }
        static Probe foreign() { return {Kind::Foreign, {}}; }
        static Probe bridge(QString project) { return {Kind::Bridge, std::move(project)}; }
        bool operator==(const Probe&) const = default;
    };

    struct RunResult {
        int status = -1;
        QString output;
    };

    using Timings = BridgeProcessTimings;

    static constexpr qint64 defaultPort = 4747;
    static constexpr int outputLimit = 8000; // user-perceived characters

    BridgeProcess(Settings& settings, std::optional<Runtime> runtime, Timings timings = {},
                  QObject* parent = nullptr);
    ~BridgeProcess() override;

    // The application's instance, with the runtime found in the bundle and the shared settings.
    static BridgeProcess& shared();

    State state() const { return m_state; }
    std::optional<QString> project() const { return m_project; }
    QStringList recents() const { return m_recents; } // absolute paths, most recent first
    QProcess* process() const { return m_process; }
    QString output() const { return m_output; }
    std::optional<Runtime> runtime() const { return m_runtime; }
    const Timings& timings() const { return m_timings; }

    // Sets up, adopts or starts the bridge for the folder; the port to connect to, or none.
    QCoro::Task<std::optional<qint64>> open(QString folder);
    // Stops the owned bridge, or lets go of an adopted one.
    QCoro::Task<> stop();
    // At quit: ends the owned bridge, blocking for at most timings().quitWait.
    void stopForQuit();
    void forget(const QString& folder);

    // The runtime of a bundle: none unless node is an executable file and the script exists.
    static std::optional<Runtime> runtimeIn(const std::optional<QString>& bundleFolder,
                                            const std::optional<QString>& resourceFolder);

    static QCoro::Task<Probe> probe(qint64 port,
                                    std::chrono::milliseconds timeout = std::chrono::milliseconds{1500});
    static bool same(const QString& project, const QString& folder);

    static std::optional<QString> configFile(const QString& folder);
    static qint64 port(const QString& folder);

    // The environment for every bridge command: the app's own, PATH from the login shell
    // (asked once per instance) widened by the tool folders, and TALLYRIG_APP=1.
    QCoro::Task<QProcessEnvironment> environment();
    QCoro::Task<QString> loginPath();
    std::optional<QString> cachedPath() const { return m_cachedPath; }

    // Runs a program to completion with stdout and stderr merged; status -1 and the launch
    // error's text when it cannot start.
    static QCoro::Task<RunResult> run(QString executable, QStringList arguments, QString folder,
                                      QProcessEnvironment environment);

    // The last four non-empty lines of a text, joined with line feeds.
    static QString tail(const QString& text);

    // A folder's path text as recents compare it: absolute, without a trailing "/".
    static QString pathText(const QString& folder);

signals:
    void stateChanged();
    void projectChanged();
    void recentsChanged();

private:
    void setState(State state);
    void setProject(QString folder);
    void setRecents(QStringList recents);
    void remember(const QString& folder);
    void appendOutput(const QString& text);
    void exited(QProcess* handle);

    QCoro::Task<std::optional<qint64>> openNow(QString folder, quint64 ticket);
    QProcess* launch(const QString& folder, const QProcessEnvironment& environment);
    // Terminates a process that is no longer owned, kills it if it outlives the stop polls.
    QCoro::Task<> end(QPointer<QProcess> process);
    // Ends the owned process and those being stopped, blocking for at most quitWait.
    void endNow();
    QCoro::Task<> waitForTurn();
    void passTurn();
    static QCoro::Task<RunResult> runProcess(QString executable, QStringList arguments, QString folder,
                                             QProcessEnvironment environment,
                                             std::shared_ptr<QPointer<QProcess>> handle);

    Settings& m_settings;
    std::optional<Runtime> m_runtime;
    Timings m_timings;
    State m_state;
    std::optional<QString> m_project;
    QStringList m_recents;
    QPointer<QProcess> m_process;
    QString m_output;
    std::optional<QString> m_cachedPath;

    // Openings run one at a time; a later one supersedes those not yet done.
    quint64 m_openTicket = 0;
    bool m_opening = false;
    QList<QPointer<ChildProcess::Wake>> m_turnWaiters;
    std::shared_ptr<QPointer<QProcess>> m_setupRun; // the set-up command of the current opening
    QList<QPointer<QProcess>> m_stopping;           // taken processes not yet ended
};
