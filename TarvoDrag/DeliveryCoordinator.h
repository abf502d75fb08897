#pragma once

#include "TarvoConvert/ConversionRequest.h"
#include "TarvoConvert/ConversionResult.h"
#include "TarvoCore/FileError.h"
#include "TarvoCore/Item.h"
#include "TarvoCore/RuleModel.h"
#include "TarvoCore/UndoLog.h"
#include "TarvoPlatform/DragOperation.h"

#include <QFuture>
#include <QString>
#include <QThreadPool>
#include <QtGlobal>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QObject;

namespace tarvo {

class ApplicationDirectory;
class Clock;
class ConversionEngine;
class ItemStore;
class Preferences;
class RuleEngine;

// Decides and records what items dragged out of the shelf deliver: the
// delivery per destination and modifier keys, the conversion request, the
// conversion with its fall-back to the unchanged item, the undo record and
// the counters, and the undo of the last delivery. Also makes the working
// folder of each drag. Main thread only.
class DeliveryCoordinator final {
public:
    // The modifier keys held when a drag was evaluated.
    struct Modifiers {
        bool option = false;
        bool control = false;
        bool command = false;
        // Shift asks the destination for a move on this desktop, where every
        // toolkit uses it so.
        bool shift = false;

        Modifiers() = default;
        Modifiers(bool option, bool control, bool command, bool shift = false)
            : option(option), control(control), command(command), shift(shift) {}
        // From modifier flags (InputState.h); every other flag is ignored.
        explicit Modifiers(quint64 flags);

        static Modifiers none() { return {}; }
        bool operator==(const Modifiers&) const = default;
    };

    struct Decision {
        Delivery delivery;
        // The rule whose delivery was chosen: its rename template applies.
        std::optional<Rule> rule;
        bool operator==(const Decision&) const = default;
    };

    // None of the collaborators is owned; all must outlive the coordinator.
    // `workRoot` is the parent of the per-drag working folders.
    DeliveryCoordinator(ItemStore& store, RuleEngine& rules, ConversionEngine& engine,
                        UndoLog& undoLog, Preferences& preferences, QString workRoot,
                        ApplicationDirectory& applications, Clock& clock);
    ~DeliveryCoordinator();
    DeliveryCoordinator(const DeliveryCoordinator&) = delete;
    DeliveryCoordinator& operator=(const DeliveryCoordinator&) = delete;

    const QString& workRoot() const { return m_workRoot; }
    // The root of the item store, which every request carries.
    const QString& containerRoot() const;

    Decision delivery(const Item& item, const ResolvedDestination& destination,
                      const Modifiers& modifiers);
    // The same answer a drop would get, for the cursor badge.
    Decision badgeContent(const Item& item, const ResolvedDestination& destination,
                          const Modifiers& modifiers);

    // A new folder below the work root. A failure to create it is ignored:
    // conversions into it then fail and the unchanged item serves.
    QString makeWorkDirectory();

    // Removes, on a worker thread, the working folders of past drags that
    // nothing was written into for ten minutes. Done at start-up and at the
    // end of every drag.
    void sweepWorkFolders();

    ConversionRequest request(const Item& item, const Delivery& delivery,
                              const std::optional<Rule>& rule, int index, int batchCount,
                              const ResolvedDestination& destination, const QString& workDirectory,
                              const std::optional<QString>& destinationURL);

    // Who counts a conversion that wrote a file: `produce` itself, or a caller
    // that shares one conversion between several reads and counts it once
    // it is delivered (`countConversion`).
    enum class Counting { atConversion, byCaller };

    // Runs the conversion; on failure logs it and produces the unchanged item
    // instead. Resolves on the main thread; with no result only when even the
    // unchanged item could not be produced.
    QFuture<std::optional<ConversionResult>> produce(const ConversionRequest& request,
                                                     Counting counting = Counting::atConversion);
    void countConversion();

    // The conversion behind data that a destination reads during a drag: run
    // like any other, off the main thread, but neither counted nor logged;
    // when it fails the stored file serves instead. Resolves on the main
    // thread; with no result for an item that has no stored file.
    QFuture<std::optional<ConversionResult>> produceData(const ConversionRequest& request);

    // Enters a finished delivery in the undo log and counts it. Every file
    // the delivery wrote is fingerprinted whole off the main thread first; the
    // returned future finishes once the entry is in the log. A file that
    // cannot be fingerprinted is left out, so undo never deletes it.
    QFuture<void> recordDelivery(const Item& item, const ResolvedDestination& destination,
                                 const std::vector<ConversionResult>& results);
    // Puts a promised file in place (PromisedFile::place) on the file worker,
    // behind every earlier piece of file work, so that neither the copy nor
    // its flush holds the main thread. Resolves on the main thread while the
    // coordinator lives: with nothing once the file is in place, or with the
    // failure. When `abandoned` is set before the file is whole, nothing is
    // left at `temporary` or `path`.
    QFuture<std::optional<FileError>>
    placePromisedFile(const ConversionResult& result, const QString& temporary, const QString& path,
                      std::shared_ptr<const std::atomic<bool>> abandoned);
    // Counts a delivery that handed the destination only a reference to a file
    // of ours, which it copied or moved where we cannot see: nothing of it can
    // be undone, and undo answers that there is nothing to undo rather than
    // undoing an older delivery in its place.
    void recordHandOver(const Item& item, const ResolvedDestination& destination);

    // Undoes the last delivery: written files are compared with their
    // fingerprints and deleted off the main thread, after every delivery
    // recorded before the call is in the log. Resolves on the main thread, at
    // once when there is no file to look at.
    QFuture<UndoLog::Outcome> undoLastDelivery(Date now);

    // The installed application's name; none for an unknown identifier.
    std::optional<QString> appName(const QString& bundleID) const;

    // Move when the move modifier is held without option; copy otherwise.
    static DragOperation operation(const Modifiers& modifiers);

private:
    // Runs `work` on the file worker, behind every earlier piece of file
    // work, then `done` on the main thread while this coordinator lives.
    void onFileWorker(std::function<void()> work, std::function<void()> done);
    UndoLog::Outcome finishUndo(const UndoEntry& entry, const UndoLog::Outcome& outcome);

    ItemStore& m_store;
    RuleEngine& m_rules;
    ConversionEngine& m_engine;
    UndoLog& m_undoLog;
    Preferences& m_preferences;
    QString m_workRoot;
    ApplicationDirectory& m_applications;
    Clock& m_clock;
    // Where conversion results are handed back: the main thread.
    std::unique_ptr<QObject> m_context;
    // Fingerprints and undos, one at a time in the order asked, so an undo
    // always sees every delivery recorded before it.
    std::unique_ptr<QThreadPool> m_fileWork;
    int m_pendingFileWork = 0;
};

} // namespace tarvo
