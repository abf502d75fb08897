#pragma once

#include "Item.h"

#include <QHash>
#include <QUuid>

#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

namespace tarvo {

// The shelf's items at one moment, newest first, with where each id is.
// Never changed once made, so the store hands the same list to every reader
// until its items change, and a reader keeps it without copying a long shelf.
class ItemList final {
public:
    ItemList() = default;
    explicit ItemList(std::vector<Item> items);

    static std::shared_ptr<const ItemList> make(std::vector<Item> items) {
        return std::make_shared<const ItemList>(std::move(items));
    }

    const std::vector<Item>& items() const { return m_items; }
    std::size_t size() const { return m_items.size(); }
    bool empty() const { return m_items.empty(); }
    const Item& operator[](std::size_t index) const { return m_items[index]; }
    std::optional<std::size_t> indexOf(const QUuid& id) const;
    bool contains(const QUuid& id) const { return m_index.contains(id); }

private:
    std::vector<Item> m_items;
    QHash<QUuid, std::size_t> m_index;
};

} // namespace tarvo
