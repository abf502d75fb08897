#include "DropFixture.h"

#include "TarvoConvert/TextConverter.h"
#include "TarvoCore/ContentHash.h"
#include "TarvoCore/DiskIO.h"
#include "TarvoCore/L10n.h"
#include "TarvoPlatform/TypeMapping.h"
#include "TarvoPlatform/memory/MemoryFilePromiseReceiver.h"

#include "support/DiskRecorder.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImage>

#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace tarvo;

namespace {

QByteArray imageBytes(const char* format, int width = 4, int height = 3) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(qRgb(200, 30, 90));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

using DropReceiverTest = test::DropFixture;

TEST_F(DropReceiverTest, DroppedFileBecomesAnItemWithItsCopy) {
    const QString path = writeSource("report.txt", "quarterly numbers");
    const std::vector<Item> items = dropFiles({path});

    ASSERT_EQ(items.size(), 1u);
    const Item& item = items.front();
    EXPECT_EQ(item.payload, ItemPayload::file("report.txt"));
    EXPECT_EQ(item.displayName, "report.txt");
    EXPECT_EQ(item.sourceURL, QUrl::fromLocalFile(path));
    EXPECT_EQ(item.sourceBundleID, "org.example.Files");
    EXPECT_EQ(item.addedAt, m_clock.now());
    EXPECT_TRUE(item.state.isReady());
    EXPECT_FALSE(item.pinned);
    EXPECT_EQ(item.contentHash, ContentHash::ofPath(path));
    EXPECT_EQ(readAll(stored(item)), "quarterly numbers");
    EXPECT_EQ(m_store->items().front(), item);
    ASSERT_EQ(added.size(), 1u);
    EXPECT_EQ(added.front(), items);
    EXPECT_TRUE(duplicates.empty());
}

TEST_F(DropReceiverTest, SeveralFilesLandInOrderAndImagesAreImages) {
    const QString photo = writeSource("Photo.PNG", imageBytes("PNG"));
    const QString notes = writeSource("notes.md", "# notes");
    const std::vector<Item> items = dropFiles({photo, notes});
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].payload, ItemPayload::image("Photo.PNG"));
    EXPECT_EQ(items[1].payload, ItemPayload::file("notes.md"));
    EXPECT_EQ(added.size(), 1u);
}

