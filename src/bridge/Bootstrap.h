#pragma once

#include "foundation/BridgePort.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <qcoro/qcorotask.h>

#include <chrono>
#include <optional>

// The record a bridge answers on "/api/bootstrap", and the one request that fetches it.
namespace Bootstrap {

struct Record {
    std::optional<QString> service;
    std::optional<QString> project;
};

// None when the body is not a JSON object, or when a member that is read has another type than
// text (null counts as absent). With readProject false, "project" is not looked at at all.
std::optional<Record> decode(const QByteArray& body, bool readProject = true);

struct Answer {
    bool transportFailed = true; // refused, timed out, or failed in transport
    int statusCode = 0;
    QByteArray body;
};

// One GET of the port's bootstrap address, given up when it makes no progress for `timeout`, or at
// once when `owner` (if any) goes away. Never throws; the port must form an address.
QCoro::Task<Answer> fetch(BridgePort port, std::chrono::milliseconds timeout, QObject* owner = nullptr);

} // namespace Bootstrap
