// The item tile: its parts for each payload and state, the progress arc, touch
// states, and golden pictures at both pixel ratios.
#include "Golden.h"

#include "ItemLayer.h"
#include "LayerPainter.h"

#include <QPainter>

#include <gtest/gtest.h>

namespace tarvo::test {
namespace {

Item makeItem(ItemPayload payload, QString name, ItemState state = ItemState::ready()) {
    Item item;
    item.id = QUuid::createUuid();
    item.payload = std::move(payload);
    item.displayName = std::move(name);
    item.state = std::move(state);
    return item;
}

// A stand-in thumbnail: a diagonal two-colour picture at the provider's size.
QImage picture() {
    QImage image(168, 168, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, 168, 168);
    gradient.setColorAt(0, QColor(240, 160, 60));
    gradient.setColorAt(1, QColor(60, 120, 220));
    painter.fillRect(image.rect(), gradient);
    painter.setBrush(QColor(255, 255, 255, 200));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QRectF(50, 50, 68, 68));
    return image;
}

constexpr double slot = 56;
constexpr double pitch = 80;

// One row of tiles on the island's colour, laid out as the strip does.
struct Row {
    std::shared_ptr<Layer> root = Layer::make();
    std::vector<std::shared_ptr<ItemLayer>> tiles;

    Row() { root->setBackgroundColor(Color::rgb(0.039, 0.039, 0.043)); }
    ItemLayer& add(const Item& item, std::optional<QImage> image, bool contrast = false) {
        auto tile = ItemLayer::make(item.id);
        tile->layout({16 + pitch * double(tiles.size()), 24, slot, slot});
        tile->apply(item, image, contrast);
        root->addSublayer(tile);
        tiles.push_back(tile);
        return *tile;
    }
    QImage render(double ratio) {
        root->setFrame({0, 0, 16 + pitch * double(tiles.size()), 96});
        return LayerPainter().render(*root, root->bounds().size(), ratio);
    }
};

void expectGolden(Row& row, const QString& name) {
    for (const int ratio : {1, 2}) {
        const QString message =
            compareWithGolden(row.render(ratio), QStringLiteral("%1@%2x.png").arg(name).arg(ratio));
        EXPECT_TRUE(message.isEmpty()) << message.toStdString();
    }
}

TEST(ItemLayerGolden, EachPayloadKind) {
    Row row;
    row.add(makeItem(ItemPayload::file(QStringLiteral("report.pdf")), QStringLiteral("report.pdf")),
            picture());
    row.add(
        makeItem(ItemPayload::image(QStringLiteral("photo.jpeg")), QStringLiteral("photo.jpeg")),
        picture());
    row.add(makeItem(ItemPayload::text(QStringLiteral("hello")), QStringLiteral("hello")),
            std::nullopt);
    row.add(makeItem(ItemPayload::richText(QStringLiteral("a.rtf"), QStringLiteral("bold")),
                     QStringLiteral("bold words")),
            std::nullopt);
    row.add(makeItem(ItemPayload::url(QUrl(QStringLiteral("https://example.org"))),
                     QStringLiteral("example.org")),
            std::nullopt);
    expectGolden(row, QStringLiteral("items-kinds"));
}

TEST(ItemLayerGolden, StatesAndTouch) {
    Row row;
    const auto file = [](const QString& name, ItemState state = ItemState::ready()) {
        return makeItem(ItemPayload::file(name), name, std::move(state));
    };
    row.add(file(QStringLiteral("big.zip"), ItemState::receiving(0.4)), picture());
    row.add(file(QStringLiteral("slow.iso"), ItemState::receiving()), picture());
    row.add(file(QStringLiteral("gone.txt"), ItemState::failed(QStringLiteral("vanished"))),
            picture());
    row.add(file(QStringLiteral("chosen.png")), picture())
        .setSelected(true, Color::rgb(0.2, 0.45, 0.95));
    Item pinned = file(QStringLiteral("kept.doc"));
    pinned.pinned = true;
    row.add(pinned, picture());
    row.add(file(QStringLiteral("under.png")), picture()).setHovered(true, true);
    expectGolden(row, QStringLiteral("items-states"));
}

TEST(ItemLayerGolden, IncreaseContrastChangesTheDrawing) {
    Row plain;
    Row strong;
    const Item item =
        makeItem(ItemPayload::file(QStringLiteral("notes.md")), QStringLiteral("notes.md"));
    plain.add(item, picture(), false);
    strong.add(item, picture(), true);
    EXPECT_NE(plain.render(2), strong.render(2));
    expectGolden(strong, QStringLiteral("items-contrast"));
}

TEST(ItemLayer, TheTypeBadgeFitsItsText) {
    struct Case {
        ItemPayload payload;
        QString name;
        QString badge;
        double width;
    };
    const Case cases[] = {
        {ItemPayload::file(QStringLiteral("README")), QStringLiteral("README"),
         QStringLiteral("FILE"), 27},
        {ItemPayload::file(QStringLiteral("a.pdf")), QStringLiteral("a.pdf"), QStringLiteral("PDF"),
         22},
        {ItemPayload::file(QStringLiteral("a.c")), QStringLiteral("a.c"), QStringLiteral("C"), 16},
        {ItemPayload::text(QStringLiteral("x")), QStringLiteral("x"), QStringLiteral("TXT"), 22},
        {ItemPayload::url(QUrl(QStringLiteral("https://a.b"))), QStringLiteral("a.b"),
         QStringLiteral("LINK"), 27},
    };
    for (const Case& c : cases) {
        auto tile = ItemLayer::make(QUuid::createUuid());
        tile->layout({0, 0, slot, slot});
        tile->apply(makeItem(c.payload, c.name), std::nullopt, false);
        EXPECT_EQ(tile->typeText(), c.badge);
        EXPECT_EQ(tile->typeBadge->frame().width, c.width) << c.name.toStdString();
        EXPECT_EQ(tile->typeBadge->opacity(), 1);
    }
}

// A stored folder shows no type badge; told it is one no longer, the same
// tile shows the badge its name gives.
TEST(ItemLayer, AFolderShowsNoTypeBadge) {
    auto tile = ItemLayer::make(QUuid::createUuid());
    tile->layout({0, 0, slot, slot});
    const Item folder =
        makeItem(ItemPayload::file(QStringLiteral("Photos")), QStringLiteral("Photos"));
    tile->apply(folder, std::nullopt, false, true);
    EXPECT_EQ(tile->typeText(), QString());
    EXPECT_EQ(tile->typeBadge->opacity(), 0);
    tile->apply(folder, std::nullopt, false, false);
    EXPECT_EQ(tile->typeText(), QStringLiteral("FILE"));
    EXPECT_EQ(tile->typeBadge->opacity(), 1);
}

// The arc shows the progress alone: applying the same state again, or
// applying often, must not change its length.
TEST(ItemLayer, TheProgressArcFollowsTheProgressValueAlone) {
    auto tile = ItemLayer::make(QUuid::createUuid());
    tile->layout({0, 0, slot, slot});
    Item item = makeItem(ItemPayload::file(QStringLiteral("a.bin")), QStringLiteral("a.bin"),
                         ItemState::receiving());
    const auto strokeEnd = [&] { return tile->progressRing->model().strokeEnd; };
    tile->apply(item, std::nullopt, false);
    const double first = strokeEnd();
    tile->apply(item, std::nullopt, false);
    EXPECT_EQ(strokeEnd(), first);
    EXPECT_EQ(tile->progressRing->animationKeys(), std::vector<std::string>{"spin"});

    for (const double p : {0.1, 0.7, 0.7, 0.3}) {
        item.state = ItemState::receiving(p);
        tile->apply(item, std::nullopt, false);
        EXPECT_EQ(strokeEnd(), p);
        EXPECT_FALSE(tile->progressRing->animation("spin"));
        EXPECT_EQ(tile->dim->opacity(), 1);
    }
    item.state = ItemState::receiving();
    tile->apply(item, std::nullopt, false);
    item.state = ItemState::failed(QStringLiteral("no"));
    tile->apply(item, std::nullopt, false);
    EXPECT_FALSE(tile->progressRing->animation("spin"));
    EXPECT_EQ(tile->progressRing->opacity(), 0);
    EXPECT_EQ(tile->failureGlyph->opacity(), 1);
    item.state = ItemState::ready();
    tile->apply(item, std::nullopt, false);
    EXPECT_EQ(tile->dim->opacity(), 0);
    EXPECT_EQ(tile->failureGlyph->opacity(), 0);
}

TEST(ItemLayer, HoverAndPressScaleTheTilePressWinning) {
    auto tile = ItemLayer::make(QUuid::createUuid());
    tile->layout({0, 0, slot, slot});
    const auto scale = [&] { return tile->thumbnail->model().transform.scaleX; };
    tile->setHovered(true, false);
    EXPECT_DOUBLE_EQ(scale(), 1.04);
    tile->setPressed(true, false);
    EXPECT_DOUBLE_EQ(scale(), 0.96);
    tile->setPressed(false, false);
    EXPECT_DOUBLE_EQ(scale(), 1.04);
    tile->thumbnail->removeAllAnimations();
    tile->setHovered(true, false); // unchanged: no new animation
    EXPECT_FALSE(tile->thumbnail->hasAnimations());
    tile->setHovered(false, true); // reduced motion jumps
    EXPECT_DOUBLE_EQ(scale(), 1.0);
    EXPECT_FALSE(tile->thumbnail->hasAnimations());
}

} // namespace
} // namespace tarvo::test
