#include "HTMLText.h"

#include "Iconv.h"

#include <optional>
#include <string>

namespace tarvo::HTMLText {

namespace {

// An encoding is only taken from a declaration when it reads this ASCII text
// unchanged: a page that declares a charset in ASCII must be ASCII-compatible.
constexpr char kMetaTagBytes[] =
    "<meta http-equiv=\"Content-Type\" content='text/html; charset=x-1_2.3:'>";
static_assert(sizeof kMetaTagBytes - 1 == 70);

constexpr qsizetype kSniffLength = 1024;

bool isSpace(char32_t c) {
    return c == U' ' || c == U'\t' || c == U'\n' || c == U'\f' || c == U'\r';
}

bool isNameCharacter(char32_t c) {
    return (c >= U'a' && c <= U'z') || (c >= U'0' && c <= U'9') || c == U'-' || c == U'.' ||
           c == U':' || c == U'_';
}

// The six UTF-16 and UTF-32 forms, under the names the C library knows them by.
bool isWideEncoding(const QByteArray& name) {
    for (const char* prefix :
         {"utf-16", "utf16", "utf-32", "utf32", "ucs-2", "ucs2", "ucs-4", "ucs4", "unicode"}) {
        if (name.startsWith(prefix))
            return true;
    }
    return false;
}

std::optional<QByteArray> declaredEncoding(const QByteArray& bytes) {
    const QString head = QString::fromUtf8(bytes.left(kSniffLength)).toLower();
    const std::u32string t = head.toStdU32String();

    std::size_t from = 0;
    for (;;) {
        const std::size_t m = t.find(U"<meta", from);
        if (m == std::u32string::npos)
            return std::nullopt;
        const std::size_t gt = t.find(U'>', m);
        const std::size_t end = gt == std::u32string::npos ? t.size() : gt;
        from = end;

        const std::size_t c = t.find(U"charset", m);
        if (c == std::u32string::npos || c >= end || c + 7 >= end)
            continue;
        std::size_t p = c + 7;
        while (p < end && isSpace(t[p]))
            ++p;
        if (p >= end || t[p] != U'=')
            continue;
        ++p;
        while (p < end && (isSpace(t[p]) || t[p] == U'"' || t[p] == U'\''))
            ++p;
        QByteArray name;
        while (p < end && isNameCharacter(t[p]))
            name.append(static_cast<char>(t[p++]));

        if (name.isEmpty() || name.startsWith("utf-16") || name.startsWith("utf-32"))
            continue;
        if (!Iconv::knows(name) || isWideEncoding(name))
            continue;
        const QByteArray probe(kMetaTagBytes);
        if (Iconv::toUtf8(probe, name) != probe)
            continue;
        return name;
    }
}

std::optional<QString> strictUtf16WithMark(const QByteArray& bytes) {
    if (bytes.size() % 2 != 0)
        return std::nullopt;
    const bool little = static_cast<unsigned char>(bytes[0]) == 0xFF;
    QString out;
    out.reserve(bytes.size() / 2 - 1);
    for (qsizetype i = 2; i < bytes.size(); i += 2) {
        const auto a = static_cast<unsigned char>(bytes[i]);
        const auto b = static_cast<unsigned char>(bytes[i + 1]);
        out.append(QChar(static_cast<char16_t>(little ? (b << 8 | a) : (a << 8 | b))));
    }
    // Unpaired surrogates mean the data is not UTF-16 after all.
    for (qsizetype i = 0; i < out.size(); ++i) {
        const QChar c = out[i];
        if (c.isHighSurrogate()) {
            if (i + 1 >= out.size() || !out[i + 1].isLowSurrogate())
                return std::nullopt;
            ++i;
        } else if (c.isLowSurrogate()) {
            return std::nullopt;
        }
    }
    return out;
}

std::optional<QString> strict(const QByteArray& bytes, const QByteArray& charset) {
    if (auto utf8 = Iconv::toUtf8(bytes, charset))
        return QString::fromUtf8(*utf8);
    return std::nullopt;
}

} // namespace

QString decode(const QByteArray& b) {
    const auto byteAt = [&b](qsizetype i) { return static_cast<unsigned char>(b[i]); };
    if (b.size() >= 3 && byteAt(0) == 0xEF && byteAt(1) == 0xBB && byteAt(2) == 0xBF)
        return QString::fromUtf8(b.mid(3));
    if (b.size() >= 2 &&
        ((byteAt(0) == 0xFF && byteAt(1) == 0xFE) || (byteAt(0) == 0xFE && byteAt(1) == 0xFF))) {
        if (auto text = strictUtf16WithMark(b))
            return *text;
    }
    const auto declared = declaredEncoding(b);
    if (declared) {
        if (auto text = strict(b, *declared))
            return *text;
    }
    if (auto text = strict(b, "UTF-8"))
        return *text;
    if (!declared) {
        if (auto text = strict(b, "WINDOWS-1252"))
            return *text;
    }
    return QString::fromUtf8(b);
}

} // namespace tarvo::HTMLText
