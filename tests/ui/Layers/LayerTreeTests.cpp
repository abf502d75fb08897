#include "Animator.h"
#include "Layer.h"
#include "ShapeLayer.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <cmath>

using namespace tarvo;

namespace {

double opacityOf(const Layer& layer) {
    return layer.presentation().opacity;
}

struct Tree {
    SteppedAnimationClock clock;
    Animator animator{clock};
    std::shared_ptr<Layer> root = Layer::make();
    int repaints = 0;

    Tree() {
        root->setAnimator(&animator);
        root->setDisplayHandler([this] { ++repaints; });
    }
};

// Adds "disappear", a 0.4 s move that holds its end, in a transaction whose
// completion counts `runs`.
void addHeldDisappear(Tree& tree, Layer& layer, int& runs) {
    Transaction tx(tree.animator);
    tx.setCompletion([&runs] { ++runs; });
    BasicAnimation away(KeyPath::position, Point{}, Point{0, 50}, 0.4);
    away.removedOnCompletion = false;
    away.fillMode = FillMode::forwards;
    layer.addAnimation(away, "disappear");
}

} // namespace

TEST(LayerTree, FrameSetsBoundsAndPositionAboutTheAnchor) {
    auto layer = Layer::make();
    layer->setFrame({10, 20, 100, 40});
    EXPECT_EQ(layer->bounds(), (Rect{0, 0, 100, 40}));
    EXPECT_EQ(layer->position(), (Point{60, 40}));
    layer->setAnchorPoint({0, 0});
    layer->setFrame({10, 20, 100, 40});
    EXPECT_EQ(layer->position(), (Point{10, 20}));
    EXPECT_EQ(layer->frame(), (Rect{10, 20, 100, 40}));
}

TEST(LayerTree, SublayersMoveBetweenParentsAndChangesReachTheRoot) {
    Tree tree;
    auto a = Layer::make();
    auto b = Layer::make();
    auto child = Layer::make();
    tree.root->addSublayer(a);
    tree.root->addSublayer(b);
    a->addSublayer(child);
    b->addSublayer(child);
    EXPECT_TRUE(a->sublayers().empty());
    ASSERT_EQ(b->sublayers().size(), 1u);
    EXPECT_EQ(child->superlayer(), b.get());
    EXPECT_EQ(child->animator(), &tree.animator);

    const int before = tree.repaints;
    child->setOpacity(0.5);
    EXPECT_GT(tree.repaints, before);

    tree.root->insertSublayer(child, 0);
    EXPECT_EQ(tree.root->sublayers().front(), child);
    child->removeFromSuperlayer();
    EXPECT_EQ(child->superlayer(), nullptr);
    EXPECT_EQ(tree.root->sublayers().size(), 2u);
}

TEST(LayerTree, AnAnimationChangesThePresentationNeverTheModel) {
    Tree tree;
    auto layer = Layer::make();
    tree.root->addSublayer(layer);
    layer->setOpacity(0.2);
    layer->addAnimation(BasicAnimation(KeyPath::opacity, 0.0, 1.0, 1.0), "fade");
    EXPECT_DOUBLE_EQ(opacityOf(*layer), 0.0);
    tree.clock.advance(0.25);
    EXPECT_NEAR(opacityOf(*layer), 0.25, 1e-9);
    EXPECT_DOUBLE_EQ(layer->opacity(), 0.2);
    tree.clock.advance(0.75);
    // Finished and removed: the model shows again.
    EXPECT_EQ(layer->animation("fade"), nullptr);
    EXPECT_DOUBLE_EQ(opacityOf(*layer), 0.2);
}

TEST(LayerTree, FillModesHoldValuesOutsideTheActiveTime) {
    Tree tree;
    auto layer = Layer::make();
    tree.root->addSublayer(layer);

    BasicAnimation late(KeyPath::opacity, 0.0, 1.0, 0.5);
    late.beginTime = tree.clock.now() + 0.5;
    late.fillMode = FillMode::backwards;
    layer->addAnimation(late, "late");
    EXPECT_DOUBLE_EQ(opacityOf(*layer), 0.0); // held before it starts

    BasicAnimation kept(KeyPath::position, Point{0, 0}, Point{0, 50}, 0.2);
    kept.fillMode = FillMode::forwards;
    kept.removedOnCompletion = false;
    layer->addAnimation(kept, "kept");
    tree.clock.advance(0.3);
    EXPECT_EQ(layer->presentation().position, (Point{0, 50}));
    EXPECT_NE(layer->animation("kept"), nullptr);

    tree.clock.advance(1.0);
    EXPECT_EQ(layer->animation("late"), nullptr);
    EXPECT_EQ(layer->presentation().position, (Point{0, 50}));
    layer->removeAnimation("kept");
    EXPECT_EQ(layer->presentation().position, (Point{0, 0}));
}

