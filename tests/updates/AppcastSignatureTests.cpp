#include "Ed25519TestKey.h"
#include "TarvoUpdates/AppcastSignature.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

using namespace tarvo;
using tarvo::test::Ed25519TestKey;

namespace {

QByteArray archiveBytes() {
    QByteArray bytes;
    for (int i = 0; i < 5000; ++i)
        bytes.append(char(i * 31 % 251));
    return bytes;
}

QString flipBit(const QByteArray& bytes, qsizetype index) {
    QByteArray copy = bytes;
    copy[index] = char(copy[index] ^ 0x01);
    return QString::fromLatin1(copy.toBase64());
}

// The text in the URL-safe alphabet; a text with neither "+" nor "/" gets a
// "-" in front, so it differs from the standard text whatever the signature.
QString urlSafe(QString text) {
    const qsizetype at = text.indexOf(QRegularExpression(QStringLiteral("[+/]")));
    if (at < 0)
        return text.replace(0, 1, u'-');
    return text.replace(u'+', u'-').replace(u'/', u'_');
}

} // namespace

TEST(AppcastSignature, VerifiesWithAThrowawayKey) {
    const Ed25519TestKey signer;
    const auto key = Ed25519PublicKey::fromBase64(signer.publicKeyBase64());
    ASSERT_TRUE(key);
    const Ed25519TestKey stranger;
    const QByteArray archive = archiveBytes();
    const QByteArray signature = signer.sign(archive);
    const QString valid = QString::fromLatin1(signature.toBase64());
    QByteArray longer = archive;
    longer.append('x');
    QByteArray flipped = archive;
    flipped[100] = char(flipped[100] ^ 0x10);

    struct Case {
        const char* name;
        QByteArray archive;
        QString signature;
        qint64 length;
        std::optional<Ed25519PublicKey> key;
        bool expected;
    };
    const std::vector<Case> cases = {
        {"valid, length stated", archive, valid, archive.size(), key, true},
        {"valid, length 0: only the signature decides", archive, valid, 0, key, true},
        {"valid, negative length is not compared", archive, valid, -1, key, true},
        {"one bit flipped in the archive", flipped, valid, archive.size(), key, false},
        {"one bit flipped in the signature", archive, flipBit(signature, 10), archive.size(), key,
         false},
        {"archive one byte longer than stated, signed as it is", longer, signer.signBase64(longer),
         archive.size(), key, false},
        {"archive one byte longer, no length stated", longer, valid, 0, key, false},
        {"63-byte signature", archive, QString::fromLatin1(signature.left(63).toBase64()),
         archive.size(), key, false},
        {"65-byte signature", archive, QString::fromLatin1((signature + 'x').toBase64()),
         archive.size(), key, false},
        {"line break inside the Base64", archive, valid.left(40) + u'\n' + valid.mid(40),
         archive.size(), key, false},
        {"space at the end of the Base64", archive, valid + u' ', archive.size(), key, false},
        {"Base64 without its padding", archive, valid.chopped(2), archive.size(), key, false},
        {"URL-safe Base64 alphabet", archive, urlSafe(valid), archive.size(), key, false},
        {"empty signature", archive, QString(), archive.size(), key, false},
        {"signature of another key", archive, stranger.signBase64(archive), archive.size(), key,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AppcastItem item;
        item.edSignature = c.signature;
        item.length = c.length;
        EXPECT_EQ(AppcastSignature::verify(c.archive, item, c.key), c.expected);
    }
}

TEST(AppcastSignature, AnEmptyArchiveCanBeSigned) {
    const Ed25519TestKey signer;
    AppcastItem item;
    item.edSignature = signer.signBase64(QByteArray());
    EXPECT_TRUE(AppcastSignature::verify(QByteArray(), item,
                                         Ed25519PublicKey::fromBase64(signer.publicKeyBase64())));
}

TEST(AppcastSignature, AgreesWithThePublishedTestVector) {
    // The first test of RFC 8032, section 7.1: an empty message.
    const auto key = Ed25519PublicKey::fromRawBytes(
        QByteArray::fromHex("d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a"));
    ASSERT_TRUE(key);
    const QByteArray signature =
        QByteArray::fromHex("e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e065224901555fb882"
                            "1590a33bacc61e39701cf"
                            "9b46bd25bf5f0595bbe24655141438e7a100b");
    EXPECT_TRUE(key->isValidSignature(signature, QByteArray()));
    EXPECT_FALSE(key->isValidSignature(signature, QByteArray("x")));
}

TEST(AppcastSignature, KeysDecodeOnlyFromTheirExactForm) {
    const Ed25519TestKey signer;
    const QString text = signer.publicKeyBase64();
    ASSERT_EQ(text.size(), 44);
    const auto key = Ed25519PublicKey::fromBase64(text);
    ASSERT_TRUE(key);
    EXPECT_EQ(key->rawBytes(), signer.publicKeyBytes());

    EXPECT_FALSE(Ed25519PublicKey::fromBase64(u""));
    EXPECT_FALSE(Ed25519PublicKey::fromBase64(text.left(43)));
    EXPECT_FALSE(Ed25519PublicKey::fromBase64(text + QStringLiteral("AAAA")));
    EXPECT_FALSE(Ed25519PublicKey::fromBase64(QStringLiteral(" ") + text.mid(1)));
    EXPECT_FALSE(Ed25519PublicKey::fromRawBytes(signer.publicKeyBytes().left(31)));
    EXPECT_FALSE(Ed25519PublicKey::fromRawBytes(signer.publicKeyBytes() + '\0'));
}

TEST(AppcastSignature, StrictBase64) {
    const std::vector<std::pair<const char16_t*, std::optional<QByteArray>>> cases = {
        {u"", QByteArray()},          {u"QQ==", QByteArray("A")}, {u"QUI=", QByteArray("AB")},
        {u"QUJD", QByteArray("ABC")}, {u"QQ", std::nullopt},      {u"QQ=", std::nullopt},
        {u"Q===", std::nullopt},      {u"====", std::nullopt},    {u"QQ==QUJD", std::nullopt},
        {u"Q=Q=", std::nullopt},      {u"QU\nJD", std::nullopt},  {u"QU-_", std::nullopt},
        {u"QUJ\u00e9", std::nullopt},
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(QString::fromUtf16(text).toStdString());
        EXPECT_EQ(AppcastSignature::decodeBase64(QStringView(text)), expected);
    }
}

TEST(AppcastSignature, WithoutABuiltInKeyNothingVerifies) {
    if (!AppcastSignature::publicKeyBase64().isEmpty())
        GTEST_SKIP() << "this build carries a release key";
    EXPECT_FALSE(AppcastSignature::publicKey());
    const Ed25519TestKey signer;
    AppcastItem item;
    item.edSignature = signer.signBase64("archive");
    EXPECT_FALSE(AppcastSignature::verify("archive", item));
}
