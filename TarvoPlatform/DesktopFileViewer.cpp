#include "DesktopFileViewer.h"

#include "TarvoCore/Log.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace tarvo {

void DesktopFileViewer::open(const QString& path) {
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        Log::ui().notice(QStringLiteral("could not open %1").arg(path));
}

void DesktopFileViewer::reveal(const QString& path) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"),
        QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(path).toString()} << QString();
    const QString folder = QFileInfo(path).absolutePath();
    auto* watcher =
        new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call, 10000));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [folder](QDBusPendingCallWatcher* finished) {
                         if (finished->isError()) {
                             Log::ui().notice(QStringLiteral("no file manager to show a file: %1")
                                                  .arg(finished->error().message()));
                             QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
                         }
                         finished->deleteLater();
                     });
}

} // namespace tarvo
