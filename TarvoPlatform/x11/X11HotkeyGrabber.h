#pragma once

#include "TarvoPlatform/HotkeyGrabber.h"

#include <QAbstractNativeEventFilter>

#include <xcb/xcb.h>

#include <memory>
#include <vector>

namespace tarvo {

class X11Connection;

// The global shortcut on X11: a passive key grab on the root window for the
// combination with and without Caps Lock, Num Lock and Scroll Lock, made on
// Qt's own connection so that the presses reach Qt's native event filter. A
// grab that another client already holds is refused by the server
// (BadAccess); the grab is checked before it is reported, and then undone.
// A new shortcut is held before the old one is let go, and a change of the
// key map grabs the shortcut again where its keys now are. Main thread.
class X11HotkeyGrabber final : public HotkeyGrabber, public QAbstractNativeEventFilter {
public:
    // Uses the application's X11 connection; every grab fails with noDisplay
    // when the application does not run on X11. Atoms come from `atoms`'
    // cache; without it, from a connection of its own opened when first needed.
    explicit X11HotkeyGrabber(X11Connection* atoms = nullptr);
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
    // The lock combinations grabbed with the shortcut's modifiers, the plain
    // one first, so that Caps Lock, Num Lock and Scroll Lock do not hide the
    // shortcut: Lock, and the modifiers Num Lock and Scroll Lock are mapped
    // to (0 when unmapped).
    static std::vector<quint16> lockVariants(quint16 numLockMask, quint16 scrollLockMask);

private:
    // The server's key map as it is now: the key of a keysym, and the
    // modifiers the two lock keys are mapped to.
    struct Keyboard {
        std::function<xcb_keycode_t(xcb_keysym_t)> keycodeOf;
        quint16 numLock = 0;
        quint16 scrollLock = 0;
    };
    Keyboard readKeyboard() const;
    // Grabs the key with the modifiers and every lock variant, then lets go
    // of what was held before and is not part of it. 0, or the server's
    // error, with what was held before still held.
    int hold(xcb_keycode_t keycode, quint16 modifiers, const std::vector<quint16>& variants);
    // The key map changed: the same shortcut is grabbed on its new key and
    // lock modifiers.
    void keyboardChanged();
    QString windowManagerName() const;
    xcb_atom_t atom(const char* name) const;

    xcb_connection_t* m_connection = nullptr;
    mutable X11Connection* m_atoms = nullptr;
    mutable std::unique_ptr<X11Connection> m_ownAtoms;
    xcb_window_t m_root = XCB_NONE;
    quint8 m_xkbEvent = 0;
    xcb_keycode_t m_keycode = 0;
    xcb_keysym_t m_keysym = 0;
    quint16 m_modifiers = 0;
    std::vector<quint16> m_grabbedMasks;
    bool m_down = false;
    std::function<void()> m_pressed;
};

} // namespace tarvo
