#include "FileError.h"

#include <QFileInfo>

#include <cstring>

namespace tarvo {

FileError::FileError(QString operation, QString path, int code)
    : FileError(std::move(operation), std::move(path), code,
                QString::fromLocal8Bit(std::strerror(code))) {}

FileError::FileError(QString operation, QString path, int code, QString reason)
    : m_operation(std::move(operation)), m_path(std::move(path)), m_code(code),
      m_reason(std::move(reason)) {
    m_description = QStringLiteral("could not %1 “%2”: %3")
                        .arg(m_operation, QFileInfo(m_path).fileName(), m_reason);
    m_what = m_description.toStdString();
}

} // namespace tarvo
