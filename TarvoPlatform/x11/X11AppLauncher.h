#pragma once

#include "TarvoPlatform/AppLauncher.h"

#include <QByteArray>

#include <xcb/xcb.h>

#include <optional>
#include <vector>

namespace tarvo {

class ApplicationDirectory;
class Workspace;

// Other applications on X11: their windows from the window manager's client
// list, activated with a _NET_ACTIVE_WINDOW request (as a pager asks, with
// the server's current time), and started from their desktop files through
// GIO, files handed over the way the desktop file says. Uses an xcb
// connection of its own, so that waiting for the server's time takes no
// event meant for anyone else. Main thread only.
class X11AppLauncher final : public AppLauncher {
public:
    // `workspace` names the application behind a window. Neither is owned.
    X11AppLauncher(Workspace& workspace, ApplicationDirectory& applications,
                   QByteArray displayName = {});
    ~X11AppLauncher() override;
    X11AppLauncher(const X11AppLauncher&) = delete;
    X11AppLauncher& operator=(const X11AppLauncher&) = delete;

    bool isRunning(const QString& appID) override;
    bool activate(const QString& appID) override;
    bool launch(const QString& appID, const QList<QUrl>& files) override;

    // The application's normal windows, topmost first.
    std::vector<xcb_window_t> windows(const QString& appID);

private:
    bool connect();
    xcb_atom_t atom(const char* name);
    std::optional<xcb_timestamp_t> serverTime();

    Workspace& m_workspace;
    ApplicationDirectory& m_applications;
    QByteArray m_displayName;
    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_root = XCB_NONE;
    xcb_window_t m_timeWindow = XCB_NONE;
    bool m_tried = false;
};

} // namespace tarvo
