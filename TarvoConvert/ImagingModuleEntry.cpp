// The image module's one entry: the image and PDF work behind the program's
// Imaging calls, with every error handed back as a value.
#include "ConversionError.h"
#include "ImageConverter.h"
#include "ImageDecoder.h"
#include "ImageThumbnail.h"
#include "ImagingModule.h"
#include "OutputNaming.h"
#include "PDFConverter.h"

#include "TarvoCore/FileError.h"

#include <QFileInfo>

#include <algorithm>
#include <climits>

namespace tarvo {

namespace {

// A PDF page delivered as an image is drawn at twice its size in points.
constexpr double kPageScale = 2.0;

bool isPdf(const QString& path) {
    return OutputNaming::pathExtension(path).toLower() == u"pdf" ||
           PDFConverter::pageCount(path) >= 1;
}

template <typename Work> void guarded(ImagingFailure& failure, Work work) {
    failure = ImagingFailure();
    try {
        work();
    } catch (const ConversionError& error) {
        failure.type = ImagingFailure::Type::conversion;
        failure.kind = static_cast<int>(error.kind());
        failure.text = error.text();
        failure.reason = error.reason();
    } catch (const FileError& error) {
        failure.type = ImagingFailure::Type::file;
        failure.operation = error.operation();
        failure.path = error.path();
        failure.code = error.code();
        failure.reason = error.reason();
    } catch (const std::exception& error) {
        failure.type = ImagingFailure::Type::other;
        failure.text = QString::fromLocal8Bit(error.what());
    }
}

void convertImage(const QString& source, const ImageOptions& options, const QString& destination,
                  ImagingFailure& failure) {
    guarded(failure, [&] {
        if (!isPdf(source)) {
            ImageConverter::convert(source, options, destination);
            return;
        }
        // The first page is drawn straight into the pixels that are encoded.
        const Vips::ImagePtr page = PDFConverter::renderPage(source, 0, kPageScale);
        ImageConverter::convert(page.get(), QFileInfo(source).fileName(), options, destination);
    });
}

void imagesToPDF(const QStringList& images, const QString& destination, ImagingFailure& failure) {
    guarded(failure, [&] { PDFConverter::imagesToPDF(images, destination); });
}

qint64 decodedBytes(const QString& source, const ImageOptions* options) {
    constexpr qint64 bytesPerPixel = 4;
    try {
        if (isPdf(source)) // a PDF goes over unchanged; its page is drawn for an image
            return options ? PDFConverter::pagePixels(source, 0, kPageScale) * bytesPerPixel : 0;
        const ImageDecoder::Source opened = ImageDecoder::open(source);
        const qint64 width = vips_image_get_width(opened.header.get());
        const qint64 height = vips_image_get_height(opened.header.get());
        if (!options) // the page's pixels, and the copy the PDF writer makes of them
            return width * height * bytesPerPixel * 2;
        const qint64 longest = std::max(width, height);
        const qint64 target = options->maxPixels ? std::min(*options->maxPixels, longest) : longest;
        if (target < 1 || target > INT_MAX)
            return 0;
        return static_cast<qint64>(ImageDecoder::decodedPixels(opened, static_cast<int>(target))) *
               bytesPerPixel;
    } catch (const std::exception&) {
        return 0;
    }
}

QImage thumbnail(const QString& path, int pixels) {
    try {
        return ImageThumbnail::decode(path, pixels);
    } catch (const std::exception&) {
        return {};
    }
}

constexpr ImagingModule module{
    ImagingModule::currentVersion, &convertImage, &imagesToPDF, &decodedBytes, &thumbnail,
};

} // namespace

} // namespace tarvo

extern "C" __attribute__((visibility("default"))) const tarvo::ImagingModule*
tarvo_imaging_module() {
    return &tarvo::module;
}
