#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>

#include <xcb/xcb.h>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QSocketNotifier;

namespace tarvo {

// A connection to the X server of our own, beside Qt's: our event masks on
// other clients' windows and our selection requests stay out of Qt's way.
// Events arrive through a socket notifier on the Qt event loop and are handed
// to the listeners; the queue is drained after every handler, since xcb holds
// back events that come in while it waits for a reply. Main thread only.
class X11Connection final : public QObject {
public:
    // Returns true when the event was meant for that listener.
    using Listener = std::function<bool(const xcb_generic_event_t& event)>;

    // Connects to `displayName` (empty: $DISPLAY); none when that fails.
    static std::unique_ptr<X11Connection> open(const QByteArray& displayName = {});
    ~X11Connection() override;

    xcb_connection_t* get() const { return m_connection; }
    xcb_window_t root() const { return m_screen->root; }
    const xcb_screen_t& screen() const { return *m_screen; }
    // An unmapped InputOnly window of ours that receives selection replies.
    xcb_window_t helperWindow() const { return m_helper; }
    // Another such window, for a part that wants its replies to itself; the
    // caller destroys it.
    xcb_window_t makeInputOnlyWindow();
    // Asks XFixes to tell `window` of the changes in `mask` to `selection`'s
    // owner; the code of XFixes' first event, or 0 where the server has none.
    quint8 watchSelection(xcb_window_t window, xcb_atom_t selection, uint32_t mask);

    xcb_atom_t atom(const char* name);
    QByteArray atomName(xcb_atom_t atom);
    // The names of `atoms`, in order (empty for an unknown atom): every name
    // not yet known is asked for before any answer is read.
    std::vector<QByteArray> atomNames(const std::vector<xcb_atom_t>& atoms);

    // A connection has one event mask per window. The parts that watch the
    // same window of another client share it through these: each adds what
    // it needs and later removes exactly that, and the window is told the
    // union of what is left.
    void addEventMask(xcb_window_t window, quint32 mask);
    void removeEventMask(xcb_window_t window, quint32 mask);
    // Drops what was added for a window that is gone.
    void forgetWindow(xcb_window_t window) { m_eventMasks.remove(window); }

    // The server time of the latest XInput 2 event this connection has
    // handed on; 0 before the first.
    xcb_timestamp_t lastInputTime() const { return m_lastInputTime; }

    // Whether `window` belongs to this connection or to Qt's in this process.
    bool isOwnWindow(xcb_window_t window) const;

    // A listener may add or remove listeners while it runs; one removed then
    // is not called again, one added hears the next event.
    int addListener(Listener listener);
    void removeListener(int id);

    // Waits until the server has handled every request sent so far.
    void sync();
    void flush();
    // Hands every queued event to the listeners; later calls during a
    // dispatch only mark that another pass is needed.
    void drain();
    // Drains once the event loop runs again: for round trips made outside a
    // dispatch, whose events xcb already queued.
    void scheduleDrain();
    // Hands out what xcb has already queued, without reading the socket.
    void drainQueued();
    // Reads the socket and hands every event to the listeners as it comes,
    // until `done` holds or `milliseconds` have passed: for an answer that
    // must be had before the caller returns. Whether `done` held.
    bool dispatchUntil(const std::function<bool()>& done, int milliseconds);

    // Reads a property whole (up to `maxBytes`), none when it is not set.
    struct Property {
        xcb_atom_t type = XCB_NONE;
        quint8 format = 0;
        QByteArray value;
        bool truncated = false;
    };
    std::optional<Property> readProperty(xcb_window_t window, xcb_atom_t property,
                                         quint32 maxBytes = 1 << 16, bool remove = false);

private:
    X11Connection(xcb_connection_t* connection, int screenNumber);
    void dispatch(const xcb_generic_event_t& event);

    xcb_connection_t* m_connection;
    xcb_screen_t* m_screen = nullptr;
    xcb_window_t m_helper = XCB_NONE;
    std::unique_ptr<QSocketNotifier> m_notifier;
    void remember(const QByteArray& name, xcb_atom_t atom);
    void applyEventMask(xcb_window_t window);

    QHash<QByteArray, xcb_atom_t> m_atoms;
    QHash<xcb_atom_t, QByteArray> m_atomNames;
    QHash<xcb_window_t, std::vector<quint32>> m_eventMasks;
    struct Entry {
        int id;
        Listener listener;
        bool removed = false;
    };
    // Kept in the order they were added (a deque: adding one during a
    // dispatch moves none of the others); removals during a dispatch only
    // mark the entry and are swept once the dispatch is over.
    std::deque<Entry> m_listeners;
    int m_dispatching = 0;
    quint8 m_inputOpcode = 0;
    xcb_timestamp_t m_lastInputTime = 0;
    bool m_sweep = false;
    int m_nextListener = 1;
    bool m_draining = false;
    bool m_drainAgain = false;
    bool m_drainScheduled = false;
    quint32 m_ownBase = 0;
    quint32 m_ownMask = 0;
    quint32 m_qtBase = 0;
    quint32 m_qtMask = 0;
};

} // namespace tarvo
