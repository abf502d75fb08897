#pragma once

#include <QIcon>
#include <QImage>
#include <QString>

namespace tarvo {

class ApplicationDirectory;

// Icons of applications and folders from the desktop's icon theme, for the
// cursor badge and the destination chips. Main thread only.
namespace AppIcons {

// Where no desktop names an icon theme (a bare X session), the installed
// Adwaita theme serves; the data folders' icons are searched too. Once per run.
void ensureIconTheme();

// The icon the application's desktop file names; null when the application
// is not installed or names none the theme has.
QIcon application(const ApplicationDirectory& applications, const QString& appID);
// The theme's icon for the folder: the special ones (home, desktop,
// downloads, documents...) their own, any other the plain folder.
QIcon folder(const QString& path);
// The icon drawn `points` square at `ratio` device pixels per point; null
// for a null icon.
QImage image(const QIcon& icon, double points, double ratio);

} // namespace AppIcons

} // namespace tarvo
