#include "X11DragPasteboard.h"

#include "X11Connection.h"
#include "X11Reply.h"

#include "TarvoPlatform/TypeMapping.h"

#include <xcb/xfixes.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace tarvo {

namespace {

// X server times wrap; `a` is at or after `b` when the difference is small.
bool atOrAfter(xcb_timestamp_t a, xcb_timestamp_t b) {
    return static_cast<qint32>(a - b) >= 0;
}

} // namespace

X11DragPasteboard::X11DragPasteboard(X11Connection& connection) : m_connection(connection) {
    m_xfixesEvent =
        m_connection.watchSelection(m_connection.helperWindow(), m_connection.atom("XdndSelection"),
                                    XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER);
    m_connection.flush();
    m_deadline.setSingleShot(true);
    m_deadline.setInterval(typeSearchMilliseconds);
    QObject::connect(&m_deadline, &QTimer::timeout, [this] {
        if (m_search)
            publish(m_search->found);
    });
    m_listener =
        m_connection.addListener([this](const xcb_generic_event_t& e) { return handle(e); });
}

X11DragPasteboard::~X11DragPasteboard() {
    m_connection.removeListener(m_listener);
}

bool X11DragPasteboard::handle(const xcb_generic_event_t& event) {
    const quint8 type = event.response_type & 0x7f;
    if (m_xfixesEvent != 0 && type == m_xfixesEvent + XCB_XFIXES_SELECTION_NOTIFY) {
        const auto& e = reinterpret_cast<const xcb_xfixes_selection_notify_event_t&>(event);
        if (e.selection != m_connection.atom("XdndSelection"))
            return false;
        ownerChanged(e.owner, e.selection_timestamp);
        return true;
    }
    if (type == XCB_PROPERTY_NOTIFY) {
        const auto& e = reinterpret_cast<const xcb_property_notify_event_t&>(event);
        if (e.state != XCB_PROPERTY_NEW_VALUE)
            return false;
        if (e.atom == m_connection.atom("XdndTypeList"))
            typeListChanged(e.window, e.time);
        else if (e.atom == m_connection.atom("XdndDirectSave0"))
            directSaveOffered(e.window, e.time);
        return false; // others may watch the same window
    }
    if (type == XCB_DESTROY_NOTIFY) {
        const auto& e = reinterpret_cast<const xcb_destroy_notify_event_t&>(event);
        m_watched.remove(e.window);
        m_connection.forgetWindow(e.window);
        m_typeListChanged.remove(e.window);
        return false;
    }
    if (type == XCB_SELECTION_NOTIFY) {
        const auto& e = reinterpret_cast<const xcb_selection_notify_event_t&>(event);
        if (e.requestor != m_connection.helperWindow() ||
            e.selection != m_connection.atom("XdndSelection"))
            return false;
        if (e.property != XCB_NONE && e.property != m_connection.atom("TARVO_DRAG_TYPES"))
            return false;
        selectionReplied(e.property, e.time);
        return true;
    }
    return false;
}

void X11DragPasteboard::ownerChanged(xcb_window_t owner, xcb_timestamp_t time) {
    if (owner == XCB_NONE) // a source giving the selection up at the end of its drag
        return;
    if (m_connection.isOwnWindow(owner)) {
        m_search.reset(); // the shelf's own drags out are not content to show it for
        m_deadline.stop();
        return;
    }
    m_search = Search{owner, time, time, 0, Step::none, {}};
    m_deadline.start();

    // A type list set for this drag is fresh; one left by an earlier drag of
    // a window already watched would have come with its own notification.
    const bool firstSeen = !m_watched.contains(owner);
    if (firstSeen) {
        // Told of its destruction too: a later window may get the same id.
        m_connection.addEventMask(owner,
                                  XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY);
        m_watched.insert(owner);
    }
    m_search->directSave =
        firstSeen && m_connection.readProperty(owner, m_connection.atom("XdndDirectSave0"), 4);
    const auto changed = m_typeListChanged.constFind(owner);
    if (firstSeen || (changed != m_typeListChanged.constEnd() && atOrAfter(*changed, time))) {
        if (const std::optional<QStringList> list = readTypeList(owner)) {
            publish(*list);
            return;
        }
    }
    request(Step::targets, "TARGETS");
}

void X11DragPasteboard::typeListChanged(xcb_window_t window, xcb_timestamp_t time) {
    m_typeListChanged.insert(window, time);
    if (!m_search || m_search->owner != window || !atOrAfter(time, m_search->time))
        return;
    if (const std::optional<QStringList> list = readTypeList(window))
        publish(*list);
}

// A source that saves its file itself names the file on its window, and
// may do so only once its drag is under way.
void X11DragPasteboard::directSaveOffered(xcb_window_t window, xcb_timestamp_t time) {
    if (!m_search || m_search->owner != window || !atOrAfter(time, m_search->time))
        return;
    m_search->directSave = true;
    if (m_search->step == Step::waiting)
        publish(m_search->found);
}

