#include "WorkRoot.h"

#include "TarvoCore/FileError.h"
#include "TarvoCore/Files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

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

int sweep(const QString& root, int olderThanSeconds) {
    const Files::Fd fd(
        ::open(QFile::encodeName(root).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.valid())
        return 0;
    std::vector<std::string> names;
    try {
        names = Files::namesIn(fd.get(), root);
    } catch (const FileError&) {
    }
    const time_t cutoff = ::time(nullptr) - olderThanSeconds;
    const uid_t uid = ::getuid();
    int removed = 0;
    for (const std::string& name : names) {
        struct stat status {};
        if (::fstatat(fd.get(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (!S_ISDIR(status.st_mode) || status.st_uid != uid || status.st_mtime >= cutoff)
            continue;
        if (Files::removeRecursively(QDir(root).filePath(QFile::decodeName(name.c_str()))))
            ++removed;
    }
    return removed;
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
