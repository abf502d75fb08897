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
                        QStringLiteral("ui error: could not register the hotkey (status 10)")),
              lines.end());
    const QString message = HotkeyMonitor::failureMessage(optionSpace, *f.monitor->lastFailure());
    EXPECT_TRUE(message.contains(QStringLiteral("Alt+Space"))) << message.toStdString();
    EXPECT_TRUE(message.contains(QStringLiteral("Openbox"))) << message.toStdString();

    // Another shortcut works, and the old reason goes.
    EXPECT_TRUE(f.monitor->activate(commandShiftK));
    EXPECT_EQ(f.monitor->lastFailure(), std::nullopt);
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
    EXPECT_EQ(X11HotkeyGrabber::lockVariants(XCB_MOD_MASK_2),
              (std::vector<quint16>{0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2,
                                    XCB_MOD_MASK_2 | XCB_MOD_MASK_LOCK}));
    EXPECT_EQ(X11HotkeyGrabber::lockVariants(0), (std::vector<quint16>{0, XCB_MOD_MASK_LOCK}));
}
