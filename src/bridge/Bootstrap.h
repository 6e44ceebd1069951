#pragma once

#include <QByteArray>
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

// "http://127.0.0.1:" + port + "/api/bootstrap", the port in plain decimal digits.
QString address(qint64 port);

struct Answer {
    bool transportFailed = true; // refused, timed out, or failed in transport
    int statusCode = 0;
    QByteArray body;
};

// True when the address for this port parses as a URL; callers decide what a bad one means.
bool addressIsValid(qint64 port);

// One GET of address(port), given up when it makes no progress for `timeout`. Never throws;
// the address must be valid.
QCoro::Task<Answer> fetch(qint64 port, std::chrono::milliseconds timeout);

} // namespace Bootstrap
