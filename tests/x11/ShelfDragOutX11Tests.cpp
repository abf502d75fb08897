// Items dragged out of the running tarvo program's own shelf into the
// desktop's programs under Xvfb with openbox, as a user drags them: the shelf
// opened, a tile pressed, the pointer moved down out of the island and over
// the program's window, the button let go there. Before each release the
// cursor badge must say what the program under the pointer will receive and
// hang beside the pointer wherever it goes. Thunar, Mousepad and
// xfce4-terminal as installed, and a window of a browser's class that
// reports what it took. Run by run-shelf-dragout.sh, which starts and stops
// the display, the window manager and a session bus. Every wait has a
// deadline of seconds, so a busy machine slows the run without failing it.
#include "DesktopProgram.h"
#include "TarvoProgram.h"

#include "TarvoConvert/TextConverter.h"
#include "TarvoCore/DestinationLog.h"
#include "TarvoCore/ItemStore.h"
#include "TarvoCore/L10n.h"
#include "TarvoCore/Preferences.h"
#include "TarvoCore/RulesStore.h"
#include "TarvoCore/UserDefaults.h"

#include "support/ItemFactory.h"
#include "support/TempDir.h"
#include "support/X11TestTools.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScopeGuard>
#include <QUrl>

#include <X11/keysym.h>

#include <optional>
#include <ostream>

QT_BEGIN_NAMESPACE
// Failures show texts as texts and places as numbers.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QByteArray& bytes, std::ostream* out) {
    *out << '"' << bytes.toStdString() << '"';
}
inline void PrintTo(const QPoint& point, std::ostream* out) {
    *out << '(' << point.x() << ", " << point.y() << ')';
}
QT_END_NAMESPACE

namespace tarvo::test {
namespace {

// A helper program's printed lines.
class Lines final {
public:
    explicit Lines(QProcess& process) : m_process(process) {}
    // Waits for a line that starts with `prefix`; consumes lines up to it.
    std::optional<QString> waitFor(const QString& prefix, int ms = 15000) {
        std::optional<QString> found;
        test::waitFor(
            [&] {
                while (m_process.canReadLine()) {
                    const QString line = QString::fromUtf8(m_process.readLine()).trimmed();
                    if (line.startsWith(prefix)) {
                        found = line;
                        return true;
                    }
                }
                return false;
            },
            ms);
        return found;
    }
    void forget() { m_process.readAll(); }

private:
    QProcess& m_process;
};

// The programs, started once for the whole suite, around the middle of the
// screen where the shelf hangs.
struct Desktop {
    TempDir dir;
    DesktopProgram thunar;
    DesktopProgram mousepad;
    DesktopProgram terminal;
    DesktopProgram browser;

