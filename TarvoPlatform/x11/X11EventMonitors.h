#pragma once

#include "TarvoPlatform/EventMonitors.h"
#include "TarvoPlatform/MonitorTable.h"

#include <xcb/xcb.h>

namespace tarvo {

class X11Connection;

// Mouse monitors over XInput 2 raw events on the root window (version 2.1 or
// later, so events keep coming while another client holds the pointer grab
// of a drag). Raw events cover every client, this process included, so the
// global monitors see all events and local monitors need none of their own:
// they are kept but never called, or this process's events would count twice.
// Buttons are the device's own numbers, before any remapping.
class X11EventMonitors final : public EventMonitors {
public:
    explicit X11EventMonitors(X11Connection& connection);
    ~X11EventMonitors() override;

    // Whether the server offers XInput 2.1 or later; without it no global
    // monitor can be installed.
    bool available() const { return m_available; }

    std::optional<Token> addGlobalMonitor(EventMask mask, Handler handler) override;
    std::optional<Token> addLocalMonitor(EventMask mask, Handler handler) override;
    void removeMonitor(Token token) override;

private:
    bool handle(const xcb_generic_event_t& event);
    void post(const MouseEvent& event);
    void select(bool on);

    X11Connection& m_connection;
    int m_listener = 0;
    bool m_available = false;
    quint8 m_opcode = 0;
    bool m_selected = false;
    bool m_leftDown = false;
    bool m_rightDown = false;
    MonitorTable m_monitors;
};

} // namespace tarvo
