#include "support/RecordingLogSink.h"

#include "TarvoPlatform/HotkeyKeys.h"
#include "TarvoPlatform/memory/MemoryHotkeyGrabber.h"
#include "TarvoPlatform/x11/X11HotkeyGrabber.h"
#include "TarvoShell/HotkeyMonitor.h"

#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include <algorithm>

using namespace tarvo;

namespace {

constexpr HotkeySpec optionSpace = HotkeySpec::defaultSpec();
constexpr HotkeySpec commandShiftK{40, HotkeySpec::command | HotkeySpec::shift};

struct Fixture {
    Fixture() {
        monitor = std::make_unique<HotkeyMonitor>(grabber);
        monitor->onTrigger = [this] { ++triggers; };
    }
    MemoryHotkeyGrabber grabber;
    MemoryHotkeyGrabber* keyboard = &grabber;
    std::unique_ptr<HotkeyMonitor> monitor;
    int triggers = 0;
};

} // namespace

TEST(HotkeyMonitor, ActivatingAgainReplacesTheShortcut) {
    Fixture f;
    EXPECT_TRUE(f.monitor->activate(optionSpace));
    EXPECT_TRUE(f.monitor->activate(commandShiftK));
    EXPECT_TRUE(f.monitor->isActive());
    EXPECT_EQ(f.monitor->spec(), commandShiftK);
    EXPECT_EQ(f.keyboard->grabbed(), commandShiftK);
    EXPECT_FALSE(f.keyboard->press(optionSpace)) << "the first shortcut is gone";
    EXPECT_TRUE(f.keyboard->press(commandShiftK));
    EXPECT_EQ(f.triggers, 1);
}

TEST(HotkeyMonitor, RefusedRegistrationLeavesItInactiveWithItsReason) {
    Fixture f;
    test::RecordingLogSink log;
    f.keyboard->taken = {optionSpace};
    f.keyboard->takenBy = QStringLiteral("Openbox");
    EXPECT_FALSE(f.monitor->activate(optionSpace));
    EXPECT_FALSE(f.monitor->isActive());
    EXPECT_EQ(f.monitor->spec(), std::nullopt);
    ASSERT_TRUE(f.monitor->lastFailure());
    EXPECT_EQ(f.monitor->lastFailure()->kind, HotkeyFailure::Kind::taken);
    const auto lines = log.lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        QStringLiteral("ui error: could not register the hotkey Alt+Space: the "
                                       "window manager Openbox holds it for its window menu "
                                       "(X error 10, BadAccess)")),
              lines.end());
    const QString message = HotkeyMonitor::failureMessage(optionSpace, *f.monitor->lastFailure());
    EXPECT_TRUE(message.contains(QStringLiteral("Alt+Space"))) << message.toStdString();
    EXPECT_TRUE(message.contains(QStringLiteral("Openbox"))) << message.toStdString();

    // Another shortcut works, and the old reason goes.
    EXPECT_TRUE(f.monitor->activate(commandShiftK));
    EXPECT_EQ(f.monitor->lastFailure(), std::nullopt);
}

TEST(HotkeyMonitor, TheShortcutHeldIsLeftAloneAndANewOneIsHeldBeforeTheOldGoes) {
    using Step = MemoryHotkeyGrabber::Step;
    Fixture f;
    EXPECT_TRUE(f.monitor->activate(optionSpace));
    // A settings change that leaves the shortcut as it was grabs nothing again,
    // whatever bits outside the shortcut's modifiers come along.
    EXPECT_TRUE(f.monitor->activate(optionSpace));
    EXPECT_TRUE(f.monitor->activate({49, HotkeySpec::option | 0x10000}));
    EXPECT_EQ(f.keyboard->grabCalls, 1);

    EXPECT_TRUE(f.monitor->activate(commandShiftK));
    EXPECT_EQ(
        f.keyboard->steps,
        (std::vector<Step>{{true, optionSpace}, {true, commandShiftK}, {false, optionSpace}}));

    // After a refusal nothing is held, so the same shortcut is tried again.
    f.keyboard->steps.clear();
    f.keyboard->taken = {optionSpace};
    EXPECT_FALSE(f.monitor->activate(optionSpace));
    EXPECT_EQ(f.keyboard->steps, (std::vector<Step>{{false, commandShiftK}}));
    f.keyboard->taken.clear();
    EXPECT_TRUE(f.monitor->activate(optionSpace));
    EXPECT_TRUE(f.keyboard->press(optionSpace));
}

