#pragma once

#include "TarvoPlatform/DragOperation.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QPoint>
#include <QtGlobal>

#include <functional>
#include <optional>

namespace tarvo {

// The source side of the XDND protocol (version 5) for one drag, without the
// wire: which target is under the pointer and what it was told. A target is
// told the types at its enter; when they change while it is under the
// pointer, it is left and entered again. One position is in flight at a time
// (some targets answer each, some ask for more), and the drop waits for the
// answer to the last one. Main thread only.
class XdndSource final {
public:
    // The highest protocol version spoken; targets of lower ones below 3 are
    // not spoken to at all.
    static constexpr int version = 5;
    static constexpr int lowestVersion = 3;

    struct Target {
        quint32 window = 0;
        // Where messages go: the window itself or the proxy it names.
        quint32 proxy = 0;
        int version = 0;
        bool operator==(const Target&) const = default;
    };

    enum class Action { copy, move, link, ask, privateAction };

    // What goes out on the wire.
    class Wire {
    public:
        virtual ~Wire() = default;
        // The full type list, published on the source window before an enter.
        virtual void publishTypes(const QByteArrayList& types) = 0;
        virtual void sendEnter(const Target& target, int version, const QByteArrayList& types) = 0;
        virtual void sendPosition(const Target& target, QPoint root, quint32 time,
                                  Action action) = 0;
        virtual void sendLeave(const Target& target) = 0;
        virtual void sendDrop(const Target& target, quint32 time) = 0;
    };

    enum class State { dragging, dropWaitsForStatus, dropped, ended };

    // Called once when the drag is over, with what the target did.
    using Ended = std::function<void(DragOperation operation)>;

    XdndSource(Wire& wire, Ended ended) : m_wire(wire), m_ended(std::move(ended)) {}

    // The pointer is over `target` (none: over no target) at `root`. `types`
    // and their `generation` are what the drag offers now: a new generation
    // under the same target is a changed list.
    void moved(const std::optional<Target>& target, QPoint root, quint32 time, Action action,
               qint64 generation, const QByteArrayList& types);
    void statusReceived(quint32 window, bool accepted, std::optional<Action> action);
    void finishedReceived(quint32 window, bool accepted, std::optional<Action> action);
    // The button went up: drop on a target that accepted, else leave it.
    void released(quint32 time);
    // Escape, or the drag was taken away: whatever target is left.
    void cancel();
    // A target that never answered: after a drop, keep what it accepted.
    void timedOut();

    State state() const { return m_state; }
    const std::optional<Target>& target() const { return m_target; }
    bool accepted() const { return m_accepted; }
    bool positionInFlight() const { return m_positionInFlight; }

    static DragOperation operation(Action action);

private:
    struct Position {
        QPoint root;
        quint32 time = 0;
        Action action = Action::copy;
    };
    void enter(const Target& target, qint64 generation, const QByteArrayList& types);
    void leave();
    void sendPosition(const Position& position);
    void drop();
    void end(DragOperation operation);

    Wire& m_wire;
    Ended m_ended;
    State m_state = State::dragging;
    std::optional<Target> m_target;
    qint64 m_toldGeneration = -1;
    bool m_positionInFlight = false;
    std::optional<Position> m_pending;
    bool m_accepted = false;
    std::optional<Action> m_acceptedAction;
    quint32 m_dropTime = 0;
};

} // namespace tarvo
