#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <cstddef>
#include <memory>

struct evp_md_ctx_st;

namespace tarvo {

struct LibCrypto;

// SHA-256 through OpenSSL, which uses the processor's SHA instructions where
// it has them (several times the speed of a portable implementation). The
// first hash loads the library; when it cannot be loaded the constructor
// throws FileError ("load", "libcrypto.so.3").
class Sha256 final {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void feed(const void* data, std::size_t size);
    void feed(QByteArrayView bytes) { feed(bytes.data(), static_cast<std::size_t>(bytes.size())); }
    // Eight bytes, least significant first.
    void feedLittleEndian(quint64 value);
    // Feeds what `fd` reads from its position, up to `limit` bytes or the end
    // of the file, and returns how many it fed. The bytes pass through a
    // buffer kept per thread, small enough to stay in the processor's cache.
    // Throws FileError ("read", `path`) when a read fails.
    quint64 feedFile(int fd, quint64 limit, const QString& path);

    // The digest as 64 lower-case hex digits; the hash is used up.
    QString hex();

private:
    const LibCrypto& m_crypto;
    std::unique_ptr<evp_md_ctx_st, void (*)(evp_md_ctx_st*)> m_ctx;
};

} // namespace tarvo
