// What the X11 backends cost a desktop that is not dragging: raw pointer
// motion reaches this process only during a press of the first button (or
// while someone asked for plain moves), whichever device button the server
// maps to it, and a drag's type list from another client is read capped. An
// event xcb queued while someone waited for a reply still reaches its
// listener once the program goes idle.
#include "TarvoPlatform/x11/X11Connection.h"
#include "TarvoPlatform/x11/X11DragPasteboard.h"
#include "TarvoPlatform/x11/X11EventMonitors.h"
#include "TarvoPlatform/x11/X11Platform.h"
#include "TarvoPlatform/x11/X11Reply.h"

#include "support/X11TestTools.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <cstring>
#include <functional>
#include <memory>
#include <vector>

using namespace tarvo;

namespace {

using tarvo::test::pump;
using tarvo::test::waitFor;
using tarvo::test::XTestHand;

constexpr EventMask kDragMask = eventMask(EventType::leftMouseDown) |
                                eventMask(EventType::leftMouseUp) |
                                eventMask(EventType::leftMouseDragged);

// Runs an event loop that sleeps between events, as a program's main loop
// does, until `done` holds or `ms` pass.
bool idleUntil(const std::function<bool()>& done, int ms) {
    QEventLoop loop;
    QElapsedTimer elapsed;
    elapsed.start();
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        if (done() || elapsed.elapsed() > ms)
            loop.quit();
    });
    tick.start(20);
    loop.exec();
    return done();
}

class X11IdleTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_platform = X11Platform::open();
        ASSERT_TRUE(m_platform) << "no X display";
        ASSERT_TRUE(m_platform->eventMonitors().available()) << "no XInput 2.1";
        ASSERT_TRUE(m_hand.ok());
        m_hand.moveTo({300, 300});
        pump(100);
    }

    X11EventMonitors& monitors() { return m_platform->eventMonitors(); }

    // Moves the pointer about and lets every event of it arrive.
    void wander() {
        m_hand.glideTo({600, 400}, 12);
        m_hand.glideTo({300, 300}, 12);
        m_platform->connection().sync();
        pump(150);
    }

    XTestHand m_hand{XTestHand::Pace{12, 10, 0}};
    std::unique_ptr<X11Platform> m_platform;
};

TEST_F(X11IdleTest, PointerMovesWakeNothingUntilTheFirstButtonIsDown) {
    std::vector<EventType> seen;
    const auto token = monitors().addGlobalMonitor(
        kDragMask, [&](const MouseEvent& e) { seen.push_back(e.type); });
    ASSERT_TRUE(token);
    EXPECT_FALSE(monitors().motionSelected());

    wander();
    EXPECT_EQ(monitors().rawMotionReceived(), 0u);
    EXPECT_TRUE(seen.empty());

    m_hand.press();
    ASSERT_TRUE(waitFor([&] { return monitors().motionSelected(); }));
    wander();
    m_hand.release();
    ASSERT_TRUE(waitFor([&] { return !monitors().motionSelected(); }));
    // Moves the server sent before it took the new selection still arrive.
    m_platform->connection().sync();
    pump(150);
    const quint64 during = monitors().rawMotionReceived();
    EXPECT_GT(during, 0u);
    ASSERT_GE(seen.size(), 3u);
    EXPECT_EQ(seen.front(), EventType::leftMouseDown);
    EXPECT_EQ(seen.back(), EventType::leftMouseUp);
    EXPECT_EQ(seen[1], EventType::leftMouseDragged);

    wander();
    EXPECT_EQ(monitors().rawMotionReceived(), during);
    monitors().removeMonitor(*token);
}

TEST_F(X11IdleTest, AMonitorOfPlainMovesHearsThemWhileItIsInstalled) {
    int moves = 0;
    const auto drag = monitors().addGlobalMonitor(kDragMask, [](const MouseEvent&) {});
    const auto moved = monitors().addGlobalMonitor(eventMask(EventType::mouseMoved),
                                                   [&](const MouseEvent&) { ++moves; });
    ASSERT_TRUE(drag && moved);
    wander();
    EXPECT_GT(moves, 0);

    monitors().removeMonitor(*moved);
    EXPECT_FALSE(monitors().motionSelected());
    m_platform->connection().sync();
    pump(150);
    const quint64 before = monitors().rawMotionReceived();
    wander();
    EXPECT_EQ(monitors().rawMotionReceived(), before);
    monitors().removeMonitor(*drag);
}

