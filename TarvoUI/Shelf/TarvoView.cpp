#include "TarvoView.h"

#include "AnimationClock.h"
#include "Animator.h"
#include "IslandScene.h"
#include "ItemLayer.h"
#include "ShelfAccessibility.h"
#include "ShelfDropTarget.h"
#include "ShelfInput.h"
#include "TarvoViewDelegate.h"

#include "TarvoCore/ItemLayout.h"
#include "TarvoCore/L10n.h"
#include "TarvoPlatform/DisplayOptions.h"

#include <QAccessible>
#include <QPainter>
#include <QPolygon>
#include <QTransform>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <utility>

namespace tarvo {

namespace {

constexpr double islandHitMargin = 6;
constexpr double islandHoverMargin = 4;
constexpr double chipHitMargin = 4;
constexpr double islandShadowOpacity = 0.38;
constexpr double closeShadowOpacity = 0.35;

QRectF qtRect(const TarvoView& view, const Rect& rect) {
    return QRectF(rect.x, view.height() - (rect.y + rect.height), rect.width, rect.height);
}

Rect grown(const Rect& r, double dx, double dy) {
    return {r.x - dx, r.y - dy, r.width + 2 * dx, r.height + 2 * dy};
}

AccessibleAnnouncer& bridgeAnnouncer() {
    static AccessibleAnnouncer announcer;
    return announcer;
}

} // namespace

// The display options the scene reads, forwarding to the ones the view was
// given; none given: every option off.
class TarvoView::Options final : public DisplayOptions {
public:
    const DisplayOptions* source = nullptr;
    bool reduceMotion() const override { return source && source->reduceMotion(); }
    bool reduceTransparency() const override { return source && source->reduceTransparency(); }
    bool increaseContrast() const override { return source && source->increaseContrast(); }
};

TarvoView::TarvoView(AnimationClock* clock, const DisplayOptions* display, QWidget* parent)
    : QWidget(parent), m_options(std::make_unique<Options>()) {
    // Before anything asks for the view's accessible element, so that the
    // shelf's own is made rather than a plain widget's.
    ShelfAccessibility::install();
    if (!clock) {
        m_ownClock = std::make_unique<FrameClock>();
        clock = m_ownClock.get();
    }
    m_animator = std::make_unique<Animator>(*clock);
    m_options->source = display;
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_TranslucentBackground);
    setAccessibleName(L10n::a11yTarvoRole());
    setAcceptDrops(true);
    m_input = std::make_unique<ShelfInput>(*this);
    m_dropTarget = std::make_unique<ShelfDropTarget>(*this);
    setUp();
}

TarvoView::~TarvoView() {
    m_animator->setFrameHandler(nullptr);
    rootLayer()->setDisplayHandler(nullptr);
    rootLayer()->setAnimator(nullptr);
}

void TarvoView::setUp() {
    m_scene = std::make_unique<IslandScene>(*m_animator, *m_options);
    const std::shared_ptr<Layer>& root = m_scene->root();
    root->setDisplayHandler([this] { QWidget::update(); });
    m_animator->setFrameHandler([this] { followPresentedOutline(); });
    root->addSublayer(m_chip.layer());
    m_scene->setItemLayoutHandler([](Layer& layer, const Rect& slot) {
        if (auto* item = dynamic_cast<ItemLayer*>(&layer))
            item->layout(slot);
        else
            layer.setFrame(slot);
    });
    m_scene->setCaptionChipHider([this] { m_chip.hide(); });
    m_scene->setItemIndexLookup([this](const QUuid& id) { return indexOf(id); });
    m_scene->setIncreaseContrast(m_increaseContrast);
    m_scene->setContentsScale(m_contentsScale);
    m_chip.label()->setContentsScale(m_contentsScale);
}

const std::shared_ptr<Layer>& TarvoView::rootLayer() const {
    return m_scene->root();
}

const Layer& TarvoView::itemsRoot() const {
    return *m_scene->itemsContainer;
}

