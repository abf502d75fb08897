#include "ImageFixtures.h"

#include "TarvoConvert/Vips.h"

#include <libexif/exif-data.h>
#include <libheif/heif.h>

#include <QFile>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace tarvo::test {

namespace {

void check(bool ok, const char* what) {
    if (!ok)
        throw std::runtime_error(std::string(what) + ": " + Vips::takeError().toStdString());
}

void addEntry(ExifData* data, ExifIfd ifd, ExifTag tag, ExifFormat format, unsigned long components,
              const void* bytes) {
    ExifEntry* entry = exif_entry_new();
    entry->tag = tag;
    entry->format = format;
    entry->components = components;
    entry->size = static_cast<unsigned int>(exif_format_get_size(format) * components);
    entry->data = static_cast<unsigned char*>(calloc(1, entry->size));
    std::memcpy(entry->data, bytes, entry->size);
    exif_content_add_entry(data->ifd[ifd], entry);
    exif_entry_unref(entry);
}

void addRationals(ExifData* data, ExifIfd ifd, ExifTag tag, std::vector<ExifRational> values) {
    std::vector<unsigned char> bytes(values.size() * 8);
    for (size_t i = 0; i < values.size(); ++i)
        exif_set_rational(bytes.data() + i * 8, exif_data_get_byte_order(data), values[i]);
    addEntry(data, ifd, tag, EXIF_FORMAT_RATIONAL, values.size(), bytes.data());
}

void addAscii(ExifData* data, ExifIfd ifd, ExifTag tag, const char* text) {
    addEntry(data, ifd, tag, EXIF_FORMAT_ASCII, std::strlen(text) + 1, text);
}

QByteArray exifBlock(const JpegSpec& spec) {
    ExifData* data = exif_data_new();
    exif_data_unset_option(data, EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_set_byte_order(data, EXIF_BYTE_ORDER_INTEL);
    unsigned char orientation[2];
    exif_set_short(orientation, EXIF_BYTE_ORDER_INTEL, static_cast<ExifShort>(spec.orientation));
    addEntry(data, EXIF_IFD_0, EXIF_TAG_ORIENTATION, EXIF_FORMAT_SHORT, 1, orientation);
    addAscii(data, EXIF_IFD_0, EXIF_TAG_MAKE, "TestCam");
    if (spec.gpsInExif) {
        addAscii(data, EXIF_IFD_GPS, static_cast<ExifTag>(EXIF_TAG_GPS_LATITUDE_REF), "N");
        addRationals(data, EXIF_IFD_GPS, static_cast<ExifTag>(EXIF_TAG_GPS_LATITUDE),
                     {{48, 1}, {51, 1}, {1800, 100}});
        addAscii(data, EXIF_IFD_GPS, static_cast<ExifTag>(EXIF_TAG_GPS_LONGITUDE_REF), "E");
        addRationals(data, EXIF_IFD_GPS, static_cast<ExifTag>(EXIF_TAG_GPS_LONGITUDE),
                     {{2, 1}, {17, 1}, {4200, 100}});
        addRationals(data, EXIF_IFD_GPS, static_cast<ExifTag>(EXIF_TAG_GPS_TIME_STAMP),
                     {{14, 1}, {7, 1}, {9, 1}});
        addAscii(data, EXIF_IFD_GPS, static_cast<ExifTag>(EXIF_TAG_GPS_DATE_STAMP), "2024:03:05");
    }
    unsigned char* bytes = nullptr;
    unsigned int size = 0;
    exif_data_save_data(data, &bytes, &size);
    QByteArray block(reinterpret_cast<const char*>(bytes), static_cast<qsizetype>(size));
    free(bytes);
    exif_data_unref(data);
    return block;
}

QByteArray xmpPacket(bool withGps) {
    QByteArray gpsAttributes =
        withGps ? " exif:GPSLatitude=\"48,51.3N\" exif:GPSVersionID=\"2.2.0.0\"" : "";
    QByteArray gpsElements = withGps ? "<exif:GPSLongitude>2,17.7E</exif:GPSLongitude>"
                                       "<exif:GPSTimeStamp>2024-03-05T14:07:09Z</exif:GPSTimeStamp>"
                                     : "";
    return "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>"
           "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">"
           "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
           "<rdf:Description rdf:about=\"\" xmlns:exif=\"http://ns.adobe.com/exif/1.0/\" "
           "xmlns:dc=\"http://purl.org/dc/elements/1.1/\"" +
           gpsAttributes + ">" + gpsElements +
           "<dc:creator><rdf:Seq><rdf:li>Test Person</rdf:li></rdf:Seq></dc:creator>"
           "<dc:title><rdf:Alt><rdf:li xml:lang=\"x-default\">A &amp; "
           "B</rdf:li></rdf:Alt></dc:title>"
           "</rdf:Description></rdf:RDF></x:xmpmeta><?xpacket end=\"w\"?>";
}

Vips::ImagePtr imageOf(int width, int height, int bands, const std::vector<unsigned char>& bytes) {
    VipsImage* image = vips_image_new_from_memory_copy(bytes.data(), bytes.size(), width, height,
                                                       bands, VIPS_FORMAT_UCHAR);
    check(image != nullptr, "image from memory");
    image->Type = VIPS_INTERPRETATION_sRGB;
    return Vips::ImagePtr(image);
}

Vips::ImagePtr open(const QString& path) {
    Vips::start();
    VipsImage* image = vips_image_new_from_file(QFile::encodeName(path).constData(), nullptr);
    check(image != nullptr, "open");
    return Vips::ImagePtr(image);
}

QByteArray blob(VipsImage* image, const char* name) {
    if (!vips_image_get_typeof(image, name))
        return {};
    const void* data = nullptr;
    size_t length = 0;
    vips_image_get_blob(image, name, &data, &length);
    return QByteArray(static_cast<const char*>(data), static_cast<qsizetype>(length));
}

heif_image* heifImage(int width, int height, Rgb colour) {
    heif_image* image = nullptr;
    heif_image_create(width, height, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image);
    heif_image_add_plane(image, heif_channel_interleaved, width, height, 8);
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < 3; ++c)
                plane[y * stride + x * 3 + c] = static_cast<uint8_t>(colour[c]);
        }
    }
    return image;
}

} // namespace

