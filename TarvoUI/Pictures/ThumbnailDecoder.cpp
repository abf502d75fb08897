#include "ThumbnailDecoder.h"

#include "TarvoConvert/Imaging.h"

namespace tarvo::ThumbnailDecoder {

QImage decode(const QString& path, int pixels) {
    return Imaging::thumbnail(path, pixels);
}

} // namespace tarvo::ThumbnailDecoder