    bool start() {
        QDir().mkpath(dir.file("Folder"));
        dir.write("note.txt", "");
        if (!thunar.start("thunar", {dir.file("Folder")}, "thunar", {40, 230, 400, 240}) ||
            !mousepad.start("mousepad", {dir.file("note.txt")}, "mousepad", {800, 230, 400, 240}) ||
            !terminal.start(
                "xfce4-terminal",
                {"--disable-server", "-x", "sh", "-c", "cat > " + dir.file("typed.txt")},
                "xfce4-terminal", {40, 520, 400, 240}) ||
            !browser.start(QString::fromLocal8Bit(qgetenv("TARVO_DRAGOUT_TARGET")),
                           {"--class", "firefox"}, "firefox", {800, 520, 400, 240}))
            return false;
        return readyPoint(browser.process()).has_value();
    }
};

Desktop* desktop = nullptr;

// A picture with something in it, as PNG.
QByteArray pngPicture(QSize size) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(40, 120, 200));
    for (int y = 0; y < size.height(); ++y)
        image.setPixelColor(y % size.width(), y, QColor(250, 200, 30));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

class ShelfDragOutX11Test : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(desktop) << "the programs did not start";
        ASSERT_TRUE(m_hand.ok());
        m_hand.moveTo(m_away);
        // Past the tutorial, as on every start but the first.
        UserDefaults defaults(m_home.file("config/Tarvo/Tarvo.conf"));
        Preferences(defaults).setHasCompletedOnboarding(true);
        // A browser as the desktop knows it, for the window of its class.
        m_home.write("data/applications/firefox.desktop",
                     "[Desktop Entry]\nType=Application\nName=Firefox\nExec=firefox %u\n");
    }

    void TearDown() override {
        if (m_tarvo)
            m_tarvo->terminate();
    }

    // Items stored before the program starts, each newer than the last.
    Item addFile(const QString& name, const QByteArray& bytes, bool isImage = false) {
        ItemStore store(itemsFolder());
        ++m_itemCount;
        return addFileItem(store, name, bytes, isImage, m_addedAt.addingSeconds(m_itemCount));
    }
    Item addText(const QString& text) {
        ItemStore store(itemsFolder());
        ++m_itemCount;
        return addTextItem(store, text, m_addedAt.addingSeconds(m_itemCount));
    }
    QString itemsFolder() const { return m_home.file("data/Tarvo/Items"); }
    QString storedPath(const Item& item) const { return *item.payloadURL(itemsFolder()); }

    // Starts the program over the prepared home; false when its panel never
    // came.
    bool startTarvo() {
        m_tarvo = std::make_unique<TarvoProcess>(m_home);
        m_tarvo->start();
        std::optional<xcb_window_t> panel;
        if (!waitFor([&] { return (panel = m_windows.panelOf(m_tarvo->pid())).has_value(); },
                     20000))
            return false;
        m_panel = *panel;
        return true;
    }

    // The items the running program stored, newest first.
    std::vector<Item> shelfItems() const {
        std::vector<Item> items;
        QFile index(itemsFolder() + QStringLiteral("/tarvo.json"));
        if (!index.open(QIODevice::ReadOnly))
            return items;
        const QJsonArray order =
            QJsonDocument::fromJson(index.readAll()).object().value("order").toArray();
        for (const QJsonValue& id : order) {
            QFile file(itemsFolder() + u'/' + id.toString() + QStringLiteral("/item.json"));
            if (!file.open(QIODevice::ReadOnly))
                continue;
            try {
                items.push_back(Item::fromJson(QJsonDocument::fromJson(file.readAll()).object()));
            } catch (...) {
                // Being written: read again on the next look.
            }
        }
        return items;
    }

    // Drags what a GTK program offers (`--text TEXT` or `--uri PATH`) from
    // its window up into the running program's shelf, as a user fills it;
    // the item it became, none when no drag landed. A loaded machine can
    // take the first press for a click: the drag is tried again until a
    // deadline.
    std::optional<Item> dragIntoShelf(const QStringList& offered) {
        QProcess source;
        source.start(QString::fromLocal8Bit(qgetenv("TARVO_GTK_PROBE")),
                     QStringList{"source", "--class", "shelffiller", "--geometry",
                                 "470,560,300,160"} +
                         offered);
        const std::optional<QPoint> from = readyPoint(source);
        const auto stop = qScopeGuard([&] {
            source.kill();
            source.waitForFinished(5000);
        });
        if (!from)
            return std::nullopt;
        pump(500);
        const std::size_t before = shelfItems().size();
        QElapsedTimer trying;
        trying.start();
        while (trying.elapsed() < 90000) {
            m_hand.glideTo(*from);
            dragUpIntoShelf(m_hand, *from);
            std::vector<Item> items;
            if (waitFor(
                    [&] {
                        items = shelfItems();
                        return items.size() > before && items.front().state.isReady();
                    },
                    5000)) {
                m_itemCount = int(items.size());
                m_hand.glideTo(m_away);
                return items.front();
            }
            pump(2500);
        }
        return std::nullopt;
    }

    // Opens the shelf as a second start does, the program started first over
    // the prepared home when it is not running; the pointer rests on the
    // island to keep it open. The middle of the newest item's tile in root
    // pixels, none when the shelf did not open.
    std::optional<QPoint> openShelf() {
        if (!m_tarvo && !startTarvo())
            return std::nullopt;
        if (m_tarvo->startAgain() != 0 ||
            !waitFor([&] { return m_windows.isViewable(m_panel); }, 10000))
            return std::nullopt;
        // Its place once it has stopped unfolding: the same for half a second.
        QRect last;
        int same = 0;
        if (!waitFor(
                [&] {
                    const QRect now = m_windows.rootGeometry(m_panel);
                    same = now == last ? same + 1 : 0;
                    last = now;
                    pump(100);
                    return same >= 5;
                },
                10000))
            return std::nullopt;
        m_shelf = last;
        const QPoint newest = tile(0);
        m_hand.glideTo(newest, 8);
        pump(500);
        return newest;
    }

    // The middle of the thumbnail of the item at `index` (0 the newest): the
    // tiles stand side by side in the middle of the island, 56 points wide
    // and 12 apart, 10 below its top.
    QPoint tile(int index) const {
        const double fromMiddle = (index - (m_itemCount - 1) / 2.0) * (56 + 12);
        return {m_shelf.center().x() + qRound(fromMiddle), m_shelf.top() + 38};
    }

    struct BadgeSeen {
        QString text;
        // Its window's top left less the pointer's place.
        QPoint offset;
        QSize size;
    };

    // The badge's window; none before the program made it.
    std::optional<xcb_window_t> badgeWindow() { return m_windows.toolTipOf(m_tarvo->pid()); }

    bool badgeShows() {
        const std::optional<xcb_window_t> badge = badgeWindow();
        return badge && m_windows.isViewable(*badge);
    }

    // Waits for the badge to show beside `pointer` with `text`; what it
    // showed last when it did not.
    BadgeSeen badgeAt(QPoint pointer, const QString& text) {
        BadgeSeen seen;
        waitFor(
            [&] {
                const std::optional<xcb_window_t> badge = badgeWindow();
                if (!badge || !m_windows.isViewable(*badge))
                    return false;
                const QRect at = m_windows.rootGeometry(*badge);
                seen = {m_windows.name(*badge), at.topLeft() - pointer, at.size()};
                return seen.text == text && seen.offset == besidePointer;
            },
            10000);
        return seen;
    }

    // Presses on the tile and moves down out of the shelf onto the bare
    // desktop, where the badge shows the item going unchanged, with no
    // application's icon: what it showed there.
    BadgeSeen pressAndLeaveTheShelf(QPoint tile) {
        m_hand.press();
        pump(200);
        m_hand.glideTo(tile + QPoint(0, 12), 6);
        const QPoint bare(tile.x(), 190);
        m_hand.glideTo(bare);
        const BadgeSeen seen = badgeAt(bare, L10n::badgeOriginal());
        EXPECT_EQ(seen.text, L10n::badgeOriginal()) << "no badge over the bare desktop";
        EXPECT_EQ(seen.offset, besidePointer) << "the badge is not beside the pointer";
        return seen;
    }

    // Moves over to `target` and checks at two places over it that the badge
    // says `badge` and hangs beside the pointer; lets go at the second, and
    // the badge goes. A badge saying what it said over the bare desktop must
    // now show the target's icon before the text.
    void dropOn(QPoint target, const QString& badge, const BadgeSeen& bare) {
        m_hand.glideTo(target);
        const BadgeSeen first = badgeAt(target, badge);
        EXPECT_EQ(first.text, badge);
        EXPECT_EQ(first.offset, besidePointer)
            << "badge " << first.size.width() << 'x' << first.size.height() << " at pointer "
            << target.x() << ',' << target.y();
        if (badge == bare.text) {
            EXPECT_GT(first.size.width(), bare.size.width()) << "the target's icon is missing";
        }
        const QPoint second = target + QPoint(-30, 25);
        m_hand.glideTo(second, 8);
        const BadgeSeen then = badgeAt(second, badge);
        EXPECT_EQ(then.text, badge);
        EXPECT_EQ(then.offset, besidePointer) << "the badge did not follow the pointer";
        pump(300);
        m_hand.release();
        EXPECT_TRUE(waitFor([&] { return !badgeShows(); }, 10000))
            << "the badge stayed after the drop";
    }

    void dragOut(QPoint tile, QPoint target, const QString& badge) {
        const BadgeSeen bare = pressAndLeaveTheShelf(tile);
        dropOn(target, badge, bare);
    }

    static std::optional<QByteArray> contentsWhen(const QString& path,
                                                  const std::function<bool(const QByteArray&)>& ok,
                                                  int ms = 15000) {
        QByteArray seen;
        test::waitFor(
            [&] {
                QFile file(path);
                seen = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
                return ok(seen);
            },
            ms);
        return seen;
    }

    // How much the terminal has written so far.
    static qint64 typedSoFar() { return QFileInfo(desktop->dir.file("typed.txt")).size(); }
    // What the terminal wrote after `before` bytes, once it is `expected`.
    static QByteArray typedSince(qint64 before, const QByteArray& expected) {
        return contentsWhen(desktop->dir.file("typed.txt"),
                            [&](const QByteArray& seen) { return seen.mid(before) == expected; })
            ->mid(before);
    }

    // Whether Mousepad's file, saved again until then, comes to hold `words`.
    static bool mousepadSaves(const QString& words) {
        const auto holds = [&](const QByteArray& seen) { return seen.contains(words.toUtf8()); };
        return waitFor(
            [&] {
                desktop->mousepad.keys({"ctrl+s"});
                return holds(*contentsWhen(desktop->dir.file("note.txt"), holds, 1000));
            },
            20000);
    }

    // The counters as the program left them in its settings when it ended.
    qint64 deliveriesCounted() const {
        UserDefaults defaults(m_home.file("config/Tarvo/Tarvo.conf"));
        return Preferences(defaults).dropCount();
    }
    qint64 undosCounted() const {
        UserDefaults defaults(m_home.file("config/Tarvo/Tarvo.conf"));
        return Preferences(defaults).undoCount();
    }

    // Lets go and waits for the drag to be over.
    void releaseAndWait() {
        m_hand.release();
        EXPECT_TRUE(
            waitFor([&] { return !badgeShows() && m_windows.dragOwner() == XCB_NONE; }, 10000))
            << "the drag or its badge stayed";
    }

    // Whether no client holds the keyboard: a grab of our own is let in.
    bool keyboardFree() {
        xcb_connection_t* connection = m_windows.connection();
        const X11Reply<xcb_grab_keyboard_reply_t> grab(xcb_grab_keyboard_reply(
            connection,
            xcb_grab_keyboard(connection, 0, m_windows.root(), XCB_CURRENT_TIME,
                              XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
            nullptr));
        if (!grab || grab->status != XCB_GRAB_STATUS_SUCCESS)
            return false;
        xcb_ungrab_keyboard(connection, XCB_CURRENT_TIME);
        xcb_flush(connection);
        return true;
    }

    // Ctrl+Z on the open shelf, given the keyboard by a click on the newest
    // item (its menu closed with Escape): undoes the last delivery.
    void undoOnTheShelf() {
        const std::optional<QPoint> tile = openShelf();
        ASSERT_TRUE(tile) << "the shelf did not open";
        m_hand.deviceButton(3, true);
        m_hand.deviceButton(3, false);
        pump(500);
        m_hand.key(XK_Escape, true);
        m_hand.key(XK_Escape, false);
        ASSERT_TRUE(waitFor(
            [&] {
                const std::vector<quint32> active =
                    m_windows.cardinals(m_windows.root(), "_NET_ACTIVE_WINDOW");
                return !active.empty() && active.front() == m_panel;
            },
            10000))
            << "the click did not give the shelf the keyboard";
        // The closing menu holds the keyboard a while: a key sent meanwhile
        // goes to it.
        ASSERT_TRUE(waitFor([&] { return keyboardFree(); }, 10000)) << "the menu kept the keyboard";
        m_hand.key(XK_Control_L, true);
        m_hand.key(XK_z, true);
        m_hand.key(XK_z, false);
        m_hand.key(XK_Control_L, false);
        pump(1000);
        m_hand.glideTo(m_away);
    }

    // The screen saved under DRAGOUT_SHOTS when that folder is set.
    static void screenshot(const QString& name) {
        const QString shots = QString::fromLocal8Bit(qgetenv("DRAGOUT_SHOTS"));
        if (shots.isEmpty())
            return;
        QDir().mkpath(shots);
        runCommand("import", {"-window", "root", QDir(shots).filePath(name + ".png")});
    }

    // Right of and below the pointer's hot spot.
    static inline const QPoint besidePointer{8, 12};
    const QPoint m_away{640, 790};
    TempDir m_home;
    const Date m_addedAt = Date::now();
    int m_itemCount = 0;
    X11Windows m_windows;
    XTestHand m_hand{{20, 25, 0}};
    std::unique_ptr<TarvoProcess> m_tarvo;
    xcb_window_t m_panel = XCB_NONE;
    QRect m_shelf; // the open shelf's window, in root pixels
};

