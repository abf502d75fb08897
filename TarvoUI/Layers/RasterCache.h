#pragma once

#include <QByteArray>
#include <QImage>
#include <QRectF>

#include <functional>

class QPainter;

namespace tarvo {

// A layer's drawing kept as pixels at the device's scale, redrawn only when
// what it shows changes. Drawing text and rounded images anew every frame
// costs far more than copying their pixels.
class RasterCache final {
public:
    // Draws `rect` (in the layer's space, y upwards) from the cache, first
    // rendering it with `render` when `key` differs from the last one or the
    // device's scale changed. A rotated or sheared painter draws directly.
    void draw(QPainter& painter, const QRectF& rect, QByteArray key,
              const std::function<void(QPainter&)>& render);
    // Forgets the pixels; the next draw renders them again.
    void clear();
    bool isEmpty() const { return m_image.isNull(); }

private:
    QByteArray m_key;
    QImage m_image;
};

// Draws `image` (device pixels, top row first) with its top-left at the
// device point `topLeft`, pixel for pixel.
void blitAtDevicePoint(QPainter& painter, const QImage& image, QPointF topLeft);

} // namespace tarvo
