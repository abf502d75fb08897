#pragma once

#include "AppcastItem.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <array>
#include <optional>

namespace tarvo {

// An Ed25519 public key (RFC 8032): the 32 bytes of the point, nothing more.
class Ed25519PublicKey final {
public:
    static constexpr qsizetype byteCount = 32;
    static constexpr qsizetype signatureByteCount = 64;

    // Exactly 32 bytes; anything else is no key.
    static std::optional<Ed25519PublicKey> fromRawBytes(QByteArrayView bytes);
    // 44 characters of standard Base64 for 32 bytes; anything else is no key.
    static std::optional<Ed25519PublicKey> fromBase64(QStringView text);

    QByteArray rawBytes() const;
    // True only when OpenSSL answers success for a 64-byte signature over the
    // whole message; every other answer, errors included, is false.
    bool isValidSignature(QByteArrayView signature, QByteArrayView message) const;

    bool operator==(const Ed25519PublicKey&) const = default;

private:
    Ed25519PublicKey() = default;
    std::array<unsigned char, byteCount> m_bytes{};
};

// Decides whether a downloaded archive matches its feed item.
namespace AppcastSignature {

// The key that signs release archives, fixed when the program is built
// (CMake's TARVO_UPDATE_PUBLIC_KEY). Empty when the build was given none.
QString publicKeyBase64();
// That key, or none when the text is empty or not a key: then nothing verifies.
std::optional<Ed25519PublicKey> publicKey();

// Standard Base64 read strictly: the alphabet A-Z a-z 0-9 + /, padded to a
// multiple of four with "=" only at the end. White space or a line break
// anywhere makes the text undecodable.
std::optional<QByteArray> decodeBase64(QStringView text);

// True only when the archive may be staged: the item's signature decodes to
// exactly 64 bytes, the archive is exactly `item.length` bytes when that is 1
// or more, and the key accepts the signature over the whole archive. No key
// given means the built-in one.
bool verify(QByteArrayView archive, const AppcastItem& item,
            const std::optional<Ed25519PublicKey>& publicKey = std::nullopt);

} // namespace AppcastSignature

} // namespace tarvo
