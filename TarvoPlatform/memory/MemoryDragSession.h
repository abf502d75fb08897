#pragma once

#include "TarvoPlatform/DragSession.h"

#include <QByteArray>
#include <QPointF>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

namespace tarvo {

class MemoryDragSessions;

// A drag played by a test the way the window system plays it: the pointer
// moves over named targets, each target is told the pasteboard's types (in
// the owner's order, as one flat list) when
// the pointer enters it (and again, after a leave, when the types changed
// while it was under the pointer), targets read data and ask for promised
// files, and the drag ends with what the target did.
class MemoryDragSession final : public DragSession {
public:
    // What a target was told, in order.
    struct Message {
        enum class Kind { enter, leave };
        Kind kind;
        QString target;
        QStringList types; // for `enter`
        bool operator==(const Message&) const = default;
    };

    MemoryDragSession(MemoryDragSessions& owner, std::vector<DraggingItem> items,
                      DraggingSource& source);
    ~MemoryDragSession() override;

    DragPasteboard& draggingPasteboard() override { return m_pasteboard; }
    const std::vector<DraggingItem>& draggingItems() const { return m_items; }

    // The pointer moves to `screenPoint` over `target` (none: over nothing,
    // or over this process's own window with `context` withinApplication,
    // where the local drop target, if any, hears of it). Returns the
    // operations the source offered there.
    DragOperationMask moveTo(QPointF screenPoint, std::optional<QString> target = std::nullopt,
                             DraggingContext context = DraggingContext::outsideApplication);
    const std::vector<Message>& messages() const { return m_messages; }
    const std::optional<QString>& target() const { return m_target; }

    // A target reads `type` from the pasteboard item at `index` (among the
    // pasteboard's items, in order) and waits for the answer.
    std::optional<PasteboardData> requestData(std::size_t index, const QString& type,
                                              DataRequestPhase phase = DataRequestPhase::drop);
    void requestData(std::size_t index, const QString& type, DataRequestPhase phase,
                     std::function<void(std::optional<PasteboardData>)> answer);
    // The bytes of `data`, reading a file it names.
    static std::optional<QByteArray> bytes(const std::optional<PasteboardData>& data);

    // A target accepts the promise at `index` (among the pasteboard's
    // promises): the name it is offered, then the file written at `path`.
    QString promisedFileName(std::size_t index);
    // Waits for the writer; none on success, else its error.
    std::optional<QString> writePromise(std::size_t index, const QString& path);
    void writePromise(std::size_t index, const QString& path,
                      FilePromiseProviderDelegate::Completion completion);

    // The drag ends: a drop that `operation` describes, or nothing taken.
    void end(QPointF screenPoint, DragOperation operation);
    // The drag is released over this process's own window: the local drop
    // target decides what was done, as the window system's session asks it.
    void dropOnOwnWindow(QPointF screenPoint);
    // Escape: the target under the pointer is left and nothing is taken.
    void cancel(QPointF screenPoint);
    // The wheel turns `lines` notches at the pointer (positive: up).
    void scroll(QPointF screenPoint, double lines) {
        m_source.draggingScrolled(screenPoint, lines);
    }
    // The window under the pointer takes drops, or takes none.
    void overTarget(bool takesDrops) { m_source.draggingTargetChanged(takesDrops); }
    bool ended() const { return m_ended; }

private:
    MemoryDragSessions& m_owner;
    std::vector<DraggingItem> m_items;
    DraggingSource& m_source;
    DragPasteboard m_pasteboard;
    std::optional<QString> m_target;
    qint64 m_toldChangeCount = -1;
    std::vector<Message> m_messages;
    bool m_overOwnWindow = false;
    bool m_ended = false;
};

// Starts memory drags and keeps track of the one running.
class MemoryDragSessions final : public DragSessions {
public:
    std::unique_ptr<DragSession> beginDraggingSession(std::vector<DraggingItem> items,
                                                      DraggingSource& source) override;
    void setLocalDropTarget(LocalDropTarget* target) override { m_localTarget = target; }
    LocalDropTarget* localDropTarget() const { return m_localTarget; }

    // The next drags fail to start, as when the pointer cannot be taken.
    void setRefusesToBegin(bool refuses) { m_refuses = refuses; }
    // The session running now; none before the first or after it is gone.
    MemoryDragSession* current() const { return m_current; }
    int begun() const { return m_begun; }

private:
    friend class MemoryDragSession;
    MemoryDragSession* m_current = nullptr;
    LocalDropTarget* m_localTarget = nullptr;
    bool m_refuses = false;
    int m_begun = 0;
};

} // namespace tarvo
