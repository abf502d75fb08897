#include "Animator.h"
#include "IslandScene.h"
#include "Motion.h"

#include "TarvoPlatform/memory/MemoryDisplayOptions.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace tarvo;

namespace {

// A shelf view on a screen without a notch: 600 x 132 points.
struct Island {
    SteppedAnimationClock clock;
    Animator animator{clock};
    MemoryDisplayOptions display;
    IslandScene scene{animator, display};

    explicit Island(qsizetype items = 3) {
        scene.setViewSize({600, 132});
        setItems(items);
        scene.setIslandWidth(IslandLayout::requiredWidth(items));
        scene.setStripState(TarvoState::resting, false, Motion::extend());
    }

    void setItems(qsizetype count) {
        // Newest first: a new item goes in front of the others.
        std::vector<QUuid> ids;
        for (qsizetype i = count - 1; i >= 0; --i) {
            const QUuid id = QUuid::fromString(
                QStringLiteral("{00000000-0000-0000-0000-%1}").arg(i + 1, 12, 10, QChar(u'0')));
            ids.push_back(id);
            if (!scene.itemLayers().count(id))
                scene.setItemLayer(id, Layer::make());
        }
        scene.setItems(ids);
    }

    QRectF outlineOnScreen() const { return scene.islandLayer->presentation().path.boundingRect(); }
};

const SpringAnimation* springOf(const Layer& layer, const char* key) {
    return dynamic_cast<const SpringAnimation*>(layer.animation(key));
}

} // namespace

TEST(Motion, SpringsDeriveTheirPhysicsAndDurations) {
    // Settled means staying within 0.2% of the distance of the target.
    EXPECT_EQ(SpringAnimation::settlingBound, 0.002);
    struct Case {
        const Motion::Spring& spring;
        double stiffness;
        double damping;
        double settling;
        double duration;
    };
    const Case cases[] = {
        {Motion::extend(), 385.531, 32.201, 0.4117, 0.40},
        {Motion::retract(), 584.000, 43.499, 0.2400, 0.2400},
        {Motion::land(), 503.551, 31.416, 0.4081, 0.40},
        {Motion::reflow(), 438.649, 35.605, 0.3849, 0.3849},
    };
    for (const Case& c : cases) {
        std::printf("%-16s stiffness %8.3f damping %7.3f settles %.4f s, lasts %.4f s\n",
                    c.spring.name.c_str(), c.spring.stiffness(), c.spring.damping(),
                    c.spring.settlingDuration(), c.spring.duration());
        EXPECT_NEAR(c.spring.stiffness(), c.stiffness, 1e-3) << c.spring.name;
        EXPECT_NEAR(c.spring.damping(), c.damping, 1e-3) << c.spring.name;
        EXPECT_NEAR(c.spring.settlingDuration(), c.settling, 1e-3) << c.spring.name;
        EXPECT_NEAR(c.spring.duration(), c.duration, 1e-3) << c.spring.name;
    }
    EXPECT_EQ(Motion::allSprings()[3], Motion::reflow());
    EXPECT_FALSE(Motion::extend() == Motion::retract());
    EXPECT_EQ(Motion::allDurations(), (std::array<double, 5>{0.14, 0.12, 0.12, 0.08, 0.12}));
}

TEST(Motion, FactoriesHonourReduceMotion) {
    const auto spring = Motion::animation(Motion::land(), KeyPath::transformScale, 0.6, 1.0, false);
    const auto* s = dynamic_cast<const SpringAnimation*>(spring.get());
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->mass, 1);
    EXPECT_EQ(s->initialVelocity, 0);
    EXPECT_DOUBLE_EQ(s->stiffness, Motion::land().stiffness());
    EXPECT_DOUBLE_EQ(s->duration, Motion::land().duration());

    const auto reduced = Motion::animation(Motion::land(), KeyPath::transformScale, 0.6, 1.0, true);
    const auto* b = dynamic_cast<const BasicAnimation*>(reduced.get());
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->duration, 0.12);
    EXPECT_EQ(b->curve, TimingCurve::easeOut());
    EXPECT_EQ(b->from, std::optional<LayerValue>(0.6));
    EXPECT_EQ(b->to, std::optional<LayerValue>(1.0));
}

