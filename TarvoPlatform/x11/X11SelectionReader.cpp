#include "X11SelectionReader.h"

#include <string>

namespace tarvo {

X11SelectionReader::X11SelectionReader(X11Connection& connection, xcb_atom_t selection,
                                       int milliseconds)
    : m_connection(connection), m_selection(selection), m_incr(connection.atom("INCR")),
      m_window(connection.makeInputOnlyWindow()) {
    for (std::size_t i = 0; i < m_properties.size(); ++i)
        m_properties[i] = connection.atom(("TARVO_SELECTION_READ_" + std::to_string(i)).c_str());
    m_deadline.setSingleShot(true);
    m_deadline.setInterval(milliseconds);
    QObject::connect(&m_deadline, &QTimer::timeout, [this] { finish(std::nullopt); });
    m_listener =
        m_connection.addListener([this](const xcb_generic_event_t& e) { return handle(e); });
    m_connection.flush();
}

X11SelectionReader::~X11SelectionReader() {
    m_connection.removeListener(m_listener);
    xcb_destroy_window(m_connection.get(), m_window);
    m_connection.flush();
}

void X11SelectionReader::read(xcb_atom_t target, xcb_timestamp_t time, Done done) {
    m_reads.push_back({target, time, std::move(done)});
    startNext();
}

void X11SelectionReader::cancel() {
    std::deque<Read> reads;
    reads.swap(m_reads);
    m_sent = false;
    m_pieces.reset();
    m_deadline.stop();
    for (Read& read : reads) {
        if (read.done)
            read.done(std::nullopt);
    }
}

void X11SelectionReader::startNext() {
    if (m_sent || m_reads.empty())
        return;
    const Read& read = m_reads.front();
    m_sent = true;
    m_property = m_properties[m_started++ % m_properties.size()];
    // What an earlier owner left there must not pass for this answer.
    xcb_delete_property(m_connection.get(), m_window, m_property);
    xcb_convert_selection(m_connection.get(), m_window, m_selection, read.target, m_property,
                          read.time);
    m_connection.flush();
    m_deadline.start();
}

void X11SelectionReader::finish(std::optional<X11Connection::Property> answer) {
    if (m_reads.empty())
        return;
    m_deadline.stop();
    Read read = std::move(m_reads.front());
    m_reads.pop_front();
    m_sent = false;
    m_pieces.reset();
    if (read.done)
        read.done(std::move(answer));
    startNext();
}

bool X11SelectionReader::handle(const xcb_generic_event_t& event) {
    const quint8 type = event.response_type & 0x7f;
    if (type == XCB_SELECTION_NOTIFY) {
        const auto& e = reinterpret_cast<const xcb_selection_notify_event_t&>(event);
        if (e.requestor != m_window || e.selection != m_selection)
            return false;
        // An answer to a read that ended already, or to another owner, says
        // nothing of this one. Owners echo the request's time; a few old
        // ones say CurrentTime, which is believed of an answer written where
        // this read asked.
        if (!m_sent || m_pieces || e.target != m_reads.front().target ||
            (e.property != XCB_NONE && e.property != m_property))
            return true;
        if (e.time != m_reads.front().time &&
            (e.time != XCB_CURRENT_TIME || e.property == XCB_NONE))
            return true;
        if (e.property == XCB_NONE) {
            finish(std::nullopt);
            return true;
        }
        std::optional<X11Connection::Property> answer =
            m_connection.readProperty(m_window, e.property, maxBytes, true);
        if (answer && answer->type == m_incr) {
            // Deleting the property asked for the first piece.
            m_pieces = X11Connection::Property{};
            m_deadline.start();
            return true;
        }
        finish(answer && !answer->truncated ? std::move(answer) : std::nullopt);
        return true;
    }
    if (type == XCB_PROPERTY_NOTIFY) {
        const auto& e = reinterpret_cast<const xcb_property_notify_event_t&>(event);
        if (e.window != m_window)
            return false;
        if (!m_pieces || e.atom != m_property || e.state != XCB_PROPERTY_NEW_VALUE)
            return true;
        std::optional<X11Connection::Property> piece =
            m_connection.readProperty(m_window, m_property, maxBytes, true);
        if (!piece)
            return true;
        m_pieces->type = piece->type;
        m_pieces->format = piece->format;
        // A piece with nothing in it is the end of the answer.
        if (piece->value.isEmpty()) {
            finish(std::move(m_pieces));
            return true;
        }
        if (m_pieces->value.size() + piece->value.size() > maxBytes) {
            finish(std::nullopt);
            return true;
        }
        m_pieces->value += piece->value;
        m_deadline.start();
        return true;
    }
    return false;
}

} // namespace tarvo
