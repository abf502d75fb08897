#include "AppIcons.h"

#include "TarvoPlatform/ApplicationDirectory.h"
#include "TarvoPlatform/DesktopEntry.h"

#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QStandardPaths>

namespace tarvo {

namespace AppIcons {

QIcon application(const ApplicationDirectory& applications, const QString& appID) {
    const std::optional<QString> path = applications.path(appID);
    if (!path)
        return {};
    const std::optional<DesktopEntry> entry = DesktopEntry::read(*path);
    if (!entry || entry->icon.isEmpty())
        return {};
    if (QFileInfo(entry->icon).isAbsolute())
        return QFileInfo::exists(entry->icon) ? QIcon(entry->icon) : QIcon();
    return QIcon::fromTheme(entry->icon);
}

QIcon folder(const QString& path) {
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
