#include "PDFConverter.h"

#include "ConversionError.h"
#include "ImageDecoder.h"
#include "Vips.h"

#include "TarvoCore/AtomicFile.h"
#include "TarvoCore/FileError.h"

#include <cairo-pdf.h>
#include <cairo.h>
#include <poppler.h>

#include <QFile>
#include <QFileInfo>

#include <cmath>
#include <memory>

namespace tarvo::PDFConverter {

namespace {

constexpr qint64 kSignatureWindow = 1024;
// The largest side a cairo image surface takes.
constexpr double kMaxSurfaceSide = 32767;

QString fileName(const QString& path) {
    return QFileInfo(path).fileName();
}

struct GUnref {
    void operator()(gpointer object) const {
        if (object)
            g_object_unref(object);
    }
};
using DocumentPtr = std::unique_ptr<PopplerDocument, GUnref>;
using PagePtr = std::unique_ptr<PopplerPage, GUnref>;

struct SurfaceDestroy {
    void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
struct ContextDestroy {
    void operator()(cairo_t* context) const { cairo_destroy(context); }
};
using SurfacePtr = std::unique_ptr<cairo_surface_t, SurfaceDestroy>;
using ContextPtr = std::unique_ptr<cairo_t, ContextDestroy>;

// A PDF reader is a large parser; a file that does not even carry the
// signature where every PDF has it is not given to it.
bool hasSignature(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    return file.read(kSignatureWindow).contains("%PDF");
}

DocumentPtr openDocument(const QString& path) {
    if (!hasSignature(path))
        return nullptr;
    GError* error = nullptr;
    gchar* uri = g_filename_to_uri(
        QFile::encodeName(QFileInfo(path).absoluteFilePath()).constData(), nullptr, &error);
    if (!uri) {
        g_clear_error(&error);
        return nullptr;
    }
    PopplerDocument* document = poppler_document_new_from_file(uri, nullptr, &error);
    g_free(uri);
    g_clear_error(&error);
    return DocumentPtr(document);
}

cairo_status_t appendToBytes(void* closure, const unsigned char* data, unsigned int length) {
    static_cast<QByteArray*>(closure)->append(reinterpret_cast<const char*>(data),
                                              static_cast<qsizetype>(length));
    return CAIRO_STATUS_SUCCESS;
}

void writePNG(cairo_surface_t* surface, const QString& destination) {
    QByteArray png;
    if (cairo_surface_write_to_png_stream(surface, appendToBytes, &png) != CAIRO_STATUS_SUCCESS)
        throw ConversionError::cannotWrite(fileName(destination));
    try {
        AtomicFile::write(png, destination);
    } catch (const FileError&) {
        throw ConversionError::cannotWrite(fileName(destination));
    }
}

// The upright image as a premultiplied cairo surface of its own pixel size.
SurfacePtr imageSurface(const QString& path) {
    // A file that is no image at all cannot be decoded as one, whatever the
    // reason the image decoder gives.
    const ImageDecoder::Source source = [&path] {
        try {
            return ImageDecoder::open(path);
        } catch (const ConversionError&) {
            throw ConversionError::cannotDecode(fileName(path));
        }
    }();
    const int longest = std::max(
        {vips_image_get_width(source.header.get()), vips_image_get_height(source.header.get()), 1});
    const Vips::ImagePtr decoded = ImageDecoder::decode(path, source, longest);

    const auto fail = [&path]() -> SurfacePtr {
        Vips::takeError();
        throw ConversionError::cannotDecode(fileName(path));
    };
    VipsImage* srgb = nullptr;
    if (vips_colourspace(decoded.get(), &srgb, VIPS_INTERPRETATION_sRGB, nullptr) != 0)
        return fail();
    const Vips::ImagePtr rgb(srgb);
    VipsImage* withAlpha = nullptr;
    if (vips_image_hasalpha(rgb.get())
            ? vips_copy(rgb.get(), &withAlpha, nullptr) != 0
            : vips_bandjoin_const1(rgb.get(), &withAlpha, 255, nullptr) != 0)
        return fail();
    const Vips::ImagePtr rgba(withAlpha);
    VipsImage* premultiplied = nullptr;
    VipsImage* bytes = nullptr;
    if (vips_premultiply(rgba.get(), &premultiplied, nullptr) != 0)
        return fail();
    const Vips::ImagePtr premultipliedPtr(premultiplied);
    if (vips_cast_uchar(premultipliedPtr.get(), &bytes, nullptr) != 0)
        return fail();
    const Vips::ImagePtr eightBit(bytes);
    if (vips_image_get_bands(eightBit.get()) != 4)
        return fail();

    size_t size = 0;
    void* memory = vips_image_write_to_memory(eightBit.get(), &size);
    if (!memory)
        return fail();
    const int width = vips_image_get_width(eightBit.get());
    const int height = vips_image_get_height(eightBit.get());
    SurfacePtr surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) {
        g_free(memory);
        throw ConversionError::cannotDecode(fileName(path));
    }
    cairo_surface_flush(surface.get());
    unsigned char* target = cairo_image_surface_get_data(surface.get());
    const int stride = cairo_image_surface_get_stride(surface.get());
    const auto* rgbaBytes = static_cast<const unsigned char*>(memory);
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(target + static_cast<ptrdiff_t>(y) * stride);
        const unsigned char* in =
            rgbaBytes + static_cast<size_t>(y) * static_cast<size_t>(width) * 4;
        for (int x = 0; x < width; ++x, in += 4)
            row[x] = uint32_t(in[3]) << 24 | uint32_t(in[0]) << 16 | uint32_t(in[1]) << 8 | in[2];
    }
    g_free(memory);
    cairo_surface_mark_dirty(surface.get());
    return surface;
}

} // namespace

