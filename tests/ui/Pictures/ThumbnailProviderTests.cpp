#include "convert/ImageFixtures.h"
#include "support/DiskRecorder.h"
#include "support/EventLoopWait.h"
#include "support/TempDir.h"

#include "ThumbnailDecoder.h"
#include "ThumbnailProvider.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cairo-pdf.h>
#include <zlib.h>

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <vector>

using namespace tarvo;

namespace {

constexpr int kTile = ThumbnailProvider::pixelSize;

// A stored item whose file is made by `make` inside its own folder.
struct Store {
    test::TempDir dir;

    QString folder(const QUuid& id) const { return itemFolder(dir.path(), id); }

    template <class Make> Item fileItem(const QString& name, Make make, bool isImage = false) {
        Item item;
        item.id = QUuid::createUuid();
        item.payload = isImage ? ItemPayload::image(name) : ItemPayload::file(name);
        item.displayName = name;
        QDir().mkpath(folder(item.id));
        make(folder(item.id) + u'/' + name);
        return item;
    }
    Item bytesItem(const QString& name, const QByteArray& bytes) {
        return fileItem(name, [&](const QString& path) {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(bytes);
        });
    }
    // A 40 by 40 PNG picture.
    Item smallPicture() {
        return fileItem(
            QStringLiteral("p.png"),
            [](const QString& p) {
                test::writePng(p, 40, 40, {1, 2, 3});
            },
            true);
    }
    QString cacheFile(const Item& item) const {
        return folder(item.id) + u'/' + QLatin1String(ThumbnailProvider::cacheFileName);
    }
};

Item textItem(const QString& text) {
    Item item;
    item.id = QUuid::createUuid();
    item.payload = ItemPayload::text(text);
    return item;
}

struct Answer {
    int calls = 0;
    QImage image;
};

ThumbnailProvider::Completion recordInto(Answer& answer) {
    return [&answer](const QImage& image) {
        ++answer.calls;
        answer.image = image;
    };
}

// A decoder that reads the file at once but answers only when released,
// counting its calls.
class HeldDecoder {
public:
    ThumbnailProvider::Decoder decoder() {
        return [this](const QString& path, int pixels) {
            QImage image = ThumbnailDecoder::decode(path, pixels);
            std::unique_lock lock(m_mutex);
            ++m_decoded;
            m_changed.notify_all();
            m_changed.wait(lock, [this] { return m_released; });
            return image;
        };
    }
    void waitUntilDecoded(int count) {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_decoded >= count; });
    }
    void release() {
        {
            std::lock_guard lock(m_mutex);
            m_released = true;
        }
        m_changed.notify_all();
    }
    int calls() {
        std::lock_guard lock(m_mutex);
        return m_decoded;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_released = false;
    int m_decoded = 0;
};

void writePdf(const QString& path) {
    cairo_surface_t* surface =
        cairo_pdf_surface_create(QFile::encodeName(path).constData(), 200, 300);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1, 0, 0);
    cairo_rectangle(cr, 0, 0, 200, 150);
    cairo_fill(cr);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
}

void appendChunk(QByteArray& png, const char* type, const QByteArray& body) {
    const auto big = [&](quint32 v) {
        for (int shift = 24; shift >= 0; shift -= 8)
            png.append(char((v >> shift) & 0xFF));
    };
    big(quint32(body.size()));
    QByteArray typed = QByteArray(type) + body;
    png.append(typed);
    big(quint32(crc32(0, reinterpret_cast<const Bytef*>(typed.constData()), uInt(typed.size()))));
}

// A PNG that claims 30000 x 30000 pixels: a decode would need 3.6 GB. Only a
// few of its rows are present; the header is what a decoder must refuse.
QByteArray pngBomb() {
    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    QByteArray header;
    for (const quint32 v : {30000u, 30000u})
        for (int shift = 24; shift >= 0; shift -= 8)
            header.append(char((v >> shift) & 0xFF));
    header.append(char(8)).append(char(6)).append(char(0)).append(char(0)).append(char(0));
    appendChunk(png, "IHDR", header);
    const QByteArray rows(4 * (1 + 4 * 30000), '\0');
    appendChunk(png, "IDAT", qCompress(rows).mid(4)); // zlib stream without Qt's length
    appendChunk(png, "IEND", {});
    return png;
}

} // namespace

