#pragma once

#include "TarvoCore/Date.h"
#include "TarvoCore/Item.h"

#include <QSet>
#include <QString>
#include <QThreadPool>
#include <QTimeZone>
#include <QUuid>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace tarvo {

class Clock;
class FilePromiseReceiver;
class ItemStore;
class Pasteboard;
class ScheduledWork;

// Turns what lands on the shelf into stored items: takes the first kind of
// content a pasteboard offers, copies it into a new item folder, fingerprints
// it and adds it to the store, or finds the item already holding it. Promised
// files show at once as placeholders and complete when they arrive; a promise
// the source breaks, or does not keep within `promiseTimeout`, leaves the
// item that a web link or text offered beside it makes, and fails only when
// there was none. Nothing here throws to the caller. Main thread only.
class DropReceiver final {
public:
    static constexpr double promiseTimeout = 30.0;

    // Neither is owned; both must outlive the receiver.
    DropReceiver(ItemStore& store, Clock& clock);
    ~DropReceiver();
    DropReceiver(const DropReceiver&) = delete;
    DropReceiver& operator=(const DropReceiver&) = delete;

    // An item changed after it was added: a promised file completed or
    // failed, or a retry was asked for.
    std::function<void(const Item&)> onItemUpdated;
    // A promised file held content already on the shelf: the existing item.
    std::function<void(const Item&)> onDuplicateLanded;
    // A call of `accept` produced items.
    std::function<void(const std::vector<Item>&)> onItemsAdded;

    // The items a drop or paste produced (new ones, placeholders, or items
    // already on the shelf), possibly none. `sourceBundleID` names the
    // application the content came from.
    std::vector<Item> accept(const Pasteboard& pasteboard,
                             const std::optional<QString>& sourceBundleID);
    // A failed file or folder is copied again from where it was dropped
    // from, on the worker as at its first drop: the item is receiving until
    // the copy completes, fails, or gives way to an item holding the same
    // content. With nothing left to copy from (the original is gone, or it
    // was a promise whose drag is over) the item stays failed and says why.
    // Items that have not failed are left alone.
    void retry(const QUuid& itemID);

    // Promised files are reported on these threads before they are handed to
    // the main thread.
    QThreadPool& operationQueue() { return m_operationQueue; }

    // When on, dropped files and folders are copied, fingerprinted and made
    // durable on a worker: `accept` adds each at once as a receiving item,
    // which completes, fails, or gives way to the item already holding the
    // same content once its copy is done. When off (the default), they are
    // copied before `accept` returns.
    void setCopiesOnWorker(bool on) { m_copiesOnWorker = on; }
    bool copiesOnWorker() const { return m_copiesOnWorker; }
    // Copies and comparisons still running on the worker.
    std::size_t copiesInFlight() const { return m_copiesInFlight; }

    // The display name of a text: its first non-empty line, trimmed of spaces
    // and tabs, cut to 27 characters and an ellipsis when longer than 28.
    static QString previewName(const QString& text);
    // "2025-01-31 at 09.05.07" in `timeZone`.
    static QString timestamp(Date date, const QTimeZone& timeZone);
    // Judged by the file name's extension; a folder is never an image.
    static bool isImage(const QString& path);
    // The payload naming `name` for what is at `path`: an image, a folder or
    // another file, from one look at the disk.
    static ItemPayload storedPayload(const QString& path, const QString& name);

private:
    struct Promise;

    std::vector<Item> acceptPromises(const Pasteboard& pasteboard,
                                     const std::optional<QString>& source);
    std::vector<Item> acceptFileURLs(const Pasteboard& pasteboard,
                                     const std::optional<QString>& source);
    std::optional<Item> acceptImageData(const Pasteboard& pasteboard,
                                        const std::optional<QString>& source);
    std::optional<Item> acceptRichText(const Pasteboard& pasteboard,
                                       const std::optional<QString>& source);
    std::optional<Item> acceptURL(const Pasteboard& pasteboard,
                                  const std::optional<QString>& source);
    std::optional<Item> acceptString(const Pasteboard& pasteboard,
                                     const std::optional<QString>& source);
    // The items a web link and a plain text on `pasteboard` make, neither
    // stored nor with a folder yet.
    std::optional<Item> linkOn(const Pasteboard& pasteboard,
                               const std::optional<QString>& source) const;
    std::optional<Item> textOn(const Pasteboard& pasteboard,
                               const std::optional<QString>& source) const;
    // Adds a link or a text, which needs no files, with a folder of its own
    // when one can be made.
    std::optional<Item> takeWithoutFiles(const std::optional<Item>& item);
    // What a broken promise of `pasteboard` gives way to, if anything.
    std::optional<Item> offeredBesidePromises(const Pasteboard& pasteboard,
                                              const std::optional<QString>& source) const;

    std::vector<Item> acceptFileURLsOnWorker(const Pasteboard& pasteboard,
                                             const std::optional<QString>& source);
    // Copies `path` to `copy` for the receiving `placeholder`, fingerprints
    // the copy and makes it durable on the worker, then settles the item. A
    // regular file whose content one of `shelf` holds is not copied at all.
    void copyOnWorker(const Item& placeholder, const QString& path, const QString& copy,
                      std::deque<Item> shelf);
    struct Copied;
    void copyFinished(const QUuid& itemID, const QString& copy, const Copied& copied);
    void settleCopy(const Item& item, QSet<QUuid> compared);
    // Runs `work` on the copy queue and `then` with its answer on the main
    // thread, unless the receiver is gone by then.
    template <class Result>
    void onWorker(std::function<Result()> work, std::function<void(Result)> then);

    void receive(FilePromiseReceiver& receiver, const QString& folder, const QUuid& itemID,
                 const QString& fallbackName, const std::optional<Item>& instead);
    void promiseAnswered(quint64 promise, const QUuid& itemID, const QString& file,
                         const std::optional<QString>& error);
    void promiseTimedOut(quint64 promise, const QUuid& itemID);
    void complete(const QUuid& itemID, const QString& file, const QString& fallbackName);
    // The promise of the placeholder `itemID` will not be kept: it becomes
    // `instead`, or fails when there is nothing instead.
    void broken(const QUuid& itemID, const std::optional<Item>& instead);
    // Stores the ready `item` in place of its placeholder, or gives way to
    // the item already holding its content.
    void settle(const Item& item);
    void fail(const QUuid& itemID, const QString& reason);
    void discardLateFile(const QUuid& itemID, const QString& file);

    // The item already holding a dropped regular file's content, found by
    // its fingerprint and bytes before anything is copied.
    std::optional<Item> itemHolding(const QString& path) const;
    static std::optional<QUuid> heldAmong(const QString& root, const QString& path,
                                          const std::deque<Item>& shelf);

    Item newItem(const QUuid& id, const std::optional<QString>& source) const;
    std::optional<Item> take(const Item& item);
    void removeFolder(const QUuid& id);

    ItemStore& m_store;
    QThreadPool m_operationQueue;
    QThreadPool m_copyQueue;
    bool m_copiesOnWorker = false;
    std::size_t m_copiesInFlight = 0;
    Clock& m_clock;
    std::map<quint64, std::unique_ptr<Promise>> m_promises;
    quint64 m_nextPromise = 1;
    // Work handed to the main thread later checks this first.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

} // namespace tarvo
