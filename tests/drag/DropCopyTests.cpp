// Dropped files and folders copied on the worker: receiving at once, complete
// or failed later, and a second drop of the same content giving way to the
// item already on the shelf.
#include "DropFixture.h"

#include "TarvoCore/ContentHash.h"
#include "TarvoCore/DiskIO.h"
#include "TarvoCore/L10n.h"

#include "support/DiskRecorder.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

#include <atomic>
#include <fcntl.h>
#include <sys/stat.h>

using namespace tarvo;

namespace {

using DropCopyTest = test::WorkerDropFixture;

TEST_F(DropCopyTest, ADroppedFileShowsAtOnceAsReceivingAndCompletesFromTheWorker) {
    const QString path = writeSource("report.txt", "quarterly numbers");
    test::DiskRecorder disk;
    const std::vector<Item> placeholders = dropFiles({path});
    ASSERT_EQ(placeholders.size(), 1u);
    const Item& placeholder = placeholders.front();
    EXPECT_TRUE(placeholder.state.is<ItemState::Receiving>());
    EXPECT_EQ(placeholder.displayName, "report.txt");
    EXPECT_EQ(placeholder.payload, ItemPayload::file("report.txt"));
    EXPECT_EQ(placeholder.sourceURL, QUrl::fromLocalFile(path));
    EXPECT_EQ(placeholder.sourceBundleID, "org.example.Files");
    ASSERT_EQ(added.size(), 1u);
    EXPECT_EQ(added.front(), placeholders);
    EXPECT_EQ(m_store->items().front(), placeholder);

    ASSERT_TRUE(waitForCopies());
    ASSERT_EQ(updated.size(), 1u);
    const Item& done = updated.front();
    EXPECT_EQ(done.id, placeholder.id);
    EXPECT_TRUE(done.state.isReady());
    EXPECT_EQ(done.contentHash, ContentHash::ofPath(path));
    EXPECT_EQ(readAll(stored(done)), "quarterly numbers");
    EXPECT_EQ(m_store->item(done.id), done);
    EXPECT_TRUE(duplicates.empty());
    // The copy was made durable before its item said it was ready.
    const std::vector<QString> calls = disk.calls();
    const auto flushed = std::find(calls.begin(), calls.end(), "flushFile report.txt");
    ASSERT_NE(flushed, calls.end());
    EXPECT_NE(std::find(flushed, calls.end(), "rename .item.json.ID.tmp -> item.json"),
              calls.end());
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "flushFile report.txt"), 1)
        << "flushed once, on the worker";
}

TEST_F(DropCopyTest, TheMainThreadGoesOnWhileACopyIsHeldUp) {
    const QString path = writeSource("big.bin", QByteArray(300000, 'x'));
    std::atomic<bool> release = false;
    std::atomic<bool> copying = false;
    DiskIO::setObserver([&](DiskIO::Call call, const QString& file, const QString&) {
        if (call == DiskIO::Call::open && file == path) {
            copying = true;
            while (!release)
                QThread::msleep(1);
        }
        return 0;
    });
    const std::vector<Item> placeholders = dropFiles({path});
    ASSERT_EQ(placeholders.size(), 1u);
    QDeadlineTimer deadline(20000);
    while (!copying && !deadline.hasExpired())
        QThread::msleep(1);
    EXPECT_TRUE(copying) << "the worker is copying while accept has returned";
    EXPECT_TRUE(m_store->item(placeholders.front().id)->state.is<ItemState::Receiving>());
    release = true;
    ASSERT_TRUE(waitForCopies());
    DiskIO::setObserver(nullptr);
    EXPECT_TRUE(m_store->item(placeholders.front().id)->state.isReady());
    EXPECT_EQ(readAll(stored(*m_store->item(placeholders.front().id))).size(), 300000);
}

