#pragma once

#include "DragOperation.h"
#include "DragPasteboard.h"
#include "PasteboardWriter.h"

#include <QImage>
#include <QPointF>
#include <QRectF>

#include <memory>
#include <vector>

namespace tarvo {

// Operations a drag offers, as a mask of DragOperation values.
using DragOperationMask = quint64;
inline constexpr DragOperationMask operationMask(DragOperation operation) {
    return static_cast<DragOperationMask>(operation);
}

// One thing being dragged: what it writes to the pasteboard, where it sits
// relative to the pointer when the drag starts (the origin is the pointer),
// and what it looks like; a null image shows nothing.
struct DraggingItem {
    PasteboardWriter writer;
    QRectF frame;
    QImage image;
};

// Whether the pointer is over a window of another application or of this one.
enum class DraggingContext { outsideApplication, withinApplication };

// The side that started a drag and follows it. Called on the main thread.
class DraggingSource {
public:
    virtual ~DraggingSource() = default;
    virtual DragOperationMask sourceOperationMask(DraggingContext context) = 0;
    // The pointer, in global screen points with y upwards from the bottom
    // left of the main screen, exactly as the window system reported it.
    virtual void draggingMoved(QPointF screenPoint) = 0;
    // Once, when the drag is over: what the destination did, `none` when
    // nothing took the items. The session does nothing more after the
    // report, so the source may drop it from here.
    virtual void draggingEnded(QPointF screenPoint, DragOperation operation) = 0;
    // The wheel turned during the drag, which holds the pointer: `lines`
    // positive for up or left, negative for down or right, one per notch.
    virtual void draggingScrolled(QPointF screenPoint, double lines) {
        (void)screenPoint;
        (void)lines;
    }
    // The pointer moved onto a window that takes drops, or onto one that
    // takes none (it speaks no drag protocol): a release there delivers
    // nothing. Told on each change, after the move that made it.
    virtual void draggingTargetChanged(bool takesDrops) { (void)takesDrops; }
};

// A drag over one of this process's own windows, as its drop target sees it.
struct LocalDrag {
    // Global screen points, y upwards.
    QPointF screenPoint;
    DragOperationMask offered = 0;
    DragPasteboard& pasteboard;
    // The shelf recognises a drag of its own items through its source.
    DraggingSource& source;
};

// A drop target inside this process. Drags over this process's own windows
// never go through the window system's drag protocol: the platform hands them
// to this target instead.
class LocalDropTarget {
public:
    virtual ~LocalDropTarget() = default;
    // What the target would do with the drag where it is now.
    virtual DragOperation draggingUpdated(const LocalDrag& drag) = 0;
    virtual void draggingExited() = 0;
    // What the target did; `none` when it took nothing.
    virtual DragOperation performDrop(const LocalDrag& drag) = 0;
};

// One running drag. Destroying it ends the window system's part of it.
class DragSession {
public:
    virtual ~DragSession() = default;
    virtual DragPasteboard& draggingPasteboard() = 0;
};

// Starts drags out of this process.
class DragSessions {
public:
    virtual ~DragSessions() = default;
    // Writes the items to a fresh drag pasteboard, in their order, and starts
    // following the pointer with `source`, which must outlive the session.
    // None when the drag could not start (the pointer could not be taken).
    virtual std::unique_ptr<DragSession> beginDraggingSession(std::vector<DraggingItem> items,
                                                              DraggingSource& source) = 0;
    // Where drags over this process's own windows go; none by default.
    virtual void setLocalDropTarget(LocalDropTarget* target) = 0;
};

} // namespace tarvo
