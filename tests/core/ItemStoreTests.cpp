#include "TarvoCore/AtomicFile.h"
#include "TarvoCore/ContentHash.h"
#include "TarvoCore/FileError.h"
#include "TarvoCore/ItemStore.h"
#include "TarvoCore/L10n.h"

#include "support/ItemFactory.h"
#include "support/RecordingLogSink.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <functional>

#include <unistd.h>

using namespace tarvo;

namespace {

class ItemStoreTest : public ::testing::Test {
protected:
    QString root() const { return m_dir.file("Items"); }
    std::unique_ptr<ItemStore> open() { return std::make_unique<ItemStore>(root()); }

    // An item whose file `name` holds `bytes`, stored in its folder but not yet added.
    Item fileItem(ItemStore& store, const QString& name, const QByteArray& bytes, double addedAt,
                  bool pinned = false) {
        Item item = test::makeFileItem(store, name, bytes, Date::fromSecondsSince1970(addedAt));
        item.pinned = pinned;
        return item;
    }

    static Item textItem(const QString& text, double addedAt) {
        return test::makeTextItem(text, Date::fromSecondsSince1970(addedAt));
    }

    static void writeFile(const QString& path, const QByteArray& bytes) {
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(f.write(bytes), bytes.size());
    }

    // Makes `path` `size` bytes long without writing them (a sparse file).
    static void makeSparse(const QString& path, qint64 size) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.resize(size));
    }

    QByteArray indexBytes() const { return m_dir.read("Items/tarvo.json"); }

    static QStringList temporaryFiles(const QString& folder) {
        return QDir(folder).entryList({"*.tmp"}, QDir::Files | QDir::Hidden);
    }

    test::TempDir m_dir;
};

} // namespace

TEST_F(ItemStoreTest, FreshRootOpensEmptyAndWritesNothing) {
    const auto store = open();
    EXPECT_TRUE(store->items().empty());
    EXPECT_TRUE(QFileInfo(root()).isDir());
    EXPECT_FALSE(QFile::exists(root() + "/tarvo.json"));
    EXPECT_EQ(ItemStore::defaultCapBytes, 2000000000);
    EXPECT_EQ(ItemStore::defaultMaxAge, 604800.0);
}

TEST_F(ItemStoreTest, ChangesSurviveReopening) {
    auto store = open();
    Item a = fileItem(*store, "a.txt", "alpha", 100);
    Item b = textItem("bravo", 200);
    Item c = fileItem(*store, "c.png", "charlie", 300);
    c.payload = ItemPayload::image("c.png");
    for (const Item& item : {a, b, c})
        ASSERT_TRUE(store->add(item).is<ItemStore::AddResult::Added>());
    EXPECT_EQ(test::itemIds(*store), (std::vector<QUuid>{c.id, b.id, a.id}));

    b.pinned = true;
    b.sourceBundleID = "org.gnome.TextEditor";
    store->update(b);
    store->move(a.id, 0);
    store->setSelection({a.id, c.id});
    store->save();

    const auto reopened = open();
    EXPECT_EQ(reopened->items(), store->items());
    EXPECT_EQ(reopened->selection(), (QSet<QUuid>{a.id, c.id}));
    EXPECT_EQ(reopened->item(b.id)->sourceBundleID, "org.gnome.TextEditor");
    EXPECT_EQ(reopened->itemWithHash(c.contentHash)->id, c.id);
    EXPECT_TRUE(temporaryFiles(root()).isEmpty());
    EXPECT_TRUE(temporaryFiles(store->itemDirectory(a.id)).isEmpty());
}

TEST_F(ItemStoreTest, ItemWhoseFolderIsGoneIsDroppedWithALogLine) {
    QUuid gone;
    Item kept;
    {
        auto store = open();
        kept = fileItem(*store, "k.txt", "kept", 100);
        Item lost = fileItem(*store, "l.txt", "lost", 200);
        gone = lost.id;
        store->add(kept);
        store->add(lost);
        store->setSelection({gone, kept.id});
        store->save();
        ASSERT_TRUE(QDir(store->itemDirectory(gone)).removeRecursively());
    }
    test::RecordingLogSink sink;
    auto store = open();
    EXPECT_EQ(test::itemIds(*store), std::vector<QUuid>{kept.id});
    EXPECT_EQ(store->selection(), QSet<QUuid>{kept.id});
    EXPECT_EQ(sink.lines(), std::vector<QString>{"core notice: dropping item " +
                                                 json::uuidText(gone) + ": its metadata is gone"});
    EXPECT_FALSE(indexBytes().contains(json::uuidText(gone).toUtf8())) << "written at once";
}

