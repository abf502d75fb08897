#include "TarvoCore/Fingerprint.h"
#include "TarvoCore/L10n.h"
#include "TarvoCore/UndoLog.h"

#include "support/RecordingLogSink.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

#include <atomic>
#include <sys/stat.h>
#include <thread>

using namespace tarvo;

namespace {

const Date t0 = Date::fromSecondsSince1970(1700000000);

class UndoLogTest : public ::testing::Test {
protected:
    QString file(const QString& name, const QByteArray& bytes) const {
        return m_dir.write(name, bytes);
    }

    // An entry for a delivery at `at` that wrote `paths` (fingerprinted now).
    UndoEntry entry(const QStringList& paths, Date at = t0) const {
        UndoEntry e;
        e.id = QUuid::createUuid();
        e.item.id = QUuid::createUuid();
        e.item.payload = ItemPayload::file("photo.heic");
        e.item.displayName = "photo.heic";
        e.destinationBundleID = "firefox";
        e.writtenURLs = paths;
        for (const QString& p : paths)
            e.hashes.append(Fingerprint::ofWritten(p));
        e.at = at;
        return e;
    }

    test::TempDir m_dir;
    UndoLog log;
};

} // namespace

TEST_F(UndoLogTest, TheWindowIsSixtySecondsInclusive) {
    const UndoEntry e = entry({});
    log.record(e);
    EXPECT_EQ(log.undo(e, t0.addingSeconds(60.001)), UndoLog::Outcome::expired());
    // An expired undo leaves the log alone until the next look prunes it.
    EXPECT_EQ(log.mostRecent(t0.addingSeconds(60.0)), e);
    EXPECT_FALSE(log.isEmpty(t0.addingSeconds(60.0)));
    EXPECT_EQ(log.undo(e, t0.addingSeconds(60.0)), UndoLog::Outcome::restoredOnly());
    EXPECT_TRUE(log.isEmpty(t0));

    const UndoEntry old = entry({});
    log.record(old);
    EXPECT_EQ(log.mostRecent(t0.addingSeconds(60.001)), std::nullopt);
    EXPECT_TRUE(log.isEmpty(t0)); // pruned for good
}

TEST_F(UndoLogTest, AClockSetBackIsNoExpiry) {
    const UndoEntry e = entry({});
    log.record(e);
    EXPECT_EQ(log.mostRecent(t0.addingSeconds(-3600)), e);
    EXPECT_EQ(log.undo(e, t0.addingSeconds(-3600)), UndoLog::Outcome::restoredOnly());
}

TEST_F(UndoLogTest, MostRecentIsTheLastRecordedStillInTheWindow) {
    const UndoEntry first = entry({}, t0);
    const UndoEntry second = entry({}, t0.addingSeconds(30));
    log.record(first);
    log.record(second);
    EXPECT_EQ(log.mostRecent(t0.addingSeconds(40)), second);
    EXPECT_EQ(log.undo(second, t0.addingSeconds(40)), UndoLog::Outcome::restoredOnly());
    EXPECT_EQ(log.mostRecent(t0.addingSeconds(40)), first);

    log.record(second);
    EXPECT_EQ(log.undo(second, t0.addingSeconds(70)), UndoLog::Outcome::restoredOnly());
    EXPECT_EQ(log.mostRecent(t0.addingSeconds(70)), std::nullopt); // first is too old

    log.record(first);
    log.record(first);
    log.forget(first.id);
    EXPECT_TRUE(log.isEmpty(t0));
}

TEST_F(UndoLogTest, DeletesTheWrittenFiles) {
    const QString a = file("out/a.jpg", "aaa");
    const QString b = file("out/b.jpg", "bbb");
    const UndoEntry e = entry({a, b});
    EXPECT_TRUE(e.wasFileTarget());
    log.record(e);
    EXPECT_EQ(log.undo(e, t0.addingSeconds(5)), UndoLog::Outcome::restoredAndDeleted(2));
    EXPECT_FALSE(QFileInfo::exists(a));
    EXPECT_FALSE(QFileInfo::exists(b));
    EXPECT_TRUE(log.isEmpty(t0));
}

TEST_F(UndoLogTest, AnEditedFileRefusesAndUsesTheUndoUp) {
    const QString a = file("out/a.jpg", "aaa");
    const QString b = file("out/b.jpg", "bbb");
    const UndoEntry e = entry({a, b});
    log.record(e);
    file("out/b.jpg", "edited");
    test::RecordingLogSink sink;
    EXPECT_EQ(log.undo(e, t0.addingSeconds(5)), UndoLog::Outcome::refusedFileChanged());
    EXPECT_EQ(sink.lines(),
              std::vector<QString>{"deliver notice: undo refused: b.jpg changed since delivery"});
    EXPECT_TRUE(QFileInfo::exists(a));
    EXPECT_TRUE(QFileInfo::exists(b));
    EXPECT_TRUE(log.isEmpty(t0));
}

TEST_F(UndoLogTest, AFileThatCannotBeReadCountsAsChanged) {
    const QString a = file("out/a.jpg", "aaa");
    UndoEntry e = entry({a});
    log.record(e);
    // Hashing refuses a FIFO; chmod would not stop a root test run.
    QFile::remove(a);
    ASSERT_EQ(::mkfifo(QFile::encodeName(a).constData(), 0600), 0);
    test::RecordingLogSink sink;
    EXPECT_EQ(log.undo(e, t0), UndoLog::Outcome::refusedFileChanged());
    EXPECT_EQ(sink.lines(),
              std::vector<QString>{"deliver notice: undo refused: a.jpg changed since delivery"});
    EXPECT_TRUE(QFileInfo::exists(a));
}

