#pragma once

#include "TarvoConvert/ConversionResult.h"
#include "TarvoCore/Item.h"
#include "TarvoPlatform/PasteboardItem.h"

#include <QString>

#include <optional>

// What a destination reading one type of an item dragged out of the shelf is
// handed, given what the item's conversion produced. A type is answered only
// with data of that type: an image type gets the file's bytes only when the
// file is an image of that type, and a file is handed over by reference, to
// be read while it is sent.
namespace tarvo::DragData {

// Whether the answer for `type` depends on the conversion at all: the web
// link and the rich text of an item are read from the item itself.
bool needsConversion(const QString& type);

// None when the item gets nothing for `type`. `result` is none when not even
// the unchanged item could be produced.
std::optional<PasteboardData> forType(const QString& type, const Item& item,
                                      const std::optional<ConversionResult>& result,
                                      const QString& containerRoot);

} // namespace tarvo::DragData
