#pragma once

#include "ChipCopy.h"
#include "ShelfStateMachine.h"
#include "ShellPlatform.h"

#include "TarvoCore/Date.h"
#include "TarvoCore/DestinationLog.h"
#include "TarvoCore/Item.h"
#include "TarvoCore/ScreenMetrics.h"
#include "TarvoCore/TarvoState.h"
#include "TarvoCore/UndoLog.h"
#include "TarvoDrag/DragMonitorDelegate.h"
#include "TarvoDrag/DragSourceDelegate.h"
#include "TarvoPlatform/EventMonitors.h"
#include "TarvoViewDelegate.h"

#include <QString>
#include <QUrl>
#include <QUuid>

#include <QList>
#include <QSet>

#include <array>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

class QObject;
class QThreadPool;

namespace tarvo {

class AutoPasting;
class BadgeWindow;
class BatchConfirmWindow;
struct Delivery;
class DestinationRow;
struct DestinationChipModel;
class ConversionEngine;
class DeliveryCoordinator;
class DestinationResolver;
class DragMonitor;
class DragSource;
class DropReceiver;
class FileViewer;
class Clipboard;
class ShelfChipTargets;
class ShelfLocalDrops;
class ItemStore;
class PreviewWindow;
class Preferences;
class RuleEngine;
class RulesStore;
class ScheduledWork;
class SoundPlayer;
class ThumbnailProvider;
class TarvoPanel;
class TarvoView;

// The heart of the shell: owns the item store, the rules, the engines, the
// logs, the drag objects and the shelf's window, and ties drag detection,
// drops, the shelf's states and deliveries together. Made once by the
// application delegate. Every piece of delayed work is held here and dies
// with the controller, so none of it runs after it is gone. Main thread only.
class TarvoController final : public TarvoViewDelegate,
                              public DragMonitorDelegate,
                              public DragSourceDelegate {
public:
    // The shelf's own delays are its state machine's (ShelfDelays).
    static constexpr double settleDelay = ShelfDelays{}.settle;
    static constexpr double islandLeaveDelay = ShelfDelays{}.islandLeave;
    static constexpr double tuckAwayDelay = ShelfDelays{}.tuckAway;
    static constexpr double undoNoticeDuration = 3.0;
    static constexpr double openSettleDelay = ShelfDelays{}.openSettle;
    static constexpr double bloomHoldForClicks = ShelfDelays{}.bloomHoldForClicks;
    static constexpr double maxItemAge = 604800;
    static constexpr qint64 storeCapBytes = 2000000000;

    TarvoController(std::unique_ptr<ItemStore> store, std::unique_ptr<RulesStore> rulesStore,
                    Preferences& preferences, QString workRoot, ShellPlatform platform);
    ~TarvoController() override;
    TarvoController(const TarvoController&) = delete;
    TarvoController& operator=(const TarvoController&) = delete;

    ItemStore& store() { return *m_store; }
    RulesStore& rulesStore() { return *m_rulesStore; }
    Preferences& preferences() { return m_preferences; }
    RuleEngine& rules() { return *m_rules; }
    UndoLog& undoLog() { return m_undoLog; }
    DeliveryCoordinator& coordinator() { return *m_coordinator; }
    DestinationResolver& resolver() { return *m_resolver; }
    DestinationLog* destinations() { return m_destinations ? &*m_destinations : nullptr; }
    DragMonitor& monitor() { return *m_monitor; }
    DropReceiver& receiver() { return *m_receiver; }
    TarvoPanel& panel() { return *m_panel; }
    TarvoView& view() { return *m_view; }
    ThumbnailProvider& thumbnails() { return *m_thumbnails; }
    BadgeWindow& badgeWindow() { return *m_badgeWindow; }
    // The batch question's panel; none before the first question.
    BatchConfirmWindow* batchWindow() const { return m_batchWindow.get(); }
    // The chips on show, as the view's destination row holds them.
    const DestinationRow& destinationRow() const { return *m_destinationRow; }
    DragSource* dragSource() const { return m_dragSource.get(); }
    // Absent without the platform's means to paste.
    AutoPasting* autoPaster() const { return m_autoPaster.get(); }
    // The destinations offered for the current drag, and the page on show.
    const std::vector<RecentDestination>& chipCandidates() const { return m_chipCandidates; }
    const std::vector<RecentDestination>& activeChips() const { return m_activeChips; }
    int chipPage() const { return m_chipPage; }
    // Chip deliveries still copying on the worker.
    int pendingChipCopies() const { return m_pendingChipCopies; }
    // What copies files into a folder chip on the worker.
    using ChipCopier = std::function<ChipCopy::Outcome(const QList<QUrl>&, const QString&)>;
    void setChipCopier(ChipCopier copier) { m_chipCopier = std::move(copier); }
    TarvoState state() const { return m_shelf.state(); }
    bool isTarvoHidden() const { return state() == TarvoState::hidden; }
    bool isSettledToTab() const { return state() == TarvoState::tab; }
    bool dragInFlight() const { return m_shelf.value().dragInFlight; }
    bool engagedThisSession() const { return m_shelf.value().engaged; }
    // The transitions of the shelf's states, with what they remember.
    const ShelfStateMachine& shelfMachine() const { return m_shelf; }
    // Whether a shelf opened on purpose is still held open for the person.
    bool isHeldOpen() const;
    // Whether the items of the last clear can still be put back.
    bool canUndoClear() const;

    // Set by the owner; each is called on the main thread.
    std::function<void(const QString& bundleID)> onSeenNewApp;
    std::function<void(const QUuid& itemID)> onRequestRuleForApp;
    std::function<void()> onRequestSettings;
    std::function<void(const std::vector<Item>& items)> onItemsLanded;
    std::function<void()> onNeedsAccessibilityForPaste;

    // Ages and trims the store, seeds the destination log, starts the
    // monitors and draws the shelf.
    void start();
    // Stops the monitors and saves the store.
    void stop();
    void rulesDidChange();
    void preferencesDidChange();
    void openTarvo();
    void openTarvoForKeyboard();
    void toggleTarvo();
    void undoLastDrop();
    void clearTarvo();
    void itemsArrived(const std::vector<Item>& items);
    // What the clipboard holds becomes items, as a drop from no application.
    void pasteFromClipboard();
    // The files the last Quick Look request offered to the preview.
    const std::vector<QUrl>& quickLookURLs() const { return m_quickLookURLs; }
    // The preview of those files; none until the first one is shown.
    PreviewWindow* previewWindow() const { return m_preview.get(); }
    void screenParametersChanged();
    void accessibilitySettingsChanged();

    // Hands the store's contents and the state to the view, then the frame,
    // thumbnails, outside-click monitor and fold watchdog.
    void refresh(bool animated);
    // Asks for the picture of each item the view has none of yet.
    void loadThumbnails();
    // Chooses the island width and the panel frame for the state.
    void applyFrame(bool animated);
    // The panel's frame for the island's width and the notice under it.
    void placePanel();
    // Shows `notice` under the island (none: the caption as before).
    void setNotice(const std::optional<QString>& notice);
    // Each of these is an event for the shelf's state machine.
    void showTarvo(const ScreenMetrics& screen, TarvoState state);
    void hideTarvo();
    // What happens after a drag or a clear: rest or retract.
    void settleAfterDrag();
    void scheduleSettle(double seconds);
    void settleToTabNow();
    void showTransientNotice(const QString& text, bool clickable);
    void bloomFromTab();

    // Where a click opens the shelf and where resting the pointer wakes the
    // tab, in global points with y upwards.
    struct NotchRects {
        Rect click;
        Rect hover;
    };
    static NotchRects notchRects(const ScreenMetrics& screen);

    // DragMonitorDelegate
    void dragMonitor(DragMonitor& monitor, QPointF dragBeganAt) override;
    void dragMonitorDragEnded(DragMonitor& monitor) override;

    // DragSourceDelegate
    void dragSource(DragSource& source, const ResolvedDestination& destinationChanged,
                    const Delivery& delivery) override;
    void dragSource(DragSource& source, QPointF movedTo) override;
    void dragSourceDidEnd(DragSource& source, QPointF at, DragOperation operation) override;
    void dragSource(DragSource& source, const QString& deliveredInto) override;
    void dragSourceScrolled(DragSource& source, QPointF at, double lines) override;
    void dragSourceTargetChanged(DragSource& source, bool targetTakesDrops) override;
    // What a release over a window that takes no drops says.
    static QString takesNoDropsNotice();

    // TarvoViewDelegate
    bool tarvoView(TarvoView& view, const Pasteboard& canAccept) override;
    bool tarvoView(TarvoView& view, const Pasteboard& performDropOf, QPointF at) override;
    void tarvoView(TarvoView& view, const std::vector<QUuid>& beginDragOutOf,
                   QPointF with) override;
    void tarvoViewDidActivate(TarvoView& view, const QUuid& item) override;
    void tarvoViewDidRequestQuickLookOf(TarvoView& view, const std::vector<QUuid>& items) override;
    void tarvoViewDidRequestRemovalOf(TarvoView& view, const std::vector<QUuid>& items) override;
    void tarvoViewDidRequestRetryOf(TarvoView& view, const QUuid& item) override;
    void tarvoViewDidRequestCopyOf(TarvoView& view, const std::vector<QUuid>& items,
                                   bool asPath) override;
    void tarvoViewDidRequestRevealOf(TarvoView& view, const QUuid& item) override;
    void tarvoViewDidRequestRuleFor(TarvoView& view, const QUuid& item) override;
    void tarvoViewDidReorder(TarvoView& view, const QUuid& item, int to) override;
    void tarvoViewSelectionDidChange(TarvoView& view, const std::vector<QUuid>& selection) override;
    void tarvoViewDidRequestEscape(TarvoView& view) override;
    void tarvoViewDidRequestUndo(TarvoView& view) override;
    void tarvoViewDidRequestPaste(TarvoView& view) override;
    void tarvoViewDidClickNotice(TarvoView& view) override;
    void tarvoViewDidTogglePinOf(TarvoView& view, const QUuid& item) override;
    void tarvoViewIslandHoverChanged(TarvoView& view, bool hovering) override;
    void tarvoViewDidClickBareIsland(TarvoView& view) override;
    bool tarvoView(TarvoView& view, const Pasteboard& performDropOf,
                   const QUuid& ontoDestination) override;
    void tarvoViewDidScrollDestinations(TarvoView& view, bool forward) override;
    std::unique_ptr<QMenu> tarvoViewContextMenuFor(TarvoView& view,
                                                   const std::optional<QUuid>& item) override;

    // Delayed blocks that are not kept in a timer field, still pending.
    std::size_t pendingPlainDelays() const;

    // Whether an application may be offered as a chip: not this program,
    // not the desktop's file manager.
    static bool isChipEligible(const QString& bundleID);

private:
    // Runs `work` after `seconds` unless the controller is gone first; the
    // handle is kept with the controller, not in a timer field.
    void afterDelay(double seconds, std::function<void()> work);
    std::vector<QUuid> selectionList() const;
    // The desktop's display settings as they are now, for the view.
    void handDisplayOptions();
    std::optional<ScreenMetrics> rememberedOrPointerScreen();
    bool pointerInHoverRect() const;
    // The folded tab as drawn, in global points, on a screen without a
    // notch; none in other states or on a notched screen.
    std::optional<Rect> drawnTab() const;
    // The preview shows the shelf's own items: the pointer in it holds the
    // shelf open, and for the fold watchdog also the pointer on its way there
    // from the island.
    bool pointerOverPreview() const;
    // The pointer on a notice that takes a click.
    bool pointerOverClickableNotice() const;

    // The shelf's state machine: events go in, and its effects are carried
    // out here, in order. An effect may refresh the view, which feeds the
    // machine again; those nested events change no state.
    void feed(const ShelfEvent& event);
    void feed(ShelfEvent::Kind kind) { feed(ShelfEvent{kind}); }
    void carryOut(const ShelfEffect& effect);
    // Orders the panel front on a screen and opens the island.
    void presentShelf(const ScreenMetrics& screen);
    // Stops watching the pointer and plays the disappear animation.
    void retractShelf(bool wasShown);
    std::unique_ptr<ScheduledWork>& timerSlot(ShelfTimer timer);
    // What the machine asks about the shelf, the pointer and the screens.
    class Facts;
    std::unique_ptr<ShelfFacts> makeShelfFacts() const;
    void handleNotchClick();
    void syncNotchHoverMonitor();
    void syncOutsideClickMonitor();
    void handleOutsideClick(const MouseEvent& release);
    // The clear just done, offered back in a notice.
    void offerClearUndo();
    // Puts the cleared items back when their clear is what an undo should
    // take back now; false otherwise.
    bool undoClearIfLatest();
    std::optional<QString> frontmostBundleID();
    std::vector<Item> existingItems(const std::vector<QUuid>& ids) const;
    std::optional<QString> payloadPath(const Item& item) const;
    void showQuickLook();

    // Drags out and destination chips.
    void offerDestinations();
    void showChipPage();
    // Puts chips in the view's destination row; none empties it.
    void setDestinations(std::vector<DestinationChipModel> models);
    QString chipTitle(const RecentDestination& destination) const;
    QString appName(const QString& bundleID) const;
    // Shelf items without a file of their own (text, links) that go to an
    // application chip with the files: pasted as text into a terminal or an
    // editor, otherwise handed over as files made for them.
    struct ChipTexts {
        std::vector<Item> items;
        QStringList texts;
    };
    // `refusedLate` runs when a delivery that was answered as taken fails
    // afterwards, so that the drop ends as a refused one would have.
    bool performChipDrop(const QList<QUrl>& urls, const QUuid& chipID, const ChipTexts& texts = {},
                         std::function<void()> refusedLate = {});
    // Another program's drop on a chip whose delivery failed after the drop
    // was taken: the shelf takes what it would have taken from the strip.
    void takeLateRefusedChipDrop(const QList<QUrl>& urls);
    // Our own items that a drag out ended with over a chip.
    bool performOwnChipDrop(const std::vector<Item>& items, const QUuid& chipID);
    // Moves our own items dropped at the screen point `at` to the strip's
    // insertion point there.
    void reorderOwnDrop(const std::vector<Item>& items, QPointF at);
    std::optional<RecentDestination> chipByID(const QUuid& chipID) const;
    // Hands `urls` to a chip's destination; false when nothing could be
    // started. `done` hears the notice to show, or none after a failure.
    bool deliver(const QList<QUrl>& urls, const RecentDestination& destination,
                 std::function<void(std::optional<QString> notice)> done,
                 const ChipTexts& texts = {});
    bool deliverToFolder(const QList<QUrl>& urls, const QString& folder,
                         std::function<void(std::optional<QString>)> done);
    // Shows the batch question for a drag out when the settings ask for one;
    // false when none is needed.
    bool askBatchQuestion(int itemCount, const Delivery& delivery,
                          const std::optional<QString>& rename,
                          std::function<void(bool convert)> answer);
    // Hands the files (and texts, for a terminal or editor) to the
    // application; `done` hears the notice to show (none: nothing was handed
    // over), perhaps later, once a paste was typed.
    bool deliverToApp(const QList<QUrl>& urls, const QString& bundleID, const ChipTexts& texts,
                      std::function<void(std::optional<QString>)> done);
    // Brings a running application forward, or starts it with `files`.
    void activateApp(const QString& bundleID, const QList<QUrl>& files);
    // The shelf items whose stored files `urls` name, in their order.
    std::vector<std::pair<QString, Item>> shelfItemsFor(const QList<QUrl>& urls) const;
    void chipDeliveryFinished(const RecentDestination& destination, const QString& title,
                              const std::optional<QString>& notice);

    std::unique_ptr<ItemStore> m_store;
    std::unique_ptr<RulesStore> m_rulesStore;
    Preferences& m_preferences;
    ShellPlatform m_platform;
    QString m_workRoot;
    std::unique_ptr<RuleEngine> m_rules;
    std::unique_ptr<ConversionEngine> m_engine;
    UndoLog m_undoLog;
    std::unique_ptr<DeliveryCoordinator> m_coordinator;
    std::unique_ptr<DestinationResolver> m_resolver;
    std::optional<DestinationLog> m_destinations;
    std::unique_ptr<TarvoPanel> m_panel;
    TarvoView* m_view = nullptr;
    // Drags of the shelf's own items over its window.
    std::unique_ptr<ShelfLocalDrops> m_localDrops;
    // The chips as the view's drop target finds them.
    std::unique_ptr<ShelfChipTargets> m_chipTargets;
    std::unique_ptr<DragMonitor> m_monitor;
    std::unique_ptr<DropReceiver> m_receiver;
    std::unique_ptr<SoundPlayer> m_sound;
    std::unique_ptr<ThumbnailProvider> m_thumbnails;
    std::unique_ptr<BadgeWindow> m_badgeWindow;
    std::unique_ptr<BatchConfirmWindow> m_batchWindow;
    std::shared_ptr<DestinationRow> m_destinationRow;
    std::unique_ptr<AutoPasting> m_autoPaster;
    std::unique_ptr<DragSource> m_dragSource;
    std::optional<ScreenMetrics> m_currentScreen;
    ShelfStateMachine m_shelf;
    std::unique_ptr<ShelfFacts> m_facts;
    // The settle timer and the empty check share the first slot.
    std::array<std::unique_ptr<ScheduledWork>, 5> m_timers;
    // The screen `showTarvo` was asked to show on.
    std::optional<ScreenMetrics> m_requestedScreen;
    // The caption the next notice shows, and the one its timer clears.
    struct Notice {
        QString text;
        bool clickable = false;
    };
    Notice m_pendingNotice;
    QString m_armedNotice;
    struct PlainDelay {
        std::shared_ptr<bool> done;
        std::unique_ptr<ScheduledWork> work;
    };
    std::vector<PlainDelay> m_plainDelays;
    std::vector<QUrl> m_quickLookURLs;
    std::unique_ptr<PreviewWindow> m_preview;
    std::unique_ptr<Clipboard> m_ownClipboard;
    Clipboard* m_clipboard = nullptr;
    std::unique_ptr<FileViewer> m_ownFileViewer;
    FileViewer* m_fileViewer = nullptr;
    std::optional<EventMonitors::Token> m_outsideClickMonitor;
    // Presses the view took up to this time belong to clicks already judged,
    // or to clicks begun before the outside-click monitor listened.
    double m_pressesJudgedUntil = 0;
    std::vector<RecentDestination> m_activeChips;
    std::vector<RecentDestination> m_chipCandidates;
    std::map<QUuid, QString> m_chipTitles;
    int m_chipPage = 0;
    // Copies into folder chips: one worker, in the order dropped; answers come
    // back through the context and are dropped once the controller is gone,
    // after the worker has finished.
    std::unique_ptr<QObject> m_chipContext;
    std::unique_ptr<QThreadPool> m_chipWork;
    int m_pendingChipCopies = 0;
    ChipCopier m_chipCopier = &ChipCopy::copyInto;
    std::optional<double> m_draggingWidth;
    std::optional<EventMonitors::Token> m_notchHoverMonitor;
    std::optional<EventMonitors::Token> m_notchClickMonitor;
    bool m_promptedAccessibilityForPaste = false;
    struct ClearedShelf {
        std::deque<Item> items;
        QSet<QUuid> selection;
        Date at;
    };
    std::optional<ClearedShelf> m_cleared;
};

} // namespace tarvo
