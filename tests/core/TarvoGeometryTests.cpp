#include "GeometryPrinters.h"

#include "TarvoCore/TarvoGeometry.h"

#include <gtest/gtest.h>

using namespace tarvo;
namespace G = tarvo::TarvoGeometry;

namespace {

constexpr std::array allStates = {TarvoState::hidden, TarvoState::dragging, TarvoState::resting,
                                  TarvoState::tab};

// A 1440 x 900 screen with a 24-point top panel and no notch.
constexpr ScreenMetrics plainScreen{{0, 0, 1440, 900}, 0, 24, 0, 0};
// A 1512-point-wide screen whose 202-point notch sits between two 655-point top
// areas, with a 32-point safe area.
constexpr ScreenMetrics notchedScreen{{0, 0, 1512, 982}, 32, 37, 655, 655};

} // namespace

TEST(ScreenMetrics, NotchNeedsASafeAreaBothTopAreasAndRoomBetweenThem) {
    struct Case {
        const char* name;
        ScreenMetrics metrics;
        double notchWidth;
        bool hasNotch;
    };
    const std::vector<Case> cases = {
        {"no notch", plainScreen, 1440, false},
        {"notch", notchedScreen, 202, true},
        {"safe area, no top areas", {{0, 0, 1512, 982}, 32, 37, 0, 0}, 1512, false},
        {"top areas, no safe area", {{0, 0, 1512, 982}, 0, 37, 655, 655}, 202, false},
        {"one top area only", {{0, 0, 1512, 982}, 32, 37, 655, 0}, 857, false},
        {"top areas fill the width", {{0, 0, 1512, 982}, 32, 37, 756, 756}, 0, false},
        {"top areas wider than the screen", {{0, 0, 1512, 982}, 32, 37, 800, 800}, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.metrics.notchWidth(), c.notchWidth);
        EXPECT_EQ(c.metrics.hasNotch(), c.hasNotch);
        EXPECT_EQ(G::fillsTopInset(c.metrics), c.hasNotch);
    }
}

TEST(TarvoGeometry, ScreenWithoutNotch) {
    EXPECT_EQ(G::topInset(plainScreen), 24);
    EXPECT_EQ(G::notchCentreX(plainScreen), 720);
    EXPECT_EQ(G::notchCentreX({{-1440, 200, 1440, 900}, 0, 24, 0, 0}), -720);
    // A safe area alone is no notch: the top panel's height counts.
    EXPECT_EQ(G::topInset({{0, 0, 1512, 982}, 32, 37, 0, 0}), 37);
}

TEST(TarvoGeometry, ScreenWithNotch) {
    EXPECT_EQ(G::topInset(notchedScreen), 32);
    EXPECT_EQ(G::notchCentreX(notchedScreen), 756);
    EXPECT_EQ(G::notchCentreX({{1000, -200, 1512, 982}, 32, 37, 655, 655}), 1756);
    EXPECT_EQ(G::notchCentreX({{0, 0, 1000, 800}, 30, 24, 900, 50}), 925);
}

TEST(TarvoGeometry, BaseWidthByState) {
    struct Case {
        TarvoState state;
        double plain;
        double notched;
        double narrowNotch; // a 400-point notch: wider than the drag catch width
    };
    const ScreenMetrics wideNotch{{0, 0, 1512, 982}, 32, 37, 556, 556};
    const std::vector<Case> cases = {
        {TarvoState::hidden, 200, 258, 456},
        {TarvoState::dragging, 360, 360, 456},
        {TarvoState::resting, 200, 258, 456},
        {TarvoState::tab, 120, 202, 400},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(nameOf(c.state));
        EXPECT_EQ(G::baseWidth(plainScreen, c.state), c.plain);
        EXPECT_EQ(G::baseWidth(notchedScreen, c.state), c.notched);
        EXPECT_EQ(G::baseWidth(wideNotch, c.state), c.narrowNotch);
    }
}

TEST(TarvoGeometry, StripAndCornersByState) {
    struct Case {
        TarvoState state;
        double cornerRadius;
        double stripHeight;
        double stripBottomOffset;
    };
    const std::vector<Case> cases = {
        {TarvoState::hidden, 32, 0, 132},
        {TarvoState::dragging, 32, 92, 40},
        {TarvoState::resting, 32, 92, 40},
        {TarvoState::tab, 10, 0, 132},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(nameOf(c.state));
        EXPECT_EQ(G::cornerRadiusFor(c.state), c.cornerRadius);
        EXPECT_EQ(G::stripHeight(c.state), c.stripHeight);
        EXPECT_EQ(G::stripBottomOffset(c.state), c.stripBottomOffset);
        EXPECT_EQ(G::stripRect({400, 999}, c.state), (Rect{0, 0, 400, c.stripHeight}));
    }
}

