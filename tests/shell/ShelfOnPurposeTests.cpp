// What a person asks of the shelf on purpose: a shelf opened from the tray
// stays until it was reached, a click gives it the keyboard and folding
// gives it back, the folded tab answers where it is drawn, and a cleared
// shelf can be had back.
#include "ShellFixture.h"

#include "TarvoCore/L10n.h"
#include "CaptionChip.h"
#include "TarvoPanel.h"
#include "TextLayer.h"
#include "TarvoView.h"

#include "support/ItemFactory.h"

#include <QCoreApplication>
#include <QMouseEvent>

#include <gtest/gtest.h>

#include <functional>

namespace tarvo::test {
namespace {

class ShelfOnPurposeTest : public ::testing::Test, protected ControllerFixture {
protected:
    void SetUp() override {
        controller = makeController();
        controller->start();
    }

    Item addItem() {
        return addTextItem(controller->store(), QStringLiteral("note %1").arg(++m_added),
                           m_shell.clock.now());
    }

    // Moves the pointer within the shelf's view, in view coordinates.
    void movePointerInView(Point point) {
        TarvoView& view = controller->view();
        QMouseEvent move(QEvent::MouseMove, view.toQt(point), view.mapToGlobal(view.toQt(point)),
                         Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&view, &move);
    }

