// The shelf's states and the timers that move it between them.
#include "TarvoController.h"

#include "TarvoCore/ItemStore.h"
#include "TarvoCore/Preferences.h"
#include "TarvoCore/TarvoGeometry.h"
#include "TarvoPlatform/Clock.h"
#include "TarvoPlatform/DisplayOptions.h"
#include "TarvoPlatform/InputState.h"
#include "TarvoPlatform/Screens.h"
#include "TarvoUI/CursorBadge.h"
#include "TarvoUI/DestinationRow.h"
#include "TarvoUI/PreviewWindow.h"
#include "TarvoUI/TarvoPanel.h"
#include "TarvoUI/TarvoView.h"
#include "TarvoUI/ThumbnailProvider.h"

#include <algorithm>

namespace tarvo {

namespace {

constexpr double panelWidthMargin = 20;
constexpr double panelGrowDown = 40;
constexpr double emptyCheckDelay = 0.25;
constexpr double bloomHold = 0.4;
constexpr double foldWatchdogInterval = 0.6;
constexpr double dwellDelay = 0.4;
constexpr double hoverReach = 10;
constexpr double minimumClickHeight = 4;
constexpr double outsideClickAfterDragEnd = 0.8;
constexpr double outsideClickAfterBloom = 0.3;
constexpr double minimumHoldLeft = 0.05;

} // namespace

void TarvoController::handDisplayOptions() {
    m_view->setIncreaseContrast(m_platform.displayOptions &&
                                m_platform.displayOptions->increaseContrast());
}

void TarvoController::refresh(bool animated) {
    // A hidden shelf draws nothing: the desktop's settings, whose first read
    // brings up GIO's settings machinery, wait until it shows.
    if (m_state != TarvoState::hidden)
        handDisplayOptions();
    m_view->update(m_store->items(), selectionList(),
                   m_state == TarvoState::hidden ? TarvoState::resting : m_state, {});
    // Pictures are read when the shelf shows, not at start-up.
    if (m_state != TarvoState::hidden)
        loadThumbnails();
    applyFrame(animated);
    syncOutsideClickMonitor();
    armFoldWatchdog();
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

bool TarvoController::previewHoldsShelf() const {
    if (!m_preview || !m_preview->isVisible())
        return false;
    // The way from the island to the preview crosses the desktop: until the
    // settle timer that leaving the island armed looks, the watchdog lets the
    // pointer be on its way.
    return m_platform.clock.now().secondsSince(m_leftIslandAt) < islandLeaveDelay ||
           pointerOverPreview();
}

std::optional<Rect> TarvoController::drawnTab() const {
    if (m_state != TarvoState::tab || !m_currentScreen || m_currentScreen->hasNotch())
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
    if (m_currentScreen && !(m_currentScreen->frame == screen.frame) && m_panel->isPanelVisible())
        m_panel->orderOut();
    m_currentScreen = screen;
    m_tuckWork.reset();
    const bool mustAppear = !m_panel->isPanelVisible() || m_view->isDisappearing();
    m_state = state;
    m_view->cancelDisappear();
    handDisplayOptions();
    loadThumbnails();
    applyFrame(!mustAppear);
    m_panel->orderFront();
    if (mustAppear)
        m_view->animateAppear();
    m_view->announceOpened();
}

void TarvoController::applyFrame(bool animated) {
    std::optional<ScreenMetrics> screen = m_currentScreen;
    if (!screen)
        screen = m_platform.screens.forPointer();
    if (!screen)
        return;
    m_currentScreen = screen;

    double width = 0;
    switch (m_state) {
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

    Rect frame = TarvoGeometry::panelFrame(*screen, TarvoState::dragging, width + panelWidthMargin);
    frame.y -= panelGrowDown;
    frame.height += panelGrowDown;
    if (!(m_panel->frame() == frame))
        m_panel->setFrame(frame);
    m_view->setStripState(m_state, animated && m_panel->isPanelVisible());
    m_panel->applyShape();
    syncNotchHoverMonitor();
}

void TarvoController::retract() {
    m_panel->setWantsKeyboardFocus(false);
    m_badgeWindow->hide();
    if (m_state == TarvoState::hidden)
        return;
    m_state = TarvoState::hidden;
    m_notchDwellWork.reset();
    m_foldWatchdog.reset();
    for (std::optional<EventMonitors::Token>* token :
         {&m_notchHoverMonitor, &m_outsideClickMonitor}) {
        if (*token)
            m_platform.eventMonitors.removeMonitor(**token);
        token->reset();
    }
    if (m_panel->isPanelVisible()) {
        m_view->animateDisappear([this] {
            if (m_state == TarvoState::hidden)
                m_panel->orderOut();
        });
    }
}

void TarvoController::hideTarvo() {
    m_heldOpenAt.reset();
    m_settleWork.reset();
    m_tuckWork.reset();
    m_view->setTabGlowDimmed(false);
    m_engagedThisSession = false;
    retract();
}

void TarvoController::settleAfterDrag() {
    m_settleWork.reset();
    if (!m_store->items().empty() && m_engagedThisSession) {
        m_state = TarvoState::resting;
        refresh(true);
        scheduleSettle(settleDelay);
        return;
    }
    m_settleWork = m_platform.clock.schedule(emptyCheckDelay, [this] {
        if (m_store->items().empty() || !m_engagedThisSession) {
            retract();
            refresh(false);
        }
    });
}

void TarvoController::scheduleSettle(double seconds) {
    m_settleWork = m_platform.clock.schedule(seconds, [this] { settleToTab(); });
}

void TarvoController::settleToTab() {
    m_settleWork.reset();
    if (m_state != TarvoState::resting)
        return;
    // Held open: look again when the hold ends (a last sliver of it is not
    // worth another timer).
    if (isHeldOpen()) {
        const double left = openSettleDelay - m_platform.clock.now().secondsSince(*m_heldOpenAt);
        if (left > minimumHoldLeft) {
            scheduleSettle(left);
            return;
        }
    }
    const bool held = m_view->isPointerOverIsland() || m_view->isShowingMenu() || m_dragSource ||
                      pointerOverPreview();
    if (!m_store->items().empty()) {
        const bool blooming = m_platform.clock.now().secondsSince(m_lastBloomAt) < bloomHold;
        const bool focused = m_panel->isActiveWindow() && m_panel->wantsKeyboardFocus();
        if (blooming || held || focused)
            scheduleSettle(settleDelay);
        else
            settleToTabNow();
        return;
    }
    if (held) {
        scheduleSettle(settleDelay);
        return;
    }
    retract();
    refresh(false);
}

void TarvoController::settleToTabNow() {
    m_settleWork.reset();
    // The folded tab has nothing to type into: the keyboard goes back.
    m_panel->setWantsKeyboardFocus(false);
    if (m_store->items().empty()) {
        retract();
        return;
    }
    m_view->setTabGlowDimmed(false);
    m_state = TarvoState::tab;
    m_notchWakeArmed = false;
    refresh(true);
    scheduleTuckAway();
}

void TarvoController::scheduleTuckAway() {
    m_tuckWork = m_platform.clock.schedule(tuckAwayDelay, [this] {
        if (m_state != TarvoState::tab)
            return;
        if (m_view->isPointerNearIsland() || m_view->isShowingMenu()) {
            scheduleTuckAway();
        } else if (m_currentScreen && m_currentScreen->hasNotch()) {
            m_view->setTabGlowDimmed(true);
        } else {
            hideTarvo();
        }
    });
}

void TarvoController::showTransientNotice(const QString& text, bool clickable) {
    m_engagedThisSession = true;
    if (!m_panel->isPanelVisible()) {
        std::optional<ScreenMetrics> screen = m_currentScreen;
        if (!screen)
            screen = m_platform.screens.forPointer();
        if (screen)
            showTarvo(*screen, TarvoState::resting);
    }
    m_view->setNotice(text);
    m_view->setNoticeIsClickable(clickable);
    m_noticeWork = m_platform.clock.schedule(2.5, [this, text] {
        if (m_view->notice() == text) {
            m_view->setNotice(std::nullopt);
            refresh(false);
        }
    });
    scheduleSettle(settleDelay);
}

void TarvoController::handleNotchClick() {
    const std::optional<ScreenMetrics> screen = rememberedOrPointerScreen();
    if (!screen)
        return;
    const QPointF pointer = m_platform.input.mouseLocation();
    const Rect click = drawnTab().value_or(notchRects(*screen).click);
    if (!click.contains({pointer.x(), pointer.y()}))
        return;
    if (m_state == TarvoState::hidden) {
        openTarvo();
    } else if (m_state == TarvoState::tab) {
        m_notchDwellWork.reset();
        m_notchWakeArmed = false;
        bloomFromTab();
    }
}

void TarvoController::bloomFromTab() {
    m_settleWork.reset();
    if (m_state != TarvoState::tab)
        return;
    m_view->setTabGlowDimmed(false);
    m_tuckWork.reset();
    m_engagedThisSession = true;
    m_lastBloomAt = m_platform.clock.now();
    m_state = TarvoState::resting;
    refresh(false);
    m_view->animateAppear();
    scheduleSettle(settleDelay);
}

void TarvoController::armFoldWatchdog() {
    m_foldWatchdog.reset();
    if (m_state != TarvoState::resting)
        return;
    m_foldWatchdog = m_platform.clock.schedule(foldWatchdogInterval, [this] {
        if (m_state != TarvoState::resting)
            return;
        const bool held = m_view->isPointerOverIsland() || m_view->isShowingMenu() ||
                          m_dragSource || m_dragInFlight || previewHoldsShelf() || isHeldOpen() ||
                          (m_panel->isActiveWindow() && m_panel->wantsKeyboardFocus()) ||
                          m_platform.clock.now().secondsSince(m_lastBloomAt) < bloomHold;
        if (held)
            armFoldWatchdog();
        else
            settleToTabNow();
    });
}

void TarvoController::syncNotchHoverMonitor() {
    if (m_state == TarvoState::tab && m_preferences.openShelfOnNotchHover()) {
        if (!m_notchHoverMonitor) {
            m_notchHoverMonitor = m_platform.eventMonitors.addGlobalMonitor(
                eventMask(EventType::mouseMoved),
                [this](const MouseEvent&) { handleNotchHover(); });
        }
        return;
    }
    if (m_notchHoverMonitor) {
        m_platform.eventMonitors.removeMonitor(*m_notchHoverMonitor);
        m_notchHoverMonitor.reset();
    }
    m_notchDwellWork.reset();
}

void TarvoController::handleNotchHover() {
    if (m_state != TarvoState::tab)
        return;
    if (pointerInHoverRect()) {
        armDormantWake();
    } else {
        m_notchDwellWork.reset();
        m_notchWakeArmed = true;
    }
}

void TarvoController::armDormantWake() {
    if (m_state != TarvoState::tab || !m_notchWakeArmed)
        return;
    m_notchDwellWork = m_platform.clock.schedule(dwellDelay, [this] {
        if (m_state == TarvoState::tab && m_notchWakeArmed && pointerInHoverRect()) {
            m_notchWakeArmed = false;
            bloomFromTab();
        }
    });
}

void TarvoController::syncOutsideClickMonitor() {
    if (m_state == TarvoState::resting && m_panel->isPanelVisible()) {
        if (!m_outsideClickMonitor) {
            m_outsideClickMonitor = m_platform.eventMonitors.addGlobalMonitor(
                eventMask(EventType::leftMouseUp) | eventMask(EventType::rightMouseUp),
                [this](const MouseEvent&) { handleOutsideClick(); });
        }
        return;
    }
    if (m_outsideClickMonitor) {
        m_platform.eventMonitors.removeMonitor(*m_outsideClickMonitor);
        m_outsideClickMonitor.reset();
    }
}

void TarvoController::handleOutsideClick() {
    // The window system reports clicks on the shelf too: one on the island is
    // the shelf's own and folds nothing.
    const QPointF pointer = m_platform.input.mouseLocation();
    const Rect island = m_view->islandRect();
    const Rect& panel = m_panel->frame();
    if (Rect{panel.x + island.x, panel.y + island.y, island.width, island.height}.contains(
            {pointer.x(), pointer.y()}))
        return;
    // Nor is one in the preview the shelf opened.
    if (pointerOverPreview())
        return;
    const Date now = m_platform.clock.now();
    if (m_state == TarvoState::resting && !m_view->isShowingMenu() && !m_dragSource &&
        !m_dragInFlight && now.secondsSince(m_lastDragEndedAt) > outsideClickAfterDragEnd &&
        now.secondsSince(m_lastBloomAt) > outsideClickAfterBloom)
        settleToTabNow();
}

void TarvoController::dragMonitor(DragMonitor&, QPointF) {
    const std::optional<ScreenMetrics> screen = m_platform.screens.forPointer();
    if (!screen)
        return;
    m_dragInFlight = true;
    m_heldOpenAt.reset();
    m_view->setShowsEmptyHint(false);
    offerDestinations();
    showTarvo(*screen, TarvoState::dragging);
}

void TarvoController::dragMonitorDragEnded(DragMonitor&) {
    m_badgeWindow->hide();
    m_dragInFlight = false;
    m_lastDragEndedAt = m_platform.clock.now();
    setDestinations({});
    settleAfterDrag();
}

} // namespace tarvo
