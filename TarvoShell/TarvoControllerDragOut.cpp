// Items dragged out of the shelf, the destination chips offered while
// anything is dragged, and what a drop on a chip hands over.
#include "TarvoController.h"

#include "AutoPaster.h"
#include "ChipCopy.h"
#include "ChipFiles.h"

#include "TarvoConvert/TextConverter.h"
#include "TarvoCore/AppCategoryMap.h"
#include "TarvoCore/ItemStore.h"
#include "TarvoCore/L10n.h"
#include "TarvoCore/Log.h"
#include "TarvoCore/RuleEngine.h"
#include "TarvoCore/RulesStore.h"
#include "TarvoDrag/DeliveryCoordinator.h"
#include "TarvoDrag/DragSource.h"
#include "TarvoPlatform/AppLauncher.h"
#include "TarvoPlatform/ApplicationDirectory.h"
#include "TarvoPlatform/Clipboard.h"
#include "TarvoPlatform/Clock.h"
#include "TarvoPlatform/DesktopEntry.h"
#include "TarvoPlatform/InputState.h"
#include "TarvoPlatform/MimePasteboard.h"
#include "TarvoPlatform/Screens.h"
#include "AppIcons.h"
#include "CursorBadge.h"
#include "DestinationRow.h"
#include "KeyAction.h"
#include "TarvoPanel.h"
#include "TarvoView.h"
#include "ThumbnailProvider.h"

#include <QDir>
#include <QFileInfo>
#include <QMimeData>
#include <QThreadPool>

