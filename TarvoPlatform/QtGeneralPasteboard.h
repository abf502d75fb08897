#pragma once

#include "GeneralPasteboard.h"

class QMimeData;

namespace tarvo {

// The CLIPBOARD selection through Qt.
class QtGeneralPasteboard final : public GeneralPasteboard {
public:
    std::unique_ptr<Pasteboard> contents() override;
    void writeFiles(const QList<QUrl>& files) override;
    void writeString(const QString& text) override;

    // What a file copy puts on the clipboard: "text/uri-list",
    // "x-special/gnome-copied-files" and the paths as text, one a line.
    static QMimeData* fileData(const QList<QUrl>& files);
};

} // namespace tarvo