void writeJpeg(const QString& path, const JpegSpec& spec) {
    Vips::start();
    std::vector<unsigned char> bytes(static_cast<size_t>(spec.width) * spec.height * 3);
    const int markerWidth = std::max(spec.width / 10, 1);
    const int markerHeight = std::max(spec.height / 10, 1);
    for (int y = 0; y < spec.height; ++y) {
        for (int x = 0; x < spec.width; ++x) {
            const bool inMarker = spec.marker && x < markerWidth && y < markerHeight;
            const Rgb& colour = inMarker ? *spec.marker : spec.fill;
            for (int c = 0; c < 3; ++c)
                bytes[(static_cast<size_t>(y) * spec.width + x) * 3 + c] =
                    static_cast<unsigned char>(colour[c]);
        }
    }
    const Vips::ImagePtr image = imageOf(spec.width, spec.height, 3, bytes);
    if (spec.orientation > 0) {
        const QByteArray exif = exifBlock(spec);
        vips_image_set_blob_copy(image.get(), VIPS_META_EXIF_NAME, exif.constData(),
                                 static_cast<size_t>(exif.size()));
        vips_image_set_int(image.get(), VIPS_META_ORIENTATION, spec.orientation);
    }
    const QByteArray xmp = xmpPacket(spec.gpsInXmp);
    vips_image_set_blob_copy(image.get(), VIPS_META_XMP_NAME, xmp.constData(),
                             static_cast<size_t>(xmp.size()));
    check(vips_jpegsave(image.get(), QFile::encodeName(path).constData(), "Q", 90, nullptr) == 0,
          "jpegsave");
}

void writePng(const QString& path, int width, int height, Rgb fill, int alpha) {
    Vips::start();
    std::vector<unsigned char> bytes(static_cast<size_t>(width) * height * 4);
    for (size_t i = 0; i < bytes.size(); i += 4) {
        for (int c = 0; c < 3; ++c)
            bytes[i + c] = static_cast<unsigned char>(fill[c]);
        bytes[i + 3] = static_cast<unsigned char>(alpha);
    }
    const Vips::ImagePtr image = imageOf(width, height, 4, bytes);
    check(vips_pngsave(image.get(), QFile::encodeName(path).constData(), nullptr) == 0, "pngsave");
}

void writeHeicWithThumbnail(const QString& path, int width, int height, Rgb primary, Rgb thumbnail,
                            int thumbnailSize) {
#if defined(__SANITIZE_ADDRESS__)
    // The HEVC encoder keeps a few blocks for the life of the process.
    __lsan::ScopedDisabler encoderAllocations;
#endif
    heif_context* context = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    heif_error error =
        heif_context_get_encoder_for_format(context, heif_compression_HEVC, &encoder);
    if (error.code != heif_error_Ok)
        throw std::runtime_error("no HEVC encoder");
    heif_encoder_set_lossy_quality(encoder, 90);
    heif_image* main = heifImage(width, height, primary);
    heif_image_handle* handle = nullptr;
    heif_context_encode_image(context, main, encoder, nullptr, &handle);
    heif_image* other = heifImage(width, height, thumbnail);
    heif_image_handle* thumbHandle = nullptr;
    if (thumbnailSize > 0)
        heif_context_encode_thumbnail(context, other, handle, encoder, nullptr, thumbnailSize,
                                      &thumbHandle);
    error = heif_context_write_to_file(context, QFile::encodeName(path).constData());
    if (thumbHandle)
        heif_image_handle_release(thumbHandle);
    heif_image_handle_release(handle);
    heif_image_release(other);
    heif_image_release(main);
    heif_encoder_release(encoder);
    heif_context_free(context);
    if (error.code != heif_error_Ok)
        throw std::runtime_error("heif write");
}

