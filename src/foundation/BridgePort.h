#pragma once

#include <QString>
#include <QUrl>

#include <compare>
#include <optional>

// A bridge's TCP port on the loopback address, as stored, typed or read from a project's
// configuration: any integer until it is checked.
struct BridgePort {
    static constexpr qint64 lowest = 1024;
    static constexpr qint64 highest = 65535;
    static constexpr qint64 defaultNumber = 4747;

    qint64 number = defaultNumber;

    constexpr BridgePort(qint64 number = defaultNumber) : number(number) {}

    // In the range a bridge may use.
    constexpr bool isUsable() const { return number >= lowest && number <= highest; }
    // The loopback address with this port parses as a URL.
    bool formsAddress() const;

    // "http://127.0.0.1:" + the port in plain decimal digits, without a path.
    QString baseAddress() const;
    // The base address + "/api/bootstrap".
    QUrl bootstrapUrl() const;
    QString text() const { return QString::number(number); }

    // A port the user typed: decimal digits with an optional minus sign, nothing else.
    static std::optional<BridgePort> fromText(const QString& text);

    constexpr auto operator<=>(const BridgePort&) const = default;
};
