#pragma once

#include "TarvoConvert/ConversionResult.h"
#include "TarvoCore/Item.h"
#include "TarvoCore/RuleModel.h"
#include "TarvoPlatform/PasteboardItem.h"

#include <QString>
#include <QStringList>

#include <optional>

// What a destination reading one type of an item dragged out of the shelf is
// handed, given what the item's conversion produced. A type is answered only
// with data of that type: an image type gets the file's bytes only when the
// file is an image of that type, and a file is handed over by reference, to
// be read while it is sent.
namespace tarvo::DragData {

// The types of `order` that `item` answers with data under `delivery`, in
// that order, known without converting: a destination is never offered a
// type it would read nothing from. A link with a title also offers its
// title, right after the link.
QStringList offeredTypes(const QStringList& order, const Item& item, const Delivery& delivery,
                         const QString& containerRoot);

// Whether the answer for `type` depends on the conversion at all: the web
// link, its title and the rich text of an item are read from the item itself.
bool needsConversion(const QString& type);

// None when the item gets nothing for `type`. `result` is none when not even
// the unchanged item could be produced.
std::optional<PasteboardData> forType(const QString& type, const Item& item,
                                      const std::optional<ConversionResult>& result,
                                      const QString& containerRoot);

// The name of a file that holds text: a plain-text file by its extension,
// so that every file manager and the program it opens with treat it as one.
QString textFileName(const QString& name);

} // namespace tarvo::DragData
