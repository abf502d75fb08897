#include "ImageDecoder.h"

#include "ConversionError.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <string_view>

namespace tarvo::ImageDecoder {

namespace {

QString fileName(const QString& path) {
    return QFileInfo(path).fileName();
}

bool startsWithBM(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(2) == "BM";
}

// Only these decoders ever see a file. libvips would also hand files to
// ImageMagick, a PDF renderer or a slide reader; their formats are not images
// we accept, and ImageMagick is let in for BMP alone.
std::optional<Loader> loaderFor(const QString& path) {
    const char* name = vips_foreign_find_load(QFile::encodeName(path).constData());
    if (!name) {
        Vips::takeError(); // "not a known file format": the answer is none
        return std::nullopt;
    }
    const std::string_view loader(name);
    if (loader == "VipsForeignLoadJpegFile")
        return Loader::jpeg;
    if (loader == "VipsForeignLoadPngFile")
        return Loader::png;
    if (loader == "VipsForeignLoadWebpFile")
        return Loader::webp;
    if (loader == "VipsForeignLoadHeifFile")
        return Loader::heif;
    if (loader == "VipsForeignLoadTiffFile")
        return Loader::tiff;
    if (loader == "VipsForeignLoadNsgifFile")
        return Loader::gif;
    if (loader == "VipsForeignLoadMagickFile" && startsWithBM(path))
        return Loader::bmp;
    return std::nullopt;
}

int orientationOf(VipsImage* image) {
    int value = 1;
    if (vips_image_get_typeof(image, VIPS_META_ORIENTATION) &&
        vips_image_get_int(image, VIPS_META_ORIENTATION, &value) != 0) {
        Vips::takeError();
        value = 1;
    }
    return value;
}

} // namespace

// JPEG decodes at 1/2, 1/4 or 1/8 of its size when the target is small
// enough (the thumbnail keeps a factor of two for the resize itself); every
// other format decodes whole.
double decodedPixels(const Source& source, int target) {
    const double width = vips_image_get_width(source.header.get());
    const double height = vips_image_get_height(source.header.get());
    double shrink = 1;
    if (source.loader == Loader::jpeg) {
        const double factor = std::max(width, height) / target;
        shrink = factor >= 16 ? 8 : factor >= 8 ? 4 : factor >= 4 ? 2 : 1;
    }
    return std::ceil(width / shrink) * std::ceil(height / shrink);
}

Source open(const QString& path) {
    Vips::start();
    const auto loader = loaderFor(path);
    if (!loader)
        throw ConversionError::cannotRead(fileName(path));
    const QByteArray name = QFile::encodeName(path);
    // HEIF files carry small previews; the primary image is always the one read.
    // A truncated file fails instead of decoding into grey, so the original
    // is delivered rather than a damaged picture.
    VipsImage* image =
        *loader == Loader::heif
            ? vips_image_new_from_file(name.constData(), "access", VIPS_ACCESS_SEQUENTIAL,
                                       "fail_on", VIPS_FAIL_ON_TRUNCATED, "thumbnail", FALSE,
                                       nullptr)
            : vips_image_new_from_file(name.constData(), "access", VIPS_ACCESS_SEQUENTIAL,
                                       "fail_on", VIPS_FAIL_ON_TRUNCATED, nullptr);
    if (!image)
        throw ConversionError::cannotDecode(fileName(path)).because(Vips::takeError());
    return {*loader, Vips::ImagePtr(image), orientationOf(image)};
}

Vips::ImagePtr decode(const QString& path, const Source& source, int target) {
    if (target < 1 || decodedPixels(source, target) > Vips::kMaxDecodedPixels)
        throw ConversionError::cannotDecode(fileName(path));

    VipsImage* out = nullptr;
    int failed = 0;
    switch (source.loader) {
    case Loader::jpeg:
    case Loader::png:
    case Loader::webp:
        // These decode straight to about the target size (shrink-on-load) and
        // hold no preview that the thumbnail could pick instead.
        failed = vips_thumbnail(QFile::encodeName(path).constData(), &out, target, "height", target,
                                "size", VIPS_SIZE_DOWN, "fail_on", VIPS_FAIL_ON_TRUNCATED, nullptr);
        break;
    default:
        // The thumbnail operation would take a HEIF preview or a TIFF pyramid
        // level when one is large enough; scaling the image already opened on
        // its primary picture never does.
        failed = vips_thumbnail_image(source.header.get(), &out, target, "height", target, "size",
                                      VIPS_SIZE_DOWN, nullptr);
        break;
    }
    if (failed != 0 || !out)
        throw ConversionError::cannotDecode(fileName(path)).because(Vips::takeError());
    return Vips::ImagePtr(out);
}

} // namespace tarvo::ImageDecoder
