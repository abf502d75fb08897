#include "TarvoView.h"

#include "IslandScene.h"
#include "ItemLayer.h"
#include "TarvoViewDelegate.h"

#include "TarvoPlatform/MimePasteboard.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

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
    m_pointer.reset();
    setHoveredItem(std::nullopt);
    setHovering(false);
}

void TarvoView::mouseMoveEvent(QMouseEvent* event) {
    const Point point = fromQt(event->position());
    m_pointer = point;
    setHoveredItem(itemAt(point));
    setHovering(overIsland(point));
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
    if (!m_pointer)
        return false;
    const Rect r = m_scene->islandRect();
    return Rect{r.x - nearMargin, r.y - nearMargin, r.width + 2 * nearMargin,
                r.height + 2 * nearMargin}
        .contains(*m_pointer);
}

void TarvoView::mousePressEvent(QMouseEvent* event) {
    const Point point = fromQt(event->position());
    m_closePressed = event->button() == Qt::LeftButton && closeButtonVisible() &&
                     m_scene->layout().closeHitRect.contains(point);
    m_barePressed =
        event->button() == Qt::LeftButton && !m_closePressed && overIsland(point) && !itemAt(point);
    if (m_closePressed)
        setClosePressed(true);
}

void TarvoView::mouseReleaseEvent(QMouseEvent* event) {
    const Point point = fromQt(event->position());
    const bool closePressed = std::exchange(m_closePressed, false);
    const bool barePressed = std::exchange(m_barePressed, false);
    if (closePressed)
        setClosePressed(false);
    if (!m_delegate)
        return;
    const std::optional<Rect> chip = clickableChipFrame();
    if (closePressed) {
        m_delegate->tarvoViewDidRequestEscape(*this);
    } else if (chip && chip->contains(point)) {
        m_delegate->tarvoViewDidClickNotice(*this);
    } else if (barePressed && overIsland(point)) {
        m_delegate->tarvoViewDidClickBareIsland(*this);
    }
}

void TarvoView::keyPressEvent(QKeyEvent* event) {
    if (!m_delegate) {
        event->ignore();
        return;
    }
    if (event->key() == Qt::Key_Escape) {
        m_delegate->tarvoViewDidRequestEscape(*this);
    } else if (event->matches(QKeySequence::Undo)) {
        m_delegate->tarvoViewDidRequestUndo(*this);
    } else if (event->matches(QKeySequence::Paste)) {
        m_delegate->tarvoViewDidRequestPaste(*this);
    } else {
        event->ignore();
    }
}

void TarvoView::wheelEvent(QWheelEvent* event) {
    const QPointF delta = QPointF(event->angleDelta()) / 8.0;
    scrollItems(delta.x() + delta.y());
}

void TarvoView::dragEnterEvent(QDragEnterEvent* event) {
    m_dropAccepted = false;
    if (m_delegate && event->mimeData()) {
        const MimePasteboard pasteboard(*event->mimeData());
        m_dropAccepted = m_delegate->tarvoView(*this, pasteboard);
    }
    if (m_dropAccepted) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void TarvoView::dragMoveEvent(QDragMoveEvent* event) {
    if (m_dropAccepted) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void TarvoView::dragLeaveEvent(QDragLeaveEvent*) {
    m_dropAccepted = false;
}

void TarvoView::dropEvent(QDropEvent* event) {
    const bool accepted = std::exchange(m_dropAccepted, false);
    if (!accepted || !m_delegate || !event->mimeData()) {
        event->ignore();
        return;
    }
    const MimePasteboard pasteboard(*event->mimeData());
    const Point at = fromQt(event->position());
    if (m_delegate->tarvoView(*this, pasteboard, QPointF(at.x, at.y))) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

} // namespace tarvo