TEST_F(DropReceiverTest, DroppedFolderComesWholeWithLinksAsLinks) {
    writeSource("Project/a.txt", "alpha");
    writeSource("Project/sub/deeper/b.bin", QByteArray(70000, 'b'));
    writeSource("Project/.hidden", "h");
    ASSERT_EQ(::symlink("sub/deeper/b.bin", QFile::encodeName(source("Project/link")).constData()),
              0);
    ASSERT_EQ(::symlink("/etc/hostname", QFile::encodeName(source("Project/outside")).constData()),
              0);
    ASSERT_EQ(::mkfifo(QFile::encodeName(source("Project/pipe")).constData(), 0600), 0);
    ::chmod(QFile::encodeName(source("Project/a.txt")).constData(), 0640);
    // A fixed time on the folder, so the copy can be checked against it.
    const timespec times[2] = {{1600000000, 0}, {1600000000, 123456789}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(source("Project")).constData(), times, 0), 0);

    const std::vector<Item> items = dropFiles({source("Project")});
    ASSERT_EQ(items.size(), 1u);
    const QString copy = stored(items.front());
    EXPECT_EQ(items.front().payload, ItemPayload::file("Project", true)) << "known to be a folder";
    EXPECT_EQ(readAll(copy + "/a.txt"), "alpha");
    EXPECT_EQ(readAll(copy + "/sub/deeper/b.bin"), QByteArray(70000, 'b'));
    EXPECT_EQ(readAll(copy + "/.hidden"), "h");
    EXPECT_EQ(QFileInfo(copy + "/link").symLinkTarget(), copy + "/sub/deeper/b.bin");
    EXPECT_EQ(QFile::symLinkTarget(copy + "/outside"), "/etc/hostname");
    EXPECT_TRUE(QFileInfo(copy + "/outside").isSymLink());
    EXPECT_FALSE(QFileInfo::exists(copy + "/pipe"));

    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(copy + "/a.txt").constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << "the store's copy is the user's alone";
    ASSERT_EQ(::stat(QFile::encodeName(copy).constData(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1600000000);
    EXPECT_EQ(st.st_mtim.tv_nsec, 123456789);
    // Same name and time: the copy fingerprints as the original, so a second
    // drop of the folder finds the first.
    EXPECT_EQ(items.front().contentHash, ContentHash::ofPath(source("Project")));
    const std::vector<Item> again = dropFiles({source("Project")});
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(again.front().id, items.front().id);
    EXPECT_EQ(itemFolders().size(), 1u);
}

TEST_F(DropReceiverTest, AFolderDroppedAgainAfterAnEditInsideIsNewContent) {
    writeSource("Album/notes.txt", "first draft");
    writeSource("Album/inner/cover.txt", "cover");
    const QByteArray folder = QFile::encodeName(source("Album"));
    const timespec times[2] = {{1600000000, 0}, {1600000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, folder.constData(), times, 0), 0);
    const std::vector<Item> first = dropFiles({source("Album")});
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(dropFiles({source("Album")}).front().id, first.front().id) << "unchanged: the same";

    // Edited in place: the folder keeps its name and time, so its fingerprint.
    writeSource("Album/notes.txt", "second draft, longer");
    ASSERT_EQ(::utimensat(AT_FDCWD, folder.constData(), times, 0), 0);
    ASSERT_EQ(ContentHash::ofPath(source("Album")), first.front().contentHash);
    const std::vector<Item> again = dropFiles({source("Album")});
    ASSERT_EQ(again.size(), 1u);
    EXPECT_NE(again.front().id, first.front().id);
    EXPECT_EQ(readAll(stored(again.front()) + "/notes.txt"), "second draft, longer");
    EXPECT_EQ(readAll(stored(first.front()) + "/notes.txt"), "first draft");
    EXPECT_EQ(m_store->items().size(), 2u);

    // A file added inside, the same.
    writeSource("Album/inner/extra.txt", "");
    ASSERT_EQ(::utimensat(AT_FDCWD, folder.constData(), times, 0), 0);
    EXPECT_EQ(m_store->items().size(), 2u);
    dropFiles({source("Album")});
    EXPECT_EQ(m_store->items().size(), 3u);
}

TEST_F(DropReceiverTest, LinkDroppedAtTheTopStandsForWhatItPointsTo) {
    const QString target = writeSource("real/data.csv", "a,b\n1,2\n");
    writeSource("real/folder/inner.txt", "inner");
    const QString fileLink = source("shortcut.csv");
    const QString folderLink = source("folder-link");
    ASSERT_TRUE(QFile::link(target, fileLink));
    ASSERT_TRUE(QFile::link(source("real/folder"), folderLink));

    const std::vector<Item> items = dropFiles({fileLink, folderLink});
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].payload, ItemPayload::file("shortcut.csv"));
    EXPECT_FALSE(QFileInfo(stored(items[0])).isSymLink());
    EXPECT_EQ(readAll(stored(items[0])), "a,b\n1,2\n");
    EXPECT_FALSE(QFileInfo(stored(items[1])).isSymLink());
    EXPECT_EQ(readAll(stored(items[1]) + "/inner.txt"), "inner");
}

TEST_F(DropReceiverTest, SpecialFilesAreRefusedUnopenedAndTheNextKindIsTried) {
    const QString fifo = source("pipe");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString socketPath = source("sock");
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray native = QFile::encodeName(socketPath);
    ASSERT_LT(static_cast<size_t>(native.size()), sizeof address.sun_path);
    std::memcpy(address.sun_path, native.constData(), static_cast<size_t>(native.size()));
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const QString deviceLink = source("null-link");
    ASSERT_TRUE(QFile::link("/dev/null", deviceLink));

    m_pasteboard.clearContents();
    m_pasteboard.setURLs({QUrl::fromLocalFile(fifo), QUrl::fromLocalFile(socketPath),
                          QUrl::fromLocalFile("/dev/null"), QUrl::fromLocalFile(deviceLink)});
    m_pasteboard.setString(TypeIdentifier::utf8PlainText, "fallback text");
    const std::vector<Item> items = drop();
    ::close(fd);

    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items.front().payload, ItemPayload::text("fallback text"));
    const QString special = ": it is neither a file nor a folder";
    EXPECT_EQ(m_log.lines(),
              (std::vector<QString>{"drag error: could not copy pipe" + special,
                                    "drag error: could not copy sock" + special,
                                    "drag error: could not copy null" + special,
                                    "drag error: could not copy null-link" + special}));
    EXPECT_EQ(itemFolders().size(), 1u); // the text's own folder only
}

