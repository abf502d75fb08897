// The shelf view hosting the island: the window's shapes per state, the tab
// on a screen without a notch, items leaving and landing, the caption chip,
// the contents scale, the display flags and the destination chip hook.
#include "AnimationClock.h"
#include "Animator.h"
#include "GradientLayer.h"
#include "IslandScene.h"
#include "ItemLayer.h"
#include "LayerPainter.h"
#include "TarvoPanel.h"
#include "TarvoView.h"

#include "TarvoPlatform/memory/MemoryDisplayOptions.h"
#include "TarvoPlatform/memory/MemoryPanelWindowSystem.h"
#include "TarvoPlatform/memory/MemoryScreens.h"

#include <QCoreApplication>
#include <QMouseEvent>

#include <gtest/gtest.h>

#include <functional>

namespace tarvo::test {
namespace {

Item textItem(const QString& text) {
    Item item;
    item.id = QUuid::createUuid();
    item.payload = ItemPayload::text(text);
    item.state = ItemState::ready();
    item.displayName = text;
    return item;
}

const Layer* sublayerNamed(const Layer& parent, const std::string& name) {
    for (const auto& layer : parent.sublayers()) {
        if (layer->name == name)
            return layer.get();
    }
    return nullptr;
}

bool inTree(const Layer& root, const Layer* layer) {
    for (const auto& sub : root.sublayers()) {
        if (sub.get() == layer || inTree(*sub, layer))
            return true;
    }
    return false;
}

// The shelf's panel on a 1280 x 800 screen without a notch, 360 x 132 points
// at its top (the dragging strip and the caption's room below), without a
// compositing manager, so that the window's shape is the island's.
class ShelfViewTest : public ::testing::Test {
protected:
    ShelfViewTest() {
        ScreenMetrics screen;
        screen.frame = {0, 0, 1280, 800};
        m_screens.screens.push_back(screen);
        m_windowSystem.compositor = false;
        m_panel = std::make_unique<TarvoPanel>(&m_windowSystem, m_screens);
        m_view = new TarvoView(&m_clock, &m_display);
        m_panel->setContentView(m_view);
        m_panel->setFrame({460, 668, 360, 132});
        m_panel->refreshCompositor();
        m_view->setIslandWidth(200);
    }

