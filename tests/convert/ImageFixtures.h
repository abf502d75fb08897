#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <optional>

// Test images made on the spot with libvips, libexif and libheif.
namespace tarvo::test {

using Rgb = std::array<int, 3>;

struct JpegSpec {
    int width = 64;
    int height = 48;
    int orientation = 1;    // stored in EXIF; 0 writes no EXIF at all
    bool gpsInExif = false; // latitude, longitude, time and date stamps
    bool gpsInXmp = false;  // GPS properties in an XMP packet (which is written anyway)
    Rgb fill = {0, 0, 255};
    // A marker square in the stored top-left corner, a tenth of each side.
    std::optional<Rgb> marker = Rgb{255, 0, 0};
};

void writeJpeg(const QString& path, const JpegSpec& spec);
// An RGB(A) PNG of one colour; alpha 0 makes it fully transparent.
void writePng(const QString& path, int width, int height, Rgb fill, int alpha = 255);
// A plain HEIC of one colour.
void writeHeic(const QString& path, int width, int height, Rgb fill);
// A HEIC whose primary image is `primary` and whose embedded thumbnail, at
// most `thumbnailSize` pixels, shows `thumbnail` (none when the size is 0).
void writeHeicWithThumbnail(const QString& path, int width, int height, Rgb primary, Rgb thumbnail,
                            int thumbnailSize);

struct Decoded {
    int width = 0;
    int height = 0;
    int bands = 0;
    int orientation = 1;
    QByteArray loader;
    QByteArray exif; // the raw block, "Exif\0\0" first
    QByteArray xmp;
};
Decoded inspect(const QString& path);

// The colour at (x, y), y counted from the top; RGB of the first three bands.
Rgb pixel(const QString& path, int x, int y);
// The smallest alpha value in the image; 255 when it has no alpha band.
int minimumAlpha(const QString& path);

// EXIF facts read back with libexif.
struct ExifFacts {
    int orientation = 0;        // IFD0; 0 when missing
    int gpsEntries = 0;         // entries in the GPS directory
    bool exifGpsStamps = false; // GPS time or date stamp in the Exif directory
    QByteArray make;
};
ExifFacts exifFacts(const QByteArray& exif);

// The DC value of the first quantisation table of a JPEG file: it follows
// from the quality the encoder was given.
int firstQuantisationValue(const QString& path);

bool nearly(Rgb a, Rgb b, int tolerance = 40);

} // namespace tarvo::test
