#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class QMimeData;
class QObject;

namespace tarvo {

class Pasteboard;

// The desktop's clipboard: where the shelf's copies and hand-offs go and its
// pastes come from. Main thread only.
class Clipboard {
public:
    virtual ~Clipboard() = default;

    // What the clipboard holds now, read in the shelf's type identifiers; a
    // copy taken at the call, so it stays valid while the clipboard changes.
    virtual std::unique_ptr<Pasteboard> contents() = 0;
    // The same, handed to `done` once read: at once where reading cannot
    // wait, later where the clipboard's owner must answer first (a paste
    // must not hold the shelf up); never once `context` is gone.
    using Reader = std::function<void(std::unique_ptr<Pasteboard> contents)>;
    virtual void read(const QObject* context, Reader done);
    // The types on offer in the shelf's identifiers, for a menu that must
    // open at once: a backend whose clipboard owner could keep it waiting
    // answers from what it learnt ahead; none when nothing is known.
    virtual std::optional<QStringList> types();
    // Each replaces what the clipboard holds; false when the window system did
    // not hand the clipboard to us, which leaves it as it was.
    virtual bool writeText(const QString& text) = 0;
    // Files as file managers and editors paste them, with their paths as text.
    virtual bool writeFileURLs(const QList<QUrl>& urls) = 0;

    // What the writes put on the clipboard, the same in every backend. Text
    // alone; or "text/uri-list", "x-special/gnome-copied-files" (what
    // GNOME-style file managers paste) and the paths as text, one a line.
    static std::unique_ptr<QMimeData> textData(const QString& text);
    static std::unique_ptr<QMimeData> fileData(const QList<QUrl>& urls);
    // A pasteboard over a copy of `data`; an empty one for none.
    static std::unique_ptr<Pasteboard> snapshot(const QMimeData* data);
};

} // namespace tarvo
