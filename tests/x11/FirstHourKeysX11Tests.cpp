// The global shortcut as a person meets it in the first hour, under Xvfb with
// openbox or with xfwm4 and xfce4-panel: the combination typed into the
// settings' recorder is the one held on the X server, and it stays held over
// a change of the key map and for every lock key. What the server holds is
// asked the way another program would find out: its own grab of the
// combination is refused (BadAccess). Run by run-firsthour-keys.sh, which
// starts the session.
#include "TarvoPlatform/HotkeyKeys.h"
#include "TarvoPlatform/x11/X11HotkeyGrabber.h"
#include "TarvoShell/HotkeyMonitor.h"
#include "GeneralTab.h"
#include "SettingsModel.h"

#include "support/X11TestTools.h"

#include <gtest/gtest.h>

#include <QProcess>

#include <X11/Xlib.h>
#include <X11/keysym.h>

using namespace tarvo;
using test::waitFor;

namespace {

int probeError = 0;

int recordError(Display*, XErrorEvent* error) {
    probeError = error->error_code;
    return 0;
}

// Whether another client's grab of the key with exactly these modifiers is
// refused because someone holds it; the probe lets go of it at once.
bool heldByAnother(unsigned long keysym, unsigned modifiers) {
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return false;
    const Window root = DefaultRootWindow(display);
    const KeyCode key = XKeysymToKeycode(display, keysym);
    probeError = 0;
    XErrorHandler previous = XSetErrorHandler(recordError);
    XGrabKey(display, key, modifiers, root, True, GrabModeAsync, GrabModeAsync);
    XSync(display, False);
    const bool refused = probeError == BadAccess;
    if (!refused)
        XUngrabKey(display, key, modifiers, root);
    XSync(display, False);
    XSetErrorHandler(previous);
    XCloseDisplay(display);
    return refused;
}

void chord(test::XTestHand& hand, std::initializer_list<unsigned long> keys) {
    for (const unsigned long key : keys)
        hand.key(key, true);
    for (auto it = std::rbegin(keys); it != std::rend(keys); ++it)
        hand.key(*it, false);
}

bool xmodmap(const QString& expression) {
    return QProcess::execute(QStringLiteral("xmodmap"), {QStringLiteral("-e"), expression}) == 0;
}

constexpr HotkeySpec ctrlShiftK{40, HotkeySpec::command | HotkeySpec::shift};

} // namespace

TEST(FirstHourKeysX11, TheRecordedCombinationIsTheOneShownAndHeldOnTheServer) {
    QWidget window;
    auto* recorder = new HotkeyRecorder(&window);
    window.resize(240, 80);
    window.show();
    ASSERT_TRUE(waitFor([&] { return window.isActiveWindow(); }, 10000) ||
                (window.activateWindow(), waitFor([&] { return window.isActiveWindow(); })));
    std::optional<HotkeySpec> recorded;
    recorder->onRecorded = [&](const HotkeySpec& spec) { recorded = spec; };
    recorder->startRecording();

    test::XTestHand hand;
    ASSERT_TRUE(hand.ok());
    chord(hand, {XK_Control_L, XK_Shift_L, XK_k});
    ASSERT_TRUE(waitFor([&] { return recorded.has_value(); }));
    EXPECT_EQ(HotkeyFormatter::describe(*recorded), QStringLiteral("Ctrl+Shift+K"));

    X11HotkeyGrabber grabber;
    HotkeyMonitor monitor(grabber);
    ASSERT_TRUE(monitor.activate(*recorded));
    EXPECT_TRUE(heldByAnother(XK_k, ControlMask | ShiftMask)) << "Ctrl+Shift+K is ours";
    EXPECT_FALSE(heldByAnother(XK_k, Mod4Mask | ShiftMask)) << "Super+Shift+K is free";

    // The key pressed as it was recorded reaches the shortcut.
    int triggers = 0;
    monitor.onTrigger = [&] { ++triggers; };
    chord(hand, {XK_Control_L, XK_Shift_L, XK_k});
    EXPECT_TRUE(waitFor([&] { return triggers == 1; }));
}

