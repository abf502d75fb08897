#include "IconRenderer.h"

#include "TarvoShape.h"

#include <QHash>
#include <QIcon>
#include <QIconEngine>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <algorithm>
#include <cmath>
#include <vector>

namespace tarvo::IconRenderer {

namespace {

const QColor cobaltLight = QColor::fromRgbF(0.361f, 0.522f, 1.0f);
const QColor cobalt = QColor::fromRgbF(0.184f, 0.357f, 0.918f);
const QColor cobaltDeep = QColor::fromRgbF(0.075f, 0.157f, 0.588f);
const QColor markWhite = QColor::fromRgbF(1.0f, 1.0f, 1.0f);

// Maps the y-up description onto the painter: inside `rect`, y grows upwards
// from rect.top() (the lower edge) to rect.bottom() (the upper edge).
void flipInside(QPainter& painter, const QRectF& rect) {
    painter.translate(0, rect.top() + rect.bottom());
    painter.scale(1, -1);
}

void fillTileGradient(QPainter& painter, const QRectF& rect) {
    // From the top edge (largest y) down to the bottom edge.
    QLinearGradient gradient(QPointF(rect.center().x(), rect.bottom()),
                             QPointF(rect.center().x(), rect.top()));
    gradient.setColorAt(0, cobaltLight);
    gradient.setColorAt(0.5, cobalt);
    gradient.setColorAt(1, cobaltDeep);
    painter.fillRect(rect, gradient);
}

// One horizontal or vertical pass of a box blur over the alpha channel.
void boxBlurPass(std::vector<float>& a, int width, int height, int radius, bool horizontal) {
    if (radius < 1)
        return;
    std::vector<float> out(a.size());
    const int length = horizontal ? width : height;
    const int lines = horizontal ? height : width;
    const float scale = 1.0f / float(2 * radius + 1);
    for (int line = 0; line < lines; ++line) {
        auto at = [&](int i) -> float& {
            const int x = horizontal ? i : line;
            const int y = horizontal ? line : i;
            return a[std::size_t(y) * std::size_t(width) + std::size_t(x)];
        };
        float sum = 0;
        for (int i = -radius; i <= radius; ++i)
            sum += (i >= 0 && i < length) ? at(i) : 0.0f;
        for (int i = 0; i < length; ++i) {
            const int x = horizontal ? i : line;
            const int y = horizontal ? line : i;
            out[std::size_t(y) * std::size_t(width) + std::size_t(x)] = sum * scale;
            const int leaving = i - radius;
            const int entering = i + radius + 1;
            if (leaving >= 0)
                sum -= at(leaving);
            if (entering < length)
                sum += at(entering);
        }
    }
    a.swap(out);
}

// Fills `path` (current user coordinates) with a soft shadow under it: the
// path's silhouette in `color`, blurred by `blur` and moved by `offset`, both
// in user units. Drawn in device pixels so that it is sharp at any scale.
void drawShadow(QPainter& painter, const QPainterPath& path, QPointF offset, double blur,
                const QColor& color) {
    const QTransform toDevice = painter.worldTransform();
    const double unit = std::sqrt(std::abs(toDevice.determinant()));
    const double sigma = std::max(0.0, blur * unit / 2.0);
    // Three box passes approximate a Gaussian of that deviation.
    const int radius = int(std::lround(std::sqrt(12.0 * sigma * sigma / 3.0 + 1.0) / 2.0));
    const int margin = 3 * radius + 2;
    const QPainterPath devicePath = toDevice.map(path);
    const QPointF deviceOffset = toDevice.map(offset) - toDevice.map(QPointF(0, 0));
    const QRect bounds =
        devicePath.boundingRect().toAlignedRect().adjusted(-margin, -margin, margin, margin);
    if (bounds.isEmpty())
        return;

    QImage mask(bounds.size(), QImage::Format_Alpha8);
    mask.fill(0);
    {
        QPainter maskPainter(&mask);
        maskPainter.setRenderHint(QPainter::Antialiasing);
        maskPainter.translate(-bounds.topLeft());
        maskPainter.fillPath(devicePath, Qt::black);
    }
    const int width = mask.width();
    const int height = mask.height();
    std::vector<float> alpha(std::size_t(width) * std::size_t(height));
    for (int y = 0; y < height; ++y) {
        const uchar* line = mask.constScanLine(y);
        for (int x = 0; x < width; ++x)
            alpha[std::size_t(y) * std::size_t(width) + std::size_t(x)] = float(line[x]) / 255.0f;
    }
    for (int pass = 0; pass < 3; ++pass) {
        boxBlurPass(alpha, width, height, radius, true);
        boxBlurPass(alpha, width, height, radius, false);
    }
    QImage shadow(bounds.size(), QImage::Format_ARGB32_Premultiplied);
    const float a = float(color.alphaF());
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(shadow.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const float k = a * alpha[std::size_t(y) * std::size_t(width) + std::size_t(x)];
            line[x] = qRgba(int(std::lround(color.redF() * k * 255)),
                            int(std::lround(color.greenF() * k * 255)),
                            int(std::lround(color.blueF() * k * 255)), int(std::lround(k * 255)));
        }
    }
    painter.save();
    painter.resetTransform();
    painter.drawImage(QPointF(bounds.topLeft()) + deviceOffset, shadow);
    painter.restore();
}

void fillWithOptionalShadow(QPainter& painter, const QPainterPath& path, bool shadowed,
                            QPointF offset, double blur, const QColor& shadowColor) {
    if (shadowed)
        drawShadow(painter, path, offset, blur, shadowColor);
    painter.fillPath(path, markWhite);
}

} // namespace

