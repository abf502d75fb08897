#include "X11PanelWindowSystem.h"

#include "X11Connection.h"
#include "X11Properties.h"
#include "X11Reply.h"

#include <xcb/shape.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

namespace tarvo {

namespace {

int screenNumber(xcb_connection_t* connection, xcb_window_t root) {
    int number = 0;
    for (auto it = xcb_setup_roots_iterator(xcb_get_setup(connection)); it.rem;
         xcb_screen_next(&it), ++number) {
        if (it.data->root == root)
            return number;
    }
    return 0;
}

std::vector<xcb_rectangle_t> rectangles(const QRegion& region) {
    std::vector<xcb_rectangle_t> list;
    for (const QRect& rect : region) {
        list.push_back(
            {qint16(rect.x()), qint16(rect.y()), quint16(rect.width()), quint16(rect.height())});
    }
    return list;
}

constexpr quint32 netWmStateAdd = 1;

} // namespace

X11PanelWindowSystem::X11PanelWindowSystem(X11Connection& connection) : m_connection(connection) {
    xcb_connection_t* c = m_connection.get();
    const xcb_query_extension_reply_t* shape = xcb_get_extension_data(c, &xcb_shape_id);
    m_hasShape = shape && shape->present;
    const QByteArray selection =
        "_NET_WM_CM_S" + QByteArray::number(screenNumber(c, m_connection.root()));
    m_compositorSelection = m_connection.atom(selection.constData());
    m_state = m_connection.atom("_NET_WM_STATE");
    m_desktop = m_connection.atom("_NET_WM_DESKTOP");
    m_states[0] = m_connection.atom("_NET_WM_STATE_STICKY");
    m_states[1] = m_connection.atom("_NET_WM_STATE_ABOVE");
    m_states[2] = m_connection.atom("_NET_WM_STATE_SKIP_TASKBAR");
    m_states[3] = m_connection.atom("_NET_WM_STATE_SKIP_PAGER");
    m_activeWindow = m_connection.atom("_NET_ACTIVE_WINDOW");
}

bool X11PanelWindowSystem::hasCompositor() {
    xcb_connection_t* c = m_connection.get();
    X11Reply<xcb_get_selection_owner_reply_t> reply(xcb_get_selection_owner_reply(
        c, xcb_get_selection_owner(c, m_compositorSelection), nullptr));
    return reply && reply->owner != XCB_NONE;
}

void X11PanelWindowSystem::setPanelStates(WindowID id) {
    xcb_connection_t* c = m_connection.get();
    const auto window = xcb_window_t(id);
    // A window not yet mapped carries its initial states in the property; a
    // mapped one asks the window manager, which owns the property from then
    // (EWMH): writing it then would drop states the manager set.
    const xcb_get_window_attributes_cookie_t attributes = xcb_get_window_attributes(c, window);
    const auto stateCookie = X11Properties::request(c, window, m_state, XCB_ATOM_ATOM, 64);
    X11Reply<xcb_get_window_attributes_reply_t> mapState(
        xcb_get_window_attributes_reply(c, attributes, nullptr));
    std::vector<quint32> states = X11Properties::cardinals(X11Properties::take(c, stateCookie));
    const bool mapped = !mapState || mapState->map_state != XCB_MAP_STATE_UNMAPPED;
    const quint32 allDesktops = 0xFFFFFFFF;
    if (!mapped) {
        for (xcb_atom_t state : m_states) {
            if (std::find(states.begin(), states.end(), state) == states.end())
                states.push_back(state);
        }
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, m_state, XCB_ATOM_ATOM, 32,
                            quint32(states.size()), states.data());
        // Window managers without the sticky state (openbox among them) put
        // a window on every workspace by its desktop number.
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, m_desktop, XCB_ATOM_CARDINAL, 32, 1,
                            &allDesktops);
        m_connection.flush();
        return;
    }
    for (std::size_t i = 0; i < std::size(m_states); i += 2) {
        xcb_client_message_event_t message{};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = window;
        message.type = m_state;
        message.data.data32[0] = netWmStateAdd;
        message.data.data32[1] = m_states[i];
        message.data.data32[2] = m_states[i + 1];
        message.data.data32[3] = 1; // a normal application
        xcb_send_event(c, 0, m_connection.root(),
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&message));
    }
    xcb_client_message_event_t desktop{};
    desktop.response_type = XCB_CLIENT_MESSAGE;
    desktop.format = 32;
    desktop.window = window;
    desktop.type = m_desktop;
    desktop.data.data32[0] = allDesktops;
    desktop.data.data32[1] = 1;
    xcb_send_event(c, 0, m_connection.root(),
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&desktop));
    m_connection.flush();
}

void X11PanelWindowSystem::setInputRegion(WindowID window, const QRegion& region) {
    if (!m_hasShape)
        return;
    const std::vector<xcb_rectangle_t> list = rectangles(region);
    xcb_shape_rectangles(m_connection.get(), XCB_SHAPE_SO_SET, XCB_SHAPE_SK_INPUT,
                         XCB_CLIP_ORDERING_UNSORTED, xcb_window_t(window), 0, 0,
                         quint32(list.size()), list.data());
    m_connection.flush();
}

void X11PanelWindowSystem::setBoundingRegion(WindowID window,
                                             const std::optional<QRegion>& region) {
    if (!m_hasShape)
        return;
    if (!region) {
        xcb_shape_mask(m_connection.get(), XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING,
                       xcb_window_t(window), 0, 0, XCB_NONE);
    } else {
        const std::vector<xcb_rectangle_t> list = rectangles(*region);
        xcb_shape_rectangles(m_connection.get(), XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING,
                             XCB_CLIP_ORDERING_UNSORTED, xcb_window_t(window), 0, 0,
                             quint32(list.size()), list.data());
    }
    m_connection.flush();
}

PanelWindowSystem::WindowID X11PanelWindowSystem::activeWindow() {
    xcb_connection_t* c = m_connection.get();
    const std::optional<quint32> active = X11Properties::firstCardinal(X11Properties::take(
        c, X11Properties::request(c, m_connection.root(), m_activeWindow, XCB_ATOM_WINDOW, 1)));
    return active.value_or(0);
}

void X11PanelWindowSystem::activate(WindowID window, quint32 timestamp, WindowID previous) {
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = xcb_window_t(window);
    message.type = m_activeWindow;
    message.data.data32[0] = 2; // a pager: the user asked for it
    message.data.data32[1] = timestamp;
    message.data.data32[2] = quint32(previous);
    xcb_send_event(m_connection.get(), 0, m_connection.root(),
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&message));
    m_connection.flush();
}

} // namespace tarvo
