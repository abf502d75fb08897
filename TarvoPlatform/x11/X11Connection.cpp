#include "X11Connection.h"
#include "X11Reply.h"

#include <xcb/xfixes.h>
#include <xcb/xinput.h>

#include <QAbstractEventDispatcher>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <QtGui/qguiapplication_platform.h>

#include <algorithm>
#include <cstdlib>
#include <poll.h>
#include <vector>

namespace tarvo {

std::unique_ptr<X11Connection> X11Connection::open(const QByteArray& displayName) {
    int screen = 0;
    xcb_connection_t* connection =
        xcb_connect(displayName.isEmpty() ? nullptr : displayName.constData(), &screen);
    if (!connection || xcb_connection_has_error(connection)) {
        if (connection)
            xcb_disconnect(connection);
        return nullptr;
    }
    return std::unique_ptr<X11Connection>(new X11Connection(connection, screen));
}

X11Connection::X11Connection(xcb_connection_t* connection, int screenNumber)
    : m_connection(connection) {
    const xcb_setup_t* setup = xcb_get_setup(m_connection);
    m_ownBase = setup->resource_id_base;
    m_ownMask = setup->resource_id_mask;
    for (auto it = xcb_setup_roots_iterator(setup); it.rem; --screenNumber, xcb_screen_next(&it)) {
        if (screenNumber == 0 || !m_screen)
            m_screen = it.data;
        if (screenNumber == 0)
            break;
    }

    m_helper = makeInputOnlyWindow();
    if (const xcb_query_extension_reply_t* input =
            xcb_get_extension_data(m_connection, &xcb_input_id);
        input && input->present)
        m_inputOpcode = input->major_opcode;

    // Qt's own windows (its drag source and clipboard windows among them)
    // are recognised by the id range the server gave its connection.
    if (auto* x11 =
            qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr) {
        if (xcb_connection_t* qt = x11->connection()) {
            const xcb_setup_t* qtSetup = xcb_get_setup(qt);
            m_qtBase = qtSetup->resource_id_base;
            m_qtMask = qtSetup->resource_id_mask;
        }
    }

    m_notifier = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(m_connection),
                                                   QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] { drain(); });
    // A round trip anywhere lets xcb read events into its queue, where the
    // socket no longer shows them: a pointer that stops moving would leave
    // its last moves there until something else arrived. They are handed out
    // before the event loop sleeps.
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance(thread()))
        QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this,
                         [this] { drainQueued(); });
    flush();
}

quint8 X11Connection::watchSelection(xcb_window_t window, xcb_atom_t selection, uint32_t mask) {
    const xcb_query_extension_reply_t* xfixes =
        xcb_get_extension_data(m_connection, &xcb_xfixes_id);
    if (!xfixes || !xfixes->present)
        return 0;
    ownReply(xcb_xfixes_query_version_reply(
        m_connection,
        xcb_xfixes_query_version(m_connection, XCB_XFIXES_MAJOR_VERSION, XCB_XFIXES_MINOR_VERSION),
        nullptr));
    xcb_xfixes_select_selection_input(m_connection, window, selection, mask);
    return xfixes->first_event;
}

xcb_window_t X11Connection::makeInputOnlyWindow() {
    const xcb_window_t window = xcb_generate_id(m_connection);
    const quint32 mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, window, m_screen->root, -10, -10, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &mask);
    return window;
}

X11Connection::~X11Connection() {
    m_notifier.reset();
    if (m_helper != XCB_NONE)
        xcb_destroy_window(m_connection, m_helper);
    xcb_disconnect(m_connection);
}

void X11Connection::remember(const QByteArray& name, xcb_atom_t atom) {
    m_atoms.insert(name, atom);
    m_atomNames.insert(atom, name);
}

xcb_atom_t X11Connection::atom(const char* name) {
    const QByteArray key(name);
    if (const auto it = m_atoms.constFind(key); it != m_atoms.constEnd())
        return *it;
    X11Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        m_connection, xcb_intern_atom(m_connection, 0, static_cast<quint16>(key.size()), name),
        nullptr));
    const xcb_atom_t value = reply ? reply->atom : XCB_NONE;
    if (value != XCB_NONE)
        remember(key, value);
    scheduleDrain();
    return value;
}

QByteArray X11Connection::atomName(xcb_atom_t atom) {
    return atomNames({atom}).front();
}

std::vector<QByteArray> X11Connection::atomNames(const std::vector<xcb_atom_t>& atoms) {
    std::vector<QByteArray> names(atoms.size());
    std::vector<std::pair<std::size_t, xcb_get_atom_name_cookie_t>> asked;
    QHash<xcb_atom_t, std::size_t> first; // an atom listed twice is asked for once
    for (std::size_t i = 0; i < atoms.size(); ++i) {
        if (const auto it = m_atomNames.constFind(atoms[i]); it != m_atomNames.constEnd()) {
            names[i] = *it;
        } else if (atoms[i] != XCB_NONE && !first.contains(atoms[i])) {
            first.insert(atoms[i], i);
            asked.emplace_back(i, xcb_get_atom_name(m_connection, atoms[i]));
        }
    }
    if (asked.empty())
        return names;
    for (const auto& [i, cookie] : asked) {
        X11Reply<xcb_get_atom_name_reply_t> reply(
            xcb_get_atom_name_reply(m_connection, cookie, nullptr));
        if (!reply)
            continue;
        QByteArray name(xcb_get_atom_name_name(reply.get()),
                        xcb_get_atom_name_name_length(reply.get()));
        remember(name, atoms[i]);
        names[i] = std::move(name);
    }
    for (std::size_t i = 0; i < atoms.size(); ++i) {
        if (names[i].isEmpty() && atoms[i] != XCB_NONE)
            names[i] = m_atomNames.value(atoms[i]);
    }
    scheduleDrain();
    return names;
}

