#pragma once

#include "Date.h"
#include "Item.h"

#include <QString>
#include <QStringList>
#include <QUuid>

#include <mutex>
#include <optional>
#include <variant>
#include <vector>

namespace tarvo {

// One delivery that can be undone: the item as delivered and every file the
// delivery wrote, with the fingerprint each had when it was recorded (its
// whole content, or a folder's whole manifest; see Fingerprint.h).
struct UndoEntry {
    QUuid id;
    Item item;
    std::optional<QString> destinationBundleID;
    QStringList writtenURLs; // local paths, in the order written
    QStringList hashes;      // fingerprints, paired with writtenURLs by position
    Date at;

    bool wasFileTarget() const { return !writtenURLs.isEmpty(); }
    bool operator==(const UndoEntry&) const = default;
};

// Recent deliveries, in memory only, each undoable for `window` seconds. May be
// used from any thread; no file work happens while the lock is held.
class UndoLog final {
public:
    static constexpr double window = 60.0;

    struct Outcome {
        // The written files were deleted (`count` of them actually removed); the
        // item goes back on the shelf.
        struct RestoredAndDeleted {
            int count = 0;
            bool operator==(const RestoredAndDeleted&) const = default;
        };
        // Nothing was written; the item goes back on the shelf.
        struct RestoredOnly {
            bool operator==(const RestoredOnly&) const = default;
        };
        // A written file changed since (or cannot be read): nothing deleted.
        struct RefusedFileChanged {
            bool operator==(const RefusedFileChanged&) const = default;
        };
        // Older than the window: nothing done.
        struct Expired {
            bool operator==(const Expired&) const = default;
        };

        std::variant<RestoredAndDeleted, RestoredOnly, RefusedFileChanged, Expired> value;

        static Outcome restoredAndDeleted(int count) { return {RestoredAndDeleted{count}}; }
        static Outcome restoredOnly() { return {RestoredOnly{}}; }
        static Outcome refusedFileChanged() { return {RefusedFileChanged{}}; }
        static Outcome expired() { return {Expired{}}; }
        template <class Case> bool is() const { return std::holds_alternative<Case>(value); }

        // The localised text of the outcome; the count does not appear in it.
        QString message() const;
        bool operator==(const Outcome&) const = default;
    };

    UndoLog() = default;
    UndoLog(const UndoLog&) = delete;
    UndoLog& operator=(const UndoLog&) = delete;

    void record(const UndoEntry& entry);
    // Drops entries older than the window, then returns the latest one.
    std::optional<UndoEntry> mostRecent(Date now);
    bool isEmpty(Date now);
    void forget(const QUuid& id);
    // Forgets every entry.
    void clear();
    // The entry is taken out of the log under the lock and so used up by any
    // outcome but `expired`: a refused undo cannot be repeated, and an entry
    // no longer in the log (undone already) answers `expired`. A written file
    // is deleted only when its fingerprint still matches, so the fingerprint
    // is computed anew for each: call it off the main thread.
    Outcome undo(const UndoEntry& entry, Date now);

private:
    void pruneLocked(Date now);
    // Removes the entry; false when it was not in the log.
    bool take(const QUuid& id);

    std::mutex m_mutex;
    std::vector<UndoEntry> m_entries; // oldest first
};

} // namespace tarvo
