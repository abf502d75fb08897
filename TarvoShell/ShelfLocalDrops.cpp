#include "ShelfLocalDrops.h"

#include "TarvoDrag/TarvoDragSourceMarker.h"
#include "ShelfDropTarget.h"
#include "TarvoPanel.h"
#include "TarvoView.h"

namespace tarvo {

namespace {

// The view's point under the drag: both count in screen points, y upwards,
// and the view fills the panel.
Point viewPoint(const TarvoPanel& panel, QPointF screen) {
    return {screen.x() - panel.frame().x, screen.y() - panel.frame().y};
}

const TarvoDragSourceMarker* ownSource(const LocalDrag& drag) {
    const auto* marker = dynamic_cast<const TarvoDragSourceMarker*>(&drag.source);
    return marker && marker->isTarvoSource() ? marker : nullptr;
}

} // namespace

DragOperation ShelfLocalDrops::draggingUpdated(const LocalDrag& drag) {
    TarvoView* view = m_panel.contentView();
    if (!view || !ownSource(drag))
        return DragOperation::none;
    view->dropTarget().ownDragMoved(viewPoint(m_panel, drag.screenPoint));
    return DragOperation::move;
}

void ShelfLocalDrops::draggingExited() {
    if (TarvoView* view = m_panel.contentView())
        view->dropTarget().ownDragExited();
}

DragOperation ShelfLocalDrops::performDrop(const LocalDrag& drag) {
    TarvoView* view = m_panel.contentView();
    const TarvoDragSourceMarker* source = ownSource(drag);
    if (!view || !source)
        return DragOperation::none;
    // A reorder moves items within the shelf: nothing left it, so the drag
    // reports that nothing took them.
    view->dropTarget().ownDragDropped(viewPoint(m_panel, drag.screenPoint), *source);
    return DragOperation::none;
}

} // namespace tarvo
