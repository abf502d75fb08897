#include "DragMonitor.h"

#include "AcceptedTypes.h"

#include "TarvoCore/Log.h"
#include "TarvoCore/Preferences.h"
#include "TarvoPlatform/Clock.h"
#include "TarvoPlatform/InputState.h"
#include "TarvoPlatform/Pasteboard.h"

namespace tarvo {

DragMonitor::DragMonitor(const Preferences& preferences, Pasteboard& dragPasteboard,
                         EventMonitors& monitors, InputState& input, Clock& clock)
    : m_preferences(&preferences), m_dragPasteboard(dragPasteboard), m_monitors(monitors),
      m_input(input), m_clock(clock), m_lastSeenChangeCount(dragPasteboard.changeCount()) {}

DragMonitor::~DragMonitor() {
    stop();
}

bool DragMonitor::shouldEvaluate(double now, double lastCheckAt) {
    return lastCheckAt < 0 || now - lastCheckAt >= evaluationSpacing;
}

DragMonitor::Decision DragMonitor::decide(qint64 changeCount, qint64 lastSeenChangeCount,
                                          const QStringList& types, bool enabled, bool requireShift,
                                          bool shiftHeld) {
    if (!enabled)
        return disabled;
    if (changeCount == lastSeenChangeCount)
        return notADrag;
    if (!AcceptedTypes::canAccept(types))
        return unacceptableTypes;
    if (requireShift && !shiftHeld)
        return shiftRequired;
    return show;
}

void DragMonitor::start() {
    if (m_globalMonitor)
        return;
    Log::drag().notice(QStringLiteral("drag monitor installed"));
    // The handlers die with the monitors, which stop() removes before this
    // object goes.
    m_globalMonitor =
        m_monitors.addGlobalMonitor(eventMask, [this](const MouseEvent& e) { handle(e); });
    m_localMonitor =
        m_monitors.addLocalMonitor(eventMask, [this](const MouseEvent& e) { handle(e); });
    m_dragPasteboard.setChangeHandler([this] { dragPasteboardChanged(); });
    m_watchingPasteboard = true;
}

void DragMonitor::stop() {
    if (m_watchingPasteboard)
        m_dragPasteboard.setChangeHandler({});
    m_watchingPasteboard = false;
    if (m_globalMonitor)
        m_monitors.removeMonitor(*m_globalMonitor);
    if (m_localMonitor)
        m_monitors.removeMonitor(*m_localMonitor);
    m_globalMonitor.reset();
    m_localMonitor.reset();
    m_decidedThisGesture = false;
    m_dragActive = false;
    m_lastCheckAt = -1;
    m_leftHeld = false;
}

void DragMonitor::dragPasteboardChanged() {
    // A source takes the drag pasteboard once the pointer has gone far
    // enough, and the pointer may rest from then on: the change itself is
    // reason enough to look, without waiting for the next move.
    if (m_leftHeld && !m_decidedThisGesture)
        evaluateDrag();
}

void DragMonitor::endGesture() {
    m_watchingShake = false;
    m_shake.reset();
    m_decidedThisGesture = false;
    m_lastCheckAt = -1;
    m_draggedEventsSeen = 0;
    if (m_dragActive) {
        m_dragActive = false;
        if (m_delegate)
            m_delegate->dragMonitorDragEnded(*this);
    }
}

void DragMonitor::handle(const MouseEvent& event) {
    switch (event.type) {
    case EventType::leftMouseDragged:
        ++m_draggedEventsSeen;
        if (m_watchingShake) {
            watchForShake(event.timestamp);
            return;
        }
        if (m_decidedThisGesture || !shouldEvaluate(event.timestamp, m_lastCheckAt))
            return;
        m_lastCheckAt = event.timestamp;
        evaluateDrag();
        return;
    case EventType::leftMouseUp:
        m_leftHeld = false;
        endGesture();
        m_lastSeenChangeCount = m_dragPasteboard.changeCount();
        return;
    case EventType::leftMouseDown:
        endGesture();
        m_leftHeld = true;
        return;
    default:
        return;
    }
}

void DragMonitor::evaluateDrag() {
    const qint64 changeCount = m_dragPasteboard.changeCount();
    const bool enabled = m_preferences->showTarvoWhenDragging();
    // Runs on every move until the gesture is decided: the types are read only
    // for a new drag, the keys (a round trip to the server) only when Shift
    // matters.
    const bool shake = m_preferences->shakeToSummon();
    const bool changed = changeCount != m_lastSeenChangeCount;
    const QStringList types = (enabled || shake) && changed
                                  ? m_dragPasteboard.types().value_or(QStringList{})
                                  : QStringList{};
    const bool requireShift = m_preferences->requireShiftToShow();
    const bool shiftHeld = requireShift && (m_input.modifierFlags() & ModifierFlag::shift) != 0;

    const Decision decision =
        decide(changeCount, m_lastSeenChangeCount, types, enabled, requireShift, shiftHeld);
    if (!decision.final)
        return;

    m_decidedThisGesture = true;
    m_lastSeenChangeCount = changeCount;
    Log::drag().debug(QStringLiteral("drag decided after %1 move(s): %2")
                          .arg(QString::number(m_draggedEventsSeen), decision.reason));
    if (!decision.show) {
        // Refused only by the settings, a drag of content the shelf takes
        // may still summon it.
        m_watchingShake = shake && (decision == shiftRequired || decision == disabled) && changed &&
                          AcceptedTypes::canAccept(types);
        return;
    }

    summon();
}

void DragMonitor::watchForShake(double time) {
    if (!m_preferences->shakeToSummon()) {
        m_watchingShake = false;
        return;
    }
    if (!m_shake.add(m_input.mouseLocation().x(), time))
        return;
    m_watchingShake = false;
    Log::drag().notice(QStringLiteral("drag summoned the shelf by a shake"));
    summon();
}

void DragMonitor::summon() {
    const qint64 before = m_clock.monotonicNanoseconds();
    m_dragActive = true;
    if (m_delegate)
        m_delegate->dragMonitor(*this, m_input.mouseLocation());
    const qint64 after = m_clock.monotonicNanoseconds();
    const double ms = static_cast<double>(after - before) / 1000000.0;
    Log::drag().notice(QStringLiteral("tarvo shown in %1 ms").arg(QString::number(ms, 'f', 1)));
}

} // namespace tarvo
