#pragma once

#include "Vips.h"

#include <QString>

#include <optional>

// Opening and decoding image files for the image and PDF converters: only the
// decoders we trust, never an embedded preview, orientation applied, and no
// decode larger than the decoding limit.
namespace tarvo::ImageDecoder {

enum class Loader { jpeg, png, webp, heif, tiff, gif, bmp };

struct Source {
    Loader loader;
    Vips::ImagePtr header; // opened, nothing decoded yet
    int orientation;       // EXIF orientation, 1 when absent
};

// Throws ConversionError::cannotRead(file name) when the file is missing or no
// image type we read, cannotDecode(file name) when its header does not load.
Source open(const QString& path);

// How many pixels decoding to `target` produces before the final resize.
double decodedPixels(const Source& source, int target);

// The image upright, its longer edge `target` pixels (never enlarged). Throws
// cannotDecode(file name) when it does not decode or the decode would pass
// the decoding limit. The result is decoded lazily, as it is read.
Vips::ImagePtr decode(const QString& path, const Source& source, int target);

} // namespace tarvo::ImageDecoder