TEST_F(ItemStoreTest, DamagedIndexIsRebuiltFromItemFolders) {
    struct Case {
        const char* name;
        std::optional<QByteArray> index; // absent: no index file
    };
    const std::vector<Case> cases = {
        {"missing", std::nullopt},
        {"not JSON", QByteArray("{\"order\":[")},
        {"lacks selection", QByteArray("{\"order\":[]}")},
        {"lacks order", QByteArray("{\"selection\":[]}")},
        {"order holds a non-identifier", QByteArray("{\"order\":[1],\"selection\":[]}")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const test::TempDir dir;
        const QString r = dir.file("Items");
        Item older, newer;
        {
            ItemStore store(r);
            older = fileItem(store, "o.txt", "older", 100);
            newer = fileItem(store, "n.txt", "newer", 500);
            store.add(newer);
            store.add(older); // list order differs from age order
            store.setSelection({older.id});
            store.save();
        }
        // Folders that are not items: a stray folder, a copy under another name,
        // and an item folder whose metadata does not decode.
        QDir().mkpath(r + "/Not-An-Item");
        QDir().mkpath(r + "/" + json::uuidText(QUuid::createUuid()));
        QFile::copy(r + "/" + json::uuidText(older.id) + "/item.json",
                    r + "/" + json::uuidText(QUuid::createUuid()) + "/item.json");
        const QString broken = r + "/" + json::uuidText(QUuid::createUuid());
        QDir().mkpath(broken);
        writeFile(broken + "/item.json", "{}");

        QFile::remove(r + "/tarvo.json");
        if (c.index)
            writeFile(r + "/tarvo.json", *c.index);

        ItemStore store(r);
        EXPECT_EQ(test::itemIds(store), (std::vector<QUuid>{newer.id, older.id})) << "newest first";
        EXPECT_TRUE(store.selection().isEmpty());
        const QByteArray expected = "{\"order\":[\"" + json::uuidText(newer.id).toUtf8() + "\",\"" +
                                    json::uuidText(older.id).toUtf8() + "\"],\"selection\":[]}";
        QFile index(r + "/tarvo.json");
        ASSERT_TRUE(index.open(QIODevice::ReadOnly));
        EXPECT_EQ(index.readAll(), expected) << "written at once";
    }
}

TEST_F(ItemStoreTest, InterruptedReceiveLoadsAsFailedAndIsWrittenBack) {
    Item promised;
    {
        auto store = open();
        promised = fileItem(*store, "p.bin", "partial", 100);
        promised.state = ItemState::receiving(0.4);
        store->add(promised);
    }
    auto store = open();
    const Item loaded = *store->item(promised.id);
    EXPECT_EQ(loaded.state, ItemState::failed(L10n::itemFailed()));
    const auto reopened = open();
    EXPECT_EQ(reopened->item(promised.id)->state, ItemState::failed(L10n::itemFailed()));
}

TEST_F(ItemStoreTest, DuplicateSelectsTheExistingItemAndWritesNothing) {
    auto store = open();
    const Item first = fileItem(*store, "a.txt", "same bytes", 100);
    ASSERT_TRUE(store->add(first).is<ItemStore::AddResult::Added>());
    const Item other = textItem("other", 50);
    store->add(other);
    const QByteArray indexBefore = indexBytes();

    const Item again = fileItem(*store, "copy.txt", "same bytes", 200);
    const auto result = store->add(again);
    EXPECT_EQ(result, (ItemStore::AddResult{ItemStore::AddResult::Duplicate{first}}));
    EXPECT_EQ(result.item(), first);
    EXPECT_EQ(store->selection(), QSet<QUuid>{first.id});
    EXPECT_EQ(test::itemIds(*store), (std::vector<QUuid>{other.id, first.id}));
    EXPECT_FALSE(QFileInfo::exists(store->itemDirectory(again.id))) << "new folder removed";
    EXPECT_EQ(indexBytes(), indexBefore);

    // The same item twice keeps its folder.
    EXPECT_TRUE(store->add(first).is<ItemStore::AddResult::Duplicate>());
    EXPECT_TRUE(QFileInfo::exists(store->itemDirectory(first.id) + "/a.txt"));
}

TEST_F(ItemStoreTest, EqualFingerprintsOfDifferentLargeFilesAreNotDuplicates) {
    auto store = open();
    const QByteArray prefix(ContentHash::prefixLength, 'p');
    const Item a = fileItem(*store, "a.bin", prefix + "tail-A", 100);
    const Item b = fileItem(*store, "b.bin", prefix + "tail-B", 200);
    const Item c = fileItem(*store, "c.bin", prefix + "tail-A", 300);
    ASSERT_EQ(a.contentHash, b.contentHash);
    ASSERT_EQ(a.contentHash, c.contentHash);

    EXPECT_TRUE(store->add(a).is<ItemStore::AddResult::Added>());
    EXPECT_FALSE(store->duplicateOf(b).has_value());
    EXPECT_TRUE(store->add(b).is<ItemStore::AddResult::Added>());
    // c matches a byte for byte: found past b, whose fingerprint also matches.
    EXPECT_EQ(store->duplicateOf(c)->id, a.id);
    EXPECT_EQ(store->add(c).item().id, a.id);
    EXPECT_EQ(store->items().size(), 2u);
}

TEST_F(ItemStoreTest, TextsAndLinksAreComparedWhole) {
    auto store = open();
    const QString prefix(ContentHash::prefixLength, u'p');
    const Item a = textItem(prefix + "tail-A", 100);
    const Item b = textItem(prefix + "tail-B", 200);
    ASSERT_EQ(a.contentHash, b.contentHash);
    EXPECT_TRUE(store->add(a).is<ItemStore::AddResult::Added>());
    EXPECT_TRUE(store->add(b).is<ItemStore::AddResult::Added>());
    EXPECT_EQ(store->duplicateOf(textItem(prefix + "tail-A", 300))->id, a.id);

    const auto link = [](const QString& last) {
        Item item;
        item.id = QUuid::createUuid();
        const QUrl url("https://example.com/" + QString(1100000, u'x') + last);
        item.payload = ItemPayload::url(url);
        item.contentHash = ContentHash::ofString(url.toString(QUrl::FullyEncoded));
        return item;
    };
    const Item one = link("1");
    const Item two = link("2");
    ASSERT_EQ(one.contentHash, two.contentHash);
    EXPECT_TRUE(store->add(one).is<ItemStore::AddResult::Added>());
    EXPECT_FALSE(store->duplicateOf(two).has_value());
    EXPECT_EQ(store->duplicateOf(link("1"))->id, one.id);

    // A text and a file with exactly its bytes are the same content.
    const Item file = fileItem(*store, "a.txt", (prefix + "tail-A").toUtf8(), 400);
    ASSERT_EQ(file.contentHash, a.contentHash);
    EXPECT_EQ(store->duplicateOf(file)->id, a.id);
    const Item other = fileItem(*store, "b.txt", (prefix + "tail-C").toUtf8(), 500);
    EXPECT_FALSE(store->duplicateOf(other).has_value());
}

TEST_F(ItemStoreTest, FailedMetadataWriteTakesNothing) {
    auto store = open();
    const Item kept = textItem("kept", 100);
    store->add(kept);
    const QByteArray indexBefore = indexBytes();

    Item item = fileItem(*store, "a.txt", "data", 200);
    // A folder where "item.json" should go makes the swap fail.
    ASSERT_TRUE(QDir().mkpath(store->itemDirectory(item.id) + "/item.json"));

    test::RecordingLogSink sink;
    const auto result = store->add(item);
    ASSERT_TRUE(result.is<ItemStore::AddResult::Failed>());
    EXPECT_EQ(result.item(), item);
    EXPECT_EQ(test::itemIds(*store), std::vector<QUuid>{kept.id});
    EXPECT_EQ(indexBytes(), indexBefore);
    EXPECT_EQ(sink.lines(),
              std::vector<QString>{"core error: could not write item.json: could not replace "
                                   "“item.json”: Is a directory"});
    EXPECT_TRUE(temporaryFiles(store->itemDirectory(item.id)).isEmpty());
}

TEST_F(ItemStoreTest, SaveThrowsAtTheFirstFailure) {
    auto store = open();
    const Item a = textItem("a", 1);
    store->add(a);
    QFile::remove(store->itemDirectory(a.id) + "/item.json");
    ASSERT_TRUE(QDir().mkpath(store->itemDirectory(a.id) + "/item.json"));
    EXPECT_THROW(store->save(), FileError);
}

TEST_F(ItemStoreTest, IndexWriteFailureFailsTheAddAndIsLogged) {
    auto store = open();
    const Item kept = textItem("kept", 1);
    store->add(kept);
    QFile::remove(root() + "/tarvo.json");
    ASSERT_TRUE(QDir().mkpath(root() + "/tarvo.json"));
    test::RecordingLogSink sink;
    const auto result = store->add(textItem("x", 2));
    EXPECT_TRUE(result.is<ItemStore::AddResult::Failed>());
    EXPECT_EQ(test::itemIds(*store), std::vector<QUuid>{kept.id}) << "the shelf is as it was";
    EXPECT_EQ(sink.lines(), std::vector<QString>{"core error: could not write the tarvo index: "
                                                 "could not replace “tarvo.json”: Is a directory"});
}

TEST_F(ItemStoreTest, RootUnderARegularFileCannotOpen) {
    writeFile(m_dir.file("plain"), "x");
    EXPECT_THROW(ItemStore(m_dir.file("plain/Items")), FileError);
}

TEST_F(ItemStoreTest, UpdateMoveRemoveClearEdges) {
    auto store = open();
    const Item a = textItem("a", 1), b = textItem("b", 2), c = textItem("c", 3);
    for (const Item& i : {a, b, c})
        store->add(i);
    ASSERT_EQ(test::itemIds(*store), (std::vector<QUuid>{c.id, b.id, a.id}));

    const QByteArray before = indexBytes();
    store->update(textItem("stranger", 4));
    store->move(b.id, 1);
    store->move(QUuid::createUuid(), 0);
    EXPECT_EQ(indexBytes(), before) << "nothing changed, nothing written";

    store->move(c.id, 99);
    EXPECT_EQ(test::itemIds(*store), (std::vector<QUuid>{b.id, a.id, c.id}));
    store->move(c.id, -5);
    EXPECT_EQ(test::itemIds(*store), (std::vector<QUuid>{c.id, b.id, a.id}));

    Item pinned = a;
    pinned.pinned = true;
    store->update(pinned);
    store->setSelection({b.id});
    store->remove(b.id);
    EXPECT_TRUE(store->selection().isEmpty());
    store->clear();
    EXPECT_TRUE(store->items().empty());
    EXPECT_EQ(indexBytes(), QByteArray("{\"order\":[],\"selection\":[]}"));
}

TEST_F(ItemStoreTest, ExpiryKeepsPinnedExactAgeAndFutureItems) {
    auto store = open();
    const double now = 1000000;
    const double maxAge = ItemStore::defaultMaxAge;
    Item old = textItem("old", now - maxAge - 0.001);
    Item exact = textItem("exact", now - maxAge);
    Item future = textItem("future", now + 10);
    Item pinnedOld = textItem("pinned", now - 10 * maxAge);
    pinnedOld.pinned = true;
    Item older = textItem("older", now - 2 * maxAge);
    for (const Item& i : {old, exact, future, pinnedOld, older})
        store->add(i);
    const auto removed = store->evictExpired(Date::fromSecondsSince1970(now), maxAge);
    EXPECT_EQ(removed, (std::vector<QUuid>{older.id, old.id})) << "in list order";
    EXPECT_EQ(test::itemIds(*store), (std::vector<QUuid>{pinnedOld.id, future.id, exact.id}));
}

TEST_F(ItemStoreTest, EvictionToTheDefaultCapAtItsEdges) {
    auto store = open();
    Item oldest = fileItem(*store, "o.bin", "", 100);
    Item tieFront = fileItem(*store, "t1.bin", "1", 200);
    Item tieBack = fileItem(*store, "t2.bin", "2", 200);
    Item pinned = fileItem(*store, "p.bin", "3", 50, true);
    for (const Item& i : {pinned, tieBack, tieFront, oldest})
        store->add(i);
    ASSERT_EQ(test::itemIds(*store),
              (std::vector<QUuid>{oldest.id, tieFront.id, tieBack.id, pinned.id}));

    // Grow the oldest item's file (sparse) so the whole shelf is exactly the cap.
    const qint64 others = store->containerSize();
    makeSparse(store->itemDirectory(oldest.id) + "/o.bin", ItemStore::defaultCapBytes - others);
    ASSERT_EQ(store->containerSize(), ItemStore::defaultCapBytes);
    EXPECT_TRUE(store->evictToCap(ItemStore::defaultCapBytes).empty());

    writeFile(store->itemDirectory(pinned.id) + "/extra", "x"); // one byte over
    EXPECT_EQ(store->evictToCap(ItemStore::defaultCapBytes), std::vector<QUuid>{oldest.id});

    // Ties go to the item nearer the front; pinned items stay even over the cap.
    EXPECT_EQ(store->evictToCap(0), (std::vector<QUuid>{tieFront.id, tieBack.id}));
    EXPECT_EQ(test::itemIds(*store), std::vector<QUuid>{pinned.id});
    EXPECT_FALSE(QFileInfo::exists(store->itemDirectory(oldest.id)));
}

TEST(AtomicFile, WritesThroughAHiddenTemporaryBesideTheTarget) {
    const QUuid id = QUuid::fromString(QStringLiteral("6F9619FF-8B86-D011-B42D-00C04FC964FF"));
    EXPECT_EQ(AtomicFile::temporaryPath("/s/ID/item.json", id),
              "/s/ID/.item.json.6F9619FF-8B86-D011-B42D-00C04FC964FF.tmp");

    const test::TempDir dir;
    AtomicFile::write("one", dir.file("f.json"));
    AtomicFile::write("two", dir.file("f.json"));
    EXPECT_EQ(dir.read("f.json"), "two");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"f.json"});

    EXPECT_THROW(AtomicFile::write("x", dir.file("no/such/folder/f.json")), FileError);
}

