#include "AppcastParser.h"

#include "AppcastError.h"

#include <QXmlStreamReader>

#include <limits>

namespace tarvo::AppcastParser {

namespace {

// What one parse has read so far. Text is emptied at every start and end tag,
// so an element's text is the character data after its last child.
struct State {
    std::vector<AppcastItem> items;
    bool inItem = false;
    QString currentElement;
    QString text;
    QString title;
    std::optional<qint64> build;
    QString shortVersion;
    std::optional<QUrl> url;
    QString signature;
    qint64 length = 0;
    std::optional<QString> notes;
    std::optional<QString> minimumSystem;

    void resetItem() {
        title.clear();
        build.reset();
        shortVersion.clear();
        url.reset();
        signature.clear();
        length = 0;
        notes.reset();
        minimumSystem.reset();
    }

    void start(const QString& name, const QXmlStreamAttributes& attributes) {
        currentElement = name;
        text.clear();
        if (name == u"item") {
            inItem = true;
            resetItem();
        }
        if (inItem && name == u"enclosure")
            readEnclosure(attributes);
    }

    void readEnclosure(const QXmlStreamAttributes& attributes) {
        url.reset();
        if (attributes.hasAttribute(QStringLiteral("url"))) {
            const QString text = attributes.value(QStringLiteral("url")).toString();
            const QUrl parsed(text, QUrl::StrictMode);
            if (!text.isEmpty() && parsed.isValid())
                url = parsed;
        }
        signature = attributes.value(QStringLiteral("sparkle:edSignature")).toString();
        length = decimalInteger(attributes.value(QStringLiteral("length"))).value_or(0);
        if (!build && attributes.hasAttribute(QStringLiteral("sparkle:version")))
            build = decimalInteger(attributes.value(QStringLiteral("sparkle:version")));
        if (shortVersion.isEmpty())
            shortVersion =
                attributes.value(QStringLiteral("sparkle:shortVersionString")).toString();
    }

    void end(const QString& name) {
        const QString trimmed = text.trimmed();
        if (name == u"title") {
            if (inItem)
                title = trimmed;
        } else if (name == u"sparkle:version") {
            if (const auto number = decimalInteger(trimmed))
                build = number;
        } else if (name == u"sparkle:shortVersionString") {
            shortVersion = trimmed;
        } else if (name == u"description") {
            if (inItem)
                notes = trimmed.isEmpty() ? std::nullopt : std::optional<QString>(trimmed);
        } else if (name == u"sparkle:minimumSystemVersion") {
            minimumSystem = trimmed;
        } else if (name == u"item") {
            inItem = false;
            if (url && build) {
                items.push_back(AppcastItem{
                    title, *build, shortVersion.isEmpty() ? QString::number(*build) : shortVersion,
                    *url, signature, length, notes, minimumSystem});
            }
        }
        text.clear();
    }
};

} // namespace

std::optional<qint64> decimalInteger(QStringView text) {
    qsizetype i = 0;
    bool negative = false;
    if (!text.isEmpty() && (text[0] == u'+' || text[0] == u'-')) {
        negative = text[0] == u'-';
        i = 1;
    }
    if (i == text.size())
        return std::nullopt;
    // Accumulate the magnitude; the negative range is one larger than the positive.
    const quint64 limit = negative ? quint64(std::numeric_limits<qint64>::max()) + 1
                                   : quint64(std::numeric_limits<qint64>::max());
    quint64 magnitude = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        const quint64 digit = c - u'0';
        if (magnitude > (limit - digit) / 10)
            return std::nullopt;
        magnitude = magnitude * 10 + digit;
    }
    if (negative)
        return magnitude == 0 ? 0 : -qint64(magnitude - 1) - 1;
    return qint64(magnitude);
}

std::vector<AppcastItem> parse(const QByteArray& data) {
    State state;
    QXmlStreamReader reader(data);
    // Names arrive exactly as written, so "sparkle:version" keeps its prefix
    // whatever namespace the document binds to it.
    reader.setNamespaceProcessing(false);
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement:
            state.start(reader.qualifiedName().toString(), reader.attributes());
            break;
        case QXmlStreamReader::EndElement:
            state.end(reader.qualifiedName().toString());
            break;
        case QXmlStreamReader::Characters:
            state.text += reader.text();
            break;
        default:
            break;
        }
    }
    if (reader.hasError()) {
        throw AppcastError::malformedFeed(QStringLiteral("line %1, column %2: %3")
                                              .arg(reader.lineNumber())
                                              .arg(reader.columnNumber())
                                              .arg(reader.errorString()));
    }
    if (state.items.empty())
        throw AppcastError::noItems();
    return std::move(state.items);
}

} // namespace tarvo::AppcastParser
