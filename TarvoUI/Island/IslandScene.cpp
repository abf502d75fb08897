#include "IslandScene.h"

#include "Animator.h"

#include "TarvoCore/L10n.h"
#include "TarvoPlatform/DisplayOptions.h"

#include <algorithm>
#include <cmath>

namespace tarvo {

namespace {

// Beyond this shift of the window a morph would sweep across the screen.
constexpr double largestMorphShift = 200;
constexpr double catchDuration = 0.14;

double opacityOnScreen(const Layer& layer) {
    return layer.presentation().opacity;
}

Point shifted(Point p, double dx, double dy) {
    return {p.x + dx, p.y + dy};
}

} // namespace

IslandScene::IslandScene(Animator& animator, const DisplayOptions& display)
    : m_animator(animator), m_display(display), m_root(Layer::make()) {
    m_root->name = "root";
    m_root->setAnchorPoint({0, 0});
    m_root->setAnimator(&m_animator);
    m_layoutItem = [](Layer& layer, const Rect& slot) { layer.setFrame(slot); };
    build();
}

IslandScene::~IslandScene() = default;

void IslandScene::build() {
    islandLayer = ShapeLayer::make();
    islandLayer->name = "island";
    islandLayer->setFillColor(Color::rgb(0.039, 0.039, 0.043));
    islandLayer->setShadow(Color::rgb(0.02, 0.04, 0.08), 0.38, 16, {0, -9});
    m_root->addSublayer(islandLayer);

    itemsContainer = Layer::make();
    itemsContainer->name = "items";
    itemsFade = GradientLayer::make();
    itemsFade->name = "items-fade";
    itemsFade->setPoints({0, 0.5}, {1, 0.5});
    itemsContainer->setMask(itemsFade);
    m_root->addSublayer(itemsContainer);

    emptyLabel = TextLayer::make();
    emptyLabel->name = "empty-hint";
    emptyLabel->setFont(12.5, FontWeight::medium);
    emptyLabel->setAlignment(TextAlignment::center);
    emptyLabel->setOpacity(0);
    m_root->addSublayer(emptyLabel);

    destinationRow = Layer::make();
    destinationRow->name = "destinations";
    destinationRow->setOpacity(0);
    m_root->addSublayer(destinationRow);

    faceLift = ShapeLayer::make();
    faceLift->name = "face-lift";
    faceLift->setFillColor(Color::white(1.0, 0.055));
    faceLift->setOpacity(0);
    faceLiftMask = ShapeLayer::make();
    faceLiftMask->name = "face-lift-mask";
    faceLift->setMask(faceLiftMask);
    m_root->addSublayer(faceLift);

    closeButton = ShapeLayer::make();
    closeButton->name = "close";
    closeButton->setFillColor(Color::rgb(0.16, 0.16, 0.18));
    closeButton->setShadow(Color::rgb(0, 0, 0), 0.35, 4, {0, -2});
    closeButton->setOpacity(0);
    closeGlyph = ShapeLayer::make();
    closeGlyph->name = "close-glyph";
    closeGlyph->setStrokeColor(Color::white(1.0, 0.92));
    closeGlyph->setFillColor(Color::clear());
    closeGlyph->setLineWidth(1.5);
    closeGlyph->setLineCap(LineCap::round);
    closeButton->addSublayer(closeGlyph);
    m_root->addSublayer(closeButton);

    tabGlow = Layer::make();
    tabGlow->name = "tab-glow";
    tabGlow->setBackgroundColor(Color::white(1.0, 0.45));
    tabGlow->setCornerRadius(1.5);
    tabGlow->setOpacity(0);
    m_root->addSublayer(tabGlow);

    tabRow = Layer::make();
    tabRow->name = "tab-row";
    tabRow->setOpacity(0);
    tabCount = TextLayer::make();
    tabCount->setFont(11, FontWeight::semibold);
    tabCount->setAlignment(TextAlignment::center);
    tabRow->addSublayer(tabCount);
    m_root->addSublayer(tabRow);
}

void IslandScene::setViewSize(Size size) {
    m_viewSize = size;
}

void IslandScene::setDestinationRow(bool hasChips, Size size) {
    m_hasDestinations = hasChips;
    m_destinationRowSize = size;
}

void IslandScene::setDestinationRowLayer(std::shared_ptr<Layer> row) {
    if (!row || row == destinationRow)
        return;
    const auto& siblings = m_root->sublayers();
    const auto at = std::find(siblings.begin(), siblings.end(), destinationRow);
    const auto index = static_cast<std::size_t>(at - siblings.begin());
    row->setFrame(destinationRow->frame());
    row->setOpacity(destinationRow->opacity());
    destinationRow->removeFromSuperlayer();
    m_root->insertSublayer(row, index);
    destinationRow = std::move(row);
}

void IslandScene::setTabGlowDimmed(bool dimmed) {
    if (dimmed == m_tabGlowDimmed)
        return;
    m_tabGlowDimmed = dimmed;
    if (m_state == TarvoState::tab && tabGlow->opacity() > 0)
        fade(*tabGlow, dimmed ? IslandLayout::dimmedTabGlowOpacity : 1.0, Motion::fadeDuration,
             "fade");
}

void IslandScene::setContentsScale(double scale) {
    for (Layer* layer :
         {m_root.get(), static_cast<Layer*>(emptyLabel.get()), static_cast<Layer*>(tabCount.get())})
        layer->setContentsScale(scale);
}

void IslandScene::setItems(std::shared_ptr<const ItemList> items) {
    m_items.clear();
    m_itemIndex.clear();
    m_list = std::move(items);
}

std::size_t IslandScene::itemCount() const {
    return m_list ? m_list->size() : m_items.size();
}

QUuid IslandScene::itemAt(std::size_t index) const {
    return m_list ? (*m_list)[index].id : m_items[index];
}

std::optional<std::size_t> IslandScene::ownIndexOf(const QUuid& id) const {
    if (m_list)
        return m_list->indexOf(id);
    const auto found = m_itemIndex.constFind(id);
    if (found == m_itemIndex.constEnd())
        return std::nullopt;
    return *found;
}

void IslandScene::setItems(std::vector<QUuid> items) {
    m_list.reset();
    m_items = std::move(items);
    m_itemIndex.clear();
    if (m_indexLookup)
        return;
    m_itemIndex.reserve(qsizetype(m_items.size()));
    for (std::size_t i = 0; i < m_items.size(); ++i)
        m_itemIndex.insert(m_items[i], i);
}

void IslandScene::setItemLayer(const QUuid& id, std::shared_ptr<Layer> layer) {
    if (auto it = m_itemLayers.find(id); it != m_itemLayers.end() && it->second != layer)
        it->second->removeFromSuperlayer();
    if (layer && layer->superlayer() != itemsContainer.get())
        itemsContainer->addSublayer(layer);
    m_itemLayers[id] = std::move(layer);
}

void IslandScene::removeItemLayer(const QUuid& id) {
    m_itemLayers.erase(id);
    m_placed.erase(id);
}

void IslandScene::setItemLayoutHandler(std::function<void(Layer&, const Rect&)> handler) {
    if (handler)
        m_layoutItem = std::move(handler);
}

void IslandScene::scrollItems(double delta) {
    const double largest = ItemLayout::maxScrollOffset(static_cast<qsizetype>(itemCount()),
                                                       itemsContainer->bounds().width);
    if (largest <= 0)
        return;
    m_itemScroll = std::clamp(m_itemScroll - delta, 0.0, largest);
    layoutContents();
}

void IslandScene::setItemScroll(double scroll) {
    m_itemScroll = scroll;
}

double IslandScene::destinationRequiredWidth() const {
    return IslandLayout::destinationRequiredWidth(m_hasDestinations, m_destinationRowSize);
}

double IslandScene::requiredWidth() const {
    return IslandLayout::requiredWidth(static_cast<qsizetype>(itemCount()));
}

bool IslandScene::reduceMotion() const {
    return m_display.reduceMotion();
}

void IslandScene::layoutContents() {
    Transaction transaction(m_animator);
    IslandLayout::Input input;
    input.viewSize = m_viewSize;
    input.state = m_state;
    input.islandWidth = m_islandWidth;
    input.itemCount = static_cast<qsizetype>(itemCount());
    input.hasDestinations = m_hasDestinations;
    input.destinationRowSize = m_destinationRowSize;
    input.itemScroll = m_itemScroll;
    input.showsEmptyHint = m_showsEmptyHint;
    input.forcesCloseBadge = m_forcesCloseBadge;
    input.pointerOverIsland = m_pointerOverIsland;
    input.tabGlowDimmed = m_tabGlowDimmed;
    m_layout = IslandLayout::layout(input);
    const IslandLayout::Layout& l = m_layout;
    m_itemScroll = l.itemScroll;

    const Rect view{0, 0, m_viewSize.width, m_viewSize.height};
    m_root->setFrame(view);
    for (Layer* layer :
         {static_cast<Layer*>(islandLayer.get()), static_cast<Layer*>(faceLift.get()),
          static_cast<Layer*>(closeButton.get())})
        layer->setFrame(view);
    faceLiftMask->setFrame(view);
    closeGlyph->setFrame(view);

    islandLayer->setPath(l.outline);
    islandLayer->setShadowPath(l.outline);
    faceLift->setPath(l.outline);
    applyContrast();

    itemsContainer->setFrame(l.stripFrame);
    itemsContainer->setBounds({0, 0, l.stripFrame.width, l.stripFrame.height});
    m_placed.clear();
    // Only the items with a layer are placed: a long shelf has layers for
    // the tiles near the view alone.
    for (const auto& [id, layer] : m_itemLayers) {
        const std::optional<std::size_t> index = m_indexLookup ? m_indexLookup(id) : ownIndexOf(id);
        const std::optional<ItemLayout::Slot> slot =
            index ? l.slot(static_cast<qsizetype>(*index)) : std::nullopt;
        if (!layer || !slot)
            continue;
        m_placed.insert(id);
        m_layoutItem(*layer, slot->frame);
        layer->setOpacity(IslandLayout::itemOpacity(m_state, m_itemsInFlight.contains(id)));
    }
    layoutItemFades(l.maxScroll);

    emptyLabel->setString(L10n::text(QStringLiteral("tarvo.dropHere")));
    emptyLabel->setFrame(l.emptyLabelFrame);
    emptyLabel->setOpacity(l.emptyLabelOpacity);

    tabRow->setFrame(l.tabRowFrame);
    tabRow->setOpacity(0);

    destinationRow->setFrame(l.destinationRowFrame);
    destinationRow->setOpacity(l.rowOpacity);

    faceLiftMask->setPath(l.faceLiftMask);

    tabGlow->setOpacity(l.tabGlowOpacity);
    if (l.tabGlowOpacity > 0)
        tabGlow->setFrame(l.tabGlowFrame);

    closeButton->setPath(l.closePath);
    closeButton->setShadowPath(l.closePath);
    closeGlyph->setPath(l.closeGlyph);
    closeButton->setOpacity(l.closeOpacity);

    m_lastWindowOrigin = m_windowOrigin;
}

void IslandScene::applyContrast() {
    const bool strong = m_increaseContrast;
    // The rim keeps the dark island apart from a dark desktop behind it.
    islandLayer->setStrokeColor(strong ? Color::white(1.0, 0.55) : Color::clear());
    islandLayer->setLineWidth(strong ? 1.5 : 0);
    faceLift->setFillColor(Color::white(1.0, strong ? 0.14 : 0.055));
    emptyLabel->setForegroundColor(Color::white(1.0, strong ? 1.0 : 0.92));
    closeGlyph->setStrokeColor(Color::white(1.0, strong ? 1.0 : 0.92));
    tabGlow->setBackgroundColor(Color::white(1.0, strong ? 0.9 : 0.45));
}

void IslandScene::layoutItemFades(double maxScroll) {
    const Rect bounds = itemsContainer->bounds();
    itemsFade->setFrame(bounds);
    const bool left = m_itemScroll > 0.5;
    const bool right = m_itemScroll < maxScroll - 0.5;
    const double f = IslandLayout::endFadeWidth / std::max(bounds.width, 1.0);
    const Color opaque = Color::white(0, 1);
    const Color clear = Color::white(0, 0);
    itemsFade->setColors({left ? clear : opaque, opaque, opaque, right ? clear : opaque});
    itemsFade->setLocations({0, left ? f : 0, right ? 1 - f : 1, 1});
}

void IslandScene::fade(Layer& layer, double to, double duration, const char* key) {
    const double from = opacityOnScreen(layer);
    if (from != to)
        layer.addAnimation(
            Motion::timed(KeyPath::opacity, from, to, duration, TimingCurve::easeOut()), key);
    layer.setOpacity(to);
}

void IslandScene::setItemsInFlight(const QSet<QUuid>& items) {
    if (items == m_itemsInFlight)
        return;
    m_itemsInFlight = items;
    for (const auto& [id, layer] : m_itemLayers) {
        if (!layer || opacityOnScreen(*layer) <= 0)
            continue;
        const double target = items.contains(id) ? IslandLayout::inFlightOpacity : 1.0;
        fade(*layer, target, Motion::fadeDuration, "fade");
    }
}

void IslandScene::setCatchHighlight(bool on) {
    if (on == m_catchHighlighted)
        return;
    m_catchHighlighted = on;
    fade(*faceLift, on ? 1 : 0, catchDuration, "fade");
}

void IslandScene::setClosePressed(bool pressed) {
    fade(*closeButton, pressed ? 0.6 : 1.0, Motion::pressDuration, "press");
}

std::optional<QUuid> IslandScene::itemID(Point point) const {
    const Rect frame = itemsContainer->frame();
    const Point local{point.x - frame.x, point.y - frame.y};
    if (local.x < 0 || local.x > frame.width)
        return std::nullopt;
    const auto count = static_cast<qsizetype>(itemCount());
    const auto index = ItemLayout::slotIndex(local, count, frame.size(), m_itemScroll);
    if (!index || *index >= count)
        return std::nullopt;
    return itemAt(static_cast<std::size_t>(*index));
}

qsizetype IslandScene::insertionIndex(Point point) const {
    const Rect frame = itemsContainer->frame();
    const Point local{point.x - frame.x, point.y - frame.y};
    return ItemLayout::insertionIndex(local, static_cast<qsizetype>(itemCount()), frame.size(),
                                      m_itemScroll);
}

std::vector<Layer*> IslandScene::ridingLayers() const {
    return {islandLayer.get(), emptyLabel.get(),  tabRow.get(),         tabGlow.get(),
            faceLift.get(),    closeButton.get(), destinationRow.get(), itemsContainer.get()};
}

void IslandScene::setStripState(TarvoState state, bool animated, const Motion::Spring& spring) {
    // 1. What is on screen now.
    const QPainterPath oldPath = islandLayer->presentation().path;
    const Point oldOrigin = m_lastWindowOrigin;
    struct ItemBefore {
        Point position;
        double opacity;
    };
    std::map<QUuid, ItemBefore> itemsBefore;
    bool itemsWereVisible = false;
    // Only a layer that has had a slot was anywhere on screen.
    for (const auto& [id, layer] : m_itemLayers) {
        if (!layer || !m_placed.count(id))
            continue;
        const LayerProperties shown = layer->presentation();
        itemsBefore[id] = {shown.position, shown.opacity};
        itemsWereVisible = itemsWereVisible || shown.opacity > 0;
    }
    const Point oldContainer = itemsContainer->presentation().position;
    std::vector<std::pair<Layer*, double>> opacities;
    for (Layer* layer : ridingLayers())
        opacities.emplace_back(layer, opacityOnScreen(*layer));
    for (const auto& [id, before] : itemsBefore)
        opacities.emplace_back(m_itemLayers[id].get(), before.opacity);

    // 2. Items reflow with their own spring when only the content changed.
    const Motion::Spring& itemSpring = state == m_state ? Motion::reflow() : spring;

    // 3. The new model.
    m_state = state;
    layoutContents();

    // 4, 5. No motion when asked for none or after a long jump of the window.
    if (!animated)
        return;
    const double dx = oldOrigin.x - m_lastWindowOrigin.x;
    const double dy = oldOrigin.y - m_lastWindowOrigin.y;
    if (std::abs(dx) >= largestMorphShift || std::abs(dy) >= largestMorphShift)
        return;
    const bool reduce = reduceMotion();

    // 6. The outline.
    const QPainterPath& newPath = islandLayer->path();
    if (!oldPath.isEmpty() && !newPath.isEmpty()) {
        const QPainterPath from = oldPath.translated(dx, dy);
        if (!sameValue(from, newPath)) {
            islandLayer->addAnimation(
                *Motion::animation(spring, KeyPath::path, from, newPath, reduce), "morph");
            islandLayer->addAnimation(
                *Motion::animation(spring, KeyPath::shadowPath, from, newPath, reduce),
                "morph-shadow");
        }
    }

    // 7. The strip as a whole.
    const Point newContainer = itemsContainer->position();
    if (itemsWereVisible && !(oldContainer == newContainer)) {
        itemsContainer->addAnimation(*Motion::animation(spring, KeyPath::position,
                                                        shifted(oldContainer, dx, dy), newContainer,
                                                        reduce),
                                     "extend");
    }

    // 8. Each item that stays visible moves from where it was.
    for (const auto& [id, layer] : m_itemLayers) {
        if (!layer)
            continue;
        const auto before = itemsBefore.find(id);
        if (before == itemsBefore.end())
            continue;
        const Point start = shifted(before->second.position, dx, dy);
        const Point end = layer->position();
        if (start == end || layer->opacity() <= 0 || before->second.opacity <= 0 ||
            layer->animation("land-position"))
            continue;
        layer->addAnimation(*Motion::animation(itemSpring, KeyPath::position, start, end, reduce),
                            "extend");
    }

    // 9. Whatever changed its opacity fades, Reduce Motion or not.
    for (const auto& [layer, before] : opacities) {
        const double after = layer->opacity();
        if (after != before) {
            layer->addAnimation(Motion::timed(KeyPath::opacity, before, after, Motion::fadeDuration,
                                              TimingCurve::easeOut()),
                                "fade");
        }
    }
}

void IslandScene::animateAppear(const Motion::Spring& spring) {
    cancelDisappear();
    const double lift = m_viewSize.height - m_layout.visibleBottom;
    if (lift <= 0)
        return;
    const bool reduce = reduceMotion();
    for (Layer* layer : ridingLayers()) {
        const Point p = layer->position();
        layer->addAnimation(
            *Motion::animation(spring, KeyPath::position, Point{p.x, p.y + lift}, p, reduce),
            "appear");
    }
}

void IslandScene::animateDisappear(const Motion::Spring& spring, std::function<void()> completion) {
    const double lift = m_viewSize.height - m_layout.visibleBottom;
    const std::vector<Layer*> riding = ridingLayers();
    if (lift <= 0 || riding.empty()) {
        if (completion)
            completion();
        return;
    }
    if (m_hideCaptionChip)
        m_hideCaptionChip();
    Transaction transaction(m_animator);
    transaction.setCompletion(std::move(completion));
    const bool reduce = reduceMotion();
    for (Layer* layer : riding) {
        const Point p = layer->position();
        auto away = Motion::animation(spring, KeyPath::position, p, Point{p.x, p.y + lift}, reduce);
        away->removedOnCompletion = false;
        away->fillMode = FillMode::forwards;
        layer->addAnimation(*away, "disappear");
    }
    transaction.commit();
}

void IslandScene::cancelDisappear() {
    for (Layer* layer : ridingLayers())
        layer->removeAnimation("disappear");
}

bool IslandScene::isDisappearing() const {
    const std::vector<Layer*> riding = ridingLayers();
    return std::any_of(riding.begin(), riding.end(),
                       [](const Layer* layer) { return layer->animation("disappear"); });
}

} // namespace tarvo
