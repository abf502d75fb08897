#include "X11DragWatch.h"

#include "TarvoPlatform/x11/X11Reply.h"

#include "support/X11TestTools.h"

#include <xcb/xfixes.h>

#include <X11/Xlib.h>
#include <X11/extensions/Xdamage.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>

namespace tarvo::bench {

std::int64_t nowNanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

X11DragWatch::X11DragWatch(xcb_window_t window) : m_connection(xcb_connect(nullptr, nullptr)) {
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
    const char name[] = "XdndSelection";
    const X11Reply<xcb_intern_atom_reply_t> atom(xcb_intern_atom_reply(
        m_connection, xcb_intern_atom(m_connection, 0, quint16(std::strlen(name)), name), nullptr));
    ownReply(xcb_xfixes_query_version_reply(m_connection,
                                            xcb_xfixes_query_version(m_connection, 5, 0), nullptr));
    const xcb_query_extension_reply_t* xfixes =
        xcb_get_extension_data(m_connection, &xcb_xfixes_id);
    m_selectionEvent = quint8(xfixes->first_event + XCB_XFIXES_SELECTION_NOTIFY);
    xcb_xfixes_select_selection_input(m_connection, screen->root, atom->atom,
                                      XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER);
    if (window != XCB_NONE) {
        const quint32 mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_connection, window, XCB_CW_EVENT_MASK, &mask);
    }
    xcb_flush(m_connection);
    m_thread = std::thread([this] {
        while (const X11Reply<xcb_generic_event_t> event{xcb_wait_for_event(m_connection)}) {
            const quint8 type = event->response_type & 0x7f;
            const auto* selection =
                reinterpret_cast<xcb_xfixes_selection_notify_event_t*>(event.get());
            if (type == m_selectionEvent && selection->owner != XCB_NONE)
                m_ownerAt = nowNanoseconds();
            else if (type == XCB_MAP_NOTIFY)
                m_mappedAt = nowNanoseconds();
            else if (type == XCB_UNMAP_NOTIFY)
                m_unmappedAt = nowNanoseconds();
        }
    });
}

X11DragWatch::~X11DragWatch() {
    // Ends the thread's wait.
    ::shutdown(xcb_get_file_descriptor(m_connection), SHUT_RDWR);
    m_thread.join();
    xcb_disconnect(m_connection);
}

void X11DragWatch::reset() {
    m_ownerAt = 0;
    m_mappedAt = 0;
    m_unmappedAt = 0;
}

X11FrameWatch::X11FrameWatch(unsigned long window) : m_display(XOpenDisplay(nullptr)) {
    int errorBase = 0;
    if (!m_display || !XDamageQueryExtension(m_display, &m_damageEvent, &errorBase)) {
        if (m_display)
            XCloseDisplay(m_display);
        m_display = nullptr;
        return;
    }
    // Every rectangle drawn is reported, so no damage needs subtracting.
    m_damage = XDamageCreate(m_display, window, XDamageReportRawRectangles);
    XFlush(m_display);
    m_thread = std::thread([this] {
        pollfd fd{ConnectionNumber(m_display), POLLIN, 0};
        while (!m_stop) {
            while (XPending(m_display)) {
                XEvent event;
                XNextEvent(m_display, &event);
                if (event.type != m_damageEvent + XDamageNotify)
                    continue;
                const std::int64_t now = nowNanoseconds();
                std::lock_guard lock(m_mutex);
                m_damagedAt.push_back(now);
            }
            ::poll(&fd, 1, 20);
        }
    });
}

X11FrameWatch::~X11FrameWatch() {
    if (!m_display)
        return;
    m_stop = true;
    m_thread.join();
    XDamageDestroy(m_display, m_damage);
    XCloseDisplay(m_display);
}

std::int64_t X11FrameWatch::firstDamageAfter(std::int64_t time) const {
    std::lock_guard lock(m_mutex);
    const auto found = std::upper_bound(m_damagedAt.begin(), m_damagedAt.end(), time);
    return found == m_damagedAt.end() ? 0 : *found;
}

void startDrag(test::XTestHand& hand, QPoint at) {
    hand.moveTo(at);
    test::pump(100);
    hand.press();
    test::pump(100);
    hand.glideTo(at + QPoint(15, 0));
}

} // namespace tarvo::bench
