#pragma once

#include "Rect.h"

#include <QColor>
#include <QPainterPath>

#include <variant>

// The values a layer's animatable properties take, and how two of them are
// blended. Geometry is in points with y upwards, like the rest of the shelf.
namespace tarvo {

// A colour with straight (not premultiplied) alpha, components 0 to 1.
struct Color {
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 0;

    static constexpr Color rgb(double r, double g, double b, double a = 1) { return {r, g, b, a}; }
    static constexpr Color white(double w, double a = 1) { return {w, w, w, a}; }
    static constexpr Color clear() { return {}; }
    constexpr bool isVisible() const { return alpha > 0; }
    QColor toQColor() const;
    bool operator==(const Color&) const = default;
};

// A layer's transform about its anchor point: scale, then rotation about z,
// then translation. Enough for the shelf's press, hover, landing and spin.
struct Transform {
    double scaleX = 1;
    double scaleY = 1;
    double rotation = 0; // radians, counter-clockwise with y upwards
    double translationX = 0;
    double translationY = 0;

    static constexpr Transform scale(double s) { return {s, s, 0, 0, 0}; }
    constexpr bool isIdentity() const {
        return scaleX == 1 && scaleY == 1 && rotation == 0 && translationX == 0 &&
               translationY == 0;
    }
    bool operator==(const Transform&) const = default;
};

// The properties an animation can drive, named by their key paths.
enum class KeyPath {
    position,
    positionX,
    positionY,
    bounds,
    boundsSize,
    anchorPoint,
    opacity,
    transform,
    transformScale,
    transformRotationZ,
    transformTranslationY,
    backgroundColor,
    borderColor,
    borderWidth,
    cornerRadius,
    shadowColor,
    shadowOpacity,
    shadowRadius,
    shadowOffset,
    shadowPath,
    path,
    fillColor,
    strokeColor,
    lineWidth,
    strokeStart,
    strokeEnd,
    foregroundColor,
};

// "position", "transform.scale", ...
const char* keyPathName(KeyPath keyPath);

using LayerValue = std::variant<double, Point, Size, Rect, Color, Transform, QPainterPath>;

// `from` at 0, `to` at 1, and beyond either end for a spring's overshoot.
// Paths blend point by point when they are built alike (same elements in the
// same order); otherwise, and for values of different kinds, the result is
// `from` before the half-way point and `to` after it.
LayerValue interpolate(const LayerValue& from, const LayerValue& to, double fraction);

// Paths compare by their elements; the rest by value.
bool sameValue(const LayerValue& a, const LayerValue& b);

} // namespace tarvo
