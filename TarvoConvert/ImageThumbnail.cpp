#include "ImageThumbnail.h"

#include "ConversionError.h"
#include "ImageDecoder.h"
#include "Vips.h"

#include <QFile>

#include <string_view>

namespace tarvo::ImageThumbnail {

namespace {

bool isPdf(const QByteArray& path) {
    const char* loader = vips_foreign_find_load(path.constData());
    if (!loader) {
        vips_error_clear();
        return false;
    }
    return std::string_view(loader) == "VipsForeignLoadPdfFile";
}

// An 8-bit sRGB image with alpha, copied into a QImage.
QImage toQImage(VipsImage* image) {
    VipsImage* srgb = nullptr;
    if (vips_colourspace(image, &srgb, VIPS_INTERPRETATION_sRGB, nullptr) != 0) {
        Vips::takeError();
        return {};
    }
    Vips::ImagePtr converted(srgb);
    VipsImage* withAlpha = nullptr;
    const int bands = vips_image_get_bands(converted.get());
    if (bands == 3) {
        if (vips_addalpha(converted.get(), &withAlpha, nullptr) != 0) {
            Vips::takeError();
            return {};
        }
        converted.reset(withAlpha);
    } else if (bands != 4) {
        return {};
    }
    VipsImage* bytes = nullptr;
    if (vips_cast(converted.get(), &bytes, VIPS_FORMAT_UCHAR, nullptr) != 0) {
        Vips::takeError();
        return {};
    }
    converted.reset(bytes);
    std::size_t size = 0;
    void* memory = vips_image_write_to_memory(converted.get(), &size);
    if (!memory) {
        Vips::takeError();
        return {};
    }
    const int width = vips_image_get_width(converted.get());
    const int height = vips_image_get_height(converted.get());
    QImage result;
    if (size == std::size_t(width) * std::size_t(height) * 4)
        result = QImage(static_cast<const uchar*>(memory), width, height, width * 4,
                        QImage::Format_RGBA8888)
                     .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    g_free(memory);
    return result;
}

} // namespace

QImage decode(const QString& path, int pixels) {
    Vips::start();
    const QByteArray name = QFile::encodeName(path);
    if (isPdf(name)) {
        // The page is drawn at the thumbnail's size, never at its own.
        VipsImage* out = nullptr;
        if (vips_thumbnail(name.constData(), &out, pixels, "height", pixels, "size", VIPS_SIZE_DOWN,
                           nullptr) != 0 ||
            !out) {
            Vips::takeError();
            return {};
        }
        Vips::ImagePtr page(out);
        return toQImage(page.get());
    }
    try {
        const auto source = ImageDecoder::open(path);
        const auto image = ImageDecoder::decode(path, source, pixels);
        return toQImage(image.get());
    } catch (const ConversionError&) {
        return {};
    }
}

} // namespace tarvo::ImageThumbnail
