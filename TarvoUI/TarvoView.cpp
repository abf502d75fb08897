#include "TarvoView.h"

#include "AnimationClock.h"
#include "Animator.h"
#include "ItemLayer.h"
#include "ShapeLayer.h"
#include "ShelfAccessibility.h"
#include "TarvoViewDelegate.h"

#include "TarvoCore/L10n.h"
#include "TarvoPlatform/MimePasteboard.h"

#include <QAccessible>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>
#include <QTransform>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace tarvo {

namespace {

constexpr double slotWidth = 56;
constexpr double slotGap = 12;
constexpr double stripInsets = 48;
constexpr double stripHeight = 92;
constexpr double rowHeight = 40;
constexpr double tabBottom = 132;
constexpr double closeHitSize = 28;
constexpr double closeDiameter = 18;
constexpr double islandHitMargin = 6;
constexpr double nearMargin = 48;
constexpr double chipHeight = 24;
constexpr double chipGap = 5;
constexpr double chipHitMargin = 4;
constexpr double handle = 0.706944;

constexpr Color islandFill = Color::rgb(0.039, 0.039, 0.043);
constexpr Color islandShadow = Color::rgb(0.02, 0.04, 0.08);
constexpr double islandShadowOpacity = 0.38;
const QColor closeFill = QColor::fromRgbF(0.16f, 0.16f, 0.18f, 1.0f);
const QColor chipFill = QColor::fromRgbF(0.94f, 0.94f, 0.95f, 0.96f);
const QColor chipText = QColor::fromRgbF(0.071f, 0.078f, 0.098f, 1.0f);

QFont chipFont(const QFont& base) {
    QFont font = base;
    font.setPointSizeF(11.5);
    font.setWeight(QFont::DemiBold);
    return font;
}

QRectF qtRect(const TarvoView& view, const Rect& rect) {
    return QRectF(rect.x, view.height() - (rect.y + rect.height), rect.width, rect.height);
}

} // namespace

TarvoView::TarvoView(AnimationClock* clock, QWidget* parent) : QWidget(parent) {
    // Before anything asks for the view's accessible element, so that the
    // shelf's own is made rather than a plain widget's.
    ShelfAccessibility::install();
    if (!clock) {
        m_ownClock = std::make_unique<FrameClock>();
        clock = m_ownClock.get();
    }
    m_animator = std::make_unique<Animator>(*clock);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_TranslucentBackground);
    setAccessibleName(L10n::a11yTarvoRole());
    setAcceptDrops(true);
    setUp();
}

namespace {

AccessibleAnnouncer& bridgeAnnouncer() {
    static AccessibleAnnouncer announcer;
    return announcer;
}

} // namespace

void TarvoView::setAnnouncer(Announcer* announcer) {
    m_announcer = announcer;
}

void TarvoView::announceOpened() {
    (m_announcer ? *m_announcer : bridgeAnnouncer())
        .announce(*this, L10n::a11yTarvoOpen(qint64(m_items.size())));
}

void TarvoView::announceLanded(const Item& item) {
    (m_announcer ? *m_announcer : bridgeAnnouncer())
        .announce(*this, L10n::a11yLanded(item.displayName));
}

TarvoView::~TarvoView() {
    m_rootLayer->setDisplayHandler(nullptr);
    m_rootLayer->setAnimator(nullptr);
}

void TarvoView::setUp() {
    m_rootLayer = Layer::make();
    m_rootLayer->name = "root";
    m_rootLayer->setAnimator(m_animator.get());
    m_rootLayer->setDisplayHandler([this] { QWidget::update(); });

    m_islandLayer = ShapeLayer::make();
    m_islandLayer->name = "island";
    m_islandLayer->setFillColor(islandFill);
    m_islandLayer->setShadow(islandShadow, islandShadowOpacity, 16, {0, -9});
    m_rootLayer->addSublayer(m_islandLayer);

    m_itemsRoot = Layer::make();
    m_itemsRoot->name = "items";
    m_rootLayer->addSublayer(m_itemsRoot);
}

