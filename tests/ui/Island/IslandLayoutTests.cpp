#include "IslandLayout.h"
#include "TarvoShape.h"

#include "core/GeometryPrinters.h"

#include <gtest/gtest.h>

using namespace tarvo;
using IslandLayout::Input;
using IslandLayout::Layout;

namespace {

// The shelf view is as tall as the dragging panel: 92 + 40 points, plus the
// notch on a notched screen (32 points here).
constexpr double plainHeight = 132;
constexpr double notchedHeight = 164;

Input input(double viewHeight, TarvoState state, double islandWidth, qsizetype items = 0) {
    Input in;
    in.viewSize = {600, viewHeight};
    in.state = state;
    in.islandWidth = islandWidth;
    in.itemCount = items;
    return in;
}

QRectF box(const Rect& r) {
    return {r.x, r.y, r.width, r.height};
}

} // namespace

TEST(IslandLayout, EachStateOnPlainAndNotchedScreens) {
    struct Expected {
        double visibleBottom;
        Rect island;
        double radius;
        double flare;
        Rect strip;
        double rowOpacity = 0;
        double tabGlowOpacity = 0;
    };
    struct Case {
        const char* name;
        Input in;
        Expected expected;
    };
    Input chips = input(plainHeight, TarvoState::dragging, 360);
    chips.hasDestinations = true;
    chips.destinationRowSize = {300, 28};
    Input notchedChips = chips;
    notchedChips.viewSize.height = notchedHeight;
    // Hidden and resting lay out alike.
    const Expected plainRest{40, {200, 40, 200, 92}, 32, 10, {200, 40, 200, 92}};
    const Expected notchedRest{40, {171, 40, 258, 124}, 32, 10, {171, 40, 258, 92}};
    const Case cases[] = {
        {"plain hidden", input(plainHeight, TarvoState::hidden, 200), plainRest},
        {"plain resting", input(plainHeight, TarvoState::resting, 200), plainRest},
        {"plain dragging without chips",
         input(plainHeight, TarvoState::dragging, 360),
         {40, {120, 40, 360, 92}, 32, 10, {120, 40, 360, 92}}},
        {"plain dragging with chips",
         chips,
         {0, {120, 0, 360, 132}, 32, 10, {120, 40, 360, 92}, 1}},
        // The tab keeps a notch's height and place on a screen without one.
        {"plain tab",
         input(plainHeight, TarvoState::tab, 120),
         {100, {240, 100, 120, 32}, 10, 7, {240, 100, 120, 0}, 0, 1}},
        {"notched hidden", input(notchedHeight, TarvoState::hidden, 258), notchedRest},
        {"notched resting", input(notchedHeight, TarvoState::resting, 258), notchedRest},
        {"notched dragging with chips",
         notchedChips,
         {0, {120, 0, 360, 164}, 32, 10, {120, 40, 360, 92}, 1}},
        {"notched tab",
         input(notchedHeight, TarvoState::tab, 202),
         {132, {199, 132, 202, 32}, 10, 7, {199, 132, 202, 0}, 0, 1}},
    };
    for (const Case& c : cases) {
        const Layout l = IslandLayout::layout(c.in);
        const Expected& e = c.expected;
        EXPECT_EQ(l.visibleBottom, e.visibleBottom) << c.name;
        EXPECT_EQ(l.islandRect, e.island) << c.name;
        EXPECT_DOUBLE_EQ(l.cornerRadius, e.radius) << c.name;
        EXPECT_DOUBLE_EQ(l.flare, e.flare) << c.name;
        EXPECT_EQ(l.stripFrame, e.strip) << c.name;
        EXPECT_EQ(l.rowOpacity, e.rowOpacity) << c.name;
        EXPECT_EQ(l.tabGlowOpacity, e.tabGlowOpacity) << c.name;
        // The outline spans the island and flares out at the top edge.
        const QRectF bounds = l.outline.boundingRect();
        EXPECT_NEAR(bounds.left(), e.island.x - e.flare, 1e-9) << c.name;
        EXPECT_NEAR(bounds.right(), e.island.maxX() + e.flare, 1e-9) << c.name;
        EXPECT_NEAR(bounds.top(), e.island.y, 1e-9) << c.name;
        EXPECT_NEAR(bounds.bottom(), c.in.viewSize.height, 1e-9) << c.name;
        // Everything shown lies inside the view.
        const QRectF view(0, 0, c.in.viewSize.width, c.in.viewSize.height);
        EXPECT_TRUE(view.contains(box(l.islandRect))) << c.name;
        if (l.tabGlowOpacity > 0) {
            EXPECT_TRUE(box(l.islandRect).contains(box(l.tabGlowFrame))) << c.name;
        }
    }
}

