#include "TextConverter.h"

#include "ConversionError.h"
#include "HTMLReader.h"
#include "HTMLText.h"
#include "RTFReader.h"

#include <QXmlStreamReader>

#include <algorithm>

namespace tarvo::TextConverter {

namespace {

bool isSafe(char32_t c) {
    if (c > 0x7F)
        return false;
    const auto* end = kSafeCharacters + std::size(kSafeCharacters) - 1;
    return std::find(kSafeCharacters, end, static_cast<char16_t>(c)) != end;
}

bool isControl(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

QString singleQuoted(const QString& run) {
    QString escaped = run;
    escaped.replace(u'\'', QStringLiteral("'\\''"));
    return u'\'' + escaped + u'\'';
}

// Every byte of the character's UTF-8 form as \xHH: bash, zsh and ksh read
// these as the same bytes in every locale, where \u escapes depend on it.
QString byteEscapes(char32_t c) {
    QString out;
    for (const char byte : QString::fromStdU32String(std::u32string(1, c)).toUtf8())
        out += QStringLiteral("\\x%1").arg(static_cast<uint>(static_cast<unsigned char>(byte)), 2,
                                           16, QLatin1Char('0'));
    return out;
}

QString xmlEscaped(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (c == u'&')
            out += QStringLiteral("&amp;");
        else if (c == u'<')
            out += QStringLiteral("&lt;");
        else if (c == u'>')
            out += QStringLiteral("&gt;");
        else
            out += c;
    }
    return out;
}

bool isXmlCharacter(char32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
           (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

// A value of a desktop entry: the escapes the format knows for line ends,
// tabs, backslashes and a leading space; other control characters dropped.
QString desktopValue(const QString& text) {
    QString out;
    for (const char32_t c : text.toStdU32String()) {
        if (c == U'\\')
            out += QStringLiteral("\\\\");
        else if (c == U'\n')
            out += QStringLiteral("\\n");
        else if (c == U'\t')
            out += QStringLiteral("\\t");
        else if (c == U'\r')
            out += QStringLiteral("\\r");
        else if (c == U' ' && out.isEmpty())
            out += QStringLiteral("\\s");
        else if (!isControl(c))
            out += QString::fromStdU32String(std::u32string(1, c));
    }
    return out;
}

// The string under "URL" in the top-level dictionary of an XML property list.
std::optional<QString> urlEntry(const QByteArray& data) {
    QXmlStreamReader xml(data);
    if (!xml.readNextStartElement() || xml.name() != u"plist")
        return std::nullopt;
    if (!xml.readNextStartElement() || xml.name() != u"dict")
        return std::nullopt;
    std::optional<QString> found;
    while (xml.readNextStartElement()) {
        if (xml.name() != u"key")
            return std::nullopt;
        const QString key = xml.readElementText();
        if (!xml.readNextStartElement())
            return std::nullopt;
        if (key == u"URL") {
            if (xml.name() != u"string")
                return std::nullopt;
            found = xml.readElementText();
        } else {
            xml.skipCurrentElement();
        }
    }
    if (xml.hasError())
        return std::nullopt;
    return found;
}

} // namespace

QString quotedPath(const QString& text) {
    const std::u32string scalars = text.toStdU32String();
    if (!scalars.empty() && std::all_of(scalars.begin(), scalars.end(), isSafe))
        return text;
    if (std::none_of(scalars.begin(), scalars.end(), isControl))
        return singleQuoted(text);

    QString out;
    std::u32string run;
    QString escapes;
    const auto flushRun = [&] {
        if (!run.empty())
            out += singleQuoted(QString::fromStdU32String(run));
        run.clear();
    };
    const auto flushEscapes = [&] {
        if (!escapes.isEmpty())
            out += QStringLiteral("$'") + escapes + u'\'';
        escapes.clear();
    };
    for (char32_t c : scalars) {
        if (isControl(c)) {
            flushRun();
            escapes += byteEscapes(c);
        } else {
            flushEscapes();
            run.push_back(c);
        }
    }
    flushRun();
    flushEscapes();
    return out;
}

QString quotedPaths(const QStringList& paths) {
    QStringList quoted;
    quoted.reserve(paths.size());
    for (const QString& path : paths)
        quoted.append(quotedPath(path));
    return quoted.join(u' ');
}

QString plainTextFromRTF(const QByteArray& data) {
    if (auto text = RTFReader::plainText(data))
        return *text;
    throw ConversionError::cannotDecode(QStringLiteral("rich text"));
}

QString plainTextFromRTFD(const QByteArray&) {
    throw ConversionError::cannotDecode(QStringLiteral("rich text"));
}

QString plainTextFromHTML(const QByteArray& data) {
    return HTMLText::Reader(HTMLText::decode(data)).read();
}

QByteArray webloc(const QUrl& url) {
    const QString link = url.toString(QUrl::FullyEncoded);
    const std::u32string scalars = link.toStdU32String();
    if (!std::all_of(scalars.begin(), scalars.end(), isXmlCharacter))
        throw ConversionError::cannotWrite(QStringLiteral("webloc"));
    QByteArray out;
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
           "<plist version=\"1.0\">\n"
           "<dict>\n"
           "\t<key>URL</key>\n"
           "\t<string>";
    out += xmlEscaped(link).toUtf8();
    out += "</string>\n"
           "</dict>\n"
           "</plist>\n";
    return out;
}

QByteArray desktopLink(const QUrl& url, const QString& name) {
    const QString link = url.toString(QUrl::FullyEncoded);
    if (!url.isValid() || link.isEmpty() ||
        std::any_of(link.begin(), link.end(), [](QChar c) { return isControl(c.unicode()); }))
        throw ConversionError::cannotWrite(QStringLiteral("webloc"));
    QByteArray out = "[Desktop Entry]\nType=Link\nName=";
    out += desktopValue(name.isEmpty() ? link : name).toUtf8();
    out += "\nURL=";
    out += desktopValue(link).toUtf8();
    out += "\nIcon=text-html\n";
    return out;
}

std::optional<QUrl> titleFromWebloc(const QByteArray& data) {
    const auto entry = urlEntry(data);
    if (!entry || entry->isEmpty())
        return std::nullopt;
    const QUrl url(*entry, QUrl::StrictMode);
    if (!url.isValid())
        return std::nullopt;
    return url;
}

} // namespace tarvo::TextConverter
