#include "CursorBadge.h"

#include "TextLayer.h"

#include "TarvoPlatform/Clock.h"
#include "TarvoPlatform/DisplayOptions.h"
#include "TarvoPlatform/PanelWindowSystem.h"
#include "TarvoPlatform/Screens.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QPainter>
#include <QVariantAnimation>

#include <algorithm>
#include <cmath>
#include <utility>

namespace tarvo {

namespace {

constexpr double fadeDuration = 0.12;
// The translucent dark material of heads-up windows, and its hairline.
const QColor materialColor = QColor::fromRgbF(0.09f, 0.09f, 0.10f, 0.82f);
const QColor materialBorder = QColor::fromRgbF(1, 1, 1, 0.16f);
const QColor opaqueColor = QColor::fromRgbF(0.11f, 0.11f, 0.11f, 1);
const QColor secondaryLabel = QColor::fromRgbF(1, 1, 1, 0.62f);

} // namespace

BadgeView::BadgeView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAccessibleName(m_content.text);
    // Its window carries the text too, for tools that read windows.
    setWindowTitle(m_content.text);
    // Sized when its window first needs it: measuring the label loads the
    // fonts, which a program that never drags an item out does without.
}

void BadgeView::apply(const BadgeContent& content, const QImage& icon) {
    m_content = content;
    m_icon = icon;
    setAccessibleName(content.text);
    setWindowTitle(content.text);
    const QSizeF size = fittingSize();
    resize(qCeil(size.width()), qCeil(size.height()));
    update();
}

void BadgeView::applyAccessibilitySettings(bool reduceTransparency) {
    if (m_opaque == reduceTransparency)
        return;
    m_opaque = reduceTransparency;
    update();
}

QFont BadgeView::labelFont() const {
    return TextLayer::font(11, FontWeight::medium);
}

QColor BadgeView::labelColor() const {
    if (m_content.isConversion)
        return QApplication::palette().color(QPalette::Highlight);
    return secondaryLabel;
}

double BadgeView::labelWidth() const {
    if (m_content.text.isEmpty())
        return 0;
    return std::ceil(QFontMetricsF(labelFont()).horizontalAdvance(m_content.text));
}

QSizeF BadgeView::fittingSize() const {
    const double chrome =
        showsIcon() ? 2 * horizontalPadding + iconSize + iconTextGap : 2 * horizontalPadding;
    return {labelWidth() + chrome, height};
}

QRectF BadgeView::iconFrame() const {
    if (!showsIcon())
        return {};
    return {horizontalPadding, 4, iconSize, iconSize};
}

QRectF BadgeView::labelFrame() const {
    const double start =
        showsIcon() ? horizontalPadding + iconSize + iconTextGap : horizontalPadding;
    return {start, 4, fittingSize().width() - start - horizontalPadding, 14};
}

QPainterPath BadgeView::outline() const {
    QPainterPath path;
    path.addRoundedRect(QRectF(QPointF(0, 0), fittingSize()), cornerRadius, cornerRadius);
    return path;
}

void BadgeView::setPaintedOpacity(double opacity) {
    opacity = std::clamp(opacity, 0.0, 1.0);
    if (opacity == m_opacity)
        return;
    m_opacity = opacity;
    update();
}

void BadgeView::paintPill(QPainter& painter) const {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setOpacity(m_opacity);
    const QPainterPath pill = outline();
    if (m_opaque) {
        painter.fillPath(pill, opaqueColor);
    } else {
        painter.fillPath(pill, materialColor);
        // The hairline lies inside the pill, so the outline is the whole shape.
        const QRectF inner =
            QRectF(QPointF(0, 0), fittingSize()).adjusted(0.25, 0.25, -0.25, -0.25);
        painter.setPen(QPen(materialBorder, 0.5));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(inner, cornerRadius - 0.25, cornerRadius - 0.25);
    }
    if (showsIcon())
        painter.drawImage(iconFrame(), m_icon);
    painter.setFont(labelFont());
    painter.setPen(labelColor());
    const QRectF label = labelFrame();
    const QString text =
        QFontMetricsF(labelFont()).elidedText(m_content.text, Qt::ElideMiddle, label.width() + 1);
    painter.drawText(label.adjusted(0, -2, 0, 2), Qt::AlignLeft | Qt::AlignVCenter, text);
    painter.restore();
}

QImage BadgeView::render(double ratio) const {
    const QSizeF size = fittingSize();
    QImage image(qCeil(size.width() * ratio), qCeil(size.height() * ratio),
                 QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    image.setDevicePixelRatio(ratio);
    QPainter painter(&image);
    paintPill(painter);
    return image;
}

void BadgeView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(rect(), Qt::transparent);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    paintPill(painter);
}

