#include "DragOutFixture.h"

#include "TarvoDrag/PasteboardOrder.h"

#include "support/PasteboardTypes.h"

using namespace tarvo;
using namespace tarvo::test;

namespace {

using namespace tarvo::test::types;

using DragSourceTest = DragOutFixture;
using Message = MemoryDragSession::Message;

TEST_F(DragSourceTest, EachItemGoesOnThePasteboardAsDataAndAsAPromise) {
    const Item first = pngItem();
    const Item second = textItem("notes");
    drag({first, second});

    const std::vector<DraggingItem>& dragging = session().draggingItems();
    ASSERT_EQ(dragging.size(), 4u);
    const std::vector<std::shared_ptr<PasteboardItem>>& items = source->pasteboardItems();
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(std::get<std::shared_ptr<PasteboardItem>>(dragging[0].writer), items[0]);
    EXPECT_EQ(std::get<std::shared_ptr<FilePromiseProvider>>(dragging[1].writer),
              source->promiseProviders().at(first.id));
    EXPECT_EQ(std::get<std::shared_ptr<PasteboardItem>>(dragging[2].writer), items[1]);
    EXPECT_EQ(std::get<std::shared_ptr<FilePromiseProvider>>(dragging[3].writer),
              source->promiseProviders().at(second.id));

    // The unchanged item's order without the promise, and only what each answers.
    EXPECT_EQ(items[0]->types(), (QStringList{fileURL, png, string}));
    EXPECT_EQ(items[1]->types(), QStringList{string});
    EXPECT_EQ(source->promiseProviders().at(second.id)->userInfo(), json::uuidText(second.id));
    EXPECT_EQ(source->draggedItemIDs(), (std::vector<QUuid>{first.id, second.id}));
    EXPECT_TRUE(source->isTarvoSource());
    EXPECT_TRUE(source->sessionActive());
}

TEST_F(DragSourceTest, PromisedFileTypes) {
    struct Case {
        const char* name;
        Item item;
        QString expected;
    };
    const std::vector<Case> cases{
        {"text", textItem("hello"), "public.plain-text"},
        {"web link", urlItem(QUrl("https://example.org/")), "public.plain-text"},
        {"upper-case HEIC extension", fileItem("IMG_0001.HEIC", "heic"), "public.heic"},
        {"PNG", pngItem(), "public.png"},
        {"unknown extension", fileItem("archive.tarvo-unknown", "x"), "public.data"},
        {"no extension", fileItem("README", "y"), "public.data"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(DragSource::fileType(c.item), c.expected);
    }
}

TEST_F(DragSourceTest, DraggingFramesTakeTheThumbnailSizeOr44Points) {
    struct Case {
        const char* name;
        std::optional<QImage> image;
        QSizeF expected;
    };
    const std::vector<Case> cases{
        {"no thumbnail", std::nullopt, {44, 44}},
        {"zero width", QImage(0, 56, QImage::Format_ARGB32), {44, 44}},
        {"56 x 56", QImage(56, 56, QImage::Format_ARGB32), {56, 56}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DragSource& dragSource = drag({pngItem()}, false);
        const auto dragging =
            dragSource.makeDraggingItems(QPointF(3, 4), [&](const Item&) { return c.image; });
        ASSERT_EQ(dragging.size(), 2u);
        for (const DraggingItem& item : dragging)
            EXPECT_EQ(item.frame, QRectF(QPointF(3, 4), c.expected));
        EXPECT_TRUE(dragging[1].image.isNull());
    }
}

TEST_F(DragSourceTest, EachTargetIsToldTheOrderOfItsDelivery) {
    const Item photo = pngItem();
    drag({photo});

    moveTo(overBrowser, "browser");
    moveTo(overTerminal, "terminal");

    ASSERT_EQ(delegate.changes.size(), 2u);
    EXPECT_EQ(delegate.changes[0].destination, browser());
    EXPECT_EQ(delegate.changes[0].delivery, browserJPEG());
    EXPECT_EQ(delegate.changes[1].destination, terminal());
    EXPECT_EQ(delegate.changes[1].delivery, Delivery::path());
    EXPECT_EQ(source->lastOrder(), (QStringList{string, promise, fileURL, png, jpeg, url}));

    // Each in its delivery's order, the promise in its place, and only what
    // the converted JPEG and the path answer.
    const std::vector<Message> expected{
        {Message::Kind::enter, "browser", {promise, fileURL, jpeg, string}},
        {Message::Kind::leave, "browser", {}},
        {Message::Kind::enter, "terminal", {string, promise}},
    };
    EXPECT_EQ(session().messages(), expected);
    EXPECT_EQ(delegate.moves, (std::vector<QPointF>{overBrowser, overTerminal}));
}

TEST_F(DragSourceTest, ATargetWhoseListChangesUnderThePointerIsLeftAndEnteredAgain) {
    drag({pngItem()});
    moveTo(overBrowser, "browser");
    input.setModifierFlags(ModifierFlag::option);
    moveTo(overBrowser, "browser");

    const std::vector<Message>& messages = session().messages();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[1], (Message{Message::Kind::leave, "browser", {}}));
    EXPECT_EQ(messages[2].kind, Message::Kind::enter);
    // The unchanged item's order: the file first, the PNG itself offered.
    EXPECT_EQ(messages[2].types, (QStringList{fileURL, promise, png, string}));
}

TEST_F(DragSourceTest, OptionDeliversTheUnchangedItemUntilReleased) {
    drag({pngItem()});
    input.setModifierFlags(ModifierFlag::option);
    moveTo(overBrowser);
    ASSERT_EQ(delegate.changes.size(), 1u);
    EXPECT_EQ(delegate.changes[0].delivery, Delivery::original());
    EXPECT_EQ(source->lastOrder(), PasteboardOrder::defaultOrder(promise));

    input.setModifierFlags(0);
    moveTo(overBrowser);
    ASSERT_EQ(delegate.changes.size(), 2u);
    EXPECT_EQ(delegate.changes[1].delivery, browserJPEG());
    EXPECT_EQ(source->lastOrder().front(), promise);
}

TEST_F(DragSourceTest, AMoveWithinTheThrottleChangesNothingButOptionStillCounts) {
    drag({pngItem()});
    moveTo(overBrowser);
    const int listings = windows.listings();
    const qint64 changes = session().draggingPasteboard().changeCount();

    clock.advance(0.01);
    session().moveTo(overBrowser + QPointF(4, -4));
    EXPECT_EQ(windows.listings(), listings);
    EXPECT_EQ(delegate.changes.size(), 1u);
    EXPECT_EQ(session().draggingPasteboard().changeCount(), changes);

    clock.advance(0.01);
    input.setModifierFlags(ModifierFlag::option);
    session().moveTo(overBrowser);
    EXPECT_EQ(windows.listings(), listings);
    ASSERT_EQ(delegate.changes.size(), 2u);
    EXPECT_EQ(delegate.changes[1].delivery, Delivery::original());
}

TEST_F(DragSourceTest, TheFirstMoveOverNothingReportsNothing) {
    drag({pngItem()});
    const qint64 changes = session().draggingPasteboard().changeCount();
    moveTo(overNothing);
    EXPECT_TRUE(delegate.changes.empty());
    EXPECT_EQ(delegate.moves.size(), 1u);
    EXPECT_EQ(session().draggingPasteboard().changeCount(), changes);
}

TEST_F(DragSourceTest, ARefusedRewriteFixesTheOrderForTheRestOfTheDrag) {
    struct Case {
        const char* name;
        bool refuses;
        DragPasteboard::TypeFilter filter;
    };
    const std::vector<Case> cases{
        {"write refused", true, nullptr},
        {"another first type", false,
         [](const QStringList& types) { return QStringList(types.rbegin(), types.rend()); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingLogSink log;
        delegate.changes.clear();
        drag({pngItem()});
        session().draggingPasteboard().setRefusesWrites(c.refuses);
        session().draggingPasteboard().setTypeFilter(c.filter);

        moveTo(overBrowser);
        EXPECT_EQ(source->strategy(), PasteboardOrderStrategy::fixed);
        EXPECT_TRUE(source->lastOrder().isEmpty());
        ASSERT_EQ(source->pasteboardItems().size(), 1u);

        session().draggingPasteboard().setRefusesWrites(false);
        session().draggingPasteboard().setTypeFilter(nullptr);
        const qint64 changes = session().draggingPasteboard().changeCount();
        moveTo(overTerminal);
        EXPECT_EQ(session().draggingPasteboard().changeCount(), changes);
        EXPECT_EQ(delegate.changes.size(), 2u);
        EXPECT_EQ(log.lines(), (std::vector<QString>{
                                   "drag notice: pasteboard reorder refused; falling back to the "
                                   "fixed order"}));
    }
}

TEST_F(DragSourceTest, AnotherDestinationWithTheSameOrderIsToldButNotWritten) {
    workspace.addProcess(300, QStringLiteral("chromium"));
    windows.setWindows({
        WindowInfo{browserPID, Rect{0, 0, 500, 500}, 0, 1},
        WindowInfo{300, Rect{500, 0, 500, 500}, 0, 3},
    });
    drag({pngItem()});
    moveTo(overBrowser);
    const qint64 changes = session().draggingPasteboard().changeCount();
    moveTo(overTerminal); // the second browser now
    EXPECT_EQ(session().draggingPasteboard().changeCount(), changes);
    ASSERT_EQ(delegate.changes.size(), 2u);
    EXPECT_EQ(delegate.changes[1].destination.bundleID, QStringLiteral("chromium"));
}

TEST_F(DragSourceTest, OfferedOperations) {
    struct Case {
        const char* name;
        quint64 flags;
        DraggingContext context;
        DragOperationMask expected;
    };
    const std::vector<Case> cases{
        {"no modifier", 0, DraggingContext::outsideApplication, 1},
        {"Shift asks for a move", ModifierFlag::shift, DraggingContext::outsideApplication, 16},
        {"Shift with Alt copies", ModifierFlag::shift | ModifierFlag::option,
         DraggingContext::outsideApplication, 1},
        {"Ctrl alone copies", ModifierFlag::command, DraggingContext::outsideApplication, 1},
        {"inside the shelf", ModifierFlag::shift, DraggingContext::withinApplication, 17},
    };
    drag({pngItem()});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        input.setModifierFlags(c.flags);
        clock.advance(1.0);
        EXPECT_EQ(session().moveTo(overNothing, std::nullopt, c.context), c.expected);
    }
}

TEST_F(DragSourceTest, TheModifiersOfTheStartCountUntilTheFirstMove) {
    drag({pngItem()}, true, DeliveryCoordinator::Modifiers(false, false, false, true));
    EXPECT_EQ(source->sourceOperationMask(DraggingContext::outsideApplication), 16u);
}

TEST_F(DragSourceTest, ADragThatNothingTookRemovesItsFolderAfterTellingTheDelegate) {
    struct Case {
        const char* name;
        DragOperation operation;
        bool folderStays;
    };
    const std::vector<Case> cases{
        {"nothing took it", DragOperation::none, false},
        {"copied", DragOperation::copy, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        drag({pngItem()});
        const QString folder = source->workDirectory();
        EXPECT_TRUE(QDir(folder).exists());
        moveTo(overBrowser);
        const int listings = windows.listings();

        session().end(QPointF(5, 6), c.operation);
        EXPECT_TRUE(delegate.workFolderAtEnd);
        EXPECT_EQ(delegate.endedWith, c.operation);
        EXPECT_EQ(delegate.endedAt, QPointF(5, 6));
        EXPECT_EQ(QDir(folder).exists(), c.folderStays);
        EXPECT_FALSE(source->sessionActive());

        // The resolver forgot its answer: the same point is resolved anew.
        resolver.resolve(Point{250, 250}, clock.now());
        EXPECT_EQ(windows.listings(), listings + 1);
    }
}

TEST_F(DragSourceTest, TheDelegateMayDropTheSourceWhenTheDragEnds) {
    drag({pngItem()});
    const QString folder = source->workDirectory();
    delegate.onEnd = [this] { source.reset(); };
    session().cancel(overNothing);
    EXPECT_EQ(source, nullptr);
    EXPECT_FALSE(QDir(folder).exists());
}

TEST_F(DragSourceTest, NoSessionWhenTheDragCannotStart) {
    sessions.setRefusesToBegin(true);
    drag({pngItem()});
    EXPECT_FALSE(source->sessionActive());
    sessions.setRefusesToBegin(false);
    drag({}, true);
    EXPECT_FALSE(source->sessionActive());
    EXPECT_EQ(sessions.begun(), 0);
}

} // namespace
