#include "AtomicFile.h"

#include "FileError.h"
#include "Json.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace tarvo::AtomicFile {

QString temporaryPath(const QString& target, const QUuid& id) {
    const QFileInfo info(target);
    return info.path() + QStringLiteral("/.") + info.fileName() + u'.' + json::uuidText(id) +
           QStringLiteral(".tmp");
}

void write(const QByteArray& data, const QString& target) {
    const QString temporary = temporaryPath(target, QUuid::createUuid());
    const QByteArray tmp = QFile::encodeName(temporary);

    const int fd = ::open(tmp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        throw FileError(QStringLiteral("write"), target, errno);

    auto fail = [&](const char* operation, int code) {
        ::close(fd);
        ::unlink(tmp.constData());
        throw FileError(QString::fromLatin1(operation), target, code);
    };

    const char* p = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail("write", errno);
        }
        p += n;
        left -= n;
    }
    if (::fdatasync(fd) != 0)
        fail("write", errno);
    if (::close(fd) != 0) {
        const int code = errno;
        ::unlink(tmp.constData());
        throw FileError(QStringLiteral("write"), target, code);
    }
    if (::rename(tmp.constData(), QFile::encodeName(target).constData()) != 0) {
        const int code = errno;
        ::unlink(tmp.constData());
        throw FileError(QStringLiteral("replace"), target, code);
    }
}

} // namespace tarvo::AtomicFile
