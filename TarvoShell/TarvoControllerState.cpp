// The shelf's states: the controller feeds its state machine events and
// carries out the effects, and lays the shelf out for the state.
#include "TarvoController.h"

#include "TarvoCore/ItemStore.h"
#include "TarvoCore/Preferences.h"
#include "TarvoCore/TarvoGeometry.h"
#include "TarvoPlatform/Clock.h"
#include "TarvoPlatform/DisplayOptions.h"
#include "TarvoPlatform/InputState.h"
#include "TarvoPlatform/Screens.h"
#include "CaptionChip.h"
#include "CursorBadge.h"
#include "DestinationRow.h"
#include "PreviewWindow.h"
#include "TarvoPanel.h"
#include "TarvoView.h"
#include "ThumbnailProvider.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace tarvo {

namespace {

constexpr double panelWidthMargin = 20;
constexpr double panelGrowDown = 40;
constexpr double hoverReach = 10;
constexpr double minimumClickHeight = 4;

} // namespace

void TarvoController::handDisplayOptions() {
    m_view->setIncreaseContrast(m_platform.displayOptions &&
                                m_platform.displayOptions->increaseContrast());
}

class TarvoController::Facts final : public ShelfFacts {
public:
    explicit Facts(const TarvoController& controller) : c(controller) {}

    bool hasItems() const override { return !c.m_store->items().empty(); }
    bool hasPointerScreen() const override { return c.m_platform.screens.forPointer().has_value(); }
    bool hasScreen() const override {
        return c.m_currentScreen || c.m_platform.screens.forPointer();
    }
    bool screenHasNotch() const override {
        return c.m_currentScreen && c.m_currentScreen->hasNotch();
    }
    bool panelVisible() const override { return c.m_panel->isPanelVisible(); }
    bool islandDisappearing() const override { return c.m_view->isDisappearing(); }
    bool pointerOverIsland() const override { return c.m_view->isPointerOverIsland(); }
    bool pointerOverNotice() const override { return c.pointerOverClickableNotice(); }
    bool pointerNearIsland() const override { return c.m_view->isPointerNearIsland(); }
    bool pointerInHoverRect() const override { return c.pointerInHoverRect(); }
    bool showingMenu() const override { return c.m_view->isShowingMenu(); }
    bool dragOutOpen() const override { return c.m_dragSource != nullptr; }
    bool keyboardFocused() const override {
        return c.m_panel->isActiveWindow() && c.m_panel->wantsKeyboardFocus();
    }
    bool previewVisible() const override { return c.m_preview && c.m_preview->isVisible(); }
    bool pointerOverPreview() const override { return c.pointerOverPreview(); }
    bool hoverOpensShelf() const override { return c.m_preferences.openShelfOnNotchHover(); }

private:
    const TarvoController& c;
};

std::unique_ptr<ShelfFacts> TarvoController::makeShelfFacts() const {
    return std::make_unique<Facts>(*this);
}

void TarvoController::feed(const ShelfEvent& event) {
    const std::vector<ShelfEffect> effects =
        m_shelf.handle(event, *m_facts, m_platform.clock.now());
    for (const ShelfEffect& effect : effects)
        carryOut(effect);
}

std::unique_ptr<ScheduledWork>& TarvoController::timerSlot(ShelfTimer timer) {
    switch (timer) {
    case ShelfTimer::settle:
    case ShelfTimer::emptyCheck:
        return m_timers[0];
    case ShelfTimer::tuckAway:
        return m_timers[1];
    case ShelfTimer::foldWatchdog:
        return m_timers[2];
    case ShelfTimer::notchDwell:
        return m_timers[3];
    case ShelfTimer::notice:
        break;
    }
    return m_timers[4];
}

