#include "ConversionErrorOf.h"
#include "ConvertPrinters.h"
#include "ImageFixtures.h"

#include "TarvoConvert/ConversionError.h"
#include "TarvoConvert/ImageConverter.h"
#include "TarvoConvert/Vips.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QXmlStreamReader>

using namespace tarvo;
using namespace tarvo::test;

namespace {

ImageOptions options(ImageFormat format, std::optional<qint64> maxPixels, double quality = 0.85,
                     bool stripLocation = true) {
    ImageOptions o;
    o.format = format;
    o.maxPixels = maxPixels;
    o.quality = quality;
    o.stripLocation = stripLocation;
    return o;
}

// One 4000 x 3000 photograph, turned by orientation 6, with a location in both
// EXIF and XMP, shared by the tests that need a large image.
class LargePhoto : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new TempDir;
        s_photo = s_dir->file("photo.jpg");
        JpegSpec spec;
        spec.width = 4000;
        spec.height = 3000;
        spec.orientation = 6;
        spec.gpsInExif = true;
        spec.gpsInXmp = true;
        writeJpeg(s_photo, spec);
    }
    static void TearDownTestSuite() {
        delete s_dir;
        s_dir = nullptr;
    }
    static TempDir* s_dir;
    static QString s_photo;
    TempDir m_out;
};
TempDir* LargePhoto::s_dir = nullptr;
QString LargePhoto::s_photo;

} // namespace

TEST_F(LargePhoto, TheFixtureCarriesItsLocation) {
    const Decoded source = inspect(s_photo);
    EXPECT_EQ(source.width, 4000);
    EXPECT_EQ(source.orientation, 6);
    EXPECT_GT(exifFacts(source.exif).gpsEntries, 0);
    EXPECT_TRUE(source.xmp.contains("GPSLatitude"));
}

TEST_F(LargePhoto, ComesOutUprightAtTheLimitWithNoLocationAnywhere) {
    const QString out = m_out.file("small.jpg");
    ImageConverter::convert(s_photo, options(ImageFormat::jpeg, 1600), out);

    const Decoded result = inspect(out);
    EXPECT_EQ(result.width, 1200);
    EXPECT_EQ(result.height, 1600);
    EXPECT_EQ(result.orientation, 1);
    const ExifFacts exif = exifFacts(result.exif);
    EXPECT_EQ(exif.orientation, 1);
    EXPECT_EQ(exif.gpsEntries, 0);
    EXPECT_FALSE(exif.exifGpsStamps);
    EXPECT_EQ(exif.make, "TestCam") << "other metadata is kept";
    EXPECT_TRUE(result.xmp.contains("Test Person")) << "other XMP is kept";
    EXPECT_TRUE(result.xmp.contains("<rdf:li xml:lang=\"x-default\">A &amp; B</rdf:li>"));
    QXmlStreamReader xmp(result.xmp);
    while (!xmp.atEnd())
        xmp.readNext();
    EXPECT_FALSE(xmp.hasError()) << "the rewritten packet is still XML";

    // Turned a quarter clockwise: the stored top-left marker is now top-right.
    EXPECT_TRUE(nearly(pixel(out, 1200 - 30, 30), {255, 0, 0}));
    EXPECT_TRUE(nearly(pixel(out, 30, 30), {0, 0, 255}));
    EXPECT_TRUE(nearly(pixel(out, 1200 - 30, 1600 - 30), {0, 0, 255}));

    QFile file(out);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    EXPECT_FALSE(bytes.contains("GPS")) << "no GPS property left in XMP";
    EXPECT_FALSE(bytes.contains("48,51.3N"));
    EXPECT_FALSE(bytes.contains("2,17.7E"));
}

TEST_F(LargePhoto, KeepsTheLocationWhenNotAskedToStripIt) {
    const QString out = m_out.file("kept.jpg");
    ImageConverter::convert(s_photo, options(ImageFormat::jpeg, 800, 0.85, false), out);
    const Decoded result = inspect(out);
    EXPECT_GE(exifFacts(result.exif).gpsEntries, 6);
    EXPECT_TRUE(result.xmp.contains("GPSLatitude"));
    EXPECT_EQ(exifFacts(result.exif).orientation, 1);
}

