// The tarvo program end to end on a display of its own: started against a
// temporary home, its panel, its window states and shapes, a second start,
// a drag from another program, and SIGTERM.
#include "TarvoCore/ItemStore.h"
#include "TarvoCore/Preferences.h"
#include "TarvoCore/UserDefaults.h"

#include "support/ItemFactory.h"
#include "support/TempDir.h"
#include "support/X11TestTools.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QProcess>

#include <xcb/shape.h>
#include <xcb/xcb.h>

#include <X11/keysym.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

namespace tarvo::test {
namespace {

template <class T> struct FreeDeleter {
    void operator()(T* p) const { std::free(p); }
};
template <class T> using Reply = std::unique_ptr<T, FreeDeleter<T>>;

// Questions about other clients' windows, on a connection of the test's own.
class Display final {
public:
    Display() : m_connection(xcb_connect(nullptr, nullptr)) {
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
    }
    ~Display() { xcb_disconnect(m_connection); }

    xcb_atom_t atom(const char* name) {
        Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
            m_connection, xcb_intern_atom(m_connection, 0, quint16(std::strlen(name)), name),
            nullptr));
        return reply ? reply->atom : XCB_NONE;
    }

    std::vector<quint32> cardinals(xcb_window_t window, const char* property) {
        Reply<xcb_get_property_reply_t> reply(
            xcb_get_property_reply(m_connection,
                                   xcb_get_property(m_connection, 0, window, atom(property),
                                                    XCB_GET_PROPERTY_TYPE_ANY, 0, 64),
                                   nullptr));
        std::vector<quint32> values;
        if (!reply || reply->format != 32)
            return values;
        const auto* data = static_cast<const quint32*>(xcb_get_property_value(reply.get()));
        values.assign(data, data + xcb_get_property_value_length(reply.get()) / 4);
        return values;
    }

    bool hasWindowManager() { return !cardinals(m_root, "_NET_SUPPORTING_WM_CHECK").empty(); }

    // The shelf panel of process `pid`: its utility window.
    std::optional<xcb_window_t> panelOf(qint64 pid) { return find(m_root, pid); }

    bool isViewable(xcb_window_t window) {
        Reply<xcb_get_window_attributes_reply_t> reply(xcb_get_window_attributes_reply(
            m_connection, xcb_get_window_attributes(m_connection, window), nullptr));
        return reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
    }

    QSize size(xcb_window_t window) {
        Reply<xcb_get_geometry_reply_t> reply(
            xcb_get_geometry_reply(m_connection, xcb_get_geometry(m_connection, window), nullptr));
        return reply ? QSize(reply->width, reply->height) : QSize();
    }

    std::vector<QRect> shape(xcb_window_t window, xcb_shape_kind_t kind) {
        Reply<xcb_shape_get_rectangles_reply_t> reply(xcb_shape_get_rectangles_reply(
            m_connection, xcb_shape_get_rectangles(m_connection, window, kind), nullptr));
        std::vector<QRect> rects;
        if (!reply)
            return rects;
        const xcb_rectangle_t* list = xcb_shape_get_rectangles_rectangles(reply.get());
        for (int i = 0; i < xcb_shape_get_rectangles_rectangles_length(reply.get()); ++i)
            rects.emplace_back(list[i].x, list[i].y, list[i].width, list[i].height);
        return rects;
    }

    static bool covers(const std::vector<QRect>& rects, QPoint point) {
        for (const QRect& rect : rects) {
            if (rect.contains(point))
                return true;
        }
        return false;
    }

private:
    std::optional<xcb_window_t> find(xcb_window_t window, qint64 pid) {
        Reply<xcb_query_tree_reply_t> tree(
            xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, window), nullptr));
        if (!tree)
            return std::nullopt;
        const xcb_window_t* children = xcb_query_tree_children(tree.get());
        for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
            const xcb_window_t child = children[i];
            const std::vector<quint32> pids = cardinals(child, "_NET_WM_PID");
            const std::vector<quint32> types = cardinals(child, "_NET_WM_WINDOW_TYPE");
            if (!pids.empty() && pids.front() == pid && !types.empty() &&
                types.front() == atom("_NET_WM_WINDOW_TYPE_UTILITY"))
                return child;
            if (std::optional<xcb_window_t> found = find(child, pid))
                return found;
        }
        return std::nullopt;
    }

    xcb_connection_t* m_connection;
    xcb_window_t m_root;
};

