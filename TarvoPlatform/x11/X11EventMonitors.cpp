#include "X11EventMonitors.h"

#include "X11Connection.h"
#include "X11Reply.h"

#include <xcb/xinput.h>

#include <memory>

namespace tarvo {

namespace {

constexpr EventMask motionMask =
    eventMask(EventType::mouseMoved) | eventMask(EventType::rightMouseDragged);

} // namespace

X11EventMonitors::X11EventMonitors(X11Connection& connection) : m_connection(connection) {
    xcb_connection_t* c = m_connection.get();
    const xcb_query_extension_reply_t* xi = xcb_get_extension_data(c, &xcb_input_id);
    if (xi && xi->present) {
        m_opcode = xi->major_opcode;
        // Announcing 2.2 is what makes the server send raw events during grabs.
        const X11Reply<xcb_input_xi_query_version_reply_t> reply(
            xcb_input_xi_query_version_reply(c, xcb_input_xi_query_version(c, 2, 2), nullptr));
        m_available = reply && (reply->major_version > 2 ||
                                (reply->major_version == 2 && reply->minor_version >= 1));
        m_connection.scheduleDrain();
    }
    if (m_available)
        readPointerMapping();
    m_listener =
        m_connection.addListener([this](const xcb_generic_event_t& e) { return handle(e); });
}

X11EventMonitors::~X11EventMonitors() {
    m_connection.removeListener(m_listener);
    m_monitors = MonitorTable();
    m_leftDown = false;
    updateSelection();
}

void X11EventMonitors::readPointerMapping() {
    xcb_connection_t* c = m_connection.get();
    const X11Reply<xcb_get_pointer_mapping_reply_t> reply(
        xcb_get_pointer_mapping_reply(c, xcb_get_pointer_mapping(c), nullptr));
    m_connection.scheduleDrain();
    m_pointerMapping.clear();
    if (!reply)
        return;
    const quint8* map = xcb_get_pointer_mapping_map(reply.get());
    m_pointerMapping.assign(map, map + xcb_get_pointer_mapping_map_length(reply.get()));
}

quint32 X11EventMonitors::logicalButton(quint32 detail) const {
    if (detail >= 1 && detail <= m_pointerMapping.size())
        return m_pointerMapping[detail - 1];
    return detail;
}

void X11EventMonitors::updateSelection() {
    quint32 wanted = 0;
    if (m_available && m_monitors.count(true) > 0) {
        wanted = buttonBits;
        if (m_leftDown || m_monitors.count(true, motionMask) > 0)
            wanted |= motionBit;
    }
    if (wanted == m_selection)
        return;
    struct {
        xcb_input_event_mask_t header;
        quint32 bits;
    } mask{{XCB_INPUT_DEVICE_ALL_MASTER, 1}, 0u};
    if (wanted & buttonBits)
        mask.bits |=
            XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS | XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_RELEASE;
    if (wanted & motionBit)
        mask.bits |= XCB_INPUT_XI_EVENT_MASK_RAW_MOTION;
    xcb_input_xi_select_events(m_connection.get(), m_connection.root(), 1, &mask.header);
    m_connection.flush();
    m_selection = wanted;
}

std::optional<EventMonitors::Token> X11EventMonitors::addGlobalMonitor(EventMask mask,
                                                                       Handler handler) {
    if (!m_available)
        return std::nullopt;
    const Token token = m_monitors.add(true, mask, std::move(handler));
    updateSelection();
    return token;
}

std::optional<EventMonitors::Token> X11EventMonitors::addLocalMonitor(EventMask mask,
                                                                      Handler handler) {
    return m_monitors.add(false, mask, std::move(handler));
}

void X11EventMonitors::removeMonitor(Token token) {
    m_monitors.remove(token);
    updateSelection();
}

bool X11EventMonitors::handle(const xcb_generic_event_t& event) {
    const quint8 type = event.response_type & 0x7f;
    if (type == XCB_MAPPING_NOTIFY) {
        const auto& e = reinterpret_cast<const xcb_mapping_notify_event_t&>(event);
        if (e.request == XCB_MAPPING_POINTER && m_available)
            readPointerMapping();
        return false; // others may want to hear of keyboard mappings
    }
    if (type != XCB_GE_GENERIC)
        return false;
    const auto& ge = reinterpret_cast<const xcb_ge_generic_event_t&>(event);
    if (ge.extension != m_opcode)
        return false;
    const auto& raw = reinterpret_cast<const xcb_input_raw_button_press_event_t&>(event);
    const double seconds = static_cast<double>(raw.time) / 1000.0;
    switch (ge.event_type) {
    case XCB_INPUT_RAW_BUTTON_PRESS:
    case XCB_INPUT_RAW_BUTTON_RELEASE: {
        ++m_rawEvents;
        const bool down = ge.event_type == XCB_INPUT_RAW_BUTTON_PRESS;
        const quint32 button = logicalButton(raw.detail);
        if (button == 1) {
            m_leftDown = down;
            // Selected before the handlers run, so no move of the gesture is missed.
            updateSelection();
            post({down ? EventType::leftMouseDown : EventType::leftMouseUp, seconds});
        } else if (button == 3) {
            m_rightDown = down;
            post({down ? EventType::rightMouseDown : EventType::rightMouseUp, seconds});
        }
        return true;
    }
    case XCB_INPUT_RAW_MOTION:
        ++m_rawEvents;
        ++m_rawMotion;
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