TEST_F(LargePhoto, TheLimitNeverEnlarges) {
    struct Case {
        std::optional<qint64> maxPixels;
        int width, height;
    };
    for (const Case& c : std::vector<Case>{
             {1600, 1200, 1600}, {8000, 3000, 4000}, {std::nullopt, 3000, 4000}, {1, 1, 1}}) {
        SCOPED_TRACE(c.maxPixels.value_or(-1));
        const QString out = m_out.file("sized.png");
        ImageConverter::convert(s_photo, options(ImageFormat::png, c.maxPixels), out);
        const Decoded result = inspect(out);
        EXPECT_EQ(result.loader, "pngload");
        EXPECT_EQ(result.width, c.width);
        EXPECT_EQ(result.height, c.height);
    }
}

TEST_F(LargePhoto, PixelSizeIsAsDisplayed) {
    EXPECT_EQ(ImageConverter::pixelSize(s_photo), QSizeF(3000, 4000));
    const QString plain = m_out.file("plain.jpg");
    writeJpeg(plain, JpegSpec{.width = 40, .height = 20, .orientation = 1});
    EXPECT_EQ(ImageConverter::pixelSize(plain), QSizeF(40, 20));
}

TEST(ImageConverter, JpegQualityFollowsTheOptions) {
    const TempDir dir;
    const QString source = dir.file("in.png");
    writePng(source, 64, 64, {10, 200, 30});
    // The encoder scales the standard tables by the quality: DC 16 at 50,
    // 5 at 85, 1 at 100, capped at 255 for baseline JPEG at the low end.
    struct Case {
        double quality;
        int dc;
    };
    for (const Case& c : std::vector<Case>{{0.85, 5}, {0.5, 16}, {1.0, 1}, {0.0, 255}, {0.3, 27}}) {
        SCOPED_TRACE(c.quality);
        const QString out = dir.file("q.jpg");
        ImageConverter::convert(source, options(ImageFormat::jpeg, std::nullopt, c.quality), out);
        EXPECT_EQ(firstQuantisationValue(out), c.dc);
    }
}

TEST(ImageConverter, TransparencyIsWhiteInJpegAndKeptInPng) {
    const TempDir dir;
    const QString source = dir.file("clear.png");
    writePng(source, 32, 32, {0, 0, 0}, 0);

    ImageConverter::convert(source, options(ImageFormat::jpeg, std::nullopt), dir.file("o.jpg"));
    EXPECT_TRUE(nearly(pixel(dir.file("o.jpg"), 16, 16), {255, 255, 255}, 3));

    ImageConverter::convert(source, options(ImageFormat::png, std::nullopt), dir.file("o.png"));
    EXPECT_EQ(minimumAlpha(dir.file("o.png")), 0);
}

TEST(ImageConverter, HeicUsesThePrimaryImageNeverItsPreview) {
    const TempDir dir;
    const QString source = dir.file("photo.heic");
    // The embedded thumbnail (400 px, red) is larger than the target, so a
    // converter that took previews would take it.
    writeHeicWithThumbnail(source, 800, 600, {0, 0, 255}, {255, 0, 0}, 400);

    const QString out = dir.file("photo.jpg");
    ImageConverter::convert(source, options(ImageFormat::jpeg, 300), out);
    const Decoded result = inspect(out);
    EXPECT_EQ(result.width, 300);
    EXPECT_EQ(result.height, 225);
    EXPECT_TRUE(nearly(pixel(out, 150, 110), {0, 0, 255})) << "the preview was used";
    EXPECT_EQ(ImageConverter::pixelSize(source), QSizeF(800, 600));
    EXPECT_TRUE(ImageConverter::isReadableImage(source));
}