double lineWidth(double squareWidth) {
    return std::max(1.0, 0.013 * squareWidth);
}

void drawNotchMark(QPainter& painter, const QRectF& square, int size) {
    const double S = square.width();
    // y up: the square's lower edge is square.top(), its upper edge square.bottom().
    const double squareBottom = square.top();
    const double squareTop = square.bottom();

    // The sheet, with its upper right corner folded away.
    const double m = 0.4 * S;
    const double c = 0.3 * m;
    const double r = 0.2 * m;
    const double left = square.center().x() - m / 2;
    const double right = left + m;
    const double bottom = squareBottom + 0.3 * S;
    const double top = bottom + m;
    // Qt's arcs run counter-clockwise on a y-down screen: in the flipped y-up
    // space used here, an angle a lands at (cx + r cos a, cy - r sin a).
    QPainterPath sheet;
    sheet.moveTo(left + r, top);
    sheet.lineTo(right - c, top);
    sheet.lineTo(right, top - c);
    sheet.lineTo(right, bottom + r);
    sheet.arcTo(QRectF(right - 2 * r, bottom, 2 * r, 2 * r), 0, 90);
    sheet.lineTo(left + r, bottom);
    sheet.arcTo(QRectF(left, bottom, 2 * r, 2 * r), 90, 90);
    sheet.lineTo(left, top - r);
    sheet.arcTo(QRectF(left, top - 2 * r, 2 * r, 2 * r), 180, 90);
    sheet.closeSubpath();
    fillWithOptionalShadow(painter, sheet, size >= 32, QPointF(0, 0.006 * S), 0.03 * S,
                           QColor::fromRgbF(0.03f, 0.07f, 0.28f, 0.4f));

    if (size >= 48) {
        QPainterPath fold;
        fold.moveTo(right - c, top);
        fold.lineTo(right - c, top - c);
        fold.lineTo(right, top - c);
        fold.closeSubpath();
        painter.fillPath(fold, QColor::fromRgbF(0.7f, 0.79f, 0.96f, 1.0f));

        QPen pen(QColor::fromRgbF(0.6f, 0.7f, 0.94f, 1.0f));
        pen.setWidthF(lineWidth(S));
        pen.setCapStyle(Qt::RoundCap);
        painter.save();
        painter.setPen(pen);
        for (int i = 0; i < 3; ++i) {
            const double y = top - 0.34 * m - i * 0.18 * m;
            const double end = (i == 0) ? right - r - 0.5 * c : right - r;
            painter.drawLine(QPointF(left + r, y), QPointF(end, y));
        }
        painter.restore();
    }

    // The notch: square upper corners flush with the top edge, rounded lower ones.
    const double w = 0.52 * S;
    const double h = 0.22 * S;
    const double q = std::min(0.18 * w, 0.5 * h);
    const double notchLeft = square.center().x() - w / 2;
    const double notchRight = notchLeft + w;
    const double notchBottom = squareTop - h;
    QPainterPath notch;
    notch.moveTo(notchLeft, squareTop);
    notch.lineTo(notchLeft, notchBottom + q);
    notch.arcTo(QRectF(notchLeft, notchBottom, 2 * q, 2 * q), 180, -90);
    notch.lineTo(notchRight - q, notchBottom);
    notch.arcTo(QRectF(notchRight - 2 * q, notchBottom, 2 * q, 2 * q), 90, -90);
    notch.lineTo(notchRight, squareTop);
    notch.closeSubpath();
    fillWithOptionalShadow(painter, notch, size >= 32, QPointF(0, -0.02 * S), 0.05 * S,
                           QColor::fromRgbF(0.03f, 0.06f, 0.24f, 0.55f));
}