TEST_F(UndoLogTest, VanishedFilesAreSkippedAndNotCounted) {
    const QString a = file("out/a.jpg", "aaa");
    const QString b = file("out/b.jpg", "bbb");
    const UndoEntry e = entry({a, b});
    log.record(e);
    QFile::remove(a);
    EXPECT_EQ(log.undo(e, t0), UndoLog::Outcome::restoredAndDeleted(1));
    EXPECT_FALSE(QFileInfo::exists(b));

    const UndoEntry gone = entry({file("out/c.jpg", "ccc")});
    log.record(gone);
    QFile::remove(m_dir.file("out/c.jpg"));
    EXPECT_EQ(log.undo(gone, t0), UndoLog::Outcome::restoredAndDeleted(0));
}

TEST_F(UndoLogTest, AnEntryIsUsedOnceAndOnlyFromTheLog) {
    const QString a = file("out/a.jpg", "aaa");
    const UndoEntry e = entry({a});
    log.record(e);
    EXPECT_EQ(log.undo(e, t0), UndoLog::Outcome::restoredAndDeleted(1));
    // Written again by someone else: the second undo of the same entry must
    // not delete it.
    file("out/a.jpg", "aaa");
    EXPECT_EQ(log.undo(e, t0), UndoLog::Outcome::expired());
    EXPECT_TRUE(QFileInfo::exists(a));

    const UndoEntry never = entry({a});
    EXPECT_EQ(log.undo(never, t0), UndoLog::Outcome::expired()) << "never recorded";
    EXPECT_TRUE(QFileInfo::exists(a));

    log.record(entry({}));
    log.record(entry({}));
    log.clear();
    EXPECT_TRUE(log.isEmpty(t0));
}

TEST_F(UndoLogTest, TwoThreadsUndoingOneEntryUseItOnce) {
    for (int round = 0; round < 50; ++round) {
        const UndoEntry e = entry({});
        log.record(e);
        std::atomic<int> restored{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&] {
                if (log.undo(e, t0) == UndoLog::Outcome::restoredOnly())
                    ++restored;
            });
        }
        for (std::thread& thread : threads)
            thread.join();
        EXPECT_EQ(restored.load(), 1);
    }
}

TEST_F(UndoLogTest, FilesBeyondTheLastFingerprintAreNeverDeleted) {
    const QString a = file("out/a.jpg", "aaa");
    const QString b = file("out/b.jpg", "bbb");
    const QString c = file("out/c.jpg", "ccc");
    UndoEntry e = entry({a, b, c});
    e.hashes.removeLast();
    log.record(e);
    file("out/c.jpg", "edited after delivery");
    EXPECT_EQ(log.undo(e, t0), UndoLog::Outcome::restoredAndDeleted(2));
    EXPECT_EQ(QDir(m_dir.file("out")).entryList(QDir::Files), QStringList{"c.jpg"});
    EXPECT_EQ(m_dir.read("out/c.jpg"), "edited after delivery");
}

TEST_F(UndoLogTest, AFileThatCannotBeRemovedIsLoggedAndTheRestGoOn) {
    // procfs refuses removal even to root.
    const QString stuck = QStringLiteral("/proc/version");
    if (!QFileInfo::exists(stuck))
        GTEST_SKIP() << "no /proc";
    const QString a = file("out/a.jpg", "aaa");
    const QString b = file("out/b.jpg", "bbb");
    UndoEntry e = entry({a, stuck, b});
    log.record(e);
    test::RecordingLogSink sink;
    EXPECT_EQ(log.undo(e, t0), UndoLog::Outcome::restoredAndDeleted(2));
    EXPECT_EQ(sink.lines(), std::vector<QString>{"deliver error: undo could not remove version"});
    EXPECT_FALSE(QFileInfo::exists(a));
    EXPECT_FALSE(QFileInfo::exists(b));
}

TEST_F(UndoLogTest, OutcomesCarryTheirMessages) {
    EXPECT_EQ(UndoLog::Outcome::restoredAndDeleted(3).message(), L10n::text("undo.done"));
    EXPECT_EQ(UndoLog::Outcome::restoredOnly().message(), L10n::text("undo.restoredOnly"));
    EXPECT_EQ(UndoLog::Outcome::refusedFileChanged().message(), L10n::text("undo.fileChanged"));
    EXPECT_EQ(UndoLog::Outcome::expired().message(), L10n::text("undo.nothing"));
    EXPECT_NE(UndoLog::Outcome::restoredAndDeleted(1), UndoLog::Outcome::restoredAndDeleted(2));
}

TEST_F(UndoLogTest, RecordsFromManyThreads) {
    constexpr int threads = 8;
    constexpr int perThread = 200;
    std::vector<std::vector<UndoEntry>> made(threads);
    for (auto& list : made) {
        for (int i = 0; i < perThread; ++i)
            list.push_back(entry({}));
    }
    std::vector<std::thread> workers;
    for (int w = 0; w < threads; ++w) {
        workers.emplace_back([&, w] {
            for (const UndoEntry& e : made[size_t(w)]) {
                log.record(e);
                log.mostRecent(t0);
            }
        });
    }
    for (auto& worker : workers)
        worker.join();
    // Every entry is there exactly once: undoing each uses it up.
    int undone = 0;
    while (const auto latest = log.mostRecent(t0)) {
        EXPECT_EQ(log.undo(*latest, t0), UndoLog::Outcome::restoredOnly());
        ++undone;
    }
    EXPECT_EQ(undone, threads * perThread);
}