TEST_F(DropReceiverTest, FileDropWhoseCopiesAllFailNeverBecomesALink) {
    m_pasteboard.setURLs({QUrl::fromLocalFile(source("gone.txt"))});
    EXPECT_TRUE(drop().empty());
    EXPECT_TRUE(added.empty());
    EXPECT_TRUE(m_store->items().empty());
    EXPECT_TRUE(itemFolders().isEmpty());
    EXPECT_EQ(m_log.lines(), std::vector<QString>{
                                 "drag error: could not copy gone.txt: No such file or directory"});
}

TEST_F(DropReceiverTest, NamesOfTheStoresOwnFilesAreStoredUnderAnother) {
    struct Case {
        QString dropped;
        QString kept;
    };
    const std::vector<Case> cases{
        {"item.json", "item 2.json"},
        {"thumbnail.png", "thumbnail 2.png"},
        {"thumbnail-v4.png", "thumbnail-v4 2.png"},
        {".item.json.0F6A2C1E-3B4D-4E5F-8A9B-0C1D2E3F4A5B.tmp",
         ".item.json.0F6A2C1E-3B4D-4E5F-8A9B-0C1D2E3F4A5B 2.tmp"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dropped.toStdString());
        const QString path = writeSource(c.dropped, "user data: " + c.dropped.toUtf8());
        const std::vector<Item> items = dropFiles({path});
        ASSERT_EQ(items.size(), 1u);
        EXPECT_EQ(items.front().payload.fileName(), c.kept);
        EXPECT_EQ(items.front().displayName, c.dropped);
        EXPECT_EQ(readAll(stored(items.front())), "user data: " + c.dropped.toUtf8());
    }
    // Every item.json is still the store's own: the shelf reloads whole.
    const ItemStore reopened(m_store->root());
    EXPECT_EQ(reopened.items().size(), cases.size());
}

TEST_F(DropReceiverTest, SameContentAgainReportsTheExistingItem) {
    const QString first = writeSource("a/song.flac", QByteArray(3 * 1048576, 'x'));
    const QString second = writeSource("b/copy of song.flac", QByteArray(3 * 1048576, 'x'));
    const std::vector<Item> original = dropFiles({first});
    test::DiskRecorder disk;
    const std::vector<Item> again = dropFiles({second});
    // Recognised from the dropped file itself: no second copy is written.
    for (const QString& call : disk.calls())
        EXPECT_FALSE(call.contains(QLatin1String("song.flac"))) << call.toStdString();
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(again.front(), original.front());
    EXPECT_EQ(m_store->items().size(), 1u);
    EXPECT_EQ(m_store->selection(), QSet<QUuid>{original.front().id});
    EXPECT_EQ(itemFolders().size(), 1u);
    ASSERT_EQ(added.size(), 2u);
    EXPECT_EQ(added.back(), again);
    EXPECT_TRUE(duplicates.empty()); // that callback is for promised files only

    // Equal up to the hashed first MiB but different after it: a new item.
    QByteArray tail(3 * 1048576, 'x');
    tail[2 * 1048576] = 'y';
    const QString third = writeSource("c/song.flac", tail);
    EXPECT_NE(dropFiles({third}).front().id, original.front().id);
    EXPECT_EQ(m_store->items().size(), 2u);
}

TEST_F(DropReceiverTest, ImageDataIsNamedByTheTimeOfThePaste) {
    m_clock.advance(0.25);
    m_pasteboard.setData(TypeIdentifier::png, imageBytes("PNG"));
    m_pasteboard.setData(TypeIdentifier::tiff, imageBytes("TIFF"));
    const std::vector<Item> items = drop(std::nullopt);
    ASSERT_EQ(items.size(), 1u);
    const QString name = "Pasted Image " +
                         DropReceiver::timestamp(m_clock.now(), QTimeZone::systemTimeZone()) +
                         ".png";
    EXPECT_EQ(items.front().payload, ItemPayload::image(name));
    EXPECT_EQ(items.front().displayName, name);
    EXPECT_EQ(items.front().sourceBundleID, std::nullopt);
    EXPECT_EQ(readAll(stored(items.front())), imageBytes("PNG")); // unchanged
    EXPECT_EQ(items.front().contentHash, ContentHash::of(imageBytes("PNG")));
}

