// Real drags under Xvfb with a window manager: a drag source in another
// process, driven through XTest, and the X11 backends in this one. Run by
// run.sh, which starts and stops the display.
#include "DropTargetWindow.h"

#include "TarvoCore/ContentHash.h"
#include "TarvoCore/ItemStore.h"
#include "TarvoCore/Preferences.h"
#include "TarvoCore/StoredContent.h"
#include "TarvoCore/UserDefaults.h"
#include "TarvoDrag/DragMonitor.h"
#include "TarvoDrag/DropReceiver.h"
#include "TarvoPlatform/SystemClock.h"
#include "TarvoPlatform/x11/X11Platform.h"
#include "TarvoPlatform/x11/X11Reply.h"

#include "support/TempDir.h"
#include "support/X11TestTools.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDrag>
#include <QFile>
#include <QMimeData>
#include <QProcess>
#include <QTimer>

#include <functional>

using namespace tarvo;

namespace {

using tarvo::test::pump;
using tarvo::test::waitFor;
using tarvo::test::XTestHand;

// The helper drag source, in its own process: the Qt one, or the GTK one.
class DragSource final {
public:
    explicit DragSource(const QStringList& arguments, const char* program = "TARVO_DRAG_SOURCE") {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QString::fromLocal8Bit(qgetenv(program)), arguments);
    }
    ~DragSource() {
        m_process.kill();
        m_process.waitForFinished(2000);
    }
    // The window's centre once it shows.
    std::optional<QPoint> ready() {
        if (!waitFor([this] { return readLines(); }, 10000))
            return std::nullopt;
        return m_centre;
    }
    QStringList lines() {
        readLines();
        return m_lines;
    }

private:
    bool readLines() {
        while (m_process.canReadLine()) {
            const QString line = QString::fromUtf8(m_process.readLine()).trimmed();
            m_lines.append(line);
            const QStringList parts = line.split(u' ');
            if (parts.value(0) == QLatin1String("ready"))
                m_centre = QPoint(parts.value(1).toInt(), parts.value(2).toInt());
        }
        return m_centre.has_value();
    }
    QProcess m_process;
    QStringList m_lines;
    std::optional<QPoint> m_centre;
};

// The bytes the helper's "save-slowly" writes, as it makes them.
QByteArray slowContents(qsizetype size) {
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 4096) % 251);
    return bytes;
}

QByteArray contentsOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct RecordingDelegate final : DragMonitorDelegate {
    explicit RecordingDelegate(Pasteboard& pasteboard) : m_pasteboard(pasteboard) {}
    int began = 0;
    int ended = 0;
    QStringList typesAtBegin;
    void dragMonitor(DragMonitor&, QPointF) override {
        ++began;
        typesAtBegin = m_pasteboard.types().value_or(QStringList{});
    }
    void dragMonitorDragEnded(DragMonitor&) override { ++ended; }
    void reset() {
        began = ended = 0;
        typesAtBegin.clear();
    }

private:
    Pasteboard& m_pasteboard;
};

class X11DragTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_platform = X11Platform::open();
        ASSERT_TRUE(m_platform) << "no X display";
        ASSERT_TRUE(m_platform->eventMonitors().available()) << "no XInput 2.1";
        ASSERT_TRUE(m_pointer.ok());
        m_defaults = std::make_unique<UserDefaults>(m_dir.file("settings.ini"));
        m_preferences = std::make_unique<Preferences>(*m_defaults);
        m_store = std::make_unique<ItemStore>(m_dir.file("Items"));
        m_receiver = std::make_unique<DropReceiver>(*m_store, m_clock);
        m_receiver->onItemUpdated = [this](const Item& item) { m_updated.push_back(item); };
        m_monitor = std::make_unique<DragMonitor>(*m_preferences, m_platform->dragPasteboard(),
                                                  m_platform->eventMonitors(),
                                                  m_platform->inputState(), m_clock);
        m_delegate = std::make_unique<RecordingDelegate>(m_platform->dragPasteboard());
        m_monitor->setDelegate(m_delegate.get());
        m_monitor->start();
        m_pointer.moveTo({1200, 760});
        pump(100);
    }
    void TearDown() override {
        m_target.reset();
        m_monitor.reset();
        m_receiver.reset();
    }

    // The drop target, shown to the right of the source.
    QPoint showTarget() {
        m_target =
            std::make_unique<test::DropTargetWindow>(*m_receiver, m_platform->dropPromises());
        m_target->move(700, 200);
        m_target->show();
        EXPECT_TRUE(waitFor([this] { return m_target->isVisible(); }));
        pump(400); // mapped and placed by the window manager
        return m_target->mapToGlobal(m_target->rect().center()) * m_target->devicePixelRatio();
    }

    // Presses on the source, drags to `to` and lets go there.
    void drag(QPoint from, QPoint to) {
        m_pointer.moveTo(from);
        pump(150);
        m_pointer.press();
        pump(100);
        m_pointer.glideTo(to);
        pump(150);
        // A small last move so that a window mapped under the pointer sees it.
        m_pointer.glideTo(to + QPoint(4, 4), 2);
        pump(150);
        m_pointer.release();
    }

    test::TempDir m_dir;
    XTestHand m_pointer;
    SystemClock m_clock;
    std::unique_ptr<X11Platform> m_platform;
    std::unique_ptr<UserDefaults> m_defaults;
    std::unique_ptr<Preferences> m_preferences;
    std::unique_ptr<ItemStore> m_store;
    std::unique_ptr<DropReceiver> m_receiver;
    std::unique_ptr<DragMonitor> m_monitor;
    std::unique_ptr<RecordingDelegate> m_delegate;
    std::unique_ptr<test::DropTargetWindow> m_target;
    std::vector<Item> m_updated;
};

