#include "bridge/BridgeRuntime.h"

#include <QFileInfo>

std::optional<BridgeRuntime> BridgeRuntime::in(const std::optional<QString>& bundleFolder,
                                               const std::optional<QString>& resourceFolder) {
    if (!bundleFolder || !resourceFolder)
        return std::nullopt;
    const QString node = *bundleFolder + QStringLiteral("/Contents/Helpers/node");
    const QString cli = *resourceFolder + QStringLiteral("/bridge/bin/tallyrig.mjs");
    const QFileInfo nodeInfo(node);
    if (!nodeInfo.isFile() || !nodeInfo.isExecutable() || !QFileInfo::exists(cli))
        return std::nullopt;
    return BridgeRuntime{node, cli};
}
