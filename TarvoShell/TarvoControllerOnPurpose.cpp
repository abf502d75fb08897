// What the person asks of the shelf from outside it (the tray, a second
// start, the shortcut): a shelf opened on purpose stays long enough to be
// reached, and a cleared shelf can be had back while its folders are kept.
#include "TarvoController.h"

#include "TarvoCore/ItemStore.h"
#include "TarvoCore/L10n.h"
#include "TarvoCore/Log.h"
#include "TarvoPlatform/Clock.h"
#include "TarvoPlatform/Screens.h"
#include "TarvoUI/TarvoPanel.h"
#include "TarvoUI/TarvoView.h"

#include <algorithm>

namespace tarvo {

void TarvoController::holdOpen() {
    m_heldOpenAt = m_platform.clock.now();
    scheduleSettle(openSettleDelay);
    // An outside click ends the hold, and the watchdog folds the shelf once
    // nothing holds it any more.
    syncOutsideClickMonitor();
    armFoldWatchdog();
}

void TarvoController::endHold() {
    // The watchdog armed with the hold folds the shelf now.
    m_heldOpenAt.reset();
}

bool TarvoController::isHeldOpen() const {
    return m_heldOpenAt && m_state == TarvoState::resting &&
           m_platform.clock.now().secondsSince(*m_heldOpenAt) < openSettleDelay;
}

bool TarvoController::canUndoClear() const {
    return m_cleared &&
           m_platform.clock.now().secondsSince(m_cleared->at) < m_store->removalGrace();
}

void TarvoController::offerClearUndo() {
    m_engagedThisSession = true;
    if (!m_panel->isPanelVisible() || m_view->isDisappearing()) {
        if (const std::optional<ScreenMetrics> screen = rememberedOrPointerScreen())
            showTarvo(*screen, TarvoState::resting);
    } else if (m_state != TarvoState::resting) {
        m_state = TarvoState::resting;
    }
    const QString text = L10n::shelfCleared();
    m_view->setNotice(text);
    m_view->setNoticeIsClickable(true);
    refresh(true);
    // The notice stays as long as the shelf is held for it.
    m_noticeWork = m_platform.clock.schedule(openSettleDelay, [this, text] {
        if (m_view->notice() == text) {
            m_view->setNotice(std::nullopt);
            refresh(false);
        }
    });
    holdOpen();
}

bool TarvoController::undoClearIfLatest() {
    if (!canUndoClear()) {
        m_cleared.reset();
        return false;
    }
    // A delivery made after the clear is the newer thing to take back.
    if (const std::optional<UndoEntry> delivery = m_undoLog.mostRecent(m_platform.clock.now());
        delivery && delivery->at.secondsSince(m_cleared->at) > 0)
        return false;
    ClearedShelf cleared = std::move(*m_cleared);
    m_cleared.reset();
    // Each comes back at the front: the last first keeps the shelf's order.
    int failed = 0;
    for (auto it = cleared.items.rbegin(); it != cleared.items.rend(); ++it) {
        if (m_store->item(it->id))
            continue;
        if (m_store->putBack(*it).is<ItemStore::AddResult::Failed>())
            ++failed;
    }
    if (failed > 0)
        Log::core().notice(QStringLiteral("%1 cleared items could not be put back").arg(failed));
    QSet<QUuid> selection;
    for (const QUuid& id : cleared.selection) {
        if (m_store->item(id))
            selection.insert(id);
    }
    m_store->setSelection(std::move(selection));
    m_heldOpenAt.reset();
    m_state = TarvoState::resting;
    showTransientNotice(L10n::shelfClearUndone(), false);
    refresh(true);
    return true;
}

} // namespace tarvo