TEST(ThumbnailProvider, PicturesOfEachKindOfItem) {
    Store store;
    ThumbnailProvider provider(store.dir.path());
    struct Case {
        const char* name;
        Item item;
        bool decoded; // a picture of the content, written to the disk cache
        QSize size;   // expected size when decoded
    };
    const std::vector<Case> cases{
        {"24 MP JPEG",
         store.fileItem(
             QStringLiteral("photo.jpg"),
             [](const QString& p) {
                 test::JpegSpec spec;
                 spec.width = 6000;
                 spec.height = 4000;
                 test::writeJpeg(p, spec);
             },
             true),
         true, QSize(168, 112)},
        {"transparent PNG",
         store.fileItem(
             QStringLiteral("clear.png"),
             [](const QString& p) {
                 test::writePng(p, 300, 600, {0, 255, 0}, 0);
             },
             true),
         true, QSize(84, 168)},
        {"HEIC",
         store.fileItem(
             QStringLiteral("shot.heic"),
             [](const QString& p) {
                 test::writeHeic(p, 320, 240, {200, 0, 0});
             },
             true),
         true, QSize(168, 126)},
        {"PDF", store.fileItem(QStringLiteral("paper.pdf"), writePdf), true, QSize(112, 168)},
        {"text file", store.bytesItem(QStringLiteral("notes.txt"), "hello\n"), false, {}},
        {"folder",
         store.fileItem(QStringLiteral("Folder"),
                        [](const QString& p) { QDir().mkpath(p + QStringLiteral("/inner")); }),
         false,
         {}},
        {"file without an extension",
         store.bytesItem(QStringLiteral("Makefile"), "all:\n"),
         false,
         {}},
        {"unknown type",
         store.bytesItem(QStringLiteral("blob.qqq"), QByteArray(64, '\x07')),
         false,
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Answer answer;
        provider.thumbnail(c.item, recordInto(answer));
        ASSERT_TRUE(test::runEventsUntil([&] { return answer.calls > 0; }));
        EXPECT_EQ(answer.calls, 1);
        ASSERT_FALSE(answer.image.isNull());
        provider.waitForWorkers(); // the cache file is written on its queue
        EXPECT_EQ(QFileInfo::exists(store.cacheFile(c.item)), c.decoded);
        if (c.decoded)
            EXPECT_EQ(answer.image.size(), c.size);
        else
            EXPECT_EQ(answer.image.size(), QSize(kTile, kTile)) << "the type's icon";
        EXPECT_TRUE(provider.cached(c.item).has_value());
        // Only the folder is told as one; a file without an extension is not.
        EXPECT_EQ(provider.isFolder(c.item.id), c.item.displayName == QLatin1String("Folder"));
    }
    // Content shows through: the PNG keeps its transparency, the PDF its page.
    Answer png;
    provider.thumbnail(cases[1].item, recordInto(png));
    EXPECT_EQ(png.image.pixelColor(10, 10).alpha(), 0);
    Answer pdf;
    provider.thumbnail(cases[3].item, recordInto(pdf));
    EXPECT_GT(pdf.image.pixelColor(56, 20).red(), 200);
    EXPECT_GT(pdf.image.pixelColor(56, 150).green(), 200) << "the page's lower half is white";
}

// Text pages and the app tile are painted on a worker too: a long shelf of
// notes never paints on the main thread.
TEST(ThumbnailProvider, TextAndLinkItemsArePaintedOffTheMainThread) {
    Store store;
    std::atomic<int> decodes = 0;
    ThumbnailProvider provider(store.dir.path(), [&](const QString&, int) {
        ++decodes;
        return QImage();
    });
    Answer text;
    const Item note = textItem(QStringLiteral("  A note to self\nwith two lines  "));
    provider.thumbnail(note, recordInto(text));
    EXPECT_EQ(text.calls, 0) << "painted later, on a worker";
    ASSERT_TRUE(test::runEventsUntil([&] { return text.calls == 1; }));
    EXPECT_EQ(text.image.size(), QSize(kTile, kTile));
    Answer again;
    provider.thumbnail(note, recordInto(again));
    EXPECT_EQ(again.calls, 1) << "then from memory, at once";

    // White space only: a page with nothing on it.
    Answer blank;
    provider.thumbnail(textItem(QStringLiteral(" \n\t ")), recordInto(blank));
    ASSERT_TRUE(test::runEventsUntil([&] { return blank.calls == 1; }));
    const QColor paper = blank.image.pixelColor(0, 0);
    for (int y = 0; y < kTile; y += 7)
        for (int x = 0; x < kTile; x += 7)
            ASSERT_EQ(blank.image.pixelColor(x, y), paper) << x << "," << y;
    EXPECT_NE(text.image, blank.image) << "the text is written on its page";

    Item link;
    link.id = QUuid::createUuid();
    link.payload = ItemPayload::url(QUrl(QStringLiteral("https://example.org/")));
    Answer tile;
    provider.thumbnail(link, recordInto(tile));
    EXPECT_EQ(tile.calls, 0);
    ASSERT_TRUE(test::runEventsUntil([&] { return tile.calls == 1; }));
    EXPECT_EQ(tile.image, ThumbnailProvider::appTile());
    EXPECT_EQ(decodes, 0);
}

// The page shows as many lines as fit whole: the next one is left out, not
// cut through to the specks of its letters' tops.
TEST(ThumbnailProvider, ATextTileShowsWholeLinesOnly) {
    const QImage tile = ThumbnailProvider::textTile(QString(QStringLiteral("word ")).repeated(40));
    ASSERT_EQ(tile.size(), QSize(kTile, kTile));
    const QColor paper = tile.pixelColor(0, 0);
    // Rows with ink in them, taken in bands of rows that touch.
    std::vector<int> bands;
    bool inked = false;
    for (int y = 0; y < kTile; ++y) {
        bool ink = false;
        for (int x = 0; x < kTile && !ink; ++x)
            ink = std::abs(tile.pixelColor(x, y).lightness() - paper.lightness()) > 24;
        if (ink && !inked)
            bands.push_back(0);
        if (ink)
            ++bands.back();
        inked = ink;
    }
    ASSERT_GE(bands.size(), 3u) << "a long text fills three lines at least";
    const int tallest = *std::max_element(bands.begin(), bands.end());
    for (std::size_t i = 0; i < bands.size(); ++i)
        EXPECT_GE(bands[i] * 10, tallest * 8) << "line " << i << " of " << bands.size() << " is cut";
}

// A show asks for its tiles' pictures while it draws: the making must not
// take the processor from the main thread.
TEST(ThumbnailProvider, PicturesAreMadeBelowTheMainThreadsPriority) {
    Store store;
    std::atomic<int> workerNice = -100;
    ThumbnailProvider provider(store.dir.path(), [&](const QString& path, int pixels) {
        errno = 0;
        const int nice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()));
        workerNice = errno == 0 ? nice : -100;
        return ThumbnailDecoder::decode(path, pixels);
    });
    errno = 0;
    const int mainNice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()));
    ASSERT_EQ(errno, 0);
    if (mainNice >= 19)
        GTEST_SKIP() << "this test runs at the lowest priority already";
    Answer answer;
    provider.thumbnail(store.smallPicture(), recordInto(answer));
    ASSERT_TRUE(test::runEventsUntil([&] { return answer.calls == 1; }));
    EXPECT_GT(workerNice, mainNice);
    errno = 0;
    EXPECT_EQ(::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid())), mainNice)
        << "the main thread keeps its own";
}

