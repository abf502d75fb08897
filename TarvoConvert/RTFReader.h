#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The plain text of RTF data: groups, control words, "\uN" with "\ucN"
// fallbacks, "\'hh" bytes read in the document's (or the font's) code page, and
// destinations that hold no body text (font and colour tables, pictures,
// document info, field instructions and every "\*" destination we do not know)
// skipped.
namespace tarvo::RTFReader {

// Nothing when the data is not RTF (it must open with "{\rtf").
std::optional<QString> plainText(const QByteArray& data);

} // namespace tarvo::RTFReader
