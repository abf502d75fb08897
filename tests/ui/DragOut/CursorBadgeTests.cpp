#include "Golden.h"

#include "TarvoCore/L10n.h"
#include "TarvoPlatform/memory/FakeClock.h"
#include "TarvoPlatform/memory/MemoryDisplayOptions.h"
#include "TarvoPlatform/memory/MemoryPanelWindowSystem.h"
#include "TarvoPlatform/memory/MemoryScreens.h"
#include "CursorBadge.h"
#include "IconRenderer.h"

#include <QPainter>

#include <gtest/gtest.h>

namespace tarvo {
namespace {

const ImageOptions jpeg2000{ImageFormat::jpeg, 2000, 0.85, true};
const ResolvedDestination editor{QStringLiteral("org.xfce.mousepad"), AppCategory::terminalOrEditor,
                                 std::nullopt};

TEST(BadgeContent, ResolvesTheDeliveryForAnApplicationWithABatchPrefix) {
    const QString dot = QStringLiteral(" \u00B7 ");
    const struct {
        const char* name;
        std::optional<Delivery> delivery;
        ResolvedDestination destination;
        qsizetype count;
        BadgeContent expected;
    } cases[] = {
        {"one item, converted",
         Delivery::image(jpeg2000),
         editor,
         1,
         {Delivery::image(jpeg2000).badgeText(), true, editor.bundleID}},
        {"two items",
         Delivery::plainText(),
         editor,
         2,
         {L10n::badgeBatch(2) + dot + L10n::badgePlainText(), true, editor.bundleID}},
        {"the original is no conversion",
         Delivery::original(),
         editor,
         1,
         {L10n::badgeOriginal(), false, editor.bundleID}},
        {"no application under the pointer",
         Delivery::pdf(),
         ResolvedDestination::unknown(),
         1,
         {L10n::badgeOriginal(), false, std::nullopt}},
        {"no delivery decided",
         std::nullopt,
         editor,
         3,
         {L10n::badgeBatch(3) + dot + L10n::badgeOriginal(), false, editor.bundleID}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(BadgeContent::resolve(c.delivery, c.destination, c.count), c.expected) << c.name;
    EXPECT_EQ(BadgeContent::initial(), (BadgeContent{L10n::badgeOriginal(), false, std::nullopt}));
}

class BadgeWindowTest : public ::testing::Test {
protected:
    BadgeWindowTest() {
        ScreenMetrics screen;
        screen.frame = {0, 0, 1280, 800};
        screens.screens.push_back(screen);
        ScreenMetrics right;
        right.frame = {1280, 0, 1000, 800};
        screens.screens.push_back(right);
    }

    BadgeWindow make(const DisplayOptions* options = nullptr) {
        return BadgeWindow(clock, screens, &windows, options ? options : &display,
                           [this](const QString& id, double ratio) {
                               ++iconLookups;
                               QImage icon = IconRenderer::render(int(14 * ratio));
                               icon.setDevicePixelRatio(ratio);
                               return id == QStringLiteral("none") ? QImage() : icon;
                           });
    }

    FakeClock clock;
    MemoryScreens screens;
    MemoryPanelWindowSystem windows;
    MemoryDisplayOptions display;
    int iconLookups = 0;
};

TEST_F(BadgeWindowTest, ShowsOnlyAMomentAfterTheFirstExitOfAStayOutside) {
    BadgeWindow badge = make();
    const Date start = clock.now();
    badge.cursorLeftTarvo(start);
    clock.advance(0.1);
    badge.cursorLeftTarvo(clock.now());
    EXPECT_EQ(badge.timing().leftTarvoAt, start);
    clock.advance(0.079);
    EXPECT_FALSE(badge.isShowing());
    clock.advance(0.002);
    EXPECT_TRUE(badge.isShowing());

    // Coming back hides it; leaving again starts a new wait.
    badge.cursorEnteredTarvo();
    EXPECT_FALSE(badge.isShowing());
    EXPECT_FALSE(badge.timing().leftTarvoAt);
    badge.cursorLeftTarvo(clock.now());
    clock.advance(0.17);
    EXPECT_FALSE(badge.isShowing());
    clock.advance(0.02);
    EXPECT_TRUE(badge.isShowing());
}

TEST_F(BadgeWindowTest, HidingBeforeTheDelayMeansItNeverShows) {
    BadgeWindow badge = make();
    badge.cursorLeftTarvo(clock.now());
    clock.advance(0.1);
    badge.hide();
    clock.advance(1);
    EXPECT_FALSE(badge.isShowing());
    EXPECT_FALSE(badge.badge().isVisible());
    EXPECT_EQ(clock.pendingCount(), 0u);
}

TEST_F(BadgeWindowTest, HangsBesideThePointerAndStaysFourPointsInsideItsScreen) {
    BadgeWindow badge = make();
    badge.apply({QStringLiteral("Plain text"), true, editor.bundleID});
    const double w = badge.frame().width;
    ASSERT_EQ(w, badge.badge().fittingSize().width());
    ASSERT_GT(w, 34);
    const struct {
        const char* name;
        QPointF cursor;
        std::optional<Rect> screen;
        double x;
        double y;
    } cases[] = {
        {"right of and below the hot spot", {100, 400}, Rect{0, 0, 1280, 800}, 108, 366},
        {"near the right edge", {1270, 400}, Rect{0, 0, 1280, 800}, 1280 - w - 4, 366},
        {"near the bottom", {100, 20}, Rect{0, 0, 1280, 800}, 108, 4},
        {"on the second screen's left edge", {1281, 400}, Rect{1280, 0, 1000, 800}, 1289, 366},
        {"over no screen", {-50, -50}, std::nullopt, -42, -84},
        {"a screen smaller than the pill", {5, 5}, Rect{0, 0, 10, 10}, 10 - w - 4, 10 - 22 - 4},
    };
    for (const auto& c : cases) {
        badge.follow(c.cursor, c.screen);
        EXPECT_EQ(badge.frame().x, c.x) << c.name;
        EXPECT_EQ(badge.frame().y, c.y) << c.name;
    }
}

TEST_F(BadgeWindowTest, TheWindowNeverTakesThePointerAndIsCutToThePillWithoutACompositor) {
    windows.compositor = false;
    BadgeWindow badge = make();
    EXPECT_TRUE(badge.badge().windowFlags().testFlag(Qt::WindowTransparentForInput));
    EXPECT_TRUE(badge.badge().windowFlags().testFlag(Qt::ToolTip));
    badge.apply({QStringLiteral("PNG"), true, editor.bundleID});
    badge.cursorLeftTarvo(clock.now());
    clock.advance(1);
    ASSERT_TRUE(badge.isShowing());
    // Cut to the pill: the corners are out, the middle is in.
    const QRegion mask = badge.badge().mask();
    const QSizeF size = badge.badge().fittingSize();
    EXPECT_FALSE(mask.contains(QPoint(0, 0)));
    EXPECT_FALSE(mask.contains(QPoint(int(size.width()) - 1, 21)));
    EXPECT_TRUE(mask.contains(QPoint(int(size.width() / 2), 11)));

    // With a compositor the window is whole and painted translucent.
    windows.compositor = true;
    badge.hide();
    badge.cursorLeftTarvo(clock.now());
    clock.advance(1);
    EXPECT_TRUE(badge.badge().mask().isEmpty());
}

TEST_F(BadgeWindowTest, ReduceTransparencyMakesItOpaqueAndReduceMotionShowsItAtOnce) {
    MemoryDisplayOptions options;
    options.setReduceTransparency(true);
    options.setReduceMotion(true);
    BadgeWindow badge = make(&options);
    badge.cursorLeftTarvo(clock.now());
    clock.advance(0.2);
    EXPECT_TRUE(badge.badge().isOpaque());
    EXPECT_EQ(badge.badge().paintedOpacity(), 1.0);

    options.setReduceTransparency(false);
    badge.applyAccessibilitySettings();
    EXPECT_FALSE(badge.badge().isOpaque());
}

TEST_F(BadgeWindowTest, ThePillIsSizedForItsLabelAndIcon) {
    BadgeWindow badge = make();
    badge.apply({QStringLiteral("Original"), false, QStringLiteral("none")});
    const BadgeView& view = badge.badge();
    EXPECT_FALSE(view.showsIcon());
    EXPECT_EQ(view.fittingSize(), QSizeF(view.labelWidth() + 16, 22));
    EXPECT_EQ(view.labelFrame().x(), 8);
    badge.apply({QStringLiteral("Original"), false, editor.bundleID});
    EXPECT_TRUE(view.showsIcon());
    EXPECT_EQ(view.fittingSize(), QSizeF(view.labelWidth() + 34, 22));
    EXPECT_EQ(view.iconFrame(), QRectF(8, 4, 14, 14));
    EXPECT_EQ(view.labelFrame(), QRectF(26, 4, view.labelWidth(), 14));
    EXPECT_EQ(view.accessibleName(), QStringLiteral("Original"));
}

// The pill over a light desktop, as it is seen.
QImage picture(const BadgeView& view, int ratio) {
    const QSizeF size = view.fittingSize() + QSizeF(12, 12);
    QImage image(qCeil(size.width() * ratio), qCeil(size.height() * ratio),
                 QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(QColor(214, 218, 224));
    QPainter painter(&image);
    painter.translate(6, 6);
    view.paintPill(painter);
    return image;
}

TEST_F(BadgeWindowTest, GoldenPictures) {
    const struct {
        const char* name;
        BadgeContent content;
        bool opaque;
    } pictures[] = {
        {"badge-original", BadgeContent::initial(), false},
        {"badge-conversion", BadgeContent::resolve(Delivery::image(jpeg2000), editor, 1), false},
        {"badge-batch", BadgeContent::resolve(Delivery::path(), editor, 3), false},
        {"badge-original-app", BadgeContent::resolve(Delivery::original(), editor, 1), false},
        {"badge-opaque", BadgeContent::resolve(Delivery::plainText(), editor, 1), true},
    };
    for (int ratio : {1, 2}) {
        for (const auto& p : pictures) {
            BadgeView view;
            QImage icon;
            if (p.content.bundleID) {
                icon = IconRenderer::render(14 * ratio);
                icon.setDevicePixelRatio(ratio);
            }
            view.apply(p.content, icon);
            view.applyAccessibilitySettings(p.opaque);
            const QString name = QStringLiteral("%1@%2x.png").arg(QLatin1String(p.name)).arg(ratio);
            const QString mismatch = test::compareWithGolden(picture(view, ratio), name);
            EXPECT_TRUE(mismatch.isEmpty()) << mismatch.toStdString();
        }
    }
}

} // namespace
} // namespace tarvo
