// The store under faults: the order of flushes and renames a power cut
// depends on, full disks, unreadable or damaged metadata, and what a crash
// leaves behind for the next start.
#include "TarvoCore/ContentHash.h"
#include "TarvoCore/DiskIO.h"
#include "TarvoCore/ItemStore.h"
#include "TarvoCore/Json.h"

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

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

QT_BEGIN_NAMESPACE
// Call lists print as text when they differ.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

using namespace tarvo;
using Call = DiskIO::Call;

namespace {

class StoreDurabilityTest : public ::testing::Test {
protected:
    QString root() const { return m_dir.file("Items"); }

    Item fileItem(ItemStore& store, const QString& name, const QByteArray& bytes, double addedAt) {
        return test::makeFileItem(store, name, bytes, Date::fromSecondsSince1970(addedAt));
    }

    QStringList rootEntries(const QString& pattern) const {
        return QDir(root()).entryList({pattern}, QDir::AllEntries | QDir::Hidden | QDir::System);
    }

    // Makes `path` look last changed `seconds` ago.
    static void age(const QString& path, qint64 seconds) {
        const timespec then{::time(nullptr) - seconds, 0};
        const timespec times[2] = {then, then};
        ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
    }

    test::TempDir m_dir;
};

} // namespace

TEST_F(StoreDurabilityTest, AddMakesEveryStepDurableBeforeTheNext) {
    ItemStore store(root());
    const Item file = fileItem(store, "a.txt", "alpha", 1);
    Item folder;
    folder.id = QUuid::createUuid();
    m_dir.write("Items/" + json::uuidText(folder.id) + "/Photos/one.jpg", "1");
    folder.payload = ItemPayload::file("Photos");
    folder.state = ItemState::ready();
    folder.displayName = "Photos";
    folder.contentHash = ContentHash::ofPath(store.itemDirectory(folder.id) + "/Photos");

    const std::vector<QString> metadataAndIndex{
        "write item.json",
        "flushFile item.json",
        "rename .item.json.ID.tmp -> item.json",
        "flushFolder ID",
        "write tarvo.json",
        "flushFile tarvo.json",
        "rename .tarvo.json.ID.tmp -> tarvo.json",
        "flushFolder Items",
    };
    struct Case {
        const char* name;
        Item item;
        std::vector<QString> payload;
    };
    const Case cases[] = {
        {"a file is flushed with its folder",
         file,
         {"open a.txt", "flushFile a.txt", "flushFolder ID"}},
        {"a folder by one flush of its file system",
         folder,
         {"flushFileSystem Photos", "flushFolder ID"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::DiskRecorder disk;
        ASSERT_TRUE(store.add(c.item).is<ItemStore::AddResult::Added>());
        std::vector<QString> expected = c.payload;
        expected.insert(expected.end(), metadataAndIndex.begin(), metadataAndIndex.end());
        EXPECT_EQ(disk.calls(), expected);
    }
}

TEST_F(StoreDurabilityTest, RemovalRenamesAsideBeforeTheIndexAndDeletesAfterTheGrace) {
    ItemStore store(root(), 0.2);
    const Item a = fileItem(store, "a.txt", "alpha", 1);
    store.add(a);
    test::DiskRecorder disk;
    store.remove(a.id);
    EXPECT_EQ(disk.calls(), (std::vector<QString>{
                                "rename ID -> .removed.ID.ID",
                                "flushFolder Items",
                                "write tarvo.json",
                                "flushFile tarvo.json",
                                "rename .tarvo.json.ID.tmp -> tarvo.json",
                                "flushFolder Items",
                            }));
    EXPECT_FALSE(QFileInfo::exists(store.itemDirectory(a.id)));
    EXPECT_EQ(rootEntries(".removed.*").size(), 1) << "kept for undo";
    test::runEventsUntil([&] {
        store.waitForDeletions();
        return rootEntries(".removed.*").isEmpty();
    });
    EXPECT_TRUE(rootEntries(".removed.*").isEmpty()) << "gone after the grace period";
}

TEST_F(StoreDurabilityTest, RemovedItemComesBackWithItsFolderWithinTheGrace) {
    ItemStore store(root());
    const Item a = fileItem(store, "a.txt", "alpha", 1);
    store.add(a);
    store.remove(a.id);
    ASSERT_TRUE(store.putBack(a).is<ItemStore::AddResult::Added>());
    EXPECT_EQ(m_dir.read("Items/" + json::uuidText(a.id) + "/a.txt"), "alpha");
    EXPECT_TRUE(rootEntries(".removed.*").isEmpty());
    EXPECT_EQ(ItemStore(root()).items(), std::deque<Item>{a});

    ItemStore impatient(m_dir.file("Other"), 0);
    const Item b = fileItem(impatient, "b.txt", "bravo", 1);
    impatient.add(b);
    impatient.remove(b.id);
    impatient.waitForDeletions();
    const auto result = impatient.putBack(b);
    ASSERT_TRUE(result.is<ItemStore::AddResult::Failed>());
    EXPECT_TRUE(impatient.items().empty());
}

TEST_F(StoreDurabilityTest, EvictionRemovesInOnePassAndWritesTheIndexOnce) {
    ItemStore store(root());
    std::vector<QUuid> old;
    for (int i = 0; i < 6; ++i) {
        const Item item = fileItem(store, "f.txt", QByteArray::number(i), 100 + i);
        store.add(item);
        if (i < 4)
            old.push_back(item.id);
    }
    test::DiskRecorder disk;
    const std::vector<QUuid> removed = store.evictExpired(Date::fromSecondsSince1970(1000), 896);
    EXPECT_EQ(removed, std::vector<QUuid>(old.rbegin(), old.rend())) << "in shelf order";
    std::vector<QString> expected(4, "rename ID -> .removed.ID.ID");
    expected.insert(expected.end(),
                    {"flushFolder Items", "write tarvo.json", "flushFile tarvo.json",
                     "rename .tarvo.json.ID.tmp -> tarvo.json", "flushFolder Items"});
    EXPECT_EQ(disk.calls(), expected);
    EXPECT_EQ(ItemStore(root()).items().size(), 2u);
}

// A power cut at every point of a removal, with the store writing in the
// foreground and in the background: from the cut on nothing reaches the disk,
// and a rename whose folder was not flushed after it is lost as well. A
// removal the shelf showed done never comes back; one the disk refused is
// undone and the item stays where it was.
TEST_F(StoreDurabilityTest, RemovalShownDoneSurvivesAPowerCutAtAnyPoint) {
    for (const bool background : {false, true}) {
        for (std::size_t cut = 0; cut <= 6; ++cut) {
            SCOPED_TRACE((background ? "background, cut at call " : "foreground, cut at call ") +
                         std::to_string(cut));
            const QString r = m_dir.file(QStringLiteral("cut-%1-%2").arg(background).arg(cut));
            Item a, b;
            bool removed = false;
            std::vector<QString> reached;
            {
                ItemStore store(r);
                store.setWritesInBackground(background);
                a = fileItem(store, "a.txt", "alpha", 1);
                b = fileItem(store, "b.txt", "bravo", 2);
                ASSERT_TRUE(store.add(a).is<ItemStore::AddResult::Added>());
                ASSERT_TRUE(store.add(b).is<ItemStore::AddResult::Added>());
                store.waitForWrites();
                test::DiskRecorder disk;
                test::RecordingLogSink log;
                disk.failFrom(cut, EIO);
                const bool reported = store.remove(a.id);
                removed = !store.item(a.id).has_value();
                EXPECT_EQ(reported, removed);
                if (!removed) {
                    EXPECT_EQ(test::itemIds(store), (std::vector<QUuid>{b.id, a.id}))
                        << "undone where it stood";
                }
                store.waitForWrites();
                const std::vector<QString> calls = disk.calls();
                reached.assign(calls.begin(), calls.begin() + static_cast<std::ptrdiff_t>(
                                                                  std::min(cut, calls.size())));
            }
            // The worst a power cut does to a rename that was never flushed.
            const auto renamed = std::find(reached.begin(), reached.end(),
                                           QStringLiteral("rename ID -> .removed.ID.ID"));
            const bool flushed =
                renamed != reached.end() && std::find(renamed, reached.end(),
                                                      QStringLiteral("flushFolder ") +
                                                          QFileInfo(r).fileName()) != reached.end();
            const QStringList aside =
                QDir(r).entryList({".removed.*"}, QDir::Dirs | QDir::Hidden | QDir::System);
            if (!flushed && !aside.isEmpty()) {
                ASSERT_TRUE(QDir(r).rename(aside.front(), json::uuidText(a.id)));
            }

            const std::vector<QUuid> after = test::itemIds(ItemStore(r));
            EXPECT_TRUE(std::find(after.begin(), after.end(), b.id) != after.end());
            if (removed) {
                EXPECT_TRUE(std::find(after.begin(), after.end(), a.id) == after.end())
                    << "shown removed, back after the cut";
            }
        }
    }
}

// A full disk, a failing device: whichever write fails, the add fails and
// neither the shelf nor what a restart shows has changed.
TEST_F(StoreDurabilityTest, AddThatCannotBeMadeDurableTakesNothing) {
    struct Case {
        const char* name;
        Call call;
        const char* path;
        int code;
    };
    const Case cases[] = {
        {"disk full writing item.json", Call::write, "item.json", ENOSPC},
        {"disk full writing the index", Call::write, "tarvo.json", ENOSPC},
        {"the payload cannot be flushed", Call::flushFile, "a.txt", EIO},
        {"item.json cannot be flushed", Call::flushFile, "item.json", EIO},
        {"the index cannot be renamed", Call::rename, ".tmp", EIO},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString r = m_dir.file(QString::fromLatin1(c.name));
        ItemStore store(r);
        Item kept;
        kept.id = QUuid::createUuid();
        kept.payload = ItemPayload::text("kept");
        kept.state = ItemState::ready();
        kept.contentHash = ContentHash::ofString("kept");
        ASSERT_TRUE(store.add(kept).is<ItemStore::AddResult::Added>());

        Item item;
        item.id = QUuid::createUuid();
        m_dir.write(QString::fromLatin1(c.name) + "/" + json::uuidText(item.id) + "/a.txt", "a");
        item.payload = ItemPayload::file("a.txt");
        item.state = ItemState::ready();
        item.contentHash = ContentHash::ofString("a");

        test::DiskRecorder disk;
        disk.fail(c.call, QString::fromLatin1(c.path), c.code);
        test::RecordingLogSink log;
        const auto result = store.add(item);
        EXPECT_TRUE(result.is<ItemStore::AddResult::Failed>());
        EXPECT_EQ(test::itemIds(store), std::vector<QUuid>{kept.id});
        EXPECT_EQ(log.lines().size(), 1u);
        EXPECT_EQ(test::itemIds(ItemStore(r)), std::vector<QUuid>{kept.id});
    }
}

// Metadata that cannot be read never takes the item's files with it: the
// folder is set aside whole and logged, and the rest of the shelf loads.
TEST_F(StoreDurabilityTest, UnreadableMetadataSetsTheFolderAsideWithItsFiles) {
    struct Case {
        const char* name;
        std::function<void(const QString& folder, test::DiskRecorder&)> damage;
        const char* reason;
    };
    const QUuid stranger = QUuid::createUuid();
    const Case cases[] = {
        {"no item.json", [](const QString& f, auto&) { QFile::remove(f + "/item.json"); },
         "could not open “item.json”: No such file or directory"},
        {"not JSON",
         [](const QString& f, auto&) {
             QFile file(f + "/item.json");
             ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
             file.write("{\"id\":");
         },
         nullptr},
        {"a wrong type",
         [](const QString& f, auto&) {
             QFile file(f + "/item.json");
             ASSERT_TRUE(file.open(QIODevice::ReadWrite));
             QByteArray bytes = file.readAll().replace("\"pinned\":false", "\"pinned\":\"no\"");
             file.resize(0);
             file.seek(0);
             file.write(bytes);
         },
         "Expected to decode Bool but found a string instead. (at pinned)"},
        {"another item's id",
         [stranger](const QString& f, auto&) {
             QFile file(f + "/item.json");
             ASSERT_TRUE(file.open(QIODevice::ReadWrite));
             QByteArray bytes = file.readAll();
             const QString id = QFileInfo(f).fileName();
             bytes.replace(id.toUtf8(), json::uuidText(stranger).toUtf8());
             file.resize(0);
             file.seek(0);
             file.write(bytes);
         },
         nullptr},
        {"permission denied",
         [](const QString& f, test::DiskRecorder& disk) {
             disk.fail(Call::open, QFileInfo(f).fileName() + "/item.json", EACCES);
         },
         "could not open “item.json”: Permission denied"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString r = m_dir.file(QString::fromLatin1(c.name));
        Item kept, damaged;
        {
            ItemStore store(r);
            kept.id = QUuid::createUuid();
            kept.state = ItemState::ready();
            damaged.id = QUuid::createUuid();
            m_dir.write(QString::fromLatin1(c.name) + "/" + json::uuidText(damaged.id) + "/d.txt",
                        "precious");
            damaged.payload = ItemPayload::file("d.txt");
            damaged.state = ItemState::ready();
            damaged.contentHash = ContentHash::ofString("precious");
            kept.payload = ItemPayload::text("kept");
            kept.contentHash = ContentHash::ofString("kept");
            ASSERT_TRUE(store.add(kept).is<ItemStore::AddResult::Added>());
            ASSERT_TRUE(store.add(damaged).is<ItemStore::AddResult::Added>());
        }
        test::DiskRecorder disk;
        c.damage(r + "/" + json::uuidText(damaged.id), disk);
        test::RecordingLogSink log;
        ItemStore store(r);
        EXPECT_EQ(test::itemIds(store), std::vector<QUuid>{kept.id});
        const QStringList aside = QDir(r).entryList(
            {".quarantined." + json::uuidText(damaged.id) + ".*"}, QDir::Dirs | QDir::Hidden);
        ASSERT_EQ(aside.size(), 1);
        QFile payload(r + "/" + aside.first() + "/d.txt");
        ASSERT_TRUE(payload.open(QIODevice::ReadOnly));
        EXPECT_EQ(payload.readAll(), "precious");
        ASSERT_EQ(log.lines().size(), 1u);
        EXPECT_TRUE(log.lines().front().startsWith("core error: set item " +
                                                   json::uuidText(damaged.id) + " aside as "))
            << log.lines().front().toStdString();
        if (c.reason) {
            EXPECT_TRUE(log.lines().front().endsWith(QString::fromUtf8(c.reason)))
                << log.lines().front().toStdString();
        }
        // Loaded again, it stays aside and nothing else is touched.
        EXPECT_EQ(test::itemIds(ItemStore(r)), std::vector<QUuid>{kept.id});
        EXPECT_EQ(QDir(r).entryList({".quarantined.*"}, QDir::Dirs | QDir::Hidden).size(), 1);
    }
}

TEST_F(StoreDurabilityTest, StartFinishesWhatACrashLeft) {
    Item listed, adoptable, lookalike;
    QString stale, fresh, staleInside, userTmp, orphanEmpty, orphanYoung;
    const QString lookalikeName = ".draft." + json::uuidText(QUuid::createUuid()) + ".tmp";
    {
        ItemStore store(root());
        listed = fileItem(store, "l.txt", "listed", 300);
        store.add(listed);
        // A dropped file that happens to be named like one of ours.
        lookalike = fileItem(store, lookalikeName, "mine", 250);
        store.add(lookalike);
        age(*lookalike.payloadURL(root()), 2 * 3600);
        // An item whose add was cut after "item.json" and before the index.
        adoptable = fileItem(store, "o.txt", "orphan", 200);
        const QString folder = store.itemDirectory(adoptable.id);
        QFile meta(folder + "/item.json");
        ASSERT_TRUE(meta.open(QIODevice::WriteOnly));
        meta.write(json::write(adoptable.toJson()));
        meta.close();
        age(folder, 2 * 86400);
    }
    const QString id = json::uuidText(QUuid::createUuid());
    m_dir.write("Items/.removed." + id + "." + id + "/big.bin", "half deleted");
    stale = m_dir.write("Items/.tarvo.json." + id + ".tmp", "{");
    age(stale, 2 * 3600);
    fresh = m_dir.write("Items/.tarvo.json." + json::uuidText(QUuid::createUuid()) + ".tmp", "{");
    age(fresh, 600);
    staleInside =
        m_dir.write("Items/" + json::uuidText(listed.id) + "/.item.json." + id + ".tmp", "{");
    age(staleInside, 2 * 3600);
    userTmp = m_dir.write("Items/notes.tmp", "mine");
    age(userTmp, 2 * 3600);
    orphanEmpty = m_dir.write("Items/" + json::uuidText(QUuid::createUuid()) + "/part.bin", "p");
    age(QFileInfo(orphanEmpty).path(), 2 * 86400);
    orphanYoung = m_dir.write("Items/" + json::uuidText(QUuid::createUuid()) + "/part.bin", "p");

    ItemStore store(root());
    store.waitForDeletions();
    EXPECT_EQ(test::itemIds(store), (std::vector<QUuid>{lookalike.id, listed.id, adoptable.id}))
        << "adopted at the end";
    EXPECT_EQ(test::itemIds(ItemStore(root())),
              (std::vector<QUuid>{lookalike.id, listed.id, adoptable.id}));
    EXPECT_TRUE(QFileInfo::exists(*lookalike.payloadURL(root()))) << "an item's own file stays";
    EXPECT_TRUE(rootEntries(".removed.*").isEmpty());
    EXPECT_FALSE(QFileInfo::exists(stale));
    EXPECT_TRUE(QFileInfo::exists(fresh));
    EXPECT_FALSE(QFileInfo::exists(staleInside));
    EXPECT_TRUE(QFileInfo::exists(userTmp)) << "not of our naming";
    EXPECT_FALSE(QFileInfo::exists(QFileInfo(orphanEmpty).path()));
    EXPECT_TRUE(QFileInfo::exists(orphanYoung)) << "perhaps a drop still being copied";
}

// With umask 022 another user could read every item and the index where the
// home folder is open to them: the store is the user's alone, new or old.
TEST_F(StoreDurabilityTest, TheStoreIsTheUsersAloneWhateverTheUmask) {
    const mode_t before = ::umask(022);
    const auto mode = [](const QString& path) {
        struct stat st {};
        ::lstat(QFile::encodeName(path).constData(), &st);
        return st.st_mode & 07777;
    };
    Item text;
    {
        ItemStore store(root());
        text = test::addTextItem(store, "secret", Date::fromSecondsSince1970(1));
    }
    EXPECT_EQ(mode(root()), 0700u);
    EXPECT_EQ(mode(root() + "/tarvo.json"), 0600u);
    EXPECT_EQ(mode(root() + "/" + json::uuidText(text.id)), 0700u);
    EXPECT_EQ(mode(root() + "/" + json::uuidText(text.id) + "/item.json"), 0600u);

    // A store from before: opened, everything in it is tightened.
    const QString folder = root() + "/" + json::uuidText(text.id);
    const QString payload = m_dir.write("Items/" + json::uuidText(text.id) + "/old.txt", "o");
    const QString script = m_dir.write("Items/" + json::uuidText(text.id) + "/run.sh", "r");
    for (const auto& [path, m] :
         std::vector<std::pair<QString, mode_t>>{{root(), 0755},
                                                 {folder, 0775},
                                                 {payload, 0644},
                                                 {script, 0755},
                                                 {root() + "/tarvo.json", 0666},
                                                 {folder + "/item.json", 0644}})
        ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), m), 0);
    {
        ItemStore store(root());
        EXPECT_EQ(mode(root()), 0700u) << "before anything is read";
        store.waitForDeletions();
    }
    EXPECT_EQ(mode(folder), 0700u);
    EXPECT_EQ(mode(payload), 0600u);
    EXPECT_EQ(mode(script), 0700u) << "the owner may still run it";
    EXPECT_EQ(mode(root() + "/tarvo.json"), 0600u);
    EXPECT_EQ(mode(folder + "/item.json"), 0600u);
    ::umask(before);
}

TEST_F(StoreDurabilityTest, SaveRewritesOnlyWhatDiffers) {
    ItemStore store(root());
    std::vector<Item> items;
    for (int i = 0; i < 3; ++i) {
        items.push_back(fileItem(store, "f.txt", QByteArray::number(i), i));
        store.add(items.back());
    }
    const QString damaged = store.itemDirectory(items[1].id) + "/item.json";
    QFile file(damaged);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("{}");
    file.close();

    test::DiskRecorder disk;
    store.save();
    std::vector<QString> writes;
    for (const QString& call : disk.calls()) {
        if (call.startsWith("write "))
            writes.push_back(call);
    }
    EXPECT_EQ(writes, (std::vector<QString>{"write item.json", "write tarvo.json"}));
    EXPECT_EQ(ItemStore(root()).items(), store.items());
}