TEST(HotkeyMonitor, DeactivateIsSafeAndStopsPresses) {
    Fixture f;
    f.monitor->deactivate();
    EXPECT_FALSE(f.monitor->isActive());
    f.monitor->activate(optionSpace);
    f.monitor->deactivate();
    EXPECT_FALSE(f.keyboard->press(optionSpace));
    EXPECT_EQ(f.triggers, 0);
    EXPECT_EQ(f.monitor->spec(), std::nullopt);

    // A press without a closure does nothing harmful.
    f.monitor->onTrigger = nullptr;
    f.monitor->activate(optionSpace);
    EXPECT_TRUE(f.keyboard->press(optionSpace));
}

TEST(HotkeyMonitor, MatchesComparesOnlyTheShortcutModifiers) {
    constexpr quint64 capsLock = 0x10000;
    constexpr quint64 function = 0x800000;
    struct Case {
        const char* name;
        quint16 keyCode;
        quint64 flags;
        bool matches;
    };
    const Case cases[] = {
        {"exact", 49, HotkeySpec::option, true},
        {"with Caps Lock", 49, HotkeySpec::option | capsLock, true},
        {"with the function flag", 49, HotkeySpec::option | function, true},
        {"with Shift too", 49, HotkeySpec::option | HotkeySpec::shift, false},
        {"without Option", 49, 0, false},
        {"another key", 48, HotkeySpec::option, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HotkeyMonitor::matches(optionSpace, c.keyCode, c.flags), c.matches) << c.name;
}

TEST(HotkeyMonitor, ModifiersAndKeysOnX11) {
    struct Case {
        const char* name;
        HotkeySpec spec;
        quint16 mask;
        const char* text;
    };
    const Case cases[] = {
        {"Option-Space", optionSpace, XCB_MOD_MASK_1, "Alt+Space"},
        {"Command-Shift-K", commandShiftK, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_SHIFT,
         "Ctrl+Shift+K"},
        {"Control-Option-Command-F1",
         {122, HotkeySpec::control | HotkeySpec::option | HotkeySpec::command},
         XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4,
         "Ctrl+Alt+Super+F1"},
        {"Caps Lock is no modifier of a shortcut", {0, 0x10000}, 0, "A"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(X11HotkeyGrabber::modifierMask(c.spec.modifierFlags), c.mask) << c.name;
        EXPECT_EQ(HotkeyKeys::text(c.spec), QString::fromLatin1(c.text)) << c.name;
    }
    EXPECT_EQ(HotkeyKeys::key(49)->keysym, 0x20u);
    EXPECT_EQ(HotkeyKeys::key(52), std::nullopt) << "no key has that code";
}

TEST(HotkeyMonitor, LockKeysAreGrabbedInEveryCombination) {
    constexpr quint16 lock = XCB_MOD_MASK_LOCK;
    struct Case {
        const char* name;
        quint16 numLock;
        quint16 scrollLock;
        std::vector<quint16> variants;
    };
    const Case cases[] = {
        {"Num Lock on Mod2", XCB_MOD_MASK_2, 0, {0, lock, XCB_MOD_MASK_2, XCB_MOD_MASK_2 | lock}},
        {"no lock keys mapped", 0, 0, {0, lock}},
        {"Num Lock on Mod3, Scroll Lock on Mod5",
         XCB_MOD_MASK_3,
         XCB_MOD_MASK_5,
         {0, lock, XCB_MOD_MASK_3, XCB_MOD_MASK_3 | lock, XCB_MOD_MASK_5, XCB_MOD_MASK_5 | lock,
          XCB_MOD_MASK_3 | XCB_MOD_MASK_5, XCB_MOD_MASK_3 | XCB_MOD_MASK_5 | lock}},
        {"both on one modifier",
         XCB_MOD_MASK_2,
         XCB_MOD_MASK_2,
         {0, lock, XCB_MOD_MASK_2, XCB_MOD_MASK_2 | lock}},
        // A lock on a modifier a shortcut uses cannot be told from it.
        {"Num Lock on Mod4", XCB_MOD_MASK_4, 0, {0, lock}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(X11HotkeyGrabber::lockVariants(c.numLock, c.scrollLock), c.variants) << c.name;
}
