// The tarvo program end to end on a display of its own: started against a
// temporary home, its panel, its window states and shapes, a second start,
// a drag from another program, and SIGTERM.
#include "TarvoCore/ItemStore.h"
#include "TarvoCore/Preferences.h"
#include "TarvoCore/UserDefaults.h"

#include "support/ItemFactory.h"
#include "support/TempDir.h"
#include "support/X11TestTools.h"
#include "x11/TarvoProgram.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>

#include <xcb/shape.h>
#include <xcb/xcb.h>

#include <X11/keysym.h>

#include <optional>
#include <vector>

namespace tarvo::test {
namespace {

// The shared libraries process `pid` has mapped, by file name.
QStringList mappedLibraries(qint64 pid) {
    QFile maps(QStringLiteral("/proc/%1/maps").arg(pid));
    QStringList names;
    if (!maps.open(QIODevice::ReadOnly))
        return names;
    for (const QByteArray& line : maps.readAll().split('\n')) {
        const qsizetype slash = line.lastIndexOf('/');
        if (slash >= 0)
            names.append(QString::fromLocal8Bit(line.mid(slash + 1)));
    }
    names.removeDuplicates();
    return names;
}

bool maps(qint64 pid, const QString& prefix) {
    const QStringList names = mappedLibraries(pid);
    return std::any_of(names.begin(), names.end(),
                       [&](const QString& name) { return name.startsWith(prefix); });
}

class TarvoProgram : public ::testing::Test {
protected:
    xcb_window_t panel(TarvoProcess& tarvo) {
        std::optional<xcb_window_t> found;
        waitFor([&] { return (found = m_display.panelOf(tarvo.pid())).has_value(); }, 20000);
        return found.value_or(XCB_NONE);
    }
    bool has(const std::vector<quint32>& atoms, const char* name) {
        return std::find(atoms.begin(), atoms.end(), m_display.atom(name)) != atoms.end();
    }

    TempDir m_home;
    X11Windows m_display;
};

TEST_F(TarvoProgram, StartsHiddenAndASecondStartOpensTheShelf) {
    TarvoProcess tarvo(m_home);
    tarvo.start();
    const xcb_window_t window = panel(tarvo);
    ASSERT_NE(window, xcb_window_t(XCB_NONE)) << "no panel window";
    pump(500);
    EXPECT_FALSE(m_display.isViewable(window)) << "mapped before its first show";

    EXPECT_EQ(tarvo.startAgain(), 0);
    ASSERT_TRUE(waitFor([&] { return m_display.isViewable(window); }, 10000))
        << "the second start did not open the shelf";

    const std::vector<quint32> states = m_display.cardinals(window, "_NET_WM_STATE");
    EXPECT_TRUE(has(states, "_NET_WM_STATE_ABOVE"));
    EXPECT_TRUE(has(states, "_NET_WM_STATE_SKIP_TASKBAR"));
    EXPECT_TRUE(has(states, "_NET_WM_STATE_SKIP_PAGER"));
    const std::vector<quint32> desktop = m_display.cardinals(window, "_NET_WM_DESKTOP");
    EXPECT_TRUE(has(states, "_NET_WM_STATE_STICKY") ||
                (!desktop.empty() && desktop.front() == 0xFFFFFFFF))
        << "not on every workspace";

    // An empty resting shelf takes clicks on its island alone, for its menu;
    // without a compositor only the island's outline shows, where the island
    // is as it slides down.
    const QSize size = m_display.size(window);
    const std::vector<QRect> input = m_display.shape(window, XCB_SHAPE_SK_INPUT);
    EXPECT_TRUE(X11Windows::covers(input, QPoint(size.width() / 2, 20)));
    EXPECT_FALSE(X11Windows::covers(input, QPoint(0, size.height() - 1)));
    std::vector<QRect> bounding;
    EXPECT_TRUE(waitFor(
        [&] {
            bounding = m_display.shape(window, XCB_SHAPE_SK_BOUNDING);
            return X11Windows::covers(bounding, QPoint(size.width() / 2, 20));
        },
        10000))
        << "the island did not slide into the window's shape";
    EXPECT_FALSE(X11Windows::covers(bounding, QPoint(0, size.height() - 1)));
    EXPECT_FALSE(X11Windows::covers(bounding, QPoint(size.width() / 2, size.height() - 1)));

    // With nothing on it the opened shelf goes away by itself.
    EXPECT_TRUE(waitFor([&] { return !m_display.isViewable(window); }, 10000));
    EXPECT_EQ(tarvo.terminate(), 0);
}

// Without a session bus a second start reaches the first over the socket
// beside the lock, and the socket a killed Tarvo leaves behind blocks no start.
TEST_F(TarvoProgram, WithoutASessionBusASecondStartStillOpensTheShelf) {
    const QString nowhere = QStringLiteral("unix:path=") + m_home.file("no-bus");
    const QString socket = m_home.file("data/Tarvo/tarvo.socket");
    {
        TarvoProcess killed(m_home);
        killed.setVariable(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), nowhere);
        killed.start();
        ASSERT_NE(panel(killed), xcb_window_t(XCB_NONE)) << "no panel window";
        ASSERT_TRUE(waitFor([&] { return QFileInfo::exists(socket); }, 10000));
    } // killed with SIGKILL, leaving its socket
    ASSERT_TRUE(QFileInfo::exists(socket));