    void click(Point point, quint64 timestamp) {
        TarvoView& view = controller->view();
        const QPointF at = view.toQt(point);
        QMouseEvent press(QEvent::MouseButtonPress, at, view.mapToGlobal(at), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        press.setTimestamp(timestamp);
        QCoreApplication::sendEvent(&view, &press);
        QMouseEvent release(QEvent::MouseButtonRelease, at, view.mapToGlobal(at), Qt::LeftButton,
                            Qt::NoButton, Qt::NoModifier);
        release.setTimestamp(timestamp + 80);
        QCoreApplication::sendEvent(&view, &release);
    }

    // A point on the island in global points.
    QPointF global(Point inView) const {
        const Rect& panel = controller->panel().frame();
        return {panel.x + inView.x, panel.y + inView.y};
    }

    quint64 panelID() { return quint64(controller->panel().winId()); }

    std::unique_ptr<TarvoController> controller;
    int m_added = 0;
};

TEST_F(ShelfOnPurposeTest, AShelfOpenedOnPurposeStaysItsSettleTimeUnlessReached) {
    const struct {
        const char* name;
        int items;
        TarvoState after;
    } cases[] = {
        {"empty", 0, TarvoState::hidden},
        {"with items", 2, TarvoState::tab},
    };
    for (const auto& c : cases) {
        controller->hideTarvo();
        m_shell.clock.advance(1);
        while (int(controller->store().items().size()) < c.items)
            addItem();
        controller->openTarvo();
        // The pointer is elsewhere (the tray): the watchdog looks every
        // 0.6 s, the shelf waits for the person all the same.
        m_shell.clock.advance(4.7);
        EXPECT_EQ(controller->state(), TarvoState::resting) << c.name;
        m_shell.clock.advance(0.1 + 0.6);
        EXPECT_EQ(controller->state(), c.after) << c.name;
    }
}

TEST_F(ShelfOnPurposeTest, AnOpenedShelfFoldsOnceThePointerWasOverItAndLeft) {
    controller->openTarvo();
    const Rect island = controller->view().islandRect();
    movePointerInView({island.midX(), island.maxY() - 20});
    ASSERT_TRUE(controller->view().isPointerOverIsland());
    m_shell.clock.advance(1);
    movePointerInView({1, 1});
    m_shell.clock.advance(0.6);
    EXPECT_EQ(controller->state(), TarvoState::hidden);
}

TEST_F(ShelfOnPurposeTest, AnOutsideClickOrEscapeEndsTheHold) {
    const struct {
        const char* name;
        std::function<void()> act;
    } cases[] = {
        {"outside click",
         [this] {
             m_shell.input.setMouseLocation({5, 5});
             m_shell.monitors.postGlobal(MouseEvent{EventType::leftMouseUp, 0});
         }},
        {"escape", [this] { controller->tarvoViewDidRequestEscape(controller->view()); }},
    };
    for (const auto& c : cases) {
        addItem();
        controller->openTarvo();
        m_shell.clock.advance(1);
        c.act();
        m_shell.clock.advance(0.6);
        EXPECT_NE(controller->state(), TarvoState::resting) << c.name;
        controller->hideTarvo();
    }
}

TEST_F(ShelfOnPurposeTest, AClickGivesTheShelfTheKeyboardAndFoldingGivesItBack) {
    addItem();
    addItem();
    const quint64 editor = 0x2a00007;
    m_shell.windowSystem.active = editor;
    controller->openTarvo();
    controller->refresh(false); // the view shows the items just added
    const Rect island = controller->view().islandRect();
    const Rect tile = *controller->view().itemFrame(controller->store().items().front().id);
    click({tile.midX(), tile.midY()}, 5000);
    EXPECT_TRUE(controller->panel().wantsKeyboardFocus());
    ASSERT_FALSE(m_shell.windowSystem.activations.empty());
    EXPECT_EQ(m_shell.windowSystem.activations.back(),
              (MemoryPanelWindowSystem::Activation{panelID(), 5000, editor}))
        << "the shelf asks with the click's time, naming the window it takes over from";
    EXPECT_EQ(controller->panel().previousActiveWindow(), editor);

    // A click on the bare island folds the shelf: the keyboard goes back.
    m_shell.clock.advance(1);
    click({island.minX() + 4, island.maxY() - 6}, 9000);
    EXPECT_EQ(controller->state(), TarvoState::tab);
    EXPECT_FALSE(controller->panel().wantsKeyboardFocus());
    EXPECT_EQ(m_shell.windowSystem.activations.back(),
              (MemoryPanelWindowSystem::Activation{editor, 9000, panelID()}));
}

TEST_F(ShelfOnPurposeTest, EscapeGivesTheKeyboardBackButNotAfterThePersonMovedOn) {
    const quint64 editor = 0x2a00007;
    const quint64 terminal = 0x3c00002;
    for (const bool movedOn : {false, true}) {
        addItem();
        m_shell.windowSystem.active = editor;
        controller->openTarvo();
        controller->refresh(false); // the view shows the item just added
        const Rect tile = *controller->view().itemFrame(controller->store().items().front().id);
        movePointerInView({tile.midX(), tile.midY()});
        click({tile.midX(), tile.midY()}, 7000);
        ASSERT_EQ(m_shell.windowSystem.active, panelID()) << "moved on " << movedOn;
        if (movedOn)
            m_shell.windowSystem.active = terminal;
        const std::size_t before = m_shell.windowSystem.activations.size();
        controller->tarvoViewDidRequestEscape(controller->view());
        EXPECT_EQ(controller->state(), TarvoState::hidden);
        if (movedOn) {
            EXPECT_EQ(m_shell.windowSystem.activations.size(), before)
                << "the terminal the person clicked into keeps the keyboard";
        } else {
            ASSERT_EQ(m_shell.windowSystem.activations.size(), before + 1);
            EXPECT_EQ(m_shell.windowSystem.activations.back().window, editor);
        }
        m_shell.clock.advance(1);
    }
}

TEST_F(ShelfOnPurposeTest, TheFoldedTabBelowATopPanelOpensWhereItIsDrawn) {
    ScreenMetrics screen;
    screen.frame = {0, 0, 1280, 800};
    screen.menuBarHeight = 27;
    m_shell.screens.screens = {screen};
    controller->screenParametersChanged();
    addItem();
    controller->openTarvo();
    controller->settleToTabNow();
    ASSERT_EQ(controller->state(), TarvoState::tab);
    const Rect tab = controller->view().islandRect();
    const QPointF drawn = global({tab.midX(), tab.midY()});
    EXPECT_LT(drawn.y(), 800 - 27) << "the tab hangs below the panel";

    const struct {
        const char* where;
        QPointF point;
        bool opens;
    } cases[] = {
        {"on the panel above the tab", {640, 790}, false},
        {"in the tab's middle", drawn, true},
        {"low on the tab", global({tab.midX(), tab.minY() + 2}), true},
        {"beside the tab", global({tab.minX() - 30, tab.midY()}), false},
    };
    for (const auto& c : cases) {
        m_shell.input.setMouseLocation(c.point);
        m_shell.monitors.postGlobal(MouseEvent{EventType::leftMouseDown, 0});
        EXPECT_EQ(controller->state() == TarvoState::resting, c.opens) << c.where;
        if (controller->state() == TarvoState::resting) {
            m_shell.clock.advance(1);
            controller->settleToTabNow();
        }
    }
}

TEST_F(ShelfOnPurposeTest, TheClickThatOpensTheTabDoesNotFoldItOnItsRelease) {
    addItem();
    controller->openTarvo();
    controller->settleToTabNow();
    m_shell.clock.advance(1);
    const Rect tab = controller->view().islandRect();
    m_shell.input.setMouseLocation(global({tab.midX(), tab.midY()}));
    m_shell.monitors.postGlobal(MouseEvent{EventType::leftMouseDown, 0});
    ASSERT_EQ(controller->state(), TarvoState::resting);
    controller->tarvoViewDidClickBareIsland(controller->view());
    EXPECT_EQ(controller->state(), TarvoState::resting);
}

TEST_F(ShelfOnPurposeTest, AClearedShelfComesBackByUndoOrItsNoticeWithinTheGrace) {
    const struct {
        const char* name;
        double after;
        bool byNotice;
        bool back;
    } cases[] = {
        {"undo at once", 1, false, true},
        {"the notice clicked", 1, true, true},
        {"undo after the grace", ItemStore::defaultRemovalGrace + 1, false, false},
    };
    for (const auto& c : cases) {
        const Item a = addItem();
        const Item b = addItem();
        const Item d = addItem();
        controller->store().setSelection({b.id});
        const std::vector<QUuid> order{d.id, b.id, a.id};
        controller->clearTarvo();
        EXPECT_TRUE(controller->store().items().empty()) << c.name;
        EXPECT_EQ(controller->view().notice(), L10n::shelfCleared()) << c.name;
        EXPECT_TRUE(controller->view().noticeIsClickable()) << c.name;
        EXPECT_EQ(controller->state(), TarvoState::resting) << c.name;
        m_shell.clock.advance(c.after);
        if (c.byNotice)
            controller->tarvoViewDidClickNotice(controller->view());
        else
            controller->undoLastDrop();
        std::vector<QUuid> now;
        for (const Item& item : controller->store().items())
            now.push_back(item.id);
        if (c.back) {
            EXPECT_EQ(now, order) << c.name << ": back in their order";
            EXPECT_EQ(controller->store().selection(), QSet<QUuid>{b.id}) << c.name;
            EXPECT_EQ(controller->view().notice(), L10n::shelfClearUndone()) << c.name;
        } else {
            EXPECT_TRUE(now.empty()) << c.name;
        }
        controller->clearTarvo();
        m_shell.clock.advance(ItemStore::defaultRemovalGrace + 1);
        controller->hideTarvo();
    }
}

TEST_F(ShelfOnPurposeTest, AClickOnTheNoticeIsTheShelfsOwnWhicheverHearsItFirst) {
    // The window system tells the view of the press and the outside-click
    // monitor of the release on two ways, in either order.
    const struct {
        const char* name;
        bool viewFirst;
    } cases[] = {
        {"the view hears the press first", true},
        {"the monitor hears the release first", false},
    };
    quint64 at = 10000;
    for (const auto& c : cases) {
        addItem();
        addItem();
        controller->clearTarvo();
        ASSERT_TRUE(controller->view().noticeIsClickable()) << c.name;
        const std::optional<Rect> notice = controller->view().chipFrame();
        ASSERT_TRUE(notice) << c.name;
        const Point centre{notice->midX(), notice->midY()};
        m_shell.input.setMouseLocation(global(centre));
        at += 10000;
        const MouseEvent release{EventType::leftMouseUp, double(at + 80) / 1000};
        if (!c.viewFirst)
            m_shell.monitors.postGlobal(release);
        click(centre, at);
        if (c.viewFirst)
            m_shell.monitors.postGlobal(release);
        EXPECT_EQ(controller->store().items().size(), 2u) << c.name << ": not put back";
        EXPECT_EQ(controller->state(), TarvoState::resting) << c.name;
        // It stays for the items to be seen, until a click outside.
        m_shell.clock.advance(2);
        EXPECT_EQ(controller->state(), TarvoState::resting) << c.name;
        m_shell.input.setMouseLocation({5, 5});
        m_shell.monitors.postGlobal(MouseEvent{EventType::leftMouseUp, double(at + 3000) / 1000});
        EXPECT_EQ(controller->state(), TarvoState::tab) << c.name;
        controller->clearTarvo();
        m_shell.clock.advance(ItemStore::defaultRemovalGrace + 1);
        controller->hideTarvo();
    }
}

TEST_F(ShelfOnPurposeTest, ThePointerOnTheClearedShelfsNoticeHoldsItUntilItLeaves) {
    addItem();
    controller->clearTarvo();
    const std::optional<Rect> notice = controller->view().chipFrame();
    ASSERT_TRUE(notice);
    // A person slow to reach it: the shelf's own hold is long over.
    m_shell.input.setMouseLocation(global({notice->midX(), notice->midY()}));
    m_shell.clock.advance(10);
    EXPECT_EQ(controller->state(), TarvoState::resting);
    EXPECT_EQ(controller->view().notice(), L10n::shelfCleared());
    m_shell.input.setMouseLocation({5, 5});
    m_shell.clock.advance(2.5);
    EXPECT_EQ(controller->state(), TarvoState::hidden);
}

TEST_F(ShelfOnPurposeTest, APressOnTheShelfBeforeItOpenedKeepsNoLaterOutsideClick) {
    addItem();
    // Taken while the tab showed, its release unheard by the outside-click
    // watcher, which listens only while the shelf rests.
    controller->openTarvo();
    controller->settleToTabNow();
    ASSERT_EQ(controller->state(), TarvoState::tab);
    const Rect tab = controller->view().islandRect();
    click({tab.midX(), tab.midY()}, 50000);
    controller->hideTarvo();
    controller->openTarvo();
    m_shell.clock.advance(1);
    m_shell.input.setMouseLocation({5, 5});
    m_shell.monitors.postGlobal(MouseEvent{EventType::leftMouseUp, 60.0});
    EXPECT_EQ(controller->state(), TarvoState::tab);
}

TEST_F(ShelfOnPurposeTest, ANoticeWiderThanTheIslandHangsUnderItWhole) {
    addItem();
    controller->openTarvo();
    const TarvoView& view = controller->view();
    const auto islandOnScreen = [&] {
        const Rect island = view.islandRect();
        return Rect{controller->panel().frame().x + island.x, island.y, island.width,
                    island.height};
    };
    const Rect island = islandOnScreen();
    const QString notice = TarvoController::takesNoDropsNotice();
    const double textWidth =
        TextLayer::preferredWidth(notice, CaptionChip::fontSize, FontWeight::semibold);
    ASSERT_GT(textWidth, controller->panel().frame().width) << "the case wants a wide notice";

    controller->showTransientNotice(notice, false);
    const std::optional<Rect> chip = view.chipFrame();
    ASSERT_TRUE(chip);
    EXPECT_GE(chip->width, textWidth + 2 * CaptionChip::textInset) << "the notice is cut";
    EXPECT_GE(chip->x, 0);
    EXPECT_LE(chip->maxX(), controller->panel().frame().width);
    EXPECT_EQ(islandOnScreen(), island) << "the island moved or changed";

    // Gone with its notice, the window is the island's again.
    for (int second = 0; second < 30 && view.notice(); ++second)
        m_shell.clock.advance(1);
    ASSERT_FALSE(view.notice());
    EXPECT_LT(controller->panel().frame().width, textWidth);
}

} // namespace
} // namespace tarvo::test