void paintTileFace(QPainter& painter, const QRectF& rect) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    flipInside(painter, rect);
    QPainterPath clip;
    clip.setFillRule(Qt::WindingFill);
    const double radius = 0.22 * rect.width();
    clip.addRoundedRect(rect, radius, radius);
    painter.setClipPath(clip, Qt::IntersectClip);
    fillTileGradient(painter, rect);
    drawNotchMark(painter, rect, int(rect.width()));
    painter.restore();
}

QString IconError::description() const {
    switch (kind) {
    case Kind::renderFailed:
        return QStringLiteral("could not draw the icon at %1 pixels").arg(size);
    case Kind::writeFailed:
        return QStringLiteral("could not write icon_%1.png").arg(size);
    }
    return {};
}

std::optional<IconError> writeAll(const QString& folder) {
    for (const int size : iconSizes) {
        const QImage image = render(size);
        if (image.isNull())
            return IconError{IconError::Kind::renderFailed, size};
        if (!image.save(folder + QStringLiteral("/icon_%1.png").arg(size), "PNG"))
            return IconError{IconError::Kind::writeFailed, size};
    }
    return std::nullopt;
}

namespace {

// The app tile, drawn at the size a tray or a window frame asks for when it
// asks: a session that never shows it never draws it.
class TileIconEngine final : public QIconEngine {
public:
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode, QIcon::State) override {
        painter->drawImage(rect, render(std::min(rect.width(), rect.height())));
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode, QIcon::State) override {
        const int side = std::min(size.width(), size.height());
        if (side < 1)
            return {};
        const auto found = m_drawn.constFind(side);
        if (found != m_drawn.constEnd())
            return *found;
        const QPixmap drawn = QPixmap::fromImage(render(side));
        m_drawn.insert(side, drawn);
        return drawn;
    }
    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override {
        const int side = std::min(size.width(), size.height());
        return {side, side};
    }
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
        return {{16, 16}, {22, 22}, {24, 24}, {32, 32}, {48, 48}, {64, 64}};
    }
    QIconEngine* clone() const override { return new TileIconEngine(*this); }

private:
    QHash<int, QPixmap> m_drawn;
};

} // namespace

QIcon tileIcon() {
    return QIcon(new TileIconEngine);
}

QImage render(int size) {
    if (size < 1)
        return {};
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return {};
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF canvas(0, 0, size, size);
    flipInside(painter, canvas);
    const double inset = 0.06 * size;
    const QRectF square = canvas.adjusted(inset, inset, -inset, -inset);
    painter.save();
    painter.setClipPath(
        TarvoShape::squircle(Rect{square.x(), square.y(), square.width(), square.height()},
                             0.2237 * square.width()),
        Qt::IntersectClip);
    fillTileGradient(painter, square);
    if (size >= 64) {
        const QPointF centre(square.center().x(), square.bottom() - 0.12 * square.height());
        QRadialGradient highlight(centre, 0.55 * square.width(), centre);
        highlight.setColorAt(0, QColor::fromRgbF(1, 1, 1, 0.16f));
        highlight.setColorAt(1, QColor::fromRgbF(1, 1, 1, 0));
        painter.fillRect(square, highlight);
    }
    drawNotchMark(painter, square, size);
    painter.restore();
    painter.end();
    return image;
}

} // namespace tarvo::IconRenderer
