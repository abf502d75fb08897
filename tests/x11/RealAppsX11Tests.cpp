// Drags out of the shelf into the desktop's own programs under Xvfb with
// openbox, as a user makes them: from the shelf at the top of the screen,
// down over each window's title bar. Thunar, Mousepad and xfce4-terminal as
// installed, with their installed desktop files and the built-in rules, and
// a GTK 3 probe that reads every type it is offered. Run by run-apps.sh,
// which starts and stops the display, the window manager and a session bus.
#include "DesktopProgram.h"
#include "DragOutWorld.h"
#include "DropTargetWindow.h"
#include "LocalServices.h"

#include "TarvoConvert/TextConverter.h"
#include "TarvoCore/Files.h"
#include "TarvoDrag/DropReceiver.h"
#include "TarvoPlatform/x11/X11Platform.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QUrl>
#include <QWidget>

#include <X11/keysym.h>

#include <fcntl.h>
#include <unistd.h>

using namespace tarvo;

namespace {

using tarvo::test::Destination;
using tarvo::test::MachineLock;
using tarvo::test::PageServer;
using Program = tarvo::test::DesktopProgram;
using tarvo::test::pump;
using tarvo::test::runCommand;
using tarvo::test::waitFor;

// The programs, started once for the whole suite.
struct Desktop {
    test::TempDir dir;
    Program thunar;
    Program mousepad;
    Program terminal;
    Destination probe;
    QPoint probeAt;
    std::unique_ptr<QWidget> shelf;
    QPoint shelfAt;

    bool start() {
        QDir().mkpath(dir.file("Folder"));
        QDir().mkpath(dir.file("Probe"));
        dir.write("note.txt", "");
        // The shelf, at the top of the screen as always.
        shelf = std::make_unique<QWidget>();
        shelf->setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
        shelf->setGeometry(600, 0, 80, 40);
        shelf->show();
        if (!thunar.start("thunar", {dir.file("Folder")}, "thunar", {40, 150, 560, 280}) ||
            !mousepad.start("mousepad", {dir.file("note.txt")}, "mousepad", {680, 150, 560, 280}) ||
            !terminal.start("xfce4-terminal",
                            // Not line by line: what a drop types reaches the file at once, so
                            // a test can wait for it before pressing Return.
                            {"--disable-server", "-x", "sh", "-c",
                             "stty -icanon; cat > " + dir.file("typed.txt")},
                            "xfce4-terminal", {40, 500, 560, 260}))
            return false;
        probe.start(QString::fromLocal8Bit(qgetenv("TARVO_GTK_PROBE")),
                    {"target", "--class", "gtkprobe", "--geometry", "680,500,560,260", "--folder",
                     dir.file("Probe")});
        const std::optional<QPoint> at = probe.ready();
        if (!at)
            return false;
        probeAt = *at;
        pump(300);
        shelfAt = shelf->mapToGlobal(shelf->rect().center()) * shelf->devicePixelRatio();
        return true;
    }
};

Desktop* desktop = nullptr;

class RealAppsTest : public test::DragOutWorld {
protected:
    void SetUp() override {
        ASSERT_TRUE(desktop) << "the programs did not start";
        build({QStringLiteral("/usr/share/applications")});
        desktop->probe.forget();
    }

    // From the shelf, along the top of the screen to above `target`, then
    // down over its title bar to it; let go there.
    void dragTo(std::vector<Item> items, QPoint target) {
        begin(std::move(items), desktop->shelfAt);
        m_hand.glideTo(QPoint(target.x(), desktop->shelfAt.y()));
        m_hand.glideTo(target);
        release();
    }

