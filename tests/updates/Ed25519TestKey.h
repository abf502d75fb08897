#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <memory>

namespace tarvo::test {

// A throwaway Ed25519 key pair made for one test, so signatures can be made
// and checked without any key of a real release.
class Ed25519TestKey final {
public:
    Ed25519TestKey();
    ~Ed25519TestKey();
    Ed25519TestKey(const Ed25519TestKey&) = delete;
    Ed25519TestKey& operator=(const Ed25519TestKey&) = delete;

    QByteArray publicKeyBytes() const;
    QString publicKeyBase64() const;
    // The 64-byte signature over `message`, and the same in standard Base64.
    QByteArray sign(QByteArrayView message) const;
    QString signBase64(QByteArrayView message) const;

private:
    struct Key;
    std::unique_ptr<Key> m_key;
};

} // namespace tarvo::test
