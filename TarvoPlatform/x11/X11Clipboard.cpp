#include "X11Clipboard.h"

#include "X11Connection.h"
#include "X11Reply.h"

#include "TarvoPlatform/Pasteboard.h"
#include "TarvoPlatform/TypeMapping.h"

#include <QClipboard>
#include <QGuiApplication>

#include <cstring>

#include <xcb/xfixes.h>

namespace tarvo {

X11Clipboard::X11Clipboard(X11Connection& connection)
    : m_connection(connection), m_window(connection.makeInputOnlyWindow()),
      m_clipboard(connection.atom("CLIPBOARD")), m_targets(connection.atom("TARGETS")),
      m_property(connection.atom("TARVO_CLIPBOARD_TYPES")) {
    xcb_connection_t* c = m_connection.get();
    m_xfixesEvent =
        m_connection.watchSelection(m_window, m_clipboard,
                                    XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                                        XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                                        XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
    m_deadline.setSingleShot(true);
    m_deadline.setInterval(answerMilliseconds);
    QObject::connect(&m_deadline, &QTimer::timeout, [this] {
        // An owner that does not answer in time offers nothing we could paste.
        m_waiting = false;
        m_types.reset();
    });
    m_listener =
        m_connection.addListener([this](const xcb_generic_event_t& e) { return handle(e); });
    // The clipboard may have had its owner before we started.
    auto owner = ownReply(
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, m_clipboard), nullptr));
    if (owner && owner->owner != XCB_NONE)
        ask(XCB_CURRENT_TIME);
    m_connection.flush();
}

X11Clipboard::~X11Clipboard() {
    m_connection.removeListener(m_listener);
    xcb_destroy_window(m_connection.get(), m_window);
    m_connection.flush();
}

std::optional<QStringList> X11Clipboard::types() {
    // Qt answers for what we wrote from its own copy, without the server.
    const QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard && clipboard->ownsClipboard())
        return m_qt.contents()->types();
    if (m_waiting)
        return std::nullopt;
    return m_types;
}

void X11Clipboard::ask(xcb_timestamp_t time) {
    m_waiting = true;
    m_types.reset();
    xcb_convert_selection(m_connection.get(), m_window, m_clipboard, m_targets, m_property, time);
    m_connection.flush();
    m_deadline.start();
}

bool X11Clipboard::handle(const xcb_generic_event_t& event) {
    const quint8 type = event.response_type & 0x7f;
    if (m_xfixesEvent != 0 && type == m_xfixesEvent + XCB_XFIXES_SELECTION_NOTIFY) {
        const auto& e = reinterpret_cast<const xcb_xfixes_selection_notify_event_t&>(event);
        if (e.window != m_window || e.selection != m_clipboard)
            return false;
        if (e.owner == XCB_NONE) {
            m_deadline.stop();
            m_waiting = false;
            m_types.reset();
        } else {
            ask(e.selection_timestamp);
        }
        return true;
    }
    if (type == XCB_SELECTION_NOTIFY) {
        const auto& e = reinterpret_cast<const xcb_selection_notify_event_t&>(event);
        if (e.requestor != m_window || e.selection != m_clipboard || !m_waiting)
            return false;
        m_deadline.stop();
        m_waiting = false;
        m_types.reset();
        if (e.property == XCB_NONE)
            return true;
        const std::optional<X11Connection::Property> value =
            m_connection.readProperty(m_window, e.property, 1 << 16, true);
        if (!value || value->format != 32)
            return true;
        std::vector<xcb_atom_t> atoms(std::size_t(value->value.size()) / 4);
        std::memcpy(atoms.data(), value->value.constData(), atoms.size() * 4);
        QStringList names;
        for (const QByteArray& name : m_connection.atomNames(atoms))
            if (!name.isEmpty())
                names.append(QString::fromLatin1(name));
        m_types = TypeMapping::identifiers(names);
        return true;
    }
    return false;
}

} // namespace tarvo
