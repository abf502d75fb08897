#include "RecordingViewDelegate.h"

#include "TarvoDrag/TarvoDragSourceMarker.h"
#include "TarvoPlatform/TypeMapping.h"
#include "TarvoPlatform/memory/MemoryPasteboard.h"
#include "ShelfDropTarget.h"
#include "TarvoView.h"

#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>

#include <gtest/gtest.h>

namespace tarvo::test {
namespace {

// Two chips side by side in a row 100 wide, with a catch area 20 deep below.
class TwoChips final : public ChipDropTargets {
public:
    bool isShown() const override { return shown; }
    Rect frame() const override { return {100, 0, 100, 28}; }
    std::optional<QUuid> chipID(Point p) const override {
        if (p.y < 0 || p.y >= 28)
            return std::nullopt;
        if (p.x >= 0 && p.x < 40)
            return left;
        if (p.x >= 60 && p.x < 100)
            return right;
        return std::nullopt;
    }
    std::optional<QUuid> nearestChipID(Point p) const override {
        if (p.y < -20 || p.y >= 48 || p.x < -8 || p.x >= 108)
            return std::nullopt;
        return p.x < 50 ? left : right;
    }
    void setHighlighted(const std::optional<QUuid>& chip) override { highlighted = chip; }

    bool shown = true;
    QUuid left = QUuid::createUuid();
    QUuid right = QUuid::createUuid();
    std::optional<QUuid> highlighted;
};

class OwnDrag final : public TarvoDragSourceMarker {
public:
    bool isTarvoSource() const override { return true; }
    std::vector<QUuid> draggedItemIDs() const override { return ids; }
    std::vector<QUuid> ids;
};

Item textItem(const QString& name) {
    Item item;
    item.id = QUuid::createUuid();
    item.payload = ItemPayload::text(name);
    item.state = ItemState::ready();
    item.displayName = name;
    return item;
}

class ShelfDropTargetTest : public ::testing::Test {
protected:
    ShelfDropTargetTest() {
        m_view.resize(560, 132);
        m_view.setDelegate(&m_delegate);
        m_view.update({textItem("a"), textItem("b"), textItem("c")}, {}, TarvoState::dragging, {});
        target().setChips(&m_chips);
        m_pasteboard.setString(TypeIdentifier::utf8PlainText, QStringLiteral("hello"));
    }
    ShelfDropTarget& target() { return m_view.dropTarget(); }

