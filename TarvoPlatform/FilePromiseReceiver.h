#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QThreadPool;

namespace tarvo {

// One file promise on a dropped pasteboard: the source writes the file itself
// once the receiver has said where.
class FilePromiseReceiver {
public:
    // The path of a file the source wrote, or the source's reason for failing
    // (the path may then be empty).
    using Reader = std::function<void(const QString& file, const std::optional<QString>& error)>;
    // The name a suggested file name is stored under in the destination folder.
    using NameFilter = std::function<QString(const QString& suggested)>;

    virtual ~FilePromiseReceiver() = default;

    // The pasteboard types that promise files this receiver can read.
    static QStringList readableDraggedTypes();

    // The names the source suggests, possibly none.
    virtual QStringList fileNames() const = 0;

    // Asks the source to write its files into `destination` (named through
    // `storedName`) and calls `reader` on a thread of `queue` for each file or
    // failure. Returns at once; the reader may never be called.
    virtual void receivePromisedFiles(const QString& destination, NameFilter storedName,
                                      QThreadPool& queue, Reader reader) = 0;
};

} // namespace tarvo