TEST(AtomicFile, TellsItsTemporaryNamesFromOtherNames) {
    const QUuid id = QUuid::createUuid();
    struct Case {
        QString name;
        bool temporary;
    };
    const Case cases[] = {
        {QFileInfo(AtomicFile::temporaryPath("/s/item.json", id)).fileName(), true},
        {".photo.jpg.0f6a2c1e-3b4d-4e5f-8a9b-0c1d2e3f4a5b.tmp", true},
        {".a.0F6A2C1E-3B4D-4E5F-8A9B-0C1D2E3F4A5B.tmp", true},
        {".line\nbreak.0f6a2c1e-3b4d-4e5f-8a9b-0c1d2e3f4a5b.tmp", true},
        {"..0f6a2c1e-3b4d-4e5f-8a9b-0c1d2e3f4a5b.tmp", false},
        {"photo.jpg.0f6a2c1e-3b4d-4e5f-8a9b-0c1d2e3f4a5b.tmp", false},
        {".photo.jpg.0f6a2c1e-3b4d-4e5f-8a9b-0c1d2e3f4a5b.TMP", false},
        {".photo.jpg.0f6a2c1e-3b4d-4e5f-8a9b-0c1d2e3f4a5.tmp", false},
        {".photo.jpg.0f6a2c1e3b4d-4e5f-8a9b-0c1d2e3f4a5bx.tmp", false},
        {".photo.jpg.0f6a2c1g-3b4d-4e5f-8a9b-0c1d2e3f4a5b.tmp", false},
        {".photo.jpg-0f6a2c1e-3b4d-4e5f-8a9b-0c1d2e3f4a5b.tmp", false},
        {".photo.jpg.not-a-uuid.tmp", false},
        {".tmp", false},
        {"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        EXPECT_EQ(AtomicFile::isTemporaryName(c.name), c.temporary);
    }
}

// The shared list readers are handed must follow every change of the items
// (a stale one shows a shelf that is no longer there) and stay the same list
// while nothing changes (else each reader copies a long shelf again).
TEST_F(ItemStoreTest, SharedListFollowsEveryChangeAndIsKeptWhileNothingChanges) {
    auto store = open();
    const Item a = textItem("a", 1), b = textItem("b", 2), c = textItem("c", 3);
    const auto idsOf = [](const ItemList& list) {
        std::vector<QUuid> ids;
        for (const Item& item : list)
            ids.push_back(item.id);
        return ids;
    };
    struct Step {
        const char* name;
        std::function<void()> change;
        bool changesItems;
    };
    const std::vector<Step> steps = {
        {"add", [&] { store->add(a); }, true},
        {"add more",
         [&] {
             store->add(b);
             store->add(c);
         },
         true},
        {"select", [&] { store->setSelection({b.id}); }, false},
        {"move", [&] { store->move(a.id, 0); }, true},
        {"move to where it is", [&] { store->move(a.id, 0); }, false},
        {"update",
         [&] {
             Item pinned = b;
             pinned.pinned = true;
             store->update(pinned);
         },
         true},
        {"update a stranger", [&] { store->update(textItem("stranger", 9)); }, false},
        {"remove", [&] { store->remove(c.id); }, true},
        {"clear", [&] { store->clear(); }, true},
    };
    std::shared_ptr<const ItemList> before = store->snapshot();
    ASSERT_NE(before, nullptr);
    EXPECT_TRUE(before->empty());
    for (const Step& step : steps) {
        step.change();
        const std::shared_ptr<const ItemList> after = store->snapshot();
        EXPECT_EQ(idsOf(*after), test::itemIds(*store)) << step.name;
        for (const Item& item : store->items()) {
            ASSERT_TRUE(after->indexOf(item.id).has_value()) << step.name;
            EXPECT_EQ((*after)[*after->indexOf(item.id)].pinned, item.pinned) << step.name;
        }
        if (!step.changesItems) {
            EXPECT_EQ(after, before) << step.name << ": the same list is handed on";
        }
        EXPECT_EQ(store->snapshot(), after) << step.name << ": asked again, the same list";
        before = after;
    }
}