// Types that stand for nothing the shelf knows may yet be joined by a direct
// save: such a search waits out its time before it tells.
void X11DragPasteboard::finishSearch(QStringList targetNames) {
    if (!m_search->directSave && TypeMapping::identifiers(targetNames).isEmpty()) {
        m_search->found = std::move(targetNames);
        m_search->step = Step::waiting;
        return;
    }
    publish(std::move(targetNames));
}

void X11DragPasteboard::request(Step step, const char* target) {
    m_search->step = step;
    xcb_convert_selection(m_connection.get(), m_connection.helperWindow(),
                          m_connection.atom("XdndSelection"), m_connection.atom(target),
                          m_connection.atom("TARVO_DRAG_TYPES"), m_search->stamp);
    m_connection.flush();
}

// One request is in flight at a time, and its stamp alone tells the reply.
// Refusals name no target.
void X11DragPasteboard::selectionReplied(xcb_atom_t property, xcb_timestamp_t time) {
    if (!m_search || time != m_search->stamp)
        return;
    const xcb_window_t helper = m_connection.helperWindow();
    switch (m_search->step) {
    case Step::targets: {
        if (property != XCB_NONE) {
            const auto reply =
                m_connection.readProperty(helper, property, maxTypes * sizeof(quint32), true);
            // The server deletes a property only when it was read to its end.
            if (reply && reply->truncated) {
                xcb_delete_property(m_connection.get(), helper, property);
                m_connection.flush();
            }
            if (reply && reply->format == 32) {
                finishSearch(atomList(reply->value));
                return;
            }
        }
        request(Step::probeURIs, "text/uri-list");
        return;
    }
    case Step::probeURIs:
    case Step::probeText: {
        const bool uris = m_search->step == Step::probeURIs;
        if (property != XCB_NONE) {
            // Only whether the owner answers matters: nothing of the data is
            // fetched, and the property goes at once.
            m_search->found.append(uris ? QStringLiteral("text/uri-list")
                                        : QStringLiteral("UTF8_STRING"));
            xcb_delete_property(m_connection.get(), helper, property);
            m_connection.flush();
        }
        if (uris && m_search->found.isEmpty())
            request(Step::probeText, "UTF8_STRING");
        else if (m_search->found.isEmpty())
            probeAgainOrFinish();
        else
            finishSearch(m_search->found);
        return;
    }
    case Step::none:
    case Step::waiting:
        return;
    }
}

// A Qt source answers only requests stamped with the time of the pointer
// move it handled last; once the pointer has moved on, the owner's own time
// is refused. So the probes go again, stamped with the latest pointer event
// this connection has seen, which the source has handled or soon will.
void X11DragPasteboard::probeAgainOrFinish() {
    if (++m_search->round >= probeRounds) {
        finishSearch({});
        return;
    }
    m_search->step = Step::waiting;
    const xcb_timestamp_t time = m_search->time;
    QTimer::singleShot(probeRoundPause, &m_deadline, [this, time] {
        if (!m_search || m_search->time != time || m_search->step != Step::waiting)
            return;
        const xcb_timestamp_t latest = m_connection.lastInputTime();
        if (latest != 0 && atOrAfter(latest, m_search->stamp))
            m_search->stamp = latest;
        request(Step::probeURIs, "text/uri-list");
    });
}

std::optional<QStringList> X11DragPasteboard::readTypeList(xcb_window_t window) {
    const auto property = m_connection.readProperty(window, m_connection.atom("XdndTypeList"),
                                                    maxTypes * sizeof(quint32));
    if (!property || property->format != 32 || property->value.isEmpty())
        return std::nullopt;
    return atomList(property->value);
}

QStringList X11DragPasteboard::atomList(const QByteArray& value) {
    const auto count =
        std::min(static_cast<size_t>(value.size()) / sizeof(quint32), size_t{maxTypes});
    std::vector<xcb_atom_t> atoms(count);
    std::memcpy(atoms.data(), value.constData(), count * sizeof(quint32));
    QStringList names;
    names.reserve(static_cast<qsizetype>(count));
    for (const QByteArray& name : m_connection.atomNames(atoms)) {
        if (!name.isEmpty())
            names.append(QString::fromLatin1(name));
    }
    return names;
}

void X11DragPasteboard::publish(QStringList targetNames) {
    const QString directSave = QStringLiteral("XdndDirectSave0");
    if (m_search && m_search->directSave && !targetNames.contains(directSave))
        targetNames.append(directSave);
    m_search.reset(); // `targetNames` may have been the search's own list
    m_deadline.stop();
    m_targetNames = std::move(targetNames);
    m_types = TypeMapping::identifiers(m_targetNames);
    ++m_changeCount;
    if (m_changed)
        m_changed();
}

} // namespace tarvo
