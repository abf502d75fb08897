// What the controller does with the shelf's intents: copies read back from
// the clipboard, opening and showing files, previews, removal, the menu.
#include "ShellFixture.h"

#include "TarvoCore/L10n.h"
#include "TarvoDrag/DropReceiver.h"
#include "TarvoPlatform/QtClipboard.h"
#include "TarvoPlatform/memory/MemoryPasteboard.h"
#include "PreviewWindow.h"
#include "ShelfAccessibility.h"
#include "TarvoPanel.h"
#include "TarvoView.h"

#include "support/ItemFactory.h"

#include <QAction>
#include <QClipboard>
#include <QDeadlineTimer>
#include <QFile>
#include <QGuiApplication>
#include <QMenu>
#include <QMimeData>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>

namespace tarvo::test {
namespace {

class ControllerIntentsTest : public ::testing::Test, protected ControllerFixture {
protected:
    void SetUp() override {
        m_shell.realClipboard = &m_qtClipboard;
        controller = makeController();
        controller->start();
        clipboard()->setText(QStringLiteral("before"));
    }

    static QClipboard* clipboard() { return QGuiApplication::clipboard(); }
    TarvoView& view() { return controller->view(); }
    Item file(const QString& name, const QByteArray& bytes = "bytes") {
        return addFileItem(controller->store(), name, bytes, false, m_shell.clock.now());
    }
    Item text(const QString& words) {
        return addTextItem(controller->store(), words, m_shell.clock.now());
    }
    QString stored(const Item& item) {
        return item.payloadURL(controller->store().root()).value_or(QString());
    }
    static QStringList titles(const QMenu& menu) {
        QStringList entries;
        for (const QAction* action : menu.actions())
            entries << (action->isSeparator() ? QStringLiteral("-") : action->text());
        return entries;
    }

    bool waitForCopies() {
        QDeadlineTimer deadline(20000);
        while (controller->receiver().copiesInFlight() > 0 && !deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            QThread::msleep(2);
        }
        QCoreApplication::processEvents();
        return controller->receiver().copiesInFlight() == 0;
    }
    bool dropFile(const QString& path) {
        MemoryPasteboard pasteboard;
        pasteboard.setURLs({QUrl::fromLocalFile(path)});
        return controller->tarvoView(view(), pasteboard, QPointF(10, 10));
    }

