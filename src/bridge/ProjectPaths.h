#pragma once

#include <QString>

// How the bridge code reads folder paths.
namespace ProjectPaths {

// Absolute (relative to the working folder), without a trailing "/" ("/" stays): two folders are
// the same recent project when these texts are equal.
QString absolutePath(const QString& folder);

// Absolute and clean, with every symbolic link resolved; a part that does not exist is kept as
// written.
QString resolvedPath(const QString& path);

// True when `folder` is `root` or lies inside it, both resolved first: whether a bridge that serves
// `root` serves the folder the user opened.
bool isAtOrInside(const QString& folder, const QString& root);

// The last path component, or the whole path when there is none ("/").
QString name(const QString& folder);

// True when an entry of any kind exists at the path, a dangling link included.
bool entryExists(const QString& path);

} // namespace ProjectPaths
