// Drags out of the shelf under Xvfb with a window manager: this process is
// the shelf, with the real X11 backends and the whole delivery road, and the
// destinations are small programs of their own whose window classes name
// applications of known categories. Run by run-dragout.sh, which starts and
// stops the display.
#include "TarvoConvert/ConversionEngine.h"
#include "TarvoConvert/TextConverter.h"
#include "TarvoCore/ContentHash.h"
#include "TarvoCore/DefaultRules.h"
#include "TarvoCore/ItemStore.h"
#include "TarvoCore/Preferences.h"
#include "TarvoCore/RuleEngine.h"
#include "TarvoCore/UndoLog.h"
#include "TarvoCore/UserDefaults.h"
#include "TarvoDrag/DeliveryCoordinator.h"
#include "TarvoDrag/DestinationResolver.h"
#include "TarvoDrag/DragSource.h"
#include "TarvoDrag/DragSourceDelegate.h"
#include "TarvoPlatform/ApplicationDirectory.h"
#include "TarvoPlatform/SystemClock.h"
#include "TarvoPlatform/TypeMapping.h"
#include "TarvoPlatform/memory/MemoryAccessibility.h"
#include "TarvoPlatform/x11/X11Connection.h"
#include "TarvoPlatform/x11/X11DragSession.h"
#include "TarvoPlatform/x11/X11EventMonitors.h"
#include "TarvoPlatform/x11/X11InputState.h"
#include "TarvoPlatform/x11/X11Reply.h"
#include "TarvoPlatform/x11/X11WindowList.h"
#include "TarvoPlatform/x11/X11Workspace.h"
#include "TarvoPlatform/x11/XdndData.h"

#include "DragOutWorld.h"

#include "support/RecordingLogSink.h"
#include "support/TempDir.h"
#include "support/X11TestTools.h"

#include <gtest/gtest.h>

#include <xcb/xfixes.h>

#include <QCryptographicHash>
#include <QDir>
#include <QDragEnterEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QRandomGenerator>
#include <QScreen>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <algorithm>
#include <functional>
#include <iostream>

using namespace tarvo;

QT_BEGIN_NAMESPACE
// Failures show texts as texts.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

namespace {

using tarvo::test::Delegate;
using tarvo::test::Destination;
using tarvo::test::pump;
using tarvo::test::screenFrames;
using tarvo::test::waitFor;
using tarvo::test::XTestHand;

// The shelf's own window: Qt marks it XdndAware, yet a drag of ours must
// never reach it through XDND.
class ShelfWindow final : public QWidget {
public:
    ShelfWindow() { setAcceptDrops(true); }
    int dragEnters = 0;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override {
        ++dragEnters;
        event->acceptProposedAction();
    }
};

// Stands in for the shelf's handling of drags over its own windows.
struct LocalTarget final : LocalDropTarget {
    DragOperation draggingUpdated(const LocalDrag& drag) override {
        ++updates;
        offered = drag.offered;
        marker = dynamic_cast<TarvoDragSourceMarker*>(&drag.source);
        return DragOperation::copy;
    }
    void draggingExited() override { ++exits; }
    DragOperation performDrop(const LocalDrag&) override {
        ++drops;
        return DragOperation::move;
    }
    int updates = 0;
    int exits = 0;
    int drops = 0;
    DragOperationMask offered = 0;
    TarvoDragSourceMarker* marker = nullptr;
};

// The destinations, started once for the whole suite.
struct Desk {
    test::TempDir dir;
    Destination browser;
    Destination terminal;
    Destination viewer;
    Destination saver;
    // A browser that reads what it is offered while the drag hovers over it
    // and nothing more at the drop.
    Destination hoverReader;
    // A file manager that takes only a list of files, as PCManFM does.
    Destination files;
    std::unique_ptr<ShelfWindow> shelf;
    QPoint browserAt, terminalAt, viewerAt, saverAt, hoverReaderAt, filesAt, shelfAt;
    // Where only the root window is.
    const QPoint nowhere{1230, 760};

