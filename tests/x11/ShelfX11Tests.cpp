// The living shelf of the tarvo program under a window manager: drags that
// other programs start anywhere on screen unfold it, drops onto it land
// items, it folds and tucks away by itself, and screen readers see its items.
// The pointer moves at a steady, unhurried hand's pace and every wait has a
// deadline of seconds, so a busy machine slows the run without failing it.
#include "TarvoCore/ItemStore.h"
#include "TarvoCore/L10n.h"

#include "support/AtSpiTree.h"
#include "support/ItemFactory.h"
#include "support/TempDir.h"
#include "support/X11TestTools.h"
#include "x11/TarvoProgram.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>

#include <xcb/xfixes.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace tarvo::test {
namespace {

// Hears, on a connection of its own, each time a program takes the drag
// selection: the start of a drag.
class DragStartWatch final {
public:
    DragStartWatch() : m_connection(xcb_connect(nullptr, nullptr)) {
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
        const char name[] = "XdndSelection";
        X11Reply<xcb_intern_atom_reply_t> atom(xcb_intern_atom_reply(
            m_connection, xcb_intern_atom(m_connection, 0, quint16(std::strlen(name)), name),
            nullptr));
        X11Reply<xcb_xfixes_query_version_reply_t> version(xcb_xfixes_query_version_reply(
            m_connection, xcb_xfixes_query_version(m_connection, 5, 0), nullptr));
        const xcb_query_extension_reply_t* xfixes =
            xcb_get_extension_data(m_connection, &xcb_xfixes_id);
        m_event = quint8(xfixes->first_event + XCB_XFIXES_SELECTION_NOTIFY);
        xcb_xfixes_select_selection_input(m_connection, root, atom ? atom->atom : XCB_NONE,
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER);
        xcb_flush(m_connection);
        // Everything so far is old news.
        xcb_aux_sync();
        started();
        m_started = false;
    }
    ~DragStartWatch() { xcb_disconnect(m_connection); }
    DragStartWatch(const DragStartWatch&) = delete;
    DragStartWatch& operator=(const DragStartWatch&) = delete;

