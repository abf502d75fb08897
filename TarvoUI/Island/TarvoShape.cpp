#include "TarvoShape.h"

#include <algorithm>

namespace tarvo::TarvoShape {

namespace {

// Control-point distance of a cubic that follows a quarter circle.
constexpr double quarterCircle = 0.5522847498;

} // namespace

QPainterPath squircle(const Rect& rect, double radius) {
    const Rect b = rect.standardized();
    const double r = std::clamp(radius, 0.0, std::min(b.width, b.height) / 2);
    const double k = smoothCornerHandle * r;
    const double x0 = b.minX();
    const double y0 = b.minY();
    const double x1 = b.maxX();
    const double y1 = b.maxY();
    QPainterPath path;
    path.moveTo(x0 + r, y0);
    path.lineTo(x1 - r, y0);
    path.cubicTo(x1 - r + k, y0, x1, y0 + r - k, x1, y0 + r);
    path.lineTo(x1, y1 - r);
    path.cubicTo(x1, y1 - r + k, x1 - r + k, y1, x1 - r, y1);
    path.lineTo(x0 + r, y1);
    path.cubicTo(x0 + r - k, y1, x0, y1 - r + k, x0, y1 - r);
    path.lineTo(x0, y0 + r);
    path.cubicTo(x0, y0 + r - k, x0 + r - k, y0, x0 + r, y0);
    path.closeSubpath();
    return path;
}

QPainterPath islandOutline(double w, double h, double r, double f) {
    const double k = smoothCornerHandle * r;
    const double c = quarterCircle * f;
    QPainterPath path;
    path.moveTo(-f, h);
    path.lineTo(w + f, h);
    // Right flare: a quarter circle about (w + f, h - f) from its top to its left.
    path.cubicTo(w + f - c, h, w, h - f + c, w, h - f);
    path.lineTo(w, r);
    path.cubicTo(w, r - k, w - r + k, 0, w - r, 0);
    path.lineTo(r, 0);
    path.cubicTo(r - k, 0, 0, r - k, 0, r);
    path.lineTo(0, h - f);
    // Left flare: a quarter circle about (-f, h - f) from its right to its top.
    path.cubicTo(0, h - f + c, -f + c, h, -f, h);
    path.closeSubpath();
    return path;
}

} // namespace tarvo::TarvoShape
