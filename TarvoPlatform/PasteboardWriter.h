#pragma once

#include "FilePromiseProvider.h"
#include "PasteboardItem.h"

#include <QStringList>

#include <memory>
#include <variant>
#include <vector>

namespace tarvo {

// Something that can write itself to an outgoing pasteboard.
using PasteboardWriter =
    std::variant<std::shared_ptr<PasteboardItem>, std::shared_ptr<FilePromiseProvider>>;

namespace PasteboardWriters {

// The types the writers put on a pasteboard: each writer's in order, the
// first occurrence of a type deciding its place.
QStringList types(const std::vector<PasteboardWriter>& writers);
std::vector<std::shared_ptr<PasteboardItem>> items(const std::vector<PasteboardWriter>& writers);
std::vector<std::shared_ptr<FilePromiseProvider>>
promises(const std::vector<PasteboardWriter>& writers);

} // namespace PasteboardWriters

} // namespace tarvo
