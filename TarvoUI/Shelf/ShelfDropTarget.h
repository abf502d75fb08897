#pragma once

#include "Rect.h"

#include <QUuid>

#include <optional>

class QDragEnterEvent;
class QDragLeaveEvent;
class QDragMoveEvent;
class QDropEvent;

namespace tarvo {

class DropPromises;
class Pasteboard;
class TarvoDragSourceMarker;
class TarvoView;

// What a drop needs of the destination chips shown under the island while
// something is dragged. Points are in the row's own coordinates.
class ChipDropTargets {
public:
    virtual ~ChipDropTargets() = default;
    // Chips count only while the row can be seen.
    virtual bool isShown() const = 0;
    // The row's frame in view coordinates.
    virtual Rect frame() const = 0;
    virtual std::optional<QUuid> chipID(Point point) const = 0;
    // The chip nearest the point within the row's forgiving catch area.
    virtual std::optional<QUuid> nearestChipID(Point point) const = 0;
    // None clears the highlight.
    virtual void setHighlighted(const std::optional<QUuid>& chip) = 0;
};

// The shelf as the place drags end: lights the catch highlight while an
// acceptable drag is over it, keeps the chip under the pointer highlighted,
// and decides whether a drop goes to a chip, reorders the shelf's own items
// or becomes new items, handing each to the view's delegate. Drags from
// other programs arrive as Qt's drag events over XDND; drags that started in
// one of the shelf's own windows are handed in directly with their source.
// Main thread only.
class ShelfDropTarget final {
public:
    explicit ShelfDropTarget(TarvoView& view);
    ShelfDropTarget(const ShelfDropTarget&) = delete;
    ShelfDropTarget& operator=(const ShelfDropTarget&) = delete;

    // Not owned; none while no row is shown.
    void setChips(ChipDropTargets* chips) { m_chips = chips; }
    ChipDropTargets* chips() const { return m_chips; }
    // Where promised files of a drop are asked for (direct save); not owned.
    void setDropPromises(DropPromises* promises) { m_promises = promises; }

    // Each returns whether the drag would be taken (a copy) at the point, in
    // view coordinates.
    bool entered(const Pasteboard& pasteboard, Point point);
    bool updated(const Pasteboard& pasteboard, Point point);
    void exited();
    bool prepare(const Pasteboard& pasteboard);
    // Whether the drop was taken. `source` is the drag's source when it is
    // one of the shelf's own.
    bool perform(const Pasteboard& pasteboard, Point point, const TarvoDragSourceMarker* source);

    // A drag of the shelf's own items over its own window, handed in by the
    // platform rather than through XDND: it lights the same highlights, a
    // drop on the strip reorders, and a drop on a chip is left to the drag's
    // end, which delivers to the chip under the pointer. `ownDragDropped`
    // returns whether it reordered.
    void ownDragMoved(Point point);
    void ownDragExited() { exited(); }
    bool ownDragDropped(Point point, const TarvoDragSourceMarker& source);

    const std::optional<Point>& lastDropPoint() const { return m_lastDropPoint; }
    const std::optional<QUuid>& pendingChipDrop() const { return m_pendingChipDrop; }

    // Qt's drag events over the view.
    void dragEnterEvent(QDragEnterEvent& event);
    void dragMoveEvent(QDragMoveEvent& event);
    void dragLeaveEvent(QDragLeaveEvent& event);
    void dropEvent(QDropEvent& event);

private:
    bool accepts(const Pasteboard& pasteboard);
    std::optional<Point> inRow(Point point) const;
    std::optional<QUuid> chipToHighlight(Point point) const;
    // The chip a drop at the point goes to, with the highlights cleared.
    std::optional<QUuid> takeChipDrop(Point point);
    void reorder(Point point, const TarvoDragSourceMarker& source);

    TarvoView& m_view;
    ChipDropTargets* m_chips = nullptr;
    DropPromises* m_promises = nullptr;
    std::optional<Point> m_lastDropPoint;
    std::optional<QUuid> m_pendingChipDrop;
    // An own drag is over the view: its catch highlight is on.
    bool m_ownDragOver = false;
};

} // namespace tarvo
