// Items dragged out of the shelf, the destination chips offered while
// anything is dragged, and what a drop on a chip hands over.
#include "TarvoController.h"

#include "AutoPaster.h"
#include "ChipCopy.h"

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
#include "TarvoUI/AppIcons.h"
#include "TarvoUI/CursorBadge.h"
#include "TarvoUI/DestinationRow.h"
#include "TarvoUI/TarvoPanel.h"
#include "TarvoUI/TarvoView.h"
#include "TarvoUI/ThumbnailProvider.h"

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
    m_settleWork.reset();
    m_state = TarvoState::dragging;
    offerDestinations();
    refresh(true);
}

void TarvoController::dragSource(DragSource& source, const ResolvedDestination& destinationChanged,
                                 const Delivery& delivery) {
    m_badgeWindow->apply(
        BadgeContent::resolve(delivery, destinationChanged, qsizetype(source.items().size())));
    if (destinationChanged.bundleID && m_rulesStore->noteSeen(*destinationChanged.bundleID) &&
        onSeenNewApp)
        onSeenNewApp(*destinationChanged.bundleID);
}

void TarvoController::dragSource(DragSource&, QPointF movedTo) {
    if (m_panel->isPanelVisible() && m_panel->frame().contains({movedTo.x(), movedTo.y()})) {
        m_badgeWindow->cursorEnteredTarvo();
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
            QList<QUrl> urls;
            for (const Item& item : source.items()) {
                if (const std::optional<QString> path = item.payloadURL(m_store->root()))
                    urls.append(QUrl::fromLocalFile(*path));
            }
            // The files go the way a drop of them on the chip goes.
            QMimeData data;
            data.setUrls(urls);
            performChipDrop(MimePasteboard(data).readURLs(true), *chip);
        }
    } else if (source.destination().bundleID && m_destinations) {
        m_destinations->noteApp(*source.destination().bundleID, now);
    }
    if (m_dragSource.get() == &source)
        m_dragSource.reset();
    m_dragInFlight = false;
    m_lastDragEndedAt = now;
    m_view->setItemsInFlight({});
    setDestinations({});
    settleAfterDrag();
}

void TarvoController::dragSource(DragSource&, const QString& deliveredInto) {
    if (m_destinations)
        m_destinations->noteFolder(deliveredInto, m_platform.clock.now());
}

void TarvoController::dragSourceScrolled(DragSource&, QPointF at, double lines) {
    // Our own drag holds the pointer, so the view never sees the wheel: over
    // the chips it turns their pages as a scroll over the row would.
    if (lines != 0 && m_view->destinationChip({at.x(), at.y()}))
        tarvoViewDidScrollDestinations(*m_view, lines < 0);
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
    if (m_state != TarvoState::dragging || qsizetype(m_chipCandidates.size()) <= chipsPerPage)
        return;
    m_chipPage += forward ? 1 : -1;
    showChipPage();
}

bool TarvoController::tarvoView(TarvoView&, const Pasteboard& performDropOf,
                                const QUuid& ontoDestination) {
    return performChipDrop(performDropOf.readURLs(true), ontoDestination);
}

bool TarvoController::performChipDrop(const QList<QUrl>& urls, const QUuid& chipID) {
    const auto byID = [&chipID](const RecentDestination& d) { return d.id == chipID; };
    auto found = std::find_if(m_chipCandidates.begin(), m_chipCandidates.end(), byID);
    std::optional<RecentDestination> chip;
    if (found != m_chipCandidates.end()) {
        chip = *found;
    } else if (auto active = std::find_if(m_activeChips.begin(), m_activeChips.end(), byID);
               active != m_activeChips.end()) {
        chip = *active;
    }
    if (!chip) {
        Log::core().error(QStringLiteral("chip drop: unknown chip id"));
        return false;
    }
    const auto title = m_chipTitles.find(chip->id);
    const QString name = title != m_chipTitles.end() ? title->second : chipTitle(*chip);
    Log::core().notice(QStringLiteral("chip drop on %1: %2 url(s)").arg(name).arg(urls.size()));

    m_dragInFlight = false;
    if (m_state == TarvoState::dragging) {
        m_state = TarvoState::resting;
        setDestinations({});
        refresh(true);
    }
    if (urls.isEmpty())
        return false;
    const RecentDestination destination = *chip;
    return deliver(urls, destination, [this, destination, name](std::optional<QString> notice) {
        chipDeliveryFinished(destination, name, notice);
    });
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
                              std::function<void(std::optional<QString>)> done) {
    if (const auto* folder = destination.kind.as<RecentDestination::Kind::Folder>())
        return deliverToFolder(urls, folder->path, std::move(done));
    const auto* app = destination.kind.as<RecentDestination::Kind::App>();
    if (!app) {
        done(std::nullopt);
        return false;
    }
    return deliverToApp(urls, app->bundleID, std::move(done));
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
    const std::vector<std::pair<QString, Item>> items = shelfItemsFor(urls);
    ++m_pendingChipCopies;
    QObject* context = m_chipContext.get();
    m_chipWork->start([this, context, urls, folder, items, done = std::move(done)] {
        ChipCopy::Outcome outcome = ChipCopy::copyInto(urls, folder);
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
    const auto recordHandOver = [this, &urls, &destination] {
        for (const auto& [path, item] : shelfItemsFor(urls))
            m_coordinator->recordHandOver(item, destination);
    };

    if (category == AppCategory::terminalOrEditor) {
        QStringList quoted;
        for (const QUrl& url : urls)
            quoted.append(TextConverter::quotedPath(url.toLocalFile()));
        if (!clipboard->writeText(quoted.join(QLatin1Char(' '))))
            return finish(std::nullopt);
        recordHandOver();
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
