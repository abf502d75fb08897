#include "ShapeLayer.h"

#include <QPainter>
#include <QPen>

#include <algorithm>

namespace tarvo {

namespace {

Qt::PenCapStyle penCap(LineCap cap) {
    switch (cap) {
    case LineCap::butt:
        return Qt::FlatCap;
    case LineCap::round:
        return Qt::RoundCap;
    case LineCap::square:
        return Qt::SquareCap;
    }
    return Qt::FlatCap;
}

Qt::PenJoinStyle penJoin(LineJoin join) {
    switch (join) {
    case LineJoin::miter:
        return Qt::MiterJoin;
    case LineJoin::round:
        return Qt::RoundJoin;
    case LineJoin::bevel:
        return Qt::BevelJoin;
    }
    return Qt::MiterJoin;
}

} // namespace

void ShapeLayer::setPath(const QPainterPath& path) {
    mutableModel().path = path;
    changed();
}

void ShapeLayer::setFillColor(const Color& color) {
    mutableModel().fillColor = color;
    changed();
}

void ShapeLayer::setStrokeColor(const Color& color) {
    mutableModel().strokeColor = color;
    changed();
}

void ShapeLayer::setLineWidth(double width) {
    mutableModel().lineWidth = width;
    changed();
}

void ShapeLayer::setLineCap(LineCap cap) {
    mutableModel().lineCap = cap;
    changed();
}

void ShapeLayer::setLineJoin(LineJoin join) {
    mutableModel().lineJoin = join;
    changed();
}

void ShapeLayer::setStrokeStart(double fraction) {
    mutableModel().strokeStart = fraction;
    changed();
}

void ShapeLayer::setStrokeEnd(double fraction) {
    mutableModel().strokeEnd = fraction;
    changed();
}

void ShapeLayer::drawContents(QPainter& painter, const LayerProperties& p,
                              const PaintContext& context) const {
    if (p.path.isEmpty())
        return;
    if (!context.settled) {
        drawShape(painter, p);
        return;
    }
    QByteArray key;
    auto put = [&key](double v) { key.append(reinterpret_cast<const char*>(&v), sizeof v); };
    for (int i = 0; i < p.path.elementCount(); ++i) {
        const QPainterPath::Element e = p.path.elementAt(i);
        key.append(static_cast<char>(e.type));
        put(e.x);
        put(e.y);
    }
    for (double v :
         {p.fillColor.red, p.fillColor.green, p.fillColor.blue, p.fillColor.alpha,
          p.strokeColor.red, p.strokeColor.green, p.strokeColor.blue, p.strokeColor.alpha,
          p.lineWidth, p.strokeStart, p.strokeEnd, static_cast<double>(p.lineCap),
          static_cast<double>(p.lineJoin), static_cast<double>(p.path.fillRule())})
        put(v);
    const double reach = p.strokeColor.isVisible() ? p.lineWidth + 1 : 1;
    const QRectF area = p.path.boundingRect().adjusted(-reach, -reach, reach, reach);
    contentsCache().draw(painter, area, std::move(key),
                         [&](QPainter& into) { drawShape(into, p); });
}

void ShapeLayer::drawShape(QPainter& painter, const LayerProperties& p) {
    if (p.fillColor.isVisible())
        painter.fillPath(p.path, p.fillColor.toQColor());
    const double start = std::clamp(p.strokeStart, 0.0, 1.0);
    const double end = std::clamp(p.strokeEnd, 0.0, 1.0);
    if (!p.strokeColor.isVisible() || p.lineWidth <= 0 || end <= start)
        return;
    QPen pen(p.strokeColor.toQColor(), p.lineWidth);
    pen.setCapStyle(penCap(p.lineCap));
    pen.setJoinStyle(penJoin(p.lineJoin));
    if (start > 0 || end < 1) {
        // A partial stroke is a dash as long as the visible part, offset to
        // its start; dash lengths count in line widths.
        const double length = p.path.length();
        const double w = p.lineWidth;
        pen.setDashPattern({(end - start) * length / w, (length + 1) / w});
        pen.setDashOffset(-start * length / w);
    }
    painter.strokePath(p.path, pen);
}

QPainterPath ShapeLayer::shadowShape(const LayerProperties& p) const {
    if (p.fillColor.isVisible())
        return p.path;
    return Layer::shadowShape(p);
}

} // namespace tarvo
