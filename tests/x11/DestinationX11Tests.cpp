// The destination resolver on a real X server: the window list, the
// applications behind windows, and accessibility answers from stand-in
// applications (tarvo-test-app-window), with and without a window manager.
#include "TarvoDrag/DestinationResolver.h"
#include "TarvoPlatform/ApplicationDirectory.h"
#include "TarvoPlatform/memory/MemoryAccessibility.h"
#include "TarvoPlatform/x11/AtSpiAccessibility.h"
#include "TarvoPlatform/x11/X11Connection.h"
#include "TarvoPlatform/x11/X11WindowList.h"
#include "TarvoPlatform/x11/X11Workspace.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QProcess>
#include <QRasterWindow>
#include <QTimer>

#include <memory>
#include <vector>

using namespace tarvo;

namespace {

const Date now = Date::fromSecondsSince1970(1700000000);
const QString alphaID = QStringLiteral("org.example.Alpha");
const QString betaID = QStringLiteral("beta");

// Centres of the stand-ins' windows and a place where only the desktop is.
const Point insideAlpha{260, 210};
const Point insideBeta{840, 210};
const Point overDesktop{640, 650};

void wait(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

class StandIns {
public:
    StandIns() {
        m_dir.write("applications/org.example.Alpha.desktop",
                    "[Desktop Entry]\nType=Application\nName=Alpha\nStartupWMClass=AlphaApp\n");
        m_dir.write("applications/beta.desktop", "[Desktop Entry]\nType=Application\nName=Beta\n");
        // The desktop is an application too, yet never a destination.
        m_dir.write("applications/org.example.Desktop.desktop",
                    "[Desktop Entry]\nType=Application\nName=Desktop\nStartupWMClass=Desktop\n");
        m_dir.write("applications/gamma.desktop",
                    "[Desktop Entry]\nType=Application\nName=Gamma\n");
        start({"--class", "Desktop", "--geometry", "0,0,1280,800", "--desktop"});
        start({"--class", "AlphaApp", "--geometry", "60,60,400,300", "--a11y", "text",
               "--serve-bus"});
        start({"--class", "Beta", "--geometry", "640,60,400,300", "--a11y", "slow"});
    }
    ~StandIns() {
        for (auto& process : m_processes) {
            process->kill();
            process->waitForFinished(5000);
        }
    }

    QString applicationsFolder() const { return m_dir.file("applications"); }
    qint32 pid(int index) const { return static_cast<qint32>(m_processes[index]->processId()); }
    bool started() const { return m_started; }

    void start(const QStringList& arguments) {
        auto process = std::make_unique<QProcess>();
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->start(qEnvironmentVariable("TARVO_APP_WINDOW"), arguments);
        bool ready = process->waitForStarted(10000);
        while (ready && !process->canReadLine())
            ready = process->waitForReadyRead(10000);
        m_started = m_started && ready && process->readLine().trimmed() == "ready";
        m_processes.push_back(std::move(process));
    }

private:
    test::TempDir m_dir;
    std::vector<std::unique_ptr<QProcess>> m_processes;
    bool m_started = true;
};

class Destinations : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_standIns = new StandIns; }
    static void TearDownTestSuite() {
        delete s_standIns;
        s_standIns = nullptr;
    }

    void SetUp() override {
        ASSERT_TRUE(s_standIns->started());
        m_connection = X11Connection::open();
        ASSERT_TRUE(m_connection);
        m_applications =
            std::make_unique<ApplicationDirectory>(QStringList{s_standIns->applicationsFolder()});
        ASSERT_TRUE(m_applications->refreshAndWait());
        m_lister = std::make_unique<X11WindowList>(*m_connection);
        m_workspace = std::make_unique<X11Workspace>(*m_connection, *m_applications);
        // The window manager maps and frames the stand-ins in its own time,
        // which a loaded machine makes long.
        QDeadlineTimer deadline(30000);
        while (!deadline.hasExpired() && !(lists(s_standIns->pid(1)) && lists(s_standIns->pid(2))))
            wait(50);
        ASSERT_TRUE(lists(s_standIns->pid(1)) && lists(s_standIns->pid(2)))
            << "the stand-ins' windows are not listed";
    }

    bool lists(qint32 pid) {
        for (const WindowInfo& window : m_lister->windowsOnScreen())
            if (window.ownerPID == pid)
                return true;
        return false;
    }

    // Whether the accessibility bus says it is enabled, asked until it answers.
    static bool trusted(AtSpiAccessibility& accessibility) {
        QDeadlineTimer deadline(20000);
        while (!accessibility.isTrusted()) {
            if (deadline.hasExpired())
                return false;
            wait(20);
        }
        return true;
    }

