#include "Golden.h"
#include "support/TempDir.h"

#include "IconRenderer.h"

#include <QPainter>

#include <gtest/gtest.h>

using namespace tarvo;

namespace {

QColor pixel(const QImage& image, int x, int y) {
    return image.pixelColor(x, y);
}

bool isWhite(const QColor& c) {
    return c.red() > 245 && c.green() > 245 && c.blue() > 245;
}

} // namespace

TEST(IconRenderer, NoImageForSizesBelowOne) {
    EXPECT_TRUE(IconRenderer::render(0).isNull());
    EXPECT_TRUE(IconRenderer::render(-4).isNull());
    EXPECT_EQ(IconRenderer::render(1).size(), QSize(1, 1));
}

TEST(IconRenderer, MarginIsTransparentAndTheTileIsCobalt) {
    const QImage image = IconRenderer::render(128);
    ASSERT_EQ(image.size(), QSize(128, 128));
    EXPECT_EQ(pixel(image, 3, 64).alpha(), 0) << "0.06 x size stays clear";
    const QColor side = pixel(image, 12, 64);
    EXPECT_EQ(side.alpha(), 255);
    EXPECT_GT(side.blue(), side.red() + 80);
    // The notch hangs from the top edge of the tile, centred.
    EXPECT_TRUE(isWhite(pixel(image, 64, 10)));
    // The sheet sits in the lower half, centred.
    EXPECT_TRUE(isWhite(pixel(image, 58, 70)));
}

TEST(IconRenderer, WritesEverySizeAndSaysWhichOneFailed) {
    test::TempDir dir;
    EXPECT_EQ(IconRenderer::writeAll(dir.path()), std::nullopt);
    for (const int size : IconRenderer::iconSizes) {
        const QImage written(dir.file(QStringLiteral("icon_%1.png").arg(size)));
        EXPECT_EQ(written.size(), QSize(size, size)) << size;
    }
    const auto failure = IconRenderer::writeAll(dir.file(QStringLiteral("missing/folder")));
    ASSERT_TRUE(failure);
    EXPECT_EQ(*failure, (IconRenderer::IconError{IconRenderer::IconError::Kind::writeFailed, 16}));
    EXPECT_EQ(failure->description(), QStringLiteral("could not write icon_16.png"));
}

TEST(IconRenderer, TextLinesNeverThinnerThanOnePixel) {
    EXPECT_DOUBLE_EQ(IconRenderer::lineWidth(48), 1.0);
    EXPECT_DOUBLE_EQ(IconRenderer::lineWidth(200), 2.6);
}

TEST(IconRenderer, DetailsSwitchOnBySize) {
    // Below the sheet's lower edge, where the shadow of the notch or the sheet
    // cannot reach: a darker pixel under the notch means a shadow was drawn.
    auto shadowUnderNotch = [](int size) {
        const QImage image = IconRenderer::render(size);
        const double inset = 0.06 * size;
        const double s = size - 2 * inset;
        const int x = size / 2;
        const int belowNotch = int(inset + 0.22 * s + 0.02 * s + 1);
        const int clear = int(inset + 0.22 * s + 0.12 * s);
        return pixel(image, x, belowNotch).value() < pixel(image, x, clear).value() - 4;
    };
    EXPECT_FALSE(shadowUnderNotch(16));
    EXPECT_TRUE(shadowUnderNotch(32));
    EXPECT_TRUE(shadowUnderNotch(128));

    // The fold triangle shows from 48: its pale blue is neither white nor cobalt.
    auto foldVisible = [](int size) {
        const QImage image = IconRenderer::render(size);
        const double inset = 0.06 * size;
        const double s = size - 2 * inset;
        const double m = 0.4 * s;
        const double c = 0.3 * m;
        const double right = inset + s / 2 + m / 2;
        const double top = inset + s - (0.3 * s + m); // y down
        // Inside the triangle: near its square corner at (right - c, top + c).
        const QColor fold = pixel(image, int(right - 0.7 * c), int(top + 0.7 * c));
        return fold.red() > 140 && fold.red() < 215;
    };
    EXPECT_FALSE(foldVisible(32));
    EXPECT_TRUE(foldVisible(48));
    EXPECT_TRUE(foldVisible(512));
}

TEST(IconRenderer, TileFaceCornerRadiusFollowsTheWidth) {
    QImage image(168, 168, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        IconRenderer::paintTileFace(painter, QRectF(0, 0, 168, 168));
    }
    // Radius 36.96: (5, 5) lies outside the rounded corner, (12, 12) inside.
    EXPECT_EQ(pixel(image, 5, 5).alpha(), 0);
    EXPECT_EQ(pixel(image, 12, 12).alpha(), 255);
    EXPECT_EQ(pixel(image, 84, 84).alpha(), 255);
}

TEST(IconRenderer, AppTileMatchesGoldens) {
    for (const int size : {16, 32, 48, 64, 128, 512}) {
        SCOPED_TRACE(size);
        EXPECT_EQ(test::compareWithGolden(IconRenderer::render(size),
                                          QStringLiteral("app-tile-%1.png").arg(size)),
                  QString());
    }
}

TEST(IconRenderer, TileFaceMatchesGoldensAtBothScales) {
    for (const int ratio : {1, 2}) {
        SCOPED_TRACE(ratio);
        QImage image(56 * ratio, 56 * ratio, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(ratio);
        image.fill(Qt::transparent);
        {
            QPainter painter(&image);
            IconRenderer::paintTileFace(painter, QRectF(0, 0, 56, 56));
        }
        EXPECT_EQ(test::compareWithGolden(image, QStringLiteral("tile-face-56@%1x.png").arg(ratio)),
                  QString());
    }
}
