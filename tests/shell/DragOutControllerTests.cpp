#include "DragOutFixture.h"

#include "TarvoConvert/TextConverter.h"
#include "TarvoCore/RulesStore.h"
#include "TarvoDrag/DeliveryCoordinator.h"
#include "TarvoPlatform/MimePasteboard.h"
#include "TarvoShell/AutoPaster.h"

#include "support/RecordingLogSink.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMimeData>
#include <QWheelEvent>

#include <algorithm>
#include <deque>

namespace tarvo::test {
namespace {

TEST_F(DragOutTest, BeginningADragOutShowsTheItemsInFlightAndOffersChips) {
    auto controller = makeController();
    const Item a = fileItem(*controller, "a.txt", "A");
    const Item b = fileItem(*controller, "b.txt", "B");
    recentFolder(*controller, "Reports", 10);
    const QUuid missing = QUuid::createUuid();

    MemoryDragSession* session = beginDrag(*controller, {b.id, missing, a.id});
    ASSERT_NE(session, nullptr);
    ASSERT_NE(controller->dragSource(), nullptr);
    // The items the store holds, in the order asked, each written twice.
    std::vector<QUuid> dragged;
    for (const Item& item : controller->dragSource()->items())
        dragged.push_back(item.id);
    EXPECT_EQ(dragged, (std::vector<QUuid>{b.id, a.id}));
    EXPECT_EQ(session->draggingItems().size(), 4u);
    EXPECT_EQ(controller->state(), TarvoState::dragging);
    EXPECT_EQ(controller->view().itemsInFlight(), (QSet<QUuid>{a.id, b.id, missing}));
    EXPECT_FALSE(controller->destinationRow().models().empty());
    EXPECT_TRUE(controller->panel().isPanelVisible());
}

TEST_F(DragOutTest, ADragThatCannotStartOrNamesNoItemChangesNothing) {
    auto controller = makeController();
    const Item a = fileItem(*controller, "a.txt", "A");
    controller->openTarvo();
    controller->tarvoView(controller->view(), {QUuid::createUuid()}, QPointF(10, 10));
    EXPECT_EQ(m_shell.drags.begun(), 0);

    m_shell.drags.setRefusesToBegin(true);
    controller->tarvoView(controller->view(), {a.id}, QPointF(10, 10));
    EXPECT_EQ(controller->dragSource(), nullptr);
    EXPECT_EQ(controller->state(), TarvoState::resting);
    EXPECT_TRUE(controller->view().itemsInFlight().isEmpty());
}

TEST_F(DragOutTest, TheBadgeSaysWhatTheApplicationUnderThePointerWillGet) {
    auto controller = makeController();
    const Item text = textItem(*controller, "hello");
    MemoryDragSession* session = beginDrag(*controller, {text.id});
    ASSERT_NE(session, nullptr);
    BadgeWindow& badge = controller->badgeWindow();

    session->moveTo(overEditor);
    EXPECT_EQ(badge.badge().content().bundleID, editorID);
    EXPECT_EQ(badge.badge().content().text,
              controller->dragSource()->currentDelivery().badgeText());
    EXPECT_FALSE(badge.isShowing());
    // It shows a moment after the pointer left the shelf, beside the pointer.
    m_shell.clock.advance(0.17);
    EXPECT_FALSE(badge.isShowing());
    m_shell.clock.advance(0.02);
    EXPECT_TRUE(badge.isShowing());
    EXPECT_EQ(badge.frame().x, overEditor.x() + 8);
    EXPECT_EQ(badge.frame().y, overEditor.y() - 12 - BadgeView::height);

    session->moveTo(overNothing);
    EXPECT_EQ(badge.badge().content(), BadgeContent::initial());
    EXPECT_EQ(badge.frame().x, overNothing.x() + 8);

    // Back over the shelf it hides at once.
    const Rect& panel = controller->panel().frame();
    session->moveTo(QPointF(panel.midX(), panel.maxY() - 5));
    EXPECT_FALSE(badge.isShowing());
    EXPECT_FALSE(badge.timing().leftTarvoAt);

    session->end(overNothing, DragOperation::none);
    EXPECT_FALSE(badge.isShowing());
}

TEST_F(DragOutTest, ANewDragBeginsWithTheBadgeOfNoDestination) {
    auto controller = makeController();
    const Item file = fileItem(*controller, "a.txt", "A");
    const Item text = textItem(*controller, "hello");
    MemoryDragSession* session = beginDrag(*controller, {file.id});
    ASSERT_NE(session, nullptr);
    session->moveTo(overEditor);
    BadgeWindow& badge = controller->badgeWindow();
    ASSERT_EQ(badge.badge().content().bundleID, editorID);
    session->end(overEditor, DragOperation::copy);

    ASSERT_NE(beginDrag(*controller, {text.id}), nullptr);
    EXPECT_EQ(badge.badge().content(), BadgeContent::initial());
}

TEST_F(DragOutTest, TheShelfPutAwayDuringADragOutTakesTheBadgeWithIt) {
    auto controller = makeController();
    const Item text = textItem(*controller, "hello");
    MemoryDragSession* session = beginDrag(*controller, {text.id});
    ASSERT_NE(session, nullptr);
    session->moveTo(overEditor);
    m_shell.clock.advance(0.2);
    BadgeWindow& badge = controller->badgeWindow();
    ASSERT_TRUE(badge.isShowing());
    controller->hideTarvo();
    EXPECT_FALSE(badge.isShowing());
    EXPECT_FALSE(badge.timing().leftTarvoAt);
    session->end(overNothing, DragOperation::none);
}

TEST_F(DragOutTest, OverAWindowThatTakesNoDropsTheBadgePromisesNothingAndTheReleaseSaysSo) {
    auto controller = makeController();
    const Item file = fileItem(*controller, "a.txt", "A");
    MemoryDragSession* session = beginDrag(*controller, {file.id});
    ASSERT_NE(session, nullptr);
    BadgeWindow& badge = controller->badgeWindow();
    session->moveTo(overEditor);
    session->overTarget(false);
    m_shell.clock.advance(0.2);
    session->moveTo(overEditor + QPointF(3, 0));
    m_shell.clock.advance(0.2);
    EXPECT_FALSE(badge.isShowing());

    // Over one that takes drops again it shows.
    session->overTarget(true);
    session->moveTo(overEditor + QPointF(6, 0));
    m_shell.clock.advance(0.2);
    EXPECT_TRUE(badge.isShowing());

    session->overTarget(false);
    session->end(overEditor, DragOperation::none);
    EXPECT_EQ(controller->view().notice(), TarvoController::takesNoDropsNotice());
    EXPECT_EQ(controller->store().items().size(), 1u);
}

TEST_F(DragOutTest, ReleasedOverTheBareDesktopNothingIsSaid) {
    auto controller = makeController();
    const Item file = fileItem(*controller, "a.txt", "A");
    MemoryDragSession* session = beginDrag(*controller, {file.id});
    ASSERT_NE(session, nullptr);
    session->moveTo(overNothing);
    session->overTarget(false);
    session->end(overNothing, DragOperation::none);
    EXPECT_EQ(controller->view().notice(), std::nullopt);
}

TEST_F(DragOutTest, ANewApplicationUnderThePointerIsSeenOnce) {
    auto controller = makeController();
    std::vector<QString> seen;
    controller->onSeenNewApp = [&seen](const QString& id) { seen.push_back(id); };
    const Item text = textItem(*controller, "hello");
    MemoryDragSession* session = beginDrag(*controller, {text.id});
    session->moveTo(overEditor);
    session->moveTo(overNothing);
    session->moveTo(overEditor);
    EXPECT_EQ(seen, std::vector<QString>{editorID});
    session->end(overEditor, DragOperation::copy);
}

TEST_F(DragOutTest, TheEndOfTheDragClearsChipsAndRecordsTheApplicationThatTookIt) {
    auto controller = makeController();
    const Item text = textItem(*controller, "hello");
    MemoryDragSession* session = beginDrag(*controller, {text.id});
    session->moveTo(overEditor);
    session->end(overEditor, DragOperation::copy);

    EXPECT_EQ(controller->dragSource(), nullptr);
    EXPECT_TRUE(controller->destinationRow().models().empty());
    EXPECT_TRUE(controller->view().itemsInFlight().isEmpty());
    EXPECT_EQ(controller->state(), TarvoState::resting);
    const std::vector<RecentDestination>& log = controller->destinations()->entries();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.front().kind, RecentDestination::Kind::app(editorID));
}

TEST_F(DragOutTest, CandidatesAreRecentFoldersThenEligiblePinnedApplicationsUpToTwelve) {
    auto controller = makeController();
    RulesStore& rules = controller->rulesStore();
    rules.pinApp(QStringLiteral("com.tarvoapp.Tarvo"));
    rules.pinApp(fileManagerID);
    for (int i = 0; i < 20; ++i)
        rules.pinApp(QStringLiteral("app%1").arg(i, 2, 10, QLatin1Char('0')));
    // The log's own two plus three of ours, newest first; only eight are looked at.
    const QString c = recentFolder(*controller, "C", 30);
    const QString b = recentFolder(*controller, "B", 20);
    const QString a = recentFolder(*controller, "A", 40);
    const Item item = textItem(*controller, "x");
    beginDrag(*controller, {item.id});

    const std::vector<RecentDestination>& candidates = controller->chipCandidates();
    ASSERT_EQ(candidates.size(), 12u);
    QStringList kinds;
    for (const RecentDestination& d : candidates) {
        if (const auto* f = d.kind.as<RecentDestination::Kind::Folder>())
            kinds.append(QFileInfo(f->path).fileName());
        else
            kinds.append(d.kind.as<RecentDestination::Kind::App>()->bundleID);
    }
    const qsizetype folders =
        std::count_if(candidates.begin(), candidates.end(), [](const auto& d) {
            return d.kind.template as<RecentDestination::Kind::Folder>() != nullptr;
        });
    EXPECT_EQ(kinds.mid(0, 3), (QStringList{"A", "C", "B"})) << kinds.join(',').toStdString();
    EXPECT_FALSE(kinds.contains("com.tarvoapp.Tarvo"));
    EXPECT_FALSE(kinds.contains(fileManagerID));
    EXPECT_EQ(kinds.at(folders), QStringLiteral("app00"));
    EXPECT_EQ(controller->activeChips().size(), 4u);
    EXPECT_EQ(controller->destinationRow().models().size(), 4u);
    EXPECT_EQ(controller->destinationRow().models().front().title, QStringLiteral("A"));
}

TEST_F(DragOutTest, TheProgramItselfAndTheFileManagerAreNeverChips) {
    EXPECT_TRUE(TarvoController::isChipEligible(editorID));
    EXPECT_FALSE(TarvoController::isChipEligible(fileManagerID));
    EXPECT_FALSE(TarvoController::isChipEligible(QStringLiteral("com.tarvoapp.Tarvo")));
}

TEST_F(DragOutTest, TheWheelTurnsPagesOfFourOnlyWithFiveCandidatesOrMore) {
    auto controller = makeController();
    // Beside the log's own Downloads and Desktop, four folders and an app.
    for (int i = 0; i < 4; ++i)
        recentFolder(*controller, QStringLiteral("Folder%1").arg(i), 10 + i);
    controller->rulesStore().pinApp(editorID);
    const Item item = textItem(*controller, "x");
    beginDrag(*controller, {item.id});
    const qsizetype count = qsizetype(controller->chipCandidates().size());
    ASSERT_GE(count, 5);
    ASSERT_LE(count, 7);
    const auto titles = [&controller] {
        QStringList list;
        for (const DestinationChipModel& m : controller->destinationRow().models())
            list.append(m.title);
        return list;
    };
    const QStringList first = titles();
    ASSERT_EQ(first.size(), 4);

    controller->tarvoViewDidScrollDestinations(controller->view(), true);
    EXPECT_EQ(titles().size(), count - 4);
    EXPECT_EQ(titles().last(), QStringLiteral("Mousepad"));
    controller->tarvoViewDidScrollDestinations(controller->view(), true);
    EXPECT_EQ(titles(), first);
    controller->tarvoViewDidScrollDestinations(controller->view(), false);
    EXPECT_EQ(titles().size(), count - 4);
}

TEST_F(DragOutTest, TheWheelDuringOurOwnDragTurnsPagesOnlyOverTheChips) {
    auto controller = makeController();
    for (int i = 0; i < 4; ++i)
        recentFolder(*controller, QStringLiteral("Folder%1").arg(i), 10 + i);
    const Item item = fileItem(*controller, "a.txt", "A");
    MemoryDragSession* session = beginDrag(*controller, {item.id});
    ASSERT_GE(controller->chipCandidates().size(), 5u);
    const QPointF chip = chipPoint(*controller, 0);
    session->scroll(overNothing, -1);
    EXPECT_EQ(controller->chipPage(), 0);
    session->scroll(chip, -1);
    EXPECT_EQ(controller->chipPage(), 1);
    session->scroll(chipPoint(*controller, 0), 1);
    EXPECT_EQ(controller->chipPage(), 0);
    session->end(overNothing, DragOperation::none);
}

TEST_F(DragOutTest, WithFourCandidatesScrollingDoesNothing) {
    auto controller = makeController();
    recentFolder(*controller, "One", 10);
    const Item item = textItem(*controller, "x");
    controller->dragMonitor(controller->monitor(), QPointF());
    // Applications fill up what the log's folders leave of four.
    for (std::size_t i = controller->chipCandidates().size(); i < 4; ++i)
        controller->rulesStore().pinApp(QStringLiteral("app%1").arg(i));
    controller->dragMonitorDragEnded(controller->monitor());
    beginDrag(*controller, {item.id});
    ASSERT_EQ(controller->chipCandidates().size(), 4u);
    controller->tarvoViewDidScrollDestinations(controller->view(), true);
    EXPECT_EQ(controller->chipPage(), 0);
}

// Drops onto chips with a pasteboard of file URLs, as the view hands them.
bool dropFiles(TarvoController& controller, const QStringList& paths, const QUuid& chip) {
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls.append(QUrl::fromLocalFile(path));
    data.setUrls(urls);
    return controller.tarvoView(controller.view(), MimePasteboard(data), chip);
}

TEST_F(DragOutTest, AFolderChipCopiesUnderAFreeNameOnAWorkerAndCanBeUndone) {
    auto controller = makeController();
    const QString folder = recentFolder(*controller, "Reports", 100);
    for (const char* taken : {"report.pdf", "report 2.pdf", "notes"})
        QFile(folder + "/" + taken).open(QIODevice::WriteOnly);
    const Item report = fileItem(*controller, "report.pdf", "%PDF-1.4 report");
    const Item notes = fileItem(*controller, "notes", "plain notes");
    beginDrag(*controller, {report.id});
    const RecentDestination chip = controller->chipCandidates().front();
    ASSERT_TRUE(chip.kind.as<RecentDestination::Kind::Folder>());

    EXPECT_TRUE(
        dropFiles(*controller, {stored(*controller, report), stored(*controller, notes)}, chip.id));
    EXPECT_EQ(controller->state(), TarvoState::resting);
    EXPECT_TRUE(controller->destinationRow().models().empty());
    waitUntil([&] { return controller->pendingChipCopies() == 0; });
    EXPECT_EQ(contents(folder + "/report 3.pdf"), "%PDF-1.4 report");
    EXPECT_EQ(contents(folder + "/notes 2"), "plain notes");
    EXPECT_EQ(contents(folder + "/report.pdf"), "");
    EXPECT_EQ(controller->view().notice(), L10n::sentTo("Reports"));
    EXPECT_EQ(m_preferences.dropCount(), 2);
    // No temporary file is left beside the copies.
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 5);

