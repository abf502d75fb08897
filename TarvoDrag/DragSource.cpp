#include "DragSource.h"

#include "DestinationResolver.h"
#include "DragData.h"
#include "DragSourceDelegate.h"
#include "PromisedFile.h"

#include "TarvoConvert/ConversionEngine.h"
#include "TarvoConvert/ConversionError.h"
#include "TarvoCore/AtomicFile.h"
#include "TarvoCore/FileError.h"
#include "TarvoCore/Files.h"
#include "TarvoCore/Json.h"
#include "TarvoCore/Log.h"
#include "TarvoCore/UniformType.h"
#include "TarvoPlatform/Clock.h"
#include "TarvoPlatform/InputState.h"
#include "TarvoPlatform/TypeMapping.h"

#include <QDir>
#include <QFileInfo>
#include <QObject>

#include <algorithm>
#include <utility>

namespace tarvo {

namespace {

QStringList withoutType(QStringList order, const std::optional<QString>& type) {
    if (type)
        order.removeAll(*type);
    return order;
}

QString noPayloadText() {
    return ConversionError::noPayload().description();
}

} // namespace

DragSource::DragSource(std::vector<Item> items, DeliveryCoordinator& coordinator,
                       DestinationResolver& resolver, DeliveryCoordinator::Modifiers modifiers,
                       Platform platform)
    : m_items(std::move(items)), m_modifiers(modifiers), m_coordinator(coordinator),
      m_resolver(resolver), m_platform(std::move(platform)),
      m_workDirectory(coordinator.makeWorkDirectory()), m_context(std::make_unique<QObject>()) {}

DragSource::~DragSource() {
    *m_alive = false;
    m_abandoned->store(true);
    if (m_endedWith && !m_endCleanedUp)
        finishEnd();
    detachFromPasteboard();
    releaseSession();
}

std::vector<QUuid> DragSource::draggedItemIDs() const {
    std::vector<QUuid> ids;
    ids.reserve(m_items.size());
    for (const Item& item : m_items)
        ids.push_back(item.id);
    return ids;
}

QString DragSource::fileType(const Item& item) {
    const std::optional<QString> name = item.payload.fileName();
    if (!name)
        return QStringLiteral("public.plain-text");
    const QString extension = QFileInfo(*name).suffix().toLower();
    const std::optional<QMimeType> mime =
        extension.isEmpty() ? std::nullopt : UniformType::forFilenameExtension(extension);
    if (!mime || !mime->isValid())
        return QStringLiteral("public.data");
    // The shelf's own identifier where it has one, else the desktop's name.
    const QStringList identifiers = TypeMapping::identifiers(mime->name());
    if (!identifiers.isEmpty() && identifiers.front() != TypeIdentifier::image)
        return identifiers.front();
    return mime->name();
}

std::optional<QString> DragSource::promiseType(const FilePromiseProvider& provider) {
    const QStringList types = provider.writableTypes();
    if (types.isEmpty())
        return std::nullopt;
    return types.front();
}

QStringList DragSource::offeredTypes(const Item& item, const QStringList& order,
                                     const Delivery& delivery,
                                     const std::optional<QString>& promiseType) const {
    // The promise type is the provider's to write, never the item's.
    QStringList offered = withoutType(
        DragData::offeredTypes(order, item, delivery, m_coordinator.containerRoot()), promiseType);
    // A file manager takes files only: text reaches it as a text file. Other
    // programs get the text itself, which they would not if they saw a file.
    if (m_destination.category == AppCategory::finder &&
        ConversionEngine::answersWithText(item, delivery) &&
        !offered.contains(TypeIdentifier::fileURL) && order.contains(TypeIdentifier::fileURL))
        offered.append(QString(TypeIdentifier::fileURL));
    return offered;
}

std::shared_ptr<PasteboardItem> DragSource::makePasteboardItem(const QStringList& types) {
    auto item = std::make_shared<PasteboardItem>();
    item->setDataProvider(this, types);
    return item;
}

std::vector<DraggingItem> DragSource::makeDraggingItems(QPointF point,
                                                        const ImageProvider& imageProvider) {
    std::vector<DraggingItem> dragging;
    for (const Item& item : m_items) {
        auto provider = std::make_shared<FilePromiseProvider>(fileType(item), this);
        provider->setUserInfo(json::uuidText(item.id));
        m_promiseProviders[item.id] = provider;
        const std::optional<QString> promise = promiseType(*provider);

        std::shared_ptr<PasteboardItem> pasteboardItem = makePasteboardItem(offeredTypes(
            item, PasteboardOrder::defaultOrder(promise), Delivery::original(), promise));
        m_pasteboardItems.push_back(pasteboardItem);

        const std::optional<QImage> image = imageProvider ? imageProvider(item) : std::nullopt;
        const bool hasImage = image && image->width() > 0 && image->height() > 0;
        const QSizeF size = hasImage ? image->deviceIndependentSize() : QSizeF(44, 44);
        const QRectF frame(point, size);
        dragging.push_back({pasteboardItem, frame, hasImage ? *image : QImage()});
        dragging.push_back({provider, frame, QImage()});
    }
    return dragging;
}

void DragSource::beginSession(QPointF pointInView, const ImageProvider& imageProvider) {
    std::vector<DraggingItem> dragging = makeDraggingItems(pointInView, imageProvider);
    if (dragging.empty())
        return;
    m_session = m_platform.sessions.beginDraggingSession(std::move(dragging), *this);
    if (m_session) {
        const auto first = m_promiseProviders.find(m_items.front().id);
        m_session->draggingPasteboard().setOrder(PasteboardOrder::defaultOrder(
            first != m_promiseProviders.end() ? promiseType(*first->second) : std::nullopt));
    }
}

DragOperationMask DragSource::sourceOperationMask(DraggingContext context) {
    if (context == DraggingContext::withinApplication)
        return operationMask(DragOperation::copy) | operationMask(DragOperation::move);
    return operationMask(DeliveryCoordinator::operation(m_modifiers));
}

void DragSource::draggingMoved(QPointF screenPoint) {
    m_modifiers = DeliveryCoordinator::Modifiers(m_platform.input.modifierFlags());
    if (m_delegate)
        m_delegate->dragSource(*this, screenPoint);

    const std::vector<Rect> screens =
        m_platform.screenFrames ? m_platform.screenFrames() : std::vector<Rect>();
    const Point q =
        DestinationResolver::flippedPoint(Point{screenPoint.x(), screenPoint.y()}, screens);
    const ResolvedDestination resolved = m_resolver.resolve(q, m_platform.clock.now());
    if (m_items.empty())
        return;

    const Delivery delivery =
        m_coordinator.delivery(m_items.front(), resolved, m_modifiers).delivery;
    if (resolved == m_destination && delivery == m_currentDelivery)
        return;
    if (!(resolved == m_destination))
        m_handedOver.clear(); // what another destination read is not this one's delivery
    m_destination = resolved;
    m_currentDelivery = delivery;
    applyOrder(delivery);
    if (m_delegate)
        m_delegate->dragSource(*this, resolved, delivery);
}

void DragSource::applyOrder(const Delivery& delivery) {
    if (m_strategy == PasteboardOrderStrategy::fixed || m_items.empty() || !m_session)
        return;
    const auto first = m_promiseProviders.find(m_items.front().id);
    const std::optional<QString> promise =
        first != m_promiseProviders.end() ? promiseType(*first->second) : std::nullopt;
    const QStringList order = PasteboardOrder::types(delivery, promise);
    // The same order may still offer other types: a path is text where the
    // unchanged item is a file.
    std::vector<QStringList> offered;
    offered.reserve(m_items.size());
    for (const Item& item : m_items)
        offered.push_back(offeredTypes(item, order, delivery, promise));
    if (order == m_lastOrder && offered == m_lastOffered)
        return;

    std::vector<std::shared_ptr<PasteboardItem>> fresh;
    fresh.reserve(m_items.size());
    for (const QStringList& types : offered)
        fresh.push_back(makePasteboardItem(types));

    std::vector<PasteboardWriter> writers(fresh.begin(), fresh.end());
    if (promise && order.contains(*promise)) {
        for (const Item& item : m_items) {
            if (const auto it = m_promiseProviders.find(item.id); it != m_promiseProviders.end())
                writers.emplace_back(it->second);
        }
    }

    if (PasteboardOrder::rewrite(m_session->draggingPasteboard(), writers)) {
        m_session->draggingPasteboard().setOrder(order);
        m_pasteboardItems = std::move(fresh);
        m_lastOrder = order;
        m_lastOffered = std::move(offered);
        return;
    }
    Log::drag().notice(
        QStringLiteral("pasteboard reorder refused; falling back to the fixed order"));
    m_strategy = PasteboardOrderStrategy::fixed;
    // The drag goes on with what the refused write left on the pasteboard:
    // items of ours that are there still answer, or nothing could be
    // delivered for the rest of the drag.
    const std::vector<std::shared_ptr<PasteboardItem>> left =
        m_session->draggingPasteboard().items();
    if (!left.empty() && left == fresh)
        m_pasteboardItems = std::move(fresh);
}

void DragSource::draggingScrolled(QPointF screenPoint, double lines) {
    if (m_delegate)
        m_delegate->dragSourceScrolled(*this, screenPoint, lines);
}

void DragSource::draggingTargetChanged(bool takesDrops) {
    if (takesDrops == m_targetTakesDrops)
        return;
    m_targetTakesDrops = takesDrops;
    if (m_delegate)
        m_delegate->dragSourceTargetChanged(*this, takesDrops);
}

void DragSource::draggingEnded(QPointF screenPoint, DragOperation operation) {
    m_endedWith = operation;
    m_endedAt = screenPoint;
    // A promise the target accepted is kept: the end is told once every
    // promised file is settled, since whoever hears it may drop this source
    // and the session that answers the target with it.
    if (m_outstandingPromises > 0)
        return;
    reportEnd();
}

void DragSource::reportEnd() {
    if (*m_endedWith != DragOperation::none)
        recordHandedOver();
    const std::weak_ptr<bool> alive = m_alive;
    if (m_delegate)
        m_delegate->dragSourceDidEnd(*this, m_endedAt, *m_endedWith);
    // The delegate may have dropped this object; its destructor then cleaned up.
    if (alive.expired())
        return;
    finishEnd();
}

void DragSource::promiseSettled() {
    --m_outstandingPromises;
    // Last: the delegate may drop this object on hearing the end.
    if (m_outstandingPromises == 0 && m_endedWith && !m_endCleanedUp)
        reportEnd();
}

void DragSource::recordHandedOver() {
    // A file the target saved itself already stands for this drag's delivery.
    if (m_promiseRecorded)
        return;
    // A target may read an item in several types: each item is one delivery.
    std::vector<QUuid> order;
    std::map<QUuid, std::vector<const HandedOver*>> byItem;
    for (const HandedOver& handed : m_handedOver) {
        if (m_results.isRecorded(handed.key))
            continue;
        if (!byItem.contains(handed.item.id))
            order.push_back(handed.item.id);
        byItem[handed.item.id].push_back(&handed);
    }
    for (const QUuid& id : order) {
        const std::vector<const HandedOver*>& reads = byItem[id];
        bool byAddress = false;
        bool byData = false;
        bool converted = false;
        for (const HandedOver* handed : reads) {
            m_results.markRecorded(handed->key);
            byAddress = byAddress || handed->byAddress;
            byData = byData || !handed->byAddress;
            converted = converted || handed->result.is<ConversionResult::File>();
        }
        if (converted)
            m_coordinator.countConversion();
        const Item& item = reads.front()->item;
        // Where the delivery is text, the text read is what the target got;
        // a file address it also asked for is not the delivery.
        const bool inserted = byData && ConversionEngine::answersWithText(item, delivery());
        if (byAddress && !inserted) {
            m_coordinator.recordHandOver(item, m_destination);
        } else {
            // Inserted or pasted: nothing of ours was written where undo
            // could take it back, but the delivery is undoable all the same
            // (the item comes back to the shelf).
            m_coordinator.recordDelivery(item, m_destination, {});
        }
    }
    m_handedOver.clear();
}

void DragSource::noteHandedOver(const ConversionCache::Key& key, const Item& item,
                                const ConversionCache::Answer& answer, bool byAddress) {
    if (!answer)
        return;
    const bool known = std::any_of(m_handedOver.begin(), m_handedOver.end(),
                                   [&key](const HandedOver& handed) { return handed.key == key; });
    if (!known)
        m_handedOver.push_back({key, item, *answer, byAddress});
}

void DragSource::finishEnd() {
    m_endCleanedUp = true;
    if (m_endedWith == DragOperation::none)
        Files::removeRecursively(m_workDirectory);
    m_coordinator.sweepWorkFolders();
    m_resolver.invalidate();
    releaseSession();
}

void DragSource::releaseSession() {
    // Sessions report their end from the event loop, never from inside
    // themselves: this may be where the session goes.
    m_session.reset();
}

void DragSource::detachFromPasteboard() {
    for (const std::shared_ptr<PasteboardItem>& item : m_pasteboardItems)
        item->detachProvider();
    for (const auto& [id, provider] : m_promiseProviders)
        provider->detachDelegate();
    if (m_session) {
        // Items of a refused rewrite are on the pasteboard but not in the list.
        for (const std::shared_ptr<PasteboardItem>& item : m_session->draggingPasteboard().items())
            item->detachProvider();
    }
}

std::optional<Rule> DragSource::ruleFor(const Item& item) {
    return m_coordinator.delivery(item, m_destination, m_modifiers).rule;
}

std::optional<Item> DragSource::itemFor(const FilePromiseProvider& provider) const {
    if (!provider.userInfo())
        return std::nullopt;
    const QUuid id = QUuid::fromString(*provider.userInfo());
    if (id.isNull())
        return std::nullopt;
    for (const Item& item : m_items) {
        if (item.id == id)
            return item;
    }
    return std::nullopt;
}

int DragSource::positionOf(const Item& item) const {
    for (std::size_t i = 0; i < m_items.size(); ++i) {
        if (m_items[i].id == item.id)
            return static_cast<int>(i);
    }
    return 0;
}

Delivery DragSource::delivery() const {
    return m_originalsChosen ? Delivery::original() : m_currentDelivery;
}

void DragSource::whenBatchAnswered(std::function<void()> next) {
    if (m_batchAnswer == BatchAnswer::answered || !m_batchQuestion || m_items.size() < 2) {
        next();
        return;
    }
    m_awaitingBatchAnswer.push_back(std::move(next));
    if (m_batchAnswer == BatchAnswer::asking)
        return;
    m_batchAnswer = BatchAnswer::asking;
    const std::optional<Rule> rule = ruleFor(m_items.front());
    const std::weak_ptr<bool> alive = m_alive;
    const bool asked = m_batchQuestion(
        static_cast<int>(m_items.size()), m_currentDelivery, rule ? rule->rename : std::nullopt,
        [this, alive](bool convert) {
            if (alive.expired() || m_batchAnswer == BatchAnswer::answered)
                return;
            m_batchAnswer = BatchAnswer::answered;
            m_originalsChosen = !convert;
            Log::drag().notice(convert ? QStringLiteral("batch goes out converted")
                                       : QStringLiteral("batch goes out as originals"));
            for (std::function<void()>& waiting : std::exchange(m_awaitingBatchAnswer, {}))
                waiting();
        });
    if (!asked) {
        m_batchAnswer = BatchAnswer::answered;
        for (std::function<void()>& waiting : std::exchange(m_awaitingBatchAnswer, {}))
            waiting();
    }
}

ConversionRequest DragSource::fileRequest(const Item& item,
                                          const std::optional<QString>& destinationURL) {
    if (m_originalsChosen)
        return m_coordinator.request(item, Delivery::original(), std::nullopt, positionOf(item),
                                     static_cast<int>(m_items.size()), m_destination,
                                     m_workDirectory, destinationURL);
    return m_coordinator.request(item, m_currentDelivery, ruleFor(item), positionOf(item),
                                 static_cast<int>(m_items.size()), m_destination, m_workDirectory,
                                 destinationURL);
}

void DragSource::provideData(PasteboardItem& pasteboardItem, const QString& type, DataRequestPhase,
                             std::function<void()> done) {
    std::optional<std::size_t> index;
    for (std::size_t i = 0; i < m_pasteboardItems.size(); ++i) {
        if (m_pasteboardItems[i].get() == &pasteboardItem) {
            index = i;
            break;
        }
    }
    if (!index || *index >= m_items.size()) {
        done();
        return;
    }
    const Item item = m_items[*index];
    const QString root = m_coordinator.containerRoot();
    const std::weak_ptr<PasteboardItem> target = pasteboardItem.weak_from_this();
    // A file's path as text is a quoted word for a command line.
    const bool quotedPath =
        m_currentDelivery.is<Delivery::Path>() && item.payloadURL(root).has_value();
    ResultHandler answer = [target, type, item, root, quotedPath,
                            done = std::move(done)](const std::optional<ConversionResult>& result) {
        if (const std::shared_ptr<PasteboardItem> x = target.lock()) {
            if (std::optional<PasteboardData> data = DragData::forType(type, item, result, root)) {
                if (quotedPath && result && result->is<ConversionResult::Text>())
                    data->shellWord = true;
                x->setData(*data, type);
            }
        }
        done();
    };

    if (!DragData::needsConversion(type)) {
        // A link or rich text read as it is stored is delivered all the same.
        if (DragData::forType(type, item, std::nullopt, root))
            noteHandedOver(ConversionCache::Key::of(dataRequest(item, static_cast<int>(*index))),
                           item, ConversionResult::text(QString()), false);
        answer(std::nullopt);
        return;
    }
    whenBatchAnswered(
        [this, item, type, index = static_cast<int>(*index), answer = std::move(answer)]() mutable {
            if (type == TypeIdentifier::fileURL) {
                fileURIResult(item, std::move(answer));
                return;
            }
            dataResult(item, index, std::move(answer));
        });
}

ConversionRequest DragSource::dataRequest(const Item& item, int index) {
    // Data requests never apply a rename template: no rule goes into the request.
    return m_coordinator.request(item, delivery(), std::nullopt, index,
                                 static_cast<int>(m_items.size()), m_destination, m_workDirectory,
                                 std::nullopt);
}

void DragSource::dataResult(const Item& item, int index, ResultHandler handler) {
    const ConversionRequest request = dataRequest(item, index);
    const ConversionCache::Key key = ConversionCache::Key::of(request);
    const std::weak_ptr<bool> alive = m_alive;
    // Counted once the target finishes the drop as taken.
    ConversionCache::Waiter waiter = [this, alive, key, item, handler = std::move(handler)](
                                         const ConversionCache::Answer& answer) {
        if (!alive.expired())
            noteHandedOver(key, item, answer, false);
        handler(answer);
    };
    if (const std::optional<ConversionCache::Answer> known = m_results.finished(key)) {
        waiter(*known);
        return;
    }
    if (m_results.isConverting(key)) {
        m_results.wait(key, std::move(waiter));
        return;
    }

    // The destination waits for its answer; the drag, the event loop and the
    // shelf do not wait for the conversion.
    m_results.begin(key);
    m_results.wait(key, std::move(waiter));
    m_coordinator.produceData(request).then(
        m_context.get(), [this, alive, key](const std::optional<ConversionResult>& result) {
            if (!alive.expired())
                m_results.finish(key, result);
        });
}

void DragSource::fileURIResult(const Item& item, ResultHandler handler) {
    // A destination that takes the file itself gets what a promised file would
    // be: named by the rule and converted through the coordinator. It copies
    // or moves the file where we cannot follow, so the delivery is counted
    // when the drop is taken but offered to no undo.
    const ConversionRequest request = fileRequest(item, std::nullopt);
    const ConversionCache::Key key = ConversionCache::Key::of(request);
    const std::weak_ptr<bool> alive = m_alive;
    // Counted once the target finishes the drop as taken, whenever it read,
    // and whichever read made the conversion.
    ConversionCache::Waiter waiter = [this, alive, key, item, handler = std::move(handler)](
                                         const ConversionCache::Answer& answer) {
        if (!alive.expired() && answer && answer->url().has_value())
            noteHandedOver(key, item, answer, true);
        handler(answer);
    };

    if (m_results.finished(key) || m_results.isConverting(key)) {
        m_results.wait(key, std::move(waiter));
        return;
    }
    m_results.begin(key);
    m_results.wait(key, std::move(waiter));
    // A text answer asked for as a file is handed over as a text file of its
    // own in the drag's folder, named as a promised file would be.
    const QString textFile =
        QDir(m_workDirectory)
            .filePath(json::uuidText(item.id) + u'/' +
                      DragData::textFileName(ConversionEngine::fileName(request)));
    m_coordinator.produce(request, DeliveryCoordinator::Counting::byCaller)
        .then(m_context.get(),
              [this, alive, key, textFile](std::optional<ConversionResult> result) {
                  if (alive.expired())
                      return;
                  if (const auto* text = result ? result->as<ConversionResult::Text>() : nullptr)
                      result = writeTextFile(text->text, textFile);
                  m_results.finish(key, result);
              });
}

std::optional<ConversionResult> DragSource::writeTextFile(const QString& text,
                                                          const QString& path) {
    try {
        if (!QFileInfo::exists(path)) {
            QDir().mkpath(QFileInfo(path).path());
            AtomicFile::write(text.toUtf8(), path);
        }
        return ConversionResult::file(path);
    } catch (const FileError& error) {
        Log::drag().error(
            QStringLiteral("could not write the text file: %1").arg(error.description()));
        return std::nullopt;
    }
}

QString DragSource::fileName(FilePromiseProvider& provider, const QString&) {
    const std::optional<Item> item = itemFor(provider);
    if (!item)
        return QStringLiteral("File");
    const QString name = ConversionEngine::fileName(fileRequest(*item, std::nullopt));
    // What is written for a text answer is a plain-text file.
    return ConversionEngine::answersWithText(*item, m_currentDelivery)
               ? DragData::textFileName(name)
               : name;
}

void DragSource::writePromise(FilePromiseProvider& provider, const QString& path,
                              Completion completion) {
    const std::optional<Item> item = itemFor(provider);
    if (!item) {
        completion(noPayloadText());
        return;
    }
    // The end waits for this promise from now on, even while the batch
    // question is open.
    ++m_outstandingPromises;
    whenBatchAnswered([this, item = *item, path, completion = std::move(completion)] {
        writeAnsweredPromise(item, path, completion);
    });
}

void DragSource::writeAnsweredPromise(const Item& answered, const QString& path,
                                      const Completion& completion) {
    const std::optional<Item> item = answered;
    // Made under a hidden name beside the promised place and renamed into it
    // once whole, never over anything there.
    const QString temporary = PromisedFile::temporaryPath(path);
    const ConversionRequest request = fileRequest(*item, temporary);
    const std::weak_ptr<bool> alive = m_alive;
    // Run where the production settles, whether or not this source is still
    // there: a conversion whose drag is gone leaves nothing in the target's
    // folder.
    m_coordinator.produce(request)
        .then(QtFuture::Launch::Sync,
              [this, alive, item = *item, path, temporary,
               completion](const std::optional<ConversionResult>& result) {
                  if (alive.expired()) {
                      Files::removeRecursively(temporary);
                      completion(QStringLiteral("the drag is over"));
                      return;
                  }
                  if (!result) {
                      Files::removeRecursively(temporary);
                      completion(noPayloadText());
                      promiseSettled();
                      return;
                  }
                  placePromise(item, *result, temporary, path, completion);
              })
        .onCanceled([temporary] { Files::removeRecursively(temporary); });
}

void DragSource::placePromise(const Item& item, const ConversionResult& result,
                              const QString& temporary, const QString& path,
                              const Completion& completion) {
    // The copy and its flush run on the coordinator's file worker; this
    // source hears back on the main thread, and only while it lives.
    const std::weak_ptr<bool> alive = m_alive;
    m_coordinator.placePromisedFile(result, temporary, path, m_abandoned)
        .then(QtFuture::Launch::Sync,
              [this, alive, item, path, completion](const std::optional<FileError>& failure) {
                  if (alive.expired()) {
                      // Gone once the file was in place: it goes too, as the
                      // target hears that nothing came.
                      if (!failure)
                          Files::removeRecursively(path);
                      completion(QStringLiteral("the drag is over"));
                      return;
                  }
                  if (failure) {
                      Log::drag().error(QStringLiteral("could not write promised file: %1")
                                            .arg(failure->description()));
                      completion(failure->description());
                      promiseSettled();
                      return;
                  }
                  m_coordinator.recordDelivery(item, m_destination, {ConversionResult::file(path)});
                  m_promiseRecorded = true;
                  if (m_delegate)
                      m_delegate->dragSource(*this, QFileInfo(path).path());
                  completion(std::nullopt);
                  promiseSettled();
              });
}

} // namespace tarvo
