#include "RecordingViewDelegate.h"

#include "TarvoPlatform/InputState.h"
#include "ItemLayer.h"
#include "KeyAction.h"
#include "ShelfInput.h"
#include "TarvoView.h"

#include <QAction>
#include <QKeyEvent>
#include <QMenu>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

namespace tarvo::test {
namespace {

using namespace ModifierFlag;

Item textItem(const QString& name, std::optional<QString> source = std::nullopt) {
    Item item;
    item.id = QUuid::createUuid();
    item.payload = ItemPayload::text(name);
    item.state = ItemState::ready();
    item.displayName = name;
    item.sourceBundleID = std::move(source);
    return item;
}

TEST(KeyActionTable, MapsKeysAndModifiersAsTheShelfReadsThem) {
    struct Case {
        quint16 key;
        const char* characters;
        quint64 modifiers;
        KeyAction action;
    };
    const Case cases[] = {
        {36, "\r", 0, KeyAction::copy},
        {36, "\r", command, KeyAction::open},
        {36, "\r", command | shift, KeyAction::open},
        {49, " ", 0, KeyAction::quickLook},
        {49, " ", option, KeyAction::quickLook},
        {51, "", 0, KeyAction::remove},
        {117, "", shift, KeyAction::remove},
        {53, "", 0, KeyAction::escape},
        {123, "", 0, KeyAction::moveLeft},
        {124, "", command, KeyAction::moveRight},
        {6, "z", command, KeyAction::undo},
        {6, "Z", command, KeyAction::undo},
        {9, "v", command, KeyAction::paste},
        {6, "z", command | shift, KeyAction::none},
        {6, "z", command | option, KeyAction::none},
        {6, "z", 0, KeyAction::none},
        {8, "c", command, KeyAction::none},
        {0, "a", 0, KeyAction::none},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(KeyActions::action(c.key, QString::fromLatin1(c.characters), c.modifiers),
                  c.action)
            << c.key << " " << c.characters << " " << c.modifiers;
    }
}

TEST(KeyActionTable, LinuxKeysMapWithCapsLockAndNumLockChangingNothing) {
    struct Case {
        const char* name;
        int key;
        Qt::KeyboardModifiers modifiers;
        const char* text;
        KeyAction action;
    };
    // Caps Lock shows only in the text ("Z"); Num Lock as the keypad flag.
    const Case cases[] = {
        {"Ctrl+Z", Qt::Key_Z, Qt::ControlModifier, "\x1a", KeyAction::undo},
        {"Ctrl+Z with Caps Lock", Qt::Key_Z, Qt::ControlModifier, "Z", KeyAction::undo},
        {"Ctrl+V", Qt::Key_V, Qt::ControlModifier, "\x16", KeyAction::paste},
        {"Ctrl+V with Caps Lock", Qt::Key_V, Qt::ControlModifier, "V", KeyAction::paste},
        {"Ctrl+Shift+Z", Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier, "Z", KeyAction::none},
        {"Alt+Z", Qt::Key_Z, Qt::AltModifier, "z", KeyAction::none},
        {"Super+Ctrl+Z", Qt::Key_Z, Qt::ControlModifier | Qt::MetaModifier, "", KeyAction::none},
        {"Z alone", Qt::Key_Z, Qt::NoModifier, "z", KeyAction::none},
        {"Return", Qt::Key_Return, Qt::NoModifier, "\r", KeyAction::copy},
        {"keypad Enter with Num Lock", Qt::Key_Enter, Qt::KeypadModifier, "\r", KeyAction::copy},
        {"Ctrl+Return", Qt::Key_Return, Qt::ControlModifier, "\r", KeyAction::open},
        {"Ctrl+keypad Enter with Num Lock", Qt::Key_Enter, Qt::ControlModifier | Qt::KeypadModifier,
         "\r", KeyAction::open},
        {"Space", Qt::Key_Space, Qt::NoModifier, " ", KeyAction::quickLook},
        {"Backspace", Qt::Key_Backspace, Qt::NoModifier, "\b", KeyAction::remove},
        {"Delete", Qt::Key_Delete, Qt::NoModifier, "", KeyAction::remove},
        {"keypad Delete", Qt::Key_Delete, Qt::KeypadModifier, "", KeyAction::remove},
        {"Escape", Qt::Key_Escape, Qt::NoModifier, "\x1b", KeyAction::escape},
        {"Left", Qt::Key_Left, Qt::NoModifier, "", KeyAction::moveLeft},
        {"keypad Left with Num Lock off", Qt::Key_Left, Qt::KeypadModifier, "",
         KeyAction::moveLeft},
        {"Shift+Right", Qt::Key_Right, Qt::ShiftModifier, "", KeyAction::moveRight},
        {"Ctrl+C", Qt::Key_C, Qt::ControlModifier, "\x03", KeyAction::none},
    };
    for (const Case& c : cases) {
        const QKeyEvent event(QEvent::KeyPress, c.key, c.modifiers, QString::fromLatin1(c.text));
        EXPECT_EQ(KeyActions::forEvent(event), c.action) << c.name;
    }
}

TEST(KeyActionTable, WheelNotchesScrollALineAndTouchpadsScrollTheirPoints) {
    struct Case {
        const char* name;
        QPoint angle;
        QPoint pixels;
        double delta;
    };
    const Case cases[] = {
        {"one notch up", {0, 120}, {}, 10},
        {"one notch down", {0, -120}, {}, -10},
        {"two notches", {0, 240}, {}, 20},
        {"a high-resolution wheel's eighth of a notch", {0, 15}, {}, 1.25},
        {"a horizontal notch", {120, 0}, {}, 10},
        {"touchpad points", {0, 24}, {0, 3}, 3},
        {"touchpad both ways", {}, {-2, 5}, 3},
        {"nothing", {}, {}, 0},
    };
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(KeyActions::scrollDelta(c.angle, c.pixels), c.delta) << c.name;
    // One notch goes past the chip row's threshold of 2.0 either way.
    EXPECT_GT(std::abs(KeyActions::scrollDelta({0, -120}, {})), 2.0);
}

class ShelfInputTest : public ::testing::Test {
protected:
    ShelfInputTest() {
        m_view.resize(560, 132);
        m_view.setDelegate(&m_delegate);
        for (const char* name : {"one", "two", "three", "four", "five"})
            m_items.push_back(textItem(QString::fromLatin1(name)));
        show();
        input().popUpMenu = [this](QMenu& menu, QPoint) { shownMenu = describe(menu); };
    }

