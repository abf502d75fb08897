#include "Golden.h"

#include "DestinationRow.h"
#include "IconRenderer.h"
#include "LayerPainter.h"
#include "TextLayer.h"

#include <QFontMetricsF>
#include <QPainter>

#include <gtest/gtest.h>

namespace tarvo {
namespace {

QUuid id(uint n) {
    return QUuid(n, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
}

// A title of about `width` points in the chips' font, uncut.
QString titleOfWidth(double width) {
    const QFontMetricsF metrics(TextLayer::font(11.5, FontWeight::semibold));
    QString title;
    while (metrics.horizontalAdvance(title + QLatin1Char('m')) <= width)
        title += QLatin1Char('m');
    return title;
}

std::vector<DestinationChipModel> models(const std::vector<QString>& titles) {
    std::vector<DestinationChipModel> list;
    for (std::size_t i = 0; i < titles.size(); ++i)
        list.push_back({id(uint(i + 1)), titles[i], {}});
    return list;
}

TEST(DestinationRow, AnEmptyRowHasNoChipsAndFindsNone) {
    auto row = DestinationRow::make();
    EXPECT_EQ(row->apply({}, 2), (Size{0, 28}));
    EXPECT_EQ(row->bounds(), (Rect{0, 0, 0, 28}));
    EXPECT_TRUE(row->sublayers().empty());
    EXPECT_EQ(row->chipID({0, 0}), std::nullopt);
    EXPECT_EQ(row->nearestChipID({0, 0}), std::nullopt);
}

TEST(DestinationRow, ChipsAreTheirTitlePlus44WideWithEightPointGaps) {
    auto row = DestinationRow::make();
    const QString a = titleOfWidth(40);
    const QString b = titleOfWidth(50);
    const QString c = titleOfWidth(60);
    const double ta = DestinationRow::titleWidth(a);
    const double tb = DestinationRow::titleWidth(b);
    const double tc = DestinationRow::titleWidth(c);
    const Size size = row->apply(models({a, b, c}), 1);
    EXPECT_EQ(size.width, ta + tb + tc + 3 * 44 + 2 * 8);
    EXPECT_EQ(size.height, 28);
    ASSERT_EQ(row->chipFrames().size(), 3u);
    EXPECT_EQ(row->chipFrames()[1], (Rect{ta + 44 + 8, 0, tb + 44, 28}));
    // Each capsule holds its icon and its title.
    const Layer& chip = *row->chips()[0];
    ASSERT_EQ(chip.sublayers().size(), 2u);
    EXPECT_EQ(chip.sublayers()[0]->frame(), (Rect{10, 5, 18, 18}));
    EXPECT_EQ(chip.sublayers()[1]->frame(), (Rect{34, 6, ta, 15}));

    // Applying again replaces every chip.
    row->setHighlighted(id(2));
    row->apply(models({a}), 1);
    EXPECT_EQ(row->sublayers().size(), 1u);
    EXPECT_EQ(row->highlightedID(), std::nullopt);
}

TEST(DestinationRow, ALongTitleIsCutTo96Points) {
    auto row = DestinationRow::make();
    const QString longTitle = titleOfWidth(150);
    ASSERT_GT(
        QFontMetricsF(TextLayer::font(11.5, FontWeight::semibold)).horizontalAdvance(longTitle),
        140);
    row->apply(models({longTitle}), 2);
    EXPECT_EQ(row->chipFrames()[0].width, 140);
    const auto* title = dynamic_cast<const TextLayer*>(row->chips()[0]->sublayers()[1].get());
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(title->frame().width, 96);
    EXPECT_EQ(title->model().truncation, Truncation::middle);
}

TEST(DestinationRow, HitAreasReachEightPointsSidewaysAndTheLeftChipWinsTheGap) {
    auto row = DestinationRow::make();
    row->apply(models({titleOfWidth(40), titleOfWidth(40)}), 1);
    const Rect first = row->chipFrames()[0];
    const double right = first.maxX();
    const struct {
        const char* name;
        Point point;
        std::optional<QUuid> expected;
    } cases[] = {
        {"inside", {first.midX(), 14}, id(1)},
        {"7 right of the first", {right + 7, 14}, id(1)},
        {"9 right of the first, the second's area", {right + 9, 14}, id(2)},
        {"10 below", {first.midX(), -10}, id(1)},
        {"11 below", {first.midX(), -11}, std::nullopt},
        {"9 left of the row", {-9, 14}, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(row->chipID(c.point), c.expected) << c.name;
}

TEST(DestinationRow, TheCatchAreaFindsTheNearestChipWithin22PointsAboveOrBelow) {
    auto row = DestinationRow::make();
    row->apply(models({titleOfWidth(40), titleOfWidth(40), titleOfWidth(40)}), 1);
    const Rect third = row->chipFrames()[2];
    EXPECT_EQ(row->nearestChipID({third.midX(), -20}), id(3));
    EXPECT_EQ(row->nearestChipID({third.midX(), -23}), std::nullopt);
    EXPECT_EQ(row->nearestChipID({third.midX(), 28 + 21}), id(3));
    // Halfway between two centres: the left one.
    const double between = (row->chipFrames()[0].midX() + row->chipFrames()[1].midX()) / 2;
    EXPECT_EQ(row->nearestChipID({between, 14}), id(1));
}

TEST(DestinationRow, HighlightingScalesOneChipAndLightensIt) {
    auto row = DestinationRow::make();
    row->apply(models({"A", "B"}), 1);
    row->setHighlighted(id(2));
    EXPECT_EQ(row->chips()[1]->model().transform, Transform::scale(1.08));
    EXPECT_EQ(row->chips()[1]->model().backgroundColor, Color::white(1, 0.28));
    EXPECT_EQ(row->chips()[0]->model().transform, Transform());
    row->setHighlighted(id(2));
    EXPECT_EQ(row->highlightedID(), id(2));
    row->setHighlighted(std::nullopt);
    for (const auto& chip : row->chips()) {
        EXPECT_EQ(chip->model().transform, Transform());
        EXPECT_EQ(chip->model().backgroundColor, Color::white(1, 0.11));
    }
}

// A folder drawn in code, so the picture needs no icon theme.
QImage folderIcon(int pixels) {
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const double s = pixels / 18.0;
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x6a, 0xa5, 0xe8));
    painter.drawRoundedRect(QRectF(1 * s, 3 * s, 7 * s, 4 * s), 1 * s, 1 * s);
    painter.setBrush(QColor(0x87, 0xb9, 0xf0));
    painter.drawRoundedRect(QRectF(1 * s, 5 * s, 16 * s, 11 * s), 1.5 * s, 1.5 * s);
    return image;
}

TEST(DestinationRow, GoldenPictures) {
    for (int ratio : {1, 2}) {
        QImage folder = folderIcon(36 * ratio);
        folder.setDevicePixelRatio(ratio);
        QImage app = IconRenderer::render(36 * ratio);
        app.setDevicePixelRatio(ratio);
        auto root = Layer::make();
        root->setBackgroundColor(Color::rgb(0.02, 0.02, 0.03));
        auto row = DestinationRow::make();
        const Size size = row->apply({{id(1), "Downloads", folder},
                                      {id(2), "Quarterly reports of the north region", folder},
                                      {id(3), "Mousepad", app},
                                      {id(4), "Untitled", {}}},
                                     ratio);
        row->setFrame({12, 12, size.width, size.height});
        row->setHighlighted(id(3));
        root->addSublayer(row);
        const Size picture{size.width + 24, size.height + 24};
        root->setFrame({0, 0, picture.width, picture.height});
        LayerPainter painter;
        const QImage image = painter.render(*root, picture, ratio);
        const QString name = QStringLiteral("chip-row@%1x.png").arg(ratio);
        const QString mismatch = test::compareWithGolden(image, name);
        EXPECT_TRUE(mismatch.isEmpty()) << mismatch.toStdString();
    }
}

} // namespace
} // namespace tarvo
