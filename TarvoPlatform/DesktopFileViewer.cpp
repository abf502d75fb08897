#include "DesktopFileViewer.h"

#include "TarvoCore/Log.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace tarvo {

namespace {

const QString fileManagerService = QStringLiteral("org.freedesktop.FileManager1");

} // namespace

DesktopFileViewer::DesktopFileViewer(int showItemsDeadlineMs)
    : m_showItemsDeadlineMs(showItemsDeadlineMs) {}

void DesktopFileViewer::open(const QString& path) {
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        Log::ui().notice(QStringLiteral("could not open %1").arg(path));
}

void DesktopFileViewer::reveal(const QString& path) {
    const QString folder = QFileInfo(path).absolutePath();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        openFolder(folder);
        return;
    }
    // Only a file manager that runs now is asked: a service file may name one
    // that never claims the name when started by the bus (Thunar without its
    // daemon), and the user would wait for nothing. Every call is answered
    // on the event loop, within the deadline.
    QDBusMessage hasOwner = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
    hasOwner << fileManagerService;
    const int deadline = m_showItemsDeadlineMs;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(hasOwner, deadline));
    QObject::connect(
        watcher, &QDBusPendingCallWatcher::finished, watcher,
        [path, folder, deadline](QDBusPendingCallWatcher* answered) {
            answered->deleteLater();
            const QDBusMessage reply = answered->reply();
            const bool running = !answered->isError() && !reply.arguments().isEmpty() &&
                                 reply.arguments().front().toBool();
            if (!running) {
                Log::ui().notice(
                    QStringLiteral("no file manager to show a file; opening its folder"));
                openFolder(folder);
                return;
            }
            QDBusMessage call = QDBusMessage::createMethodCall(
                fileManagerService, QStringLiteral("/org/freedesktop/FileManager1"),
                QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
            call.setAutoStartService(false);
            call << QStringList{QUrl::fromLocalFile(path).toString()} << QString();
            auto* shown = new QDBusPendingCallWatcher(
                QDBusConnection::sessionBus().asyncCall(call, deadline));
            QObject::connect(shown, &QDBusPendingCallWatcher::finished, shown,
                             [folder](QDBusPendingCallWatcher* finished) {
                                 finished->deleteLater();
                                 if (!finished->isError())
                                     return;
                                 Log::ui().notice(QStringLiteral("the file manager did not show "
                                                                 "a file (%1); opening its folder")
                                                      .arg(finished->error().message()));
                                 openFolder(folder);
                             });
        });
}

bool DesktopFileViewer::openFolder(const QString& folder) {
    // The desktop's own opener knows its default file manager; Qt's guess
    // does not always.
    for (const auto& [program, arguments] :
         {std::pair{QStringLiteral("xdg-open"), QStringList{folder}},
          std::pair{QStringLiteral("gio"), QStringList{QStringLiteral("open"), folder}}}) {
        if (QStandardPaths::findExecutable(program).isEmpty())
            continue;
        if (QProcess::startDetached(program, arguments))
            return true;
    }
    if (QDesktopServices::openUrl(QUrl::fromLocalFile(folder)))
        return true;
    Log::ui().notice(QStringLiteral("could not open %1").arg(folder));
    return false;
}

} // namespace tarvo
