#pragma once

#include "Layer.h"

namespace tarvo {

// Fills and strokes a path in the layer's own space. `strokeStart` and
// `strokeEnd` (fractions of the path's length) limit the stroke.
class ShapeLayer final : public Layer {
public:
    static std::shared_ptr<ShapeLayer> make() {
        return std::shared_ptr<ShapeLayer>(new ShapeLayer());
    }

    const QPainterPath& path() const { return model().path; }
    void setPath(const QPainterPath& path);
    void setFillColor(const Color& color);
    void setStrokeColor(const Color& color);
    void setLineWidth(double width);
    void setLineCap(LineCap cap);
    void setLineJoin(LineJoin join);
    void setStrokeStart(double fraction);
    void setStrokeEnd(double fraction);

    void drawContents(QPainter& painter, const LayerProperties& properties,
                      const PaintContext& context) const override;
    QPainterPath shadowShape(const LayerProperties& properties) const override;

private:
    ShapeLayer() = default;
    static void drawShape(QPainter& painter, const LayerProperties& properties);
};

} // namespace tarvo
