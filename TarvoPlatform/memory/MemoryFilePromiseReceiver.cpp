#include "MemoryFilePromiseReceiver.h"

#include <QFile>

namespace tarvo {

MemoryFilePromiseReceiver::MemoryFilePromiseReceiver(QStringList fileNames)
    : m_fileNames(std::move(fileNames)) {}

void MemoryFilePromiseReceiver::receivePromisedFiles(const QString& destination,
                                                     NameFilter storedName, QThreadPool&,
                                                     Reader reader) {
    m_destination = destination;
    m_storedName = std::move(storedName);
    m_reader = std::move(reader);
}

QString MemoryFilePromiseReceiver::storedName(const QString& suggested) const {
    return m_storedName ? m_storedName(suggested) : suggested;
}

QString MemoryFilePromiseReceiver::deliver(const QString& name, const QByteArray& contents) {
    const QString path = m_destination + u'/' + storedName(name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(contents);
    file.close();
    report(path);
    return path;
}

void MemoryFilePromiseReceiver::report(const QString& file) {
    if (m_reader)
        m_reader(file, std::nullopt);
}

void MemoryFilePromiseReceiver::fail(const QString& reason) {
    if (m_reader)
        m_reader(QString(), reason);
}

} // namespace tarvo