// One tarvo process over a home of the test's own.
class Tarvo final {
public:
    explicit Tarvo(const TempDir& home) : m_home(home) {
        m_process.setProcessEnvironment(environment());
        m_process.setProcessChannelMode(QProcess::ForwardedChannels);
    }
    ~Tarvo() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_home.file("data"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.file("config"));
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        return env;
    }

    void start() { m_process.start(program()); }
    // A second start over the same home: its exit code.
    int startAgain() {
        QProcess again;
        again.setProcessEnvironment(environment());
        again.setProcessChannelMode(QProcess::ForwardedChannels);
        again.start(program());
        if (!again.waitForFinished(20000))
            return -1;
        return again.exitStatus() == QProcess::NormalExit ? again.exitCode() : -1;
    }
    qint64 pid() const { return m_process.processId(); }
    // Sends SIGTERM; the exit code, -1 when it did not end normally in time.
    int terminate() {
        ::kill(pid_t(m_process.processId()), SIGTERM);
        if (!waitFor([this] { return m_process.state() == QProcess::NotRunning; }, 20000))
            return -1;
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }
    QString itemsFolder() const { return m_home.file("data/Tarvo/Items"); }

    static QString program() { return QString::fromLocal8Bit(qgetenv("TARVO_PROGRAM")); }

private:
    const TempDir& m_home;
    QProcess m_process;
};

class TarvoProgram : public ::testing::Test {
protected:
    xcb_window_t panel(Tarvo& tarvo) {
        std::optional<xcb_window_t> found;
        waitFor([&] { return (found = m_display.panelOf(tarvo.pid())).has_value(); }, 20000);
        return found.value_or(XCB_NONE);
    }
    bool has(const std::vector<quint32>& atoms, const char* name) {
        return std::find(atoms.begin(), atoms.end(), m_display.atom(name)) != atoms.end();
    }

    TempDir m_home;
    Display m_display;
};

TEST_F(TarvoProgram, StartsHiddenAndASecondStartOpensTheShelf) {
    Tarvo tarvo(m_home);
    tarvo.start();
    const xcb_window_t window = panel(tarvo);
    ASSERT_NE(window, xcb_window_t(XCB_NONE)) << "no panel window";
    pump(500);
    EXPECT_FALSE(m_display.isViewable(window)) << "the hidden shelf is mapped";

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

    // An empty resting shelf takes no clicks; without a compositor only the
    // island's outline shows.
    EXPECT_TRUE(m_display.shape(window, XCB_SHAPE_SK_INPUT).empty());
    const QSize size = m_display.size(window);
    const std::vector<QRect> bounding = m_display.shape(window, XCB_SHAPE_SK_BOUNDING);
    EXPECT_TRUE(Display::covers(bounding, QPoint(size.width() / 2, 20)));
    EXPECT_FALSE(Display::covers(bounding, QPoint(0, size.height() - 1)));
    EXPECT_FALSE(Display::covers(bounding, QPoint(size.width() / 2, size.height() - 1)));

    // With nothing on it the opened shelf goes away by itself.
    EXPECT_TRUE(waitFor([&] { return !m_display.isViewable(window); }, 10000));
    EXPECT_EQ(tarvo.terminate(), 0);
}

TEST_F(TarvoProgram, ADragElsewhereUnfoldsTheShelfTakingDropsOverTheWholePanel) {
    Tarvo tarvo(m_home);
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
    EXPECT_TRUE(Display::covers(input, QPoint(0, 0)));
    EXPECT_TRUE(Display::covers(input, QPoint(size.width() - 1, size.height() - 1)));

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
    Tarvo tarvo(m_home);
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

TEST_F(TarvoProgram, SigtermEndsItCleanlyWithTheStoreSaved) {
    Tarvo tarvo(m_home);
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
    Tarvo next(m_home);
    next.start();
    ASSERT_NE(panel(next), xcb_window_t(XCB_NONE));
    EXPECT_EQ(next.terminate(), 0);
}

} // namespace
} // namespace tarvo::test

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
