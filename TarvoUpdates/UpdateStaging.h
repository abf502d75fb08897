#pragma once

#include "AppcastItem.h"

#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

// Where a verified archive is put and under which name. The name comes from
// the feed, so only a short, plain version text and a known kind of archive
// are accepted: nothing the feed says can reach outside the folder, hide the
// file or give it a type the desktop would run.
namespace tarvo::UpdateStaging {

inline constexpr qsizetype maxVersionLength = 64;

// ASCII letters, digits, ".", "-" and "_" only, 1 to 64 of them, without a
// leading dot and without "..".
bool isSafeVersion(const QString& shortVersion);

// The archive's extension from the last segment of the address's path, among
// "deb", "zip", "tar.gz" and "tar.xz" (any case, answered in lower case);
// "zip" when the segment has none; none when it is anything else.
std::optional<QString> archiveExtension(const QUrl& url);

// "Tarvo-" + short version + "." + extension, or none when either is unsafe.
std::optional<QString> fileName(const AppcastItem& item);

// The folder a staged archive goes to: `given` when there is one; else the
// user's Downloads folder when it exists; else the per-user work root that
// `workRoot` makes (never a folder shared with other users).
QString downloadsDirectory(const std::optional<QString>& given, const QString& downloadLocation,
                           const std::function<QString()>& workRoot);

// Moves the finished `temporary` file (in `folder`) to `name` there, or to
// "base 2.ext", "base 3.ext", ... when the name is taken by a different file;
// a file of the same bytes already there is kept instead and `temporary`
// removed. Never replaces a file. Returns the path the archive now has;
// throws FileError.
QString moveIntoPlace(const QString& temporary, const QString& folder, const QString& name);

} // namespace tarvo::UpdateStaging