// A left-handed set-up swaps the device's first and third buttons: the
// device's third button is then the left mouse button.
TEST_F(X11IdleTest, ButtonsGoThroughTheServersPointerMapping) {
    xcb_connection_t* c = m_platform->connection().get();
    struct Restore {
        xcb_connection_t* c;
        std::vector<quint8> map;
        ~Restore() {
            ownReply(xcb_set_pointer_mapping_reply(
                c, xcb_set_pointer_mapping(c, static_cast<quint8>(map.size()), map.data()),
                nullptr));
        }
    };
    const X11Reply<xcb_get_pointer_mapping_reply_t> mapping(
        xcb_get_pointer_mapping_reply(c, xcb_get_pointer_mapping(c), nullptr));
    ASSERT_TRUE(mapping);
    const quint8* current = xcb_get_pointer_mapping_map(mapping.get());
    std::vector<quint8> map(current, current + xcb_get_pointer_mapping_map_length(mapping.get()));
    ASSERT_GE(map.size(), 3u);
    const Restore restore{c, map};
    std::vector<quint8> swapped = map;
    std::swap(swapped[0], swapped[2]);
    ownReply(xcb_set_pointer_mapping_reply(
        c, xcb_set_pointer_mapping(c, static_cast<quint8>(swapped.size()), swapped.data()),
        nullptr));
    m_platform->connection().scheduleDrain();

    std::vector<EventType> seen;
    const auto token = monitors().addGlobalMonitor(
        kDragMask | eventMask(EventType::rightMouseDown) | eventMask(EventType::rightMouseUp),
        [&](const MouseEvent& e) { seen.push_back(e.type); });
    ASSERT_TRUE(token);
    pump(200); // the mapping notification reaches the monitors

    m_hand.deviceButton(3, true);
    m_hand.deviceButton(3, false);
    m_hand.deviceButton(1, true);
    m_hand.deviceButton(1, false);
    ASSERT_TRUE(waitFor([&] { return seen.size() >= 4; }));
    EXPECT_EQ(seen, (std::vector<EventType>{EventType::leftMouseDown, EventType::leftMouseUp,
                                            EventType::rightMouseDown, EventType::rightMouseUp}));
    monitors().removeMonitor(*token);
}

// Another client owning the drag selection with a type list of 16,384
// distinct atoms: the types are read, capped, and each name is asked for once.
TEST_F(X11IdleTest, AHostileTypeListIsReadCapped) {
    xcb_connection_t* other = xcb_connect(nullptr, nullptr);
    ASSERT_FALSE(xcb_connection_has_error(other));
    const xcb_setup_t* setup = xcb_get_setup(other);
    const xcb_window_t root = xcb_setup_roots_iterator(setup).data->root;

    constexpr int count = 16384;
    std::vector<xcb_intern_atom_cookie_t> cookies;
    cookies.reserve(count + 2);
    for (int i = 0; i < count; ++i) {
        const QByteArray name = "application/x-hostile-" + QByteArray::number(i);
        cookies.push_back(
            xcb_intern_atom(other, 0, static_cast<quint16>(name.size()), name.constData()));
    }
    std::vector<xcb_atom_t> atoms;
    atoms.reserve(count);
    for (const auto cookie : cookies) {
        const X11Reply<xcb_intern_atom_reply_t> reply(
            xcb_intern_atom_reply(other, cookie, nullptr));
        ASSERT_TRUE(reply);
        atoms.push_back(reply->atom);
    }
    X11Connection& connection = m_platform->connection();

    const xcb_window_t window = xcb_generate_id(other);
    xcb_create_window(other, XCB_COPY_FROM_PARENT, window, root, -10, -10, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
    xcb_change_property(other, XCB_PROP_MODE_REPLACE, window, connection.atom("XdndTypeList"),
                        XCB_ATOM_ATOM, 32, count, atoms.data());
    X11DragPasteboard& pasteboard = m_platform->dragPasteboard();
    const qint64 before = pasteboard.changeCount();
    xcb_set_selection_owner(other, window, connection.atom("XdndSelection"), XCB_CURRENT_TIME);
    xcb_flush(other);

    EXPECT_TRUE(waitFor([&] { return pasteboard.changeCount() != before; }));
    ASSERT_EQ(pasteboard.targetNames().size(), X11DragPasteboard::maxTypes);
    EXPECT_EQ(pasteboard.targetNames().front(), "application/x-hostile-0");
    EXPECT_EQ(pasteboard.targetNames().back(), "application/x-hostile-99");

    xcb_destroy_window(other, window);
    xcb_disconnect(other);
}

TEST_F(X11IdleTest, AnEventQueuedDuringAnotherRoundTripReachesItsListenerWhenIdle) {
    X11Connection& connection = m_platform->connection();
    xcb_connection_t* c = connection.get();
    const xcb_atom_t knock = connection.atom("TARVO_TEST_KNOCK");
    // Let the event loop settle first, so nothing else is on its way.
    pump(200);
    int heard = 0;
    const int listener = connection.addListener([&](const xcb_generic_event_t& event) {
        const auto& message = reinterpret_cast<const xcb_client_message_event_t&>(event);
        if ((event.response_type & 0x7f) != XCB_CLIENT_MESSAGE || message.type != knock)
            return false;
        ++heard;
        return true;
    });
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = connection.helperWindow();
    message.type = knock;
    xcb_send_event(c, 0, message.window, XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char*>(&message));
    // A round trip made by code that does not drain: xcb reads the event into
    // its queue, and the socket has nothing more to say.
    ownReply(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    EXPECT_TRUE(idleUntil([&] { return heard == 1; }, 5000)) << "the event stayed in xcb's queue";
    connection.removeListener(listener);
}

} // namespace
