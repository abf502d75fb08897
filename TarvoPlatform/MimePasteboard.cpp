#include "MimePasteboard.h"

#include "TypeMapping.h"

#include <QMimeData>

namespace tarvo {

namespace {

// Mozilla's link type is UTF-16 in the host's order, "URL\nTitle"; some
// writers use UTF-8.
QString decodeMozText(const QByteArray& bytes) {
    const bool utf16 = bytes.size() >= 2 && bytes.size() % 2 == 0 && bytes.contains('\0');
    if (!utf16)
        return QString::fromUtf8(bytes);
    QString text =
        QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData()), bytes.size() / 2);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    return text;
}

} // namespace

MimePasteboard::MimePasteboard(const QMimeData& data, DropPromises* promises, qint64 changeCount)
    : m_data(data), m_promises(promises), m_changeCount(changeCount) {}

std::optional<QStringList> MimePasteboard::types() const {
    const QStringList formats = m_data.formats();
    if (formats.isEmpty())
        return std::nullopt;
    return TypeMapping::identifiers(formats);
}

// The first of the data's formats that carries `type`.
std::optional<QString> MimePasteboard::format(const QString& type) const {
    const QStringList formats = m_data.formats();
    for (const QString& mime : TypeMapping::mimeTypes(type)) {
        for (const QString& offered : formats) {
            if (TypeMapping::identifiers(offered).contains(type) &&
                (offered.compare(mime, Qt::CaseInsensitive) == 0 ||
                 offered.section(u';', 0, 0).trimmed().compare(mime, Qt::CaseInsensitive) == 0))
                return offered;
        }
    }
    if (type == TypeIdentifier::image) {
        for (const QString& offered : formats) {
            if (TypeMapping::identifiers(offered).contains(type))
                return offered;
        }
    }
    return std::nullopt;
}

std::optional<QByteArray> MimePasteboard::data(const QString& type) const {
    const std::optional<QString> mime = format(type);
    if (!mime)
        return std::nullopt;
    return m_data.data(*mime);
}

std::optional<std::pair<QUrl, QString>> MimePasteboard::mozURL() const {
    for (const QString& mime :
         {QStringLiteral("text/x-moz-url"), QStringLiteral("_NETSCAPE_URL")}) {
        if (!m_data.hasFormat(mime))
            continue;
        const QStringList lines = decodeMozText(m_data.data(mime)).split(u'\n');
        const QUrl url(lines.value(0).trimmed(), QUrl::StrictMode);
        if (url.isValid() && !url.isRelative())
            return std::pair{url, lines.value(1).trimmed()};
    }
    return std::nullopt;
}

std::optional<QString> MimePasteboard::string(const QString& type) const {
    if (type == TypeIdentifier::urlName) {
        const auto link = mozURL();
        if (!link || link->second.isEmpty())
            return std::nullopt;
        return link->second;
    }
    if (type == TypeIdentifier::utf8PlainText) {
        // Qt would also read the URLs as text: only real text counts here.
        if (!format(type))
            return std::nullopt;
        // Toolkits write the line ends of their text/plain targets as CR LF,
        // whatever the text had: the same text must make the same item.
        QString text = m_data.text();
        text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        return text;
    }
    const std::optional<QByteArray> bytes = data(type);
    if (!bytes)
        return std::nullopt;
    return QString::fromUtf8(*bytes);
}

QList<QUrl> MimePasteboard::readURLs(bool fileURLsOnly) const {
    QList<QUrl> urls;
    if (m_data.hasUrls()) {
        for (const QUrl& url : m_data.urls()) {
            if (!url.isValid() || url.isRelative())
                return {};
            urls.append(url);
        }
    } else if (const auto link = mozURL()) {
        urls.append(link->first);
    }
    if (fileURLsOnly)
        urls.removeIf([](const QUrl& url) { return !url.isLocalFile(); });
    return urls;
}

std::vector<std::shared_ptr<FilePromiseReceiver>> MimePasteboard::readFilePromiseReceivers() const {
    if (!m_promises)
        return {};
    const QStringList formats = m_data.formats();
    for (const QString& type : FilePromiseReceiver::readableDraggedTypes()) {
        for (const QString& mime : TypeMapping::mimeTypes(type)) {
            if (formats.contains(mime))
                return m_promises->receivers(m_data);
        }
    }
    return {};
}

} // namespace tarvo
