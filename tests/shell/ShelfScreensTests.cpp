// Where the shelf shows when there is more than one screen or the screens
// change under it, and the desktop's display settings reaching the view; on a
// fake clock with every platform service in memory.
#include "ShellFixture.h"

#include "TarvoPanel.h"
#include "TarvoView.h"

#include "support/ItemFactory.h"

#include <gtest/gtest.h>

namespace tarvo::test {
namespace {

ScreenMetrics screenAt(Rect frame, double topPanel = 0) {
    ScreenMetrics screen;
    screen.frame = frame;
    screen.menuBarHeight = topPanel;
    return screen;
}

class ShelfScreensTest : public ::testing::Test, protected ControllerFixture {
protected:
    // The main screen on the left, a larger one to its right.
    const ScreenMetrics left = screenAt({0, 0, 1280, 800}, 28);
    const ScreenMetrics right = screenAt({1280, -100, 1920, 1080});

    void SetUp() override {
        m_shell.screens.screens = {left, right};
        m_shell.screens.pointerScreen = 0;
        controller = makeController();
        controller->start();
    }

    Item addItem() {
        return addTextItem(controller->store(), QStringLiteral("note %1").arg(++m_added),
                           m_shell.clock.now());
    }

    void pointerOn(std::size_t screen) { m_shell.screens.pointerScreen = screen; }

    // The screens change as the window system reports it.
    void setScreens(std::vector<ScreenMetrics> screens, std::size_t pointer) {
        m_shell.screens.screens = std::move(screens);
        m_shell.screens.pointerScreen = pointer;
        controller->screenParametersChanged();
    }

    // Whether the panel hangs from `screen`'s top edge, below its top panel,
    // centred on it.
    ::testing::AssertionResult panelHangsFrom(const ScreenMetrics& screen) {
        const Rect panel = controller->panel().frame();
        const double top = screen.frame.maxY() - screen.menuBarHeight;
        if (std::abs(panel.midX() - screen.frame.midX()) > 1 || std::abs(panel.maxY() - top) > 1 ||
            panel.x < screen.frame.x || panel.maxX() > screen.frame.maxX())
            return ::testing::AssertionFailure()
                   << "panel at (" << panel.x << ", " << panel.y << ", " << panel.width << " x "
                   << panel.height << ") on a screen at (" << screen.frame.x << ", "
                   << screen.frame.y << ", " << screen.frame.width << " x " << screen.frame.height
                   << ")";
        return ::testing::AssertionSuccess();
    }

    // A drag that drops an item and ends, leaving the shelf resting.
    void restWithAnItem() {
        controller->dragMonitor(controller->monitor(), {});
        controller->itemsArrived({addItem()});
        controller->dragMonitorDragEnded(controller->monitor());
        ASSERT_EQ(controller->state(), TarvoState::resting);
    }

