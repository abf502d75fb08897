// Where drops on the shelf go. Dragging the shelf's own items over its own
// window: the drag is handed to the shelf inside the process, reorders on the
// strip, lights the chip under the pointer, and on a chip delivers there;
// nothing of it counts as a delivery out of the shelf. Another program's drop
// on a chip goes to that chip.
#include "DragOutFixture.h"

#include "TarvoCore/DestinationLog.h"
#include "TarvoCore/Preferences.h"
#include "TarvoDrag/DeliveryCoordinator.h"
#include "TarvoPlatform/MimePasteboard.h"
#include "ShelfDropTarget.h"

#include <QMimeData>

#include <algorithm>

namespace tarvo::test {
namespace {

class ShelfDropRoutesTest : public DragOutTest {
protected:
    // The middle of an item's thumbnail, in screen points.
    QPointF itemPoint(TarvoController& controller, const QUuid& id) {
        const std::optional<Rect> frame = controller.view().itemFrame(id);
        EXPECT_TRUE(frame);
        const Rect& panel = controller.panel().frame();
        return frame ? QPointF(panel.x + frame->midX(), panel.y + frame->midY()) : QPointF();
    }
    static std::vector<QUuid> order(TarvoController& controller) {
        std::vector<QUuid> ids;
        for (const Item& item : controller.store().items())
            ids.push_back(item.id);
        return ids;
    }
};

TEST_F(ShelfDropRoutesTest, DroppingAnItemOnTheStripMovesItThereAndDeliversNothing) {
    auto controller = makeController();
    const Item a = fileItem(*controller, "a.txt", "A");
    const Item b = fileItem(*controller, "b.txt", "B");
    const Item c = fileItem(*controller, "c.txt", "C");
    controller->refresh(false);
    controller->openTarvo();
    m_shell.clock.advance(1); // the island has unfolded
    ASSERT_EQ(order(*controller), (std::vector<QUuid>{c.id, b.id, a.id}));
    const std::size_t destinationsBefore = controller->destinations()->entries().size();
    const QPointF first = itemPoint(*controller, c.id);
    const QPointF last = itemPoint(*controller, a.id);

    MemoryDragSession* session = beginDrag(*controller, {a.id});
    ASSERT_NE(session, nullptr);
    session->moveTo(last, std::nullopt, DraggingContext::withinApplication);
    EXPECT_TRUE(controller->view().catchHighlighted());
    // Left of the first thumbnail's centre: the item goes first.
    const QPointF before(first.x() - 20, first.y());
    session->moveTo(before, std::nullopt, DraggingContext::withinApplication);
    EXPECT_TRUE(session->messages().empty()) << "no other program heard of the drag";
    session->dropOnOwnWindow(before); // the session ends with the drag

    EXPECT_EQ(order(*controller), (std::vector<QUuid>{a.id, c.id, b.id}));
    EXPECT_FALSE(controller->view().catchHighlighted());
    EXPECT_EQ(controller->dragSource(), nullptr) << "the drag is over";
    EXPECT_EQ(controller->store().items().size(), 3u) << "nothing was copied";
    EXPECT_EQ(controller->destinations()->entries().size(), destinationsBefore);
    EXPECT_FALSE(controller->undoLog().mostRecent(m_shell.clock.now())) << "no delivery to undo";
    EXPECT_EQ(m_preferences.dropCount(), 0);
    EXPECT_EQ(m_shell.clipboard.writes(), 0);

    // Two items dragged together are each moved to the drop's place in turn.
    session = beginDrag(*controller, {b.id, c.id});
    ASSERT_NE(session, nullptr);
    const QPointF front(itemPoint(*controller, a.id).x() - 20, first.y());
    session->moveTo(front, std::nullopt, DraggingContext::withinApplication);
    session->dropOnOwnWindow(front);
    EXPECT_EQ(order(*controller), (std::vector<QUuid>{c.id, b.id, a.id}));
    EXPECT_EQ(controller->store().items().size(), 3u);
}

TEST_F(ShelfDropRoutesTest, LeavingTheShelfTurnsTheCatchOffAndADropOnAChipDeliversThere) {
    auto controller = makeController();
    const QString folder = recentFolder(*controller, "Inbox", 100);
    const Item file = fileItem(*controller, "kept.txt", "kept");
    const Item other = fileItem(*controller, "other.txt", "other");
    controller->openTarvo();
    m_shell.clock.advance(1);
    MemoryDragSession* session = beginDrag(*controller, {file.id});
    ASSERT_NE(session, nullptr);
    session->moveTo(itemPoint(*controller, other.id), std::nullopt,
                    DraggingContext::withinApplication);
    EXPECT_TRUE(controller->view().catchHighlighted());
    session->moveTo(overNothing);
    EXPECT_FALSE(controller->view().catchHighlighted()) << "the drag left the shelf";

    const QPointF chip = chipPoint(*controller, 0);
    session->moveTo(chip, std::nullopt, DraggingContext::withinApplication);
    EXPECT_EQ(controller->destinationRow().highlightedID(),
              controller->chipCandidates().front().id);
    session->dropOnOwnWindow(chip);
    waitUntil([&] { return controller->pendingChipCopies() == 0; });
    EXPECT_EQ(contents(folder + "/kept.txt"), "kept");
    EXPECT_EQ(QDir(folder).entryList(QDir::Files).size(), 1) << "delivered once";
    EXPECT_EQ(controller->store().items().size(), 2u);
    const auto stayed = order(*controller);
    EXPECT_EQ(stayed, (std::vector<QUuid>{other.id, file.id})) << "a chip drop reorders nothing";
}

TEST_F(ShelfDropRoutesTest, AnotherProgramsDropOnAChipGoesToThatChip) {
    auto controller = makeController();
    const QString folder = recentFolder(*controller, "Inbox", 100);
    const QString dropped = m_dir.write("Desktop/letter.txt", "dear");
    controller->dragMonitor(controller->monitor(), QPointF(640, 790));
    m_shell.clock.advance(1);
    ASSERT_FALSE(controller->destinationRow().models().empty());
    const QPointF chip = chipPoint(*controller, 0);
    const Rect& panel = controller->panel().frame();
    const Point inView{chip.x() - panel.x, chip.y() - panel.y};

    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(dropped)});
    const MimePasteboard pasteboard(data);
    ShelfDropTarget& target = controller->view().dropTarget();
    ASSERT_TRUE(target.entered(pasteboard, inView));
    ASSERT_TRUE(target.updated(pasteboard, inView));
    EXPECT_EQ(controller->destinationRow().highlightedID(),
              controller->chipCandidates().front().id);
    ASSERT_TRUE(target.perform(pasteboard, inView, nullptr));
    waitUntil([&] { return controller->pendingChipCopies() == 0; });
    EXPECT_EQ(contents(folder + "/letter.txt"), "dear");
    EXPECT_TRUE(controller->store().items().empty()) << "the shelf took nothing itself";
}

} // namespace
} // namespace tarvo::test