TEST_F(X11DragTest, MonitorReportsTheDragOnceWithItsTypesAndItsEndAtTheRelease) {
    const QString file = m_dir.write("dragged.txt", "contents");
    struct Case {
        const char* name;
        QStringList arguments;
        QString expectedType;
    };
    // A file drag names its three types only to its targets; the next one
    // sets a type list; a direct save names its file on its window.
    const std::vector<Case> cases{
        {"file, no type list", {"file", file}, "public.file-url"},
        {"more than three types", {"types"}, "public.html"},
        {"direct save only", {"save", "a.txt", "a"}, "XdndDirectSave0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_delegate->reset();
        DragSource source(c.arguments);
        const std::optional<QPoint> centre = source.ready();
        ASSERT_TRUE(centre);
        const qint64 before = m_platform->dragPasteboard().changeCount();

        m_pointer.moveTo(*centre);
        pump(150);
        m_pointer.press();
        pump(100);
        m_pointer.glideTo(*centre + QPoint(300, 250));
        EXPECT_TRUE(waitFor([this] { return m_delegate->began > 0; }, 2000));
        pump(300);
        EXPECT_EQ(m_delegate->began, 1);
        EXPECT_EQ(m_delegate->ended, 0);
        EXPECT_TRUE(m_delegate->typesAtBegin.contains(c.expectedType))
            << m_delegate->typesAtBegin.join(u' ').toStdString() << " / "
            << m_platform->dragPasteboard().targetNames().join(u' ').toStdString();
        EXPECT_EQ(m_platform->dragPasteboard().changeCount(), before + 1);

        m_pointer.release();
        EXPECT_TRUE(waitFor([this] { return m_delegate->ended > 0; }, 2000));
        pump(200);
        EXPECT_EQ(m_delegate->began, 1);
        EXPECT_EQ(m_delegate->ended, 1);
        EXPECT_TRUE(waitFor([&] { return source.lines().join(u' ').contains("dropped"); }));
    }
}

TEST_F(X11DragTest, AGtkDragIsReportedWhileThePointerRestsPastTheThreshold) {
    // One type and no type list: the types are asked of the source itself.
    const QString file = m_dir.write("resting.txt", "still");
    DragSource source(
        {"source", "--class", "gtksource", "--geometry", "80,120,240,160", "--uri", file},
        "TARVO_GTK_PROBE");
    const std::optional<QPoint> centre = source.ready();
    ASSERT_TRUE(centre);
    m_pointer.moveTo(*centre);
    pump(150);
    m_pointer.press();
    pump(100);
    // Past GTK's threshold of 8 pixels in three quick moves, then still: the
    // only move evaluated comes before the source takes the selection.
    m_pointer.glideTo(*centre + QPoint(15, 0), 3);
    EXPECT_TRUE(waitFor([this] { return m_delegate->began > 0; }, 5000));
    EXPECT_EQ(m_delegate->began, 1);
    EXPECT_TRUE(m_delegate->typesAtBegin.contains(QStringLiteral("public.file-url")))
        << m_delegate->typesAtBegin.join(u' ').toStdString();
    m_pointer.release();
    EXPECT_TRUE(waitFor([this] { return m_delegate->ended > 0; }, 5000));
}

TEST_F(X11DragTest, GestureWithoutADragShowsNothing) {
    m_pointer.moveTo({1000, 700});
    pump(100);
    m_pointer.press();
    m_pointer.glideTo({1100, 720}, 10);
    m_pointer.release();
    pump(300);
    EXPECT_EQ(m_delegate->began, 0);
    EXPECT_EQ(m_delegate->ended, 0);
}

TEST_F(X11DragTest, DragsThisProcessStartsAreNotNewContent) {
    QWidget window;
    window.resize(200, 120);
    window.move(300, 300);
    window.show();
    pump(400);
    const QPoint centre = window.mapToGlobal(window.rect().center()) * window.devicePixelRatio();
    m_pointer.moveTo(centre);
    pump(100);
    m_pointer.press();
    pump(100);
    const qint64 before = m_platform->dragPasteboard().changeCount();

    auto* drag = new QDrag(&window);
    auto* data = new QMimeData;
    data->setUrls({QUrl::fromLocalFile(m_dir.write("own.txt", "own"))});
    drag->setMimeData(data);
    // Moved and let go from inside the drag's own loop.
    for (int i = 1; i <= 12; ++i)
        QTimer::singleShot(40 * i, &window, [this, centre, i] {
            m_pointer.moveTo(centre + QPoint(20 * i, 10 * i));
        });
    QTimer::singleShot(40 * 13 + 100, &window, [this] { m_pointer.release(); });
    drag->exec(Qt::CopyAction);
    pump(300);

    // The drag did take the selection, and that was not news.
    X11Connection& x = m_platform->connection();
    const X11Reply<xcb_get_selection_owner_reply_t> owner(xcb_get_selection_owner_reply(
        x.get(), xcb_get_selection_owner(x.get(), x.atom("XdndSelection")), nullptr));
    ASSERT_TRUE(owner);
    EXPECT_TRUE(x.isOwnWindow(owner->owner));
    EXPECT_EQ(m_platform->dragPasteboard().changeCount(), before);
    EXPECT_EQ(m_delegate->began, 0);
}

TEST_F(X11DragTest, DroppedFileBecomesAnItemAndTheSecondDropFindsIt) {
    const QString file = m_dir.write("source/notes.txt", "dropped across processes");
    const QPoint target = showTarget();
    DragSource source({"file", file});
    const std::optional<QPoint> centre = source.ready();
    ASSERT_TRUE(centre);

    drag(*centre, target);
    ASSERT_TRUE(waitFor([this] { return m_target->drops().size() == 1; }));
    ASSERT_EQ(m_target->drops()[0].size(), 1u);
    const Item item = m_target->drops()[0].front();
    EXPECT_EQ(item.payload, ItemPayload::file("notes.txt"));
    EXPECT_EQ(item.sourceURL, QUrl::fromLocalFile(file));
    QFile copy(*item.payloadURL(m_store->root()));
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.readAll(), "dropped across processes");
    EXPECT_EQ(m_delegate->began, 1);
    EXPECT_TRUE(waitFor([this] { return m_delegate->ended == 1; }));

    pump(300);
    drag(*centre, target);
    ASSERT_TRUE(waitFor([this] { return m_target->drops().size() == 2; }));
    ASSERT_EQ(m_target->drops()[1].size(), 1u);
    EXPECT_EQ(m_target->drops()[1].front().id, item.id);
    EXPECT_EQ(m_store->items().size(), 1u);
    EXPECT_EQ(m_delegate->began, 2);
}

