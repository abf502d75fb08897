#include "TarvoCore/ItemList.h"

#include <gtest/gtest.h>

#include <vector>

using namespace tarvo;

namespace {

Item itemNamed(const QString& name) {
    Item item;
    item.id = QUuid::createUuid();
    item.displayName = name;
    return item;
}

std::vector<QString> namesOf(const ItemList& list) {
    std::vector<QString> names;
    for (const Item& item : list)
        names.push_back(item.displayName);
    return names;
}

} // namespace

// A list with one more newest item shares its items with the list it grew
// from: each must go on showing exactly what it was made with, also when two
// lists grow from the same one and when a list grows past its room.
TEST(ItemListTest, ListsGrownFromOneAnotherKeepWhatEachWasMadeWith) {
    const auto base = ItemList::make({itemNamed("b"), itemNamed("a")});
    const Item c = itemNamed("c");
    const Item d = itemNamed("d");
    const auto withC = base->withNewest(c);
    const auto withD = base->withNewest(d);

    EXPECT_EQ(namesOf(*base), (std::vector<QString>{"b", "a"}));
    EXPECT_EQ(namesOf(*withC), (std::vector<QString>{"c", "b", "a"}));
    EXPECT_EQ(namesOf(*withD), (std::vector<QString>{"d", "b", "a"}));
    EXPECT_FALSE(base->contains(c.id));
    EXPECT_FALSE(base->contains(d.id));
    EXPECT_FALSE(withC->contains(d.id));
    EXPECT_FALSE(withD->contains(c.id));
    EXPECT_EQ(withC->indexOf(c.id), 0u);
    EXPECT_EQ(withD->indexOf(d.id), 0u);
    EXPECT_EQ(withC->indexOf(base->front().id), 1u);
    EXPECT_EQ(withD->indexOf(base->back().id), 2u);

    std::vector<std::shared_ptr<const ItemList>> grown{ItemList::make({})};
    for (int i = 0; i < 300; ++i)
        grown.push_back(grown.back()->withNewest(itemNamed(QString::number(i))));
    for (std::size_t n = 1; n < grown.size(); ++n) {
        const ItemList& list = *grown[n];
        ASSERT_EQ(list.size(), n);
        EXPECT_EQ(list.front().displayName, QString::number(qsizetype(n) - 1));
        EXPECT_EQ(list.back().displayName, QStringLiteral("0"));
        EXPECT_EQ(list.indexOf(list.front().id), 0u);
        EXPECT_EQ(list.indexOf(list.back().id), n - 1);
        if (n + 1 < grown.size()) {
            EXPECT_FALSE(list.contains(grown[n + 1]->front().id)) << n;
        }
    }
}
