#pragma once

#include "Layer.h"

#include <QCache>
#include <QImage>

#include <vector>

class QPainter;

namespace tarvo {

// Draws a layer tree with QPainter, antialiased, at what each layer presents
// now. The tree's space has y upwards with its origin at the bottom left of
// the view; the painter's is Qt's, y downwards. QPainter draws no shadows,
// so each is a blurred image of the casting shape, kept in a cache while the
// shape, radius, colour and scale stay the same.
class LayerPainter final {
public:
    LayerPainter();
    ~LayerPainter();

    LayerPainter(const LayerPainter&) = delete;
    LayerPainter& operator=(const LayerPainter&) = delete;

    // Paints `root` into a view `viewHeight` points high at `devicePixelRatio`.
    void paint(QPainter& painter, const Layer& root, double viewHeight, double devicePixelRatio);
    // The tree drawn into a new transparent image of `size` points at `ratio`.
    QImage render(const Layer& root, Size size, double ratio);

    int cachedShadowCount() const { return m_shadows.count(); }
    // Forgets the shadows and offscreen images kept from frame to frame.
    void dropCachedPixels();

private:
    struct Shadow;

    void paintLayer(QPainter& painter, const Layer& layer, double now, double ratio);
    void paintBody(QPainter& painter, const Layer& layer, const LayerProperties& p, double now,
                   double ratio);
    void paintMasked(QPainter& painter, const Layer& layer, const LayerProperties& p, double now,
                     double ratio);
    void paintShadow(QPainter& painter, const QPainterPath& shape, const LayerProperties& p,
                     bool moving);
    const Shadow* shadowFor(const QPainterPath& shape, const LayerProperties& p, double scale);

    QCache<QByteArray, Shadow> m_shadows;
    std::vector<QImage> m_offscreens;
    std::size_t m_maskDepth = 0;
};

} // namespace tarvo
