// Drops onto the running tarvo program from web browsers and an archiver, as a
// user makes them: links, words and images from a page that a server of the
// test's own serves on 127.0.0.1, in Chromium and Firefox ESR as installed,
// and a member of an archive from xarchiver, each dragged with the pointer up
// to the top of the screen where the shelf unfolds. And back out: a picture
// taken from Chromium dragged from the shelf onto a page in Chromium, and into
// a file manager's window that saves by direct save. Run by
// run-browser-drop.sh, which starts and stops the display, the window manager
// and a session bus.
#include "DesktopProgram.h"
#include "LocalServices.h"

#include "TarvoCore/ContentHash.h"
#include "TarvoCore/Files.h"
#include "TarvoCore/Preferences.h"
#include "TarvoCore/RuleModel.h"
#include "TarvoCore/UserDefaults.h"

#include "support/TempDir.h"
#include "support/X11TestTools.h"
#include "x11/TarvoProgram.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>

#include <optional>

namespace tarvo::test {
namespace {

// One shelf item as the running program stored it.
struct StoredItem {
    QString id;
    QJsonObject json;
    bool ready() const { return json.value("state").toObject().contains("ready"); }
    QString displayName() const { return json.value("displayName").toString(); }
    QString contentHash() const { return json.value("contentHash").toString(); }
    QJsonObject payload(const char* kind) const {
        return json.value("payload").toObject().value(kind).toObject();
    }
};

// The items the shelf's index lists, in its order.
std::vector<StoredItem> storedItems(const QString& folder) {
    std::vector<StoredItem> found;
    QFile index(folder + QStringLiteral("/tarvo.json"));
    if (!index.open(QIODevice::ReadOnly))
        return found;
    const QJsonArray order =
        QJsonDocument::fromJson(index.readAll()).object().value("order").toArray();
    for (const QJsonValue& id : order) {
        QFile file(folder + u'/' + id.toString() + QStringLiteral("/item.json"));
        if (file.open(QIODevice::ReadOnly))
            found.push_back({id.toString(), QJsonDocument::fromJson(file.readAll()).object()});
    }
    return found;
}

QByteArray contentsOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A picture of noise, which no encoder makes small: about 13 MB as PNG at
// 2080 pixels square.
void writeNoise(const QString& path, QSize size) {
    QImage image(size, QImage::Format_RGB32);
    QRandomGenerator random(26);
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<quint32*>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            line[x] = random.generate() | 0xff000000u;
    }
    image.save(path, "PNG");
}

class BrowserDropOnTarvo : public ::testing::Test {
protected:
    void SetUp() override {
        QDir().mkpath(m_site.file("."));
        m_site.write("link.html",
                     "<!doctype html><title>Link page</title><style>html,body{margin:0;height:"
                     "100%}a{position:fixed;inset:0;font:40px sans-serif}</style><a "
                     "href=\"http://127.0.0.1:9/far.html\">A page far away</a>");
        m_site.write("text.html",
                     "<!doctype html><title>Text page</title><style>html,body{margin:0;height:"
                     "100%}p{position:fixed;inset:0;margin:0;font:64px sans-serif}</style><p "
                     "id=t>Words chosen on a page</p><script>getSelection().selectAllChildren("
                     "document.getElementById('t'))</script>");
        for (const char* name : {"big", "large", "small"}) {
            m_site.write(QString::fromLatin1(name) + ".html",
                         QByteArray("<!doctype html><title>Image page</title><style>html,body{"
                                    "margin:0;height:100%}img{position:fixed;inset:0;width:100%;"
                                    "height:100%}</style><img src=") +
                             name + ".png>");
        }
        // A picture wider than the browser rule's pixel limit, whose JPEG
        // is too large to be handed over in one piece, on a page whose title
        // tells what a drop on it brought: the drops so far, the files of
        // the last, and for each its name, type, size, first bytes and size
        // in pixels. Drags that begin on the page itself it leaves to others.
        m_site.write("drop.html",
                     "<!doctype html><title>Waiting</title><style>html,body{margin:0;height:100%}"
                     "img{position:fixed;inset:0;width:100%;height:100%}</style><img "
                     "src=wide.png><script>let own=false,drops=0;"
                     "addEventListener('dragstart',()=>own=true);"
                     "addEventListener('dragend',()=>own=false);"
                     "addEventListener('dragover',e=>{if(!own)e.preventDefault()});"
                     "addEventListener('drop',async e=>{e.preventDefault();++drops;"
                     "const files=[...e.dataTransfer.files],seen=['drops',drops,'files',"
                     "files.length];for(const f of files){const head=new Uint8Array(await "
                     "f.slice(0,3).arrayBuffer());seen.push(f.name,f.type||'-',f.size,[...head]"
                     ".map(b=>b.toString(16).padStart(2,'0')).join(''),await createImageBitmap(f)"
                     ".then(i=>i.width+'x'+i.height,()=>'none'))}document.title=seen.join(' ')})"
                     "</script>");
        {
            // Noise in tiles of 48 pixels, which PNG finds again along each
            // line and JPEG cannot make small: its JPEG takes over a megabyte.
            writeNoise(m_site.file("wide.png"), {48, 48});
            const QImage tile(m_site.file("wide.png"));
            QImage wide(2400, 1200, QImage::Format_RGB32);
            QPainter(&wide).fillRect(wide.rect(), QBrush(tile));
            wide.save(m_site.file("wide.png"), "PNG");
        }
        writeNoise(m_site.file("big.png"), {2080, 2080});
        // About 3 MB: Chromium announces its bytes in pieces and sends none.
        writeNoise(m_site.file("large.png"), {1000, 1000});
        QImage small(64, 48, QImage::Format_RGB32);
        small.fill(QColor(70, 130, 180));
        small.save(m_site.file("small.png"), "PNG");
        m_server = std::make_unique<PageServer>(m_site.file("."));
        ASSERT_TRUE(m_server->ok()) << "no page server";
        // Past the tutorial, as on every start but the first: its window
        // would stand over the programs dragged from.
        {
            UserDefaults defaults(m_home.file("config/Tarvo/Tarvo.conf"));
            Preferences(defaults).setHasCompletedOnboarding(true);
        }
        m_tarvo = std::make_unique<TarvoProcess>(m_home);
        m_tarvo->start();
        ASSERT_TRUE(m_hand.ok());
    }
    void TearDown() override { m_tarvo.reset(); }

