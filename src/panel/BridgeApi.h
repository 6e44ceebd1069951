#pragma once

#include "foundation/PanelError.h"
#include "panel/Payload.h"

#include <QString>
#include <QUrl>
#include <qcoro/qcorotask.h>

#include <nlohmann/json.hpp>

#include <chrono>
#include <optional>

class Settings;

// One exchange with the bridge's report API on the loopback address.
namespace BridgeApi {

// The bridge answered and refused: a status outside 200 to 299 (a redirect included), with the
// message to show.
class Refusal : public PanelError {
public:
    Refusal(int status, QString message) : PanelError(std::move(message)), m_status(status) {}
    int status() const { return m_status; }
    // A fault inside the bridge (5xx): no verdict on what was asked.
    bool inBridge() const { return m_status >= 500; }

private:
    int m_status;
};

// "http://127.0.0.1:<port>" + path; none when the port makes no valid URL.
std::optional<QUrl> address(qint64 port, const QString& path);

// Sends the body as a compact JSON POST, or a GET without one, and returns the answer's JSON value
// (a bare text or number included). Throws PanelError "Invalid bridge port" before sending, Failure
// with the description of a transport failure, time-out or unreadable answer, and Refusal with the
// answer's "error" text or "Bridge error" when the status is outside 200 to 299. A redirect is
// never followed: it is a Refusal, whatever the answer holds.
// `timeout` is the longest the transfer may go without progress. Touches nothing but its
// arguments, so its caller may be gone when it ends. When `owner` goes away first the request is
// abandoned at once and the call throws Failure, so no frame waits on an answer nobody wants.
QCoro::Task<nlohmann::json> call(qint64 port, QString path, std::optional<ReportBody> body,
                                 std::chrono::milliseconds timeout, QObject* owner = nullptr);

// The answer body as JSON, top-level fragments allowed; throws Failure when it is not JSON.
nlohmann::json parseAnswer(const QByteArray& body);

// A member of an object answer read as text; none for anything else.
std::optional<QString> text(const nlohmann::json& value, const char* key);

// Whether a report identifier the bridge issued can go back into a request: not empty, not a dot
// segment (the HTTP client would step up a folder however it is encoded) and of a sensible length.
bool sendableId(const QString& id);
// "/status?id=" + the identifier as one query value; none when it cannot be sent.
std::optional<QString> statusPath(const QString& id);
// "/api/reports/" + the identifier as one path segment + "/" + action; none when it cannot be sent.
std::optional<QString> reviewPath(const QString& id, const QString& action);

// The bridge as the panel reaches it: the port read from the settings for every request, so that a
// change in the main window applies to the next one.
class Client {
public:
    // The settings outlive the client; requests are abandoned when `owner` goes.
    Client(Settings& settings, std::chrono::milliseconds timeout, QObject* owner)
        : m_settings(settings), m_timeout(timeout), m_owner(owner) {}

    // call() to the stored port.
    QCoro::Task<nlohmann::json> call(const QString& path,
                                     std::optional<ReportBody> body = std::nullopt) const;

private:
    Settings& m_settings;
    std::chrono::milliseconds m_timeout;
    QObject* m_owner;
};

} // namespace BridgeApi
