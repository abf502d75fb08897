#include "TypeMapping.h"

namespace tarvo::TypeMapping {

namespace {

using L = QLatin1String;

// Text without a charset is read as UTF-8 here, as every toolkit on this
// desktop writes it; other charsets are still text.
QString normalized(const QString& mimeType) {
    if (!mimeType.contains(u'/'))
        return mimeType; // an atom name such as UTF8_STRING: case matters
    QString base = mimeType.section(u';', 0, 0).trimmed().toLower();
    if (base == QLatin1String("text/plain") && mimeType.contains(u';')) {
        const QString parameters = mimeType.section(u';', 1).remove(u' ').toLower();
        if (parameters.startsWith(QLatin1String("charset=utf-8")))
            return QStringLiteral("text/plain;charset=utf-8");
    }
    return base;
}

} // namespace

const std::vector<Row>& table() {
    static const std::vector<Row> rows{
        {TypeIdentifier::fileURL, {L("text/uri-list")}},
        {TypeIdentifier::url, {L("text/x-moz-url"), L("text/uri-list"), L("_NETSCAPE_URL")}},
        {TypeIdentifier::urlName, {L("text/x-moz-url"), L("_NETSCAPE_URL")}},
        {TypeIdentifier::png, {L("image/png")}},
        {TypeIdentifier::tiff, {L("image/tiff")}},
        {TypeIdentifier::rtf, {L("text/rtf"), L("application/rtf"), L("text/richtext")}},
        {TypeIdentifier::flatRTFD, {}},
        {TypeIdentifier::html, {L("text/html")}},
        {TypeIdentifier::utf8PlainText,
         {L("text/plain;charset=utf-8"), L("text/plain"), L("UTF8_STRING"), L("STRING"),
          L("TEXT")}},
        {TypeIdentifier::jpeg, {L("image/jpeg")}},
        {TypeIdentifier::heic, {L("image/heic"), L("image/heif")}},
        {TypeIdentifier::pdf, {L("application/pdf")}},
        {TypeIdentifier::image, {}},
        {TypeIdentifier::promisedFileURL, {}},
        {TypeIdentifier::directSave, {L("XdndDirectSave0")}},
    };
    return rows;
}

QStringList mimeTypes(const QString& identifier) {
    QStringList result;
    for (const Row& row : table()) {
        if (row.identifier != identifier)
            continue;
        for (const QLatin1String& mime : row.mimeTypes)
            result.append(QString(mime));
    }
    return result;
}

QStringList identifiers(const QString& mimeType) {
    const QString key = normalized(mimeType);
    QStringList result;
    for (const Row& row : table()) {
        for (const QLatin1String& mime : row.mimeTypes) {
            if (mime == key) {
                result.append(QString(row.identifier));
                break;
            }
        }
    }
    if (result.isEmpty() && key.startsWith(QLatin1String("image/")))
        result.append(QString(TypeIdentifier::image));
    return result;
}

QStringList identifiers(const QStringList& mimeTypes) {
    QStringList result;
    for (const QString& mime : mimeTypes) {
        for (const QString& identifier : identifiers(mime)) {
            if (!result.contains(identifier))
                result.append(identifier);
        }
    }
    return result;
}

} // namespace tarvo::TypeMapping
