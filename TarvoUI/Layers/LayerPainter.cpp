#include "LayerPainter.h"

#include "Animator.h"
#include "GradientLayer.h"
#include "RasterCache.h"
#include "ShapeLayer.h"

#include <QPainter>
#include <QPainterPath>
#include <QRegion>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <vector>

namespace tarvo {

struct LayerPainter::Shadow {
    QImage image;
    QPointF origin; // top-left of the image in the casting layer's space
    double scale = 1;
};

namespace {

// Shadows are blurred at no more than this many pixels of spread: a wide
// blur loses nothing when it is made smaller and drawn scaled up.
constexpr double finestShadowSigma = 16;
constexpr double movingShadowSigma = 3;
constexpr int shadowCacheKilobytes = 32 * 1024;

QTransform layerTransform(const LayerProperties& p) {
    QTransform t;
    t.translate(p.position.x, p.position.y);
    if (!p.transform.isIdentity()) {
        t.translate(p.transform.translationX, p.transform.translationY);
        t.rotateRadians(p.transform.rotation);
        t.scale(p.transform.scaleX, p.transform.scaleY);
    }
    t.translate(-p.anchorPoint.x * p.bounds.width - p.bounds.x,
                -p.anchorPoint.y * p.bounds.height - p.bounds.y);
    return t;
}

QRectF boundsRect(const LayerProperties& p) {
    return {p.bounds.x, p.bounds.y, p.bounds.width, p.bounds.height};
}

QPainterPath roundedBounds(const LayerProperties& p) {
    QPainterPath path;
    const double r = std::min({p.cornerRadius, p.bounds.width / 2, p.bounds.height / 2});
    if (r > 0)
        path.addRoundedRect(boundsRect(p), r, r);
    else
        path.addRect(boundsRect(p));
    return path;
}

// Three box blurs in a row come close to a Gaussian of `sigma` pixels.
std::vector<int> boxRadii(double sigma) {
    constexpr int passes = 3;
    const double ideal = std::sqrt(12 * sigma * sigma / passes + 1);
    int lower = static_cast<int>(std::floor(ideal));
    if (lower % 2 == 0)
        --lower;
    const int upper = lower + 2;
    const double m =
        (12 * sigma * sigma - passes * lower * lower - 4 * passes * lower - 3 * passes) /
        (-4.0 * lower - 4);
    const int smaller = static_cast<int>(std::lround(m));
    std::vector<int> radii;
    for (int i = 0; i < passes; ++i)
        radii.push_back(((i < smaller ? lower : upper) - 1) / 2);
    return radii;
}

void boxPass(std::vector<std::uint8_t>& data, int width, int height, int radius, bool horizontal) {
    if (radius <= 0)
        return;
    const int lines = horizontal ? height : width;
    const int length = horizontal ? width : height;
    const int step = horizontal ? 1 : width;
    const int window = 2 * radius + 1;
    std::vector<std::uint8_t> line(static_cast<std::size_t>(length));
    for (int l = 0; l < lines; ++l) {
        std::uint8_t* base = data.data() + (horizontal ? l * width : l);
        for (int i = 0; i < length; ++i)
            line[static_cast<std::size_t>(i)] = base[i * step];
        int sum = 0;
        for (int i = 0; i < std::min(radius, length); ++i)
            sum += line[static_cast<std::size_t>(i)];
        for (int i = 0; i < length; ++i) {
            const int in = i + radius;
            const int out = i - radius - 1;
            if (in < length)
                sum += line[static_cast<std::size_t>(in)];
            if (out >= 0)
                sum -= line[static_cast<std::size_t>(out)];
            base[i * step] = static_cast<std::uint8_t>((sum + window / 2) / window);
        }
    }
}

QByteArray shadowKey(const QPainterPath& shape, const LayerProperties& p, double scale) {
    QByteArray key;
    const int n = shape.elementCount();
    key.reserve(n * 17 + 64);
    auto put = [&key](double v) { key.append(reinterpret_cast<const char*>(&v), sizeof v); };
    for (int i = 0; i < n; ++i) {
        const QPainterPath::Element e = shape.elementAt(i);
        key.append(static_cast<char>(e.type));
        put(e.x);
        put(e.y);
    }
    put(static_cast<double>(shape.fillRule()));
    put(p.shadowRadius);
    put(p.shadowOpacity);
    put(p.shadowColor.red);
    put(p.shadowColor.green);
    put(p.shadowColor.blue);
    put(p.shadowColor.alpha);
    put(scale);
    return key;
}

// The stretches of a straight horizontal or vertical gradient (in its own
// space) where it is not fully opaque; none for any other gradient.
std::optional<QRegion> translucentStretches(const LayerProperties& g) {
    if (g.gradientType != GradientType::axial || g.colors.empty())
        return std::nullopt;
    const bool horizontal = g.startPoint.y == g.endPoint.y && g.startPoint.x != g.endPoint.x;
    const bool vertical = g.startPoint.x == g.endPoint.x && g.startPoint.y != g.endPoint.y;
    if (!horizontal && !vertical)
        return std::nullopt;
    const std::size_t n = g.colors.size();
    std::vector<double> at(n);
    for (std::size_t i = 0; i < n; ++i) {
        at[i] = n == 1 ? 0 : static_cast<double>(i) / static_cast<double>(n - 1);
        if (g.locations.size() == n)
            at[i] = std::clamp(g.locations[i], 0.0, 1.0);
    }
    const Rect& b = g.bounds;
    const double from = horizontal ? g.startPoint.x : g.startPoint.y;
    const double to = horizontal ? g.endPoint.x : g.endPoint.y;
    auto stretch = [&](double t0, double t1) {
        // Along the axis in the bounds' space, padded by a pixel's worth.
        double a = from + t0 * (to - from);
        double c = from + t1 * (to - from);
        if (a > c)
            std::swap(a, c);
        if (horizontal)
            return QRect(QRectF(b.x + a * b.width - 1, b.y - 1, (c - a) * b.width + 2, b.height + 2)
                             .toAlignedRect());
        return QRect(QRectF(b.x - 1, b.y + a * b.height - 1, b.width + 2, (c - a) * b.height + 2)
                         .toAlignedRect());
    };
    QRegion region;
    const double far = 1e6;
    if (g.colors.front().alpha < 1)
        region += stretch(-far, at.front());
    if (g.colors.back().alpha < 1)
        region += stretch(at.back(), far);
    for (std::size_t i = 0; i + 1 < n; ++i) {
        if (g.colors[i].alpha < 1 || g.colors[i + 1].alpha < 1)
            region += stretch(at[i], at[i + 1]);
    }
    return region;
}

} // namespace

LayerPainter::LayerPainter() : m_shadows(shadowCacheKilobytes) {}

void LayerPainter::dropCachedPixels() {
    m_shadows.clear();
    m_offscreens.clear();
    m_offscreens.shrink_to_fit();
}

LayerPainter::~LayerPainter() = default;

void LayerPainter::paint(QPainter& painter, const Layer& root, double viewHeight,
                         double devicePixelRatio) {
    const double now = root.animator() ? root.animator()->now() : 0;
    painter.save();
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform |
                           QPainter::TextAntialiasing);
    painter.translate(0, viewHeight);
    painter.scale(1, -1);
    paintLayer(painter, root, now, devicePixelRatio);
    painter.restore();
}

