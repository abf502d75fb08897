#pragma once

#include "TarvoPlatform/FilePromiseReceiver.h"

#include <optional>

namespace tarvo {

// A file promise whose source is the test: it records where it was asked to
// write and answers only when told to, on the test's own thread.
class MemoryFilePromiseReceiver final : public FilePromiseReceiver {
public:
    explicit MemoryFilePromiseReceiver(QStringList fileNames = {});

    QStringList fileNames() const override { return m_fileNames; }
    void receivePromisedFiles(const QString& destination, NameFilter storedName, QThreadPool& queue,
                              Reader reader) override;

    bool wasAsked() const { return m_reader != nullptr; }
    const QString& destination() const { return m_destination; }
    // The name the receiver wants `suggested` stored under.
    QString storedName(const QString& suggested) const;

    // Writes `contents` as `name` in the destination (named through the
    // receiver's filter) and reports it. Returns the file's path.
    QString deliver(const QString& name, const QByteArray& contents);
    // Reports a file without writing anything.
    void report(const QString& file);
    void fail(const QString& reason);

private:
    QStringList m_fileNames;
    QString m_destination;
    NameFilter m_storedName;
    Reader m_reader;
};

} // namespace tarvo
