#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The JavaScript runtime and the bridge's command-line script carried in the bundle.
struct BridgeRuntime {
    QString node;
    QString cli;

    // The runtime of a bundle: none unless node is an executable file and the script exists.
    static std::optional<BridgeRuntime> in(const std::optional<QString>& bundleFolder,
                                           const std::optional<QString>& resourceFolder);

    // A bridge command's arguments: the script, then the command words.
    QStringList arguments(const QStringList& words) const { return QStringList{cli} + words; }

    bool operator==(const BridgeRuntime&) const = default;
};
