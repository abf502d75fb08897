#include "DropFixture.h"

#include "TarvoCore/ContentHash.h"
#include "TarvoCore/Json.h"
#include "TarvoCore/L10n.h"
#include "TarvoPlatform/TypeMapping.h"
#include "TarvoPlatform/memory/MemoryFilePromiseReceiver.h"

#include <QFile>
#include <QFileInfo>

using namespace tarvo;

namespace {

class DropPromiseTest : public test::DropFixture {
protected:
    std::shared_ptr<MemoryFilePromiseReceiver> promise(QStringList names) {
        auto receiver = std::make_shared<MemoryFilePromiseReceiver>(std::move(names));
        m_pasteboard.clearContents();
        m_pasteboard.setFilePromiseReceivers({receiver});
        return receiver;
    }
    Item placeholderFor(const std::shared_ptr<MemoryFilePromiseReceiver>& receiver) {
        const std::vector<Item> items = drop();
        EXPECT_EQ(items.size(), 1u);
        EXPECT_TRUE(receiver->wasAsked());
        return items.empty() ? Item{} : items.front();
    }
};

TEST_F(DropPromiseTest, PlaceholderShowsAtOnceAndCompletesWhenTheFileArrives) {
    auto receiver = promise({"Archive Contents.txt", "second.txt"});
    const Item placeholder = placeholderFor(receiver);
    EXPECT_EQ(placeholder.payload, ItemPayload::file("Archive Contents.txt"));
    EXPECT_EQ(placeholder.displayName, "Archive Contents.txt");
    EXPECT_EQ(placeholder.state, ItemState::receiving());
    EXPECT_EQ(placeholder.contentHash, "pending-" + json::uuidText(placeholder.id));
    EXPECT_EQ(placeholder.sourceBundleID, "org.example.Files");
    EXPECT_EQ(receiver->destination(), m_store->itemDirectory(placeholder.id));
    EXPECT_EQ(m_store->items().front(), placeholder);
    ASSERT_EQ(added.size(), 1u);
    EXPECT_EQ(m_clock.pendingCount(), 1u);

    m_clock.advance(29.0);
    const QString file = receiver->deliver("Archive Contents.txt", "unpacked");
    EXPECT_TRUE(updated.empty()); // handed to the main thread, not run inside the reader
    settle();

    ASSERT_EQ(updated.size(), 1u);
    const Item& done = updated.front();
    EXPECT_EQ(done.id, placeholder.id);
    EXPECT_TRUE(done.state.isReady());
    EXPECT_EQ(done.payload, ItemPayload::file("Archive Contents.txt"));
    EXPECT_EQ(done.contentHash, ContentHash::ofPath(file));
    EXPECT_EQ(m_store->item(placeholder.id), done);
    EXPECT_EQ(m_clock.pendingCount(), 0u); // the timeout was cancelled
    m_clock.advance(5.0);
    EXPECT_EQ(updated.size(), 1u);
}

TEST_F(DropPromiseTest, PromisedImageBecomesAnImage) {
    auto receiver = promise({"scan.jpeg"});
    placeholderFor(receiver);
    receiver->deliver("scan.jpeg", "jpeg bytes");
    settle();
    ASSERT_EQ(updated.size(), 1u);
    EXPECT_EQ(updated.front().payload, ItemPayload::image("scan.jpeg"));
}

TEST_F(DropPromiseTest, ReceiverWithoutNamesIsCalledFileUntilItsFileArrives) {
    auto receiver = promise({});
    const Item placeholder = placeholderFor(receiver);
    EXPECT_EQ(placeholder.displayName, "File");
    EXPECT_EQ(placeholder.payload, ItemPayload::file("File"));
    receiver->deliver("real name.pdf", "%PDF-1.4");
    settle();
    ASSERT_EQ(updated.size(), 1u);
    EXPECT_EQ(updated.front().displayName, "real name.pdf");
}

TEST_F(DropPromiseTest, SuggestedNamesNeverReachOutsideOrOntoTheStoresFiles) {
    struct Case {
        QString suggested;
        QString shown;
        QString stored;
    };
    const std::vector<Case> cases{
        {"../../escape.txt", "escape.txt", "escape.txt"},
        {"item.json", "item.json", "item 2.json"},
        {"..", "File", "File"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.suggested.toStdString());
        auto receiver = promise({c.suggested});
        const Item placeholder = placeholderFor(receiver);
        EXPECT_EQ(placeholder.displayName, c.shown);
        EXPECT_EQ(placeholder.payload, ItemPayload::file(c.stored));
        EXPECT_EQ(receiver->storedName(c.suggested), c.stored);
    }
    const ItemStore reopened(m_store->root());
    EXPECT_EQ(reopened.items().size(), cases.size());
}

TEST_F(DropPromiseTest, PromiseThatMissesTheTimeoutFailsAndItsLateFileIsRemoved) {
    auto receiver = promise({"slow.bin"});
    const Item placeholder = placeholderFor(receiver);
    m_clock.advance(29.5);
    EXPECT_TRUE(updated.empty());
    m_clock.advance(0.5);
    ASSERT_EQ(updated.size(), 1u);
    EXPECT_EQ(updated.front().state, ItemState::failed(L10n::itemFailed()));
    EXPECT_EQ(m_store->item(placeholder.id)->state, ItemState::failed(L10n::itemFailed()));

    const QString late = receiver->deliver("slow.bin", "finally");
    settle();
    EXPECT_EQ(updated.size(), 1u);
    EXPECT_FALSE(QFileInfo::exists(late));
    EXPECT_EQ(m_store->item(placeholder.id)->state, ItemState::failed(L10n::itemFailed()));
    EXPECT_TRUE(QFileInfo::exists(m_store->itemDirectory(placeholder.id) + "/item.json"));
}

TEST_F(DropPromiseTest, OnlyTheFirstAnswerCounts) {
    auto receiver = promise({"one.txt"});
    const Item placeholder = placeholderFor(receiver);
    const QString first = receiver->deliver("one.txt", "1");
    const QString second = receiver->deliver("two.txt", "2");
    receiver->fail("too late to matter");
    settle();
    ASSERT_EQ(updated.size(), 1u);
    EXPECT_TRUE(updated.front().state.isReady());
    EXPECT_TRUE(QFileInfo::exists(first));
    EXPECT_FALSE(QFileInfo::exists(second));
    EXPECT_TRUE(m_log.lines().empty());
}

TEST_F(DropPromiseTest, SourceErrorFailsTheItemAndIsLogged) {
    auto receiver = promise({"x.txt"});
    const Item placeholder = placeholderFor(receiver);
    receiver->fail("The source ran out of disk space.");
    settle();
    ASSERT_EQ(updated.size(), 1u);
    EXPECT_EQ(updated.front().state, ItemState::failed(L10n::itemFailed()));
    EXPECT_EQ(m_log.lines(), std::vector<QString>{
                                 "drag error: promise failed: The source ran out of disk space."});
    EXPECT_EQ(m_clock.pendingCount(), 0u);
}

// A source that can neither save its file nor hand over its bytes (a
// browser's large picture) still offers the picture's address: the
// placeholder becomes that link where it stands, or the text offered when
// there is no link, whether the source says it failed or never answers.
TEST_F(DropPromiseTest, BrokenPromiseGivesWayToTheLinkOrTextOfferedBesideIt) {
    const QUrl picture("http://127.0.0.1:8000/large.png");
    struct Case {
        const char* name;
        std::function<void(MemoryPasteboard&)> offer;
        bool timesOut;
        ItemPayload payload;
        QString displayName;
        QString hashed;
    };
    const std::vector<Case> cases = {
        {"link with its title, source fails",
         [&](MemoryPasteboard& p) {
             p.setURLs({picture});
             p.setString(TypeIdentifier::urlName, "A picture of noise");
         },
         false, ItemPayload::url(picture, QStringLiteral("A picture of noise")),
         "A picture of noise", picture.toString()},
        {"link without a title, source never answers",
         [&](MemoryPasteboard& p) { p.setURLs({picture}); }, true, ItemPayload::url(picture),
         "127.0.0.1", picture.toString()},
        {"text alone, source fails",
         [](MemoryPasteboard& p) {
             p.setString(TypeIdentifier::utf8PlainText, "words about the file");
         },
         false, ItemPayload::text("words about the file"), "words about the file",
         "words about the file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        updated.clear();
        auto receiver = promise({"large.png"});
        c.offer(m_pasteboard);
        const Item placeholder = placeholderFor(receiver);
        EXPECT_EQ(placeholder.state, ItemState::receiving());
        if (c.timesOut) {
            m_clock.advance(DropReceiver::promiseTimeout);
        } else {
            receiver->fail("the source could not save the file there nor hand over its bytes");
            settle();
        }
        ASSERT_EQ(updated.size(), 1u);
        const Item& item = updated.front();
        EXPECT_EQ(item.id, placeholder.id);
        EXPECT_TRUE(item.state.isReady());
        EXPECT_EQ(item.payload, c.payload);
        EXPECT_EQ(item.displayName, c.displayName);
        EXPECT_EQ(item.contentHash, ContentHash::ofString(c.hashed));
        EXPECT_EQ(m_store->item(placeholder.id), item);
        EXPECT_EQ(m_clock.pendingCount(), 0u);
        m_store->remove(item.id);
    }
    EXPECT_TRUE(duplicates.empty());
}

TEST_F(DropPromiseTest, BrokenPromiseOfALinkAlreadyOnTheShelfSelectsIt) {
    const QUrl picture("http://127.0.0.1:8000/large.png");
    m_pasteboard.setURLs({picture});
    const Item existing = drop().front();

    auto receiver = promise({"large.png"});
    m_pasteboard.setURLs({picture});
    const Item placeholder = placeholderFor(receiver);
    receiver->fail("the source could not save the file there");
    settle();

    ASSERT_EQ(duplicates.size(), 1u);
    EXPECT_EQ(duplicates.front(), existing);
    EXPECT_TRUE(updated.empty());
    EXPECT_FALSE(m_store->item(placeholder.id));
    EXPECT_EQ(m_store->selection(), QSet<QUuid>{existing.id});
}

TEST_F(DropPromiseTest, FileThatCannotBeHashedOrLiesElsewhereFailsTheItem) {
    struct Case {
        const char* name;
        std::function<void(MemoryFilePromiseReceiver&)> answer;
    };
    const std::vector<Case> cases{
        {"missing file", [](auto& r) { r.report(r.destination() + "/never-written.txt"); }},
        {"outside the item's folder",
         [this](auto& r) { r.report(writeSource("elsewhere.txt", "x")); }},
        {"no path", [](auto& r) { r.report(QString()); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        updated.clear();
        auto receiver = promise({"x.txt"});
        placeholderFor(receiver);
        c.answer(*receiver);
        settle();
        ASSERT_EQ(updated.size(), 1u);
        EXPECT_EQ(updated.front().state, ItemState::failed(L10n::itemFailed()));
    }
    EXPECT_TRUE(QFileInfo::exists(source("elsewhere.txt"))); // never touched
}

TEST_F(DropPromiseTest, PromisedContentAlreadyOnTheShelfSelectsTheExistingItem) {
    m_pasteboard.setURLs({QUrl::fromLocalFile(writeSource("held.txt", "same bytes"))});
    const Item existing = drop().front();

    auto receiver = promise({"held copy.txt"});
    const Item placeholder = placeholderFor(receiver);
    m_store->setSelection({placeholder.id});
    receiver->deliver("held copy.txt", "same bytes");
    settle();

    ASSERT_EQ(duplicates.size(), 1u);
    EXPECT_EQ(duplicates.front(), existing);
    EXPECT_TRUE(updated.empty());
    EXPECT_FALSE(m_store->item(placeholder.id));
    EXPECT_FALSE(QFileInfo::exists(m_store->itemDirectory(placeholder.id)));
    EXPECT_EQ(m_store->selection(), QSet<QUuid>{existing.id});
}

TEST_F(DropPromiseTest, LargeFilesEqualOnlyInTheirHashedPrefixAreNotDuplicates) {
    QByteArray bytes(2 * 1048576, 'p');
    m_pasteboard.setURLs({QUrl::fromLocalFile(writeSource("big.bin", bytes))});
    const Item existing = drop().front();
    bytes[1048576 + 10] = 'q';
    auto receiver = promise({"big.bin"});
    const Item placeholder = placeholderFor(receiver);
    receiver->deliver("big.bin", bytes);
    settle();
    EXPECT_TRUE(duplicates.empty());
    ASSERT_EQ(updated.size(), 1u);
    EXPECT_EQ(updated.front().id, placeholder.id);
    EXPECT_EQ(updated.front().contentHash, existing.contentHash);
    EXPECT_EQ(m_store->items().size(), 2u);
}

TEST_F(DropPromiseTest, RemovedPlaceholderIgnoresItsFile) {
    auto receiver = promise({"gone.txt"});
    const Item placeholder = placeholderFor(receiver);
    m_store->remove(placeholder.id);
    QDir().mkpath(receiver->destination()); // a source that makes the folder again
    const QString file = receiver->deliver("gone.txt", "x");
    settle();
    EXPECT_TRUE(updated.empty());
    EXPECT_FALSE(QFileInfo::exists(file));
    EXPECT_FALSE(QFileInfo::exists(receiver->destination()));
    m_clock.advance(31);
    EXPECT_TRUE(updated.empty());
}

TEST_F(DropPromiseTest, SeveralPromisesEachGetTheirOwnItemAndTimeout) {
    auto a = std::make_shared<MemoryFilePromiseReceiver>(QStringList{"a.txt"});
    auto b = std::make_shared<MemoryFilePromiseReceiver>(QStringList{"b.txt"});
    m_pasteboard.setFilePromiseReceivers({a, b});
    const std::vector<Item> items = drop();
    ASSERT_EQ(items.size(), 2u);
    EXPECT_NE(a->destination(), b->destination());
    EXPECT_EQ(m_clock.pendingCount(), 2u);
    a->deliver("a.txt", "a");
    settle();
    m_clock.advance(30);
    ASSERT_EQ(updated.size(), 2u);
    EXPECT_TRUE(updated[0].state.isReady());
    EXPECT_EQ(updated[1].id, items[1].id);
    EXPECT_EQ(updated[1].state, ItemState::failed(L10n::itemFailed()));
}

TEST_F(DropPromiseTest, AnswersAfterTheReceiverIsGoneDoNothing) {
    auto receiver = promise({"x.txt"});
    placeholderFor(receiver);
    m_receiver.reset();
    EXPECT_EQ(m_clock.pendingCount(), 0u);
    receiver->deliver("x.txt", "x");
    settle();
    m_clock.advance(60);
    EXPECT_TRUE(updated.empty());
}

TEST_F(DropPromiseTest, AnswerFromAnotherThreadReachesTheMainThread) {
    auto receiver = promise({"x.txt"});
    placeholderFor(receiver);
    QThreadPool::globalInstance()->start([receiver] { receiver->deliver("x.txt", "threaded"); });
    QThreadPool::globalInstance()->waitForDone();
    settle();
    ASSERT_EQ(updated.size(), 1u);
    EXPECT_TRUE(updated.front().state.isReady());
}

TEST_F(DropPromiseTest, RetryOfAPromiseAfterItsDragSaysToDropItAgain) {
    auto receiver = promise({"x.txt"});
    const Item placeholder = placeholderFor(receiver);
    m_clock.advance(30);
    updated.clear();
    m_log.clear();
    m_receiver->retry(placeholder.id);
    ASSERT_EQ(updated.size(), 1u);
    EXPECT_EQ(updated.front().state, ItemState::failed(L10n::itemSourceGone()));
    EXPECT_EQ(m_store->item(placeholder.id)->state, updated.front().state);
    EXPECT_EQ(m_log.lines(), std::vector<QString>{"drag notice: retry requested for " +
                                                  json::uuidText(placeholder.id)});
    m_receiver->retry(QUuid::createUuid()); // unknown: nothing
    EXPECT_EQ(updated.size(), 1u);
}

} // namespace
