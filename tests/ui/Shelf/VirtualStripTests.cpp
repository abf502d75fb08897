// A long shelf: layers exist for the tiles near the view only, while
// selection, ranges, keyboard moves and revealing hold over the whole list.
#include "RecordingViewDelegate.h"
#include "TarvoCore/ItemLayout.h"
#include "ItemLayer.h"
#include "KeyAction.h"
#include "LayerPainter.h"
#include "ShelfInput.h"
#include "TarvoView.h"

#include <QImage>

#include <gtest/gtest.h>

#include <set>

namespace tarvo::test {
namespace {

constexpr std::size_t kItems = 2000;
constexpr double kStride = ItemLayout::thumbnailSize + ItemLayout::spacing;

class VirtualStripTest : public ::testing::Test {
protected:
    VirtualStripTest() {
        m_view.resize(560, 132);
        m_view.setIslandWidth(540);
        m_view.setDelegate(&m_delegate);
        m_items.reserve(kItems);
        for (std::size_t i = 0; i < kItems; ++i) {
            Item item;
            item.id = QUuid::createUuid();
            item.payload = ItemPayload::text(QStringLiteral("note %1").arg(i));
            item.displayName = QStringLiteral("note %1").arg(i);
            m_items.push_back(item);
        }
        m_view.update(m_items, {}, TarvoState::resting, {});
    }

    double stripWidth() const { return m_view.stripFrame().width; }
    Point centre(std::size_t index) {
        const Rect frame = m_view.itemFrame(m_items[index].id).value();
        return {frame.midX(), frame.midY()};
    }
    void click(std::size_t index, bool shift = false) {
        m_view.input().press({centre(index), shift, false, 1});
        m_view.input().release(centre(index));
    }
    std::set<const ItemLayer*> layers() const {
        std::set<const ItemLayer*> all;
        for (const auto& [id, layer] : m_view.itemLayers())
            all.insert(layer.get());
        return all;
    }
    // Every layer is its item's, inside the window, and shows the selection.
    void expectLayersMatchTheirItems() {
        const auto [first, last] = m_view.layerWindow();
        EXPECT_EQ(m_view.itemLayers().size(), last - first);
        const std::vector<QUuid>& selection = m_view.selection();
        const std::set<QUuid> selected(selection.begin(), selection.end());
        for (const auto& [id, layer] : m_view.itemLayers()) {
            const std::optional<std::size_t> index = m_view.indexOf(id);
            ASSERT_TRUE(index);
            EXPECT_GE(*index, first);
            EXPECT_LT(*index, last);
            EXPECT_EQ(layer->itemID(), id);
            EXPECT_EQ(layer->isSelected(), selected.contains(id)) << *index;
        }
    }
    // The tile lies whole inside the strip's padding.
    void expectWhollyShown(std::size_t index) {
        const std::optional<Rect> frame = m_view.itemFrame(m_items[index].id);
        ASSERT_TRUE(frame) << index;
        const Rect strip = m_view.stripFrame();
        EXPECT_GE(frame->minX() - strip.x, ItemLayout::sidePadding - 1e-6) << index;
        EXPECT_LE(frame->maxX() - strip.x, strip.width - ItemLayout::sidePadding + 1e-6) << index;
    }

