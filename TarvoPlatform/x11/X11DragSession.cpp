#include "X11DragSession.h"

#include "X11Connection.h"
#include "X11DragImage.h"
#include "X11Input.h"
#include "X11Reply.h"
#include "X11SelectionServer.h"
#include "XdndData.h"

#include "TarvoPlatform/Clock.h"
#include "TarvoPlatform/TypeMapping.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QtGui/qguiapplication_platform.h>

#include <cstring>

namespace tarvo {

namespace {

constexpr quint32 escapeKeysym = 0xff1b;
// Windows nest deeper than this only in toolkits that mark their top level.
constexpr int deepestWindow = 8;
// Attempts at the pointer grab: Qt's ungrab must reach the server first.
constexpr int grabAttempts = 5;

// Qt's press left an implicit grab that only Qt's connection can release;
// the round trip there makes sure the server has seen the ungrab.
void releaseQtGrab() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* qt = x11 ? x11->connection() : nullptr;
    if (!qt)
        return;
    xcb_ungrab_pointer(qt, XCB_CURRENT_TIME);
    ownReply(xcb_get_input_focus_reply(qt, xcb_get_input_focus(qt), nullptr));
}

} // namespace

X11DragSession::X11DragSession(X11DragSessions& owner, X11Connection& connection, Clock& clock,
                               std::vector<DraggingItem> items, DraggingSource& source,
                               LocalDropTarget* localTarget)
    : m_owner(owner), m_connection(connection), m_clock(clock), m_items(std::move(items)),
      m_source(source), m_localTarget(localTarget),
      m_xdnd(*this, [this](DragOperation operation) { ended(operation); }) {
    // The pasteboard says what X11 carries of what was written.
    m_pasteboard.setTypeFilter([this](const QStringList& declared) {
        return XdndData::carriedTypes(declared, static_cast<int>(m_pasteboard.promises().size()));
    });
    std::vector<PasteboardWriter> writers;
    for (const DraggingItem& item : m_items)
        writers.push_back(item.writer);
    m_pasteboard.writeObjects(writers);
    m_owner.m_current = this;
}

X11DragSession::~X11DragSession() {
    *m_alive = false;
    if (m_owner.m_current == this)
        m_owner.m_current = nullptr;
    if (!m_ended && m_xdnd.state() != XdndSource::State::dropped && m_xdnd.target())
        sendLeave(*m_xdnd.target());
    releaseInput();
    m_patience.reset();
    if (m_listener)
        m_connection.removeListener(m_listener);
    m_server.reset();
    m_image.reset();
    if (m_window != XCB_NONE) {
        xcb_connection_t* c = m_connection.get();
        const xcb_atom_t selection = m_connection.atom("XdndSelection");
        X11Reply<xcb_get_selection_owner_reply_t> current(
            xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr));
        if (current && current->owner == m_window)
            xcb_set_selection_owner(c, XCB_NONE, selection, XCB_CURRENT_TIME);
        xcb_destroy_window(c, m_window);
        m_connection.flush();
    }
}

