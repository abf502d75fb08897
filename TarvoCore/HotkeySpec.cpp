#include "HotkeySpec.h"

#include "Json.h"

#include <QVariant>

#include <cmath>
#include <limits>

namespace tarvo {

namespace {

constexpr double twoTo64 = 18446744073709551616.0;

json::DecodingError doesNotFit(const json::CodingPath& path, const QJsonValue& value,
                               const char* type) {
    return json::DecodingError::dataCorrupted(
        path, QStringLiteral("Parsed JSON number <%1> does not fit in %2.")
                  .arg(QString::fromUtf8(json::write(value)), QString::fromLatin1(type)));
}

quint64 readUnsigned(const QJsonValue& value, const json::CodingPath& path) {
    if (!value.isDouble())
        throw json::DecodingError::typeMismatch(path, QStringLiteral("UInt"), value);
    // Integers that fit 64 signed bits are held exactly; larger ones only as doubles.
    const QVariant v = value.toVariant();
    if (v.typeId() == QMetaType::LongLong) {
        const qint64 i = v.toLongLong();
        if (i < 0)
            throw doesNotFit(path, value, "UInt");
        return static_cast<quint64>(i);
    }
    const double d = value.toDouble();
    if (!std::isfinite(d) || std::trunc(d) != d || d < 0 || d >= twoTo64)
        throw doesNotFit(path, value, "UInt");
    return static_cast<quint64>(d);
}

} // namespace

QByteArray HotkeySpec::toJsonData() const {
    QJsonObject object;
    object.insert(QStringLiteral("keyCode"), static_cast<qint64>(keyCode));
    // Real flag masks fit in 32 bits; a mask beyond the signed range could only
    // be written as the nearest double.
    if (modifierFlags <= static_cast<quint64>(std::numeric_limits<qint64>::max()))
        object.insert(QStringLiteral("modifierFlags"), static_cast<qint64>(modifierFlags));
    else
        object.insert(QStringLiteral("modifierFlags"), static_cast<double>(modifierFlags));
    return json::write(object, json::Style::compact);
}

HotkeySpec HotkeySpec::fromJsonData(const QByteArray& data) {
    const json::ObjectReader reader(json::parse(data), {});
    HotkeySpec spec;
    const QJsonValue keyCode = reader.value(QStringLiteral("keyCode"));
    const quint64 code = readUnsigned(keyCode, reader.pathTo(QStringLiteral("keyCode")));
    if (code > std::numeric_limits<quint16>::max())
        throw doesNotFit(reader.pathTo(QStringLiteral("keyCode")), keyCode, "UInt16");
    spec.keyCode = static_cast<quint16>(code);
    spec.modifierFlags = readUnsigned(reader.value(QStringLiteral("modifierFlags")),
                                      reader.pathTo(QStringLiteral("modifierFlags")));
    return spec;
}

} // namespace tarvo
