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

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

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
using RegionPtr = std::unique_ptr<VipsRegion, GUnref>;
using ContextPtr = std::unique_ptr<cairo_t, ContextDestroy>;

// A PDF reader is a large parser; a file that does not even carry the
// signature where every PDF has it is not given to it.
bool hasSignature(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    return file.read(kSignatureWindow).contains("%PDF");
}

// Takes the message of `error`, clearing it.
QString takeMessage(GError*& error) {
    QString message = error ? QString::fromUtf8(error->message) : QString();
    g_clear_error(&error);
    return message;
}

// None when the file does not open as a PDF document; `reason` then says why.
DocumentPtr openDocument(const QString& path, QString* reason = nullptr) {
    if (!hasSignature(path)) {
        if (reason)
            *reason = QStringLiteral("no PDF signature");
        return nullptr;
    }
    GError* error = nullptr;
    gchar* uri = g_filename_to_uri(
        QFile::encodeName(QFileInfo(path).absoluteFilePath()).constData(), nullptr, &error);
    if (!uri) {
        const QString message = takeMessage(error);
        if (reason)
            *reason = message;
        return nullptr;
    }
    PopplerDocument* document = poppler_document_new_from_file(uri, nullptr, &error);
    g_free(uri);
    const QString message = takeMessage(error);
    if (!document && reason)
        *reason = message;
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
        AtomicFile::write(png, destination, AtomicFile::Access::shared);
    } catch (const FileError&) {
        throw ConversionError::cannotWrite(fileName(destination));
    }
}

// The upright image as a premultiplied cairo surface of its own pixel size,
// its rows decoded strip by strip straight into the surface: the image is
// never held whole anywhere else.
SurfacePtr imageSurface(const QString& path) {
    // A file that is no image at all cannot be decoded as one, whatever the
    // reason the image decoder gives.
    const ImageDecoder::Source source = [&path] {
        try {
            return ImageDecoder::open(path);
        } catch (const ConversionError& error) {
            throw ConversionError::cannotDecode(fileName(path)).because(error.reason());
        }
    }();
    const int longest = std::max(
        {vips_image_get_width(source.header.get()), vips_image_get_height(source.header.get()), 1});
    const Vips::ImagePtr decoded = ImageDecoder::decode(path, source, longest);

    const auto fail = [&path]() -> SurfacePtr {
        throw ConversionError::cannotDecode(fileName(path)).because(Vips::takeError());
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

    const int width = vips_image_get_width(eightBit.get());
    const int height = vips_image_get_height(eightBit.get());
    SurfacePtr surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS)
        throw ConversionError::cannotDecode(fileName(path))
            .because(
                QString::fromUtf8(cairo_status_to_string(cairo_surface_status(surface.get()))));
    cairo_surface_flush(surface.get());
    unsigned char* target = cairo_image_surface_get_data(surface.get());
    const int stride = cairo_image_surface_get_stride(surface.get());

    const RegionPtr region(vips_region_new(eightBit.get()));
    if (!region)
        return fail();
    // Top to bottom, as the decoders read: strips of a few rows hold little.
    constexpr int stripRows = 64;
    for (int top = 0; top < height; top += stripRows) {
        VipsRect strip{0, top, width, std::min(stripRows, height - top)};
        VipsRegion* area = region.get();
        if (vips_region_prepare(area, &strip) != 0)
            return fail();
        for (int y = strip.top; y < strip.top + strip.height; ++y) {
            auto* row = reinterpret_cast<uint32_t*>(target + static_cast<ptrdiff_t>(y) * stride);
            const auto* in = reinterpret_cast<const unsigned char*>(VIPS_REGION_ADDR(area, 0, y));
            for (int x = 0; x < width; ++x, in += 4)
                row[x] =
                    uint32_t(in[3]) << 24 | uint32_t(in[0]) << 16 | uint32_t(in[1]) << 8 | in[2];
        }
    }
    cairo_surface_mark_dirty(surface.get());
    return surface;
}

