#pragma once

#include <QLatin1String>
#include <QString>
#include <QStringList>

#include <vector>

// The pasteboard vocabulary of the shelf is uniform type identifiers; X11 and
// Qt speak MIME types and atom names. This table is the one place where the
// two meet.
namespace tarvo::TypeIdentifier {

inline constexpr QLatin1String fileURL{"public.file-url"};
inline constexpr QLatin1String url{"public.url"};
inline constexpr QLatin1String urlName{"public.url-name"};
inline constexpr QLatin1String png{"public.png"};
inline constexpr QLatin1String tiff{"public.tiff"};
inline constexpr QLatin1String rtf{"public.rtf"};
inline constexpr QLatin1String flatRTFD{"com.apple.flat-rtfd"};
inline constexpr QLatin1String html{"public.html"};
inline constexpr QLatin1String utf8PlainText{"public.utf8-plain-text"};
inline constexpr QLatin1String jpeg{"public.jpeg"};
inline constexpr QLatin1String heic{"public.heic"};
inline constexpr QLatin1String pdf{"com.adobe.pdf"};
inline constexpr QLatin1String image{"public.image"};
inline constexpr QLatin1String promisedFileURL{"com.apple.pasteboard.promised-file-url"};
// The direct-save protocol's own type: the one kind of file promise an X11
// source can make. It is its own identifier and its own atom name.
inline constexpr QLatin1String directSave{"XdndDirectSave0"};

} // namespace tarvo::TypeIdentifier

namespace tarvo::TypeMapping {

struct Row {
    QLatin1String identifier;
    // Most preferred first; the first is what a writer offers.
    std::vector<QLatin1String> mimeTypes;
};

// Every identifier the platform layer maps, with its MIME types and atom names.
const std::vector<Row>& table();

// The MIME types and atom names that carry `identifier`, most preferred first;
// empty when X11 has no counterpart.
QStringList mimeTypes(const QString& identifier);

// The identifiers that a MIME type or atom name stands for. Parameters other
// than the charset of text are ignored, and case does not matter for MIME
// types. An image type that no row names stands for "public.image"; anything
// else unknown stands for nothing.
QStringList identifiers(const QString& mimeType);

// `identifiers` over a whole list, in order and without repeats.
QStringList identifiers(const QStringList& mimeTypes);

} // namespace tarvo::TypeMapping
