#pragma once

#include "Layer.h"
#include "TextLayer.h"

#include <QString>

#include <memory>
#include <optional>

namespace tarvo {

// The caption under the island: a light capsule with one line of text (a
// notice, or the name of the item under the pointer), centred, its top a few
// points below the island's lower edge. Coordinates are the view's, y
// upwards. Main thread only.
class CaptionChip final {
public:
    static constexpr double height = 24;
    static constexpr double gap = 5;
    static constexpr double textInset = 12;
    static constexpr double fontSize = 11.5;

    CaptionChip();

    // The capsule, to be added to the view's tree; `label` lies inside it.
    const std::shared_ptr<Layer>& layer() const { return m_layer; }
    const std::shared_ptr<TextLayer>& label() const { return m_label; }

    // Shows `text` under an island whose lower edge is `visibleBottom`, in a
    // view `viewWidth` wide. When the chip already shows another text it
    // moves to its new frame (at once with Reduce Motion).
    void show(const QString& text, double viewWidth, double visibleBottom, bool reduceMotion);
    // Hides the chip; the next text shows without a move.
    void hide();
    bool isShowing() const { return !m_layer->isHidden(); }
    // The text on screen; none while hidden.
    const std::optional<QString>& text() const { return m_text; }
    // The chip's frame; none while it is hidden.
    std::optional<Rect> frame() const;

    // The frame `text` takes under the island, as `show` places it.
    static Rect frameFor(const QString& text, double viewWidth, double visibleBottom);
    // The narrowest view in which `text` shows whole.
    static double viewWidthFor(const QString& text);

private:
    std::shared_ptr<Layer> m_layer;
    std::shared_ptr<TextLayer> m_label;
    std::optional<QString> m_text;
};

} // namespace tarvo