struct Page {
    DocumentPtr document;
    PagePtr page;
    double width = 0; // in pixels, whole
    double height = 0;
};

// The page and its size at `s`; throws when it cannot be drawn.
Page openPage(const QString& p, int i, double s) {
    QString reason;
    DocumentPtr document = openDocument(p, &reason);
    if (!document)
        throw ConversionError::cannotRead(fileName(p)).because(reason);
    const int count = poppler_document_get_n_pages(document.get());
    PagePtr page(i >= 0 && i < count ? poppler_document_get_page(document.get(), i) : nullptr);
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
    return {std::move(document), std::move(page), w, h};
}

// The page drawn on opaque white into a surface of its own pixel size.
SurfacePtr drawPage(const Page& page, double s, const QString& failing) {
    SurfacePtr surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, static_cast<int>(page.width),
                                                  static_cast<int>(page.height)));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS)
        throw ConversionError::cannotWrite(failing).because(
            QString::fromUtf8(cairo_status_to_string(cairo_surface_status(surface.get()))));
    const ContextPtr context(cairo_create(surface.get()));
    // White first: transparent parts of the page come out white, never clear.
    cairo_set_source_rgba(context.get(), 1, 1, 1, 1);
    cairo_paint(context.get());
    cairo_scale(context.get(), s, s);
    poppler_page_render(page.page.get(), context.get());
    cairo_surface_flush(surface.get());
    if (cairo_status(context.get()) != CAIRO_STATUS_SUCCESS)
        throw ConversionError::cannotWrite(failing).because(
            QString::fromUtf8(cairo_status_to_string(cairo_status(context.get()))));
    return surface;
}

void destroySurface(VipsImage*, gpointer surface) {
    cairo_surface_destroy(static_cast<cairo_surface_t*>(surface));
}

// Writes the PDF that cairo produces into a file descriptor.
cairo_status_t writeToFile(void* closure, const unsigned char* data, unsigned int length) {
    const int fd = *static_cast<int*>(closure);
    while (length > 0) {
        const ssize_t n = ::write(fd, data, length);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return CAIRO_STATUS_WRITE_ERROR;
        }
        data += n;
        length -= static_cast<unsigned int>(n);
    }
    return CAIRO_STATUS_SUCCESS;
}

} // namespace

int pageCount(const QString& pdf) {
    const DocumentPtr document = openDocument(pdf);
    return document ? poppler_document_get_n_pages(document.get()) : 0;
}

void pageToPNG(const QString& p, int i, double s, const QString& d) {
    const Page page = openPage(p, i, s);
    const SurfacePtr surface = drawPage(page, s, fileName(d));
    writePNG(surface.get(), d);
}

Vips::ImagePtr renderPage(const QString& p, int i, double s) {
    Vips::start();
    const Page page = openPage(p, i, s);
    SurfacePtr surface = drawPage(page, s, fileName(p));
    const int width = cairo_image_surface_get_width(surface.get());
    const int height = cairo_image_surface_get_height(surface.get());
    const int stride = cairo_image_surface_get_stride(surface.get());
    if (stride != width * 4)
        throw ConversionError::cannotWrite(fileName(p));
    // The surface's own memory, viewed as four bands; the surface goes with
    // the last image that needs it.
    VipsImage* view = vips_image_new_from_memory(cairo_image_surface_get_data(surface.get()),
                                                 static_cast<size_t>(stride) * height, width,
                                                 height, 4, VIPS_FORMAT_UCHAR);
    if (!view)
        throw ConversionError::cannotWrite(fileName(p)).because(Vips::takeError());
    g_signal_connect(view, "postclose", G_CALLBACK(destroySurface), surface.release());
    const Vips::ImagePtr pixels(view);

    // Opaque, so premultiplied is plain: only the byte order of cairo's
    // native-endian pixels is undone.
    const bool littleEndian = G_BYTE_ORDER == G_LITTLE_ENDIAN;
    VipsImage* bands[3] = {};
    const int order[3] = {littleEndian ? 2 : 1, littleEndian ? 1 : 2, littleEndian ? 0 : 3};
    for (int b = 0; b < 3; ++b) {
        if (vips_extract_band(pixels.get(), &bands[b], order[b], nullptr) != 0) {
            for (VipsImage* made : bands)
                if (made)
                    g_object_unref(made);
            throw ConversionError::cannotWrite(fileName(p)).because(Vips::takeError());
        }
    }
    VipsImage* joined = nullptr;
    const int failed = vips_bandjoin(bands, &joined, 3, nullptr);
    for (VipsImage* made : bands)
        g_object_unref(made);
    if (failed != 0)
        throw ConversionError::cannotWrite(fileName(p)).because(Vips::takeError());
    Vips::ImagePtr rgb(joined);
    VipsImage* tagged = nullptr;
    if (vips_copy(rgb.get(), &tagged, "interpretation", VIPS_INTERPRETATION_sRGB, nullptr) != 0)
        throw ConversionError::cannotWrite(fileName(p)).because(Vips::takeError());
    return Vips::ImagePtr(tagged);
}

