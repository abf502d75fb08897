// What the shelf view asks of the controller.
#include "TarvoController.h"

#include "TarvoCore/ItemStore.h"
#include "TarvoDrag/AcceptedTypes.h"
#include "TarvoDrag/DragSource.h"
#include "TarvoDrag/DropReceiver.h"
#include "TarvoPlatform/Clock.h"
#include "TarvoPlatform/Workspace.h"
#include "TarvoUI/TarvoPanel.h"
#include "TarvoUI/TarvoView.h"
#include "TarvoUI/ThumbnailProvider.h"

#include <QMenu>

namespace tarvo {

std::optional<QString> TarvoController::frontmostBundleID() {
    const std::optional<Workspace::Application> front = m_platform.workspace.frontmostApplication();
    return front ? front->bundleIdentifier : std::nullopt;
}

bool TarvoController::tarvoView(TarvoView&, const Pasteboard& canAccept) {
    return AcceptedTypes::canAccept(canAccept);
}

bool TarvoController::tarvoView(TarvoView&, const Pasteboard& performDropOf, QPointF) {
    return !m_receiver->accept(performDropOf, frontmostBundleID()).empty();
}

void TarvoController::tarvoViewDidActivate(TarvoView&, const QUuid&) {}

void TarvoController::tarvoViewDidRequestQuickLookOf(TarvoView&, const std::vector<QUuid>&) {}

void TarvoController::tarvoViewDidRequestRemovalOf(TarvoView&, const std::vector<QUuid>& items) {
    for (const QUuid& id : items) {
        m_thumbnails->invalidate(id);
        m_store->remove(id);
    }
    refresh(true);
}

void TarvoController::tarvoViewDidRequestRetryOf(TarvoView&, const QUuid& item) {
    m_receiver->retry(item);
}

void TarvoController::tarvoViewDidRequestCopyOf(TarvoView&, const std::vector<QUuid>&, bool) {}

void TarvoController::tarvoViewDidRequestRevealOf(TarvoView&, const QUuid&) {}

void TarvoController::tarvoViewDidRequestRuleFor(TarvoView&, const QUuid& item) {
    if (onRequestRuleForApp)
        onRequestRuleForApp(item);
}

void TarvoController::tarvoViewDidReorder(TarvoView&, const QUuid& item, int to) {
    m_store->move(item, to);
    refresh(true);
}

void TarvoController::tarvoViewSelectionDidChange(TarvoView&, const std::vector<QUuid>& selection) {
    m_store->setSelection(QSet<QUuid>(selection.begin(), selection.end()));
}

void TarvoController::tarvoViewDidRequestEscape(TarvoView&) {
    hideTarvo();
}

void TarvoController::tarvoViewDidRequestUndo(TarvoView&) {
    undoLastDrop();
}

void TarvoController::tarvoViewDidRequestPaste(TarvoView&) {}

void TarvoController::tarvoViewDidClickNotice(TarvoView&) {}

void TarvoController::tarvoViewDidTogglePinOf(TarvoView&, const QUuid& id) {
    if (std::optional<Item> item = m_store->item(id)) {
        item->pinned = !item->pinned;
        m_store->update(*item);
        refresh(true);
    }
}

void TarvoController::tarvoViewIslandHoverChanged(TarvoView&, bool hovering) {
    if (!hovering && m_state == TarvoState::resting)
        scheduleSettle(0.35);
}

void TarvoController::tarvoViewDidClickBareIsland(TarvoView&) {
    if (m_state == TarvoState::resting)
        settleToTabNow();
}

std::unique_ptr<QMenu> TarvoController::tarvoViewContextMenuFor(TarvoView&,
                                                                const std::optional<QUuid>&) {
    return nullptr;
}

} // namespace tarvo
