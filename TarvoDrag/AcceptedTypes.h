#pragma once

#include <QStringList>

namespace tarvo {

class Pasteboard;

// The one list of pasteboard types the shelf takes in a drop.
namespace AcceptedTypes {

// What the platform's file-promise receiver reads, then the promised-file URL.
const QStringList& promiseTypes();
// Files, links, images, rich text, HTML and text, in the order the shelf
// prefers them.
const QStringList& concreteTypes();
// `promiseTypes` followed by `concreteTypes`.
const QStringList& all();

// At least one of `types` is in `all`.
bool canAccept(const QStringList& types);
// The same for what `pasteboard` offers now (no types: false).
bool canAccept(const Pasteboard& pasteboard);

} // namespace AcceptedTypes

} // namespace tarvo