    static std::optional<QByteArray> contentsWhenWritten(const QString& path,
                                                         const QByteArray& expected) {
        QByteArray seen;
        waitFor(
            [&] {
                QFile file(path);
                seen = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
                return seen == expected;
            },
            10000);
        return seen;
    }
};

TEST_F(RealAppsTest, ThunarTakesAFileByAddress) {
    const QByteArray bytes = "a report, copied whole";
    const Item item = fileItem(QStringLiteral("report.txt"), bytes);
    dragTo({item}, desktop->thunar.centre());
    EXPECT_EQ(contentsWhenWritten(desktop->dir.file("Folder/report.txt"), bytes), bytes);
    EXPECT_EQ(m_delegate.ended, DragOperation::copy);
}

TEST_F(RealAppsTest, ThunarSavesATextItemAsATextFile) {
    const QString text = QStringLiteral("Words for later\nand a second line");
    const Item item = textItem(text);
    dragTo({item}, desktop->thunar.centre());
    QString saved;
    EXPECT_TRUE(waitFor(
        [&] {
            for (const QFileInfo& entry :
                 QDir(desktop->dir.file("Folder")).entryInfoList(QDir::Files)) {
                QFile file(entry.filePath());
                if (file.open(QIODevice::ReadOnly) && file.readAll() == text.toUtf8())
                    saved = entry.filePath();
            }
            return !saved.isEmpty();
        },
        10000))
        << QDir(desktop->dir.file("Folder")).entryList().join(u' ').toStdString();
    EXPECT_EQ(m_delegate.ended, DragOperation::copy);
    // A plain-text file by its name. Thunar takes the file by address when
    // one is offered, as it is to every file manager: it copies the file
    // itself, so the delivery is counted and offered to no undo.
    EXPECT_EQ(QFileInfo(saved).fileName(), "Words for later.txt");
    EXPECT_EQ(m_preferences->dropCount(), 1);
    EXPECT_FALSE(m_undoLog.mostRecent(m_clock.now()));
}

TEST_F(RealAppsTest, MousepadGetsATextItemAndAPlainTextFilesPath) {
    const Item words = textItem(QStringLiteral("typed by dropping"));
    dragTo({words}, desktop->mousepad.centre());
    pump(300);
    const Item notes = fileItem(QStringLiteral("notes.txt"), "plain words");
    dragTo({notes}, desktop->mousepad.centre());
    pump(300);
    desktop->mousepad.keys({"ctrl+s"});
    QByteArray seen;
    EXPECT_TRUE(waitFor(
        [&] {
            QFile file(desktop->dir.file("note.txt"));
            seen = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
            return seen.contains("typed by dropping") &&
                   seen.contains(TextConverter::quotedPath(stored(notes)).toUtf8());
        },
        10000))
        << seen.toStdString();
}

TEST_F(RealAppsTest, TheTerminalGetsAFilesQuotedPathTyped) {
    const Item item = fileItem(QStringLiteral("My Notes.txt"), "typed");
    dragTo({item}, desktop->terminal.centre());
    EXPECT_EQ(m_delegate.ended, DragOperation::copy);
    const QByteArray typed = TextConverter::quotedPath(stored(item)).toUtf8();
    ASSERT_EQ(contentsWhenWritten(desktop->dir.file("typed.txt"), typed), typed);
    desktop->terminal.keys({"Return"});
    EXPECT_EQ(contentsWhenWritten(desktop->dir.file("typed.txt"), typed + '\n'), typed + '\n');
}

TEST_F(RealAppsTest, ADropFinishedAsTakenWithNothingReadIsNoDelivery) {
    // Over the terminal for this test only.
    Destination careless;
    careless.start(
        QString::fromLocal8Bit(qgetenv("TARVO_GTK_PROBE")),
        {"target", "--class", "careless", "--geometry", "40,500,560,260", "--take-nothing"});
    const std::optional<QPoint> at = careless.ready();
    ASSERT_TRUE(at);
    pump(300);
    const Item item = fileItem(QStringLiteral("unread.txt"), "never read");
    begin({item}, desktop->shelfAt);
    const QString folder = m_source->workDirectory();
    m_hand.glideTo(QPoint(at->x(), desktop->shelfAt.y()));
    m_hand.glideTo(*at);
    release();
    ASSERT_TRUE(careless.waitForLine("dropped"));
    EXPECT_EQ(m_delegate.ended, DragOperation::none);
    EXPECT_FALSE(m_undoLog.mostRecent(m_clock.now()));
    EXPECT_EQ(m_preferences->dropCount(), 0);
    EXPECT_FALSE(QDir(folder).exists());
}

// A GTK program reads every type it is offered: each gives it data, for
// every kind of item and every delivery.
TEST_F(RealAppsTest, NoOfferedTypeAnswersEmpty) {
    const std::vector<Delivery> deliveries{Delivery::original(), Delivery::path(),
                                           Delivery::plainText(),
                                           Delivery::image({ImageFormat::jpeg, 2000, 0.85, true})};
    int round = 0;
    for (const Delivery& delivery : deliveries) {
        SCOPED_TRACE(delivery.badgeText().toStdString());
        std::vector<Rule> rules;
        for (const SourceType type :
             {SourceType::text, SourceType::url, SourceType::images, SourceType::anyFile}) {
            Rule rule;
            rule.id = QUuid::createUuid();
            rule.sourceType = type;
            rule.destination = tarvo::Destination::anywhere();
            rule.deliver = delivery;
            rule.createdAt = Date::fromSecondsSince1970(1700000000);
            rules.push_back(rule);
        }
        m_rules->setRules(rules);
        m_rules->rulesChanged();
        const QString n = QString::number(++round);
        for (const Item& item :
             {textItem("some words " + n),
              linkItem(QUrl("https://example.org/" + n), QStringLiteral("A page")),
              photo(60 + round), fileItem("notes.txt", "plain words " + n.toUtf8())}) {
            SCOPED_TRACE(item.displayName.toStdString());
            m_delegate = test::Delegate();
            desktop->probe.forget();
            dragTo({item}, desktop->probeAt);
            ASSERT_TRUE(desktop->probe.waitForLine("dropped", 15000));
            const QStringList reads = desktop->probe.seen().filter(QRegularExpression("^read "));
            EXPECT_FALSE(reads.isEmpty());
            for (const QString& read : reads)
                EXPECT_NE(read.section(u' ', 2), "0") << read.toStdString();
            m_source.reset();
            pump(100);
        }
    }
}

// Into the shelf: the drop receiver behind a window that takes drops as
// the shelf does, with the X11 platform of this process.
class RealAppsIntoTheShelfTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(desktop) << "the programs did not start";
        m_platform = X11Platform::open();
        ASSERT_TRUE(m_platform);
        m_store = std::make_unique<ItemStore>(m_dir.file("Items"));
        m_receiver = std::make_unique<DropReceiver>(*m_store, m_clock);
        m_target =
            std::make_unique<test::DropTargetWindow>(*m_receiver, m_platform->dropPromises());
        m_target->setGeometry(100, 40, 300, 60);
        m_target->show();
        pump(500);
        m_targetAt =
            m_target->mapToGlobal(m_target->rect().center()) * m_target->devicePixelRatio();
    }

    test::TempDir m_dir;
    test::XTestHand m_hand{{12, 25, 150}};
    SystemClock m_clock;
    std::unique_ptr<X11Platform> m_platform;
    std::unique_ptr<ItemStore> m_store;
    std::unique_ptr<DropReceiver> m_receiver;
    std::unique_ptr<test::DropTargetWindow> m_target;
    QPoint m_targetAt;
};