TEST(ThumbnailProvider, MemoryThenDiskThenWorker) {
    Store store;
    const Item photo = store.fileItem(
        QStringLiteral("p.jpg"),
        [](const QString& p) {
            test::JpegSpec spec;
            spec.width = 640;
            spec.height = 480;
            test::writeJpeg(p, spec);
        },
        true);
    std::atomic<int> decodes = 0;
    auto counting = [&](const QString& path, int pixels) {
        ++decodes;
        return ThumbnailDecoder::decode(path, pixels);
    };
    {
        ThumbnailProvider provider(store.dir.path(), counting);
        Answer first;
        provider.thumbnail(photo, recordInto(first));
        EXPECT_EQ(first.calls, 0) << "a decode answers later, on the main thread";
        ASSERT_TRUE(test::runEventsUntil([&] { return first.calls == 1; }));
        Answer again;
        provider.thumbnail(photo, recordInto(again));
        EXPECT_EQ(again.calls, 1) << "from memory, at once";
        EXPECT_EQ(again.image, first.image);
    }
    EXPECT_EQ(decodes, 1);
    ASSERT_TRUE(QFileInfo::exists(store.cacheFile(photo)));

    // A new run reads the cached PNG and decodes nothing.
    ThumbnailProvider later(store.dir.path(), counting);
    EXPECT_FALSE(later.cached(photo));
    Answer fromDisk;
    later.thumbnail(photo, recordInto(fromDisk));
    EXPECT_EQ(fromDisk.calls, 0) << "the disk is read on a worker";
    ASSERT_TRUE(test::runEventsUntil([&] { return fromDisk.calls == 1; }));
    EXPECT_EQ(fromDisk.image.size(), QSize(168, 126));
    EXPECT_EQ(decodes, 1);

    // After invalidate the file is decoded again.
    later.invalidate(photo.id);
    later.waitForWorkers();
    EXPECT_FALSE(QFileInfo::exists(store.cacheFile(photo)));
    EXPECT_FALSE(later.cached(photo));
    Answer fresh;
    later.thumbnail(photo, recordInto(fresh));
    ASSERT_TRUE(test::runEventsUntil([&] { return fresh.calls == 1; }));
    EXPECT_EQ(decodes, 2);
}