TEST_F(DropCopyTest, DroppingTheSameContentAgainReportsTheItemAlreadyOnTheShelf) {
    // Larger than the fingerprint's first MiB, so the rest is compared too.
    QByteArray bytes(1536 * 1024, 'a');
    const QString path = writeSource("movie.bin", bytes);
    dropFiles({path});
    ASSERT_TRUE(waitForCopies());
    const Item first = m_store->items().front();

    test::DiskRecorder disk;
    const std::vector<Item> again = dropFiles({path});
    ASSERT_EQ(again.size(), 1u);
    EXPECT_NE(again.front().id, first.id);
    ASSERT_TRUE(waitForCopies());
    // Recognised from the dropped file itself: no second copy is written.
    for (const QString& call : disk.calls())
        EXPECT_FALSE(call.contains(QLatin1String("movie.bin"))) << call.toStdString();
    ASSERT_EQ(duplicates.size(), 1u);
    EXPECT_EQ(duplicates.front().id, first.id);
    EXPECT_FALSE(m_store->item(again.front().id));
    EXPECT_EQ(m_store->items().size(), 1u);
    EXPECT_EQ(m_store->selection(), QSet<QUuid>({first.id}));

    // The same fingerprint with other bytes past the first MiB is new content.
    bytes[bytes.size() - 1] = 'b';
    const QString other = writeSource("movie copy.bin", bytes);
    ASSERT_EQ(ContentHash::ofPath(other), first.contentHash);
    dropFiles({other});
    ASSERT_TRUE(waitForCopies());
    EXPECT_EQ(duplicates.size(), 1u);
    EXPECT_EQ(m_store->items().size(), 2u);
    EXPECT_TRUE(m_store->items().front().state.isReady());
}

TEST_F(DropCopyTest, AFolderDroppedTwiceIsComparedByWhatItHolds) {
    writeSource("Album/a.txt", "alpha");
    writeSource("Album/inner/b.txt", "beta");
    const timespec times[2] = {{1600000000, 0}, {1600000000, 0}};
    const QByteArray folder = QFile::encodeName(source("Album"));
    ASSERT_EQ(::utimensat(AT_FDCWD, folder.constData(), times, 0), 0);
    dropFiles({source("Album")});
    ASSERT_TRUE(waitForCopies());
    const Item first = m_store->items().front();
    EXPECT_EQ(readAll(stored(first) + "/inner/b.txt"), "beta");

    dropFiles({source("Album")});
    ASSERT_TRUE(waitForCopies());
    ASSERT_EQ(duplicates.size(), 1u);
    EXPECT_EQ(duplicates.front().id, first.id);

    writeSource("Album/inner/b.txt", "beta, edited");
    ASSERT_EQ(::utimensat(AT_FDCWD, folder.constData(), times, 0), 0);
    dropFiles({source("Album")});
    ASSERT_TRUE(waitForCopies());
    EXPECT_EQ(duplicates.size(), 1u);
    EXPECT_EQ(m_store->items().size(), 2u);
}

TEST_F(DropCopyTest, ACopyThatFailsLeavesAFailedItemAndNoPartialFile) {
    const QString path = writeSource("notes.txt", QByteArray(70000, 'n'));
    test::DiskRecorder disk;
    disk.fail(DiskIO::Call::write, "notes.txt", EIO);
    const std::vector<Item> placeholders = dropFiles({path});
    ASSERT_EQ(placeholders.size(), 1u);
    ASSERT_TRUE(waitForCopies());
    const std::optional<Item> item = m_store->item(placeholders.front().id);
    ASSERT_TRUE(item);
    EXPECT_EQ(item->state, ItemState::failed(L10n::itemFailed()));
    EXPECT_FALSE(QFile::exists(stored(*item)));
    ASSERT_EQ(updated.size(), 1u);
    EXPECT_EQ(updated.front().state, item->state);
    const std::vector<QString> lines = m_log.lines();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const QString& line) {
        return line.startsWith("drag error: could not copy notes.txt: ");
    }));
}

TEST_F(DropCopyTest, WhatCannotBeCopiedIsRefusedAtTheDrop) {
    ASSERT_EQ(::mkfifo(QFile::encodeName(source("pipe")).constData(), 0600), 0);
    EXPECT_TRUE(dropFiles({source("pipe"), source("missing.txt")}).empty());
    EXPECT_TRUE(m_store->items().empty());
    EXPECT_TRUE(added.empty());
    EXPECT_EQ(m_receiver->copiesInFlight(), 0u);
    EXPECT_EQ(m_log.lines(),
              (std::vector<QString>{
                  "drag error: could not copy pipe: it is neither a file nor a folder",
                  "drag error: could not copy missing.txt: it is neither a file nor a folder"}));
}

TEST_F(DropCopyTest, AnItemRemovedOrAReceiverGoneWhileCopyingHearsNothingMore) {
    const QString path = writeSource("gone.txt", "soon gone");
    const std::vector<Item> placeholders = dropFiles({path});
    m_store->remove(placeholders.front().id);
    ASSERT_TRUE(waitForCopies());
    EXPECT_TRUE(updated.empty());
    EXPECT_TRUE(m_store->items().empty());

    dropFiles({writeSource("later.txt", "later")});
    m_receiver.reset();
    QCoreApplication::processEvents();
    EXPECT_TRUE(updated.empty());
}

} // namespace
