#pragma once

#include "LayerValue.h"

#include <QImage>
#include <QPainterPath>
#include <QString>

#include <optional>
#include <vector>

namespace tarvo {

enum class LineCap { butt, round, square };
enum class LineJoin { miter, round, bevel };
enum class FontWeight { regular, medium, semibold, bold };
enum class TextAlignment { left, center, right };
enum class Truncation { none, start, middle, end };
enum class GradientType { axial, radial };
// How an image fills a layer's bounds.
enum class ContentsGravity { resize, resizeAspect, resizeAspectFill, center };

// Everything a layer draws with, in one record, so that a presentation is the
// model record with the running animations applied. Layers of every kind
// share the record; each kind reads the fields it draws.
struct LayerProperties {
    // Geometry: the layer's own space is `bounds`; `anchorPoint` (a fraction
    // of the bounds) sits at `position` in the superlayer's space.
    Rect bounds;
    Point position;
    Point anchorPoint{0.5, 0.5};
    double zPosition = 0;
    Transform transform;

    double opacity = 1;
    bool hidden = false;
    bool masksToBounds = false;

    Color backgroundColor;
    Color borderColor{0, 0, 0, 1};
    double borderWidth = 0;
    double cornerRadius = 0;

    Color shadowColor{0, 0, 0, 1};
    double shadowOpacity = 0;
    double shadowRadius = 3;
    Size shadowOffset{0, -3};
    std::optional<QPainterPath> shadowPath;

    QImage contents; // drawn into the bounds; its pixels are `contentsScale` per point
    double contentsScale = 1;
    ContentsGravity contentsGravity = ContentsGravity::resize;

    // Shape layers.
    QPainterPath path;
    Color fillColor{0, 0, 0, 1};
    Color strokeColor;
    double lineWidth = 1;
    double strokeStart = 0;
    double strokeEnd = 1;
    LineCap lineCap = LineCap::butt;
    LineJoin lineJoin = LineJoin::miter;

    // Gradient layers: points are fractions of the bounds.
    std::vector<Color> colors;
    std::vector<double> locations; // empty: evenly spread
    Point startPoint{0.5, 0};
    Point endPoint{0.5, 1};
    GradientType gradientType = GradientType::axial;

    // Text layers: one line, from the top of the bounds.
    QString string;
    double fontSize = 36;
    FontWeight fontWeight = FontWeight::regular;
    TextAlignment alignment = TextAlignment::left;
    Truncation truncation = Truncation::none;
    Color foregroundColor{1, 1, 1, 1};

    // The frame in the superlayer's space, ignoring the transform.
    Rect frame() const;
};

// The value of one animatable property.
LayerValue readProperty(const LayerProperties& properties, KeyPath keyPath);
// Sets one animatable property; a value of the wrong kind is ignored.
void writeProperty(LayerProperties& properties, KeyPath keyPath, const LayerValue& value);

} // namespace tarvo
