#include "panel/BridgeApi.h"

#include "simulator/PanelError.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <qcoro/qcoronetworkreply.h>

#include <memory>

namespace BridgeApi {

namespace {

QNetworkAccessManager& network() {
    // One client for the panel's requests; loopback requests never go through a proxy.
    static QPointer<QNetworkAccessManager> manager;
    if (!manager) {
        manager = new QNetworkAccessManager(QCoreApplication::instance());
        manager->setProxy(QNetworkProxy::NoProxy);
    }
    return *manager;
}

// Answers nested deeper than this are refused: writing them back as text would recurse as deep.
constexpr int maximumDepth = 256;

struct TooDeep {};

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
    const auto depthLimit = [](int depth, nlohmann::json::parse_event_t, nlohmann::json&) {
        if (depth > maximumDepth)
            throw TooDeep{};
        return true;
    };
    try {
        return nlohmann::json::parse(body.constData(), body.constData() + body.size(), depthLimit);
    } catch (const nlohmann::json::parse_error& error) {
        throw Failure(
            QStringLiteral("The bridge\u2019s answer isn\u2019t valid JSON (at byte %1)").arg(error.byte));
    } catch (const TooDeep&) {
        throw Failure(QStringLiteral("The bridge\u2019s answer is nested too deeply"));
    }
}

std::optional<QString> text(const nlohmann::json& value, const char* key) {
    if (!value.is_object())
        return std::nullopt;
    const auto it = value.find(key);
    if (it == value.end() || !it->is_string())
        return std::nullopt;
    return QString::fromStdString(it->get<std::string>());
}

QCoro::Task<nlohmann::json> call(qint64 port, QString path, std::optional<ReportBody> body,
                                 std::chrono::milliseconds timeout) {
    const std::optional<QUrl> url = address(port, path);
    if (!url)
        throw PanelError(QStringLiteral("Invalid bridge port"));

    QNetworkRequest request(*url);
    request.setTransferTimeout(int(timeout.count()));
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    std::unique_ptr<QNetworkReply> reply;
    if (body) {
        QByteArray data = body->compact();
        // The screenshot's bytes are in `data` now; the body need not keep its share of them.
        body.reset();
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
        reply.reset(network().post(request, data));
    } else {
        reply.reset(network().get(request));
    }
    co_await qCoro(reply.get()).waitForFinished();

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
    const nlohmann::json answer = parseAnswer(reply->readAll());
    const int code = status.toInt();
    if (code >= 200 && code <= 299)
        co_return answer;
    throw PanelError(text(answer, "error").value_or(QStringLiteral("Bridge error")));
}

} // namespace BridgeApi
