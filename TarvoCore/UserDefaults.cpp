#include "UserDefaults.h"

#include <QDateTime>
#include <QSettings>

#include <cmath>
#include <limits>

namespace tarvo {

namespace {

// Values come back typed while this process holds them, and as texts once the
// file has been read again, so every read accepts both forms.
std::optional<double> numberFromText(const QString& text) {
    bool ok = false;
    const double d = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(d))
        return std::nullopt;
    return d;
}

bool booleanFrom(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool();
    case QMetaType::Int:
    case QMetaType::LongLong:
        return value.toLongLong() != 0;
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return value.toULongLong() != 0;
    case QMetaType::Double:
        return value.toDouble() != 0;
    case QMetaType::QString: {
        const QString text = value.toString().trimmed().toLower();
        if (text == QLatin1String("true") || text == QLatin1String("yes"))
            return true;
        const auto number = numberFromText(text);
        return number && *number != 0;
    }
    default:
        return false;
    }
}

// A double in the signed 64-bit range, truncated toward zero; 0 outside it.
qint64 integerFromDouble(double d) {
    if (!std::isfinite(d) || d < -9223372036854775808.0 || d >= 9223372036854775808.0)
        return 0;
    return static_cast<qint64>(d);
}

qint64 integerFrom(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool() ? 1 : 0;
    case QMetaType::Int:
    case QMetaType::LongLong:
        return value.toLongLong();
    case QMetaType::UInt:
    case QMetaType::ULongLong: {
        const qulonglong u = value.toULongLong();
        return u > static_cast<qulonglong>(std::numeric_limits<qint64>::max())
                   ? 0
                   : static_cast<qint64>(u);
    }
    case QMetaType::Double:
        return integerFromDouble(value.toDouble());
    case QMetaType::QString: {
        const QString text = value.toString().trimmed();
        bool ok = false;
        const qint64 i = text.toLongLong(&ok);
        if (ok)
            return i;
        const QString lower = text.toLower();
        if (lower == QLatin1String("true") || lower == QLatin1String("yes"))
            return 1;
        const auto number = numberFromText(text);
        return number ? integerFromDouble(*number) : 0;
    }
    default:
        return 0;
    }
}

} // namespace

UserDefaults::UserDefaults(const QString& path)
    : m_path(path), m_settings(std::make_unique<QSettings>(path, QSettings::IniFormat)) {}

UserDefaults::~UserDefaults() = default;

void UserDefaults::registerDefaults(const QHash<QString, QVariant>& values) {
    const std::lock_guard lock(m_mutex);
    for (auto it = values.constBegin(); it != values.constEnd(); ++it)
        m_registered.insert(it.key(), it.value());
}

QVariant UserDefaults::objectLocked(const QString& key) const {
    if (m_settings->contains(key))
        return m_settings->value(key);
    return m_registered.value(key);
}

QVariant UserDefaults::object(const QString& key) const {
    const std::lock_guard lock(m_mutex);
    return objectLocked(key);
}

bool UserDefaults::hasStoredValue(const QString& key) const {
    const std::lock_guard lock(m_mutex);
    return m_settings->contains(key);
}

QStringList UserDefaults::storedKeys() const {
    const std::lock_guard lock(m_mutex);
    return m_settings->allKeys();
}

bool UserDefaults::boolean(const QString& key) const {
    return booleanFrom(object(key));
}

qint64 UserDefaults::integer(const QString& key) const {
    return integerFrom(object(key));
}

std::optional<QByteArray> UserDefaults::data(const QString& key) const {
    const QVariant value = object(key);
    if (value.typeId() != QMetaType::QByteArray)
        return std::nullopt;
    return value.toByteArray();
}

std::optional<Date> UserDefaults::date(const QString& key) const {
    const QVariant value = object(key);
    if (value.typeId() != QMetaType::QDateTime)
        return std::nullopt;
    const QDateTime dateTime = value.toDateTime();
    if (!dateTime.isValid())
        return std::nullopt;
    return Date::fromSecondsSince1970(static_cast<double>(dateTime.toMSecsSinceEpoch()) / 1000.0);
}

std::optional<QString> UserDefaults::string(const QString& key) const {
    const QVariant value = object(key);
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    return value.toString();
}

void UserDefaults::store(const QString& key, const QVariant& value) {
    const std::lock_guard lock(m_mutex);
    m_settings->setValue(key, value);
    // Straight to the file, so another process (or the next start) reads it.
    m_settings->sync();
}

void UserDefaults::setBoolean(const QString& key, bool value) {
    store(key, value);
}

void UserDefaults::setInteger(const QString& key, qint64 value) {
    store(key, QVariant::fromValue<qlonglong>(value));
}

void UserDefaults::setData(const QString& key, const QByteArray& value) {
    store(key, value);
}

void UserDefaults::setDate(const QString& key, Date value) {
    const double ms = std::round(value.secondsSince1970() * 1000.0);
    // Beyond QDateTime's range (about 100 million days) or not a number: such
    // a date cannot be stored, so none is.
    if (!std::isfinite(ms) || std::abs(ms) > 8.64e15) {
        remove(key);
        return;
    }
    store(key, QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(ms), Qt::UTC));
}

void UserDefaults::setString(const QString& key, const QString& value) {
    store(key, value);
}

void UserDefaults::remove(const QString& key) {
    const std::lock_guard lock(m_mutex);
    m_settings->remove(key);
    m_settings->sync();
}

} // namespace tarvo