void TarvoView::setDrawsShadow(bool draws) {
    if (draws == m_drawsShadow)
        return;
    m_drawsShadow = draws;
    m_islandLayer->setShadowOpacity(draws ? islandShadowOpacity : 0);
}

void TarvoView::update(std::vector<Item> items, std::vector<QUuid> selection, TarvoState state,
                       const QSet<QUuid>& animateLanding) {
    m_items = std::move(items);
    m_selection = std::move(selection);
    m_state = state;
    syncItemLayers(animateLanding);
    layoutContents();
    if (QAccessible::isActive()) {
        QAccessibleEvent reorder(this, QAccessible::ObjectReorder);
        QAccessible::updateAccessibility(&reorder);
    }
}

void TarvoView::syncItemLayers(const QSet<QUuid>& animateLanding) {
    std::map<QUuid, std::shared_ptr<ItemLayer>> kept;
    const QColor accent = palette().color(QPalette::Highlight);
    const Color accentColor = Color::rgb(accent.redF(), accent.greenF(), accent.blueF());
    for (const Item& item : m_items) {
        std::shared_ptr<ItemLayer> layer;
        if (const auto found = m_itemLayers.find(item.id); found != m_itemLayers.end()) {
            layer = found->second;
        } else {
            layer = ItemLayer::make(item.id);
            layer->setContentsScale(windowHandle() ? devicePixelRatioF() : 2.0);
            m_itemsRoot->addSublayer(layer);
            // Without a landing set, items new to the view land; the first
            // snapshot shows what was stored before in place.
            const bool lands =
                animateLanding.isEmpty() ? m_hadSnapshot : animateLanding.contains(item.id);
            if (lands)
                layer->animateLanding(false);
        }
        const auto thumbnail = m_thumbnails.constFind(item.id);
        layer->apply(item,
                     thumbnail == m_thumbnails.constEnd() ? std::nullopt
                                                          : std::optional<QImage>(*thumbnail),
                     m_increaseContrast);
        layer->setSelected(std::find(m_selection.begin(), m_selection.end(), item.id) !=
                               m_selection.end(),
                           accentColor);
        kept.emplace(item.id, std::move(layer));
    }
    for (const auto& [id, layer] : m_itemLayers) {
        if (!kept.contains(id))
            layer->removeFromSuperlayer();
    }
    m_itemLayers = std::move(kept);
    m_hadSnapshot = true;
}

void TarvoView::layoutItems() {
    const bool shown = m_state != TarvoState::tab && m_state != TarvoState::hidden;
    double x = m_islandRect.x + stripInsets / 2 - m_itemScroll;
    const double y = m_visibleBottom + (stripHeight - slotWidth) / 2 + 6;
    for (const Item& item : m_items) {
        const auto found = m_itemLayers.find(item.id);
        if (found == m_itemLayers.end())
            continue;
        found->second->setHidden(!shown);
        found->second->layout({x, y, slotWidth, slotWidth});
        x += slotWidth + slotGap;
    }
}

std::optional<QUuid> TarvoView::itemAt(Point point) const {
    for (const auto& [id, layer] : m_itemLayers) {
        if (!layer->isHidden() && layer->frame().contains(point))
            return id;
    }
    return std::nullopt;
}

void TarvoView::setNotice(const std::optional<QString>& notice) {
    if (notice == m_notice)
        return;
    m_notice = notice;
    layoutContents();
}

void TarvoView::setTabGlowDimmed(bool dimmed) {
    if (dimmed == m_tabGlowDimmed)
        return;
    m_tabGlowDimmed = dimmed;
    layoutContents();
}

void TarvoView::setItemsInFlight(const QSet<QUuid>& items) {
    if (items == m_itemsInFlight)
        return;
    m_itemsInFlight = items;
    QWidget::update();
}

