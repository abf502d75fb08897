// Drops onto the running tarvo program from web browsers and an archiver, as a
// user makes them: links, words and images from a page that a server of the
// test's own serves on 127.0.0.1, in Chromium and Firefox ESR as installed,
// and a member of an archive from xarchiver, each dragged with the pointer up
// to the top of the screen where the shelf unfolds. Run by run-browser-drop.sh,
// which starts and stops the display, the window manager and a session bus.
#include "DesktopProgram.h"
#include "LocalServices.h"

#include "TarvoCore/ContentHash.h"
#include "TarvoCore/Files.h"
#include "TarvoCore/Preferences.h"
#include "TarvoCore/UserDefaults.h"

#include "support/TempDir.h"
#include "support/X11TestTools.h"
#include "x11/TarvoProgram.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
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

// A picture of noise, which no encoder makes small: about 13 MB as PNG.
void writeNoise(const QString& path, int side) {
    QImage image(side, side, QImage::Format_RGB32);
    QRandomGenerator random(26);
    for (int y = 0; y < side; ++y) {
        auto* line = reinterpret_cast<quint32*>(image.scanLine(y));
        for (int x = 0; x < side; ++x)
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
        for (const char* name : {"big", "small"}) {
            m_site.write(QString::fromLatin1(name) + ".html",
                         QByteArray("<!doctype html><title>Image page</title><style>html,body{"
                                    "margin:0;height:100%}img{position:fixed;inset:0;width:100%;"
                                    "height:100%}</style><img src=") +
                             name + ".png>");
        }
        writeNoise(m_site.file("big.png"), 2080);
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

    // From `from` up towards the top of the screen, where the shelf unfolds,
    // and into it; let go there.
    void dragToShelf(QPoint from) {
        m_hand.moveTo(from);
        pump(300);
        m_hand.press();
        pump(150);
        m_hand.glideTo(from + QPoint(0, -30), 6);
        m_hand.glideTo(QPoint(640, 150));
        pump(400);
        m_hand.glideTo(QPoint(640, 50), 12);
        pump(400);
        m_hand.glideTo(QPoint(644, 46), 4);
        pump(300);
        m_hand.release();
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
            dragToShelf(browser.centre());
            items = settledItems(count, 15000);
            if (items.size() != count)
                pump(2500);
        }
        return items;
    }

    QString stored(const StoredItem& item, const char* kind) const {
        return m_tarvo->itemsFolder() + u'/' + item.id + u'/' +
               item.payload(kind).value("name").toString();
    }

    TempDir m_home;
    TempDir m_site;
    TempDir m_profile;
    std::unique_ptr<PageServer> m_server;
    std::unique_ptr<TarvoProcess> m_tarvo;
    XTestHand m_hand;
};

// Chromium finds drop targets in a picture of the windows it takes when its
// drag begins and keeps up to date from then on only by the events it hears:
// the shelf, which unfolds during the drag, is there already, mapped and
// shaped to nothing.
TEST_F(BrowserDropOnTarvo, ALinkFromChromiumLandsWithItsTitle) {
    DesktopProgram browser;
    ASSERT_TRUE(startChromium(browser, "link.html")) << "chromium did not start";
    pump(3000);
    const std::vector<StoredItem> items = dragUntilLanded(browser, 1);
    ASSERT_EQ(items.size(), 1u) << "nothing landed from chromium";
    EXPECT_EQ(items.front().payload("url").value("_0").toString(), "http://127.0.0.1:9/far.html");
    EXPECT_EQ(items.front().displayName(), "A page far away");
}

TEST_F(BrowserDropOnTarvo, WordsChosenInChromiumLandAsText) {
    DesktopProgram browser;
    ASSERT_TRUE(startChromium(browser, "text.html")) << "chromium did not start";
    pump(3000);
    const std::vector<StoredItem> items = dragUntilLanded(browser, 1);
    ASSERT_EQ(items.size(), 1u) << "nothing landed from chromium";
    EXPECT_EQ(items.front().payload("text").value("_0").toString(), "Words chosen on a page");
}

// Chromium cannot save the file itself and hands its bytes over instead.
TEST_F(BrowserDropOnTarvo, AnImageFromChromiumLandsAsTheServedFile) {
    DesktopProgram browser;
    ASSERT_TRUE(startChromium(browser, "small.html")) << "chromium did not start";
    pump(3000);
    const std::vector<StoredItem> items = dragUntilLanded(browser, 1);
    ASSERT_EQ(items.size(), 1u) << "nothing landed from chromium";
    const StoredItem& item = items.front();
    ASSERT_TRUE(item.ready()) << QJsonDocument(item.json).toJson().toStdString();
    EXPECT_EQ(item.displayName(), "small.png");
    EXPECT_EQ(contentsOf(stored(item, "image")), contentsOf(m_site.file("small.png")));
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
    dragToShelf(browser.centre());
    pump(4000);
    const std::vector<StoredItem> again = settledItems(1);
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(again.front().id, big.id);

    browser.keys({"ctrl+l"});
    runCommand("xdotool", {"type", "--delay", "10", m_server->url("small.html")});
    browser.keys({"Return"});
    pump(3000);
    dragToShelf(browser.centre());
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
        dragToShelf(row);
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
