#pragma once

#include "Date.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <mutex>
#include <optional>

namespace tarvo {

// The user's settings store: typed values in an INI file, with registered
// defaults that answer while the user has stored nothing. Registered values live
// only in memory for the life of the process and are never written. A write
// changes the value at once for every instance over the same file in this
// process; the file follows off the calling thread, the newest values
// winning, and is complete once the last instance over it is gone or
// `waitForWrites` returns. The file is the user's alone (0600). Safe to use
// from any thread.
class UserDefaults final {
public:
    explicit UserDefaults(const QString& path);
    ~UserDefaults();
    UserDefaults(const UserDefaults&) = delete;
    UserDefaults& operator=(const UserDefaults&) = delete;

    const QString& path() const { return m_path; }

    // Blocks until the file holds every value written so far (quit, tests).
    void waitForWrites();

    // Adds to (or replaces in) the registered values; nothing is stored.
    void registerDefaults(const QHash<QString, QVariant>& values);

    // The stored value, else the registered one, else an invalid QVariant.
    QVariant object(const QString& key) const;
    // Whether the user's settings hold a value for the key (registered values
    // do not count).
    bool hasStoredValue(const QString& key) const;
    QStringList storedKeys() const;

    // Typed reads follow the store's conversions: a value that cannot be read
    // as the type gives false or 0. Texts read as Booleans when they say true
    // or yes (in any case) or hold a non-zero number.
    bool boolean(const QString& key) const;
    qint64 integer(const QString& key) const;
    // Only a value stored as data reads as data, and only a date value as a
    // date: a text never does.
    std::optional<QByteArray> data(const QString& key) const;
    std::optional<Date> date(const QString& key) const;
    std::optional<QString> string(const QString& key) const;

    void setBoolean(const QString& key, bool value);
    void setInteger(const QString& key, qint64 value);
    void setData(const QString& key, const QByteArray& value);
    // Dates are kept to the millisecond.
    void setDate(const QString& key, Date value);
    void setString(const QString& key, const QString& value);
    void remove(const QString& key);

private:
    struct Shared;

    void store(const QString& key, const std::optional<QVariant>& value);

    QString m_path;
    std::shared_ptr<Shared> m_shared;
    mutable std::mutex m_mutex; // guards the registered values
    QHash<QString, QVariant> m_registered;
};

} // namespace tarvo
