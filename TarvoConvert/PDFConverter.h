#pragma once

#include "Vips.h"

#include <QString>
#include <QStringList>

// Pages of PDF documents as PNG pictures, and image files as a PDF document
// with one page per image. Stateless; several conversions may run at once on
// different files. Errors are ConversionError values naming a file by its file
// name, except the missing page's message and noPayload.
namespace tarvo::PDFConverter {

// The page count of the document; 0 when the file does not open as a PDF
// document. Only a file with "%PDF" within its first 1,024 bytes is handed to
// the PDF reader at all.
int pageCount(const QString& pdf);

// Renders page `pageIndex` (zero-based) at `scale` pixels per point on opaque
// white into a PNG at `destination`. Throws cannotRead(pdf name) when the file
// does not open as a PDF document, unsupported("page N is not in this
// document"), cannotDecode(pdf name) when a side would be under one pixel or
// the picture would pass the decoding limit, cannotWrite(destination name).
void pageToPNG(const QString& pdf, int pageIndex, double scale, const QString& destination);

// The same page as an opaque sRGB image in memory, for encoding straight
// away. Throws as pageToPNG does, cannotWrite naming the PDF.
Vips::ImagePtr renderPage(const QString& pdf, int pageIndex, double scale);

// How many pixels the page would have; 0 when it cannot be drawn.
qint64 pagePixels(const QString& pdf, int pageIndex, double scale);

// Writes a PDF with one page per image, each page as many points as the
// upright image has pixels. Throws noPayload for an empty list,
// cannotDecode(image name), cannotWrite(destination name); nothing is written
// unless every image converts.
void imagesToPDF(const QStringList& images, const QString& destination);

} // namespace tarvo::PDFConverter
