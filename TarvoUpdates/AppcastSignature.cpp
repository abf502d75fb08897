#include "AppcastSignature.h"

#include "TarvoCore/LibCrypto.h"

#include <memory>

#ifndef TARVO_UPDATE_PUBLIC_KEY
#define TARVO_UPDATE_PUBLIC_KEY ""
#endif

namespace tarvo {

namespace {

bool isBase64Letter(char16_t c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') ||
           c == u'+' || c == u'/';
}

} // namespace

std::optional<Ed25519PublicKey> Ed25519PublicKey::fromRawBytes(QByteArrayView bytes) {
    if (bytes.size() != byteCount)
        return std::nullopt;
    Ed25519PublicKey key;
    std::copy(bytes.begin(), bytes.end(), key.m_bytes.begin());
    return key;
}

std::optional<Ed25519PublicKey> Ed25519PublicKey::fromBase64(QStringView text) {
    const auto bytes = AppcastSignature::decodeBase64(text);
    if (!bytes)
        return std::nullopt;
    return fromRawBytes(*bytes);
}

QByteArray Ed25519PublicKey::rawBytes() const {
    return QByteArray(reinterpret_cast<const char*>(m_bytes.data()), byteCount);
}

bool Ed25519PublicKey::isValidSignature(QByteArrayView signature, QByteArrayView message) const {
    if (signature.size() != signatureByteCount)
        return false;
    // Without the library nothing can be verified, so nothing is trusted.
    const LibCrypto* crypto = LibCrypto::get();
    if (!crypto)
        return false;
    const std::unique_ptr<EVP_PKEY, decltype(crypto->keyFree)> key(
        crypto->keyFromRawPublic(EVP_PKEY_ED25519, nullptr, m_bytes.data(), m_bytes.size()),
        crypto->keyFree);
    if (!key)
        return false;
    const std::unique_ptr<EVP_MD_CTX, decltype(crypto->mdContextFree)> context(
        crypto->mdContextNew(), crypto->mdContextFree);
    if (!context ||
        crypto->digestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1)
        return false;
    return crypto->digestVerify(context.get(),
                                reinterpret_cast<const unsigned char*>(signature.data()),
                                static_cast<size_t>(signature.size()),
                                reinterpret_cast<const unsigned char*>(message.data()),
                                static_cast<size_t>(message.size())) == 1;
}

namespace AppcastSignature {

QString publicKeyBase64() {
    return QStringLiteral(TARVO_UPDATE_PUBLIC_KEY);
}

std::optional<Ed25519PublicKey> publicKey() {
    return Ed25519PublicKey::fromBase64(publicKeyBase64());
}

std::optional<QByteArray> decodeBase64(QStringView text) {
    if (text.size() % 4 != 0)
        return std::nullopt;
    qsizetype padding = 0;
    while (padding < 2 && padding < text.size() && text[text.size() - 1 - padding] == u'=')
        ++padding;
    for (qsizetype i = 0; i < text.size() - padding; ++i) {
        if (!isBase64Letter(text[i].unicode()))
            return std::nullopt;
    }
    auto decoded = QByteArray::fromBase64Encoding(
        text.toLatin1(), QByteArray::Base64Encoding | QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return std::nullopt;
    return std::move(decoded.decoded);
}

bool verify(QByteArrayView archive, const AppcastItem& item,
            const std::optional<Ed25519PublicKey>& publicKey) {
    const auto signature = decodeBase64(item.edSignature);
    if (!signature || signature->size() != Ed25519PublicKey::signatureByteCount)
        return false;
    if (item.length >= 1 && archive.size() != item.length)
        return false;
    const std::optional<Ed25519PublicKey> key =
        publicKey ? publicKey : AppcastSignature::publicKey();
    return key && key->isValidSignature(*signature, archive);
}

} // namespace AppcastSignature

} // namespace tarvo
