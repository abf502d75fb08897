// Requests to the window manager on a display where the test itself is the
// manager: it hears every request and sees who writes the state property.
// The panel's window states, and the activation of another application.
#include "TarvoPlatform/ApplicationDirectory.h"
#include "TarvoPlatform/x11/X11AppLauncher.h"
#include "TarvoPlatform/x11/X11Connection.h"
#include "TarvoPlatform/x11/X11EventMonitors.h"
#include "TarvoPlatform/x11/X11PanelWindowSystem.h"
#include "TarvoPlatform/x11/X11Properties.h"
#include "TarvoPlatform/x11/X11Reply.h"
#include "TarvoPlatform/x11/X11Workspace.h"

#include "support/TempDir.h"
#include "support/X11TestTools.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <xcb/xcb.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace tarvo::test {
namespace {

class PanelStatesX11 : public ::testing::Test {
protected:
    PanelStatesX11() : m_system(X11Connection::open()), m_wm(X11Connection::open()) {}

    void SetUp() override {
        ASSERT_TRUE(m_system && m_wm);
        // Only one client may redirect the root's children: no other manager
        // runs on this display.
        const quint32 redirect = XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT;
        xcb_generic_error_t* error = xcb_request_check(
            m_wm->get(), xcb_change_window_attributes_checked(m_wm->get(), m_wm->root(),
                                                              XCB_CW_EVENT_MASK, &redirect));
        ASSERT_EQ(error, nullptr) << "another window manager runs";
        m_wm->addListener([this](const xcb_generic_event_t& event) {
            const quint8 type = event.response_type & 0x7f;
            if (type == XCB_MAP_REQUEST) {
                const auto& request = reinterpret_cast<const xcb_map_request_event_t&>(event);
                xcb_map_window(m_wm->get(), request.window);
                m_wm->flush();
            } else if (type == XCB_CLIENT_MESSAGE) {
                m_messages.push_back(reinterpret_cast<const xcb_client_message_event_t&>(event));
            }
            return false;
        });
        m_panels = std::make_unique<X11PanelWindowSystem>(*m_system);
        m_window = xcb_generate_id(m_system->get());
        xcb_create_window(m_system->get(), XCB_COPY_FROM_PARENT, m_window, m_system->root(), 0, 0,
                          200, 40, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0,
                          nullptr);
        m_system->sync();
    }

    std::vector<quint32> states() {
        xcb_connection_t* c = m_wm->get();
        return X11Properties::cardinals(
            X11Properties::take(c, X11Properties::request(c, m_window, m_wm->atom("_NET_WM_STATE"),
                                                          XCB_ATOM_ATOM, 64)));
    }
    bool has(const std::vector<quint32>& list, const char* name) {
        return std::find(list.begin(), list.end(), m_wm->atom(name)) != list.end();
    }

    std::unique_ptr<X11Connection> m_system;
    std::unique_ptr<X11Connection> m_wm;
    std::unique_ptr<X11PanelWindowSystem> m_panels;
    xcb_window_t m_window = XCB_NONE;
    std::vector<xcb_client_message_event_t> m_messages;
};

TEST_F(PanelStatesX11, BeforeMappingTheStatesAreWrittenAndOnceMappedOnlyAskedFor) {
    m_panels->setPanelStates(m_window);
    m_system->sync();
    const std::vector<quint32> initial = states();
    for (const char* state : {"_NET_WM_STATE_STICKY", "_NET_WM_STATE_ABOVE",
                              "_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER"})
        EXPECT_TRUE(has(initial, state)) << state;

    xcb_map_window(m_system->get(), m_window);
    m_system->flush();
    ASSERT_TRUE(waitFor([&] {
        xcb_connection_t* c = m_system->get();
        const X11Reply<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, m_window), nullptr));
        return attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
    }));
    // The manager keeps the property from now on, and has dropped one state.
    const xcb_atom_t above = m_wm->atom("_NET_WM_STATE_ABOVE");
    std::vector<quint32> managed = initial;
    std::erase(managed, above);
    managed.push_back(m_wm->atom("_NET_WM_STATE_MAXIMIZED_HORZ"));
    xcb_change_property(m_wm->get(), XCB_PROP_MODE_REPLACE, m_window, m_wm->atom("_NET_WM_STATE"),
                        XCB_ATOM_ATOM, 32, quint32(managed.size()), managed.data());
    m_wm->sync();
    m_messages.clear();

    m_panels->setPanelStates(m_window);
    m_system->sync();
    ASSERT_TRUE(waitFor([&] { return m_messages.size() >= 3; }, 8000));
    // Asked of the manager...
    const xcb_atom_t stateType = m_wm->atom("_NET_WM_STATE");
    const auto asked = std::count_if(m_messages.begin(), m_messages.end(), [&](const auto& m) {
        return m.window == m_window && m.type == stateType && m.data.data32[0] == 1;
    });
    EXPECT_EQ(asked, 2);
    EXPECT_TRUE(std::any_of(m_messages.begin(), m_messages.end(), [&](const auto& m) {
        return m.type == m_wm->atom("_NET_WM_DESKTOP") && m.data.data32[0] == 0xFFFFFFFF;
    }));
    // ...and the property is the manager's own, unchanged.
    EXPECT_EQ(states(), managed);
}

