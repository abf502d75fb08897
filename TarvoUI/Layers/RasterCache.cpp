#include "RasterCache.h"

#include <QPaintDevice>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace tarvo {

void blitAtDevicePoint(QPainter& painter, const QImage& image, QPointF topLeft) {
    const double ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    painter.save();
    painter.resetTransform();
    const QPointF at(std::round(topLeft.x()) / ratio, std::round(topLeft.y()) / ratio);
    // Qt hands the blending of more than about a hundred rows to its thread
    // pool; for images this small the hand-off costs more than it saves, so
    // they go in bands. (Setting the image's ratio here would copy its
    // pixels; the target rectangle says the same.)
    constexpr int band = 64;
    const double w = image.width() / ratio;
    for (int y = 0; y < image.height(); y += band) {
        const int rows = std::min(band, image.height() - y);
        painter.drawImage(QRectF(at.x(), at.y() + y / ratio, w, rows / ratio), image,
                          QRectF(0, y, image.width(), rows));
    }
    painter.restore();
}

void RasterCache::clear() {
    m_key.clear();
    m_image = QImage();
}

void RasterCache::draw(QPainter& painter, const QRectF& rect, QByteArray key,
                       const std::function<void(QPainter&)>& render) {
    const QTransform device = painter.deviceTransform();
    if (device.m12() != 0 || device.m21() != 0 || rect.isEmpty()) {
        render(painter);
        return;
    }
    const double sx = std::abs(device.m11());
    const double sy = std::abs(device.m22());
    const QRectF target = device.mapRect(rect);
    // The pixels are drawn on the device's grid where they will be shown, so
    // they land exactly; a move by part of a pixel draws them again.
    const QPoint corner(static_cast<int>(std::floor(target.left())),
                        static_cast<int>(std::floor(target.top())));
    const double fx = target.left() - corner.x();
    const double fy = target.top() - corner.y();
    const int w = static_cast<int>(std::ceil(fx + target.width()));
    const int h = static_cast<int>(std::ceil(fy + target.height()));
    if (w <= 0 || h <= 0 || w > 4096 || h > 4096) {
        render(painter);
        return;
    }
    const double grid[] = {sx,
                           sy,
                           std::round(fx * 64),
                           std::round(fy * 64),
                           device.m11() < 0 ? -1.0 : 1.0,
                           device.m22() < 0 ? -1.0 : 1.0};
    key.append(reinterpret_cast<const char*>(grid), sizeof grid);
    if (key != m_key || m_image.isNull()) {
        m_image = QImage(w, h, QImage::Format_ARGB32_Premultiplied);
        m_image.fill(Qt::transparent);
        QPainter cp(&m_image);
        cp.setRenderHints(painter.renderHints());
        // The painter's own mapping, moved so that the pixel at the corner
        // lands on the image's origin.
        cp.setTransform(QTransform(device.m11(), 0, 0, device.m22(), device.dx() - corner.x(),
                                   device.dy() - corner.y()));
        render(cp);
        m_key = std::move(key);
    }
    blitAtDevicePoint(painter, m_image, corner);
}

} // namespace tarvo