    controller->undoLastDrop();
    waitUntil([&] { return !QFile::exists(folder + "/notes 2"); });
    EXPECT_FALSE(QFile::exists(folder + "/notes 2"));
    EXPECT_TRUE(QFile::exists(folder + "/report 3.pdf"));
}

TEST_F(DragOutTest, TwoDropsOnOneFolderNeverWriteOverEachOther) {
    auto controller = makeController();
    const QString folder = recentFolder(*controller, "Shared", 100);
    const Item first = fileItem(*controller, "same.txt", "first");
    const QString other = m_dir.file("elsewhere/same.txt");
    QDir().mkpath(m_dir.file("elsewhere"));
    {
        QFile file(other);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("second");
    }
    controller->dragMonitor(controller->monitor(), QPointF());
    const QUuid chip = controller->chipCandidates().front().id;
    EXPECT_TRUE(dropFiles(*controller, {stored(*controller, first)}, chip));
    EXPECT_TRUE(dropFiles(*controller, {other}, chip));
    waitUntil([&] { return controller->pendingChipCopies() == 0; });
    EXPECT_EQ(contents(folder + "/same.txt"), "first");
    EXPECT_EQ(contents(folder + "/same 2.txt"), "second");
}

TEST_F(DragOutTest, ACopyThatFailsLeavesNothingAndSaysSo) {
    auto controller = makeController();
    const QString folder = recentFolder(*controller, "Locked", 100);
    controller->dragMonitor(controller->monitor(), QPointF());
    const QUuid chip = controller->chipCandidates().front().id;
    RecordingLogSink log;
    // A source that vanished before the copy: refused at once, so that the
    // drag's source never hears that it was taken.
    EXPECT_FALSE(dropFiles(*controller, {m_dir.file("gone.txt")}, chip));
    waitUntil([&] { return controller->pendingChipCopies() == 0; });
    EXPECT_TRUE(
        QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
    EXPECT_EQ(controller->view().notice(), L10n::chipFailed("Locked"));
    const std::vector<QString> lines = log.lines();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const QString& line) {
        return line.startsWith("core error: chip copy failed: ");
    }));
}

