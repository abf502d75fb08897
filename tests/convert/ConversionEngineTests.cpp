#include "ConversionErrorOf.h"
#include "ConvertPrinters.h"
#include "ImageFixtures.h"

#include "TarvoConvert/ConversionEngine.h"
#include "TarvoConvert/ConversionError.h"
#include "TarvoConvert/TextConverter.h"

#include "TarvoCore/FileError.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cairo-pdf.h>

#include <QDir>
#include <QFile>

using namespace tarvo;
using namespace tarvo::test;

namespace {

// An item store and a work folder in a temporary folder.
class Store {
public:
    // The work folder is there, as a drag makes it before converting.
    Store() : m_work(m_dir.file("work/drag-1")) { QDir().mkpath(m_work); }

    Item add(ItemPayload payload, const QString& displayName, const QByteArray& bytes = {}) {
        Item item;
        item.id = QUuid::createUuid();
        item.payload = std::move(payload);
        item.displayName = displayName;
        if (const auto name = item.payload.fileName())
            m_dir.write(QStringLiteral("items/") + json::uuidText(item.id) + u'/' + *name, bytes);
        return item;
    }
    QString stored(const Item& item) const { return *item.payloadURL(root()); }
    QString root() const { return m_dir.file("items"); }
    const QString& work() const { return m_work; }
    QString path(const QString& relative) const { return m_dir.file(relative); }

    ConversionRequest request(const Item& item, Delivery delivery) const {
        ConversionRequest r;
        r.item = item;
        r.containerRoot = root();
        r.delivery = std::move(delivery);
        r.workDirectory = m_work;
        r.date = Date::fromSecondsSince1970(1709647629);
        return r;
    }
    QStringList workFiles() const {
        return QDir(m_work).entryList(QDir::Files | QDir::Hidden | QDir::System);
    }

private:
    TempDir m_dir;
    QString m_work;
};

Delivery jpeg(std::optional<qint64> maxPixels = std::nullopt, bool stripLocation = true) {
    ImageOptions o;
    o.format = ImageFormat::jpeg;
    o.maxPixels = maxPixels;
    o.stripLocation = stripLocation;
    return Delivery::image(o);
}

QByteArray read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeLetterPdf(const QString& path) {
    cairo_surface_t* surface =
        cairo_pdf_surface_create(QFile::encodeName(path).constData(), 612, 792);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1, 0, 0);
    cairo_rectangle(cr, 0, 0, 612, 792);
    cairo_fill(cr);
    cairo_show_page(cr);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
}

} // namespace

TEST(ConversionEngine, TextAndLinkItemsFallBackToTheirText) {
    Store store;
    const Item text = store.add(ItemPayload::text("some words"), "some words");
    const Item link =
        store.add(ItemPayload::url(QUrl("https://example.com/a b"), "Example"), "Example");
    const Item rich = store.add(ItemPayload::richText("missing.rtf", "plain part"), "Rich");
    for (const Delivery& d : {Delivery::original(), Delivery::path(), Delivery::plainText()}) {
        EXPECT_EQ(ConversionEngine::perform(store.request(text, d)),
                  ConversionResult::text("some words"));
        EXPECT_EQ(ConversionEngine::perform(store.request(link, d)),
                  ConversionResult::text("https://example.com/a%20b"));
    }
    // The stored plain text is used; the RTF file is not even there.
    EXPECT_EQ(ConversionEngine::perform(store.request(rich, Delivery::plainText())),
              ConversionResult::text("plain part"));

    for (const Delivery& d : {jpeg(), Delivery::pdf(), Delivery::webloc()}) {
        EXPECT_EQ(errorOf([&] { ConversionEngine::perform(store.request(text, d)); }),
                  ConversionError::noPayload());
    }
    for (const Delivery& d : {jpeg(), Delivery::pdf()}) {
        EXPECT_EQ(errorOf([&] { ConversionEngine::perform(store.request(link, d)); }),
                  ConversionError::noPayload());
    }
    EXPECT_EQ(store.workFiles(), QStringList()) << "nothing written for nothing";
}

