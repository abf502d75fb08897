#include "LayerValue.h"

#include <algorithm>

namespace tarvo {

namespace {

double lerp(double a, double b, double t) {
    return a + (b - a) * t;
}

double clamp01(double v) {
    return std::clamp(v, 0.0, 1.0);
}

bool pathsAlike(const QPainterPath& a, const QPainterPath& b) {
    if (a.elementCount() != b.elementCount() || a.fillRule() != b.fillRule())
        return false;
    for (int i = 0; i < a.elementCount(); ++i) {
        if (a.elementAt(i).type != b.elementAt(i).type)
            return false;
    }
    return true;
}

QPainterPath blendPaths(const QPainterPath& a, const QPainterPath& b, double t) {
    if (!pathsAlike(a, b))
        return t < 0.5 ? a : b;
    QPainterPath result = b;
    for (int i = 0; i < a.elementCount(); ++i) {
        const QPainterPath::Element ea = a.elementAt(i);
        const QPainterPath::Element eb = b.elementAt(i);
        result.setElementPositionAt(i, lerp(ea.x, eb.x, t), lerp(ea.y, eb.y, t));
    }
    return result;
}

struct Blend {
    double t;
    LayerValue operator()(double a, double b) const { return lerp(a, b, t); }
    LayerValue operator()(Point a, Point b) const {
        return Point{lerp(a.x, b.x, t), lerp(a.y, b.y, t)};
    }
    LayerValue operator()(Size a, Size b) const {
        return Size{lerp(a.width, b.width, t), lerp(a.height, b.height, t)};
    }
    LayerValue operator()(const Rect& a, const Rect& b) const {
        return Rect{lerp(a.x, b.x, t), lerp(a.y, b.y, t), lerp(a.width, b.width, t),
                    lerp(a.height, b.height, t)};
    }
    LayerValue operator()(const Color& a, const Color& b) const {
        return Color{lerp(a.red, b.red, t), lerp(a.green, b.green, t), lerp(a.blue, b.blue, t),
                     lerp(a.alpha, b.alpha, t)};
    }
    LayerValue operator()(const Transform& a, const Transform& b) const {
        return Transform{lerp(a.scaleX, b.scaleX, t), lerp(a.scaleY, b.scaleY, t),
                         lerp(a.rotation, b.rotation, t), lerp(a.translationX, b.translationX, t),
                         lerp(a.translationY, b.translationY, t)};
    }
    LayerValue operator()(const QPainterPath& a, const QPainterPath& b) const {
        return blendPaths(a, b, t);
    }
    template <typename A, typename B> LayerValue operator()(const A& a, const B& b) const {
        if (t < 0.5)
            return a;
        return b;
    }
};

} // namespace

QColor Color::toQColor() const {
    return QColor::fromRgbF(static_cast<float>(clamp01(red)), static_cast<float>(clamp01(green)),
                            static_cast<float>(clamp01(blue)), static_cast<float>(clamp01(alpha)));
}

const char* keyPathName(KeyPath keyPath) {
    switch (keyPath) {
    case KeyPath::position:
        return "position";
    case KeyPath::positionX:
        return "position.x";
    case KeyPath::positionY:
        return "position.y";
    case KeyPath::bounds:
        return "bounds";
    case KeyPath::boundsSize:
        return "bounds.size";
    case KeyPath::anchorPoint:
        return "anchorPoint";
    case KeyPath::opacity:
        return "opacity";
    case KeyPath::transform:
        return "transform";
    case KeyPath::transformScale:
        return "transform.scale";
    case KeyPath::transformRotationZ:
        return "transform.rotation.z";
    case KeyPath::transformTranslationY:
        return "transform.translation.y";
    case KeyPath::backgroundColor:
        return "backgroundColor";
    case KeyPath::borderColor:
        return "borderColor";
    case KeyPath::borderWidth:
        return "borderWidth";
    case KeyPath::cornerRadius:
        return "cornerRadius";
    case KeyPath::shadowColor:
        return "shadowColor";
    case KeyPath::shadowOpacity:
        return "shadowOpacity";
    case KeyPath::shadowRadius:
        return "shadowRadius";
    case KeyPath::shadowOffset:
        return "shadowOffset";
    case KeyPath::shadowPath:
        return "shadowPath";
    case KeyPath::path:
        return "path";
    case KeyPath::fillColor:
        return "fillColor";
    case KeyPath::strokeColor:
        return "strokeColor";
    case KeyPath::lineWidth:
        return "lineWidth";
    case KeyPath::strokeStart:
        return "strokeStart";
    case KeyPath::strokeEnd:
        return "strokeEnd";
    case KeyPath::foregroundColor:
        return "foregroundColor";
    }
    return "";
}

LayerValue interpolate(const LayerValue& from, const LayerValue& to, double fraction) {
    return std::visit(Blend{fraction}, from, to);
}

bool sameValue(const LayerValue& a, const LayerValue& b) {
    if (a.index() != b.index())
        return false;
    if (const auto* pa = std::get_if<QPainterPath>(&a)) {
        const auto& pb = std::get<QPainterPath>(b);
        if (pa->elementCount() != pb.elementCount())
            return false;
        for (int i = 0; i < pa->elementCount(); ++i) {
            const auto ea = pa->elementAt(i);
            const auto eb = pb.elementAt(i);
            if (ea.type != eb.type || ea.x != eb.x || ea.y != eb.y)
                return false;
        }
        return true;
    }
    return a == b;
}

} // namespace tarvo