TEST_F(ShelfDragOutX11Test, AFileOntoThunarsFolderArrivesByteForByte) {
    const QByteArray bytes = pngPicture({3, 5}) + "\0 and the rest of a report\n";
    addFile("report.bin", bytes);
    const std::optional<QPoint> tile = openShelf();
    ASSERT_TRUE(tile) << "the shelf did not open";
    const BadgeSeen bare = pressAndLeaveTheShelf(*tile);
    // Back over the shelf the badge goes, and it comes again outside.
    m_hand.glideTo(*tile + QPoint(40, 0));
    EXPECT_TRUE(waitFor([&] { return !badgeShows(); }, 10000)) << "the badge stayed over the shelf";
    m_hand.glideTo(QPoint(tile->x(), 190));
    dropOn(desktop->thunar.centre(), L10n::badgeOriginal(), bare);
    const QString arrived = desktop->dir.file("Folder/report.bin");
    EXPECT_EQ(contentsWhen(arrived, [&](const QByteArray& seen) { return seen == bytes; }), bytes);
}

TEST_F(ShelfDragOutX11Test, APictureOntoABrowserArrivesAsAJPEGWithinThePixelLimit) {
    addFile("photo.png", pngPicture({2400, 1200}), true);
    const std::optional<QPoint> tile = openShelf();
    ASSERT_TRUE(tile) << "the shelf did not open";
    Lines browser(desktop->browser.process());
    browser.forget();
    // The built-in rule for pictures going into a browser: a JPEG of at most
    // 2000 pixels a side.
    dragOut(*tile, desktop->browser.centre(),
            Delivery::image({ImageFormat::jpeg, 2000, 0.85, true}).badgeText());
    const std::optional<QString> drop = browser.waitFor("drop");
    ASSERT_TRUE(drop) << "the browser took nothing";
    const QStringList parts = drop->split(u' ');
    ASSERT_EQ(parts.value(2), "text/uri-list") << drop->toStdString();
    const QString file = QUrl(parts.value(3)).toLocalFile();
    EXPECT_EQ(QFileInfo(file).fileName(), "photo.jpg");
    QImage jpeg;
    ASSERT_TRUE(jpeg.load(file, "JPEG")) << file.toStdString();
    EXPECT_EQ(jpeg.size(), QSize(2000, 1000));
}

