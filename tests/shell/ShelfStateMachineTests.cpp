// The shelf's transitions without windows: sequences of events on a fake
// clock, each step with the effects it must give and the state it leaves.
#include "TarvoPlatform/memory/FakeClock.h"
#include "TarvoShell/ShelfStateMachine.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <vector>

namespace tarvo {
namespace {

using Kind = ShelfEvent::Kind;
using Effects = std::vector<const char*>;

// The world the machine asks about; a shown shelf is visible until it
// retracts, as the panel is.
struct World final : ShelfFacts {
    bool items = true;
    bool pointerScreen = true;
    bool screen = true;
    bool notch = false;
    bool visible = false;
    bool disappearing = false;
    bool overIsland = false;
    bool overNotice = false;
    bool nearIsland = false;
    bool inHoverRect = false;
    bool menu = false;
    bool dragOut = false;
    bool focused = false;
    bool preview = false;
    bool overPreview = false;
    bool hoverOpens = true;

    bool hasItems() const override { return items; }
    bool hasPointerScreen() const override { return pointerScreen; }
    bool hasScreen() const override { return screen; }
    bool screenHasNotch() const override { return notch; }
    bool panelVisible() const override { return visible; }
    bool islandDisappearing() const override { return disappearing; }
    bool pointerOverIsland() const override { return overIsland; }
    bool pointerOverNotice() const override { return overNotice; }
    bool pointerNearIsland() const override { return nearIsland; }
    bool pointerInHoverRect() const override { return inHoverRect; }
    bool showingMenu() const override { return menu; }
    bool dragOutOpen() const override { return dragOut; }
    bool keyboardFocused() const override { return focused; }
    bool previewVisible() const override { return preview; }
    bool pointerOverPreview() const override { return overPreview; }
    bool hoverOpensShelf() const override { return hoverOpens; }
};

// One step of a sequence: an event, a wait on the clock (the timers that
// fall due fire) or a change in the world. A wait without effects listed
// checks only the state it leaves.
struct Step {
    enum class What { event, wait, set } what;
    ShelfEvent event{Kind::refreshed};
    double seconds = 0;
    bool World::*fact = nullptr;
    bool value = false;
    std::optional<Effects> effects;
    TarvoState state = TarvoState::hidden;
};

Step on(ShelfEvent event, Effects effects, TarvoState state) {
    return {Step::What::event, event, 0, nullptr, false, std::move(effects), state};
}
Step on(Kind kind, Effects effects, TarvoState state) {
    return on(ShelfEvent{kind}, std::move(effects), state);
}
Step wait(double seconds, Effects effects, TarvoState state) {
    return {Step::What::wait,
            ShelfEvent{Kind::refreshed},
            seconds,
            nullptr,
            false,
            std::move(effects),
            state};
}
Step waitTill(double seconds, TarvoState state) {
    return {Step::What::wait,
            ShelfEvent{Kind::refreshed},
            seconds,
            nullptr,
            false,
            std::nullopt,
            state};
}
Step set(bool World::*fact, bool value) {
    return {Step::What::set, ShelfEvent{Kind::refreshed}, 0, fact, value, Effects{}, {}};
}

Effects join(std::initializer_list<Effects> parts) {
    Effects all;
    for (const Effects& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

const Effects fold = {"cancel settle", "give back keyboard", "untuck", "morph tab animated",
                      "arm tuckAway 15"};
const Effects retract = {"give back keyboard", "cancel notchDwell", "cancel foldWatchdog",
                         "retract"};
const Effects hide = join({{"cancel settle", "cancel tuckAway", "untuck"}, retract});
const Effects open = {"empty hint on",  "cancel tuckAway",      "show resting on pointer",
                      "arm settle 4.8", "watch outside clicks", "arm foldWatchdog 0.6"};
// A cleared shelf shows its notice and holds itself open for it.
const Effects clearOffered = {"cancel tuckAway",      "show resting on remembered",
                              "show notice",          "morph resting animated",
                              "arm notice 4.8",       "arm settle 4.8",
                              "watch outside clicks", "arm foldWatchdog 0.6"};
const Effects bloom = {"cancel settle", "untuck", "cancel tuckAway",
                       "morph resting", "appear", "arm settle 2.4"};
const Effects dragBegan = {"empty hint off", "offer destinations", "cancel tuckAway",
                           "show dragging on pointer"};

// Carries the effects out as the controller does for the timers and the
// panel: the refresh that a morph or a show sets off feeds the machine again
// (the watchdog, the dwell), and those effects are carried out unrecorded.
class ShelfRun {
public:
    explicit ShelfRun(World world) : m_world(world) {}

    QStringList feed(const ShelfEvent& event) {
        QStringList said;
        handle(event, &said);
        return said;
    }
    QStringList wait(double seconds) {
        m_said.clear();
        m_recording = true;
        m_clock.advance(seconds);
        m_recording = false;
        return m_said;
    }
    World& world() { return m_world; }
    const ShelfStateMachine& machine() const { return m_machine; }

private:
    void handle(const ShelfEvent& event, QStringList* said) {
        for (const ShelfEffect& effect : m_machine.handle(event, m_world, m_clock.now())) {
            if (said)
                said->push_back(effect.describe());
            carryOut(effect);
        }
    }
    void carryOut(const ShelfEffect& effect) {
        using EffectKind = ShelfEffect::Kind;
        switch (effect.kind) {
        case EffectKind::arm:
            m_timers[slot(effect.timer)] =
                m_clock.schedule(effect.seconds, [this, timer = effect.timer] {
                    handle(ShelfEvent::fired(timer), m_recording ? &m_said : nullptr);
                });
            break;
        case EffectKind::cancel:
            m_timers.erase(slot(effect.timer));
            break;
        case EffectKind::show:
            m_world.visible = true;
            handle(ShelfEvent{Kind::frameApplied}, nullptr);
            break;
        case EffectKind::morph:
            handle(ShelfEvent{Kind::frameApplied}, nullptr);
            handle(ShelfEvent{Kind::refreshed}, nullptr);
            break;
        case EffectKind::retract:
            if (effect.shown)
                m_world.visible = false;
            break;
        default:
            break;
        }
    }
    static ShelfTimer slot(ShelfTimer timer) {
        return timer == ShelfTimer::emptyCheck ? ShelfTimer::settle : timer;
    }

    World m_world;
    FakeClock m_clock;
    ShelfStateMachine m_machine;
    std::map<ShelfTimer, std::unique_ptr<ScheduledWork>> m_timers;
    QStringList m_said;
    bool m_recording = false;
};

QStringList listed(const Effects& effects) {
    QStringList list;
    for (const char* effect : effects)
        list << QString::fromLatin1(effect);
    return list;
}


struct Sequence {
    const char* name;
    std::vector<Step> steps;
    World world{};
};

World with(std::initializer_list<std::pair<bool World::*, bool>> facts) {
    World world;
    for (const auto& [fact, value] : facts)
        world.*fact = value;
    return world;
}

// Opened on purpose, then folded into the tab.
const std::vector<Step> openedThenFolded = {
    on(Kind::openRequest, open, TarvoState::resting),
    on(Kind::foldRequest, fold, TarvoState::tab),
};

std::vector<Step> after(const std::vector<Step>& first, std::vector<Step> then) {
    std::vector<Step> steps = first;
    steps.insert(steps.end(), then.begin(), then.end());
    return steps;
}

const std::vector<Sequence> sequences = {
    {"a drag over an untouched shelf hides it after a quarter second",
     {
         on(Kind::dragBegan, dragBegan, TarvoState::dragging),
         on(Kind::dragEnded, {"clear destinations", "cancel settle", "arm emptyCheck 0.25"},
            TarvoState::dragging),
         wait(0.24, {}, TarvoState::dragging),
         wait(0.01, join({retract, {"morph hidden"}}), TarvoState::hidden),
     }},
    {"an engaged shelf rests after the drag and folds at the watchdog's first look",
     {
         on(Kind::dragBegan, dragBegan, TarvoState::dragging),
         on(Kind::itemsLanded, {"cancel settle", "cancel tuckAway", "morph dragging animated"},
            TarvoState::dragging),
         on(Kind::dragEnded,
            {"clear destinations", "cancel settle", "morph resting animated", "arm settle 2.4"},
            TarvoState::resting),
         wait(0.6, fold, TarvoState::tab),
     }},
    {"items landing on a hidden shelf show it resting until the settle time",
     {
         set(&World::overIsland, true),
         on(Kind::itemsLanded,
            {"cancel settle", "cancel tuckAway", "cancel tuckAway", "show resting on remembered",
             "arm settle 2.4"},
            TarvoState::resting),
         wait(2.4, {"arm settle 2.4"}, TarvoState::resting),
         set(&World::overIsland, false),
         on(Kind::pointerLeft, {"arm settle 0.35"}, TarvoState::resting),
         wait(0.35, fold, TarvoState::tab),
     }},
    {"a chip drop ends the dragging state and the drag's end rests the shelf",
     {
         on(Kind::dragBegan, dragBegan, TarvoState::dragging),
         on(Kind::chipDropped, {"clear destinations", "morph resting animated"},
            TarvoState::resting),
         on(Kind::chipDropped, {}, TarvoState::resting),
     }},
    {"a drag out of the shelf holds it open until it ends",
     {
         set(&World::visible, true),
         on(Kind::dragOutBegan, {"cancel settle", "offer destinations", "morph dragging animated"},
            TarvoState::dragging),
         set(&World::dragOut, true),
         on(Kind::pasted, {}, TarvoState::dragging),
         set(&World::dragOut, false),
         on(Kind::dragEnded,
            {"clear destinations", "cancel settle", "morph resting animated", "arm settle 2.4"},
            TarvoState::resting),
     }},
    {"a shelf opened on purpose holds until its settle time",
     {
         on(Kind::openRequest, open, TarvoState::resting),
         waitTill(4.7, TarvoState::resting),
         waitTill(0.2, TarvoState::tab),
     }},
    {"a shelf opened on purpose folds once the pointer was over it and left",
     {
         on(Kind::openRequest, open, TarvoState::resting),
         wait(1.0, {"arm foldWatchdog 0.6"}, TarvoState::resting),
         on(Kind::pointerEntered, {}, TarvoState::resting),
         on(Kind::pointerLeft, {"arm settle 0.35"}, TarvoState::resting),
         wait(0.2, fold, TarvoState::tab),
     }},
    {"escape ends the hold of a shelf opened on purpose",
     {
         on(Kind::openRequest, open, TarvoState::resting),
         on(Kind::escape, join({{"give back keyboard"}, hide}), TarvoState::hidden),
         wait(5, {}, TarvoState::hidden),
     }},
    {"an outside click ends the hold of a shelf opened on purpose",
     {
         on(Kind::openRequest, open, TarvoState::resting),
         wait(1.0, {"arm foldWatchdog 0.6"}, TarvoState::resting),
         on(Kind::outsideClick, fold, TarvoState::tab),
     }},
    {"an outside click right after a drag or a bloom keeps the shelf resting",
     {
         on(Kind::dragBegan, dragBegan, TarvoState::dragging),
         on(Kind::itemsLanded, {"cancel settle", "cancel tuckAway", "morph dragging animated"},
            TarvoState::dragging),
         on(Kind::outsideClick, {}, TarvoState::dragging),
         set(&World::overIsland, true),
         on(Kind::dragEnded,
            {"clear destinations", "cancel settle", "morph resting animated", "arm settle 2.4"},
            TarvoState::resting),
         wait(0.8, {"arm foldWatchdog 0.6"}, TarvoState::resting),
         on(Kind::outsideClick, {}, TarvoState::resting),
         wait(0.1, {}, TarvoState::resting),
         on(Kind::outsideClick, fold, TarvoState::tab),
         on(Kind::notchClick, join({{"cancel notchDwell"}, bloom}), TarvoState::resting),
         wait(0.29, {}, TarvoState::resting),
         on(Kind::outsideClick, {}, TarvoState::resting),
         wait(0.02, {}, TarvoState::resting),
         on(Kind::outsideClick, fold, TarvoState::tab),
     }},
    {"the release of the click that opened the tab does not fold it",
     after(openedThenFolded,
           {
               on(Kind::notchClick, join({{"cancel notchDwell"}, bloom}), TarvoState::resting),
               wait(0.1, {}, TarvoState::resting),
               on(Kind::bareIslandClick, {}, TarvoState::resting),
               wait(0.35, {}, TarvoState::resting),
               on(Kind::bareIslandClick, fold, TarvoState::tab),
           })},
    {"a notch click opens a hidden shelf and leaves a resting or dragging one",
     {
         on(Kind::notchClick, open, TarvoState::resting),
         on(Kind::notchClick, {}, TarvoState::resting),
         on(Kind::dragBegan, dragBegan, TarvoState::dragging),
         on(Kind::notchClick, {}, TarvoState::dragging),
     }},
    {"the tab beside the pointer stays and goes once the pointer left, without a notch",
     after(openedThenFolded,
           {
               set(&World::nearIsland, true),
               wait(15, {"arm tuckAway 15"}, TarvoState::tab),
               set(&World::nearIsland, false),
               set(&World::menu, true),
               wait(15, {"arm tuckAway 15"}, TarvoState::tab),
               set(&World::menu, false),
               wait(15, hide, TarvoState::hidden),
           })},
    {"the tab on a notched screen dims after the tuck-away time and stays",
     after(openedThenFolded,
           {
               wait(15, {"tuck"}, TarvoState::tab),
               wait(60, {}, TarvoState::tab),
           }),
     with({{&World::notch, true}})},
    {"the shortcut opens a shelf that keeps the keyboard and holds while focused",
     {
         on(Kind::shortcut, join({open, {"take keyboard"}}), TarvoState::resting),
         set(&World::focused, true),
         waitTill(10, TarvoState::resting),
         set(&World::focused, false),
         waitTill(2.4, TarvoState::tab),
         on(Kind::shortcut, hide, TarvoState::hidden),
     }},
    {"the shortcut hides a shown shelf and forgets the engagement",
     {
         on(Kind::shortcut, join({open, {"take keyboard"}}), TarvoState::resting),
         on(Kind::shortcut, hide, TarvoState::hidden),
         on(Kind::dragBegan, dragBegan, TarvoState::dragging),
         on(Kind::dragEnded, {"clear destinations", "cancel settle", "arm emptyCheck 0.25"},
            TarvoState::dragging),
     }},
    {"resting at the notch for the dwell time blooms the tab, once per visit",
     after(openedThenFolded,
           {
               set(&World::inHoverRect, true),
               on(Kind::pointerMoved, {}, TarvoState::tab),
               set(&World::inHoverRect, false),
               on(Kind::pointerMoved, {"cancel notchDwell"}, TarvoState::tab),
               set(&World::inHoverRect, true),
               on(Kind::pointerMoved, {"arm notchDwell 0.4"}, TarvoState::tab),
               wait(0.39, {}, TarvoState::tab),
               wait(0.01, bloom, TarvoState::resting),
           })},
    {"leaving the notch before the dwell ends keeps the tab",
     after(openedThenFolded,
           {
               on(Kind::pointerLeft, {}, TarvoState::tab),
               on(Kind::pointerEntered, {"arm notchDwell 0.4"}, TarvoState::tab),
               set(&World::inHoverRect, false),
               on(Kind::pointerMoved, {"cancel notchDwell"}, TarvoState::tab),
               wait(1, {}, TarvoState::tab),
           })},
    {"an empty shelf retracts at its settle time unless the pointer is on it",
     {
         on(Kind::openRequest, open, TarvoState::resting),
         set(&World::items, false),
         set(&World::overIsland, true),
         waitTill(4.8, TarvoState::resting),
         set(&World::overIsland, false),
         waitTill(2.4, TarvoState::hidden),
     }},
    {"a notice shows a hidden shelf resting and folds it at the settle time",
     {
         on(Kind::noticeShown,
            {"cancel tuckAway", "show resting on remembered", "show notice", "arm notice 2.5",
             "arm settle 2.4"},
            TarvoState::resting),
         // Shown, not refreshed: no watchdog looks, the settle timer does.
         set(&World::overIsland, true),
         wait(2.5, {"arm settle 2.4", "expire notice"}, TarvoState::resting),
         set(&World::overIsland, false),
         wait(2.4, fold, TarvoState::tab),
     }},
    {"a cleared shelf is held for its notice, and its undo rests it",
     {
         set(&World::items, false),
         on(Kind::clearOffered, clearOffered, TarvoState::resting),
         wait(4.7,
              {"arm foldWatchdog 0.6", "arm foldWatchdog 0.6", "arm foldWatchdog 0.6",
               "arm foldWatchdog 0.6", "arm foldWatchdog 0.6", "arm foldWatchdog 0.6",
               "arm foldWatchdog 0.6"},
              TarvoState::resting),
         set(&World::items, true),
         on(Kind::clearUndone,
            {"show notice", "arm notice 2.5", "arm settle 2.4", "morph resting animated"},
            TarvoState::resting),
         // The items came back on purpose: held like a shelf opened so.
         waitTill(4.7, TarvoState::resting),
         waitTill(0.2, TarvoState::tab),
     }},
    {"the pointer on a notice keeps it and holds the shelf until it leaves",
     {
         set(&World::items, false),
         set(&World::overNotice, true),
         on(Kind::clearOffered, clearOffered, TarvoState::resting),
         // Past the hold and the notice's own time: both are kept.
         waitTill(10, TarvoState::resting),
         set(&World::overNotice, false),
         waitTill(0.6, TarvoState::hidden),
     }},
    {"without a screen nothing opens",
     {
         on(Kind::dragBegan, {}, TarvoState::hidden),
         on(Kind::openRequest, {}, TarvoState::hidden),
         on(Kind::notchClick, {}, TarvoState::hidden),
         on(Kind::keyboardOpenRequest, {"take keyboard"}, TarvoState::hidden),
         on(Kind::noticeShown, {"show notice", "arm notice 2.5", "arm settle 2.4"},
            TarvoState::hidden),
     },
     with({{&World::pointerScreen, false}, {&World::screen, false}})},
    {"the preview holds a resting shelf while the pointer is in it or on its way",
     {
         set(&World::preview, true),
         on(Kind::openRequest, open, TarvoState::resting),
         on(Kind::pointerLeft, {"arm settle 0.35"}, TarvoState::resting),
         wait(0.34, {}, TarvoState::resting),
         set(&World::overPreview, true),
         waitTill(3, TarvoState::resting),
         set(&World::overPreview, false),
         on(Kind::pointerLeftPreview, {"arm settle 0.35"}, TarvoState::resting),
         waitTill(0.35, TarvoState::tab),
     }},
};

TEST(ShelfStateMachine, SequencesGiveTheirEffectsAndStates) {
    for (const Sequence& sequence : sequences) {
        ShelfRun run(sequence.world);
        int index = 0;
        for (const Step& step : sequence.steps) {
            ++index;
            QStringList said;
            switch (step.what) {
            case Step::What::set:
                run.world().*step.fact = step.value;
                continue;
            case Step::What::event:
                said = run.feed(step.event);
                break;
            case Step::What::wait:
                said = run.wait(step.seconds);
                break;
            }
            const std::string where =
                std::string(sequence.name) + ", step " + std::to_string(index);
            if (step.effects) {
                EXPECT_EQ(said.join(u", ").toStdString(),
                          listed(*step.effects).join(u", ").toStdString())
                    << where;
            }
            EXPECT_STREQ(nameOf(run.machine().state()), nameOf(step.state)) << where;
        }
    }
}

// What the transitions remember: engagement decides whether a drag's end
// rests or hides the shelf, and only hiding forgets it.
TEST(ShelfStateMachine, EngagementLastsUntilTheShelfHides) {
    const struct {
        const char* name;
        Kind event;
        bool engaged;
    } cases[] = {
        {"opened", Kind::openRequest, true},
        {"items landed", Kind::itemsLanded, true},
        {"pasted", Kind::pasted, true},
        {"notice", Kind::noticeShown, true},
        {"clear offered", Kind::clearOffered, true},
        {"drag began", Kind::dragBegan, false},
        {"refreshed", Kind::refreshed, false},
    };
    for (const auto& c : cases) {
        ShelfRun run(World{});
        run.feed(ShelfEvent{c.event});
        EXPECT_EQ(run.machine().value().engaged, c.engaged) << c.name;
        run.feed(ShelfEvent{Kind::hideRequest});
        EXPECT_FALSE(run.machine().value().engaged) << c.name;
        EXPECT_EQ(run.machine().state(), TarvoState::hidden) << c.name;
    }
}

// The events the controller feeds back while it lays the shelf out change
// nothing the machine remembers, in any state.
TEST(ShelfStateMachine, RefreshAndFrameEventsChangeNoState) {
    const std::vector<std::vector<Step>> ways = {
        {},
        {on(Kind::openRequest, open, TarvoState::resting)},
        openedThenFolded,
        {on(Kind::dragBegan, dragBegan, TarvoState::dragging)}};
    for (const std::vector<Step>& way : ways) {
        ShelfRun run(World{});
        for (const Step& step : way)
            run.feed(step.event);
        const ShelfState before = run.machine().value();
        run.feed(ShelfEvent{Kind::refreshed});
        run.feed(ShelfEvent{Kind::frameApplied});
        EXPECT_EQ(run.machine().value(), before) << nameOf(before.state);
    }
}

} // namespace
} // namespace tarvo