ItemLayer* TarvoView::itemLayer(const QUuid& id) const {
    const auto found = m_itemLayers.find(id);
    return found == m_itemLayers.end() ? nullptr : found->second.get();
}

Rect TarvoView::stripFrame() const {
    return m_scene->itemsContainer->frame();
}

void TarvoView::setDisplayOptions(const DisplayOptions* display) {
    m_options->source = display;
}

bool TarvoView::reduceMotion() const {
    return m_options->reduceMotion();
}

void TarvoView::setDrawsShadow(bool draws) {
    if (draws == m_drawsShadow)
        return;
    m_drawsShadow = draws;
    m_scene->islandLayer->setShadowOpacity(draws ? islandShadowOpacity : 0);
    m_scene->closeButton->setShadowOpacity(draws ? closeShadowOpacity : 0);
}

TarvoState TarvoView::state() const {
    return m_pendingState.value_or(m_scene->state());
}

void TarvoView::setAnnouncer(Announcer* announcer) {
    m_announcer = announcer;
}

void TarvoView::announceOpened() {
    (m_announcer ? *m_announcer : bridgeAnnouncer())
        .announce(*this, L10n::a11yTarvoOpen(qint64(m_list->size())));
}

void TarvoView::announceLanded(const Item& item) {
    (m_announcer ? *m_announcer : bridgeAnnouncer())
        .announce(*this, L10n::a11yLanded(item.displayName));
}

// --- Snapshots --------------------------------------------------------------

void TarvoView::update(std::vector<Item> items, std::vector<QUuid> selection, TarvoState state,
                       const QSet<QUuid>& animateLanding) {
    update(ItemList::make(std::move(items)), std::move(selection), state, animateLanding);
}

void TarvoView::update(std::shared_ptr<const ItemList> items, std::vector<QUuid> selection,
                       TarvoState state, const QSet<QUuid>& animateLanding) {
    if (!items)
        items = std::make_shared<const ItemList>();
    const std::shared_ptr<const ItemList> shownBefore = std::exchange(m_list, std::move(items));
    m_selection = std::move(selection);
    m_selectionSet = QSet<QUuid>(m_selection.begin(), m_selection.end());
    QSet<QUuid> landing = animateLanding;
    // The first snapshot shows what was stored before in place; later ones
    // land what is new to the view.
    if (landing.isEmpty() && m_hadSnapshot && m_list != shownBefore) {
        for (const Item& item : *m_list) {
            if (!shownBefore->contains(item.id))
                landing.insert(item.id);
        }
    }
    m_hadSnapshot = true;
    // The newest items are at the strip's start.
    if (!landing.isEmpty())
        m_scene->setItemScroll(0);
    syncItemLayers();
    m_scene->setItems(m_list);
    // A landing tile starts from its slot: with one, the view is laid out
    // at once.
    const bool held = m_layoutHolds > 0 && landing.isEmpty();
    bool laidOut = false;
    if (state == m_scene->state()) {
        m_pendingState.reset();
    } else if (isVisible()) {
        // On screen a change of state is the morph's: `setStripState` plays
        // it from what shows now. Should it not come, the state is laid out
        // once the event loop turns.
        m_pendingState = state;
        if (!std::exchange(m_pendingQueued, true)) {
            QMetaObject::invokeMethod(
                this,
                [this] {
                    m_pendingQueued = false;
                    if (m_pendingState)
                        setStripState(*m_pendingState, false);
                },
                Qt::QueuedConnection);
        }
    } else if (held) {
        // Off screen the state is laid out without motion, here when the
        // hold ends.
        m_pendingState = state;
    } else {
        // Off screen the state is laid out at once, without motion.
        m_pendingState.reset();
        pushFields();
        m_scene->setStripState(state, false, Motion::extend());
        laidOut = true;
    }
    if (laidOut) {
        layoutChip();
        shapeChanged();
    } else if (held) {
        m_layoutDue = true;
    } else {
        layoutNow();
    }
    // Once in their slots, so that each lands at its own size. (Reduce Motion
    // is asked only when something lands: the desktop's settings are not
    // read while the shelf stays hidden.)
    if (!landing.isEmpty()) {
        const bool reduce = reduceMotion();
        for (const QUuid& id : landing) {
            if (ItemLayer* layer = itemLayer(id))
                layer->animateLanding(reduce);
        }
    }
    updateAccessibility();
}

