#include "ShelfDropTarget.h"

#include "TarvoView.h"
#include "TarvoViewDelegate.h"

#include "TarvoDrag/TarvoDragSourceMarker.h"
#include "TarvoPlatform/MimePasteboard.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>

namespace tarvo {

ShelfDropTarget::ShelfDropTarget(TarvoView& view) : m_view(view) {}

bool ShelfDropTarget::accepts(const Pasteboard& pasteboard) {
    TarvoViewDelegate* delegate = m_view.delegate();
    return delegate && delegate->tarvoView(m_view, pasteboard);
}

std::optional<Point> ShelfDropTarget::inRow(Point point) const {
    if (!m_chips || !m_chips->isShown())
        return std::nullopt;
    const Rect row = m_chips->frame();
    return Point{point.x - row.x, point.y - row.y};
}

std::optional<QUuid> ShelfDropTarget::chipToHighlight(Point point) const {
    const std::optional<Point> local = inRow(point);
    if (!local)
        return std::nullopt;
    if (std::optional<QUuid> chip = m_chips->chipID(*local))
        return chip;
    return m_chips->nearestChipID(*local);
}

bool ShelfDropTarget::entered(const Pasteboard& pasteboard, Point point) {
    if (!accepts(pasteboard))
        return false;
    m_lastDropPoint = point;
    m_view.setCatchHighlight(true);
    return true;
}

bool ShelfDropTarget::updated(const Pasteboard& pasteboard, Point point) {
    m_lastDropPoint = point;
    const std::optional<QUuid> chip = chipToHighlight(point);
    if (m_chips)
        m_chips->setHighlighted(chip);
    m_pendingChipDrop = chip;
    return accepts(pasteboard);
}

void ShelfDropTarget::exited() {
    m_ownDragOver = false;
    m_lastDropPoint.reset();
    m_view.setCatchHighlight(false);
    if (m_chips)
        m_chips->setHighlighted(std::nullopt);
    m_pendingChipDrop.reset();
}

bool ShelfDropTarget::prepare(const Pasteboard& pasteboard) {
    return accepts(pasteboard);
}

std::optional<QUuid> ShelfDropTarget::takeChipDrop(Point point) {
    m_ownDragOver = false;
    m_lastDropPoint = point;
    m_view.setCatchHighlight(false);
    std::optional<QUuid> chip = m_pendingChipDrop;
    if (!chip) {
        if (const std::optional<Point> local = inRow(point))
            chip = m_chips->nearestChipID(*local);
    }
    m_pendingChipDrop.reset();
    if (m_chips)
        m_chips->setHighlighted(std::nullopt);
    return chip;
}

void ShelfDropTarget::reorder(Point point, const TarvoDragSourceMarker& source) {
    const int index = int(m_view.insertionIndex(point));
    for (const QUuid& id : source.draggedItemIDs()) {
        if (TarvoViewDelegate* delegate = m_view.delegate())
            delegate->tarvoViewDidReorder(m_view, id, index);
    }
}

bool ShelfDropTarget::perform(const Pasteboard& pasteboard, Point point,
                              const TarvoDragSourceMarker* source) {
    const std::optional<QUuid> chip = takeChipDrop(point);
    TarvoViewDelegate* delegate = m_view.delegate();
    if (chip && delegate && delegate->tarvoView(m_view, pasteboard, *chip))
        return true;
    if (source && source->isTarvoSource()) {
        reorder(point, *source);
        return true;
    }
    return delegate && delegate->tarvoView(m_view, pasteboard, QPointF(point.x, point.y));
}

void ShelfDropTarget::ownDragMoved(Point point) {
    if (!m_ownDragOver)
        m_view.setCatchHighlight(true);
    m_ownDragOver = true;
    m_lastDropPoint = point;
    const std::optional<QUuid> chip = chipToHighlight(point);
    if (m_chips)
        m_chips->setHighlighted(chip);
    m_pendingChipDrop = chip;
}

bool ShelfDropTarget::ownDragDropped(Point point, const TarvoDragSourceMarker& source) {
    if (takeChipDrop(point) || !source.isTarvoSource())
        return false;
    reorder(point, source);
    return true;
}

// --- Qt's drag events ------------------------------------------------------------

void ShelfDropTarget::dragEnterEvent(QDragEnterEvent& event) {
    const QMimeData* data = event.mimeData();
    if (data && entered(MimePasteboard(*data), m_view.fromQt(event.position()))) {
        event.setDropAction(Qt::CopyAction);
        event.accept();
    } else {
        event.ignore();
    }
}

void ShelfDropTarget::dragMoveEvent(QDragMoveEvent& event) {
    const QMimeData* data = event.mimeData();
    if (data && updated(MimePasteboard(*data), m_view.fromQt(event.position()))) {
        event.setDropAction(Qt::CopyAction);
        event.accept();
    } else {
        event.ignore();
    }
}

void ShelfDropTarget::dragLeaveEvent(QDragLeaveEvent& event) {
    exited();
    event.accept();
}

void ShelfDropTarget::dropEvent(QDropEvent& event) {
    const QMimeData* data = event.mimeData();
    const Point point = m_view.fromQt(event.position());
    if (!data) {
        exited();
        event.ignore();
        return;
    }
    const MimePasteboard pasteboard(*data, m_promises);
    if (!prepare(pasteboard)) {
        exited();
        event.ignore();
        return;
    }
    const auto* source = dynamic_cast<const TarvoDragSourceMarker*>(event.source());
    if (perform(pasteboard, point, source)) {
        event.setDropAction(Qt::CopyAction);
        event.accept();
    } else {
        event.ignore();
    }
}

} // namespace tarvo