TEST(IslandLayout, TheTabGlowSitsFivePointsAboveTheTabsEdge) {
    for (double height : {plainHeight, notchedHeight}) {
        const Layout l = IslandLayout::layout(input(height, TarvoState::tab, 120));
        EXPECT_EQ(l.tabGlowFrame, (Rect{275, l.visibleBottom + 5, 50, 3})) << height;
        EXPECT_EQ(l.emptyLabelOpacity, 0);
        EXPECT_EQ(l.itemOpacity, 0);
    }
}

TEST(IslandLayout, WidthsAreClampedToTheView) {
    struct Case {
        const char* name;
        double islandWidth;
        Rect island;
    };
    const Case cases[] = {
        {"zero spans the view", 0, {0, 40, 600, 92}},
        {"negative spans the view", -5, {0, 40, 600, 92}},
        {"wider than the view", 900, {0, 40, 600, 92}},
        {"odd margins round away from zero", 199, {201, 40, 199, 92}},
    };
    for (const Case& c : cases) {
        const Layout l =
            IslandLayout::layout(input(plainHeight, TarvoState::resting, c.islandWidth));
        EXPECT_EQ(l.islandRect, c.island) << c.name;
    }
}

TEST(IslandLayout, AViewNoTallerThanTheEdgeCollapsesTheIsland) {
    Input in = input(40, TarvoState::resting, 200);
    const Layout l = IslandLayout::layout(in);
    EXPECT_EQ(l.islandRect.height, 0);
    EXPECT_EQ(l.cornerRadius, 0);
    EXPECT_EQ(l.flare, 0);
    EXPECT_EQ(l.outline.boundingRect().height(), 0);
}

TEST(IslandLayout, ScrollAndEndFadesFromEmptyToMoreThanFits) {
    struct Case {
        const char* name;
        qsizetype items;
        double scroll;
        double clamped;
        double maxScroll;
        bool left;
        bool right;
    };
    // 580 points hold eight slots; twelve need 852.
    const Case cases[] = {
        {"empty", 0, 30, 0, 0, false, false},
        {"one", 1, 0, 0, 0, false, false},
        {"eight fit exactly", 8, 10, 0, 0, false, false},
        {"twelve at the start", 12, 0, 0, 272, false, true},
        {"twelve in the middle", 12, 100, 100, 272, true, true},
        {"twelve past the end", 12, 400, 272, 272, true, false},
        {"twelve before the start", 12, -20, 0, 272, false, true},
    };
    for (const Case& c : cases) {
        Input in = input(plainHeight, TarvoState::resting, 580, c.items);
        in.itemScroll = c.scroll;
        const Layout l = IslandLayout::layout(in);
        EXPECT_DOUBLE_EQ(l.itemScroll, c.clamped) << c.name;
        EXPECT_DOUBLE_EQ(l.maxScroll, c.maxScroll) << c.name;
        EXPECT_EQ(l.fadesLeft, c.left) << c.name;
        EXPECT_EQ(l.fadesRight, c.right) << c.name;
        // Every index has its slot; only those meeting the strip are made.
        std::vector<ItemLayout::Slot> meeting;
        for (qsizetype i = 0; i < c.items; ++i) {
            const std::optional<ItemLayout::Slot> slot = l.slot(i);
            ASSERT_TRUE(slot.has_value()) << c.name << " " << i;
            EXPECT_EQ(*slot, ItemLayout::slotAt(i, c.items, l.stripFrame.size(), l.itemScroll))
                << c.name << " " << i;
            if (slot->frame.maxX() > 0 && slot->frame.x < l.stripFrame.width)
                meeting.push_back(*slot);
        }
        EXPECT_EQ(l.itemSlots, meeting) << c.name;
        EXPECT_FALSE(l.slot(c.items).has_value()) << c.name;
        EXPECT_FALSE(l.slot(-1).has_value()) << c.name;
    }
}

TEST(IslandLayout, ALongShelfMakesOnlyTheSlotsInView) {
    // Scrolled to the far end of 20,000 items, the strip shows its last
    // nine tiles; the first and the last slots are where the row puts them.
    Input in = input(plainHeight, TarvoState::resting, 580, 20000);
    in.itemScroll = 1e9;
    const Layout l = IslandLayout::layout(in);
    ASSERT_FALSE(l.itemSlots.empty());
    EXPECT_LE(l.itemSlots.size(), std::size_t(ItemLayout::maxVisible + 2));
    EXPECT_EQ(l.itemSlots.back().index, 19999);
    EXPECT_DOUBLE_EQ(l.itemSlots.back().frame.maxX(), 580 - ItemLayout::sidePadding);
    const std::optional<ItemLayout::Slot> first = l.slot(0);
    ASSERT_TRUE(first.has_value());
    EXPECT_DOUBLE_EQ(first->frame.x, ItemLayout::sidePadding - l.maxScroll);
    EXPECT_FALSE(l.slot(20000).has_value());
}

