#include "TarvoView.h"

#include "IslandScene.h"
#include "ItemLayer.h"
#include "KeyAction.h"
#include "ShelfDropTarget.h"
#include "ShelfInput.h"
#include "TarvoViewDelegate.h"

#include <QCursor>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

#include <cmath>

namespace tarvo {

namespace {

constexpr double nearMargin = 48;

} // namespace

// --- Pointer and keys -------------------------------------------------------

void TarvoView::setHovering(bool hovering) {
    if (hovering == m_hoveringIsland)
        return;
    m_hoveringIsland = hovering;
    m_scene->setPointerOverIsland(hovering);
    const TarvoState state = m_scene->state();
    const bool shows = (state == TarvoState::hidden || state == TarvoState::resting) &&
                       (hovering || m_forcesCloseBadge);
    Layer& close = *m_scene->closeButton;
    const double target = shows ? 1.0 : 0.0;
    const double shown = close.presentation().opacity;
    if (shown != target)
        close.addAnimation(Motion::timed(KeyPath::opacity, shown, target, Motion::fadeDuration,
                                         TimingCurve::easeOut()),
                           "fade");
    close.setOpacity(target);
    shapeChanged();
    if (m_delegate)
        m_delegate->tarvoViewIslandHoverChanged(*this, hovering);
}

void TarvoView::enterEvent(QEnterEvent* event) {
    setHovering(overIsland(fromQt(event->position())));
}

void TarvoView::leaveEvent(QEvent*) {
    setHoveredItem(std::nullopt);
    setHovering(false);
}

void TarvoView::mouseMoveEvent(QMouseEvent* event) {
    const Point point = fromQt(event->position());
    setHoveredItem(itemAt(point));
    setHovering(overIsland(point));
    m_input->mouseMoveEvent(*event);
}

void TarvoView::setHoveredItem(const std::optional<QUuid>& item) {
    if (item == m_hoveredItem)
        return;
    const bool reduce = reduceMotion();
    for (const std::optional<QUuid>& id : {m_hoveredItem, item}) {
        if (!id)
            continue;
        if (const auto layer = m_itemLayers.find(*id); layer != m_itemLayers.end())
            layer->second->setHovered(id == item, reduce);
    }
    m_hoveredItem = item;
    // The caption follows the pointer; the window's shape only when the
    // chip's frame changed.
    const std::optional<Rect> before = chipFrame();
    layoutChip();
    if (chipFrame() != before)
        shapeChanged();
}

bool TarvoView::isPointerNearIsland() const {
    if (!isVisible())
        return false;
    // The live pointer: the last event seen may be long stale.
    Point point;
    if (pointerLocation) {
        const QPointF global = pointerLocation();
        point = {global.x() - m_windowOrigin.x, global.y() - m_windowOrigin.y};
    } else {
        point = fromQt(QPointF(mapFromGlobal(QCursor::pos())));
    }
    const Rect r = m_scene->islandRect();
    return Rect{r.x - nearMargin, r.y - nearMargin, r.width + 2 * nearMargin,
                r.height + 2 * nearMargin}
        .contains(point);
}

void TarvoView::refreshIslandHover() {
    const QPoint local = mapFromGlobal(QCursor::pos());
    setHovering(rect().contains(local) && overIsland(fromQt(QPointF(local))));
}

// Presses, keys and drops go to the shelf's input and drop target.
void TarvoView::mousePressEvent(QMouseEvent* event) {
    m_lastPressTime = double(event->timestamp()) / 1000.0;
    m_input->mousePressEvent(*event);
}

void TarvoView::mouseDoubleClickEvent(QMouseEvent* event) {
    mousePressEvent(event);
}

void TarvoView::mouseReleaseEvent(QMouseEvent* event) {
    m_input->mouseReleaseEvent(*event);
}

void TarvoView::keyPressEvent(QKeyEvent* event) {
    m_input->keyPressEvent(*event);
    if (!event->isAccepted())
        QWidget::keyPressEvent(event);
}

void TarvoView::wheelEvent(QWheelEvent* event) {
    const double delta = KeyActions::scrollDelta(*event);
    // While something is dragged the wheel over the chips turns their pages.
    if (m_scene->state() == TarvoState::dragging && m_scene->destinationRow->opacity() > 0) {
        if (std::abs(delta) > destinationScrollThreshold && delegate())
            delegate()->tarvoViewDidScrollDestinations(*this, delta < 0);
        return;
    }
    scrollItems(delta);
}

void TarvoView::dragEnterEvent(QDragEnterEvent* event) {
    m_dropTarget->dragEnterEvent(*event);
}

void TarvoView::dragMoveEvent(QDragMoveEvent* event) {
    m_dropTarget->dragMoveEvent(*event);
}

void TarvoView::dragLeaveEvent(QDragLeaveEvent* event) {
    m_dropTarget->dragLeaveEvent(*event);
}

void TarvoView::dropEvent(QDropEvent* event) {
    m_dropTarget->dropEvent(*event);
}

} // namespace tarvo
