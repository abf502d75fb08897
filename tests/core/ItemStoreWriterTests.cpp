// The store with its writes in the background: the order a power cut depends
// on, only the newest index written, nothing left behind for removed items,
// every queued write finished on the way out, and a failed "item.json" shown
// as a failed item.
#include "TarvoCore/ContentHash.h"
#include "TarvoCore/ItemStore.h"
#include "TarvoCore/Json.h"
#include "TarvoCore/L10n.h"
#include "TarvoCore/StoreWriter.h"

#include "support/DiskRecorder.h"
#include "support/EventLoopWait.h"
#include "support/ItemFactory.h"
#include "support/RecordingLogSink.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

using namespace tarvo;

namespace {

class StoreWriterTest : public ::testing::Test {
protected:
    QString root() const { return m_dir.file("Items"); }

    std::unique_ptr<ItemStore> openInBackground() {
        auto store = std::make_unique<ItemStore>(root());
        store->setWritesInBackground(true);
        return store;
    }

    static Item textItem(const QString& text, double addedAt) {
        return test::makeTextItem(text, Date::fromSecondsSince1970(addedAt));
    }

    Item fileItem(ItemStore& store, const QString& name, const QByteArray& bytes, double addedAt) {
        return test::makeFileItem(store, name, bytes, Date::fromSecondsSince1970(addedAt));
    }

    static std::vector<QString> matching(const std::vector<QString>& calls, const QString& part) {
        std::vector<QString> out;
        std::copy_if(calls.begin(), calls.end(), std::back_inserter(out),
                     [&](const QString& call) { return call.contains(part); });
        return out;
    }

    static qsizetype position(const std::vector<QString>& calls, const QString& call) {
        const auto at = std::find(calls.begin(), calls.end(), call);
        return at == calls.end() ? -1 : at - calls.begin();
    }

    test::TempDir m_dir;
};

} // namespace

// Held back, the writer gathers two items and three index snapshots: the
// items go first, payload before metadata, and one index holding the last
// snapshot follows them.
TEST_F(StoreWriterTest, ItemsPrecedeOneIndexHoldingTheNewestSnapshot) {
    auto store = openInBackground();
    const Item a = fileItem(*store, "a.txt", "alpha", 1);
    const Item b = textItem("bravo", 2);
    test::DiskRecorder disk;
    store->writer()->pause();
    ASSERT_TRUE(store->add(a).is<ItemStore::AddResult::Added>());
    ASSERT_TRUE(store->add(b).is<ItemStore::AddResult::Added>());
    store->move(a.id, 0);
    EXPECT_TRUE(disk.calls().empty()) << "nothing is written while the writer is held";
    store->waitForWrites();

    const std::vector<QString> calls = disk.calls();
    EXPECT_EQ(matching(calls, "rename"),
              (std::vector<QString>{"rename .item.json.ID.tmp -> item.json",
                                    "rename .item.json.ID.tmp -> item.json",
                                    "rename .tarvo.json.ID.tmp -> tarvo.json"}));
    EXPECT_EQ(matching(calls, "tarvo.json").size(), 3u) << "one index write: write, flush, rename";
    const qsizetype payload = position(calls, "flushFile a.txt");
    ASSERT_GE(payload, 0);
    EXPECT_LT(payload, position(calls, "write item.json"));
    EXPECT_EQ(test::itemIds(ItemStore(root())), (std::vector<QUuid>{a.id, b.id}));
}

// An item removed before its write started leaves no folder behind, and the
// index that no longer lists it waits for the rename aside to be flushed.
TEST_F(StoreWriterTest, RemovedBeforeItsWriteLeavesNothing) {
    auto store = openInBackground();
    const Item kept = textItem("kept", 1);
    store->add(kept);
    store->waitForWrites();

    const Item gone = fileItem(*store, "g.txt", "gone", 2);
    test::DiskRecorder disk;
    store->writer()->pause();
    store->add(gone);
    store->remove(gone.id);
    store->waitForWrites();

    const std::vector<QString> calls = disk.calls();
    EXPECT_TRUE(matching(calls, "item.json").empty()) << "the cancelled write never ran";
    const qsizetype rootFlush = position(calls, "flushFolder Items");
    ASSERT_GE(rootFlush, 0);
    EXPECT_LT(rootFlush, position(calls, "write tarvo.json"));
    EXPECT_FALSE(QFileInfo::exists(store->itemDirectory(gone.id)));
    EXPECT_EQ(test::itemIds(ItemStore(root())), std::vector<QUuid>{kept.id});
}

