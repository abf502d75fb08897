// Retrying a failed drop: the file is copied again from where it was dropped
// from, on the worker as at its first drop, or the item says why it cannot be.
#include "DropFixture.h"

#include "TarvoCore/ContentHash.h"
#include "TarvoCore/DiskIO.h"
#include "TarvoCore/Json.h"
#include "TarvoCore/L10n.h"

#include "support/DiskRecorder.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

#include <functional>
#include <memory>

#include <sys/stat.h>

using namespace tarvo;

namespace {

class DropRetryTest : public test::WorkerDropFixture {
protected:
    // A dropped file whose first copy failed: its item.
    Item failedDrop(const QString& name, const QByteArray& bytes) {
        const QString path = writeSource(name, bytes);
        auto disk = std::make_unique<test::DiskRecorder>();
        disk->fail(DiskIO::Call::write, name, EIO);
        const std::vector<Item> placeholders = dropFiles({path});
        EXPECT_EQ(placeholders.size(), 1u);
        EXPECT_TRUE(waitForCopies());
        const std::optional<Item> item =
            placeholders.empty() ? std::nullopt : m_store->item(placeholders.front().id);
        EXPECT_TRUE(item && item->state == ItemState::failed(L10n::itemFailed()));
        updated.clear();
        m_log.clear();
        return item.value_or(Item{});
    }
};

TEST_F(DropRetryTest, ARetryCopiesTheFileAgainFromWhereItWasDropped) {
    const QByteArray bytes(300000, 'r');
    const Item failed = failedDrop("report.txt", bytes);

    m_receiver->retry(failed.id);
    // At once: receiving again, and shown so.
    ASSERT_EQ(updated.size(), 1u);
    EXPECT_TRUE(updated.front().state.is<ItemState::Receiving>());
    EXPECT_TRUE(m_store->item(failed.id)->state.is<ItemState::Receiving>());
    EXPECT_EQ(m_log.lines(), std::vector<QString>{"drag notice: retry requested for " +
                                                  json::uuidText(failed.id)});
    // A second retry while it copies starts nothing more.
    m_receiver->retry(failed.id);
    EXPECT_EQ(updated.size(), 1u);

    ASSERT_TRUE(waitForCopies());
    const std::optional<Item> item = m_store->item(failed.id);
    ASSERT_TRUE(item);
    EXPECT_TRUE(item->state.isReady());
    EXPECT_EQ(readAll(stored(*item)), bytes);
    EXPECT_EQ(item->contentHash, ContentHash::ofPath(source("report.txt")));
    EXPECT_EQ(item->displayName, failed.displayName);
    EXPECT_EQ(item->sourceBundleID, failed.sourceBundleID);
    ASSERT_EQ(updated.size(), 2u);
    EXPECT_TRUE(updated.back().state.isReady());
    // Ready items have nothing to retry.
    m_receiver->retry(failed.id);
    EXPECT_EQ(updated.size(), 2u);
    EXPECT_TRUE(m_store->item(failed.id)->state.isReady());
}

TEST_F(DropRetryTest, ARetryThatFindsTheContentOnTheShelfGivesWayToThatItem) {
    const Item failed = failedDrop("copy of notes.txt", "the same notes");
    const std::vector<Item> other = dropFiles({writeSource("notes.txt", "the same notes")});
    ASSERT_TRUE(waitForCopies());
    ASSERT_EQ(m_store->items().size(), 2u);

    m_receiver->retry(failed.id);
    ASSERT_TRUE(waitForCopies());
    EXPECT_FALSE(m_store->item(failed.id));
    ASSERT_EQ(duplicates.size(), 1u);
    EXPECT_EQ(duplicates.front().id, other.front().id);
    EXPECT_EQ(m_store->selection(), QSet<QUuid>({other.front().id}));
}

TEST_F(DropRetryTest, WithTheOriginalGoneOrUnreadableTheItemStaysFailedAndSaysWhy) {
    struct Case {
        const char* name;
        std::function<void(const QString& source)> spoil;
        QString reason;
    };
    const Case cases[] = {
        {"removed", [](const QString& path) { QFile::remove(path); }, L10n::itemSourceGone()},
        {"replaced by a pipe",
         [](const QString& path) {
             QFile::remove(path);
             ::mkfifo(QFile::encodeName(path).constData(), 0600);
         },
         L10n::itemSourceGone()},
    };
    for (const Case& c : cases) {
        const QString name = QStringLiteral("%1.txt").arg(QString::fromLatin1(c.name));
        const Item failed = failedDrop(name, QByteArray("bytes of ") + c.name);
        c.spoil(source(name));
        m_receiver->retry(failed.id);
        EXPECT_EQ(m_receiver->copiesInFlight(), 0u) << c.name;
        ASSERT_EQ(updated.size(), 1u) << c.name;
        EXPECT_EQ(updated.front().state, ItemState::failed(c.reason)) << c.name;
        EXPECT_EQ(m_store->item(failed.id)->state, ItemState::failed(c.reason)) << c.name;
    }

    // A copy that fails again leaves the item failed, with no partial file.
    const Item again = failedDrop("again.txt", QByteArray(70000, 'a'));
    test::DiskRecorder disk;
    disk.fail(DiskIO::Call::write, "again.txt", EIO);
    m_receiver->retry(again.id);
    ASSERT_TRUE(waitForCopies());
    EXPECT_EQ(m_store->item(again.id)->state, ItemState::failed(L10n::itemFailed()));
    EXPECT_FALSE(QFile::exists(stored(again)));

    // Unknown items: nothing.
    updated.clear();
    m_receiver->retry(QUuid::createUuid());
    EXPECT_TRUE(updated.empty());
}

} // namespace
