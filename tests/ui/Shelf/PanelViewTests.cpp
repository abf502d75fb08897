#include "RecordingViewDelegate.h"

#include "TarvoPlatform/memory/MemoryPanelWindowSystem.h"
#include "TarvoPlatform/memory/MemoryScreens.h"
#include "TarvoPanel.h"
#include "TarvoView.h"

#include "support/ItemFactory.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QWindow>

#include <gtest/gtest.h>

namespace tarvo::test {
namespace {

Item textItem() {
    Item item;
    item.id = QUuid::createUuid();
    item.payload = ItemPayload::text(QStringLiteral("hello"));
    item.state = ItemState::ready();
    item.displayName = QStringLiteral("hello");
    return item;
}

class PanelTest : public ::testing::Test {
protected:
    PanelTest() {
        ScreenMetrics screen;
        screen.frame = {0, 0, 1280, 800};
        m_screens.screens.push_back(screen);
        m_panel = std::make_unique<TarvoPanel>(&m_windowSystem, m_screens);
        m_view = new TarvoView;
        m_panel->setContentView(m_view);
        m_view->setDelegate(&m_delegate);
        // A 360 x 132 panel at the top of the screen, as the shelf places it.
        m_panel->setFrame({460, 668, 360, 132});
        m_view->setIslandWidth(200);
    }

    void show(TarvoState state, std::vector<Item> items = {}) {
        m_view->update(std::move(items), {}, state, {});
    }
    quint64 id() { return quint64(m_panel->winId()); }

    MemoryScreens m_screens;
    MemoryPanelWindowSystem m_windowSystem;
    RecordingViewDelegate m_delegate;
    std::unique_ptr<TarvoPanel> m_panel;
    TarvoView* m_view = nullptr;
};

TEST_F(PanelTest, IsAFramelessToolWindowAboveOthersThatNeverTakesFocusUnasked) {
    const Qt::WindowFlags flags = m_panel->windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::Tool));
    EXPECT_TRUE(flags.testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowDoesNotAcceptFocus));
    EXPECT_TRUE(m_panel->testAttribute(Qt::WA_ShowWithoutActivating));
    EXPECT_FALSE(m_panel->canBecomeKey());
    EXPECT_FALSE(m_panel->canBecomeMain());
    // The workspace and task-bar states go on the window before it is mapped.
    EXPECT_EQ(m_windowSystem.panelStateCalls.value(id()), 1);
    EXPECT_EQ(m_panel->geometry(), QRect(460, 0, 360, 132));
}

TEST_F(PanelTest, KeyboardFocusIsToggledOnTheWindowWithoutHidingIt) {
    m_panel->orderFront();
    ASSERT_TRUE(m_panel->isVisible());
    m_panel->setWantsKeyboardFocus(true);
    EXPECT_TRUE(m_panel->canBecomeKey());
    EXPECT_FALSE(m_panel->windowHandle()->flags().testFlag(Qt::WindowDoesNotAcceptFocus));
    EXPECT_TRUE(m_panel->isVisible());
    m_panel->setWantsKeyboardFocus(false);
    EXPECT_TRUE(m_panel->windowHandle()->flags().testFlag(Qt::WindowDoesNotAcceptFocus));
    EXPECT_TRUE(m_panel->isVisible());
}

TEST_F(PanelTest, EscapeIsReportedEvenWithoutKeyboardFocus) {
    m_panel->setWantsKeyboardFocus(true);
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(m_panel.get(), &escape);
    EXPECT_FALSE(m_panel->wantsKeyboardFocus());
    QCoreApplication::sendEvent(m_panel.get(), &escape);
    EXPECT_EQ(m_delegate.calls, QStringList({"escape", "escape"}));
}

TEST_F(PanelTest, WithoutADelegateKeysReportNothing) {
    m_view->setDelegate(nullptr);
    QKeyEvent undo(QEvent::KeyPress, Qt::Key_Z, Qt::ControlModifier);
    QCoreApplication::sendEvent(m_view, &undo);
    EXPECT_TRUE(m_delegate.calls.isEmpty());
}

