#include "ShelfStateMachine.h"

namespace tarvo {

namespace {

using Kind = ShelfEvent::Kind;
using Effect = ShelfEffect;
using EffectKind = ShelfEffect::Kind;

QString stateName(TarvoState state) {
    return QString::fromLatin1(nameOf(state));
}

QString timerName(ShelfTimer timer) {
    switch (timer) {
    case ShelfTimer::settle:
        return QStringLiteral("settle");
    case ShelfTimer::emptyCheck:
        return QStringLiteral("emptyCheck");
    case ShelfTimer::tuckAway:
        return QStringLiteral("tuckAway");
    case ShelfTimer::foldWatchdog:
        return QStringLiteral("foldWatchdog");
    case ShelfTimer::notchDwell:
        return QStringLiteral("notchDwell");
    case ShelfTimer::notice:
        return QStringLiteral("notice");
    }
    return {};
}

// One transition being worked out: the helpers are the shelf's operations,
// each adding its effects in the order they are carried out.
class Step {
public:
    Step(const ShelfState& state, const ShelfFacts& facts, Date now, const ShelfDelays& delays)
        : s(state), m_facts(facts), m_now(now), m_delays(delays) {}

    void run(const ShelfEvent& event);

    ShelfState s;
    std::vector<Effect> effects;

private:
    double since(Date at) const { return m_now.secondsSince(at); }
    void add(EffectKind kind) { effects.push_back({kind}); }
    void arm(ShelfTimer timer, double seconds) {
        Effect effect{EffectKind::arm};
        effect.timer = timer;
        effect.seconds = seconds;
        effects.push_back(effect);
    }
    void cancel(ShelfTimer timer) {
        Effect effect{EffectKind::cancel};
        effect.timer = timer;
        effects.push_back(effect);
    }
    void morph(bool animated) {
        Effect effect{EffectKind::morph, s.state};
        effect.animated = animated;
        effects.push_back(effect);
    }
    void emptyHint(bool on) {
        Effect effect{EffectKind::emptyHint};
        effect.shown = on;
        effects.push_back(effect);
    }

    bool heldOpen() const {
        return s.heldOpenAt && s.state == TarvoState::resting &&
               since(*s.heldOpenAt) < m_delays.openSettle;
    }
    // The way from the island to the preview crosses the desktop: until the
    // settle timer that leaving the island armed looks, the pointer may be on
    // its way.
    bool previewHoldsShelf() const {
        return m_facts.previewVisible() &&
               (since(s.leftIslandAt) < m_delays.islandLeave || m_facts.pointerOverPreview());
    }

