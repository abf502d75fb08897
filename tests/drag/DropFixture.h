#pragma once

#include "TarvoCore/ItemStore.h"
#include "TarvoDrag/DropReceiver.h"
#include "TarvoPlatform/memory/FakeClock.h"
#include "TarvoPlatform/memory/MemoryPasteboard.h"

#include "support/RecordingLogSink.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>

namespace tarvo::test {

// A drop receiver over a store in a temporary folder, with every callback
// recorded. Dropped files live in "source/".
class DropFixture : public ::testing::Test {
protected:
    DropFixture()
        : m_store(std::make_unique<ItemStore>(m_dir.file("Items"))),
          m_receiver(std::make_unique<DropReceiver>(*m_store, m_clock)) {
        QDir().mkpath(source(QString()));
        wire();
    }

    void wire() {
        m_receiver->onItemsAdded = [this](const std::vector<Item>& items) {
            added.push_back(items);
        };
        m_receiver->onItemUpdated = [this](const Item& item) { updated.push_back(item); };
        m_receiver->onDuplicateLanded = [this](const Item& item) { duplicates.push_back(item); };
    }

    QString source(const QString& relative) const { return m_dir.file("source/" + relative); }
    QString writeSource(const QString& relative, const QByteArray& bytes) const {
        return m_dir.write("source/" + relative, bytes);
    }
    std::vector<Item>
    drop(const std::optional<QString>& from = QStringLiteral("org.example.Files")) {
        return m_receiver->accept(m_pasteboard, from);
    }
    std::vector<Item> dropFiles(const QStringList& paths) {
        QList<QUrl> urls;
        for (const QString& path : paths)
            urls.append(QUrl::fromLocalFile(path));
        m_pasteboard.clearContents();
        m_pasteboard.setURLs(urls);
        return drop();
    }
    QString stored(const Item& item) const { return item.payloadURL(m_store->root()).value_or(""); }
    // Item folders on disk, whether the store knows them or not.
    QStringList itemFolders() const {
        return QDir(m_store->root()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    }
    // Hands the main thread what promise readers posted.
    static void settle() {
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents();
    }

    TempDir m_dir;
    RecordingLogSink m_log;
    FakeClock m_clock;
    std::unique_ptr<ItemStore> m_store;
    MemoryPasteboard m_pasteboard;
    std::unique_ptr<DropReceiver> m_receiver;

    std::vector<std::vector<Item>> added;
    std::vector<Item> updated;
    std::vector<Item> duplicates;
};

// The same, with copies on the worker as the program makes them.
class WorkerDropFixture : public DropFixture {
protected:
    WorkerDropFixture() { m_receiver->setCopiesOnWorker(true); }

    // Hands the main thread what the worker posted, until nothing runs.
    bool waitForCopies() {
        QDeadlineTimer deadline(20000);
        while (m_receiver->copiesInFlight() > 0 && !deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            QThread::msleep(2);
        }
        QCoreApplication::processEvents();
        return m_receiver->copiesInFlight() == 0;
    }
    static QByteArray readAll(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

} // namespace tarvo::test
