#pragma once

#include "Item.h"

#include <QString>

// Questions about what an item folder holds, asked from outside the store:
// by the drop receiver before it copies, and by the platform's direct save
// while a source writes into a fresh item folder. Any thread.
namespace tarvo::StoredContent {

// Whether a name in an item's folder is one the store writes there itself
// ("item.json" and the temporary files it is written through).
bool isOwnEntry(const QString& name);

// Whether storing the regular file at `file`, whose fingerprint equals that
// of `existing`, would add nothing new: the item store's own comparison,
// made before any copy. Reads only the file and the item's files below `root`.
bool sameContentAsFile(const QString& root, const QString& file, const Item& existing);

} // namespace tarvo::StoredContent
