#include "TarvoPanel.h"

#include "TarvoView.h"
#include "TarvoViewDelegate.h"

#include "TarvoCore/TarvoGeometry.h"
#include "TarvoPlatform/PanelWindowSystem.h"
#include "TarvoPlatform/Screens.h"

#include <QBackingStore>
#include <QHideEvent>
#include <QKeyEvent>
#include <QTransform>
#include <QWindow>

#include <utility>

namespace tarvo {

TarvoPanel::TarvoPanel(PanelWindowSystem* windowSystem, Screens& screens)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::WindowDoesNotAcceptFocus | Qt::NoDropShadowWindowHint),
      m_windowSystem(windowSystem), m_screens(screens) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_X11DoNotAcceptFocus);
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowTitle(QStringLiteral("Tarvo"));
    // The states go on the window before it is first mapped.
    if (m_windowSystem)
        m_windowSystem->setPanelStates(windowID());
}

TarvoPanel::~TarvoPanel() = default;

quint64 TarvoPanel::windowID() {
    return quint64(winId());
}

void TarvoPanel::setContentView(TarvoView* view) {
    if (m_view == view)
        return;
    delete m_view;
    m_view = view;
    if (!m_view)
        return;
    m_view->setParent(this);
    m_view->installEventFilter(this);
    m_view->setWindowOrigin({m_frame.x, m_frame.y});
    m_view->setGeometry(rect());
    m_view->onShapeChanged = [this] { applyShape(); };
    m_view->onOutlineMoved = [this] { followOutline(); };
    m_view->show();
    // Mapped from the start where it can rest put away, before any drag
    // looks for it.
    if (m_windowSystem && m_windowSystem->hidesByShape() && !isVisible())
        orderOut();
}

void TarvoPanel::setWantsKeyboardFocus(bool wants, quint32 timestamp) {
    if (timestamp != 0)
        m_lastUserTime = timestamp;
    // Asked again while the keyboard went elsewhere: ask the window manager again.
    if (wants == m_wantsKeyboardFocus && !(wants && !isActiveWindow()))
        return;
    m_wantsKeyboardFocus = wants;
    // Changing the flag on the window handle keeps the window shown, where a
    // change of the widget's flags would hide it.
    if (QWindow* window = windowHandle())
        window->setFlag(Qt::WindowDoesNotAcceptFocus, !wants);
    setAttribute(Qt::WA_X11DoNotAcceptFocus, !wants);
    if (wants) {
        raise();
        if (m_windowSystem) {
            // A never-activating window asks the window manager itself, as
            // the user's request, or focus-stealing prevention refuses it.
            const quint64 self = windowID();
            const quint64 active = m_windowSystem->activeWindow();
            if (active != self)
                m_previousActive = active;
            m_windowSystem->activate(self, m_lastUserTime, active);
        }
        activateWindow();
        if (QWindow* window = windowHandle())
            window->requestActivate();
        if (m_view)
            m_view->setFocus(Qt::OtherFocusReason);
        return;
    }
    if (QWidget* focused = focusWidget())
        focused->clearFocus();
    const quint64 previous = std::exchange(m_previousActive, 0);
    if (!m_windowSystem || previous == 0)
        return;
    // Handed back only while the keyboard is still ours (or on its way to
    // us): a person who clicked into another window keeps it there.
    const quint64 self = windowID();
    const quint64 active = m_windowSystem->activeWindow();
    if (active == self || active == previous || active == 0)
        m_windowSystem->activate(previous, m_lastUserTime, self);
}

bool TarvoPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_view) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
            // Whatever the press does, the shelf has the keyboard after it.
            setWantsKeyboardFocus(true, quint32(static_cast<QInputEvent*>(event)->timestamp()));
            break;
        case QEvent::KeyPress:
            m_lastUserTime = quint32(static_cast<QInputEvent*>(event)->timestamp());
            break;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TarvoPanel::cancelOperation() {
    setWantsKeyboardFocus(false);
    if (m_view && m_view->delegate())
        m_view->delegate()->tarvoViewDidRequestEscape(*m_view);
}

