// Drops onto the running tarvo program from the desktop's programs, as a user
// makes them under Xvfb with openbox: a file from a GTK 3 program, from
// Thunar and from PCManFM lands as the right item, and the same file dropped
// again finds the item already on the shelf. Run by run-drop.sh, which starts
// and stops the display, the window manager and a session bus.
#include "TarvoCore/Preferences.h"
#include "TarvoCore/UserDefaults.h"
#include "support/TempDir.h"
#include "support/X11TestTools.h"
#include "x11/TarvoProgram.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPixmap>
#include <QProcess>
#include <QScreen>

#include <algorithm>
#include <functional>
#include <optional>

namespace tarvo::test {
namespace {

QString run(const QString& program, const QStringList& arguments, int ms = 20000) {
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(ms);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// One shelf item as the running program stored it.
struct StoredItem {
    QString id;
    QString displayName;
    QString sourceURL;
    bool ready = false;
};

// The items the shelf's index lists, in its order, as the running program
// stored them.
std::vector<StoredItem> storedItems(const QString& folder) {
    std::vector<StoredItem> found;
    QFile index(folder + QStringLiteral("/tarvo.json"));
    if (!index.open(QIODevice::ReadOnly))
        return found;
    const QJsonArray order =
        QJsonDocument::fromJson(index.readAll()).object().value("order").toArray();
    for (const QJsonValue& id : order) {
        QFile file(folder + u'/' + id.toString() + QStringLiteral("/item.json"));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QJsonObject item = QJsonDocument::fromJson(file.readAll()).object();
        found.push_back({id.toString(), item.value("displayName").toString(),
                         item.value("sourceURL").toString(),
                         item.value("state").toObject().contains("ready")});
    }
    return found;
}

// Folders of items taken off the shelf, kept a while for undo.
int removedFolders(const QString& folder) {
    return int(QDir(folder)
                   .entryList({QStringLiteral(".removed*")},
                              QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot)
                   .size());
}

// What the screen shows in `area`.
QImage screenArea(const QRect& area) {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return {};
    return screen->grabWindow(0, area.x(), area.y(), area.width(), area.height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

// The bounds of the topmost run of pixels that differ between two pictures
// of one area: what appeared highest up, within `depth` rows of its top.
std::optional<QRect> topmostChange(const QImage& before, const QImage& after, int depth) {
    if (before.size() != after.size() || before.isNull())
        return std::nullopt;
    std::optional<QRect> found;
    for (int y = 0; y < after.height(); ++y) {
        if (found && y > found->top() + depth)
            break;
        const auto* a = reinterpret_cast<const QRgb*>(before.constScanLine(y));
        const auto* b = reinterpret_cast<const QRgb*>(after.constScanLine(y));
        for (int x = 0; x < after.width(); ++x) {
            if (a[x] == b[x])
                continue;
            found = found ? found->united(QRect(x, y, 1, 1)) : QRect(x, y, 1, 1);
        }
    }
    return found;
}

// Where a file manager draws a file that `write` makes in the folder its
// window shows: the window is left to settle, the file written, and the
// topmost change is the file's icon with its label (a status line below may
// change too); the point is the icon, the upper part of that change. None
// when the window never settles or never shows the file.
std::optional<QPoint> placeOfNewFile(XTestHand& hand, const QRect& window,
                                     const std::function<void()>& write) {
    hand.moveTo(window.bottomRight() + QPoint(60, 60));
    QImage empty;
    if (!waitFor(
            [&] {
                const QImage now = screenArea(window);
                const bool settled = !now.isNull() && now == empty;
                empty = now;
                pump(500);
                return settled;
            },
            60000))
        return std::nullopt;
    write();
    std::optional<QRect> shown;
    if (!waitFor(
            [&] {
                const std::optional<QRect> now = topmostChange(empty, screenArea(window), 140);
                const bool settled = now && now == shown;
                shown = now;
                pump(500);
                return settled;
            },
            60000))
        return std::nullopt;
    return window.topLeft() +
           QPoint(shown->center().x(), shown->top() + std::min(24, shown->height() / 3));
}

// A program whose window is placed where the test wants it.
class Program final {
public:
    ~Program() {
        m_process.kill();
        m_process.waitForFinished(2000);
    }
    // Started and placed; the window's frame, or none.
    std::optional<QRect> start(const QString& program, const QStringList& arguments,
                               const QString& windowClass, QRect where) {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(program, arguments);
        const QString window = run("timeout", {"20", "xdotool", "search", "--sync", "--onlyvisible",
                                               "--class", windowClass})
                                   .section(u'\n', 0, 0);
        if (window.isEmpty())
            return std::nullopt;
        run("xdotool",
            {"windowmove", window, QString::number(where.x()), QString::number(where.y())});
        run("xdotool", {"windowsize", window, QString::number(where.width()),
                        QString::number(where.height())});
        std::optional<QRect> placed;
        waitFor(
            [&] {
                QRect rect;
                for (const QString& line :
                     run("xdotool", {"getwindowgeometry", "--shell", window}).split(u'\n')) {
                    const QString key = line.section(u'=', 0, 0);
                    const int value = line.section(u'=', 1).toInt();
                    if (key == QLatin1String("X"))
                        rect.moveLeft(value);
                    else if (key == QLatin1String("Y"))
                        rect.moveTop(value);
                    else if (key == QLatin1String("WIDTH"))
                        rect.setWidth(value);
                    else if (key == QLatin1String("HEIGHT"))
                        rect.setHeight(value);
                }
                if (rect.width() < where.width() - 10)
                    return false;
                placed = rect;
                return true;
            },
            10000);
        return placed;
    }
    void startProbe(const QStringList& arguments) {
        m_process.start(QString::fromLocal8Bit(qgetenv("TARVO_GTK_PROBE")), arguments);
    }
    std::optional<QPoint> ready() { return readyPoint(m_process); }

private:
    QProcess m_process;
};

class DropOnTarvo : public ::testing::Test {
protected:
    // Past the tutorial, as on every start but the first: its window would
    // stand over the file managers' windows.
    void SetUp() override {
        UserDefaults defaults(m_home.file("config/Tarvo/Tarvo.conf"));
        Preferences(defaults).setHasCompletedOnboarding(true);
    }

    // A loaded machine can take the first press for a click: the drag is
    // tried again from the same icon until a deadline. Whether one ready
    // item landed in `items`.
    static bool dragUntilOneLands(XTestHand& hand, QPoint icon, const QString& items) {
        QElapsedTimer trying;
        trying.start();
        while (trying.elapsed() < 90000) {
            dragUpIntoShelf(hand, icon);
            if (waitFor(
                    [&] {
                        const std::vector<StoredItem> stored = storedItems(items);
                        return stored.size() == 1 && stored.front().ready;
                    },
                    5000))
                return true;
            pump(2500);
        }
        return false;
    }

    TempDir m_home;
    TempDir m_files;
};

TEST_F(DropOnTarvo, AFileFromAGtkProgramLandsAndAgainFindsTheItemAlreadyThere) {
    TarvoProcess tarvo(m_home);
    tarvo.start();
    const QString path = m_files.write("from gtk.txt", "written in a GTK program");
    Program probe;
    probe.startProbe(
        {"source", "--class", "gtkprobe", "--geometry", "440,420,400,240", "--uri", path});
    const std::optional<QPoint> centre = probe.ready();
    ASSERT_TRUE(centre);
    pump(1000);

    XTestHand hand;
    ASSERT_TRUE(hand.ok());
    dragUpIntoShelf(hand, *centre);
    ASSERT_TRUE(waitFor(
        [&] {
            const std::vector<StoredItem> items = storedItems(tarvo.itemsFolder());
            return items.size() == 1 && items.front().ready;
        },
        20000))
        << "the dropped file did not land";
    const StoredItem landed = storedItems(tarvo.itemsFolder()).front();
    EXPECT_EQ(landed.displayName, QStringLiteral("from gtk.txt"));
    EXPECT_EQ(QUrl(landed.sourceURL), QUrl::fromLocalFile(path));
    QFile copy(tarvo.itemsFolder() + u'/' + landed.id + QStringLiteral("/from gtk.txt"));
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.readAll(), "written in a GTK program");

    pump(3000); // the shelf folds away before the next drag
    dragUpIntoShelf(hand, *centre);
    EXPECT_TRUE(waitFor([&] { return removedFolders(tarvo.itemsFolder()) == 1; }, 20000))
        << "the second drop's own copy was not given up";
    const std::vector<StoredItem> after = storedItems(tarvo.itemsFolder());
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(after.front().id, landed.id);
    EXPECT_EQ(tarvo.terminate(), 0);
}

TEST_F(DropOnTarvo, AFileFromThunarLandsAsThatFile) {
    TarvoProcess tarvo(m_home);
    tarvo.start();
    QDir().mkpath(m_files.file("Folder"));
    Program thunar;
    const std::optional<QRect> window =
        thunar.start("thunar", {m_files.file("Folder")}, "thunar", {320, 300, 640, 420});
    ASSERT_TRUE(window) << "thunar did not start";

    XTestHand hand;
    ASSERT_TRUE(hand.ok());
    const std::optional<QPoint> icon = placeOfNewFile(
        hand, *window, [&] { m_files.write("Folder/report.txt", "quarterly numbers"); });
    ASSERT_TRUE(icon) << "thunar never showed the new file";

    ASSERT_TRUE(dragUntilOneLands(hand, *icon, tarvo.itemsFolder()))
        << "no drag from thunar landed";
    const StoredItem item = storedItems(tarvo.itemsFolder()).front();
    EXPECT_EQ(item.displayName, QStringLiteral("report.txt"));
    EXPECT_EQ(QUrl(item.sourceURL), QUrl::fromLocalFile(m_files.file("Folder/report.txt")));
    EXPECT_EQ(tarvo.terminate(), 0);
}

TEST_F(DropOnTarvo, AFileFromPCManFMLandsAsThatFileAndAgainAsTheSameItem) {
    TarvoProcess tarvo(m_home);
    tarvo.start();
    QDir().mkpath(m_files.file("Shelf folder"));
    Program pcmanfm;
    const std::optional<QRect> window =
        pcmanfm.start("pcmanfm", {m_files.file("Shelf folder")}, "pcmanfm", {320, 300, 640, 420});
    ASSERT_TRUE(window) << "pcmanfm did not start";
    XTestHand hand;
    ASSERT_TRUE(hand.ok());
    const std::optional<QPoint> icon = placeOfNewFile(hand, *window, [&] {
        m_files.write("Shelf folder/minutes.txt", "what was decided");
    });
    ASSERT_TRUE(icon) << "pcmanfm never showed the new file";

    ASSERT_TRUE(dragUntilOneLands(hand, *icon, tarvo.itemsFolder()))
        << "no drag from pcmanfm landed";
    const StoredItem item = storedItems(tarvo.itemsFolder()).front();
    EXPECT_EQ(item.displayName, QStringLiteral("minutes.txt"));
    EXPECT_EQ(QUrl(item.sourceURL), QUrl::fromLocalFile(m_files.file("Shelf folder/minutes.txt")));
    QFile copy(tarvo.itemsFolder() + u'/' + item.id + QStringLiteral("/minutes.txt"));
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.readAll(), "what was decided");

    pump(3000); // the shelf folds away before the next drag
    dragUpIntoShelf(hand, *icon);
    EXPECT_TRUE(waitFor([&] { return removedFolders(tarvo.itemsFolder()) == 1; }, 20000))
        << "the second drop was not taken as the item already there";
    const std::vector<StoredItem> after = storedItems(tarvo.itemsFolder());
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(after.front().id, item.id);
    EXPECT_EQ(tarvo.terminate(), 0);
}

} // namespace
} // namespace tarvo::test
