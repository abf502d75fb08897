#include "AppIcons.h"

#include "TarvoPlatform/ApplicationDirectory.h"
#include "TarvoPlatform/DesktopEntry.h"

#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QPainter>
#include <QStandardPaths>

namespace tarvo {

namespace AppIcons {

void ensureIconTheme() {
    static const bool done = [] {
        QStringList paths = QIcon::themeSearchPaths();
        const QStringList dataDirs =
            QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation);
        for (const QString& dir : dataDirs) {
            const QString icons = dir + QStringLiteral("/icons");
            if (!paths.contains(icons) && QFileInfo(icons).isDir())
                paths.append(icons);
        }
        QIcon::setThemeSearchPaths(paths);
        // Without a desktop Qt names only the fallback theme, which holds
        // no folders or file types.
        const QString current = QIcon::themeName();
        if (current.isEmpty() || current == QLatin1String("hicolor")) {
            for (const QString& dir : paths) {
                if (QFileInfo(dir + QStringLiteral("/Adwaita/index.theme")).exists()) {
                    QIcon::setThemeName(QStringLiteral("Adwaita"));
                    break;
                }
            }
        }
        return true;
    }();
    (void)done;
}

QIcon application(const ApplicationDirectory& applications, const QString& appID) {
    ensureIconTheme();
    const std::optional<QString> path = applications.path(appID);
    if (!path)
        return {};
    const std::optional<DesktopEntry> entry = DesktopEntry::read(*path);
    if (!entry || entry->icon.isEmpty())
        return {};
    if (QFileInfo(entry->icon).isAbsolute())
        return QFileInfo::exists(entry->icon) ? QIcon(entry->icon) : QIcon();
    const QIcon themed = QIcon::fromTheme(entry->icon);
    if (!themed.isNull())
        return themed;
    // Older programs still put their icon in the shared pixmaps folder, some
    // with its size in the name (xterm's "mini.xterm_48x48.xpm").
    for (const QString& dir :
         QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation)) {
        for (const char* size : {"", "_48x48", "_32x32"}) {
            for (const char* suffix : {".png", ".svg", ".xpm"}) {
                const QString file = dir + QStringLiteral("/pixmaps/") + entry->icon +
                                     QLatin1String(size) + QLatin1String(suffix);
                if (QFileInfo::exists(file))
                    return QIcon(file);
            }
        }
    }
    return {};
}

QIcon folder(const QString& path) {
    ensureIconTheme();
    const QString clean = QDir::cleanPath(path);
    const auto is = [&clean](QStandardPaths::StandardLocation location) {
        const QString place = QStandardPaths::writableLocation(location);
        return !place.isEmpty() && QDir::cleanPath(place) == clean;
    };
    QString name = QStringLiteral("folder");
    if (is(QStandardPaths::DownloadLocation))
        name = QStringLiteral("folder-download");
    else if (is(QStandardPaths::DesktopLocation))
        name = QStringLiteral("user-desktop");
    else if (is(QStandardPaths::DocumentsLocation))
        name = QStringLiteral("folder-documents");
    else if (is(QStandardPaths::PicturesLocation))
        name = QStringLiteral("folder-pictures");
    else if (is(QStandardPaths::HomeLocation))
        name = QStringLiteral("user-home");
    return QIcon::fromTheme(name, QIcon::fromTheme(QStringLiteral("folder")));
}

QImage image(const QIcon& icon, double points, double ratio) {
    if (icon.isNull() || points <= 0)
        return {};
    const int pixels = qMax(1, qRound(points * ratio));
    QImage out(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    out.fill(Qt::transparent);
    {
        QPainter painter(&out);
        icon.paint(&painter, QRect(0, 0, pixels, pixels));
    }
    out.setDevicePixelRatio(ratio);
    return out;
}

} // namespace AppIcons

} // namespace tarvo