QImage LayerPainter::render(const Layer& root, Size size, double ratio) {
    const int w = std::max(1, static_cast<int>(std::ceil(size.width * ratio)));
    const int h = std::max(1, static_cast<int>(std::ceil(size.height * ratio)));
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    paint(painter, root, size.height, ratio);
    return image;
}

void LayerPainter::paintLayer(QPainter& painter, const Layer& layer, double now, double ratio) {
    LayerProperties presented;
    const LayerProperties* p = &layer.model();
    if (layer.hasAnimations() && layer.animator()) {
        presented = layer.presentation(now);
        p = &presented;
    }
    if (p->hidden || p->opacity <= 0)
        return;
    painter.save();
    painter.setTransform(layerTransform(*p), true);
    if (const double reach = layer.paintReach(); reach >= 0) {
        // A tile scrolled beside the strip costs nothing to leave out.
        const Rect b = p->bounds;
        const QRectF area(b.x - reach, b.y - reach, b.width + 2 * reach, b.height + 2 * reach);
        const QPaintDevice* device = painter.device();
        const double scale = device ? std::max(1.0, device->devicePixelRatioF()) : 1;
        const QRectF shown(0, 0, device ? device->width() * scale : 0,
                           device ? device->height() * scale : 0);
        if (device && !painter.deviceTransform().mapRect(area).intersects(shown)) {
            painter.restore();
            return;
        }
    }
    painter.setOpacity(painter.opacity() * std::min(p->opacity, 1.0));
    if (p->shadowOpacity > 0 && p->shadowColor.isVisible()) {
        const QPainterPath shape = p->shadowPath ? *p->shadowPath : layer.shadowShape(*p);
        // A shape in motion gets a new shadow every frame: make it coarser then.
        const bool moving = p != &layer.model() && p->shadowPath != layer.model().shadowPath;
        if (!shape.isEmpty())
            paintShadow(painter, shape, *p, moving);
    }
    if (layer.mask())
        paintMasked(painter, layer, *p, now, ratio);
    else
        paintBody(painter, layer, *p, now, ratio);
    painter.restore();
}