void TarvoView::syncItemLayers() {
    // Layers of items gone leave with their removal animation.
    for (auto it = m_itemLayers.begin(); it != m_itemLayers.end();) {
        if (m_list->contains(it->first)) {
            ++it;
            continue;
        }
        m_scene->removeItemLayer(it->first);
        m_thumbnails.remove(it->first);
        m_folders.remove(it->first);
        if (m_hoveredItem == it->first)
            m_hoveredItem.reset();
        const std::weak_ptr<ItemLayer> leaving = it->second;
        it->second->animateRemoval([leaving] {
            if (const auto layer = leaving.lock())
                layer->removeFromSuperlayer();
        });
        it = m_itemLayers.erase(it);
    }
    if (m_hoveredItem && !m_list->contains(*m_hoveredItem))
        m_hoveredItem.reset();
    m_window = {0, 0};
    syncLayerWindow();
    applyItems();
}

std::pair<std::size_t, std::size_t> TarvoView::wantedWindow() const {
    const auto count = qsizetype(m_list->size());
    if (count == 0)
        return {0, 0};
    // The strip's width as the next layout makes it (before the first, the
    // widest the island asks for).
    double strip = m_islandWidth > 0 ? std::min(m_islandWidth, double(width())) : double(width());
    if (strip <= 0)
        strip = ItemLayout::contentWidth(count);
    const double scroll =
        std::clamp(m_scene->itemScroll(), 0.0, ItemLayout::maxScrollOffset(count, strip));
    // A strip's width either side, so that a reflow or a wheel step finds
    // its tiles made, and at least a screenful of them.
    const double page = std::max(strip, ItemLayout::contentWidth(ItemLayout::maxVisible));
    const auto [first, last] =
        ItemLayout::slotsMeeting(-page, strip + page, count, {strip, 0}, scroll);
    return {std::size_t(first), std::size_t(last)};
}

void TarvoView::syncLayerWindow() {
    const std::pair<std::size_t, std::size_t> wanted = wantedWindow();
    if (wanted == m_window && m_itemLayers.size() == wanted.second - wanted.first)
        return;
    m_window = wanted;
    const auto inWindow = [this](const QUuid& id) {
        const std::optional<std::size_t> at = m_list->indexOf(id);
        return at && *at >= m_window.first && *at < m_window.second;
    };
    for (auto it = m_itemLayers.begin(); it != m_itemLayers.end();) {
        if (inWindow(it->first)) {
            ++it;
            continue;
        }
        // Out of the window, not off the shelf: the layer waits for another
        // tile, the picture stays with the provider.
        m_scene->removeItemLayer(it->first);
        m_thumbnails.remove(it->first);
        it->second->removeFromSuperlayer();
        m_spareLayers.push_back(std::move(it->second));
        it = m_itemLayers.erase(it);
    }
    const Color accent = accentColor();
    bool needPictures = false;
    for (std::size_t i = m_window.first; i < m_window.second; ++i) {
        const Item& item = (*m_list)[i];
        if (m_itemLayers.contains(item.id))
            continue;
        std::shared_ptr<ItemLayer> layer;
        if (!m_spareLayers.empty()) {
            layer = std::move(m_spareLayers.back());
            m_spareLayers.pop_back();
            layer->reuse(item.id);
        } else {
            layer = ItemLayer::make(item.id);
        }
        layer->setContentsScale(m_contentsScale);
        m_itemLayers.emplace(item.id, layer);
        m_scene->setItemLayer(item.id, layer);
        applyItem(*layer, item, accent);
        if (m_hoveredItem == item.id)
            layer->setHovered(true, true);
        needPictures = needPictures || !m_thumbnails.contains(item.id);
    }
    // The spares are the layers a window near an end does without: together
    // with the window's never more than the widest window held.
    if (needPictures && onTilesNeedPictures)
        onTilesNeedPictures();
}