    bool startChromium(DesktopProgram& browser, const QString& page) {
        return browser.start("chromium",
                             {"--no-sandbox", "--user-data-dir=" + m_profile.file("chromium"),
                              "--ozone-platform=x11", "--no-first-run",
                              "--no-default-browser-check", "--disable-background-networking",
                              "--disable-component-update", "--disable-sync",
                              "--disable-features=Translate,MediaRouter", "--password-store=basic",
                              "--disable-gpu", "--app=" + m_server->url(page)},
                             "chromium", {240, 260, 800, 480});
    }
    bool startFirefox(DesktopProgram& browser, const QString& page) {
        const QString profile = m_profile.file("firefox");
        QDir().mkpath(profile);
        m_profile.write("firefox/user.js",
                        "user_pref(\"browser.shell.checkDefaultBrowser\", false);\n"
                        "user_pref(\"browser.startup.homepage_override.mstone\", \"ignore\");\n"
                        "user_pref(\"datareporting.policy.dataSubmissionEnabled\", false);\n"
                        "user_pref(\"toolkit.telemetry.reportingpolicy.firstRun\", false);\n"
                        "user_pref(\"browser.aboutwelcome.enabled\", false);\n"
                        "user_pref(\"app.update.auto\", false);\n"
                        "user_pref(\"browser.tabs.warnOnClose\", false);\n");
        return browser.start(
            "firefox-esr",
            {"--no-remote", "--new-instance", "--profile", profile, m_server->url(page)}, "firefox",
            {240, 260, 800, 480});
    }

    // Waits for `count` items, all settled (ready or failed).
    std::vector<StoredItem> settledItems(std::size_t count, int ms = 30000) {
        std::vector<StoredItem> items;
        waitFor(
            [&] {
                items = storedItems(m_tarvo->itemsFolder());
                if (items.size() != count)
                    return false;
                for (const StoredItem& item : items) {
                    if (item.json.value("state").toObject().contains("receiving"))
                        return false;
                }
                return true;
            },
            ms);
        return items;
    }