// A folder chip whose folder is gone, or is a file now, refuses the drop
// before the source hears it was taken, and writes nothing.
TEST_F(DragOutTest, AFolderChipWhoseFolderCannotTakeFilesRefusesTheDropAtOnce) {
    const std::vector<std::pair<const char*, std::function<void(const QString&)>>> cases{
        {"gone", [](const QString& folder) { ASSERT_TRUE(QDir(folder).removeRecursively()); }},
        {"a file now",
         [](const QString& folder) {
             ASSERT_TRUE(QDir(folder).removeRecursively());
             QFile file(folder);
             ASSERT_TRUE(file.open(QIODevice::WriteOnly));
         }},
    };
    for (const auto& [name, spoil] : cases) {
        SCOPED_TRACE(name);
        auto controller = makeController();
        const QString folder = recentFolder(*controller, "Target", 100);
        const Item item = fileItem(*controller, "kept.txt", name);
        controller->dragMonitor(controller->monitor(), QPointF());
        const QUuid chip = controller->chipCandidates().front().id;
        spoil(folder);
        EXPECT_FALSE(dropFiles(*controller, {stored(*controller, item)}, chip));
        EXPECT_EQ(controller->pendingChipCopies(), 0);
        EXPECT_FALSE(QFileInfo::exists(folder + "/kept.txt"));
        EXPECT_TRUE(controller->store().item(item.id).has_value());
        QFile::remove(folder);
    }
}

