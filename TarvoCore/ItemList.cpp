#include "ItemList.h"

namespace tarvo {

ItemList::ItemList(std::vector<Item> items) : m_items(std::move(items)) {
    m_index.reserve(qsizetype(m_items.size()));
    for (std::size_t i = 0; i < m_items.size(); ++i)
        m_index.insert(m_items[i].id, i);
}

std::optional<std::size_t> ItemList::indexOf(const QUuid& id) const {
    const auto found = m_index.constFind(id);
    if (found == m_index.constEnd())
        return std::nullopt;
    return *found;
}

} // namespace tarvo
