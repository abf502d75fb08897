#pragma once

#include <QRegion>
#include <QtGlobal>

#include <optional>

namespace tarvo {

// What the shelf's panel needs of the window system beyond a frameless,
// always-on-top tool window: its place among the other windows, where it
// takes the pointer, and its outline while nothing composites translucent
// windows. Regions are in the window's own device pixels. Main thread only.
class PanelWindowSystem {
public:
    using WindowID = quint64;
    virtual ~PanelWindowSystem() = default;
    // Whether a compositing manager draws translucent windows on the screen now.
    virtual bool hasCompositor() = 0;
    // On every workspace, above other windows, left out of the task bar and
    // the pager; before the window is mapped and again after.
    virtual void setPanelStates(WindowID window) = 0;
    // Only this region takes pointer input and drops: elsewhere the pointer
    // reaches the windows below.
    virtual void setInputRegion(WindowID window, const QRegion& region) = 0;
    // The window shows only inside the region; none shows all of it.
    virtual void setBoundingRegion(WindowID window, const std::optional<QRegion>& region) = 0;
    // Whether an empty bounding and input region hide the window from the
    // pointer, the eye and drag sources, so that it may stay mapped while put
    // away; without it the panel is unmapped instead.
    virtual bool hidesByShape() const { return false; }
    // The window that has the keyboard now, as the window manager says; 0
    // when none is known.
    virtual WindowID activeWindow() = 0;
    // Asks the window manager to give `window` the keyboard, as the user's
    // own request made at `timestamp` (the server time of the click or key
    // that asked; 0 when none is at hand). `previous` is the window that has
    // it now, or 0.
    virtual void activate(WindowID window, quint32 timestamp, WindowID previous) = 0;
};

} // namespace tarvo
