#include "Json.h"

#include <QJsonDocument>
#include <QJsonParseError>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <vector>

namespace tarvo::json {

namespace {

void writeString(QByteArray& out, const QString& text) {
    static const char hex[] = "0123456789abcdef";
    out.append('"');
    const QByteArray utf8 = text.toUtf8();
    for (const char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
        case '"':
            out.append("\\\"");
            break;
        case '\\':
            out.append("\\\\");
            break;
        case '/':
            out.append("\\/");
            break;
        case '\b':
            out.append("\\b");
            break;
        case '\f':
            out.append("\\f");
            break;
        case '\n':
            out.append("\\n");
            break;
        case '\r':
            out.append("\\r");
            break;
        case '\t':
            out.append("\\t");
            break;
        default:
            if (u < 0x20) {
                out.append("\\u00");
                out.append(hex[u >> 4]);
                out.append(hex[u & 0xf]);
            } else {
                out.append(c);
            }
        }
    }
    out.append('"');
}

void writeNumber(QByteArray& out, double value) {
    if (!std::isfinite(value)) {
        out.append("null");
        return;
    }
    // Shortest text that reads back as the same double, in plain decimals for
    // the magnitudes dates and sizes have, with an exponent beyond them.
    const double magnitude = std::fabs(value);
    const auto format = (magnitude == 0 || (magnitude >= 1e-4 && magnitude < 1e16))
                            ? std::chars_format::fixed
                            : std::chars_format::scientific;
    char buffer[400];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, format);
    out.append(buffer, static_cast<qsizetype>(result.ptr - buffer));
}

void newline(QByteArray& out, Style style, int depth) {
    if (style == Style::pretty) {
        out.append('\n');
        out.append(QByteArray(depth * 2, ' '));
    }
}

void writeValue(QByteArray& out, const QJsonValue& value, Style style, int depth);

void writeObject(QByteArray& out, const QJsonObject& object, Style style, int depth) {
    if (object.isEmpty()) {
        out.append("{}");
        return;
    }
    // UTF-8 byte order is Unicode scalar order.
    std::vector<std::pair<QByteArray, QString>> keys;
    keys.reserve(static_cast<size_t>(object.size()));
    for (auto it = object.begin(); it != object.end(); ++it)
        keys.emplace_back(it.key().toUtf8(), it.key());
    std::sort(keys.begin(), keys.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });

    out.append('{');
    bool first = true;
    for (const auto& [bytes, key] : keys) {
        if (!first)
            out.append(',');
        first = false;
        newline(out, style, depth + 1);
        writeString(out, key);
        out.append(style == Style::pretty ? " : " : ":");
        writeValue(out, object.value(key), style, depth + 1);
    }
    newline(out, style, depth);
    out.append('}');
}

void writeArray(QByteArray& out, const QJsonArray& array, Style style, int depth) {
    if (array.isEmpty()) {
        out.append("[]");
        return;
    }
    out.append('[');
    bool first = true;
    for (const QJsonValue& element : array) {
        if (!first)
            out.append(',');
        first = false;
        newline(out, style, depth + 1);
        writeValue(out, element, style, depth + 1);
    }
    newline(out, style, depth);
    out.append(']');
}

void writeValue(QByteArray& out, const QJsonValue& value, Style style, int depth) {
    switch (value.type()) {
    case QJsonValue::Null:
    case QJsonValue::Undefined:
        out.append("null");
        break;
    case QJsonValue::Bool:
        out.append(value.toBool() ? "true" : "false");
        break;
    case QJsonValue::Double:
        writeNumber(out, value.toDouble());
        break;
    case QJsonValue::String:
        writeString(out, value.toString());
        break;
    case QJsonValue::Array:
        writeArray(out, value.toArray(), style, depth);
        break;
    case QJsonValue::Object:
        writeObject(out, value.toObject(), style, depth);
        break;
    }
}

QString foundText(const QJsonValue& value) {
    switch (value.type()) {
    case QJsonValue::Null:
    case QJsonValue::Undefined:
        return QStringLiteral("null");
    case QJsonValue::Bool:
        return QStringLiteral("a boolean");
    case QJsonValue::Double:
        return QStringLiteral("a number");
    case QJsonValue::String:
        return QStringLiteral("a string");
    case QJsonValue::Array:
        return QStringLiteral("an array");
    case QJsonValue::Object:
        return QStringLiteral("a dictionary");
    }
    return QStringLiteral("an unknown value");
}

