#pragma once

#include "Rect.h"
#include "TarvoCore/ScreenMetrics.h"
#include "TarvoCore/TarvoState.h"

#include <QRegion>
#include <QWidget>

#include <optional>

namespace tarvo {

class PanelWindowSystem;
class Screens;
class TarvoView;

// The shelf's window: frameless, always on top, on every workspace, out of
// the task bar and pager, and never activated unless it asks for keyboard
// focus. Where its view says nothing is hit, the pointer reaches the windows
// below; without a compositing manager only the island's outline shows.
// Main thread only.
class TarvoPanel final : public QWidget {
public:
    // `windowSystem` may be absent (a display without window-system
    // extras); neither argument is owned.
    TarvoPanel(PanelWindowSystem* windowSystem, Screens& screens);
    ~TarvoPanel() override;

    bool wantsKeyboardFocus() const { return m_wantsKeyboardFocus; }
    // True takes keyboard focus and brings the panel forward, asking the
    // window manager as the user's request at `timestamp` (the server time
    // of the click or key that asked; 0 for the latest the panel saw) and
    // remembering which window had the keyboard; false gives it up and hands
    // the keyboard back to that window unless the user has moved on to
    // another. The window stays shown either way. A press on the view asks
    // for it too.
    void setWantsKeyboardFocus(bool wants, quint32 timestamp = 0);
    // The window that had the keyboard before the panel took it; 0 when
    // none is remembered.
    quint64 previousActiveWindow() const { return m_previousActive; }
    bool canBecomeKey() const { return m_wantsKeyboardFocus; }
    bool canBecomeMain() const { return false; }
    // Escape while the panel has the keyboard.
    void cancelOperation();

    // The view that fills the panel, owned by it from now on.
    TarvoView* contentView() const { return m_view; }
    void setContentView(TarvoView* view);

    // The frame in global points, y upwards.
    const Rect& frame() const { return m_frame; }
    void setFrame(const Rect& frame);
    void place(const ScreenMetrics& metrics, TarvoState state, double contentWidth);

    void orderFront();
    void orderOut();
    // Shown to the user: mapped and not put away.
    bool isPanelVisible() const { return isVisible() && !m_putAway; }
    // Mapped but shaped to nothing: how a panel whose window system hides by
    // shape rests between shows.
    bool isPutAway() const { return m_putAway; }

    // Follows the view's hit regions and, without a compositor, its outline.
    void applyShape();
    // Asks the window system whether a compositing manager runs now (a round
    // trip), then shapes again.
    void refreshCompositor();
    // What the last shaping used, in the window's device pixels.
    const QRegion& inputRegion() const { return m_inputRegion; }
    const std::optional<QRegion>& boundingRegion() const { return m_boundingRegion; }
    // Whether a compositing manager ran at the last look.
    bool composited() const { return m_composited; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    quint64 windowID();
    // Without a compositor, the bounding shape follows the outline as an
    // animation frame presents it; sent only when the region changed.
    void followOutline();
    // A panel out of sight keeps no pictures and no window pixels.
    void dropPixels();

    PanelWindowSystem* m_windowSystem;
    Screens& m_screens;
    TarvoView* m_view = nullptr;
    Rect m_frame;
    bool m_wantsKeyboardFocus = false;
    quint64 m_previousActive = 0;
    // The server time of the latest press or key the panel saw.
    quint32 m_lastUserTime = 0;
    bool m_composited = true;
    QRegion m_inputRegion;
    std::optional<QRegion> m_boundingRegion;
    bool m_boundingSet = false;
    bool m_putAway = false;
};

} // namespace tarvo