TEST(ImageConverter, FailuresNameTheFileConcerned) {
    const TempDir dir;
    const QString text = dir.write("notes.txt", "just some words\n");
    const QString fakePdf = dir.write("paper.pdf", "%PDF-1.4 not really\n");
    const QString truncated = dir.write("cut.jpg", QByteArray("\xFF\xD8\xFF\xE0", 4));
    const QString good = dir.file("good.png");
    writePng(good, 8, 8, {1, 2, 3});
    const ImageOptions o = options(ImageFormat::jpeg, 100);

    EXPECT_EQ(errorOf([&] { ImageConverter::convert(text, o, dir.file("a.jpg")); }),
              ConversionError::cannotRead("notes.txt"));
    EXPECT_EQ(
        errorOf([&] { ImageConverter::convert(dir.file("missing.png"), o, dir.file("a.jpg")); }),
        ConversionError::cannotRead("missing.png"));
    // PDFs are for the PDF converter; the image decoders never see one.
    EXPECT_EQ(errorOf([&] { ImageConverter::convert(fakePdf, o, dir.file("a.jpg")); }),
              ConversionError::cannotRead("paper.pdf"));
    const ConversionError cut =
        errorOf([&] { ImageConverter::convert(truncated, o, dir.file("a.jpg")); });
    EXPECT_EQ(cut.text(), "cut.jpg");
    EXPECT_EQ(
        errorOf([&] { ImageConverter::convert(good, o, dir.file("no/such/folder/out.jpg")); }),
        ConversionError::cannotWrite("out.jpg"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList({"cut.jpg", "good.png", "notes.txt", "paper.pdf"}))
        << "a failed conversion leaves no file";

    EXPECT_FALSE(ImageConverter::isReadableImage(text));
    EXPECT_EQ(errorOf([&] { ImageConverter::pixelSize(text); }),
              ConversionError::cannotRead("notes.txt"));
}

// A picture cut short (an interrupted download, a full disk) must fail, so the
// original is delivered instead of an image with a grey lower part.
TEST(ImageConverter, TruncatedPicturesFailInsteadOfComingOutGrey) {
    const TempDir dir;
    JpegSpec spec;
    spec.width = 1200;
    spec.height = 900;
    writeJpeg(dir.file("whole.jpg"), spec);
    writePng(dir.file("whole.png"), 1200, 900, {10, 200, 30});
    struct Case {
        const char* name;
        const char* whole;
        ImageFormat format;
        std::optional<qint64> maxPixels;
    };
    const Case cases[] = {
        {"cut.jpg", "whole.jpg", ImageFormat::png, std::nullopt},
        {"cut.jpg", "whole.jpg", ImageFormat::jpeg, 200},
        {"cut.png", "whole.png", ImageFormat::jpeg, std::nullopt},
        {"cut.png", "whole.png", ImageFormat::png, 200},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + (c.maxPixels ? " scaled" : " whole"));
        const QByteArray whole = dir.read(QString::fromLatin1(c.whole));
        ASSERT_GT(whole.size(), 1000);
        const QString cut = dir.write(QString::fromLatin1(c.name), whole.left(whole.size() / 2));
        EXPECT_NO_THROW(ImageConverter::convert(dir.file(c.whole), options(c.format, c.maxPixels),
                                                dir.file("ok")));
        // Caught while reading or, for the rows read lazily, while writing.
        const ConversionError error = errorOf(
            [&] { ImageConverter::convert(cut, options(c.format, c.maxPixels), dir.file("out")); });
        EXPECT_NE(error.kind(), ConversionError::cannotRead({}).kind()) << "it is an image";
        EXPECT_FALSE(QFileInfo::exists(dir.file("out")));
        QFile::remove(dir.file("ok"));
    }
}

TEST(ImageConverter, DecodingIsBounded) {
    const TempDir dir;
    // 12000 x 10000 is 120 megapixels: PNG decodes whole before any scaling,
    // so even a small target would need them all in memory.
    const QString huge = dir.file("huge.png");
    {
        Vips::start();
        VipsImage* black = nullptr;
        ASSERT_EQ(vips_black(&black, 12000, 10000, nullptr), 0);
        const Vips::ImagePtr image(black);
        ASSERT_EQ(vips_pngsave(image.get(), QFile::encodeName(huge).constData(), "compression", 1,
                               nullptr),
                  0);
    }
    EXPECT_EQ(errorOf([&] {
                  ImageConverter::convert(huge, options(ImageFormat::jpeg, 1600),
                                          dir.file("o.jpg"));
              }),
              ConversionError::cannotDecode("huge.png"));
    EXPECT_FALSE(QFile::exists(dir.file("o.jpg")));

    // HEIC decodes whole too: a file that declares 12000 x 10000 fails on its
    // declared size, although a 1600-pixel result is asked for.
    const QString small = dir.file("small.heic");
    writeHeic(small, 64, 64, {0, 0, 0});
    QFile file(small);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QByteArray heic = file.readAll();
    const qsizetype ispe = heic.indexOf("ispe");
    ASSERT_GT(ispe, 0);
    const auto putBigEndian = [&heic](qsizetype at, quint32 value) {
        for (int i = 0; i < 4; ++i)
            heic[at + i] = static_cast<char>(value >> (24 - 8 * i));
    };
    putBigEndian(ispe + 8, 12000);
    putBigEndian(ispe + 12, 10000);
    const QString big = dir.write("big.heic", heic);
    ASSERT_EQ(ImageConverter::pixelSize(big), QSizeF(12000, 10000));
    EXPECT_EQ(errorOf([&] {
                  ImageConverter::convert(big, options(ImageFormat::jpeg, 1600), dir.file("h.jpg"));
              }),
              ConversionError::cannotDecode("big.heic"));
}