TEST(IslandMotion, AMorphRunsFromTheOldOutlineToTheNew) {
    Island island;
    const QRectF resting = island.outlineOnScreen();
    island.scene.setIslandWidth(120);
    island.scene.setStripState(TarvoState::tab, true, Motion::extend());
    const QRectF tab = island.scene.islandLayer->path().boundingRect();
    ASSERT_NE(springOf(*island.scene.islandLayer, "morph"), nullptr);
    ASSERT_NE(springOf(*island.scene.islandLayer, "morph-shadow"), nullptr);
    EXPECT_EQ(island.outlineOnScreen(), resting);

    struct Sample {
        double at;
        double minHeight;
        double maxHeight;
    };
    // The tab is 32 high, the resting island 92: the spring closes most of
    // the distance early and overshoots a little before it settles.
    const Sample samples[] = {{0.05, 60, 85}, {0.15, 30, 45}, {0.30, 28, 34}};
    double elapsed = 0;
    for (const Sample& s : samples) {
        island.clock.advance(s.at - elapsed);
        elapsed = s.at;
        const double h = island.outlineOnScreen().height();
        EXPECT_GT(h, s.minHeight) << s.at;
        EXPECT_LT(h, s.maxHeight) << s.at;
    }
    island.clock.advance(0.2);
    EXPECT_EQ(island.outlineOnScreen(), tab);
    EXPECT_EQ(island.scene.islandLayer->animation("morph"), nullptr);
    EXPECT_FALSE(island.clock.isRunning());
}

TEST(IslandMotion, ASecondMorphTakesOverMidFlightFromWhatIsOnScreen) {
    Island island;
    island.scene.setIslandWidth(120);
    island.scene.setStripState(TarvoState::tab, true, Motion::extend());
    island.clock.advance(0.08);
    const QPainterPath midway = island.scene.islandLayer->presentation().path;
    island.scene.setIslandWidth(IslandLayout::requiredWidth(3));
    island.scene.setStripState(TarvoState::resting, true, Motion::extend());
    const auto* second = springOf(*island.scene.islandLayer, "morph");
    ASSERT_NE(second, nullptr);
    ASSERT_TRUE(second->from.has_value());
    EXPECT_TRUE(sameValue(*second->from, midway));
    EXPECT_EQ(island.outlineOnScreen(), midway.boundingRect());
    island.clock.advance(0.5);
    EXPECT_EQ(island.outlineOnScreen(), island.scene.islandLayer->path().boundingRect());
}

TEST(IslandMotion, ReduceMotionGivesShortEaseOutAnimationsWithTheSameValues) {
    Island island;
    island.display.setReduceMotion(true);
    const QPainterPath before = island.scene.islandLayer->path();
    island.scene.setIslandWidth(120);
    island.scene.setStripState(TarvoState::tab, true, Motion::extend());
    for (const char* key : {"morph", "morph-shadow"}) {
        const auto* basic =
            dynamic_cast<const BasicAnimation*>(island.scene.islandLayer->animation(key));
        ASSERT_NE(basic, nullptr) << key;
        EXPECT_EQ(basic->duration, 0.12);
        EXPECT_EQ(basic->curve, TimingCurve::easeOut());
        EXPECT_TRUE(sameValue(*basic->from, before));
        EXPECT_TRUE(sameValue(*basic->to, island.scene.islandLayer->path()));
    }
    island.scene.animateAppear(Motion::extend());
    for (Layer* layer : island.scene.ridingLayers()) {
        const auto* basic = dynamic_cast<const BasicAnimation*>(layer->animation("appear"));
        ASSERT_NE(basic, nullptr) << layer->name;
        EXPECT_EQ(basic->duration, 0.12);
    }
    island.clock.advance(0.13);
    EXPECT_FALSE(island.animator.isAnimating());
}

TEST(IslandMotion, AWindowThatJumpedFarShowsTheNewLayoutAtOnce) {
    for (double shift : {199.0, 200.0}) {
        Island island;
        island.scene.setWindowOrigin({shift, 0});
        island.scene.setIslandWidth(400);
        island.scene.setStripState(TarvoState::resting, true, Motion::extend());
        const auto* morph = springOf(*island.scene.islandLayer, "morph");
        if (shift >= 200) {
            EXPECT_EQ(morph, nullptr);
            EXPECT_TRUE(island.scene.islandLayer->animationKeys().empty());
            continue;
        }
        ASSERT_NE(morph, nullptr);
        // It starts where the island was on screen: 199 points to the left.
        const QRectF from = std::get<QPainterPath>(*morph->from).boundingRect();
        EXPECT_NEAR(from.center().x(), 300 - shift, 1e-9);
    }
}

TEST(IslandMotion, UnchangedOutlinesGetNoMorph) {
    Island island;
    island.scene.setStripState(TarvoState::hidden, true, Motion::retract());
    EXPECT_EQ(island.scene.islandLayer->animation("morph"), nullptr);
}