TEST_F(DragOutTest, ACopyThatFailsAfterTheDropWasTakenEndsAsARefusedDrop) {
    auto controller = makeController();
    const QString folder = recentFolder(*controller, "Inbox", 100);
    const QString letter = m_dir.write("Desktop/letter.txt", "dear");
    const Item own = fileItem(*controller, "own.txt", "own");
    // Every copy fails on the worker, after the view has had its answer.
    controller->setChipCopier([](const QList<QUrl>& files, const QString&) {
        ChipCopy::Outcome outcome;
        for (const QUrl& file : files)
            outcome.failures.append(file.toLocalFile() + ": disk full");
        return outcome;
    });
    controller->dragMonitor(controller->monitor(), QPointF());
    const QUuid chip = controller->chipCandidates().front().id;

    EXPECT_TRUE(dropFiles(*controller, {letter, stored(*controller, own)}, chip));
    waitUntil([&] { return controller->store().items().size() == 2; });
    // The other program's file is on the shelf, as after a drop the chip
    // refused; our own item is there once.
    ASSERT_EQ(controller->store().items().size(), 2u);
    const auto letters = std::count_if(
        controller->store().items().begin(), controller->store().items().end(),
        [](const Item& item) { return item.displayName == QStringLiteral("letter.txt"); });
    EXPECT_EQ(letters, 1);
    EXPECT_TRUE(
        QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
    EXPECT_EQ(m_preferences.dropCount(), 0);
}

TEST_F(DragOutTest, AnUnknownChipIsRefusedWithALogLine) {
    auto controller = makeController();
    const Item item = fileItem(*controller, "a.txt", "A");
    RecordingLogSink log;
    EXPECT_FALSE(dropFiles(*controller, {stored(*controller, item)}, QUuid::createUuid()));
    const std::vector<QString> lines = log.lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        QStringLiteral("core error: chip drop: unknown chip id")),
              lines.end());
    EXPECT_EQ(controller->view().notice(), std::nullopt);
}