std::optional<std::size_t> TarvoView::indexOf(const QUuid& item) const {
    return m_list->indexOf(item);
}

std::vector<Item> TarvoView::tilesWithoutPictures() const {
    std::vector<Item> tiles;
    for (std::size_t i = m_window.first; i < m_window.second && i < m_list->size(); ++i) {
        if (!m_thumbnails.contains((*m_list)[i].id))
            tiles.push_back((*m_list)[i]);
    }
    return tiles;
}

Color TarvoView::accentColor() const {
    const QColor accent = palette().color(QPalette::Highlight);
    return Color::rgb(accent.redF(), accent.greenF(), accent.blueF());
}

void TarvoView::applyItem(ItemLayer& layer, const Item& item, const Color& accent) {
    layer.apply(item, thumbnail(item.id), m_increaseContrast, m_folders.contains(item.id));
    layer.setSelected(m_selectionSet.contains(item.id), accent);
}

void TarvoView::applyItems() {
    const Color accent = accentColor();
    for (std::size_t i = m_window.first; i < m_window.second && i < m_list->size(); ++i) {
        if (ItemLayer* layer = itemLayer((*m_list)[i].id))
            applyItem(*layer, (*m_list)[i], accent);
    }
}

void TarvoView::setThumbnail(const QImage& image, const QUuid& item, bool isFolder) {
    // A tile that scrolled out of the window before its picture came keeps
    // none: the provider holds it for when the tile comes back.
    if (!image.isNull() && !itemLayer(item) && indexOf(item))
        return;
    if (image.isNull())
        m_thumbnails.remove(item);
    else
        m_thumbnails.insert(item, image);
    if (isFolder)
        m_folders.insert(item);
    else
        m_folders.remove(item);
    if (ItemLayer* layer = itemLayer(item)) {
        if (const std::optional<std::size_t> index = indexOf(item))
            layer->apply((*m_list)[*index], thumbnail(item), m_increaseContrast, isFolder);
    }
}

void TarvoView::select(std::vector<QUuid> selection) {
    m_selection = std::move(selection);
    m_selectionSet = QSet<QUuid>(m_selection.begin(), m_selection.end());
    if (!m_selection.empty())
        revealItem(m_selection.back());
    applyItems();
    updateAccessibility();
    layoutChip();
    if (m_delegate)
        m_delegate->tarvoViewSelectionDidChange(*this, m_selection);
}

void TarvoView::revealItem(const QUuid& item) {
    const std::optional<std::size_t> at = indexOf(item);
    if (!at)
        return;
    const double index = double(*at);
    const double scroll = m_scene->itemScroll();
    const double x = index * (ItemLayout::thumbnailSize + ItemLayout::spacing) +
                     ItemLayout::sidePadding - scroll;
    const double w = m_scene->itemsContainer->bounds().width;
    double next = scroll;
    if (x < ItemLayout::sidePadding)
        next -= ItemLayout::sidePadding - x;
    else if (x + ItemLayout::thumbnailSize > w - ItemLayout::sidePadding)
        next += x + ItemLayout::thumbnailSize - (w - ItemLayout::sidePadding);
    if (next == scroll)
        return;
    m_scene->setItemScroll(next);
    layoutContents();
}

void TarvoView::updateAccessibility() {
    if (QAccessible::isActive()) {
        QAccessibleEvent reorder(this, QAccessible::ObjectReorder);
        QAccessible::updateAccessibility(&reorder);
    }
}

std::optional<QUuid> TarvoView::itemAt(Point point) const {
    return m_scene->itemID(point);
}

