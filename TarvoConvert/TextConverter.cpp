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

QString ansiEscape(char32_t c) {
    switch (c) {
    case U'\n':
        return QStringLiteral("\\n");
    case U'\t':
        return QStringLiteral("\\t");
    case U'\r':
        return QStringLiteral("\\r");
    case 0x1B:
        return QStringLiteral("\\e");
    default:
        break;
    }
    if (c < 0x80)
        return QStringLiteral("\\x%1").arg(static_cast<uint>(c), 2, 16, QLatin1Char('0'));
    return QStringLiteral("\\u%1").arg(static_cast<uint>(c), 4, 16, QLatin1Char('0'));
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
            escapes += ansiEscape(c);
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
