#include "PasteboardItem.h"

#include <memory>

namespace tarvo {

bool PasteboardItem::setDataProvider(PasteboardItemDataProvider* provider,
                                     const QStringList& types) {
    if (types.isEmpty())
        return false;
    m_provider = provider;
    m_types = types;
    return true;
}

void PasteboardItem::setData(const QByteArray& data, const QString& type) {
    m_data.insert(type, PasteboardData::fromBytes(data));
}

void PasteboardItem::setString(const QString& string, const QString& type) {
    m_data.insert(type, PasteboardData::fromBytes(string.toUtf8()));
}

void PasteboardItem::setFileContents(const QString& path, const QString& type) {
    m_data.insert(type, PasteboardData::fromFile(path));
}

void PasteboardItem::setData(const PasteboardData& data, const QString& type) {
    m_data.insert(type, data);
}

std::optional<PasteboardData> PasteboardItem::data(const QString& type) const {
    const auto it = m_data.constFind(type);
    if (it == m_data.constEnd())
        return std::nullopt;
    return *it;
}

void PasteboardItem::request(const QString& type, DataRequestPhase phase,
                             std::function<void(std::optional<PasteboardData>)> answer) {
    if (!m_provider || !m_types.contains(type)) {
        answer(std::nullopt);
        return;
    }
    // What an earlier request set must not answer this one: the provider
    // decides again from the drag's present state.
    m_data.remove(type);
    auto once = std::make_shared<bool>(false);
    std::weak_ptr<PasteboardItem> self = weak_from_this();
    m_provider->provideData(*this, type, phase, [self, type, once, answer = std::move(answer)] {
        const std::shared_ptr<PasteboardItem> item = self.lock();
        if (*once || !item)
            return;
        *once = true;
        answer(item->data(type));
    });
}

} // namespace tarvo
