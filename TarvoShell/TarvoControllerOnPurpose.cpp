// What the person asks of the shelf from outside it (the tray, a second
// start, the shortcut): a shelf opened on purpose stays long enough to be
// reached, and a cleared shelf can be had back while its folders are kept.
#include "TarvoController.h"

#include "TarvoCore/ItemStore.h"
#include "TarvoCore/L10n.h"
#include "TarvoCore/Log.h"
#include "TarvoPlatform/Clock.h"
#include "TarvoPlatform/Screens.h"
#include "TarvoPanel.h"
#include "TarvoView.h"

#include <algorithm>

namespace tarvo {

bool TarvoController::isHeldOpen() const {
    return m_shelf.isHeldOpen(m_platform.clock.now());
}

bool TarvoController::canUndoClear() const {
    return m_cleared &&
           m_platform.clock.now().secondsSince(m_cleared->at) < m_store->removalGrace();
}

void TarvoController::offerClearUndo() {
    m_pendingNotice = {L10n::shelfCleared(), true};
    feed(ShelfEvent::Kind::clearOffered);
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
    m_pendingNotice = {L10n::shelfClearUndone(), false};
    feed(ShelfEvent::Kind::clearUndone);
    return true;
}

} // namespace tarvo
