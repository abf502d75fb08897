#include "XdndData.h"

#include "TarvoPlatform/TypeMapping.h"

#include <QString>

#include <algorithm>

namespace tarvo::XdndData {

namespace {

bool isText(const QByteArray& target) {
    return target == "text/plain;charset=utf-8" || target == "text/plain" ||
           target == "UTF8_STRING" || target == "STRING" || target == "TEXT";
}

bool isURLList(const QByteArray& target) {
    return target == "text/uri-list" || target == "text/x-moz-url" || target == "_NETSCAPE_URL";
}

QByteArray utf16LittleEndian(const QString& text) {
    QByteArray bytes;
    bytes.reserve(text.size() * 2);
    for (const QChar c : text) {
        bytes.append(static_cast<char>(c.unicode() & 0xff));
        bytes.append(static_cast<char>(c.unicode() >> 8));
    }
    return bytes;
}

} // namespace

QStringList carriedTypes(const QStringList& pasteboardTypes, int promiseCount) {
    QStringList carried;
    for (const QString& type : pasteboardTypes) {
        if (type == TypeIdentifier::directSave && promiseCount != 1)
            continue;
        if (!TypeMapping::mimeTypes(type).isEmpty())
            carried.append(type);
    }
    return carried;
}

QByteArrayList announcedTypes(const QStringList& pasteboardTypes, int promiseCount) {
    QByteArrayList announced;
    for (const QString& type : carriedTypes(pasteboardTypes, promiseCount)) {
        for (const QString& mime : TypeMapping::mimeTypes(type)) {
            const QByteArray name = mime.toUtf8();
            if (!announced.contains(name))
                announced.append(name);
        }
    }
    return announced;
}

QStringList sources(const QByteArray& target, const QStringList& pasteboardTypes) {
    const QStringList answering = TypeMapping::identifiers(QString::fromUtf8(target));
    QStringList result;
    for (const QString& type : pasteboardTypes) {
        if (answering.contains(type) && type != TypeIdentifier::directSave &&
            type != TypeIdentifier::urlName)
            result.append(type);
    }
    return result;
}

bool carriesTitles(const QByteArray& target) {
    return target == "text/x-moz-url" || target == "_NETSCAPE_URL";
}

bool joinsItems(const QByteArray& target) {
    return isText(target) || isURLList(target);
}

std::optional<PasteboardData> compose(const QByteArray& target,
                                      const std::vector<std::optional<PasteboardData>>& items,
                                      const std::vector<std::optional<PasteboardData>>& titles) {
    std::vector<PasteboardData> present;
    QStringList presentTitles;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (!items[i])
            continue;
        present.push_back(*items[i]);
        const bool titled = i < titles.size() && titles[i];
        presentTitles.append(titled ? QString::fromUtf8(titles[i]->bytes) : QString());
    }
    if (present.empty())
        return std::nullopt;
    if (!joinsItems(target))
        return present.front();

    // Joined answers are short texts, never files.
    QStringList texts;
    for (const PasteboardData& data : present)
        texts.append(QString::fromUtf8(data.bytes));
    if (target == "text/uri-list")
        return PasteboardData::fromBytes((texts.join(QStringLiteral("\r\n")) + "\r\n").toUtf8());
    if (carriesTitles(target)) {
        // Each link, then its title on the next line (empty without one).
        QStringList lines;
        for (qsizetype i = 0; i < texts.size(); ++i)
            lines << texts[i] << presentTitles[i].simplified();
        const QString joined = lines.join(u'\n');
        return PasteboardData::fromBytes(target == "text/x-moz-url" ? utf16LittleEndian(joined)
                                                                    : joined.toUtf8());
    }
    const bool words = std::all_of(present.begin(), present.end(),
                                   [](const PasteboardData& data) { return data.shellWord; });
    const QString text = texts.join(words ? u' ' : u'\n');
    return PasteboardData::fromBytes(target == "STRING" ? text.toLatin1() : text.toUtf8());
}

} // namespace tarvo::XdndData