void LayerPainter::paintBody(QPainter& painter, const Layer& layer, const LayerProperties& p,
                             double now, double ratio) {
    if (p.backgroundColor.isVisible() && p.bounds.width > 0 && p.bounds.height > 0) {
        if (p.cornerRadius > 0) {
            // Rounded corners are dear to fill with antialiasing: keep the pixels.
            QByteArray key;
            for (double v :
                 {p.bounds.width, p.bounds.height, p.cornerRadius, p.backgroundColor.red,
                  p.backgroundColor.green, p.backgroundColor.blue, p.backgroundColor.alpha})
                key.append(reinterpret_cast<const char*>(&v), sizeof v);
            layer.m_backgroundCache.draw(
                painter, boundsRect(p), std::move(key), [&](QPainter& into) {
                    into.fillPath(roundedBounds(p), p.backgroundColor.toQColor());
                });
        } else {
            painter.fillRect(boundsRect(p), p.backgroundColor.toQColor());
        }
    }
    layer.drawContents(painter, p, PaintContext{ratio, &p == &layer.model()});
    const auto& subs = layer.sublayers();
    if (!subs.empty()) {
        painter.save();
        if (p.masksToBounds)
            painter.setClipPath(roundedBounds(p), Qt::IntersectClip);
        const bool layered = std::any_of(subs.begin(), subs.end(),
                                         [](const auto& s) { return s->model().zPosition != 0; });
        if (!layered) {
            for (const auto& sub : subs)
                paintLayer(painter, *sub, now, ratio);
        } else {
            std::vector<const Layer*> order;
            for (const auto& sub : subs)
                order.push_back(sub.get());
            std::stable_sort(order.begin(), order.end(), [](const Layer* a, const Layer* b) {
                return a->model().zPosition < b->model().zPosition;
            });
            for (const Layer* sub : order)
                paintLayer(painter, *sub, now, ratio);
        }
        painter.restore();
    }
    if (p.borderWidth > 0 && p.borderColor.isVisible()) {
        LayerProperties inset = p;
        const double half = p.borderWidth / 2;
        inset.bounds = {p.bounds.x + half, p.bounds.y + half, p.bounds.width - p.borderWidth,
                        p.bounds.height - p.borderWidth};
        inset.cornerRadius = std::max(0.0, p.cornerRadius - half);
        painter.strokePath(roundedBounds(inset), QPen(p.borderColor.toQColor(), p.borderWidth));
    }
}