void TarvoController::carryOut(const ShelfEffect& effect) {
    using Kind = ShelfEffect::Kind;
    switch (effect.kind) {
    case Kind::show: {
        std::optional<ScreenMetrics> screen;
        switch (effect.screen) {
        case ShelfEffect::Screen::pointer:
            screen = m_platform.screens.forPointer();
            break;
        case ShelfEffect::Screen::remembered:
            screen = rememberedOrPointerScreen();
            break;
        case ShelfEffect::Screen::requested:
            screen = m_requestedScreen;
            break;
        }
        if (screen)
            presentShelf(*screen);
        return;
    }
    case Kind::morph:
        refresh(effect.animated);
        return;
    case Kind::appear:
        m_view->animateAppear();
        return;
    case Kind::retract:
        retractShelf(effect.shown);
        return;
    case Kind::tuck:
    case Kind::untuck:
        m_view->setTabGlowDimmed(effect.kind == Kind::tuck);
        return;
    case Kind::arm: {
        const ShelfTimer timer = effect.timer;
        if (timer == ShelfTimer::notice)
            m_armedNotice = m_pendingNotice.text;
        // The work dies with the controller, so it never runs after it.
        timerSlot(timer) = m_platform.clock.schedule(
            effect.seconds, [this, timer] { feed(ShelfEvent::fired(timer)); });
        return;
    }
    case Kind::cancel:
        timerSlot(effect.timer).reset();
        return;
    case Kind::takeKeyboard:
        m_panel->setWantsKeyboardFocus(true);
        m_view->setFocus(Qt::OtherFocusReason);
        return;
    case Kind::giveBackKeyboard:
        m_panel->setWantsKeyboardFocus(false);
        return;
    case Kind::emptyHint:
        m_view->setShowsEmptyHint(effect.shown);
        return;
    case Kind::showNotice:
        setNotice(m_pendingNotice.text);
        m_view->setNoticeIsClickable(m_pendingNotice.clickable);
        return;
    case Kind::expireNotice:
        // A notice that was replaced is not this timer's to clear.
        if (m_view->notice() == m_armedNotice) {
            setNotice(std::nullopt);
            refresh(false);
        }
        return;
    case Kind::offerDestinations:
        offerDestinations();
        return;
    case Kind::clearDestinations:
        setDestinations({});
        return;
    case Kind::watchOutsideClicks:
        syncOutsideClickMonitor();
        return;
    }
}

void TarvoController::refresh(bool animated) {
    // The snapshot, the width and the frame lay the view out once.
    const TarvoView::LayoutOnce once(*m_view);
    const TarvoState state = m_shelf.state();
    // A hidden shelf draws nothing: the desktop's settings, whose first read
    // brings up GIO's settings machinery, wait until it shows.
    if (state != TarvoState::hidden)
        handDisplayOptions();
    m_view->update(m_store->snapshot(), selectionList(),
                   state == TarvoState::hidden ? TarvoState::resting : state, {});
    // Pictures are read when the shelf shows, not at start-up.
    if (state != TarvoState::hidden)
        loadThumbnails();
    applyFrame(animated);
    syncOutsideClickMonitor();
    feed(ShelfEvent::Kind::refreshed);
}

std::optional<ScreenMetrics> TarvoController::rememberedOrPointerScreen() {
    if (m_currentScreen)
        return m_currentScreen;
    return m_platform.screens.forPointer();
}

TarvoController::NotchRects TarvoController::notchRects(const ScreenMetrics& screen) {
    const double inset = TarvoGeometry::topInset(screen);
    const double centre = TarvoGeometry::notchCentreX(screen);
    // Without a notch the strip above the island belongs to the desktop's top
    // panel: only the tab's own width, centred, opens the shelf, and a screen
    // without a top inset still keeps a thin edge to click or rest on.
    const double width =
        screen.hasNotch() ? screen.notchWidth() : TarvoGeometry::baseWidth(screen, TarvoState::tab);
    const double height = screen.hasNotch() ? inset : std::max(inset, minimumClickHeight);
    const double top = screen.frame.maxY();
    return {{centre - width / 2, top - height, width, height},
            {centre - width / 2, top - height - hoverReach, width, height + hoverReach}};
}

bool TarvoController::pointerOverPreview() const {
    if (!m_preview || !m_preview->isVisible())
        return false;
    const QPointF pointer = m_platform.input.mouseLocation();
    const QRect at = m_platform.screens.toWindowGeometry({pointer.x(), pointer.y(), 0, 0});
    return m_preview->frameGeometry().contains(at.topLeft());
}

bool TarvoController::pointerOverClickableNotice() const {
    const std::optional<Rect> notice = m_view->clickableChipFrame();
    if (!notice || !m_panel->isPanelVisible())
        return false;
    const QPointF pointer = m_platform.input.mouseLocation();
    const Rect& panel = m_panel->frame();
    return notice->contains({pointer.x() - panel.x, pointer.y() - panel.y});
}

std::optional<Rect> TarvoController::drawnTab() const {
    if (m_shelf.state() != TarvoState::tab || !m_currentScreen || m_currentScreen->hasNotch())
        return std::nullopt;
    const Rect island = m_view->islandRect();
    const Rect& panel = m_panel->frame();
    return Rect{panel.x + island.x, panel.y + island.y, island.width, island.height};
}