    RecordingViewDelegate m_delegate;
    TarvoView m_view;
    TwoChips m_chips;
    MemoryPasteboard m_pasteboard;
    const Point m_island{300, 100};
};

TEST_F(ShelfDropTargetTest, AnAcceptedDragLightsTheCatchUntilItLeaves) {
    m_delegate.accepts = true;
    EXPECT_TRUE(target().entered(m_pasteboard, m_island));
    EXPECT_TRUE(m_view.catchHighlighted());
    EXPECT_EQ(target().lastDropPoint(), m_island);
    EXPECT_TRUE(target().updated(m_pasteboard, {120, 10}));
    EXPECT_EQ(m_chips.highlighted, m_chips.left);
    EXPECT_EQ(target().pendingChipDrop(), m_chips.left);
    target().exited();
    EXPECT_FALSE(m_view.catchHighlighted());
    EXPECT_FALSE(target().lastDropPoint());
    EXPECT_FALSE(target().pendingChipDrop());
    EXPECT_FALSE(m_chips.highlighted);
}

TEST_F(ShelfDropTargetTest, ARefusedDragLightsNothingButStillMovesTheChipHighlight) {
    EXPECT_FALSE(target().entered(m_pasteboard, m_island));
    EXPECT_FALSE(m_view.catchHighlighted());
    EXPECT_FALSE(target().lastDropPoint());
    EXPECT_FALSE(target().updated(m_pasteboard, {185, 40}));
    EXPECT_EQ(m_chips.highlighted, m_chips.right) << "the catch area below the chips";
    EXPECT_FALSE(target().prepare(m_pasteboard));
    m_view.setDelegate(nullptr);
    EXPECT_FALSE(target().entered(m_pasteboard, m_island));
    EXPECT_FALSE(target().prepare(m_pasteboard));
}

TEST_F(ShelfDropTargetTest, AHiddenRowTakesNoHighlightAndNoDrop) {
    m_delegate.accepts = true;
    m_chips.shown = false;
    target().updated(m_pasteboard, {120, 10});
    EXPECT_FALSE(m_chips.highlighted);
    EXPECT_FALSE(target().perform(m_pasteboard, {120, 10}, nullptr));
    EXPECT_EQ(m_delegate.intents(), QStringList({"canAccept", "performDrop"}));
}

TEST_F(ShelfDropTargetTest, ADropBetweenChipsGoesToTheChipLastHighlighted) {
    m_delegate.takesChipDrops = true;
    target().updated(m_pasteboard, {135, 10});
    target().updated(m_pasteboard, {150, 10}); // the gap: the nearest, the left
    target().updated(m_pasteboard, {163, 10});
    ASSERT_EQ(m_chips.highlighted, m_chips.right);
    EXPECT_TRUE(target().perform(m_pasteboard, {150, 10}, nullptr));
    EXPECT_EQ(m_delegate.intents().filter("Drop"), QStringList({"chipDrop"}));
    EXPECT_EQ(m_delegate.lastItem, m_chips.right);
    EXPECT_FALSE(m_chips.highlighted);
    EXPECT_FALSE(target().pendingChipDrop());

    // With no update since, the nearest chip's catch area decides.
    m_delegate.calls.clear();
    EXPECT_TRUE(target().perform(m_pasteboard, {130, -15}, nullptr));
    EXPECT_EQ(m_delegate.lastItem, m_chips.left);
    m_delegate.calls.clear();
    m_delegate.takesDrops = true;
    EXPECT_TRUE(target().perform(m_pasteboard, {130, -25}, nullptr));
    EXPECT_EQ(m_delegate.intents(), QStringList({"performDrop"}));
    EXPECT_DOUBLE_EQ(m_delegate.lastPoint.y(), -25);
}

TEST_F(ShelfDropTargetTest, ARefusedChipDropFallsBackToTheStrip) {
    m_delegate.takesDrops = true;
    target().updated(m_pasteboard, {120, 10});
    EXPECT_TRUE(target().perform(m_pasteboard, {120, 10}, nullptr));
    EXPECT_EQ(m_delegate.intents().filter("Drop"), QStringList({"chipDrop", "performDrop"}));
}

TEST_F(ShelfDropTargetTest, TheShelfsOwnItemsAreReorderedAndNeverDroppedAsNewContent) {
    OwnDrag own;
    own.ids = {m_view.items()[2].id, m_view.items()[0].id};
    m_delegate.accepts = true;
    // Left of the first tile: the front of the shelf.
    const Rect first = *m_view.itemFrame(m_view.items()[0].id);
    EXPECT_TRUE(target().perform(m_pasteboard, {first.x - 4, first.midY()}, &own));
    ASSERT_EQ(m_delegate.reorders.size(), 2u);
    EXPECT_EQ(m_delegate.reorders[0], std::make_pair(own.ids[0], 0));
    EXPECT_EQ(m_delegate.reorders[1], std::make_pair(own.ids[1], 0));
    EXPECT_FALSE(m_delegate.calls.contains("performDrop"));

    // Over a chip the chip is asked first, then the strip.
    m_delegate.reorders.clear();
    m_delegate.calls.clear();
    target().updated(m_pasteboard, {120, 10});
    m_delegate.calls.clear();
    EXPECT_TRUE(target().perform(m_pasteboard, {120, 10}, &own));
    EXPECT_EQ(m_delegate.intents(), QStringList({"chipDrop", "reorder", "reorder"}));

    own.ids.clear();
    m_delegate.calls.clear();
    EXPECT_TRUE(target().perform(m_pasteboard, m_island, &own));
    EXPECT_TRUE(m_delegate.intents().isEmpty());
}

// Drags of the shelf's own items handed in by the platform, never as XDND:
// the same highlights; the strip reorders, a chip is left to the drag's end.
TEST_F(ShelfDropTargetTest, TheShelfsOwnDragLightsTheShelfReordersOnTheStripAndLeavesChips) {
    OwnDrag own;
    own.ids = {m_view.items()[2].id};
    const Rect first = *m_view.itemFrame(m_view.items()[0].id);
    const Point front{first.x - 4, first.midY()};

    target().ownDragMoved({120, 10});
    EXPECT_TRUE(m_view.catchHighlighted());
    EXPECT_EQ(m_chips.highlighted, m_chips.left);
    target().ownDragMoved(front);
    EXPECT_FALSE(m_chips.highlighted);
    target().ownDragExited();
    EXPECT_FALSE(m_view.catchHighlighted());
    target().ownDragMoved(front);
    EXPECT_TRUE(m_view.catchHighlighted()) << "back over the shelf";

    EXPECT_TRUE(target().ownDragDropped(front, own));
    EXPECT_FALSE(m_view.catchHighlighted());
    EXPECT_EQ(m_delegate.reorders, (std::vector<std::pair<QUuid, int>>{{own.ids[0], 0}}));

    // Over a chip, nothing happens here: the drag's end delivers to it.
    m_delegate.reorders.clear();
    m_delegate.calls.clear();
    target().ownDragMoved({120, 10});
    EXPECT_FALSE(target().ownDragDropped({150, 10}, own)) << "the gap after a chip";
    EXPECT_FALSE(m_chips.highlighted);
    EXPECT_TRUE(m_delegate.reorders.empty());
    EXPECT_FALSE(m_delegate.calls.contains("chipDrop"));
    EXPECT_FALSE(m_delegate.calls.contains("performDrop"));
}

TEST_F(ShelfDropTargetTest, WithoutADelegateADropIsRefusedAndTheHighlightsCleared) {
    m_delegate.accepts = true;
    target().entered(m_pasteboard, m_island);
    target().updated(m_pasteboard, {120, 10});
    m_view.setDelegate(nullptr);
    EXPECT_FALSE(target().perform(m_pasteboard, {120, 10}, nullptr));
    EXPECT_FALSE(m_view.catchHighlighted());
    EXPECT_FALSE(m_chips.highlighted);
    EXPECT_EQ(target().lastDropPoint(), (Point{120, 10}));
}

TEST_F(ShelfDropTargetTest, QtsDragEventsDriveTheSameDecisions) {
    QMimeData data;
    data.setText(QStringLiteral("dropped words"));
    const QPointF at = m_view.toQt(m_island);
    m_delegate.accepts = true;
    m_delegate.takesDrops = true;
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                          Qt::NoModifier);
    QCoreApplication::sendEvent(&m_view, &enter);
    EXPECT_TRUE(enter.isAccepted());
    EXPECT_EQ(enter.dropAction(), Qt::CopyAction);
    EXPECT_TRUE(m_view.catchHighlighted());
    QDragMoveEvent move(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&m_view, &move);
    EXPECT_TRUE(move.isAccepted());
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&m_view, &drop);
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_FALSE(m_view.catchHighlighted());
    EXPECT_EQ(m_delegate.intents(),
              QStringList({"canAccept", "canAccept", "canAccept", "performDrop"}));
    EXPECT_DOUBLE_EQ(m_delegate.lastPoint.x(), m_island.x);
    EXPECT_DOUBLE_EQ(m_delegate.lastPoint.y(), m_island.y);

    m_delegate.accepts = false;
    m_delegate.calls.clear();
    QDragEnterEvent refused(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&m_view, &refused);
    EXPECT_FALSE(refused.isAccepted());
    QDropEvent refusedDrop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&m_view, &refusedDrop);
    EXPECT_FALSE(refusedDrop.isAccepted());
    EXPECT_FALSE(m_delegate.calls.contains("performDrop"));
}

} // namespace
} // namespace tarvo::test