TEST_F(DragOutTest, ADropWithoutFilesDeliversNothingAndSaysNothing) {
    auto controller = makeController();
    controller->dragMonitor(controller->monitor(), QPointF());
    const QUuid chip = controller->chipCandidates().front().id;
    EXPECT_FALSE(dropFiles(*controller, {}, chip));
    EXPECT_EQ(controller->state(), TarvoState::resting);
    EXPECT_EQ(controller->view().notice(), std::nullopt);
}

TEST_F(DragOutTest, ATerminalChipPastesQuotedPathsOnceTheTerminalIsActive) {
    auto controller = makeController();
    controller->rulesStore().pinApp(terminalID);
    m_shell.launcher.setRunning(terminalID);
    const Item a = fileItem(*controller, "my report.txt", "A");
    const Item b = fileItem(*controller, "b.txt", "B");
    controller->dragMonitor(controller->monitor(), QPointF());
    const auto chip = std::find_if(
        controller->chipCandidates().begin(), controller->chipCandidates().end(),
        [](const auto& d) { return d.kind.template as<RecentDestination::Kind::App>(); });
    ASSERT_NE(chip, controller->chipCandidates().end());

    EXPECT_TRUE(dropFiles(*controller, {stored(*controller, a), stored(*controller, b)}, chip->id));
    EXPECT_EQ(m_shell.clipboard.text(), TextConverter::quotedPath(stored(*controller, a)) + " " +
                                            TextConverter::quotedPath(stored(*controller, b)));
    EXPECT_TRUE(m_shell.clipboard.text()->contains("'"));
    EXPECT_EQ(m_shell.launcher.activated(), std::vector<QString>{terminalID});
    // Nothing is typed yet, so nothing says it was.
    EXPECT_NE(controller->view().notice(), L10n::pastedInto("XTerm"));
    EXPECT_TRUE(m_shell.pasteKeys.pastes().empty());
    m_shell.clock.advance(AutoPaster::settleDelay);
    // The terminal's own shortcut.
    EXPECT_EQ(m_shell.pasteKeys.pastes(), std::vector<bool>{true});
    EXPECT_EQ(controller->view().notice(), L10n::pastedInto("XTerm"));
    EXPECT_EQ(controller->destinations()->entries().front().kind,
              RecentDestination::Kind::app(terminalID));
}

TEST_F(DragOutTest, ATargetThatNeverBecomesActiveGetsNoPaste) {
    auto controller = makeController();
    controller->rulesStore().pinApp(editorID);
    m_shell.launcher.setRunning(editorID);
    m_shell.launcher.onActivate = nullptr;
    m_shell.workspace.setFrontmost(Workspace::Application{9, QStringLiteral("other")});
    const Item a = fileItem(*controller, "a.txt", "A");
    controller->dragMonitor(controller->monitor(), QPointF());
    const QUuid chip = controller->chipCandidates().back().id;
    EXPECT_TRUE(dropFiles(*controller, {stored(*controller, a)}, chip));
    m_shell.clock.advance(AutoPaster::attempts * AutoPaster::attemptInterval - 0.001);
    EXPECT_EQ(static_cast<AutoPaster*>(controller->autoPaster())->pending(), 1u);
    m_shell.clock.advance(1);
    EXPECT_TRUE(m_shell.pasteKeys.pastes().empty());
    EXPECT_EQ(static_cast<AutoPaster*>(controller->autoPaster())->pending(), 0u);
    // The path stays on the clipboard, and the notice says so.
    EXPECT_EQ(m_shell.clipboard.text(), TextConverter::quotedPath(stored(*controller, a)));
    EXPECT_EQ(controller->view().notice(), L10n::pathCopied("Mousepad"));
}

TEST_F(DragOutTest, APasteRefusedAtTheLastMomentLeavesThePathsOnTheClipboardAndSaysSo) {
    auto controller = makeController();
    controller->rulesStore().pinApp(editorID);
    m_shell.launcher.setRunning(editorID);
    // The keyboard is in some other window when the keys would go out.
    m_shell.pasteKeys.setFocus(0x700001);
    const Item a = fileItem(*controller, "a.txt", "A");
    controller->dragMonitor(controller->monitor(), QPointF());
    const QUuid chip = controller->chipCandidates().back().id;
    EXPECT_TRUE(dropFiles(*controller, {stored(*controller, a)}, chip));
    m_shell.clock.advance(1);
    EXPECT_TRUE(m_shell.pasteKeys.pastes().empty());
    EXPECT_EQ(m_shell.clipboard.text(), TextConverter::quotedPath(stored(*controller, a)));
    EXPECT_EQ(controller->view().notice(), L10n::pathCopied("Mousepad"));
}

