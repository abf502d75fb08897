#include "FileCopier.h"

#include "TarvoCore/DiskIO.h"
#include "TarvoCore/FileError.h"
#include "TarvoCore/Files.h"

#include <QFile>

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <linux/fs.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tarvo::FileCopier {

namespace {

using Files::Fd;

// The folder the copy goes into, never copied into itself when a dropped
// folder holds the store.
struct Context {
    dev_t skipDevice{};
    ino_t skipInode{};
    Files::Access access = Files::Access::ownerOnly;
    mode_t umask = 022;
};

mode_t fileModeFor(mode_t source, const Context& context) {
    if (context.access == Files::Access::ownerOnly)
        return Files::ownerFileMode(source);
    return ((source & 0100) ? 0777 : 0666) & ~context.umask;
}

mode_t folderModeFor(const Context& context) {
    if (context.access == Files::Access::ownerOnly)
        return Files::ownerFolderMode;
    // The owner keeps full access so a copy can always be removed again.
    return (0777 & ~context.umask) | 0700;
}

// Read from the kernel's status of this process: setting the umask to learn
// it would change it for every thread for a moment.
mode_t currentUmask() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly | QIODevice::Text)) {
        for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine()) {
            if (!line.startsWith("Umask:"))
                continue;
            bool ok = false;
            const uint mask = line.mid(6).trimmed().toUInt(&ok, 8);
            if (ok)
                return static_cast<mode_t>(mask & 0777);
        }
    }
    return 022;
}

[[noreturn]] void fail(const char* operation, const QString& path, int code) {
    throw FileError(QString::fromLatin1(operation), path, code);
}

QString childPath(const QString& parent, const char* name) {
    return parent + u'/' + QFile::decodeName(name);
}

// Plain reads and writes, for file systems where the kernel cannot copy.
void copyByReading(int from, int to, const QString& path) {
    std::vector<char> buffer(1 << 20);
    for (;;) {
        const ssize_t n = ::read(from, buffer.data(), buffer.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail("read", path, errno);
        }
        if (n == 0)
            return;
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(to, buffer.data() + done, static_cast<size_t>(n - done));
            if (w < 0) {
                if (errno == EINTR)
                    continue;
                fail("write", path, errno);
            }
            done += w;
        }
    }
}

// The store flushes every copy before it takes it; starting the write-back of
// each piece as soon as it is copied overlaps the two for a large file.
constexpr size_t copyPiece = size_t(64) << 20;

void startWriteBack(int fd, off_t offset, off_t length) {
    if (DiskIO::flushing())
        ::sync_file_range(fd, offset, length, SYNC_FILE_RANGE_WRITE); // a hint: failure is fine
}

void copyContents(int from, int to, const QString& path) {
    if (::ioctl(to, FICLONE, from) == 0)
        return;
    bool started = false;
    off_t copied = 0;
    for (;;) {
        const ssize_t n = ::copy_file_range(from, nullptr, to, nullptr, copyPiece, 0);
        if (n > 0) {
            started = true;
            startWriteBack(to, copied, n);
            copied += n;
            continue;
        }
        if (n == 0)
            break;
        if (errno == EINTR)
            continue;
        // Older kernels refuse some pairs of file systems and some special
        // files; nothing has been written yet in that case.
        if (!started && (errno == EXDEV || errno == ENOSYS || errno == EINVAL ||
                         errno == EOPNOTSUPP || errno == EPERM)) {
            copyByReading(from, to, path);
            break;
        }
        fail("copy", path, errno);
    }
}

void keepAttributes(int fd, const struct stat& st, mode_t mode, const QString& path) {
    if (::fchmod(fd, mode) != 0)
        fail("copy", path, errno);
    const timespec times[2] = {st.st_atim, st.st_mtim};
    if (::futimens(fd, times) != 0)
        fail("copy", path, errno);
}

bool sameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

