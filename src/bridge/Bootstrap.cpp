#include "bridge/Bootstrap.h"

#include "foundation/JsonInput.h"
#include "foundation/LaterPtr.h"
#include "foundation/LoopbackNetwork.h"
#include "foundation/Within.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
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

} // namespace

std::optional<Record> decode(const QByteArray& body, bool readProject) {
    const JsonInput::Reading reading = JsonInput::read(body);
    const nlohmann::json& json = reading.value;
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
    const LaterPtr<QNetworkReply> reply(loopbackNetwork().get(request));
    const bool finished =
        reply->isFinished() || co_await Within::signal(owner, reply.get(), &QNetworkReply::finished);
    if (!finished) {
        // The owner went away: nobody wants the answer.
        reply->abort();
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
    co_return answer;
}

} // namespace Bootstrap