namespace tarvo {

namespace {

constexpr qsizetype chipsPerPage = 4;
constexpr qsizetype recentFoldersOffered = 8;
constexpr qsizetype chipsOffered = 12;
constexpr double dragImagePoints = 56;
constexpr double chipIconPoints = 36;
// This program's own desktop-file id.
const QString ownAppID = QStringLiteral("com.tarvoapp.Tarvo");

// A folder as file managers name it: its own name, "/" for the root.
QString folderTitle(const QString& path) {
    const QString clean = QDir::cleanPath(path);
    const QString name = QFileInfo(clean).fileName();
    return name.isEmpty() ? clean : name;
}

} // namespace

bool TarvoController::isChipEligible(const QString& bundleID) {
    return bundleID != ownAppID && !AppCategoryMap::isFileManager(bundleID);
}

QString TarvoController::appName(const QString& bundleID) const {
    return m_platform.applications.name(bundleID).value_or(bundleID);
}

void TarvoController::tarvoView(TarvoView&, const std::vector<QUuid>& beginDragOutOf,
                                QPointF with) {
    std::vector<Item> items;
    for (const QUuid& id : beginDragOutOf) {
        if (std::optional<Item> item = m_store->item(id))
            items.push_back(*item);
    }
    if (items.empty())
        return;
    m_rules->beginDrag();
    const DeliveryCoordinator::Modifiers modifiers(m_platform.input.modifierFlags());
    Screens& screens = m_platform.screens;
    m_dragSource = std::make_unique<DragSource>(
        std::move(items), *m_coordinator, *m_resolver, modifiers,
        DragSource::Platform{m_platform.dragSessions, m_platform.input, m_platform.clock,
                             [&screens] { return screens.frames(); }});
    m_dragSource->setDelegate(this);
    // Until a destination resolves, the badge says what this drag carries,
    // never what the last one was going to deliver.
    m_badgeWindow->apply(BadgeContent::initial());
    m_dragSource->setBatchQuestion([this](int count, const Delivery& delivery,
                                          const std::optional<QString>& rename,
                                          std::function<void(bool)> answer) {
        return askBatchQuestion(count, delivery, rename, std::move(answer));
    });
    ThumbnailProvider& thumbnails = *m_thumbnails;
    m_dragSource->beginSession(with, [&thumbnails](const Item& item) -> std::optional<QImage> {
        std::optional<QImage> image = thumbnails.cached(item);
        if (!image || image->isNull())
            return std::nullopt;
        const double ratio = image->devicePixelRatio() > 0 ? image->devicePixelRatio() : 1;
        const int pixels = qRound(dragImagePoints * ratio);
        QImage scaled =
            image->scaled(pixels, pixels, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        scaled.setDevicePixelRatio(ratio);
        return scaled;
    });
    if (!m_dragSource->sessionActive()) {
        m_dragSource.reset();
        m_rules->endDrag();
        return;
    }
    m_view->setItemsInFlight(QSet<QUuid>(beginDragOutOf.begin(), beginDragOutOf.end()));
    feed(ShelfEvent::Kind::dragOutBegan);
}

void TarvoController::dragSource(DragSource& source, const ResolvedDestination& destinationChanged,
                                 const Delivery& delivery) {
    m_badgeWindow->apply(
        BadgeContent::resolve(delivery, destinationChanged, qsizetype(source.items().size())));
    if (destinationChanged.bundleID && m_rulesStore->noteSeen(*destinationChanged.bundleID) &&
        onSeenNewApp)
        onSeenNewApp(*destinationChanged.bundleID);
}

namespace {

// An application's window that speaks no drag protocol: nothing dropped
// there arrives, whatever a rule for it would deliver.
bool overRefusingWindow(const DragSource& source) {
    return !source.targetTakesDrops() && source.destination().bundleID.has_value();
}

} // namespace

QString TarvoController::takesNoDropsNotice() {
    return L10n::text(QStringLiteral("drop.notTaken"));
}

void TarvoController::dragSourceTargetChanged(DragSource& source, bool targetTakesDrops) {
    if (!targetTakesDrops && overRefusingWindow(source))
        m_badgeWindow->hide();
}

void TarvoController::dragSource(DragSource& source, QPointF movedTo) {
    if (m_panel->isPanelVisible() && m_panel->frame().contains({movedTo.x(), movedTo.y()})) {
        m_badgeWindow->cursorEnteredTarvo();
        return;
    }
    // The badge promises nothing where nothing can be dropped.
    if (overRefusingWindow(source)) {
        m_badgeWindow->hide();
        return;
    }
    m_badgeWindow->cursorLeftTarvo(m_platform.clock.now());
    std::optional<Rect> screen;
    for (const Rect& frame : m_platform.screens.frames()) {
        if (frame.contains({movedTo.x(), movedTo.y()})) {
            screen = frame;
            break;
        }
    }
    m_badgeWindow->follow(movedTo, screen);
}

void TarvoController::dragSourceDidEnd(DragSource& source, QPointF at, DragOperation operation) {
    m_rules->endDrag();
    m_badgeWindow->hide();
    const Date now = m_platform.clock.now();
    if (operation == DragOperation::none) {
        if (const std::optional<QUuid> chip = m_view->destinationChip({at.x(), at.y()})) {
            // A chip that takes nothing leaves the drop to the strip, as a
            // drop of our own items there reorders them.
            if (!performOwnChipDrop(source.items(), *chip))
                reorderOwnDrop(source.items(), at);
        } else if (overRefusingWindow(source)) {
            showTransientNotice(takesNoDropsNotice(), false);
        }
    } else if (source.destination().bundleID && m_destinations) {
        m_destinations->noteApp(*source.destination().bundleID, now);
    }
    if (m_dragSource.get() == &source)
        m_dragSource.reset();
    m_view->setItemsInFlight({});
    feed(ShelfEvent::Kind::dragEnded);
}

void TarvoController::dragSource(DragSource&, const QString& deliveredInto) {
    if (m_destinations)
        m_destinations->noteFolder(deliveredInto, m_platform.clock.now());
}

void TarvoController::dragSourceScrolled(DragSource&, QPointF at, double lines) {
    // Our own drag holds the pointer, so the view never sees the wheel: over
    // the chips it turns their pages as a scroll over the row would.
    const double delta = lines * KeyActions::lineStep;
    if (std::abs(delta) > TarvoView::destinationScrollThreshold &&
        m_view->destinationChip({at.x(), at.y()}))
        tarvoViewDidScrollDestinations(*m_view, delta < 0);
}

QString TarvoController::chipTitle(const RecentDestination& destination) const {
    if (const auto* folder = destination.kind.as<RecentDestination::Kind::Folder>())
        return folderTitle(folder->path);
    if (const auto* app = destination.kind.as<RecentDestination::Kind::App>())
        return appName(app->bundleID);
    return {};
}

void TarvoController::offerDestinations() {
    std::vector<RecentDestination> candidates;
    if (m_destinations) {
        for (const RecentDestination& entry : m_destinations->top(recentFoldersOffered)) {
            if (entry.kind.as<RecentDestination::Kind::Folder>())
                candidates.push_back(entry);
        }
    }
    QSet<QString> taken;
    for (const QString& bundleID : m_rulesStore->categories().pinned) {
        if (qsizetype(candidates.size()) >= chipsOffered)
            break;
        if (!isChipEligible(bundleID) || taken.contains(bundleID))
            continue;
        taken.insert(bundleID);
        candidates.push_back({QUuid::createUuid(), RecentDestination::Kind::app(bundleID),
                              Date::fromSecondsSince1970(-1e12), 1});
    }
    m_chipTitles.clear();
    for (const RecentDestination& candidate : candidates)
        m_chipTitles[candidate.id] = chipTitle(candidate);
    m_chipCandidates = std::move(candidates);
    m_chipPage = 0;
    showChipPage();
}

void TarvoController::setDestinations(std::vector<DestinationChipModel> models) {
    // Until the view is in a window, chips are drawn for the sharper screen.
    const double scale = m_view->window()->windowHandle() ? m_view->devicePixelRatioF() : 2;
    const bool hasChips = !models.empty();
    const Size size = m_destinationRow->apply(std::move(models), scale);
    m_view->setDestinationRow(hasChips, size);
}

void TarvoController::showChipPage() {
    if (m_chipCandidates.empty()) {
        m_activeChips.clear();
        setDestinations({});
        return;
    }
    const int pages = int((qsizetype(m_chipCandidates.size()) + chipsPerPage - 1) / chipsPerPage);
    const int page = ((m_chipPage % pages) + pages) % pages;
    const auto first = m_chipCandidates.begin() + qsizetype(page) * chipsPerPage;
    const auto last = m_chipCandidates.begin() +
                      std::min(qsizetype(m_chipCandidates.size()), (page + 1) * chipsPerPage);
    m_activeChips.assign(first, last);

    const double ratio = m_view->devicePixelRatioF();
    std::vector<DestinationChipModel> models;
    for (const RecentDestination& chip : m_activeChips) {
        const auto title = m_chipTitles.find(chip.id);
        QIcon icon;
        if (const auto* folder = chip.kind.as<RecentDestination::Kind::Folder>())
            icon = AppIcons::folder(folder->path);
        else if (const auto* app = chip.kind.as<RecentDestination::Kind::App>())
            icon = AppIcons::application(m_platform.applications, app->bundleID);
        models.push_back({chip.id, title != m_chipTitles.end() ? title->second : chipTitle(chip),
                          AppIcons::image(icon, chipIconPoints, ratio)});
    }
    setDestinations(std::move(models));
}

void TarvoController::tarvoViewDidScrollDestinations(TarvoView&, bool forward) {
    if (state() != TarvoState::dragging || qsizetype(m_chipCandidates.size()) <= chipsPerPage)
        return;
    m_chipPage += forward ? 1 : -1;
    showChipPage();
}

bool TarvoController::tarvoView(TarvoView&, const Pasteboard& performDropOf,
                                const QUuid& ontoDestination) {
    const QList<QUrl> urls = performDropOf.readURLs(true);
    return performChipDrop(urls, ontoDestination, {},
                           [this, urls] { takeLateRefusedChipDrop(urls); });
}

void TarvoController::takeLateRefusedChipDrop(const QList<QUrl>& urls) {
    // Our own items are still on the shelf; only what came from elsewhere
    // would be lost.
    const std::vector<std::pair<QString, Item>> own = shelfItemsFor(urls);
    QList<QUrl> foreign;
    for (const QUrl& url : urls) {
        const QString path = QDir::cleanPath(url.toLocalFile());
        if (std::none_of(own.begin(), own.end(),
                         [&path](const auto& o) { return o.first == path; }))
            foreign.append(url);
    }
    if (foreign.isEmpty())
        return;
    Log::core().notice(
        QStringLiteral("chip drop failed after it was taken: %1 url(s) go to the shelf")
            .arg(foreign.size()));
    QMimeData data;
    data.setUrls(foreign);
    tarvoView(*m_view, MimePasteboard(data), QPointF());
}

std::optional<RecentDestination> TarvoController::chipByID(const QUuid& chipID) const {
    const auto byID = [&chipID](const RecentDestination& d) { return d.id == chipID; };
    if (auto found = std::find_if(m_chipCandidates.begin(), m_chipCandidates.end(), byID);
        found != m_chipCandidates.end())
        return *found;
    if (auto active = std::find_if(m_activeChips.begin(), m_activeChips.end(), byID);
        active != m_activeChips.end())
        return *active;
    return std::nullopt;
}

bool TarvoController::performOwnChipDrop(const std::vector<Item>& items, const QUuid& chipID) {
    QList<QUrl> urls;
    std::vector<Item> withoutFile;
    for (const Item& item : items) {
        if (const std::optional<QString> path = item.payloadURL(m_store->root()))
            urls.append(QUrl::fromLocalFile(*path));
        else
            withoutFile.push_back(item);
    }
    // The files go the way a drop of them on the chip goes.
    QMimeData data;
    data.setUrls(urls);
    urls = MimePasteboard(data).readURLs(true);
    const std::optional<RecentDestination> chip = chipByID(chipID);
    const auto* app = chip ? chip->kind.as<RecentDestination::Kind::App>() : nullptr;
    if (!app || withoutFile.empty())
        return performChipDrop(urls, chipID);

    ChipTexts texts;
    if (m_rulesStore->categories().category(app->bundleID) == AppCategory::terminalOrEditor) {
        texts.items = withoutFile;
        for (const Item& item : withoutFile)
            texts.texts.append(ChipFiles::textOf(item));
        return performChipDrop(urls, chipID, texts);
    }
    // An application that takes files gets each as the file a drag would
    // save for it: text as a .txt file, a link as a link file.
    const QString folder = m_coordinator->makeWorkDirectory();
    for (const Item& item : withoutFile) {
        if (const std::optional<QString> file = ChipFiles::write(item, folder)) {
            urls.append(QUrl::fromLocalFile(*file));
            texts.items.push_back(item);
        }
    }
    return performChipDrop(urls, chipID, texts);
}

void TarvoController::reorderOwnDrop(const std::vector<Item>& items, QPointF at) {
    const Point origin = m_view->windowOrigin();
    const int index = int(m_view->insertionIndex({at.x() - origin.x, at.y() - origin.y}));
    for (const Item& item : items) {
        if (m_store->item(item.id))
            tarvoViewDidReorder(*m_view, item.id, index);
    }
}

bool TarvoController::performChipDrop(const QList<QUrl>& urls, const QUuid& chipID,
                                      const ChipTexts& texts, std::function<void()> refusedLate) {
    const std::optional<RecentDestination> chip = chipByID(chipID);
    if (!chip) {
        Log::core().error(QStringLiteral("chip drop: unknown chip id"));
        return false;
    }
    const auto title = m_chipTitles.find(chip->id);
    const QString name = title != m_chipTitles.end() ? title->second : chipTitle(*chip);
    Log::core().notice(QStringLiteral("chip drop on %1: %2 url(s)").arg(name).arg(urls.size()));

    feed(ShelfEvent::Kind::chipDropped);
    if (urls.isEmpty() && texts.texts.isEmpty())
        return false;
    const RecentDestination destination = *chip;
    // Set once the view was told the drop was taken: a failure before that
    // is the refusal the view acts on itself.
    auto answered = std::make_shared<bool>(false);
    const bool taken = deliver(
        urls, destination,
        [this, destination, name, answered,
         refusedLate = std::move(refusedLate)](std::optional<QString> notice) {
            chipDeliveryFinished(destination, name, notice);
            if (!notice && *answered && refusedLate)
                refusedLate();
        },
        texts);
    *answered = taken;
    return taken;
}

void TarvoController::chipDeliveryFinished(const RecentDestination& destination,
                                           const QString& title,
                                           const std::optional<QString>& notice) {
    if (!notice) {
        showTransientNotice(L10n::chipFailed(title), false);
        return;
    }
    const Date now = m_platform.clock.now();
    if (m_destinations) {
        if (const auto* folder = destination.kind.as<RecentDestination::Kind::Folder>())
            m_destinations->noteFolder(folder->path, now);
        else if (const auto* app = destination.kind.as<RecentDestination::Kind::App>())
            m_destinations->noteApp(app->bundleID, now);
    }
    showTransientNotice(*notice, false);
}

bool TarvoController::deliver(const QList<QUrl>& urls, const RecentDestination& destination,
                              std::function<void(std::optional<QString>)> done,
                              const ChipTexts& texts) {
    if (const auto* folder = destination.kind.as<RecentDestination::Kind::Folder>())
        return deliverToFolder(urls, folder->path, std::move(done));
    const auto* app = destination.kind.as<RecentDestination::Kind::App>();
    if (!app) {
        done(std::nullopt);
        return false;
    }
    return deliverToApp(urls, app->bundleID, texts, std::move(done));
}

std::vector<std::pair<QString, Item>>
TarvoController::shelfItemsFor(const QList<QUrl>& urls) const {
    std::vector<std::pair<QString, Item>> found;
    for (const QUrl& url : urls) {
        const QString path = QDir::cleanPath(url.toLocalFile());
        for (const Item& item : m_store->items()) {
            const std::optional<QString> stored = item.payloadURL(m_store->root());
            if (stored && QDir::cleanPath(*stored) == path) {
                found.emplace_back(path, item);
                break;
            }
        }
    }
    return found;
}

bool TarvoController::deliverToFolder(const QList<QUrl>& urls, const QString& folder,
                                      std::function<void(std::optional<QString>)> done) {
    // The drop's source hears at once whether we took it, and may delete
    // what it moved: a drop that cannot copy anything is refused here, before
    // the copies run on the worker.
    const QFileInfo target(folder);
    const bool anySource = std::any_of(urls.begin(), urls.end(), [](const QUrl& url) {
        return url.isLocalFile() && QFileInfo(url.toLocalFile()).exists();
    });
    if (!target.isDir() || !target.isWritable() || !anySource) {
        Log::core().error(QStringLiteral("chip copy failed: nothing can be copied into %1")
                              .arg(folderTitle(folder)));
        done(std::nullopt);
        return false;
    }
    const std::vector<std::pair<QString, Item>> items = shelfItemsFor(urls);
    ++m_pendingChipCopies;
    QObject* context = m_chipContext.get();
    m_chipWork->start([this, context, copier = m_chipCopier, urls, folder, items,
                       done = std::move(done)] {
        ChipCopy::Outcome outcome = copier(urls, folder);
        QMetaObject::invokeMethod(
            context,
            [this, outcome = std::move(outcome), folder, items, done] {
                --m_pendingChipCopies;
                for (const QString& failure : outcome.failures)
                    Log::core().error(QStringLiteral("chip copy failed: %1").arg(failure));
                // Shelf items copied here can be taken back like any delivery.
                for (const ChipCopy::Copied& copied : outcome.copied) {
                    for (const auto& [path, item] : items) {
                        if (path == QDir::cleanPath(copied.source)) {
                            m_coordinator->recordDelivery(item, ResolvedDestination::unknown(),
                                                          {ConversionResult::file(copied.written)});
                            break;
                        }
                    }
                }
                if (outcome.copied.empty()) {
                    done(std::nullopt);
                    return;
                }
                done(L10n::sentTo(folderTitle(folder)));
            },
            Qt::QueuedConnection);
    });
    return true;
}

void TarvoController::activateApp(const QString& bundleID, const QList<QUrl>& files) {
    if (!m_platform.launcher)
        return;
    // Activating looks for the application's windows itself: one scan.
    if (m_platform.launcher->activate(bundleID))
        return;
    if (!m_platform.launcher->launch(bundleID, files))
        Log::deliver().notice(QStringLiteral("could not start %1").arg(bundleID));
}

bool TarvoController::deliverToApp(const QList<QUrl>& urls, const QString& bundleID,
                                   const ChipTexts& texts,
                                   std::function<void(std::optional<QString>)> done) {
    AppLauncher* launcher = m_platform.launcher;
    Clipboard* clipboard = m_clipboard;
    const auto finish = [&done](std::optional<QString> notice) {
        const bool accepted = notice.has_value();
        done(std::move(notice));
        return accepted;
    };
    if (!launcher)
        return finish(std::nullopt);
    const std::optional<ApplicationDirectory::Entry> entry =
        m_platform.applications.entry(bundleID);
    // An installed application is activated or started later, which looks
    // for its windows then: the window list is scanned once per drop.
    if (!entry && !launcher->isRunning(bundleID))
        return finish(std::nullopt);
    const QString name = appName(bundleID);
    const AppCategory category = m_rulesStore->categories().category(bundleID);
    const ResolvedDestination destination{bundleID, category, std::nullopt};
    const auto recordHandOver = [this, &urls, &destination, &texts] {
        for (const auto& [path, item] : shelfItemsFor(urls))
            m_coordinator->recordHandOver(item, destination);
        for (const Item& item : texts.items)
            m_coordinator->recordHandOver(item, destination);
    };
    // Paths and texts pasted: nothing was written, yet the delivery is
    // undone like any other (the item comes back).
    const auto recordPasted = [this, &urls, &destination, &texts] {
        for (const auto& [path, item] : shelfItemsFor(urls))
            m_coordinator->recordDelivery(item, destination, {});
        for (const Item& item : texts.items)
            m_coordinator->recordDelivery(item, destination, {});
    };

    if (category == AppCategory::terminalOrEditor) {
        QStringList paths;
        for (const QUrl& url : urls)
            paths.append(url.toLocalFile());
        QStringList pasted = texts.texts;
        if (!paths.isEmpty())
            pasted.prepend(TextConverter::quotedPaths(paths));
        if (!clipboard->writeText(pasted.join(QLatin1Char(' '))))
            return finish(std::nullopt);
        recordPasted();
        if (m_autoPaster && m_autoPaster->canAutoPaste()) {
            const std::optional<DesktopEntry> desktop =
                entry ? DesktopEntry::read(entry->path) : std::nullopt;
            const bool terminal = desktop && desktop->isTerminalEmulator();
            // Said only once the keys went out; otherwise the paths stay on
            // the clipboard for the user to paste.
            m_autoPaster->pasteAfterActivating(
                bundleID, terminal, [name, done = std::move(done)](bool pasted) {
                    done(pasted ? L10n::pastedInto(name) : L10n::pathCopied(name));
                });
            return true;
        }
        activateApp(bundleID, {});
        if (!m_promptedAccessibilityForPaste) {
            m_promptedAccessibilityForPaste = true;
            if (onNeedsAccessibilityForPaste)
                onNeedsAccessibilityForPaste();
        }
        return finish(L10n::pathCopied(name));
    }

    if (!clipboard->writeFileURLs(urls))
        return finish(std::nullopt);
    recordHandOver();
    activateApp(bundleID, urls);
    return finish(L10n::handOff(name));
}

} // namespace tarvo
