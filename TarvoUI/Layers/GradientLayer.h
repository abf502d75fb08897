#pragma once

#include "Layer.h"

namespace tarvo {

// Fills the bounds with an axial gradient from `startPoint` to `endPoint`, or
// a radial one centred on `startPoint` reaching `endPoint` (fractions of the
// bounds).
class GradientLayer final : public Layer {
public:
    static std::shared_ptr<GradientLayer> make() {
        return std::shared_ptr<GradientLayer>(new GradientLayer());
    }

    void setColors(std::vector<Color> colors);
    void setLocations(std::vector<double> locations);
    void setPoints(Point start, Point end);
    void setType(GradientType type);

    void drawContents(QPainter& painter, const LayerProperties& properties,
                      const PaintContext& context) const override;

private:
    GradientLayer() = default;
};

} // namespace tarvo