std::optional<Rect> TarvoView::itemFrame(const QUuid& item) const {
    const std::optional<std::size_t> at = indexOf(item);
    const auto layer = m_itemLayers.find(item);
    const std::optional<ItemLayout::Slot> place =
        at ? m_scene->layout().slot(qsizetype(*at)) : std::nullopt;
    if (!place || layer == m_itemLayers.end() || layer->second->opacity() <= 0 ||
        place->frame.width <= 0)
        return std::nullopt;
    const Rect strip = m_scene->itemsContainer->frame();
    const Rect& slot = place->frame;
    return Rect{strip.x + slot.x, strip.y + slot.y, slot.width, slot.height};
}

qsizetype TarvoView::insertionIndex(Point point) const {
    return m_scene->insertionIndex(point);
}

// --- Fields -----------------------------------------------------------------

void TarvoView::setNotice(const std::optional<QString>& notice) {
    if (notice == m_notice)
        return;
    m_notice = notice;
    layoutChip();
    shapeChanged();
}

bool TarvoView::tabGlowDimmed() const {
    return m_scene->tabGlowDimmed();
}

void TarvoView::setTabGlowDimmed(bool dimmed) {
    if (dimmed == m_scene->tabGlowDimmed())
        return;
    m_scene->setTabGlowDimmed(dimmed);
    layoutContents();
}

void TarvoView::setIncreaseContrast(bool increase) {
    if (increase == m_increaseContrast)
        return;
    m_increaseContrast = increase;
    m_scene->setIncreaseContrast(increase);
    applyItems();
    layoutContents();
}

const QSet<QUuid>& TarvoView::itemsInFlight() const {
    return m_scene->itemsInFlight();
}

void TarvoView::setItemsInFlight(const QSet<QUuid>& items) {
    m_scene->setItemsInFlight(items);
}

bool TarvoView::catchHighlighted() const {
    return m_scene->catchHighlighted();
}

void TarvoView::setCatchHighlight(bool on) {
    m_scene->setCatchHighlight(on);
}

void TarvoView::setClosePressed(bool pressed) {
    m_closeButtonPressed = pressed;
    m_scene->setClosePressed(pressed);
}

void TarvoView::setIslandWidth(double width) {
    if (width == m_islandWidth)
        return;
    m_islandWidth = width;
    layoutContents();
}

void TarvoView::setWindowOrigin(Point origin) {
    m_windowOrigin = origin;
}

double TarvoView::visibleBottom() const {
    return m_scene->visibleBottom();
}

Rect TarvoView::islandRect() const {
    return m_scene->islandRect();
}

Point TarvoView::closeCenter() const {
    return m_scene->closeCenter();
}

double TarvoView::itemScroll() const {
    return m_scene->itemScroll();
}

double TarvoView::requiredWidth() const {
    return m_scene->requiredWidth();
}

double TarvoView::destinationRequiredWidth() const {
    return m_scene->destinationRequiredWidth();
}

// --- Destination row --------------------------------------------------------

Layer& TarvoView::destinationRowLayer() const {
    return *m_scene->destinationRow;
}

void TarvoView::setDestinationRowLayer(std::shared_ptr<Layer> row) {
    m_scene->setDestinationRowLayer(std::move(row));
}

void TarvoView::setDestinationRow(bool hasChips, Size size) {
    m_scene->setDestinationRow(hasChips, size);
    layoutContents();
}

void TarvoView::setDestinationChipLookup(std::function<std::optional<QUuid>(Point)> lookup) {
    m_chipLookup = std::move(lookup);
}

std::optional<QUuid> TarvoView::destinationChip(Point screenPoint) const {
    const Layer& row = *m_scene->destinationRow;
    if (row.opacity() <= 0 || !isVisible() || !m_chipLookup)
        return std::nullopt;
    const Rect frame = row.frame();
    return m_chipLookup(
        {screenPoint.x - m_windowOrigin.x - frame.x, screenPoint.y - m_windowOrigin.y - frame.y});
}

// --- Layout and motion ------------------------------------------------------

