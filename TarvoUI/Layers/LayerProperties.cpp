#include "LayerProperties.h"

namespace tarvo {

namespace {

template <typename T> void assign(T& field, const LayerValue& value) {
    if (const T* v = std::get_if<T>(&value))
        field = *v;
}

} // namespace

Rect LayerProperties::frame() const {
    return {position.x - anchorPoint.x * bounds.width, position.y - anchorPoint.y * bounds.height,
            bounds.width, bounds.height};
}

LayerValue readProperty(const LayerProperties& p, KeyPath keyPath) {
    switch (keyPath) {
    case KeyPath::position:
        return p.position;
    case KeyPath::positionX:
        return p.position.x;
    case KeyPath::positionY:
        return p.position.y;
    case KeyPath::bounds:
        return p.bounds;
    case KeyPath::boundsSize:
        return p.bounds.size();
    case KeyPath::anchorPoint:
        return p.anchorPoint;
    case KeyPath::opacity:
        return p.opacity;
    case KeyPath::transform:
        return p.transform;
    case KeyPath::transformScale:
        return p.transform.scaleX;
    case KeyPath::transformRotationZ:
        return p.transform.rotation;
    case KeyPath::transformTranslationY:
        return p.transform.translationY;
    case KeyPath::backgroundColor:
        return p.backgroundColor;
    case KeyPath::borderColor:
        return p.borderColor;
    case KeyPath::borderWidth:
        return p.borderWidth;
    case KeyPath::cornerRadius:
        return p.cornerRadius;
    case KeyPath::shadowColor:
        return p.shadowColor;
    case KeyPath::shadowOpacity:
        return p.shadowOpacity;
    case KeyPath::shadowRadius:
        return p.shadowRadius;
    case KeyPath::shadowOffset:
        return p.shadowOffset;
    case KeyPath::shadowPath:
        return p.shadowPath.value_or(QPainterPath());
    case KeyPath::path:
        return p.path;
    case KeyPath::fillColor:
        return p.fillColor;
    case KeyPath::strokeColor:
        return p.strokeColor;
    case KeyPath::lineWidth:
        return p.lineWidth;
    case KeyPath::strokeStart:
        return p.strokeStart;
    case KeyPath::strokeEnd:
        return p.strokeEnd;
    case KeyPath::foregroundColor:
        return p.foregroundColor;
    }
    return 0.0;
}

void writeProperty(LayerProperties& p, KeyPath keyPath, const LayerValue& value) {
    switch (keyPath) {
    case KeyPath::position:
        return assign(p.position, value);
    case KeyPath::positionX:
        return assign(p.position.x, value);
    case KeyPath::positionY:
        return assign(p.position.y, value);
    case KeyPath::bounds:
        return assign(p.bounds, value);
    case KeyPath::boundsSize:
        if (const Size* s = std::get_if<Size>(&value)) {
            p.bounds.width = s->width;
            p.bounds.height = s->height;
        }
        return;
    case KeyPath::anchorPoint:
        return assign(p.anchorPoint, value);
    case KeyPath::opacity:
        return assign(p.opacity, value);
    case KeyPath::transform:
        return assign(p.transform, value);
    case KeyPath::transformScale:
        if (const double* s = std::get_if<double>(&value)) {
            p.transform.scaleX = *s;
            p.transform.scaleY = *s;
        }
        return;
    case KeyPath::transformRotationZ:
        return assign(p.transform.rotation, value);
    case KeyPath::transformTranslationY:
        return assign(p.transform.translationY, value);
    case KeyPath::backgroundColor:
        return assign(p.backgroundColor, value);
    case KeyPath::borderColor:
        return assign(p.borderColor, value);
    case KeyPath::borderWidth:
        return assign(p.borderWidth, value);
    case KeyPath::cornerRadius:
        return assign(p.cornerRadius, value);
    case KeyPath::shadowColor:
        return assign(p.shadowColor, value);
    case KeyPath::shadowOpacity:
        return assign(p.shadowOpacity, value);
    case KeyPath::shadowRadius:
        return assign(p.shadowRadius, value);
    case KeyPath::shadowOffset:
        return assign(p.shadowOffset, value);
    case KeyPath::shadowPath:
        if (const QPainterPath* path = std::get_if<QPainterPath>(&value))
            p.shadowPath = *path;
        return;
    case KeyPath::path:
        return assign(p.path, value);
    case KeyPath::fillColor:
        return assign(p.fillColor, value);
    case KeyPath::strokeColor:
        return assign(p.strokeColor, value);
    case KeyPath::lineWidth:
        return assign(p.lineWidth, value);
    case KeyPath::strokeStart:
        return assign(p.strokeStart, value);
    case KeyPath::strokeEnd:
        return assign(p.strokeEnd, value);
    case KeyPath::foregroundColor:
        return assign(p.foregroundColor, value);
    }
}

} // namespace tarvo
