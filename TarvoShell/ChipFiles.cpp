#include "ChipFiles.h"

#include "TarvoConvert/OutputNaming.h"
#include "TarvoConvert/TextConverter.h"
#include "TarvoCore/AtomicFile.h"
#include "TarvoCore/FileError.h"
#include "TarvoCore/Log.h"
#include "TarvoDrag/DragData.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace tarvo::ChipFiles {

QString textOf(const Item& item) {
    if (const auto* text = item.payload.as<ItemPayload::Text>())
        return text->text;
    if (const auto* rich = item.payload.as<ItemPayload::RichText>())
        return rich->plain;
    if (const auto* link = item.payload.as<ItemPayload::Url>())
        return link->url.toString(QUrl::FullyEncoded);
    return item.displayName;
}

std::optional<QString> write(const Item& item, const QString& folder) {
    const QString base = OutputNaming::cleanFileName(
        item.displayName.isEmpty() ? QStringLiteral("Text") : item.displayName);
    QString name;
    QByteArray bytes;
    if (const auto* link = item.payload.as<ItemPayload::Url>()) {
        name = base + QStringLiteral(".desktop");
        bytes = TextConverter::desktopLink(link->url, link->title.value_or(base));
    } else if (item.payload.is<ItemPayload::Text>() || item.payload.is<ItemPayload::RichText>()) {
        name = DragData::textFileName(base);
        bytes = textOf(item).toUtf8();
    } else {
        return std::nullopt;
    }
    // Each item in a folder of its own: two items may carry the same name.
    const QString path =
        QDir(folder).filePath(item.id.toString(QUuid::WithoutBraces) + u'/' + name);
    try {
        QDir().mkpath(QFileInfo(path).path());
        AtomicFile::write(bytes, path);
        return path;
    } catch (const FileError& error) {
        Log::core().error(QStringLiteral("chip file not written: %1").arg(error.description()));
        return std::nullopt;
    }
}

} // namespace tarvo::ChipFiles