    TarvoProcess tarvo(m_home);
    tarvo.setVariable(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), nowhere);
    tarvo.start();
    const xcb_window_t window = panel(tarvo);
    ASSERT_NE(window, xcb_window_t(XCB_NONE)) << "the socket left behind blocked the start";
    pump(500);
    EXPECT_FALSE(m_display.isViewable(window));
    EXPECT_EQ(tarvo.startAgain(), 0);
    EXPECT_TRUE(waitFor([&] { return m_display.isViewable(window); }, 10000))
        << "the second start did not open the shelf";
    EXPECT_EQ(tarvo.terminate(), 0);
    EXPECT_FALSE(QFileInfo::exists(socket));
}

TEST_F(TarvoProgram, ADragElsewhereUnfoldsTheShelfTakingDropsOverTheWholePanel) {
    TarvoProcess tarvo(m_home);
    tarvo.start();
    const xcb_window_t window = panel(tarvo);
    ASSERT_NE(window, xcb_window_t(XCB_NONE));

    const QString file = m_home.write("dragged.txt", "some text");
    QProcess source;
    source.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    source.start(QString::fromLocal8Bit(qgetenv("TARVO_DRAG_SOURCE")),
                 {QStringLiteral("file"), file});
    std::optional<QPoint> centre;
    ASSERT_TRUE(waitFor(
        [&] {
            while (source.canReadLine()) {
                const QStringList parts = QString::fromUtf8(source.readLine()).split(u' ');
                if (parts.value(0) == QLatin1String("ready"))
                    centre = QPoint(parts.value(1).toInt(), parts.value(2).trimmed().toInt());
            }
            return centre.has_value();
        },
        20000));

    XTestHand hand;
    ASSERT_TRUE(hand.ok());
    hand.moveTo(*centre);
    pump(200);
    hand.press();
    hand.glideTo(*centre + QPoint(60, -60));
    hand.glideTo(QPoint(640, 400));
    ASSERT_TRUE(waitFor([&] { return m_display.isViewable(window); }, 10000))
        << "the drag did not unfold the shelf";
    const QSize size = m_display.size(window);
    const std::vector<QRect> input = m_display.shape(window, XCB_SHAPE_SK_INPUT);
    EXPECT_TRUE(X11Windows::covers(input, QPoint(0, 0)));
    EXPECT_TRUE(X11Windows::covers(input, QPoint(size.width() - 1, size.height() - 1)));

    hand.glideTo(QPoint(640, 600));
    hand.release();
    EXPECT_TRUE(waitFor([&] { return !m_display.isViewable(window); }, 10000))
        << "the shelf stayed after a drag that left nothing on it";
    source.kill();
    source.waitForFinished(5000);
    EXPECT_EQ(tarvo.terminate(), 0);
}

TEST_F(TarvoProgram, TheShortcutOpensAndHidesTheShelf) {
    {
        // Ctrl+Shift+K: openbox keeps the default Alt+Space for its window menu.
        UserDefaults defaults(m_home.file("config/Tarvo/Tarvo.conf"));
        Preferences(defaults).setHotkey(HotkeySpec{40, HotkeySpec::command | HotkeySpec::shift});
    }
    TarvoProcess tarvo(m_home);
    tarvo.start();
    const xcb_window_t window = panel(tarvo);
    ASSERT_NE(window, xcb_window_t(XCB_NONE));
    pump(500);
    ASSERT_FALSE(m_display.isViewable(window));

    XTestHand hand;
    ASSERT_TRUE(hand.ok());
    auto shortcut = [&] {
        for (const unsigned long key : {XK_Control_L, XK_Shift_L, XK_k})
            hand.key(key, true);
        for (const unsigned long key : {XK_k, XK_Shift_L, XK_Control_L})
            hand.key(key, false);
    };
    shortcut();
    ASSERT_TRUE(waitFor([&] { return m_display.isViewable(window); }, 10000))
        << "the shortcut did not open the shelf";
    pump(300);
    shortcut();
    EXPECT_TRUE(waitFor([&] { return !m_display.isViewable(window); }, 10000))
        << "the shortcut did not hide the shelf";
    EXPECT_EQ(tarvo.terminate(), 0);
}

