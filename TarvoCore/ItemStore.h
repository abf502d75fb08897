#pragma once

#include "Date.h"
#include "Item.h"
#include "ItemList.h"
#include "StoreWriter.h"

#include <QDeadlineTimer>
#include <QHash>
#include <QSet>
#include <QString>
#include <QThreadPool>
#include <QTimer>
#include <QUuid>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <variant>
#include <vector>

namespace tarvo {

// The shelf's items, newest first, kept on disk under `root`: one folder per
// item holding "item.json" and the item's files, and the index "tarvo.json"
// listing the order and the selection. Main thread only.
//
// By default every change is on disk before the call returns. With writes in
// the background, "item.json" files and the index are written by the
// store's own writer thread in the order they were made (an item's
// "item.json" before any index listing it, only the newest index kept), and
// a failed "item.json" turns its item failed and is reported through
// `onWriteFailed`; saving and destroying the store finish what is queued.
class ItemStore final {
public:
    static constexpr double defaultMaxAge = 604800.0;     // seven days
    static constexpr qint64 defaultCapBytes = 2000000000; // not 2^31
    // A removed item's folder is kept this long, so an undo can put it back.
    static constexpr double defaultRemovalGrace = 60.0;

    struct AddResult {
        struct Added {
            Item item;
            bool operator==(const Added&) const = default;
        };
        struct Duplicate {
            Item existing;
            bool operator==(const Duplicate&) const = default;
        };
        // "item.json" or the index could not be written, or the content not
        // made durable: the content was not taken and the shelf is as it was.
        struct Failed {
            Item item;
            QString reason;
            bool operator==(const Failed&) const = default;
        };

        std::variant<Added, Duplicate, Failed> value;

        template <class Case> bool is() const { return std::holds_alternative<Case>(value); }
        // The added item, the existing one, or the one that was not taken.
        const Item& item() const;
        bool operator==(const AddResult&) const = default;
    };

    // The user's data folder plus "Tarvo/Items" (not created here). Throws
    // FileError when there is no data folder.
    static QString defaultRoot();

    // Creates `root` as needed and loads the shelf, finishing what a crash
    // left (removals, temporary files, folders no index names). Throws
    // FileError when the folder cannot be made; nothing met while loading is
    // thrown. Removed items' folders are deleted `removalGrace` seconds later.
    explicit ItemStore(QString root, double removalGrace = defaultRemovalGrace);
    ~ItemStore();
    ItemStore(const ItemStore&) = delete;
    ItemStore& operator=(const ItemStore&) = delete;

    // Switch it on before the first change; the shell does, so that a drop
    // never waits for a flush on the main thread.
    void setWritesInBackground(bool on);
    bool writesInBackground() const { return m_writer != nullptr; }
    // Blocks until every background write asked for so far is on disk.
    void waitForWrites();
    // The writer itself, for tests that hold it back.
    StoreWriter* writer() { return m_writer.get(); }
    // A background "item.json" write failed: the item, now failed, as the
    // shelf holds it, and why. Not called for items removed or written again
    // meanwhile.
    std::function<void(const Item&, const QString& reason)> onWriteFailed;

    const QString& root() const { return m_root; }
    // How long a removed item's folder is kept so that it can be put back.
    double removalGrace() const { return m_removalGrace; }
    // Newest first, as a deque: a new item goes in front without moving the
    // thousands behind it.
    const std::deque<Item>& items() const { return m_items; }
    // The same items as one list that never changes: the same list comes
    // back until the items change, so handing it on copies nothing.
    std::shared_ptr<const ItemList> snapshot() const;
    // Changing the selection touches memory only; the next index write stores it.
    const QSet<QUuid>& selection() const { return m_selection; }
    void setSelection(QSet<QUuid> selection) { m_selection = std::move(selection); }

    QString itemDirectory(const QUuid& id) const;
    QString makeItemDirectory(const QUuid& id); // throws FileError

