#pragma once

#include "panel/Payload.h"

#include <QString>
#include <QUrl>
#include <qcoro/qcorotask.h>

#include <nlohmann/json.hpp>

#include <chrono>
#include <optional>

// One exchange with the bridge's report API on the loopback address.
namespace BridgeApi {

// "http://127.0.0.1:<port>" + path; none when the port makes no valid URL.
std::optional<QUrl> address(qint64 port, const QString& path);

// Sends the body as a compact JSON POST, or a GET without one, and returns the answer's JSON value
// (a bare text or number included). Throws PanelError "Invalid bridge port" before sending, Failure
// with the description of a transport failure, time-out or unreadable answer, and PanelError with
// the answer's "error" text or "Bridge error" when the status is outside 200 to 299.
// `timeout` is the longest the transfer may go without progress. Touches nothing but its
// arguments, so its caller may be gone when it ends.
QCoro::Task<nlohmann::json> call(qint64 port, QString path, std::optional<ReportBody> body,
                                 std::chrono::milliseconds timeout);

// The answer body as JSON, top-level fragments allowed; throws Failure when it is not JSON.
nlohmann::json parseAnswer(const QByteArray& body);

// A member of an object answer read as text; none for anything else.
std::optional<QString> text(const nlohmann::json& value, const char* key);

} // namespace BridgeApi