TEST_F(X11DragTest, DirectSaveLandsAsAPromisedItem) {
    const QPoint target = showTarget();
    DragSource source({"save", "From the archive.txt", "saved by its source"});
    const std::optional<QPoint> centre = source.ready();
    ASSERT_TRUE(centre);

    drag(*centre, target);
    ASSERT_TRUE(waitFor([this] { return m_target->drops().size() == 1; }));
    ASSERT_EQ(m_target->drops()[0].size(), 1u);
    const Item placeholder = m_target->drops()[0].front();
    EXPECT_EQ(placeholder.displayName, "From the archive.txt");
    EXPECT_EQ(m_delegate->began, 1);
    EXPECT_TRUE(placeholder.state.is<ItemState::Receiving>());

    ASSERT_TRUE(waitFor([this] { return !m_updated.empty(); }))
        << source.lines().join(u'\n').toStdString();
    const Item& done = m_updated.front();
    EXPECT_EQ(done.id, placeholder.id);
    EXPECT_TRUE(done.state.isReady());
    EXPECT_EQ(done.payload, ItemPayload::file("From the archive.txt"));
    QFile saved(*done.payloadURL(m_store->root()));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), "saved by its source");
}

TEST_F(X11DragTest, ADirectSaveWrittenUnderTheSourcesOwnNameIsTaken) {
    const QPoint target = showTarget();
    DragSource source({"save-as", "archive member", "member.txt", "from inside the archive"});
    const std::optional<QPoint> centre = source.ready();
    ASSERT_TRUE(centre);

    drag(*centre, target);
    ASSERT_TRUE(waitFor([this] { return m_target->drops().size() == 1; }));
    ASSERT_TRUE(waitFor([this] { return !m_updated.empty(); }))
        << source.lines().join(u'\n').toStdString();
    const Item& done = m_updated.front();
    EXPECT_TRUE(done.state.isReady());
    EXPECT_EQ(done.payload, ItemPayload::file("member.txt"));
    QFile saved(*done.payloadURL(m_store->root()));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), "from inside the archive");
    // The source was asked once.
    EXPECT_EQ(source.lines().filter(QStringLiteral("saved ")).size(), 1);
}