TEST_F(ShelfDragOutX11Test, TextIntoMousepadIsInserted) {
    addText("words dragged off the shelf");
    const std::optional<QPoint> tile = openShelf();
    ASSERT_TRUE(tile) << "the shelf did not open";
    dragOut(*tile, desktop->mousepad.centre(), L10n::badgeOriginal());
    pump(500);
    desktop->mousepad.keys({"ctrl+s"});
    const auto inserted = [](const QByteArray& seen) {
        return seen.contains("words dragged off the shelf");
    };
    EXPECT_TRUE(inserted(*contentsWhen(desktop->dir.file("note.txt"), inserted)));
}

TEST_F(ShelfDragOutX11Test, AFileIntoTheTerminalTypesItsQuotedPath) {
    const Item item = addFile("My Notes.txt", "typed");
    const std::optional<QPoint> tile = openShelf();
    ASSERT_TRUE(tile) << "the shelf did not open";
    const qint64 before = typedSoFar();
    dragOut(*tile, desktop->terminal.centre(), L10n::badgePath());
    pump(500);
    desktop->terminal.keys({"Return"});
    const QByteArray expected = TextConverter::quotedPath(storedPath(item)).toUtf8() + '\n';
    EXPECT_EQ(typedSince(before, expected), expected);
}

