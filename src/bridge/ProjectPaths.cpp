#include "bridge/ProjectPaths.h"

#include <QDir>
#include <QFileInfo>

namespace ProjectPaths {

namespace {

QString absolute(const QString& path) {
    return QDir::isAbsolutePath(path) ? path : QDir::currentPath() + QLatin1Char('/') + path;
}

} // namespace

QString absolutePath(const QString& folder) {
    QString path = absolute(folder);
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

QString resolvedPath(const QString& path) {
    const QString clean = QDir::cleanPath(absolute(path));
    QString existing = clean;
    QString rest;
    while (true) {
        const QString canonical = QFileInfo(existing).canonicalFilePath();
        if (!canonical.isEmpty())
            return rest.isEmpty() ? canonical : QDir::cleanPath(canonical + QLatin1Char('/') + rest);
        const qsizetype slash = existing.lastIndexOf(QLatin1Char('/'));
        if (slash <= 0)
            return clean;
        const QString last = existing.mid(slash + 1);
        rest = rest.isEmpty() ? last : last + QLatin1Char('/') + rest;
        existing = existing.left(slash);
    }
}

bool isAtOrInside(const QString& folder, const QString& root) {
    const QString served = resolvedPath(root);
    const QString opened = resolvedPath(folder);
    return opened == served || opened.startsWith(served + QLatin1Char('/'));
}

QString name(const QString& folder) {
    const QString last = QFileInfo(folder).fileName();
    return last.isEmpty() ? folder : last;
}

bool entryExists(const QString& path) {
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

} // namespace ProjectPaths
