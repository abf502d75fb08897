#pragma once

#include <QByteArray>

#include <vips/vips.h>

#include <optional>

// Location metadata in the two places an image carries it: the GPS fields of
// its EXIF data and the GPS properties of its XMP packet.
namespace tarvo::ImageMetadata {

// The EXIF block (as libvips holds it, "Exif\0\0" then TIFF data) without its
// GPS directory and without GPS time stamps elsewhere; nothing when the block
// cannot be read, since a block we cannot read is a block we cannot clean.
std::optional<QByteArray> exifWithoutLocation(const QByteArray& exif);

// The XMP packet without any property (element or attribute) whose name starts
// with "GPS", in any letter case and any namespace; nothing when the packet is
// not well-formed XML.
std::optional<QByteArray> xmpWithoutLocation(const QByteArray& xmp);

// Removes location from the metadata of `image`, which the caller must own
// alone (a fresh copy): EXIF and XMP are rewritten, or dropped when unreadable,
// and libvips' own GPS fields go too so that the encoder cannot write them back.
void stripLocation(VipsImage* image);

} // namespace tarvo::ImageMetadata
