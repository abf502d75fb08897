#include "ImageMetadata.h"

#include <libexif/exif-data.h>

#include <QStringList>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <vector>

namespace tarvo::ImageMetadata {

namespace {

constexpr char kExifHeader[] = "Exif\0\0";
constexpr int kExifHeaderLength = 6;

struct ExifDataUnref {
    void operator()(ExifData* data) const {
        if (data)
            exif_data_unref(data);
    }
};

void removeAll(ExifContent* content) {
    while (content && content->count > 0)
        exif_content_remove_entry(content, content->entries[content->count - 1]);
}

void removeTag(ExifContent* content, ExifTag tag) {
    if (!content)
        return;
    if (ExifEntry* entry = exif_content_get_entry(content, tag))
        exif_content_remove_entry(content, entry);
}

bool isLocationName(QStringView localName) {
    return localName.startsWith(u"gps", Qt::CaseInsensitive);
}

} // namespace

std::optional<QByteArray> exifWithoutLocation(const QByteArray& exif) {
    QByteArray block = exif;
    if (!block.startsWith(QByteArray(kExifHeader, kExifHeaderLength)))
        block.prepend(kExifHeader, kExifHeaderLength);

    std::unique_ptr<ExifData, ExifDataUnref> data(exif_data_new());
    if (!data)
        return std::nullopt;
    // Keep every other tag exactly as it was: no dropping of unknown tags, no
    // adding of tags the standard calls mandatory.
    exif_data_unset_option(data.get(), EXIF_DATA_OPTION_IGNORE_UNKNOWN_TAGS);
    exif_data_unset_option(data.get(), EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_load_data(data.get(), reinterpret_cast<const unsigned char*>(block.constData()),
                        static_cast<unsigned int>(block.size()));
    if (!data->ifd[EXIF_IFD_0] || data->ifd[EXIF_IFD_0]->count == 0)
        return std::nullopt;

    removeAll(data->ifd[EXIF_IFD_GPS]);
    for (ExifIfd ifd : {EXIF_IFD_0, EXIF_IFD_EXIF, EXIF_IFD_1}) {
        removeTag(data->ifd[ifd], static_cast<ExifTag>(EXIF_TAG_GPS_TIME_STAMP));
        removeTag(data->ifd[ifd], static_cast<ExifTag>(EXIF_TAG_GPS_DATE_STAMP));
    }

    unsigned char* bytes = nullptr;
    unsigned int size = 0;
    exif_data_save_data(data.get(), &bytes, &size);
    if (!bytes || size == 0)
        return std::nullopt;
    QByteArray out(reinterpret_cast<const char*>(bytes), static_cast<qsizetype>(size));
    free(bytes);
    if (!out.startsWith(QByteArray(kExifHeader, kExifHeaderLength)))
        out.prepend(kExifHeader, kExifHeaderLength);
    return out;
}

std::optional<QByteArray> xmpWithoutLocation(const QByteArray& xmp) {
    QXmlStreamReader reader(xmp);
    QByteArray out;
    QXmlStreamWriter writer(&out);
    writer.setAutoFormatting(false);

    int skipped = 0; // depth inside a removed element
    while (!reader.atEnd()) {
        reader.readNext();
        if (skipped > 0) {
            if (reader.isStartElement())
                ++skipped;
            else if (reader.isEndElement())
                --skipped;
            continue;
        }
        switch (reader.tokenType()) {
        case QXmlStreamReader::StartDocument:
            if (!reader.documentVersion().isEmpty())
                writer.writeStartDocument(reader.documentVersion().toString());
            break;
        case QXmlStreamReader::StartElement: {
            if (isLocationName(reader.name())) {
                skipped = 1;
                break;
            }
            // Written by their qualified names, with each namespace declared on
            // the element that declared it, so prefixes and scopes stay as they were.
            writer.writeStartElement(reader.qualifiedName().toString());
            for (const QXmlStreamNamespaceDeclaration& ns : reader.namespaceDeclarations()) {
                const QString prefix = ns.prefix().toString();
                writer.writeAttribute(prefix.isEmpty() ? QStringLiteral("xmlns")
                                                       : QStringLiteral("xmlns:") + prefix,
                                      ns.namespaceUri().toString());
            }
            for (const QXmlStreamAttribute& attribute : reader.attributes()) {
                if (!isLocationName(attribute.name()))
                    writer.writeAttribute(attribute.qualifiedName().toString(),
                                          attribute.value().toString());
            }
            break;
        }
        case QXmlStreamReader::EndElement:
            writer.writeEndElement();
            break;
        case QXmlStreamReader::Characters:
            if (reader.isCDATA())
                writer.writeCDATA(reader.text().toString());
            else
                writer.writeCharacters(reader.text().toString());
            break;
        case QXmlStreamReader::Comment:
            writer.writeComment(reader.text().toString());
            break;
        case QXmlStreamReader::ProcessingInstruction:
            writer.writeProcessingInstruction(reader.processingInstructionTarget().toString(),
                                              reader.processingInstructionData().toString());
            break;
        default:
            break;
        }
    }
    if (reader.hasError())
        return std::nullopt;
    return out;
}

void stripLocation(VipsImage* image) {
    const auto blob = [image](const char* name) -> std::optional<QByteArray> {
        if (vips_image_get_typeof(image, name) == 0)
            return std::nullopt;
        const void* data = nullptr;
        size_t length = 0;
        if (vips_image_get_blob(image, name, &data, &length) != 0)
            return std::nullopt;
        return QByteArray(static_cast<const char*>(data), static_cast<qsizetype>(length));
    };
    const auto replace = [image](const char* name, const std::optional<QByteArray>& bytes) {
        vips_image_remove(image, name);
        if (!bytes || bytes->isEmpty())
            return;
        vips_image_set_blob_copy(image, name, bytes->constData(),
                                 static_cast<size_t>(bytes->size()));
    };

    if (const auto exif = blob(VIPS_META_EXIF_NAME))
        replace(VIPS_META_EXIF_NAME, exifWithoutLocation(*exif));
    if (const auto xmp = blob(VIPS_META_XMP_NAME))
        replace(VIPS_META_XMP_NAME, xmpWithoutLocation(*xmp));

    // libvips mirrors each EXIF tag as a field ("exif-ifd3-GPSLatitude"), from
    // which its encoder updates the block it writes.
    std::vector<QByteArray> gpsFields;
    if (gchar** fields = vips_image_get_fields(image)) {
        for (gchar** field = fields; *field; ++field) {
            const QByteArray name(*field);
            if (name.startsWith("exif-ifd3-") || name.startsWith("exif-ifd2-GPS"))
                gpsFields.push_back(name);
        }
        g_strfreev(fields);
    }
    for (const QByteArray& name : gpsFields)
        vips_image_remove(image, name.constData());
}

} // namespace tarvo::ImageMetadata