CodingPath appended(CodingPath path, const QString& key) {
    path.append(key);
    return path;
}

// A present member that is null reads as absent for optionals, and as a missing
// value for required members.
DecodingError nullValue(const CodingPath& path, const QString& expected) {
    return DecodingError(DecodingError::Kind::valueNotFound, path,
                         QStringLiteral("Expected %1 value but found null instead.").arg(expected));
}

bool isCanonicalUuidText(const QString& text) {
    if (text.size() != 36)
        return false;
    for (int i = 0; i < 36; ++i) {
        const QChar c = text.at(i);
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (c != u'-')
                return false;
        } else if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') ||
                     (c >= u'A' && c <= u'F'))) {
            return false;
        }
    }
    return true;
}

} // namespace

QByteArray write(const QJsonValue& value, Style style) {
    QByteArray out;
    writeValue(out, value, style, 0);
    return out;
}

QByteArray write(const QJsonObject& object, Style style) {
    return write(QJsonValue(object), style);
}

DecodingError::DecodingError(Kind kind, CodingPath path, QString description)
    : m_kind(kind), m_path(std::move(path)), m_description(std::move(description)),
      m_what(fullDescription().toStdString()) {}

QString DecodingError::fullDescription() const {
    if (m_path.isEmpty())
        return m_description;
    return QStringLiteral("%1 (at %2)").arg(m_description, m_path.join(u'.'));
}

DecodingError DecodingError::typeMismatch(CodingPath path, const QString& expected,
                                          const QJsonValue& found) {
    return DecodingError(Kind::typeMismatch, std::move(path),
                         QStringLiteral("Expected to decode %1 but found %2 instead.")
                             .arg(expected, foundText(found)));
}

DecodingError DecodingError::dataCorrupted(CodingPath path, QString description) {
    return DecodingError(Kind::dataCorrupted, std::move(path), std::move(description));
}

QJsonValue parse(const QByteArray& bytes) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError)
        throw DecodingError::dataCorrupted({},
                                           QStringLiteral("The given data was not valid JSON."));
    if (document.isArray())
        return document.array();
    return document.object();
}

ObjectReader::ObjectReader(const QJsonValue& value, CodingPath path) : m_path(std::move(path)) {
    if (!value.isObject())
        throw DecodingError::typeMismatch(m_path, QStringLiteral("Dictionary<String, Any>"), value);
    m_object = value.toObject();
}

CodingPath ObjectReader::pathTo(const QString& key) const {
    return appended(m_path, key);
}

QJsonValue ObjectReader::value(const QString& key) const {
    const auto it = m_object.constFind(key);
    if (it == m_object.constEnd())
        throw DecodingError(DecodingError::Kind::keyNotFound, m_path,
                            QStringLiteral("No value associated with key \"%1\".").arg(key));
    return it.value();
}

std::optional<QJsonValue> ObjectReader::optionalValue(const QString& key) const {
    const auto it = m_object.constFind(key);
    if (it == m_object.constEnd() || it.value().isNull())
        return std::nullopt;
    return it.value();
}

QString ObjectReader::string(const QString& key) const {
    const QJsonValue v = value(key);
    if (v.isNull())
        throw nullValue(pathTo(key), QStringLiteral("String"));
    return readString(v, pathTo(key));
}

std::optional<QString> ObjectReader::optionalString(const QString& key) const {
    const auto v = optionalValue(key);
    if (!v)
        return std::nullopt;
    return readString(*v, pathTo(key));
}

bool ObjectReader::boolean(const QString& key) const {
    const QJsonValue v = value(key);
    if (v.isNull())
        throw nullValue(pathTo(key), QStringLiteral("Bool"));
    if (!v.isBool())
        throw DecodingError::typeMismatch(pathTo(key), QStringLiteral("Bool"), v);
    return v.toBool();
}

double ObjectReader::number(const QString& key) const {
    const QJsonValue v = value(key);
    if (v.isNull())
        throw nullValue(pathTo(key), QStringLiteral("Double"));
    if (!v.isDouble())
        throw DecodingError::typeMismatch(pathTo(key), QStringLiteral("Double"), v);
    return v.toDouble();
}

std::optional<double> ObjectReader::optionalNumber(const QString& key) const {
    const auto v = optionalValue(key);
    if (!v)
        return std::nullopt;
    if (!v->isDouble())
        throw DecodingError::typeMismatch(pathTo(key), QStringLiteral("Double"), *v);
    return v->toDouble();
}