void TarvoView::pushFields() {
    IslandScene& s = *m_scene;
    s.setViewSize({double(width()), double(height())});
    s.setWindowOrigin(m_windowOrigin);
    s.setIslandWidth(m_islandWidth);
    s.setShowsEmptyHint(m_showsEmptyHint);
    s.setForcesCloseBadge(m_forcesCloseBadge);
    s.setPointerOverIsland(m_hoveringIsland);
}

void TarvoView::layoutContents() {
    if (m_layoutHolds > 0) {
        m_layoutDue = true;
        return;
    }
    layoutNow();
}

void TarvoView::layoutNow() {
    m_layoutDue = false;
    pushFields();
    syncLayerWindow();
    m_scene->layoutContents();
    layoutChip();
    shapeChanged();
}

void TarvoView::releaseLayout() {
    if (--m_layoutHolds > 0)
        return;
    // The layout reshapes too.
    const bool shapeDue = std::exchange(m_shapeDue, false);
    if (m_pendingState && !m_pendingQueued)
        setStripState(*m_pendingState, false);
    else if (m_layoutDue)
        layoutNow();
    else if (shapeDue)
        shapeChanged();
}

void TarvoView::setStripState(TarvoState state, bool animated) {
    const bool folds = state == TarvoState::tab || state == TarvoState::hidden;
    setStripState(state, animated, folds ? Motion::retract() : Motion::extend());
}

void TarvoView::setStripState(TarvoState state, bool animated, const Motion::Spring& spring) {
    m_pendingState.reset();
    // A morph starts from what shows: what the held changes would have laid out.
    if (animated && m_layoutDue)
        layoutNow();
    m_layoutDue = false;
    pushFields();
    syncLayerWindow();
    m_scene->setStripState(state, animated, spring);
    layoutChip();
    updateAccessibility();
    shapeChanged();
}

bool TarvoView::isDisappearing() const {
    return m_scene->isDisappearing();
}

void TarvoView::cancelDisappear() {
    m_scene->cancelDisappear();
}

void TarvoView::animateAppear() {
    animateAppear(Motion::extend());
}

void TarvoView::animateAppear(const Motion::Spring& spring) {
    m_scene->animateAppear(spring);
    // The island starts above the view: without a compositor the window
    // takes that shape now, or its resting outline shows black until the
    // first frame.
    followPresentedOutline();
}

void TarvoView::animateDisappear(std::function<void()> completion) {
    animateDisappear(Motion::retract(), std::move(completion));
}

void TarvoView::animateDisappear(const Motion::Spring& spring, std::function<void()> completion) {
    m_scene->animateDisappear(spring, std::move(completion));
}

void TarvoView::scrollItems(double delta) {
    // Laid out once, after the window has followed the scroll.
    const double before = m_scene->itemScroll();
    const double largest = ItemLayout::maxScrollOffset(qsizetype(m_list->size()),
                                                       m_scene->itemsContainer->bounds().width);
    if (largest <= 0)
        return;
    m_scene->setItemScroll(std::clamp(before - delta, 0.0, largest));
    if (m_scene->itemScroll() != before)
        layoutContents();
}

// --- Caption chip -----------------------------------------------------------

std::optional<QString> TarvoView::chipText() const {
    if (m_notice)
        return m_notice;
    if (m_scene->state() == TarvoState::tab)
        return std::nullopt;
    auto nameOf = [this](const QUuid& id) -> std::optional<QString> {
        if (const std::optional<std::size_t> index = indexOf(id))
            return (*m_list)[*index].displayName;
        return std::nullopt;
    };
    if (m_hoveredItem) {
        if (auto name = nameOf(*m_hoveredItem))
            return name;
    }
    if (m_selection.size() == 1)
        return nameOf(m_selection.front());
    return std::nullopt;
}

void TarvoView::layoutChip() {
    const std::optional<QString> text = chipText();
    if (!text || text->isEmpty() || m_scene->state() == TarvoState::hidden) {
        m_chip.hide();
        return;
    }
    m_chip.show(*text, width(), m_scene->visibleBottom(), reduceMotion());
}

std::optional<Rect> TarvoView::chipFrame() const {
    return m_chip.frame();
}