TEST_F(RealAppsIntoTheShelfTest, TwoLinesOfTextFromMousepadLandWithLineFeeds) {
    Program& mousepad = desktop->mousepad;
    mousepad.keys({"ctrl+a", "Delete"});
    runCommand("xdotool", {"type", "--delay", "20", "first line"});
    mousepad.keys({"Return"});
    runCommand("xdotool", {"type", "--delay", "20", "second line"});
    mousepad.keys({"ctrl+a"});
    pump(300);
    // The first line of text, below the bar Mousepad shows to root.
    const QPoint text(mousepad.left() + 60, mousepad.top() + (::geteuid() == 0 ? 40 : 18));
    m_hand.moveTo(text);
    pump(200);
    m_hand.press();
    pump(200);
    m_hand.glideTo(text + QPoint(0, 20), 4);
    m_hand.glideTo(m_targetAt);
    m_hand.release();
    ASSERT_TRUE(waitFor([this] { return !m_target->drops().empty(); }, 10000));
    ASSERT_EQ(m_target->drops().front().size(), 1u);
    const Item item = m_target->drops().front().front();
    EXPECT_EQ(item.payload, ItemPayload::text(QStringLiteral("first line\nsecond line")));
}

TEST_F(RealAppsIntoTheShelfTest, AFileDraggedOutOfAnArchiveInXarchiverLandsAsAFileItem) {
    const QString folder = m_dir.file("zip");
    QDir().mkpath(folder);
    m_dir.write("zip/member.txt", "inside the archive");
    ASSERT_EQ(
        QProcess::execute("sh", {"-c", "cd '" + folder + "' && zip -q archive.zip member.txt"}), 0);
    const MachineLock turn("tarvo-tests-xarchiver.lock");
    ASSERT_TRUE(turn.held()) << "another run kept xarchiver for two minutes";
    // A run that does not take turns may still have one serving: its socket
    // goes, before ours starts and once it runs, so the two never meet.
    const auto forgetInstances = [] {
        const QDir tmp(QStringLiteral("/tmp"));
        for (const QString& name : tmp.entryList({QStringLiteral(".xarchiver-socket*")},
                                                 QDir::System | QDir::Hidden | QDir::Files))
            QFile::remove(tmp.filePath(name));
    };
    forgetInstances();
    Program xarchiver;
    ASSERT_TRUE(
        xarchiver.start("xarchiver", {folder + "/archive.zip"}, "xarchiver", {680, 150, 560, 280}));
    forgetInstances();
    pump(1000);
    // The member's row in the file list, right of the archive tree.
    const QPoint row(xarchiver.left() + 263, xarchiver.top() + 132);
    m_hand.moveTo(row);
    pump(200);
    m_hand.press();
    pump(200);
    m_hand.glideTo(row + QPoint(0, 20), 4);
    m_hand.glideTo(m_targetAt);
    m_hand.release();
    ASSERT_TRUE(waitFor([this] { return !m_target->drops().empty(); }, 10000));
    ASSERT_EQ(m_target->drops().front().size(), 1u);
    const QUuid id = m_target->drops().front().front().id;
    ASSERT_TRUE(
        waitFor([&] { return m_store->item(id) && m_store->item(id)->state.isReady(); }, 15000));
    const Item item = *m_store->item(id);
    EXPECT_EQ(item.payload, ItemPayload::file(QStringLiteral("member.txt")));
    QFile stored(*item.payloadURL(m_store->root()));
    ASSERT_TRUE(stored.open(QIODevice::ReadOnly));
    EXPECT_EQ(stored.readAll(), "inside the archive");
}

