#pragma once

#include "TarvoCore/Item.h"

#include <QString>

#include <optional>

// What a shelf item without a file of its own (text, a link) becomes when it
// is dropped on an application chip.
namespace tarvo::ChipFiles {

// The text a terminal or an editor is given for the item: the text itself,
// a rich text's plain text, a link's address.
QString textOf(const Item& item);

// Writes the item into `folder` as the file a drag would save for it: text as
// a .txt file, a link as a link file. None when it cannot be written, or for
// an item that has a file of its own.
std::optional<QString> write(const Item& item, const QString& folder);

} // namespace tarvo::ChipFiles
