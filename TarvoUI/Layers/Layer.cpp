#include "Layer.h"

#include "Animator.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <limits>

namespace tarvo {

Layer::~Layer() {
    for (const auto& sub : m_sublayers)
        sub->m_superlayer = nullptr;
    if (m_mask)
        m_mask->m_maskHost = nullptr;
    if (m_animator)
        m_animator->detach(this);
}

void Layer::addSublayer(std::shared_ptr<Layer> layer) {
    insertSublayer(std::move(layer), m_sublayers.size());
}

void Layer::insertSublayer(std::shared_ptr<Layer> layer, std::size_t index) {
    if (!layer || layer.get() == this)
        return;
    // Keep the layer alive while it leaves its old place.
    const std::shared_ptr<Layer> keep = layer;
    layer->removeFromSuperlayer();
    index = std::min(index, m_sublayers.size());
    m_sublayers.insert(m_sublayers.begin() + static_cast<std::ptrdiff_t>(index), layer);
    layer->m_superlayer = this;
    layer->attach(m_animator);
    changed();
}

void Layer::removeFromSuperlayer() {
    Layer* parent = m_superlayer;
    if (!parent)
        return;
    const std::shared_ptr<Layer> keep = shared_from_this();
    auto& siblings = parent->m_sublayers;
    siblings.erase(std::remove_if(siblings.begin(), siblings.end(),
                                  [this](const auto& l) { return l.get() == this; }),
                   siblings.end());
    m_superlayer = nullptr;
    parent->changed();
}

void Layer::setMask(std::shared_ptr<Layer> mask) {
    if (m_mask)
        m_mask->m_maskHost = nullptr;
    m_mask = std::move(mask);
    if (m_mask) {
        m_mask->removeFromSuperlayer();
        m_mask->m_maskHost = this;
        m_mask->attach(m_animator);
    }
    changed();
}

void Layer::setAnimator(Animator* animator) {
    attach(animator);
}

void Layer::attach(Animator* animator) {
    if (m_animator != animator) {
        if (m_animator) {
            // Animations cannot move between clocks: they end where they ran.
            m_animator->detach(this);
            m_animations.clear();
        }
        m_animator = animator;
        if (m_animator)
            m_animator->attach(this);
    }
    for (const auto& sub : m_sublayers)
        sub->attach(animator);
    if (m_mask)
        m_mask->attach(animator);
}

Layer* Layer::root() {
    Layer* layer = this;
    for (;;) {
        if (layer->m_superlayer)
            layer = layer->m_superlayer;
        else if (layer->m_maskHost)
            layer = layer->m_maskHost;
        else
            return layer;
    }
}

void Layer::setDisplayHandler(std::function<void()> handler) {
    m_displayHandler = std::move(handler);
}

void Layer::setNeedsDisplay() {
    Layer* top = root();
    if (top->m_displayHandler)
        top->m_displayHandler();
}

LayerProperties Layer::presentation() const {
    if (!m_animator || m_animations.empty())
        return m_model;
    return presentation(m_animator->now());
}

LayerProperties Layer::presentation(double mediaTime) const {
    LayerProperties out = m_model;
    applyAnimations(out, mediaTime);
    return out;
}

LayerValue Layer::presentationValue(KeyPath keyPath) const {
    return readProperty(presentation(), keyPath);
}

void Layer::applyAnimations(LayerProperties& out, double mediaTime) const {
    for (const Running& running : m_animations) {
        if (std::isnan(running.begin))
            continue;
        running.animation->apply(out, m_model, mediaTime - running.begin);
    }
}

void Layer::setValue(KeyPath keyPath, const LayerValue& value) {
    writeProperty(m_model, keyPath, value);
    changed();
}

void Layer::setFrame(const Rect& frame) {
    const Rect f = frame.standardized();
    m_model.bounds.width = f.width;
    m_model.bounds.height = f.height;
    m_model.position = {f.x + m_model.anchorPoint.x * f.width,
                        f.y + m_model.anchorPoint.y * f.height};
    changed();
}

void Layer::setBounds(const Rect& bounds) {
    m_model.bounds = bounds;
    changed();
}

void Layer::setPosition(Point position) {
    m_model.position = position;
    changed();
}

void Layer::setAnchorPoint(Point anchor) {
    m_model.anchorPoint = anchor;
    changed();
}

void Layer::setZPosition(double z) {
    m_model.zPosition = z;
    changed();
}

void Layer::setTransform(const Transform& transform) {
    m_model.transform = transform;
    changed();
}

void Layer::setOpacity(double opacity) {
    m_model.opacity = opacity;
    changed();
}

void Layer::setHidden(bool hidden) {
    m_model.hidden = hidden;
    changed();
}

void Layer::setMasksToBounds(bool masks) {
    m_model.masksToBounds = masks;
    changed();
}

void Layer::setBackgroundColor(const Color& color) {
    m_model.backgroundColor = color;
    changed();
}

void Layer::setBorder(const Color& color, double width) {
    m_model.borderColor = color;
    m_model.borderWidth = width;
    changed();
}

void Layer::setCornerRadius(double radius) {
    m_model.cornerRadius = radius;
    changed();
}

void Layer::setShadow(const Color& color, double opacity, double radius, Size offset) {
    m_model.shadowColor = color;
    m_model.shadowOpacity = opacity;
    m_model.shadowRadius = radius;
    m_model.shadowOffset = offset;
    changed();
}

void Layer::setShadowOpacity(double opacity) {
    m_model.shadowOpacity = opacity;
    changed();
}

void Layer::setShadowRadius(double radius) {
    m_model.shadowRadius = radius;
    changed();
}

void Layer::setShadowPath(std::optional<QPainterPath> path) {
    m_model.shadowPath = std::move(path);
    changed();
}

void Layer::setContents(const QImage& image, double scale) {
    m_model.contents = image;
    m_model.contentsScale = scale > 0 ? scale : 1;
    changed();
}

void Layer::setContentsGravity(ContentsGravity gravity) {
    m_model.contentsGravity = gravity;
    changed();
}

void Layer::setContentsScale(double scale) {
    m_model.contentsScale = scale > 0 ? scale : 1;
    changed();
}

void Layer::addAnimation(const Animation& animation, const std::string& key) {
    std::unique_ptr<Animation> copy = animation.clone();
    // A replacement starts from what is on screen, so read that first.
    copy->resolveStart(presentation());
    removeAnimation(key);
    Running running;
    running.key = key;
    if (copy->beginTime != 0)
        running.begin = copy->beginTime;
    else
        running.begin = m_animator ? m_animator->now() : std::numeric_limits<double>::quiet_NaN();
    running.animation = std::move(copy);
    m_animations.push_back(std::move(running));
    if (m_animator)
        m_animator->animationAdded(this, m_animations.back().transactions);
    changed();
}

void Layer::removeAnimation(std::string_view key) {
    auto it = std::find_if(m_animations.begin(), m_animations.end(),
                           [&](const Running& r) { return r.key == key; });
    if (it == m_animations.end())
        return;
    const std::vector<std::uint64_t> transactions = it->transactions;
    const bool wasFinished = it->finished;
    m_animations.erase(it);
    if (m_animator && !wasFinished)
        m_animator->animationEnded(transactions);
    changed();
}

void Layer::removeAllAnimations() {
    while (!m_animations.empty())
        removeAnimation(m_animations.back().key);
}

const Animation* Layer::animation(std::string_view key) const {
    for (const Running& running : m_animations) {
        if (running.key == key)
            return running.animation.get();
    }
    return nullptr;
}

std::vector<std::string> Layer::animationKeys() const {
    std::vector<std::string> keys;
    keys.reserve(m_animations.size());
    for (const Running& running : m_animations)
        keys.push_back(running.key);
    return keys;
}

namespace {

void drawImageContents(QPainter& painter, const LayerProperties& p, const Rect& target) {
    const QImage& image = p.contents;
    const Rect& b = p.bounds;
    // The image fills its target through a brush, so a rounded clip to the
    // bounds keeps antialiased corners. Images store their top row first; the
    // layer's space has y upwards.
    QTransform toLayer;
    toLayer.translate(target.x, target.y + target.height);
    toLayer.scale(target.width / image.width(), -target.height / image.height());
    QBrush brush(image);
    brush.setTransform(toLayer);
    QPainterPath area;
    if (p.masksToBounds) {
        const double r = std::min({p.cornerRadius, b.width / 2, b.height / 2});
        area.addRoundedRect(QRectF(b.x, b.y, b.width, b.height), r, r);
    } else {
        area.addRect(QRectF(target.x, target.y, target.width, target.height));
    }
    painter.fillPath(area, brush);
}

} // namespace

void Layer::drawContents(QPainter& painter, const LayerProperties& p, const PaintContext&) const {
    if (p.contents.isNull() || p.bounds.width <= 0 || p.bounds.height <= 0)
        return;
    const QImage& image = p.contents;
    const double scale = p.contentsScale > 0 ? p.contentsScale : 1;
    const double iw = image.width() / scale;
    const double ih = image.height() / scale;
    const Rect& b = p.bounds;
    Rect target = b;
    switch (p.contentsGravity) {
    case ContentsGravity::resize:
        break;
    case ContentsGravity::resizeAspect:
    case ContentsGravity::resizeAspectFill: {
        const double sx = b.width / iw;
        const double sy = b.height / ih;
        const double s = p.contentsGravity == ContentsGravity::resizeAspect ? std::min(sx, sy)
                                                                            : std::max(sx, sy);
        target = {b.midX() - iw * s / 2, b.midY() - ih * s / 2, iw * s, ih * s};
        break;
    }
    case ContentsGravity::center:
        target = {b.midX() - iw / 2, b.midY() - ih / 2, iw, ih};
        break;
    }
    const Rect area = p.masksToBounds ? b : target;
    QByteArray key;
    auto put = [&key](double v) { key.append(reinterpret_cast<const char*>(&v), sizeof v); };
    put(static_cast<double>(image.cacheKey()));
    for (double v : {b.x, b.y, b.width, b.height, target.x, target.y, target.width, target.height,
                     p.cornerRadius, p.masksToBounds ? 1.0 : 0.0})
        put(v);
    contentsCache().draw(painter, QRectF(area.x, area.y, area.width, area.height), std::move(key),
                         [&](QPainter& into) { drawImageContents(into, p, target); });
}

QPainterPath Layer::shadowShape(const LayerProperties& p) const {
    QPainterPath shape;
    if (p.backgroundColor.isVisible() || !p.contents.isNull())
        shape.addRoundedRect(QRectF(p.bounds.x, p.bounds.y, p.bounds.width, p.bounds.height),
                             p.cornerRadius, p.cornerRadius);
    return shape;
}

void Layer::dropCachedPixels() {
    m_contentsCache.clear();
    m_backgroundCache.clear();
    for (const std::shared_ptr<Layer>& sublayer : m_sublayers)
        sublayer->dropCachedPixels();
    if (m_mask)
        m_mask->dropCachedPixels();
}

} // namespace tarvo
