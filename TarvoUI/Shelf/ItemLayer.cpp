#include "ItemLayer.h"

#include "Animator.h"
#include "GradientLayer.h"
#include "Motion.h"

#include "TarvoCore/ItemLayout.h"

#include <QPainterPath>

#include <algorithm>
#include <numbers>

namespace tarvo {

namespace {

constexpr double tileRadius = 14;
constexpr double ringGrowth = 2;
constexpr double ringRadius = 16;
constexpr double progressDiameter = 18;
constexpr double glyphSize = 22;
constexpr double dotSize = 5;
constexpr double unknownProgressArc = 0.25;
constexpr double hoverScale = 1.04;
constexpr double pressScale = 0.96;
constexpr double hoverDuration = 0.12;
constexpr double pressDuration = 0.08;
constexpr double bloomGrowth = 16;
constexpr double bloomDuration = 0.34;
constexpr double labelDelay = 0.12;
constexpr double labelFadeDuration = 0.16;
constexpr const char* spinKey = "spin";

QPainterPath roundedRect(const Rect& rect, double radius) {
    QPainterPath path;
    path.addRoundedRect(QRectF(rect.x, rect.y, rect.width, rect.height), radius, radius);
    return path;
}

// A warning triangle with an exclamation mark, in a square of `size` points.
QPainterPath warningTriangle(double size) {
    QPainterPath path;
    path.moveTo(size / 2, size - 2);
    path.lineTo(size - 1, 2);
    path.lineTo(1, 2);
    path.closeSubpath();
    // The mark is cut out of the triangle.
    path.addRoundedRect(QRectF(size / 2 - 1.25, size * 0.38, 2.5, size * 0.3), 1.25, 1.25);
    path.addEllipse(QPointF(size / 2, size * 0.26), 1.4, 1.4);
    return path;
}

} // namespace

std::shared_ptr<ItemLayer> ItemLayer::make(const QUuid& itemID) {
    std::shared_ptr<ItemLayer> layer(new ItemLayer(itemID));
    layer->build();
    return layer;
}

ItemLayer::ItemLayer(const QUuid& itemID) : m_itemID(itemID) {}

void ItemLayer::build() {
    name = "item";
    // The name under the tile, the landing bloom, the hover swell and the
    // shadow stay within this much of the tile.
    setPaintReach(32);
    well = Layer::make();
    well->setBackgroundColor(Color::white(1, 0.07));
    well->setCornerRadius(tileRadius);

    thumbnail = Layer::make();
    thumbnail->setCornerRadius(tileRadius);
    thumbnail->setShadow(Color::white(0), 0.4, 2, {0, -1});
    content = Layer::make();
    content->setCornerRadius(tileRadius);
    content->setMasksToBounds(true);
    content->setContentsGravity(ContentsGravity::resizeAspectFill);
    thumbnail->addSublayer(content);

    dim = Layer::make();
    dim->setBackgroundColor(Color::white(0, 0.62));
    dim->setCornerRadius(tileRadius);
    dim->setOpacity(0);

    selectionRing = ShapeLayer::make();
    selectionRing->setFillColor(Color::clear());
    selectionRing->setLineWidth(2);
    selectionRing->setOpacity(0);

    progressRing = ShapeLayer::make();
    progressRing->setFillColor(Color::clear());
    progressRing->setLineWidth(2);
    progressRing->setLineCap(LineCap::round);
    progressRing->setStrokeColor(Color::white(1, 0.7));
    progressRing->setOpacity(0);

    failureGlyph = ShapeLayer::make();
    failureGlyph->setFillColor(Color::white(1));
    failureGlyph->setPath(warningTriangle(glyphSize));
    failureGlyph->setOpacity(0);

    nameLabel = TextLayer::make();
    nameLabel->setFont(10, FontWeight::medium);
    nameLabel->setAlignment(TextAlignment::center);
    nameLabel->setTruncation(Truncation::end);
    nameLabel->setForegroundColor(Color::white(1, 0.85));

    typeBadge = Layer::make();
    typeBadge->setBackgroundColor(Color::white(0, 0.62));
    typeBadge->setCornerRadius(3);
    typeBadge->setOpacity(0);
    typeBadgeText = TextLayer::make();
    typeBadgeText->setFont(7, FontWeight::bold);
    typeBadgeText->setAlignment(TextAlignment::center);
    typeBadgeText->setForegroundColor(Color::white(1));
    typeBadge->addSublayer(typeBadgeText);

    pinnedDot = Layer::make();
    pinnedDot->setBackgroundColor(Color::rgb(0.184, 0.357, 0.918));
    pinnedDot->setCornerRadius(dotSize / 2);
    pinnedDot->setOpacity(0);

    for (const std::shared_ptr<Layer>& layer : std::initializer_list<std::shared_ptr<Layer>>{
             well, thumbnail, dim, selectionRing, progressRing, failureGlyph, nameLabel, typeBadge,
             pinnedDot})
        addSublayer(layer);
    setContentsScale(2);
}

void ItemLayer::reuse(const QUuid& itemID) {
    m_itemID = itemID;
    removeBloom();
    removeAllAnimations();
    for (Layer* layer :
         {static_cast<Layer*>(well.get()), thumbnail.get(), content.get(), dim.get(),
          static_cast<Layer*>(selectionRing.get()), static_cast<Layer*>(progressRing.get()),
          static_cast<Layer*>(failureGlyph.get()), static_cast<Layer*>(nameLabel.get()),
          typeBadge.get(), static_cast<Layer*>(typeBadgeText.get()), pinnedDot.get()})
        layer->removeAllAnimations();
    setOpacity(1);
    setTransform(Transform());
    content->setContents(QImage(), 2);
    m_isSelected = false;
    selectionRing->setOpacity(0);
    m_isHovered = false;
    m_isPressed = false;
    applyTouchState(true);
}

void ItemLayer::setContentsScale(double scale) {
    Layer::setContentsScale(scale);
    for (Layer* layer :
         {static_cast<Layer*>(thumbnail.get()), content.get(), dim.get(),
          static_cast<Layer*>(nameLabel.get()), static_cast<Layer*>(failureGlyph.get()),
          static_cast<Layer*>(typeBadgeText.get())})
        layer->setContentsScale(scale);
}

void ItemLayer::layout(const Rect& slot) {
    // A layout pass gives most tiles the slot they had: nothing to redo.
    if (m_laidOut && frame() == slot)
        return;
    m_laidOut = true;
    layoutParts(slot);
}

void ItemLayer::layoutParts(const Rect& slot) {
    const double w = slot.width;
    const double h = slot.height;
    setFrame(slot);
    const Rect tile{0, 0, w, h};
    well->setFrame(tile);
    thumbnail->setFrame(tile);
    dim->setFrame(tile);
    content->setFrame(thumbnail->bounds());
    thumbnail->setShadowPath(roundedRect(tile, tileRadius));

    selectionRing->setFrame(bounds());
    selectionRing->setPath(roundedRect(
        {-ringGrowth, -ringGrowth, w + 2 * ringGrowth, h + 2 * ringGrowth}, ringRadius));
    progressRing->setFrame(bounds());
    // Starts at the top and runs clockwise as seen; the layer's space has y
    // upwards, so the angles are mirrored.
    const QRectF ring(w / 2 - progressDiameter / 2, h / 2 - progressDiameter / 2, progressDiameter,
                      progressDiameter);
    QPainterPath circle;
    circle.arcMoveTo(ring, -90);
    circle.arcTo(ring, -90, 360);
    progressRing->setPath(circle);

    failureGlyph->setFrame({(w - glyphSize) / 2, (h - glyphSize) / 2, glyphSize, glyphSize});
    pinnedDot->setFrame({w - 9, h - 9, dotSize, dotSize});
    const double badgeWidth = std::max(5.0 * double(m_typeText.size()) + 7, 16.0);
    typeBadge->setFrame({4, h - 16, badgeWidth, 12});
    typeBadgeText->setFrame({0, 1.5, badgeWidth, 9});
    nameLabel->setFrame({-6, -14, w + 12, 12});
}

void ItemLayer::apply(const Item& item, const std::optional<QImage>& image, bool increaseContrast,
                      bool isFolder) {
    m_increaseContrast = increaseContrast;
    pinnedDot->setOpacity(item.pinned ? 1 : 0);
    content->setContents(image ? *image : QImage(), 2);
    nameLabel->setString(ItemLayout::tileName(item.displayName));
    nameLabel->setForegroundColor(Color::white(1, increaseContrast ? 1.0 : 0.85));
    thumbnail->setBorder(increaseContrast ? Color::white(1, 0.6) : Color::clear(),
                         increaseContrast ? 1 : 0);
    const QString type = ItemLayout::typeLabel(item, isFolder);
    if (type != m_typeText) {
        m_typeText = type;
        if (bounds().width > 0)
            layoutParts(frame());
    }
    typeBadgeText->setString(m_typeText);
    typeBadge->setOpacity(m_typeText.isEmpty() ? 0 : 1);
    thumbnail->setBackgroundColor(Color::clear());

    if (const auto* receiving = std::get_if<ItemState::Receiving>(&item.state.value)) {
        failureGlyph->setOpacity(0);
        dim->setOpacity(1);
        progressRing->setOpacity(1);
        // The arc shows the progress alone; without a known progress it is a
        // fixed short arc that turns.
        if (receiving->progress) {
            progressRing->setStrokeEnd(std::clamp(*receiving->progress, 0.0, 1.0));
            progressRing->removeAnimation(spinKey);
        } else {
            progressRing->setStrokeEnd(unknownProgressArc);
            spin();
        }
    } else if (item.state.is<ItemState::Failed>()) {
        progressRing->setOpacity(0);
        progressRing->removeAnimation(spinKey);
        dim->setOpacity(1);
        failureGlyph->setOpacity(1);
    } else {
        progressRing->setOpacity(0);
        failureGlyph->setOpacity(0);
        dim->setOpacity(0);
        progressRing->removeAnimation(spinKey);
    }
}

void ItemLayer::spin() {
    if (progressRing->animation(spinKey))
        return;
    BasicAnimation turn(KeyPath::transformRotationZ, LayerValue(0.0),
                        LayerValue(-2 * std::numbers::pi), 1.0);
    turn.repeatCount = Animation::infinite;
    progressRing->addAnimation(turn, spinKey);
}

void ItemLayer::setSelected(bool selected, const Color& accent) {
    m_isSelected = selected;
    selectionRing->setStrokeColor(accent);
    selectionRing->setOpacity(selected ? 1 : 0);
}

void ItemLayer::setHovered(bool hovered, bool reduceMotion) {
    if (hovered == m_isHovered)
        return;
    m_isHovered = hovered;
    applyTouchState(reduceMotion);
}

void ItemLayer::setPressed(bool pressed, bool reduceMotion) {
    if (pressed == m_isPressed)
        return;
    m_isPressed = pressed;
    applyTouchState(reduceMotion);
}

void ItemLayer::applyTouchState(bool reduceMotion) {
    double scale = 1.0;
    double radius = 2;
    double opacity = 0.4;
    if (m_isPressed) {
        scale = pressScale;
        radius = 1.5;
        opacity = 0.28;
    } else if (m_isHovered) {
        scale = hoverScale;
        radius = 5;
        opacity = 0.55;
    }
    const LayerProperties& model = thumbnail->model();
    if (!reduceMotion) {
        const double duration = m_isPressed ? pressDuration : hoverDuration;
        const TimingCurve curve = TimingCurve::easeOut();
        thumbnail->addAnimation(BasicAnimation(KeyPath::transform, LayerValue(model.transform),
                                               LayerValue(Transform::scale(scale)), duration,
                                               curve),
                                "hover");
        thumbnail->addAnimation(BasicAnimation(KeyPath::shadowOpacity,
                                               LayerValue(model.shadowOpacity), LayerValue(opacity),
                                               duration, curve),
                                "hover-shadow");
        thumbnail->addAnimation(BasicAnimation(KeyPath::shadowRadius,
                                               LayerValue(model.shadowRadius), LayerValue(radius),
                                               duration, curve),
                                "hover-shadow-r");
    }
    thumbnail->setTransform(Transform::scale(scale));
    thumbnail->setShadowOpacity(opacity);
    thumbnail->setShadowRadius(radius);
}

void ItemLayer::animateLanding(bool reduceMotion) {
    const TimingCurve curve = TimingCurve::easeOut();
    addAnimation(*Motion::animation(Motion::land(), KeyPath::transformScale,
                                    LayerValue(Motion::landFromScale), LayerValue(1.0),
                                    reduceMotion),
                 "land-scale");
    addAnimation(Motion::timed(KeyPath::opacity, 0.0, 1.0, Motion::fadeDuration, curve),
                 "land-fade");
    Animator* clock = animator();
    if (reduceMotion || !clock)
        return;

    // A soft light swells and fades under the tile as it arrives.
    removeBloom();
    auto bloom = GradientLayer::make();
    bloom->name = "bloom";
    bloom->setType(GradientType::radial);
    bloom->setColors({Color::white(1, 0.3), Color::white(1, 0)});
    bloom->setPoints({0.5, 0.5}, {1, 1});
    const Rect b = bounds();
    bloom->setFrame({b.x - bloomGrowth, b.y - bloomGrowth, b.width + 2 * bloomGrowth,
                     b.height + 2 * bloomGrowth});
    bloom->setZPosition(-1);
    insertSublayer(bloom, 0);
    m_bloom = bloom;
    {
        Transaction transaction(*clock);
        const std::weak_ptr<Layer> weakBloom = bloom;
        transaction.setCompletion([weakBloom] {
            if (const auto gone = weakBloom.lock())
                gone->removeFromSuperlayer();
        });
        BasicAnimation fade(KeyPath::opacity, 1.0, 0.0, bloomDuration, curve);
        fade.removedOnCompletion = false;
        fade.fillMode = FillMode::forwards;
        bloom->addAnimation(fade, "bloom-fade");
        bloom->addAnimation(
            BasicAnimation(KeyPath::transformScale, 0.7, 1.35, bloomDuration, curve),
            "bloom-swell");
    }

    // The name follows a moment later.
    BasicAnimation label(KeyPath::opacity, 0.0, 1.0, labelFadeDuration, curve);
    label.beginTime = clock->now() + labelDelay;
    label.fillMode = FillMode::backwards;
    nameLabel->addAnimation(label, "land-label");
}

void ItemLayer::removeBloom() {
    if (const auto bloom = m_bloom.lock())
        bloom->removeFromSuperlayer();
    m_bloom.reset();
}

void ItemLayer::animateRemoval(std::function<void()> completion) {
    const TimingCurve curve = TimingCurve::easeOut();
    Animator* clock = animator();
    if (!clock) {
        setOpacity(0);
        if (completion)
            completion();
        return;
    }
    Transaction transaction(*clock);
    transaction.setCompletion(std::move(completion));
    addAnimation(Motion::timed(KeyPath::opacity, 1.0, 0.0, Motion::removeDuration, curve),
                 "remove-fade");
    addAnimation(Motion::timed(KeyPath::transformScale, 1.0, Motion::removeToScale,
                               Motion::removeDuration, curve),
                 "remove-scale");
    setOpacity(0);
}

} // namespace tarvo
