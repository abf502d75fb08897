#include "ItemList.h"

#include <algorithm>

namespace tarvo {

namespace {

// Room for as many again, so that a long run of additions shares the items.
std::size_t roomFor(std::size_t count) {
    return std::max<std::size_t>(2 * count, 64);
}

} // namespace

ItemList::ItemList() : m_shared(std::make_shared<Shared>()) {}

ItemList::ItemList(std::vector<Item> items) : m_shared(std::make_shared<Shared>()) {
    m_size = items.size();
    std::vector<Item>& held = m_shared->oldestFirst;
    held.reserve(roomFor(m_size));
    held.insert(held.end(), std::make_move_iterator(items.rbegin()),
                std::make_move_iterator(items.rend()));
    m_shared->places.reserve(qsizetype(held.size()));
    for (std::size_t i = 0; i < held.size(); ++i)
        m_shared->places.insert(held[i].id, i);
}

ItemList::ItemList(std::shared_ptr<Shared> shared, std::size_t size)
    : m_shared(std::move(shared)), m_size(size) {}

std::shared_ptr<const ItemList> ItemList::withNewest(const Item& item) const {
    std::vector<Item>& held = m_shared->oldestFirst;
    // Appending never moves the items the lists before read: only room
    // already there is taken.
    if (held.size() == m_size && held.size() < held.capacity() && !contains(item.id)) {
        held.push_back(item);
        m_shared->places.insert(item.id, m_size);
        return std::shared_ptr<const ItemList>(new ItemList(m_shared, m_size + 1));
    }
    std::vector<Item> items(begin(), end());
    items.insert(items.begin(), item);
    return make(std::move(items));
}

std::optional<std::size_t> ItemList::indexOf(const QUuid& id) const {
    const auto found = m_shared->places.constFind(id);
    // A later list's items share the table; they are not in this one.
    if (found == m_shared->places.constEnd() || *found >= m_size)
        return std::nullopt;
    return m_size - 1 - *found;
}

} // namespace tarvo