TEST_F(DragOutTest, WithoutTypedPastesTheEditorGetsThePathAndAccessIsAskedForOnce) {
    auto controller = makeController();
    int asked = 0;
    controller->onNeedsAccessibilityForPaste = [&asked] { ++asked; };
    controller->rulesStore().pinApp(editorID);
    m_shell.pasteKeys.setAvailable(false);
    m_shell.launcher.setInstalled(editorID);
    const Item a = fileItem(*controller, "a.txt", "A");
    for (int i = 0; i < 2; ++i) {
        controller->dragMonitor(controller->monitor(), QPointF());
        const QUuid chip = controller->chipCandidates().back().id;
        EXPECT_TRUE(dropFiles(*controller, {stored(*controller, a)}, chip));
        EXPECT_EQ(controller->view().notice(), L10n::pathCopied("Mousepad"));
    }
    EXPECT_EQ(asked, 1);
    // Not running: started, with nothing handed over; the paths are to paste.
    ASSERT_EQ(m_shell.launcher.launched().size(), 2u);
    EXPECT_TRUE(m_shell.launcher.launched().front().files.isEmpty());
}

TEST_F(DragOutTest, ABrowserChipGetsTheFilesOnTheClipboardAndIsStartedWithThemWhenNotRunning) {
    auto controller = makeController();
    controller->rulesStore().pinApp(browserID);
    m_shell.launcher.setInstalled(browserID);
    const Item a = fileItem(*controller, "a.png", "A");
    controller->dragMonitor(controller->monitor(), QPointF());
    const QUuid chip = controller->chipCandidates().back().id;
    EXPECT_TRUE(dropFiles(*controller, {stored(*controller, a)}, chip));
    const QList<QUrl> urls{QUrl::fromLocalFile(stored(*controller, a))};
    EXPECT_EQ(m_shell.clipboard.urls(), urls);
    ASSERT_EQ(m_shell.launcher.launched().size(), 1u);
    EXPECT_EQ(m_shell.launcher.launched().front(), (MemoryAppLauncher::Launch{browserID, urls}));
    EXPECT_EQ(controller->view().notice(), L10n::handOff("Firefox ESR"));

    // Running: only brought forward.
    m_shell.launcher.setRunning(browserID);
    controller->dragMonitor(controller->monitor(), QPointF());
    EXPECT_TRUE(
        dropFiles(*controller, {stored(*controller, a)}, controller->chipCandidates().back().id));
    EXPECT_EQ(m_shell.launcher.launched().size(), 1u);
    EXPECT_EQ(m_shell.launcher.activated().back(), browserID);
}

TEST_F(DragOutTest, OneDropOnAnApplicationChipLooksAtTheWindowListOnce) {
    auto controller = makeController();
    controller->rulesStore().pinApp(browserID);
    controller->rulesStore().pinApp(editorID);
    m_shell.launcher.setRunning(browserID);
    m_shell.launcher.setRunning(editorID);
    const Item a = fileItem(*controller, "a.txt", "A");
    for (const QString& appID : {browserID, editorID}) {
        SCOPED_TRACE(appID.toStdString());
        controller->dragMonitor(controller->monitor(), QPointF());
        const auto chip =
            std::find_if(controller->chipCandidates().begin(), controller->chipCandidates().end(),
                         [&appID](const RecentDestination& d) {
                             const auto* app = d.kind.template as<RecentDestination::Kind::App>();
                             return app && app->bundleID == appID;
                         });
        ASSERT_NE(chip, controller->chipCandidates().end());
        const int before = m_shell.launcher.scans();
        EXPECT_TRUE(dropFiles(*controller, {stored(*controller, a)}, chip->id));
        m_shell.clock.advance(1);
        EXPECT_EQ(m_shell.launcher.scans() - before, 1);
    }
}

TEST_F(DragOutTest, AnApplicationNeitherRunningNorInstalledOrARefusedClipboardFails) {
    auto controller = makeController();
    controller->rulesStore().pinApp(QStringLiteral("not.installed"));
    controller->rulesStore().pinApp(browserID);
    const Item a = fileItem(*controller, "a.png", "A");
    controller->dragMonitor(controller->monitor(), QPointF());
    const auto& candidates = controller->chipCandidates();
    const QUuid missing = candidates.at(candidates.size() - 2).id;
    EXPECT_FALSE(dropFiles(*controller, {stored(*controller, a)}, missing));
    EXPECT_EQ(controller->view().notice(), L10n::chipFailed("not.installed"));

    m_shell.clipboard.setRefuses(true);
    controller->dragMonitor(controller->monitor(), QPointF());
    EXPECT_FALSE(
        dropFiles(*controller, {stored(*controller, a)}, controller->chipCandidates().back().id));
    EXPECT_EQ(controller->view().notice(), L10n::chipFailed("Firefox ESR"));
    EXPECT_TRUE(m_shell.launcher.activated().empty());
}

