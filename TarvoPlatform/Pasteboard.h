#pragma once

#include "FilePromiseReceiver.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace tarvo {

// A pasteboard in the shelf's vocabulary: its types are uniform type
// identifiers (TypeMapping.h), whatever the backend speaks underneath.
class Pasteboard {
public:
    virtual ~Pasteboard() = default;

    using ChangeHandler = std::function<void()>;

    // Changes each time the pasteboard is given new content.
    virtual qint64 changeCount() const = 0;
    // Calls `handler` on the main thread each time the change count moves,
    // for a pasteboard that can tell: a drag's, whose source may take it
    // while the pointer rests. An empty handler stops the calls. Pasteboards
    // that cannot tell never call it.
    virtual void setChangeHandler(ChangeHandler handler) { (void)handler; }
    // The types on offer, in the owner's order; none when nothing is known.
    virtual std::optional<QStringList> types() const = 0;
    virtual std::optional<QByteArray> data(const QString& type) const = 0;
    virtual std::optional<QString> string(const QString& type) const = 0;
    // The URLs on offer; `fileURLsOnly` keeps the local files. Empty when the
    // pasteboard offers none or an entry is no URL.
    virtual QList<QUrl> readURLs(bool fileURLsOnly) const = 0;
    virtual std::vector<std::shared_ptr<FilePromiseReceiver>> readFilePromiseReceivers() const = 0;
};

} // namespace tarvo