    // Whether a drag has started since the last `forget`; reads what the
    // server has sent so far without waiting.
    bool started() {
        while (const X11Reply<xcb_generic_event_t> event{xcb_poll_for_event(m_connection)}) {
            const auto* notify =
                reinterpret_cast<xcb_xfixes_selection_notify_event_t*>(event.get());
            if ((event->response_type & 0x7f) == m_event && notify->owner != XCB_NONE)
                m_started = true;
        }
        return m_started;
    }
    void forget() {
        started();
        m_started = false;
    }

private:
    void xcb_aux_sync() {
        ownReply(
            xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
    }

    xcb_connection_t* m_connection;
    quint8 m_event = 0;
    bool m_started = false;
};

class ShelfX11Test : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_windows.hasWindowManager()) << "no window manager"; }

    void TearDown() override {
        for (QProcess* helper : {&m_gtkSource, &m_qtSource}) {
            if (helper->state() != QProcess::NotRunning) {
                helper->kill();
                helper->waitForFinished(5000);
            }
        }
    }

    xcb_window_t panel(TarvoProcess& tarvo) {
        std::optional<xcb_window_t> found;
        waitFor([&] { return (found = m_windows.panelOf(tarvo.pid())).has_value(); }, 20000);
        return found.value_or(XCB_NONE);
    }

    // A GTK 3 window offering the file, low on the screen, on the left
    // unless told otherwise.
    std::optional<QPoint> startGtkSource(const QString& file, int left = 120) {
        m_gtkSource.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_gtkSource.start(QString::fromLocal8Bit(qgetenv("TARVO_GTK_PROBE")),
                          {QStringLiteral("source"), QStringLiteral("--class"),
                           QStringLiteral("gtksource"), QStringLiteral("--geometry"),
                           QStringLiteral("%1,440,240,160").arg(left), QStringLiteral("--uri"),
                           file});
        return readyPoint(m_gtkSource);
    }

    // A Qt window offering the file, high on the left of the screen.
    std::optional<QPoint> startQtSource(const QString& file) {
        m_qtSource.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_qtSource.start(QString::fromLocal8Bit(qgetenv("TARVO_DRAG_SOURCE")),
                         {QStringLiteral("file"), file});
        return readyPoint(m_qtSource);
    }

    struct Travel {
        // How far the pointer had gone when the drag started and when the
        // shelf's window was mapped; none when that did not happen.
        std::optional<int> dragStarted;
        std::optional<int> shelfMapped;
    };

    // Presses on `from` and moves right two pixels at a time, at a steady
    // hundred pixels a second, until the shelf shows or the pointer has gone
    // 400 pixels.
    Travel dragUntilTheShelfShows(XTestHand& hand, QPoint from, xcb_window_t window) {
        DragStartWatch watch;
        hand.moveTo(from);
        pump(200);
        watch.forget();
        hand.press();
        pump(100);
        Travel travel;
        for (int moved = 2; moved <= 400 && !travel.shelfMapped; moved += 2) {
            hand.moveTo(from + QPoint(moved, 0));
            pump(20);
            if (!travel.dragStarted && watch.started())
                travel.dragStarted = moved;
            if (travel.dragStarted && m_windows.isViewable(window))
                travel.shelfMapped = moved;
        }
        return travel;
    }

    // Over the middle of the panel, which takes drops everywhere while
    // something is dragged; then lets go. The source lets go onto the target
    // it last heard from, so the pointer lingers and stirs a little first,
    // giving a slow shelf time to answer.
    void dropOnTheShelf(XTestHand& hand, xcb_window_t window) {
        const QRect panel = m_windows.rootGeometry(window);
        hand.glideTo(panel.center());
        for (const QPoint stir : {QPoint(6, 4), QPoint(-4, 2), QPoint(2, -3)}) {
            hand.glideTo(panel.center() + stir, 3);
            pump(300);
        }
        hand.release();
    }

    // A drag from `source`, in the program `program`, must unfold the shelf
    // within 50 pixels of the pointer's travel.
    void expectUnfoldsSoon(XTestHand& hand, QPoint source, xcb_window_t window,
                           const char* program) {
        const Travel travel = dragUntilTheShelfShows(hand, source, window);
        ASSERT_TRUE(travel.dragStarted) << "the " << program << " program started no drag";
        ASSERT_TRUE(travel.shelfMapped) << "the drag did not unfold the shelf";
        EXPECT_LT(*travel.shelfMapped - *travel.dragStarted, 50)
            << "the shelf showed only after the pointer had gone on for "
            << *travel.shelfMapped - *travel.dragStarted << " pixels";
    }

    // Dropped on the shelf, the dragged file `name` must land as one item
    // holding `bytes`.
    void expectDropLands(XTestHand& hand, xcb_window_t window, const TarvoProcess& tarvo,
                         const QString& name, const QByteArray& bytes) {
        dropOnTheShelf(hand, window);
        ASSERT_TRUE(waitFor([&] { return tarvo.itemFolders().size() == 1; }, 20000))
            << "the drop landed no item";
        // The item shows at once and its copy is made on a worker.
        EXPECT_TRUE(
            waitFor([&] { return payloadOf(tarvo.itemFolders().front(), name) == bytes; }, 20000));
    }

    // Unfolded for a drag: the whole panel takes the pointer.
    bool unfoldedForADrag(xcb_window_t window) {
        if (!m_windows.isViewable(window))
            return false;
        const QSize size = m_windows.size(window);
        const std::vector<QRect> input = m_windows.shape(window, XCB_SHAPE_SK_INPUT);
        return X11Windows::covers(input, QPoint(0, size.height() - 1)) &&
               X11Windows::covers(input, QPoint(size.width() - 1, size.height() - 1));
    }

    // Folded into the tab: still on screen, taking no drops or clicks over
    // the panel, and showing no more than a thin strip at the top.
    bool folded(xcb_window_t window) {
        if (!m_windows.isViewable(window))
            return false;
        const QSize size = m_windows.size(window);
        const std::vector<QRect> input = m_windows.shape(window, XCB_SHAPE_SK_INPUT);
        const QRect shown = X11Windows::extent(m_windows.shape(window, XCB_SHAPE_SK_BOUNDING));
        return !X11Windows::covers(input, QPoint(size.width() / 2, size.height() / 2)) &&
               shown.height() < size.height() / 2;
    }

    // The file of an item folder, other than what the store keeps for itself.
    static QByteArray payloadOf(const QString& folder, const QString& name) {
        QFile file(QDir(folder).filePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    TempDir m_home;
    X11Windows m_windows;
    QProcess m_gtkSource;
    QProcess m_qtSource;
};

TEST_F(ShelfX11Test, AGtkDragUnfoldsTheShelfItsDropLandsAndTheShelfFoldsAndTucksAwayByItself) {
    TarvoProcess tarvo(m_home);
    tarvo.start();
    const xcb_window_t window = panel(tarvo);
    ASSERT_NE(window, xcb_window_t(XCB_NONE)) << "no panel window";
    const QString file = m_home.write("from GTK.txt", "dragged out of a GTK program");
    const std::optional<QPoint> source = startGtkSource(file);
    ASSERT_TRUE(source) << "the GTK source did not show";
    pump(300);
    ASSERT_FALSE(m_windows.isViewable(window));

    XTestHand hand;
    ASSERT_TRUE(hand.ok());
    ASSERT_NO_FATAL_FAILURE(expectUnfoldsSoon(hand, *source, window, "GTK"));
    EXPECT_TRUE(waitFor([&] { return unfoldedForADrag(window); }, 10000));
    ASSERT_NO_FATAL_FAILURE(expectDropLands(hand, window, tarvo, QStringLiteral("from GTK.txt"),
                                            "dragged out of a GTK program"));

    // Left alone, it rests, folds into the tab, and on a screen without a
    // notch the tab goes after a while.
    hand.glideTo(QPoint(640, 700));
    EXPECT_TRUE(waitFor([&] { return folded(window); }, 20000)) << "the shelf did not fold";
    EXPECT_TRUE(waitFor([&] { return !m_windows.isViewable(window); }, 40000))
        << "the tab did not tuck away";
    EXPECT_EQ(tarvo.terminate(), 0);
}

TEST_F(ShelfX11Test, AQtDragUnfoldsTheShelfItsDropLandsAndADragThatOnlyPassesLetsItFold) {
    TarvoProcess tarvo(m_home);
    tarvo.start();
    const xcb_window_t window = panel(tarvo);
    ASSERT_NE(window, xcb_window_t(XCB_NONE)) << "no panel window";
    const QString file = m_home.write("from Qt.txt", "dragged out of a Qt program");
    const std::optional<QPoint> source = startQtSource(file);
    ASSERT_TRUE(source) << "the Qt source did not show";
    pump(300);

    XTestHand hand;
    ASSERT_TRUE(hand.ok());
    ASSERT_NO_FATAL_FAILURE(expectUnfoldsSoon(hand, *source, window, "Qt"));
    ASSERT_NO_FATAL_FAILURE(expectDropLands(hand, window, tarvo, QStringLiteral("from Qt.txt"),
                                            "dragged out of a Qt program"));
    hand.glideTo(QPoint(640, 700));
    ASSERT_TRUE(waitFor([&] { return folded(window); }, 20000)) << "the shelf did not fold";

    // Another drag unfolds the tab, passes over the shelf and is let go
    // elsewhere: nothing lands, and the shelf settles and folds again.
    hand.moveTo(*source);
    pump(200);
    hand.press();
    hand.glideTo(*source + QPoint(60, 0));
    const QRect shelf = m_windows.rootGeometry(window);
    hand.glideTo(shelf.center());
    EXPECT_TRUE(waitFor([&] { return unfoldedForADrag(window); }, 10000))
        << "the second drag did not unfold the tab";
    hand.glideTo(QPoint(900, 650));
    pump(200);
    hand.release();
    EXPECT_TRUE(waitFor([&] { return folded(window); }, 20000))
        << "the shelf did not fold after the drag went elsewhere";
    EXPECT_EQ(tarvo.itemFolders().size(), 1u);
    EXPECT_EQ(tarvo.terminate(), 0);
}

// The display split into two screens side by side, 640 pixels wide each,
// as a second monitor would add one; whole again at the end.
class TwoScreens final {
public:
    TwoScreens() {
        m_ok = xrandr({QStringLiteral("--setmonitor"), QStringLiteral("tarvo-left"),
                       QStringLiteral("640/169x800/211+0+0"), QStringLiteral("screen")}) &&
               addRight();
    }
    ~TwoScreens() {
        xrandr({QStringLiteral("--delmonitor"), QStringLiteral("tarvo-right")});
        xrandr({QStringLiteral("--delmonitor"), QStringLiteral("tarvo-left")});
    }
    TwoScreens(const TwoScreens&) = delete;
    TwoScreens& operator=(const TwoScreens&) = delete;

    bool ok() const { return m_ok; }
    // The right screen, `width` pixels wide.
    bool addRight(int width = 640) {
        return xrandr({QStringLiteral("--setmonitor"), QStringLiteral("tarvo-right"),
                       QStringLiteral("%1/169x800/211+640+0").arg(width), QStringLiteral("none")});
    }
    bool removeRight() {
        return xrandr({QStringLiteral("--delmonitor"), QStringLiteral("tarvo-right")});
    }
    // A monitor cannot be changed in place: it goes and comes back at once.
    bool resizeRight(int width) { return removeRight() && addRight(width); }

private:
    static bool xrandr(const QStringList& arguments) {
        return QProcess::execute(QStringLiteral("xrandr"), arguments) == 0;
    }

    bool m_ok = false;
};

TEST_F(ShelfX11Test, OnTwoScreensTheShelfShowsUnderThePointerAndMovesWhenItsScreenGoes) {
    TwoScreens screens;
    ASSERT_TRUE(screens.ok()) << "xrandr could not split the display";
    TarvoProcess tarvo(m_home);
    tarvo.start();
    const xcb_window_t window = panel(tarvo);
    ASSERT_NE(window, xcb_window_t(XCB_NONE)) << "no panel window";
    const QString file = m_home.write("on the right.txt", "dragged on the right screen");
    const std::optional<QPoint> source = startGtkSource(file, 760);
    ASSERT_TRUE(source) << "the GTK source did not show";
    ASSERT_GE(source->x(), 640) << "the source is not on the right screen";
    pump(300);
    const auto centredOn = [&](int x) {
        return std::abs(m_windows.rootGeometry(window).center().x() - x) <= 2;
    };

    // A drag on the right screen unfolds the shelf at the top of that screen.
    XTestHand hand;
    ASSERT_TRUE(hand.ok());
    const Travel travel = dragUntilTheShelfShows(hand, *source, window);
    ASSERT_TRUE(travel.shelfMapped) << "the drag did not unfold the shelf";
    EXPECT_TRUE(centredOn(960)) << "the shelf is centred at x "
                                << m_windows.rootGeometry(window).center().x();
    dropOnTheShelf(hand, window);
    ASSERT_TRUE(waitFor([&] { return tarvo.itemFolders().size() == 1; }, 20000))
        << "the drop landed no item";
    hand.glideTo(QPoint(960, 700));

    // The right screen goes while the shelf shows: it moves to the one left.
    ASSERT_TRUE(screens.removeRight());
    EXPECT_TRUE(waitFor([&] { return centredOn(320); }, 10000))
        << "the shelf stayed at x " << m_windows.rootGeometry(window).center().x();
    EXPECT_TRUE(m_windows.isViewable(window));

    // It comes back with the pointer on it: the shelf follows the pointer.
    ASSERT_TRUE(screens.addRight());
    EXPECT_TRUE(waitFor([&] { return centredOn(960); }, 10000))
        << "the shelf stayed at x " << m_windows.rootGeometry(window).center().x();

    // That screen is made narrower: the shelf keeps to its middle.
    ASSERT_TRUE(screens.resizeRight(400));
    EXPECT_TRUE(waitFor([&] { return centredOn(840); }, 10000))
        << "the shelf stayed at x " << m_windows.rootGeometry(window).center().x();
    EXPECT_EQ(tarvo.terminate(), 0);
}

TEST_F(ShelfX11Test, ScreenReadersSeeOneElementPerItemNamedAfterIt) {
    TarvoProcess tarvo(m_home);
    const QStringList names = {QStringLiteral("oldest note"), QStringLiteral("middle note"),
                               QStringLiteral("newest note")};
    {
        ItemStore store(tarvo.itemsFolder());
        Date when = Date::now();
        for (const QString& name : names) {
            when = when.addingSeconds(1);
            addTextItem(store, name, when);
        }
    }
    // As a screen reader's session has it: the program joins the
    // accessibility bus whatever the desktop's switch said when it started.
    tarvo.setVariable(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
    tarvo.start();
    const xcb_window_t window = panel(tarvo);
    ASSERT_NE(window, xcb_window_t(XCB_NONE)) << "no panel window";
    pump(500);
    ASSERT_EQ(tarvo.startAgain(), 0);
    ASSERT_TRUE(waitFor([&] { return m_windows.isViewable(window); }, 10000))
        << "the shelf did not open";

    // The pointer over the island holds the shelf open while it is read.
    XTestHand hand;
    ASSERT_TRUE(hand.ok());
    const QRect shelf = m_windows.rootGeometry(window);
    hand.moveTo(QPoint(shelf.center().x() - 40, shelf.top() + 30));
    hand.glideTo(QPoint(shelf.center().x(), shelf.top() + 30), 6);

    // The shelf is one panel named for what it is, holding one picture per
    // item named after it, newest first.
    std::vector<QString> seen;
    std::optional<AtSpiNode> tree;
    const AtSpiNode* shelfPanel = nullptr;
    const bool read = waitFor(
        [&] {
            tree = readAtSpiTree(tarvo.pid());
            seen.clear();
            shelfPanel = nullptr;
            if (!tree) {
                pump(200); // the program may not have joined the bus yet
                return false;
            }
            for (const AtSpiNode* panel : tree->withRole(AtSpiNode::panel)) {
                if (panel->name == L10n::a11yTarvoRole())
                    shelfPanel = panel;
            }
            if (shelfPanel) {
                for (const AtSpiNode* image : shelfPanel->withRole(AtSpiNode::image))
                    seen.push_back(image->name);
            }
            return seen.size() >= std::size_t(names.size());
        },
        20000);
    ASSERT_TRUE(read) << "screen readers saw "
                      << (tree ? tree->describe().toStdString() : std::string("no application"));
    EXPECT_EQ(seen, (std::vector<QString>{names[2], names[1], names[0]}));
    EXPECT_EQ(shelfPanel->withRole(AtSpiNode::image).front()->description, L10n::a11yItemRole());
    EXPECT_EQ(tarvo.terminate(), 0);
}

} // namespace
} // namespace tarvo::test
