#pragma once

#include "TarvoCore/Date.h"
#include "TarvoCore/TarvoState.h"

#include <QString>

#include <optional>
#include <vector>

namespace tarvo {

// The delayed work that moves the shelf on its own. The settle timer and the
// empty check share one slot: arming the one cancels the other.
enum class ShelfTimer { settle, emptyCheck, tuckAway, foldWatchdog, notchDwell, notice };

// How long each step of the shelf waits, in seconds.
struct ShelfDelays {
    // A shelf at rest folds into the tab after this.
    double settle = 2.4;
    // A shelf opened on purpose stays at least this long unless the pointer
    // came and went: the longest of the settle delays.
    double openSettle = 4.8;
    // How long after the pointer left the island the shelf folds.
    double islandLeave = 0.35;
    // After a drag, how soon an untouched or empty shelf hides.
    double emptyCheck = 0.25;
    double tuckAway = 15.0;
    double foldWatchdog = 0.6;
    // How long the pointer rests at the notch before the tab opens.
    double notchDwell = 0.4;
    // How long a caption stays.
    double notice = 2.5;
    // A bloom this recent holds the shelf open against the timers.
    double bloomHold = 0.4;
    // A click on the bare island this soon after the tab opened is the
    // opening click's own release.
    double bloomHoldForClicks = 0.4;
    double outsideClickAfterDragEnd = 0.8;
    double outsideClickAfterBloom = 0.3;
    // A last sliver of a hold is not worth another timer.
    double minimumHoldLeft = 0.05;
};

// What happened to the shelf, from the person, the drag, the view or a timer.
struct ShelfEvent {
    enum class Kind {
        dragBegan,
        dragEnded,
        dragOutBegan,
        chipDropped,
        itemsLanded,
        itemsRemoved,
        pointerEntered,
        pointerLeft,
        pointerLeftPreview,
        pointerMoved,
        notchClick,
        bareIslandClick,
        outsideClick,
        openRequest,
        keyboardOpenRequest,
        shortcut,
        undoRequest,
        escape,
        hideRequest,
        noticeShown,
        clearOffered,
        clearUndone,
        pasted,
        showRequest,
        settleRequest,
        foldRequest,
        bloomRequest,
        refreshed,
        frameApplied,
        timerFired,
    };
    Kind kind;
    // showRequest: the state to show in.
    TarvoState state = TarvoState::resting;
    // settleRequest: when to look.
    double seconds = 0;
    // timerFired: which one.
    ShelfTimer timer = ShelfTimer::settle;

    static ShelfEvent fired(ShelfTimer timer) { return {Kind::timerFired, {}, 0, timer}; }
    static ShelfEvent show(TarvoState state) { return {Kind::showRequest, state, 0, {}}; }
    static ShelfEvent settle(double seconds) {
        return {Kind::settleRequest, TarvoState::resting, seconds, {}};
    }
};

// What the controller carries out for a transition, in order.
struct ShelfEffect {
    enum class Kind {
        // Orders the panel front in `state` and opens the island on `screen`.
        show,
        // Lays the shelf out in `state` (animated or not).
        morph,
        // Plays the island's appear animation.
        appear,
        // Hides the cursor badge and, when the shelf was shown (`shown`),
        // stops watching the pointer and plays the disappear animation.
        retract,
        // Dims the tab's glow, or lights it again.
        tuck,
        untuck,
        arm,
        cancel,
        takeKeyboard,
        giveBackKeyboard,
        // The empty shelf's hint on or off (`shown`).
        emptyHint,
        // The caption asked for goes up.
        showNotice,
        // The caption goes when it is still the one its timer was armed for.
        expireNotice,
        // The destination chips for the drag go up, or away.
        offerDestinations,
        clearDestinations,
        // Clicks elsewhere are watched while the shelf rests visibly.
        watchOutsideClicks,
    };
    // Where `show` finds its screen.
    enum class Screen { pointer, remembered, requested };

    Kind kind;
    TarvoState state = TarvoState::hidden;
    bool animated = false;
    bool shown = false;
    Screen screen = Screen::pointer;
    ShelfTimer timer = ShelfTimer::settle;
    double seconds = 0;

    bool operator==(const ShelfEffect&) const = default;
    // One line for logs and test failures, such as "arm settle 2.4".
    QString describe() const;
};

// What the machine asks of the world while it decides; read only when a
// transition needs it, since some answers ask the window system.
class ShelfFacts {
public:
    virtual ~ShelfFacts() = default;
    virtual bool hasItems() const = 0;
    virtual bool hasPointerScreen() const = 0;
    // A remembered screen or one under the pointer.
    virtual bool hasScreen() const = 0;
    virtual bool screenHasNotch() const = 0;
    virtual bool panelVisible() const = 0;
    virtual bool islandDisappearing() const = 0;
    virtual bool pointerOverIsland() const = 0;
    // On a notice that takes a click: on its way to click it, the pointer
    // keeps the notice and holds the shelf as over the island.
    virtual bool pointerOverNotice() const = 0;
    virtual bool pointerNearIsland() const = 0;
    // Where resting the pointer wakes the tab.
    virtual bool pointerInHoverRect() const = 0;
    virtual bool showingMenu() const = 0;
    virtual bool dragOutOpen() const = 0;
    // The panel is the active window and takes the keys.
    virtual bool keyboardFocused() const = 0;
    virtual bool previewVisible() const = 0;
    virtual bool pointerOverPreview() const = 0;
    virtual bool hoverOpensShelf() const = 0;
};

// The shelf's state and what the transitions remember besides it.
struct ShelfState {
    TarvoState state = TarvoState::hidden;
    bool dragInFlight = false;
    // Whether the person used the shelf since it last hid: a drag over an
    // untouched shelf ends with it hidden, not resting.
    bool engaged = false;
    // Resting at the notch opens the tab only after the pointer left it once
    // since the last bloom.
    bool notchWakeArmed = true;
    Date lastBloomAt = Date::fromSecondsSince1970(-1e12);
    Date lastDragEndedAt = Date::fromSecondsSince1970(-1e12);
    Date leftIslandAt = Date::fromSecondsSince1970(-1e12);
    // When the shelf was opened on purpose, until the person reached it.
    std::optional<Date> heldOpenAt;

    bool operator==(const ShelfState&) const = default;
};

struct ShelfTransition {
    ShelfState next;
    std::vector<ShelfEffect> effects;
};

// The shelf's states as one table: every change of state is a transition of
// an event, and the controller only carries out the effects.
class ShelfStateMachine final {
public:
    explicit ShelfStateMachine(ShelfDelays delays = {}) : m_delays(delays) {}

    // The whole table: from a state and an event at `now` to the next state
    // and its effects.
    static ShelfTransition transition(const ShelfState& state, const ShelfEvent& event,
                                      const ShelfFacts& facts, Date now, const ShelfDelays& delays);

    // Takes the transition and keeps its state; the effects are the caller's.
    std::vector<ShelfEffect> handle(const ShelfEvent& event, const ShelfFacts& facts, Date now);

    const ShelfState& value() const { return m_state; }
    TarvoState state() const { return m_state.state; }
    const ShelfDelays& delays() const { return m_delays; }
    // The state items landing now leave the shelf in.
    TarvoState landingState() const;
    // Whether a shelf opened on purpose is still held open for the person.
    bool isHeldOpen(Date now) const;

private:
    ShelfDelays m_delays;
    ShelfState m_state;
};

} // namespace tarvo
