#include "TempDir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <stdexcept>

namespace tarvo::test {

TempDir::TempDir() : m_path(m_dir.path()) {
    if (!m_dir.isValid())
        throw std::runtime_error("could not create a temporary folder");
}

QString TempDir::write(const QString& relative, const QByteArray& bytes) const {
    const QString path = file(relative);
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        throw std::runtime_error("could not write a test file");
    return path;
}

QByteArray TempDir::read(const QString& relative) const {
    QFile f(file(relative));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

} // namespace tarvo::test