void copyFile(int from, const struct stat& st, int parent, const char* name, const QString& path,
              const Context& context) {
    Fd to(::openat(parent, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!to.valid())
        fail("copy", path, errno);
    if (const int code = DiskIO::check(DiskIO::Call::write, path))
        fail("copy", path, code);
    copyContents(from, to.get(), path);
    // A file written to while it was read would be stored as neither version.
    struct stat after {
    }, copied{};
    if (::fstat(from, &after) != 0 || ::fstat(to.get(), &copied) != 0)
        fail("copy", path, errno);
    if (after.st_size != st.st_size || copied.st_size != st.st_size ||
        !sameTime(after.st_mtim, st.st_mtim))
        throw FileError(QStringLiteral("copy"), path, EAGAIN,
                        QStringLiteral("it changed while it was copied"));
    keepAttributes(to.get(), st, fileModeFor(st.st_mode, context), path);
    if (::close(to.release()) != 0)
        fail("copy", path, errno);
}

void copyLink(int parent, const char* name, int targetParent, const struct stat& st,
              const QString& path) {
    std::vector<char> target(static_cast<size_t>(st.st_size > 0 ? st.st_size : PATH_MAX) + 1);
    const ssize_t n = ::readlinkat(parent, name, target.data(), target.size() - 1);
    if (n < 0)
        fail("read", path, errno);
    target[static_cast<size_t>(n)] = 0;
    if (::symlinkat(target.data(), targetParent, name) != 0)
        fail("copy", path, errno);
    const timespec times[2] = {st.st_atim, st.st_mtim};
    ::utimensat(targetParent, name, times, AT_SYMLINK_NOFOLLOW); // a link's time is cosmetic
}

void copyFolder(int from, const struct stat& st, int parent, const char* name, const QString& path,
                const Context& context);

void copyEntries(int from, int to, const QString& path, const Context& context) {
    const std::vector<std::string> names = Files::namesIn(from, path);

    for (const std::string& entry : names) {
        const char* n = entry.c_str();
        const QString child = childPath(path, n);
        struct stat est {};
        if (::fstatat(from, n, &est, AT_SYMLINK_NOFOLLOW) != 0)
            fail("read", child, errno);
        if (S_ISLNK(est.st_mode)) {
            copyLink(from, n, to, est, child);
        } else if (S_ISREG(est.st_mode)) {
            if (const int code = DiskIO::check(DiskIO::Call::open, child))
                fail("open", child, code);
            Fd file(::openat(from, n, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
            if (!file.valid())
                fail("open", child, errno);
            struct stat fst {};
            if (::fstat(file.get(), &fst) != 0)
                fail("read", child, errno);
            if (!S_ISREG(fst.st_mode))
                continue; // swapped for something else since the listing
            copyFile(file.get(), fst, to, n, child, context);
        } else if (S_ISDIR(est.st_mode)) {
            if (est.st_dev == context.skipDevice && est.st_ino == context.skipInode)
                continue;
            Fd folder(::openat(from, n, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (!folder.valid())
                fail("open", child, errno);
            struct stat fst {};
            if (::fstat(folder.get(), &fst) != 0)
                fail("read", child, errno);
            copyFolder(folder.get(), fst, to, n, child, context);
        }
        // FIFOs, sockets and devices inside a folder are left out.
    }
}

void copyFolder(int from, const struct stat& st, int parent, const char* name, const QString& path,
                const Context& context) {
    if (::mkdirat(parent, name, 0700) != 0)
        fail("copy", path, errno);
    Fd to(::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!to.valid())
        fail("copy", path, errno);
    copyEntries(from, to.get(), path, context);
    // Written last: filling the folder changed its time.
    keepAttributes(to.get(), st, folderModeFor(context), path);
}

} // namespace

void copy(const QString& source, const QString& destination, Files::Access access) {
    const QByteArray sourceName = QFile::encodeName(source);
    struct stat st {};
    if (::stat(sourceName.constData(), &st) != 0)
        fail("open", source, errno);
    // Never opened: reading a FIFO or a device blocks or worse.
    if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))
        throw FileError(QStringLiteral("open"), source, EINVAL,
                        QStringLiteral("it is neither a file nor a folder"));

    const qsizetype slash = destination.lastIndexOf(u'/');
    if (slash < 0)
        fail("copy", destination, EINVAL);
    const QString parentPath = slash == 0 ? QStringLiteral("/") : destination.left(slash);
    const QByteArray leaf = QFile::encodeName(destination.mid(slash + 1));
    Fd parent(
        ::open(QFile::encodeName(parentPath).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!parent.valid())
        fail("copy", destination, errno);
    struct stat pst {};
    if (::fstat(parent.get(), &pst) != 0)
        fail("copy", destination, errno);
    const Context context{pst.st_dev, pst.st_ino, access, currentUmask()};

    if (S_ISDIR(st.st_mode)) {
        Fd folder(::open(sourceName.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!folder.valid())
            fail("open", source, errno);
        struct stat fst {};
        if (::fstat(folder.get(), &fst) != 0)
            fail("read", source, errno);
        copyFolder(folder.get(), fst, parent.get(), leaf.constData(), source, context);
        return;
    }
    Fd file(DiskIO::openForReading(source, O_NONBLOCK));
    struct stat fst {};
    if (::fstat(file.get(), &fst) != 0)
        fail("read", source, errno);
    if (!S_ISREG(fst.st_mode))
        fail("open", source, EINVAL);
    copyFile(file.get(), fst, parent.get(), leaf.constData(), source, context);
}

} // namespace tarvo::FileCopier
