#include "WorkRoot.h"

#include "TarvoCore/FileError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvo::WorkRoot {

namespace {

const QString operation = QStringLiteral("prepare the work folder");

} // namespace

void ensurePrivateFolder(const QString& path, uid_t uid) {
    const QByteArray native = QFile::encodeName(path);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        throw FileError(operation, path, errno);

    // lstat, so that a link someone else planted is never followed.
    struct stat status {};
    if (::lstat(native.constData(), &status) != 0)
        throw FileError(operation, path, errno);
    if (!S_ISDIR(status.st_mode))
        throw FileError(operation, path, S_ISLNK(status.st_mode) ? ELOOP : ENOTDIR);
    if (status.st_uid != uid)
        throw FileError(operation, path, EPERM);
    if ((status.st_mode & 07777) != 0700 && ::chmod(native.constData(), 0700) != 0)
        throw FileError(operation, path, errno);
}

QString prepare(const QString& runtimeDir, const QString& tempDir, uid_t uid) {
    QString path;
    if (!runtimeDir.isEmpty() && QFileInfo(runtimeDir).isDir())
        path = QDir(runtimeDir).filePath(QStringLiteral("Tarvo"));
    else
        path = QDir(tempDir).filePath(QStringLiteral("Tarvo-%1").arg(uid));
    path = QDir::cleanPath(path);
    ensurePrivateFolder(path, uid);
    return path;
}

QString prepare() {
    return prepare(qEnvironmentVariable("XDG_RUNTIME_DIR"), QDir::tempPath(), ::getuid());
}

} // namespace tarvo::WorkRoot