std::optional<Rect> TarvoView::clickableChipFrame() const {
    const std::optional<Rect> chip = chipFrame();
    if (!m_noticeIsClickable || !m_notice || !chip)
        return std::nullopt;
    return grown(*chip, chipHitMargin, chipHitMargin);
}

// --- Hit tests and shapes ---------------------------------------------------

bool TarvoView::closeButtonVisible() const {
    return m_scene->closeButton->opacity() > 0;
}

bool TarvoView::overIsland(Point point) const {
    const Rect island = m_scene->islandRect();
    return point.y >= m_scene->visibleBottom() && point.y <= island.maxY() &&
           point.x >= island.minX() - islandHoverMargin &&
           point.x <= island.maxX() + islandHoverMargin;
}

bool TarvoView::hitTest(Point point) const {
    // As the input region, which the window clips: nothing outside the view.
    if (!Rect{0, 0, double(width()), double(height())}.contains(point))
        return false;
    if (closeButtonVisible() && m_scene->layout().closeHitRect.contains(point))
        return true;
    if (const std::optional<Rect> chip = clickableChipFrame(); chip && chip->contains(point))
        return true;
    const Rect island = m_scene->islandRect();
    // The folded tab answers where it is drawn: a click there opens it.
    if (m_scene->state() == TarvoState::tab)
        return island.contains(point);
    // An empty resting shelf takes clicks too: its menu offers to paste.
    return m_scene->state() == TarvoState::resting && point.y >= m_scene->visibleBottom() &&
           point.x >= island.minX() - islandHitMargin && point.x < island.maxX() + islandHitMargin;
}

QRegion TarvoView::inputRegion() const {
    if (m_scene->state() == TarvoState::dragging)
        return QRegion(rect());
    QRegion region;
    const Rect island = m_scene->islandRect();
    const double bottom = m_scene->visibleBottom();
    if (m_scene->state() == TarvoState::resting) {
        region +=
            qtRect(*this, {island.x - islandHitMargin, bottom, island.width + 2 * islandHitMargin,
                           std::max(height() - bottom, 0.0)})
                .toAlignedRect();
    }
    if (m_scene->state() == TarvoState::tab)
        region += qtRect(*this, island).toAlignedRect();
    if (closeButtonVisible())
        region += qtRect(*this, m_scene->layout().closeHitRect).toAlignedRect();
    if (const std::optional<Rect> chip = clickableChipFrame())
        region += qtRect(*this, *chip).toAlignedRect();
    return region & rect();
}

QPainterPath TarvoView::islandOutline() const {
    return m_scene->islandLayer->path();
}

QPainterPath TarvoView::outlinePath() const {
    QTransform flip;
    flip.translate(0, height());
    flip.scale(1, -1);
    return flip.map(islandOutline());
}

std::vector<QPainterPath> TarvoView::presentedOutline() const {
    // A layer's presented path is drawn where the layer is presented: moved
    // by the slide's offset from its resting place.
    auto moved = [](const QPainterPath& path, const Layer& layer, const LayerProperties& shown) {
        const Point rest = layer.position();
        return path.translated(shown.position.x - rest.x, shown.position.y - rest.y);
    };
    const Layer& island = *m_scene->islandLayer;
    const LayerProperties shownIsland = island.presentation();
    std::vector<QPainterPath> parts{moved(shownIsland.path, island, shownIsland)};
    if (closeButtonVisible()) {
        const Layer& close = *m_scene->closeButton;
        parts.push_back(moved(m_scene->layout().closePath, close, close.presentation()));
    }
    if (m_chip.isShowing()) {
        const LayerProperties chip = m_chip.layer()->presentation();
        const Rect frame = chip.frame();
        QPainterPath capsule;
        capsule.addRoundedRect(QRectF(frame.x, frame.y, frame.width, frame.height),
                               chip.cornerRadius, chip.cornerRadius);
        parts.push_back(capsule);
    }
    return parts;
}

void TarvoView::followPresentedOutline() {
    if (onOutlineMoved && presentedOutline() != m_shapedOutline)
        onOutlineMoved();
}

