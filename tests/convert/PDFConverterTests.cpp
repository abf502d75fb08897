#include "ConversionErrorOf.h"
#include "ConvertPrinters.h"
#include "ImageFixtures.h"

#include "TarvoConvert/ConversionError.h"
#include "TarvoConvert/PDFConverter.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cairo-pdf.h>
#include <cairo.h>
#include <poppler.h>

#include <QDir>
#include <QFile>

using namespace tarvo;
using namespace tarvo::test;

namespace {

struct Page {
    QByteArray mediaBox; // "[0 0 612 792]"
    QByteArray content;  // the page's drawing operators
};

// A small PDF written by hand, for boxes that no PDF library lets us choose.
QByteArray handWrittenPdf(const std::vector<Page>& pages) {
    QByteArray out = "%PDF-1.4\n";
    std::vector<qsizetype> offsets;
    const auto object = [&](const QByteArray& body) {
        offsets.push_back(out.size());
        out += QByteArray::number(static_cast<qsizetype>(offsets.size())) + " 0 obj\n" + body +
               "\nendobj\n";
    };
    QByteArray kids;
    for (size_t i = 0; i < pages.size(); ++i)
        kids += QByteArray::number(static_cast<qsizetype>(3 + 2 * i)) + " 0 R ";
    object("<< /Type /Catalog /Pages 2 0 R >>");
    object("<< /Type /Pages /Kids [" + kids + "] /Count " +
           QByteArray::number(static_cast<qsizetype>(pages.size())) + " >>");
    for (size_t i = 0; i < pages.size(); ++i) {
        object("<< /Type /Page /Parent 2 0 R /MediaBox " + pages[i].mediaBox + " /Contents " +
               QByteArray::number(static_cast<qsizetype>(4 + 2 * i)) + " 0 R >>");
        object("<< /Length " + QByteArray::number(pages[i].content.size()) + " >>\nstream\n" +
               pages[i].content + "\nendstream");
    }
    const qsizetype xref = out.size();
    out += "xref\n0 " + QByteArray::number(static_cast<qsizetype>(offsets.size() + 1)) +
           "\n0000000000 65535 f \n";
    for (const qsizetype offset : offsets)
        out += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    out += "trailer\n<< /Size " + QByteArray::number(static_cast<qsizetype>(offsets.size() + 1)) +
           " /Root 1 0 R >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
    return out;
}

// A US-Letter page that leaves everything transparent except a black square.
void writeLetterPdf(const QString& path, int pages = 1) {
    cairo_surface_t* surface =
        cairo_pdf_surface_create(QFile::encodeName(path).constData(), 612, 792);
    cairo_t* cr = cairo_create(surface);
    for (int i = 0; i < pages; ++i) {
        cairo_set_source_rgb(cr, 0, 0, 0);
        cairo_rectangle(cr, 0, 0, 100, 100);
        cairo_fill(cr);
        cairo_show_page(cr);
    }
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
}

struct PageSize {
    double width = 0, height = 0;
    int pages = 0;
};

PageSize firstPage(const QString& path) {
    GError* error = nullptr;
    gchar* uri = g_filename_to_uri(QFile::encodeName(path).constData(), nullptr, nullptr);
    PopplerDocument* document = poppler_document_new_from_file(uri, nullptr, &error);
    g_free(uri);
    PageSize size;
    if (!document) {
        g_clear_error(&error);
        return size;
    }
    size.pages = poppler_document_get_n_pages(document);
    PopplerPage* page = poppler_document_get_page(document, 0);
    poppler_page_get_size(page, &size.width, &size.height);
    g_object_unref(page);
    g_object_unref(document);
    return size;
}

} // namespace

TEST(PDFConverter, LetterPageAtScaleTwoIsOpaque) {
    const TempDir dir;
    const QString pdf = dir.file("letter.pdf");
    writeLetterPdf(pdf);
    const QString png = dir.file("page.png");
    PDFConverter::pageToPNG(pdf, 0, 2.0, png);

    const Decoded result = inspect(png);
    EXPECT_EQ(result.loader, "pngload");
    EXPECT_EQ(result.width, 1224);
    EXPECT_EQ(result.height, 1584);
    EXPECT_EQ(minimumAlpha(png), 255) << "no transparent pixel";
    EXPECT_TRUE(nearly(pixel(png, 1000, 1000), {255, 255, 255}, 0));
    EXPECT_TRUE(nearly(pixel(png, 100, 100), {0, 0, 0}, 0)) << "drawn at twice the size";
    EXPECT_TRUE(nearly(pixel(png, 210, 210), {255, 255, 255}, 0));
}

TEST(PDFConverter, MissingPagesAreNamedOneBased) {
    const TempDir dir;
    const QString pdf = dir.file("two.pdf");
    writeLetterPdf(pdf, 2);
    EXPECT_EQ(PDFConverter::pageCount(pdf), 2);
    const std::vector<std::pair<int, QString>> cases = {
        {3, "page 4 is not in this document"},
        {2, "page 3 is not in this document"},
        {-1, "page 0 is not in this document"},
        {INT_MAX, "page 2147483648 is not in this document"},
    };
    for (const auto& [index, text] : cases) {
        SCOPED_TRACE(index);
        EXPECT_EQ(errorOf([&] { PDFConverter::pageToPNG(pdf, index, 1.0, dir.file("p.png")); }),
                  ConversionError::unsupported(text));
    }
    PDFConverter::pageToPNG(pdf, 1, 0.5, dir.file("second.png"));
    EXPECT_EQ(inspect(dir.file("second.png")).width, 306);
}

