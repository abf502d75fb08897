#include "TarvoController.h"

#include "AutoPaster.h"
#include "DefaultDestinations.h"
#include "ShelfChipTargets.h"
#include "ShelfLocalDrops.h"

#include "TarvoConvert/ConversionEngine.h"
#include "TarvoCore/ItemStore.h"
#include "TarvoCore/L10n.h"
#include "TarvoCore/Log.h"
#include "TarvoCore/Preferences.h"
#include "TarvoCore/RuleEngine.h"
#include "TarvoCore/RulesStore.h"
#include "TarvoDrag/DeliveryCoordinator.h"
#include "TarvoDrag/DestinationResolver.h"
#include "TarvoDrag/DragMonitor.h"
#include "TarvoDrag/DragSource.h"
#include "TarvoDrag/DropReceiver.h"
#include "TarvoPlatform/ApplicationDirectory.h"
#include "TarvoPlatform/Clock.h"
#include "TarvoPlatform/DesktopFileViewer.h"
#include "TarvoPlatform/InputState.h"
#include "TarvoPlatform/QtClipboard.h"
#include "TarvoPlatform/Screens.h"
#include "TarvoPlatform/SoundOutput.h"
#include "AppIcons.h"
#include "BatchConfirmWindow.h"
#include "CursorBadge.h"
#include "DestinationRow.h"
#include "PreviewWindow.h"
#include "ShelfDropTarget.h"
#include "ShelfInput.h"
#include "SoundPlayer.h"
#include "TarvoPanel.h"
#include "TarvoView.h"
#include "ThumbnailProvider.h"

#include <QDir>
#include <QFileInfo>
#include <QThreadPool>

#include <algorithm>