// Two items selected with a Ctrl-click go together: the badge counts them
// and the terminal gets both paths, quoted, newest first, on one line, so
// that the shell runs neither.
TEST_F(ShelfDragOutX11Test, TwoSelectedFilesIntoTheTerminalTypeBothQuotedPaths) {
    const Item older = addFile("older notes.txt", "first");
    const Item newer = addFile("newer's.txt", "second");
    const std::optional<QPoint> first = openShelf();
    ASSERT_TRUE(first) << "the shelf did not open";
    // Each press waits out the double click, which would open an item.
    const int apart = QApplication::doubleClickInterval() + 300;
    m_hand.press();
    m_hand.release();
    pump(apart);
    const QPoint second = tile(1);
    m_hand.glideTo(second, 8);
    pump(apart);
    m_hand.key(XK_Control_L, true);
    m_hand.press();
    m_hand.release();
    m_hand.key(XK_Control_L, false);
    pump(apart);
    const qint64 before = typedSoFar();
    const BadgeSeen bare = pressAndLeaveTheShelf(second);
    dropOn(desktop->terminal.centre(),
           L10n::badgeBatch(2) + QStringLiteral(" \u00B7 ") + L10n::badgePath(), bare);
    pump(500);
    desktop->terminal.keys({"Return"});
    const QByteArray expected =
        TextConverter::quotedPaths({storedPath(newer), storedPath(older)}).toUtf8() + '\n';
    EXPECT_EQ(typedSince(before, expected), expected);
}

