#pragma once

#include "ConversionCache.h"
#include "DeliveryCoordinator.h"
#include "PasteboardOrder.h"
#include "TarvoDragSourceMarker.h"

#include "Rect.h"
#include "TarvoCore/Item.h"
#include "TarvoCore/RuleModel.h"
#include "TarvoPlatform/DragSession.h"
#include "TarvoPlatform/FilePromiseProvider.h"
#include "TarvoPlatform/PasteboardItem.h"

#include <QImage>
#include <QPointF>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

class QObject;

namespace tarvo {

class Clock;
class DestinationResolver;
class DragSourceDelegate;
class InputState;

// Runs one drag of shelf items out of the shelf. Each item goes on the drag
// pasteboard twice: as a pasteboard item whose data is made when a
// destination reads it, and as a file promise. At every pointer move the
// destination under the pointer decides the delivery; when the destination
// or the delivery changes, the pasteboard is rewritten into that delivery's
// type order and the delegate is told. Destinations that read data get the
// item converted for the current delivery; one that takes the file itself
// gets it through the coordinator, recorded for undo. Lives for one drag and
// owns its working folder. Main thread only.
class DragSource final : public DraggingSource,
                         public PasteboardItemDataProvider,
                         public FilePromiseProviderDelegate,
                         public TarvoDragSourceMarker {
public:
    using ImageProvider = std::function<std::optional<QImage>(const Item&)>;
    // The screens' frames in screen space (y upwards), the primary one first.
    using ScreenFrames = std::function<std::vector<Rect>()>;

    // The window system's side of a drag. Nothing here is owned.
    struct Platform {
        DragSessions& sessions;
        InputState& input;
        Clock& clock;
        ScreenFrames screenFrames;
    };

    // Makes the drag's working folder through the coordinator. The
    // coordinator, the resolver and the platform must outlive the source.
    DragSource(std::vector<Item> items, DeliveryCoordinator& coordinator,
               DestinationResolver& resolver, DeliveryCoordinator::Modifiers modifiers,
               Platform platform);
    ~DragSource() override;
    DragSource(const DragSource&) = delete;
    DragSource& operator=(const DragSource&) = delete;

    DragSourceDelegate* delegate() const { return m_delegate; }
    void setDelegate(DragSourceDelegate* delegate) { m_delegate = delegate; }

    const std::vector<Item>& items() const { return m_items; }
    PasteboardOrderStrategy strategy() const { return m_strategy; }
    const ResolvedDestination& destination() const { return m_destination; }
    const Delivery& currentDelivery() const { return m_currentDelivery; }
    const DeliveryCoordinator::Modifiers& modifiers() const { return m_modifiers; }
    bool sessionActive() const { return m_session != nullptr; }
    const QString& workDirectory() const { return m_workDirectory; }
    const std::vector<std::shared_ptr<PasteboardItem>>& pasteboardItems() const {
        return m_pasteboardItems;
    }
    const std::map<QUuid, std::shared_ptr<FilePromiseProvider>>& promiseProviders() const {
        return m_promiseProviders;
    }
    const QStringList& lastOrder() const { return m_lastOrder; }

    // Asked once per drag, before the first conversion of two items or
    // more, whether they go out converted (`answer(true)`) or as they are
    // (`answer(false)`); returns false, answering nothing, when the delivery
    // needs no question. `rename` is the rule's rename template.
    using BatchQuestion = std::function<bool(int itemCount, const Delivery& delivery,
                                             const std::optional<QString>& rename,
                                             std::function<void(bool convert)> answer)>;
    void setBatchQuestion(BatchQuestion question) { m_batchQuestion = std::move(question); }
    // Whether the user chose the originals for the rest of this drag.
    bool deliversOriginals() const { return m_originalsChosen; }

    bool isTarvoSource() const override { return true; }
    std::vector<QUuid> draggedItemIDs() const override;

    // Starts the drag with the pointer at `pointInView`, the origin of every
    // dragging item's frame. The session stays absent when no drag started.
    void beginSession(QPointF pointInView, const ImageProvider& imageProvider);
    // Two dragging items per item: its pasteboard item, then its promise.
    std::vector<DraggingItem> makeDraggingItems(QPointF point, const ImageProvider& imageProvider);
    // The content type an item's promised file has.
    static QString fileType(const Item& item);

    DragOperationMask sourceOperationMask(DraggingContext context) override;
    void draggingMoved(QPointF screenPoint) override;
    void draggingEnded(QPointF screenPoint, DragOperation operation) override;
    void draggingScrolled(QPointF screenPoint, double lines) override;
    void draggingTargetChanged(bool takesDrops) override;
    // Whether the window under the pointer takes drops at all.
    bool targetTakesDrops() const { return m_targetTakesDrops; }
    // The window system may change the offered operation for held keys.
    bool ignoreModifierKeys() const { return false; }

    void provideData(PasteboardItem& item, const QString& type, DataRequestPhase phase,
                     std::function<void()> done) override;
    QString fileName(FilePromiseProvider& provider, const QString& fileType) override;
    void writePromise(FilePromiseProvider& provider, const QString& path,
                      Completion completion) override;

private:
    using ResultHandler = std::function<void(const std::optional<ConversionResult>&)>;

    void applyOrder(const Delivery& delivery);
    // Runs `next` once the batch question is answered or not needed.
    void whenBatchAnswered(std::function<void()> next);
    // The delivery conversions follow: the originals once the user chose them.
    Delivery delivery() const;
    static std::optional<QString> promiseType(const FilePromiseProvider& provider);
    // The types of `order` the item answers under `delivery`, without the
    // promise's.
    QStringList offeredTypes(const Item& item, const QStringList& order, const Delivery& delivery,
                             const std::optional<QString>& promiseType) const;
    std::shared_ptr<PasteboardItem> makePasteboardItem(const QStringList& types);
    // Records, once per item, what the destination that took the drop read.
    void recordHandedOver();
    // Keeps what a read of `key` answered for the record of the drop.
    void noteHandedOver(const ConversionCache::Key& key, const Item& item,
                        const ConversionCache::Answer& answer, bool byAddress);
    std::optional<Rule> ruleFor(const Item& item);
    std::optional<Item> itemFor(const FilePromiseProvider& provider) const;
    int positionOf(const Item& item) const;
    ConversionRequest fileRequest(const Item& item, const std::optional<QString>& destinationURL);
    ConversionRequest dataRequest(const Item& item, int index);
    void dataResult(const Item& item, int index, ResultHandler handler);
    // Puts a promised file in place off the main thread, then records it.
    void placePromise(const Item& item, const ConversionResult& result, const QString& temporary,
                      const QString& path, const Completion& completion);
    void fileURIResult(const Item& item, ResultHandler handler);
    // The text as a file at `path` (kept when one is there already); none when
    // it cannot be written.
    static std::optional<ConversionResult> writeTextFile(const QString& text, const QString& path);
    void writeAnsweredPromise(const Item& item, const QString& path, const Completion& completion);
    // Tells the delegate how the drag ended, then cleans up.
    void reportEnd();
    // One promise answered; the end is reported once the last one is.
    void promiseSettled();
    void finishEnd();
    void detachFromPasteboard();
    void releaseSession();

    DragSourceDelegate* m_delegate = nullptr;
    std::vector<Item> m_items;
    PasteboardOrderStrategy m_strategy = PasteboardOrderStrategy::rewrite;
    ResolvedDestination m_destination = ResolvedDestination::unknown();
    Delivery m_currentDelivery = Delivery::original();
    BatchQuestion m_batchQuestion;
    enum class BatchAnswer { unasked, asking, answered };
    BatchAnswer m_batchAnswer = BatchAnswer::unasked;
    bool m_originalsChosen = false;
    std::vector<std::function<void()>> m_awaitingBatchAnswer;
    DeliveryCoordinator::Modifiers m_modifiers;
    DeliveryCoordinator& m_coordinator;
    DestinationResolver& m_resolver;
    Platform m_platform;
    QString m_workDirectory;
    std::vector<std::shared_ptr<PasteboardItem>> m_pasteboardItems;
    std::map<QUuid, std::shared_ptr<FilePromiseProvider>> m_promiseProviders;
    QStringList m_lastOrder;
    // What each pasteboard item offered at the last successful rewrite.
    std::vector<QStringList> m_lastOffered;
    std::unique_ptr<DragSession> m_session;

    ConversionCache m_results;
    // What the destination read since it last changed, recorded once the
    // drop is finished as taken: files by address, or data it inserts.
    struct HandedOver {
        ConversionCache::Key key;
        Item item;
        ConversionResult result;
        // A file's address: the destination copies the file where we cannot
        // follow. Otherwise it was given the data itself.
        bool byAddress = true;
    };
    std::vector<HandedOver> m_handedOver;
    bool m_promiseRecorded = false;
    bool m_targetTakesDrops = true;
    // How and where the drag ended, once it has; cleaned up after the
    // delegate heard it, which waits for the promises still being written.
    std::optional<DragOperation> m_endedWith;
    QPointF m_endedAt;
    int m_outstandingPromises = 0;
    bool m_endCleanedUp = false;
    // Conversion results come back here, on the main thread, and only while
    // this object lives.
    std::unique_ptr<QObject> m_context;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    // Set when this source goes, for promised files being placed on a worker.
    std::shared_ptr<std::atomic<bool>> m_abandoned = std::make_shared<std::atomic<bool>>(false);
};

} // namespace tarvo
