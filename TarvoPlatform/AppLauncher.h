#pragma once

#include <QList>
#include <QString>
#include <QUrl>

namespace tarvo {

// Brings other applications forward and starts installed ones. Application
// identifiers are desktop-file ids. Main thread only.
class AppLauncher {
public:
    virtual ~AppLauncher() = default;
    // Whether a window of the application is on screen now.
    virtual bool isRunning(const QString& appID) = 0;
    // Asks the window manager to activate the application's topmost window;
    // false when the application shows none.
    virtual bool activate(const QString& appID) = 0;
    // Starts the installed application, handing it `files` as its desktop
    // file says; false when it is not installed or would not start.
    virtual bool launch(const QString& appID, const QList<QUrl>& files) = 0;
};

} // namespace tarvo
