// What the shelf view asks of the controller for drops and the items it holds.
#include "TarvoController.h"

#include "TarvoConvert/TextConverter.h"
#include "TarvoCore/Files.h"
#include "TarvoCore/ItemStore.h"
#include "TarvoCore/L10n.h"
#include "TarvoCore/Preferences.h"
#include "TarvoDrag/AcceptedTypes.h"
#include "TarvoDrag/DragSource.h"
#include "TarvoDrag/DropReceiver.h"
#include "TarvoPlatform/Clipboard.h"
#include "TarvoPlatform/Clock.h"
#include "TarvoPlatform/FileViewer.h"
#include "TarvoPlatform/Pasteboard.h"
#include "TarvoPlatform/Workspace.h"
#include "PreviewWindow.h"
#include "TarvoPanel.h"
#include "TarvoView.h"
#include "ThumbnailProvider.h"

#include <QCoreApplication>
#include <QMenu>
#include <QWindow>

namespace tarvo {

std::optional<QString> TarvoController::frontmostBundleID() {
    const std::optional<Workspace::Application> front = m_platform.workspace.frontmostApplication();
    return front ? front->bundleIdentifier : std::nullopt;
}

std::vector<Item> TarvoController::existingItems(const std::vector<QUuid>& ids) const {
    std::vector<Item> found;
    for (const QUuid& id : ids) {
        if (std::optional<Item> item = m_store->item(id))
            found.push_back(std::move(*item));
    }
    return found;
}

std::optional<QString> TarvoController::payloadPath(const Item& item) const {
    return item.payloadURL(m_store->root());
}

bool TarvoController::tarvoView(TarvoView&, const Pasteboard& canAccept) {
    return AcceptedTypes::canAccept(canAccept);
}

bool TarvoController::tarvoView(TarvoView&, const Pasteboard& performDropOf, QPointF) {
    return !m_receiver->accept(performDropOf, frontmostBundleID()).empty();
}

void TarvoController::pasteFromClipboard() {
    feed(ShelfEvent::Kind::pasted);
    // The clipboard's owner may be slow to answer: what it holds lands when
    // it has, and the shelf goes on meanwhile.
    m_clipboard->read(m_view, [this](std::unique_ptr<Pasteboard> contents) {
        m_receiver->accept(*contents, std::nullopt);
    });
}

void TarvoController::tarvoViewDidActivate(TarvoView&, const QUuid& id) {
    const std::optional<Item> item = m_store->item(id);
    if (!item)
        return;
    if (const std::optional<QString> path = payloadPath(*item))
        m_fileViewer->open(*path);
}

void TarvoController::tarvoViewDidRequestQuickLookOf(TarvoView&, const std::vector<QUuid>& ids) {
    m_quickLookURLs.clear();
    for (const Item& item : existingItems(ids)) {
        if (const std::optional<QString> path = payloadPath(item))
            m_quickLookURLs.push_back(QUrl::fromLocalFile(*path));
    }
    if (!m_quickLookURLs.empty())
        showQuickLook();
}

void TarvoController::showQuickLook() {
    std::vector<QString> paths;
    for (const QUrl& url : m_quickLookURLs)
        paths.push_back(url.toLocalFile());
    if (!m_preview) {
        m_preview = std::make_unique<PreviewWindow>();
        // The keys go back to the shelf the preview was opened from.
        m_preview->onClosed = [this] {
            if (m_panel->wantsKeyboardFocus() && m_panel->isPanelVisible()) {
                m_panel->activateWindow();
                if (QWindow* window = m_panel->windowHandle())
                    window->requestActivate();
                m_view->setFocus(Qt::OtherFocusReason);
            }
        };
        // Leaving the preview folds a resting shelf as leaving the island does.
        m_preview->onPointerLeft = [this] { feed(ShelfEvent::Kind::pointerLeftPreview); };
    }
    // Space asks again for what is shown: the preview closes, as a toggle.
    if (m_preview->isVisible() && m_preview->paths() == paths) {
        m_preview->close();
        return;
    }
    m_preview->preview(std::move(paths));
}

void TarvoController::tarvoViewDidRequestRemovalOf(TarvoView&, const std::vector<QUuid>& items) {
    for (const QUuid& id : items) {
        m_store->remove(id);
        m_thumbnails->invalidate(id);
    }
    settleAfterDrag();
}

void TarvoController::tarvoViewDidRequestRetryOf(TarvoView&, const QUuid& id) {
    m_receiver->retry(id);
    // When nothing could be copied again, the notice says why.
    if (const std::optional<Item> item = m_store->item(id)) {
        if (const auto* failed = std::get_if<ItemState::Failed>(&item->state.value))
            showTransientNotice(failed->reason, false);
    }
}

void TarvoController::tarvoViewDidRequestCopyOf(TarvoView&, const std::vector<QUuid>& ids,
                                                bool asPath) {
    const std::vector<Item> items = existingItems(ids);
    if (items.empty())
        return;
    QStringList paths;
    for (const Item& item : items) {
        if (const std::optional<QString> path = payloadPath(item))
            paths << *path;
    }
    if (asPath) {
        m_clipboard->writeText(TextConverter::quotedPaths(paths));
    } else if (!paths.isEmpty()) {
        QList<QUrl> urls;
        for (const QString& path : paths)
            urls << QUrl::fromLocalFile(path);
        m_clipboard->writeFileURLs(urls);
    } else {
        QStringList names;
        for (const Item& item : items)
            names << item.displayName;
        m_clipboard->writeText(names.join(u'\n'));
    }
}

void TarvoController::tarvoViewDidRequestRevealOf(TarvoView&, const QUuid& id) {
    const std::optional<Item> item = m_store->item(id);
    if (!item)
        return;
    std::optional<QString> shown;
    if (item->sourceURL && item->sourceURL->isLocalFile() &&
        Files::exists(item->sourceURL->toLocalFile()))
        shown = item->sourceURL->toLocalFile();
    else
        shown = payloadPath(*item);
    if (shown)
        m_fileViewer->reveal(*shown);
}

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
    if (m_view->notice())
        setNotice(std::nullopt);
    feed(ShelfEvent::Kind::escape);
}

