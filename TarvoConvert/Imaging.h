#pragma once

#include "TarvoCore/RuleModel.h"

#include <QImage>
#include <QString>
#include <QStringList>

// The converters' image and PDF work and the shelf's pictures of stored files.
// It needs libvips, poppler and cairo, which with what they pull in weigh as
// much as the rest of the program, so it lives in a module of its own that is
// loaded the first time a picture is converted, weighed or drawn. Without the
// module a conversion fails as unsupported and no picture is drawn. Any
// thread; several calls may run at once on different files.
namespace tarvo::Imaging {

// `source`, an image or a PDF whose first page is drawn, re-encoded as
// ImageConverter::convert does. Throws ConversionError or FileError.
void convertImage(const QString& source, const ImageOptions& options, const QString& destination);

// Images as a PDF with one page each, as PDFConverter::imagesToPDF does.
// Throws ConversionError or FileError.
void imagesToPDF(const QStringList& images, const QString& destination);

// About how many bytes of decoded pixels converting `source` holds at its
// largest: for `options` when given, else onto a PDF. 0 when nothing is
// decoded or the source cannot be read.
qint64 decodedBytes(const QString& source, const ImageOptions* options);

// The file scaled to fit `pixels` x `pixels`, or a null image when it is no
// image or PDF we read, is damaged, or would decode past the limit.
QImage thumbnail(const QString& path, int pixels);

// Whether the module has been loaded (by one of the calls above).
bool isLoaded();

} // namespace tarvo::Imaging
