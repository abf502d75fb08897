#include "CaptionChip.h"

#include "Motion.h"

#include <algorithm>
#include <cmath>

namespace tarvo {

namespace {

constexpr double cornerRadius = 12;
constexpr double labelHeight = 15;
constexpr Color fill = Color::rgb(0.94, 0.94, 0.95, 0.96);
constexpr Color ink = Color::rgb(0.071, 0.078, 0.098);
constexpr const char* moveKey = "move";

// Moves `layer` to `frame`, from where it shows now.
void moveTo(Layer& layer, const Rect& frame) {
    const LayerProperties shown = layer.presentation();
    layer.setFrame(frame);
    const TimingCurve curve = TimingCurve::easeOut();
    if (!(shown.position == layer.position()))
        layer.addAnimation(Motion::timed(KeyPath::position, shown.position, layer.position(),
                                         Motion::fadeDuration, curve),
                           moveKey);
    if (!(shown.bounds == layer.bounds()))
        layer.addAnimation(Motion::timed(KeyPath::bounds, shown.bounds, layer.bounds(),
                                         Motion::fadeDuration, curve),
                           std::string(moveKey) + "-bounds");
}

} // namespace

CaptionChip::CaptionChip() : m_layer(Layer::make()), m_label(TextLayer::make()) {
    m_layer->name = "caption-chip";
    m_layer->setBackgroundColor(fill);
    m_layer->setCornerRadius(cornerRadius);
    m_layer->setHidden(true);
    m_label->name = "caption";
    m_label->setFont(fontSize, FontWeight::semibold);
    m_label->setAlignment(TextAlignment::center);
    m_label->setTruncation(Truncation::middle);
    m_label->setForegroundColor(ink);
    m_layer->addSublayer(m_label);
}

namespace {

constexpr double viewMargin = 8; // each side, between the chip and the view's edge

double chipWidthFor(const QString& text) {
    return std::ceil(TextLayer::preferredWidth(text, CaptionChip::fontSize, FontWeight::semibold)) +
           2 * CaptionChip::textInset;
}

} // namespace

Rect CaptionChip::frameFor(const QString& text, double viewWidth, double visibleBottom) {
    const double width = std::max(std::min(chipWidthFor(text), viewWidth - 2 * viewMargin), 0.0);
    return {std::round((viewWidth - width) / 2), visibleBottom - height - gap, width, height};
}

double CaptionChip::viewWidthFor(const QString& text) {
    return chipWidthFor(text) + 2 * viewMargin;
}

void CaptionChip::show(const QString& text, double viewWidth, double visibleBottom,
                       bool reduceMotion) {
    const Rect frame = frameFor(text, viewWidth, visibleBottom);
    const Rect labelFrame{textInset, std::round((height - labelHeight) / 2),
                          std::max(frame.width - 2 * textInset, 0.0), labelHeight};
    const bool moves = isShowing() && m_text && *m_text != text && !reduceMotion;
    m_label->setString(text);
    if (moves) {
        moveTo(*m_layer, frame);
        moveTo(*m_label, labelFrame);
    } else {
        m_layer->removeAnimation(moveKey);
        m_layer->removeAnimation(std::string(moveKey) + "-bounds");
        m_label->removeAnimation(moveKey);
        m_label->removeAnimation(std::string(moveKey) + "-bounds");
        m_layer->setFrame(frame);
        m_label->setFrame(labelFrame);
    }
    m_text = text;
    m_layer->setHidden(false);
}

void CaptionChip::hide() {
    m_layer->setHidden(true);
    m_text.reset();
}

std::optional<Rect> CaptionChip::frame() const {
    if (!isShowing())
        return std::nullopt;
    return m_layer->frame();
}

} // namespace tarvo
