#include "Animator.h"
#include "GradientLayer.h"
#include "LayerPainter.h"
#include "ShapeLayer.h"
#include "TextLayer.h"

#include <gtest/gtest.h>

#include <QPainter>

using namespace tarvo;

namespace {

// The pixel under a point of the tree (y upwards, in points).
QColor at(const QImage& image, double x, double y) {
    const double r = image.devicePixelRatio();
    const int px = static_cast<int>(x * r);
    const int py = static_cast<int>(image.height() - y * r);
    return image.pixelColor(px, py);
}

} // namespace

TEST(LayerPainter, DrawsWithYUpwardsAtEveryRatio) {
    for (double ratio : {1.0, 2.0}) {
        auto root = Layer::make();
        root->setFrame({0, 0, 100, 50});
        auto low = Layer::make();
        low->setFrame({10, 5, 20, 10});
        low->setBackgroundColor(Color::rgb(1, 0, 0));
        root->addSublayer(low);
        LayerPainter painter;
        const QImage image = painter.render(*root, {100, 50}, ratio);
        ASSERT_EQ(image.width(), static_cast<int>(100 * ratio));
        EXPECT_EQ(at(image, 20, 10), QColor(Qt::red)) << ratio;
        EXPECT_EQ(at(image, 20, 40).alpha(), 0) << ratio;
        EXPECT_EQ(at(image, 50, 10).alpha(), 0) << ratio;
    }
}

TEST(LayerPainter, AppliesOpacityTransformAndThePresentation) {
    SteppedAnimationClock clock;
    Animator animator(clock);
    auto root = Layer::make();
    root->setAnimator(&animator);
    root->setFrame({0, 0, 100, 100});
    auto box = Layer::make();
    box->setFrame({40, 40, 20, 20});
    box->setBackgroundColor(Color::rgb(0, 0, 1));
    box->setTransform(Transform::scale(2)); // about its centre: 30..70
    root->addSublayer(box);
    LayerPainter painter;
    QImage image = painter.render(*root, {100, 100}, 1);
    EXPECT_EQ(at(image, 32, 50), QColor(Qt::blue));

    box->addAnimation(BasicAnimation(KeyPath::opacity, 0.5, 0.5, 1.0), "fade");
    image = painter.render(*root, {100, 100}, 1);
    EXPECT_NEAR(at(image, 50, 50).alphaF(), 0.5, 0.01);
}

TEST(LayerPainter, ShapesStrokesGradientsAndText) {
    auto root = Layer::make();
    root->setFrame({0, 0, 200, 100});
    auto shape = ShapeLayer::make();
    shape->setFrame({0, 0, 200, 100});
    QPainterPath circle;
    circle.addEllipse(QPointF(50, 50), 20, 20);
    shape->setPath(circle);
    shape->setFillColor(Color::clear());
    shape->setStrokeColor(Color::rgb(0, 1, 0));
    shape->setLineWidth(4);
    shape->setStrokeEnd(0.5); // from the rightmost point, counter-clockwise over the top
    root->addSublayer(shape);

    auto fade = GradientLayer::make();
    fade->setFrame({100, 0, 100, 20});
    fade->setColors({Color::white(1, 0), Color::white(1, 1)});
    fade->setPoints({0, 0.5}, {1, 0.5});
    root->addSublayer(fade);

    auto text = TextLayer::make();
    text->setFrame({100, 40, 100, 30});
    text->setString(QStringLiteral("Drop here"));
    text->setFont(14, FontWeight::bold);
    text->setForegroundColor(Color::white(1));
    root->addSublayer(text);

    LayerPainter painter;
    const QImage image = painter.render(*root, {200, 100}, 2);
    EXPECT_GT(at(image, 50, 70).green(), 200); // top of the circle: drawn
    EXPECT_EQ(at(image, 50, 30).alpha(), 0);   // bottom: past the stroke's end
    EXPECT_LT(at(image, 105, 10).alpha(), 40);
    EXPECT_GT(at(image, 195, 10).alpha(), 220);
    int lit = 0;
    for (int y = 40 * 2; y < 70 * 2; ++y) {
        for (int x = 100 * 2; x < 200 * 2; ++x)
            lit += image.pixelColor(x, image.height() - 1 - y).alpha() > 128 ? 1 : 0;
    }
    EXPECT_GT(lit, 200);
}

TEST(LayerPainter, ShadowsAreBlurredOffsetAndCached) {
    auto root = Layer::make();
    root->setFrame({0, 0, 200, 200});
    auto shape = ShapeLayer::make();
    shape->setFrame({0, 0, 200, 200});
    QPainterPath box;
    box.addRect(50, 80, 100, 60);
    shape->setPath(box);
    shape->setFillColor(Color::rgb(1, 1, 1));
    shape->setShadow(Color::rgb(0, 0, 0), 1.0, 16, {0, -20});
    root->addSublayer(shape);
    LayerPainter painter;
    const QImage image = painter.render(*root, {200, 200}, 2);
    EXPECT_EQ(painter.cachedShadowCount(), 1);
    const QColor below = at(image, 100, 70); // under the shape, where the shadow falls
    const QColor above = at(image, 100, 150);
    EXPECT_GT(below.alpha(), 100);
    EXPECT_LT(above.alpha(), below.alpha());
    // Soft: it fades out with distance.
    EXPECT_GT(at(image, 100, 62).alpha(), at(image, 100, 45).alpha());
    painter.render(*root, {200, 200}, 2);
    EXPECT_EQ(painter.cachedShadowCount(), 1);
}

TEST(LayerPainter, MasksLimitWhatALayerShows) {
    auto root = Layer::make();
    root->setFrame({0, 0, 100, 100});
    auto face = Layer::make();
    face->setFrame({0, 0, 100, 100});
    face->setBackgroundColor(Color::rgb(1, 0, 0));
    auto clip = ShapeLayer::make();
    clip->setFrame({0, 0, 100, 100});
    QPainterPath lower;
    lower.addRect(0, 0, 100, 50);
    clip->setPath(lower);
    face->setMask(clip);
    root->addSublayer(face);

    auto strip = Layer::make();
    strip->setFrame({0, 60, 100, 40});
    strip->setBackgroundColor(Color::rgb(0, 0, 1));
    auto ends = GradientLayer::make();
    ends->setFrame({0, 0, 100, 40});
    ends->setColors(
        {Color::white(0, 0), Color::white(0, 1), Color::white(0, 1), Color::white(0, 0)});
    ends->setLocations({0, 0.2, 0.8, 1});
    ends->setPoints({0, 0.5}, {1, 0.5});
    strip->setMask(ends);
    root->addSublayer(strip);

    LayerPainter painter;
    for (double ratio : {1.0, 2.0}) {
        const QImage image = painter.render(*root, {100, 100}, ratio);
        EXPECT_EQ(at(image, 50, 25), QColor(Qt::red)) << ratio;
        EXPECT_EQ(at(image, 50, 55).alpha(), 0) << ratio;
        EXPECT_GT(at(image, 50, 80).alpha(), 250) << ratio;
        EXPECT_LT(at(image, 1, 80).alpha(), 20) << ratio;
    }
}