bool X11DragSession::start() {
    xcb_connection_t* c = m_connection.get();
    const xcb_window_t root = m_connection.root();

    m_window = xcb_generate_id(c);
    const quint32 values[] = {1, XCB_EVENT_MASK_PROPERTY_CHANGE};
    xcb_create_window(c, 0, m_window, root, -100, -100, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
    xcb_map_window(c, m_window);
    m_listener = m_connection.addListener(
        [this](const xcb_generic_event_t& event) { return handle(event); });
    m_server =
        std::make_unique<X11SelectionServer>(m_connection, m_window, m_pasteboard, m_clock, [this] {
            return m_xdnd.state() == XdndSource::State::dropped ? DataRequestPhase::drop
                                                                : DataRequestPhase::hover;
        });
    m_server->setDropTarget([this] {
        const std::optional<XdndSource::Target>& target = m_xdnd.target();
        if (m_xdnd.state() != XdndSource::State::dropped || !target)
            return std::vector<xcb_window_t>{};
        return std::vector<xcb_window_t>{target->window, target->proxy};
    });

    // The grabs and the selection carry the time of the input that started
    // the drag (ICCCM): a later request from an earlier event then cannot
    // take them back out of order.
    const xcb_timestamp_t started =
        m_connection.lastInputTime() != 0 ? m_connection.lastInputTime() : XCB_CURRENT_TIME;
    releaseQtGrab();
    const quint16 mask =
        XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE | XCB_EVENT_MASK_POINTER_MOTION;
    for (int attempt = 0; attempt < grabAttempts && !m_grabbed; ++attempt) {
        X11Reply<xcb_grab_pointer_reply_t> grab(xcb_grab_pointer_reply(
            c,
            xcb_grab_pointer(c, 0, m_window, mask, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC,
                             XCB_NONE, XCB_NONE, started),
            nullptr));
        m_grabbed = grab && grab->status == XCB_GRAB_STATUS_SUCCESS;
        if (!m_grabbed)
            releaseQtGrab();
    }
    m_connection.scheduleDrain();
    if (!m_grabbed)
        return false;
    // Escape needs the keyboard; a drag without it still works.
    ownReply(xcb_grab_keyboard_reply(
        c, xcb_grab_keyboard(c, 0, m_window, started, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
        nullptr));

    xcb_set_selection_owner(c, m_window, m_connection.atom("XdndSelection"), started);
    if (started != XCB_CURRENT_TIME)
        m_lastTime = started;

    const xcb_setup_t* setup = xcb_get_setup(c);
    const quint8 count = static_cast<quint8>(setup->max_keycode - setup->min_keycode + 1);
    X11Reply<xcb_get_keyboard_mapping_reply_t> keys(xcb_get_keyboard_mapping_reply(
        c, xcb_get_keyboard_mapping(c, setup->min_keycode, count), nullptr));
    if (keys && keys->keysyms_per_keycode > 0) {
        const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(keys.get());
        const int length = xcb_get_keyboard_mapping_keysyms_length(keys.get());
        for (int i = 0; i < length && m_escape == 0; ++i) {
            if (syms[i] == escapeKeysym)
                m_escape =
                    static_cast<xcb_keycode_t>(setup->min_keycode + i / keys->keysyms_per_keycode);
        }
    }

    for (const DraggingItem& item : m_items) {
        if (!item.image.isNull()) {
            m_image = std::make_unique<X11DragImage>(m_connection, item.image);
            break;
        }
    }

    X11Reply<xcb_query_pointer_reply_t> pointer(
        xcb_query_pointer_reply(c, xcb_query_pointer(c, root), nullptr));
    m_connection.scheduleDrain();
    m_connection.flush();
    // The first move waits for the event loop: the source learns of this
    // session only once start() has returned.
    motion(pointer ? QPoint(pointer->root_x, pointer->root_y) : QPoint(), XCB_CURRENT_TIME);
    // A button already up means the press was only a click: the drag ends
    // where it began rather than wait for a release that will not come.
    if (pointer && !(pointer->mask & XCB_BUTTON_MASK_1)) {
        const std::weak_ptr<bool> alive = m_alive;
        QTimer::singleShot(0, [this, alive] {
            if (!alive.expired() && !m_ended)
                release(XCB_CURRENT_TIME);
        });
    }
    return true;
}

bool X11DragSession::handle(const xcb_generic_event_t& event) {
    switch (event.response_type & 0x7f) {
    case XCB_MOTION_NOTIFY: {
        const auto& e = reinterpret_cast<const xcb_motion_notify_event_t&>(event);
        if (e.event != m_window)
            return false;
        motion(QPoint(e.root_x, e.root_y), e.time);
        return true;
    }
    case XCB_BUTTON_PRESS: {
        const auto& e = reinterpret_cast<const xcb_button_press_event_t&>(event);
        if (e.event != m_window)
            return false;
        // Buttons 4 to 7 are the wheel's notches: up, down, left, right.
        if (!m_ended && e.detail >= 4 && e.detail <= 7)
            m_source.draggingScrolled(screenPoint(QPoint(e.root_x, e.root_y)),
                                      e.detail == 4 || e.detail == 6 ? 1.0 : -1.0);
        return true;
    }
    case XCB_BUTTON_RELEASE: {
        const auto& e = reinterpret_cast<const xcb_button_release_event_t&>(event);
        if (e.event != m_window)
            return false;
        if (e.detail == 1) {
            m_pendingMotion = std::make_pair(QPoint(e.root_x, e.root_y), e.time);
            release(e.time);
        }
        return true;
    }
    case XCB_KEY_PRESS:
    case XCB_KEY_RELEASE: {
        const auto& e = reinterpret_cast<const xcb_key_press_event_t&>(event);
        if (e.event != m_window)
            return false;
        if ((event.response_type & 0x7f) == XCB_KEY_PRESS && e.detail == m_escape &&
            m_escape != 0) {
            cancel();
            return true;
        }
        // A modifier changes the delivery even when the pointer rests.
        if (!m_ended && m_grabbed) {
            processMotion();
            if (!m_ended)
                move(m_lastRoot, e.time);
        }
        return true;
    }
    case XCB_CLIENT_MESSAGE: {
        const auto& e = reinterpret_cast<const xcb_client_message_event_t&>(event);
        if (e.window != m_window || e.format != 32)
            return false;
        const quint32* data = e.data.data32;
        if (e.type == m_connection.atom("XdndStatus")) {
            m_xdnd.statusReceived(data[0], data[1] & 1, action(data[4]));
            if (!m_ended && m_xdnd.state() == XdndSource::State::dropped)
                arm(finishPatience);
            return true;
        }
        if (e.type == m_connection.atom("XdndFinished")) {
            m_xdnd.finishedReceived(data[0], data[1] & 1, action(data[2]));
            return true;
        }
        return false;
    }
    case XCB_SELECTION_CLEAR: {
        const auto& e = reinterpret_cast<const xcb_selection_clear_event_t&>(event);
        if (e.owner != m_window || e.selection != m_connection.atom("XdndSelection"))
            return false;
        // Another drag took the selection: this one cannot go on.
        if (!m_ended)
            cancel();
        return true;
    }
    default:
        return m_server && m_server->handle(event);
    }
}

void X11DragSession::motion(QPoint root, xcb_timestamp_t time) {
    // Moves that arrive together are taken as one: only the last one counts.
    m_pendingMotion = std::make_pair(root, time);
    if (m_motionScheduled)
        return;
    m_motionScheduled = true;
    const std::weak_ptr<bool> alive = m_alive;
    QTimer::singleShot(0, [this, alive] {
        if (alive.expired())
            return;
        m_motionScheduled = false;
        processMotion();
    });
}

void X11DragSession::processMotion() {
    if (!m_pendingMotion || m_ended)
        return;
    const auto [root, time] = *m_pendingMotion;
    m_pendingMotion.reset();
    move(root, time);
}

QPointF X11DragSession::screenPoint(QPoint root) const {
    if (const QScreen* main = qGuiApp ? QGuiApplication::primaryScreen() : nullptr)
        return X11Input::screenPoint(root, main->devicePixelRatio(), main->geometry());
    const xcb_screen_t& screen = m_connection.screen();
    return X11Input::screenPoint(root, 1.0,
                                 QRect(0, 0, screen.width_in_pixels, screen.height_in_pixels));
}

void X11DragSession::move(QPoint root, xcb_timestamp_t time) {
    m_lastRoot = root;
    if (time != XCB_CURRENT_TIME)
        m_lastTime = time;
    const QPointF screen = screenPoint(root);
    m_source.draggingMoved(screen);
    if (m_ended)
        return;
    if (m_image)
        m_image->follow(root);

    const Found found = findTarget(root);
    // The desktop behind every window takes none either; only a window
    // that speaks the protocol, or one of ours, takes a drop.
    const bool takesDrops = found.kind != Found::Kind::nothing;
    if (takesDrops != m_targetTakesDrops) {
        m_targetTakesDrops = takesDrops;
        m_source.draggingTargetChanged(takesDrops);
        if (m_ended)
            return;
    }
    if (found.kind == Found::Kind::ownWindow) {
        m_xdnd.moved(std::nullopt, root, m_lastTime, XdndSource::Action::copy,
                     m_pasteboard.changeCount(), {});
        m_overOwnWindow = true;
        const DragOperationMask offered =
            m_source.sourceOperationMask(DraggingContext::withinApplication);
        if (m_localTarget)
            m_localTarget->draggingUpdated(LocalDrag{screen, offered, m_pasteboard, m_source});
        return;
    }
    if (m_overOwnWindow) {
        m_overOwnWindow = false;
        if (m_localTarget)
            m_localTarget->draggingExited();
    }
    const DragOperationMask offered =
        m_source.sourceOperationMask(DraggingContext::outsideApplication);
    const bool moveOnly = (offered & operationMask(DragOperation::move)) &&
                          !(offered & operationMask(DragOperation::copy));
    m_xdnd.moved(found.kind == Found::Kind::target ? std::optional(found.target) : std::nullopt,
                 root, m_lastTime, moveOnly ? XdndSource::Action::move : XdndSource::Action::copy,
                 m_pasteboard.changeCount(), announcedTypes());
}

const QByteArrayList& X11DragSession::announcedTypes() {
    const qint64 changeCount = m_pasteboard.changeCount();
    if (m_announcedAt != changeCount) {
        m_announced = m_server->announcedTypes();
        m_announcedAt = changeCount;
    }
    return m_announced;
}

X11DragSession::Found X11DragSession::findTarget(QPoint root) {
    xcb_connection_t* c = m_connection.get();
    const xcb_window_t screenRoot = m_connection.root();
    const auto childAt = [&](xcb_window_t window) -> xcb_window_t {
        X11Reply<xcb_translate_coordinates_reply_t> below(xcb_translate_coordinates_reply(
            c,
            xcb_translate_coordinates(c, screenRoot, window, static_cast<qint16>(root.x()),
                                      static_cast<qint16>(root.y())),
            nullptr));
        m_connection.scheduleDrain();
        return below ? below->child : XCB_NONE;
    };
    const xcb_window_t top = childAt(screenRoot);
    if (top == XCB_NONE)
        return {};
    // Most moves stay over the window found last in this frame: one round trip.
    const auto inside = m_inside.constFind(top);
    if (inside != m_inside.constEnd() && inside->area.contains(root))
        return inside->found;

    // Down from the top-level window to the one that speaks XDND, which is
    // the client inside a window manager's frame. A decoration under the
    // pointer ends the search with no target for this point only.
    xcb_window_t window = top;
    for (int depth = 0; depth < deepestWindow && window != XCB_NONE; ++depth) {
        const Found found = classify(window);
        if (found.kind != Found::Kind::nothing) {
            m_inside.insert(top, Inside{rootRectangle(window), found});
            return found;
        }
        window = childAt(window);
    }
    return {};
}

X11DragSession::Found X11DragSession::classify(xcb_window_t window) {
    const auto known = m_classified.constFind(window);
    if (known != m_classified.constEnd())
        return *known;
    Found found;
    if (m_connection.isOwnWindow(window)) {
        found.kind = Found::Kind::ownWindow;
    } else if (const std::optional<X11Connection::Property> aware =
                   m_connection.readProperty(window, m_connection.atom("XdndAware"), 4);
               aware && aware->type == XCB_ATOM_ATOM && aware->value.size() >= 4) {
        quint32 version = 0;
        std::memcpy(&version, aware->value.constData(), 4);
        xcb_window_t proxy = window;
        const std::optional<X11Connection::Property> named =
            m_connection.readProperty(window, m_connection.atom("XdndProxy"), 4);
        if (named && named->type == XCB_ATOM_WINDOW && named->value.size() >= 4)
            std::memcpy(&proxy, named->value.constData(), 4);
        found.kind = Found::Kind::target;
        found.target = XdndSource::Target{window, proxy, static_cast<int>(version)};
    }
    m_classified.insert(window, found);
    return found;
}

QRect X11DragSession::rootRectangle(xcb_window_t window) {
    xcb_connection_t* c = m_connection.get();
    const xcb_get_geometry_cookie_t size = xcb_get_geometry(c, window);
    const xcb_translate_coordinates_cookie_t origin =
        xcb_translate_coordinates(c, window, m_connection.root(), 0, 0);
    X11Reply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(c, size, nullptr));
    X11Reply<xcb_translate_coordinates_reply_t> at(
        xcb_translate_coordinates_reply(c, origin, nullptr));
    m_connection.scheduleDrain();
    if (!geometry || !at)
        return {};
    return QRect(at->dst_x, at->dst_y, geometry->width, geometry->height);
}

void X11DragSession::release(xcb_timestamp_t time) {
    processMotion();
    if (m_ended)
        return;
    releaseInput();
    if (m_overOwnWindow) {
        const QPointF screen = screenPoint(m_lastRoot);
        const DragOperationMask offered =
            m_source.sourceOperationMask(DraggingContext::withinApplication);
        ended(m_localTarget
                  ? m_localTarget->performDrop(LocalDrag{screen, offered, m_pasteboard, m_source})
                  : DragOperation::none);
        return;
    }
    if (time != XCB_CURRENT_TIME)
        m_lastTime = time;
    if (m_xdnd.target())
        publishFileName();
    m_droppedThroughXdnd = true;
    m_xdnd.released(m_lastTime);
    if (m_ended)
        return;
    arm(m_xdnd.state() == XdndSource::State::dropWaitsForStatus ? statusPatience : finishPatience);
}

void X11DragSession::cancel() {
    if (m_ended)
        return;
    releaseInput();
    if (m_overOwnWindow && m_localTarget)
        m_localTarget->draggingExited();
    m_overOwnWindow = false;
    m_xdnd.cancel();
}

void X11DragSession::ended(DragOperation operation) {
    if (m_ended)
        return;
    m_ended = true;
    // A target may finish a drop it read nothing from as a success: nothing
    // was delivered all the same.
    if (m_droppedThroughXdnd && operation != DragOperation::none && m_server &&
        answeredToEntered() == m_answeredAtEnter)
        operation = DragOperation::none;
    releaseInput();
    m_patience.reset();
    // Reported from the event loop, with nothing of this session on the
    // stack: the source may drop the session once it hears it.
    const QPointF at = screenPoint(m_lastRoot);
    const std::weak_ptr<bool> alive = m_alive;
    QTimer::singleShot(0, [this, alive, at, operation] {
        if (!alive.expired())
            m_source.draggingEnded(at, operation);
    });
}

void X11DragSession::releaseInput() {
    if (m_image)
        m_image->hide();
    if (!m_grabbed)
        return;
    m_grabbed = false;
    xcb_ungrab_pointer(m_connection.get(), XCB_CURRENT_TIME);
    xcb_ungrab_keyboard(m_connection.get(), XCB_CURRENT_TIME);
    m_connection.flush();
}

void X11DragSession::arm(double seconds) {
    const std::weak_ptr<bool> alive = m_alive;
    m_patience = m_clock.schedule(seconds, [this, alive] {
        // Handled once the timer that fired has returned.
        QTimer::singleShot(0, [this, alive] {
            if (!alive.expired() && !m_ended)
                m_xdnd.timedOut();
        });
    });
}

void X11DragSession::publishFileName() {
    const QByteArray directSave(TypeIdentifier::directSave.data(),
                                TypeIdentifier::directSave.size());
    const std::vector<std::shared_ptr<FilePromiseProvider>> promises = m_pasteboard.promises();
    if (promises.size() != 1 || !m_server->announcedTypes().contains(directSave))
        return;
    const QByteArray name = promises.front()->fileName().toUtf8();
    xcb_change_property(m_connection.get(), XCB_PROP_MODE_REPLACE, m_window,
                        m_connection.atom(directSave.constData()), m_connection.atom("text/plain"),
                        8, static_cast<quint32>(name.size()), name.constData());
}

xcb_atom_t X11DragSession::actionAtom(XdndSource::Action action) {
    switch (action) {
    case XdndSource::Action::move:
        return m_connection.atom("XdndActionMove");
    case XdndSource::Action::link:
        return m_connection.atom("XdndActionLink");
    case XdndSource::Action::ask:
        return m_connection.atom("XdndActionAsk");
    case XdndSource::Action::privateAction:
        return m_connection.atom("XdndActionPrivate");
    case XdndSource::Action::copy:
        break;
    }
    return m_connection.atom("XdndActionCopy");
}

std::optional<XdndSource::Action> X11DragSession::action(xcb_atom_t atom) {
    if (atom == XCB_NONE)
        return std::nullopt;
    for (const XdndSource::Action candidate :
         {XdndSource::Action::copy, XdndSource::Action::move, XdndSource::Action::link,
          XdndSource::Action::ask, XdndSource::Action::privateAction}) {
        if (actionAtom(candidate) == atom)
            return candidate;
    }
    return std::nullopt;
}

void X11DragSession::sendMessage(const XdndSource::Target& target, const char* type,
                                 const std::array<quint32, 5>& data) {
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = target.window;
    event.type = m_connection.atom(type);
    for (std::size_t i = 0; i < data.size(); ++i)
        event.data.data32[i] = data[i];
    xcb_send_event(m_connection.get(), 0, target.proxy, XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char*>(&event));
    m_connection.flush();
}

void X11DragSession::publishTypes(const QByteArrayList& types) {
    std::vector<xcb_atom_t> atoms;
    atoms.reserve(static_cast<std::size_t>(types.size()));
    for (const QByteArray& type : types)
        atoms.push_back(m_connection.atom(type.constData()));
    xcb_change_property(m_connection.get(), XCB_PROP_MODE_REPLACE, m_window,
                        m_connection.atom("XdndTypeList"), XCB_ATOM_ATOM, 32,
                        static_cast<quint32>(atoms.size()), atoms.data());
    publishFileName();
}

// Only the entered target's own requests count: another program the
// pointer passed may still be reading what it asked for while hovering.
quint64 X11DragSession::answeredToEntered() const {
    if (!m_server)
        return 0;
    quint64 count = m_server->answeredRequests(m_entered.window);
    if (m_entered.proxy != XCB_NONE && m_entered.proxy != m_entered.window)
        count += m_server->answeredRequests(m_entered.proxy);
    return count;
}

void X11DragSession::sendEnter(const XdndSource::Target& target, int version,
                               const QByteArrayList& types) {
    m_entered = target;
    m_answeredAtEnter = answeredToEntered();
    std::array<quint32, 5> data{
        m_window, (static_cast<quint32>(version) << 24) | (types.size() > 3 ? 1u : 0u), 0, 0, 0};
    for (qsizetype i = 0; i < types.size() && i < 3; ++i)
        data[static_cast<std::size_t>(i) + 2] = m_connection.atom(types[i].constData());
    sendMessage(target, "XdndEnter", data);
}

void X11DragSession::sendPosition(const XdndSource::Target& target, QPoint root, quint32 time,
                                  XdndSource::Action action) {
    const quint32 packed =
        (static_cast<quint32>(root.x() & 0xffff) << 16) | static_cast<quint32>(root.y() & 0xffff);
    sendMessage(target, "XdndPosition", {m_window, 0, packed, time, actionAtom(action)});
}

void X11DragSession::sendLeave(const XdndSource::Target& target) {
    sendMessage(target, "XdndLeave", {m_window, 0, 0, 0, 0});
}

void X11DragSession::sendDrop(const XdndSource::Target& target, quint32 time) {
    // Any client may have named a place on our window while the drag
    // hovered: the name goes back first, so only a place the target names
    // after the drop counts.
    publishFileName();
    sendMessage(target, "XdndDrop", {m_window, 0, time, 0, 0});
}

std::unique_ptr<DragSession> X11DragSessions::beginDraggingSession(std::vector<DraggingItem> items,
                                                                   DraggingSource& source) {
    // One pointer, one drag.
    if (m_current)
        return nullptr;
    auto session = std::make_unique<X11DragSession>(*this, m_connection, m_clock, std::move(items),
                                                    source, m_localTarget);
    if (!session->start())
        return nullptr;
    return session;
}

} // namespace tarvo
