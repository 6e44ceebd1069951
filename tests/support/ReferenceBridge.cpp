#include "support/ReferenceBridge.h"

#include "support/TestHttpServer.h"
#include "support/TestRepository.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QTest>

ReferenceBridge::ReferenceBridge(int agentStepMs) : m_agentStepMs(agentStepMs) {}

ReferenceBridge::~ReferenceBridge() {
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(1000);
    }
}

bool ReferenceBridge::start() {
    // Another program may take the port before the bridge binds it: the bridge then says so and
    // exits, and another port is tried.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (launch())
            return true;
        if (!m_log.contains(QLatin1String("already in use")))
            return false;
    }
    return false;
}

void ReferenceBridge::useAgent(const QString& command, const QStringList& arguments) {
    m_agent = Agent::Command;
    m_command = command;
    m_arguments = arguments;
}

void ReferenceBridge::useNoAgent() {
    m_agent = Agent::None;
}

namespace {

bool git(const QString& folder, const QStringList& arguments) {
    QProcess process;
    process.setWorkingDirectory(folder);
    process.start(QStringLiteral("git"), arguments);
    return process.waitForFinished(15000) && process.exitCode() == 0;
}

// A real repository with one commit, for an agent whose changes are reviewed through git.
void makeGitRepository(const QString& folder) {
    QDir(folder).mkpath(QStringLiteral("Sources"));
    QFile title(folder + QStringLiteral("/Sources/Title.swift"));
    if (title.open(QIODevice::WriteOnly))
        title.write("Text(\"Settings\").font(.body)\n");
    title.close();
    git(folder, {QStringLiteral("init"), QStringLiteral("-q")});
    git(folder, {QStringLiteral("config"), QStringLiteral("user.name"), QStringLiteral("Test")});
    git(folder, {QStringLiteral("config"), QStringLiteral("user.email"), QStringLiteral("test@example.com")});
    git(folder, {QStringLiteral("add"), QStringLiteral("Sources")});
    git(folder,
        {QStringLiteral("commit"), QStringLiteral("-q"), QStringLiteral("-m"), QStringLiteral("start")});
}

} // namespace

bool ReferenceBridge::launch() {
    m_port = TestHttpServer::freePort();
    m_folder = TestRepository::make(m_dir.path(), QStringLiteral("project"), m_port);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TALLYRIG_AGENT_STEP_MS"), QString::number(m_agentStepMs));
    if (m_agent == Agent::Simulated) {
        env.insert(QStringLiteral("TALLYRIG_AGENT"), QStringLiteral("simulate"));
    } else {
        env.remove(QStringLiteral("TALLYRIG_AGENT"));
        makeGitRepository(m_folder);
        QJsonObject config{{"port", m_port}};
        if (m_agent == Agent::Command)
            config.insert(
                QStringLiteral("agent"),
                QJsonObject{{"command", m_command}, {"args", QJsonArray::fromStringList(m_arguments)}});
        QFile file(m_folder + QStringLiteral("/tallyrig.config.json"));
        if (file.open(QIODevice::WriteOnly))
            file.write(QJsonDocument(config).toJson());
    }
    m_process.setProcessEnvironment(env);
    m_process.setWorkingDirectory(m_folder);
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(QStringLiteral(TALLYRIG_TEST_NODE), {QStringLiteral(TALLYRIG_TEST_BRIDGE_CLI),
                                                         QStringLiteral("start"), QStringLiteral("--plain")});
    QDeadlineTimer deadline(15000);
    while (!deadline.hasExpired()) {
        if (m_process.state() == QProcess::NotRunning)
            break;
        m_process.waitForReadyRead(100);
        m_log += QString::fromUtf8(m_process.readAll());
        if (m_log.contains(QLatin1String("ready")))
            return true;
    }
    m_log += QString::fromUtf8(m_process.readAll());
    return false;
}

QString ReferenceBridge::postReport(const QString& comment) {
    // A 1×1 PNG.
    static const char png[] =
        "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mNk+M9QDwADhgGAWjR9awAAAABJRU5ErkJggg==";
    const QJsonObject body{
        {"comment", comment},
        {"platform", "ios"},
        {"screen", "Home"},
        {"touch", QJsonObject{{"x", 10.5}, {"y", 20}}},
        {"simulator", "00000000-0000-0000-0000-000000000000"},
        {"device", "iPhone 15"},
        {"viewport", "393x852"},
        {"screenshotPNG", QString::fromLatin1(png)},
    };
    QNetworkAccessManager network;
    network.setProxy(QNetworkProxy::NoProxy);
    QNetworkRequest request(QUrl(baseAddress() + QStringLiteral("/report")));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    QNetworkReply* reply = network.post(request, QJsonDocument(body).toJson(QJsonDocument::Compact));
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    const QString id =
        QJsonDocument::fromJson(reply->readAll()).object().value(QStringLiteral("id")).toString();
    reply->deleteLater();
    return id;
}