TEST(ThumbnailProvider, StaleCacheFilesGoWhenTheCacheIsRead) {
    Store store;
    ThumbnailProvider provider(store.dir.path(), [](const QString&, int) { return QImage(); });
    for (const bool withCurrent : {false, true}) {
        SCOPED_TRACE(withCurrent);
        const Item item = store.bytesItem(QStringLiteral("a.txt"), "x");
        const QStringList stale{QStringLiteral("thumbnail.png"), QStringLiteral("thumbnail-v2.png"),
                                QStringLiteral("thumbnail-v3.png")};
        for (const QString& name : stale)
            store.dir.write(QUuid(item.id).toString(QUuid::WithoutBraces) + u'/' + name, "old");
        if (withCurrent) {
            ASSERT_TRUE(ThumbnailProvider::appTile().save(store.cacheFile(item)));
        }
        Answer answer;
        provider.thumbnail(item, recordInto(answer));
        ASSERT_TRUE(test::runEventsUntil([&] { return answer.calls == 1; }));
        for (const QString& name : stale)
            EXPECT_FALSE(QFileInfo::exists(store.folder(item.id) + u'/' + name))
                << name.toStdString();
        provider.waitForWorkers();
    }
}

TEST(ThumbnailProvider, SecondRequestWhilePendingDoesNothing) {
    Store store;
    HeldDecoder held;
    ThumbnailProvider provider(store.dir.path(), held.decoder());
    const Item photo = store.smallPicture();
    Answer first, second;
    provider.thumbnail(photo, recordInto(first));
    provider.thumbnail(photo, recordInto(second));
    held.release();
    ASSERT_TRUE(test::runEventsUntil([&] { return first.calls == 1; }));
    provider.waitForWorkers();
    QCoreApplication::processEvents();
    EXPECT_EQ(second.calls, 0);
    EXPECT_EQ(held.calls(), 1);
}

TEST(ThumbnailProvider, AnAnswerAfterInvalidateDoesNotBringTheOldPictureBack) {
    Store store;
    HeldDecoder held;
    ThumbnailProvider provider(store.dir.path(), held.decoder());
    const Item photo = store.smallPicture();
    Answer stale;
    provider.thumbnail(photo, recordInto(stale));
    provider.invalidate(photo.id);
    EXPECT_FALSE(provider.isInFlight(photo.id));

    // A request after the invalidation starts its own decode.
    Answer fresh;
    provider.thumbnail(photo, recordInto(fresh));
    held.release();
    ASSERT_TRUE(test::runEventsUntil([&] { return fresh.calls == 1; }));
    provider.waitForWorkers();
    QCoreApplication::processEvents();
    EXPECT_EQ(stale.calls, 0) << "the old answer is dropped";
    EXPECT_EQ(held.calls(), 2);

    // Invalidated with nothing asked again: the late answer leaves no trace.
    HeldDecoder held2;
    ThumbnailProvider other(store.dir.path(), held2.decoder());
    provider.invalidate(photo.id);
    Answer late;
    other.thumbnail(photo, recordInto(late));
    other.invalidate(photo.id);
    held2.release();
    other.waitForWorkers();
    QCoreApplication::processEvents();
    EXPECT_EQ(late.calls, 0);
    EXPECT_FALSE(other.cached(photo));
    EXPECT_FALSE(QFileInfo::exists(store.cacheFile(photo)));
}

