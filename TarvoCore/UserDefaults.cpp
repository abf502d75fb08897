#include "UserDefaults.h"

#include "BackgroundWriter.h"
#include "DiskIO.h"
#include "Files.h"

#include <QDateTime>
#include <QFileInfo>
#include <QMap>
#include <QSettings>

#include <cmath>
#include <limits>
#include <map>

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

// The values of one settings file, shared by every instance over it in this
// process, and the writer that keeps the file up with them.
struct UserDefaults::Shared {
    explicit Shared(QString file) : path(std::move(file)) {
        const QSettings settings(path, QSettings::IniFormat);
        for (const QString& key : settings.allKeys())
            values.insert(key, settings.value(key));
    }

    const QString path;
    std::mutex mutex;
    QMap<QString, QVariant> values;
    BackgroundWriter writer{QStringLiteral("com.tarvoapp.Tarvo.settings")};
};

namespace {

std::mutex sharedLock;
std::map<QString, std::weak_ptr<void>> sharedByPath;

// The whole file from a snapshot of its values, as the settings library
// writes it (atomically, flushed); then only the user may read it.
void writeSettings(const QString& path, const QMap<QString, QVariant>& values) {
    if (DiskIO::check(DiskIO::Call::write, path) != 0)
        return; // as the settings library itself, a failed write says nothing
    {
        QSettings settings(path, QSettings::IniFormat);
        settings.clear();
        for (auto it = values.constBegin(); it != values.constEnd(); ++it)
            settings.setValue(it.key(), it.value());
        settings.sync();
    }
    Files::tightenOne(QFileInfo(path).path());
    Files::tightenOne(path);
}

} // namespace

UserDefaults::UserDefaults(const QString& path) : m_path(path) {
    const std::lock_guard lock(sharedLock);
    std::weak_ptr<void>& slot = sharedByPath[path];
    m_shared = std::static_pointer_cast<Shared>(slot.lock());
    if (!m_shared) {
        m_shared = std::make_shared<Shared>(path);
        slot = m_shared;
    }
}

UserDefaults::~UserDefaults() {
    const std::lock_guard lock(sharedLock);
    // The last instance over the file takes the writer with it, which
    // finishes the write under way first.
    const auto it = sharedByPath.find(m_path);
    m_shared.reset();
    if (it != sharedByPath.end() && it->second.expired())
        sharedByPath.erase(it);
}

void UserDefaults::waitForWrites() {
    m_shared->writer.waitForIdle();
}

void UserDefaults::registerDefaults(const QHash<QString, QVariant>& values) {
    const std::lock_guard lock(m_mutex);
    for (auto it = values.constBegin(); it != values.constEnd(); ++it)
        m_registered.insert(it.key(), it.value());
}

QVariant UserDefaults::object(const QString& key) const {
    {
        const std::lock_guard lock(m_shared->mutex);
        const auto it = m_shared->values.constFind(key);
        if (it != m_shared->values.constEnd())
            return *it;
    }
    const std::lock_guard lock(m_mutex);
    return m_registered.value(key);
}

bool UserDefaults::hasStoredValue(const QString& key) const {
    const std::lock_guard lock(m_shared->mutex);
    return m_shared->values.contains(key);
}

QStringList UserDefaults::storedKeys() const {
    const std::lock_guard lock(m_shared->mutex);
    return m_shared->values.keys();
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

void UserDefaults::store(const QString& key, const std::optional<QVariant>& value) {
    QMap<QString, QVariant> snapshot;
    {
        const std::lock_guard lock(m_shared->mutex);
        if (value)
            m_shared->values.insert(key, *value);
        else
            m_shared->values.remove(key);
        snapshot = m_shared->values;
    }
    // A counter raised at every delivery must not wait for a flush.
    m_shared->writer.write(m_shared->path, [path = m_shared->path, snapshot = std::move(snapshot)] {
        writeSettings(path, snapshot);
    });
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
    store(key, std::nullopt);
}

} // namespace tarvo