    bool listedAt(qint32 pid, const Rect& bounds) {
        for (const WindowInfo& window : m_lister->windowsOnScreen())
            if (window.ownerPID == pid && window.bounds == bounds)
                return true;
        return false;
    }

    bool windowManagerRuns() {
        return m_connection
            ->readProperty(m_connection->root(), m_connection->atom("_NET_SUPPORTING_WM_CHECK"))
            .has_value();
    }

    DestinationResolver resolver(Accessibility& accessibility) {
        return DestinationResolver(*m_lister, AppCategoryMap{}, DestinationResolver::throttle,
                                   *m_workspace, accessibility);
    }

    void namesEachApplicationAndNothingOverTheDesktop() {
        MemoryAccessibility none;
        DestinationResolver r = resolver(none);
        EXPECT_EQ(r.resolve(insideAlpha, now).bundleID, alphaID);
        EXPECT_EQ(r.resolve(insideBeta, now.addingSeconds(1)).bundleID, betaID);
        EXPECT_EQ(r.resolve(overDesktop, now.addingSeconds(2)), ResolvedDestination::unknown());

        const std::vector<WindowInfo> windows = m_lister->windowsOnScreen();
        for (const WindowInfo& window : windows)
            EXPECT_NE(window.ownerPID, s_standIns->pid(0)) << "the desktop window is listed";
        // The same windows again, nothing changed meanwhile: nothing asked. On a loaded machine
        // the window manager may still be settling the stand-ins' frames, so list again until the
        // screen is quiet; a listing that always asks never gets there.
        QDeadlineTimer quiet(20000);
        do {
            wait(100);
            m_lister->windowsOnScreen();
        } while (m_lister->lastRoundTrips() != 0 && !quiet.hasExpired());
        EXPECT_EQ(m_lister->lastRoundTrips(), 0);
    }

    static StandIns* s_standIns;
    std::unique_ptr<X11Connection> m_connection;
    std::unique_ptr<ApplicationDirectory> m_applications;
    std::unique_ptr<X11WindowList> m_lister;
    std::unique_ptr<X11Workspace> m_workspace;
};

StandIns* Destinations::s_standIns = nullptr;

class DestinationsWithoutWindowManager : public Destinations {};
class DestinationsWithWindowManager : public Destinations {};

TEST_F(DestinationsWithoutWindowManager, NamesEachApplicationAndNothingOverTheDesktop) {
    if (windowManagerRuns())
        GTEST_SKIP() << "a window manager runs";
    namesEachApplicationAndNothingOverTheDesktop();
}

TEST_F(DestinationsWithWindowManager, NamesEachApplicationAndNothingOverTheDesktop) {
    if (!windowManagerRuns())
        GTEST_SKIP() << "no window manager";
    namesEachApplicationAndNothingOverTheDesktop();
}

// Asks the window manager to change a window, as a pager would.
void sendToWindowManager(X11Connection& connection, xcb_window_t window, const char* message,
                         quint32 value) {
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = connection.atom(message);
    event.data.data32[0] = value;
    event.data.data32[1] = 2; // from a pager
    xcb_send_event(connection.get(), 0, connection.root(),
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
    connection.flush();
}

TEST_F(DestinationsWithWindowManager, SkipsHiddenWindowsAndWindowsOfOtherWorkspaces) {
    if (!windowManagerRuns())
        GTEST_SKIP() << "no window manager";
    s_standIns->start({"--class", "Gamma", "--geometry", "60,420,250,150"});
    ASSERT_TRUE(s_standIns->started());
    const qint32 gamma = s_standIns->pid(3);
    const Point insideGamma{185, 495};
    std::optional<WindowInfo> listed;
    QDeadlineTimer deadline(10000);
    while (!listed && !deadline.hasExpired()) {
        for (const WindowInfo& window : m_lister->windowsOnScreen())
            if (window.ownerPID == gamma)
                listed = window;
        if (!listed)
            wait(50);
    }
    ASSERT_TRUE(listed);
    MemoryAccessibility none;
    DestinationResolver r = resolver(none);
    ASSERT_EQ(r.resolve(insideGamma, now).bundleID, QStringLiteral("gamma"));

    struct Case {
        const char* name;
        const char* message;
        quint32 value;
        const char* undo;
        quint32 undoValue;
    };
    const Case cases[] = {
        // WM_CHANGE_STATE to IconicState minimises; activating brings it back.
        {"minimised", "WM_CHANGE_STATE", 3, "_NET_ACTIVE_WINDOW", 0},
        {"on another workspace", "_NET_WM_DESKTOP", 1, "_NET_WM_DESKTOP", 0},
    };
    const auto xid = static_cast<xcb_window_t>(listed->windowID);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sendToWindowManager(*m_connection, xid, c.message, c.value);
        QDeadlineTimer gone(5000);
        while (lists(gamma) && !gone.hasExpired())
            wait(20);
        r.invalidate();
        EXPECT_EQ(r.resolve(insideGamma, now), ResolvedDestination::unknown());

        sendToWindowManager(*m_connection, xid, c.undo, c.undoValue);
        // Back where it was: the window manager may show a restored window
        // small first and grow it to its place.
        QDeadlineTimer back(10000);
        while (!listedAt(gamma, listed->bounds) && !back.hasExpired())
            wait(20);
        r.invalidate();
        EXPECT_EQ(r.resolve(insideGamma, now).bundleID, QStringLiteral("gamma"));
    }
}

