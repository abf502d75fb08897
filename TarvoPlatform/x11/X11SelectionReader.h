#pragma once

#include "X11Connection.h"

#include <QTimer>

#include <xcb/xcb.h>

#include <array>
#include <deque>
#include <functional>
#include <optional>

namespace tarvo {

// Reads targets of one selection from whichever client owns it, one after
// the other in the order asked, into a window of its own and without ever
// blocking: each answer is taken as its events arrive, a large one in the
// pieces its owner sends (INCR), and an owner that stays silent past the
// deadline gives nothing. Main thread only.
class X11SelectionReader final {
public:
    // The answer, or none when the owner refused, gave up, or was too slow.
    using Done = std::function<void(std::optional<X11Connection::Property> answer)>;

    // The most one answer may hold; a larger one is given up.
    static constexpr int maxBytes = 64 << 20;

    // `connection` is not owned. `milliseconds` is the deadline of each read,
    // counted again whenever a piece of a large answer arrives.
    X11SelectionReader(X11Connection& connection, xcb_atom_t selection, int milliseconds);
    ~X11SelectionReader();
    X11SelectionReader(const X11SelectionReader&) = delete;
    X11SelectionReader& operator=(const X11SelectionReader&) = delete;

    // Asks for `target` as of `time` (the moment the owner took the
    // selection, or CurrentTime) once the reads asked before are over.
    void read(xcb_atom_t target, xcb_timestamp_t time, Done done);
    // Ends every read asked so far, each told it got nothing.
    void cancel();
    // Whether the read under way is taking an answer in pieces.
    bool inPieces() const { return m_pieces.has_value(); }

private:
    struct Read {
        xcb_atom_t target = XCB_NONE;
        xcb_timestamp_t time = XCB_CURRENT_TIME;
        Done done;
    };

    bool handle(const xcb_generic_event_t& event);
    void startNext();
    void finish(std::optional<X11Connection::Property> answer);

    X11Connection& m_connection;
    xcb_atom_t m_selection;
    // Each read gets the next of a few properties: an owner still answering
    // an earlier read writes where nobody looks any more.
    std::array<xcb_atom_t, 4> m_properties{};
    std::size_t m_started = 0;
    xcb_atom_t m_property = XCB_NONE;
    xcb_atom_t m_incr;
    xcb_window_t m_window;
    int m_listener = 0;
    std::deque<Read> m_reads;
    // Whether the front read was sent; and, for an answer in pieces, what has
    // come of it so far.
    bool m_sent = false;
    std::optional<X11Connection::Property> m_pieces;
    QTimer m_deadline;
};

} // namespace tarvo