TEST(TarvoGeometry, PanelFrames) {
    struct Case {
        const char* name;
        ScreenMetrics metrics;
        TarvoState state;
        double contentWidth;
        Rect expected;
    };
    const std::vector<Case> cases = {
        // Notched: from the very top, reaching into the notch area.
        {"notch, resting, content 300",
         notchedScreen,
         TarvoState::resting,
         300,
         {606, 858, 300, 124}},
        {"notch, resting, narrow content",
         notchedScreen,
         TarvoState::resting,
         100,
         {627, 858, 258, 124}},
        {"notch, dragging", notchedScreen, TarvoState::dragging, 0, {576, 858, 360, 124}},
        {"notch, tab: the notch area", notchedScreen, TarvoState::tab, 0, {655, 950, 202, 32}},
        {"notch, hidden", notchedScreen, TarvoState::hidden, 0, {627, 950, 258, 32}},
        // No notch: just below the top panel.
        {"plain, resting", plainScreen, TarvoState::resting, 0, {620, 784, 200, 92}},
        {"plain, dragging, content 580",
         plainScreen,
         TarvoState::dragging,
         580,
         {430, 784, 580, 92}},
        {"plain, tab", plainScreen, TarvoState::tab, 0, {660, 876, 120, 0}},
        {"plain, hidden", plainScreen, TarvoState::hidden, 0, {620, 876, 200, 0}},
        {"content wider than the screen",
         plainScreen,
         TarvoState::resting,
         5000,
         {0, 784, 1440, 92}},
        {"second screen left of the main one",
         {{-1440, 100, 1440, 900}, 0, 24, 0, 0},
         TarvoState::resting,
         0,
         {-820, 884, 200, 92}},
        // Notch near an edge: kept on the screen.
        {"would cross the right edge",
         {{0, 0, 1000, 800}, 30, 24, 900, 50},
         TarvoState::resting,
         300,
         {700, 678, 300, 122}},
        {"would cross the left edge",
         {{0, 0, 1000, 800}, 30, 24, 50, 900},
         TarvoState::resting,
         300,
         {0, 678, 300, 122}},
        // The origin rounds half away from zero; the size is not rounded.
        {"half points round up",
         {{0, 0, 1001, 900}, 0, 24.5, 0, 0},
         TarvoState::resting,
         0,
         {401, 784, 200, 92}},
        {"negative halves round down",
         {{-1001, 0, 1001, 900}, 0, 24, 0, 0},
         TarvoState::resting,
         0,
         {-601, 784, 200, 92}},
        {"fractional width kept", plainScreen, TarvoState::resting, 300.5, {570, 784, 300.5, 92}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(G::panelFrame(c.metrics, c.state, c.contentWidth), c.expected);
    }
}

TEST(TarvoGeometry, FoldedPanelsAreTheTopInsetHigh) {
    for (TarvoState state : {TarvoState::hidden, TarvoState::tab}) {
        SCOPED_TRACE(nameOf(state));
        const Rect notched = G::panelFrame(notchedScreen, state, 0);
        EXPECT_EQ(notched.height, G::topInset(notchedScreen));
        EXPECT_EQ(notched.maxY(), notchedScreen.frame.maxY());
        const Rect plain = G::panelFrame(plainScreen, state, 0);
        EXPECT_EQ(plain.height, 0);
        EXPECT_EQ(plain.y, plainScreen.frame.maxY() - plainScreen.menuBarHeight);
    }
    for (TarvoState state : allStates) {
        SCOPED_TRACE(nameOf(state));
        const Rect frame = G::panelFrame(notchedScreen, state, 0);
        EXPECT_EQ(frame.midX(), G::notchCentreX(notchedScreen));
    }
}

TEST(TarvoGeometry, PanelFrameWithChipZoneGrowsDownwards) {
    struct Case {
        const char* name;
        ScreenMetrics metrics;
        double contentWidth;
        double extraHeight;
        Rect expected;
    };
    const std::vector<Case> cases = {
        {"notch, no extra", notchedScreen, 0, 0, {576, 818, 360, 164}},
        {"notch, extra 10", notchedScreen, 0, 10, {576, 808, 360, 174}},
        {"plain, content 500, extra 24", plainScreen, 500, 24, {470, 720, 500, 156}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Rect frame = G::panelFrame(c.metrics, c.contentWidth, c.extraHeight);
        EXPECT_EQ(frame, c.expected);
        const Rect dragging = G::panelFrame(c.metrics, TarvoState::dragging, c.contentWidth);
        EXPECT_EQ(frame.maxY(), dragging.maxY());
    }
}

TEST(Rect, FarEdgesAreOutside) {
    const Rect r{10, 20, 30, 40};
    struct Case {
        Point p;
        bool inside;
    };
    const std::vector<Case> cases = {
        {{10, 20}, true},  {{39.99, 59.99}, true}, {{40, 30}, false},
        {{20, 60}, false}, {{9.99, 30}, false},    {{20, 19.99}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.p));
        EXPECT_EQ(r.contains(c.p), c.inside);
    }
    EXPECT_FALSE((Rect{0, 0, 0, 10}).contains({0, 5}));
    // The same area named from its other corner.
    EXPECT_EQ((Rect{40, 60, -30, -40}), r);
    EXPECT_TRUE((Rect{40, 60, -30, -40}).contains({10, 20}));
}
