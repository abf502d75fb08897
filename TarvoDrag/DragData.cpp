#include "DragData.h"

#include "TarvoConvert/ConversionEngine.h"
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

bool convertsToImage(const QString& path) {
    if (!QFileInfo(path).isFile())
        return false;
    const QMimeType mime = QMimeDatabase().mimeTypeForFile(path, QMimeDatabase::MatchContent);
    return mime.name().startsWith(QLatin1String("image/")) ||
           mime.inherits(QStringLiteral("application/pdf"));
}

QString fileURLString(const QString& path) {
    return QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
}

// The rich text's own file, when it can be read.
std::optional<QString> rtfFile(const Item& item, const QString& containerRoot) {
    const auto* rich = item.payload.as<ItemPayload::RichText>();
    if (!rich)
        return std::nullopt;
    const QString path = QDir(itemFolder(containerRoot, item.id)).filePath(rich->rtfName);
    const QFileInfo info(path);
    if (!info.isFile() || !info.isReadable())
        return std::nullopt;
    return path;
}

std::optional<QString> linkTitle(const Item& item) {
    const auto* link = item.payload.as<ItemPayload::Url>();
    if (!link || !link->title || link->title->isEmpty())
        return std::nullopt;
    return link->title;
}

// Whether the file `item` is handed over as under `delivery` is an image of
// `type`: a converted image is of the delivery's format, a PDF is no image,
// and anything else is the stored file as it is.
bool handsOverImageOf(const QString& type, const Item& item, const Delivery& delivery,
                      const QString& containerRoot) {
    const std::optional<QString> stored = item.payloadURL(containerRoot);
    if (!stored)
        return false;
    const ImageOptions* options = delivery.imageOptions();
    // Only pictures and PDF pages convert: anything else goes unchanged.
    if (options && convertsToImage(*stored))
        return type == (options->format == ImageFormat::jpeg ? QString(TypeIdentifier::jpeg)
                                                             : QString(TypeIdentifier::png));
    if (delivery.is<Delivery::Pdf>())
        return false;
    return fileIsOfType(*stored, type);
}

} // namespace

QStringList offeredTypes(const QStringList& order, const Item& item, const Delivery& delivery,
                         const QString& containerRoot) {
    const bool text = ConversionEngine::answersWithText(item, delivery);
    QStringList offered;
    for (const QString& type : order) {
        bool answers = false;
        if (type == TypeIdentifier::url)
            answers = item.payload.is<ItemPayload::Url>();
        else if (type == TypeIdentifier::rtf)
            answers = rtfFile(item, containerRoot).has_value();
        else if (type == TypeIdentifier::utf8PlainText || type == TypeIdentifier::directSave)
            answers = true; // the text, or the path of the file
        else if (type == TypeIdentifier::fileURL)
            answers = !text;
        else if (isImageType(type))
            answers = !text && handsOverImageOf(type, item, delivery, containerRoot);
        if (!answers)
            continue;
        offered.append(type);
        if (type == TypeIdentifier::url && linkTitle(item))
            offered.append(QString(TypeIdentifier::urlName));
    }
    return offered;
}

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
    if (type == TypeIdentifier::urlName) {
        if (const std::optional<QString> title = linkTitle(item))
            return PasteboardData::fromBytes(title->toUtf8());
        return std::nullopt;
    }
    if (type == TypeIdentifier::rtf) {
        if (const std::optional<QString> path = rtfFile(item, containerRoot))
            return PasteboardData::fromFile(*path);
        return std::nullopt;
    }
    if (!result)
        return std::nullopt;
    const std::optional<QString> file = result->url();
    if (type == TypeIdentifier::utf8PlainText) {
        if (const auto* text = result->as<ConversionResult::Text>())
            return PasteboardData::fromBytes(text->text.toUtf8());
        return PasteboardData::fromShellWord(TextConverter::quotedPath(*file).toUtf8());
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

QString textFileName(const QString& name) {
    if (QFileInfo(name).suffix().compare(QLatin1String("txt"), Qt::CaseInsensitive) == 0)
        return name;
    return name + QStringLiteral(".txt");
}

} // namespace tarvo::DragData
