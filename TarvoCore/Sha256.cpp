#include "Sha256.h"

#include "FileError.h"
#include "LibCrypto.h"

#include <algorithm>
#include <cerrno>
#include <unistd.h>

namespace tarvo {

namespace {

const LibCrypto& crypto() {
    const LibCrypto* loaded = LibCrypto::get();
    if (!loaded)
        throw FileError(QStringLiteral("load"), QLatin1String(LibCrypto::fileName), ELIBACC);
    return *loaded;
}

// Fetched once: a fetch by name for every hash takes a lock and a lookup.
const EVP_MD* sha256(const LibCrypto& crypto) {
    static EVP_MD* const md = crypto.mdFetch(nullptr, "SHA256", nullptr);
    return md ? md : crypto.sha256();
}

// Fewer reads than with smaller pieces, and still within the processor's
// cache while the hash goes over it.
constexpr std::size_t pieceSize = 256 * 1024;

} // namespace

Sha256::Sha256() : m_crypto(crypto()), m_ctx(m_crypto.mdContextNew(), m_crypto.mdContextFree) {
    m_crypto.digestInit(m_ctx.get(), sha256(m_crypto), nullptr);
}

Sha256::~Sha256() = default;

void Sha256::feed(const void* data, std::size_t size) {
    m_crypto.digestUpdate(m_ctx.get(), data, size);
}

void Sha256::feedLittleEndian(quint64 value) {
    unsigned char bytes[8];
    for (int i = 0; i < 8; ++i)
        bytes[i] = static_cast<unsigned char>(value >> (8 * i));
    feed(bytes, sizeof bytes);
}

quint64 Sha256::feedFile(int fd, quint64 limit, const QString& path) {
    thread_local std::unique_ptr<char[]> piece;
    if (!piece)
        piece = std::make_unique_for_overwrite<char[]>(pieceSize);
    quint64 fed = 0;
    while (fed < limit) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<quint64>(limit - fed, pieceSize));
        const ssize_t n = ::read(fd, piece.get(), want);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw FileError(QStringLiteral("read"), path, errno);
        }
        if (n == 0)
            break;
        feed(piece.get(), static_cast<std::size_t>(n));
        fed += static_cast<quint64>(n);
    }
    return fed;
}

QString Sha256::hex() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    m_crypto.digestFinal(m_ctx.get(), digest, &length);
    static constexpr char digits[] = "0123456789abcdef";
    QString text(static_cast<qsizetype>(2 * length), Qt::Uninitialized);
    QChar* out = text.data();
    for (unsigned int i = 0; i < length; ++i) {
        *out++ = QLatin1Char(digits[digest[i] >> 4]);
        *out++ = QLatin1Char(digits[digest[i] & 15]);
    }
    return text;
}

} // namespace tarvo
