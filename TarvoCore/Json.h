#pragma once

#include "Date.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QUuid>

#include <exception>
#include <initializer_list>
#include <optional>
#include <string>

// The JSON forms of the stored files. Qt's reader reads them; the writer here
// writes exactly the form the files need (sorted keys, escaped forward slashes,
// shortest round-trip numbers), which QJsonDocument cannot be told to do.
namespace tarvo::json {

enum class Style { compact, pretty };

// Keys of every object are written in ascending order of their Unicode scalar
// values. Pretty output indents by two spaces and separates keys with " : ".
QByteArray write(const QJsonValue& value, Style style = Style::compact);
QByteArray write(const QJsonObject& object, Style style = Style::compact);

using CodingPath = QStringList;

// Why a JSON value could not be read as the record it should hold.
class DecodingError final : public std::exception {
public:
    enum class Kind { typeMismatch, valueNotFound, keyNotFound, dataCorrupted };

    DecodingError(Kind kind, CodingPath path, QString description);

    Kind kind() const { return m_kind; }
    const CodingPath& codingPath() const { return m_path; }
    // The reason alone, e.g. "Invalid number of keys found, expected one."
    const QString& description() const { return m_description; }
    // The reason with the path of the value, for log lines.
    QString fullDescription() const;
    const char* what() const noexcept override { return m_what.c_str(); }

    static DecodingError typeMismatch(CodingPath path, const QString& expected,
                                      const QJsonValue& found);
    static DecodingError dataCorrupted(CodingPath path, QString description);

private:
    Kind m_kind;
    CodingPath m_path;
    QString m_description;
    std::string m_what;
};

// Parses bytes as one JSON value (object or array at the top); throws
// DecodingError (dataCorrupted) when they are not JSON.
QJsonValue parse(const QByteArray& bytes);

// Required and optional members of one JSON object, each failure a DecodingError
// with the member's coding path. A missing member and a null one both read as
// absent for the optional accessors.
class ObjectReader final {
public:
    ObjectReader(const QJsonValue& value, CodingPath path);

    const QJsonObject& object() const { return m_object; }
    const CodingPath& path() const { return m_path; }
    CodingPath pathTo(const QString& key) const;

    QJsonValue value(const QString& key) const;
    std::optional<QJsonValue> optionalValue(const QString& key) const;

    QString string(const QString& key) const;
    std::optional<QString> optionalString(const QString& key) const;
    bool boolean(const QString& key) const;
    double number(const QString& key) const;
    std::optional<double> optionalNumber(const QString& key) const;
    qint64 integer(const QString& key) const;
    std::optional<qint64> optionalInteger(const QString& key) const;
    QUuid uuid(const QString& key) const;
    QUrl url(const QString& key) const;
    std::optional<QUrl> optionalUrl(const QString& key) const;
    Date dateSince1970(const QString& key) const;
    QJsonArray array(const QString& key) const;

private:
    QJsonObject m_object;
    CodingPath m_path;
};

// Reading values that stand alone (array elements, payloads under "_0").
QString readString(const QJsonValue& value, const CodingPath& path);
QUuid readUuid(const QJsonValue& value, const CodingPath& path);
QUrl readUrl(const QJsonValue& value, const CodingPath& path);
qint64 readInteger(const QJsonValue& value, const CodingPath& path);

// UUIDs as upper-case canonical text.
QString uuidText(const QUuid& id);
// A URL as its absolute text.
QString urlText(const QUrl& url);

// Enumerations with payloads: an object with exactly one member keyed by the
// case name, whose value is an object holding the associated values.
QJsonObject encodeCase(const QString& caseName, const QJsonObject& values = {});

struct DecodedCase {
    int index;          // position of the case name in the list given
    QJsonObject values; // the object under the case key
    CodingPath path;    // path of that object
};

// Keys that name no case are ignored; none or several case keys fail with
// "Invalid number of keys found, expected one.".
DecodedCase decodeCase(const QJsonValue& value, const CodingPath& path,
                       std::initializer_list<const char*> caseNames);

} // namespace tarvo::json