TEST(IslandLayout, EmptyHintCloseButtonAndCaptionChip) {
    struct Case {
        const char* name;
        TarvoState state;
        qsizetype items;
        bool hint;
        bool forces;
        bool pointerOver;
        double hintOpacity;
        double closeOpacity;
    };
    const Case cases[] = {
        {"empty resting with the hint", TarvoState::resting, 0, true, false, false, 1, 0},
        {"empty resting without the hint", TarvoState::resting, 0, false, false, false, 0, 0},
        {"items hide the hint", TarvoState::resting, 2, true, false, true, 0, 1},
        {"hidden with the badge forced", TarvoState::hidden, 1, false, true, false, 0, 1},
        {"never while dragging", TarvoState::dragging, 1, false, true, true, 0, 0},
        {"never as a tab", TarvoState::tab, 0, true, true, true, 0, 0},
    };
    for (const Case& c : cases) {
        Input in = input(plainHeight, c.state, 200, c.items);
        in.showsEmptyHint = c.hint;
        in.forcesCloseBadge = c.forces;
        in.pointerOverIsland = c.pointerOver;
        const Layout l = IslandLayout::layout(in);
        EXPECT_EQ(l.emptyLabelOpacity, c.hintOpacity) << c.name;
        EXPECT_EQ(l.closeOpacity, c.closeOpacity) << c.name;
    }
    const Layout l = IslandLayout::layout(input(plainHeight, TarvoState::resting, 200));
    EXPECT_EQ(l.emptyLabelFrame, (Rect{200, 78, 200, 17}));
    EXPECT_EQ(l.closeCenter, (Point{207, 47}));
    EXPECT_EQ(l.closeHitRect, (Rect{193, 33, 28, 28}));
    EXPECT_EQ(l.closePath.boundingRect(), QRectF(198, 38, 18, 18));
    EXPECT_NEAR(l.closeGlyph.boundingRect().width(), 6.48, 1e-9);
    EXPECT_EQ(l.captionChipY, 11);
    EXPECT_EQ(l.faceLiftMask.boundingRect(), QRectF(0, 0, 600, 132));
    EXPECT_EQ(l.destinationRowFrame, (Rect{300, 28, 0, 0}));
}

TEST(IslandLayout, DestinationRowWithChips) {
    Input in = input(plainHeight, TarvoState::dragging, 360);
    in.hasDestinations = true;
    in.destinationRowSize = {301, 28};
    const Layout l = IslandLayout::layout(in);
    EXPECT_EQ(l.destinationRowFrame, (Rect{150, 8, 301, 28}));
    EXPECT_EQ(l.faceLiftMask.boundingRect(), QRectF(0, 0, 600, 132));
    EXPECT_EQ(IslandLayout::destinationRequiredWidth(true, {301, 28}), 333);
    EXPECT_EQ(IslandLayout::destinationRequiredWidth(false, {301, 28}), 0);
}

TEST(IslandLayout, RequiredWidthCountsAtMostEightSlots) {
    const std::pair<qsizetype, double> cases[] = {{0, 0}, {1, 104}, {2, 172}, {8, 580}, {20, 580}};
    for (const auto& [items, width] : cases)
        EXPECT_EQ(IslandLayout::requiredWidth(items), width) << items;
}

TEST(TarvoShape, OutlinesShareOneFormSoTheyBlend) {
    const QPainterPath wide = TarvoShape::islandOutline(360, 132, 32, 10);
    const QPainterPath tab = TarvoShape::islandOutline(120, 32, 10, 7);
    const QPainterPath flat = TarvoShape::islandOutline(120, 1, 0.5, 1.0 / 3);
    ASSERT_EQ(wide.elementCount(), tab.elementCount());
    ASSERT_EQ(wide.elementCount(), flat.elementCount());
    for (int i = 0; i < wide.elementCount(); ++i) {
        EXPECT_EQ(wide.elementAt(i).type, tab.elementAt(i).type) << i;
        EXPECT_EQ(wide.elementAt(i).type, flat.elementAt(i).type) << i;
    }
    // The flares meet the top edge outside the body; the body's corners are smooth.
    EXPECT_TRUE(wide.contains(QPointF(-1, 131)));
    EXPECT_FALSE(wide.contains(QPointF(-9, 125)));
    EXPECT_FALSE(wide.contains(QPointF(-1, 100)));
    EXPECT_FALSE(wide.contains(QPointF(1, 1)));
    EXPECT_TRUE(wide.contains(QPointF(180, 1)));
}

TEST(TarvoShape, SquircleCornersAreClampedAndSmooth) {
    const QPainterPath shape = TarvoShape::squircle({10, 20, 40, 20}, 30);
    EXPECT_EQ(shape.boundingRect(), QRectF(10, 20, 40, 20));
    EXPECT_EQ(shape.elementAt(0).x, 20); // radius clamped to 10
    EXPECT_EQ(shape.elementAt(0).y, 20);
    EXPECT_FALSE(shape.contains(QPointF(10.5, 20.5)));
    EXPECT_TRUE(shape.contains(QPointF(30, 30)));
}
