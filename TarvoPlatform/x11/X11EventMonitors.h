#pragma once

#include "TarvoPlatform/EventMonitors.h"
#include "TarvoPlatform/MonitorTable.h"

#include <xcb/xcb.h>

#include <vector>

namespace tarvo {

class X11Connection;

// Mouse monitors over XInput 2 raw events on the root window (version 2.1 or
// later, so events keep coming while another client holds the pointer grab
// of a drag). Raw events cover every client, this process included, so the
// global monitors see all events and local monitors need none of their own:
// they are kept but never called, or this process's events would count twice.
// Buttons go through the server's pointer mapping, so a left-handed set-up's
// first button is still the left mouse button.
//
// Pointer motion anywhere on the desktop would wake this process all session
// long: raw motion is asked for only while the first button is down, and while
// a monitor of plain or right-button moves is installed.
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

    // Raw events received so far, all kinds, and motion events alone: what
    // woke this process.
    quint64 rawEventsReceived() const { return m_rawEvents; }
    quint64 rawMotionReceived() const { return m_rawMotion; }
    // Whether raw motion is selected right now.
    bool motionSelected() const { return m_selection & motionBit; }

private:
    static constexpr quint32 buttonBits = 1u << 0;
    static constexpr quint32 motionBit = 1u << 1;

    bool handle(const xcb_generic_event_t& event);
    void post(const MouseEvent& event);
    void readPointerMapping();
    // The logical button of a raw event's device button.
    quint32 logicalButton(quint32 detail) const;
    // Selects what the installed monitors and the held button need.
    void updateSelection();

    X11Connection& m_connection;
    int m_listener = 0;
    bool m_available = false;
    quint8 m_opcode = 0;
    quint32 m_selection = 0;
    bool m_leftDown = false;
    bool m_rightDown = false;
    std::vector<quint8> m_pointerMapping;
    quint64 m_rawEvents = 0;
    quint64 m_rawMotion = 0;
    MonitorTable m_monitors;
};

} // namespace tarvo