bool TarvoController::pointerInHoverRect() const {
    if (!m_currentScreen)
        return false;
    const QPointF pointer = m_platform.input.mouseLocation();
    Rect hover = notchRects(*m_currentScreen).hover;
    // Without a notch the tab hangs below the desktop's top panel: it is
    // where the tab is drawn that the pointer rests.
    if (const std::optional<Rect> tab = drawnTab())
        hover = {tab->x, tab->y - hoverReach, tab->width, tab->height + hoverReach};
    return hover.contains({pointer.x(), pointer.y()}) || m_view->isPointerOverIsland();
}

void TarvoController::loadThumbnails() {
    // Only the tiles that have layers (those in view and a strip's width
    // either side) ask; a picture in memory comes at once, others later.
    for (const Item& item : m_view->tilesWithoutPictures()) {
        if (m_thumbnails->isInFlight(item.id))
            continue;
        // The provider dies with the controller and drops answers after it.
        m_thumbnails->thumbnail(item, [this, id = item.id](const QImage& image) {
            if (!image.isNull())
                m_view->setThumbnail(image, id, m_thumbnails->isFolder(id));
        });
    }
}

void TarvoController::showTarvo(const ScreenMetrics& screen, TarvoState state) {
    m_requestedScreen = screen;
    feed(ShelfEvent::show(state));
}

void TarvoController::presentShelf(const ScreenMetrics& screen) {
    if (m_currentScreen && !(m_currentScreen->frame == screen.frame) && m_panel->isPanelVisible())
        m_panel->orderOut();
    m_currentScreen = screen;
    const bool mustAppear = !m_panel->isPanelVisible() || m_view->isDisappearing();
    {
        // Laid out and shaped once, before the window maps.
        const TarvoView::LayoutOnce once(*m_view);
        m_view->cancelDisappear();
        handDisplayOptions();
        loadThumbnails();
        applyFrame(!mustAppear);
    }
    m_panel->orderFront();
    if (mustAppear)
        m_view->animateAppear();
    m_view->announceOpened();
}

void TarvoController::applyFrame(bool animated) {
    // The width and the frame lay out with the state; the window takes the
    // shape once.
    const TarvoView::LayoutOnce once(*m_view);
    std::optional<ScreenMetrics> screen = m_currentScreen;
    if (!screen)
        screen = m_platform.screens.forPointer();
    if (!screen)
        return;
    m_currentScreen = screen;

    double width = 0;
    switch (m_shelf.state()) {
    case TarvoState::dragging:
        if (!m_draggingWidth) {
            m_draggingWidth =
                std::max({TarvoGeometry::baseWidth(*screen, TarvoState::resting),
                          m_view->requiredWidth(), m_view->destinationRequiredWidth()});
        }
        // A wider chip page widens it, and it stays that wide until the
        // drag ends: the island never shrinks under the pointer.
        m_draggingWidth = std::max(*m_draggingWidth, m_view->destinationRequiredWidth());
        width = *m_draggingWidth;
        break;
    case TarvoState::tab:
        m_draggingWidth.reset();
        width = TarvoGeometry::baseWidth(*screen, TarvoState::tab);
        break;
    case TarvoState::hidden:
    case TarvoState::resting:
        m_draggingWidth.reset();
        width =
            std::max(m_view->requiredWidth(), TarvoGeometry::baseWidth(*screen, TarvoState::tab));
        break;
    }
    m_view->setIslandWidth(width);
    placePanel();
    m_view->setStripState(m_shelf.state(), animated && m_panel->isPanelVisible());
    syncNotchHoverMonitor();
}

void TarvoController::placePanel() {
    if (!m_currentScreen)
        return;
    // A notice wider than the island hangs under it whole: the window widens
    // by as much on either side, so the island stays where it is.
    double width = m_view->islandWidth() + panelWidthMargin;
    if (const std::optional<QString>& notice = m_view->notice())
        width += 2 * std::ceil(std::max(CaptionChip::viewWidthFor(*notice) - width, 0.0) / 2);
    Rect frame = TarvoGeometry::panelFrame(*m_currentScreen, TarvoState::dragging, width);
    frame.y -= panelGrowDown;
    frame.height += panelGrowDown;
    if (!(m_panel->frame() == frame))
        m_panel->setFrame(frame);
}

void TarvoController::setNotice(const std::optional<QString>& notice) {
    m_view->setNotice(notice);
    placePanel();
}

