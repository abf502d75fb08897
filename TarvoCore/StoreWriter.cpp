#include "StoreWriter.h"

#include "AtomicFile.h"
#include "DiskIO.h"
#include "FileError.h"
#include "ItemStore.h"
#include "Json.h"
#include "Log.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QMetaObject>

#include <algorithm>
#include <pthread.h>

namespace tarvo {

StoreWriter::StoreWriter(QString root)
    : m_root(std::move(root)), m_context(std::make_unique<QObject>()) {
    m_thread = std::thread([this] {
        ::pthread_setname_np(::pthread_self(), "tarvo-store");
        run();
    });
}

StoreWriter::~StoreWriter() {
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_paused = false;
    }
    m_wake.notify_all();
    m_thread.join();
}

quint64 StoreWriter::writeItem(const Item& item, bool payloadFirst) {
    Job job;
    job.item = item;
    job.payloadFirst = payloadFirst;
    quint64 ticket = 0;
    {
        const std::lock_guard lock(m_mutex);
        ticket = m_nextTicket++;
        job.ticket = ticket;
        m_queue.push_back(std::move(job));
    }
    m_wake.notify_all();
    return ticket;
}

void StoreWriter::writeIndex(std::vector<QUuid> order, QSet<QUuid> selection, bool flushRootFirst) {
    Job job;
    job.isIndex = true;
    job.order = std::move(order);
    job.selection = std::move(selection);
    job.flushRootFirst = flushRootFirst;
    {
        const std::lock_guard lock(m_mutex);
        // At most one index waits, usually last: search from the back.
        const auto waiting =
            std::find_if(m_queue.rbegin(), m_queue.rend(), [](const Job& j) { return j.isIndex; });
        if (waiting != m_queue.rend()) {
            job.flushRootFirst = job.flushRootFirst || waiting->flushRootFirst;
            m_queue.erase(std::next(waiting).base());
        }
        m_queue.push_back(std::move(job));
    }
    m_wake.notify_all();
}

void StoreWriter::cancelItems(const QSet<QUuid>& ids) {
    const std::lock_guard lock(m_mutex);
    std::erase_if(m_queue, [&](const Job& j) { return !j.isIndex && ids.contains(j.item.id); });
}

void StoreWriter::waitForIdle() {
    std::unique_lock lock(m_mutex);
    // A paused writer would never become idle.
    m_paused = false;
    m_wake.notify_all();
    m_idle.wait(lock, [this] { return m_queue.empty() && !m_busy; });
}

void StoreWriter::pause() {
    const std::lock_guard lock(m_mutex);
    m_paused = true;
}

void StoreWriter::resume() {
    {
        const std::lock_guard lock(m_mutex);
        m_paused = false;
    }
    m_wake.notify_all();
}

void StoreWriter::run() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stopping || (!m_paused && !m_queue.empty()); });
        if (m_queue.empty()) {
            if (m_stopping)
                return;
            continue;
        }
        Job job = std::move(m_queue.front());
        m_queue.pop_front();
        m_busy = true;
        lock.unlock();
        perform(job);
        lock.lock();
        m_busy = false;
        if (m_queue.empty())
            m_idle.notify_all();
    }
}

void StoreWriter::perform(const Job& job) {
    if (job.isIndex) {
        try {
            if (job.flushRootFirst)
                DiskIO::flushFolder(m_root);
            AtomicFile::write(encodeIndex(job.order, job.selection),
                              m_root + QStringLiteral("/tarvo.json"));
        } catch (const FileError& error) {
            Log::core().error(
                QStringLiteral("could not write the tarvo index: %1").arg(error.description()));
        }
        return;
    }
    try {
        // The files first: an "item.json" must never stand for content that
        // a power cut could still take away.
        if (job.payloadFirst)
            ItemStore::makeDurable(m_root, job.item);
        AtomicFile::write(json::write(job.item.toJson()),
                          itemFolder(m_root, job.item.id) + QStringLiteral("/item.json"));
    } catch (const FileError& error) {
        const QString reason = error.description();
        Log::core().error(QStringLiteral("could not write item.json: %1").arg(reason));
        QMetaObject::invokeMethod(
            m_context.get(),
            [this, id = job.item.id, ticket = job.ticket, reason] {
                if (onItemFailed)
                    onItemFailed(id, ticket, reason);
            },
            Qt::QueuedConnection);
    }
}

QByteArray StoreWriter::encodeIndex(const std::vector<QUuid>& order, const QSet<QUuid>& selection) {
    QJsonArray ids;
    for (const QUuid& id : order)
        ids.append(json::uuidText(id));
    QStringList selected;
    for (const QUuid& id : selection)
        selected.append(json::uuidText(id));
    selected.sort();
    const QJsonObject index{{QStringLiteral("order"), ids},
                            {QStringLiteral("selection"), QJsonArray::fromStringList(selected)}};
    return json::write(index);
}

} // namespace tarvo