QRegion TarvoView::outlineRegion(double ratio) const {
    m_shapedOutline = presentedOutline();
    const std::vector<QPainterPath>& parts = m_shapedOutline;
    // The shape is drawn as the painter draws it, antialiased, and every
    // pixel it tints is taken: a region made from the outline's polygon
    // takes only the pixels whose centres lie inside and cuts the rim to a
    // flat, jagged edge.
    const QSize pixels = (QSizeF(size()) * ratio).toSize();
    if (pixels.isEmpty())
        return {};
    QImage coverage(pixels, QImage::Format_Alpha8);
    coverage.fill(0);
    {
        QPainter painter(&coverage);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(ratio, ratio);
        painter.translate(0, height());
        painter.scale(1, -1);
        // One at a time: paths of opposite directions that overlap would
        // cancel out as one path.
        for (const QPainterPath& part : parts)
            painter.fillPath(part, Qt::black);
    }
    QList<QRect> runs;
    for (int y = 0; y < pixels.height(); ++y) {
        const uchar* row = coverage.constScanLine(y);
        for (int x = 0; x < pixels.width();) {
            if (!row[x]) {
                ++x;
                continue;
            }
            const int start = x;
            while (x < pixels.width() && row[x])
                ++x;
            runs.push_back(QRect(start, y, x - start, 1));
        }
    }
    QRegion region;
    region.setRects(runs.constData(), int(runs.size()));
    return region;
}

void TarvoView::shapeChanged() {
    QWidget::update();
    if (m_layoutHolds > 0) {
        m_shapeDue = true;
        return;
    }
    if (onShapeChanged)
        onShapeChanged();
}

// --- Painting ---------------------------------------------------------------

void TarvoView::updateContentsScale() {
    const QWidget* top = window();
    const double scale = top && top->windowHandle() ? devicePixelRatioF() : 2.0;
    if (scale == m_contentsScale)
        return;
    m_contentsScale = scale;
    m_scene->setContentsScale(scale);
    m_chip.label()->setContentsScale(scale);
    for (const auto& [id, layer] : m_itemLayers)
        layer->setContentsScale(scale);
    for (const std::shared_ptr<ItemLayer>& layer : m_spareLayers)
        layer->setContentsScale(scale);
}

bool TarvoView::event(QEvent* event) {
    switch (event->type()) {
    case QEvent::Show:
        // The desktop's settings are read when the view shows: the first
        // read brings up GIO's settings machinery, which a hidden shelf
        // does without.
        if (m_options->source)
            setIncreaseContrast(m_options->increaseContrast());
        updateContentsScale();
        break;
    case QEvent::ScreenChangeInternal:
    case QEvent::WinIdChange:
        updateContentsScale();
        break;
    default:
        break;
    }
    return QWidget::event(event);
}

void TarvoView::dropPictures() {
    rootLayer()->dropCachedPixels();
    m_painter.dropCachedPixels();
}

int TarvoView::layersWithPictures() const {
    std::function<int(const Layer&)> count = [&count](const Layer& layer) {
        int n = layer.hasCachedPixels() ? 1 : 0;
        for (const std::shared_ptr<Layer>& sublayer : layer.sublayers())
            n += count(*sublayer);
        if (const Layer* mask = layer.mask())
            n += count(*mask);
        return n;
    };
    return count(*rootLayer()) + m_painter.cachedShadowCount();
}

void TarvoView::paintEvent(QPaintEvent*) {
    // A move to a screen of another scale may reach the view first as a
    // paint at the new ratio.
    updateContentsScale();
    QPainter painter(this);
    m_painter.paint(painter, *rootLayer(), height(), devicePixelRatioF());
}

void TarvoView::resizeEvent(QResizeEvent*) {
    // A hidden view hears of its size when it shows, after its owner laid
    // it out for that size.
    if (m_scene->viewSize() == Size{double(width()), double(height())})
        return;
    layoutContents();
}

} // namespace tarvo