// Chromium does not save an image itself: it answers the direct save with
// "F" and offers the image's bytes, which become the item under the name it
// proposed.
TEST_F(RealAppsIntoTheShelfTest, AnImageFromChromiumLandsAsItsBytesUnderItsOwnName) {
    test::TempDir site;
    QImage picture(64, 48, QImage::Format_RGB32);
    picture.fill(QColor(70, 130, 180));
    ASSERT_TRUE(picture.save(site.file("small.png"), "PNG"));
    site.write("small.html",
               "<!doctype html><title>Image page</title><style>html,body{margin:0;height:100%}"
               "img{position:fixed;inset:0;width:100%;height:100%}</style><img src=small.png>");
    PageServer server(site.file("."));
    ASSERT_TRUE(server.ok()) << "no page server";
    Program chromium;
    ASSERT_TRUE(chromium.start(
        "chromium",
        {"--no-sandbox", "--user-data-dir=" + site.file("profile"), "--ozone-platform=x11",
         "--no-first-run", "--no-default-browser-check", "--disable-background-networking",
         "--disable-component-update", "--disable-sync", "--disable-features=Translate,MediaRouter",
         "--password-store=basic", "--disable-gpu", "--app=" + server.url("small.html")},
        "chromium", {680, 150, 560, 320}))
        << "chromium did not start";
    pump(3000);
    for (int attempt = 0; attempt < 3 && m_target->drops().empty(); ++attempt) {
        m_hand.moveTo(chromium.centre());
        pump(300);
        m_hand.press();
        pump(200);
        m_hand.glideTo(chromium.centre() + QPoint(0, -20), 4);
        m_hand.glideTo(m_targetAt);
        m_hand.glideTo(m_targetAt + QPoint(4, 4), 2);
        pump(200);
        m_hand.release();
        waitFor([this] { return !m_target->drops().empty(); }, 8000);
    }
    ASSERT_FALSE(m_target->drops().empty()) << "nothing landed from chromium";
    ASSERT_EQ(m_target->drops().front().size(), 1u);
    const QUuid id = m_target->drops().front().front().id;
    ASSERT_TRUE(waitFor(
        [&] { return m_store->item(id) && !m_store->item(id)->state.is<ItemState::Receiving>(); },
        15000));
    const Item item = *m_store->item(id);
    ASSERT_TRUE(item.state.isReady());
    EXPECT_EQ(item.payload, ItemPayload::image(QStringLiteral("small.png")));
    QFile stored(*item.payloadURL(m_store->root()));
    QFile served(site.file("small.png"));
    ASSERT_TRUE(stored.open(QIODevice::ReadOnly) && served.open(QIODevice::ReadOnly));
    EXPECT_EQ(stored.readAll(), served.readAll());
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new test::DesktopEnvironment<Desktop>(desktop));
    return RUN_ALL_TESTS();
}
