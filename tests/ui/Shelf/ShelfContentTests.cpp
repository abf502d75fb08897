// The view's items: one layer and one accessible element per item, hover,
// announcements.
#include "ItemLayer.h"
#include "ShelfAccessibility.h"
#include "TarvoView.h"

#include "TarvoCore/L10n.h"

#include <QAccessible>
#include <QCoreApplication>
#include <QMouseEvent>

#include <gtest/gtest.h>

namespace tarvo::test {
namespace {

Item textItem(const QString& text) {
    Item item;
    item.id = QUuid::createUuid();
    item.payload = ItemPayload::text(text);
    item.displayName = text;
    return item;
}

class RecordingAnnouncer final : public Announcer {
public:
    void announce(QWidget&, const QString& text) override { said.push_back(text); }
    std::vector<QString> said;
};

class ShelfContentTest : public ::testing::Test {
protected:
    void SetUp() override {
        view.resize(400, 180);
        view.setIslandWidth(360);
        view.setAnnouncer(&announcer);
    }

    TarvoView view;
    RecordingAnnouncer announcer;
};

TEST_F(ShelfContentTest, EachItemHasALayerAndAnAccessibleElementWithItsName) {
    const Item a = textItem(QStringLiteral("first note"));
    const Item b = textItem(QStringLiteral("second note"));
    view.update({a, b}, {b.id}, TarvoState::resting, {});
    ASSERT_EQ(view.itemLayers().size(), 2u);

    QAccessibleInterface* shelf = QAccessible::queryAccessibleInterface(&view);
    ASSERT_NE(shelf, nullptr);
    ASSERT_EQ(shelf->role(), QAccessible::Pane);
    ASSERT_EQ(shelf->childCount(), 2);
    EXPECT_EQ(shelf->child(0)->text(QAccessible::Name), QStringLiteral("first note"));
    EXPECT_EQ(shelf->child(1)->text(QAccessible::Name), QStringLiteral("second note"));
    EXPECT_EQ(shelf->child(0)->role(), QAccessible::Graphic);
    EXPECT_FALSE(shelf->child(0)->state().selected);
    EXPECT_TRUE(shelf->child(1)->state().selected);
    EXPECT_EQ(shelf->indexOfChild(shelf->child(1)), 1);
    EXPECT_EQ(shelf->child(1)->parent(), shelf);
    EXPECT_FALSE(shelf->child(0)->rect().isEmpty());

    view.update({b}, {}, TarvoState::resting, {});
    EXPECT_EQ(view.itemLayers().size(), 1u);
    ASSERT_EQ(shelf->childCount(), 1);
    EXPECT_EQ(shelf->child(0)->text(QAccessible::Name), QStringLiteral("second note"));

    view.update({b}, {}, TarvoState::tab, {}); // a folded shelf shows no items
    EXPECT_EQ(shelf->childCount(), 0);
}

TEST_F(ShelfContentTest, NewItemsLandButTheFirstSnapshotShowsStoredItemsInPlace) {
    const Item stored = textItem(QStringLiteral("stored"));
    view.update({stored}, {}, TarvoState::resting, {});
    EXPECT_FALSE(view.itemLayers().at(stored.id)->animation("land-scale"));
    const Item fresh = textItem(QStringLiteral("fresh"));
    view.update({fresh, stored}, {}, TarvoState::resting, {});
    EXPECT_TRUE(view.itemLayers().at(fresh.id)->animation("land-scale"));
    EXPECT_FALSE(view.itemLayers().at(stored.id)->animation("land-scale"));
}

TEST_F(ShelfContentTest, ThePointerOverATileHoversItAndLeavingClearsIt) {
    const Item a = textItem(QStringLiteral("a"));
    view.update({a}, {}, TarvoState::resting, {});
    const Rect tile = *view.itemFrame(a.id);
    const QPointF over = view.toQt({tile.midX(), tile.midY()});
    QMouseEvent move(QEvent::MouseMove, over, view.mapToGlobal(over), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(&view, &move);
    EXPECT_TRUE(view.itemLayers().at(a.id)->isHovered());
    EXPECT_TRUE(view.isPointerOverIsland());
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(&view, &leave);
    EXPECT_FALSE(view.itemLayers().at(a.id)->isHovered());
}

// Nearness is asked of the pointer where it is now, not of the last event:
// a folded tab takes no pointer events.
TEST_F(ShelfContentTest, NearnessFollowsTheLivePointerWithoutAnyEvent) {
    const Point origin{300, 500};
    view.setWindowOrigin(origin);
    view.update({textItem(QStringLiteral("a"))}, {}, TarvoState::tab, {});
    view.layoutContents();
    const Rect island = view.islandRect();
    QPointF pointer;
    view.pointerLocation = [&pointer] { return pointer; };
    EXPECT_FALSE(view.isPointerNearIsland()) << "a view not shown has no pointer near";
    view.show();
    const struct {
        const char* where;
        Point point;
        bool near;
    } cases[] = {
        {"on the tab", {island.midX(), island.midY()}, true},
        {"40 points below it", {island.midX(), island.minY() - 40}, true},
        {"40 points beside it", {island.maxX() + 40, island.midY()}, true},
        {"60 points below it", {island.midX(), island.minY() - 60}, false},
        {"60 points beside it", {island.minX() - 60, island.midY()}, false},
    };
    for (const auto& c : cases) {
        pointer = {origin.x + c.point.x, origin.y + c.point.y};
        EXPECT_EQ(view.isPointerNearIsland(), c.near) << c.where;
    }
    view.hide();
}

TEST_F(ShelfContentTest, OpeningAndLandingAreAnnounced) {
    const Item a = textItem(QStringLiteral("minutes.txt"));
    view.update({a}, {}, TarvoState::resting, {});
    view.announceOpened();
    view.announceLanded(a);
    ASSERT_EQ(announcer.said.size(), 2u);
    EXPECT_EQ(announcer.said[0], L10n::a11yTarvoOpen(1));
    EXPECT_EQ(announcer.said[1], L10n::a11yLanded(QStringLiteral("minutes.txt")));
}

} // namespace
} // namespace tarvo::test