void TarvoView::setIslandWidth(double width) {
    if (width == m_islandWidth)
        return;
    m_islandWidth = width;
    layoutContents();
}

void TarvoView::setThumbnail(const QImage& image, const QUuid& item) {
    m_thumbnails.insert(item, image);
    if (const auto layer = m_itemLayers.find(item); layer != m_itemLayers.end()) {
        for (const Item& shown : m_items) {
            if (shown.id == item)
                layer->second->apply(shown, image, m_increaseContrast);
        }
    }
    QWidget::update();
}

void TarvoView::setIncreaseContrast(bool increase) {
    if (increase == m_increaseContrast)
        return;
    m_increaseContrast = increase;
    syncItemLayers({});
    QWidget::update();
}

double TarvoView::stripContentWidth() const {
    const auto n = double(m_items.size());
    return n == 0 ? 0 : n * slotWidth + stripInsets + (n - 1) * slotGap;
}

double TarvoView::requiredWidth() const {
    return stripContentWidth();
}

void TarvoView::layoutContents() {
    const double viewWidth = width();
    const double viewHeight = height();
    switch (m_state) {
    case TarvoState::dragging:
        m_visibleBottom = rowHeight;
        break;
    case TarvoState::hidden:
    case TarvoState::resting:
        m_visibleBottom = rowHeight;
        break;
    case TarvoState::tab:
        m_visibleBottom = tabBottom;
        break;
    }
    const double w = m_islandWidth <= 0 ? viewWidth : std::min(m_islandWidth, viewWidth);
    m_islandRect = {std::round((viewWidth - w) / 2), m_visibleBottom, w,
                    std::max(viewHeight - m_visibleBottom, 0.0)};
    m_closeCenter = {m_islandRect.x + 7, m_visibleBottom + 7};

    const double maxScroll = std::max(stripContentWidth() - w, 0.0);
    m_itemScroll = std::clamp(m_itemScroll, 0.0, maxScroll);

    const Rect bounds{0, 0, viewWidth, viewHeight};
    m_rootLayer->setFrame(bounds);
    m_islandLayer->setFrame(bounds);
    m_itemsRoot->setFrame(bounds);
    const QPainterPath outline = islandOutline();
    m_islandLayer->setPath(outline);
    m_islandLayer->setShadowPath(outline);
    m_lastChipText = m_notice;
    layoutItems();
    QWidget::update();
    if (onShapeChanged)
        onShapeChanged();
}

void TarvoView::setStripState(TarvoState state, bool) {
    m_state = state;
    layoutContents();
}

void TarvoView::animateAppear() {
    m_disappearing = false;
    QWidget::update();
}

void TarvoView::animateDisappear(std::function<void()> completion) {
    m_disappearing = true;
    if (completion)
        completion();
    m_disappearing = false;
}

void TarvoView::scrollItems(double delta) {
    const double maxScroll = stripContentWidth() - m_islandRect.width;
    if (maxScroll <= 0)
        return;
    m_itemScroll = std::clamp(m_itemScroll - delta, 0.0, maxScroll);
    layoutContents();
}

bool TarvoView::closeButtonVisible() const {
    return (m_state == TarvoState::hidden || m_state == TarvoState::resting) &&
           (m_forcesCloseBadge || m_hoveringIsland);
}

std::optional<Rect> TarvoView::chipFrame() const {
    if (!m_notice || m_notice->isEmpty())
        return std::nullopt;
    const double textWidth = QFontMetricsF(chipFont(font())).horizontalAdvance(*m_notice);
    const double w = std::min(textWidth + 24, double(width()) - 16);
    return Rect{std::round((width() - w) / 2), m_visibleBottom - chipHeight - chipGap, w,
                chipHeight};
}