    void show(TarvoState state = TarvoState::resting) { m_view.update(m_items, {}, state, {}); }
    ShelfInput& input() { return m_view.input(); }
    Point centre(std::size_t index) {
        const Rect frame = m_view.itemFrame(m_items[index].id).value();
        return {frame.midX(), frame.midY()};
    }
    void click(std::size_t index, bool shift = false, bool command = false) {
        input().press({centre(index), shift, command, 1});
        input().release(centre(index));
    }
    std::vector<QUuid> ids(std::initializer_list<std::size_t> indexes) {
        std::vector<QUuid> list;
        for (std::size_t i : indexes)
            list.push_back(m_items[i].id);
        return list;
    }
    // Titles, "-" for separators, with the shortcut after a tab.
    static QStringList describe(const QMenu& menu) {
        QStringList entries;
        for (const QAction* action : menu.actions()) {
            if (action->isSeparator()) {
                entries << QStringLiteral("-");
                continue;
            }
            QString entry = action->text();
            if (!action->shortcut().isEmpty())
                entry += u'\t' + action->shortcut().toString(QKeySequence::PortableText);
            entries << entry;
        }
        return entries;
    }

    RecordingViewDelegate m_delegate;
    TarvoView m_view;
    std::vector<Item> m_items;
    QStringList shownMenu;
};

TEST_F(ShelfInputTest, APressBecomesADragOnlyPastThreePoints) {
    const Point start = centre(1);
    input().press({start, false, false, 1});
    input().drag({start.x + 3.0, start.y});
    input().drag({start.x, start.y - 3.0});
    EXPECT_FALSE(m_delegate.calls.contains("beginDrag"));
    EXPECT_EQ(input().pressedItemID(), m_items[1].id);
    EXPECT_TRUE(m_view.itemLayer(m_items[1].id)->isPressed());
    input().release({start.x + 3.0, start.y});
    EXPECT_EQ(m_view.selection(), ids({1}));
    EXPECT_FALSE(m_view.itemLayer(m_items[1].id)->isPressed());
    EXPECT_FALSE(m_delegate.calls.contains("beginDrag"));

    input().press({start, false, false, 1});
    input().drag({start.x + 3.01, start.y});
    input().drag({start.x + 30, start.y});
    EXPECT_EQ(m_delegate.calls.count("beginDrag"), 1) << "one drag out per press";
    EXPECT_EQ(m_delegate.lastItems, ids({1}));
    EXPECT_DOUBLE_EQ(m_delegate.lastPoint.x(), start.x + 3.01);
    EXPECT_FALSE(input().pressedItemID());
    EXPECT_FALSE(m_view.itemLayer(m_items[1].id)->isPressed());
}

TEST_F(ShelfInputTest, ShiftExtendsFromTheLastClickedItemInShelfOrder) {
    click(1);
    click(4, true);
    EXPECT_EQ(m_view.selection(), ids({1, 2, 3, 4}));
    click(0, true);
    EXPECT_EQ(m_view.selection(), ids({0, 1, 2, 3, 4})) << "from 4, the last clicked";

    // Clicked from the right end towards the left, the range still reads in
    // shelf order, and the next Shift-click extends from where the last landed.
    click(4);
    click(1, true);
    EXPECT_EQ(m_view.selection(), ids({1, 2, 3, 4}));
    click(3, true);
    EXPECT_EQ(m_view.selection(), ids({1, 2, 3}));

    // A snapshot that gives the selection back in shelf order keeps the anchor.
    click(3);
    m_view.update(m_items, ids({3}), TarvoState::resting, {});
    click(2, true, true);
    m_view.update(m_items, ids({2, 3}), TarvoState::resting, {});
    click(4, true);
    EXPECT_EQ(m_view.selection(), ids({2, 3, 4})) << "from 2, the last clicked";
}

TEST_F(ShelfInputTest, ShiftWithNothingSelectedSelectsOnlyTheItem) {
    click(2, true);
    EXPECT_EQ(m_view.selection(), ids({2}));
}

TEST_F(ShelfInputTest, CtrlTogglesAndADraggedItemOutsideTheSelectionGoesAlone) {
    click(1);
    click(1, false, true);
    EXPECT_TRUE(m_view.selection().empty());
    input().press({centre(1), false, true, 1});
    EXPECT_EQ(m_view.selection(), ids({1}));
    input().release(centre(1));
    click(1, false, true);
    EXPECT_TRUE(m_view.selection().empty());
    // Ctrl-pressing the item deselected it: the drag takes it alone.
    click(3, false, true);
    input().press({centre(1), false, true, 1});
    ASSERT_EQ(m_view.selection(), ids({3, 1}));
    input().press({centre(3), false, true, 1});
    EXPECT_EQ(m_view.selection(), ids({1}));
    input().drag({centre(3).x + 10, centre(3).y});
    EXPECT_EQ(m_delegate.lastItems, ids({3}));
    EXPECT_EQ(m_delegate.lastSelection, ids({1}));
}

TEST_F(ShelfInputTest, PressingASelectedItemKeepsTheSelectionAndDragsItAll) {
    click(0);
    click(2, false, true);
    click(4, false, true);
    input().press({centre(2), false, false, 1});
    EXPECT_EQ(m_view.selection(), ids({0, 2, 4}));
    input().drag({centre(2).x + 5, centre(2).y + 5});
    EXPECT_EQ(m_delegate.lastItems, ids({0, 2, 4}));
}

TEST_F(ShelfInputTest, ADoubleClickActivatesTheItemTheFirstClickSelected) {
    input().press({centre(2), false, false, 1});
    input().release(centre(2));
    EXPECT_EQ(m_view.selection(), ids({2}));
    input().press({centre(2), false, false, 2});
    input().release(centre(2));
    EXPECT_EQ(m_delegate.intents(), QStringList({"activate"}));
    EXPECT_EQ(m_delegate.lastItem, m_items[2].id);
}

// Qt reports a quick second press as a double click wherever it lands on the
// item under a still pointer; it opens an item only when both presses landed
// on it without Shift or Ctrl.
TEST_F(ShelfInputTest, ADoubleClickIsTwoPlainPressesOnOneItem) {
    struct Click {
        std::size_t index;
        bool shift = false;
        bool command = false;
    };
    struct Case {
        const char* name;
        Click first, second;
        bool dragFirst;
        bool opens;
        std::vector<std::size_t> selected;
    };
    const Case cases[] = {
        {"both on one item", {2}, {2}, false, true, {2}},
        {"the second on another item, as when the items moved", {2}, {3}, false, false, {3}},
        {"a Ctrl press on another item", {2}, {3, false, true}, false, false, {2, 3}},
        {"a Ctrl press on the same item", {2}, {2, false, true}, false, false, {}},
        {"a plain press after a Ctrl press", {2, false, true}, {2}, false, false, {2}},
        {"a Shift press on the same item", {2}, {2, true}, false, false, {2}},
        {"after a press that became a drag", {2}, {2}, true, false, {2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // A press on nothing starts each case afresh.
        input().press({{-100, -100}, false, false, 1});
        input().release({-100, -100});
        m_delegate.calls.clear();

        const Point first = centre(c.first.index);
        input().press({first, c.first.shift, c.first.command, 1});
        if (c.dragFirst)
            input().drag({first.x + 20, first.y});
        input().release(first);
        const Point second = centre(c.second.index);
        input().press({second, c.second.shift, c.second.command, 2});
        input().release(second);

        EXPECT_EQ(m_delegate.calls.contains("activate"), c.opens);
        if (c.opens) {
            EXPECT_EQ(m_delegate.lastItem, m_items[c.second.index].id);
        }
        std::vector<QUuid> selected;
        for (std::size_t i : c.selected)
            selected.push_back(m_items[i].id);
        EXPECT_EQ(m_view.selection(), selected);
    }
}

TEST_F(ShelfInputTest, BarePressesClickTheIslandOnlyAboveItsEdgeAndWithoutTravel) {
    click(1);
    const Point bare{m_view.islandRect().maxX() - 4, m_view.islandRect().maxY() - 4};
    ASSERT_FALSE(m_view.itemAt(bare));
    input().press({bare, false, false, 1});
    EXPECT_TRUE(m_view.selection().empty());
    input().release(bare);
    EXPECT_EQ(m_delegate.intents(), QStringList({"bareIsland"}));

    m_delegate.calls.clear();
    input().press({bare, false, false, 1});
    input().drag({bare.x - 3.5, bare.y});
    input().release({bare.x - 3.5, bare.y});
    EXPECT_TRUE(m_delegate.intents().isEmpty()) << "moved: no click";

    const Point below{bare.x, m_view.visibleBottom() - 1};
    click(1);
    m_delegate.calls.clear();
    input().press({below, false, false, 1});
    input().release(below);
    EXPECT_TRUE(m_view.selection().empty());
    EXPECT_TRUE(m_delegate.intents().isEmpty());
}

TEST_F(ShelfInputTest, TheCloseButtonEscapesOnlyWhenReleasedOnIt) {
    m_view.setForcesCloseBadge(true);
    show();
    ASSERT_TRUE(m_view.closeButtonVisible());
    const Point close = m_view.closeCenter();
    input().press({close, false, false, 1});
    EXPECT_TRUE(input().closePressed());
    input().release({close.x + 20, close.y});
    EXPECT_FALSE(input().closePressed());
    EXPECT_TRUE(m_delegate.intents().isEmpty());
    input().press({close, false, false, 1});
    input().release({close.x + 13, close.y - 13});
    EXPECT_EQ(m_delegate.intents(), QStringList({"escape"}));
}

TEST_F(ShelfInputTest, AClickOnTheNoticeIsReportedOnThePress) {
    m_view.setNotice(QStringLiteral("Removed 3 items"));
    const std::optional<Rect> chip = m_view.chipFrame();
    ASSERT_TRUE(chip);
    input().press({chip->x - 3, chip->midY(), false, false, 1});
    EXPECT_EQ(m_delegate.intents(), QStringList({"notice"}));
    EXPECT_FALSE(input().mouseDownPoint());
}

TEST_F(ShelfInputTest, ArrowsStepTheSelectionAndStopAtTheEnds) {
    EXPECT_TRUE(input().key(KeyAction::moveLeft));
    EXPECT_EQ(m_view.selection(), ids({4}));
    input().key(KeyAction::moveRight);
    EXPECT_EQ(m_view.selection(), ids({4}));
    input().key(KeyAction::moveLeft);
    EXPECT_EQ(m_view.selection(), ids({3}));
    m_view.select({});
    input().key(KeyAction::moveRight);
    EXPECT_EQ(m_view.selection(), ids({0}));
    input().key(KeyAction::moveLeft);
    EXPECT_EQ(m_view.selection(), ids({0}));
    // From a multi-selection, the arrow steps from the last clicked item.
    click(1);
    click(3, false, true);
    input().key(KeyAction::moveRight);
    EXPECT_EQ(m_view.selection(), ids({4}));
    m_items.clear();
    show();
    EXPECT_TRUE(input().key(KeyAction::moveLeft));
    EXPECT_TRUE(m_view.selection().empty());
}

TEST_F(ShelfInputTest, KeysReportTheirIntentsWithTheSelection) {
    click(1);
    click(3, false, true);
    m_delegate.calls.clear();
    const std::pair<KeyAction, const char*> keys[] = {
        {KeyAction::copy, "copy"},           {KeyAction::open, "activate"},
        {KeyAction::quickLook, "quickLook"}, {KeyAction::remove, "remove"},
        {KeyAction::escape, "escape"},       {KeyAction::undo, "undo"},
        {KeyAction::paste, "paste"},
    };
    for (const auto& [key, call] : keys) {
        m_delegate.calls.clear();
        EXPECT_TRUE(input().key(key));
        EXPECT_EQ(m_delegate.intents(), QStringList({QString::fromLatin1(call)}));
    }
    EXPECT_FALSE(input().key(KeyAction::none));
    input().key(KeyAction::copy);
    EXPECT_EQ(m_delegate.lastItems, ids({1, 3}));
    EXPECT_FALSE(m_delegate.lastAsPath);
    input().key(KeyAction::open);
    EXPECT_EQ(m_delegate.lastItem, m_items[1].id);

    m_view.select({});
    m_delegate.calls.clear();
    EXPECT_TRUE(input().key(KeyAction::open));
    EXPECT_TRUE(m_delegate.intents().isEmpty());
}

TEST_F(ShelfInputTest, QtEventsReachTheInputAndUnknownKeysGoOn) {
    m_view.show();
    QTest::mouseClick(&m_view, Qt::LeftButton, Qt::NoModifier, m_view.toQt(centre(1)).toPoint());
    QTest::mouseClick(&m_view, Qt::LeftButton, Qt::ControlModifier,
                      m_view.toQt(centre(3)).toPoint());
    EXPECT_EQ(m_view.selection(), ids({1, 3}));
    QTest::mouseClick(&m_view, Qt::LeftButton, Qt::ShiftModifier, m_view.toQt(centre(4)).toPoint());
    EXPECT_EQ(m_view.selection(), ids({3, 4}));
    // A double click comes as a press and then a press Qt counts as the second.
    QTest::mouseClick(&m_view, Qt::LeftButton, Qt::NoModifier, m_view.toQt(centre(2)).toPoint());
    QTest::mouseDClick(&m_view, Qt::LeftButton, Qt::NoModifier, m_view.toQt(centre(2)).toPoint());
    EXPECT_TRUE(m_delegate.calls.contains("activate"));

    m_delegate.calls.clear();
    QKeyEvent undo(QEvent::KeyPress, Qt::Key_Z, Qt::ControlModifier, QStringLiteral("Z"));
    QCoreApplication::sendEvent(&m_view, &undo);
    EXPECT_TRUE(undo.isAccepted());
    QKeyEvent other(QEvent::KeyPress, Qt::Key_Q, Qt::NoModifier, QStringLiteral("q"));
    QCoreApplication::sendEvent(&m_view, &other);
    EXPECT_FALSE(other.isAccepted());
    EXPECT_EQ(m_delegate.intents(), QStringList({"undo"}));
}

TEST_F(ShelfInputTest, WithoutADelegateKeysAreSwallowedAndNothingIsReported) {
    m_view.setDelegate(nullptr);
    click(1);
    EXPECT_TRUE(input().key(KeyAction::undo));
    EXPECT_TRUE(input().key(KeyAction::copy));
    input().contextClick({m_view.islandRect().maxX() - 4, m_view.islandRect().maxY() - 4}, {});
    EXPECT_TRUE(shownMenu.isEmpty());
    EXPECT_TRUE(m_delegate.calls.isEmpty());
}

TEST_F(ShelfInputTest, TheItemMenuListsItsEntriesAndTheShelfsOwnBelow) {
    m_items[2].sourceBundleID = QStringLiteral("org.example.Editor");
    m_items[2].pinned = true;
    m_items[3].state = ItemState::failed(QStringLiteral("gone"));
    show();
    input().appDisplayName = [](const QString& id) {
        return id == QLatin1String("org.example.Editor") ? QStringLiteral("Editor") : id;
    };
    m_delegate.menu = [] {
        auto menu = std::make_unique<QMenu>();
        menu->addAction(QStringLiteral("Shelf entry"));
        return menu;
    };

    input().contextClick(centre(2), {});
    EXPECT_EQ(m_view.selection(), ids({2}));
    EXPECT_EQ(shownMenu,
              QStringList({"Preview\tSpace", "Open\tCtrl+Return", "Show in folder\tCtrl+R", "-",
                           "Copy\tCtrl+C", "Copy path\tCtrl+Alt+C", "-", "Unpin\tCtrl+P",
                           "Add a rule for Editor", "-", "Remove\tBackspace", "-", "Shelf entry"}));

    m_delegate.menu = nullptr;
    input().contextClick(centre(3), {});
    EXPECT_EQ(shownMenu.mid(0, 3), QStringList({"Retry", "-", "Preview\tSpace"}));
    EXPECT_EQ(shownMenu.mid(8), QStringList({"-", "Pin\tCtrl+P", "Remove\tBackspace"}));
}

TEST_F(ShelfInputTest, MenuEntriesActOnTheSelectionWhenChosen) {
    click(1);
    click(3, false, true);
    // A right click on a selected item keeps the selection.
    std::unique_ptr<QMenu> menu;
    input().popUpMenu = [&](QMenu& shown, QPoint) {
        for (QAction* action : shown.actions()) {
            if (action->text() == QLatin1String("Copy path"))
                action->trigger();
        }
    };
    input().contextClick(centre(3), {});
    EXPECT_EQ(m_delegate.intents().last(), "copy");
    EXPECT_EQ(m_delegate.lastItems, ids({1, 3}));
    EXPECT_TRUE(m_delegate.lastAsPath);
    EXPECT_FALSE(m_view.isShowingMenu());

    struct Case {
        void (ShelfInput::*action)();
        const char* call;
    };
    const Case singles[] = {
        {&ShelfInput::openSelected, "activate"}, {&ShelfInput::revealSelected, "reveal"},
        {&ShelfInput::retrySelected, "retry"},   {&ShelfInput::addRuleForSelected, "rule"},
        {&ShelfInput::togglePinSelected, "pin"},
    };
    for (const Case& c : singles) {
        m_delegate.calls.clear();
        (input().*c.action)();
        EXPECT_EQ(m_delegate.intents(), QStringList({QString::fromLatin1(c.call)}));
        EXPECT_EQ(m_delegate.lastItem, m_items[1].id) << c.call;
    }
    m_view.select({});
    m_delegate.calls.clear();
    for (const Case& c : singles)
        (input().*c.action)();
    EXPECT_TRUE(m_delegate.intents().isEmpty());
}

TEST_F(ShelfInputTest, TheKeysTheItemMenuShowsActWhileItIsOpen) {
    struct Case {
        const char* name;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        const char* call; // none: the key does nothing in the menu
        bool asPath = false;
    };
    const Case cases[] = {
        {"Ctrl+C", Qt::Key_C, Qt::ControlModifier, "copy"},
        {"Ctrl+Alt+C", Qt::Key_C, Qt::ControlModifier | Qt::AltModifier, "copy", true},
        {"Ctrl+Return", Qt::Key_Return, Qt::ControlModifier, "activate"},
        {"Ctrl+Enter on the keypad", Qt::Key_Enter, Qt::ControlModifier | Qt::KeypadModifier,
         "activate"},
        {"Ctrl+R", Qt::Key_R, Qt::ControlModifier, "reveal"},
        {"Ctrl+P", Qt::Key_P, Qt::ControlModifier, "pin"},
        {"Space", Qt::Key_Space, Qt::NoModifier, "quickLook"},
        {"Backspace", Qt::Key_Backspace, Qt::NoModifier, "remove"},
        {"C alone", Qt::Key_C, Qt::NoModifier, nullptr},
    };
    click(2);
    for (const Case& c : cases) {
        m_delegate.calls.clear();
        bool stillShown = true;
        input().popUpMenu = [&](QMenu& shown, QPoint) {
            shown.show();
            // Held on the way to the shortcut, Alt keeps the menu open.
            QKeyEvent alt(QEvent::KeyPress, Qt::Key_Alt, Qt::AltModifier);
            QCoreApplication::sendEvent(&shown, &alt);
            QKeyEvent press(QEvent::KeyPress, c.key, c.modifiers);
            QCoreApplication::sendEvent(&shown, &press);
            stillShown = shown.isVisible();
            shown.hide();
        };
        input().contextClick(centre(2), {});
        if (!c.call) {
            // Only the shelf's own entries were asked for.
            EXPECT_EQ(m_delegate.intents(), QStringList({"menu"})) << c.name;
            EXPECT_TRUE(stillShown) << c.name;
            continue;
        }
        ASSERT_FALSE(m_delegate.intents().isEmpty()) << c.name;
        EXPECT_EQ(m_delegate.intents().last(), QString::fromLatin1(c.call)) << c.name;
        EXPECT_FALSE(stillShown) << c.name << ": the menu closes as when an entry is chosen";
        if (QLatin1String(c.call) == QLatin1String("copy")) {
            EXPECT_EQ(m_delegate.lastAsPath, c.asPath) << c.name;
        }
    }
}

TEST_F(ShelfInputTest, ABackgroundRightClickShowsTheDelegatesMenuOrNothing) {
    const Point bare{m_view.islandRect().maxX() - 4, m_view.islandRect().maxY() - 4};
    input().contextClick(bare, {});
    EXPECT_EQ(m_delegate.intents(), QStringList({"menu"}));
    EXPECT_FALSE(m_delegate.lastItem);
    EXPECT_TRUE(shownMenu.isEmpty());

    m_delegate.menu = [] {
        auto menu = std::make_unique<QMenu>();
        menu->addAction(QStringLiteral("Paste"));
        return menu;
    };
    m_items.clear();
    show();
    m_view.show();
    QTest::mouseClick(&m_view, Qt::RightButton, Qt::NoModifier, m_view.toQt(bare).toPoint());
    EXPECT_EQ(shownMenu, QStringList({"Paste"}));
}

} // namespace
} // namespace tarvo::test
