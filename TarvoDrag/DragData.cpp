#include "DragData.h"

#include "TarvoConvert/TextConverter.h"
#include "TarvoPlatform/TypeMapping.h"

#include <QDir>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QUrl>

namespace tarvo::DragData {

namespace {

bool isImageType(const QString& type) {
    return type == TypeIdentifier::png || type == TypeIdentifier::jpeg ||
           type == TypeIdentifier::tiff;
}

// Decided by the file's content, not its name: the stored original may carry
// any extension.
bool fileIsOfType(const QString& path, const QString& type) {
    const QFileInfo info(path);
    if (!info.isFile())
        return false;
    const QMimeType mime = QMimeDatabase().mimeTypeForFile(path, QMimeDatabase::MatchContent);
    for (const QString& expected : TypeMapping::mimeTypes(type)) {
        if (mime.name() == expected || mime.inherits(expected))
            return true;
    }
    return false;
}

QString fileURLString(const QString& path) {
    return QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
}

} // namespace

bool needsConversion(const QString& type) {
    return type == TypeIdentifier::utf8PlainText || type == TypeIdentifier::fileURL ||
           isImageType(type);
}

std::optional<PasteboardData> forType(const QString& type, const Item& item,
                                      const std::optional<ConversionResult>& result,
                                      const QString& containerRoot) {
    if (type == TypeIdentifier::url) {
        if (const auto* link = item.payload.as<ItemPayload::Url>())
            return PasteboardData::fromBytes(link->url.toString(QUrl::FullyEncoded).toUtf8());
        return std::nullopt;
    }
    if (type == TypeIdentifier::rtf) {
        const auto* rich = item.payload.as<ItemPayload::RichText>();
        if (!rich)
            return std::nullopt;
        const QString path = QDir(itemFolder(containerRoot, item.id)).filePath(rich->rtfName);
        const QFileInfo info(path);
        if (!info.isFile() || !info.isReadable())
            return std::nullopt;
        return PasteboardData::fromFile(path);
    }
    if (!result)
        return std::nullopt;
    const std::optional<QString> file = result->url();
    if (type == TypeIdentifier::utf8PlainText) {
        if (const auto* text = result->as<ConversionResult::Text>())
            return PasteboardData::fromBytes(text->text.toUtf8());
        return PasteboardData::fromBytes(TextConverter::quotedPath(*file).toUtf8());
    }
    if (type == TypeIdentifier::fileURL) {
        if (!file)
            return std::nullopt;
        return PasteboardData::fromBytes(fileURLString(*file).toUtf8());
    }
    if (isImageType(type)) {
        if (!file || !fileIsOfType(*file, type))
            return std::nullopt;
        return PasteboardData::fromFile(*file);
    }
    return std::nullopt;
}

} // namespace tarvo::DragData
