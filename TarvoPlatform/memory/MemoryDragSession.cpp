#include "MemoryDragSession.h"

#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <memory>

namespace tarvo {

namespace {

// Runs the event loop until `start` has called the answer it was given. A
// writer that never answers gives up after a generous while rather than hang
// the test run; an answer after that finds nothing to wake.
struct Wait {
    bool done = false;
    QEventLoop* loop = nullptr;
};

void waitFor(const std::function<void(std::function<void()>)>& start) {
    auto wait = std::make_shared<Wait>();
    start([wait] {
        wait->done = true;
        if (wait->loop)
            wait->loop->quit();
    });
    if (wait->done)
        return;
    QEventLoop loop;
    wait->loop = &loop;
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    loop.exec();
    wait->loop = nullptr;
}

} // namespace

MemoryDragSession::MemoryDragSession(MemoryDragSessions& owner, std::vector<DraggingItem> items,
                                     DraggingSource& source)
    : m_owner(owner), m_items(std::move(items)), m_source(source) {
    std::vector<PasteboardWriter> writers;
    for (const DraggingItem& item : m_items)
        writers.push_back(item.writer);
    m_pasteboard.writeObjects(writers);
    m_owner.m_current = this;
}

MemoryDragSession::~MemoryDragSession() {
    if (m_owner.m_current == this)
        m_owner.m_current = nullptr;
}

DragOperationMask MemoryDragSession::moveTo(QPointF screenPoint, std::optional<QString> target,
                                            DraggingContext context) {
    m_source.draggingMoved(screenPoint);
    const bool changedUnderTarget =
        m_target && target == m_target && m_pasteboard.changeCount() != m_toldChangeCount;
    if (m_target && (target != m_target || changedUnderTarget))
        m_messages.push_back({Message::Kind::leave, *m_target, {}});
    if (target && (target != m_target || changedUnderTarget)) {
        m_messages.push_back(
            {Message::Kind::enter, *target, m_pasteboard.orderedTypes().value_or(QStringList())});
        m_toldChangeCount = m_pasteboard.changeCount();
    }
    m_target = std::move(target);
    const DragOperationMask offered = m_source.sourceOperationMask(context);
    // Over a window of this process: its own drop target hears of the drag,
    // and of its leaving.
    LocalDropTarget* local = m_owner.localDropTarget();
    const bool overOwnWindow = context == DraggingContext::withinApplication;
    if (local && overOwnWindow)
        local->draggingUpdated(LocalDrag{screenPoint, offered, m_pasteboard, m_source});
    else if (local && m_overOwnWindow)
        local->draggingExited();
    m_overOwnWindow = overOwnWindow;
    return offered;
}

void MemoryDragSession::requestData(std::size_t index, const QString& type, DataRequestPhase phase,
                                    std::function<void(std::optional<PasteboardData>)> answer) {
    const auto items = m_pasteboard.items();
    if (index >= items.size()) {
        answer(std::nullopt);
        return;
    }
    // The pasteboard keeps its item alive while the request runs.
    std::shared_ptr<PasteboardItem> item = items[index];
    item->request(type, phase, std::move(answer));
}

std::optional<PasteboardData> MemoryDragSession::requestData(std::size_t index, const QString& type,
                                                             DataRequestPhase phase) {
    auto result = std::make_shared<std::optional<PasteboardData>>();
    waitFor([&](std::function<void()> finished) {
        requestData(index, type, phase, [result, finished](std::optional<PasteboardData> data) {
            *result = std::move(data);
            finished();
        });
    });
    return *result;
}

std::optional<QByteArray> MemoryDragSession::bytes(const std::optional<PasteboardData>& data) {
    if (!data)
        return std::nullopt;
    if (!data->file)
        return data->bytes;
    QFile file(*data->file);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

QString MemoryDragSession::promisedFileName(std::size_t index) {
    const auto promises = m_pasteboard.promises();
    if (index >= promises.size())
        return {};
    return promises[index]->fileName();
}

void MemoryDragSession::writePromise(std::size_t index, const QString& path,
                                     FilePromiseProviderDelegate::Completion completion) {
    const auto promises = m_pasteboard.promises();
    if (index >= promises.size()) {
        completion(QStringLiteral("no such promise"));
        return;
    }
    std::shared_ptr<FilePromiseProvider> promise = promises[index];
    promise->writePromise(path, std::move(completion));
}

std::optional<QString> MemoryDragSession::writePromise(std::size_t index, const QString& path) {
    auto error =
        std::make_shared<std::optional<QString>>(QStringLiteral("the writer never answered"));
    waitFor([&](std::function<void()> finished) {
        writePromise(index, path, [error, finished](const std::optional<QString>& result) {
            *error = result;
            finished();
        });
    });
    return *error;
}

void MemoryDragSession::end(QPointF screenPoint, DragOperation operation) {
    if (m_ended)
        return;
    m_ended = true;
    // A drop is no leave; a drag that nothing took leaves its target.
    if (m_target && operation == DragOperation::none)
        m_messages.push_back({Message::Kind::leave, *m_target, {}});
    m_target.reset();
    // The last thing done here: the source may drop this session from it.
    m_source.draggingEnded(screenPoint, operation);
}

void MemoryDragSession::dropOnOwnWindow(QPointF screenPoint) {
    LocalDropTarget* local = m_owner.localDropTarget();
    const DragOperationMask offered =
        m_source.sourceOperationMask(DraggingContext::withinApplication);
    m_overOwnWindow = false;
    end(screenPoint,
        local ? local->performDrop(LocalDrag{screenPoint, offered, m_pasteboard, m_source})
              : DragOperation::none);
}

void MemoryDragSession::cancel(QPointF screenPoint) {
    end(screenPoint, DragOperation::none);
}

std::unique_ptr<DragSession>
MemoryDragSessions::beginDraggingSession(std::vector<DraggingItem> items, DraggingSource& source) {
    if (m_refuses)
        return nullptr;
    ++m_begun;
    return std::make_unique<MemoryDragSession>(*this, std::move(items), source);
}

} // namespace tarvo