    void show(TarvoState state, std::vector<Item> items = {}) {
        m_view->update(std::move(items), {}, state, {});
    }
    quint64 id() { return quint64(m_panel->winId()); }
    QRegion bounding() { return m_windowSystem.boundingRegions.value(id()).value_or(QRegion()); }
    // A view point in Qt's widget coordinates, as the window's shape counts.
    QPoint qt(Point point) { return m_view->toQt(point).toPoint(); }
    void moveTo(Point point) {
        const QPointF at = m_view->toQt(point);
        QMouseEvent move(QEvent::MouseMove, at, m_view->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QCoreApplication::sendEvent(m_view, &move);
    }
    void hover(const Item& item) {
        const Rect tile = m_view->itemLayers().at(item.id)->frame();
        const Rect strip = m_view->itemsRoot().frame();
        moveTo({strip.x + tile.midX(), strip.y + tile.midY()});
    }

    SteppedAnimationClock m_clock;
    MemoryDisplayOptions m_display;
    MemoryScreens m_screens;
    MemoryPanelWindowSystem m_windowSystem;
    std::unique_ptr<TarvoPanel> m_panel;
    TarvoView* m_view = nullptr;
};

TEST_F(ShelfViewTest, TheViewPaintsTheIslandsOwnTree) {
    show(TarvoState::resting, {textItem(QStringLiteral("a"))});
    const IslandScene& scene = m_view->scene();
    EXPECT_EQ(m_view->rootLayer(), scene.root());
    EXPECT_EQ(&m_view->itemsRoot(), scene.itemsContainer.get());
    const Layer* tile = m_view->itemLayers().begin()->second.get();
    EXPECT_EQ(tile->superlayer(), scene.itemsContainer.get());
    // The strip lies on the island, 40 points up, 92 high, its one tile
    // centred in it.
    EXPECT_EQ(scene.itemsContainer->frame(), (Rect{80, 40, 200, 92}));
    EXPECT_EQ(tile->frame().x, 72);
    EXPECT_EQ(m_view->itemFrame(m_view->items().front().id)->x, 152);
    EXPECT_EQ(m_view->stripFrame(), scene.itemsContainer->frame());
    EXPECT_EQ(m_view->itemLayer(m_view->items().front().id), tile);
    EXPECT_EQ(m_view->itemLayer(QUuid::createUuid()), nullptr);
    EXPECT_FALSE(m_view->islandOutline().isEmpty());
}

TEST_F(ShelfViewTest, TheFoldedTabShowsOnAScreenWithoutANotch) {
    m_view->setIslandWidth(120);
    show(TarvoState::tab, {textItem(QStringLiteral("a"))});
    // A tab as tall as a notch, hanging from the top of the view.
    const Rect tab = m_view->islandRect();
    EXPECT_EQ(tab.height, 32);
    EXPECT_EQ(tab.maxY(), 132);
    // The window shows it and takes clicks where it is drawn, and only there.
    EXPECT_TRUE(bounding().contains(qt({tab.midX(), tab.midY()})));
    EXPECT_FALSE(bounding().contains(qt({tab.midX(), tab.y - 4})));
    const QRegion input = m_windowSystem.inputRegions.value(id());
    EXPECT_TRUE(input.contains(qt({tab.midX(), tab.midY()})));
    EXPECT_TRUE(input.contains(qt({tab.midX(), tab.y + 2})));
    EXPECT_FALSE(input.contains(qt({tab.midX(), tab.y - 4})));
    EXPECT_FALSE(input.contains(qt({tab.minX() - 10, tab.midY()})));
    // Its glow is drawn inside the view, near the tab's lower edge.
    const Layer& glow = *m_view->scene().tabGlow;
    EXPECT_EQ(glow.opacity(), 1);
    EXPECT_GE(glow.frame().y, tab.y);
    EXPECT_LE(glow.frame().maxY(), 132);
    LayerPainter painter;
    const QImage image = painter.render(*m_view->rootLayer(), {360, 132}, 1);
    const QColor body = image.pixelColor(qt({tab.midX(), tab.maxY() - 8}));
    EXPECT_EQ(body.alpha(), 255);
    EXPECT_LT(body.lightness(), 30);
    EXPECT_GT(image.pixelColor(qt({tab.midX(), glow.frame().midY()})).lightness(), 90);
}

TEST_F(ShelfViewTest, TheWindowsShapeFollowsEveryStateAndTheMorphBetweenThem) {
    struct Case {
        TarvoState state;
        Point inside;
        Point outside;
    };
    // The island is 200 wide (x 80 to 280); resting and dragging from y 40
    // up, the tab 32 high from the top.
    const Case cases[] = {
        {TarvoState::resting, {180, 60}, {180, 30}},
        {TarvoState::dragging, {270, 60}, {40, 60}},
        {TarvoState::tab, {180, 120}, {180, 90}},
    };
    for (const Case& c : cases) {
        show(c.state, {textItem(QStringLiteral("a"))});
        EXPECT_TRUE(bounding().contains(qt(c.inside))) << int(c.state);
        EXPECT_FALSE(bounding().contains(qt(c.outside))) << int(c.state);
    }

    show(TarvoState::resting, {textItem(QStringLiteral("a"))});
    m_view->setStripState(TarvoState::tab, true);
    ASSERT_TRUE(m_view->scene().islandLayer->animation("morph"));
    // The folding island shows whole as the morph begins, and as the tab at its end.
    EXPECT_TRUE(bounding().contains(qt({180, 60})));
    m_clock.advance(1.0, 1.0 / 60);
    EXPECT_FALSE(bounding().contains(qt({180, 60})));
    EXPECT_TRUE(bounding().contains(qt({180, 120})));
}

// Without a compositor every pixel inside the window's shape shows as drawn,
// a transparent one as black: the shape must follow the island frame by frame
// as it slides and morphs, or a black band shows where it has left.
TEST_F(ShelfViewTest, WithoutACompositorTheWindowsShapeFollowsEveryFrameOfASlideAndAMorph) {
    const Item a = textItem(QStringLiteral("a"));
    struct Case {
        const char* name;
        TarvoState from;
        std::function<void()> start;
        // The tiles fade in at their places while the island still grows
        // towards them: outside it they are cut off rather than shown on black.
        bool clipsStrip;
    };
    const Case cases[] = {
        {"slide out", TarvoState::resting, [this] { m_view->animateDisappear({}); }, false},
        {"slide in", TarvoState::resting, [this] { m_view->animateAppear(); }, false},
        {"tuck away", TarvoState::tab, [this] { m_view->animateDisappear({}); }, false},
        {"fold", TarvoState::resting, [this] { m_view->setStripState(TarvoState::tab, true); },
         false},
        {"unfold", TarvoState::tab, [this] { m_view->setStripState(TarvoState::resting, true); },
         true},
        {"unfold for a drag", TarvoState::tab,
         [this] { m_view->setStripState(TarvoState::dragging, true); }, true},
    };
    LayerPainter painter;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_view->cancelDisappear();
        show(c.from, {a});
        m_view->setStripState(c.from, false);
        m_clock.advance(2.0, 0.1);
        const QRegion resting = bounding();
        c.start();
        const Rect strip = m_view->stripFrame();
        const QRect clipped = c.clipsStrip ? QRectF(m_view->toQt({strip.x, strip.maxY()}),
                                                    QSizeF(strip.width, strip.height))
                                                 .toAlignedRect()
                                           : QRect();
        int movedFrames = 0;
        for (int frame = 0; frame < 30; ++frame) {
            const QImage image = painter.render(*m_view->rootLayer(), {360, 132}, 1);
            const QRegion shape = bounding();
            int black = 0;
            int cut = 0;
            for (int y = 0; y < image.height(); ++y) {
                for (int x = 0; x < image.width(); ++x) {
                    const int alpha = image.pixelColor(x, y).alpha();
                    const bool inside = shape.contains(QPoint(x, y));
                    black += inside && alpha == 0;
                    cut += !inside && alpha > 0 && !clipped.contains(x, y);
                }
            }
            EXPECT_EQ(black, 0) << "frame " << frame;
            EXPECT_EQ(cut, 0) << "frame " << frame;
            movedFrames += shape != resting;
            m_clock.advance(1.0 / 60);
        }
        EXPECT_GT(movedFrames, 5);
    }
}

TEST_F(ShelfViewTest, WithoutACompositorOnlyFramesThatMoveTheOutlineReshapeTheWindow) {
    const Item a = textItem(QStringLiteral("a"));
    show(TarvoState::resting, {a});
    m_clock.advance(2.0, 0.1);
    // A landing item animates inside the island: its frames leave the shape.
    const int before = m_windowSystem.boundingRegionCalls;
    show(TarvoState::resting, {textItem(QStringLiteral("b")), a});
    const int afterLayout = m_windowSystem.boundingRegionCalls;
    ASSERT_TRUE(m_clock.isRunning());
    m_clock.advance(0.5, 1.0 / 60);
    EXPECT_EQ(m_windowSystem.boundingRegionCalls, afterLayout);
    EXPECT_LE(afterLayout - before, 2);
    // A slide reshapes it on its frames.
    m_view->animateDisappear({});
    m_clock.advance(0.2, 1.0 / 60);
    EXPECT_GT(m_windowSystem.boundingRegionCalls, afterLayout + 5);

    // With a compositor the window is never shaped, slide or not.
    m_view->cancelDisappear();
    m_windowSystem.compositor = true;
    m_panel->refreshCompositor();
    ASSERT_EQ(m_windowSystem.boundingRegions.value(id()), std::nullopt);
    const int composited = m_windowSystem.boundingRegionCalls;
    m_view->animateAppear();
    m_clock.advance(0.5, 1.0 / 60);
    m_view->animateDisappear({});
    m_clock.advance(0.5, 1.0 / 60);
    EXPECT_EQ(m_windowSystem.boundingRegionCalls, composited);
}

TEST_F(ShelfViewTest, WithoutACompositorTheWindowsShapeHoldsEveryPaintedPixelOfTheCloseMark) {
    // Offset by fractions of a point, the mark's antialiased rim falls on
    // other pixels; none of them may be cut off by the window's shape.
    for (const double width : {200.0, 201.0, 203.0}) {
        SCOPED_TRACE(width);
        m_view->setIslandWidth(width);
        m_view->setForcesCloseBadge(true);
        show(TarvoState::resting, {textItem(QStringLiteral("a"))});
        m_clock.advance(1.0, 0.1);
        ASSERT_TRUE(m_view->closeButtonVisible());
        LayerPainter painter;
        const QImage image = painter.render(*m_view->rootLayer(), {360, 132}, 1);
        const Point c = m_view->closeCenter();
        const QRect around = QRectF(m_view->toQt({c.x - 14, c.y + 14}), QSizeF(28, 28))
                                 .toAlignedRect()
                                 .intersected(image.rect());
        int painted = 0;
        for (int y = around.top(); y <= around.bottom(); ++y) {
            for (int x = around.left(); x <= around.right(); ++x) {
                if (image.pixelColor(x, y).alpha() == 0)
                    continue;
                ++painted;
                EXPECT_TRUE(bounding().contains(QPoint(x, y))) << x << "," << y;
            }
        }
        EXPECT_GT(painted, 200);
    }
}

TEST_F(ShelfViewTest, APutAwayShelfKeepsNoPicturesAndDrawsTheSameWhenShownAgain) {
    const Item a = textItem(QStringLiteral("a"));
    m_view->setForcesCloseBadge(true);
    m_panel->orderFront();
    show(TarvoState::resting, {a});
    m_view->setStripState(TarvoState::resting, false);
    m_clock.advance(1.0, 0.1);
    m_panel->grab();
    EXPECT_GT(m_view->layersWithPictures(), 0);
    // The frames of a morph on screen keep them.
    m_view->setStripState(TarvoState::tab, true);
    m_clock.advance(0.05, 0.05);
    m_panel->grab();
    EXPECT_GT(m_view->layersWithPictures(), 0);
    m_view->setStripState(TarvoState::resting, true);
    m_clock.advance(2.0, 0.1);
    const QImage before = m_panel->grab().toImage();

    m_panel->orderOut();
    EXPECT_EQ(m_view->layersWithPictures(), 0);
    m_panel->orderFront();
    EXPECT_EQ(m_panel->grab().toImage(), before);
    EXPECT_GT(m_view->layersWithPictures(), 0);
}

TEST_F(ShelfViewTest, ASnapshotOnScreenLeavesTheChangeOfStateToTheMorph) {
    const Item a = textItem(QStringLiteral("a"));
    m_panel->orderFront();
    show(TarvoState::resting, {a});
    m_view->setStripState(TarvoState::resting, false);
    // The controller's order: the snapshot with the new state, then the morph.
    show(TarvoState::tab, {a});
    EXPECT_EQ(m_view->state(), TarvoState::tab);
    m_view->setStripState(TarvoState::tab, true);
    EXPECT_TRUE(m_view->scene().islandLayer->animation("morph"));
    EXPECT_EQ(m_view->islandRect().height, 32);

    // A snapshot alone gets its state laid out once the event loop turns.
    show(TarvoState::resting, {a});
    EXPECT_EQ(m_view->state(), TarvoState::resting);
    QCoreApplication::processEvents();
    EXPECT_EQ(m_view->scene().state(), TarvoState::resting);
    EXPECT_EQ(m_view->islandRect().height, 92);
}

TEST_F(ShelfViewTest, TheStripFadesOnlyAtAnEndPastWhichMoreItemsLie) {
    std::vector<Item> items;
    for (int i = 0; i < 6; ++i)
        items.push_back(textItem(QStringLiteral("item %1").arg(i)));
    const Layer* mask = m_view->itemsRoot().mask();
    ASSERT_NE(mask, nullptr);
    auto fades = [mask] {
        const std::vector<Color>& colors = mask->model().colors;
        return std::pair{!colors.front().isVisible(), !colors.back().isVisible()};
    };
    show(TarvoState::resting, {items[0], items[1]});
    EXPECT_EQ(fades(), std::pair(false, false)); // everything fits
    show(TarvoState::resting, items);
    EXPECT_EQ(fades(), std::pair(false, true));
    m_view->scrollItems(-100);
    EXPECT_EQ(fades(), std::pair(true, true));
    m_view->scrollItems(-1000);
    EXPECT_EQ(fades(), std::pair(true, false));
    EXPECT_EQ(mask->frame(), m_view->itemsRoot().bounds());
}

TEST_F(ShelfViewTest, ALayoutPassWakesNoFrame) {
    const Item a = textItem(QStringLiteral("a"));
    show(TarvoState::resting, {a});
    m_clock.advance(1.0, 0.1);
    ASSERT_FALSE(m_clock.isRunning());
    show(TarvoState::resting, {a});
    m_view->setIslandWidth(240);
    m_view->scrollItems(10);
    m_view->layoutContents();
    EXPECT_FALSE(m_clock.isRunning());
}

TEST_F(ShelfViewTest, ARemovedItemShrinksAndFadesOutBeforeItLeavesTheTree) {
    const Item a = textItem(QStringLiteral("a"));
    const Item b = textItem(QStringLiteral("b"));
    show(TarvoState::resting, {a, b});
    m_view->setThumbnail(QImage(8, 8, QImage::Format_ARGB32), b.id);
    const std::shared_ptr<ItemLayer> leaving = m_view->itemLayers().at(b.id);
    show(TarvoState::resting, {a});
    EXPECT_FALSE(m_view->itemLayers().contains(b.id));
    EXPECT_FALSE(m_view->thumbnail(b.id));
    EXPECT_TRUE(inTree(*m_view->rootLayer(), leaving.get()));
    EXPECT_TRUE(leaving->animation("remove-fade"));
    EXPECT_TRUE(leaving->animation("remove-scale"));
    EXPECT_EQ(leaving->opacity(), 0);
    m_clock.advance(0.07);
    const LayerProperties halfway = leaving->presentation();
    EXPECT_GT(halfway.opacity, 0);
    EXPECT_LT(halfway.opacity, 1);
    EXPECT_LT(halfway.transform.scaleX, 1);
    EXPECT_GT(halfway.transform.scaleX, Motion::removeToScale);
    m_clock.advance(0.1);
    EXPECT_FALSE(inTree(*m_view->rootLayer(), leaving.get()));
    // The same item coming back has no picture until it is handed in again.
    show(TarvoState::resting, {a, b});
    EXPECT_FALSE(m_view->thumbnail(b.id));
}

TEST_F(ShelfViewTest, ALandingItemSpringsInOverABloomWithItsNameLate) {
    std::vector<Item> stored;
    for (int i = 0; i < 6; ++i)
        stored.push_back(textItem(QStringLiteral("stored %1").arg(i)));
    show(TarvoState::resting, stored);
    m_view->scrollItems(-100);
    ASSERT_GT(m_view->itemScroll(), 0);

    const Item fresh = textItem(QStringLiteral("fresh"));
    stored.insert(stored.begin(), fresh);
    show(TarvoState::resting, stored);
    EXPECT_EQ(m_view->itemScroll(), 0); // back to the start, where it lands
    const ItemLayer& layer = *m_view->itemLayers().at(fresh.id);
    const auto* scale = dynamic_cast<const SpringAnimation*>(layer.animation("land-scale"));
    ASSERT_NE(scale, nullptr);
    EXPECT_DOUBLE_EQ(scale->stiffness, Motion::land().stiffness());
    EXPECT_DOUBLE_EQ(scale->damping, Motion::land().damping());
    EXPECT_TRUE(layer.animation("land-fade"));
    ASSERT_FALSE(layer.sublayers().empty());
    const auto* bloom = dynamic_cast<const GradientLayer*>(layer.sublayers().front().get());
    ASSERT_NE(bloom, nullptr);
    EXPECT_EQ(bloom->frame(), (Rect{-16, -16, 88, 88}));
    EXPECT_TRUE(bloom->animation("bloom-fade"));
    EXPECT_TRUE(bloom->animation("bloom-swell"));
    // The name waits 0.12 seconds, then fades in.
    m_clock.advance(0.1);
    EXPECT_EQ(layer.nameLabel->presentation().opacity, 0);
    m_clock.advance(0.1);
    EXPECT_GT(layer.nameLabel->presentation().opacity, 0);
    m_clock.advance(0.5, 0.1);
    EXPECT_EQ(sublayerNamed(layer, "bloom"), nullptr);
    EXPECT_EQ(layer.presentation().opacity, 1);
    EXPECT_EQ(layer.presentation().transform.scaleX, 1);
    EXPECT_FALSE(m_clock.isRunning());
}

TEST_F(ShelfViewTest, WithReduceMotionALandingIsOnlyAShortScaleAndFade) {
    m_display.setReduceMotion(true);
    const Item stored = textItem(QStringLiteral("stored"));
    show(TarvoState::resting, {stored});
    const Item fresh = textItem(QStringLiteral("fresh"));
    show(TarvoState::resting, {fresh, stored});
    const ItemLayer& layer = *m_view->itemLayers().at(fresh.id);
    const auto* scale = dynamic_cast<const BasicAnimation*>(layer.animation("land-scale"));
    ASSERT_NE(scale, nullptr);
    EXPECT_DOUBLE_EQ(scale->duration, Motion::reducedMotionDuration);
    EXPECT_TRUE(layer.animation("land-fade"));
    EXPECT_EQ(sublayerNamed(layer, "bloom"), nullptr);
    EXPECT_FALSE(layer.nameLabel->animation("land-label"));
}

TEST_F(ShelfViewTest, TheCaptionFollowsTheHoverAfterANoticeAndBeforeASingleSelection) {
    const Item a = textItem(QStringLiteral("holiday.png"));
    const Item b = textItem(QStringLiteral("minutes of the meeting.txt"));
    show(TarvoState::resting, {a, b});
    EXPECT_FALSE(m_view->chipFrame());

    hover(a);
    EXPECT_EQ(m_view->captionChip().text(), a.displayName);
    const std::optional<Rect> chip = m_view->chipFrame();
    ASSERT_TRUE(chip);
    // Its top 5 points under the island, centred.
    EXPECT_EQ(chip->maxY(), m_view->visibleBottom() - 5);
    EXPECT_NEAR(chip->midX(), 180, 0.5);
    EXPECT_EQ(chip->height, 24);

    m_view->setNotice(QStringLiteral("Removed 3 items"));
    EXPECT_EQ(m_view->captionChip().text(), QStringLiteral("Removed 3 items"));
    m_view->setNotice(std::nullopt);
    EXPECT_EQ(m_view->captionChip().text(), a.displayName);

    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(m_view, &leave);
    EXPECT_FALSE(m_view->chipFrame());
    m_view->update({a, b}, {b.id}, TarvoState::resting, {});
    EXPECT_EQ(m_view->captionChip().text(), b.displayName);
    m_view->update({a, b}, {a.id, b.id}, TarvoState::resting, {});
    EXPECT_FALSE(m_view->chipFrame());
    m_view->update({a, b}, {b.id}, TarvoState::tab, {});
    EXPECT_FALSE(m_view->chipFrame());
    m_view->setNotice(QStringLiteral("Copied"));
    EXPECT_TRUE(m_view->chipFrame()); // a notice shows even on the tab
    m_view->update({a, b}, {b.id}, TarvoState::hidden, {});
    EXPECT_FALSE(m_view->chipFrame());
}

TEST_F(ShelfViewTest, TheCaptionMovesToANewTextAndJumpsWithReduceMotion) {
    const Item a = textItem(QStringLiteral("a.png"));
    const Item b = textItem(QStringLiteral("a much longer name of a file.txt"));
    show(TarvoState::resting, {a, b});
    hover(a);
    const Layer& chip = *m_view->captionChip().layer();
    EXPECT_FALSE(chip.hasAnimations()); // the first caption shows at once
    const double narrow = chip.bounds().width;
    hover(b);
    EXPECT_GT(chip.bounds().width, narrow);
    EXPECT_TRUE(chip.animation("move-bounds"));
    EXPECT_NEAR(chip.presentation().bounds.width, narrow, 0.01);
    m_clock.advance(0.2);
    EXPECT_FALSE(chip.hasAnimations());

    m_display.setReduceMotion(true);
    hover(a);
    EXPECT_FALSE(chip.hasAnimations());
    EXPECT_EQ(chip.bounds().width, narrow);
}

TEST_F(ShelfViewTest, ContentsScaleFollowsTheWindowsPixelRatio) {
    // Before the window exists the layers are drawn for a dense screen.
    TarvoView loose(&m_clock, &m_display);
    loose.resize(360, 132);
    const Item a = textItem(QStringLiteral("a"));
    loose.update({a}, {}, TarvoState::resting, {});
    EXPECT_EQ(loose.contentsScale(), 2);
    EXPECT_EQ(loose.itemLayers().at(a.id)->model().contentsScale, 2);

    show(TarvoState::resting, {a});
    m_panel->orderFront();
    const double ratio = m_view->devicePixelRatioF();
    EXPECT_EQ(m_view->contentsScale(), ratio);
    EXPECT_EQ(m_view->rootLayer()->model().contentsScale, ratio);
    EXPECT_EQ(m_view->scene().emptyLabel->model().contentsScale, ratio);
    EXPECT_EQ(m_view->captionChip().label()->model().contentsScale, ratio);
    const ItemLayer& tile = *m_view->itemLayers().at(a.id);
    EXPECT_EQ(tile.model().contentsScale, ratio);
    EXPECT_EQ(tile.nameLabel->model().contentsScale, ratio);
    // Items that come later take the window's ratio too.
    const Item b = textItem(QStringLiteral("b"));
    show(TarvoState::resting, {b, a});
    EXPECT_EQ(m_view->itemLayers().at(b.id)->model().contentsScale, ratio);
}

TEST_F(ShelfViewTest, ADimmedTabGlowFadesToAFaintLine) {
    m_view->setIslandWidth(120);
    show(TarvoState::tab, {textItem(QStringLiteral("a"))});
    const Layer& glow = *m_view->scene().tabGlow;
    m_view->setTabGlowDimmed(true);
    EXPECT_TRUE(m_view->tabGlowDimmed());
    EXPECT_EQ(glow.opacity(), IslandLayout::dimmedTabGlowOpacity);
    EXPECT_TRUE(glow.animation("fade"));
    m_clock.advance(0.2);
    EXPECT_EQ(glow.presentation().opacity, IslandLayout::dimmedTabGlowOpacity);
    m_view->setTabGlowDimmed(false);
    EXPECT_EQ(glow.opacity(), 1);
    // Outside the tab there is no glow, dimmed or not.
    m_view->setTabGlowDimmed(true);
    show(TarvoState::resting, {textItem(QStringLiteral("a"))});
    EXPECT_EQ(glow.opacity(), 0);
}

TEST_F(ShelfViewTest, IncreaseContrastIsReadWhenShownAndStrengthensIslandAndItems) {
    m_display.setIncreaseContrast(true);
    TarvoView strong(&m_clock, &m_display);
    EXPECT_FALSE(strong.increaseContrast());
    strong.resize(320, 132);
    strong.show();
    EXPECT_TRUE(strong.increaseContrast());
    m_display.setIncreaseContrast(false);

    const Item a = textItem(QStringLiteral("a"));
    show(TarvoState::resting, {a});
    const IslandScene& scene = m_view->scene();
    EXPECT_FALSE(scene.islandLayer->model().strokeColor.isVisible());
    m_view->setIncreaseContrast(true);
    EXPECT_TRUE(scene.islandLayer->model().strokeColor.isVisible());
    EXPECT_GT(scene.islandLayer->model().lineWidth, 0);
    EXPECT_TRUE(m_view->itemLayers().at(a.id)->increaseContrast());
    m_view->setIncreaseContrast(false);
    EXPECT_FALSE(scene.islandLayer->model().strokeColor.isVisible());
    EXPECT_FALSE(m_view->itemLayers().at(a.id)->increaseContrast());
}

TEST_F(ShelfViewTest, TheDestinationChipUnderAScreenPointIsAskedOnlyWhileTheRowShows) {
    std::vector<Point> asked;
    const QUuid chip = QUuid::createUuid();
    m_view->setDestinationChipLookup([&](Point p) {
        asked.push_back(p);
        return std::optional<QUuid>(chip);
    });
    m_panel->orderFront();
    show(TarvoState::dragging);
    m_view->setStripState(TarvoState::dragging, false);
    // No chips: the row is hidden.
    EXPECT_EQ(m_view->destinationChip({600, 700}), std::nullopt);
    EXPECT_TRUE(asked.empty());

    m_view->setDestinationRow(true, {200, 28});
    EXPECT_EQ(m_view->destinationRequiredWidth(), 232);
    const Rect row = m_view->destinationRowLayer().frame();
    EXPECT_EQ(row, (Rect{80, 8, 200, 28}));
    // The window's origin is (460, 668) on screen.
    EXPECT_EQ(m_view->destinationChip({460 + 80 + 10, 668 + 8 + 5}), chip);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], (Point{10, 5}));

    // A row of the chips' own takes the plain row's place, frame and opacity,
    // and rides with the island.
    const std::shared_ptr<Layer> kept = m_view->destinationRowLayer().shared_from_this();
    const Layer* plain = kept.get();
    const auto& siblings = m_view->rootLayer()->sublayers();
    const auto index = std::find_if(siblings.begin(), siblings.end(),
                                    [plain](const auto& layer) { return layer.get() == plain; }) -
                       siblings.begin();
    auto own = Layer::make();
    m_view->setDestinationRowLayer(own);
    EXPECT_EQ(&m_view->destinationRowLayer(), own.get());
    EXPECT_EQ(m_view->rootLayer()->sublayers()[std::size_t(index)], own);
    EXPECT_EQ(plain->superlayer(), nullptr);
    EXPECT_EQ(own->frame(), row);
    EXPECT_EQ(own->opacity(), 1);
    const std::vector<Layer*> riding = m_view->scene().ridingLayers();
    EXPECT_NE(std::find(riding.begin(), riding.end(), own.get()), riding.end());

    m_panel->orderOut();
    EXPECT_EQ(m_view->destinationChip({460 + 80 + 10, 668 + 8 + 5}), std::nullopt);
}

} // namespace
} // namespace tarvo::test
