#pragma once

#include "WindowList.h"

#include <QString>
#include <QtGlobal>

#include <optional>
#include <vector>

namespace tarvo {

// The running applications as the desktop knows them. Application
// identifiers are desktop-file ids ("org.gnome.Nautilus", "firefox").
class Workspace {
public:
    struct Application {
        // 0 when the application's window names no process.
        qint32 processIdentifier = 0;
        std::optional<QString> bundleIdentifier;
        // The window system's handle of the active window; 0 when unknown.
        quint64 windowID = 0;
        bool operator==(const Application&) const = default;
    };

    virtual ~Workspace() = default;

    // The application whose window is active; none when no window is.
    virtual std::optional<Application> frontmostApplication() = 0;
    // The identifier of the application that shows `window`; none when the
    // window does not say or names no installed application.
    virtual std::optional<QString> applicationID(const WindowInfo& window) = 0;
    // `applicationID` of each of `windows`, in order; a backend that asks a
    // server asks about all of them before it waits for any answer.
    virtual std::vector<std::optional<QString>>
    applicationIDs(const std::vector<WindowInfo>& windows) {
        std::vector<std::optional<QString>> ids;
        ids.reserve(windows.size());
        for (const WindowInfo& window : windows)
            ids.push_back(applicationID(window));
        return ids;
    }
    // A value that stays the same for as long as process `pid` runs and
    // differs for a later process given the same number; none when no such
    // process runs.
    virtual std::optional<quint64> processIdentity(qint32 pid) = 0;
};

} // namespace tarvo