    // Drags from the page's middle until something lands, a few times: a
    // loaded machine may still be drawing the page at the first try.
    std::vector<StoredItem> dragUntilLanded(const DesktopProgram& browser, std::size_t count) {
        std::vector<StoredItem> items;
        for (int attempt = 0; attempt < 3 && items.size() != count; ++attempt) {
            dragUpIntoShelf(m_hand, browser.centre());
            items = settledItems(count, 15000);
            if (items.size() != count)
                pump(2500);
        }
        return items;
    }

    // Starts Chromium on `page` and drags from its middle onto the shelf
    // until an item lands: that item; none when nothing did.
    std::optional<StoredItem> landFromChromium(DesktopProgram& browser, const QString& page) {
        if (!startChromium(browser, page)) {
            ADD_FAILURE() << "chromium did not start";
            return std::nullopt;
        }
        pump(3000);
        const std::vector<StoredItem> items = dragUntilLanded(browser, 1);
        if (items.size() != 1) {
            ADD_FAILURE() << "nothing landed from chromium";
            return std::nullopt;
        }
        return items.front();
    }

    QString stored(const StoredItem& item, const char* kind) const {
        return m_tarvo->itemsFolder() + u'/' + item.id + u'/' +
               item.payload(kind).value("name").toString();
    }

    // Opens the shelf, presses on its newest item and drags it down out of
    // the island over the bare desktop and on to `target`; where `badge` is
    // given, waits for the cursor badge to say it there. The shelf as it
    // stood; none when it did not open.
    std::optional<OpenShelf> pickUpAndMoveTo(QPoint target, const QString& badge = {}) {
        const std::optional<OpenShelf> shelf = openShelf(*m_tarvo, m_windows);
        if (!shelf)
            return std::nullopt;
        const QPoint tile = shelf->tile(0, 1);
        m_hand.glideTo(tile, 8);
        pump(500);
        m_hand.press();
        pump(200);
        m_hand.glideTo(tile + QPoint(0, 12), 6);
        m_hand.glideTo(QPoint(tile.x(), shelf->frame.bottom() + 40));
        m_hand.glideTo(target);
        if (!badge.isEmpty()) {
            QString said;
            EXPECT_TRUE(waitFor(
                [&] {
                    const std::optional<xcb_window_t> window = m_windows.toolTipOf(m_tarvo->pid());
                    said = window && m_windows.isViewable(*window) ? m_windows.name(*window)
                                                                   : QString();
                    return said == badge;
                },
                10000))
                << "the badge said \"" << said.toStdString() << '"';
        }
        m_hand.glideTo(target + QPoint(-20, 15), 6);
        pump(300);
        return shelf;
    }

    // The counters the program wrote, read once it has ended.
    qint64 deliveriesCounted() {
        EXPECT_EQ(m_tarvo->terminate(), 0);
        UserDefaults defaults(m_home.file("config/Tarvo/Tarvo.conf"));
        return Preferences(defaults).dropCount();
    }

