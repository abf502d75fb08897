#pragma once

#include <QImage>
#include <QString>

// Pictures of stored files for the shelf, made off the main thread by the
// image module: photos and other images through the converters' trusted
// decoders (shrink-on-load, upright, within the decoding limit), PDFs as their
// first page. Any thread.
namespace tarvo::ThumbnailDecoder {

// The file at `path` scaled to fit `pixels` x `pixels` (never enlarged), or a
// null image when it is no image or PDF we read, is damaged, or would decode
// past the limit.
QImage decode(const QString& path, int pixels);

} // namespace tarvo::ThumbnailDecoder