void LayerPainter::paintMasked(QPainter& painter, const Layer& layer, const LayerProperties& p,
                               double now, double ratio) {
    const Layer& mask = *layer.mask();
    const LayerProperties maskProps = mask.presentation();
    // A plain filled shape masks as a clip, without drawing offscreen.
    if (dynamic_cast<const ShapeLayer*>(&mask) && mask.sublayers().empty() && !mask.mask() &&
        maskProps.opacity >= 1 && maskProps.fillColor.alpha >= 1 &&
        !maskProps.strokeColor.isVisible() && !maskProps.backgroundColor.isVisible() &&
        !maskProps.hidden) {
        painter.save();
        painter.setClipPath(layerTransform(maskProps).map(maskProps.path), Qt::IntersectClip);
        paintBody(painter, layer, p, now, ratio);
        painter.restore();
        return;
    }
    const QTransform toDevice = painter.deviceTransform();
    const QRect area = toDevice.mapRect(boundsRect(p)).toAlignedRect();
    constexpr int largest = 8192;
    if (area.isEmpty() || area.width() > largest || area.height() > largest)
        return;
    const QTransform offscreen = toDevice * QTransform::fromTranslate(-area.x(), -area.y());
    // One image per depth of masking, kept from frame to frame with the
    // paint engine Qt makes for it: making both anew costs more than the
    // drawing.
    if (m_offscreens.size() <= m_maskDepth)
        m_offscreens.resize(m_maskDepth + 1);
    QImage& content = m_offscreens[m_maskDepth];
    if (content.size() != area.size())
        content = QImage(area.size(), QImage::Format_ARGB32_Premultiplied);
    content.fill(Qt::transparent);
    ++m_maskDepth;
    {
        QPainter cp(&content);
        cp.setRenderHints(painter.renderHints());
        cp.setTransform(offscreen);
        paintBody(cp, layer, p, now, ratio);
        cp.setTransform(offscreen);
        // A gradient that covers the layer masks by drawing itself over the
        // content; any other mask is drawn on its own first.
        const bool gradientOverAll =
            dynamic_cast<const GradientLayer*>(&mask) && mask.sublayers().empty() && !mask.mask() &&
            !maskProps.hidden && maskProps.opacity >= 1 && maskProps.transform.isIdentity() &&
            maskProps.frame() == p.bounds;
        if (gradientOverAll) {
            cp.setCompositionMode(QPainter::CompositionMode_DestinationIn);
            cp.setTransform(layerTransform(maskProps), true);
            // Where the gradient is opaque it changes nothing: draw only the rest.
            const std::optional<QRegion> translucent = translucentStretches(maskProps);
            if (translucent)
                cp.setClipRegion(*translucent);
            if (!translucent || !translucent->isEmpty())
                mask.drawContents(cp, maskProps, PaintContext{ratio});
        } else {
            QImage alpha(area.size(), QImage::Format_ARGB32_Premultiplied);
            alpha.fill(Qt::transparent);
            {
                QPainter mp(&alpha);
                mp.setRenderHints(painter.renderHints());
                // The mask sits in the masked layer's space, as a sublayer would.
                mp.setTransform(offscreen);
                paintLayer(mp, mask, now, ratio);
            }
            cp.resetTransform();
            cp.setCompositionMode(QPainter::CompositionMode_DestinationIn);
            cp.drawImage(0, 0, alpha);
        }
    }
    --m_maskDepth;
    blitAtDevicePoint(painter, content, area.topLeft());
}