    QtClipboard m_qtClipboard;
    std::unique_ptr<TarvoController> controller;
};

TEST_F(ControllerIntentsTest, ADroppedFileLandsAtOnceAndCompletesOffTheMainThread) {
    const QString path = m_dir.write("source/photo notes.txt", QByteArray(200000, 'p'));
    m_shell.workspace.setFrontmost(Workspace::Application{42, QStringLiteral("org.example.Files")});
    ASSERT_TRUE(dropFile(path));
    ASSERT_EQ(controller->store().items().size(), 1u);
    const Item placeholder = controller->store().items().front();
    EXPECT_TRUE(placeholder.state.is<ItemState::Receiving>());
    EXPECT_EQ(placeholder.sourceBundleID, QStringLiteral("org.example.Files"));
    EXPECT_EQ(controller->state(), TarvoState::resting);
    ASSERT_EQ(view().items().size(), 1u);
    EXPECT_TRUE(view().items().front().state.is<ItemState::Receiving>());

    ASSERT_TRUE(waitForCopies());
    EXPECT_TRUE(controller->store().items().front().state.isReady());
    EXPECT_TRUE(view().items().front().state.isReady());

    // The same file again: the shelf shows the item it already holds.
    m_shell.workspace.setFrontmost(std::nullopt);
    std::vector<std::vector<Item>> landed;
    controller->onItemsLanded = [&](const std::vector<Item>& items) { landed.push_back(items); };
    ASSERT_TRUE(dropFile(path));
    EXPECT_FALSE(controller->store().items().front().sourceBundleID);
    ASSERT_TRUE(waitForCopies());
    ASSERT_EQ(controller->store().items().size(), 1u);
    EXPECT_EQ(controller->store().items().front().id, placeholder.id);
    EXPECT_EQ(view().selection(), std::vector<QUuid>{placeholder.id});
    ASSERT_EQ(landed.size(), 2u);
    EXPECT_EQ(landed.back().front().id, placeholder.id);
}

TEST_F(ControllerIntentsTest, ContentAlreadyThereLandsAsANewDropDoesAndNoApplicationIsNoted) {
    struct Heard final : Announcer {
        void announce(QWidget&, const QString& text) override { texts << text; }
        QStringList texts;
    } heard;
    view().setAnnouncer(&heard);
    m_preferences.setPlaySoundOnDrop(true);
    std::vector<QString> seen;
    controller->onSeenNewApp = [&](const QString& id) { seen.push_back(id); };
    MemoryPasteboard words;
    words.setString(QStringLiteral("public.utf8-plain-text"), QStringLiteral("same words"));

    // No application in front: the item has none, and none is noted.
    ASSERT_TRUE(controller->tarvoView(view(), words, QPointF(10, 10)));
    const Item first = controller->store().items().front();
    EXPECT_FALSE(first.sourceBundleID);
    EXPECT_TRUE(seen.empty());
    EXPECT_TRUE(controller->rulesStore().categories().seen.isEmpty());

    controller->tarvoViewDidRequestEscape(view());
    ASSERT_EQ(controller->state(), TarvoState::hidden);
    heard.texts.clear();
    m_shell.workspace.setFrontmost(Workspace::Application{7, QStringLiteral("org.example.Notes")});
    ASSERT_TRUE(controller->tarvoView(view(), words, QPointF(10, 10)));
    // Nothing new is stored; the shelf opens, sounds and announces the item
    // it already holds, as for a new one.
    ASSERT_EQ(controller->store().items().size(), 1u);
    EXPECT_EQ(controller->store().items().front().id, first.id);
    EXPECT_EQ(controller->state(), TarvoState::resting);
    EXPECT_TRUE(controller->panel().isPanelVisible());
    ASSERT_NE(m_shell.sound, nullptr);
    EXPECT_EQ(std::count(m_shell.sound->events.begin(), m_shell.sound->events.end(), "play"), 2);
    EXPECT_EQ(heard.texts.filter(QStringLiteral("same words")).size(), 1)
        << heard.texts.join(" | ").toStdString();
    m_shell.clock.advance(2.5);
    EXPECT_EQ(controller->state(), TarvoState::tab) << "it settles as after any drop";
}

TEST_F(ControllerIntentsTest, ARuleIsAskedForOnlyWhereSomeoneListens) {
    const Item note = text(QStringLiteral("from an app"));
    controller->tarvoViewDidRequestRuleFor(view(), note.id); // no listener: nothing
    std::vector<QUuid> asked;
    controller->onRequestRuleForApp = [&](const QUuid& id) { asked.push_back(id); };
    controller->tarvoViewDidRequestRuleFor(view(), note.id);
    EXPECT_EQ(asked, std::vector<QUuid>{note.id});
}

TEST_F(ControllerIntentsTest, CopiedFilesReachTheClipboardAsFileManagersPasteThem) {
    const Item report = file(QStringLiteral("report one.txt"));
    const Item note = text(QStringLiteral("a note"));
    const Item photo = file(QStringLiteral("photo.png"), "other bytes");
    controller->tarvoViewDidRequestCopyOf(view(), {report.id, note.id, photo.id}, false);

    const QMimeData* data = clipboard()->mimeData();
    ASSERT_TRUE(data);
    const QString first = QUrl::fromLocalFile(stored(report)).toEncoded();
    const QString second = QUrl::fromLocalFile(stored(photo)).toEncoded();
    EXPECT_EQ(QString::fromUtf8(data->data("text/uri-list")), first + "\r\n" + second + "\r\n");
    EXPECT_EQ(QString::fromUtf8(data->data("x-special/gnome-copied-files")),
              "copy\n" + first + "\n" + second);
    EXPECT_EQ(data->text(), stored(report) + "\n" + stored(photo));
    EXPECT_EQ(data->urls().size(), 2);
}

TEST_F(ControllerIntentsTest, CopiesOfTextsAndPathsFollowWhatTheItemsHold) {
    const Item one = text(QStringLiteral("first words"));
    const Item two = text(QStringLiteral("second words"));
    const Item spaced = file(QStringLiteral("it's here.txt"));
    struct Case {
        const char* name;
        std::vector<QUuid> ids;
        bool asPath;
        QString expected;
    };
    const Case cases[] = {
        {"two texts: their names on two lines",
         {one.id, two.id},
         false,
         "first words\nsecond words"},
        {"a text as path: nothing", {one.id}, true, ""},
        {"a file as path: shell-quoted",
         {spaced.id, one.id},
         true,
         "'" + stored(spaced).replace("'", "'\\''") + "'"},
    };
    for (const Case& c : cases) {
        clipboard()->setText(QStringLiteral("before"));
        controller->tarvoViewDidRequestCopyOf(view(), c.ids, c.asPath);
        const QMimeData* data = clipboard()->mimeData();
        ASSERT_TRUE(data) << c.name;
        EXPECT_EQ(data->text(), c.expected) << c.name;
        EXPECT_FALSE(data->hasUrls()) << c.name;
    }

    clipboard()->setText(QStringLiteral("untouched"));
    controller->tarvoViewDidRequestCopyOf(view(), {QUuid::createUuid()}, false);
    controller->tarvoViewDidRequestCopyOf(view(), {}, true);
    EXPECT_EQ(clipboard()->text(), QStringLiteral("untouched"));
}

TEST_F(ControllerIntentsTest, RetryCopiesAFailedDropAgainOrSaysTheOriginalIsGone) {
    const QString source = m_dir.write("Documents/plan.txt", "the plan");
    Item plan = file(QStringLiteral("plan.txt"), "");
    QFile::remove(stored(plan)); // what the failed copy left: nothing
    plan.sourceURL = QUrl::fromLocalFile(source);
    plan.state = ItemState::failed(L10n::itemFailed());
    controller->store().update(plan);
    Item lost = file(QStringLiteral("lost.txt"), "");
    lost.sourceURL = QUrl::fromLocalFile(m_dir.file("Documents/lost.txt"));
    lost.state = ItemState::failed(L10n::itemFailed());
    controller->store().update(lost);
    controller->openTarvo();

    controller->tarvoViewDidRequestRetryOf(view(), plan.id);
    EXPECT_TRUE(controller->store().item(plan.id)->state.is<ItemState::Receiving>());
    EXPECT_FALSE(view().notice());
    ASSERT_TRUE(waitForCopies());
    EXPECT_TRUE(controller->store().item(plan.id)->state.isReady());
    const auto shown = std::find_if(view().items().begin(), view().items().end(),
                                    [&](const Item& item) { return item.id == plan.id; });
    ASSERT_NE(shown, view().items().end());
    EXPECT_TRUE(shown->state.isReady()) << "the shelf shows the item ready";
    QFile copy(stored(plan));
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.readAll(), QByteArray("the plan"));