namespace tarvo {

TarvoController::TarvoController(std::unique_ptr<ItemStore> store,
                                 std::unique_ptr<RulesStore> rulesStore, Preferences& preferences,
                                 QString workRoot, ShellPlatform platform)
    : m_store(std::move(store)), m_rulesStore(std::move(rulesStore)), m_preferences(preferences),
      m_platform(platform), m_workRoot(std::move(workRoot)) {
    m_rules = std::make_unique<RuleEngine>(m_rulesStore->rules(), m_rulesStore->categories());
    m_engine = std::make_unique<ConversionEngine>(ConversionEngine::activeProcessorCount());
    m_coordinator = std::make_unique<DeliveryCoordinator>(
        *m_store, *m_rules, *m_engine, m_undoLog, m_preferences, m_workRoot,
        m_platform.applications, m_platform.clock);
    m_resolver = std::make_unique<DestinationResolver>(
        m_platform.windows, m_rulesStore->categories(), DestinationResolver::throttle,
        m_platform.workspace, m_platform.accessibility);
    m_destinations.emplace(
        QFileInfo(m_store->root()).dir().filePath(QStringLiteral("destinations.json")));

    m_panel = std::make_unique<TarvoPanel>(m_platform.panelWindowSystem, m_platform.screens);
    m_view = new TarvoView(m_platform.animationClock, m_platform.displayOptions);
    ApplicationDirectory& applications = m_platform.applications;
    // Icons come from desktop files and the icon theme, both read from disk:
    // once per application, not at every change of destination.
    auto icons = std::make_shared<QHash<QPair<QString, double>, QImage>>();
    m_badgeWindow = std::make_unique<BadgeWindow>(
        m_platform.clock, m_platform.screens, m_platform.panelWindowSystem,
        m_platform.displayOptions, [&applications, icons](const QString& appID, double ratio) {
            const QPair<QString, double> key(appID, ratio);
            auto found = icons->constFind(key);
            if (found == icons->constEnd()) {
                found =
                    icons->insert(key, AppIcons::image(AppIcons::application(applications, appID),
                                                       BadgeView::iconSize, ratio));
            }
            return *found;
        });
    if (m_platform.launcher && m_platform.pasteKeys) {
        m_autoPaster = std::make_unique<AutoPaster>(*m_platform.launcher, m_platform.workspace,
                                                    *m_platform.pasteKeys, m_platform.clock);
    }
    m_facts = makeShelfFacts();
    m_destinationRow = DestinationRow::make();
    m_view->setDestinationRowLayer(m_destinationRow);
    m_chipTargets = std::make_unique<ShelfChipTargets>(*m_view, *m_destinationRow);
    m_view->dropTarget().setChips(m_chipTargets.get());
    m_view->setDestinationChipLookup([row = m_destinationRow.get()](Point point) {
        std::optional<QUuid> hit = row->chipID(point);
        return hit ? hit : row->nearestChipID(point);
    });
    m_chipContext = std::make_unique<QObject>();
    m_chipWork = std::make_unique<QThreadPool>();
    m_chipWork->setMaxThreadCount(1);
    m_monitor =
        std::make_unique<DragMonitor>(m_preferences, m_platform.dragPasteboard,
                                      m_platform.eventMonitors, m_platform.input, m_platform.clock);
    m_receiver = std::make_unique<DropReceiver>(*m_store, m_platform.clock);
    // A dropped file or folder of any size never holds up the shelf, nor
    // do the flushes of the store's own files.
    m_receiver->setCopiesOnWorker(true);
    m_store->setWritesInBackground(true);
    m_thumbnails = std::make_unique<ThumbnailProvider>(m_store->root());
    if (m_platform.makeSoundOutput) {
        m_sound = std::make_unique<SoundPlayer>([this] { return m_preferences.playSoundOnDrop(); },
                                                m_platform.makeSoundOutput());
    }

    m_panel->setContentView(m_view);
    m_localDrops = std::make_unique<ShelfLocalDrops>(*m_panel);
    m_platform.dragSessions.setLocalDropTarget(m_localDrops.get());
    m_view->setDelegate(this);
    // Tiles scrolled into the strip's window ask for their pictures.
    m_view->onTilesNeedPictures = [this] {
        if (m_shelf.state() != TarvoState::hidden)
            loadThumbnails();
    };
    m_view->pointerLocation = [this] { return m_platform.input.mouseLocation(); };
    m_view->dropTarget().setDropPromises(m_platform.dropPromises);
    m_view->input().appDisplayName = [this](const QString& bundleID) {
        return m_platform.applications.name(bundleID).value_or(bundleID);
    };
    if (m_platform.clipboard) {
        m_clipboard = m_platform.clipboard;
    } else {
        m_ownClipboard = std::make_unique<QtClipboard>();
        m_clipboard = m_ownClipboard.get();
    }
    if (m_platform.fileViewer) {
        m_fileViewer = m_platform.fileViewer;
    } else {
        m_ownFileViewer = std::make_unique<DesktopFileViewer>();
        m_fileViewer = m_ownFileViewer.get();
    }
    m_monitor->setDelegate(this);

    // The receiver and its callbacks die with the controller, before any
    // member they reach.
    m_receiver->onItemsAdded = [this](const std::vector<Item>& items) { itemsArrived(items); };
    m_receiver->onDuplicateLanded = [this](const Item& item) { itemsArrived({item}); };
    m_receiver->onItemUpdated = [this](const Item& item) {
        if (item.state.isReady())
            m_thumbnails->invalidate(item.id);
        refresh(true);
    };
    m_store->onWriteFailed = [this](const Item&, const QString&) { refresh(true); };
}

TarvoController::~TarvoController() {
    stop();
    m_platform.dragSessions.setLocalDropTarget(nullptr);
    m_view->dropTarget().setChips(nullptr);
    if (m_preview) {
        m_preview->onClosed = nullptr;
        m_preview->onPointerLeft = nullptr;
    }
    m_view->setDelegate(nullptr);
    m_view->onTilesNeedPictures = nullptr;
    m_monitor->setDelegate(nullptr);
    if (m_dragSource)
        m_dragSource->setDelegate(nullptr);
}

void TarvoController::afterDelay(double seconds, std::function<void()> work) {
    std::erase_if(m_plainDelays, [](const PlainDelay& delay) { return *delay.done; });
    auto done = std::make_shared<bool>(false);
    auto handle = m_platform.clock.schedule(seconds, [done, work = std::move(work)] {
        *done = true;
        work();
    });
    m_plainDelays.push_back({std::move(done), std::move(handle)});
}

std::size_t TarvoController::pendingPlainDelays() const {
    return std::size_t(std::count_if(m_plainDelays.begin(), m_plainDelays.end(),
                                     [](const PlainDelay& delay) { return !*delay.done; }));
}

void TarvoController::start() {
    const Date now = m_platform.clock.now();
    const std::vector<QUuid> aged = m_store->evictExpired(now, maxItemAge);
    const std::vector<QUuid> trimmed = m_store->evictToCap(storeCapBytes);
    if (!trimmed.empty())
        setNotice(L10n::evicted(qint64(trimmed.size())));
    if (!aged.empty())
        Log::core().notice(QStringLiteral("aged out %1 items").arg(aged.size()));

    if (m_destinations && m_destinations->entries().empty()) {
        // The first folder is the most recently used.
        const QStringList folders = DefaultDestinations::folders();
        for (qsizetype i = 0; i < folders.size(); ++i)
            m_destinations->noteFolder(folders[i],
                                       Date::fromSecondsSince1970(double(folders.size() - i)));
    }

    m_monitor->start();
    if (!m_notchClickMonitor) {
        m_notchClickMonitor = m_platform.eventMonitors.addGlobalMonitor(
            eventMask(EventType::leftMouseDown), [this](const MouseEvent&) { handleNotchClick(); });
    }
    refresh(false);
}

void TarvoController::stop() {
    m_monitor->stop();
    for (std::optional<EventMonitors::Token>* token :
         {&m_notchHoverMonitor, &m_notchClickMonitor, &m_outsideClickMonitor}) {
        if (*token)
            m_platform.eventMonitors.removeMonitor(**token);
        token->reset();
    }
    try {
        m_store->save();
    } catch (const std::exception& error) {
        Log::core().error(QStringLiteral("could not save the shelf: %1").arg(error.what()));
    }
    // Rules, categories and destinations are written off the main thread;
    // the last of them reach the disk before the process ends.
    m_rulesStore->waitForWrites();
    if (m_destinations)
        m_destinations->waitForWrites();
}

void TarvoController::rulesDidChange() {
    m_rules->setRules(m_rulesStore->rules());
    m_rules->setCategories(m_rulesStore->categories());
    m_rules->rulesChanged();
    m_resolver->categories = m_rulesStore->categories();
}

void TarvoController::preferencesDidChange() {
    m_monitor->setPreferences(m_preferences);
    m_resolver->editorPaneDetectionEnabled =
        m_preferences.editorPaneDetection() && m_resolver->hasAccessibilityPermission();
    refresh(false);
}

void TarvoController::openTarvo() {
    feed(ShelfEvent::Kind::openRequest);
}

void TarvoController::openTarvoForKeyboard() {
    feed(ShelfEvent::Kind::keyboardOpenRequest);
}

void TarvoController::toggleTarvo() {
    feed(ShelfEvent::Kind::shortcut);
}

void TarvoController::undoLastDrop() {
    if (undoClearIfLatest())
        return;
    feed(ShelfEvent::Kind::undoRequest);
    // Delivered files are compared and deleted off the main thread; the answer
    // comes back on it, and never once the coordinator is gone.
    m_coordinator->undoLastDelivery(m_platform.clock.now())
        .then(QtFuture::Launch::Sync, [this](const UndoLog::Outcome& outcome) {
            const QString message = outcome.message();
            setNotice(message);
            refresh(true);
            afterDelay(undoNoticeDuration, [this, message] {
                if (m_view->notice() == message)
                    setNotice(std::nullopt);
            });
        });
}

void TarvoController::clearTarvo() {
    // The store keeps the folders for its grace period; the records are kept
    // here, so the notice and an undo can put everything back.
    ClearedShelf cleared{m_store->items(), m_store->selection(), m_platform.clock.now()};
    for (const Item& item : m_store->items())
        m_thumbnails->invalidate(item.id);
    m_store->clear();
    setNotice(std::nullopt);
    if (cleared.items.empty()) {
        settleAfterDrag();
        return;
    }
    m_cleared = std::move(cleared);
    offerClearUndo();
}

void TarvoController::itemsArrived(const std::vector<Item>& items) {
    QSet<QUuid> landed;
    for (const Item& item : items)
        landed.insert(item.id);
    handDisplayOptions();
    // Only these items play the landing animation: the view takes them in the
    // state the landing leaves the shelf in, before it is shown or laid out.
    m_view->update(m_store->snapshot(), selectionList(), m_shelf.landingState(), landed);
    feed(ShelfEvent::Kind::itemsLanded);
    if (onItemsLanded)
        onItemsLanded(items);
    if (m_sound)
        m_sound->playLanded();
    for (const Item& item : items)
        m_view->announceLanded(item);
    for (const Item& item : items) {
        if (item.sourceBundleID && m_rulesStore->noteSeen(*item.sourceBundleID) && onSeenNewApp)
            onSeenNewApp(*item.sourceBundleID);
    }
}

void TarvoController::screenParametersChanged() {
    m_currentScreen = m_platform.screens.forPointer();
    if (m_panel->isPanelVisible())
        applyFrame(false);
}

void TarvoController::accessibilitySettingsChanged() {
    m_badgeWindow->applyAccessibilitySettings();
    refresh(false);
}

std::vector<QUuid> TarvoController::selectionList() const {
    // In shelf order, found through the list's index: a long shelf with a
    // few selected costs as little as a short one.
    const QSet<QUuid>& selected = m_store->selection();
    if (selected.isEmpty())
        return {};
    const std::shared_ptr<const ItemList> items = m_store->snapshot();
    std::vector<std::pair<std::size_t, QUuid>> found;
    found.reserve(std::size_t(selected.size()));
    for (const QUuid& id : selected) {
        if (const std::optional<std::size_t> at = items->indexOf(id))
            found.emplace_back(*at, id);
    }
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<QUuid> list;
    list.reserve(found.size());
    for (const auto& entry : found)
        list.push_back(entry.second);
    return list;
}

} // namespace tarvo
