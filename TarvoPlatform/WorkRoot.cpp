#include "WorkRoot.h"

#include "TarvoCore/FileError.h"
#include "TarvoCore/Files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <string_view>
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

int sweep(const QString& root, int olderThanSeconds) {
    DIR* dir = ::opendir(QFile::encodeName(root).constData());
    if (!dir)
        return 0;
    const time_t cutoff = ::time(nullptr) - olderThanSeconds;
    const uid_t uid = ::getuid();
    int removed = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        struct stat status {};
        if (::fstatat(::dirfd(dir), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (!S_ISDIR(status.st_mode) || status.st_uid != uid || status.st_mtime >= cutoff)
            continue;
        if (Files::removeRecursively(QDir(root).filePath(QFile::decodeName(entry->d_name))))
            ++removed;
    }
    ::closedir(dir);
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
