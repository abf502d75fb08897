// The tray icon and the global shortcut under Xvfb with openbox and a real
// tray (trayer): the icon is embedded in the tray and its menu's commands
// reach their closures; the shortcut is grabbed on the root window and fires
// on keys pressed through XTest, and a combination another client holds is
// refused with its reason. Run by run-shell.sh, which starts the session.
#include "TarvoPlatform/x11/X11HotkeyGrabber.h"
#include "TarvoShell/HotkeyMonitor.h"
#include "TarvoShell/MenuBarController.h"

#include "support/X11TestTools.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QDeadlineTimer>
#include <QMenu>
#include <QProcess>
#include <QSystemTrayIcon>

#include <X11/keysym.h>

#include <functional>

using namespace tarvo;
using test::waitFor;

namespace {

constexpr HotkeySpec ctrlShiftK{40, HotkeySpec::command | HotkeySpec::shift};

void chord(test::XTestHand& hand, std::initializer_list<unsigned long> keys) {
    for (const unsigned long key : keys)
        hand.key(key, true);
    for (auto it = std::rbegin(keys); it != std::rend(keys); ++it)
        hand.key(*it, false);
}

// Clicks the tray icon until its menu opens. The tray may still move the icon
// while it lays itself out after taking it in, so each try clicks where the
// icon is at that moment.
bool openMenu(test::XTestHand& hand, MenuBarController& controller,
              const std::function<void()>& click) {
    QDeadlineTimer deadline(30000);
    while (!deadline.hasExpired()) {
        hand.moveTo(controller.statusItem()->geometry().center());
        click();
        if (waitFor([&] { return controller.menu()->isVisible(); }, 3000))
            return true;
    }
    return false;
}

} // namespace

TEST(HotkeyX11, AGrabbedShortcutFiresOncePerPressWithAndWithoutNumLock) {
    X11HotkeyGrabber grabber;
    HotkeyMonitor monitor(grabber);
    int triggers = 0;
    monitor.onTrigger = [&] { ++triggers; };
    ASSERT_TRUE(monitor.activate(ctrlShiftK));
    test::XTestHand hand;
    ASSERT_TRUE(hand.ok());

    chord(hand, {XK_Control_L, XK_Shift_L, XK_k});
    ASSERT_TRUE(waitFor([&] { return triggers == 1; }));

    // Num Lock on: the same keys still reach the shortcut.
    chord(hand, {XK_Num_Lock});
    chord(hand, {XK_Control_L, XK_Shift_L, XK_k});
    EXPECT_TRUE(waitFor([&] { return triggers == 2; }));
    chord(hand, {XK_Num_Lock});

    // Other modifiers are another shortcut.
    chord(hand, {XK_Control_L, XK_k});
    test::pump(300);
    EXPECT_EQ(triggers, 2);

    monitor.deactivate();
    chord(hand, {XK_Control_L, XK_Shift_L, XK_k});
    test::pump(300);
    EXPECT_EQ(triggers, 2);
}

TEST(HotkeyX11, AShortcutAnotherClientHoldsIsRefused) {
    QProcess other;
    other.start(QString::fromLocal8Bit(qgetenv("TARVO_KEY_GRABBER")), {});
    ASSERT_TRUE(other.waitForStarted());
    ASSERT_TRUE(waitFor([&] { return other.readAllStandardOutput().contains("ready"); }, 10000));

    X11HotkeyGrabber grabber;
    HotkeyMonitor monitor(grabber);
    const HotkeySpec ctrlAltJ{38, HotkeySpec::command | HotkeySpec::option};
    EXPECT_FALSE(monitor.activate(ctrlAltJ));
    EXPECT_FALSE(monitor.isActive());
    ASSERT_TRUE(monitor.lastFailure());
    EXPECT_EQ(monitor.lastFailure()->kind, HotkeyFailure::Kind::taken);
    EXPECT_EQ(monitor.lastFailure()->status, 10) << "BadAccess";
    EXPECT_TRUE(monitor.lastFailure()->windowManager.isEmpty());
    other.kill();
    other.waitForFinished();

    // Released by its holder, the combination is ours.
    EXPECT_TRUE(waitFor([&] { return monitor.activate(ctrlAltJ); }, 10000));
}

