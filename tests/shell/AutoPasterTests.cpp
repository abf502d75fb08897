#include "TarvoShell/AutoPaster.h"

#include "TarvoPlatform/memory/FakeClock.h"
#include "TarvoPlatform/memory/MemoryAppLauncher.h"
#include "TarvoPlatform/memory/MemoryPasteKeys.h"
#include "TarvoPlatform/memory/MemoryWorkspace.h"

#include <gtest/gtest.h>

namespace tarvo::test {
namespace {

class AutoPasterTest : public ::testing::Test {
protected:
    AutoPasterTest() : paster(launcher, workspace, keys, clock) {}

    void becomeActive(const QString& id) { workspace.setFrontmost(Workspace::Application{1, id}); }

    FakeClock clock;
    MemoryAppLauncher launcher;
    MemoryWorkspace workspace;
    MemoryPasteKeys keys;
    AutoPaster paster;
    std::vector<bool> outcomes;
    std::function<void(bool)> record = [this](bool pasted) { outcomes.push_back(pasted); };
};

TEST_F(AutoPasterTest, AnActiveApplicationIsPastedIntoAMomentLater) {
    launcher.setRunning("xterm");
    becomeActive("xterm");
    const double start = clock.now().secondsSince1970();
    keys.onPaste = [&](bool) {
        EXPECT_NEAR(clock.now().secondsSince1970() - start, AutoPaster::settleDelay, 1e-6);
    };
    paster.pasteAfterActivating("xterm", true, record);
    EXPECT_TRUE(keys.pastes().empty());
    clock.advance(1);
    EXPECT_EQ(keys.pastes(), std::vector<bool>{true});
    EXPECT_EQ(outcomes, std::vector<bool>{true});
    EXPECT_EQ(launcher.activated(), std::vector<QString>{"xterm"});
}

TEST_F(AutoPasterTest, ItWaitsForTheApplicationToComeForward) {
    launcher.setRunning("mousepad");
    paster.pasteAfterActivating("mousepad", false, record);
    clock.advance(10 * AutoPaster::attemptInterval);
    EXPECT_TRUE(keys.pastes().empty());
    becomeActive("mousepad");
    clock.advance(AutoPaster::attemptInterval + AutoPaster::settleDelay + 1e-6);
    EXPECT_EQ(keys.pastes(), std::vector<bool>{false});
    EXPECT_EQ(outcomes, std::vector<bool>{true});
}

TEST_F(AutoPasterTest, AnApplicationThatNeverComesForwardIsNeverPastedInto) {
    // Not running and not installed: nothing starts, and the keys would go
    // to whatever window is active.
    becomeActive("other");
    paster.pasteAfterActivating("ghost", true, record);
    clock.advance(AutoPaster::attempts * AutoPaster::attemptInterval - 1e-6);
    EXPECT_TRUE(outcomes.empty());
    clock.advance(1);
    EXPECT_TRUE(keys.pastes().empty());
    EXPECT_EQ(outcomes, std::vector<bool>{false});
    EXPECT_EQ(paster.pending(), 0u);
}

TEST_F(AutoPasterTest, NoKeysGoOutWhenTheKeyboardLeftTheActiveWindowInTheMeantime) {
    launcher.setRunning("xterm");
    workspace.setFrontmost(Workspace::Application{1, QStringLiteral("xterm"), 0x400001});
    // The user clicked into another window during the settle delay.
    keys.setFocus(0x600001);
    paster.pasteAfterActivating("xterm", true, record);
    clock.advance(1);
    EXPECT_TRUE(keys.pastes().empty());
    EXPECT_EQ(outcomes, std::vector<bool>{false});
    EXPECT_EQ(paster.pending(), 0u);

    // Still in the window found active: typed.
    keys.setFocus(0x400001);
    paster.pasteAfterActivating("xterm", true, record);
    clock.advance(1);
    EXPECT_EQ(keys.pastes(), std::vector<bool>{true});
    EXPECT_EQ(outcomes, (std::vector<bool>{false, true}));
}

TEST_F(AutoPasterTest, AnApplicationNotRunningIsStarted) {
    launcher.setInstalled("mousepad");
    paster.pasteAfterActivating("mousepad", false, record);
    ASSERT_EQ(launcher.launched().size(), 1u);
    EXPECT_EQ(launcher.launched().front().appID, "mousepad");
    becomeActive("mousepad");
    clock.advance(1);
    EXPECT_EQ(outcomes, std::vector<bool>{true});
}

TEST_F(AutoPasterTest, TwoPastesRunIndependentlyAndNoneOutlivesThePaster) {
    launcher.setRunning("a");
    becomeActive("a");
    paster.pasteAfterActivating("a", false, record);
    paster.pasteAfterActivating("b", false, record);
    clock.advance(0.1);
    EXPECT_EQ(outcomes, std::vector<bool>{true});
    EXPECT_EQ(paster.pending(), 1u);
    {
        AutoPaster another(launcher, workspace, keys, clock);
        another.pasteAfterActivating("b", false, record);
    }
    EXPECT_EQ(clock.pendingCount(), 1u);
    clock.advance(5);
    EXPECT_EQ(outcomes, (std::vector<bool>{true, false}));
}

} // namespace
} // namespace tarvo::test
