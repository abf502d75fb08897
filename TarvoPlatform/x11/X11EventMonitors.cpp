#include "X11EventMonitors.h"

#include "X11Connection.h"

#include <xcb/xinput.h>

#include <cstdlib>
#include <vector>

namespace tarvo {

X11EventMonitors::X11EventMonitors(X11Connection& connection) : m_connection(connection) {
    xcb_connection_t* c = m_connection.get();
    const xcb_query_extension_reply_t* xi = xcb_get_extension_data(c, &xcb_input_id);
    if (xi && xi->present) {
        m_opcode = xi->major_opcode;
        // Announcing 2.2 is what makes the server send raw events during grabs.
        xcb_input_xi_query_version_reply_t* reply =
            xcb_input_xi_query_version_reply(c, xcb_input_xi_query_version(c, 2, 2), nullptr);
        m_available = reply && (reply->major_version > 2 ||
                                (reply->major_version == 2 && reply->minor_version >= 1));
        std::free(reply);
        m_connection.scheduleDrain();
    }
    m_listener =
        m_connection.addListener([this](const xcb_generic_event_t& e) { return handle(e); });
}

X11EventMonitors::~X11EventMonitors() {
    m_connection.removeListener(m_listener);
    select(false);
}

void X11EventMonitors::select(bool on) {
    if (!m_available || on == m_selected)
        return;
    struct {
        xcb_input_event_mask_t header;
        quint32 bits;
    } mask{{XCB_INPUT_DEVICE_ALL_MASTER, 1},
           on ? quint32(XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS |
                        XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_RELEASE |
                        XCB_INPUT_XI_EVENT_MASK_RAW_MOTION)
              : 0u};
    xcb_input_xi_select_events(m_connection.get(), m_connection.root(), 1, &mask.header);
    m_connection.flush();
    m_selected = on;
}

std::optional<EventMonitors::Token> X11EventMonitors::addGlobalMonitor(EventMask mask,
                                                                       Handler handler) {
    if (!m_available)
        return std::nullopt;
    const Token token = m_monitors.add(true, mask, std::move(handler));
    select(true);
    return token;
}

std::optional<EventMonitors::Token> X11EventMonitors::addLocalMonitor(EventMask mask,
                                                                      Handler handler) {
    return m_monitors.add(false, mask, std::move(handler));
}

void X11EventMonitors::removeMonitor(Token token) {
    m_monitors.remove(token);
    if (m_monitors.count(true) == 0)
        select(false);
}

bool X11EventMonitors::handle(const xcb_generic_event_t& event) {
    if ((event.response_type & 0x7f) != XCB_GE_GENERIC)
        return false;
    const auto& ge = reinterpret_cast<const xcb_ge_generic_event_t&>(event);
    if (ge.extension != m_opcode)
        return false;
    const auto& raw = reinterpret_cast<const xcb_input_raw_button_press_event_t&>(event);
    const double seconds = static_cast<double>(raw.time) / 1000.0;
    switch (ge.event_type) {
    case XCB_INPUT_RAW_BUTTON_PRESS:
        if (raw.detail == 1) {
            m_leftDown = true;
            post({EventType::leftMouseDown, seconds});
        } else if (raw.detail == 3) {
            m_rightDown = true;
            post({EventType::rightMouseDown, seconds});
        }
        return true;
    case XCB_INPUT_RAW_BUTTON_RELEASE:
        if (raw.detail == 1) {
            m_leftDown = false;
            post({EventType::leftMouseUp, seconds});
        } else if (raw.detail == 3) {
            m_rightDown = false;
            post({EventType::rightMouseUp, seconds});
        }
        return true;
    case XCB_INPUT_RAW_MOTION:
        post({m_leftDown    ? EventType::leftMouseDragged
              : m_rightDown ? EventType::rightMouseDragged
                            : EventType::mouseMoved,
              seconds});
        return true;
    default:
        return false;
    }
}

void X11EventMonitors::post(const MouseEvent& event) {
    m_monitors.dispatch(true, event);
}

} // namespace tarvo
