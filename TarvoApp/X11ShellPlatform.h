#pragma once

#include "TarvoShell/ShellPlatform.h"

#include <memory>

namespace tarvo {

class AtSpiAccessibility;
class ApplicationDirectory;
class QtScreens;
class SystemClock;
class X11DisplayOptions;
class X11DragSessions;
class X11Clipboard;
class X11AppLauncher;
class X11HotkeyGrabber;
class X11PasteKeys;
class X11PanelWindowSystem;
class X11Platform;
class X11WindowList;
class X11Workspace;

// The real services on X11, on one connection of our own beside Qt's. Made
// after the application object; lives as long as the controller.
class X11ShellPlatform final {
public:
    // None when the display cannot be reached.
    static std::unique_ptr<X11ShellPlatform> open();
    ~X11ShellPlatform();
    X11ShellPlatform(const X11ShellPlatform&) = delete;
    X11ShellPlatform& operator=(const X11ShellPlatform&) = delete;

    ShellPlatform platform();
    Accessibility& accessibility();
    // Tells the parts that count in root-window pixels where the main
    // screen is; again whenever the screens change.
    void updateScreenGeometry();

private:
    explicit X11ShellPlatform(std::unique_ptr<X11Platform> x11);

    std::unique_ptr<X11Platform> m_x11;
    std::unique_ptr<SystemClock> m_clock;
    std::unique_ptr<ApplicationDirectory> m_applications;
    std::unique_ptr<X11WindowList> m_windows;
    std::unique_ptr<X11Workspace> m_workspace;
    std::unique_ptr<AtSpiAccessibility> m_accessibility;
    std::unique_ptr<X11DragSessions> m_dragSessions;
    std::unique_ptr<QtScreens> m_screens;
    std::unique_ptr<X11DisplayOptions> m_displayOptions;
    std::unique_ptr<X11PanelWindowSystem> m_panelWindowSystem;
    std::unique_ptr<X11HotkeyGrabber> m_hotkeys;
    std::unique_ptr<X11Clipboard> m_clipboard;
    std::unique_ptr<X11AppLauncher> m_launcher;
    std::unique_ptr<X11PasteKeys> m_pasteKeys;
};

} // namespace tarvo
