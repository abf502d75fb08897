#include "ContentHash.h"

#include "FileError.h"
#include "Files.h"
#include "Sha256.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvo::ContentHash {

namespace {

QString ofFolder(const QString& path, const struct stat& st) {
    Sha256 sha;
    sha.feed("dir:", 4);
    const QByteArray name = QFileInfo(path).fileName().toUtf8();
    sha.feed(name.constData(), static_cast<size_t>(name.size()));
    const double mtime =
        static_cast<double>(st.st_mtim.tv_sec) + static_cast<double>(st.st_mtim.tv_nsec) / 1e9;
    quint64 bits = 0;
    static_assert(sizeof bits == sizeof mtime);
    std::memcpy(&bits, &mtime, sizeof bits);
    sha.feedLittleEndian(bits);
    return sha.hex();
}

} // namespace

QString of(const QByteArray& data) {
    Sha256 sha;
    sha.feedLittleEndian(static_cast<quint64>(data.size()));
    sha.feed(data.constData(), static_cast<size_t>(std::min<qint64>(data.size(), prefixLength)));
    return sha.hex();
}

QString ofString(const QString& string) {
    return of(string.toUtf8());
}

QString ofPath(const QString& path) {
    // One open for files and folders alike, O_NONBLOCK so that a FIFO with no
    // writer returns at once; the descriptor is then refused unless it is a
    // regular file or a folder.
    const QByteArray native = QFile::encodeName(path);
    const Files::Fd fd(::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!fd.valid()) {
        const int code = errno;
        // A folder's fingerprint needs no reading of it.
        struct stat st {};
        if (code == EACCES && ::stat(native.constData(), &st) == 0 && S_ISDIR(st.st_mode))
            return ofFolder(path, st);
        throw FileError(QStringLiteral("open"), path, code);
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        throw FileError(QStringLiteral("read"), path, errno);
    if (S_ISDIR(st.st_mode))
        return ofFolder(path, st);
    if (!S_ISREG(st.st_mode))
        throw FileError(QStringLiteral("open"), path, EINVAL);

    Sha256 sha;
    sha.feedLittleEndian(static_cast<quint64>(st.st_size));
    sha.feedFile(fd.get(), static_cast<quint64>(prefixLength), path);
    return sha.hex();
}

} // namespace tarvo::ContentHash
