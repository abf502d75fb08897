#pragma once

#include "TarvoPlatform/AppLauncher.h"

#include <xcb/xcb.h>

#include <vector>

namespace tarvo {

class ApplicationDirectory;
class Workspace;
class X11Connection;

// Other applications on X11: their windows from the window manager's client
// list, activated with a _NET_ACTIVE_WINDOW request (as a pager asks, with
// the time of the user's latest input), and started from their desktop
// files through GIO, files handed over the way the desktop file says. Uses
// the shared connection and its atom cache, and never waits for an event.
// Main thread only.
class X11AppLauncher final : public AppLauncher {
public:
    // `workspace` names the application behind a window. None is owned.
    X11AppLauncher(X11Connection& connection, Workspace& workspace,
                   ApplicationDirectory& applications);
    ~X11AppLauncher() override;
    X11AppLauncher(const X11AppLauncher&) = delete;
    X11AppLauncher& operator=(const X11AppLauncher&) = delete;

    bool isRunning(const QString& appID) override;
    bool activate(const QString& appID) override;
    bool launch(const QString& appID, const QList<QUrl>& files) override;

    // The application's normal windows, topmost first.
    std::vector<xcb_window_t> windows(const QString& appID);

private:
    X11Connection& m_connection;
    Workspace& m_workspace;
    ApplicationDirectory& m_applications;
};

} // namespace tarvo
