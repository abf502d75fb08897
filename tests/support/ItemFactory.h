#pragma once

#include "TarvoCore/Date.h"
#include "TarvoCore/Item.h"
#include "TarvoCore/RuleModel.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <QUuid>

#include <optional>
#include <vector>

namespace tarvo {
class ItemStore;
}

namespace tarvo::test {

// Items with a fresh id, as added at `addedAt`, not yet added to any store: a
// file's `bytes` are written into a new folder of its own in `store`.
Item makeFileItem(ItemStore& store, const QString& name, const QByteArray& bytes, Date addedAt,
                  bool isImage = false);
Item makeTextItem(const QString& text, Date addedAt);

// The ids of the store's items, in its order.
std::vector<QUuid> itemIds(const ItemStore& store);

// Items of each payload kind, stored and added to `store` with a fresh id, as
// added at `addedAt`; a failed add fails the test that asked for it.
Item addFileItem(ItemStore& store, const QString& name, const QByteArray& bytes, bool isImage,
                 Date addedAt);
Item addTextItem(ItemStore& store, const QString& text, Date addedAt);
Item addUrlItem(ItemStore& store, const QUrl& url, Date addedAt);

// A rule with a fresh id and a fixed creation date.
Rule makeRule(SourceType type, Destination where, Delivery what,
              std::optional<QString> rename = std::nullopt);

} // namespace tarvo::test