TEST_F(DragOutTest, ADragOutRefusedEverywhereThatEndsOverAChipDeliversTheFilesThere) {
    auto controller = makeController();
    const QString folder = recentFolder(*controller, "Inbox", 100);
    const Item file = fileItem(*controller, "kept.txt", "kept");
    const Item text = textItem(*controller, "no file");
    MemoryDragSession* session = beginDrag(*controller, {file.id, text.id});
    ASSERT_NE(session, nullptr);
    ASSERT_EQ(controller->destinationRow().models().front().title, QStringLiteral("Inbox"));
    const QPointF chip = chipPoint(*controller, 0);
    ASSERT_EQ(controller->view().destinationChip({chip.x(), chip.y()}),
              controller->chipCandidates().front().id);

    session->moveTo(chip, std::nullopt, DraggingContext::withinApplication);
    session->end(chip, DragOperation::none);
    waitUntil([&] { return controller->pendingChipCopies() == 0; });
    EXPECT_EQ(contents(folder + "/kept.txt"), "kept");
    EXPECT_EQ(QDir(folder).entryList(QDir::Files).size(), 1);
    EXPECT_EQ(controller->view().notice(), L10n::sentTo("Inbox"));
}

TEST_F(DragOutTest, ADragOutOfTextOnlyEndingOverAChipDeliversNothing) {
    auto controller = makeController();
    recentFolder(*controller, "Inbox", 100);
    const Item text = textItem(*controller, "no file");
    MemoryDragSession* session = beginDrag(*controller, {text.id});
    const QPointF chip = chipPoint(*controller, 0);
    session->end(chip, DragOperation::none);
    EXPECT_EQ(controller->pendingChipCopies(), 0);
    EXPECT_EQ(controller->view().notice(), std::nullopt);
}

TEST_F(DragOutTest, TextDroppedOnAnApplicationChipIsPastedOrHandedOverAsATextFile) {
    struct Case {
        QString app;
        QString name;
        QString text;
        bool pasted;
    };
    for (const Case& c :
         {Case{editorID, QStringLiteral("Mousepad"), QStringLiteral("hello there"), true},
          Case{browserID, QStringLiteral("Firefox ESR"), QStringLiteral("see you"), false}}) {
        SCOPED_TRACE(c.name.toStdString());
        auto controller = makeController();
        controller->rulesStore().pinApp(c.app);
        m_shell.launcher.setRunning(c.app);
        const Item text = textItem(*controller, c.text);
        MemoryDragSession* session = beginDrag(*controller, {text.id});
        ASSERT_NE(session, nullptr);
        const auto& active = controller->chipCandidates();
        const auto chip = std::find_if(active.begin(), active.end(), [&](const auto& d) {
            return d.kind == RecentDestination::Kind::app(c.app);
        });
        ASSERT_NE(chip, active.end());
        const std::size_t index = std::size_t(chip - active.begin());
        ASSERT_LT(index, 4u);
        session->end(chipPoint(*controller, index), DragOperation::none);
        if (c.pasted) {
            EXPECT_EQ(m_shell.clipboard.text(), c.text);
            // Said once the keys went out.
            m_shell.clock.advance(AutoPaster::settleDelay);
            EXPECT_EQ(m_shell.pasteKeys.pastes().size(), 1u);
            EXPECT_EQ(controller->view().notice(), L10n::pastedInto(c.name));
        } else {
            const QList<QUrl> urls = m_shell.clipboard.urls();
            ASSERT_EQ(urls.size(), 1);
            EXPECT_EQ(QFileInfo(urls.front().toLocalFile()).fileName(), c.text + ".txt");
            EXPECT_EQ(contents(urls.front().toLocalFile()), c.text.toUtf8());
            EXPECT_EQ(controller->view().notice(), L10n::handOff(c.name));
        }
        EXPECT_EQ(m_shell.launcher.activated().back(), c.app);
    }
}

TEST_F(DragOutTest, OwnItemsThatAChipRefusesAreReorderedOnTheStrip) {
    auto controller = makeController();
    recentFolder(*controller, "Inbox", 100);
    const Item a = textItem(*controller, "first");
    const Item b = textItem(*controller, "second");
    const Item c = textItem(*controller, "third");
    MemoryDragSession* session = beginDrag(*controller, {a.id});
    ASSERT_NE(session, nullptr);
    const QPointF chip = chipPoint(*controller, 0);
    const Point origin = controller->view().windowOrigin();
    const qsizetype index =
        controller->view().insertionIndex({chip.x() - origin.x, chip.y() - origin.y});
    const auto position = [&] {
        const std::deque<Item> items = controller->store().items();
        return qsizetype(std::find_if(items.begin(), items.end(),
                                      [&](const Item& item) { return item.id == a.id; }) -
                         items.begin());
    };
    ASSERT_NE(position(), index) << "the drop would not move the item";
    // Text on a folder chip: nothing to copy, so the chip takes nothing.
    session->end(chip, DragOperation::none);
    EXPECT_EQ(controller->pendingChipCopies(), 0);
    EXPECT_EQ(position(), index);
}