TEST(HotkeyX11, TheWindowManagersAltSpaceIsNamed) {
    X11HotkeyGrabber grabber;
    HotkeyMonitor monitor(grabber);
    EXPECT_FALSE(monitor.activate(HotkeySpec::defaultSpec()));
    ASSERT_TRUE(monitor.lastFailure());
    EXPECT_EQ(monitor.lastFailure()->windowManager, QStringLiteral("Openbox"));
    const QString message =
        HotkeyMonitor::failureMessage(HotkeySpec::defaultSpec(), *monitor.lastFailure());
    EXPECT_TRUE(message.contains(QStringLiteral("Alt+Space"))) << message.toStdString();
    EXPECT_TRUE(message.contains(QStringLiteral("Openbox"))) << message.toStdString();
}

TEST(TrayX11, TheIconSitsInTheTrayAndItsMenuReachesTheCommands) {
    ASSERT_TRUE(waitFor([] { return QSystemTrayIcon::isSystemTrayAvailable(); }, 10000))
        << "no tray on the display";
    std::vector<std::string> calls;
    MenuBarController controller(
        {[&] { calls.push_back("open"); }, [&] { calls.push_back("undo"); },
         [&] { calls.push_back("clear"); }, [&] { calls.push_back("settings"); },
         [&] { calls.push_back("quit"); }});
    controller.show();
    QSystemTrayIcon* icon = controller.statusItem();
    // Embedded: the tray has taken the icon's window in and placed it.
    ASSERT_TRUE(waitFor(
        [&] { return icon->geometry().isValid() && icon->geometry().topLeft() != QPoint(0, 0); },
        10000))
        << "the icon was not embedded";

    test::XTestHand hand;
    ASSERT_TRUE(hand.ok());
    // A right click opens the menu; Down and Return choose its first command.
    ASSERT_TRUE(openMenu(hand, controller, [&] {
        hand.deviceButton(3, true);
        hand.deviceButton(3, false);
    }));
    if (const char* shot = std::getenv("TARVO_TRAY_SCREENSHOT")) {
        test::pump(500);
        QProcess::execute(
            QStringLiteral("import"),
            {QStringLiteral("-window"), QStringLiteral("root"), QString::fromLocal8Bit(shot)});
    }
    chord(hand, {XK_Down});
    chord(hand, {XK_Return});
    ASSERT_TRUE(waitFor([&] { return calls.size() == 1; }));
    EXPECT_EQ(calls.back(), "open");

    // A plain click opens it too, and Ctrl+Z in the open menu is undo.
    ASSERT_TRUE(openMenu(hand, controller, [&] {
        hand.press();
        hand.release();
    }));
    chord(hand, {XK_Control_L, XK_z});
    ASSERT_TRUE(waitFor([&] { return calls.size() == 2; }));
    EXPECT_EQ(calls.back(), "undo");
    EXPECT_TRUE(waitFor([&] { return !controller.menu()->isVisible(); }))
        << "the menu closes for its command";

    // Opened by a right click, Ctrl+Q in the menu quits; Ctrl+, is the settings.
    ASSERT_TRUE(openMenu(hand, controller, [&] {
        hand.deviceButton(3, true);
        hand.deviceButton(3, false);
    }));
    chord(hand, {XK_Control_L, XK_q});
    ASSERT_TRUE(waitFor([&] { return calls.size() == 3; }));
    EXPECT_EQ(calls.back(), "quit");
    ASSERT_TRUE(waitFor([&] { return !controller.menu()->isVisible(); }));
    ASSERT_TRUE(openMenu(hand, controller, [&] {
        hand.press();
        hand.release();
    }));
    chord(hand, {XK_Control_L, XK_comma});
    ASSERT_TRUE(waitFor([&] { return calls.size() == 4; }));
    EXPECT_EQ(calls.back(), "settings");
    if (controller.menu()->isVisible())
        chord(hand, {XK_Escape});

    // Hidden and shown again: a fresh icon in the tray.
    controller.hide();
    controller.show();
    EXPECT_TRUE(waitFor([&] { return controller.statusItem()->geometry().isValid(); }, 10000));
}