qint64 ObjectReader::integer(const QString& key) const {
    const QJsonValue v = value(key);
    if (v.isNull())
        throw nullValue(pathTo(key), QStringLiteral("Int"));
    return readInteger(v, pathTo(key));
}

std::optional<qint64> ObjectReader::optionalInteger(const QString& key) const {
    const auto v = optionalValue(key);
    if (!v)
        return std::nullopt;
    return readInteger(*v, pathTo(key));
}

QUuid ObjectReader::uuid(const QString& key) const {
    return readUuid(value(key), pathTo(key));
}

QUrl ObjectReader::url(const QString& key) const {
    return readUrl(value(key), pathTo(key));
}

std::optional<QUrl> ObjectReader::optionalUrl(const QString& key) const {
    const auto v = optionalValue(key);
    if (!v)
        return std::nullopt;
    return readUrl(*v, pathTo(key));
}

Date ObjectReader::dateSince1970(const QString& key) const {
    return Date::fromSecondsSince1970(number(key));
}

QJsonArray ObjectReader::array(const QString& key) const {
    const QJsonValue v = value(key);
    if (v.isNull())
        throw nullValue(pathTo(key), QStringLiteral("Array<Any>"));
    if (!v.isArray())
        throw DecodingError::typeMismatch(pathTo(key), QStringLiteral("Array<Any>"), v);
    return v.toArray();
}

QString readString(const QJsonValue& value, const CodingPath& path) {
    if (!value.isString())
        throw DecodingError::typeMismatch(path, QStringLiteral("String"), value);
    return value.toString();
}

QUuid readUuid(const QJsonValue& value, const CodingPath& path) {
    const QString text = readString(value, path);
    const QUuid id = isCanonicalUuidText(text) ? QUuid::fromString(text) : QUuid();
    if (id.isNull() && text != QStringLiteral("00000000-0000-0000-0000-000000000000"))
        throw DecodingError::dataCorrupted(
            path, QStringLiteral("Attempted to decode UUID from invalid UUID string."));
    return id;
}

QUrl readUrl(const QJsonValue& value, const CodingPath& path) {
    const QString text = readString(value, path);
    const QUrl url(text, QUrl::StrictMode);
    if (text.isEmpty() || !url.isValid())
        throw DecodingError::dataCorrupted(path, QStringLiteral("Invalid URL string."));
    return url;
}

qint64 readInteger(const QJsonValue& value, const CodingPath& path) {
    if (!value.isDouble())
        throw DecodingError::typeMismatch(path, QStringLiteral("Int"), value);
    const double d = value.toDouble();
    // Doubles hold integers exactly up to 2^53; anything fractional or beyond
    // the signed 64-bit range is not an integer.
    if (std::trunc(d) != d || d < -9223372036854775808.0 || d >= 9223372036854775808.0)
        throw DecodingError::dataCorrupted(
            path, QStringLiteral("Parsed JSON number <%1> does not fit in Int.").arg(d));
    return static_cast<qint64>(d);
}

QString uuidText(const QUuid& id) {
    return id.toString(QUuid::WithoutBraces).toUpper();
}

QString urlText(const QUrl& url) {
    return url.toString(QUrl::FullyEncoded);
}

QJsonObject encodeCase(const QString& caseName, const QJsonObject& values) {
    return QJsonObject{{caseName, values}};
}

DecodedCase decodeCase(const QJsonValue& value, const CodingPath& path,
                       std::initializer_list<const char*> caseNames) {
    const ObjectReader reader(value, path);
    int found = -1;
    int count = 0;
    int index = 0;
    for (const char* name : caseNames) {
        if (reader.object().contains(QLatin1String(name))) {
            found = index;
            ++count;
        }
        ++index;
    }
    if (count != 1)
        throw DecodingError(DecodingError::Kind::typeMismatch, path,
                            QStringLiteral("Invalid number of keys found, expected one."));
    const QString key = QLatin1String(*(caseNames.begin() + found));
    const QJsonValue inner = reader.object().value(key);
    const CodingPath innerPath = appended(path, key);
    if (!inner.isObject())
        throw DecodingError::typeMismatch(innerPath, QStringLiteral("Dictionary<String, Any>"),
                                          inner);
    return DecodedCase{found, inner.toObject(), innerPath};
}

} // namespace tarvo::json
