#include "bridge/Bootstrap.h"

#include "foundation/Within.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QUrl>

#include <nlohmann/json.hpp>

namespace Bootstrap {

namespace {

// A member read as optional text: absent and null are none, any other type spoils the record.
bool readText(const nlohmann::json& object, const char* key, std::optional<QString>& into) {
    const auto it = object.find(key);
    if (it == object.end() || it->is_null())
        return true;
    if (!it->is_string())
        return false;
    into = QString::fromStdString(it->get<std::string>());
    return true;
}

QNetworkAccessManager& network() {
    // One client per application; loopback requests never go through a proxy.
    static QPointer<QNetworkAccessManager> manager;
    if (!manager) {
        manager = new QNetworkAccessManager(QCoreApplication::instance());
        manager->setProxy(QNetworkProxy::NoProxy);
    }
    return *manager;
}

} // namespace

std::optional<Record> decode(const QByteArray& body, bool readProject) {
    const auto json = nlohmann::json::parse(body.constData(), body.constData() + body.size(), nullptr, false);
    if (!json.is_object())
        return std::nullopt;
    Record record;
    if (!readText(json, "service", record.service))
        return std::nullopt;
    if (readProject && !readText(json, "project", record.project))
        return std::nullopt;
    return record;
}

QCoro::Task<Answer> fetch(BridgePort port, std::chrono::milliseconds timeout, QObject* owner) {
    QNetworkRequest request(port.bootstrapUrl());
    request.setTransferTimeout(int(timeout.count()));
    // Deleted later, never from within its own finished signal; the manager owns it meanwhile.
    QNetworkReply* reply = network().get(request);
    const bool finished =
        reply->isFinished() || co_await Within::signal(owner, reply, &QNetworkReply::finished);
    if (!finished) {
        // The owner went away: nobody wants the answer.
        reply->abort();
        reply->deleteLater();
        co_return Answer{};
    }

    Answer answer;
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    // Network and proxy errors (codes below 200) include a body that broke off or stalled after
    // the headers: a transport failure too, not an answer.
    const auto error = reply->error();
    if (status.isValid() &&
        (error == QNetworkReply::NoError || error >= QNetworkReply::ContentAccessDenied)) {
        answer.transportFailed = false;
        answer.statusCode = status.toInt();
        answer.body = reply->readAll();
    }
    reply->deleteLater();
    co_return answer;
}

} // namespace Bootstrap
