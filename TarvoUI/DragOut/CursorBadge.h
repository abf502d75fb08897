#pragma once

#include "BadgeContent.h"
#include "Rect.h"

#include <QImage>
#include <QPainterPath>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QVariantAnimation;

namespace tarvo {

class Clock;
class DisplayOptions;
class PanelWindowSystem;
class ScheduledWork;
class Screens;

// The pill beside the pointer: the destination application's icon and what
// it will receive. Painted by hand, so that it can fade by painting with an
// opacity where no compositor fades windows.
class BadgeView final : public QWidget {
public:
    static constexpr double height = 22;
    static constexpr double horizontalPadding = 8;
    static constexpr double cornerRadius = 11;
    static constexpr double iconSize = 14;
    static constexpr double iconTextGap = 4;

    explicit BadgeView(QWidget* parent = nullptr);

    const BadgeContent& content() const { return m_content; }
    const QImage& icon() const { return m_icon; }
    bool showsIcon() const { return !m_icon.isNull(); }
    // Stores the content and its icon (null: none) and lays the pill out.
    void apply(const BadgeContent& content, const QImage& icon);
    // Opaque dark grey without the translucent material where the desktop
    // asks to reduce transparency.
    void applyAccessibilitySettings(bool reduceTransparency);
    bool isOpaque() const { return m_opaque; }

    // The label's width, rounded up, and the pill's size for the content.
    double labelWidth() const;
    QSizeF fittingSize() const;
    // The label's frame and the icon's, in the pill's own coordinates
    // (origin at the top left).
    QRectF labelFrame() const;
    QRectF iconFrame() const;
    // The pill's outline in its own coordinates.
    QPainterPath outline() const;

    // How much of the pill is painted, 0 to 1.
    double paintedOpacity() const { return m_opacity; }
    void setPaintedOpacity(double opacity);

    // Paints the pill into `painter` at its origin.
    void paintPill(QPainter& painter) const;
    // The pill alone, `ratio` device pixels per point, on transparency.
    QImage render(double ratio) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QFont labelFont() const;
    QColor labelColor() const;

    BadgeContent m_content = BadgeContent::initial();
    QImage m_icon;
    bool m_opaque = false;
    double m_opacity = 1;
};

// The window of the cursor badge: a tool tip that never takes the pointer or
// the keyboard, moved with the pointer while items are dragged out. It shows
// a moment after the pointer leaves the shelf and hides when the pointer comes
// back or the drag ends. Without a compositor its shape is the pill's outline.
// Main thread only.
class BadgeWindow final {
public:
    // Looks up the icon of an application, drawn 14 points square at a
    // device pixel ratio; a null image when there is none.
    using IconProvider = std::function<QImage(const QString& appID, double ratio)>;

    // None of the services is owned; `windowSystem` (asked whether a
    // compositor runs) and `display` may be absent: then the window is
    // whole, translucent and fades.
    BadgeWindow(Clock& clock, Screens& screens, PanelWindowSystem* windowSystem,
                const DisplayOptions* display, IconProvider icons);
    ~BadgeWindow();
    BadgeWindow(const BadgeWindow&) = delete;
    BadgeWindow& operator=(const BadgeWindow&) = delete;

    BadgeView& badge() const { return *m_badge; }
    const BadgeTiming& timing() const { return m_timing; }
    // The pill's frame in global points, y upwards, as last placed.
    const Rect& frame() const { return m_frame; }
    // The alpha the window is heading for, 0 or 1.
    double alpha() const { return m_alpha; }

    // Fills the pill with `content` and its application's icon, and sizes the
    // window to it.
    void apply(const BadgeContent& content);
    // Hangs the pill right of and below the pointer's hot spot, kept 4 points
    // inside `screen` when one is given. Global points, y upwards.
    void follow(QPointF cursor, const std::optional<Rect>& screen);
    // The first exit of a stay outside the shelf arms the delayed show.
    void cursorLeftTarvo(Date at);
    // Shows the window, faded in; nothing when the pointer came back meanwhile.
    void fadeIn();
    void cursorEnteredTarvo();
    bool isShowing() const;
    // Resets the timing and puts the window away.
    void hide();
    // Reads the desktop's transparency setting again.
    void applyAccessibilitySettings();

private:
    // Sizes the pill for its label, once, before it is first placed.
    void measure();
    void placeWindow();
    void applyShape();
    bool reduceMotion() const;

    Clock& m_clock;
    Screens& m_screens;
    PanelWindowSystem* m_windowSystem;
    const DisplayOptions* m_display;
    IconProvider m_icons;
    std::unique_ptr<BadgeView> m_badge;
    BadgeTiming m_timing;
    std::unique_ptr<ScheduledWork> m_pendingShow;
    std::unique_ptr<QVariantAnimation> m_fade;
    Rect m_frame{0, 0, 80, BadgeView::height};
    double m_alpha = 0;
    bool m_composited = true;
    bool m_measured = false;
};

} // namespace tarvo