// Let go over the bare desktop, or Escape pressed over a program that would
// take the item: the drag ends, the badge goes and the program gets nothing.
TEST_F(ShelfDragOutX11Test, ADragLetGoOverNothingOrCancelledWithEscapeDeliversNothing) {
    addFile("kept.txt", "stays on the shelf");
    for (const bool escape : {false, true}) {
        SCOPED_TRACE(escape ? "Escape over Thunar" : "let go over the desktop");
        const std::optional<QPoint> tile = openShelf();
        ASSERT_TRUE(tile) << "the shelf did not open";
        const BadgeSeen bare = pressAndLeaveTheShelf(*tile);
        if (escape) {
            m_hand.glideTo(desktop->thunar.centre());
            badgeAt(desktop->thunar.centre(), bare.text);
            m_hand.key(XK_Escape, true);
            m_hand.key(XK_Escape, false);
            EXPECT_TRUE(waitFor([&] { return m_windows.dragOwner() == XCB_NONE; }, 10000))
                << "Escape did not end the drag";
        }
        m_hand.release();
        EXPECT_TRUE(
            waitFor([&] { return !badgeShows() && m_windows.dragOwner() == XCB_NONE; }, 10000))
            << "the drag or its badge stayed";
        pump(1000);
        EXPECT_FALSE(QFileInfo::exists(desktop->dir.file("Folder/kept.txt")));
        m_hand.glideTo(m_away);
        EXPECT_EQ(m_tarvo->terminate(), 0);
        m_tarvo.reset();
    }
}