    std::unique_ptr<TarvoController> controller;
    int m_added = 0;
};

TEST_F(ShelfScreensTest, ADragUnfoldsTheShelfOnThePointersScreenAndJumpsWithoutDisappearing) {
    pointerOn(1);
    controller->dragMonitor(controller->monitor(), {});
    EXPECT_TRUE(panelHangsFrom(right));
    controller->itemsArrived({addItem()});
    controller->dragMonitorDragEnded(controller->monitor());
    ASSERT_EQ(controller->state(), TarvoState::resting);

    pointerOn(0);
    controller->dragMonitor(controller->monitor(), {});
    EXPECT_TRUE(panelHangsFrom(left));
    EXPECT_TRUE(controller->panel().isPanelVisible());
    EXPECT_FALSE(controller->view().isDisappearing());
    EXPECT_EQ(controller->state(), TarvoState::dragging);
}

TEST_F(ShelfScreensTest, ScreensChangingWhileTheShelfShowsMoveItToThePointersScreen) {
    pointerOn(1);
    restWithAnItem();
    ASSERT_TRUE(panelHangsFrom(right));

    // The screen it rests on is unplugged: it moves to the one left, still
    // resting, without going away first.
    setScreens({left}, 0);
    EXPECT_TRUE(panelHangsFrom(left));
    EXPECT_EQ(controller->state(), TarvoState::resting);
    EXPECT_TRUE(controller->panel().isPanelVisible());
    EXPECT_FALSE(controller->view().isDisappearing());

    // Its screen is resized: it follows the new top edge and centre.
    const ScreenMetrics wider = screenAt({0, 0, 1600, 900}, 28);
    setScreens({wider}, 0);
    EXPECT_TRUE(panelHangsFrom(wider));

    // It folds where it is now.
    m_shell.clock.advance(0.6);
    ASSERT_EQ(controller->state(), TarvoState::tab);
    EXPECT_TRUE(panelHangsFrom(wider));

    // A screen comes back with the pointer on it: the tab moves there.
    setScreens({wider, screenAt({1600, 0, 1280, 1024})}, 1);
    EXPECT_TRUE(panelHangsFrom(m_shell.screens.screens[1]));
    EXPECT_EQ(controller->state(), TarvoState::tab);

    // The tab's own timers go on from there.
    m_shell.clock.advance(TarvoController::tuckAwayDelay);
    EXPECT_EQ(controller->state(), TarvoState::hidden);
}

TEST_F(ShelfScreensTest, AHiddenShelfOpensOnTheScreenUnderThePointerAfterTheScreensChanged) {
    pointerOn(1);
    restWithAnItem();
    controller->hideTarvo();
    m_shell.clock.advance(5);

    // Changes while hidden open nothing.
    const ScreenMetrics smaller = screenAt({0, 0, 1024, 768});
    setScreens({smaller, right}, 0);
    EXPECT_EQ(controller->state(), TarvoState::hidden);

    // The next opening and the next landing use the screens as they are now.
    controller->openTarvo();
    EXPECT_TRUE(panelHangsFrom(smaller));
    controller->hideTarvo();
    m_shell.clock.advance(5);

    setScreens({smaller, screenAt({1024, 0, 2560, 1440})}, 1);
    controller->itemsArrived({addItem()});
    EXPECT_EQ(controller->state(), TarvoState::resting);
    EXPECT_TRUE(controller->panel().isPanelVisible());
    EXPECT_TRUE(panelHangsFrom(m_shell.screens.screens[1]));
}

TEST_F(ShelfScreensTest, WhenEveryScreenIsGoneTheShelfStaysWhereItWasUntilOneComesBack) {
    restWithAnItem();
    const Rect before = controller->panel().frame();
    setScreens({}, 0);
    EXPECT_EQ(controller->panel().frame(), before);
    // Its timers still run and nothing opens without a screen.
    m_shell.clock.advance(0.6);
    EXPECT_EQ(controller->state(), TarvoState::tab);
    controller->hideTarvo();
    controller->openTarvo();
    EXPECT_EQ(controller->state(), TarvoState::hidden);

    setScreens({right}, 0);
    controller->openTarvo();
    EXPECT_TRUE(panelHangsFrom(right));
}

TEST_F(ShelfScreensTest, IncreaseContrastIsReadWhenTheShelfShowsOrRefreshes) {
    TarvoView& view = controller->view();
    EXPECT_FALSE(view.increaseContrast());

    // Changed while hidden: read when the shelf shows.
    m_shell.display.setIncreaseContrast(true);
    EXPECT_FALSE(view.increaseContrast());
    controller->dragMonitor(controller->monitor(), {});
    EXPECT_TRUE(view.increaseContrast());

    // Turned off during the drag: the landing that follows draws plainly.
    m_shell.display.setIncreaseContrast(false);
    controller->itemsArrived({addItem()});
    EXPECT_FALSE(view.increaseContrast());

    // A change alone redraws nothing until a refresh picks it up.
    m_shell.display.setIncreaseContrast(true);
    EXPECT_FALSE(view.increaseContrast());
    controller->accessibilitySettingsChanged();
    EXPECT_TRUE(view.increaseContrast());
}

} // namespace
} // namespace tarvo::test