    controller->tarvoViewDidRequestRetryOf(view(), lost.id);
    EXPECT_EQ(controller->store().item(lost.id)->state, ItemState::failed(L10n::itemSourceGone()));
    EXPECT_EQ(view().notice(), L10n::itemSourceGone());
}

TEST_F(ControllerIntentsTest, OpenAndRevealUseTheStoredCopyUnlessTheSourceIsStillThere) {
    const QString source = m_dir.write("Documents/draft.txt", "draft");
    Item draft = file(QStringLiteral("draft.txt"), "draft");
    draft.sourceURL = QUrl::fromLocalFile(source);
    controller->store().update(draft);
    const Item note = text(QStringLiteral("no file"));

    controller->tarvoViewDidActivate(view(), draft.id);
    controller->tarvoViewDidActivate(view(), note.id);
    controller->tarvoViewDidActivate(view(), QUuid::createUuid());
    EXPECT_EQ(m_shell.fileViewer.opened, QStringList({stored(draft)}));

    controller->tarvoViewDidRequestRevealOf(view(), draft.id);
    ASSERT_TRUE(QFile::rename(source, m_dir.file("Documents/moved.txt")));
    controller->tarvoViewDidRequestRevealOf(view(), draft.id);
    controller->tarvoViewDidRequestRevealOf(view(), note.id);
    EXPECT_EQ(m_shell.fileViewer.revealed, QStringList({source, stored(draft)}));
}

TEST_F(ControllerIntentsTest, QuickLookPreviewsFilesOnlyAndSpaceAgainClosesIt) {
    const Item note = text(QStringLiteral("only words"));
    controller->tarvoViewDidRequestQuickLookOf(view(), {note.id, QUuid::createUuid()});
    EXPECT_TRUE(controller->quickLookURLs().empty());
    EXPECT_FALSE(controller->previewWindow());

    const Item notes = file(QStringLiteral("notes.txt"), "line one\nline two");
    const Item blob = file(QStringLiteral("data.bin"), QByteArray(64, '\0'));
    controller->tarvoViewDidRequestQuickLookOf(view(), {notes.id, note.id, blob.id});
    ASSERT_EQ(controller->quickLookURLs().size(), 2u);
    EXPECT_EQ(controller->quickLookURLs()[0], QUrl::fromLocalFile(stored(notes)));
    PreviewWindow* preview = controller->previewWindow();
    ASSERT_TRUE(preview);
    EXPECT_TRUE(preview->isVisible());
    EXPECT_EQ(preview->kind(), PreviewWindow::Kind::text);
    EXPECT_EQ(preview->shownText(), QStringLiteral("line one\nline two"));
    preview->step(1);
    EXPECT_EQ(preview->kind(), PreviewWindow::Kind::summary);
    EXPECT_TRUE(preview->shownText().startsWith(QStringLiteral("data.bin\n")));
    preview->step(1);
    EXPECT_EQ(preview->index(), 1u) << "stops at the end";

    controller->tarvoViewDidRequestQuickLookOf(view(), {notes.id, blob.id});
    EXPECT_FALSE(preview->isVisible()) << "asked again for the same files: a toggle";
}

TEST_F(ControllerIntentsTest, RemovingTheLastItemRetractsTheShelf) {
    const Item one = text(QStringLiteral("one"));
    const Item two = text(QStringLiteral("two"));
    controller->openTarvo();
    controller->tarvoViewDidRequestRemovalOf(view(), {one.id});
    EXPECT_EQ(controller->state(), TarvoState::resting);
    EXPECT_EQ(controller->store().items().size(), 1u);
    controller->tarvoViewDidRequestRemovalOf(view(), {two.id, QUuid::createUuid()});
    EXPECT_TRUE(controller->store().items().empty());
    m_shell.clock.advance(1);
    EXPECT_EQ(controller->state(), TarvoState::hidden);
}

TEST_F(ControllerIntentsTest, TheBackgroundMenuOfAnEmptyShelfHoldsOnlyWhatAlwaysApplies) {
    clipboard()->clear();
    std::unique_ptr<QMenu> menu = controller->tarvoViewContextMenuFor(view(), std::nullopt);
    ASSERT_TRUE(menu);
    EXPECT_EQ(titles(*menu),
              QStringList({L10n::ctxHide(), "-", L10n::menuSettings(), L10n::menuQuit()}));

    clipboard()->setText(QStringLiteral("pasted words"));
    menu = controller->tarvoViewContextMenuFor(view(), std::nullopt);
    EXPECT_EQ(titles(*menu), QStringList({L10n::ctxPaste(), L10n::ctxHide(), "-",
                                          L10n::menuSettings(), L10n::menuQuit()}));
    // Paste from the menu lands the clipboard's text as an item.
    menu->actions().first()->trigger();
    ASSERT_EQ(controller->store().items().size(), 1u);
    EXPECT_EQ(controller->store().items().front().payload,
              ItemPayload::text(QStringLiteral("pasted words")));
    EXPECT_FALSE(controller->store().items().front().sourceBundleID);
    EXPECT_TRUE(controller->engagedThisSession());
}

TEST_F(ControllerIntentsTest, AnItemsMenuActsOnThatItem) {
    const Item report = file(QStringLiteral("report.txt"));
    const Item note = text(QStringLiteral("note"));
    int settingsAsked = 0;
    controller->onRequestSettings = [&] { ++settingsAsked; };
    clipboard()->clear();
    std::unique_ptr<QMenu> menu = controller->tarvoViewContextMenuFor(view(), report.id);
    ASSERT_TRUE(menu);
    EXPECT_EQ(titles(*menu),
              QStringList({L10n::ctxOpen(), L10n::ctxReveal(), L10n::ctxCopy(),
                           L10n::ctxRemove(QStringLiteral("report.txt")), "-", L10n::ctxClearAll(),
                           L10n::ctxHide(), "-", L10n::menuSettings(), L10n::menuQuit()}));
    const QList<QAction*> actions = menu->actions();
    actions[0]->trigger();
    actions[1]->trigger();
    actions[2]->trigger();
    EXPECT_EQ(m_shell.fileViewer.opened, QStringList({stored(report)}));
    EXPECT_EQ(m_shell.fileViewer.revealed, QStringList({stored(report)}));
    EXPECT_EQ(clipboard()->mimeData()->urls(), QList<QUrl>({QUrl::fromLocalFile(stored(report))}));
    actions[8]->trigger();
    EXPECT_EQ(settingsAsked, 1);
    actions[3]->trigger();
    EXPECT_FALSE(controller->store().item(report.id));
    EXPECT_TRUE(controller->store().item(note.id));

    // An identifier no longer on the shelf gives the background menu.
    clipboard()->clear();
    menu = controller->tarvoViewContextMenuFor(view(), report.id);
    EXPECT_EQ(titles(*menu).first(), L10n::ctxClearAll());
}

TEST_F(ControllerIntentsTest, EscapeClearsTheNoticeDropsFocusAndHides) {
    controller->openTarvoForKeyboard();
    view().setNotice(QStringLiteral("Copied"));
    controller->tarvoViewDidRequestEscape(view());
    EXPECT_FALSE(view().notice());
    EXPECT_FALSE(controller->panel().wantsKeyboardFocus());
    EXPECT_EQ(controller->state(), TarvoState::hidden);
}

TEST_F(ControllerIntentsTest, ClickingTheNoticeClearsIt) {
    view().setNotice(QStringLiteral("Removed 3 items"));
    controller->tarvoViewDidClickNotice(view());
    EXPECT_FALSE(view().notice());
}

TEST_F(ControllerIntentsTest, UndoWhileHiddenOpensTheShelfToShowItsNotice) {
    ASSERT_EQ(controller->state(), TarvoState::hidden);
    controller->tarvoViewDidRequestUndo(view());
    EXPECT_NE(controller->state(), TarvoState::hidden);
    EXPECT_TRUE(controller->panel().isPanelVisible());
    EXPECT_TRUE(view().notice());
}

TEST_F(ControllerIntentsTest, LeavingTheIslandSettlesOnlyARestingShelfWithItems) {
    controller->openTarvo();
    controller->tarvoViewIslandHoverChanged(view(), false);
    m_shell.clock.advance(0.4);
    EXPECT_EQ(controller->state(), TarvoState::resting) << "empty: nothing scheduled";

    text(QStringLiteral("kept"));
    controller->refresh(false);
    controller->tarvoViewIslandHoverChanged(view(), false);
    m_shell.clock.advance(0.36);
    EXPECT_EQ(controller->state(), TarvoState::tab);

    controller->tarvoViewDidClickBareIsland(view());
    EXPECT_EQ(controller->state(), TarvoState::tab) << "a bare click in the tab does nothing";

    // While an item is dragged out of the shelf, leaving schedules nothing and
    // a bare click does nothing.
    const Item dragged = text(QStringLiteral("dragged"));
    controller->openTarvo();
    controller->tarvoView(view(), std::vector<QUuid>{dragged.id}, QPointF(10, 10));
    ASSERT_TRUE(controller->dragSource());
    ASSERT_EQ(controller->state(), TarvoState::dragging);
    controller->tarvoViewIslandHoverChanged(view(), false);
    controller->tarvoViewDidClickBareIsland(view());
    m_shell.clock.advance(0.4);
    EXPECT_EQ(controller->state(), TarvoState::dragging);
}

TEST_F(ControllerIntentsTest, PinningTogglesAndSelectionIsKept) {
    const Item one = text(QStringLiteral("one"));
    controller->tarvoViewDidTogglePinOf(view(), one.id);
    EXPECT_TRUE(controller->store().item(one.id)->pinned);
    controller->tarvoViewDidTogglePinOf(view(), one.id);
    EXPECT_FALSE(controller->store().item(one.id)->pinned);
    controller->tarvoViewSelectionDidChange(view(), {one.id, one.id});
    EXPECT_EQ(controller->store().selection(), QSet<QUuid>({one.id}));
}

} // namespace
} // namespace tarvo::test
