#include "MemoryPasteboard.h"

#include "TarvoPlatform/TypeMapping.h"

namespace tarvo {

void MemoryPasteboard::clearContents() {
    ++m_changeCount;
    m_types.reset();
    m_data.clear();
    m_strings.clear();
    m_urls.clear();
    m_receivers.clear();
}

void MemoryPasteboard::declareTypes(std::optional<QStringList> types) {
    clearContents();
    m_types = std::move(types);
    if (m_changed)
        m_changed();
}

void MemoryPasteboard::offer(const QString& type) {
    if (!m_types)
        m_types = QStringList{};
    if (!m_types->contains(type))
        m_types->append(type);
}

void MemoryPasteboard::setData(const QString& type, const QByteArray& data) {
    offer(type);
    m_data.insert(type, data);
}

void MemoryPasteboard::setString(const QString& type, const QString& string) {
    offer(type);
    m_strings.insert(type, string);
}

void MemoryPasteboard::setURLs(const QList<QUrl>& urls) {
    m_urls = urls;
    for (const QUrl& url : urls)
        offer(url.isLocalFile() ? QString(TypeIdentifier::fileURL) : QString(TypeIdentifier::url));
}

void MemoryPasteboard::setFilePromiseReceivers(
    std::vector<std::shared_ptr<FilePromiseReceiver>> receivers) {
    m_receivers = std::move(receivers);
    for (const QString& type : FilePromiseReceiver::readableDraggedTypes())
        offer(type);
}

std::optional<QByteArray> MemoryPasteboard::data(const QString& type) const {
    if (const auto it = m_data.constFind(type); it != m_data.constEnd())
        return *it;
    if (const auto it = m_strings.constFind(type); it != m_strings.constEnd())
        return it->toUtf8();
    return std::nullopt;
}

std::optional<QString> MemoryPasteboard::string(const QString& type) const {
    if (const auto it = m_strings.constFind(type); it != m_strings.constEnd())
        return *it;
    if (const auto it = m_data.constFind(type); it != m_data.constEnd())
        return QString::fromUtf8(*it);
    return std::nullopt;
}

QList<QUrl> MemoryPasteboard::readURLs(bool fileURLsOnly) const {
    QList<QUrl> urls;
    for (const QUrl& url : m_urls) {
        if (!url.isValid())
            return {};
        if (!fileURLsOnly || url.isLocalFile())
            urls.append(url);
    }
    return urls;
}

} // namespace tarvo
