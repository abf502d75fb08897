// A person's first hour with the running tarvo program, under xfwm4 with
// xfce4-panel and under openbox: the settings window opens again after its
// title bar's close button, a click on the shelf gives it the keyboard and
// folding gives it back, the resting tab under the desktop's top panel opens
// where it is drawn and stays while the pointer rests by it, a shelf opened
// on purpose stays, and a cleared shelf can be had back. Real clicks and keys
// through XTest; the tray's menu through its StatusNotifierItem menu on the
// session bus. Run by run-first-hour.sh, which starts each desktop in turn
// and says which one runs in FIRST_HOUR_DESKTOP; screenshots go to
// FIRST_HOUR_SHOTS when it is set.
#include "TarvoCore/ItemLayout.h"
#include "TarvoCore/ItemStore.h"
#include "TarvoCore/L10n.h"
#include "TarvoCore/Preferences.h"
#include "TarvoCore/UserDefaults.h"

#include "support/ItemFactory.h"
#include "support/TempDir.h"
#include "support/X11TestTools.h"
#include "x11/TarvoProgram.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusVariant>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <X11/keysym.h>

#include <algorithm>
#include <optional>

namespace tarvo::test {
namespace {

QString desktop() {
    return QString::fromLocal8Bit(qgetenv("FIRST_HOUR_DESKTOP"));
}

bool onXfce() {
    return desktop() == QLatin1String("xfce");
}

// The root window as a picture; saved under FIRST_HOUR_SHOTS, named after
// the desktop and the screen's size, when a name is given and that folder
// is set.
QImage screenshot(const QString& name = {}) {
    const QString file = QDir::temp().filePath(
        QStringLiteral("first-hour-%1.png").arg(QCoreApplication::applicationPid()));
    QProcess import;
    import.start(QStringLiteral("import"),
                 {QStringLiteral("-window"), QStringLiteral("root"), file});
    import.waitForFinished(20000);
    QImage image(file);
    const QString shots = QString::fromLocal8Bit(qgetenv("FIRST_HOUR_SHOTS"));
    if (!name.isEmpty() && !shots.isEmpty()) {
        QDir().mkpath(shots);
        const QString saved = QStringLiteral("%1-%2-%3x%4.png").arg(name, desktop());
        image.save(QDir(shots).filePath(saved.arg(image.width()).arg(image.height())));
    }
    QFile::remove(file);
    return image;
}

// The shelf's order as the program stored it: the items' names.
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

// The windows titled `title`, of process `pid` when it is not 0, as xdotool
// finds them.
std::vector<xcb_window_t> windowsNamed(qint64 pid, const QString& title) {
    QStringList arguments{QStringLiteral("search"), QStringLiteral("--all")};
    if (pid != 0)
        arguments << QStringLiteral("--pid") << QString::number(pid);
    arguments << QStringLiteral("--name") << u'^' + title + u'$';
    QProcess search;
    search.start(QStringLiteral("xdotool"), arguments);
    search.waitForFinished(10000);
    std::vector<xcb_window_t> found;
    for (const QByteArray& line : search.readAllStandardOutput().split('\n')) {
        if (!line.trimmed().isEmpty())
            found.push_back(xcb_window_t(line.trimmed().toULong()));
    }
    return found;
}

class FirstHourX11 : public ::testing::Test {
protected:
    const QStringList m_names = {QStringLiteral("three.txt"), QStringLiteral("two.txt"),
                                 QStringLiteral("one.txt")};

    void SetUp() override {
        ASSERT_TRUE(m_hand.ok());
        ASSERT_TRUE(m_windows.hasWindowManager());
    }
    void TearDown() override {
        if (m_tarvo) {
            EXPECT_EQ(m_tarvo->terminate(), 0);
        }
        if (m_other.state() != QProcess::NotRunning) {
            m_other.kill();
            m_other.waitForFinished(10000);
        }
    }