int pageCount(const QString& pdf) {
    const DocumentPtr document = openDocument(pdf);
    return document ? poppler_document_get_n_pages(document.get()) : 0;
}

void pageToPNG(const QString& p, int i, double s, const QString& d) {
    const DocumentPtr document = openDocument(p);
    if (!document)
        throw ConversionError::cannotRead(fileName(p));
    const int count = poppler_document_get_n_pages(document.get());
    const PagePtr page(i >= 0 && i < count ? poppler_document_get_page(document.get(), i)
                                           : nullptr);
    if (!page)
        throw ConversionError::unsupported(
            QStringLiteral("page %1 is not in this document").arg(static_cast<qint64>(i) + 1));

    // The page as it is shown: its crop box (the media box unless the document
    // crops it), turned by its rotation.
    double pageWidth = 0;
    double pageHeight = 0;
    poppler_page_get_size(page.get(), &pageWidth, &pageHeight);
    const double w = std::trunc(pageWidth * s);
    const double h = std::trunc(pageHeight * s);
    if (!(w >= 1) || !(h >= 1) || w > kMaxSurfaceSide || h > kMaxSurfaceSide ||
        w * h > Vips::kMaxDecodedPixels)
        throw ConversionError::cannotDecode(fileName(p));

    const SurfacePtr surface(
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, static_cast<int>(w), static_cast<int>(h)));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS)
        throw ConversionError::cannotWrite(fileName(d));
    const ContextPtr context(cairo_create(surface.get()));
    // White first: transparent parts of the page come out white, never clear.
    cairo_set_source_rgba(context.get(), 1, 1, 1, 1);
    cairo_paint(context.get());
    cairo_scale(context.get(), s, s);
    poppler_page_render(page.get(), context.get());
    cairo_surface_flush(surface.get());
    if (cairo_status(context.get()) != CAIRO_STATUS_SUCCESS)
        throw ConversionError::cannotWrite(fileName(d));
    writePNG(surface.get(), d);
}

void imagesToPDF(const QStringList& images, const QString& d) {
    if (images.isEmpty())
        throw ConversionError::noPayload();

    // The document is built in memory and written in one step at the end, so a
    // failing image leaves nothing at the destination.
    QByteArray document;
    SurfacePtr pdf(cairo_pdf_surface_create_for_stream(appendToBytes, &document, 1, 1));
    if (cairo_surface_status(pdf.get()) != CAIRO_STATUS_SUCCESS)
        throw ConversionError::cannotWrite(fileName(d));
    for (const QString& path : images) {
        const SurfacePtr image = imageSurface(path);
        const int width = cairo_image_surface_get_width(image.get());
        const int height = cairo_image_surface_get_height(image.get());
        // One point per pixel.
        cairo_pdf_surface_set_size(pdf.get(), width, height);
        const ContextPtr context(cairo_create(pdf.get()));
        cairo_set_source_surface(context.get(), image.get(), 0, 0);
        cairo_paint(context.get());
        cairo_show_page(context.get());
        if (cairo_status(context.get()) != CAIRO_STATUS_SUCCESS)
            throw ConversionError::cannotDecode(fileName(path));
    }
    cairo_surface_finish(pdf.get());
    if (cairo_surface_status(pdf.get()) != CAIRO_STATUS_SUCCESS)
        throw ConversionError::cannotWrite(fileName(d));
    pdf.reset();
    try {
        AtomicFile::write(document, d);
    } catch (const FileError&) {
        throw ConversionError::cannotWrite(fileName(d));
    }
}

} // namespace tarvo::PDFConverter