bool TarvoView::hitTest(Point point) const {
    const Rect close{m_closeCenter.x - closeHitSize / 2, m_closeCenter.y - closeHitSize / 2,
                     closeHitSize, closeHitSize};
    if (closeButtonVisible() && close.contains(point))
        return true;
    if (m_noticeIsClickable) {
        if (const std::optional<Rect> chip = chipFrame()) {
            const Rect grown{chip->x - chipHitMargin, chip->y - chipHitMargin,
                             chip->width + 2 * chipHitMargin, chip->height + 2 * chipHitMargin};
            if (grown.contains(point))
                return true;
        }
    }
    return m_state == TarvoState::resting && !m_items.empty() && point.y >= m_visibleBottom &&
           point.x >= m_islandRect.minX() - islandHitMargin &&
           point.x < m_islandRect.maxX() + islandHitMargin;
}

QRegion TarvoView::inputRegion() const {
    if (m_state == TarvoState::dragging)
        return QRegion(rect());
    QRegion region;
    if (m_state == TarvoState::resting && !m_items.empty()) {
        const Rect island{m_islandRect.x - islandHitMargin, m_visibleBottom,
                          m_islandRect.width + 2 * islandHitMargin,
                          std::max(height() - m_visibleBottom, 0.0)};
        region += qtRect(*this, island).toAlignedRect();
    }
    if (closeButtonVisible()) {
        region += qtRect(*this, {m_closeCenter.x - closeHitSize / 2,
                                 m_closeCenter.y - closeHitSize / 2, closeHitSize, closeHitSize})
                      .toAlignedRect();
    }
    if (m_noticeIsClickable) {
        if (const std::optional<Rect> chip = chipFrame()) {
            region +=
                qtRect(*this, {chip->x - chipHitMargin, chip->y - chipHitMargin,
                               chip->width + 2 * chipHitMargin, chip->height + 2 * chipHitMargin})
                    .toAlignedRect();
        }
    }
    return region & rect();
}

QPainterPath TarvoView::islandOutline() const {
    const double w = m_islandRect.width;
    const double h = m_islandRect.height;
    const bool tab = m_state == TarvoState::tab;
    const double r = std::min({h / 2, w / 2, tab ? 10.0 : 32.0});
    const double f = std::min(h / 3, tab ? 7.0 : 10.0);
    const double k = handle * r;
    // Built in the island's own coordinates, then placed.
    QPainterPath path;
    path.moveTo(-f, h);
    path.lineTo(w + f, h);
    if (f > 0)
        path.arcTo(QRectF(w, h - 2 * f, 2 * f, 2 * f), -90, -90);
    path.lineTo(w, r);
    path.cubicTo(w, r - k, w - r + k, 0, w - r, 0);
    path.lineTo(r, 0);
    path.cubicTo(r - k, 0, 0, r - k, 0, r);
    path.lineTo(0, h - f);
    if (f > 0)
        path.arcTo(QRectF(-2 * f, h - 2 * f, 2 * f, 2 * f), 0, -90);
    path.closeSubpath();
    return path.translated(m_islandRect.x, m_islandRect.y);
}

QPainterPath TarvoView::outlinePath() const {
    QTransform flip;
    flip.translate(0, height());
    flip.scale(1, -1);
    return flip.map(islandOutline());
}

QRegion TarvoView::outlineRegion() const {
    QRegion region(outlinePath().toFillPolygon().toPolygon(), Qt::WindingFill);
    if (const std::optional<Rect> chip = chipFrame())
        region += qtRect(*this, *chip).toAlignedRect();
    return region;
}

