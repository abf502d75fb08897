#pragma once

#include <QList>
#include <QString>
#include <QUrl>

#include <memory>

namespace tarvo {

class Pasteboard;

// The desktop's clipboard, where copies go and pastes come from.
class GeneralPasteboard {
public:
    virtual ~GeneralPasteboard() = default;

    // What the clipboard holds now, read in the shelf's type identifiers;
    // valid until the clipboard changes.
    virtual std::unique_ptr<Pasteboard> contents() = 0;
    // Local files as file managers copy them, so a file manager pastes them
    // and a text field pastes their paths.
    virtual void writeFiles(const QList<QUrl>& files) = 0;
    // Replaces what the clipboard holds with the text alone.
    virtual void writeString(const QString& text) = 0;
};

} // namespace tarvo