TEST(PDFConverter, BoxWithAnOffsetOriginLandsAtTheBitmapOrigin) {
    const TempDir dir;
    // A 200 x 200 page whose box starts at (100, 200), with a black square at
    // the box's lower-left corner.
    const QString pdf = dir.write(
        "offset.pdf", handWrittenPdf({{"[100 200 300 400]", "0 0 0 rg 100 200 20 20 re f"}}));
    const QString png = dir.file("offset.png");
    PDFConverter::pageToPNG(pdf, 0, 1.0, png);
    EXPECT_EQ(inspect(png).width, 200);
    EXPECT_EQ(inspect(png).height, 200);
    EXPECT_TRUE(nearly(pixel(png, 5, 195), {0, 0, 0}, 0)) << "lower-left corner";
    EXPECT_TRUE(nearly(pixel(png, 100, 100), {255, 255, 255}, 0));
    EXPECT_TRUE(nearly(pixel(png, 5, 5), {255, 255, 255}, 0));
}

TEST(PDFConverter, SizesOutsideTheBoundsFail) {
    const TempDir dir;
    const QString pdf = dir.file("letter.pdf");
    writeLetterPdf(pdf);
    // Below one pixel, and far past the decoding limit (61,200 x 79,200 pixels).
    for (const double scale : {0.001, 100.0, -1.0}) {
        SCOPED_TRACE(scale);
        EXPECT_EQ(errorOf([&] { PDFConverter::pageToPNG(pdf, 0, scale, dir.file("p.png")); }),
                  ConversionError::cannotDecode("letter.pdf"));
    }
    EXPECT_FALSE(QFile::exists(dir.file("p.png")));
}

TEST(PDFConverter, OnlyFilesWithTheSignatureReachTheReader) {
    const TempDir dir;
    const QByteArray real = handWrittenPdf({{"[0 0 100 100]", ""}});
    struct Case {
        const char* name;
        QByteArray bytes;
        int pages;
    };
    const std::vector<Case> cases = {
        {"plain.pdf", real, 1},
        {"late.pdf", QByteArray(500, ' ') + real, 1},
        {"too-late.pdf", QByteArray(1100, ' ') + real, 0},
        {"text.pdf", "hello, not a document", 0},
        {"empty.pdf", QByteArray(), 0},
        {"broken.pdf", "%PDF-1.7\ngarbage only", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = dir.write(c.name, c.bytes);
        EXPECT_EQ(PDFConverter::pageCount(path), c.pages);
        if (c.pages == 0) {
            EXPECT_EQ(errorOf([&] { PDFConverter::pageToPNG(path, 0, 1.0, dir.file("x.png")); }),
                      ConversionError::cannotRead(c.name));
        }
    }
    EXPECT_EQ(PDFConverter::pageCount(dir.file("missing.pdf")), 0);
}

TEST(PDFConverter, ImagesBecomeOnePagePerImageAtOnePointPerPixel) {
    const TempDir dir;
    const QString turned = dir.file("turned.jpg");
    // Stored 40 x 20 with orientation 6: shown 20 wide and 40 high, the marker
    // at the top right.
    writeJpeg(turned, JpegSpec{.width = 40, .height = 20, .orientation = 6});
    const QString png = dir.file("flat.png");
    writePng(png, 30, 10, {0, 255, 0});

    const QString pdf = dir.file("out.pdf");
    PDFConverter::imagesToPDF({turned, png}, pdf);
    const PageSize size = firstPage(pdf);
    EXPECT_EQ(size.pages, 2);
    EXPECT_DOUBLE_EQ(size.width, 20);
    EXPECT_DOUBLE_EQ(size.height, 40);
    EXPECT_EQ(PDFConverter::pageCount(pdf), 2);

    PDFConverter::pageToPNG(pdf, 0, 1.0, dir.file("back.png"));
    EXPECT_TRUE(nearly(pixel(dir.file("back.png"), 18, 1), {255, 0, 0}, 60)) << "upright";
    EXPECT_TRUE(nearly(pixel(dir.file("back.png"), 2, 30), {0, 0, 255}, 60));
    PDFConverter::pageToPNG(pdf, 1, 1.0, dir.file("second.png"));
    EXPECT_EQ(inspect(dir.file("second.png")).width, 30);
    EXPECT_TRUE(nearly(pixel(dir.file("second.png"), 15, 5), {0, 255, 0}, 10));
}

TEST(PDFConverter, NothingIsWrittenUnlessEveryImageConverts) {
    const TempDir dir;
    const QString good = dir.file("good.png");
    writePng(good, 8, 8, {1, 2, 3});
    const QString text = dir.write("notes.txt", "words");
    EXPECT_EQ(errorOf([&] { PDFConverter::imagesToPDF({}, dir.file("a.pdf")); }),
              ConversionError::noPayload());
    EXPECT_EQ(errorOf([&] {
                  PDFConverter::imagesToPDF({good, text}, dir.file("a.pdf"));
              }),
              ConversionError::cannotDecode("notes.txt"));
    EXPECT_FALSE(QFile::exists(dir.file("a.pdf")));
    EXPECT_EQ(errorOf([&] { PDFConverter::imagesToPDF({good}, dir.file("none/a.pdf")); }),
              ConversionError::cannotWrite("a.pdf"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList({"good.png", "notes.txt"}));
}
