#include "FileError.h"

#include <QFileInfo>

#include <cstring>

namespace tarvo {

FileError::FileError(QString operation, QString path, int code)
    : m_operation(std::move(operation)), m_path(std::move(path)), m_code(code) {
    m_description = QStringLiteral("could not %1 “%2”: %3")
                        .arg(m_operation, QFileInfo(m_path).fileName(),
                             QString::fromLocal8Bit(std::strerror(m_code)));
    m_what = m_description.toStdString();
}

} // namespace tarvo