    RecordingViewDelegate m_delegate;
    TarvoView m_view;
    std::vector<Item> m_items;
};

TEST_F(VirtualStripTest, OnlyTheTilesNearTheViewHaveLayersAndScrollingReusesThem) {
    const std::size_t inView = std::size_t(stripWidth() / kStride) + 1;
    EXPECT_GE(m_view.itemLayers().size(), inView);
    EXPECT_LT(m_view.itemLayers().size(), 4 * inView) << "a page either side, not the shelf";
    expectLayersMatchTheirItems();
    // Away from the start the window has tiles on both sides.
    m_view.scrollItems(-40 * kStride);
    const std::set<const ItemLayer*> before = layers();
    EXPECT_LT(before.size(), 4 * inView);

    // Far along and back, a step at a time and in one jump: the same layers
    // serve the tiles that come.
    for (int step = 0; step < 40; ++step)
        m_view.scrollItems(-3 * kStride);
    EXPECT_GT(m_view.itemScroll(), 150 * kStride);
    expectLayersMatchTheirItems();
    EXPECT_EQ(layers(), before);
    m_view.scrollItems(-1e9);
    EXPECT_DOUBLE_EQ(m_view.itemScroll(),
                     ItemLayout::maxScrollOffset(qsizetype(kItems), stripWidth()));
    EXPECT_EQ(m_view.layerWindow().second, kItems);
    expectLayersMatchTheirItems();
    for (const ItemLayer* layer : layers())
        EXPECT_TRUE(before.contains(layer)) << "a new layer was made";
    m_view.scrollItems(1e9);
    EXPECT_EQ(m_view.layerWindow().first, 0u);
    for (const ItemLayer* layer : layers())
        EXPECT_TRUE(before.contains(layer)) << "a new layer was made";
    m_view.scrollItems(-40 * kStride);
    EXPECT_EQ(layers(), before);
}

TEST_F(VirtualStripTest, RevealingATileNeverInViewScrollsItWhole) {
    const std::size_t far = 1500;
    ASSERT_FALSE(m_view.itemLayer(m_items[far].id));
    const double w = stripWidth();
    m_view.revealItem(m_items[far].id);
    const double x = double(far) * kStride + ItemLayout::sidePadding;
    EXPECT_DOUBLE_EQ(m_view.itemScroll(),
                     x + ItemLayout::thumbnailSize - (w - ItemLayout::sidePadding));
    ASSERT_TRUE(m_view.itemLayer(m_items[far].id));
    expectWhollyShown(far);
    expectLayersMatchTheirItems();

    // Back to one before the window's start: scrolled left just so far.
    const std::size_t near = 3;
    m_view.revealItem(m_items[near].id);
    EXPECT_DOUBLE_EQ(m_view.itemScroll(), double(near) * kStride);
    expectWhollyShown(near);
}

TEST_F(VirtualStripTest, AShiftRangeTakesTheTilesThatWereNeverInView) {
    click(2);
    const std::size_t far = 1200;
    m_view.revealItem(m_items[far].id);
    click(far, true);
    const std::vector<QUuid>& selection = m_view.selection();
    ASSERT_EQ(selection.size(), far - 2 + 1);
    for (std::size_t i = 2; i <= far; ++i)
        ASSERT_EQ(selection[i - 2], m_items[i].id) << i;
    expectLayersMatchTheirItems();

    // Back at the start the selected tiles show their ring, the first two not.
    m_view.scrollItems(1e9);
    expectLayersMatchTheirItems();
    EXPECT_FALSE(m_view.itemLayer(m_items[0].id)->isSelected());
    EXPECT_TRUE(m_view.itemLayer(m_items[2].id)->isSelected());
}

TEST_F(VirtualStripTest, ArrowsStepAcrossTheWholeListAndBringTheTileIntoView) {
    // With nothing selected the left arrow takes the last item.
    m_view.input().key(KeyAction::moveLeft);
    ASSERT_EQ(m_view.selection(), std::vector<QUuid>{m_items.back().id});
    expectWhollyShown(kItems - 1);
    m_view.input().key(KeyAction::moveLeft);
    EXPECT_EQ(m_view.selection(), std::vector<QUuid>{m_items[kItems - 2].id});
    expectWhollyShown(kItems - 2);
    expectLayersMatchTheirItems();
}

TEST_F(VirtualStripTest, PicturesAreAskedForAsTilesComeAndDroppedAsTheyGo) {
    int asked = 0;
    m_view.onTilesNeedPictures = [&asked] { ++asked; };
    QImage picture(8, 8, QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::red);
    for (const Item& item : m_view.tilesWithoutPictures())
        m_view.setThumbnail(picture, item.id);
    EXPECT_TRUE(m_view.tilesWithoutPictures().empty());
    ASSERT_TRUE(m_view.thumbnail(m_items[0].id));

    m_view.revealItem(m_items[900].id);
    EXPECT_EQ(asked, 1);
    const std::vector<Item> wanted = m_view.tilesWithoutPictures();
    ASSERT_FALSE(wanted.empty());
    for (const Item& item : wanted)
        EXPECT_TRUE(m_view.itemLayer(item.id));
    EXPECT_FALSE(m_view.thumbnail(m_items[0].id)) << "gone with its layer";

    // A picture that comes after its tile left keeps nothing in the view;
    // one for an item not on the shelf is only stored.
    m_view.setThumbnail(picture, m_items[0].id);
    EXPECT_FALSE(m_view.thumbnail(m_items[0].id));
    const QUuid stranger = QUuid::createUuid();
    m_view.setThumbnail(picture, stranger);
    EXPECT_TRUE(m_view.thumbnail(stranger));

    // The tile shows its picture when it comes back, once asked again.
    m_view.scrollItems(1e9);
    EXPECT_EQ(asked, 2);
    EXPECT_TRUE(m_view.itemLayer(m_items[0].id)->content->model().contents.isNull())
        << "the placeholder until the picture comes";
}

TEST_F(VirtualStripTest, TilesBesideTheStripAreNotDrawn) {
    const auto [first, last] = m_view.layerWindow();
    const std::size_t inView = std::size_t(stripWidth() / kStride);
    ASSERT_GT(last - first, inView + 2);
    LayerPainter().render(*m_view.rootLayer(), {double(m_view.width()), double(m_view.height())},
                          1);
    // Drawn text keeps its pixels: the tiles in view have them, those a page
    // further on none.
    EXPECT_TRUE(m_view.itemLayer(m_items[1].id)->nameLabel->hasCachedPixels());
    EXPECT_FALSE(m_view.itemLayer(m_items[last - 1].id)->nameLabel->hasCachedPixels());
}

TEST_F(VirtualStripTest, ARemovedTileGoesAndTheNextTakesItsPlaceWithoutANewSnapshotOfAll) {
    // Removing the first item brings a tile from beyond the window in.
    const auto [first, last] = m_view.layerWindow();
    ASSERT_EQ(first, 0u);
    std::vector<Item> rest(m_items.begin() + 1, m_items.end());
    m_view.update(rest, {}, TarvoState::resting, {});
    EXPECT_FALSE(m_view.itemLayer(m_items[0].id));
    EXPECT_TRUE(m_view.itemLayer(m_items[last].id)) << "the window moved up by one";
    EXPECT_FALSE(m_view.itemLayer(rest.front().id)->animation("land-scale"));
    m_items = rest;
    expectLayersMatchTheirItems();
}

} // namespace
} // namespace tarvo::test