BadgeWindow::BadgeWindow(Clock& clock, Screens& screens, PanelWindowSystem* windowSystem,
                         const DisplayOptions* display, IconProvider icons)
    : m_clock(clock), m_screens(screens), m_windowSystem(windowSystem), m_display(display),
      m_icons(std::move(icons)), m_badge(std::make_unique<BadgeView>()) {
    m_badge->setWindowFlags(Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowTransparentForInput |
                            Qt::WindowDoesNotAcceptFocus | Qt::NoDropShadowWindowHint);
    m_badge->setAttribute(Qt::WA_ShowWithoutActivating);
    m_badge->setAttribute(Qt::WA_X11DoNotAcceptFocus);
    m_badge->setAttribute(Qt::WA_TranslucentBackground);
    m_badge->setPaintedOpacity(0);

    m_fade = std::make_unique<QVariantAnimation>();
    m_fade->setEasingCurve(QEasingCurve::OutCubic);
    QObject::connect(
        m_fade.get(), &QVariantAnimation::valueChanged, m_badge.get(),
        [this](const QVariant& value) { m_badge->setPaintedOpacity(value.toDouble()); });
}

BadgeWindow::~BadgeWindow() {
    m_fade->stop();
}

void BadgeWindow::apply(const BadgeContent& content) {
    const double ratio = m_badge->devicePixelRatioF();
    const QImage icon = content.bundleID && m_icons ? m_icons(*content.bundleID, ratio) : QImage();
    m_badge->apply(content, icon);
    m_measured = true;
    m_frame.width = m_badge->fittingSize().width();
    m_frame.height = BadgeView::height;
    placeWindow();
    applyShape();
}

void BadgeWindow::measure() {
    if (std::exchange(m_measured, true))
        return;
    m_frame.width = m_badge->fittingSize().width();
    m_badge->resize(qCeil(m_frame.width), qCeil(m_frame.height));
}

void BadgeWindow::follow(QPointF cursor, const std::optional<Rect>& screen) {
    measure();
    const double w = m_frame.width;
    const double h = m_frame.height;
    double x = cursor.x() + 8;
    double y = cursor.y() - 12 - h;
    if (screen) {
        x = std::max(x, screen->x + 4);
        x = std::min(x, screen->x + screen->width - w - 4);
        y = std::max(y, screen->y + 4);
        y = std::min(y, screen->y + screen->height - h - 4);
    }
    m_frame.x = x;
    m_frame.y = y;
    placeWindow();
}

void BadgeWindow::placeWindow() {
    const QRect geometry = m_screens.toWindowGeometry(m_frame);
    m_badge->setGeometry(geometry);
}

void BadgeWindow::cursorLeftTarvo(Date at) {
    if (m_timing.leftTarvoAt)
        return;
    m_timing.leftTarvoAt = at;
    m_pendingShow = m_clock.schedule(BadgeTiming::appearDelay, [this] { fadeIn(); });
}

bool BadgeWindow::reduceMotion() const {
    return m_display && m_display->reduceMotion();
}

void BadgeWindow::fadeIn() {
    m_pendingShow.reset();
    if (!m_timing.leftTarvoAt)
        return;
    m_alpha = 1;
    // A compositing manager may have come or gone since the last show.
    m_composited = !m_windowSystem || m_windowSystem->hasCompositor();
    // The desktop's settings are read when the badge shows, not when the
    // program starts.
    applyAccessibilitySettings();
    measure();
    m_badge->show();
    m_badge->raise();
    applyShape();
    m_fade->stop();
    if (reduceMotion()) {
        m_badge->setPaintedOpacity(1);
        return;
    }
    m_fade->setStartValue(m_badge->paintedOpacity());
    m_fade->setEndValue(1.0);
    m_fade->setDuration(int(fadeDuration * 1000));
    m_fade->start();
}

void BadgeWindow::cursorEnteredTarvo() {
    m_timing.leftTarvoAt.reset();
    m_pendingShow.reset();
    m_fade->stop();
    m_alpha = 0;
    m_badge->setPaintedOpacity(0);
    m_badge->hide();
}

bool BadgeWindow::isShowing() const {
    return m_badge->isVisible() && m_alpha > 0;
}

void BadgeWindow::hide() {
    cursorEnteredTarvo();
    if (m_measured)
        m_frame.width = m_badge->fittingSize().width();
}

void BadgeWindow::applyAccessibilitySettings() {
    m_badge->applyAccessibilitySettings(m_display && m_display->reduceTransparency());
}

void BadgeWindow::applyShape() {
    // Qt keeps a widget's mask as the window's bounding shape, also when it
    // makes the window again; the pointer already passes through, since the
    // window is transparent for input (an empty input shape on X11).
    if (m_composited) {
        m_badge->clearMask();
        return;
    }
    m_badge->setMask(QRegion(m_badge->outline().toFillPolygon().toPolygon(), Qt::WindingFill));
}

} // namespace tarvo