// A source that answers at once and writes afterwards, as a browser does:
// the item waits for the whole file, so its fingerprint is the file's, and
// the same file dropped again finds the item already there.
TEST_F(X11DragTest, ADirectSaveIsReadyOnlyOnceItsSourceHasWrittenTheWholeFile) {
    const qsizetype size = 3 * 1024 * 1024 + 5;
    const QByteArray contents = slowContents(size);
    const QPoint target = showTarget();
    DragSource source({"save-slowly", "picture.png", QString::number(size)});
    const std::optional<QPoint> centre = source.ready();
    ASSERT_TRUE(centre);

    drag(*centre, target);
    ASSERT_TRUE(waitFor([this] { return m_target->drops().size() == 1; }));
    const QUuid id = m_target->drops()[0].front().id;
    ASSERT_TRUE(waitFor([this] { return !m_updated.empty(); }, 20000))
        << source.lines().join(u'\n').toStdString();
    const Item done = m_updated.front();
    EXPECT_EQ(done.id, id);
    ASSERT_TRUE(done.state.isReady());
    EXPECT_TRUE(source.lines().contains("written " + QString::number(size)))
        << source.lines().join(u'\n').toStdString();
    EXPECT_EQ(done.contentHash, ContentHash::of(contents));
    EXPECT_TRUE(contentsOf(*done.payloadURL(m_store->root())) == contents);

    pump(300);
    drag(*centre, target);
    ASSERT_TRUE(waitFor([this] { return m_target->drops().size() == 2; }));
    const QUuid again = m_target->drops()[1].front().id;
    EXPECT_TRUE(waitFor([&] { return !m_store->item(again); }, 20000));
    ASSERT_EQ(m_store->items().size(), 1u);
    EXPECT_EQ(m_store->items().front().id, id);
}

// What a source that answers success wrote beside the place it was asked to
// save at: one folder is the item; more than one thing fails the item and is
// removed again; a source that cannot save hands its bytes over instead when
// it offers them, and fails the item when it offers nothing else.
TEST_F(X11DragTest, ADirectSaveElsewhereTakesOneThingOrTheBytesOfferedOrFails) {
    struct Case {
        const char* name;
        QStringList arguments;
        std::optional<ItemPayload> payload; // none: the item fails
        QStringList entries;                // in the item's folder, or below its folder item
        QByteArray contents;                // of a file item
    };
    const std::vector<Case> cases = {
        {"a folder of its own",
         {"save-folder", "Member", "Docs"},
         ItemPayload::file("Docs", true),
         {"one.txt", "two.txt"},
         {}},
        {"two files", {"save-two", "Member"}, std::nullopt, {}, {}},
        {"no file but its bytes",
         {"refuse", "photo.png", "the bytes of the photo"},
         ItemPayload::image("photo.png"),
         {},
         "the bytes of the photo"},
        {"no file and nothing else", {"refuse-only", "photo.png"}, std::nullopt, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_updated.clear();
        const QPoint target = showTarget();
        DragSource source(c.arguments);
        const std::optional<QPoint> centre = source.ready();
        ASSERT_TRUE(centre);
        drag(*centre, target);
        ASSERT_TRUE(waitFor([this] { return m_target->drops().size() == 1; }));
        ASSERT_TRUE(waitFor([this] { return !m_updated.empty(); }, 20000))
            << source.lines().join(u'\n').toStdString();
        const Item done = m_updated.front();
        QStringList left = QDir(m_store->itemDirectory(done.id))
                               .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        left.removeIf([](const QString& name) { return StoredContent::isOwnEntry(name); });
        if (!c.payload) {
            EXPECT_TRUE(done.state.is<ItemState::Failed>());
            EXPECT_EQ(left, QStringList{});
        } else {
            ASSERT_TRUE(done.state.isReady());
            EXPECT_EQ(done.payload, *c.payload);
            EXPECT_EQ(left, QStringList{*c.payload->fileName()});
            const QString stored = *done.payloadURL(m_store->root());
            if (!c.entries.isEmpty()) {
                EXPECT_EQ(QDir(stored).entryList(QDir::Files), c.entries);
            }
            if (!c.contents.isEmpty()) {
                EXPECT_EQ(contentsOf(stored), c.contents);
            }
        }
        m_target.reset();
        m_store->clear();
        pump(200);
    }
}

} // namespace