// Quitting with writes still queued: destroying the store or saving it
// finishes them, so a restart shows everything that was added.
TEST_F(StoreWriterTest, QueuedWritesAreFinishedOnTheWayOut) {
    struct Case {
        const char* name;
        std::function<void(std::unique_ptr<ItemStore>&)> leave;
    };
    const Case cases[] = {
        {"destroyed", [](std::unique_ptr<ItemStore>& store) { store.reset(); }},
        {"saved", [](std::unique_ptr<ItemStore>& store) { store->save(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QDir(root()).removeRecursively();
        auto store = openInBackground();
        store->writer()->pause();
        std::vector<QUuid> added;
        for (int i = 0; i < 40; ++i) {
            const Item item = textItem(QStringLiteral("%1 %2").arg(c.name).arg(i), i);
            store->add(item);
            added.insert(added.begin(), item.id);
        }
        Item changed = store->items().back();
        changed.pinned = true;
        store->update(changed);
        c.leave(store);
        const ItemStore reopened(root());
        EXPECT_EQ(test::itemIds(reopened), added);
        EXPECT_TRUE(reopened.item(changed.id)->pinned);
    }
}

// A write that fails on the writer leaves the item on the shelf, failed, and
// says so on the main thread; a failure of a write that a removal cancelled
// or a later write replaced says nothing.
TEST_F(StoreWriterTest, AFailedItemWriteTurnsTheItemFailed) {
    auto store = openInBackground();
    std::vector<std::pair<QUuid, QString>> reported;
    store->onWriteFailed = [&](const Item& item, const QString& reason) {
        EXPECT_EQ(item.state, ItemState::failed(L10n::itemFailed()));
        reported.emplace_back(item.id, reason);
    };
    const Item item = textItem("blocked", 1);
    // A folder where "item.json" should go makes the swap fail.
    ASSERT_TRUE(QDir().mkpath(store->itemDirectory(item.id) + "/item.json"));
    test::RecordingLogSink log;
    EXPECT_TRUE(store->add(item).is<ItemStore::AddResult::Added>()) << "told later, not now";
    test::runEventsUntil([&] { return !reported.empty(); });
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported[0].first, item.id);
    EXPECT_EQ(reported[0].second, "could not replace “item.json”: Is a directory");
    EXPECT_EQ(store->item(item.id)->state, ItemState::failed(L10n::itemFailed()));
    EXPECT_EQ(log.lines(),
              std::vector<QString>{"core error: could not write item.json: could not replace "
                                   "“item.json”: Is a directory"});

    // Both writes fail, but only the newest one speaks for the item.
    reported.clear();
    Item again = *store->item(item.id);
    again.pinned = true;
    store->writer()->pause();
    store->update(again);
    store->update(again);
    store->waitForWrites();
    test::runEventsUntil([&] { return !reported.empty(); });
    QCoreApplication::processEvents();
    EXPECT_EQ(reported.size(), 1u);

    reported.clear();
    const Item removed = textItem("removed", 2);
    store->add(removed);
    store->waitForWrites();
    QFile::remove(store->itemDirectory(removed.id) + "/item.json");
    ASSERT_TRUE(QDir().mkpath(store->itemDirectory(removed.id) + "/item.json"));
    Item renamed = removed;
    renamed.displayName = QStringLiteral("renamed");
    store->writer()->pause();
    store->update(renamed);
    store->remove(removed.id);
    store->waitForWrites();
    QCoreApplication::processEvents();
    EXPECT_TRUE(reported.empty());
}

// A crash between an item's "item.json" and the index that lists it: the
// store still opens with what the last index held, keeps the new folder,
// and takes it back once it is old enough to be no drop in progress.
TEST_F(StoreWriterTest, ACrashBeforeTheIndexLeavesAStoreThatOpens) {
    Item kept = textItem("kept", 1);
    Item late = textItem("late", 2);
    {
        auto store = openInBackground();
        store->add(kept);
    }
    {
        StoreWriter writer(root());
        QDir().mkpath(itemFolder(root(), late.id));
        writer.writeItem(late, true);
    } // stopped before any index
    EXPECT_EQ(test::itemIds(ItemStore(root())), std::vector<QUuid>{kept.id});
    ASSERT_TRUE(QFileInfo::exists(itemFolder(root(), late.id) + "/item.json"));

    const QString folder = itemFolder(root(), late.id);
    const timespec then{::time(nullptr) - 2 * 86400, 0};
    const timespec times[2] = {then, then};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(folder).constData(), times, 0), 0);
    EXPECT_EQ(test::itemIds(ItemStore(root())), (std::vector<QUuid>{kept.id, late.id}));
}