    void start(bool withItems) {
        {
            ItemStore store(m_home.file("data/Tarvo/Items"));
            if (withItems) {
                const Date now = Date::now();
                for (qsizetype i = m_names.size() - 1; i >= 0; --i)
                    addFileItem(store, m_names[i], m_names[i].toUtf8() + " bytes", false,
                                Date::fromSecondsSince1970(now.secondsSince1970() - i));
            }
            UserDefaults defaults(m_home.file("config/Tarvo/Tarvo.conf"));
            Preferences preferences(defaults);
            preferences.setHasCompletedOnboarding(true);
        }
        m_tarvo = std::make_unique<TarvoProcess>(m_home);
        m_tarvo->start();
        std::optional<xcb_window_t> found;
        ASSERT_TRUE(waitFor([&] {
            return (found = m_windows.panelOf(m_tarvo->pid())).has_value();
        })) << "no shelf window";
        m_panel = *found;
        if (onXfce()) {
            ASSERT_TRUE(waitFor([&] { return !trayService().isEmpty(); }))
                << "the tray icon did not reach the panel's notification area";
        }
        pump(500);
    }

    // Another program with the keyboard, as a person has one before the shelf.
    xcb_window_t startOtherProgram() {
        const QString title = QStringLiteral("first-hour-xterm");
        m_other.start(QStringLiteral("xterm"),
                      {QStringLiteral("-title"), title, QStringLiteral("-geometry"),
                       QStringLiteral("60x10+40+500")});
        std::vector<xcb_window_t> found;
        EXPECT_TRUE(waitFor([&] {
            found = windowsNamed(0, title);
            return !found.empty() && m_windows.isViewable(found.front());
        })) << "xterm did not show";
        if (found.empty())
            return XCB_NONE;
        const QRect at = m_windows.rootGeometry(found.front());
        m_hand.glideTo(at.center());
        m_hand.press();
        m_hand.release();
        EXPECT_TRUE(waitFor([&] { return activeWindow() == found.front(); }, 10000))
            << "the xterm did not take the keyboard";
        return found.front();
    }

    xcb_window_t activeWindow() {
        const std::vector<quint32> active =
            m_windows.cardinals(m_windows.root(), "_NET_ACTIVE_WINDOW");
        return active.empty() ? XCB_NONE : xcb_window_t(active.front());
    }

    // Whether the window manager gave the keyboard to the shelf: its window
    // or the frame around it.
    bool shelfHasKeyboard() {
        const xcb_window_t active = activeWindow();
        return active != XCB_NONE && active == m_panel;
    }

    // The island's input shape on the root window, empty while hidden.
    QRect islandOnRoot() {
        if (!m_windows.isViewable(m_panel))
            return {};
        const QRect shape = X11Windows::extent(m_windows.shape(m_panel, XCB_SHAPE_SK_INPUT));
        return shape.isEmpty() ? shape
                               : shape.translated(m_windows.rootGeometry(m_panel).topLeft());
    }

    // The clickable notice's part of the input shape on the root window: a
    // chip's height, hanging below the island in a band of its own.
    std::optional<QRect> noticeOnRoot() {
        if (!m_windows.isViewable(m_panel))
            return std::nullopt;
        const std::vector<QRect> shape = m_windows.shape(m_panel, XCB_SHAPE_SK_INPUT);
        if (shape.size() < 2)
            return std::nullopt;
        const QRect lowest =
            *std::max_element(shape.begin(), shape.end(), [](const QRect& a, const QRect& b) {
                return a.bottom() < b.bottom();
            });
        const bool alone = std::none_of(shape.begin(), shape.end(), [&](const QRect& r) {
            return r != lowest && r.bottom() >= lowest.top();
        });
        if (!alone || lowest.height() > 40)
            return std::nullopt;
        return lowest.translated(m_windows.rootGeometry(m_panel).topLeft());
    }

    // The resting island: wider than the tab and with items in a row.
    bool waitForResting(int ms = 10000) {
        return waitFor([&] { return islandOnRoot().height() > 60; }, ms);
    }
    bool waitForTab(int ms = 15000) {
        return waitFor(
            [&] {
                const QRect island = islandOnRoot();
                return !island.isEmpty() && island.height() <= 40;
            },
            ms);
    }

    QPoint itemCentre(const QRect& island, int index, int count = 3) const {
        const double step = ItemLayout::thumbnailSize + ItemLayout::spacing;
        const double x = island.center().x() + 0.5 + (index - (count - 1) / 2.0) * step;
        const double y =
            island.bottom() + 1 - ItemLayout::bottomPadding - ItemLayout::thumbnailSize / 2;
        return QPoint(int(x), int(y));
    }

