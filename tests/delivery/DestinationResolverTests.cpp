#include "TarvoDrag/DestinationResolver.h"
#include "TarvoPlatform/memory/MemoryAccessibility.h"
#include "TarvoPlatform/memory/MemoryWindowList.h"
#include "TarvoPlatform/memory/MemoryWorkspace.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace tarvo;

namespace {

constexpr qint32 editorPID = 200;
constexpr qint32 browserPID = 300;
const QString editorID = QStringLiteral("org.gnome.TextEditor");
const QString browserID = QStringLiteral("firefox");
// Near zero, so that 0.05 seconds later is exactly 0.05 seconds later.
const Date start = Date::fromSecondsSince1970(0);

WindowInfo window(qint32 pid, Rect bounds, qint64 layer = 0, quint64 windowID = 0) {
    return WindowInfo{pid, bounds, layer, windowID};
}

ResolvedDestination destination(const QString& id, AppCategory category,
                                std::optional<bool> pane = std::nullopt) {
    return ResolvedDestination{id, category, pane};
}

class ResolverTest : public ::testing::Test {
protected:
    ResolverTest()
        : resolver(windows, AppCategoryMap{}, DestinationResolver::throttle, workspace,
                   accessibility) {
        workspace.addProcess(editorPID, editorID);
        workspace.addProcess(browserPID, browserID);
        // The editor in front, the browser behind it and to the right.
        windows.setWindows(
            {window(editorPID, {0, 0, 100, 100}), window(browserPID, {50, 0, 200, 100})});
    }

    qint32 ownPID() const { return static_cast<qint32>(::getpid()); }