void TarvoView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    m_painter.paint(painter, *m_rootLayer, height(), devicePixelRatioF());
    painter.setRenderHint(QPainter::Antialiasing);

    const QRectF strip = qtRect(*this, {m_islandRect.x, m_visibleBottom, m_islandRect.width,
                                        m_state == TarvoState::tab ? 0.0 : stripHeight});
    if (m_items.empty() && m_state != TarvoState::tab && m_showsEmptyHint) {
        QFont hint = font();
        hint.setPointSizeF(12.5);
        hint.setWeight(QFont::Medium);
        painter.setFont(hint);
        painter.setPen(QColor::fromRgbF(1, 1, 1, 0.92f));
        painter.drawText(strip, Qt::AlignCenter, L10n::dropHere());
    }
    if (closeButtonVisible()) {
        const QPointF centre = toQt(m_closeCenter);
        painter.setBrush(closeFill);
        painter.setPen(Qt::NoPen);
        painter.drawEllipse(centre, closeDiameter / 2, closeDiameter / 2);
        painter.setPen(QPen(QColor::fromRgbF(1, 1, 1, 0.92f), 1.5, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(centre + QPointF(-3.24, -3.24), centre + QPointF(3.24, 3.24));
        painter.drawLine(centre + QPointF(-3.24, 3.24), centre + QPointF(3.24, -3.24));
    }
    if (const std::optional<Rect> chip = chipFrame()) {
        const QRectF frame = qtRect(*this, *chip);
        painter.setPen(Qt::NoPen);
        painter.setBrush(chipFill);
        painter.drawRoundedRect(frame, 12, 12);
        painter.setFont(chipFont(font()));
        painter.setPen(chipText);
        painter.drawText(frame.adjusted(12, 0, -12, 0), Qt::AlignCenter,
                         QFontMetricsF(painter.font())
                             .elidedText(*m_notice, Qt::ElideMiddle, frame.width() - 24));
    }
}

void TarvoView::resizeEvent(QResizeEvent*) {
    layoutContents();
}

void TarvoView::setHovering(bool hovering) {
    if (hovering == m_hoveringIsland)
        return;
    m_hoveringIsland = hovering;
    layoutContents();
    if (m_delegate)
        m_delegate->tarvoViewIslandHoverChanged(*this, hovering);
}

void TarvoView::enterEvent(QEnterEvent* event) {
    setHovering(m_islandRect.contains(fromQt(event->position())));
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
    setHovering(m_islandRect.contains(point));
}

void TarvoView::setHoveredItem(const std::optional<QUuid>& item) {
    if (item == m_hoveredItem)
        return;
    for (const std::optional<QUuid>& id : {m_hoveredItem, item}) {
        if (!id)
            continue;
        if (const auto layer = m_itemLayers.find(*id); layer != m_itemLayers.end())
            layer->second->setHovered(id == item, false);
    }
    m_hoveredItem = item;
    QWidget::update();
}

bool TarvoView::isPointerNearIsland() const {
    if (!m_pointer)
        return false;
    const Rect& r = m_islandRect;
    return Rect{r.x - nearMargin, r.y - nearMargin, r.width + 2 * nearMargin,
                r.height + 2 * nearMargin}
        .contains(*m_pointer);
}

void TarvoView::mousePressEvent(QMouseEvent* event) {
    const Point point = fromQt(event->position());
    const Rect close{m_closeCenter.x - closeHitSize / 2, m_closeCenter.y - closeHitSize / 2,
                     closeHitSize, closeHitSize};
    m_closePressed =
        event->button() == Qt::LeftButton && closeButtonVisible() && close.contains(point);
    m_barePressed =
        event->button() == Qt::LeftButton && !m_closePressed && m_islandRect.contains(point);
}

void TarvoView::mouseReleaseEvent(QMouseEvent* event) {
    const Point point = fromQt(event->position());
    const bool closePressed = std::exchange(m_closePressed, false);
    const bool barePressed = std::exchange(m_barePressed, false);
    if (!m_delegate)
        return;
    if (closePressed) {
        m_delegate->tarvoViewDidRequestEscape(*this);
    } else if (m_noticeIsClickable && chipFrame() && chipFrame()->contains(point)) {
        m_delegate->tarvoViewDidClickNotice(*this);
    } else if (barePressed && m_islandRect.contains(point)) {
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