    void click(QPoint at) {
        m_hand.glideTo(at);
        pump(100);
        m_hand.press();
        m_hand.release();
        pump(300);
    }

    void keys(std::initializer_list<unsigned long> chord) {
        for (unsigned long key : chord)
            m_hand.key(key, true);
        for (auto key = std::rbegin(chord); key != std::rend(chord); ++key)
            m_hand.key(*key, false);
        pump(200);
    }

    // The bus name of the program's tray item, as the panel's watcher has it.
    QString trayService() {
        QDBusInterface watcher(QStringLiteral("org.kde.StatusNotifierWatcher"),
                               QStringLiteral("/StatusNotifierWatcher"),
                               QStringLiteral("org.kde.StatusNotifierWatcher"));
        const QStringList items = watcher.property("RegisteredStatusNotifierItems").toStringList();
        QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
        for (const QString& item : items) {
            const QString service = item.section(u'/', 0, 0);
            const QDBusReply<uint> pid = bus->servicePid(service);
            if (pid.isValid() && qint64(pid.value()) == m_tarvo->pid())
                return service;
        }
        return {};
    }

    // Chooses an entry of the tray's menu by its title, as the panel does
    // when the person clicks it.
    void trayCommand(const QString& title) {
        const QString service = trayService();
        ASSERT_FALSE(service.isEmpty());
        QDBusInterface item(service, QStringLiteral("/StatusNotifierItem"),
                            QStringLiteral("org.kde.StatusNotifierItem"));
        const QString path = item.property("Menu").value<QDBusObjectPath>().path();
        QDBusInterface menu(service, path, QStringLiteral("com.canonical.dbusmenu"));
        menu.call(QStringLiteral("AboutToShow"), 0);
        const QDBusMessage layout = menu.call(QStringLiteral("GetLayout"), 0, -1, QStringList());
        ASSERT_EQ(layout.type(), QDBusMessage::ReplyMessage) << layout.errorMessage().toStdString();
        std::optional<int> id;
        // (revision, (id, properties, children)); children are variants of the same.
        const QDBusArgument root = layout.arguments().at(1).value<QDBusArgument>();
        root.beginStructure();
        int rootID = 0;
        QVariantMap rootProperties;
        root >> rootID >> rootProperties;
        root.beginArray();
        while (!root.atEnd()) {
            QDBusVariant child;
            root >> child;
            const QDBusArgument entry = child.variant().value<QDBusArgument>();
            entry.beginStructure();
            int entryID = 0;
            QVariantMap properties;
            entry >> entryID >> properties;
            entry.endStructure();
            if (properties.value(QStringLiteral("label")).toString().remove(u'&') == title)
                id = entryID;
        }
        root.endArray();
        root.endStructure();
        ASSERT_TRUE(id) << "no tray entry " << title.toStdString();
        menu.call(QStringLiteral("Event"), *id, QStringLiteral("clicked"),
                  QVariant::fromValue(QDBusVariant(0)), 0u);
        pump(300);
    }

    // Opens the shelf as a person asks for it: the tray's entry under Xfce,
    // a second start where no tray is.
    void openOnPurpose() {
        if (onXfce()) {
            trayCommand(L10n::menuOpen());
        } else {
            EXPECT_EQ(m_tarvo->startAgain(), 0);
        }
    }