void LayerPainter::paintShadow(QPainter& painter, const QPainterPath& shape,
                               const LayerProperties& p, bool moving) {
    // Pixels per point where the shadow lands, offscreen or not.
    double scale = std::max(std::sqrt(std::abs(painter.deviceTransform().determinant())), 0.25);
    const double sigma = std::max(p.shadowRadius, 0.0) / 2;
    const double finest = moving ? movingShadowSigma : finestShadowSigma;
    if (sigma * scale > finest)
        scale = std::max(finest / sigma, 0.25);
    const Shadow* shadow = shadowFor(shape, p, scale);
    if (!shadow)
        return;
    const QRectF target(
        shadow->origin.x() + p.shadowOffset.width, shadow->origin.y() + p.shadowOffset.height,
        shadow->image.width() / shadow->scale, shadow->image.height() / shadow->scale);
    const QTransform device = painter.deviceTransform();
    if (device.m12() == 0 && device.m21() == 0 && device.m22() < 0 &&
        std::abs(std::abs(device.m11()) - shadow->scale) < 1e-9 &&
        std::abs(std::abs(device.m22()) - shadow->scale) < 1e-9) {
        blitAtDevicePoint(painter, shadow->image, device.mapRect(target).topLeft());
        return;
    }
    // The image's rows run downwards on screen; the layer's space runs upwards.
    painter.save();
    painter.translate(target.left(), target.bottom());
    painter.scale(1, -1);
    painter.drawImage(QRectF(0, 0, target.width(), target.height()), shadow->image);
    painter.restore();
}

const LayerPainter::Shadow* LayerPainter::shadowFor(const QPainterPath& shape,
                                                    const LayerProperties& p, double scale) {
    const QByteArray key = shadowKey(shape, p, scale);
    if (const Shadow* cached = m_shadows.object(key))
        return cached;
    const QRectF box = shape.boundingRect();
    const double sigma = std::max(p.shadowRadius, 0.0) / 2 * scale;
    const int pad = static_cast<int>(std::ceil(3 * sigma)) + 1;
    const int w = static_cast<int>(std::ceil(box.width() * scale)) + 2 * pad;
    const int h = static_cast<int>(std::ceil(box.height() * scale)) + 2 * pad;
    if (w <= 0 || h <= 0 || w > 8192 || h > 8192)
        return nullptr;
    QImage cast(w, h, QImage::Format_ARGB32_Premultiplied);
    cast.fill(Qt::transparent);
    {
        QPainter cp(&cast);
        cp.setRenderHint(QPainter::Antialiasing);
        cp.translate(pad, pad);
        cp.scale(scale, scale);
        cp.translate(-box.x(), -box.y());
        cp.fillPath(shape, Qt::black);
    }
    std::vector<std::uint8_t> alpha(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    for (int y = 0; y < h; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(cast.constScanLine(y));
        for (int x = 0; x < w; ++x)
            alpha[static_cast<std::size_t>(y * w + x)] = static_cast<std::uint8_t>(qAlpha(line[x]));
    }
    for (int radius : boxRadii(sigma)) {
        boxPass(alpha, w, h, radius, true);
        boxPass(alpha, w, h, radius, false);
    }
    auto shadow = std::make_unique<Shadow>();
    shadow->image = QImage(w, h, QImage::Format_ARGB32_Premultiplied);
    const double strength =
        std::clamp(p.shadowOpacity, 0.0, 1.0) * std::clamp(p.shadowColor.alpha, 0.0, 1.0);
    const double r = std::clamp(p.shadowColor.red, 0.0, 1.0);
    const double g = std::clamp(p.shadowColor.green, 0.0, 1.0);
    const double b = std::clamp(p.shadowColor.blue, 0.0, 1.0);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(shadow->image.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const double a = alpha[static_cast<std::size_t>(y * w + x)] * strength;
            line[x] = qRgba(static_cast<int>(r * a + 0.5), static_cast<int>(g * a + 0.5),
                            static_cast<int>(b * a + 0.5), static_cast<int>(a + 0.5));
        }
    }
    // Kept top row first, as it shows on screen.
    shadow->image = shadow->image.mirrored(false, true);
    shadow->origin = {box.x() - pad / scale, box.y() - pad / scale};
    shadow->scale = scale;
    const int cost = std::max(1, w * h * 4 / 1024);
    const Shadow* result = shadow.get();
    if (!m_shadows.insert(key, shadow.release(), cost))
        return nullptr;
    return result;
}

} // namespace tarvo