    bool start() {
        dir.write("applications/firefox.desktop",
                  "[Desktop Entry]\nType=Application\nName=Firefox\nExec=firefox\n");
        dir.write("applications/xterm.desktop",
                  "[Desktop Entry]\nType=Application\nName=XTerm\nExec=xterm\n");
        dir.write("applications/thunar.desktop",
                  "[Desktop Entry]\nType=Application\nName=Thunar\nExec=thunar\n");
        dir.write("applications/pcmanfm.desktop",
                  "[Desktop Entry]\nType=Application\nName=PCManFM\nExec=pcmanfm\n");
        QDir().mkpath(dir.file("Saved"));
        const QString target = QString::fromLocal8Bit(qgetenv("TARVO_DRAGOUT_TARGET"));
        const QString saveTarget = QString::fromLocal8Bit(qgetenv("TARVO_DRAGOUT_SAVE_TARGET"));
        browser.start(target, {"--class", "firefox", "--geometry", "40,40,340,280"});
        terminal.start(target, {"--class", "xterm", "--geometry", "440,40,340,280"});
        viewer.start(target, {"--class", "imageviewer", "--geometry", "840,40,340,280", "--take",
                              "image/png"});
        saver.start(saveTarget, {"--class", "thunar", "--geometry", "40,420,340,280", "--folder",
                                 dir.file("Saved")});
        hoverReader.start(target, {"--class", "firefox", "--geometry", "440,420,340,280",
                                   "--read-while-hovering"});
        files.start(target, {"--class", "pcmanfm", "--geometry", "560,715,200,70", "--take",
                             "text/uri-list"});
        shelf = std::make_unique<ShelfWindow>();
        shelf->setWindowTitle("shelf");
        shelf->setGeometry(860, 480, 300, 200);
        shelf->show();
        const auto b = browser.ready(), t = terminal.ready(), v = viewer.ready(), s = saver.ready(),
                   h = hoverReader.ready(), f = files.ready();
        if (!b || !t || !v || !s || !h || !f)
            return false;
        filesAt = *f;
        hoverReaderAt = *h;
        browserAt = *b;
        terminalAt = *t;
        viewerAt = *v;
        saverAt = *s;
        pump(400);
        shelfAt = shelf->mapToGlobal(shelf->rect().center()) * shelf->devicePixelRatio();
        return true;
    }
    void forget() {
        for (Destination* d : {&browser, &terminal, &viewer, &saver, &hoverReader, &files})
            d->forget();
    }
};

Desk* desk = nullptr;

Rule imageRule(std::optional<QString> rename) {
    Rule rule;
    rule.id = QUuid::createUuid();
    rule.sourceType = SourceType::images;
    rule.destination = tarvo::Destination::category(AppCategory::browser);
    rule.deliver = Delivery::image({ImageFormat::jpeg, 2000, 0.85, true});
    rule.rename = std::move(rename);
    rule.createdAt = Date::fromSecondsSince1970(1700000000);
    return rule;
}

class DragOutX11Test : public test::DragOutWorld {
protected:
    static void SetUpTestSuite() {
        desk = new Desk;
        if (!desk->start()) {
            delete desk;
            desk = nullptr;
        }
    }
    static void TearDownTestSuite() {
        delete desk;
        desk = nullptr;
    }

    void SetUp() override {
        ASSERT_TRUE(desk) << "the destinations did not start";
        build({desk->dir.file("applications")});
        desk->forget();
        m_hand.moveTo(desk->nowhere);
        pump(100);
    }