TEST_F(DragOutTest, TheWheelTurnsChipPagesOnlyBeyondTwoPoints) {
    auto controller = makeController();
    for (int i = 0; i < 4; ++i)
        recentFolder(*controller, QStringLiteral("Folder%1").arg(i), 10 + i);
    const Item item = fileItem(*controller, "a.txt", "A");
    controller->dragMonitor(controller->monitor(), QPointF());
    ASSERT_GE(controller->chipCandidates().size(), 5u);
    m_shell.clock.advance(1);
    const auto wheel = [&](int angle) {
        const QPointF at = controller->view().rect().center();
        QWheelEvent event(at, at, QPoint(), QPoint(0, angle), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(&controller->view(), &event);
    };
    // 12 eighths of a degree: a tenth of a notch, one point.
    wheel(-12);
    EXPECT_EQ(controller->chipPage(), 0);
    wheel(-120);
    EXPECT_EQ(controller->chipPage(), 1);
    controller->dragMonitorDragEnded(controller->monitor());

    // The same during our own drag, where the pointer is held.
    MemoryDragSession* session = beginDrag(*controller, {item.id});
    ASSERT_NE(session, nullptr);
    session->scroll(chipPoint(*controller, 0), -0.1);
    EXPECT_EQ(controller->chipPage(), 0);
    session->scroll(chipPoint(*controller, 0), -1);
    EXPECT_EQ(controller->chipPage(), 1);
    session->end(overNothing, DragOperation::none);
}

// The island grows for a wider chip page during a drag, and a narrower page
// after it leaves it as wide: it never shrinks under the pointer.
TEST_F(DragOutTest, DuringADragTheIslandNeverNarrowsWhenTheChipRowDoes) {
    auto controller = makeController();
    // Newest first: a page of short names, then one of long names.
    for (int i = 0; i < 4; ++i) {
        recentFolder(*controller, QStringLiteral("A folder with a rather long name %1").arg(i),
                     10 + i);
        recentFolder(*controller, QStringLiteral("F%1").arg(i), 20 + i);
    }
    controller->dragMonitor(controller->monitor(), QPointF());
    ASSERT_EQ(controller->state(), TarvoState::dragging);
    ASSERT_EQ(controller->chipPage(), 0);
    const double opened = controller->view().islandWidth();
    const double narrowRow = controller->view().destinationRequiredWidth();
    // Something that lays the island out again while the drag goes on.
    int landed = 0;
    const auto relayout = [&] {
        const QByteArray name = "landed" + QByteArray::number(++landed) + ".txt";
        controller->itemsArrived({fileItem(*controller, name.constData(), name)});
    };

    controller->tarvoViewDidScrollDestinations(controller->view(), true);
    relayout();
    const double wideRow = controller->view().destinationRequiredWidth();
    ASSERT_GT(wideRow, opened);
    const double widest = controller->view().islandWidth();
    EXPECT_GE(widest, wideRow);

    controller->tarvoViewDidScrollDestinations(controller->view(), false);
    relayout();
    ASSERT_EQ(controller->view().destinationRequiredWidth(), narrowRow);
    EXPECT_EQ(controller->view().islandWidth(), widest);
    controller->dragMonitorDragEnded(controller->monitor());
}

TEST_F(DragOutTest, ControllerGoneWhileACopyRunsIsSafe) {
    auto controller = makeController();
    recentFolder(*controller, "Inbox", 100);
    const Item file = fileItem(*controller, "kept.txt", QByteArray(1 << 20, 'x'));
    controller->dragMonitor(controller->monitor(), QPointF());
    dropFiles(*controller, {stored(*controller, file)}, controller->chipCandidates().front().id);
    controller.reset();
    QCoreApplication::processEvents();
    EXPECT_EQ(contents(m_dir.file("Inbox/kept.txt")).size(), 1 << 20);
}

} // namespace
} // namespace tarvo::test

namespace tarvo::test {
namespace {

TEST_F(DragOutTest, ANoticeGoesAfterTwoAndAHalfSecondsAndOneReplacingItKeepsItsOwnTime) {
    auto controller = makeController();
    controller->rulesStore().pinApp(browserID);
    controller->rulesStore().pinApp(editorID);
    m_shell.launcher.setRunning(browserID);
    m_shell.launcher.setRunning(editorID);
    // No typed paste: the editor's chip says the path was copied.
    m_shell.pasteKeys.setAvailable(false);
    const Item a = fileItem(*controller, "a.txt", "A");
    const auto dropOn = [&](const QString& appID) {
        controller->dragMonitor(controller->monitor(), QPointF());
        const auto chip =
            std::find_if(controller->chipCandidates().begin(), controller->chipCandidates().end(),
                         [&appID](const RecentDestination& d) {
                             const auto* app = d.kind.template as<RecentDestination::Kind::App>();
                             return app && app->bundleID == appID;
                         });
        ASSERT_NE(chip, controller->chipCandidates().end());
        EXPECT_TRUE(dropFiles(*controller, {stored(*controller, a)}, chip->id));
    };

    dropOn(browserID);
    const QString first = L10n::handOff("Firefox ESR");
    EXPECT_EQ(controller->view().notice(), first);
    m_shell.clock.advance(2.49);
    EXPECT_EQ(controller->view().notice(), first);
    m_shell.clock.advance(0.02);
    EXPECT_EQ(controller->view().notice(), std::nullopt);

    // Replaced a second in: the first notice's time does not clear the second.
    dropOn(browserID);
    m_shell.clock.advance(1.0);
    dropOn(editorID);
    const QString second = L10n::pathCopied("Mousepad");
    EXPECT_EQ(controller->view().notice(), second);
    m_shell.clock.advance(1.6);
    EXPECT_EQ(controller->view().notice(), second);
    m_shell.clock.advance(0.91);
    EXPECT_EQ(controller->view().notice(), std::nullopt);
}

} // namespace
} // namespace tarvo::test