    // Nothing is reported added before its files, "item.json" and the index
    // are on disk; a failure leaves the shelf as it was.
    AddResult add(const Item& item);
    // Adds an item removed within the grace period back with its folder; an
    // item whose stored file is gone fails.
    AddResult putBack(const Item& item);
    // Completing a receiving item makes its payload durable first, unless
    // the caller already did (`makeDurable`, off the main thread).
    void update(const Item& item, bool payloadDurable = false);
    // Removal is atomic and durable before it returns: the folder is renamed
    // aside and the rename flushed, then the index written; the folder is
    // deleted after the grace period off the main thread. When the disk
    // refuses, the removal is undone, the item stays where it was and false
    // comes back. The same holds for clearing and for the evictions. The id
    // is taken by value: it may name an item of `items()`, which goes.
    bool remove(QUuid id);
    void move(const QUuid& id, qsizetype index);
    bool clear();
    // Deletes the folder of an item that never made it onto the shelf, the
    // same atomic way, at once.
    void discardItemDirectory(const QUuid& id);

    std::optional<Item> item(const QUuid& id) const;
    std::optional<Item> itemWithHash(const QString& contentHash) const;
    // The first item holding the same content as `candidate`: an equal
    // fingerprint, confirmed past what the fingerprint covers: files by the
    // rest of their bytes, texts and links whole, folders by the manifest of
    // every entry below them. Every duplicate lookup goes through here.
    std::optional<Item> duplicateOf(const Item& candidate) const;
    // Whether two items with equal fingerprints hold the same content, as
    // `duplicateOf` decides it. Reads only their files below `root`: any
    // thread, so that large files and folders are compared off the main one.
    static bool sameContent(const QString& root, const Item& candidate, const Item& existing);
    // Flushes an item's payload and its folder to the disk; throws FileError.
    // Reads only the files below `root`: any thread.
    static void makeDurable(const QString& root, const Item& item);

    std::vector<QUuid> evictExpired(Date now, double maxAge);
    std::vector<QUuid> evictToCap(qint64 bytes);
    qint64 containerSize() const;

    // Finishes background writes, then writes every "item.json" that differs
    // from its item, then the index; throws FileError.
    void save();

    // Waits until folders already due for deletion are gone (tests, shutdown).
    void waitForDeletions();

private:
    struct Trash {
        QUuid id;
        QString path;
        QDeadlineTimer due;
    };
    struct ReadResult;

    void load();
    bool rebuildFromFolders();
    void failInterruptedReceives();
    void sweepRoot(const QSet<QUuid>* listed);
    void sweepItemFolders();
    void quarantine(const QUuid& id, const QString& reason);
    // Renames the items' folders aside and flushes the renames, then takes
    // the items off the shelf, leaving the index for the caller to write.
    // False, with every folder put back and the shelf unchanged, when the
    // disk refused.
    bool forget(const QSet<QUuid>& ids);
    std::optional<QString> moveToTrash(const QUuid& id);
    void scheduleDeletion(const QString& path);
    void keepForGrace(const QUuid& id, const QString& path);
    void deleteExpiredTrash();
    void flushPayload(const Item& item);
    ReadResult readItem(const QUuid& id) const;
    std::vector<ReadResult> readItems(const std::vector<QUuid>& ids) const;
    void writeMetadata(const Item& item);
    void writeMetadataThrowing(const Item& item);
    void persistIndex(bool flushRootFirst = false);
    // Puts a new item in front of the shelf.
    void takeNewest(const Item& item);
    void queueItem(const Item& item, bool payloadFirst);
    void backgroundWriteFailed(const QUuid& id, quint64 ticket, const QString& reason);
    void writeIndexThrowing();
    QString indexPath() const;

    QString m_root;
    std::deque<Item> m_items;
    // `m_items` as last handed out; every change of `m_items` drops it.
    mutable std::shared_ptr<const ItemList> m_snapshot;
    QSet<QUuid> m_selection;
    double m_removalGrace;
    std::deque<Trash> m_trash; // removed folders within the grace period, oldest first
    QThreadPool m_deleter;
    std::unique_ptr<QTimer> m_graceTimer;
    // The latest background write of each item, so that only its failure counts.
    QHash<QUuid, quint64> m_writeTickets;
    // Declared last: destroyed first, finishing its writes while the rest is whole.
    std::unique_ptr<StoreWriter> m_writer;
};

} // namespace tarvo