    void show(TarvoState state, Effect::Screen screen) {
        cancel(ShelfTimer::tuckAway);
        s.state = state;
        Effect effect{EffectKind::show, state};
        effect.screen = screen;
        effects.push_back(effect);
    }
    void retract() {
        add(EffectKind::giveBackKeyboard);
        Effect effect{EffectKind::retract, TarvoState::hidden};
        if (s.state != TarvoState::hidden) {
            s.state = TarvoState::hidden;
            cancel(ShelfTimer::notchDwell);
            cancel(ShelfTimer::foldWatchdog);
            effect.shown = true;
        }
        effects.push_back(effect);
    }
    void hide() {
        s.heldOpenAt.reset();
        cancel(ShelfTimer::settle);
        cancel(ShelfTimer::tuckAway);
        add(EffectKind::untuck);
        s.engaged = false;
        retract();
    }
    void armWatchdog() {
        if (s.state == TarvoState::resting)
            arm(ShelfTimer::foldWatchdog, m_delays.foldWatchdog);
        else
            cancel(ShelfTimer::foldWatchdog);
    }
    // Keeps a shelf opened on purpose from folding before the person got to
    // it; an outside click ends the hold, and the watchdog folds the shelf
    // once nothing holds it any more.
    void holdOpen() {
        s.heldOpenAt = m_now;
        arm(ShelfTimer::settle, m_delays.openSettle);
        add(EffectKind::watchOutsideClicks);
        armWatchdog();
    }
    void open() {
        if (!m_facts.hasPointerScreen())
            return;
        s.engaged = true;
        emptyHint(true);
        show(TarvoState::resting, Effect::Screen::pointer);
        holdOpen();
    }
    void settleAfterDrag() {
        cancel(ShelfTimer::settle);
        if (m_facts.hasItems() && s.engaged) {
            s.state = TarvoState::resting;
            morph(true);
            arm(ShelfTimer::settle, m_delays.settle);
            return;
        }
        arm(ShelfTimer::emptyCheck, m_delays.emptyCheck);
    }
    // Folds into the tab at once, or hides an empty shelf; the folded tab has
    // nothing to type into, so the keyboard goes back.
    void foldNow() {
        cancel(ShelfTimer::settle);
        add(EffectKind::giveBackKeyboard);
        if (!m_facts.hasItems()) {
            retract();
            return;
        }
        add(EffectKind::untuck);
        s.state = TarvoState::tab;
        s.notchWakeArmed = false;
        morph(true);
        arm(ShelfTimer::tuckAway, m_delays.tuckAway);
    }
    void bloom() {
        cancel(ShelfTimer::settle);
        if (s.state != TarvoState::tab)
            return;
        add(EffectKind::untuck);
        cancel(ShelfTimer::tuckAway);
        s.engaged = true;
        s.lastBloomAt = m_now;
        s.state = TarvoState::resting;
        morph(false);
        add(EffectKind::appear);
        arm(ShelfTimer::settle, m_delays.settle);
    }
    void armDormantWake() {
        if (s.state == TarvoState::tab && s.notchWakeArmed)
            arm(ShelfTimer::notchDwell, m_delays.notchDwell);
    }
    // The pointer left the island or the preview: a resting shelf folds soon.
    void settleAfterPointerLeft() {
        if (s.state == TarvoState::resting && m_facts.hasItems() && !m_facts.dragOutOpen() &&
            !m_facts.pointerOverIsland())
            arm(ShelfTimer::settle, m_delays.islandLeave);
    }
    void noticeShown() {
        s.engaged = true;
        if (!m_facts.panelVisible() && m_facts.hasScreen())
            show(TarvoState::resting, Effect::Screen::remembered);
        add(EffectKind::showNotice);
        arm(ShelfTimer::notice, m_delays.notice);
        arm(ShelfTimer::settle, m_delays.settle);
    }
    void settleFired();
    void timerFired(ShelfTimer timer);

