#pragma once

#include "TarvoUpdates/AppcastError.h"
#include "TarvoUpdates/AppcastItem.h"

#include <ostream>

inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace tarvo {

inline void PrintTo(const AppcastItem& item, std::ostream* os) {
    auto optional = [](const std::optional<QString>& text) {
        return text ? "\"" + text->toStdString() + "\"" : std::string("none");
    };
    *os << "AppcastItem{title: \"" << item.title.toStdString() << "\", build: " << item.build
        << ", shortVersion: \"" << item.shortVersion.toStdString()
        << "\", url: " << item.url.toString().toStdString() << ", edSignature: \""
        << item.edSignature.toStdString() << "\", length: " << item.length
        << ", releaseNotesHTML: " << optional(item.releaseNotesHTML)
        << ", minimumSystemVersion: " << optional(item.minimumSystemVersion) << "}";
}

inline void PrintTo(const AppcastError& error, std::ostream* os) {
    *os << error.description().toStdString();
}

} // namespace tarvo
