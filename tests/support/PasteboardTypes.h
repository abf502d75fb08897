#pragma once

#include "TarvoPlatform/TypeMapping.h"

#include <QString>

// The pasteboard types the drag tests name, as texts.
namespace tarvo::test::types {

inline const QString fileURL(TypeIdentifier::fileURL);
inline const QString png(TypeIdentifier::png);
inline const QString jpeg(TypeIdentifier::jpeg);
inline const QString tiff(TypeIdentifier::tiff);
inline const QString rtf(TypeIdentifier::rtf);
inline const QString string(TypeIdentifier::utf8PlainText);
inline const QString url(TypeIdentifier::url);
inline const QString promise(TypeIdentifier::directSave);

} // namespace tarvo::test::types
