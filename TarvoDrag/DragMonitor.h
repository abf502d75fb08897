#pragma once

#include "DragMonitorDelegate.h"
#include "ShakeDetector.h"

#include "TarvoPlatform/EventMonitors.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace tarvo {

class Clock;
class InputState;
class Pasteboard;
class Preferences;

// Notices, anywhere on screen, that the user began dragging content the shelf
// can take, and tells its delegate once per mouse gesture; later, that the
// drag ended. It never reads the dragged content: it watches left-mouse
// events and compares the drag pasteboard's change count with the last one it
// saw, at moves (spaced) and whenever the pasteboard says it changed while
// the button is held. A drag the shelf could take but was not to open for
// (Shift not held, or opening on drag turned off) still opens it when the
// user shakes the pointer and summoning by shaking is on. Main thread only.
class DragMonitor final {
public:
    struct Decision {
        bool show = false;
        bool final = false; // holds for the rest of the gesture
        QString reason;     // for the log
        bool operator==(const Decision&) const = default;
    };

    // The only decisions ever made.
    static inline const Decision notADrag{false, false, QStringLiteral("no drag content yet")};
    static inline const Decision unacceptableTypes{false, true,
                                                   QStringLiteral("no type Tarvo accepts")};
    static inline const Decision shiftRequired{false, true, QStringLiteral("Shift is not held")};
    static inline const Decision disabled{false, true, QStringLiteral("showing on drag is off")};
    static inline const Decision show{true, true,
                                      QStringLiteral("a real drag with content Tarvo accepts")};

    static constexpr double recheckInterval = 0.08;
    // What evaluations are spaced by: a little under the interval, so that
    // events arriving on an 80 ms rhythm are never skipped.
    static constexpr double evaluationSpacing = 0.0795;
    // Left mouse down, up and dragged.
    static constexpr EventMask eventMask = 70;

    // Reads the drag pasteboard's change count now, so that a drag written
    // before the monitor existed does not count as new. None of the arguments
    // is owned; all must outlive the monitor.
    DragMonitor(const Preferences& preferences, Pasteboard& dragPasteboard, EventMonitors& monitors,
                InputState& input, Clock& clock);
    ~DragMonitor();
    DragMonitor(const DragMonitor&) = delete;
    DragMonitor& operator=(const DragMonitor&) = delete;

    DragMonitorDelegate* delegate() const { return m_delegate; }
    void setDelegate(DragMonitorDelegate* delegate) { m_delegate = delegate; }
    const Preferences& preferences() const { return *m_preferences; }
    void setPreferences(const Preferences& preferences) { m_preferences = &preferences; }

    // Installs the event monitors; does nothing while the global one is held.
    void start();
    // Removes the monitors and forgets the gesture; the delegate is not told.
    void stop();
    bool isDragActive() const { return m_dragActive; }

    static bool shouldEvaluate(double now, double lastCheckAt);
    static Decision decide(qint64 changeCount, qint64 lastSeenChangeCount, const QStringList& types,
                           bool enabled, bool requireShift, bool shiftHeld);

    // One left-mouse event, from either monitor.
    void handle(const MouseEvent& event);

    qint64 lastSeenChangeCount() const { return m_lastSeenChangeCount; }
    qint64 draggedEventsSeen() const { return m_draggedEventsSeen; }

private:
    void evaluateDrag();
    void dragPasteboardChanged();
    void endGesture();
    void watchForShake(double time);
    // Tells the delegate that a drag it can take is on.
    void summon();

    DragMonitorDelegate* m_delegate = nullptr;
    const Preferences* m_preferences;
    Pasteboard& m_dragPasteboard;
    EventMonitors& m_monitors;
    InputState& m_input;
    Clock& m_clock;
    std::optional<EventMonitors::Token> m_globalMonitor;
    std::optional<EventMonitors::Token> m_localMonitor;
    qint64 m_lastSeenChangeCount = 0;
    bool m_decidedThisGesture = false;
    double m_lastCheckAt = -1;
    bool m_dragActive = false;
    bool m_leftHeld = false; // between a left mouse down and its up
    bool m_watchingPasteboard = false;
    qint64 m_draggedEventsSeen = 0;
    // Between a refused drag the shelf could take and the gesture's end.
    bool m_watchingShake = false;
    ShakeDetector m_shake;
};

} // namespace tarvo