// What the lister keeps of a window follows the window: a move shows at the
// next listing. Once nothing asks for a while, the windows are no longer
// watched, and the next listing asks afresh.
TEST_F(DestinationsWithWindowManager, FollowsWindowsThatMoveAndStopsWatchingWhenIdle) {
    if (!windowManagerRuns())
        GTEST_SKIP() << "no window manager";
    const auto alpha = [this]() -> std::optional<WindowInfo> {
        for (const WindowInfo& window : m_lister->windowsOnScreen())
            if (window.ownerPID == s_standIns->pid(1))
                return window;
        return std::nullopt;
    };
    const std::optional<WindowInfo> before = alpha();
    ASSERT_TRUE(before);
    EXPECT_TRUE(m_lister->watching());

    const quint32 position[] = {static_cast<quint32>(before->bounds.x + 37),
                                static_cast<quint32>(before->bounds.y + 23)};
    xcb_configure_window(m_connection->get(), static_cast<xcb_window_t>(before->windowID),
                         XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, position);
    m_connection->flush();
    std::optional<WindowInfo> after;
    QDeadlineTimer deadline(5000);
    while (!deadline.hasExpired() && (!(after = alpha()) || after->bounds == before->bounds))
        wait(20);
    ASSERT_TRUE(after);
    EXPECT_NE(after->bounds, before->bounds);
    EXPECT_EQ(m_lister->lastRoundTrips(), 1);

    QDeadlineTimer idle(X11WindowList::watchMilliseconds + 5000);
    while (m_lister->watching() && !idle.hasExpired())
        wait(100);
    EXPECT_FALSE(m_lister->watching());
    const std::optional<WindowInfo> again = alpha();
    ASSERT_TRUE(again);
    EXPECT_EQ(again->bounds, after->bounds);
    EXPECT_EQ(m_lister->lastRoundTrips(), 1) << "asked afresh";
    EXPECT_TRUE(m_lister->watching());
}

TEST_F(DestinationsWithWindowManager, LooksThroughThisProcesssOwnWindows) {
    if (!windowManagerRuns())
        GTEST_SKIP() << "no window manager";
    QRasterWindow shelf;
    shelf.setFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    shelf.setGeometry(int(insideAlpha.x) - 50, int(insideAlpha.y) - 50, 100, 100);
    shelf.show();
    QDeadlineTimer deadline(5000);
    while (!deadline.hasExpired() && !shelf.isExposed())
        wait(20);
    wait(100);

    MemoryAccessibility none;
    DestinationResolver r = resolver(none);
    EXPECT_EQ(r.resolve(insideAlpha, now).bundleID, alphaID);
}

TEST_F(DestinationsWithWindowManager, AsksTheApplicationUnderThePointerAboutItsElement) {
    if (!windowManagerRuns())
        GTEST_SKIP() << "no window manager";
    // A cold first query opens the accessibility bus: give it time here.
    AtSpiAccessibility::Timing patient;
    patient.answerWait = std::chrono::milliseconds(3000);
    patient.queryDeadline = std::chrono::milliseconds(3000);
    // Trust asked afresh each time: each question about the element then
    // comes right after another query's answer.
    patient.trustLifetime = std::chrono::milliseconds(0);
    AtSpiAccessibility accessibility(patient);
    ASSERT_TRUE(trusted(accessibility));
    DestinationResolver r = resolver(accessibility);
    r.editorPaneDetectionEnabled = true;
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        r.invalidate();
        const ResolvedDestination over = r.resolve(insideAlpha, now.addingSeconds(round));
        EXPECT_EQ(over.bundleID, alphaID);
        ASSERT_EQ(over.isEditorPane, true);
    }
}

