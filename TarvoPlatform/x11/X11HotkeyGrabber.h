#pragma once

#include "TarvoPlatform/HotkeyGrabber.h"

#include <QAbstractNativeEventFilter>

#include <xcb/xcb.h>

#include <vector>

typedef struct _XDisplay Display;

namespace tarvo {

// The global shortcut on X11: a passive key grab on the root window for the
// combination with and without Caps Lock and Num Lock, made on Qt's own
// connection so that the presses reach Qt's native event filter. A grab that
// another client already holds is refused by the server (BadAccess); the
// grab is checked before it is reported, and then fully undone. Main thread.
class X11HotkeyGrabber final : public HotkeyGrabber, public QAbstractNativeEventFilter {
public:
    // Uses the application's X11 connection; every grab fails with noDisplay
    // when the application does not run on X11.
    X11HotkeyGrabber();
    ~X11HotkeyGrabber() override;
    X11HotkeyGrabber(const X11HotkeyGrabber&) = delete;
    X11HotkeyGrabber& operator=(const X11HotkeyGrabber&) = delete;

    std::optional<HotkeyFailure> grab(const HotkeySpec& spec,
                                      std::function<void()> pressed) override;
    void ungrab() override;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

    // The X modifier mask of the modifier flags: command is Control, option
    // Mod1 (Alt), shift Shift, control Mod4 (Super).
    static quint16 modifierMask(quint64 modifierFlags);
    // The mask combinations grabbed besides the plain one, so that Caps Lock
    // and Num Lock do not hide the shortcut.
    static std::vector<quint16> lockVariants(quint16 numLockMask);

private:
    quint16 numLockMask() const;
    QString windowManagerName() const;

    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_root = XCB_NONE;
    Display* m_display = nullptr;
    xcb_keycode_t m_keycode = 0;
    quint16 m_modifiers = 0;
    std::vector<quint16> m_grabbedMasks;
    bool m_down = false;
    std::function<void()> m_pressed;
};

} // namespace tarvo
