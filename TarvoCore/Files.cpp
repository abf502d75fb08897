#include "Files.h"

#include "FileError.h"

#include <QFile>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvo::Files {

namespace {

qint64 sizeBelow(int dirFd, const QString& path) {
    std::vector<std::string> names;
    try {
        names = namesIn(dirFd, path);
    } catch (const FileError&) {
        ::close(dirFd);
        return 0;
    }
    qint64 total = 0;
    for (const std::string& name : names) {
        struct stat st {};
        if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISDIR(st.st_mode)) {
            const int child =
                ::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (child >= 0)
                total += sizeBelow(child, path);
        } else {
            total += static_cast<qint64>(st.st_size);
        }
    }
    ::close(dirFd);
    return total;
}

} // namespace

Fd::~Fd() {
    if (m_fd >= 0)
        ::close(m_fd);
}

void makeDirectories(const QString& path) {
    const std::string native = QFile::encodeName(path).toStdString();
    struct stat st {};
    if (::stat(native.c_str(), &st) != 0) {
        // Each missing level from the top down, owner only: what the stores
        // keep is the user's alone, whatever the umask says.
        std::string::size_type at = native.size() > 1 && native[0] == '/' ? 1 : 0;
        for (;;) {
            at = native.find('/', at);
            const std::string level = native.substr(0, at);
            if (!level.empty() && ::mkdir(level.c_str(), 0700) != 0 && errno != EEXIST)
                throw FileError(QStringLiteral("create the folder"), path, errno);
            if (at == std::string::npos)
                break;
            ++at;
        }
        if (::stat(native.c_str(), &st) != 0)
            throw FileError(QStringLiteral("create the folder"), path, errno);
    }
    if (!S_ISDIR(st.st_mode))
        throw FileError(QStringLiteral("create the folder"), path, ENOTDIR);
}

namespace {

void tightenBelow(int folderFd, const QString& path) {
    std::vector<std::string> names;
    try {
        names = namesIn(folderFd, path);
    } catch (const FileError&) {
        return;
    }
    for (const std::string& name : names) {
        struct stat st {};
        if (::fstatat(folderFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISDIR(st.st_mode)) {
            const Fd child(
                ::openat(folderFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (!child.valid())
                continue;
            if ((st.st_mode & 07777) != ownerFolderMode)
                ::fchmod(child.get(), ownerFolderMode);
            tightenBelow(child.get(), path);
        } else if (S_ISREG(st.st_mode)) {
            const mode_t mode = ownerFileMode(st.st_mode);
            if ((st.st_mode & 07777) != mode)
                ::fchmodat(folderFd, name.c_str(), mode, 0);
        }
    }
}

} // namespace

void tighten(const QString& path) {
    const Fd folder(::open(QFile::encodeName(path).constData(),
                           O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!folder.valid())
        return;
    struct stat st {};
    if (::fstat(folder.get(), &st) == 0 && (st.st_mode & 07777) != ownerFolderMode)
        ::fchmod(folder.get(), ownerFolderMode);
    tightenBelow(folder.get(), path);
}

void tightenOne(const QString& path) {
    struct stat st {};
    const QByteArray native = QFile::encodeName(path);
    if (::lstat(native.constData(), &st) != 0)
        return;
    const mode_t mode = S_ISDIR(st.st_mode)   ? ownerFolderMode
                        : S_ISREG(st.st_mode) ? ownerFileMode(st.st_mode)
                                              : st.st_mode & 07777;
    if ((st.st_mode & 07777) != mode)
        ::chmod(native.constData(), mode);
}

bool removeRecursively(const QString& path) {
    std::error_code error;
    const auto removed = std::filesystem::remove_all(
        std::filesystem::path(QFile::encodeName(path).toStdString()), error);
    return !error && removed > 0;
}

qint64 folderSize(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    return sizeBelow(fd, path);
}

std::vector<std::string> namesIn(int folderFd, const QString& path) {
    // The listing closes its own descriptor, not the caller's.
    const int listFd = ::fcntl(folderFd, F_DUPFD_CLOEXEC, 0);
    if (listFd < 0)
        throw FileError(QStringLiteral("read"), path, errno);
    DIR* dir = ::fdopendir(listFd);
    if (!dir) {
        const int code = errno;
        ::close(listFd);
        throw FileError(QStringLiteral("read"), path, code);
    }
    std::vector<std::string> names;
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        names.emplace_back(name);
    }
    const int readError = errno;
    ::closedir(dir);
    if (readError != 0)
        throw FileError(QStringLiteral("read"), path, readError);
    return names;
}

bool exists(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

bool isRegularFile(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace tarvo::Files
