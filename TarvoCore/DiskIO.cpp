#include "DiskIO.h"

#include "FileError.h"

#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

namespace tarvo::DiskIO {

namespace {

std::mutex observerLock;
Observer observerFunction;
std::atomic<bool> observed{false};
std::atomic<bool> flushesOn{true};

QString folderOf(const QString& path) {
    return QFileInfo(path).absolutePath();
}

} // namespace

void setObserver(Observer observer) {
    const std::lock_guard lock(observerLock);
    observerFunction = std::move(observer);
    observed = static_cast<bool>(observerFunction);
}

void setFlushing(bool on) {
    flushesOn = on;
}

bool flushing() {
    return flushesOn;
}

int check(Call call, const QString& path, const QString& other) {
    if (!observed)
        return 0;
    Observer observer;
    {
        const std::lock_guard lock(observerLock);
        observer = observerFunction;
    }
    return observer ? observer(call, path, other) : 0;
}

int openForReading(const QString& path, int extraFlags) {
    if (const int code = check(Call::open, path))
        throw FileError(QStringLiteral("open"), path, code);
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | extraFlags);
    if (fd < 0)
        throw FileError(QStringLiteral("open"), path, errno);
    return fd;
}

void writeAll(int fd, const char* data, qint64 size, const QString& path) {
    if (const int code = check(Call::write, path))
        throw FileError(QStringLiteral("write"), path, code);
    while (size > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(size));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw FileError(QStringLiteral("write"), path, errno);
        }
        data += n;
        size -= n;
    }
}

void flushFile(int fd, const QString& path) {
    if (!flushesOn)
        return;
    if (const int code = check(Call::flushFile, path))
        throw FileError(QStringLiteral("write"), path, code);
    if (::fdatasync(fd) != 0)
        throw FileError(QStringLiteral("write"), path, errno);
}

void flushFolder(const QString& folder) {
    if (!flushesOn)
        return;
    if (const int code = check(Call::flushFolder, folder))
        throw FileError(QStringLiteral("write"), folder, code);
    const int fd =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        throw FileError(QStringLiteral("write"), folder, errno);
    const int result = ::fsync(fd);
    const int code = errno;
    ::close(fd);
    // Some file systems cannot flush a folder; their renames are as durable
    // as they get.
    if (result != 0 && code != EINVAL && code != EROFS)
        throw FileError(QStringLiteral("write"), folder, code);
}

void flushFileSystem(const QString& path) {
    if (!flushesOn)
        return;
    if (const int code = check(Call::flushFileSystem, path))
        throw FileError(QStringLiteral("write"), path, code);
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw FileError(QStringLiteral("write"), path, errno);
    const int result = ::syncfs(fd);
    const int code = errno;
    ::close(fd);
    if (result != 0)
        throw FileError(QStringLiteral("write"), path, code);
}

void rename(const QString& from, const QString& to) {
    if (const int code = check(Call::rename, from, to))
        throw FileError(QStringLiteral("replace"), to, code);
    if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0)
        throw FileError(QStringLiteral("replace"), to, errno);
}

void removeFile(const QString& path) {
    if (const int code = check(Call::remove, path))
        throw FileError(QStringLiteral("remove"), path, code);
    if (::unlink(QFile::encodeName(path).constData()) != 0)
        throw FileError(QStringLiteral("remove"), path, errno);
}

void renameDurably(const QString& from, const QString& to) {
    rename(from, to);
    const QString source = folderOf(from);
    const QString target = folderOf(to);
    flushFolder(target);
    if (source != target)
        flushFolder(source);
}

} // namespace tarvo::DiskIO