TEST(LayerTree, AddingUnderAKeyInUseReplacesFromWhatIsOnScreen) {
    Tree tree;
    auto layer = Layer::make();
    tree.root->addSublayer(layer);
    layer->setPosition({0, 100});
    layer->addAnimation(BasicAnimation(KeyPath::position, Point{0, 0}, Point{0, 100}, 1.0), "move");
    tree.clock.advance(0.5);
    const Point midway = layer->presentation().position;
    EXPECT_NEAR(midway.y, 50, 1e-9);

    // No start value: it starts where the first one had got to.
    layer->addAnimation(BasicAnimation(KeyPath::position, std::nullopt, Point{0, 0}, 1.0), "move");
    EXPECT_EQ(layer->animationKeys(), std::vector<std::string>{"move"});
    EXPECT_NEAR(layer->presentation().position.y, 50, 1e-9);
    tree.clock.advance(0.5);
    EXPECT_NEAR(layer->presentation().position.y, 25, 1e-9);
}

TEST(LayerTree, TimingCurvesShapeProgress) {
    struct Case {
        const char* name;
        TimingCurve curve;
        double at;
        double expected;
    };
    const Case cases[] = {
        {"linear", TimingCurve::linear(), 0.5, 0.5},
        {"ease-out starts fast", TimingCurve::easeOut(), 0.25, 0.3781},
        {"ease-out half way", TimingCurve::easeOut(), 0.5, 0.6846},
        {"ease-in-out is symmetric", TimingCurve::easeInEaseOut(), 0.5, 0.5},
        {"ease-in-out slow start", TimingCurve::easeInEaseOut(), 0.1, 0.0198},
        {"ends", TimingCurve::easeOut(), 1.0, 1.0},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(c.curve.value(c.at), c.expected, 5e-4) << c.name;
}

TEST(LayerTree, KeyframesAndGroupsRunTheirParts) {
    Tree tree;
    auto layer = Layer::make();
    tree.root->addSublayer(layer);
    KeyframeAnimation frames(KeyPath::opacity, {0.0, 1.0, 0.5}, 1.0);
    frames.keyTimes = {0, 0.2, 1};
    layer->addAnimation(frames, "pulse");
    tree.clock.advance(0.1);
    EXPECT_NEAR(opacityOf(*layer), 0.5, 1e-9);
    tree.clock.advance(0.5);
    EXPECT_NEAR(opacityOf(*layer), 0.75, 1e-9);

    AnimationGroup group;
    group.duration = 1.0;
    BasicAnimation grow(KeyPath::transformScale, 1.0, 2.0, 0.5);
    BasicAnimation spin(KeyPath::transformRotationZ, 0.0, 1.0, 0.5);
    spin.beginTime = 0.5;
    group.add(grow);
    group.add(spin);
    layer->addAnimation(group, "group");
    tree.clock.advance(0.25);
    EXPECT_NEAR(layer->presentation().transform.scaleX, 1.5, 1e-9);
    EXPECT_NEAR(layer->presentation().transform.rotation, 0.0, 1e-9);
    tree.clock.advance(0.5);
    EXPECT_NEAR(layer->presentation().transform.scaleY, 1.0, 1e-9);
    EXPECT_NEAR(layer->presentation().transform.rotation, 0.5, 1e-9);
}

TEST(LayerTree, PathsBlendPointByPoint) {
    Tree tree;
    auto shape = ShapeLayer::make();
    tree.root->addSublayer(shape);
    QPainterPath from;
    from.addRect(0, 0, 10, 10);
    QPainterPath to;
    to.addRect(0, 0, 30, 20);
    shape->setPath(to);
    shape->addAnimation(BasicAnimation(KeyPath::path, from, to, 1.0), "morph");
    tree.clock.advance(0.5);
    const QRectF box = shape->presentation().path.boundingRect();
    EXPECT_NEAR(box.width(), 20, 1e-9);
    EXPECT_NEAR(box.height(), 15, 1e-9);
}

TEST(LayerTree, TheClockRunsOnlyWhileSomethingMoves) {
    Tree tree;
    auto layer = Layer::make();
    tree.root->addSublayer(layer);
    EXPECT_FALSE(tree.clock.isRunning());
    layer->setOpacity(0.3); // setting a value never animates
    EXPECT_FALSE(tree.clock.isRunning());
    {
        // A layout pass: values set inside a transaction that adds nothing
        // and waits for nothing asks for no frame.
        Transaction layout(tree.animator);
        layer->setPosition({4, 4});
    }
    EXPECT_FALSE(tree.clock.isRunning());
    layer->addAnimation(BasicAnimation(KeyPath::opacity, 0.0, 1.0, 0.3), "fade");
    EXPECT_TRUE(tree.clock.isRunning());
    EXPECT_TRUE(tree.animator.isAnimating());
    const int before = tree.repaints;
    tree.clock.advance(0.1);
    EXPECT_GT(tree.repaints, before); // each frame repaints
    tree.clock.advance(0.3);
    EXPECT_FALSE(tree.clock.isRunning());
    EXPECT_FALSE(tree.animator.isAnimating());

    // One that stays after it ends needs no more frames either.
    BasicAnimation held(KeyPath::opacity, 0.0, 1.0, 0.2);
    held.removedOnCompletion = false;
    held.fillMode = FillMode::forwards;
    layer->addAnimation(held, "held");
    tree.clock.advance(0.3);
    EXPECT_FALSE(tree.clock.isRunning());
    EXPECT_NE(layer->animation("held"), nullptr);
}

TEST(LayerTree, AnimationsAddedBeforeTheLayerJoinsATreeStartWhenItJoins) {
    Tree tree;
    auto layer = Layer::make();
    layer->addAnimation(BasicAnimation(KeyPath::opacity, 0.0, 1.0, 1.0), "fade");
    tree.clock.advance(5);
    tree.root->addSublayer(layer);
    EXPECT_TRUE(tree.clock.isRunning());
    tree.clock.advance(0.5);
    EXPECT_NEAR(opacityOf(*layer), 0.5, 1e-9);
}

TEST(Transactions, CompletionRunsOnceAfterEveryAnimationInsideHasEnded) {
    Tree tree;
    auto a = Layer::make();
    auto b = Layer::make();
    tree.root->addSublayer(a);
    tree.root->addSublayer(b);
    int runs = 0;
    {
        Transaction tx(tree.animator);
        tx.setCompletion([&] { ++runs; });
        a->addAnimation(BasicAnimation(KeyPath::opacity, 0.0, 1.0, 0.2), "fade");
        b->addAnimation(BasicAnimation(KeyPath::opacity, 0.0, 1.0, 0.5), "fade");
    }
    // Added after the commit: not waited for.
    a->addAnimation(BasicAnimation(KeyPath::position, Point{}, Point{1, 1}, 5.0), "move");
    tree.clock.advance(0.3);
    EXPECT_EQ(runs, 0);
    tree.clock.advance(0.3);
    EXPECT_EQ(runs, 1);
    tree.clock.advance(5);
    EXPECT_EQ(runs, 1);
}

TEST(Transactions, RemovedOrReplacedAnimationsCountAsEnded) {
    Tree tree;
    auto layer = Layer::make();
    tree.root->addSublayer(layer);
    int runs = 0;
    addHeldDisappear(tree, *layer, runs);
    tree.clock.advance(0.1);
    layer->removeAnimation("disappear");
    EXPECT_EQ(runs, 0); // never inside the call that ended it
    tree.clock.advance(0.01);
    EXPECT_EQ(runs, 1);

    // Nothing added at all: it runs on the next frame.
    {
        Transaction tx(tree.animator);
        tx.setCompletion([&] { ++runs; });
    }
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(tree.clock.isRunning());
    tree.clock.advance(0.01);
    EXPECT_EQ(runs, 2);
    EXPECT_FALSE(tree.clock.isRunning());
}

TEST(Transactions, AHeldAnimationCompletesWhenItsTimeIsUp) {
    Tree tree;
    auto layer = Layer::make();
    tree.root->addSublayer(layer);
    int runs = 0;
    addHeldDisappear(tree, *layer, runs);
    tree.clock.advance(0.5);
    EXPECT_EQ(runs, 1);
    EXPECT_NE(layer->animation("disappear"), nullptr);
    layer->removeAnimation("disappear");
    tree.clock.advance(0.1);
    EXPECT_EQ(runs, 1);
}

TEST(Transactions, ALayerDestroyedMidFlightEndsItsAnimations) {
    Tree tree;
    int runs = 0;
    {
        auto layer = Layer::make();
        tree.root->addSublayer(layer);
        Transaction tx(tree.animator);
        tx.setCompletion([&] { ++runs; });
        layer->addAnimation(BasicAnimation(KeyPath::opacity, 1.0, 0.0, 1.0), "remove-fade");
        tx.commit();
        layer->removeFromSuperlayer();
    }
    tree.clock.advance(0.01);
    EXPECT_EQ(runs, 1);
}

TEST(FrameClock, TicksWhileRunningAndNeverAfterStop) {
    FrameClock clock(60);
    int ticks = 0;
    clock.setTickHandler([&] {
        if (++ticks == 3)
            clock.stop();
    });
    EXPECT_GT(clock.now(), 0);
    clock.start();
    QElapsedTimer waited;
    waited.start();
    while (clock.isRunning() && waited.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_EQ(ticks, 3);
    // Stopped: nothing more comes, however long the loop runs.
    waited.restart();
    while (waited.elapsed() < 200)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_EQ(ticks, 3);
    EXPECT_EQ(clock.framesTicked(), 3);
}