void TarvoController::tarvoViewDidRequestUndo(TarvoView&) {
    undoLastDrop();
}

void TarvoController::tarvoViewDidRequestPaste(TarvoView&) {
    pasteFromClipboard();
}

void TarvoController::tarvoViewDidClickNotice(TarvoView&) {
    if (m_view->notice() == L10n::shelfCleared() && undoClearIfLatest())
        return;
    setNotice(std::nullopt);
}

void TarvoController::tarvoViewDidTogglePinOf(TarvoView&, const QUuid& id) {
    if (std::optional<Item> item = m_store->item(id)) {
        item->pinned = !item->pinned;
        m_store->update(*item);
        refresh(true);
    }
}

void TarvoController::tarvoViewIslandHoverChanged(TarvoView&, bool hovering) {
    feed(hovering ? ShelfEvent::Kind::pointerEntered : ShelfEvent::Kind::pointerLeft);
}

void TarvoController::tarvoViewDidClickBareIsland(TarvoView&) {
    feed(ShelfEvent::Kind::bareIslandClick);
}

std::unique_ptr<QMenu> TarvoController::tarvoViewContextMenuFor(TarvoView& view,
                                                                const std::optional<QUuid>& id) {
    auto menu = std::make_unique<QMenu>();
    // The view goes with the controller, so no entry runs once it is gone.
    auto entry = [&](const QString& title, std::function<void()> handler) {
        QAction* action = menu->addAction(title);
        QObject::connect(action, &QAction::triggered, m_view, std::move(handler));
    };
    const std::optional<Item> item = id ? m_store->item(*id) : std::nullopt;
    if (item) {
        const QUuid itemID = item->id;
        entry(L10n::ctxOpen(), [this, &view, itemID] { tarvoViewDidActivate(view, itemID); });
        entry(L10n::ctxReveal(),
              [this, &view, itemID] { tarvoViewDidRequestRevealOf(view, itemID); });
        entry(L10n::ctxCopy(),
              [this, &view, itemID] { tarvoViewDidRequestCopyOf(view, {itemID}, false); });
        entry(L10n::ctxRemove(item->displayName),
              [this, &view, itemID] { tarvoViewDidRequestRemovalOf(view, {itemID}); });
        menu->addSeparator();
    }
    // The types only, known ahead: the menu never waits on the clipboard's owner.
    if (AcceptedTypes::canAccept(m_clipboard->types().value_or(QStringList{})))
        entry(L10n::ctxPaste(), [this] { pasteFromClipboard(); });
    if (!m_store->items().empty())
        entry(L10n::ctxClearAll(), [this] { clearTarvo(); });
    entry(L10n::ctxHide(), [this] { hideTarvo(); });
    menu->addSeparator();
    entry(L10n::menuSettings(), [this] {
        if (onRequestSettings)
            onRequestSettings();
    });
    QAction* quit = menu->addAction(L10n::menuQuit());
    QObject::connect(quit, &QAction::triggered, [] { QCoreApplication::quit(); });
    return menu;
}

} // namespace tarvo
