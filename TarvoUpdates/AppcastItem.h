#pragma once

#include <QString>
#include <QUrl>

#include <optional>

namespace tarvo {

// One release described by the update feed.
struct AppcastItem {
    QString title;        // trimmed text of the item's "title"; empty when there is none
    qint64 build = 0;     // "sparkle:version", compared with the running build
    QString shortVersion; // "sparkle:shortVersionString", else the decimal text of `build`
    QUrl url;             // the enclosure's "url": where the archive is downloaded from
    QString edSignature;  // the enclosure's "sparkle:edSignature" exactly as written
    qint64 length = 0;    // the enclosure's "length" in bytes; 0 when absent or not a number
    std::optional<QString> releaseNotesHTML;     // trimmed "description"; absent when empty
    std::optional<QString> minimumSystemVersion; // trimmed "sparkle:minimumSystemVersion"

    bool operator==(const AppcastItem&) const = default;
};

} // namespace tarvo
