// The shelf's states and timers on a fake clock with every platform service
// in memory.
#include "ShellFixture.h"

#include "ItemLayer.h"
#include "PreviewWindow.h"
#include "TarvoPanel.h"
#include "TarvoView.h"

#include "TarvoPlatform/InputState.h"
#include "TarvoPlatform/TypeMapping.h"

#include "support/ItemFactory.h"

#include <QCoreApplication>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QMimeData>
#include <QMouseEvent>

#include <gtest/gtest.h>

#include <functional>

namespace tarvo::test {
namespace {

class ShelfStateTest : public ::testing::Test, protected ControllerFixture {
protected:
    void SetUp() override {
        controller = makeController();
        controller->start();
    }

    Item addItem() {
        return addTextItem(controller->store(), QStringLiteral("note %1").arg(++m_added),
                           m_shell.clock.now());
    }

    // A drag over the shelf that drops one item and ends: the shelf rests.
    void dropDuringDrag() {
        controller->dragMonitor(controller->monitor(), {});
        controller->itemsArrived({addItem()});
        ASSERT_EQ(controller->state(), TarvoState::dragging);
        controller->dragMonitorDragEnded(controller->monitor());
        ASSERT_EQ(controller->state(), TarvoState::resting);
    }

    void foldToTab() {
        dropDuringDrag();
        m_shell.clock.advance(0.6);
        ASSERT_EQ(controller->state(), TarvoState::tab);
    }

    // Moves the pointer within the shelf's view, in view coordinates.
    void movePointerInView(Point point) {
        TarvoView& view = controller->view();
        QMouseEvent move(QEvent::MouseMove, view.toQt(point), view.mapToGlobal(view.toQt(point)),
                         Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&view, &move);
    }

    void pointerOverIsland() {
        const Rect island = controller->view().islandRect();
        movePointerInView({island.midX(), island.y + 20});
        ASSERT_TRUE(controller->view().isPointerOverIsland());
    }

    void pointerAwayFromIsland() {
        movePointerInView({1, 1});
        ASSERT_FALSE(controller->view().isPointerOverIsland());
    }

    void setScreen(const ScreenMetrics& screen) { m_shell.screens.screens = {screen}; }

    static ScreenMetrics notchedScreen() {
        ScreenMetrics screen;
        screen.frame = {0, 0, 1512, 982};
        screen.safeAreaTop = 32;
        screen.menuBarHeight = 32;
        screen.auxLeftWidth = 660;
        screen.auxRightWidth = 660;
        return screen;
    }