void X11Connection::addEventMask(xcb_window_t window, quint32 mask) {
    m_eventMasks[window].push_back(mask);
    applyEventMask(window);
}

void X11Connection::removeEventMask(xcb_window_t window, quint32 mask) {
    const auto it = m_eventMasks.find(window);
    if (it == m_eventMasks.end())
        return;
    std::vector<quint32>& masks = *it;
    if (const auto found = std::find(masks.begin(), masks.end(), mask); found != masks.end())
        masks.erase(found);
    applyEventMask(window);
    if (masks.empty())
        m_eventMasks.erase(it);
}

void X11Connection::applyEventMask(xcb_window_t window) {
    quint32 mask = XCB_EVENT_MASK_NO_EVENT;
    for (const quint32 wanted : m_eventMasks.value(window))
        mask |= wanted;
    xcb_change_window_attributes(m_connection, window, XCB_CW_EVENT_MASK, &mask);
}

bool X11Connection::isOwnWindow(xcb_window_t window) const {
    if (window == XCB_NONE)
        return false;
    if ((window & ~m_ownMask) == m_ownBase)
        return true;
    return m_qtMask != 0 && (window & ~m_qtMask) == m_qtBase;
}

int X11Connection::addListener(Listener listener) {
    const int id = m_nextListener++;
    m_listeners.push_back({id, std::move(listener)});
    return id;
}

void X11Connection::removeListener(int id) {
    const auto it = std::find_if(m_listeners.begin(), m_listeners.end(),
                                 [id](const Entry& e) { return e.id == id; });
    if (it == m_listeners.end())
        return;
    if (m_dispatching > 0) {
        it->removed = true;
        m_sweep = true;
        return;
    }
    m_listeners.erase(it);
}

void X11Connection::sync() {
    X11Reply<xcb_get_input_focus_reply_t> reply(
        xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
    scheduleDrain();
}

void X11Connection::flush() {
    xcb_flush(m_connection);
}

void X11Connection::scheduleDrain() {
    if (m_draining) {
        m_drainAgain = true;
        return;
    }
    if (m_drainScheduled)
        return;
    m_drainScheduled = true;
    QTimer::singleShot(0, this, [this] {
        m_drainScheduled = false;
        drain();
    });
}

void X11Connection::drainQueued() {
    if (m_draining)
        return;
    xcb_generic_event_t* event = xcb_poll_for_queued_event(m_connection);
    if (!event)
        return;
    {
        const X11Reply<xcb_generic_event_t> owned(event);
        m_draining = true;
        dispatch(*event);
        m_draining = false;
    }
    drain();
}

void X11Connection::drain() {
    if (m_draining) {
        m_drainAgain = true;
        return;
    }
    m_draining = true;
    do {
        m_drainAgain = false;
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
            const X11Reply<xcb_generic_event_t> owned(event);
            dispatch(*event);
        }
        xcb_flush(m_connection);
    } while (m_drainAgain);
    m_draining = false;
}

bool X11Connection::dispatchUntil(const std::function<bool()>& done, int milliseconds) {
    QDeadlineTimer deadline(milliseconds);
    xcb_flush(m_connection);
    for (;;) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
            const X11Reply<xcb_generic_event_t> owned(event);
            dispatch(*event);
            if (done())
                return true;
        }
        if (done())
            return true;
        if (deadline.hasExpired() || xcb_connection_has_error(m_connection))
            return false;
        pollfd fd{xcb_get_file_descriptor(m_connection), POLLIN, 0};
        ::poll(&fd, 1, static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
    }
}

void X11Connection::dispatch(const xcb_generic_event_t& event) {
    if ((event.response_type & 0x7f) == XCB_GE_GENERIC && m_inputOpcode != 0) {
        // Every XInput 2 event carries the server's time after its device.
        const auto& generic = reinterpret_cast<const xcb_ge_generic_event_t&>(event);
        if (generic.extension == m_inputOpcode)
            m_lastInputTime = reinterpret_cast<const xcb_input_raw_motion_event_t&>(event).time;
    }
    // Walked by index over the listeners there were when the event came.
    ++m_dispatching;
    const std::size_t count = m_listeners.size();
    for (std::size_t i = 0; i < count; ++i) {
        if (m_listeners[i].removed)
            continue;
        if (m_listeners[i].listener(event))
            break;
    }
    if (--m_dispatching == 0 && m_sweep) {
        m_sweep = false;
        std::erase_if(m_listeners, [](const Entry& e) { return e.removed; });
    }
}

std::optional<X11Connection::Property> X11Connection::readProperty(xcb_window_t window,
                                                                   xcb_atom_t property,
                                                                   quint32 maxBytes, bool remove) {
    X11Reply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(m_connection,
                               xcb_get_property(m_connection, remove ? 1 : 0, window, property,
                                                XCB_GET_PROPERTY_TYPE_ANY, 0, (maxBytes + 3) / 4),
                               nullptr));
    scheduleDrain();
    if (!reply || reply->type == XCB_NONE)
        return std::nullopt;
    Property result;
    result.type = reply->type;
    result.format = reply->format;
    const int length = xcb_get_property_value_length(reply.get());
    result.value =
        QByteArray(static_cast<const char*>(xcb_get_property_value(reply.get())), length);
    result.truncated = reply->bytes_after > 0;
    return result;
}

} // namespace tarvo