TEST(ConversionEngine, FilesAsOriginalPathAndPlainText) {
    Store store;
    const Item notes = store.add(ItemPayload::file("Notes.MD"), "Notes.MD", "h\xC3\xA9llo\n");
    const Item data = store.add(ItemPayload::file("data.bin"), "data.bin", "\x01\x02");
    const Item rtf = store.add(ItemPayload::file("doc.rtf"), "doc.rtf", R"({\rtf1 caf\'e9})");
    const Item html = store.add(ItemPayload::file("page.HTM"), "page", "<p>one<p>two &amp; three");
    const Item bad = store.add(ItemPayload::file("bad.txt"), "bad.txt", "\xFF\xFE\xFD");
    const Item notRtf = store.add(ItemPayload::file("x.rtf"), "x.rtf", "plain");
    const Item named = store.add(ItemPayload::image("My Photo.png"), "My Photo.png", "x");

    EXPECT_EQ(ConversionEngine::perform(store.request(notes, Delivery::plainText())),
              ConversionResult::text(QStringLiteral("héllo\n")));
    EXPECT_EQ(ConversionEngine::perform(store.request(data, Delivery::plainText())),
              ConversionResult::original(store.stored(data)));
    EXPECT_EQ(ConversionEngine::perform(store.request(rtf, Delivery::plainText())),
              ConversionResult::text(QStringLiteral("café")));
    EXPECT_EQ(ConversionEngine::perform(store.request(html, Delivery::plainText())),
              ConversionResult::text("one\ntwo & three"));
    EXPECT_EQ(ConversionEngine::perform(store.request(data, Delivery::original())),
              ConversionResult::original(store.stored(data)));
    EXPECT_EQ(ConversionEngine::perform(store.request(named, Delivery::path())),
              ConversionResult::text(TextConverter::quotedPath(store.stored(named))));
    EXPECT_TRUE(TextConverter::quotedPath(store.stored(named)).startsWith(u'\''));

    EXPECT_THROW(ConversionEngine::perform(store.request(bad, Delivery::plainText())), FileError);
    EXPECT_EQ(
        errorOf([&] { ConversionEngine::perform(store.request(notRtf, Delivery::plainText())); }),
        ConversionError::cannotDecode("rich text"));
    QFile::remove(store.stored(notes));
    EXPECT_THROW(ConversionEngine::perform(store.request(notes, Delivery::plainText())), FileError);
}