qint64 pagePixels(const QString& p, int i, double s) {
    try {
        const Page page = openPage(p, i, s);
        return static_cast<qint64>(page.width * page.height);
    } catch (const ConversionError&) {
        return 0;
    }
}

void imagesToPDF(const QStringList& images, const QString& d) {
    if (images.isEmpty())
        throw ConversionError::noPayload();

    // Written beside the destination and renamed over it once whole, so a
    // failing image leaves nothing at the destination; the document is never
    // held in memory.
    const QString temporary = Vips::temporarySibling(d);
    const int fd = ::open(QFile::encodeName(temporary).constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        throw ConversionError::cannotWrite(fileName(d))
            .because(QString::fromLocal8Bit(std::strerror(errno)));
    struct Cleanup {
        int fd;
        const QString& temporary;
        bool committed = false;
        ~Cleanup() {
            if (fd >= 0)
                ::close(fd);
            if (!committed)
                QFile::remove(temporary);
        }
    } cleanup{fd, temporary};

    int target = fd;
    SurfacePtr pdf(cairo_pdf_surface_create_for_stream(writeToFile, &target, 1, 1));
    if (cairo_surface_status(pdf.get()) != CAIRO_STATUS_SUCCESS)
        throw ConversionError::cannotWrite(fileName(d));
    for (const QString& path : images) {
        SurfacePtr image = imageSurface(path);
        const int width = cairo_image_surface_get_width(image.get());
        const int height = cairo_image_surface_get_height(image.get());
        // One point per pixel.
        cairo_pdf_surface_set_size(pdf.get(), width, height);
        const ContextPtr context(cairo_create(pdf.get()));
        cairo_set_source_surface(context.get(), image.get(), 0, 0);
        cairo_paint(context.get());
        cairo_show_page(context.get());
        if (cairo_status(context.get()) != CAIRO_STATUS_SUCCESS)
            throw ConversionError::cannotDecode(fileName(path))
                .because(QString::fromUtf8(cairo_status_to_string(cairo_status(context.get()))));
    }
    cairo_surface_finish(pdf.get());
    if (cairo_surface_status(pdf.get()) != CAIRO_STATUS_SUCCESS)
        throw ConversionError::cannotWrite(fileName(d))
            .because(QString::fromUtf8(cairo_status_to_string(cairo_surface_status(pdf.get()))));
    pdf.reset();
    if (::fdatasync(fd) != 0)
        throw ConversionError::cannotWrite(fileName(d))
            .because(QString::fromLocal8Bit(std::strerror(errno)));
    ::close(fd);
    cleanup.fd = -1;
    if (!Vips::commit(temporary, d))
        throw ConversionError::cannotWrite(fileName(d));
    cleanup.committed = true;
}

} // namespace tarvo::PDFConverter