void TarvoPanel::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        cancelOperation();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TarvoPanel::setFrame(const Rect& frame) {
    m_frame = frame;
    const QRect geometry = m_screens.toWindowGeometry(frame);
    setGeometry(geometry);
    // A hidden window hears of its new size only when shown; the view is
    // laid out for it now, so the shapes set before the window maps fit.
    if (m_view) {
        m_view->setWindowOrigin({frame.x, frame.y});
        m_view->setGeometry(QRect(QPoint(), geometry.size()));
        m_view->layoutContents();
    }
}

void TarvoPanel::place(const ScreenMetrics& metrics, TarvoState state, double contentWidth) {
    setFrame(TarvoGeometry::panelFrame(metrics, state, contentWidth));
}

void TarvoPanel::orderFront() {
    if (m_putAway) {
        m_putAway = false;
        // The window manager may have dropped a state while it was away, and
        // a compositor may have come or gone.
        if (m_windowSystem)
            m_windowSystem->setPanelStates(windowID());
        refreshCompositor();
    } else if (!isVisible()) {
        show();
    }
    raise();
}

void TarvoPanel::orderOut() {
    if (!m_windowSystem || !m_windowSystem->hidesByShape()) {
        hide();
        return;
    }
    // Drag sources that take their picture of the windows when a drag
    // begins (Chromium among them) miss a window mapped during the drag, as
    // they miss its mapping inside the frame the window manager makes for
    // it: the panel stays mapped, with nothing left of it to see or to
    // point at, and a show only shapes it again.
    m_putAway = true;
    // Unmapped once, so that the window manager hands the keyboard back.
    if (isVisible() && isActiveWindow())
        hide();
    if (!isVisible())
        show();
    applyShape();
    dropPixels();
}

void TarvoPanel::resizeEvent(QResizeEvent*) {
    if (m_view)
        m_view->setGeometry(rect());
}

void TarvoPanel::showEvent(QShowEvent*) {
    // Once mapped, the window manager keeps the states: ask it again.
    if (m_windowSystem)
        m_windowSystem->setPanelStates(windowID());
    refreshCompositor();
}

void TarvoPanel::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (event->spontaneous())
        return;
    // Put away for good (a morph keeps the window shown).
    dropPixels();
}

void TarvoPanel::dropPixels() {
    // The first paint on the next show draws them again, and Qt sizes the
    // window's pixels to the window before that paint.
    if (m_view)
        m_view->dropPictures();
    if (QBackingStore* store = backingStore())
        store->resize(QSize(1, 1));
}

void TarvoPanel::refreshCompositor() {
    m_composited = !m_windowSystem || m_windowSystem->hasCompositor();
    if (m_view)
        m_view->setDrawsShadow(m_composited);
    applyShape();
}

void TarvoPanel::applyShape() {
    if (!m_view)
        return;
    // Put away, nothing of the view is drawn or pointed at: its shapes wait
    // for the show.
    if (m_putAway && m_windowSystem) {
        const quint64 id = windowID();
        m_inputRegion = QRegion();
        m_boundingRegion = QRegion();
        m_windowSystem->setInputRegion(id, m_inputRegion);
        m_windowSystem->setBoundingRegion(id, m_boundingRegion);
        m_boundingSet = true;
        return;
    }
    const qreal ratio = devicePixelRatioF();
    const QTransform toDevice = QTransform::fromScale(ratio, ratio);
    m_inputRegion = toDevice.map(m_view->inputRegion());
    std::optional<QRegion> bounding;
    if (!m_composited)
        bounding = m_view->outlineRegion(ratio);
    if (!m_windowSystem)
        return;
    const quint64 id = windowID();
    m_windowSystem->setInputRegion(id, m_inputRegion);
    if (bounding || m_boundingSet) {
        m_windowSystem->setBoundingRegion(id, bounding);
        m_boundingSet = bounding.has_value();
    }
    m_boundingRegion = bounding;
}

void TarvoPanel::followOutline() {
    if (m_composited || m_putAway || !m_view || !m_windowSystem)
        return;
    QRegion bounding = m_view->outlineRegion(devicePixelRatioF());
    if (m_boundingRegion == bounding)
        return;
    m_windowSystem->setBoundingRegion(windowID(), bounding);
    m_boundingSet = true;
    m_boundingRegion = std::move(bounding);
}

} // namespace tarvo