void TarvoController::retractShelf(bool wasShown) {
    m_badgeWindow->hide();
    if (!wasShown)
        return;
    for (std::optional<EventMonitors::Token>* token :
         {&m_notchHoverMonitor, &m_outsideClickMonitor}) {
        if (*token)
            m_platform.eventMonitors.removeMonitor(**token);
        token->reset();
    }
    if (m_panel->isPanelVisible()) {
        m_view->animateDisappear([this] {
            // A reopening during the animation keeps the panel.
            if (m_shelf.state() == TarvoState::hidden)
                m_panel->orderOut();
        });
    }
}

void TarvoController::hideTarvo() {
    feed(ShelfEvent::Kind::hideRequest);
}

void TarvoController::settleAfterDrag() {
    feed(ShelfEvent::Kind::itemsRemoved);
}

void TarvoController::scheduleSettle(double seconds) {
    feed(ShelfEvent::settle(seconds));
}

void TarvoController::settleToTabNow() {
    feed(ShelfEvent::Kind::foldRequest);
}

void TarvoController::bloomFromTab() {
    feed(ShelfEvent::Kind::bloomRequest);
}

void TarvoController::showTransientNotice(const QString& text, bool clickable) {
    m_pendingNotice = {text, clickable};
    feed(ShelfEvent::Kind::noticeShown);
}

void TarvoController::handleNotchClick() {
    const std::optional<ScreenMetrics> screen = rememberedOrPointerScreen();
    if (!screen)
        return;
    const QPointF pointer = m_platform.input.mouseLocation();
    const Rect click = drawnTab().value_or(notchRects(*screen).click);
    if (click.contains({pointer.x(), pointer.y()}))
        feed(ShelfEvent::Kind::notchClick);
}

void TarvoController::syncNotchHoverMonitor() {
    if (m_shelf.state() == TarvoState::tab && m_preferences.openShelfOnNotchHover()) {
        if (!m_notchHoverMonitor) {
            m_notchHoverMonitor = m_platform.eventMonitors.addGlobalMonitor(
                eventMask(EventType::mouseMoved),
                [this](const MouseEvent&) { feed(ShelfEvent::Kind::pointerMoved); });
        }
    } else if (m_notchHoverMonitor) {
        m_platform.eventMonitors.removeMonitor(*m_notchHoverMonitor);
        m_notchHoverMonitor.reset();
    }
    feed(ShelfEvent::Kind::frameApplied);
}

void TarvoController::syncOutsideClickMonitor() {
    if (m_shelf.state() == TarvoState::resting && m_panel->isPanelVisible()) {
        if (!m_outsideClickMonitor) {
            m_pressesJudgedUntil = m_view->lastPressTime().value_or(0);
            m_outsideClickMonitor = m_platform.eventMonitors.addGlobalMonitor(
                eventMask(EventType::leftMouseUp) | eventMask(EventType::rightMouseUp),
                [this](const MouseEvent& release) { handleOutsideClick(release); });
        }
        return;
    }
    if (m_outsideClickMonitor) {
        m_platform.eventMonitors.removeMonitor(*m_outsideClickMonitor);
        m_outsideClickMonitor.reset();
    }
}

void TarvoController::handleOutsideClick(const MouseEvent& release) {
    // The window system reports clicks on the shelf too, and they are the
    // shelf's own: those whose press the view took since the last release
    // heard, wherever they end (the press may already have changed what
    // shows, as a click on the notice does), and those ending where the
    // shelf takes the pointer, whose press the view has yet to hear of.
    const double judged = std::exchange(m_pressesJudgedUntil, release.timestamp);
    if (const std::optional<double> pressed = m_view->lastPressTime();
        pressed && *pressed > judged && *pressed <= release.timestamp)
        return;
    const QPointF pointer = m_platform.input.mouseLocation();
    const Rect& panel = m_panel->frame();
    if (m_view->hitTest({pointer.x() - panel.x, pointer.y() - panel.y}))
        return;
    // Nor is one in the preview the shelf opened.
    if (pointerOverPreview())
        return;
    feed(ShelfEvent::Kind::outsideClick);
}

void TarvoController::dragMonitor(DragMonitor&, QPointF) {
    feed(ShelfEvent::Kind::dragBegan);
}

void TarvoController::dragMonitorDragEnded(DragMonitor&) {
    m_badgeWindow->hide();
    feed(ShelfEvent::Kind::dragEnded);
}

} // namespace tarvo
