#include "DragPasteboard.h"

namespace tarvo {

namespace PasteboardWriters {

QStringList types(const std::vector<PasteboardWriter>& writers) {
    QStringList result;
    const auto add = [&result](const QStringList& types) {
        for (const QString& type : types) {
            if (!result.contains(type))
                result.append(type);
        }
    };
    for (const PasteboardWriter& writer : writers) {
        if (const auto* item = std::get_if<std::shared_ptr<PasteboardItem>>(&writer))
            add((*item)->types());
        else
            add(std::get<std::shared_ptr<FilePromiseProvider>>(writer)->writableTypes());
    }
    return result;
}

std::vector<std::shared_ptr<PasteboardItem>> items(const std::vector<PasteboardWriter>& writers) {
    std::vector<std::shared_ptr<PasteboardItem>> result;
    for (const PasteboardWriter& writer : writers) {
        if (const auto* item = std::get_if<std::shared_ptr<PasteboardItem>>(&writer))
            result.push_back(*item);
    }
    return result;
}

std::vector<std::shared_ptr<FilePromiseProvider>>
promises(const std::vector<PasteboardWriter>& writers) {
    std::vector<std::shared_ptr<FilePromiseProvider>> result;
    for (const PasteboardWriter& writer : writers) {
        if (const auto* promise = std::get_if<std::shared_ptr<FilePromiseProvider>>(&writer))
            result.push_back(*promise);
    }
    return result;
}

} // namespace PasteboardWriters

void DragPasteboard::clearContents() {
    m_writers.clear();
    m_order.clear();
    ++m_changeCount;
}

bool DragPasteboard::writeObjects(const std::vector<PasteboardWriter>& writers) {
    if (m_refusesWrites)
        return false;
    m_writers.insert(m_writers.end(), writers.begin(), writers.end());
    ++m_changeCount;
    return true;
}

std::optional<QStringList> DragPasteboard::types() const {
    if (m_writers.empty())
        return std::nullopt;
    const QStringList declared = PasteboardWriters::types(m_writers);
    return m_filter ? m_filter(declared) : declared;
}

std::optional<QStringList> DragPasteboard::orderedTypes() const {
    std::optional<QStringList> offered = types();
    if (!offered || m_order.isEmpty())
        return offered;
    QStringList ordered;
    ordered.reserve(offered->size());
    for (const QString& type : m_order) {
        if (offered->contains(type) && !ordered.contains(type))
            ordered.append(type);
    }
    for (const QString& type : *offered) {
        if (!ordered.contains(type))
            ordered.append(type);
    }
    return ordered;
}

} // namespace tarvo
