#include "Ed25519TestKey.h"

#include "TarvoCore/LibCrypto.h"

#include <openssl/evp.h>

#include <stdexcept>

namespace tarvo::test {

struct Ed25519TestKey::Key {
    EVP_PKEY* pkey = nullptr;
    ~Key() { EVP_PKEY_free(pkey); }
};

Ed25519TestKey::Ed25519TestKey() : m_key(std::make_unique<Key>()) {
    // OpenSSL is started the program's way before this first use of it.
    LibCrypto::get();
    m_key->pkey = EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519");
    if (!m_key->pkey)
        throw std::runtime_error("could not make an Ed25519 key");
}

Ed25519TestKey::~Ed25519TestKey() = default;

QByteArray Ed25519TestKey::publicKeyBytes() const {
    QByteArray bytes(32, '\0');
    size_t length = 32;
    if (EVP_PKEY_get_raw_public_key(m_key->pkey, reinterpret_cast<unsigned char*>(bytes.data()),
                                    &length) != 1 ||
        length != 32)
        throw std::runtime_error("could not read the Ed25519 public key");
    return bytes;
}

QString Ed25519TestKey::publicKeyBase64() const {
    return QString::fromLatin1(publicKeyBytes().toBase64());
}

QByteArray Ed25519TestKey::sign(QByteArrayView message) const {
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    QByteArray signature(64, '\0');
    size_t length = 64;
    const bool ok = context &&
                    EVP_DigestSignInit(context, nullptr, nullptr, nullptr, m_key->pkey) == 1 &&
                    EVP_DigestSign(context, reinterpret_cast<unsigned char*>(signature.data()),
                                   &length, reinterpret_cast<const unsigned char*>(message.data()),
                                   static_cast<size_t>(message.size())) == 1 &&
                    length == 64;
    EVP_MD_CTX_free(context);
    if (!ok)
        throw std::runtime_error("could not sign with the Ed25519 key");
    return signature;
}

QString Ed25519TestKey::signBase64(QByteArrayView message) const {
    return QString::fromLatin1(sign(message).toBase64());
}

} // namespace tarvo::test