TEST(IslandMotion, ItemsReflowWithTheirOwnSpringWhenTheStateStays) {
    Island island(3);
    island.setItems(4);
    const QUuid added = QUuid::fromString(QStringLiteral("{00000000-0000-0000-0000-000000000004}"));
    island.scene.setIslandWidth(IslandLayout::requiredWidth(4));
    island.scene.setStripState(TarvoState::resting, true, Motion::extend());
    const auto* outline = springOf(*island.scene.islandLayer, "morph");
    ASSERT_NE(outline, nullptr);
    EXPECT_DOUBLE_EQ(outline->stiffness, Motion::extend().stiffness());
    int moved = 0;
    for (const auto& [id, layer] : island.scene.itemLayers()) {
        const auto* move = springOf(*layer, "extend");
        if (id == added) {
            EXPECT_EQ(move, nullptr); // never laid out before: it was nowhere
            continue;
        }
        ASSERT_NE(move, nullptr);
        EXPECT_DOUBLE_EQ(move->stiffness, Motion::reflow().stiffness());
        ++moved;
    }
    EXPECT_EQ(moved, 3);

    // An item new to the view gets no move; nor does one that was invisible.
    Island fresh(2);
    const QUuid newcomer = QUuid::createUuid();
    std::vector<QUuid> ids{newcomer};
    for (const auto& [id, layer] : fresh.scene.itemLayers())
        ids.push_back(id);
    fresh.scene.setItems(ids);
    fresh.scene.setStripState(TarvoState::resting, false, Motion::extend());
    fresh.scene.itemLayers().begin()->second->setOpacity(0);
    auto layer = Layer::make();
    fresh.scene.setItemLayer(newcomer, layer);
    fresh.scene.setStripState(TarvoState::dragging, true, Motion::extend());
    EXPECT_EQ(layer->animation("extend"), nullptr);
}

TEST(IslandMotion, ALandingItemKeepsItsLandingMotion) {
    Island island(2);
    const auto& [id, layer] = *island.scene.itemLayers().begin();
    layer->addAnimation(BasicAnimation(KeyPath::position, Point{}, Point{10, 10}, 1.0),
                        "land-position");
    island.setItems(3);
    island.scene.setIslandWidth(IslandLayout::requiredWidth(3));
    island.scene.setStripState(TarvoState::resting, true, Motion::extend());
    EXPECT_EQ(layer->animation("extend"), nullptr);
    (void)id;
}

TEST(IslandMotion, OpacityChangesFadeWhateverTheMotionSetting) {
    Island island;
    island.display.setReduceMotion(true);
    island.scene.setIslandWidth(120);
    island.scene.setStripState(TarvoState::tab, true, Motion::extend());
    // Items vanish in the tab; the glow shows.
    for (const auto& [id, layer] : island.scene.itemLayers()) {
        const auto* fade = dynamic_cast<const BasicAnimation*>(layer->animation("fade"));
        ASSERT_NE(fade, nullptr);
        EXPECT_EQ(fade->from, std::optional<LayerValue>(1.0));
        EXPECT_EQ(fade->to, std::optional<LayerValue>(0.0));
        EXPECT_EQ(fade->duration, 0.12);
    }
    EXPECT_NE(island.scene.tabGlow->animation("fade"), nullptr);
}

TEST(IslandMotion, SlideOutCompletesOnceAndSlideInCancelsIt) {
    Island island;
    int completions = 0;
    island.scene.animateDisappear(Motion::retract(), [&] { ++completions; });
    EXPECT_TRUE(island.scene.isDisappearing());
    EXPECT_EQ(completions, 0);
    island.clock.advance(0.1);
    const double lift = 132 - 40;
    const double y = island.scene.islandLayer->presentation().position.y;
    EXPECT_GT(y, 66);
    island.clock.advance(0.3);
    EXPECT_EQ(completions, 1);
    // Held above the top edge until removed.
    EXPECT_NEAR(island.scene.islandLayer->presentation().position.y, 66 + lift, 1e-9);
    EXPECT_TRUE(island.scene.isDisappearing());
    island.clock.advance(1);
    EXPECT_EQ(completions, 1);

    island.scene.animateAppear(Motion::extend());
    EXPECT_FALSE(island.scene.isDisappearing());
    EXPECT_NEAR(island.scene.islandLayer->presentation().position.y, 66 + lift, 1e-9);
    island.clock.advance(0.5);
    EXPECT_NEAR(island.scene.islandLayer->presentation().position.y, 66, 1e-9);
}

