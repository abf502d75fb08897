#include "StoreAccess.h"

#include "TarvoCore/FileError.h"

#include <QFile>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvo::StoreAccess {

void checkOpenable(const QString& root) {
    const QByteArray folder = QFile::encodeName(root);
    struct stat info {};
    if (::stat(folder.constData(), &info) != 0) {
        if (errno == ENOENT)
            return;
        throw FileError(QStringLiteral("open"), root, errno);
    }
    if (!S_ISDIR(info.st_mode))
        throw FileError(QStringLiteral("open"), root, ENOTDIR);
    if (::access(folder.constData(), R_OK | W_OK | X_OK) != 0)
        throw FileError(QStringLiteral("open"), root, errno);

    const QString indexPath = root + QStringLiteral("/tarvo.json");
    const QByteArray index = QFile::encodeName(indexPath);
    if (::lstat(index.constData(), &info) != 0) {
        if (errno == ENOENT)
            return;
        throw FileError(QStringLiteral("read"), indexPath, errno);
    }
    if (S_ISDIR(info.st_mode))
        throw FileError(QStringLiteral("read"), indexPath, EISDIR);
    const int fd = ::open(index.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        throw FileError(QStringLiteral("read"), indexPath, errno);
    ::close(fd);
}

} // namespace tarvo::StoreAccess
