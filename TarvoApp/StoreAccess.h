#pragma once

#include <QString>

// Whether the item store's folder can be opened without losing what it holds.
namespace tarvo::StoreAccess {

// Throws FileError when the folder exists but is no folder or cannot be
// read, written or entered, or when its index exists but cannot be read: a
// shelf opened over such a store would start empty and then write its empty
// index over the user's.
void checkOpenable(const QString& root);

} // namespace tarvo::StoreAccess
