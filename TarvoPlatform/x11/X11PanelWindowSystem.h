#pragma once

#include "TarvoPlatform/PanelWindowSystem.h"

#include <xcb/xcb.h>

namespace tarvo {

class X11Connection;

// The panel on X11: EWMH states (sticky, above, skip task bar and pager)
// and every desktop,
// XShape input and bounding regions, and the compositing manager known by
// its ownership of _NET_WM_CM_S<screen>. Main thread only.
class X11PanelWindowSystem final : public PanelWindowSystem {
public:
    explicit X11PanelWindowSystem(X11Connection& connection);

    bool hasCompositor() override;
    void setPanelStates(WindowID window) override;
    void setInputRegion(WindowID window, const QRegion& region) override;
    void setBoundingRegion(WindowID window, const std::optional<QRegion>& region) override;
    bool hidesByShape() const override { return m_hasShape; }
    // _NET_ACTIVE_WINDOW of the root, and the client message asking for it
    // with source indication 2, which window managers honour as the user's.
    WindowID activeWindow() override;
    void activate(WindowID window, quint32 timestamp, WindowID previous) override;

    // Whether the server has the shape extension; without it every region
    // request is left out and the whole window takes the pointer.
    bool hasShape() const { return m_hasShape; }

private:
    X11Connection& m_connection;
    bool m_hasShape = false;
    xcb_atom_t m_compositorSelection;
    xcb_atom_t m_state;
    xcb_atom_t m_desktop;
    xcb_atom_t m_states[4];
    xcb_atom_t m_activeWindow;
};

} // namespace tarvo
