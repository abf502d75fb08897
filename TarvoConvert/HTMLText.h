#pragma once

#include <QByteArray>
#include <QString>

// The text of a stored HTML document: its bytes decoded by byte-order mark or
// declared charset (HTMLText::decode), then read as plain text
// (HTMLText::Reader, in HTMLReader.h).
namespace tarvo::HTMLText {

// Never fails: undecodable bytes become U+FFFD.
QString decode(const QByteArray& bytes);

} // namespace tarvo::HTMLText
