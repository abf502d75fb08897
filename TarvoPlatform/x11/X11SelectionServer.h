#pragma once

#include "TarvoPlatform/PasteboardItem.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

#include <xcb/xcb.h>

#include <functional>
#include <list>
#include <map>
#include <memory>
#include <optional>
#include <vector>

class QFile;

namespace tarvo {

class Clock;
class DragPasteboard;
class ScheduledWork;
class X11Connection;

// Answers what targets ask of a drag out of the shelf while it owns the drag
// selection: the list of targets, the data of one type (joined over all
// items where a list or text is asked for, sent in pieces with INCR when it
// is larger than one request carries, a file read piece by piece as it is
// sent), and the direct-save request of the XDS protocol. Answers may come
// later than the request; a request still open when the server goes is
// answered with no data. Main thread only.
class X11SelectionServer final {
public:
    using Phase = std::function<DataRequestPhase()>;

    X11SelectionServer(X11Connection& connection, xcb_window_t owner, DragPasteboard& pasteboard,
                       Clock& clock, Phase phase);
    ~X11SelectionServer();
    X11SelectionServer(const X11SelectionServer&) = delete;
    X11SelectionServer& operator=(const X11SelectionServer&) = delete;

    // The windows of the drop's target (itself and the proxy it names) once
    // the drop has been sent; none before.
    using DropTarget = std::function<std::vector<xcb_window_t>()>;
    // Only a client that owns one of these windows gets a file saved where it
    // asks: without it, no direct save is made.
    void setDropTarget(DropTarget target) { m_dropTarget = std::move(target); }

    // What the pasteboard offers now, as MIME types and atom names.
    QByteArrayList announcedTypes() const;
    // Returns true for the selection requests and property changes it handled.
    bool handle(const xcb_generic_event_t& event);

    // The largest answer sent in one piece.
    quint32 chunkSize() const { return m_chunk; }
    int openRequests() const { return static_cast<int>(m_pending.size()); }
    // How many requests were answered with data, a file saved where asked
    // included; a drop that moved this handed nothing over.
    quint64 answeredRequests() const { return m_answered; }
    // The same, counting only the requests of the client that owns `window`.
    quint64 answeredRequests(xcb_window_t window) const;

private:
    struct Request {
        xcb_window_t requestor = XCB_NONE;
        xcb_atom_t selection = XCB_NONE;
        xcb_atom_t target = XCB_NONE;
        xcb_atom_t property = XCB_NONE;
        xcb_timestamp_t time = 0;
    };
    struct Transfer;

    void serve(const Request& request);
    // Ends what an earlier request on the same requestor and property still
    // has open, unanswered or in pieces.
    void endEarlierOn(const Request& request);
    void serveData(quint64 id, const QByteArray& target);
    void saveDirectly(quint64 id);
    // Whether `requestor` belongs to the client that took the drop.
    bool isDropTarget(xcb_window_t requestor) const;
    // The bits all windows of `window`'s client share.
    quint32 clientOf(xcb_window_t window) const;
    void answered(xcb_window_t requestor);
    // Answers the open request `id`, if it is still open.
    void reply(quint64 id, const std::optional<PasteboardData>& data);
    void replyBytes(quint64 id, const QByteArray& bytes, xcb_atom_t type);
    void notify(const Request& request, xcb_atom_t property);
    void startTransfer(const Request& request, const PasteboardData& data, qint64 size);
    void armPatience(Transfer& transfer);
    void sendNext(Transfer& transfer);
    void finishTransfer(Transfer& transfer);
    void selectPropertyChanges(xcb_window_t window, bool on);

    X11Connection& m_connection;
    xcb_window_t m_owner;
    DragPasteboard& m_pasteboard;
    Clock& m_clock;
    Phase m_phase;
    DropTarget m_dropTarget;
    quint32 m_chunk;
    std::list<std::unique_ptr<Transfer>> m_transfers;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    // Requests not answered yet; answered with no data if still open at the end.
    std::map<quint64, Request> m_pending;
    quint64 m_nextID = 1;
    quint64 m_answered = 0;
    std::map<quint32, quint64> m_answeredByClient;
};

} // namespace tarvo
