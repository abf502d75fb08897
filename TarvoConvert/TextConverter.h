#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

// Small text conversions: shell-quoted paths, the plain text of rich text and
// HTML, and web-location files. Stateless; safe on any thread.
namespace tarvo::TextConverter {

// The characters a path may hold and still be pasted into a shell bare.
inline constexpr char16_t kSafeCharacters[] =
    u"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789._-/+@:,=%";

// `text` bare when every character is safe, else in single quotes with each
// "'" written as '\''. Control characters never appear raw in the result:
// they are written as $'\xHH' byte escapes between the quoted runs, so pasting
// the result into a terminal cannot send an escape sequence or a line end,
// and every shell that reads $'...' reads the same bytes whatever its locale.
QString quotedPath(const QString& text);
// The quoted paths joined by one space; empty for no paths.
QString quotedPaths(const QStringList& paths);

// Throws ConversionError::cannotDecode("rich text") when the data is not RTF.
QString plainTextFromRTF(const QByteArray& data);
// There is no reader for RTFD packages: always throws
// ConversionError::cannotDecode("rich text").
QString plainTextFromRTFD(const QByteArray& data);
// Never fails.
QString plainTextFromHTML(const QByteArray& data);

// The link file desktops open: a desktop entry of type Link named `name`
// that opens `url`. Line breaks and other control characters in the name
// are escaped or dropped, so a title can never add a key of its own. Throws
// ConversionError::cannotWrite("webloc") for a link that cannot be written.
QByteArray desktopLink(const QUrl& url, const QString& name);
// An XML property list whose only entry is "URL" with the link's absolute
// string. Throws ConversionError::cannotWrite("webloc") when it cannot be written.
QByteArray webloc(const QUrl& url);
// The link stored in an XML web-location file; nothing on any failure.
std::optional<QUrl> titleFromWebloc(const QByteArray& data);

} // namespace tarvo::TextConverter
