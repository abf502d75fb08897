#include "X11ShellPlatform.h"

#include "TarvoPlatform/ApplicationDirectory.h"
#include "TarvoPlatform/QtScreens.h"
#include "TarvoPlatform/SystemClock.h"
#include "TarvoPlatform/x11/AtSpiAccessibility.h"
#include "TarvoPlatform/x11/X11AppLauncher.h"
#include "TarvoPlatform/x11/X11DisplayOptions.h"
#include "TarvoPlatform/x11/X11DragSession.h"
#include "TarvoPlatform/x11/X11HotkeyGrabber.h"
#include "TarvoPlatform/x11/X11PanelWindowSystem.h"
#include "TarvoPlatform/x11/X11Clipboard.h"
#include "TarvoPlatform/x11/X11PasteKeys.h"
#include "TarvoPlatform/x11/X11Platform.h"
#include "TarvoPlatform/x11/X11WindowList.h"
#include "TarvoPlatform/x11/X11Workspace.h"
#include "ModuleSoundOutput.h"

#include <QGuiApplication>
#include <QScreen>

namespace tarvo {

std::unique_ptr<X11ShellPlatform> X11ShellPlatform::open() {
    std::unique_ptr<X11Platform> x11 = X11Platform::open();
    if (!x11)
        return nullptr;
    return std::unique_ptr<X11ShellPlatform>(new X11ShellPlatform(std::move(x11)));
}

X11ShellPlatform::X11ShellPlatform(std::unique_ptr<X11Platform> x11)
    : m_x11(std::move(x11)), m_clock(std::make_unique<SystemClock>()),
      m_applications(std::make_unique<ApplicationDirectory>()),
      m_windows(std::make_unique<X11WindowList>(m_x11->connection())),
      m_workspace(std::make_unique<X11Workspace>(m_x11->connection(), *m_applications)),
      m_accessibility(std::make_unique<AtSpiAccessibility>()),
      m_dragSessions(std::make_unique<X11DragSessions>(m_x11->connection(), *m_clock)),
      m_screens(std::make_unique<QtScreens>()),
      m_displayOptions(std::make_unique<X11DisplayOptions>(&m_x11->connection())),
      m_panelWindowSystem(std::make_unique<X11PanelWindowSystem>(m_x11->connection())),
      m_hotkeys(std::make_unique<X11HotkeyGrabber>(&m_x11->connection())),
      m_clipboard(std::make_unique<X11Clipboard>(m_x11->connection())),
      m_launcher(
          std::make_unique<X11AppLauncher>(m_x11->connection(), *m_workspace, *m_applications)),
      m_pasteKeys(std::make_unique<X11PasteKeys>(m_x11->connection())) {
    updateScreenGeometry();
}

X11ShellPlatform::~X11ShellPlatform() = default;

void X11ShellPlatform::updateScreenGeometry() {
    const QScreen* main = QGuiApplication::primaryScreen();
    if (!main)
        return;
    const double ratio = main->devicePixelRatio();
    const QPoint origin = main->geometry().topLeft() * ratio;
    m_windows->setScreenGeometry(origin, ratio);
    m_accessibility->setScreenGeometry(origin, ratio);
}

Accessibility& X11ShellPlatform::accessibility() {
    return *m_accessibility;
}

ShellPlatform X11ShellPlatform::platform() {
    ShellPlatform platform{*m_clock,
                           m_x11->dragPasteboard(),
                           m_x11->eventMonitors(),
                           m_x11->inputState(),
                           *m_windows,
                           *m_workspace,
                           *m_accessibility,
                           *m_applications,
                           *m_dragSessions,
                           *m_screens,
                           m_panelWindowSystem.get(),
                           [] { return std::make_unique<ModuleSoundOutput>(); },
                           m_hotkeys.get()};
    platform.displayOptions = m_displayOptions.get();
    platform.clipboard = m_clipboard.get();
    platform.launcher = m_launcher.get();
    platform.pasteKeys = m_pasteKeys.get();
    platform.dropPromises = &m_x11->dropPromises();
    return platform;
}

} // namespace tarvo