TEST_F(TarvoProgram, ClicksReachTheRestingIslandAndTheTabOnlyWhereItIsDrawn) {
    {
        ItemStore store(m_home.file("data/Tarvo/Items"));
        addTextItem(store, QStringLiteral("a note"), Date::now());
    }
    TarvoProcess tarvo(m_home);
    tarvo.start();
    const xcb_window_t window = panel(tarvo);
    ASSERT_NE(window, xcb_window_t(XCB_NONE));
    EXPECT_EQ(tarvo.startAgain(), 0);
    ASSERT_TRUE(waitFor([&] { return m_display.isViewable(window); }, 10000));

    // Resting with an item: the island takes clicks, the rest of the panel
    // lets them through.
    std::vector<QRect> input;
    ASSERT_TRUE(waitFor(
        [&] {
            input = m_display.shape(window, XCB_SHAPE_SK_INPUT);
            return !input.empty();
        },
        10000))
        << "the resting island takes no clicks";
    const QSize size = m_display.size(window);
    EXPECT_TRUE(X11Windows::covers(input, QPoint(size.width() / 2, 20)));
    EXPECT_FALSE(X11Windows::covers(input, QPoint(0, size.height() - 1)));
    EXPECT_FALSE(X11Windows::covers(input, QPoint(size.width() - 1, size.height() - 1)));

    // Left alone it folds into the tab, which takes clicks where it is drawn
    // (a click opens it) and lets the rest of the panel's through.
    EXPECT_TRUE(waitFor(
        [&] {
            const std::vector<QRect> tab = m_display.shape(window, XCB_SHAPE_SK_INPUT);
            const QRect extent = X11Windows::extent(tab);
            return m_display.isViewable(window) && !extent.isEmpty() && extent.top() == 0 &&
                   extent.height() <= 40 &&
                   !X11Windows::covers(tab, QPoint(size.width() / 2, size.height() / 2));
        },
        20000))
        << "the folded tab does not take clicks only where it is drawn";
    EXPECT_EQ(tarvo.terminate(), 0);
}

TEST_F(TarvoProgram, MapsTheImageLibrariesOnlyOnceAPictureIsDrawn) {
    {
        TarvoProcess tarvo(m_home);
        tarvo.start();
        ASSERT_NE(panel(tarvo), xcb_window_t(XCB_NONE));
        pump(500);
        // What only a conversion, a picture, a sound, an update check or a
        // fingerprint needs.
        for (const char* heavy :
             {"libvips", "libpoppler", "libQt6Multimedia", "libQt6Network", "libcrypto"})
            EXPECT_FALSE(maps(tarvo.pid(), QLatin1String(heavy))) << heavy << " is mapped";
        EXPECT_EQ(tarvo.terminate(), 0);
    }

    QImage picture(64, 48, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(picture.save(&buffer, "PNG"));
    QString cache;
    {
        ItemStore store(m_home.file("data/Tarvo/Items"));
        const Item item = addFileItem(store, QStringLiteral("cyan.png"), png, true, Date::now());
        cache = store.itemDirectory(item.id) + QStringLiteral("/thumbnail-v4.png");
    }

    TarvoProcess tarvo(m_home);
    tarvo.start();
    ASSERT_NE(panel(tarvo), xcb_window_t(XCB_NONE));
    EXPECT_EQ(tarvo.startAgain(), 0);
    EXPECT_TRUE(waitFor([&] { return QFile::exists(cache); }, 20000))
        << "no picture was drawn of the stored image";
    EXPECT_TRUE(maps(tarvo.pid(), QStringLiteral("tarvo-imaging.so")));
    EXPECT_TRUE(maps(tarvo.pid(), QStringLiteral("libvips")));
    EXPECT_EQ(tarvo.terminate(), 0);
}

TEST_F(TarvoProgram, SigtermEndsItCleanlyWithTheStoreSaved) {
    TarvoProcess tarvo(m_home);
    {
        ItemStore store(tarvo.itemsFolder());
        addTextItem(store, QStringLiteral("kept across restarts"), Date::now());
    }
    tarvo.start();
    ASSERT_NE(panel(tarvo), xcb_window_t(XCB_NONE));
    EXPECT_EQ(tarvo.terminate(), 0);

    ItemStore reopened(tarvo.itemsFolder());
    ASSERT_EQ(reopened.items().size(), 1u);
    EXPECT_EQ(reopened.items().front().displayName, QStringLiteral("kept across restarts"));

    // The lock went with the process: the next start is the first again.
    TarvoProcess next(m_home);
    next.start();
    ASSERT_NE(panel(next), xcb_window_t(XCB_NONE));
    EXPECT_EQ(next.terminate(), 0);
}

} // namespace
} // namespace tarvo::test