TEST(IslandMotion, SlideInDuringSlideOutTurnsBack) {
    Island island;
    int completions = 0;
    island.scene.animateDisappear(Motion::retract(), [&] { ++completions; });
    island.clock.advance(0.05);
    island.scene.animateAppear(Motion::extend());
    EXPECT_FALSE(island.scene.isDisappearing());
    island.clock.advance(0.01);
    EXPECT_EQ(completions, 1); // the slide-out ended, cut short
    island.scene.cancelDisappear();
    island.clock.advance(0.5);
    EXPECT_EQ(completions, 1);
}

TEST(IslandMotion, NothingToSlideCompletesAtOnce) {
    Island island;
    island.scene.setViewSize({600, 40}); // the lower edge at the view's top
    island.scene.layoutContents();
    int completions = 0;
    island.scene.animateDisappear(Motion::retract(), [&] { ++completions; });
    EXPECT_EQ(completions, 1);
    EXPECT_FALSE(island.scene.isDisappearing());
}

TEST(IslandMotion, ItemsInFlightCatchHighlightAndPress) {
    Island island(3);
    const auto& layers = island.scene.itemLayers();
    const QUuid first = layers.begin()->first;
    const QUuid hidden = std::next(layers.begin())->first;
    layers.at(hidden)->setOpacity(0);
    island.scene.setItemsInFlight({first, hidden});
    EXPECT_EQ(layers.at(first)->opacity(), 0.35);
    EXPECT_NE(layers.at(first)->animation("fade"), nullptr);
    EXPECT_EQ(layers.at(hidden)->opacity(), 0); // invisible layers are left alone
    EXPECT_EQ(layers.at(hidden)->animation("fade"), nullptr);
    island.clock.advance(0.2);
    island.scene.setItemsInFlight({first, hidden});
    EXPECT_EQ(layers.at(first)->animation("fade"), nullptr); // same set: nothing

    island.scene.setCatchHighlight(true);
    EXPECT_EQ(island.scene.faceLift->opacity(), 1);
    const auto* lift =
        dynamic_cast<const BasicAnimation*>(island.scene.faceLift->animation("fade"));
    ASSERT_NE(lift, nullptr);
    EXPECT_EQ(lift->duration, 0.14);

    island.scene.setClosePressed(true);
    EXPECT_EQ(island.scene.closeButton->opacity(), 0.6);
    const auto* press =
        dynamic_cast<const BasicAnimation*>(island.scene.closeButton->animation("press"));
    ASSERT_NE(press, nullptr);
    EXPECT_EQ(press->duration, 0.08);
}

TEST(IslandMotion, HitsOnTheStrip) {
    Island island(3);
    const Rect strip = island.scene.layout().stripFrame;
    const ItemLayout::Slot& first = island.scene.layout().itemSlots.front();
    const Point inFirst{strip.x + first.frame.midX(), strip.y + first.frame.midY()};
    EXPECT_TRUE(island.scene.itemID(inFirst).has_value());
    EXPECT_FALSE(island.scene.itemID({strip.x - 1, inFirst.y}).has_value());
    EXPECT_FALSE(island.scene.itemID({strip.maxX() + 1, inFirst.y}).has_value());
    EXPECT_EQ(island.scene.insertionIndex(inFirst), 1);
    EXPECT_EQ(island.scene.insertionIndex({strip.x, inFirst.y}), 0);

    // Scrolled half a tile along a strip too short for its items, a tile is
    // cut at each edge: beside the strip it is not there to hit.
    Island full(30);
    const Rect fullStrip = full.scene.layout().stripFrame;
    full.scene.scrollItems(-(ItemLayout::thumbnailSize + ItemLayout::spacing) * 2.5);
    const std::vector<ItemLayout::Slot>& placed = full.scene.layout().itemSlots;
    const auto cutAt = [&](double edge) {
        return std::find_if(placed.begin(), placed.end(), [edge](const ItemLayout::Slot& slot) {
            return slot.hitFrame.x < edge && slot.hitFrame.maxX() > edge;
        });
    };
    const auto left = cutAt(0);
    const auto right = cutAt(fullStrip.width);
    ASSERT_NE(left, placed.end());
    ASSERT_NE(right, placed.end());
    const double y = fullStrip.y + left->frame.midY();
    EXPECT_TRUE(full.scene.itemID({fullStrip.x + left->hitFrame.maxX() - 1, y}).has_value());
    EXPECT_FALSE(full.scene.itemID({fullStrip.x - 1, y}).has_value());
    EXPECT_TRUE(full.scene.itemID({fullStrip.x + right->hitFrame.x + 1, y}).has_value());
    EXPECT_FALSE(full.scene.itemID({fullStrip.maxX() + 1, y}).has_value());
}
