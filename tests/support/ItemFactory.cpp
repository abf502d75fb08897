#include "support/ItemFactory.h"

#include "TarvoCore/ContentHash.h"
#include "TarvoCore/ItemStore.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QUuid>

namespace tarvo::test {

namespace {

Item added(ItemStore& store, Item item) {
    EXPECT_TRUE(store.add(item).is<ItemStore::AddResult::Added>());
    return item;
}

} // namespace

Item makeFileItem(ItemStore& store, const QString& name, const QByteArray& bytes, Date addedAt,
                  bool isImage) {
    Item item;
    item.id = QUuid::createUuid();
    item.payload = isImage ? ItemPayload::image(name) : ItemPayload::file(name);
    item.displayName = name;
    item.addedAt = addedAt;
    const QString folder = store.makeItemDirectory(item.id);
    QFile file(folder + u'/' + name);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    EXPECT_EQ(file.write(bytes), bytes.size());
    file.close();
    item.contentHash = ContentHash::ofPath(file.fileName());
    return item;
}

Item makeTextItem(const QString& text, Date addedAt) {
    Item item;
    item.id = QUuid::createUuid();
    item.payload = ItemPayload::text(text);
    item.displayName = text;
    item.addedAt = addedAt;
    item.contentHash = ContentHash::ofString(text);
    return item;
}

std::vector<QUuid> itemIds(const ItemStore& store) {
    std::vector<QUuid> out;
    for (const Item& item : store.items())
        out.push_back(item.id);
    return out;
}

Item addFileItem(ItemStore& store, const QString& name, const QByteArray& bytes, bool isImage,
                 Date addedAt) {
    return added(store, makeFileItem(store, name, bytes, addedAt, isImage));
}

Item addTextItem(ItemStore& store, const QString& text, Date addedAt) {
    return added(store, makeTextItem(text, addedAt));
}

Item addUrlItem(ItemStore& store, const QUrl& url, Date addedAt) {
    Item item;
    item.id = QUuid::createUuid();
    item.payload = ItemPayload::url(url);
    item.displayName = url.host();
    item.addedAt = addedAt;
    item.contentHash = ContentHash::ofString(url.toString());
    return added(store, std::move(item));
}

Rule makeRule(SourceType type, Destination where, Delivery what, std::optional<QString> rename) {
    Rule rule;
    rule.id = QUuid::createUuid();
    rule.sourceType = type;
    rule.destination = std::move(where);
    rule.deliver = std::move(what);
    rule.rename = std::move(rename);
    rule.createdAt = Date::fromSecondsSince1970(1700000000);
    return rule;
}

} // namespace tarvo::test