// A text item saved by a file manager is a plain-text file named after the
// item, holding its words: Thunar and PCManFM alike.
TEST_F(ShelfDragOutX11Test, ATextItemOntoAFileManagerArrivesAsItsTextFile) {
    ASSERT_TRUE(startTarvo());
    const QString words = QStringLiteral("plain words from the shelf");
    const std::optional<Item> item = dragIntoShelf({"--text", words});
    ASSERT_TRUE(item) << "no drag filled the shelf";
    ASSERT_EQ(item->payload, ItemPayload::text(words));
    const QString fileName = item->displayName + QStringLiteral(".txt");
    const struct {
        QString program;
        QString folder;
    } fileManagers[] = {{"thunar", desktop->dir.file("Folder")},
                        {"pcmanfm", desktop->dir.file("PCManFM folder")}};
    for (const auto& fileManager : fileManagers) {
        SCOPED_TRACE(fileManager.program.toStdString());
        // Thunar runs for the whole suite; PCManFM stands over it here.
        DesktopProgram started;
        QPoint target = desktop->thunar.centre();
        if (fileManager.program != QLatin1String("thunar")) {
            QDir().mkpath(fileManager.folder);
            ASSERT_TRUE(started.start(fileManager.program, {fileManager.folder},
                                      fileManager.program, {40, 230, 400, 240}));
            target = started.centre();
        }
        const std::optional<QPoint> tile = openShelf();
        ASSERT_TRUE(tile) << "the shelf did not open";
        dragOut(*tile, target, L10n::badgeOriginal());
        const QString arrived = QDir(fileManager.folder).filePath(fileName);
        EXPECT_EQ(contentsWhen(arrived,
                               [&](const QByteArray& seen) { return seen == words.toUtf8(); }),
                  words.toUtf8())
            << QDir(fileManager.folder).entryList(QDir::Files).join(u',').toStdString();
        m_hand.glideTo(m_away);
    }
}

// Dropped on the chip of a pinned editor, a text item is pasted into it, and
// that is a delivery like any other.
TEST_F(ShelfDragOutX11Test, ATextItemOnMousepadsChipIsPastedIntoIt) {
    const QString mousepadID = QStringLiteral("org.xfce.mousepad");
    {
        RulesStore rules(m_home.file("data/Tarvo"));
        rules.categories().pin(mousepadID);
        ASSERT_TRUE(rules.save());
        rules.waitForWrites();
        // A destination log that names no folder: Mousepad's is the only chip.
        DestinationLog destinations(m_home.file("data/Tarvo/destinations.json"));
        destinations.noteApp(mousepadID, Date::now());
        destinations.waitForWrites();
    }
    ASSERT_TRUE(startTarvo());
    const QString words = QStringLiteral("pasted through the chip");
    ASSERT_TRUE(dragIntoShelf({"--text", words})) << "no drag filled the shelf";
    const std::optional<QPoint> tile = openShelf();
    ASSERT_TRUE(tile) << "the shelf did not open";
    pressAndLeaveTheShelf(*tile);
    // While the item is dragged the island holds a row of chips along its
    // lower edge, 40 points high; the one chip stands in its middle.
    const QPoint chip(m_shelf.center().x(), m_shelf.top() + 132 - 22);
    m_hand.glideTo(chip);
    EXPECT_TRUE(waitFor([&] { return !badgeShows(); }, 10000)) << "the badge stayed over the shelf";
    pump(300);
    screenshot("chip-before-release");
    releaseAndWait();
    m_hand.glideTo(m_away);
    EXPECT_TRUE(mousepadSaves(words)) << "nothing was pasted into mousepad";
    EXPECT_EQ(m_tarvo->terminate(), 0);
    EXPECT_EQ(deliveriesCounted(), 1);
}

