#include "XdndSource.h"

#include <algorithm>

namespace tarvo {

DragOperation XdndSource::operation(Action action) {
    switch (action) {
    case Action::move:
        return DragOperation::move;
    case Action::link:
        return DragOperation::link;
    case Action::copy:
    case Action::ask:
    case Action::privateAction:
        break;
    }
    return DragOperation::copy;
}

void XdndSource::enter(const Target& target, qint64 generation, const QByteArrayList& types) {
    m_target = target;
    m_toldGeneration = generation;
    m_positionInFlight = false;
    m_pending.reset();
    m_accepted = false;
    m_acceptedAction.reset();
    m_wire.publishTypes(types);
    m_wire.sendEnter(target, std::min(target.version, version), types);
}

void XdndSource::leave() {
    if (m_target)
        m_wire.sendLeave(*m_target);
    m_target.reset();
    m_positionInFlight = false;
    m_pending.reset();
    m_accepted = false;
    m_acceptedAction.reset();
}

void XdndSource::sendPosition(const Position& position) {
    m_positionInFlight = true;
    m_wire.sendPosition(*m_target, position.root, position.time, position.action);
}

void XdndSource::moved(const std::optional<Target>& target, QPoint root, quint32 time,
                       Action action, qint64 generation, const QByteArrayList& types) {
    if (m_state != State::dragging)
        return;
    const std::optional<Target> spoken =
        target && target->version >= lowestVersion ? target : std::nullopt;
    if (spoken != m_target) {
        leave();
        if (spoken)
            enter(*spoken, generation, types);
    } else if (spoken && generation != m_toldGeneration) {
        // A target reads the list only at its enter: tell it afresh.
        leave();
        enter(*spoken, generation, types);
    }
    if (!m_target)
        return;
    const Position position{root, time, action};
    if (m_positionInFlight)
        m_pending = position;
    else
        sendPosition(position);
}

void XdndSource::statusReceived(quint32 window, bool accepted, std::optional<Action> action) {
    if (!m_target || window != m_target->window || m_state == State::dropped ||
        m_state == State::ended)
        return;
    m_positionInFlight = false;
    m_accepted = accepted;
    m_acceptedAction = accepted ? action : std::nullopt;
    if (m_pending) {
        const Position next = *m_pending;
        m_pending.reset();
        sendPosition(next);
        return;
    }
    if (m_state == State::dropWaitsForStatus)
        drop();
}

void XdndSource::released(quint32 time) {
    if (m_state != State::dragging)
        return;
    m_dropTime = time;
    if (!m_target) {
        end(DragOperation::none);
        return;
    }
    if (m_positionInFlight) {
        m_state = State::dropWaitsForStatus;
        return;
    }
    drop();
}

void XdndSource::drop() {
    if (!m_accepted) {
        leave();
        end(DragOperation::none);
        return;
    }
    m_state = State::dropped;
    m_wire.sendDrop(*m_target, m_dropTime);
}

void XdndSource::finishedReceived(quint32 window, bool accepted, std::optional<Action> action) {
    if (m_state != State::dropped || !m_target || window != m_target->window)
        return;
    // Before version 5 a finish says nothing more: the accepted action holds.
    if (m_target->version < 5) {
        end(operation(m_acceptedAction.value_or(Action::copy)));
        return;
    }
    end(accepted ? operation(action.value_or(m_acceptedAction.value_or(Action::copy)))
                 : DragOperation::none);
}

void XdndSource::cancel() {
    if (m_state == State::ended)
        return;
    if (m_state != State::dropped)
        leave();
    end(DragOperation::none);
}

void XdndSource::timedOut() {
    switch (m_state) {
    case State::dragging:
    case State::ended:
        return;
    case State::dropWaitsForStatus:
        // The drop was never answered: as if the target had refused it.
        leave();
        end(DragOperation::none);
        return;
    case State::dropped:
        // The target took the drop and may still be reading what it took:
        // its files must stay.
        end(operation(m_acceptedAction.value_or(Action::copy)));
        return;
    }
}

void XdndSource::end(DragOperation operation) {
    m_state = State::ended;
    // The owner may be gone once it has heard this.
    const Ended ended = m_ended;
    ended(operation);
}

} // namespace tarvo