TEST(FirstHourKeysX11, AShortcutIsHeldAgainWhereTheKeyMapPutsNumLock) {
    X11HotkeyGrabber grabber;
    HotkeyMonitor monitor(grabber);
    ASSERT_TRUE(monitor.activate(ctrlShiftK));
    EXPECT_TRUE(heldByAnother(XK_k, ControlMask | ShiftMask | Mod2Mask)) << "Num Lock on Mod2";
    EXPECT_FALSE(heldByAnother(XK_k, ControlMask | ShiftMask | Mod3Mask));

    ASSERT_TRUE(xmodmap(QStringLiteral("remove mod2 = Num_Lock")));
    ASSERT_TRUE(xmodmap(QStringLiteral("add mod3 = Num_Lock")));
    EXPECT_TRUE(
        waitFor([] { return heldByAnother(XK_k, ControlMask | ShiftMask | Mod3Mask); }, 10000))
        << "the grab follows Num Lock to Mod3";
    EXPECT_TRUE(heldByAnother(XK_k, ControlMask | ShiftMask)) << "the plain combination stays";
    EXPECT_TRUE(waitFor([] { return !heldByAnother(XK_k, ControlMask | ShiftMask | Mod2Mask); }))
        << "Mod2 is no lock any more";

    // Pressed with Num Lock on where it now is, the shortcut still acts.
    int triggers = 0;
    monitor.onTrigger = [&] { ++triggers; };
    test::XTestHand hand;
    chord(hand, {XK_Num_Lock});
    chord(hand, {XK_Control_L, XK_Shift_L, XK_k});
    EXPECT_TRUE(waitFor([&] { return triggers == 1; }));
    chord(hand, {XK_Num_Lock});

    ASSERT_TRUE(xmodmap(QStringLiteral("remove mod3 = Num_Lock")));
    ASSERT_TRUE(xmodmap(QStringLiteral("add mod2 = Num_Lock")));
    EXPECT_TRUE(
        waitFor([] { return heldByAnother(XK_k, ControlMask | ShiftMask | Mod2Mask); }, 10000));
}

TEST(FirstHourKeysX11, ScrollLockIsCoveredOnTheModifierItIsMappedTo) {
    ASSERT_TRUE(xmodmap(QStringLiteral("add mod3 = Scroll_Lock")));
    X11HotkeyGrabber grabber;
    HotkeyMonitor monitor(grabber);
    ASSERT_TRUE(monitor.activate(ctrlShiftK));
    EXPECT_TRUE(heldByAnother(XK_k, ControlMask | ShiftMask | Mod3Mask));
    EXPECT_TRUE(heldByAnother(XK_k, ControlMask | ShiftMask | Mod3Mask | Mod2Mask | LockMask));
    ASSERT_TRUE(xmodmap(QStringLiteral("remove mod3 = Scroll_Lock")));
}

TEST(FirstHourKeysX11, ANewShortcutReplacesTheOldAndTheSameOneIsNotGrabbedAgain) {
    X11HotkeyGrabber grabber;
    HotkeyMonitor monitor(grabber);
    ASSERT_TRUE(monitor.activate(ctrlShiftK));
    const HotkeySpec ctrlAltJ{38, HotkeySpec::command | HotkeySpec::option};
    ASSERT_TRUE(monitor.activate(ctrlAltJ));
    EXPECT_TRUE(heldByAnother(XK_j, ControlMask | Mod1Mask));
    EXPECT_FALSE(heldByAnother(XK_k, ControlMask | ShiftMask)) << "the old one is let go";
    EXPECT_TRUE(monitor.activate(ctrlAltJ));
    EXPECT_TRUE(heldByAnother(XK_j, ControlMask | Mod1Mask | LockMask));
}