    MemoryWindowList windows;
    MemoryWorkspace workspace;
    MemoryAccessibility accessibility;
    DestinationResolver resolver;
};

TEST_F(ResolverTest, AnswersForTheFrontmostWindowUnderThePoint) {
    EXPECT_EQ(resolver.resolve({10, 10}, start),
              destination(editorID, AppCategory::terminalOrEditor));
    EXPECT_EQ(resolver.resolve({150, 10}, start.addingSeconds(1)),
              destination(browserID, AppCategory::browser));
}

TEST_F(ResolverTest, ReusesItsAnswerOnlyWithinTheIntervalAndDistance) {
    struct Case {
        const char* name;
        double later;
        double dx;
        double dy;
        bool listsAgain;
    };
    const Case cases[] = {
        {"0.01 s and 4 points on both axes", 0.01, 4.0, 4.0, false},
        {"4 points back on both axes", 0.01, -4.0, -4.0, false},
        {"just inside the interval", 0.0499, 0, 0, false},
        {"a clock that went backwards", -5.0, 1, 1, false},
        {"4.5 points on x", 0.01, 4.5, 0, true},
        {"4.5 points on y", 0.01, 0, -4.5, true},
        {"exactly the interval", 0.05, 0, 0, true},
        {"past the interval", 0.2, 0, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        resolver.invalidate();
        resolver.resolve({40, 40}, start);
        const int before = windows.listings();
        resolver.resolve({40 + c.dx, 40 + c.dy}, start.addingSeconds(c.later));
        EXPECT_EQ(windows.listings() - before, c.listsAgain ? 1 : 0);
    }
}

TEST_F(ResolverTest, ACachedAnswerOutlivesAMoveOntoAnotherWindowWithinTheDistance) {
    // Edge of the editor: the browser starts at x = 100 in front of nothing.
    windows.setWindows(
        {window(editorPID, {0, 0, 100, 100}), window(browserPID, {100, 0, 100, 100})});
    EXPECT_EQ(resolver.resolve({98, 10}, start).bundleID, editorID);
    EXPECT_EQ(resolver.resolve({101, 10}, start.addingSeconds(0.01)).bundleID, editorID);
    EXPECT_EQ(resolver.resolve({101, 10}, start.addingSeconds(0.06)).bundleID, browserID);
}

TEST_F(ResolverTest, InvalidateForgetsTheAnswer) {
    resolver.resolve({10, 10}, start);
    resolver.invalidate();
    windows.setWindows({});
    // Nothing listed and nothing frontmost: the old answer must not come back.
    EXPECT_EQ(resolver.resolve({10, 10}, start), ResolvedDestination::unknown());
    EXPECT_EQ(windows.listings(), 2);
}

TEST_F(ResolverTest, WithNoWindowsTheFrontmostApplicationDecides) {
    struct Case {
        const char* name;
        std::optional<Workspace::Application> frontmost;
        ResolvedDestination expected;
    };
    const Case cases[] = {
        {"no frontmost application", std::nullopt, ResolvedDestination::unknown()},
        {"this process in front", Workspace::Application{ownPID(), QStringLiteral("tarvo")},
         ResolvedDestination::unknown()},
        {"an application without an id", Workspace::Application{browserPID, std::nullopt},
         ResolvedDestination::unknown()},
        {"another application", Workspace::Application{browserPID, browserID},
         destination(browserID, AppCategory::browser)},
    };
    windows.setWindows({});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        resolver.invalidate();
        workspace.setFrontmost(c.frontmost);
        EXPECT_EQ(resolver.resolve({10, 10}, start), c.expected);
    }
}

TEST_F(ResolverTest, NoWindowUnderThePointIsUnknownWhateverIsFrontmost) {
    workspace.setFrontmost(Workspace::Application{browserPID, browserID});
    EXPECT_EQ(resolver.resolve({500, 500}, start), ResolvedDestination::unknown());
}

TEST_F(ResolverTest, SkipsOwnWindowsAndWindowsAboveTheNormalLayer) {
    struct Case {
        const char* name;
        WindowInfo front;
    };
    const Case cases[] = {
        {"the shelf itself", window(ownPID(), {0, 0, 300, 300})},
        {"a dock", window(browserPID, {0, 0, 300, 300}, WindowLayer::dock)},
        {"a menu", window(browserPID, {0, 0, 300, 300}, WindowLayer::menu)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        resolver.invalidate();
        windows.setWindows({c.front, window(editorPID, {0, 0, 100, 100})});
        EXPECT_EQ(resolver.resolve({10, 10}, start).bundleID, editorID);
    }
}

TEST_F(ResolverTest, MinimumEdgesAreInsideAndMaximumEdgesOutside) {
    struct Case {
        const char* name;
        Point point;
        std::optional<QString> expected;
    };
    windows.setWindows({window(editorPID, {10, 20, 100, 50})});
    const Case cases[] = {
        {"left edge", {10, 40}, editorID},
        {"top edge", {50, 20}, editorID},
        {"top-left corner", {10, 20}, editorID},
        {"right edge", {110, 40}, std::nullopt},
        {"bottom edge", {50, 70}, std::nullopt},
        {"just inside the bottom-right corner", {109.99, 69.99}, editorID},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        resolver.invalidate();
        EXPECT_EQ(resolver.resolve(c.point, start).bundleID, c.expected);
    }
}

TEST_F(ResolverTest, AProcessWithoutAnIdIsUnknownAndAskedAboutOnce) {
    workspace.addProcess(400, std::nullopt);
    windows.setWindows({window(400, {0, 0, 100, 100}), window(editorPID, {0, 0, 100, 100})});
    EXPECT_EQ(resolver.resolve({10, 10}, start), ResolvedDestination::unknown());
    resolver.invalidate();
    EXPECT_EQ(resolver.resolve({10, 10}, start), ResolvedDestination::unknown());
    EXPECT_EQ(workspace.lookups(), 1);
}

TEST_F(ResolverTest, AnApplicationIdHoldsOnlyWhileItsProcessRuns) {
    resolver.resolve({10, 10}, start);
    resolver.invalidate();
    resolver.resolve({10, 10}, start);
    EXPECT_EQ(workspace.lookups(), 1);

    // The editor quits and a terminal is given the same process number.
    workspace.endProcess(editorPID);
    workspace.addProcess(editorPID, QStringLiteral("org.gnome.Terminal"), 2);
    resolver.invalidate();
    EXPECT_EQ(resolver.resolve({10, 10}, start),
              destination(QStringLiteral("org.gnome.Terminal"), AppCategory::terminalOrEditor));
    EXPECT_EQ(workspace.lookups(), 2);
}

TEST_F(ResolverTest, AWindowWithoutAProcessStillHidesTheWindowsBehindIt) {
    // In front of the editor: one window that can be named by its own
    // properties, and at another place one that cannot be named at all.
    workspace.setWindowApplication(7, QStringLiteral("xterm"));
    windows.setWindows({window(0, {0, 0, 50, 100}, 0, 7), window(0, {50, 0, 50, 100}, 0, 8),
                        window(editorPID, {0, 0, 100, 100})});
    EXPECT_EQ(resolver.resolve({10, 10}, start),
              destination(QStringLiteral("xterm"), AppCategory::terminalOrEditor));
    resolver.invalidate();
    EXPECT_EQ(resolver.resolve({60, 10}, start), ResolvedDestination::unknown());
}

TEST_F(ResolverTest, TheCategoryComesFromTheMapInForceAtTheFreshResolution) {
    AppCategoryMap custom;
    custom.setCategory(AppCategory::design, editorID);
    resolver.resolve({10, 10}, start);
    resolver.categories = custom;
    // A cached answer is not touched by the change...
    EXPECT_EQ(resolver.resolve({10, 10}, start.addingSeconds(0.01)).category,
              AppCategory::terminalOrEditor);
    // ...the next fresh one sees it.
    EXPECT_EQ(resolver.resolve({10, 10}, start.addingSeconds(1)).category, AppCategory::design);
}

TEST_F(ResolverTest, TheEditingPaneAnswerFollowsTheRoleUnderThePointer) {
    struct Case {
        const char* name;
        bool enabled;
        bool trusted;
        std::optional<QString> role;
        std::optional<bool> expected;
    };
    const Case cases[] = {
        {"detection off", false, true, QStringLiteral("AXTextArea"), std::nullopt},
        {"not trusted", true, false, QStringLiteral("AXTextArea"), std::nullopt},
        {"text area", true, true, QStringLiteral("AXTextArea"), true},
        {"text field", true, true, QStringLiteral("AXTextField"), true},
        {"outline", true, true, QStringLiteral("AXOutline"), false},
        {"table", true, true, QStringLiteral("AXTable"), false},
        {"browser", true, true, QStringLiteral("AXBrowser"), false},
        {"list", true, true, QStringLiteral("AXList"), false},
        {"web area", true, true, QStringLiteral("AXWebArea"), std::nullopt},
        {"no answer in time", true, true, std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        resolver.invalidate();
        resolver.editorPaneDetectionEnabled = c.enabled;
        accessibility.setTrusted(c.trusted);
        accessibility.setRole(c.role);
        const ResolvedDestination result = resolver.resolve({10, 10}, start);
        EXPECT_EQ(result.bundleID, editorID);
        EXPECT_EQ(result.isEditorPane, c.expected);
    }
}

TEST_F(ResolverTest, AsksAccessibilityAboutTheProcessUnderThePoint) {
    resolver.editorPaneDetectionEnabled = true;
    accessibility.setTrusted(true);
    std::optional<std::pair<Point, qint32>> asked;
    accessibility.setRoleFinder([&](Point p, qint32 pid) -> std::optional<QString> {
        asked = {p, pid};
        return QStringLiteral("AXTextArea");
    });
    resolver.resolve({150, 20}, start);
    ASSERT_TRUE(asked);
    EXPECT_EQ(asked->first, (Point{150, 20}));
    EXPECT_EQ(asked->second, browserPID);
    EXPECT_TRUE(resolver.hasAccessibilityPermission());
}

TEST(FlippedPoint, MeasuresFromTheTopOfTheFirstScreen) {
    struct Case {
        const char* name;
        std::vector<Rect> screens;
        Point point;
        Point expected;
    };
    const Case cases[] = {
        {"no screens", {}, {10, 20}, {10, 20}},
        {"one screen", {{0, 0, 1440, 900}}, {10, 20}, {10, 880}},
        {"a second screen below the first",
         {{0, 0, 1440, 900}, {0, -1080, 1920, 1080}},
         {100, -500},
         {100, 1400}},
        {"the first screen raised", {{0, 100, 800, 600}}, {0, 700}, {0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(DestinationResolver::flippedPoint(c.point, c.screens), c.expected);
    }
}

} // namespace
