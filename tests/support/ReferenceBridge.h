#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// The reference bridge running in a temporary project folder on a free port, for tests that need a
// real bridge. Stopped (SIGTERM) when destroyed.
class ReferenceBridge {
public:
    // `agentStepMs` paces the simulated agent.
    explicit ReferenceBridge(int agentStepMs = 20);
    ~ReferenceBridge();

    // The agent that takes the reports, instead of the simulated one: a headless command run in a
    // real git repository (a commit of Sources/Title.swift), or none, so that reports wait for an
    // MCP client. Before start().
    void useAgent(const QString& command, const QStringList& arguments);
    void useNoAgent();

    // Starts and waits for the ready line; false (with `log()` telling why) when it did not come up.
    bool start();
    quint16 port() const { return m_port; }
    QString folder() const { return m_folder; }
    QString baseAddress() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port); }
    QString log() const { return m_log; }

    // A report body the bridge accepts; returns the new report's id (empty on failure).
    QString postReport(const QString& comment);

private:
    bool launch();

    QTemporaryDir m_dir;
    QString m_folder;
    quint16 m_port = 0;
    int m_agentStepMs;
    enum class Agent { Simulated, Command, None } m_agent = Agent::Simulated;
    QString m_command;
    QStringList m_arguments;
    QProcess m_process;
    QString m_log;
};
