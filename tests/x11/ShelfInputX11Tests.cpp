// The shelf's keys and pointer on the running tarvo program, as a person uses
// them under Xvfb with openbox: the shortcut opens the shelf with the keyboard
// in it, keys and clicks act on the items, with Caps Lock and Num Lock on as
// off, what is copied is read back from the clipboard as another program
// pastes it, an item dragged along the shelf reorders it without any other
// program hearing of the drag, and the pointer on the preview of an item
// holds the shelf open. Run by run-input.sh, which starts and stops the
// display, the window manager and a session bus.
#include "TarvoConvert/TextConverter.h"
#include "TarvoCore/ItemLayout.h"
#include "TarvoCore/ItemStore.h"
#include "TarvoCore/Preferences.h"
#include "TarvoCore/UserDefaults.h"

#include "support/ItemFactory.h"
#include "support/TempDir.h"
#include "support/X11TestTools.h"
#include "x11/TarvoProgram.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <X11/X.h>
#include <X11/keysym.h>

#include <algorithm>
#include <initializer_list>
#include <optional>
#include <vector>

namespace tarvo::test {
namespace {

// What another program reads from the clipboard as `type`; empty when the
// clipboard does not offer it.
QString clipboard(const QString& type = QStringLiteral("UTF8_STRING")) {
    QProcess xclip;
    xclip.start(QStringLiteral("xclip"), {QStringLiteral("-o"), QStringLiteral("-selection"),
                                          QStringLiteral("clipboard"), QStringLiteral("-t"), type});
    if (!xclip.waitForFinished(10000) || xclip.exitCode() != 0)
        return {};
    return QString::fromUtf8(xclip.readAllStandardOutput());
}

// Puts text on the clipboard as another program copies it; xclip stays to
// serve it until the clipboard is taken.
void copyText(const QString& text) {
    QProcess xclip;
    xclip.start(QStringLiteral("xclip"),
                {QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-i")});
    xclip.waitForStarted(10000);
    xclip.write(text.toUtf8());
    xclip.closeWriteChannel();
    xclip.waitForFinished(10000);
}

// The shelf's order as the running program stored it: the items' names.
QStringList storedOrder(const QString& folder) {
    QStringList names;
    QFile index(folder + QStringLiteral("/tarvo.json"));
    if (!index.open(QIODevice::ReadOnly))
        return names;
    const QJsonArray order =
        QJsonDocument::fromJson(index.readAll()).object().value("order").toArray();
    for (const QJsonValue& id : order) {
        QFile file(folder + u'/' + id.toString() + QStringLiteral("/item.json"));
        if (file.open(QIODevice::ReadOnly))
            names
                << QJsonDocument::fromJson(file.readAll()).object().value("displayName").toString();
    }
    return names;
}

class ShelfInputX11 : public ::testing::Test {
protected:
    // The items on the shelf at start, newest first.
    const QStringList m_names = {QStringLiteral("three.txt"), QStringLiteral("two.txt"),
                                 QStringLiteral("one.txt")};

    void SetUp() override {
        ASSERT_TRUE(m_hand.ok());
        {
            ItemStore store(m_home.file("data/Tarvo/Items"));
            const Date now = Date::now();
            for (qsizetype i = m_names.size() - 1; i >= 0; --i) {
                const Item item =
                    addFileItem(store, m_names[i], m_names[i].toUtf8() + " bytes", false,
                                Date::fromSecondsSince1970(now.secondsSince1970() - i));
                m_paths << store.itemDirectory(item.id) + u'/' + m_names[i];
            }
            std::reverse(m_paths.begin(), m_paths.end());
            // Ctrl+Shift+K: openbox keeps the default Alt+Space for its window menu.
            UserDefaults defaults(m_home.file("config/Tarvo/Tarvo.conf"));
            Preferences preferences(defaults);
            preferences.setHotkey(HotkeySpec{40, HotkeySpec::command | HotkeySpec::shift});
            preferences.setHasCompletedOnboarding(true);
        }
        // What the desktop opens an item with only notes that it was asked to.
        m_home.write("bin/xdg-open", "#!/bin/sh\necho \"$1\" >> \"$0.log\"\n");
        QFile::setPermissions(m_home.file("bin/xdg-open"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_tarvo = std::make_unique<TarvoProcess>(m_home);
        m_tarvo->setVariable(QStringLiteral("PATH"),
                             m_home.file("bin:") + QString::fromLocal8Bit(qgetenv("PATH")));
        m_tarvo->start();
        std::optional<xcb_window_t> found;
        ASSERT_TRUE(waitFor([&] {
            return (found = m_windows.panelOf(m_tarvo->pid())).has_value();
        })) << "no shelf window";
        m_panel = *found;
        // The shortcut is taken once the program has started.
        pump(1000);
    }
    void TearDown() override {
        if (m_tarvo) {
            EXPECT_EQ(m_tarvo->terminate(), 0);
        }
    }

    void keys(std::initializer_list<unsigned long> chord) {
        for (unsigned long key : chord)
            m_hand.key(key, true);
        for (auto key = std::rbegin(chord); key != std::rend(chord); ++key)
            m_hand.key(*key, false);
        pump(150);
    }
    // Opens the shelf with the shortcut, the keyboard in it; the island's
    // rectangle on the root window.
    QRect openForKeys() {
        keys({XK_Control_L, XK_Shift_L, XK_k});
        QRect island;
        EXPECT_TRUE(waitFor(
            [&] {
                if (!m_windows.isViewable(m_panel))
                    return false;
                island = X11Windows::extent(m_windows.shape(m_panel, XCB_SHAPE_SK_INPUT));
                return !island.isEmpty();
            },
            10000))
            << "the shortcut did not open the shelf";
        pump(800);
        island = X11Windows::extent(m_windows.shape(m_panel, XCB_SHAPE_SK_INPUT));
        m_island = island.translated(m_windows.rootGeometry(m_panel).topLeft());
        return m_island;
    }
    // The middle of the item at `index` of the shelf's order, on the root
    // window: the row of thumbnails is centred in the island, above its
    // bottom padding.
    QPoint itemCentre(int index, int count = 3) const {
        const double step = ItemLayout::thumbnailSize + ItemLayout::spacing;
        const double x = m_island.center().x() + 0.5 + (index - (count - 1) / 2.0) * step;
        const double y =
            m_island.bottom() + 1 - ItemLayout::bottomPadding - ItemLayout::thumbnailSize / 2;
        return QPoint(int(x), int(y));
    }
    // A click on the item at `index` with the modifier keys of `mask` held.
    void click(int index, unsigned mask = 0) {
        std::vector<unsigned long> held;
        if (mask & ShiftMask)
            held.push_back(XK_Shift_L);
        if (mask & ControlMask)
            held.push_back(XK_Control_L);
        m_hand.moveTo(itemCentre(index));
        pump(100);
        for (unsigned long key : held)
            m_hand.key(key, true);
        m_hand.press();
        m_hand.release();
        for (unsigned long key : held)
            m_hand.key(key, false);
        pump(300);
    }
    void rightClick(QPoint at) {
        m_hand.moveTo(at);
        pump(100);
        m_hand.deviceButton(3, true);
        m_hand.deviceButton(3, false);
        pump(300);
    }
    // Whether the clipboard holds exactly the stored files at `indexes`, in
    // that order, as a file manager pastes them.
    bool clipboardHoldsFiles(const std::vector<int>& indexes) {
        QString uris;
        QString copied = QStringLiteral("copy");
        for (int index : indexes) {
            const QString uri = QString::fromUtf8(QUrl::fromLocalFile(m_paths[index]).toEncoded());
            uris += uri + QStringLiteral("\r\n");
            copied += u'\n' + uri;
        }
        const bool same = waitFor(
            [&] {
                return clipboard(QStringLiteral("text/uri-list")) == uris &&
                       clipboard(QStringLiteral("x-special/gnome-copied-files")) == copied;
            },
            10000);
        if (!same)
            ADD_FAILURE() << "the clipboard holds "
                          << clipboard(QStringLiteral("text/uri-list")).toStdString();
        return same;
    }
    // The program's viewable windows other than the shelf: menus, the preview.
    int otherWindows() { return int(others().size()); }
    std::vector<xcb_window_t> others() {
        std::vector<xcb_window_t> found;
        collectOthers(m_windows.root(), found);
        return found;
    }
    void collectOthers(xcb_window_t window, std::vector<xcb_window_t>& found) {
        X11Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(
            m_windows.connection(), xcb_query_tree(m_windows.connection(), window), nullptr));
        if (!tree)
            return;
        const xcb_window_t* children = xcb_query_tree_children(tree.get());
        for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
            const xcb_window_t child = children[i];
            const std::vector<quint32> pids = m_windows.cardinals(child, "_NET_WM_PID");
            if (!pids.empty() && pids.front() == m_tarvo->pid() && child != m_panel &&
                m_windows.isViewable(child))
                found.push_back(child);
            else
                collectOthers(child, found);
        }
    }

    // The files the program asked the desktop to open, in order.
    QStringList opened() const {
        QFile log(m_home.file("bin/xdg-open.log"));
        if (!log.open(QIODevice::ReadOnly))
            return {};
        QStringList files;
        for (const QByteArray& line : log.readAll().split('\n'))
            if (!line.isEmpty())
                files << QUrl(QString::fromUtf8(line)).toLocalFile();
        return files;
    }

    // The log of recent destinations as the program wrote it.
    QByteArray destinations() const {
        QFile file(m_home.file("data/Tarvo/destinations.json"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    TempDir m_home;
    X11Windows m_windows;
    XTestHand m_hand;
    std::unique_ptr<TarvoProcess> m_tarvo;
    xcb_window_t m_panel = XCB_NONE;
    // The open island on the root window.
    QRect m_island;
    // The stored copies of m_names, in the same order.
    QStringList m_paths;
};

// The keys of the shelf's table act on the selection whatever the lock keys
// say: the arrows move it and stop at the ends, Return copies the selected
// file, Ctrl+V pastes what another program copied, Backspace removes, Space
// shows the preview and closes it, Escape hides the shelf.
TEST_F(ShelfInputX11, TheKeysActTheSameWithCapsLockAndNumLockOn) {
    openForKeys();
    struct Locks {
        const char* name;
        std::vector<unsigned long> toggle; // pressed before the case
    };
    const Locks locks[] = {
        {"Caps Lock", {XK_Caps_Lock}},
        {"no lock", {XK_Caps_Lock}},
        {"Caps Lock and Num Lock", {XK_Num_Lock}},
        {"Num Lock", {XK_Caps_Lock}},
    };
    int round = 0;
    for (const Locks& lock : locks) {
        SCOPED_TRACE(lock.name);
        for (unsigned long key : lock.toggle)
            keys({key});
        click(1);
        keys({XK_Return});
        EXPECT_TRUE(clipboardHoldsFiles({1})) << "Return after a click";
        keys({XK_Right});
        keys({XK_Return});
        EXPECT_TRUE(clipboardHoldsFiles({2})) << "Right";
        keys({XK_Right});
        keys({XK_Return});
        EXPECT_TRUE(clipboardHoldsFiles({2})) << "Right stops at the end";
        keys({XK_Left});
        keys({XK_Left});
        keys({XK_Left});
        keys({XK_Return});
        EXPECT_TRUE(clipboardHoldsFiles({0})) << "Left stops at the start";

        // Ctrl+V lands what another program copied, first on the shelf; it
        // is then selected with Left and removed with Backspace.
        const QString note = QStringLiteral("note %1").arg(++round);
        copyText(note);
        pump(500);
        keys({XK_Control_L, XK_v});
        ASSERT_TRUE(
            waitFor([&] { return storedOrder(m_tarvo->itemsFolder()).value(0) == note; }, 10000))
            << "Ctrl+V pasted nothing";
        pump(500);
        keys({XK_Left});
        keys({XK_BackSpace});
        pump(300);
        EXPECT_TRUE(waitFor([&] { return storedOrder(m_tarvo->itemsFolder()) == m_names; }, 10000))
            << "Backspace did not remove the note: "
            << storedOrder(m_tarvo->itemsFolder()).join(", ").toStdString();
        pump(500);
    }
    keys({XK_Num_Lock}); // both locks off again

    click(0);
    keys({XK_space});
    EXPECT_TRUE(waitFor([&] { return otherWindows() == 1; }, 10000)) << "Space showed no preview";
    keys({XK_space});
    EXPECT_TRUE(waitFor([&] { return otherWindows() == 0; }, 10000))
        << "Space again did not close the preview";

    keys({XK_Escape});
    EXPECT_TRUE(waitFor([&] { return !m_windows.isViewable(m_panel); }, 10000))
        << "Escape did not hide the shelf";
}

// Clicks choose what a copy takes: a Shift-click extends from the last clicked
// item, a Ctrl-click takes one out; the item menu, opened by the right button
// or the Menu key, acts on its Ctrl+C and Ctrl+Alt+C while it is open; the
// menu of the island itself offers what another program copied.
TEST_F(ShelfInputX11, ClicksAndTheMenusShortcutsCopyWhatIsChosen) {
    openForKeys();
    click(0);
    click(2, ShiftMask);
    keys({XK_Return});
    EXPECT_TRUE(clipboardHoldsFiles({0, 1, 2})) << "Shift-click";
    click(1, ControlMask);
    keys({XK_Return});
    EXPECT_TRUE(clipboardHoldsFiles({0, 2})) << "Ctrl-click";

    copyText(QStringLiteral("before"));
    rightClick(itemCentre(1));
    ASSERT_TRUE(waitFor([&] { return otherWindows() == 1; }, 10000)) << "no item menu";
    keys({XK_Control_L, XK_c});
    EXPECT_TRUE(waitFor([&] { return otherWindows() == 0; }, 10000)) << "the menu stayed open";
    EXPECT_TRUE(clipboardHoldsFiles({1})) << "the menu's Ctrl+C";

    // The Menu key opens the menu of the item clicked last.
    click(2);
    keys({XK_Menu});
    ASSERT_TRUE(waitFor([&] { return otherWindows() == 1; }, 10000)) << "the Menu key: no menu";
    keys({XK_Control_L, XK_Alt_L, XK_c});
    EXPECT_TRUE(
        waitFor([&] { return clipboard() == TextConverter::quotedPath(m_paths[2]); }, 10000))
        << "the menu's Ctrl+Alt+C: " << clipboard().toStdString();
    EXPECT_TRUE(clipboard(QStringLiteral("text/uri-list")).isEmpty());

    // The island's own menu, away from the items: Paste comes first.
    copyText(QStringLiteral("words from elsewhere"));
    pump(500);
    rightClick({m_island.right() - 12, m_island.center().y()});
    ASSERT_TRUE(waitFor([&] { return otherWindows() == 1; }, 10000)) << "no island menu";
    keys({XK_Down});
    keys({XK_Return});
    EXPECT_TRUE(waitFor(
        [&] {
            return storedOrder(m_tarvo->itemsFolder()).value(0) ==
                   QStringLiteral("words from elsewhere");
        },
        10000))
        << "the menu's Paste landed nothing";
}

// A double click opens an item only when both clicks land on it without
// Ctrl: a quick click on another item, with Ctrl or without, chooses that item
// and opens nothing, and a quick second Ctrl-click on one item takes it out
// again.
TEST_F(ShelfInputX11, ADoubleClickIsTwoClicksOnOneItemWithoutCtrl) {
    openForKeys();
    struct Click {
        int index;
        bool ctrl;
    };
    struct Case {
        const char* name;
        Click first, second;
        std::vector<int> chosen; // what Return then copies
    };
    const Case cases[] = {
        {"a Ctrl-click on another item", {0, false}, {1, true}, {0, 1}},
        {"a click on another item", {0, false}, {2, false}, {2}},
        {"a Ctrl-click twice on one item", {1, true}, {1, true}, {2}},
    };
    const int apart = QApplication::doubleClickInterval() + 300;
    // A hand's pace, well inside the double-click interval; each step is let
    // through the server before the next, which it may otherwise reorder.
    const auto click = [this](const Click& at, bool glide) {
        if (glide)
            m_hand.glideTo(itemCentre(at.index), 4);
        pump(20);
        if (at.ctrl) {
            m_hand.key(XK_Control_L, true);
            pump(20);
        }
        m_hand.press();
        pump(20);
        m_hand.release();
        pump(20);
        if (at.ctrl)
            m_hand.key(XK_Control_L, false);
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        click(c.first, true);
        click(c.second, true);
        pump(apart);
        keys({XK_Return});
        EXPECT_TRUE(clipboardHoldsFiles(c.chosen));
    }
    // Both clicks on one item open it, and it alone.
    click({2, false}, true);
    click({2, false}, false);
    EXPECT_TRUE(waitFor([&] { return !opened().isEmpty(); }, 10000)) << "nothing was opened";
    pump(apart);
    EXPECT_EQ(opened(), QStringList{m_paths[2]}) << opened().join(u' ').toStdString();
}

// An item dragged along the shelf with the pointer moves there: the drag is
// the shelf's own, yet no other window hears of it, nothing is copied and no
// delivery is recorded.
TEST_F(ShelfInputX11, DraggingAnItemAlongTheShelfReordersItAndDeliversNothing) {
    openForKeys();
    const QStringList foldersBefore = m_tarvo->itemFolders();
    const QByteArray destinationsBefore = destinations();
    m_hand.moveTo(itemCentre(2));
    pump(300);
    m_hand.press();
    m_hand.glideTo(itemCentre(2) + QPoint(-10, 4), 4);
    m_hand.glideTo(itemCentre(0) + QPoint(-20, 0), 12);
    pump(300);
    m_hand.release();
    EXPECT_TRUE(waitFor(
        [&] {
            return storedOrder(m_tarvo->itemsFolder()) ==
                   QStringList({m_names[2], m_names[0], m_names[1]});
        },
        10000))
        << "the order is " << storedOrder(m_tarvo->itemsFolder()).join(", ").toStdString();
    pump(500);
    EXPECT_EQ(m_tarvo->itemFolders(), foldersBefore) << "an item was copied";
    UserDefaults defaults(m_home.file("config/Tarvo/Tarvo.conf"));
    EXPECT_EQ(Preferences(defaults).dropCount(), 0) << "a delivery was counted";
    EXPECT_EQ(destinations(), destinationsBefore) << "a destination was recorded";
    EXPECT_TRUE(m_windows.isViewable(m_panel)) << "the shelf went away";
}

// The preview Space opens shows one of the shelf's items: the shelf stays
// open while the pointer goes from the island into the preview and rests
// there, and folds into its tab once the pointer has left both.
TEST_F(ShelfInputX11, ThePointerOnThePreviewOfAnItemKeepsTheShelfOpen) {
    openForKeys();
    // Folded, the shelf takes clicks only on its tab, above the items.
    auto folded = [&] {
        const std::vector<QRect> input = m_windows.shape(m_panel, XCB_SHAPE_SK_INPUT);
        const QPoint origin = m_windows.rootGeometry(m_panel).topLeft();
        return !X11Windows::covers(input, itemCentre(0) - origin) &&
               !X11Windows::covers(input, itemCentre(2) - origin);
    };
    click(0);
    keys({XK_space});
    ASSERT_TRUE(waitFor([&] { return otherWindows() == 1; }, 10000)) << "Space showed no preview";
    const QRect preview = m_windows.rootGeometry(others().front());
    ASSERT_FALSE(preview.intersects(m_island));
    m_hand.glideTo(preview.center());
    // Several looks of the fold watchdog and of the settle timers.
    pump(3000);
    EXPECT_FALSE(folded()) << "the shelf folded while the pointer was on the preview";
    EXPECT_TRUE(m_windows.isViewable(m_panel));

    m_hand.glideTo(QPoint(preview.left() - 40, preview.bottom()));
    EXPECT_TRUE(waitFor(folded, 10000)) << "the shelf stayed once the pointer had left both";
}

} // namespace
} // namespace tarvo::test
