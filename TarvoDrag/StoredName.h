#pragma once

#include <QString>

// The name a dropped file is kept under inside its item folder. The folder
// also holds the store's own files, and a dropped file must never take one of
// their names.
namespace tarvo::StoredName {

// "item.json", the thumbnail caches, and the hidden names the atomic writer
// uses while it replaces a file ("." + name + "." + UUID + ".tmp").
bool isReserved(const QString& name);

// `name` itself when it is safe; a reserved name gets " 2" (or the next free
// number) before its extension. A name that is empty, "." or "..", or that
// holds "/" or NUL, is kept as its last safe component, else as "File".
QString forDroppedName(const QString& name);

} // namespace tarvo::StoredName
