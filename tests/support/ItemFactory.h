#pragma once

#include "TarvoCore/Date.h"
#include "TarvoCore/Item.h"
#include "TarvoCore/RuleModel.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <optional>

namespace tarvo {
class ItemStore;
}

namespace tarvo::test {

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
