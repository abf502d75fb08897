#include "AtomicFile.h"

#include "DiskIO.h"
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

bool isTemporaryName(const QString& name) {
    // "." + at least one character + "." + UUID + ".tmp", checked by hand:
    // a pattern would bring a regular expression engine into every start.
    constexpr qsizetype uuidLength = 36;
    const QLatin1String suffix(".tmp");
    if (!name.startsWith(u'.') || !name.endsWith(suffix))
        return false;
    const qsizetype uuidStart = name.size() - suffix.size() - uuidLength;
    if (uuidStart < 3 || name.at(uuidStart - 1) != u'.')
        return false;
    for (qsizetype i = 0; i < uuidLength; ++i) {
        const char16_t c = name.at(uuidStart + i).unicode();
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        const bool hex =
            (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
        if (dash ? c != u'-' : !hex)
            return false;
    }
    return true;
}

namespace {

void swapIn(const QByteArray& data, const QString& target, bool flush, Access access) {
    const QString temporary = temporaryPath(target, QUuid::createUuid());
    const QByteArray tmp = QFile::encodeName(temporary);

    const int fd = ::open(tmp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                          access == Access::ownerOnly ? 0600 : 0666);
    if (fd < 0)
        throw FileError(QStringLiteral("write"), target, errno);
    try {
        DiskIO::writeAll(fd, data.constData(), data.size(), target);
        if (flush)
            DiskIO::flushFile(fd, target);
    } catch (const FileError& error) {
        ::close(fd);
        ::unlink(tmp.constData());
        throw FileError(QStringLiteral("write"), target, error.code());
    }
    if (::close(fd) != 0) {
        const int code = errno;
        ::unlink(tmp.constData());
        throw FileError(QStringLiteral("write"), target, code);
    }
    try {
        DiskIO::rename(temporary, target);
    } catch (const FileError& error) {
        ::unlink(tmp.constData());
        throw FileError(QStringLiteral("replace"), target, error.code());
    }
    // Without this the rename may not outlive a power cut, and the old file
    // or nothing would come back.
    if (flush)
        DiskIO::flushFolder(QFileInfo(target).absolutePath());
}

} // namespace

void write(const QByteArray& data, const QString& target, Access access) {
    swapIn(data, target, true, access);
}

void writeUnflushed(const QByteArray& data, const QString& target, Access access) {
    swapIn(data, target, false, access);
}

} // namespace tarvo::AtomicFile