    TempDir m_home;
    TempDir m_site;
    TempDir m_profile;
    std::unique_ptr<PageServer> m_server;
    std::unique_ptr<TarvoProcess> m_tarvo;
    X11Windows m_windows;
    XTestHand m_hand;
};

// Chromium finds drop targets in a picture of the windows it takes when its
// drag begins and keeps up to date from then on only by the events it hears:
// the shelf, which unfolds during the drag, is there already, mapped and
// shaped to nothing.
TEST_F(BrowserDropOnTarvo, ALinkFromChromiumLandsWithItsTitle) {
    DesktopProgram browser;
    const std::optional<StoredItem> item = landFromChromium(browser, "link.html");
    ASSERT_TRUE(item);
    EXPECT_EQ(item->payload("url").value("_0").toString(), "http://127.0.0.1:9/far.html");
    EXPECT_EQ(item->displayName(), "A page far away");
}

TEST_F(BrowserDropOnTarvo, WordsChosenInChromiumLandAsText) {
    DesktopProgram browser;
    const std::optional<StoredItem> item = landFromChromium(browser, "text.html");
    ASSERT_TRUE(item);
    EXPECT_EQ(item->payload("text").value("_0").toString(), "Words chosen on a page");
}

// Chromium cannot save the file itself and hands its bytes over instead.
TEST_F(BrowserDropOnTarvo, AnImageFromChromiumLandsAsTheServedFile) {
    DesktopProgram browser;
    const std::optional<StoredItem> item = landFromChromium(browser, "small.html");
    ASSERT_TRUE(item);
    ASSERT_TRUE(item->ready()) << QJsonDocument(item->json).toJson().toStdString();
    EXPECT_EQ(item->displayName(), "small.png");
    EXPECT_EQ(contentsOf(stored(*item, "image")), contentsOf(m_site.file("small.png")));
}

// Chromium gives none of its drops a time of its own: the same picture
// dragged again is still asked for, and found on the shelf already.
TEST_F(BrowserDropOnTarvo, TheSameImageFromChromiumTwiceIsOneItem) {
    DesktopProgram browser;
    const std::optional<StoredItem> item = landFromChromium(browser, "small.html");
    ASSERT_TRUE(item);
    ASSERT_TRUE(item->ready()) << QJsonDocument(item->json).toJson().toStdString();
    pump(3000); // the shelf folds away before the next drag
    dragUpIntoShelf(m_hand, browser.centre());
    pump(4000);
    const std::vector<StoredItem> again = settledItems(1);
    ASSERT_EQ(again.size(), 1u) << QJsonDocument(again.back().json).toJson().toStdString();
    EXPECT_EQ(again.front().id, item->id);
}

// A picture Chromium can neither save nor hand over lands as its address.
TEST_F(BrowserDropOnTarvo, ALargeImageFromChromiumLandsAsTheLinkToIt) {
    ASSERT_GT(QFileInfo(m_site.file("large.png")).size(), 2500000);
    DesktopProgram browser;
    const std::optional<StoredItem> item = landFromChromium(browser, "large.html");
    ASSERT_TRUE(item);
    ASSERT_TRUE(item->ready()) << QJsonDocument(item->json).toJson().toStdString();
    EXPECT_EQ(item->payload("url").value("_0").toString(), m_server->url("large.png"));
    pump(1000); // nothing else comes after it
    EXPECT_EQ(storedItems(m_tarvo->itemsFolder()).size(), 1u);
}

// Out of the shelf onto a page: the rule for pictures going into a browser
// hands over a JPEG of at most 2000 pixels a side, which the page reads as
// its one dropped file, and the delivery counts once.
TEST_F(BrowserDropOnTarvo, APictureOntoAChromiumPageArrivesAsOneJPEGWithinThePixelLimit) {
    DesktopProgram browser;
    const std::optional<StoredItem> item = landFromChromium(browser, "drop.html");
    ASSERT_TRUE(item);
    ASSERT_TRUE(item->ready()) << QJsonDocument(item->json).toJson().toStdString();
    ASSERT_EQ(item->displayName(), "wide.png");
    ASSERT_TRUE(pickUpAndMoveTo(browser.centre(),
                                Delivery::image({ImageFormat::jpeg, 2000, 0.85, true}).badgeText()))
        << "the shelf did not open";
    m_hand.release();
    QString report;
    waitFor(
        [&] {
            report = browser.title();
            return report.startsWith(QLatin1String("drops "));
        },
        20000);
    // drops N files N name type size first-bytes pixels
    const QStringList seen = report.split(u' ');
    ASSERT_EQ(seen.size(), 9) << "the page saw " << report.toStdString();
    EXPECT_EQ(seen[1], "1");
    EXPECT_EQ(seen[3], "1");
    EXPECT_EQ(seen[4], "wide.jpg");
    EXPECT_EQ(seen[5], "image/jpeg");
    EXPECT_EQ(seen[7], "ffd8ff");
    EXPECT_EQ(seen[8], "2000x1000");
    // The file the conversion wrote in the drag's working folder, byte for
    // byte as long as the page's.
    QStringList converted;
    for (QDirIterator files(qEnvironmentVariable("XDG_RUNTIME_DIR") + QStringLiteral("/Tarvo"),
                            {QStringLiteral("wide.jpg")}, QDir::Files,
                            QDirIterator::Subdirectories);
         files.hasNext();)
        converted.push_back(files.next());
    ASSERT_EQ(converted.size(), 1) << converted.join(u' ').toStdString();
    EXPECT_EQ(seen[6].toLongLong(), QFileInfo(converted.front()).size());
    QImage jpeg;
    ASSERT_TRUE(jpeg.load(converted.front(), "JPEG"));
    EXPECT_EQ(jpeg.size(), QSize(2000, 1000));
    EXPECT_EQ(deliveriesCounted(), 1);
}

// A file manager's window that saves by direct save names the folder it put
// the file in: the program keeps that folder among its recent destinations,
// and on the next drag out offers it as the first chip, which takes the item
// as well.
TEST_F(BrowserDropOnTarvo, TheFolderADirectSaveWentIntoIsKeptAndOfferedAsAChipNextTime) {
    {
        DesktopProgram browser;
        const std::optional<StoredItem> item = landFromChromium(browser, "small.html");
        ASSERT_TRUE(item);
        ASSERT_TRUE(item->ready());
    }
    const QString folder = m_site.file("Saved here");
    QDir().mkpath(folder);
    QProcess target;
    target.start(QString::fromLocal8Bit(qgetenv("TARVO_DRAGOUT_SAVE_TARGET")),
                 {"--class", "thunar", "--geometry", "240,300,560,300", "--folder", folder});
    const std::optional<QPoint> over = readyPoint(target);
    ASSERT_TRUE(over) << "the saving window did not show";
    ASSERT_TRUE(pickUpAndMoveTo(*over)) << "the shelf did not open";
    m_hand.release();
    QString saved;
    waitFor(
        [&] {
            while (target.canReadLine()) {
                const QString line = QString::fromUtf8(target.readLine()).trimmed();
                if (line.startsWith(QLatin1String("saved ")))
                    saved = line;
            }
            return !saved.isEmpty();
        },
        20000);
    EXPECT_EQ(saved, "saved " + folder + "/small.png S");
    EXPECT_EQ(contentsOf(folder + "/small.png"), contentsOf(m_site.file("small.png")));

    const auto recentFolders = [&] {
        QStringList paths;
        const QJsonArray entries =
            QJsonDocument::fromJson(contentsOf(m_home.file("data/Tarvo/destinations.json")))
                .array();
        for (const QJsonValue& entry : entries) {
            const QJsonObject kind = entry.toObject().value("kind").toObject();
            if (kind.contains("folder"))
                paths.push_back(kind.value("folder").toObject().value("path").toString());
        }
        return paths;
    };
    QStringList recent;
    waitFor([&] { return (recent = recentFolders()).contains(folder); }, 10000);
    ASSERT_TRUE(recent.contains(folder)) << recent.join(u' ').toStdString();
    target.kill();
    target.waitForFinished(2000);

    // The next drag: past the shelf, where the chips show under the items,
    // the newest folder first, at the left of their row.
    const std::optional<OpenShelf> shelf = pickUpAndMoveTo({640, 500});
    ASSERT_TRUE(shelf) << "the shelf did not open";
    const QRect frame = m_windows.rootGeometry(shelf->panel);
    const int rowMiddle = frame.bottom() - 21;
    std::optional<int> firstChip;
    waitFor(
        [&] {
            QProcess grab;
            grab.start("import", {"-window", "root", "png:-"});
            grab.waitForFinished(20000);
            const QImage screen = QImage::fromData(grab.readAllStandardOutput(), "PNG");
            // From the row's middle leftwards over the dark island: the
            // capsules are light and stand 8 points apart, and the first
            // chip's left edge is the last light point before the island's
            // dark runs on.
            int dark = 0;
            for (int x = frame.center().x(); x > frame.left() && !screen.isNull(); --x) {
                if (qGray(screen.pixel(x, rowMiddle)) > 20) {
                    firstChip = x;
                    dark = 0;
                } else if (++dark > 20 && firstChip) {
                    return true;
                }
            }
            firstChip.reset();
            return false;
        },
        15000);
    ASSERT_TRUE(firstChip) << "no chip under the items";
    m_hand.glideTo({*firstChip + 14, rowMiddle});
    pump(500);
    m_hand.release();
    QByteArray again;
    waitFor([&] { return !(again = contentsOf(folder + "/small 2.png")).isEmpty(); }, 15000);
    EXPECT_EQ(again, contentsOf(m_site.file("small.png")));
}

// Firefox answers a direct save at once and writes the file afterwards: the
// item waits for the whole file, takes its fingerprint, and the same image
// again finds the item already there.
TEST_F(BrowserDropOnTarvo, ImagesFromFirefoxLandWholeAndTheSameImageTwiceIsOneItem) {
    DesktopProgram browser;
    ASSERT_TRUE(startFirefox(browser, "big.html")) << "firefox did not start";
    pump(5000);
    const std::vector<StoredItem> items = dragUntilLanded(browser, 1);
    ASSERT_EQ(items.size(), 1u) << "nothing landed from firefox";
    const StoredItem big = items.front();
    ASSERT_TRUE(big.ready()) << QJsonDocument(big.json).toJson().toStdString();
    EXPECT_EQ(big.contentHash(), ContentHash::ofPath(m_site.file("big.png")));
    EXPECT_TRUE(contentsOf(stored(big, "image")) == contentsOf(m_site.file("big.png")));

    pump(3000); // the shelf folds away before the next drag
    dragUpIntoShelf(m_hand, browser.centre());
    pump(4000);
    const std::vector<StoredItem> again = settledItems(1);
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(again.front().id, big.id);

    browser.keys({"ctrl+l"});
    runCommand("xdotool", {"type", "--delay", "10", m_server->url("small.html")});
    browser.keys({"Return"});
    pump(3000);
    dragUpIntoShelf(m_hand, browser.centre());
    const std::vector<StoredItem> both = settledItems(2);
    ASSERT_EQ(both.size(), 2u);
    const StoredItem& small = both.front();
    ASSERT_TRUE(small.ready());
    EXPECT_EQ(small.contentHash(), ContentHash::ofPath(m_site.file("small.png")));
}

TEST_F(BrowserDropOnTarvo, AMemberOfAnArchiveInXarchiverLandsAsThatFile) {
    QDir().mkpath(m_site.file("zip/inner"));
    m_site.write("zip/member.txt", "inside the archive");
    ASSERT_EQ(QProcess::execute(
                  "sh", {"-c", "cd '" + m_site.file("zip") + "' && zip -q archive.zip member.txt"}),
              0);
    const MachineLock turn("tarvo-tests-xarchiver.lock");
    ASSERT_TRUE(turn.held()) << "another run kept xarchiver for two minutes";
    const auto forgetInstances = [] {
        const QDir tmp(QStringLiteral("/tmp"));
        for (const QString& name : tmp.entryList({QStringLiteral(".xarchiver-socket*")},
                                                 QDir::System | QDir::Hidden | QDir::Files))
            QFile::remove(tmp.filePath(name));
    };
    forgetInstances();
    DesktopProgram xarchiver;
    ASSERT_TRUE(xarchiver.start("xarchiver", {m_site.file("zip/archive.zip")}, "xarchiver",
                                {240, 260, 560, 280}));
    forgetInstances();
    pump(1500);
    // The member's row in the file list, right of the archive tree.
    const QPoint row(xarchiver.left() + 263, xarchiver.top() + 132);
    std::vector<StoredItem> items;
    for (int attempt = 0; attempt < 3 && items.size() != 1; ++attempt) {
        dragUpIntoShelf(m_hand, row);
        items = settledItems(1, 15000);
    }
    ASSERT_EQ(items.size(), 1u) << "nothing landed from xarchiver";
    const StoredItem& item = items.front();
    ASSERT_TRUE(item.ready()) << QJsonDocument(item.json).toJson().toStdString();
    EXPECT_EQ(item.displayName(), "member.txt");
    EXPECT_EQ(contentsOf(stored(item, "file")), "inside the archive");
}

} // namespace
} // namespace tarvo::test
