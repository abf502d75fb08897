#include "GradientLayer.h"

#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>

#include <algorithm>
#include <cmath>

namespace tarvo {

void GradientLayer::setColors(std::vector<Color> colors) {
    mutableModel().colors = std::move(colors);
    changed();
}

void GradientLayer::setLocations(std::vector<double> locations) {
    mutableModel().locations = std::move(locations);
    changed();
}

void GradientLayer::setPoints(Point start, Point end) {
    mutableModel().startPoint = start;
    mutableModel().endPoint = end;
    changed();
}

void GradientLayer::setType(GradientType type) {
    mutableModel().gradientType = type;
    changed();
}

void GradientLayer::drawContents(QPainter& painter, const LayerProperties& p,
                                 const PaintContext&) const {
    if (p.colors.empty() || p.bounds.width <= 0 || p.bounds.height <= 0)
        return;
    const Rect& b = p.bounds;
    const QPointF start(b.x + p.startPoint.x * b.width, b.y + p.startPoint.y * b.height);
    const QPointF end(b.x + p.endPoint.x * b.width, b.y + p.endPoint.y * b.height);
    QGradientStops stops;
    const std::size_t n = p.colors.size();
    for (std::size_t i = 0; i < n; ++i) {
        double at = n == 1 ? 0 : static_cast<double>(i) / static_cast<double>(n - 1);
        if (p.locations.size() == n)
            at = p.locations[i];
        stops.append({std::clamp(at, 0.0, 1.0), p.colors[i].toQColor()});
    }
    const QRectF rect(b.x, b.y, b.width, b.height);
    if (p.gradientType == GradientType::radial) {
        // The end point gives the radius on each axis: an ellipse over the bounds.
        const double rx = std::abs(end.x() - start.x());
        const double ry = std::abs(end.y() - start.y());
        if (rx <= 0 || ry <= 0)
            return;
        QRadialGradient gradient(QPointF(0, 0), 1);
        gradient.setStops(stops);
        painter.save();
        painter.translate(start);
        painter.scale(rx, ry);
        painter.fillRect(QRectF((rect.x() - start.x()) / rx, (rect.y() - start.y()) / ry,
                                rect.width() / rx, rect.height() / ry),
                         gradient);
        painter.restore();
        return;
    }
    QLinearGradient gradient(start, end);
    gradient.setStops(stops);
    painter.fillRect(rect, gradient);
}

} // namespace tarvo
