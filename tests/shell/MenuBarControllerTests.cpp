#include "TarvoCore/L10n.h"
#include "TarvoShell/MenuBarController.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QSystemTrayIcon>

#include <gtest/gtest.h>

using namespace tarvo;

namespace {

struct Fixture {
    MenuBarController::Actions actions() {
        return {[this] { calls.push_back("open"); }, [this] { calls.push_back("undo"); },
                [this] { calls.push_back("clear"); }, [this] { calls.push_back("settings"); },
                [this] { calls.push_back("quit"); }};
    }
    std::vector<std::string> calls;
};

QStringList titles(const QMenu& menu) {
    QStringList out;
    for (const QAction* action : menu.actions())
        out << action->text();
    return out;
}

} // namespace

TEST(MenuBarController, ShowTwiceMakesOneIconAndHideWithoutOneIsHarmless) {
    Fixture f;
    MenuBarController controller(f.actions());
    controller.hide();
    EXPECT_FALSE(controller.isVisible());
    controller.show();
    QSystemTrayIcon* first = controller.statusItem();
    controller.show();
    EXPECT_EQ(controller.statusItem(), first);
    EXPECT_EQ(first->toolTip(), QStringLiteral("Tarvo"));
    EXPECT_FALSE(first->icon().isNull());
    EXPECT_EQ(first->contextMenu(), nullptr) << "both clicks open our own menu";
    EXPECT_NE(controller.menu(), nullptr);
}

TEST(MenuBarController, AMenuThePanelDrawsListsNoKeysThatCannotActThere) {
    Fixture f;
    MenuBarController controller(f.actions());
    controller.setPanelDrawsMenu(true);
    controller.show();
    ASSERT_NE(controller.panelMenu(), nullptr);
    EXPECT_EQ(controller.statusItem()->contextMenu(), controller.panelMenu());
    for (QAction* action : controller.panelMenu()->actions())
        EXPECT_TRUE(action->shortcut().isEmpty()) << action->text().toStdString();
    int keyed = 0;
    for (QAction* action : controller.menu()->actions())
        keyed += action->shortcut().isEmpty() ? 0 : 1;
    EXPECT_EQ(keyed, 3) << "our own menu keeps Ctrl+Z, Ctrl+, and Ctrl+Q";
}

TEST(MenuBarController, HeadlessNeverMakesAnIcon) {
    Fixture f;
    MenuBarController controller(f.actions(), true);
    controller.show();
    controller.setVisible(true);
    EXPECT_FALSE(controller.isVisible());
    EXPECT_EQ(controller.statusItem(), nullptr);
}

TEST(MenuBarController, HidingAndShowingAgainGivesAFreshMenu) {
    Fixture f;
    MenuBarController controller(f.actions());
    controller.setVisible(true);
    controller.setVisible(false);
    EXPECT_FALSE(controller.isVisible());
    controller.setVisible(true);
    ASSERT_TRUE(controller.menu());
    EXPECT_EQ(controller.menu()->actions().size(), 5);
}

TEST(MenuBarController, TheMenuIsRefilledEachTimeItOpens) {
    Fixture f;
    MenuBarController controller(f.actions());
    controller.show();
    QMenu* menu = controller.menu();
    const QStringList expected{L10n::menuOpen(), L10n::menuUndo(), L10n::menuClear(),
                               L10n::menuSettings(), L10n::menuQuit()};
    for (int opening = 0; opening < 2; ++opening) {
        emit menu->aboutToShow();
        EXPECT_EQ(titles(*menu), expected) << "opening " << opening;
    }
    const auto actions = menu->actions();
    EXPECT_EQ(actions[1]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Z));
    EXPECT_EQ(actions[3]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Comma));
    EXPECT_EQ(actions[4]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    EXPECT_TRUE(actions[0]->shortcut().isEmpty());
    EXPECT_TRUE(actions[2]->shortcut().isEmpty());
}

TEST(MenuBarController, EachCommandCallsItsClosure) {
    Fixture f;
    MenuBarController controller(f.actions());
    controller.show();
    for (QAction* action : controller.menu()->actions())
        action->trigger();
    QCoreApplication::processEvents();
    EXPECT_EQ(f.calls, (std::vector<std::string>{"open", "undo", "clear", "settings", "quit"}));

    // makeMenu gives a menu of its own with the same commands.
    const auto menu = controller.makeMenu();
    EXPECT_EQ(titles(*menu), titles(*controller.menu()));
}
