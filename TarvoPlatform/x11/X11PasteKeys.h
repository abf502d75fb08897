#pragma once

#include "TarvoPlatform/PasteKeys.h"

#include <xcb/xcb.h>

namespace tarvo {

class X11Connection;

// The paste shortcut typed through the XTEST extension, on the shared
// connection that also brings the target forward and starts it. The key
// codes come from the keyboard map (the keysym "v"), so any layout that has
// a v pastes. Main thread only.
class X11PasteKeys final : public PasteKeys {
public:
    // `connection` is not owned.
    explicit X11PasteKeys(X11Connection& connection);
    X11PasteKeys(const X11PasteKeys&) = delete;
    X11PasteKeys& operator=(const X11PasteKeys&) = delete;

    bool canSynthesize() override;
    bool postPaste(bool terminal, quint64 window) override;

private:
    // Whether the keyboard focus is `window` or a window inside it.
    bool focusIsIn(xcb_window_t window);
    void fake(quint8 type, xcb_keycode_t code);

    X11Connection& m_connection;
};

} // namespace tarvo
