#include "ImageConverter.h"

#include "ConversionError.h"
#include "ImageDecoder.h"
#include "ImageMetadata.h"
#include "Vips.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>

namespace tarvo::ImageConverter {

namespace {

QString fileName(const QString& path) {
    return QFileInfo(path).fileName();
}

Vips::ImagePtr retained(VipsImage* image) {
    return Vips::ImagePtr(static_cast<VipsImage*>(g_object_ref(image)));
}

// JPEG has no transparency: transparent areas are put on white rather than on
// the black that dropping the alpha channel would leave.
Vips::ImagePtr flattenedForJpeg(VipsImage* image, const QString& sourceName) {
    if (!vips_image_hasalpha(image))
        return retained(image);
    const bool sixteenBit =
        image->Type == VIPS_INTERPRETATION_RGB16 || image->Type == VIPS_INTERPRETATION_GREY16;
    const double white[] = {sixteenBit ? 65535.0 : 255.0};
    VipsArrayDouble* background = vips_array_double_new(white, 1);
    VipsImage* out = nullptr;
    const int failed =
        vips_flatten(image, &out, "background", background, "max_alpha", white[0], nullptr);
    vips_area_unref(VIPS_AREA(background));
    if (failed != 0)
        throw ConversionError::cannotDecode(sourceName).because(Vips::takeError());
    return Vips::ImagePtr(out);
}

// The destination's metadata: the source's, without location when asked, and
// upright, since the pixels are already turned. The encoder writes the new size.
void applyOutputMetadata(VipsImage* image, const ImageOptions& options) {
    if (options.stripLocation)
        ImageMetadata::stripLocation(image);
    vips_image_remove(image, "exif-ifd0-Orientation");
    vips_image_set_int(image, VIPS_META_ORIENTATION, 1);
}

void encode(VipsImage* scaled, const QString& sourceName, const ImageOptions& o, const QString& d);

int jpegQuality(double quality) {
    if (!std::isfinite(quality))
        return 100;
    return std::clamp(static_cast<int>(std::lround(std::clamp(quality, 0.0, 1.0) * 100.0)), 1, 100);
}

} // namespace

QStringList readableTypes() {
    return {QStringLiteral("image/heic"), QStringLiteral("image/heif"), QStringLiteral("image/png"),
            QStringLiteral("image/jpeg"), QStringLiteral("image/tiff"), QStringLiteral("image/gif"),
            QStringLiteral("image/bmp"),  QStringLiteral("image/webp"), QStringLiteral("image/*")};
}

bool isReadableImage(const QString& path) {
    try {
        ImageDecoder::open(path);
        return true;
    } catch (const ConversionError&) {
        return false;
    }
}

QSizeF pixelSize(const QString& path) {
    const ImageDecoder::Source source = ImageDecoder::open(path);
    const double width = vips_image_get_width(source.header.get());
    const double height = vips_image_get_height(source.header.get());
    if (source.orientation >= 5 && source.orientation <= 8)
        return {height, width};
    return {width, height};
}

void convert(const QString& s, const ImageOptions& o, const QString& d) {
    const ImageDecoder::Source source = ImageDecoder::open(s);
    const qint64 longest = std::max(vips_image_get_width(source.header.get()),
                                    vips_image_get_height(source.header.get()));
    qint64 target = longest;
    if (o.maxPixels)
        target = longest == 0 ? *o.maxPixels : std::min(*o.maxPixels, longest);
    if (target < 1 || target > INT_MAX)
        throw ConversionError::cannotDecode(fileName(s));

    const Vips::ImagePtr scaled = ImageDecoder::decode(s, source, static_cast<int>(target));
    encode(scaled.get(), fileName(s), o, d);
}

void convert(VipsImage* image, const QString& sourceName, const ImageOptions& o, const QString& d) {
    const qint64 longest = std::max(vips_image_get_width(image), vips_image_get_height(image));
    const qint64 target = o.maxPixels ? std::min(*o.maxPixels, longest) : longest;
    if (target < 1 || target > INT_MAX)
        throw ConversionError::cannotDecode(sourceName);
    VipsImage* out = nullptr;
    if (target >= longest
            ? vips_copy(image, &out, nullptr) != 0
            : vips_thumbnail_image(image, &out, static_cast<int>(target), "height",
                                   static_cast<int>(target), "size", VIPS_SIZE_DOWN, nullptr) != 0)
        throw ConversionError::cannotDecode(sourceName).because(Vips::takeError());
    const Vips::ImagePtr scaled(out);
    encode(scaled.get(), sourceName, o, d);
}

namespace {

void encode(VipsImage* scaled, const QString& sourceName, const ImageOptions& o, const QString& d) {
    const Vips::ImagePtr encodable =
        o.format == ImageFormat::jpeg ? flattenedForJpeg(scaled, sourceName) : retained(scaled);
    VipsImage* copied = nullptr;
    if (vips_copy(encodable.get(), &copied, nullptr) != 0)
        throw ConversionError::cannotDecode(sourceName).because(Vips::takeError());
    const Vips::ImagePtr output(copied);
    applyOutputMetadata(output.get(), o);

    const QString temporary = Vips::temporarySibling(d);
    const QByteArray temporaryName = QFile::encodeName(temporary);
    const int failed =
        o.format == ImageFormat::jpeg
            ? vips_jpegsave(output.get(), temporaryName.constData(), "Q", jpegQuality(o.quality),
                            "strip", FALSE, nullptr)
            : vips_pngsave(output.get(), temporaryName.constData(), "strip", FALSE, nullptr);
    if (failed != 0) {
        const QString reason = Vips::takeError();
        QFile::remove(temporary);
        throw ConversionError::cannotWrite(fileName(d)).because(reason);
    }
    if (!Vips::commit(temporary, d))
        throw ConversionError::cannotWrite(fileName(d))
            .because(QString::fromLocal8Bit(std::strerror(errno)));
}

} // namespace

} // namespace tarvo::ImageConverter
