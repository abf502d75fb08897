#include "DeliveryCoordinator.h"

#include "PromisedFile.h"

#include "TarvoConvert/ConversionEngine.h"
#include "TarvoConvert/ConversionError.h"
#include "TarvoCore/FileError.h"
#include "TarvoCore/Files.h"
#include "TarvoCore/Fingerprint.h"
#include "TarvoCore/ItemStore.h"
#include "TarvoCore/Json.h"
#include "TarvoCore/Log.h"
#include "TarvoCore/Preferences.h"
#include "TarvoCore/RuleEngine.h"
#include "TarvoPlatform/ApplicationDirectory.h"
#include "TarvoPlatform/Clock.h"
#include "TarvoPlatform/InputState.h"
#include "TarvoPlatform/WorkRoot.h"

#include <QDir>
#include <QFileInfo>
#include <QObject>
#include <QPromise>
#include <QThreadPool>
#include <QUuid>

#include <exception>

namespace tarvo {

namespace {

using Promise = QPromise<std::optional<ConversionResult>>;

// What a failed conversion said, for its log line.
QString reasonOf(const std::exception& error) {
    if (const auto* conversion = dynamic_cast<const ConversionError*>(&error))
        return conversion->detail();
    if (const auto* file = dynamic_cast<const FileError*>(&error))
        return file->description();
    return QString::fromLocal8Bit(error.what());
}

void settle(const std::shared_ptr<Promise>& promise, std::optional<ConversionResult> result) {
    promise->addResult(std::move(result));
    promise->finish();
}

} // namespace

DeliveryCoordinator::Modifiers::Modifiers(quint64 flags)
    : option((flags & ModifierFlag::option) != 0), control((flags & ModifierFlag::control) != 0),
      command((flags & ModifierFlag::command) != 0), shift((flags & ModifierFlag::shift) != 0) {}

DeliveryCoordinator::DeliveryCoordinator(ItemStore& store, RuleEngine& rules,
                                         ConversionEngine& engine, UndoLog& undoLog,
                                         Preferences& preferences, QString workRoot,
                                         ApplicationDirectory& applications, Clock& clock)
    : m_store(store), m_rules(rules), m_engine(engine), m_undoLog(undoLog),
      m_preferences(preferences), m_workRoot(std::move(workRoot)), m_applications(applications),
      m_clock(clock), m_context(std::make_unique<QObject>()),
      m_fileWork(std::make_unique<QThreadPool>()) {
    m_fileWork->setMaxThreadCount(1);
    sweepWorkFolders();
}

DeliveryCoordinator::~DeliveryCoordinator() {
    // The work holds the undo log; what it hands back is dropped with the context.
    m_fileWork->waitForDone();
}

DeliveryCoordinator::Decision DeliveryCoordinator::delivery(const Item& item,
                                                            const ResolvedDestination& destination,
                                                            const Modifiers& modifiers) {
    if (modifiers.option)
        return {Delivery::original(), std::nullopt};
    std::optional<Rule> rule = m_rules.rule(item, m_store.root(), destination);
    Delivery chosen = m_rules.effectiveDelivery(rule, destination);
    return {std::move(chosen), std::move(rule)};
}

DeliveryCoordinator::Decision
DeliveryCoordinator::badgeContent(const Item& item, const ResolvedDestination& destination,
                                  const Modifiers& modifiers) {
    return delivery(item, destination, modifiers);
}

const QString& DeliveryCoordinator::containerRoot() const {
    return m_store.root();
}

QString DeliveryCoordinator::makeWorkDirectory() {
    const QString folder = QDir(m_workRoot).filePath(json::uuidText(QUuid::createUuid()));
    try {
        Files::makeDirectories(folder);
    } catch (const FileError&) {
        // The engine creates the folder again and reports the error then.
    }
    return folder;
}

void DeliveryCoordinator::sweepWorkFolders() {
    if (m_workRoot.isEmpty())
        return;
    QThreadPool::globalInstance()->start([root = m_workRoot] { WorkRoot::sweep(root); });
}

ConversionRequest DeliveryCoordinator::request(const Item& item, const Delivery& delivery,
                                               const std::optional<Rule>& rule, int index,
                                               int batchCount,
                                               const ResolvedDestination& destination,
                                               const QString& workDirectory,
                                               const std::optional<QString>& destinationURL) {
    ConversionRequest request;
    request.item = item;
    request.containerRoot = m_store.root();
    request.delivery = delivery;
    request.rename = rule ? rule->rename : std::nullopt;
    request.index = index;
    request.batchCount = batchCount;
    request.destinationApp = destination.bundleID ? appName(*destination.bundleID) : std::nullopt;
    request.workDirectory = workDirectory;
    request.destinationURL = destinationURL;
    request.keepMetadata = m_preferences.keepImageMetadata();
    request.date = m_clock.now();
    return request;
}

QFuture<std::optional<ConversionResult>>
DeliveryCoordinator::produce(const ConversionRequest& request, Counting counting) {
    auto promise = std::make_shared<Promise>();
    promise->start();
    QFuture<std::optional<ConversionResult>> future = promise->future();
    QObject* context = m_context.get();

    m_engine.convert(request)
        .then(context,
              [this, promise, counting](const ConversionResult& result) {
                  if (counting == Counting::atConversion && result.is<ConversionResult::File>())
                      m_preferences.countConversion();
                  settle(promise, result);
              })
        .onFailed(
            context,
            [this, promise, context, request](const std::exception& error) {
                Log::deliver().error(
                    QStringLiteral("conversion failed for %1; delivering the original: %2")
                        .arg(request.item.displayName, reasonOf(error)));
                ConversionRequest fallback = request;
                fallback.delivery = Delivery::original();
                fallback.rename = std::nullopt;
                m_engine.convert(fallback)
                    .then(context,
                          [promise](const ConversionResult& result) { settle(promise, result); })
                    .onFailed(context, [promise] { settle(promise, std::nullopt); });
            })
        .onFailed(context, [promise] { settle(promise, std::nullopt); });
    return future;
}

void DeliveryCoordinator::countConversion() {
    m_preferences.countConversion();
}

QFuture<std::optional<ConversionResult>>
DeliveryCoordinator::produceData(const ConversionRequest& request) {
    auto promise = std::make_shared<Promise>();
    promise->start();
    QFuture<std::optional<ConversionResult>> future = promise->future();
    QObject* context = m_context.get();
    m_engine.convert(request)
        .then(context, [promise](const ConversionResult& result) { settle(promise, result); })
        .onFailed(context, [promise, request] {
            // The unchanged item serves instead: its stored file, or its text.
            // An item with neither has nothing to hand over, and no
            // destination is ever given a made-up file.
            ConversionRequest unchanged = request;
            unchanged.delivery = Delivery::original();
            std::optional<ConversionResult> fallback;
            try {
                fallback = ConversionEngine::perform(unchanged);
            } catch (const std::exception&) {
            }
            settle(promise, fallback);
        });
    return future;
}

void DeliveryCoordinator::onFileWorker(std::function<void()> work, std::function<void()> done) {
    ++m_pendingFileWork;
    QObject* context = m_context.get();
    m_fileWork->start([this, context, work = std::move(work), done = std::move(done)]() mutable {
        work();
        // Dropped with the context when the coordinator is gone.
        QMetaObject::invokeMethod(
            context,
            [this, done = std::move(done)] {
                --m_pendingFileWork;
                done();
            },
            Qt::QueuedConnection);
    });
}

QFuture<void> DeliveryCoordinator::recordDelivery(const Item& item,
                                                  const ResolvedDestination& destination,
                                                  const std::vector<ConversionResult>& results) {
    UndoEntry entry;
    entry.id = QUuid::createUuid();
    entry.item = item;
    entry.destinationBundleID = destination.bundleID;
    entry.at = m_clock.now();
    QStringList written;
    for (const ConversionResult& result : results) {
        if (const auto* file = result.as<ConversionResult::File>())
            written.append(file->url);
    }
    m_preferences.countDrop();

    auto promise = std::make_shared<QPromise<void>>();
    promise->start();
    QFuture<void> future = promise->future();
    if (written.isEmpty() && m_pendingFileWork == 0) {
        m_undoLog.record(entry);
        promise->finish();
        return future;
    }
    UndoLog& log = m_undoLog;
    onFileWorker(
        [&log, entry, written]() mutable {
            // The undo log pairs files and fingerprints by position, and
            // deletes only what it can show unchanged: a file without a
            // fingerprint is left out of both lists.
            for (const QString& path : written) {
                try {
                    const QString fingerprint = Fingerprint::ofWritten(path);
                    entry.writtenURLs.append(path);
                    entry.hashes.append(fingerprint);
                } catch (const FileError&) {
                }
            }
            log.record(entry);
        },
        [promise] { promise->finish(); });
    return future;
}

QFuture<std::optional<FileError>>
DeliveryCoordinator::placePromisedFile(const ConversionResult& result, const QString& temporary,
                                       const QString& path,
                                       std::shared_ptr<const std::atomic<bool>> abandoned) {
    auto promise = std::make_shared<QPromise<std::optional<FileError>>>();
    promise->start();
    QFuture<std::optional<FileError>> future = promise->future();
    auto failure = std::make_shared<std::optional<FileError>>();
    onFileWorker(
        [result, temporary, path, abandoned = std::move(abandoned), failure] {
            try {
                PromisedFile::place(result, temporary, path, abandoned.get());
            } catch (const FileError& error) {
                *failure = error;
            }
        },
        [promise, failure] {
            promise->addResult(*failure);
            promise->finish();
        });
    return future;
}

void DeliveryCoordinator::recordHandOver(const Item&, const ResolvedDestination&) {
    m_preferences.countDrop();
    if (m_pendingFileWork == 0) {
        m_undoLog.clear();
        return;
    }
    UndoLog& log = m_undoLog;
    onFileWorker([&log] { log.clear(); }, [] {});
}

UndoLog::Outcome DeliveryCoordinator::finishUndo(const UndoEntry& entry,
                                                 const UndoLog::Outcome& outcome) {
    if (outcome.is<UndoLog::Outcome::RefusedFileChanged>() ||
        outcome.is<UndoLog::Outcome::Expired>())
        return outcome;

    // A removed item's folder is kept for the undo window; past it, putting
    // the record back without its file would leave an item that shows nothing.
    if (!m_store.item(entry.item.id) &&
        m_store.putBack(entry.item).is<ItemStore::AddResult::Failed>())
        Log::deliver().notice(QStringLiteral("undo could not put back %1: its file is gone")
                                  .arg(entry.item.displayName));
    m_preferences.countUndo();
    return outcome;
}

QFuture<UndoLog::Outcome> DeliveryCoordinator::undoLastDelivery(Date now) {
    auto promise = std::make_shared<QPromise<UndoLog::Outcome>>();
    promise->start();
    QFuture<UndoLog::Outcome> future = promise->future();
    const auto settle = [promise](const UndoLog::Outcome& outcome) {
        promise->addResult(outcome);
        promise->finish();
    };

    if (m_pendingFileWork == 0) {
        const std::optional<UndoEntry> entry = m_undoLog.mostRecent(now);
        if (!entry) {
            settle(UndoLog::Outcome::expired());
            return future;
        }
        if (!entry->wasFileTarget()) {
            settle(finishUndo(*entry, m_undoLog.undo(*entry, now)));
            return future;
        }
    }

    struct Undone {
        std::optional<UndoEntry> entry;
        UndoLog::Outcome outcome = UndoLog::Outcome::expired();
    };
    auto undone = std::make_shared<Undone>();
    UndoLog& log = m_undoLog;
    onFileWorker(
        [&log, now, undone] {
            undone->entry = log.mostRecent(now);
            if (undone->entry)
                undone->outcome = log.undo(*undone->entry, now);
        },
        [this, undone, settle] {
            settle(undone->entry ? finishUndo(*undone->entry, undone->outcome)
                                 : UndoLog::Outcome::expired());
        });
    return future;
}

std::optional<QString> DeliveryCoordinator::appName(const QString& bundleID) const {
    return m_applications.name(bundleID);
}

DragOperation DeliveryCoordinator::operation(const Modifiers& modifiers) {
    return modifiers.shift && !modifiers.option ? DragOperation::move : DragOperation::copy;
}

} // namespace tarvo
