#pragma once

#include "XdndSource.h"

#include "TarvoPlatform/DragSession.h"

#include <QHash>
#include <QPoint>
#include <QRect>

#include <xcb/xcb.h>

#include <array>
#include <memory>
#include <optional>

namespace tarvo {

class Clock;
class ScheduledWork;
class X11Connection;
class X11DragImage;
class X11DragSessions;
class X11SelectionServer;

// One drag out of the shelf on X11, with an XDND source of our own: Qt's
// drag would fix one type list for the whole drag, where each target here is
// told the list of its own delivery.
//
// The pointer is taken from Qt (whose press left an XInput 2 grab, which a
// core ungrab on Qt's connection releases) and grabbed on our own connection
// with a window of ours that is viewable: a mapped, override-redirect,
// InputOnly 1x1 window off screen, which also owns the drag selection. Points
// are the server's root coordinates, never Qt's logical ones. Our own
// windows are never spoken to through XDND: the pointer over them goes to
// the local drop target. Escape cancels. Main thread only.
class X11DragSession final : public DragSession, private XdndSource::Wire {
public:
    X11DragSession(X11DragSessions& owner, X11Connection& connection, Clock& clock,
                   std::vector<DraggingItem> items, DraggingSource& source,
                   LocalDropTarget* localTarget);
    ~X11DragSession() override;
    X11DragSession(const X11DragSession&) = delete;
    X11DragSession& operator=(const X11DragSession&) = delete;

    // Takes the pointer and the selection; false when the pointer could not
    // be taken (the session then does nothing).
    bool start();

    DragPasteboard& draggingPasteboard() override { return m_pasteboard; }
    xcb_window_t sourceWindow() const { return m_window; }
    const XdndSource& protocol() const { return m_xdnd; }

    // How long a drop waits for the target's last status, and for its finish.
    static constexpr double statusPatience = 3.0;
    static constexpr double finishPatience = 60.0;

private:
    struct Found {
        enum class Kind { nothing, ownWindow, target };
        Kind kind = Kind::nothing;
        XdndSource::Target target;
    };

    bool handle(const xcb_generic_event_t& event);
    // How many requests of the entered target the selection server answered.
    quint64 answeredToEntered() const;
    void motion(QPoint root, xcb_timestamp_t time);
    void processMotion();
    void move(QPoint root, xcb_timestamp_t time);
    void release(xcb_timestamp_t time);
    void cancel();
    void ended(DragOperation operation);
    // The window that takes the drag at `root`, worked out for that point:
    // a window manager's decoration there is no target here, whatever the
    // frame holds elsewhere.
    Found findTarget(QPoint root);
    // What one window is to the drag: ours, an XDND target, or neither (then
    // the search goes on below it). Asked once per window and drag.
    Found classify(xcb_window_t window);
    QRect rootRectangle(xcb_window_t window);
    // What the selection server announces, made again only when the
    // pasteboard has changed.
    const QByteArrayList& announcedTypes();
    QPointF screenPoint(QPoint root) const;
    void releaseInput();
    void arm(double seconds);
    void publishFileName();
    xcb_atom_t actionAtom(XdndSource::Action action);
    std::optional<XdndSource::Action> action(xcb_atom_t atom);
    void sendMessage(const XdndSource::Target& target, const char* type,
                     const std::array<quint32, 5>& data);

    // XdndSource::Wire
    void publishTypes(const QByteArrayList& types) override;
    void sendEnter(const XdndSource::Target& target, int version,
                   const QByteArrayList& types) override;
    void sendPosition(const XdndSource::Target& target, QPoint root, quint32 time,
                      XdndSource::Action action) override;
    void sendLeave(const XdndSource::Target& target) override;
    void sendDrop(const XdndSource::Target& target, quint32 time) override;

    X11DragSessions& m_owner;
    X11Connection& m_connection;
    Clock& m_clock;
    std::vector<DraggingItem> m_items;
    DraggingSource& m_source;
    LocalDropTarget* m_localTarget;
    DragPasteboard m_pasteboard;
    XdndSource m_xdnd;
    xcb_window_t m_window = XCB_NONE;
    int m_listener = 0;
    std::unique_ptr<X11SelectionServer> m_server;
    std::unique_ptr<X11DragImage> m_image;
    bool m_grabbed = false;
    bool m_ended = false;
    bool m_overOwnWindow = false;
    bool m_targetTakesDrops = true;
    bool m_droppedThroughXdnd = false;
    // The target last entered, and how many of its requests were answered
    // by then.
    XdndSource::Target m_entered;
    quint64 m_answeredAtEnter = 0;
    QPoint m_lastRoot;
    xcb_timestamp_t m_lastTime = XCB_CURRENT_TIME;
    std::optional<std::pair<QPoint, xcb_timestamp_t>> m_pendingMotion;
    bool m_motionScheduled = false;
    QHash<xcb_window_t, Found> m_classified; // per window, for this drag
    // Per top-level window: the last window found to take the drag in it
    // and its area on the root, where that answer holds without a search.
    struct Inside {
        QRect area;
        Found found;
    };
    QHash<xcb_window_t, Inside> m_inside;
    std::optional<qint64> m_announcedAt; // the change count m_announced was made for
    QByteArrayList m_announced;
    xcb_keycode_t m_escape = 0;
    std::unique_ptr<ScheduledWork> m_patience;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

// Starts XDND drags on the given connection.
class X11DragSessions final : public DragSessions {
public:
    X11DragSessions(X11Connection& connection, Clock& clock)
        : m_connection(connection), m_clock(clock) {}

    std::unique_ptr<DragSession> beginDraggingSession(std::vector<DraggingItem> items,
                                                      DraggingSource& source) override;
    void setLocalDropTarget(LocalDropTarget* target) override { m_localTarget = target; }

    // The drag running now, if any.
    X11DragSession* current() const { return m_current; }

private:
    friend class X11DragSession;
    X11Connection& m_connection;
    Clock& m_clock;
    LocalDropTarget* m_localTarget = nullptr;
    X11DragSession* m_current = nullptr;
};

} // namespace tarvo
