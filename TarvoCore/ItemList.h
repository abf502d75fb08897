#pragma once

#include "Item.h"

#include <QHash>
#include <QUuid>

#include <cstddef>
#include <iterator>
#include <memory>
#include <optional>
#include <vector>

namespace tarvo {

// The shelf's items at one moment, newest first, with where each id is.
// Never changed once made, so the store hands the same list to every reader
// until its items change, and a reader keeps it without copying a long shelf.
//
// The items are held oldest first, so a list with one more newest item
// shares them with the list before it: it appends to the room left behind
// them, and each list reads only as many as it was made with. A new item
// costs a long shelf no more than a short one.
class ItemList final {
public:
    using const_iterator = std::reverse_iterator<std::vector<Item>::const_iterator>;
    using iterator = const_iterator;
    using value_type = Item;

    ItemList();
    explicit ItemList(std::vector<Item> items); // newest first

    static std::shared_ptr<const ItemList> make(std::vector<Item> items) {
        return std::make_shared<const ItemList>(std::move(items));
    }

    // This list with `item` in front. Shares the items when no other list
    // took the room behind them yet; else, or when full, copies them once
    // into twice the room.
    std::shared_ptr<const ItemList> withNewest(const Item& item) const;

    const_iterator begin() const { return const_iterator(oldestFirst().begin() + qsizetype(m_size)); }
    const_iterator end() const { return const_iterator(oldestFirst().begin()); }
    std::size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    const Item& operator[](std::size_t index) const { return oldestFirst()[m_size - 1 - index]; }
    const Item& front() const { return (*this)[0]; }
    const Item& back() const { return (*this)[m_size - 1]; }
    std::optional<std::size_t> indexOf(const QUuid& id) const;
    bool contains(const QUuid& id) const { return indexOf(id).has_value(); }

private:
    struct Shared {
        std::vector<Item> oldestFirst; // never grows past its first capacity
        QHash<QUuid, std::size_t> places; // id to place in `oldestFirst`
    };

    ItemList(std::shared_ptr<Shared> shared, std::size_t size);
    const std::vector<Item>& oldestFirst() const { return m_shared->oldestFirst; }

    std::shared_ptr<Shared> m_shared;
    std::size_t m_size = 0;
};

} // namespace tarvo