// Many windows named at once come out as each named alone, in order, among
// them windows that state an installed id, one that states an id nobody
// installed, one named only by its class, one named by nothing and one gone.
TEST_F(DestinationsWithWindowManager, ManyWindowsAreNamedAtOnceAsEachAlone) {
    if (!windowManagerRuns())
        GTEST_SKIP() << "no window manager";
    xcb_connection_t* c = m_connection->get();
    struct Case {
        const char* gtkID;
        const char* desktopFile;
        QByteArray wmClass; // instance NUL class NUL
        std::optional<QString> expected;
    };
    const std::vector<Case> cases{
        {"beta", nullptr, {}, betaID},
        {nullptr, "gamma.desktop", {}, QStringLiteral("gamma")},
        {"org.example.NotInstalled", nullptr, {}, QStringLiteral("org.example.NotInstalled")},
        {nullptr, nullptr, QByteArray("alpha\0AlphaApp\0", 15), alphaID},
        {"org.example.NotInstalled", nullptr, QByteArray("alpha\0AlphaApp\0", 15), alphaID},
        {nullptr, nullptr, {}, std::nullopt},
    };
    std::vector<WindowInfo> windows;
    std::vector<std::optional<QString>> expected;
    std::vector<xcb_window_t> made;
    const xcb_atom_t utf8 = m_connection->atom("UTF8_STRING");
    for (int round = 0; round < 20; ++round) {
        for (const Case& one : cases) {
            const xcb_window_t window = m_connection->makeInputOnlyWindow();
            made.push_back(window);
            const auto set = [&](xcb_atom_t property, xcb_atom_t type, const QByteArray& value) {
                xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, property, type, 8,
                                    quint32(value.size()), value.constData());
            };
            if (one.gtkID)
                set(m_connection->atom("_GTK_APPLICATION_ID"), utf8, one.gtkID);
            if (one.desktopFile)
                set(m_connection->atom("_KDE_NET_WM_DESKTOP_FILE"), utf8, one.desktopFile);
            if (!one.wmClass.isEmpty())
                set(XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, one.wmClass);
            WindowInfo info;
            info.windowID = window;
            windows.push_back(info);
            expected.push_back(one.expected);
        }
    }
    // A window that is gone names nothing, and the windows after it still
    // get their names.
    const xcb_window_t gone = m_connection->makeInputOnlyWindow();
    xcb_destroy_window(c, gone);
    WindowInfo goneInfo;
    goneInfo.windowID = gone;
    windows.insert(windows.begin() + 3, goneInfo);
    expected.insert(expected.begin() + 3, std::nullopt);
    m_connection->sync();

    const std::vector<std::optional<QString>> together = m_workspace->applicationIDs(windows);
    ASSERT_EQ(together.size(), windows.size());
    for (std::size_t i = 0; i < windows.size(); ++i) {
        EXPECT_EQ(together[i], expected[i]) << "window " << i;
        EXPECT_EQ(together[i], m_workspace->applicationID(windows[i])) << "window " << i;
    }
    EXPECT_TRUE(m_workspace->applicationIDs({}).empty());
    for (const xcb_window_t window : made)
        xcb_destroy_window(c, window);
    m_connection->flush();
}

TEST_F(DestinationsWithWindowManager, AHungApplicationCannotStallResolution) {
    if (!windowManagerRuns())
        GTEST_SKIP() << "no window manager";
    struct Case {
        const char* name;
        std::chrono::milliseconds queryDeadline;
        std::chrono::milliseconds answerWait;
    };
    // The stand-in under the pointer takes 5 seconds to answer. Either bound
    // alone must end the wait long before that.
    const Case cases[] = {
        {"the query's own deadline", std::chrono::milliseconds(100),
         std::chrono::milliseconds(3000)},
        {"the caller's wait", std::chrono::milliseconds(1500), std::chrono::milliseconds(40)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AtSpiAccessibility::Timing timing;
        timing.queryDeadline = c.queryDeadline;
        timing.answerWait = c.answerWait;
        AtSpiAccessibility accessibility(timing);
        DestinationResolver r = resolver(accessibility);
        r.editorPaneDetectionEnabled = true;
        // Trust is asked of the bus, which a busy machine may answer late.
        ASSERT_TRUE(trusted(accessibility));

        QElapsedTimer elapsed;
        elapsed.start();
        const ResolvedDestination over = r.resolve(insideBeta, now);
        EXPECT_LT(elapsed.elapsed(), 2000);
        EXPECT_EQ(over.bundleID, betaID);
        EXPECT_EQ(over.isEditorPane, std::nullopt);
        // And so does the next fresh resolution.
        r.invalidate();
        EXPECT_EQ(r.resolve(insideBeta, now).isEditorPane, std::nullopt);
    }
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
