#include "TextLayer.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPaintDevice>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace tarvo {

namespace {

QFont::Weight qtWeight(FontWeight weight) {
    switch (weight) {
    case FontWeight::regular:
        return QFont::Normal;
    case FontWeight::medium:
        return QFont::Medium;
    case FontWeight::semibold:
        return QFont::DemiBold;
    case FontWeight::bold:
        return QFont::Bold;
    }
    return QFont::Normal;
}

Qt::TextElideMode elideMode(Truncation truncation) {
    switch (truncation) {
    case Truncation::none:
        return Qt::ElideNone;
    case Truncation::start:
        return Qt::ElideLeft;
    case Truncation::middle:
        return Qt::ElideMiddle;
    case Truncation::end:
        return Qt::ElideRight;
    }
    return Qt::ElideNone;
}

} // namespace

void TextLayer::setString(const QString& text) {
    mutableModel().string = text;
    changed();
}

void TextLayer::setFont(double size, FontWeight weight) {
    mutableModel().fontSize = size;
    mutableModel().fontWeight = weight;
    changed();
}

void TextLayer::setAlignment(TextAlignment alignment) {
    mutableModel().alignment = alignment;
    changed();
}

void TextLayer::setTruncation(Truncation truncation) {
    mutableModel().truncation = truncation;
    changed();
}

void TextLayer::setForegroundColor(const Color& color) {
    mutableModel().foregroundColor = color;
    changed();
}

QFont TextLayer::font(double size, FontWeight weight) {
    QFont f;
    // Sizes are in points of the layer tree, which are device-independent
    // pixels; a fractional pixel size needs the point size of a 72 dpi device.
    f.setPointSizeF(size > 0 ? size : 1);
    f.setWeight(qtWeight(weight));
    return f;
}

double TextLayer::preferredWidth(const QString& text, double size, FontWeight weight) {
    // Measured on a device of 72 dots per inch, where a point of the font is
    // one point of the tree, as `drawText` draws it.
    static const QImage device = [] {
        QImage image(1, 1, QImage::Format_ARGB32_Premultiplied);
        image.setDotsPerMeterX(qRound(72 / 0.0254));
        image.setDotsPerMeterY(qRound(72 / 0.0254));
        return image;
    }();
    QFont f = font(size, weight);
    f.setPointSizeF(size > 0 ? size : 1);
    return QFontMetricsF(f, &device).horizontalAdvance(text);
}

void TextLayer::drawContents(QPainter& painter, const LayerProperties& p,
                             const PaintContext&) const {
    if (p.string.isEmpty() || !p.foregroundColor.isVisible() || p.bounds.width <= 0)
        return;
    // The line may hang below short bounds, as far as a line of the font reaches.
    const double reach = std::max(p.bounds.height, std::ceil(p.fontSize * 1.6));
    const QRectF area(p.bounds.x, p.bounds.y + p.bounds.height - reach, p.bounds.width, reach);
    QByteArray key = p.string.toUtf8();
    auto put = [&key](double v) { key.append(reinterpret_cast<const char*>(&v), sizeof v); };
    for (double v :
         {p.fontSize, static_cast<double>(p.fontWeight), static_cast<double>(p.alignment),
          static_cast<double>(p.truncation), p.foregroundColor.red, p.foregroundColor.green,
          p.foregroundColor.blue, p.foregroundColor.alpha, p.bounds.x, p.bounds.y, p.bounds.width,
          p.bounds.height})
        put(v);
    contentsCache().draw(painter, area, std::move(key), [&](QPainter& into) { drawText(into, p); });
}

void TextLayer::drawText(QPainter& painter, const LayerProperties& p) {
    QFont f = font(p.fontSize, p.fontWeight);
    // Fonts scale with the device's logical dpi; cancel it so a size in points
    // of the tree draws that many device-independent pixels high.
    if (const QPaintDevice* device = painter.device()) {
        const int dpi = device->logicalDpiY();
        if (dpi > 0)
            f.setPointSizeF((p.fontSize > 0 ? p.fontSize : 1) * 72.0 / dpi);
    }
    const QFontMetricsF metrics(f, painter.device());
    const QString text = metrics.elidedText(p.string, elideMode(p.truncation), p.bounds.width);
    Qt::Alignment align = Qt::AlignTop;
    switch (p.alignment) {
    case TextAlignment::left:
        align |= Qt::AlignLeft;
        break;
    case TextAlignment::center:
        align |= Qt::AlignHCenter;
        break;
    case TextAlignment::right:
        align |= Qt::AlignRight;
        break;
    }
    painter.save();
    // Text reads top to bottom: draw it in a y-down space over the bounds.
    painter.translate(p.bounds.x, p.bounds.y + p.bounds.height);
    painter.scale(1, -1);
    painter.setFont(f);
    painter.setPen(p.foregroundColor.toQColor());
    painter.drawText(QRectF(0, 0, p.bounds.width, std::max(p.bounds.height, metrics.height())),
                     static_cast<int>(align) | Qt::TextSingleLine, text);
    painter.restore();
}

} // namespace tarvo