    void begin(std::vector<Item> items) { DragOutWorld::begin(std::move(items), desk->shelfAt); }
};

QStringList enterTypes(const QString& line) {
    // "enter ACTION TYPE..."
    return line.split(u' ').mid(2);
}

TEST_F(DragOutX11Test, EachDestinationIsOfferedItsOwnOrderInOneDrag) {
    const Item item = photo();
    begin({item});
    m_hand.glideTo(desk->browserAt);
    const std::optional<QString> atBrowser = desk->browser.waitForLine("enter");
    m_hand.glideTo(desk->terminalAt);
    const std::optional<QString> atTerminal = desk->terminal.waitForLine("enter");
    ASSERT_TRUE(atBrowser && atTerminal);
    // The converted file: promised first, then by address.
    EXPECT_EQ(enterTypes(*atBrowser).mid(0, 2), (QStringList{"XdndDirectSave0", "text/uri-list"}))
        << atBrowser->toStdString();
    EXPECT_EQ(enterTypes(*atTerminal).value(0), "text/plain;charset=utf-8")
        << atTerminal->toStdString();
    EXPECT_NE(enterTypes(*atBrowser), enterTypes(*atTerminal));
    EXPECT_TRUE(desk->browser.waitForLine("leave"));

    release();
    // Rule 1: the terminal takes the path as text.
    const std::optional<QString> drop = desk->terminal.waitForLine("drop");
    ASSERT_TRUE(drop);
    EXPECT_EQ(*drop,
              "drop copy text/plain;charset=utf-8 " + TextConverter::quotedPath(stored(item)));
    EXPECT_EQ(m_delegate.ended, DragOperation::copy);
    ASSERT_GE(m_delegate.changes.size(), 2u);
    EXPECT_EQ(m_delegate.changes.back().first.bundleID, "xterm");
    EXPECT_EQ(m_delegate.changes.back().second, Delivery::path());
}

TEST_F(DragOutX11Test, AWindowEnteredThroughItsTitleBarTakesTheDrop) {
    // As drags from the shelf at the top of the screen come: down from the
    // screen's edge, over the window manager's title bar, into the window.
    const Item item = photo();
    begin({item});
    // Round the windows to the top edge, over nothing but the root window.
    m_hand.glideTo(QPoint(1270, desk->shelfAt.y()));
    m_hand.glideTo(QPoint(1270, 2));
    m_hand.glideTo(QPoint(desk->terminalAt.x(), 2));
    ASSERT_TRUE(desk->terminal.take().isEmpty());
    m_hand.glideTo(desk->terminalAt);
    ASSERT_TRUE(desk->terminal.waitForLine("enter"));
    release();
    const std::optional<QString> drop = desk->terminal.waitForLine("drop");
    ASSERT_TRUE(drop);
    EXPECT_EQ(*drop,
              "drop copy text/plain;charset=utf-8 " + TextConverter::quotedPath(stored(item)));
    EXPECT_EQ(m_delegate.ended, DragOperation::copy);
}

TEST_F(DragOutX11Test, ABrowserReceivesTheConvertedJPEGFileCountedOnce) {
    const Item item = photo();
    begin({item});
    m_hand.glideTo(desk->browserAt);
    release();
    // Rule 2: a JPEG of at most 2000 pixels, in the drag's folder.
    const std::optional<QString> drop = desk->browser.waitForLine("drop");
    ASSERT_TRUE(drop);
    const QStringList parts = drop->split(u' ');
    ASSERT_EQ(parts.value(2), "text/uri-list") << drop->toStdString();
    const QString file = QUrl(parts.value(3)).toLocalFile();
    EXPECT_EQ(QFileInfo(file).fileName(), "photo.jpg");
    EXPECT_TRUE(file.startsWith(m_source->workDirectory()));
    QFile jpeg(file);
    ASSERT_TRUE(jpeg.open(QIODevice::ReadOnly));
    EXPECT_TRUE(jpeg.read(3) == QByteArray("\xFF\xD8\xFF"));

    // The browser copies the file itself: counted, offered to no undo.
    EXPECT_FALSE(m_undoLog.mostRecent(m_clock.now()));
    EXPECT_EQ(m_preferences->dropCount(), 1);
    EXPECT_EQ(m_preferences->conversionCount(), 1);
    EXPECT_EQ(m_delegate.ended, DragOperation::copy);
}

TEST_F(DragOutX11Test, ABrowserThatReadsOnlyWhileHoveringHasTheDeliveryCountedOnce) {
    const Item item = photo();
    begin({item});
    m_hand.glideTo(desk->hoverReaderAt);
    const std::optional<QString> read = desk->hoverReader.waitForLine("read");
    ASSERT_TRUE(read) << desk->hoverReader.seen().join(u'|').toStdString();
    release();
    const std::optional<QString> drop = desk->hoverReader.waitForLine("drop");
    ASSERT_TRUE(drop);
    EXPECT_EQ(drop->split(u' ').value(3), read->split(u' ').value(2));
    const QString file = QUrl(read->split(u' ').value(2)).toLocalFile();
    EXPECT_EQ(QFileInfo(file).fileName(), "photo.jpg");
    QFile jpeg(file);
    ASSERT_TRUE(jpeg.open(QIODevice::ReadOnly));
    EXPECT_TRUE(jpeg.read(3) == QByteArray("\xFF\xD8\xFF"));

    EXPECT_FALSE(m_undoLog.mostRecent(m_clock.now())) << "a copy of ours: beyond undo";
    EXPECT_EQ(m_preferences->dropCount(), 1);
    EXPECT_EQ(m_delegate.ended, DragOperation::copy);
}

TEST_F(DragOutX11Test, WhatATargetInsertsIsCountedOnceAndRecordedWithoutFiles) {
    struct Case {
        const char* what;
        std::function<Item()> item;
        QString expectedDrop;
    };
    const std::vector<Case> cases = {
        {"a text item", [this] { return textItem(QStringLiteral("plain words from the shelf")); },
         QStringLiteral("drop copy text/plain;charset=utf-8 plain words from the shelf")},
        {"a file's path", [this] { return photo(); }, QString()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Item item = c.item();
        const qint64 before = m_preferences->dropCount();
        m_delegate.ended.reset();
        desk->forget();
        begin({item});
        m_hand.glideTo(desk->terminalAt);
        release();
        const std::optional<QString> drop = desk->terminal.waitForLine("drop");
        ASSERT_TRUE(drop);
        EXPECT_EQ(*drop, c.expectedDrop.isEmpty() ? "drop copy text/plain;charset=utf-8 " +
                                                        TextConverter::quotedPath(stored(item))
                                                  : c.expectedDrop);
        EXPECT_EQ(m_preferences->dropCount(), before + 1);
        EXPECT_TRUE(waitFor(
            [&] {
                const std::optional<UndoEntry> entry = m_undoLog.mostRecent(m_clock.now());
                return entry && entry->item.id == item.id;
            },
            8000));
        const std::optional<UndoEntry> entry = m_undoLog.mostRecent(m_clock.now());
        ASSERT_TRUE(entry) << "dropped: " << m_preferences->dropCount() - before;
        EXPECT_TRUE(entry->writtenURLs.isEmpty());
        EXPECT_EQ(entry->destinationBundleID, "xterm");
        m_hand.moveTo(desk->nowhere);
        pump(100);
    }
}

TEST_F(DragOutX11Test, ATextItemReachesAFileManagerAsATextFile) {
    const QString text = QStringLiteral("plain words from the shelf");
    struct Case {
        const char* what;
        Destination* target;
        QPoint at;
    };
    const Item item = textItem(text);
    for (const Case& c : {Case{"saved where the file manager asks", &desk->saver, desk->saverAt},
                          Case{"taken from a list of files", &desk->files, desk->filesAt}}) {
        SCOPED_TRACE(c.what);
        QFile::remove(desk->dir.file("Saved/" + text + ".txt"));
        m_delegate.ended.reset();
        desk->forget();
        begin({item});
        m_hand.glideTo(c.at);
        release();
        QString file;
        if (c.target == &desk->saver) {
            const std::optional<QString> saved = desk->saver.waitForLine("saved");
            ASSERT_TRUE(saved);
            file = desk->dir.file("Saved/" + text + ".txt");
            EXPECT_EQ(*saved, "saved " + file + " S");
        } else {
            const std::optional<QString> drop = desk->files.waitForLine("drop");
            ASSERT_TRUE(drop);
            const QStringList parts = drop->split(u' ');
            ASSERT_EQ(parts.value(2), "text/uri-list") << drop->toStdString();
            file = QUrl(parts.value(3)).toLocalFile();
            // Copied by the file manager itself: counted, offered to no undo.
            EXPECT_FALSE(m_undoLog.mostRecent(m_clock.now()));
        }
        EXPECT_EQ(QFileInfo(file).fileName(), text + ".txt");
        QFile written(file);
        ASSERT_TRUE(written.open(QIODevice::ReadOnly));
        EXPECT_EQ(written.readAll(), text.toUtf8());
        EXPECT_EQ(m_delegate.ended, DragOperation::copy);
        m_hand.moveTo(desk->nowhere);
        pump(100);
    }
}

TEST_F(DragOutX11Test, AltDeliversTheUnchangedItemAndIgnoresTheRenameTemplate) {
    m_rules->setRules({imageRule(QStringLiteral("{name}-web"))});
    m_rules->rulesChanged();
    struct Case {
        const char* name;
        bool alt;
        QString expectedName;
    };
    const std::vector<Case> cases{{"renamed and converted", false, "photo-web.jpg"},
                                  {"Alt held", true, "photo.png"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_delegate = Delegate();
        desk->forget();
        const Item item = photo(64 + (c.alt ? 1 : 0));
        begin({item});
        if (c.alt)
            m_hand.key(XK_Alt_L, true);
        m_hand.glideTo(desk->browserAt);
        release();
        if (c.alt)
            m_hand.key(XK_Alt_L, false);
        const std::optional<QString> drop = desk->browser.waitForLine("drop");
        ASSERT_TRUE(drop);
        const QString file = QUrl(drop->split(u' ').value(3)).toLocalFile();
        EXPECT_EQ(QFileInfo(file).fileName(), c.expectedName) << drop->toStdString();
        if (c.alt) {
            EXPECT_EQ(file, stored(item));
        }
        m_source.reset();
        pump(100);
    }
}

TEST_F(DragOutX11Test, ShiftOffersAMove) {
    begin({photo()});
    m_hand.key(XK_Shift_L, true);
    m_hand.glideTo(desk->browserAt);
    const std::optional<QString> enter = desk->browser.waitForLine("enter");
    release();
    m_hand.key(XK_Shift_L, false);
    ASSERT_TRUE(enter);
    EXPECT_TRUE(enter->startsWith("enter move")) << enter->toStdString();
    const std::optional<QString> drop = desk->browser.waitForLine("drop");
    ASSERT_TRUE(drop);
    EXPECT_TRUE(drop->startsWith("drop move")) << drop->toStdString();
    EXPECT_EQ(m_delegate.ended, DragOperation::move);
}

TEST_F(DragOutX11Test, ARefusedRewriteKeepsOneOrderForTheRestOfTheDrag) {
    test::RecordingLogSink log;
    begin({photo()});
    // The backend carries the declared types in an order of its own, so the
    // first rewrite does not come out as written.
    DragPasteboard& pasteboard = m_sessions->current()->draggingPasteboard();
    pasteboard.setTypeFilter([&pasteboard](const QStringList& declared) {
        QStringList carried =
            XdndData::carriedTypes(declared, static_cast<int>(pasteboard.promises().size()));
        std::reverse(carried.begin(), carried.end());
        return carried;
    });
    m_hand.glideTo(desk->browserAt);
    const std::optional<QString> atBrowser = desk->browser.waitForLine("enter");
    const qint64 changes = pasteboard.changeCount();
    m_hand.glideTo(desk->terminalAt);
    const std::optional<QString> atTerminal = desk->terminal.waitForLine("enter");
    ASSERT_TRUE(atBrowser && atTerminal);
    EXPECT_EQ(m_source->strategy(), PasteboardOrderStrategy::fixed);
    EXPECT_EQ(pasteboard.changeCount(), changes);
    EXPECT_EQ(enterTypes(*atBrowser), enterTypes(*atTerminal));
    ASSERT_GE(m_delegate.changes.size(), 2u);
    EXPECT_EQ(m_delegate.changes.back().first.bundleID, "xterm");
    const std::vector<QString> lines = log.lines();
    EXPECT_EQ(
        std::count(lines.begin(), lines.end(),
                   "drag notice: pasteboard reorder refused; falling back to the fixed order"),
        1);
    // What the refused write left on the pasteboard is what answers.
    EXPECT_EQ(m_source->pasteboardItems(), pasteboard.items());
    release();
}

TEST_F(DragOutX11Test, EscapeCancelsAndCleansUp) {
    begin({photo()});
    const QString folder = m_source->workDirectory();
    m_hand.glideTo(desk->browserAt);
    ASSERT_TRUE(desk->browser.waitForLine("enter"));
    m_hand.key(XK_Escape, true);
    m_hand.key(XK_Escape, false);
    EXPECT_TRUE(waitFor([this] { return m_delegate.ended.has_value(); }, 8000));
    EXPECT_EQ(m_delegate.ended, DragOperation::none);
    EXPECT_TRUE(desk->browser.waitForLine("leave"));
    EXPECT_FALSE(QDir(folder).exists());
    m_hand.button(false);
    pump(200);
    EXPECT_FALSE(desk->browser.seen().join(u' ').contains("drop"));

    // The pointer is free again: another client can take it.
    auto other = X11Connection::open();
    ASSERT_TRUE(other);
    const X11Reply<xcb_grab_pointer_reply_t> grab(xcb_grab_pointer_reply(
        other->get(),
        xcb_grab_pointer(other->get(), 0, other->root(), XCB_EVENT_MASK_POINTER_MOTION,
                         XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC, XCB_NONE, XCB_NONE,
                         XCB_CURRENT_TIME),
        nullptr));
    ASSERT_TRUE(grab);
    EXPECT_EQ(grab->status, XCB_GRAB_STATUS_SUCCESS);
    xcb_ungrab_pointer(other->get(), XCB_CURRENT_TIME);
    other->flush();
}

TEST_F(DragOutX11Test, TheDragSelectionIsTakenAtTheTimeOfThePressThatStartedTheDrag) {
    // The shelf watches raw input on its connection, as the program does.
    X11EventMonitors monitors(*m_connection);
    ASSERT_TRUE(monitors.addGlobalMonitor(eventMask(EventType::leftMouseDown) |
                                              eventMask(EventType::leftMouseUp) |
                                              eventMask(EventType::leftMouseDragged),
                                          [](const MouseEvent&) {}));
    // Another client hears when the drag selection changes hands, and when
    // the new owner says it took it.
    auto watcher = X11Connection::open();
    ASSERT_TRUE(watcher);
    const quint8 xfixes =
        watcher->watchSelection(watcher->helperWindow(), watcher->atom("XdndSelection"),
                                XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER);
    ASSERT_NE(xfixes, 0);
    watcher->sync();
    std::optional<xcb_timestamp_t> taken;
    watcher->addListener([&](const xcb_generic_event_t& event) {
        if ((event.response_type & 0x7f) != xfixes + XCB_XFIXES_SELECTION_NOTIFY)
            return false;
        taken =
            reinterpret_cast<const xcb_xfixes_selection_notify_event_t&>(event).selection_timestamp;
        return true;
    });

    // The press comes, and the drag starts a good while after it.
    m_hand.moveTo(desk->shelfAt);
    pump(150);
    m_hand.button(true);
    ASSERT_TRUE(waitFor([&] { return m_connection->lastInputTime() != 0; }, 8000));
    pump(300);
    const xcb_timestamp_t pressed = m_connection->lastInputTime();
    m_source = std::make_unique<DragSource>(
        std::vector<Item>{photo()}, *m_coordinator, *m_resolver,
        DeliveryCoordinator::Modifiers(m_input->modifierFlags()),
        DragSource::Platform{*m_sessions, *m_input, m_clock, screenFrames});
    m_source->setDelegate(&m_delegate);
    m_source->beginSession(QPointF(0, 0), [](const Item&) { return std::optional<QImage>(); });
    ASSERT_TRUE(m_source->sessionActive());
    ASSERT_TRUE(waitFor([&] { return taken.has_value(); }, 8000));
    EXPECT_EQ(*taken, pressed);
    release();
}

TEST_F(DragOutX11Test, ADirectSaveTargetGetsTheFileWhereItChoseAndUndoDeletesIt) {
    const Item item = photo();
    begin({item});
    m_hand.glideTo(desk->saverAt);
    const std::optional<QString> enter = desk->saver.waitForLine("enter");
    ASSERT_TRUE(enter);
    EXPECT_TRUE(enter->split(u' ').contains("XdndDirectSave0")) << enter->toStdString();
    release();
    const QString place = desk->dir.file("Saved/photo.png");
    const std::optional<QString> saved = desk->saver.waitForLine("saved");
    ASSERT_TRUE(saved);
    EXPECT_EQ(*saved, "saved " + place + " S");
    EXPECT_EQ(m_delegate.ended, DragOperation::copy);

    QFile copy(place), original(stored(item));
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly) && original.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.readAll(), original.readAll());
    ASSERT_TRUE(waitFor([this] { return m_undoLog.mostRecent(m_clock.now()).has_value(); }, 8000));
    const std::optional<UndoEntry> entry = m_undoLog.mostRecent(m_clock.now());
    EXPECT_EQ(entry->writtenURLs, QStringList{place});
    EXPECT_EQ(m_delegate.folders, std::vector<QString>{desk->dir.file("Saved")});

    const QFuture<UndoLog::Outcome> undone = m_coordinator->undoLastDelivery(m_clock.now());
    ASSERT_TRUE(waitFor([&] { return undone.isFinished(); }, 8000));
    EXPECT_TRUE(undone.result().is<UndoLog::Outcome::RestoredAndDeleted>());
    EXPECT_FALSE(QFile::exists(place));
    EXPECT_TRUE(QFile::exists(stored(item)));
}

TEST_F(DragOutX11Test, ADragReleasedOverNothingLeavesNoWorkFolder) {
    begin({photo()});
    const QString folder = m_source->workDirectory();
    EXPECT_TRUE(QDir(folder).exists());
    m_hand.glideTo(desk->nowhere);
    release();
    EXPECT_EQ(m_delegate.ended, DragOperation::none);
    EXPECT_FALSE(QDir(folder).exists());
    EXPECT_FALSE(m_undoLog.mostRecent(m_clock.now()));
}

TEST_F(DragOutX11Test, TheShelfsOwnWindowsAreHandledInsideTheProcess) {
    LocalTarget local;
    m_sessions->setLocalDropTarget(&local);
    const Item item = photo();
    begin({item});
    m_hand.glideTo(desk->browserAt);
    ASSERT_TRUE(desk->browser.waitForLine("enter"));
    m_hand.glideTo(desk->shelfAt);
    EXPECT_TRUE(desk->browser.waitForLine("leave"));
    EXPECT_GT(local.updates, 0);
    EXPECT_EQ(local.offered, 17u);
    ASSERT_TRUE(local.marker);
    EXPECT_EQ(local.marker->draggedItemIDs(), std::vector<QUuid>{item.id});
    release();
    EXPECT_EQ(local.drops, 1);
    EXPECT_EQ(m_delegate.ended, DragOperation::move);
    EXPECT_EQ(desk->shelf->dragEnters, 0);
    m_sessions->setLocalDropTarget(nullptr);
}

TEST_F(DragOutX11Test, DataLargerThanOneRequestArrivesWhole) {
    const Item item = photo(700, true);
    QFile original(stored(item));
    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    const QByteArray bytes = original.readAll();
    ASSERT_GT(bytes.size(), 1024 * 1024);
    begin({item});
    m_hand.glideTo(desk->viewerAt);
    release();
    const std::optional<QString> drop = desk->viewer.waitForLine("drop", 15000);
    ASSERT_TRUE(drop);
    EXPECT_EQ(*drop, QStringLiteral("drop copy image/png %1 %2")
                         .arg(bytes.size())
                         .arg(QString::fromLatin1(
                             QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex())));
}

// A browser that reads a 24-megapixel PNG as a JPEG at the drop: the image
// is converted while the drag, the event loop and the shelf go on, and the
// reader gets it when the conversion ends. The longest time between two
// turns of this process's event loop is reported, not judged: the machine's
// load decides it as much as the code does.
TEST_F(DragOutX11Test, AnImageReadAtTheDropIsConvertedOffTheEventLoop) {
    Destination reader;
    reader.start(QString::fromLocal8Bit(qgetenv("TARVO_DRAGOUT_TARGET")),
                 {"--class", "firefox", "--geometry", "440,420,320,220", "--take", "image/jpeg"});
    const std::optional<QPoint> readerAt = reader.ready();
    ASSERT_TRUE(readerAt);
    pump(400);
    const Item item = photo(4900);

    QElapsedTimer clock;
    clock.start();
    qint64 last = clock.nsecsElapsed();
    qint64 longest = 0;
    QTimer turns;
    QObject::connect(&turns, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        longest = std::max(longest, now - last);
        last = now;
    });
    turns.start(0);
    begin({item});
    last = clock.nsecsElapsed();
    longest = 0;
    m_hand.glideTo(*readerAt);
    release();
    const std::optional<QString> drop = reader.waitForLine("drop", 30000);
    turns.stop();
    ASSERT_TRUE(drop);
    EXPECT_TRUE(drop->startsWith(QStringLiteral("drop copy image/jpeg "))) << drop->toStdString();
    EXPECT_NE(drop->section(u' ', 3, 3), QStringLiteral("0"));
    const double ms = static_cast<double>(longest) / 1e6;
    RecordProperty("longest_event_loop_gap_ms", QString::number(ms, 'f', 1).toStdString());
    std::cout << "longest event-loop gap during the drag: " << ms << " ms\n";
}

} // namespace