TEST_F(PanelStatesX11, AnotherApplicationIsActivatedAtTheTimeOfTheLatestInputWithoutWaiting) {
    TempDir dir;
    QFile desktop(dir.file("applications/org.example.Notes.desktop"));
    QDir().mkpath(dir.file("applications"));
    ASSERT_TRUE(desktop.open(QIODevice::WriteOnly));
    desktop.write("[Desktop Entry]\nType=Application\nName=Notes\nExec=true\n"
                  "StartupWMClass=Notes\n");
    desktop.close();
    ApplicationDirectory applications({dir.file("applications")});
    ASSERT_TRUE(applications.refreshAndWait());
    X11Workspace workspace(*m_system, applications);
    X11AppLauncher launcher(*m_system, workspace, applications);

    // The notes window, in the manager's client list.
    const char wmClass[] = "notes\0Notes";
    xcb_change_property(m_system->get(), XCB_PROP_MODE_REPLACE, m_window, XCB_ATOM_WM_CLASS,
                        XCB_ATOM_STRING, 8, sizeof(wmClass), wmClass);
    xcb_change_property(m_wm->get(), XCB_PROP_MODE_REPLACE, m_wm->root(),
                        m_wm->atom("_NET_CLIENT_LIST_STACKING"), XCB_ATOM_WINDOW, 32, 1, &m_window);
    m_system->sync();
    m_wm->sync();

    // The user's input reaches the shelf's connection, as in the program.
    X11EventMonitors monitors(*m_system);
    ASSERT_TRUE(
        monitors.addGlobalMonitor(eventMask(EventType::mouseMoved), [](const MouseEvent&) {}));
    XTestHand hand;
    ASSERT_TRUE(hand.ok());
    hand.moveTo({300, 300});
    hand.glideTo({340, 320});
    ASSERT_TRUE(waitFor([&] { return m_system->lastInputTime() != 0; }, 8000));
    pump(200);
    const xcb_timestamp_t input = m_system->lastInputTime();

    m_messages.clear();
    QElapsedTimer took;
    took.start();
    ASSERT_TRUE(launcher.activate(QStringLiteral("org.example.Notes")));
    EXPECT_LT(took.elapsed(), 1000);
    const xcb_atom_t active = m_wm->atom("_NET_ACTIVE_WINDOW");
    ASSERT_TRUE(waitFor(
        [&] {
            return std::any_of(m_messages.begin(), m_messages.end(),
                               [&](const auto& m) { return m.type == active; });
        },
        8000));
    const auto asked = std::find_if(m_messages.begin(), m_messages.end(),
                                    [&](const auto& m) { return m.type == active; });
    EXPECT_EQ(asked->window, m_window);
    EXPECT_EQ(asked->data.data32[0], 2u);
    EXPECT_EQ(asked->data.data32[1], input);
}

} // namespace
} // namespace tarvo::test
