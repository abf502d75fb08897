#pragma once

#include "AppcastItem.h"

#include <QByteArray>
#include <QStringView>

#include <optional>
#include <vector>

// Reads the update feed: an RSS document whose "item" elements each describe
// one release, with the archive in an "enclosure" and the build number,
// version text and signature under the "sparkle:" prefix. Names are matched
// as written, prefix included; everything else in the document is ignored.
namespace tarvo::AppcastParser {

// The usable items in document order. Throws AppcastError: `malformedFeed`
// when the document is not well-formed XML (even after complete items),
// `noItems` when no item has both an enclosure address and a build number.
std::vector<AppcastItem> parse(const QByteArray& data);

// A decimal integer: an optional "+" or "-", then ASCII digits only, within
// 64 bits. Anything else (empty, spaces, "12abc", "1e3") is no number.
std::optional<qint64> decimalInteger(QStringView text);

} // namespace tarvo::AppcastParser