// The cached picture is replaced whole but never flushed: a flush on the main
// thread would wait for whatever else fills the disk, such as a large drop.
TEST(ThumbnailProvider, TheDiskCacheIsReplacedWholeWithoutAFlush) {
    Store store;
    const Item photo = store.smallPicture();
    test::DiskRecorder disk;
    ThumbnailProvider provider(store.dir.path());
    Answer answer;
    provider.thumbnail(photo, recordInto(answer));
    ASSERT_TRUE(test::runEventsUntil([&] { return answer.calls == 1; }));
    provider.waitForWorkers();
    std::vector<QString> cacheCalls;
    for (const QString& call : disk.calls()) {
        if (call.contains(QLatin1String("thumbnail")))
            cacheCalls.push_back(call);
    }
    EXPECT_EQ(cacheCalls, (std::vector<QString>{
                              "write thumbnail-v4.png",
                              "rename .thumbnail-v4.png.ID.tmp -> thumbnail-v4.png",
                          }));
    EXPECT_EQ(QDir(store.folder(photo.id)).entryList({"*.tmp"}, QDir::Hidden | QDir::Files),
              QStringList());
    ThumbnailProvider later(store.dir.path());
    Answer fromDisk;
    later.thumbnail(photo, recordInto(fromDisk));
    ASSERT_TRUE(test::runEventsUntil([&] { return fromDisk.calls == 1; }));
    EXPECT_EQ(fromDisk.image, answer.image);
}

TEST(ThumbnailProvider, IconsAreNeverWrittenToTheDiskCache) {
    Store store;
    ThumbnailProvider provider(store.dir.path());
    // A damaged JPEG: no picture, so its type's icon shows, in memory only.
    const Item broken = store.bytesItem(QStringLiteral("broken.jpg"), "\xff\xd8\xff\xe0garbage");
    Answer answer;
    provider.thumbnail(broken, recordInto(answer));
    ASSERT_TRUE(test::runEventsUntil([&] { return answer.calls == 1; }));
    EXPECT_FALSE(answer.image.isNull());
    EXPECT_FALSE(QFileInfo::exists(store.cacheFile(broken)));
}

TEST(ThumbnailProvider, LateAnswerForARemovedItemWritesNothing) {
    Store store;
    HeldDecoder held;
    ThumbnailProvider provider(store.dir.path(), held.decoder());
    const Item photo = store.smallPicture();
    Answer answer;
    provider.thumbnail(photo, recordInto(answer));
    held.waitUntilDecoded(1);
    QDir(store.folder(photo.id)).removeRecursively();
    held.release();
    ASSERT_TRUE(test::runEventsUntil([&] { return answer.calls == 1; }));
    provider.waitForWorkers();
    EXPECT_TRUE(provider.cached(photo));
    EXPECT_FALSE(QFileInfo::exists(store.folder(photo.id))) << "the folder is not made again";
}

TEST(ThumbnailProvider, DecompressionBombIsRefused) {
    Store store;
    const Item bomb = store.bytesItem(QStringLiteral("bomb.png"), pngBomb());
    EXPECT_TRUE(ThumbnailDecoder::decode(*bomb.payloadURL(store.dir.path()), kTile).isNull());

    ThumbnailProvider provider(store.dir.path());
    Answer answer;
    provider.thumbnail(bomb, recordInto(answer));
    ASSERT_TRUE(test::runEventsUntil([&] { return answer.calls == 1; }));
    EXPECT_EQ(answer.image.size(), QSize(kTile, kTile)) << "its type's icon instead";
    EXPECT_FALSE(QFileInfo::exists(store.cacheFile(bomb)));
}

// Memory keeps the pictures last shown within its budget: a long shelf
// scrolled end to end does not keep a picture of every item.
TEST(ThumbnailProvider, MemoryKeepsThePicturesShownLastWithinItsBudget) {
    Store store;
    const qsizetype tile = qsizetype(kTile) * kTile * 4;
    ThumbnailProvider provider(store.dir.path(), {}, 3 * tile);
    std::vector<Item> notes;
    for (int i = 0; i < 5; ++i)
        notes.push_back(textItem(QStringLiteral("note %1").arg(i)));
    const auto show = [&](const Item& item) {
        Answer answer;
        provider.thumbnail(item, recordInto(answer));
        return test::runEventsUntil([&] { return answer.calls == 1; });
    };
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(show(notes[std::size_t(i)]));
    ASSERT_TRUE(show(notes[0])); // shown again: now the most recent
    ASSERT_TRUE(show(notes[3]));
    EXPECT_LE(provider.memoryBytes(), 3 * tile);
    EXPECT_EQ(provider.memoryCount(), 3);
    EXPECT_TRUE(provider.cached(notes[0])) << "shown again, so kept";
    EXPECT_FALSE(provider.cached(notes[1])) << "shown longest ago, so gone first";
    EXPECT_TRUE(provider.cached(notes[2]));
    EXPECT_TRUE(provider.cached(notes[3]));
    // A forgotten picture is made again when asked.
    ASSERT_TRUE(show(notes[1]));
    EXPECT_TRUE(provider.cached(notes[1]));
    EXPECT_FALSE(provider.cached(notes[2]));
}
