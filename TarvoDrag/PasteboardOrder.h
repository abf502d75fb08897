#pragma once

#include "TarvoCore/RuleModel.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

#include "TarvoPlatform/PasteboardWriter.h"

namespace tarvo {

class DragPasteboard;

// Whether a drag may still rewrite its pasteboard.
enum class PasteboardOrderStrategy { rewrite, fixed };

QString rawValue(PasteboardOrderStrategy strategy);
// Exactly "rewrite" or "fixed", case included.
std::optional<PasteboardOrderStrategy> pasteboardOrderStrategyFromRawValue(const QString& raw);

// The type orders of a drag out of the shelf: a destination that takes the
// first type it understands receives plain text first for paths and text,
// the promised file first for conversions, the file itself first otherwise.
// Main thread only, except `jpegType`.
namespace PasteboardOrder {

// fileURL, promise, png, jpeg, tiff, rtf, string, URL; an absent promise
// type is left out.
QStringList defaultOrder(const std::optional<QString>& promiseType);

// The order for one delivery; image options never change it.
QStringList types(const Delivery& delivery, const std::optional<QString>& promiseType);

// Clears `pasteboard` and writes `writers` to it; true when the pasteboard's
// first type afterwards is the first type of the first writer, which must be
// a pasteboard item. Nothing is touched without writers or when the first
// writer is not a pasteboard item; a failed write is never undone.
bool rewrite(DragPasteboard& pasteboard, const std::vector<PasteboardWriter>& writers);

// The JPEG type, made once.
const QString& jpegType();

} // namespace PasteboardOrder

} // namespace tarvo
