#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace tarvo::test {

// A fresh folder under the system's temporary directory, removed afterwards.
class TempDir final {
public:
    TempDir();
    const QString& path() const { return m_path; }
    QString file(const QString& relative) const { return m_path + u'/' + relative; }
    // Writes `bytes` to `relative`, creating the folders above it.
    QString write(const QString& relative, const QByteArray& bytes) const;
    QByteArray read(const QString& relative) const;

private:
    QTemporaryDir m_dir;
    QString m_path;
};

} // namespace tarvo::test