// Pasted data is written without a flush of its own: the store flushes it
// once, before the "item.json" that stands for it.
TEST_F(DropReceiverTest, PastedDataIsFlushedOnceBeforeItsMetadata) {
    struct Case {
        const char* name;
        std::function<void(MemoryPasteboard&)> fill;
        const char* file;
    };
    const Case cases[] = {
        {"image", [](MemoryPasteboard& p) { p.setData(TypeIdentifier::png, imageBytes("PNG")); },
         "Pasted Image"},
        {"rich text",
         [](MemoryPasteboard& p) {
             p.setData(TypeIdentifier::rtf, "{\\rtf1\\ansi\\f0 Notes\\par}");
         },
         "Snippet.rtf"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_pasteboard.clearContents();
        c.fill(m_pasteboard);
        test::DiskRecorder disk;
        ASSERT_EQ(drop().size(), 1u);
        const std::vector<QString> calls = disk.calls();
        std::vector<qsizetype> flushes;
        qsizetype metadata = -1;
        for (qsizetype i = 0; i < qsizetype(calls.size()); ++i) {
            if (calls[i].startsWith("flushFile " + QString::fromLatin1(c.file)))
                flushes.push_back(i);
            if (metadata < 0 && calls[i] == "write item.json")
                metadata = i;
        }
        ASSERT_EQ(flushes.size(), 1u);
        EXPECT_LT(flushes.front(), metadata);
    }
}

TEST_F(DropReceiverTest, TIFFAloneIsStoredAsPNG) {
    m_pasteboard.setData(TypeIdentifier::tiff, imageBytes("TIFF", 7, 5));
    const std::vector<Item> items = drop();
    ASSERT_EQ(items.size(), 1u);
    const QByteArray png = readAll(stored(items.front()));
    EXPECT_TRUE(png.startsWith("\x89PNG\r\n\x1a\n"));
    QImage image;
    ASSERT_TRUE(image.loadFromData(png, "PNG"));
    EXPECT_EQ(image.size(), QSize(7, 5));
    EXPECT_EQ(image.pixel(3, 2), qRgb(200, 30, 90));
}

TEST_F(DropReceiverTest, UnreadableTIFFGivesNothingAndLeavesNoFolder) {
    m_pasteboard.setData(TypeIdentifier::tiff, "II*\0not really");
    EXPECT_TRUE(drop().empty());
    EXPECT_TRUE(itemFolders().isEmpty());
    EXPECT_TRUE(added.empty());
}

TEST_F(DropReceiverTest, RichTextKeepsItsDataAndShowsItsText) {
    const QByteArray rtf = "{\\rtf1\\ansi{\\fonttbl\\f0 Helvetica;}\\f0 Meeting notes\\par "
                           "second line}";
    m_pasteboard.setData(TypeIdentifier::rtf, rtf);
    m_pasteboard.setString(TypeIdentifier::utf8PlainText, "Meeting notes");
    const std::vector<Item> items = drop();
    ASSERT_EQ(items.size(), 1u);
    const QString text = TextConverter::plainTextFromRTF(rtf);
    EXPECT_EQ(items.front().payload, ItemPayload::richText("Snippet.rtf", text));
    EXPECT_EQ(items.front().displayName, "Meeting notes");
    EXPECT_EQ(items.front().contentHash, ContentHash::of(rtf));
    EXPECT_EQ(readAll(stored(items.front())), rtf);
}

TEST_F(DropReceiverTest, RichTextWithoutTextFallsThroughToTheNextKinds) {
    struct Case {
        const char* name;
        QString richType;
        QByteArray data;
    };
    const std::vector<Case> cases{
        {"only a picture", TypeIdentifier::rtf, "{\\rtf1{\\pict\\pngblip 89504e47}}"},
        {"not RTF at all", TypeIdentifier::rtf, "plain bytes"},
        // RTFD has no reader here, and RTF is not tried beside it.
        {"RTFD beside RTF", TypeIdentifier::flatRTFD, "rtfd bundle"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_pasteboard.clearContents();
        m_pasteboard.setData(c.richType, c.data);
        if (c.richType == TypeIdentifier::flatRTFD)
            m_pasteboard.setData(TypeIdentifier::rtf, "{\\rtf1 words}");
        m_pasteboard.setURLs({QUrl("https://example.org/page")});
        const std::vector<Item> items = drop();
        ASSERT_EQ(items.size(), 1u);
        EXPECT_TRUE(items.front().payload.is<ItemPayload::Url>());
    }
    EXPECT_EQ(itemFolders().size(), 1u); // the link's folder; no rich text left behind
}

TEST_F(DropReceiverTest, WebLinksTakeTheirTitleWhereOneIsGiven) {
    struct Case {
        const char* name;
        QString url;
        std::optional<QString> urlName;
        std::optional<QString> plain;
        std::optional<QString> title;
        QString displayName;
    };
    const std::vector<Case> cases{
        {"named link", "https://example.org/a", "Example page", "ignored", "Example page",
         "Example page"},
        {"plain text as title", "https://example.org/b", std::nullopt, "Read this", "Read this",
         "Read this"},
        {"plain text equal to the link", "https://example.org/c", std::nullopt,
         "https://example.org/c", std::nullopt, "example.org"},
        {"no title, no host", "mailto:someone@example.org", std::nullopt, std::nullopt,
         std::nullopt, "mailto:someone@example.org"},
        {"empty title", "https://example.org/d", "", std::nullopt, std::nullopt, "example.org"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_pasteboard.clearContents();
        m_pasteboard.setURLs({QUrl(c.url)});
        if (c.urlName)
            m_pasteboard.setString(TypeIdentifier::urlName, *c.urlName);
        if (c.plain)
            m_pasteboard.setString(TypeIdentifier::utf8PlainText, *c.plain);
        const std::vector<Item> items = drop();
        ASSERT_EQ(items.size(), 1u);
        EXPECT_EQ(items.front().payload, ItemPayload::url(QUrl(c.url), c.title));
        EXPECT_EQ(items.front().displayName, c.displayName);
        EXPECT_EQ(items.front().contentHash, ContentHash::ofString(c.url));
    }
}

TEST_F(DropReceiverTest, PlainTextLandsAsTextAndAgainAsTheSameItem) {
    m_pasteboard.setString(TypeIdentifier::utf8PlainText, "\n\n   a shopping list\t\nmilk\n");
    const std::vector<Item> items = drop();
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items.front().payload, ItemPayload::text("\n\n   a shopping list\t\nmilk\n"));
    EXPECT_EQ(items.front().displayName, "a shopping list");
    EXPECT_EQ(items.front().contentHash, ContentHash::ofString("\n\n   a shopping list\t\nmilk\n"));
    EXPECT_EQ(drop().front().id, items.front().id);
    EXPECT_EQ(m_store->items().size(), 1u);
}

TEST_F(DropReceiverTest, LongTextsThatDifferAtTheEndAreTwoItems) {
    // 1.2 MB each, equal over the fingerprint's first MiB.
    QString a(1200000, u'a');
    QString b = a;
    b[b.size() - 1] = u'b';
    ASSERT_EQ(ContentHash::ofString(a), ContentHash::ofString(b));

    m_pasteboard.setString(TypeIdentifier::utf8PlainText, a);
    const Item first = drop().front();
    m_pasteboard.setString(TypeIdentifier::utf8PlainText, b);
    const Item second = drop().front();
    EXPECT_NE(second.id, first.id);
    EXPECT_EQ(second.payload, ItemPayload::text(b));
    m_pasteboard.setString(TypeIdentifier::utf8PlainText, a);
    EXPECT_EQ(drop().front().id, first.id) << "the same text again";
    EXPECT_EQ(m_store->items().size(), 2u);
}

TEST_F(DropReceiverTest, NothingToTakeGivesNothingAndNoCallback) {
    for (const auto& fill : std::vector<std::function<void()>>{
             [] {},
             [this] { m_pasteboard.setString(TypeIdentifier::utf8PlainText, ""); },
             [this] { m_pasteboard.setData(TypeIdentifier::png, ""); },
             [this] { m_pasteboard.setData(QStringLiteral("com.example.private"), "x"); },
         }) {
        m_pasteboard.clearContents();
        fill();
        EXPECT_TRUE(drop().empty());
    }
    EXPECT_TRUE(added.empty());
    EXPECT_TRUE(itemFolders().isEmpty());
}

TEST_F(DropReceiverTest, PromisesWinOverFileURLs) {
    m_pasteboard.setURLs({QUrl::fromLocalFile(writeSource("x.txt", "x"))});
    m_pasteboard.setFilePromiseReceivers(
        {std::make_shared<MemoryFilePromiseReceiver>(QStringList{"promised.txt"})});
    const std::vector<Item> items = drop();
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items.front().displayName, "promised.txt");
    EXPECT_TRUE(items.front().state.is<ItemState::Receiving>());
    EXPECT_EQ(m_store->items().size(), 1u);
}

TEST_F(DropReceiverTest, StoreThatCannotWriteTakesNothingAndLeavesNothing) {
    // The store's folder turned into a file: no item folder and no item.json
    // can be written any more.
    ASSERT_TRUE(QDir(m_store->root()).removeRecursively());
    m_dir.write("Items", "in the way");
    struct Case {
        const char* name;
        std::function<void()> fill;
    };
    const std::vector<Case> cases{
        {"text", [this] { m_pasteboard.setString(TypeIdentifier::utf8PlainText, "words"); }},
        {"link", [this] { m_pasteboard.setURLs({QUrl("https://example.org")}); }},
        {"file", [this] { m_pasteboard.setURLs({QUrl::fromLocalFile(writeSource("f", "f"))}); }},
        {"image", [this] { m_pasteboard.setData(TypeIdentifier::png, imageBytes("PNG")); }},
        {"promise",
         [this] {
             m_pasteboard.setFilePromiseReceivers({std::make_shared<MemoryFilePromiseReceiver>()});
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_pasteboard.clearContents();
        c.fill();
        EXPECT_TRUE(drop().empty());
    }
    EXPECT_TRUE(m_store->items().empty());
    EXPECT_TRUE(added.empty());
    EXPECT_EQ(m_clock.pendingCount(), 0u);
}

// Faults met while a file drop is copied and stored: each fails only its own
// file, says why, and leaves no folder; the next file of the drop still lands.
TEST_F(DropReceiverTest, FaultsDuringAFileDropFailOnlyThatFile) {
    struct Case {
        const char* name;
        DiskIO::Call call;
        const char* path;
        int code;
        const char* line; // nullptr: the store logs it
    };
    const Case cases[] = {
        {"unreadable", DiskIO::Call::open, "source/bad.txt", EACCES,
         "drag error: could not copy bad.txt: Permission denied"},
        {"disk full while copying", DiskIO::Call::write, "source/bad.txt", ENOSPC,
         "drag error: could not copy bad.txt: No space left on device"},
        {"disk full writing the index", DiskIO::Call::write, "tarvo.json", ENOSPC, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_store->clear();
        m_store->waitForDeletions();
        const QString bad = writeSource("bad.txt", QByteArray("bad ") + c.name);
        const QString good = writeSource("good.txt", QByteArray("good ") + c.name);
        test::DiskRecorder disk;
        disk.fail(c.call, QString::fromLatin1(c.path), c.code);
        m_log.clear();
        std::vector<Item> items;
        if (!c.line) {
            // Every index write fails: nothing can land.
            items = dropFiles({bad});
            EXPECT_TRUE(items.empty());
            ASSERT_EQ(m_log.lines().size(), 1u);
            EXPECT_TRUE(m_log.lines().front().startsWith("core error: could not write the tarvo"));
        } else {
            items = dropFiles({bad, good});
            ASSERT_EQ(items.size(), 1u);
            EXPECT_EQ(items.front().displayName, "good.txt");
            EXPECT_EQ(m_log.lines(), std::vector<QString>{QString::fromUtf8(c.line)});
        }
        m_store->waitForDeletions();
        EXPECT_EQ(itemFolders().size(), items.size()) << "no folder left for the failed file";
        EXPECT_EQ(ItemStore(m_store->root()).items().size(), items.size());
    }
}

TEST_F(DropReceiverTest, FileThatChangesWhileItIsCopiedIsNotStored) {
    const QString growing = writeSource("growing.log", "first line\n");
    // Another program appends just as the copy starts.
    DiskIO::setObserver([&](DiskIO::Call call, const QString& path, const QString&) {
        if (call == DiskIO::Call::write && path == growing) {
            QFile file(growing);
            if (file.open(QIODevice::Append))
                file.write("second line\n");
        }
        return 0;
    });
    EXPECT_TRUE(dropFiles({growing}).empty());
    EXPECT_EQ(m_log.lines(),
              std::vector<QString>{
                  "drag error: could not copy growing.log: it changed while it was copied"});
    m_store->waitForDeletions();
    EXPECT_TRUE(itemFolders().isEmpty());
    DiskIO::setObserver({});
    ASSERT_EQ(dropFiles({growing}).size(), 1u) << "once it holds still, it lands";
}

TEST(DropReceiverNames, PreviewNameCutsTheFirstLine) {
    struct Case {
        const char* name;
        QString text;
        QString expected;
    };
    const QString a28(28, u'a');
    const QString b29(29, u'b');
    const QString ellipsis(QChar(0x2026));
    const std::vector<Case> cases{
        {"short", "hello", "hello"},
        {"28 characters stay whole", a28, a28},
        {"29 become 27 and an ellipsis", b29, QString(27, u'b') + ellipsis},
        {"leading empty lines skipped", "\n\n\nthird line\nfourth", "third line"},
        {"spaces and tabs trimmed", " \t padded \t\nrest", "padded"},
        {"only spaces", "     ", L10n::itemTextSnippet()},
        {"only newlines", "\n\n", L10n::itemTextSnippet()},
        {"empty", "", L10n::itemTextSnippet()},
        {"CR LF line end", "first\r\nsecond", "first"},
        {"counted in characters, not code units",
         QString::fromUtf8("\U0001F600\U0001F600\U0001F600\U0001F600\U0001F600\U0001F600"
                           "\U0001F600\U0001F600\U0001F600\U0001F600\U0001F600\U0001F600"
                           "\U0001F600\U0001F600\U0001F600\U0001F600\U0001F600\U0001F600"
                           "\U0001F600\U0001F600\U0001F600\U0001F600\U0001F600\U0001F600"
                           "\U0001F600\U0001F600\U0001F600\U0001F600"),
         QString::fromUtf8("\U0001F600\U0001F600\U0001F600\U0001F600\U0001F600\U0001F600"
                           "\U0001F600\U0001F600\U0001F600\U0001F600\U0001F600\U0001F600"
                           "\U0001F600\U0001F600\U0001F600\U0001F600\U0001F600\U0001F600"
                           "\U0001F600\U0001F600\U0001F600\U0001F600\U0001F600\U0001F600"
                           "\U0001F600\U0001F600\U0001F600\U0001F600")},
        {"newline inside leading spaces", "   \nnext", L10n::itemTextSnippet()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(DropReceiver::previewName(c.text), c.expected);
    }
}

TEST(DropReceiverNames, TimestampInTheGivenZone) {
    const Date date = Date::fromSecondsSince1970(1738314307.9); // 2025-01-31 09:05:07.9 UTC
    EXPECT_EQ(DropReceiver::timestamp(date, QTimeZone::utc()), "2025-01-31 at 09.05.07");
    EXPECT_EQ(DropReceiver::timestamp(date, QTimeZone(3600 * 14)), "2025-01-31 at 23.05.07");
    EXPECT_EQ(DropReceiver::timestamp(date, QTimeZone(-3600 * 10)), "2025-01-30 at 23.05.07");
}

TEST(DropReceiverNames, ImagesAreKnownByTheirExtension) {
    test::TempDir dir;
    dir.write("photos.png/inside", "x");
    struct Case {
        QString path;
        bool expected;
    };
    const std::vector<Case> cases{
        {"/x/a.png", true},  {"/x/a.JPG", true},
        {"/x/a.heic", true}, {"/x/a.pdf", false},
        {"/x/a.txt", false}, {"/x/noextension", false},
        {"/x/a.svg", true},  {dir.file("photos.png"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        EXPECT_EQ(DropReceiver::isImage(c.path), c.expected);
    }
}

} // namespace