Decoded inspect(const QString& path) {
    const Vips::ImagePtr image = open(path);
    Decoded d;
    d.width = vips_image_get_width(image.get());
    d.height = vips_image_get_height(image.get());
    d.bands = vips_image_get_bands(image.get());
    if (vips_image_get_typeof(image.get(), VIPS_META_ORIENTATION))
        vips_image_get_int(image.get(), VIPS_META_ORIENTATION, &d.orientation);
    const char* loader = nullptr;
    if (vips_image_get_string(image.get(), VIPS_META_LOADER, &loader) == 0)
        d.loader = loader;
    vips_error_clear();
    d.exif = blob(image.get(), VIPS_META_EXIF_NAME);
    d.xmp = blob(image.get(), VIPS_META_XMP_NAME);
    return d;
}

Rgb pixel(const QString& path, int x, int y) {
    const Vips::ImagePtr image = open(path);
    double* values = nullptr;
    int n = 0;
    check(vips_getpoint(image.get(), &values, &n, x, y, nullptr) == 0, "getpoint");
    Rgb rgb{};
    for (int c = 0; c < 3; ++c)
        rgb[c] = static_cast<int>(values[n >= 3 ? c : 0]);
    g_free(values);
    return rgb;
}

int minimumAlpha(const QString& path) {
    const Vips::ImagePtr image = open(path);
    const int bands = vips_image_get_bands(image.get());
    if (bands != 2 && bands != 4)
        return 255;
    VipsImage* alpha = nullptr;
    check(vips_extract_band(image.get(), &alpha, bands - 1, nullptr) == 0, "extract");
    const Vips::ImagePtr alphaPtr(alpha);
    double minimum = 0;
    check(vips_min(alpha, &minimum, nullptr) == 0, "min");
    return static_cast<int>(minimum);
}

ExifFacts exifFacts(const QByteArray& exif) {
    ExifFacts facts;
    if (exif.isEmpty())
        return facts;
    ExifData* data = exif_data_new();
    exif_data_unset_option(data, EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_load_data(data, reinterpret_cast<const unsigned char*>(exif.constData()),
                        static_cast<unsigned int>(exif.size()));
    const ExifByteOrder order = exif_data_get_byte_order(data);
    if (ExifEntry* e = exif_content_get_entry(data->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION))
        facts.orientation = exif_get_short(e->data, order);
    if (ExifEntry* e = exif_content_get_entry(data->ifd[EXIF_IFD_0], EXIF_TAG_MAKE))
        facts.make = QByteArray(reinterpret_cast<const char*>(e->data)).trimmed();
    facts.gpsEntries = static_cast<int>(data->ifd[EXIF_IFD_GPS]->count);
    facts.exifGpsStamps =
        exif_content_get_entry(data->ifd[EXIF_IFD_EXIF],
                               static_cast<ExifTag>(EXIF_TAG_GPS_TIME_STAMP)) != nullptr ||
        exif_content_get_entry(data->ifd[EXIF_IFD_EXIF],
                               static_cast<ExifTag>(EXIF_TAG_GPS_DATE_STAMP)) != nullptr;
    exif_data_unref(data);
    return facts;
}

int firstQuantisationValue(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray bytes = file.readAll();
    const qsizetype marker = bytes.indexOf("\xFF\xDB");
    if (marker < 0 || marker + 5 >= bytes.size())
        return -1;
    const auto precisionAndTable = static_cast<unsigned char>(bytes[marker + 4]);
    if (precisionAndTable >> 4 != 0)
        return -1;
    return static_cast<unsigned char>(bytes[marker + 5]);
}

bool nearly(Rgb a, Rgb b, int tolerance) {
    for (int c = 0; c < 3; ++c) {
        if (std::abs(a[c] - b[c]) > tolerance)
            return false;
    }
    return true;
}

void writeHeic(const QString& path, int width, int height, Rgb fill) {
    writeHeicWithThumbnail(path, width, height, fill, fill, 0);
}

} // namespace tarvo::test