    std::unique_ptr<TarvoController> controller;
    int m_added = 0;
};

TEST_F(ShelfStateTest, ADragUnfoldsTheShelfAndADropDuringItKeepsItDragging) {
    controller->dragMonitor(controller->monitor(), {});
    EXPECT_EQ(controller->state(), TarvoState::dragging);
    EXPECT_TRUE(controller->panel().isPanelVisible());
    controller->itemsArrived({addItem()});
    EXPECT_EQ(controller->state(), TarvoState::dragging);
    EXPECT_EQ(controller->view().items().size(), 1u);
    m_shell.clock.advance(30); // no timer moves a shelf while the drag is in flight
    EXPECT_EQ(controller->state(), TarvoState::dragging);
}

// Through the drag monitor as a real drag reaches it: a press, the source
// taking the drag pasteboard, moves, the release.
TEST_F(ShelfStateTest, DuringADragTheIslandKeepsTheWidthItOpenedWith) {
    for (int i = 0; i < 3; ++i)
        addItem();
    controller->dragMonitor(controller->monitor(), {});
    ASSERT_EQ(controller->state(), TarvoState::dragging);
    const double opened = controller->view().islandWidth();
    EXPECT_GE(opened, controller->view().requiredWidth());

    // Items landing would need more room, items going less: neither moves it.
    std::vector<Item> landed;
    for (int i = 0; i < 6; ++i)
        landed.push_back(addItem());
    controller->itemsArrived(landed);
    EXPECT_GT(controller->view().requiredWidth(), opened);
    EXPECT_EQ(controller->view().islandWidth(), opened);
    while (!controller->store().items().empty())
        controller->store().remove(controller->store().items().front().id);
    controller->itemsArrived({addItem()});
    EXPECT_EQ(controller->view().islandWidth(), opened);

    // Once the drag is over the island fits its items again.
    controller->dragMonitorDragEnded(controller->monitor());
    ASSERT_EQ(controller->state(), TarvoState::resting);
    EXPECT_NE(controller->view().islandWidth(), opened);
    EXPECT_GE(controller->view().islandWidth(), controller->view().requiredWidth());
}

TEST_F(ShelfStateTest, ADragBeganElsewhereUnfoldsTheShelfUnlessShiftIsRequiredAndNotHeld) {
    struct Case {
        const char* name;
        bool requireShift;
        bool shiftHeld;
        bool unfolds;
    };
    const Case cases[] = {
        {"no Shift needed", false, false, true},
        {"Shift needed, not held", true, false, false},
        {"Shift needed and held", true, true, true},
    };
    double t = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_preferences.setRequireShiftToShow(c.requireShift);
        controller->preferencesDidChange();
        m_shell.input.setModifierFlags(c.shiftHeld ? ModifierFlag::shift : 0);
        m_shell.monitors.postGlobal({EventType::leftMouseDown, t});
        m_shell.dragPasteboard.declareTypes(QStringList{QString(TypeIdentifier::fileURL)});
        for (int i = 0; i < 4; ++i)
            m_shell.monitors.postGlobal({EventType::leftMouseDragged, t += 0.1});
        EXPECT_EQ(controller->state() == TarvoState::dragging, c.unfolds);
        EXPECT_EQ(controller->dragInFlight(), c.unfolds);
        m_shell.monitors.postGlobal({EventType::leftMouseUp, t += 0.1});
        EXPECT_FALSE(controller->dragInFlight());
        m_shell.clock.advance(1);
        EXPECT_EQ(controller->state(), TarvoState::hidden);
        t += 1;
    }
}

TEST_F(ShelfStateTest, AnEngagedShelfRestsAfterTheDragAndFoldsAtTheWatchdogsFirstLook) {
    dropDuringDrag();
    m_shell.clock.advance(0.59);
    EXPECT_EQ(controller->state(), TarvoState::resting);
    m_shell.clock.advance(0.01);
    EXPECT_EQ(controller->state(), TarvoState::tab);
    EXPECT_FALSE(controller->view().tabGlowDimmed());
}

TEST_F(ShelfStateTest, ADragOverAnUntouchedShelfWithItemsHidesItAfterAQuarterSecond) {
    addItem();
    controller->dragMonitor(controller->monitor(), {});
    controller->dragMonitorDragEnded(controller->monitor());
    EXPECT_EQ(controller->state(), TarvoState::dragging);
    m_shell.clock.advance(0.24);
    EXPECT_EQ(controller->state(), TarvoState::dragging);
    m_shell.clock.advance(0.01);
    EXPECT_EQ(controller->state(), TarvoState::hidden);
    m_shell.clock.advance(0.5); // the slide out of sight
    EXPECT_FALSE(controller->panel().isPanelVisible());
}

TEST_F(ShelfStateTest, ThePointerOverTheIslandHoldsItOpenAndLeavingFoldsAfterAThirdOfASecond) {
    dropDuringDrag();
    pointerOverIsland();
    m_shell.clock.advance(5); // the watchdog and the 2.4-second settle both re-arm
    EXPECT_EQ(controller->state(), TarvoState::resting);
    pointerAwayFromIsland();
    // Leaving arms the short settle; the watchdog may look first, either folds.
    m_shell.clock.advance(0.35);
    EXPECT_EQ(controller->state(), TarvoState::tab);
}

TEST_F(ShelfStateTest, TheSettleTimerFoldsAfterTwoPointFourSecondsWithoutTheWatchdog) {
    addItem();
    // Shown, not opened on purpose (which holds the shelf 4.8 s), and with no
    // refresh to arm the watchdog.
    controller->showTarvo(m_shell.screens.screens.front(), TarvoState::resting);
    controller->scheduleSettle(TarvoController::settleDelay);
    m_shell.clock.advance(2.39);
    EXPECT_EQ(controller->state(), TarvoState::resting);
    m_shell.clock.advance(0.01);
    EXPECT_EQ(controller->state(), TarvoState::tab);
}

TEST_F(ShelfStateTest, ADragInFlightHoldsARestingShelfOpen) {
    addItem();
    controller->openTarvo();
    controller->dragMonitor(controller->monitor(), {});
    controller->settleAfterDrag(); // a clear during the drag: rests while the drag goes on
    ASSERT_EQ(controller->state(), TarvoState::resting);
    m_shell.clock.advance(0.6 * 3);
    EXPECT_EQ(controller->state(), TarvoState::resting);
    controller->dragMonitorDragEnded(controller->monitor());
    m_shell.clock.advance(0.6);
    EXPECT_EQ(controller->state(), TarvoState::tab);
}

TEST_F(ShelfStateTest, KeyboardFocusInThePanelHoldsARestingShelfOpen) {
    dropDuringDrag();
    controller->openTarvoForKeyboard();
    QElapsedTimer waited;
    waited.start();
    while (!controller->panel().isActiveWindow() && waited.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    ASSERT_TRUE(controller->panel().isActiveWindow()) << "the panel did not take the keyboard";
    controller->refresh(false); // the watchdog looks from now on
    m_shell.clock.advance(0.6 * 3);
    m_shell.clock.advance(TarvoController::settleDelay * 2);
    EXPECT_EQ(controller->state(), TarvoState::resting);

    // Once the panel gives the keyboard back, the next look folds.
    controller->panel().setWantsKeyboardFocus(false);
    m_shell.clock.advance(0.6);
    EXPECT_EQ(controller->state(), TarvoState::tab);
}

TEST_F(ShelfStateTest, TheTabHidesAfterFifteenSecondsWithoutANotchAndDimsWithOne) {
    foldToTab();
    m_shell.clock.advance(14.9);
    EXPECT_EQ(controller->state(), TarvoState::tab);
    m_shell.clock.advance(0.1);
    EXPECT_EQ(controller->state(), TarvoState::hidden);

    setScreen(notchedScreen());
    controller->screenParametersChanged();
    foldToTab();
    m_shell.clock.advance(15);
    EXPECT_EQ(controller->state(), TarvoState::tab);
    EXPECT_TRUE(controller->view().tabGlowDimmed());
    m_shell.clock.advance(60);
    EXPECT_EQ(controller->state(), TarvoState::tab);
}

TEST_F(ShelfStateTest, ThePointerNearTheTabKeepsReArmingTheTuckAway) {
    foldToTab();
    // The pointer rests by the tab; the tab's window takes no pointer
    // events, so only the live pointer says so.
    const Rect island = controller->view().islandRect();
    const Rect& panel = controller->panel().frame();
    m_shell.input.setMouseLocation({panel.x + island.midX(), panel.y + island.minY() - 20});
    m_shell.clock.advance(45);
    EXPECT_EQ(controller->state(), TarvoState::tab);
    m_shell.input.setMouseLocation({panel.x + island.midX(), panel.y + island.minY() - 200});
    m_shell.clock.advance(15);
    EXPECT_EQ(controller->state(), TarvoState::hidden);
}

TEST_F(ShelfStateTest, ANotchClickOpensAHiddenShelfBloomsTheTabAndLeavesTheOthers) {
    const TarvoController::NotchRects rects =
        TarvoController::notchRects(m_shell.screens.screens.front());
    const QPointF inside(rects.click.midX(), rects.click.midY());
    m_shell.input.setMouseLocation(inside);
    MouseEvent down{EventType::leftMouseDown, 0};

    m_shell.monitors.postGlobal(down);
    EXPECT_EQ(controller->state(), TarvoState::resting);
    controller->hideTarvo();

    foldToTab();
    m_shell.input.setMouseLocation(inside);
    m_shell.monitors.postGlobal(down);
    EXPECT_EQ(controller->state(), TarvoState::resting);
    EXPECT_TRUE(controller->engagedThisSession());
    m_shell.clock.advance(0.3); // a fresh bloom is held open
    EXPECT_EQ(controller->state(), TarvoState::resting);

    controller->dragMonitor(controller->monitor(), {});
    m_shell.monitors.postGlobal(down);
    EXPECT_EQ(controller->state(), TarvoState::dragging);
}

// Without a notch, the strip above the island is the desktop's top panel:
// a click there far from the tab must not open the shelf.
TEST_F(ShelfStateTest, WithoutANotchOnlyTheTabsOwnWidthAtTheTopEdgeOpensTheShelf) {
    struct Case {
        double menuBarHeight;
        QPointF pointer;
        bool opens;
    };
    const Case cases[] = {
        {28, {640, 790}, true},   // centre of the top panel, over the tab
        {28, {100, 790}, false},  // the top panel's left end
        {28, {1200, 799}, false}, // its right end
        {28, {640, 760}, false},  // below the top panel
        {0, {640, 799}, true},    // no top panel: the top edge still takes a click
        {0, {640, 795}, false},   // ...only 4 points of it
        {0, {640, 796.5}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(QStringLiteral("inset %1 at %2,%3")
                         .arg(c.menuBarHeight)
                         .arg(c.pointer.x())
                         .arg(c.pointer.y())
                         .toStdString());
        ScreenMetrics screen;
        screen.frame = {0, 0, 1280, 800};
        screen.menuBarHeight = c.menuBarHeight;
        setScreen(screen);
        controller->hideTarvo();
        controller->screenParametersChanged();
        m_shell.input.setMouseLocation(c.pointer);
        m_shell.monitors.postGlobal({EventType::leftMouseDown, 0});
        EXPECT_EQ(controller->state() == TarvoState::resting, c.opens);
    }
}

TEST_F(ShelfStateTest, ANotchedScreensRectanglesSpanTheNotchAndReachBelowIt) {
    const TarvoController::NotchRects rects = TarvoController::notchRects(notchedScreen());
    EXPECT_EQ(rects.click, (Rect{660, 950, 192, 32}));
    EXPECT_EQ(rects.hover, (Rect{660, 940, 192, 42}));
}

TEST_F(ShelfStateTest, HoveringAtTheNotchForFourTenthsOfASecondBloomsTheTab) {
    m_preferences.setOpenShelfOnNotchHover(true);
    const std::size_t before = m_shell.monitors.globalCount();
    foldToTab();
    EXPECT_EQ(m_shell.monitors.globalCount(), before + 1); // the hover monitor, only as a tab
    const TarvoController::NotchRects rects =
        TarvoController::notchRects(m_shell.screens.screens.front());
    const QPointF atNotch(rects.hover.midX(), rects.hover.y + 1);
    const MouseEvent moved{EventType::mouseMoved, 0};

    // Folding disarms the wake until the pointer has been away.
    m_shell.input.setMouseLocation(atNotch);
    m_shell.monitors.postGlobal(moved);
    m_shell.clock.advance(1);
    EXPECT_EQ(controller->state(), TarvoState::tab);

    m_shell.input.setMouseLocation({100, 100});
    m_shell.monitors.postGlobal(moved);
    m_shell.input.setMouseLocation(atNotch);
    m_shell.monitors.postGlobal(moved);
    m_shell.clock.advance(0.39);
    EXPECT_EQ(controller->state(), TarvoState::tab);
    m_shell.clock.advance(0.01);
    EXPECT_EQ(controller->state(), TarvoState::resting);
    EXPECT_EQ(m_shell.monitors.globalCount(), before + 1); // hover gone, outside click there
}

TEST_F(ShelfStateTest, LeavingTheNotchBeforeTheDwellEndsKeepsTheTab) {
    m_preferences.setOpenShelfOnNotchHover(true);
    foldToTab();
    const TarvoController::NotchRects rects =
        TarvoController::notchRects(m_shell.screens.screens.front());
    const MouseEvent moved{EventType::mouseMoved, 0};
    m_shell.input.setMouseLocation({100, 100});
    m_shell.monitors.postGlobal(moved);
    m_shell.input.setMouseLocation({rects.hover.midX(), rects.hover.midY()});
    m_shell.monitors.postGlobal(moved);
    m_shell.clock.advance(0.2);
    m_shell.input.setMouseLocation({100, 100});
    m_shell.monitors.postGlobal(moved);
    m_shell.clock.advance(1);
    EXPECT_EQ(controller->state(), TarvoState::tab);
}

TEST_F(ShelfStateTest, AnOutsideClickFoldsARestingShelfButNotRightAfterADragOrBloom) {
    addItem();
    controller->openTarvo();
    controller->dragMonitor(controller->monitor(), {});
    controller->dragMonitorDragEnded(controller->monitor());
    ASSERT_EQ(controller->state(), TarvoState::resting);
    pointerOverIsland(); // the watchdog must not fold first
    const MouseEvent up{EventType::leftMouseUp, 0};
    m_shell.clock.advance(0.5);
    m_shell.monitors.postGlobal(up);
    EXPECT_EQ(controller->state(), TarvoState::resting);
    m_shell.clock.advance(0.4);
    m_shell.monitors.postGlobal(up);
    EXPECT_EQ(controller->state(), TarvoState::tab);
}

TEST_F(ShelfStateTest, AClickOnTheRestingIslandOrThePreviewIsNoOutsideClick) {
    addItem();
    controller->openTarvo();
    controller->dragMonitor(controller->monitor(), {});
    controller->dragMonitorDragEnded(controller->monitor());
    pointerOverIsland();
    m_shell.clock.advance(0.9);
    ASSERT_EQ(controller->state(), TarvoState::resting);
    // The window system reports every click, those on the shelf included.
    const Rect island = controller->view().islandRect();
    const Rect& panel = controller->panel().frame();
    m_shell.input.setMouseLocation({panel.x + island.midX(), panel.y + island.midY()});
    m_shell.monitors.postGlobal({EventType::leftMouseUp, 0});
    m_shell.monitors.postGlobal({EventType::rightMouseUp, 0});
    EXPECT_EQ(controller->state(), TarvoState::resting);
    // Nor is one in the preview the shelf opened.
    const Item file = addFileItem(controller->store(), QStringLiteral("seen.txt"), "seen", false,
                                  m_shell.clock.now());
    controller->tarvoViewDidRequestQuickLookOf(controller->view(), {file.id});
    ASSERT_TRUE(controller->previewWindow() && controller->previewWindow()->isVisible());
    const QRect preview = controller->previewWindow()->frameGeometry();
    m_shell.input.setMouseLocation({double(preview.center().x()), 800.0 - preview.center().y()});
    m_shell.monitors.postGlobal({EventType::leftMouseUp, 0});
    EXPECT_EQ(controller->state(), TarvoState::resting);
    m_shell.input.setMouseLocation({panel.x + island.midX(), panel.y + island.y - 10});
    m_shell.monitors.postGlobal({EventType::leftMouseUp, 0});
    EXPECT_EQ(controller->state(), TarvoState::tab) << "just below the island is outside";
}

// The preview shows one of the shelf's items: the shelf stays while the
// pointer goes over the desktop into it and rests there, and folds as after
// leaving the island once the pointer has left both, whether the fold
// watchdog runs (after a drop) or only the settle timer (opened from the menu).
TEST_F(ShelfStateTest, ThePreviewOfAnItemHoldsTheShelfWhileThePointerIsInIt) {
    const Item file = addFileItem(controller->store(), QStringLiteral("seen.txt"), "seen", false,
                                  m_shell.clock.now());
    auto showPreview = [&] {
        controller->tarvoViewDidRequestQuickLookOf(controller->view(), {file.id});
        ASSERT_TRUE(controller->previewWindow() && controller->previewWindow()->isVisible());
    };
    auto leavePreview = [&] {
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(controller->previewWindow(), &leave);
    };
    const Point desktop{5, 5};
    struct Case {
        const char* name;
        std::function<void()> rest;
    };
    const Case cases[] = {
        {"after a drop", [this] { dropDuringDrag(); }},
        {"opened from the menu", [this] { controller->openTarvo(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.rest();
        m_shell.clock.advance(0.5); // past the bloom
        pointerOverIsland();
        ASSERT_EQ(controller->state(), TarvoState::resting);
        showPreview();
        const QRect preview = controller->previewWindow()->frameGeometry();
        const Point between{double(preview.center().x()), 800.0 - preview.top() + 10};
        const Point inPreview{double(preview.center().x()), 800.0 - preview.center().y()};

        // On its way, over the desktop between island and preview.
        pointerAwayFromIsland();
        m_shell.input.setMouseLocation({between.x, between.y});
        m_shell.clock.advance(0.3);
        EXPECT_EQ(controller->state(), TarvoState::resting);
        m_shell.input.setMouseLocation({inPreview.x, inPreview.y});
        m_shell.clock.advance(5); // the watchdog and the settle timers look meanwhile
        EXPECT_EQ(controller->state(), TarvoState::resting);

        // Out of the preview onto the desktop.
        m_shell.input.setMouseLocation({desktop.x, desktop.y});
        leavePreview();
        m_shell.clock.advance(0.35);
        EXPECT_EQ(controller->state(), TarvoState::tab);

        controller->previewWindow()->close();
        controller->hideTarvo();
        m_shell.clock.advance(1);
    }

    // Leaving the island for the desktop folds as before with a preview open.
    controller->openTarvo();
    m_shell.clock.advance(0.5);
    pointerOverIsland();
    showPreview();
    pointerAwayFromIsland();
    m_shell.input.setMouseLocation({desktop.x, desktop.y});
    m_shell.clock.advance(0.35);
    EXPECT_EQ(controller->state(), TarvoState::tab);

    // A closed preview holds nothing.
    controller->bloomFromTab();
    m_shell.clock.advance(0.5);
    pointerOverIsland();
    const QRect preview = controller->previewWindow()->frameGeometry();
    controller->previewWindow()->close();
    pointerAwayFromIsland();
    m_shell.input.setMouseLocation({double(preview.center().x()), 800.0 - preview.center().y()});
    m_shell.clock.advance(0.35);
    EXPECT_EQ(controller->state(), TarvoState::tab);
}

TEST_F(ShelfStateTest, TheMenuAndTheHotkeyOpenAndHide) {
    controller->openTarvo();
    EXPECT_EQ(controller->state(), TarvoState::resting);
    EXPECT_TRUE(controller->view().showsEmptyHint());
    controller->toggleTarvo();
    EXPECT_EQ(controller->state(), TarvoState::hidden);
    EXPECT_FALSE(controller->engagedThisSession());
    controller->toggleTarvo();
    EXPECT_EQ(controller->state(), TarvoState::resting);
    EXPECT_TRUE(controller->panel().wantsKeyboardFocus());
}

TEST_F(ShelfStateTest, WithoutAScreenNothingOpens) {
    m_shell.screens.screens.clear();
    controller->dragMonitor(controller->monitor(), {});
    controller->openTarvo();
    m_shell.monitors.postGlobal({EventType::leftMouseDown, 0});
    EXPECT_EQ(controller->state(), TarvoState::hidden);
    EXPECT_FALSE(controller->panel().isPanelVisible());
    controller->showTransientNotice(QStringLiteral("kept"), false);
    EXPECT_EQ(controller->view().notice(), QStringLiteral("kept"));
}

TEST_F(ShelfStateTest, OnlyItemsThatLandWhileRunningPlayTheLandingAnimation) {
    const Item stored = addItem();
    controller->store().waitForWrites(); // the second shelf reads what the first wrote
    auto second = makeController();
    second->start();
    second->itemsArrived({}); // the first snapshot holds the stored item in place
    TarvoView& view = second->view();
    ASSERT_TRUE(view.itemLayers().contains(stored.id));
    EXPECT_FALSE(view.itemLayers().at(stored.id)->animation("land-scale"));

    const Item landed = addTextItem(second->store(), QStringLiteral("new"), m_shell.clock.now());
    second->itemsArrived({landed});
    ASSERT_TRUE(view.itemLayers().contains(landed.id));
    EXPECT_TRUE(view.itemLayers().at(landed.id)->animation("land-scale"));
    EXPECT_FALSE(view.itemLayers().at(stored.id)->animation("land-scale"));
}

TEST_F(ShelfStateTest, ADropOnTheViewLandsAnItemAndTheShelfRestsWhenTheDragEnds) {
    controller->dragMonitor(controller->monitor(), {});
    TarvoView& view = controller->view();
    QMimeData data;
    data.setText(QStringLiteral("dropped words"));
    const QPoint at = view.rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&view, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&view, &drop);
    EXPECT_TRUE(drop.isAccepted());
    ASSERT_EQ(controller->store().items().size(), 1u);
    EXPECT_EQ(controller->state(), TarvoState::dragging);
    EXPECT_EQ(view.items().size(), 1u);
    controller->dragMonitorDragEnded(controller->monitor());
    EXPECT_EQ(controller->state(), TarvoState::resting);
}

TEST_F(ShelfStateTest, ADragWithNothingTheShelfTakesIsRefused) {
    controller->dragMonitor(controller->monitor(), {});
    TarvoView& view = controller->view();
    QMimeData data;
    data.setData(QStringLiteral("application/x-private-thing"), "x");
    QDragEnterEvent enter(view.rect().center(), Qt::CopyAction, &data, Qt::LeftButton,
                          Qt::NoModifier);
    QCoreApplication::sendEvent(&view, &enter);
    EXPECT_FALSE(enter.isAccepted());
    EXPECT_TRUE(controller->store().items().empty());
}

} // namespace
} // namespace tarvo::test