    const ShelfFacts& m_facts;
    Date m_now;
    const ShelfDelays& m_delays;
};

void Step::settleFired() {
    if (s.state != TarvoState::resting)
        return;
    if (heldOpen()) {
        const double left = m_delays.openSettle - since(*s.heldOpenAt);
        if (left > m_delays.minimumHoldLeft) {
            arm(ShelfTimer::settle, left);
            return;
        }
    }
    const bool held = m_facts.pointerOverIsland() || m_facts.pointerOverNotice() ||
                      m_facts.showingMenu() || m_facts.dragOutOpen() ||
                      m_facts.pointerOverPreview();
    if (m_facts.hasItems()) {
        const bool blooming = since(s.lastBloomAt) < m_delays.bloomHold;
        if (blooming || held || m_facts.keyboardFocused())
            arm(ShelfTimer::settle, m_delays.settle);
        else
            foldNow();
        return;
    }
    if (held) {
        arm(ShelfTimer::settle, m_delays.settle);
        return;
    }
    retract();
    morph(false);
}

void Step::timerFired(ShelfTimer timer) {
    switch (timer) {
    case ShelfTimer::settle:
        settleFired();
        return;
    case ShelfTimer::emptyCheck:
        if (!m_facts.hasItems() || !s.engaged) {
            retract();
            morph(false);
        }
        return;
    case ShelfTimer::tuckAway:
        if (s.state != TarvoState::tab)
            return;
        if (m_facts.pointerNearIsland() || m_facts.showingMenu())
            arm(ShelfTimer::tuckAway, m_delays.tuckAway);
        else if (m_facts.screenHasNotch())
            add(EffectKind::tuck);
        else
            hide();
        return;
    case ShelfTimer::foldWatchdog: {
        if (s.state != TarvoState::resting)
            return;
        const bool held = m_facts.pointerOverIsland() || m_facts.pointerOverNotice() ||
                          m_facts.showingMenu() || m_facts.dragOutOpen() || s.dragInFlight ||
                          previewHoldsShelf() || heldOpen() || m_facts.keyboardFocused() ||
                          since(s.lastBloomAt) < m_delays.bloomHold;
        if (held)
            armWatchdog();
        else
            foldNow();
        return;
    }
    case ShelfTimer::notchDwell:
        if (s.state == TarvoState::tab && s.notchWakeArmed && m_facts.pointerInHoverRect()) {
            s.notchWakeArmed = false;
            bloom();
        }
        return;
    case ShelfTimer::notice:
        if (m_facts.pointerOverNotice())
            arm(ShelfTimer::notice, m_delays.notice);
        else
            add(EffectKind::expireNotice);
        return;
    }
}

void Step::run(const ShelfEvent& event) {
    switch (event.kind) {
    case Kind::dragBegan:
        if (!m_facts.hasPointerScreen())
            return;
        s.dragInFlight = true;
        s.heldOpenAt.reset();
        emptyHint(false);
        add(EffectKind::offerDestinations);
        show(TarvoState::dragging, Effect::Screen::pointer);
        return;
    case Kind::dragEnded:
        s.dragInFlight = false;
        s.lastDragEndedAt = m_now;
        add(EffectKind::clearDestinations);
        settleAfterDrag();
        return;
    case Kind::dragOutBegan:
        cancel(ShelfTimer::settle);
        s.state = TarvoState::dragging;
        add(EffectKind::offerDestinations);
        morph(true);
        return;
    case Kind::chipDropped:
        s.dragInFlight = false;
        if (s.state == TarvoState::dragging) {
            s.state = TarvoState::resting;
            add(EffectKind::clearDestinations);
            morph(true);
        }
        return;
    case Kind::itemsLanded: {
        cancel(ShelfTimer::settle);
        cancel(ShelfTimer::tuckAway);
        s.engaged = true;
        const TarvoState next = s.dragInFlight ? TarvoState::dragging : TarvoState::resting;
        if (m_facts.hasScreen() && (!m_facts.panelVisible() || m_facts.islandDisappearing())) {
            show(next, Effect::Screen::remembered);
        } else {
            s.state = next;
            morph(true);
        }
        if (!s.dragInFlight)
            arm(ShelfTimer::settle, m_delays.settle);
        return;
    }
    case Kind::itemsRemoved:
        settleAfterDrag();
        return;
    case Kind::pointerEntered:
        // The tuck-away stays armed: it looks again while the pointer is near
        // the tab, so it still runs once the pointer has gone.
        if (s.state == TarvoState::tab && m_facts.hoverOpensShelf())
            armDormantWake();
        return;
    case Kind::pointerLeft:
        s.notchWakeArmed = true;
        s.leftIslandAt = m_now;
        // The person reached the shelf opened for them and went on.
        s.heldOpenAt.reset();
        settleAfterPointerLeft();
        return;
    case Kind::pointerLeftPreview:
        settleAfterPointerLeft();
        return;
    case Kind::pointerMoved:
        if (s.state != TarvoState::tab)
            return;
        if (m_facts.pointerInHoverRect()) {
            armDormantWake();
        } else {
            cancel(ShelfTimer::notchDwell);
            s.notchWakeArmed = true;
        }
        return;
    case Kind::notchClick:
        if (s.state == TarvoState::hidden) {
            open();
        } else if (s.state == TarvoState::tab) {
            cancel(ShelfTimer::notchDwell);
            s.notchWakeArmed = false;
            bloom();
        }
        return;
    case Kind::bareIslandClick:
        // The click that opened the tab ends on the island it opened: that
        // release folds nothing.
        if (s.state == TarvoState::resting && since(s.lastBloomAt) >= m_delays.bloomHoldForClicks)
            foldNow();
        return;
    case Kind::outsideClick:
        if (s.state == TarvoState::resting && !m_facts.showingMenu() && !m_facts.dragOutOpen() &&
            !s.dragInFlight && since(s.lastDragEndedAt) > m_delays.outsideClickAfterDragEnd &&
            since(s.lastBloomAt) > m_delays.outsideClickAfterBloom)
            foldNow();
        return;
    case Kind::openRequest:
        open();
        return;
    case Kind::keyboardOpenRequest:
        open();
        add(EffectKind::takeKeyboard);
        return;
    case Kind::shortcut:
        if (s.state == TarvoState::hidden) {
            open();
            add(EffectKind::takeKeyboard);
        } else {
            hide();
        }
        return;
    case Kind::undoRequest:
        // From the tray or the shortcut the shelf may be hidden: it opens, so
        // the outcome is seen rather than lost.
        if (s.state == TarvoState::hidden)
            open();
        return;
    case Kind::escape:
        add(EffectKind::giveBackKeyboard);
        hide();
        return;
    case Kind::hideRequest:
        hide();
        return;
    case Kind::noticeShown:
        noticeShown();
        return;
    case Kind::clearOffered:
        s.engaged = true;
        if (!m_facts.panelVisible() || m_facts.islandDisappearing()) {
            if (m_facts.hasScreen())
                show(TarvoState::resting, Effect::Screen::remembered);
        } else {
            s.state = TarvoState::resting;
        }
        add(EffectKind::showNotice);
        morph(true);
        // The notice stays as long as the shelf is held for it.
        arm(ShelfTimer::notice, m_delays.openSettle);
        holdOpen();
        return;
    case Kind::clearUndone:
        // The items are back because the person asked: the shelf stays for
        // them to be seen, as one opened on purpose does.
        s.heldOpenAt = m_now;
        s.state = TarvoState::resting;
        noticeShown();
        morph(true);
        return;
    case Kind::pasted:
        s.engaged = true;
        return;
    case Kind::showRequest:
        show(event.state, Effect::Screen::requested);
        return;
    case Kind::settleRequest:
        arm(ShelfTimer::settle, event.seconds);
        return;
    case Kind::foldRequest:
        foldNow();
        return;
    case Kind::bloomRequest:
        bloom();
        return;
    case Kind::refreshed:
        armWatchdog();
        return;
    case Kind::frameApplied:
        // The dwell only runs while the notch is watched.
        if (!(s.state == TarvoState::tab && m_facts.hoverOpensShelf()))
            cancel(ShelfTimer::notchDwell);
        return;
    case Kind::timerFired:
        timerFired(event.timer);
        return;
    }
}

} // namespace

QString ShelfEffect::describe() const {
    switch (kind) {
    case EffectKind::show:
        return QStringLiteral("show %1 on %2")
            .arg(stateName(state), screen == Screen::pointer      ? QStringLiteral("pointer")
                                   : screen == Screen::remembered ? QStringLiteral("remembered")
                                                                  : QStringLiteral("requested"));
    case EffectKind::morph:
        return QStringLiteral("morph %1%2")
            .arg(stateName(state), animated ? QStringLiteral(" animated") : QString());
    case EffectKind::appear:
        return QStringLiteral("appear");
    case EffectKind::retract:
        return shown ? QStringLiteral("retract") : QStringLiteral("retract unshown");
    case EffectKind::tuck:
        return QStringLiteral("tuck");
    case EffectKind::untuck:
        return QStringLiteral("untuck");
    case EffectKind::arm:
        return QStringLiteral("arm %1 %2").arg(timerName(timer)).arg(seconds);
    case EffectKind::cancel:
        return QStringLiteral("cancel %1").arg(timerName(timer));
    case EffectKind::takeKeyboard:
        return QStringLiteral("take keyboard");
    case EffectKind::giveBackKeyboard:
        return QStringLiteral("give back keyboard");
    case EffectKind::emptyHint:
        return shown ? QStringLiteral("empty hint on") : QStringLiteral("empty hint off");
    case EffectKind::showNotice:
        return QStringLiteral("show notice");
    case EffectKind::expireNotice:
        return QStringLiteral("expire notice");
    case EffectKind::offerDestinations:
        return QStringLiteral("offer destinations");
    case EffectKind::clearDestinations:
        return QStringLiteral("clear destinations");
    case EffectKind::watchOutsideClicks:
        return QStringLiteral("watch outside clicks");
    }
    return {};
}

ShelfTransition ShelfStateMachine::transition(const ShelfState& state, const ShelfEvent& event,
                                              const ShelfFacts& facts, Date now,
                                              const ShelfDelays& delays) {
    Step step(state, facts, now, delays);
    step.run(event);
    return {std::move(step.s), std::move(step.effects)};
}

std::vector<ShelfEffect> ShelfStateMachine::handle(const ShelfEvent& event, const ShelfFacts& facts,
                                                   Date now) {
    ShelfTransition result = transition(m_state, event, facts, now, m_delays);
    m_state = result.next;
    return std::move(result.effects);
}

TarvoState ShelfStateMachine::landingState() const {
    return m_state.dragInFlight ? TarvoState::dragging : TarvoState::resting;
}

bool ShelfStateMachine::isHeldOpen(Date now) const {
    return m_state.heldOpenAt && m_state.state == TarvoState::resting &&
           now.secondsSince(*m_state.heldOpenAt) < m_delays.openSettle;
}

} // namespace tarvo
