#pragma once

#include "Item.h"

#include <QByteArray>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUuid>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace tarvo {

// Writes the store's "item.json" files and its index "tarvo.json" on a thread
// of its own, one after another in the order they were asked for, so that
// the thread asking never waits for a flush. Only the newest index matters:
// asking for one replaces an index not yet started and puts it after every
// item asked for so far, so no index is written before the "item.json" of an
// item it lists. Failures are logged on the writer and handed to
// `onItemFailed` on the thread that made the writer. Destroying the writer
// finishes every write already asked for.
class StoreWriter final {
public:
    explicit StoreWriter(QString root);
    ~StoreWriter();
    StoreWriter(const StoreWriter&) = delete;
    StoreWriter& operator=(const StoreWriter&) = delete;

    // Writes the item's "item.json" into its folder, which must exist (a
    // folder renamed aside meanwhile is never made again). With
    // `payloadFirst` the item's files are flushed before it. Returns the
    // ticket a failure of this write is reported with.
    quint64 writeItem(const Item& item, bool payloadFirst);
    // `flushRootFirst`: item folders were renamed aside in the root, and
    // those renames must reach the disk before an index that no longer lists
    // them.
    void writeIndex(std::vector<QUuid> order, QSet<QUuid> selection, bool flushRootFirst);
    // Forgets item writes not yet started for these items (they were removed).
    void cancelItems(const QSet<QUuid>& ids);

    // Blocks until everything asked for so far is written (quit, save, tests).
    void waitForIdle();
    // Holds queued writes back until `resume`; the write under way finishes.
    void pause();
    void resume();

    // The item, the ticket `writeItem` returned, and why "item.json" could
    // not be written.
    std::function<void(const QUuid& id, quint64 ticket, const QString& reason)> onItemFailed;

    static QByteArray encodeIndex(const std::vector<QUuid>& order, const QSet<QUuid>& selection);

private:
    struct Job {
        bool isIndex = false;
        Item item;
        bool payloadFirst = false;
        quint64 ticket = 0;
        std::vector<QUuid> order;
        QSet<QUuid> selection;
        bool flushRootFirst = false;
    };

    void run();
    void perform(const Job& job);

    QString m_root;
    // Lives on the creating thread: failures are delivered through it.
    std::unique_ptr<QObject> m_context;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<Job> m_queue;
    bool m_busy = false;
    bool m_paused = false;
    bool m_stopping = false;
    quint64 m_nextTicket = 1;
    std::thread m_thread;
};

} // namespace tarvo
