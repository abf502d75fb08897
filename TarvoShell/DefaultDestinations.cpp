#include "DefaultDestinations.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace tarvo::DefaultDestinations {

QStringList folders() {
    return existing({QStandardPaths::writableLocation(QStandardPaths::DownloadLocation),
                     QStandardPaths::writableLocation(QStandardPaths::DesktopLocation)},
                    QDir::homePath());
}

QStringList existing(const QStringList& locations, const QString& home) {
    QStringList found;
    // Canonical paths, so a folder reached by two names is offered once.
    QStringList seen{QFileInfo(home).canonicalFilePath()};
    for (const QString& location : locations) {
        if (location.isEmpty() || !QDir::isAbsolutePath(location))
            continue;
        const QFileInfo info(location);
        const QString canonical = info.canonicalFilePath();
        if (!info.isDir() || canonical.isEmpty() || seen.contains(canonical))
            continue;
        seen.append(canonical);
        found.append(location);
    }
    return found;
}

} // namespace tarvo::DefaultDestinations