// Large text files are decoded a piece at a time: characters cut by a piece's
// end, a byte order mark, and bad or cut-off sequences anywhere.
TEST(ConversionEngine, PlainTextOfALargeFileDecodesAcrossPieces) {
    Store store;
    // 1, 2, 3 and 4 bytes a character, so piece ends fall inside characters.
    const QString unit = QStringLiteral("a\u00e9\u20ac\U0001F600\uFEFF\n");
    QString expected;
    while (expected.size() < 3'000'000)
        expected += unit;
    const QByteArray utf8 = expected.toUtf8();
    struct Case {
        const char* name;
        QByteArray bytes;
        std::optional<QString> text; // none: the read fails
    };
    const Case cases[] = {
        {"whole", utf8, expected},
        {"after a byte order mark", "\xEF\xBB\xBF" + utf8, expected},
        {"a bad byte past the first piece", utf8.left(1'500'000) + "\xFF" + utf8.mid(1'500'000),
         std::nullopt},
        {"cut inside its last character", utf8.left(utf8.size() - 2), std::nullopt},
        {"empty", QByteArray(), QString()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Item item = store.add(ItemPayload::file("big.txt"), "big.txt", c.bytes);
        if (c.text) {
            const ConversionResult result =
                ConversionEngine::perform(store.request(item, Delivery::plainText()));
            EXPECT_TRUE(result == ConversionResult::text(*c.text));
        } else {
            EXPECT_THROW(ConversionEngine::perform(store.request(item, Delivery::plainText())),
                         FileError);
        }
    }
}

TEST(ConversionEngine, LinkFilesGetFreeNamesInTheWorkFolder) {
    Store store;
    const QUrl url("https://example.com/");
    const Item link = store.add(ItemPayload::url(url), "example");
    const ConversionResult first =
        ConversionEngine::perform(store.request(link, Delivery::webloc()));
    EXPECT_EQ(first, ConversionResult::file(store.work() + "/example.desktop"));
    EXPECT_TRUE(first.isTarvoWritten());
    EXPECT_EQ(read(store.work() + "/example.desktop"), TextConverter::desktopLink(url, "example"));
    const ConversionResult second =
        ConversionEngine::perform(store.request(link, Delivery::webloc()));
    EXPECT_EQ(second, ConversionResult::file(store.work() + "/example 2.desktop"));
    EXPECT_EQ(store.workFiles(), QStringList({"example 2.desktop", "example.desktop"}));

    const Item climbing = store.add(ItemPayload::url(url), "../../x");
    EXPECT_EQ(ConversionEngine::perform(store.request(climbing, Delivery::webloc())),
              ConversionResult::file(store.work() + "/..-..-x.desktop"));

    // Link-file delivery of a file hands over the file itself.
    const Item file = store.add(ItemPayload::file("a.txt"), "a.txt", "a");
    EXPECT_EQ(ConversionEngine::perform(store.request(file, Delivery::webloc())),
              ConversionResult::original(store.stored(file)));
}

TEST(ConversionEngine, AnExactDestinationIsUsedUnchanged) {
    Store store;
    const Item link = store.add(ItemPayload::url(QUrl("https://example.com/")), "example");
    ConversionRequest r = store.request(link, Delivery::webloc());
    r.destinationURL = store.path("promised/Exact name.desktop");
    QDir().mkpath(store.path("promised"));
    QFile stale(*r.destinationURL);
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.write("old");
    stale.close();

    EXPECT_EQ(ConversionEngine::perform(r), ConversionResult::file(*r.destinationURL));
    EXPECT_EQ(read(*r.destinationURL),
              TextConverter::desktopLink(QUrl("https://example.com/"), "example"));
    EXPECT_EQ(store.workFiles(), QStringList()) << "nothing goes into the work folder";
    EXPECT_EQ(QDir(store.path("promised")).entryList(QDir::Files | QDir::Hidden),
              QStringList({"Exact name.desktop"}));
}

TEST(ConversionEngine, PdfDeliveries) {
    Store store;
    const Item scan = store.add(ItemPayload::file("scan.PDF"), "scan.PDF", "%PDF-1.4");
    EXPECT_EQ(ConversionEngine::perform(store.request(scan, Delivery::pdf())),
              ConversionResult::original(store.stored(scan)));

    const Item shot = store.add(ItemPayload::image("shot.png"), "Screen shot.png");
    writePng(store.stored(shot), 30, 20, {0, 128, 0});
    const ConversionResult result = ConversionEngine::perform(store.request(shot, Delivery::pdf()));
    EXPECT_EQ(result, ConversionResult::file(store.work() + "/Screen shot.pdf"));
    EXPECT_TRUE(read(store.work() + "/Screen shot.pdf").startsWith("%PDF"));
}

// A drag that ended took its work folder along; a conversion still running
// for it fails instead of making the folder again.
TEST(ConversionEngine, AConversionWhoseWorkFolderIsGoneFails) {
    Store store;
    const Item link = store.add(ItemPayload::url(QUrl("https://example.com/")), "example");
    ASSERT_TRUE(QDir(store.work()).removeRecursively());
    EXPECT_THROW(ConversionEngine::perform(store.request(link, Delivery::webloc())), FileError);
    EXPECT_FALSE(QFile::exists(store.work()));
}

TEST(ConversionEngine, ImagesOfPdfsAreDrawnFromTheirFirstPage) {
    Store store;
    const Item pdf = store.add(ItemPayload::file("letter.pdf"), "letter.pdf");
    writeLetterPdf(store.stored(pdf));
    const ConversionResult result = ConversionEngine::perform(store.request(pdf, jpeg()));
    EXPECT_EQ(result, ConversionResult::file(store.work() + "/letter.jpg"));
    const Decoded decoded = inspect(store.work() + "/letter.jpg");
    EXPECT_EQ(decoded.width, 1224) << "rendered at scale 2";
    EXPECT_EQ(decoded.height, 1584);
    EXPECT_TRUE(nearly(pixel(store.work() + "/letter.jpg", 600, 800), {255, 0, 0}));
    EXPECT_EQ(store.workFiles(), QStringList({"letter.jpg"})) << "the page file is gone";

    // Stored under another extension, a PDF is still recognised by its content.
    const Item disguised = store.add(ItemPayload::file("scan.dat"), "scan.dat");
    writeLetterPdf(store.stored(disguised));
    ConversionEngine::perform(store.request(disguised, jpeg(500)));
    EXPECT_EQ(inspect(store.work() + "/scan.jpg").height, 500);
}

TEST(ConversionEngine, FailedConversionsLeaveNothingBehind) {
    struct Case {
        const char* name;
        QByteArray bytes;
        Delivery delivery;
    };
    const std::vector<Case> cases = {
        {"empty.pdf",
         "%PDF-1.4\n1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj\n"
         "2 0 obj << /Type /Pages /Kids [] /Count 0 >> endobj\n"
         "trailer << /Root 1 0 R >>\n%%EOF\n",
         jpeg()},
        {"fake.pdf", "no signature here", jpeg()},
        {"broken.jpg", "\xFF\xD8\xFF\xE0 truncated", jpeg()},
        {"words.txt", "not an image", Delivery::pdf()},
        {"words.txt", "not an image", jpeg(100)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Store store;
        const Item item = store.add(ItemPayload::file(c.name), c.name, c.bytes);
        EXPECT_THROW(ConversionEngine::perform(store.request(item, c.delivery)), ConversionError);
        EXPECT_EQ(store.workFiles(), QStringList()) << "no reserved name, output or page left";
    }
}

TEST(ConversionEngine, KeepingMetadataOverridesStrippingTheLocation) {
    Store store;
    const Item photo = store.add(ItemPayload::image("photo.jpg"), "photo.jpg");
    writeJpeg(store.stored(photo),
              JpegSpec{.width = 80, .height = 60, .gpsInExif = true, .gpsInXmp = true});

    ConversionRequest strip = store.request(photo, jpeg(40, true));
    strip.destinationURL = store.path("stripped.jpg");
    ConversionEngine::perform(strip);
    EXPECT_EQ(exifFacts(inspect(store.path("stripped.jpg")).exif).gpsEntries, 0);
    EXPECT_FALSE(inspect(store.path("stripped.jpg")).xmp.contains("GPS"));

    ConversionRequest keep = strip;
    keep.keepMetadata = true;
    keep.destinationURL = store.path("kept.jpg");
    ConversionEngine::perform(keep);
    EXPECT_GT(exifFacts(inspect(store.path("kept.jpg")).exif).gpsEntries, 0);
    EXPECT_TRUE(inspect(store.path("kept.jpg")).xmp.contains("GPSLatitude"));
}