TEST_F(PanelTest, HitTestingFollowsTheState) {
    struct Case {
        const char* name;
        TarvoState state;
        bool items;
        bool forcesClose;
        Point point;
        bool hit;
    };
    // The island is 200 wide, centred in 360 (x 80 to 280), from y 40 up.
    const Case cases[] = {
        {"resting island", TarvoState::resting, true, false, {180, 100}, true},
        {"resting just left of the island", TarvoState::resting, true, false, {75, 100}, true},
        {"resting beyond the margin", TarvoState::resting, true, false, {73, 100}, false},
        {"resting below the island", TarvoState::resting, true, false, {180, 39}, false},
        {"resting above the view", TarvoState::resting, true, false, {180, 133}, false},
        {"resting empty shelf, for its menu", TarvoState::resting, false, false, {180, 100}, true},
        {"resting close button", TarvoState::resting, false, true, {87, 47}, true},
        {"tab takes clicks where it is drawn", TarvoState::tab, true, false, {180, 110}, true},
        {"beside the tab passes clicks through", TarvoState::tab, true, false, {60, 110}, false},
        {"below the tab passes clicks through", TarvoState::tab, true, false, {180, 90}, false},
        {"tab never shows the close button", TarvoState::tab, true, true, {87, 139}, false},
        {"dragging passes clicks through", TarvoState::dragging, true, false, {180, 100}, false},
        {"hidden", TarvoState::hidden, true, false, {180, 100}, false},
    };
    for (const Case& c : cases) {
        m_view->setForcesCloseBadge(c.forcesClose);
        show(c.state, c.items ? std::vector<Item>{textItem()} : std::vector<Item>{});
        EXPECT_EQ(m_view->hitTest(c.point), c.hit) << c.name;
    }
}

TEST_F(PanelTest, TheInputShapeFollowsTheHitTestAndTakesTheWholePanelWhileDragging) {
    show(TarvoState::dragging);
    EXPECT_EQ(m_windowSystem.inputRegions.value(id()), QRegion(0, 0, 360, 132));
    show(TarvoState::tab, {textItem()});
    const Rect tab = m_view->islandRect();
    EXPECT_EQ(
        m_windowSystem.inputRegions.value(id()),
        QRegion(
            QRectF(tab.x, m_view->height() - tab.maxY(), tab.width, tab.height).toAlignedRect()))
        << "the tab answers where it is drawn";
    show(TarvoState::resting, {textItem()});
    EXPECT_EQ(m_windowSystem.inputRegions.value(id()), QRegion(74, 0, 212, 92));
    show(TarvoState::resting);
    EXPECT_EQ(m_windowSystem.inputRegions.value(id()), QRegion(74, 0, 212, 92))
        << "an empty shelf answers its menu";
    m_view->setNotice(QStringLiteral("Removed 3 items"));
    m_view->setNoticeIsClickable(true);
    show(TarvoState::resting);
    const std::optional<Rect> chip = m_view->chipFrame();
    ASSERT_TRUE(chip);
    EXPECT_TRUE(m_windowSystem.inputRegions.value(id()).contains(
        m_view->toQt({chip->midX(), chip->midY()}).toPoint()));
}

TEST_F(PanelTest, WithoutACompositorOnlyTheIslandShows) {
    m_windowSystem.compositor = false;
    m_panel->refreshCompositor();
    show(TarvoState::resting, {textItem()});
    ASSERT_TRUE(m_windowSystem.boundingRegions.contains(id()));
    const std::optional<QRegion> outline = m_windowSystem.boundingRegions.value(id());
    ASSERT_TRUE(outline);
    EXPECT_TRUE(outline->contains(QPoint(180, 40)));   // the island's face
    EXPECT_FALSE(outline->contains(QPoint(10, 120)));  // beside it
    EXPECT_FALSE(outline->contains(QPoint(180, 120))); // below it

    m_windowSystem.compositor = true;
    m_panel->refreshCompositor();
    EXPECT_EQ(m_windowSystem.boundingRegions.value(id()), std::nullopt);
}