    TempDir m_home;
    X11Windows m_windows;
    XTestHand m_hand;
    std::unique_ptr<TarvoProcess> m_tarvo;
    QProcess m_other;
    xcb_window_t m_panel = XCB_NONE;
};

TEST_F(FirstHourX11, TheSettingsWindowOpensAgainAfterItsTitleBarsClose) {
    if (!onXfce())
        GTEST_SKIP() << "no tray under openbox";
    start(false);
    const QString title = QStringLiteral("Tarvo settings");
    auto shownWindow = [&]() -> std::optional<xcb_window_t> {
        for (xcb_window_t window : windowsNamed(m_tarvo->pid(), title)) {
            if (m_windows.isViewable(window))
                return window;
        }
        return std::nullopt;
    };
    for (int round = 1; round <= 3; ++round) {
        trayCommand(L10n::menuSettings());
        std::optional<xcb_window_t> window;
        ASSERT_TRUE(waitFor([&] { return (window = shownWindow()).has_value(); }, 10000))
            << "Settings… did not show the window, time " << round;
        pump(500);
        if (round == 2)
            screenshot(QStringLiteral("settings-opened-again"));
        // The close button sits at the right end of the frame's title bar.
        xcb_window_t frame = *window;
        for (;;) {
            X11Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(
                m_windows.connection(), xcb_query_tree(m_windows.connection(), frame), nullptr));
            if (!tree || tree->parent == m_windows.root())
                break;
            frame = tree->parent;
        }
        const QRect outer = m_windows.rootGeometry(frame);
        const QRect inner = m_windows.rootGeometry(*window);
        const int bar = inner.top() - outer.top();
        ASSERT_GT(bar, 10) << "no title bar";
        click({outer.right() - bar / 2 - 2, outer.top() + bar / 2});
        ASSERT_TRUE(waitFor([&] { return !shownWindow().has_value(); }, 10000))
            << "the title bar's close button did not close the window";
    }
}

TEST_F(FirstHourX11, AClickGivesTheShelfTheKeyboardAndEscapeGivesItBack) {
    start(true);
    const xcb_window_t other = startOtherProgram();
    openOnPurpose();
    ASSERT_TRUE(waitForResting()) << "the shelf did not open";
    const QRect island = islandOnRoot();
    click(itemCentre(island, 0));
    ASSERT_TRUE(waitFor([&] { return shelfHasKeyboard(); }, 10000))
        << "the click did not give the shelf the keyboard";
    keys({XK_Right});
    pump(500);
    screenshot(QStringLiteral("shelf-keyboard-after-click"));
    // The selection moved to the second item: Backspace removes that one.
    keys({XK_BackSpace});
    const QString items = m_home.file("data/Tarvo/Items");
    EXPECT_TRUE(waitFor(
        [&] {
            return storedOrder(items) == QStringList({m_names[0], m_names[2]});
        },
        10000))
        << "the arrow and Backspace did not act: " << storedOrder(items).join(u',').toStdString();
    keys({XK_Escape});
    EXPECT_TRUE(waitFor([&] { return islandOnRoot().isEmpty(); }, 10000))
        << "Escape did not put the shelf away";
    EXPECT_TRUE(waitFor([&] { return activeWindow() == other; }, 10000))
        << "the keyboard did not go back to the xterm";
}

TEST_F(FirstHourX11, TheRestingTabSitsUnderThePanelStaysByThePointerAndOpensWhereDrawn) {
    start(true);
    openOnPurpose();
    ASSERT_TRUE(waitForResting()) << "the shelf did not open";
    m_hand.glideTo({60, 400});
    ASSERT_TRUE(waitForTab()) << "the shelf did not fold into its tab";
    pump(800);
    const QRect tab = islandOnRoot();
    const std::vector<quint32> area = m_windows.cardinals(m_windows.root(), "_NET_WORKAREA");
    const int top = area.size() >= 2 ? int(area[1]) : 0;
    if (onXfce()) {
        EXPECT_GE(top, 20) << "the panel took no strut";
    }
    EXPECT_GE(tab.top(), top) << "the tab lies under the panel";
    const QImage shot = screenshot(QStringLiteral("resting-tab-under-panel"));
    // The tab is drawn where it takes the pointer: its middle is the island's dark.
    const QColor middle = shot.pixelColor(tab.center());
    EXPECT_LT(middle.lightness(), 60) << "no tab drawn at its input shape";

    // The pointer rests beside the tab past the tuck-away time: the tab stays.
    m_hand.glideTo({tab.center().x(), tab.bottom() + 20});
    pump(17000);
    EXPECT_FALSE(islandOnRoot().isEmpty()) << "the tab went away with the pointer beside it";

    // A click low on the drawn tab opens the shelf.
    click({tab.center().x(), tab.bottom() - 3});
    EXPECT_TRUE(waitForResting(5000)) << "a click on the drawn tab did not open the shelf";
}

TEST_F(FirstHourX11, AShelfOpenedOnPurposeStaysUntilItsSettleTime) {
    start(false);
    m_hand.glideTo({60, 400});
    openOnPurpose();
    ASSERT_TRUE(waitFor([&] { return !islandOnRoot().isEmpty(); }, 10000))
        << "the shelf did not open";
    QElapsedTimer opened;
    opened.start();
    // It used to fold half a second later, the pointer never on it.
    while (opened.elapsed() < 3500) {
        ASSERT_FALSE(islandOnRoot().isEmpty())
            << "the empty shelf folded after " << opened.elapsed() << " ms";
        pump(100);
    }
    EXPECT_TRUE(waitFor([&] { return islandOnRoot().isEmpty(); }, 10000))
        << "the shelf never folded";
}

TEST_F(FirstHourX11, AClearedShelfComesBackFromTheTraysUndoItsNoticeAndCtrlZ) {
    if (!onXfce())
        GTEST_SKIP() << "no tray under openbox";
    start(true);
    m_hand.glideTo({60, 400});
    const QString items = m_home.file("data/Tarvo/Items");
    ASSERT_EQ(storedOrder(items), m_names);
    trayCommand(L10n::menuClear());
    ASSERT_TRUE(waitFor([&] { return storedOrder(items).isEmpty(); }, 10000))
        << "Clear shelf did not clear";
    ASSERT_TRUE(waitFor([&] { return !islandOnRoot().isEmpty(); }, 10000))
        << "no notice offers the undo";
    trayCommand(L10n::menuUndo());
    EXPECT_TRUE(waitFor([&] { return storedOrder(items) == m_names; }, 10000))
        << "the tray's undo did not put the items back: "
        << storedOrder(items).join(u',').toStdString();

    // Cleared again, a click on the notice puts them back, and the shelf
    // stays to show them: that click is the shelf's own, not one outside.
    m_hand.glideTo({60, 400});
    trayCommand(L10n::menuClear());
    ASSERT_TRUE(waitFor([&] { return storedOrder(items).isEmpty(); }, 10000));
    std::optional<QRect> notice;
    ASSERT_TRUE(waitFor([&] { return (notice = noticeOnRoot()).has_value(); }, 10000))
        << "the notice takes no clicks";
    pump(500); // the notice has come to rest where it takes the click
    notice = noticeOnRoot();
    ASSERT_TRUE(notice);
    const QPoint edge(notice->left() + 8, notice->center().y());
    EXPECT_GT(screenshot().pixelColor(edge).lightness(), 180)
        << "no notice drawn where it takes the click";
    // A person slow to click: the pointer rests on the notice past the time
    // the shelf holds itself open, and the notice waits for it.
    m_hand.glideTo(notice->center());
    pump(6000);
    ASSERT_EQ(noticeOnRoot(), notice) << "the notice went away under the pointer";
    click(notice->center());
    EXPECT_TRUE(waitFor([&] { return storedOrder(items) == m_names; }, 10000))
        << "the click on the notice did not put the items back: "
        << storedOrder(items).join(u',').toStdString();
    QElapsedTimer shown;
    shown.start();
    while (shown.elapsed() < 2000) {
        ASSERT_GT(islandOnRoot().height(), 60)
            << "the shelf folded " << shown.elapsed() << " ms after the notice's click";
        pump(100);
    }

    // Cleared again, Ctrl+Z in the shelf puts them back too: a click on
    // the island gives it the keyboard.
    m_hand.glideTo({60, 400});
    trayCommand(L10n::menuClear());
    ASSERT_TRUE(waitFor([&] { return storedOrder(items).isEmpty(); }, 10000));
    ASSERT_TRUE(waitFor([&] { return !islandOnRoot().isEmpty(); }, 10000));
    const QRect island = islandOnRoot();
    m_hand.glideTo({island.center().x(), island.top() + 30});
    m_hand.deviceButton(3, true);
    m_hand.deviceButton(3, false);
    pump(500);
    keys({XK_Escape}); // the shelf's menu closes; the shelf keeps the keyboard
    EXPECT_TRUE(waitFor([&] { return shelfHasKeyboard(); }, 10000))
        << "the click did not give the shelf the keyboard";
    keys({XK_Control_L, XK_z});
    EXPECT_TRUE(waitFor([&] { return storedOrder(items) == m_names; }, 10000))
        << "Ctrl+Z did not put the items back";
}

} // namespace
} // namespace tarvo::test
