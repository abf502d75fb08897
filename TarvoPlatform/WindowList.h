#pragma once

#include "Rect.h"

#include <QtGlobal>

#include <vector>

namespace tarvo {

// One window on screen, as the window list reports it.
struct WindowInfo {
    // The owning process; 0 when the window names none.
    qint32 ownerPID = 0;
    // The frame in the window server's global space: origin at the top left
    // of the primary screen, y growing downwards, in points.
    Rect bounds;
    // 0 for ordinary application windows; panels, docks, menus and
    // notifications lie above.
    qint64 layer = 0;
    // The window system's handle of the client window, so the application
    // behind a window can be asked about even when it names no process.
    quint64 windowID = 0;

    bool operator==(const WindowInfo&) const = default;
};

// Layers of the kinds of windows that float above ordinary ones.
namespace WindowLayer {
inline constexpr qint64 normal = 0;
inline constexpr qint64 utility = 3;
inline constexpr qint64 dock = 20;
inline constexpr qint64 menu = 24;
inline constexpr qint64 notification = 25;
inline constexpr qint64 popup = 101;
} // namespace WindowLayer

class WindowLister {
public:
    virtual ~WindowLister() = default;
    // The windows that are visible now, frontmost first.
    virtual std::vector<WindowInfo> windowsOnScreen() = 0;
};

} // namespace tarvo
