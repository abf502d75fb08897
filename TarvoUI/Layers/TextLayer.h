#pragma once

#include "Layer.h"

#include <QFont>

namespace tarvo {

// One line of text from the top of the bounds, in the desktop's font at a
// size in points (fractions allowed), cut short as `truncation` says.
class TextLayer final : public Layer {
public:
    static std::shared_ptr<TextLayer> make() { return std::shared_ptr<TextLayer>(new TextLayer()); }

    const QString& string() const { return model().string; }
    void setString(const QString& text);
    void setFont(double size, FontWeight weight);
    void setAlignment(TextAlignment alignment);
    void setTruncation(Truncation truncation);
    void setForegroundColor(const Color& color);

    // The font a text of `size` points and `weight` is drawn with.
    static QFont font(double size, FontWeight weight);
    // How wide `text` runs in that font, in points.
    static double preferredWidth(const QString& text, double size, FontWeight weight);

    void drawContents(QPainter& painter, const LayerProperties& properties,
                      const PaintContext& context) const override;

private:
    TextLayer() = default;
    static void drawText(QPainter& painter, const LayerProperties& properties);
};

} // namespace tarvo
