#pragma once

#include "TarvoCore/RuleModel.h"

#include <vips/vips.h>

#include <QSizeF>
#include <QString>
#include <QStringList>

// Re-encodes one image as JPEG or PNG: at most `maxPixels` on its longer edge,
// orientation turned into the pixels, location optionally removed, all other
// metadata kept. Stateless; several conversions may run at once on different
// files. Errors are ConversionError values naming a file by its file name.
namespace tarvo::ImageConverter {

// The content types this converter reads, as MIME types, the generic image
// type ("image/*") last.
QStringList readableTypes();

// Whether the file opens as an image of a type we read.
bool isReadableImage(const QString& path);

// Width and height of the image as displayed: swapped when its orientation
// turns it by a quarter. Throws cannotRead or cannotDecode.
QSizeF pixelSize(const QString& path);

// Writes `destination` (replacing what stands there only once the new file is
// complete). Decodes straight to the target size where the format allows and
// never takes an embedded preview. Throws cannotRead(source name) when the file
// is no image we read, cannotDecode(source name) when it does not decode or its
// decoded size would pass the decoding limit, cannotWrite(destination name).
void convert(const QString& source, const ImageOptions& options, const QString& destination);

// The same for an upright image already in memory, named `sourceName` in
// errors; it carries no metadata of a file.
void convert(VipsImage* image, const QString& sourceName, const ImageOptions& options,
             const QString& destination);

} // namespace tarvo::ImageConverter