// Text that an editor inserts and a path that a terminal types are each one
// delivery: counted once, and undone once (the second undo finds nothing).
TEST_F(ShelfDragOutX11Test, WhatAnEditorInsertsAndATerminalTypesIsCountedAndUndoneOnce) {
    ASSERT_TRUE(startTarvo());
    const QString path = desktop->dir.write("counted notes.txt", "counted");
    const std::optional<Item> file = dragIntoShelf({"--uri", path});
    ASSERT_TRUE(file) << "no drag of a file filled the shelf";
    const QString words = QStringLiteral("inserted and counted");
    ASSERT_TRUE(dragIntoShelf({"--text", words})) << "no drag of text filled the shelf";

    std::optional<QPoint> newest = openShelf();
    ASSERT_TRUE(newest) << "the shelf did not open";
    dragOut(*newest, desktop->mousepad.centre(), L10n::badgeOriginal());
    pump(500);
    EXPECT_TRUE(mousepadSaves(words)) << "nothing was inserted into mousepad";
    undoOnTheShelf();
    undoOnTheShelf();

    ASSERT_TRUE(openShelf()) << "the shelf did not open again";
    m_hand.glideTo(tile(1), 8);
    pump(500);
    const qint64 before = typedSoFar();
    dragOut(tile(1), desktop->terminal.centre(), L10n::badgePath());
    pump(500);
    desktop->terminal.keys({"Return"});
    const QByteArray expected = TextConverter::quotedPath(storedPath(*file)).toUtf8() + '\n';
    EXPECT_EQ(typedSince(before, expected), expected);
    undoOnTheShelf();
    undoOnTheShelf();

    EXPECT_EQ(m_tarvo->terminate(), 0);
    EXPECT_EQ(deliveriesCounted(), 2);
    EXPECT_EQ(undosCounted(), 2);
}

// A window that speaks no drag protocol, as xterm's: over it the badge
// promises nothing, and a release there types nothing, is not counted and
// is said to have delivered nothing.
TEST_F(ShelfDragOutX11Test, OverAWindowThatTakesNoDropsNothingIsPromisedOrDelivered) {
    ASSERT_TRUE(startTarvo());
    ASSERT_TRUE(dragIntoShelf({"--text", "never typed"})) << "no drag filled the shelf";
    const QString typed = desktop->dir.write("xterm.txt", "");
    DesktopProgram xterm;
    ASSERT_TRUE(xterm.start("xterm", {"-e", "sh", "-c", "cat > '" + typed + "'"}, "xterm",
                            {470, 540, 300, 200}));
    const std::optional<QPoint> tile = openShelf();
    ASSERT_TRUE(tile) << "the shelf did not open";
    pressAndLeaveTheShelf(*tile);
    m_hand.glideTo(xterm.centre());
    EXPECT_TRUE(waitFor([&] { return !badgeShows(); }, 10000))
        << "over xterm the badge says " << m_windows.name(badgeWindow().value_or(XCB_NONE)).toStdString();
    // Moving on over it shows none.
    for (const QPoint step : {QPoint(-40, 20), QPoint(30, -30)}) {
        m_hand.glideTo(xterm.centre() + step, 8);
        pump(300);
        EXPECT_FALSE(badgeShows()) << "a badge came over xterm";
    }
    releaseAndWait();
    pump(500);
    screenshot("xterm-after-release");
    m_hand.glideTo(m_away);
    pump(1500);
    EXPECT_EQ(QFileInfo(typed).size(), 0) << "something was typed into xterm";
    EXPECT_EQ(m_tarvo->terminate(), 0);
    EXPECT_EQ(deliveriesCounted(), 0);
}

} // namespace
} // namespace tarvo::test

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(
        new tarvo::test::DesktopEnvironment<tarvo::test::Desktop>(tarvo::test::desktop));
    return RUN_ALL_TESTS();
}
