#include "ContentHash.h"

#include "FileError.h"

#include <QFile>
#include <QFileInfo>

#include <openssl/evp.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvo::ContentHash {

namespace {

class Sha256 final {
public:
    Sha256() : m_ctx(EVP_MD_CTX_new(), &EVP_MD_CTX_free) {
        EVP_DigestInit_ex(m_ctx.get(), EVP_sha256(), nullptr);
    }
    void feed(const void* data, size_t size) { EVP_DigestUpdate(m_ctx.get(), data, size); }
    void feedLittleEndian(quint64 value) {
        unsigned char bytes[8];
        for (int i = 0; i < 8; ++i)
            bytes[i] = static_cast<unsigned char>(value >> (8 * i));
        feed(bytes, sizeof bytes);
    }
    QString hex() {
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        EVP_DigestFinal_ex(m_ctx.get(), digest, &length);
        return QString::fromLatin1(
            QByteArray(reinterpret_cast<const char*>(digest), static_cast<qsizetype>(length))
                .toHex());
    }

private:
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> m_ctx;
};

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
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (::stat(native.constData(), &st) == 0 && S_ISDIR(st.st_mode))
        return ofFolder(path, st);

    // O_NONBLOCK so that opening a FIFO with no writer returns at once; the
    // descriptor is then refused unless it is a regular file.
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        throw FileError(QStringLiteral("open"), path, errno);
    const auto closeFd =
        std::unique_ptr<const int, void (*)(const int*)>(&fd, [](const int* f) { ::close(*f); });

    if (::fstat(fd, &st) != 0)
        throw FileError(QStringLiteral("read"), path, errno);
    if (S_ISDIR(st.st_mode))
        return ofFolder(path, st); // replaced by a folder since the first look
    if (!S_ISREG(st.st_mode))
        throw FileError(QStringLiteral("open"), path, EINVAL);

    // The prefix goes through in pieces that stay in the processor's cache; a
    // buffer of the whole prefix, new for every file, cost more than hashing.
    constexpr size_t pieceSize = 64 * 1024;
    thread_local std::unique_ptr<char[]> piece;
    if (!piece)
        piece = std::make_unique_for_overwrite<char[]>(pieceSize);

    Sha256 sha;
    sha.feedLittleEndian(static_cast<quint64>(st.st_size));
    size_t left = static_cast<size_t>(prefixLength);
    while (left > 0) {
        const ssize_t n = ::read(fd, piece.get(), std::min(left, pieceSize));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw FileError(QStringLiteral("read"), path, errno);
        }
        if (n == 0)
            break;
        sha.feed(piece.get(), static_cast<size_t>(n));
        left -= static_cast<size_t>(n);
    }
    return sha.hex();
}

} // namespace tarvo::ContentHash
