#include "panel/BridgeApi.h"

#include "foundation/JsonInput.h"
#include "foundation/LaterPtr.h"
#include "foundation/LoopbackNetwork.h"
#include "foundation/Settings.h"
#include "foundation/Within.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace BridgeApi {

namespace {

// Far beyond any identifier a bridge issues, and short enough for a request line once encoded.
constexpr qsizetype maximumIdLength = 1000;

QString encoded(const QString& id) {
    return QString::fromLatin1(QUrl::toPercentEncoding(id));
}

} // namespace

std::optional<QUrl> address(qint64 port, const QString& path) {
    const QString base = QStringLiteral("http://127.0.0.1:") + QString::number(port);
    const QUrl origin(base, QUrl::StrictMode);
    if (!origin.isValid() || origin.port() != port)
        return std::nullopt;
    // The path goes in as given; only characters a URL cannot hold are encoded.
    QUrl url(base + path, QUrl::TolerantMode);
    if (!url.isValid() || url.isRelative() || url.port() != port)
        return std::nullopt;
    return url;
}

nlohmann::json parseAnswer(const QByteArray& body) {
    if (body.trimmed().isEmpty())
        throw Failure(QStringLiteral("The bridge sent an empty answer"));
    JsonInput::Reading answer = JsonInput::read(body);
    if (!answer)
        throw Failure(JsonInput::describe(answer, QStringLiteral("The bridge\u2019s answer")));
    return std::move(answer.value);
}

std::optional<QString> text(const nlohmann::json& value, const char* key) {
    if (!value.is_object())
        return std::nullopt;
    const auto it = value.find(key);
    if (it == value.end() || !it->is_string())
        return std::nullopt;
    return QString::fromStdString(it->get<std::string>());
}

bool sendableId(const QString& id) {
    return !id.isEmpty() && id.size() <= maximumIdLength && id != QLatin1String(".") &&
           id != QLatin1String("..");
}

std::optional<QString> statusPath(const QString& id) {
    if (!sendableId(id))
        return std::nullopt;
    return QStringLiteral("/status?id=") + encoded(id);
}

std::optional<QString> reviewPath(const QString& id, const QString& action) {
    if (!sendableId(id))
        return std::nullopt;
    return QStringLiteral("/api/reports/") + encoded(id) + QLatin1Char('/') + encoded(action);
}

QCoro::Task<nlohmann::json> call(qint64 port, QString path, std::optional<ReportBody> body,
                                 std::chrono::milliseconds timeout, QObject* owner) {
    const std::optional<QUrl> url = address(port, path);
    if (!url)
        throw PanelError(QStringLiteral("Invalid bridge port"));

    QNetworkRequest request(*url);
    request.setTransferTimeout(int(timeout.count()));
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    // Resumed inside the reply's finished(), which Qt may emit from abort() and go on using it.
    LaterPtr<QNetworkReply> reply;
    if (body) {
        // One text: the network thread shares a byte array as it is, where it would have a device's
        // every chunk handed over from this thread.
        QByteArray data = body->compact();
        // The pictures are in `data` now; the body need not keep its share of them.
        body.reset();
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
        reply.reset(loopbackNetwork().post(request, data));
    } else {
        reply.reset(loopbackNetwork().get(request));
    }
    if (!reply->isFinished() && !co_await Within::signal(owner, reply.get(), &QNetworkReply::finished)) {
        reply->abort();
        throw Failure(QStringLiteral("The request was abandoned."));
    }

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const QNetworkReply::NetworkError error = reply->error();
    // Network-level errors (codes below ContentAccessDenied) include a body that broke off after
    // the headers: the bridge did not answer properly.
    if (!status.isValid() ||
        (error != QNetworkReply::NoError && error < QNetworkReply::ContentAccessDenied)) {
        // A transfer time-out aborts the request, which Qt words as a cancellation.
        if (error == QNetworkReply::OperationCanceledError || error == QNetworkReply::TimeoutError)
            throw Failure(QStringLiteral("The request timed out."));
        throw Failure(reply->errorString());
    }
    const int code = status.toInt();
    // Nothing is sent on: whatever answers on the port could redirect a report anywhere.
    if (code >= 300 && code <= 399)
        throw Refusal(code, QStringLiteral("The bridge redirected the request, so it wasn\u2019t sent on"));
    const nlohmann::json answer = parseAnswer(reply->readAll());
    if (code >= 200 && code <= 299)
        co_return answer;
    throw Refusal(code, text(answer, "error").value_or(QStringLiteral("Bridge error")));
}

QCoro::Task<nlohmann::json> Client::call(const QString& path, std::optional<ReportBody> body) const {
    return BridgeApi::call(m_settings.bridgePort(), path, std::move(body), m_timeout, m_owner);
}

} // namespace BridgeApi