// Where the window system hides by shape, a put-away panel stays mapped with
// nothing of it to see or to point at (a drag that began before the shelf
// showed still finds it there), and showing it gives back the shapes the
// view asks for, with and without a compositor.
TEST_F(PanelTest, PutAwayThePanelStaysMappedShapedToNothingAndShowingRestoresItsShapes) {
    struct Case {
        const char* name;
        bool compositor;
    };
    const Case cases[] = {{"composited", true}, {"no compositor", false}};
    for (const Case& c : cases) {
        MemoryPanelWindowSystem windowSystem;
        windowSystem.shapes = true;
        windowSystem.compositor = c.compositor;
        TarvoPanel panel(&windowSystem, m_screens);
        auto* view = new TarvoView;
        panel.setContentView(view);
        view->setDelegate(&m_delegate);
        panel.setFrame({460, 668, 360, 132});
        view->setIslandWidth(200);
        const quint64 window = quint64(panel.winId());
        EXPECT_TRUE(panel.isVisible()) << c.name << ": mapped before the first show";
        EXPECT_TRUE(panel.isPutAway()) << c.name;

        panel.orderFront();
        view->update({textItem()}, {}, TarvoState::resting, {});
        view->setStripState(TarvoState::resting, false);
        const QRegion shownInput = windowSystem.inputRegions.value(window);
        const std::optional<QRegion> shownBounding = windowSystem.boundingRegions.value(window);
        EXPECT_FALSE(shownInput.isEmpty()) << c.name;
        EXPECT_FALSE(panel.isPutAway()) << c.name;
        EXPECT_TRUE(panel.isPanelVisible()) << c.name;
        EXPECT_EQ(shownBounding.has_value(), !c.compositor) << c.name;

        panel.orderOut();
        EXPECT_TRUE(panel.isVisible()) << c.name << ": put away, not unmapped";
        EXPECT_FALSE(panel.isPanelVisible()) << c.name;
        EXPECT_TRUE(windowSystem.inputRegions.value(window).isEmpty()) << c.name;
        ASSERT_TRUE(windowSystem.boundingRegions.contains(window)) << c.name;
        const std::optional<QRegion> hidden = windowSystem.boundingRegions.value(window);
        ASSERT_TRUE(hidden.has_value()) << c.name << ": the whole window would show";
        EXPECT_TRUE(hidden->isEmpty()) << c.name;

        panel.orderFront();
        EXPECT_TRUE(panel.isPanelVisible()) << c.name;
        EXPECT_EQ(windowSystem.inputRegions.value(window), shownInput) << c.name;
        EXPECT_EQ(windowSystem.boundingRegions.value(window), shownBounding) << c.name;
    }
}

TEST_F(PanelTest, WithoutShapesPuttingAwayUnmapsThePanel) {
    m_panel->orderFront();
    show(TarvoState::resting, {textItem()});
    ASSERT_TRUE(m_panel->isVisible());
    m_panel->orderOut();
    EXPECT_FALSE(m_panel->isVisible());
    EXPECT_FALSE(m_panel->isPutAway());
    m_panel->orderFront();
    EXPECT_TRUE(m_panel->isPanelVisible());
}

TEST_F(PanelTest, UnchangedValuesCauseNoLayout) {
    m_view->setNotice(QStringLiteral("Saved"));
    int layouts = 0;
    m_view->onShapeChanged = [&] { ++layouts; };
    m_view->setNotice(QStringLiteral("Saved"));
    m_view->setIslandWidth(200);
    m_view->setTabGlowDimmed(false);
    EXPECT_EQ(layouts, 0);
    m_view->setIslandWidth(240);
    EXPECT_EQ(layouts, 1);
}

TEST_F(PanelTest, ScrollingStopsAtBothEndsAndDoesNothingWhenEverythingFits) {
    show(TarvoState::resting, {textItem(), textItem()});
    m_view->scrollItems(-50);
    EXPECT_EQ(m_view->itemScroll(), 0);
    std::vector<Item> many(6, textItem());
    show(TarvoState::resting, many);
    // Six tiles need 6 x 56 + 48 + 5 x 12 = 444 points in a 200-point island.
    m_view->scrollItems(-100);
    EXPECT_EQ(m_view->itemScroll(), 100);
    m_view->scrollItems(-1000);
    EXPECT_EQ(m_view->itemScroll(), 244);
    m_view->scrollItems(1000);
    EXPECT_EQ(m_view->itemScroll(), 0);
}

} // namespace
} // namespace tarvo::test
