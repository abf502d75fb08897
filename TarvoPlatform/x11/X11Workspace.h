#pragma once

#include "TarvoPlatform/Workspace.h"

#include <xcb/xcb.h>

namespace tarvo {

class ApplicationDirectory;
class X11Connection;

// Running applications from their windows: the active window
// (_NET_ACTIVE_WINDOW), a window's process (_NET_WM_PID) and its
// application, named by _GTK_APPLICATION_ID, _KDE_NET_WM_DESKTOP_FILE or
// WM_CLASS matched against the installed applications. Main thread only.
class X11Workspace final : public Workspace {
public:
    X11Workspace(X11Connection& connection, ApplicationDirectory& applications);

    std::optional<Application> frontmostApplication() override;
    std::optional<QString> applicationID(const WindowInfo& window) override;
    std::vector<std::optional<QString>>
    applicationIDs(const std::vector<WindowInfo>& windows) override;
    // The process's start time from /proc, which a later process of the same
    // number cannot share.
    std::optional<quint64> processIdentity(qint32 pid) override;

    // The start-time field of a /proc/<pid>/stat line.
    static std::optional<quint64> startTimeFromStat(const QByteArray& stat);

private:
    // The three properties that name a window's application, asked for
    // together; `name` reads their answers.
    struct Asked {
        xcb_get_property_cookie_t gtk;
        xcb_get_property_cookie_t kde;
        xcb_get_property_cookie_t wmClass;
    };
    Asked ask(xcb_window_t window);
    std::optional<QString> name(const Asked& asked);

    X11Connection& m_connection;
    ApplicationDirectory& m_applications;
    xcb_atom_t m_activeWindow;
    xcb_atom_t m_pid;
    xcb_atom_t m_gtkApplicationID;
    xcb_atom_t m_kdeDesktopFile;
    xcb_atom_t m_utf8String;
};

} // namespace tarvo
