#include "FilePromiseProvider.h"

#include "TypeMapping.h"

namespace tarvo {

QStringList FilePromiseProvider::writableTypes() const {
    return {QString(TypeIdentifier::directSave)};
}

QString FilePromiseProvider::fileName() {
    if (!m_delegate)
        return QStringLiteral("File");
    return m_delegate->fileName(*this, m_fileType);
}

void FilePromiseProvider::writePromise(const QString& path,
                                       FilePromiseProviderDelegate::Completion completion) {
    if (!m_delegate) {
        completion(QStringLiteral("the promise has no writer"));
        return;
    }
    m_delegate->writePromise(*this, path, std::move(completion));
}

} // namespace tarvo
